// The console against hostile files: a FIFO or /dev/zero where a DES, a
// DAT or an ADS file is expected is told as a file that cannot be read,
// within two seconds; a FIFO named orva.prm is no obstacle. Edit says so
// when a state is full.

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "console/consoleSupport.h"

namespace kav {
namespace {

using test::makeDES;
using test::ProgramDir;

TEST(HostileConsole, SpecialFilesAreToldNeverWaitedOn) {
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
  ProgramDir program;
  program.save("X.DES", makeDES(2, {{0, 1, 1}}, {1}));
  test::ChildLimits limits(2);
  // A FIFO named orva.prm is replaced by the parameters, not opened.
  ASSERT_EQ(::mkfifo(program.user("orva.prm").c_str(), 0600), 0);
  EXPECT_EQ(test::runConsole(program, " T2X\r\rB\r\rXX").status, 0);
  EXPECT_TRUE(test::exists(program.user("B.DES")));
}

TEST(HostileConsole, EditRefusesATransitionBeyondTheLimitAndSavesNothing) {
  ProgramDir program;
  DES full = allocStates(66);
  std::vector<Transition> list(MAX_TRANSITIONS_PER_STATE);
  for (std::uint32_t k = 0; k < list.size(); ++k) {
    list[k].event = static_cast<std::uint16_t>(k % 1000);
    list[k].target = k / 1000;
  }
  ASSERT_TRUE(assignTransitions(full[0], list));
  program.save("A.DES", full);
  const std::string before = test::readFile(program.user("A.DES"));
  // Edit A in place: markers as they are, then adjoin (0, 999, 100).
  const test::ConsoleRun run = test::runConsole(program, " TEA\rn\rn0\r999\r100\r\rXX");
  EXPECT_EQ(run.status, 0);
  EXPECT_GE(test::findScreen(run, "a state would carry more than 65535 transitions"), 0);
  EXPECT_EQ(test::readFile(program.user("A.DES")), before);
  EXPECT_EQ(program.sessionLog(), "");
}

} // namespace
} // namespace kav
