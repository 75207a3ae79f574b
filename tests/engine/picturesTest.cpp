// Batch code 30 as a process: a DES of the user directory made into a GIF
// picture by Graphviz's dot, from a "Graphviz" folder of the working
// directory or from the PATH.

#include <dirent.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <cstdlib>

#include "engine/child.h"
#include "engine/pictures.h"
#include "engine/protocol.h"
#include "support/testSupport.h"

namespace kav {
namespace {

using test::exists;
using test::ProgramDir;
using test::readFile;
using test::runBatchChild;

using test::PathSetting;

class Pictures : public ::testing::Test {
protected:
  ProgramDir program;

  void SetUp() override {
    runBatchChild(program, PROC_CREATE, "M\n3\n2\n-1\n0 1 1\n1 2 2\n2 1000 0\n");
    std::remove(program.user("orva.rst").c_str());
    desBefore = readFile(program.user("M.DES"));
  }
  test::RunResult convert(const std::string& lines) { return runBatchChild(program, PROC_GRAPHVIZ, lines); }
  std::string result() const { return readFile(program.user("orva.rst")); }
  // Nothing of the conversion's work folder is left in the user directory.
  bool leftNoWorkFolder() const {
    DIR* dir = ::opendir(program.userDir.c_str());
    bool clean = true;
    while (const dirent* e = ::readdir(dir)) clean = clean && std::string(e->d_name).rfind(".kav-", 0) != 0;
    ::closedir(dir);
    return clean;
  }
  // A stand-in for dot in the program's Graphviz folder: it writes the
  // text `mark` where -o points.
  void installLocalDot(const std::string& mark) {
    ::mkdir((program.dir.path + "Graphviz").c_str(), 0755);
    const std::string script = program.dir.path + "Graphviz/dot";
    test::writeFile(script, "#!/bin/sh\nwhile [ \"$1\" != -o ]; do shift; done\nprintf '" + mark + "' > \"$2\"\n");
    ::chmod(script.c_str(), 0755);
  }
  std::string desBefore;
};

TEST_F(Pictures, MakesAGifPictureWithGraphvizAndLeavesTheDESAlone) {
  if (findProgram("dot").empty()) GTEST_SKIP() << "Graphviz (dot) is not installed";
  const test::RunResult r = convert("M\nPIC\n");
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(result(), "0\n");
  EXPECT_EQ(readFile(program.user("PIC.GIF")).substr(0, 4), "GIF8");
  EXPECT_EQ(readFile(program.user("M.DES")), desBefore);
  EXPECT_TRUE(leftNoWorkFolder());
  // An older picture of the same name is replaced.
  test::writeFile(program.user("PIC.GIF"), "old");
  EXPECT_EQ(convert("M\nPIC\n").status, 0);
  EXPECT_EQ(readFile(program.user("PIC.GIF")).substr(0, 4), "GIF8");
}

TEST_F(Pictures, PrefersTheGraphvizFolderOfTheWorkingDirectory) {
  installLocalDot("GIF89a-local");
  const test::RunResult r = convert("M\nM\n");
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(result(), "0\n");
  EXPECT_EQ(readFile(program.user("M.GIF")), "GIF89a-local");
  EXPECT_TRUE(leftNoWorkFolder());
}

TEST_F(Pictures, LeavesNoResultWhenNoDotExists) {
  const PathSetting path(program.dir.path + "nowhere");
  const test::RunResult r = convert("M\nPIC\n");
  // The parent side reads a missing result as -3.
  EXPECT_EQ(r.status, 0);
  EXPECT_FALSE(exists(program.user("orva.rst")));
  EXPECT_NE(r.output.find(NO_GRAPHVIZ_MESSAGE), std::string::npos) << r.output;
  EXPECT_FALSE(exists(program.user("PIC.GIF")));
  EXPECT_TRUE(leftNoWorkFolder());
}

TEST_F(Pictures, FailsWithoutResultForAMissingDESAndWithTwoForMissingLines) {
  installLocalDot("GIF89a");
  EXPECT_EQ(convert("NOPE\nPIC\n").status, 0);
  EXPECT_FALSE(exists(program.user("orva.rst")));
  EXPECT_FALSE(exists(program.user("PIC.GIF")));
  EXPECT_EQ(convert("M\n").status, 0);
  EXPECT_EQ(result(), "2\n");
}

} // namespace
} // namespace kav
