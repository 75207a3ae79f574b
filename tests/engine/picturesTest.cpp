// Batch code 30 as a process: a DES of the user directory made into a GIF
// picture by Graphviz's dot, from a "Graphviz" folder of the working
// directory or from the PATH.

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <filesystem>

#include "engine/child.h"
#include "engine/pictures.h"
#include "engine/protocol.h"
#include "support/testSupport.h"

namespace kav {
namespace {

using namespace test;

class Pictures : public ::testing::Test {
protected:
  test::ProgramDir program;

  void SetUp() override { program.save("M.DES", test::makeDES(3, {{0, 1, 1}, {1, 2, 2}, {2, 1000, 0}}, {2})); }
  // orva.rst after converting with these lines, "none" when there is none;
  // checks that the DES and the user directory are left as they were.
  std::string convert(const std::string& lines) {
    const std::string before = readFile(program.user("M.DES"));
    const test::RunResult r = test::runBatchChild(program, PROC_GRAPHVIZ, lines);
    EXPECT_EQ(r.status, 0) << r.output;
    output = r.output;
    EXPECT_EQ(readFile(program.user("M.DES")), before);
    for (const auto& entry : std::filesystem::directory_iterator(program.userDir))
      EXPECT_NE(entry.path().filename().string().rfind(".kav-", 0), 0u) << "work folder left behind";
    const std::string result = exists(program.user("orva.rst")) ? readFile(program.user("orva.rst")) : "none";
    std::remove(program.user("orva.rst").c_str());
    return result;
  }
  // A stand-in for dot in the program's Graphviz folder: it writes `mark`
  // where -o points.
  void installLocalDot(const std::string& mark) {
    ::mkdir((program.dir.path + "Graphviz").c_str(), 0755);
    test::writeScript(program.dir.path + "Graphviz/dot",
                      "while [ \"$1\" != -o ]; do shift; done\nprintf '" + mark + "' > \"$2\"");
  }
  std::string output;
};

TEST_F(Pictures, MakesAGifPictureWithGraphvizAndReplacesAnOlderOne) {
  if (findProgram("dot").empty()) GTEST_SKIP() << "Graphviz (dot) is not installed";
  EXPECT_EQ(convert("M\nPIC\n"), "0\n");
  EXPECT_EQ(readFile(program.user("PIC.GIF")).substr(0, 4), "GIF8");
  test::writeFile(program.user("PIC.GIF"), "old");
  EXPECT_EQ(convert("M\nPIC\n"), "0\n");
  EXPECT_EQ(readFile(program.user("PIC.GIF")).substr(0, 4), "GIF8");
}

TEST_F(Pictures, PrefersTheGraphvizFolderAndFailsWithoutResultOrWithTwo) {
  installLocalDot("GIF89a-local");
  EXPECT_EQ(convert("M\nM\n"), "0\n");
  EXPECT_EQ(readFile(program.user("M.GIF")), "GIF89a-local");
  EXPECT_EQ(convert("NOPE\nPIC\n"), "none");
  EXPECT_EQ(convert("M\n"), "2\n");
  EXPECT_FALSE(exists(program.user("PIC.GIF")));
}

TEST_F(Pictures, LeavesNoResultWhenNoDotExists) {
  const test::EnvSetting path("PATH", program.dir.path + "nowhere");
  // The parent side reads a missing result as -3.
  EXPECT_EQ(convert("M\nPIC\n"), "none");
  EXPECT_NE(output.find(NO_GRAPHVIZ_MESSAGE), std::string::npos) << output;
  EXPECT_FALSE(exists(program.user("PIC.GIF")));
}

} // namespace
} // namespace kav
