// The console against hostile files: a FIFO or /dev/zero where a DES, a
// DAT or an ADS file is expected is told as a file that cannot be read,
// within two seconds, and a file of repeated blocks loads as fast.

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "console/consoleSupport.h"

namespace kav {
namespace {

using test::ProgramDir;

TEST(HostileConsole, ShowAndFileRefuseSpecialFilesAtOnce) {
  struct Case {
    const char* file; // the special file, in the user directory
    const char* keys; // after the procedures menu, up to the way back
    const char* message;
  };
  const Case cases[] = {
      {"X.DES", "SEX\r\r", "Error reading file: "},
      {"X.DAT", "SAX\r\r", "Error reading file: "},
      {"X.ADS", "FD1\rX\r\r\r", "Error(s) reading file: "},
  };
  for (const Case& c : cases) {
    for (const bool fifo : {true, false}) {
      SCOPED_TRACE(std::string(c.file) + (fifo ? " FIFO" : " /dev/zero"));
      ProgramDir program;
      const std::string path = program.user(c.file);
      ASSERT_EQ(fifo ? ::mkfifo(path.c_str(), 0600) : ::symlink("/dev/zero", path.c_str()), 0);
      test::ChildLimits limits(2);
      const test::ConsoleRun run = test::runConsole(program, std::string(" T") + c.keys + "XX");
      EXPECT_EQ(run.status, 0);
      EXPECT_GE(test::findScreen(run, c.message), 0);
    }
  }
  // A file that lists one state's block 30000 times loads at once too.
  ProgramDir program;
  program.saveRepeatedBlocks("X.DES", 30000);
  test::ChildLimits limits(2);
  const test::ConsoleRun run = test::runConsole(program, std::string(" TSEX\r") + test::ESC + "XX");
  EXPECT_EQ(run.status, 0);
  EXPECT_GE(test::findScreen(run, "X    # states: 30"), 0);
}

} // namespace
} // namespace kav
