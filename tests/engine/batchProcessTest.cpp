// The batch child as a process: orva.prm in, result code and files out.

#include <sys/stat.h>

#include <gtest/gtest.h>

#include "engine/protocol.h"
#include "model/desfile.h"
#include "support/testSupport.h"

namespace kav {
namespace {

using test::exists;
using test::ProgramDir;
using test::readFile;
using test::runBatchChild;
using test::writeFile;

DES loadUser(const ProgramDir& program, const std::string& file) {
  DES des;
  std::int64_t init = 0;
  EXPECT_EQ(loadDESFile(program.user(file), des, init), LOAD_OK) << file;
  return des;
}

class BatchChild : public ::testing::Test {
protected:
  ProgramDir program;

  // Runs one procedure and answers the content of orva.rst ("" when none).
  std::string run(int code, const std::string& body) {
    const test::RunResult r = runBatchChild(program, code, body);
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_FALSE(exists(program.user("orva.prm")));
    return readFile(program.user("orva.rst"));
  }
  void create(const std::string& name, const std::string& lists) {
    ASSERT_EQ(run(PROC_CREATE, name + "\n" + lists), "0\n");
  }
};

TEST_F(BatchChild, CreateTrimAndStatisticsWorkTogether) {
  // 0 -1-> 1 -2-> 2 (marked), 0 -3-> 3 which blocks.
  create("A", "4\n2\n-1\n0 1 1\n1 2 2\n0 3 3\n");
  EXPECT_EQ(test::describe(loadUser(program, "A.DES")), "4: 0-1->1 0-3->3 1-2->2 | marked 2");
  EXPECT_EQ(run(PROC_TRIM, "A\nB\n"), "0\n");
  EXPECT_EQ(test::describe(loadUser(program, "B.DES")), "3: 0-1->1 1-2->2 | marked 2");
  EXPECT_EQ(run(PROC_STATISTICS, "B\n0\n"), "0\n3\n2\n1\n0\n\n");
}

TEST_F(BatchChild, StatisticsOfOneStateAndOfControlData) {
  create("ONE", "1\n-1\n");
  EXPECT_EQ(run(PROC_STATISTICS, "ONE\n0\n"), "0\n1\n0\n1\n0\n\n");
  // A silent transition makes a DES nondeterministic.
  create("EPS", "2\n-1\n0 1000 1\n");
  EXPECT_EQ(run(PROC_STATISTICS, "EPS\n0\n"), "0\n2\n1\n0\n0\n\n");
  ASSERT_EQ(saveDESFile(program.user("C.DAT"), test::makeDES(2, {{1, 3, 0}, {1, 5, 0}}), -1, 2), SAVE_OK);
  EXPECT_EQ(run(PROC_STATISTICS, "C\n-1\n"), "0\n2\n2\n1\n1\n\n");
}

TEST_F(BatchChild, CreateDropsAnIncompleteLastGroup) {
  create("G", "3\n0\n-1\n0 1 1\n1 2\n");
  EXPECT_EQ(test::describe(loadUser(program, "G.DES")), "3: 0-1->1 | marked 0");
}

TEST_F(BatchChild, BfsRecodeRenumbersTheReachablePart) {
  create("R", "8\n6\n-1\n0 3 7\n0 1 4\n7 2 6\n4 2 5\n6 1 0\n1 1 1\n");
  EXPECT_EQ(run(PROC_BFS_RECODE, "R\nR2\n"), "0\n");
  EXPECT_EQ(test::describe(loadUser(program, "R2.DES")), "5: 0-1->1 0-3->2 1-2->3 2-2->4 4-1->0 | marked 4");
  // An empty DES (a missing input) recodes to an empty DES.
  EXPECT_EQ(run(PROC_BFS_RECODE, "NONE\nE\n"), "0\n");
  EXPECT_EQ(loadUser(program, "E.DES").size(), 0);
}

TEST_F(BatchChild, AnswersOneWithoutAParameterFile) {
  const test::RunResult r = test::runBinary(program.binary, {"-cmdline"}, program.dir.path);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(readFile(program.user("orva.rst")), "1\n");
}

TEST_F(BatchChild, AnswersTwoForMissingOrBadLines) {
  const std::pair<int, const char*> cases[] = {
      {PROC_TRIM, ""},                         // stops after line 3
      {PROC_TRIM, "A\n"},                      // output name missing
      {PROC_TRIM, "A\n\n"},                    // empty name
      {PROC_TRIM, "A\n../B\n"},                // outside the user directory
      {PROC_CREATE, "X\n3\n3\n-1\n"},          // marker out of range
      {PROC_CREATE, "X\n3\n-1\n0 1001 1\n"},   // label out of range
      {PROC_CREATE, "X\n3\n-1\n0 1 3\n"},      // target out of range
      {PROC_CREATE, "X\n3\n-1\n0 one 1\n"},    // not a number
      {PROC_CREATE, "X\n-4\n-1\n"},            // negative state count
      {PROC_STATISTICS, "A\n5\n"},             // neither DES nor DAT
  };
  for (const auto& [code, body] : cases) {
    SCOPED_TRACE(body);
    EXPECT_EQ(run(code, body), "2\n");
    EXPECT_FALSE(exists(program.user("X.DES")));
  }
  writeFile(program.user("orva.prm"), "0\nx\n2\nA\nB\n");
  test::runBinary(program.binary, {"-cmdline"}, program.dir.path);
  EXPECT_EQ(readFile(program.user("orva.rst")), "2\n");
}

TEST_F(BatchChild, UnknownCodeSucceedsWithoutOutput) {
  EXPECT_EQ(run(77, "A\nB\n"), "0\n");
  EXPECT_EQ(run(-1, "A\nB\n"), "0\n");
  EXPECT_FALSE(exists(program.user("B.DES")));
}

TEST_F(BatchChild, CorruptInputIsSevenAndSavesNothing) {
  writeFile(program.user("BAD.DES"), "KAV DES file\x1aZ8^0L;2 truncated");
  EXPECT_EQ(run(PROC_TRIM, "BAD\nOUT\n"), "7\n");
  EXPECT_FALSE(exists(program.user("OUT.DES")));
  // A missing input is an empty DES, as before.
  EXPECT_EQ(run(PROC_TRIM, "MISSING\nOUT\n"), "0\n");
  EXPECT_EQ(loadUser(program, "OUT.DES").size(), 0);
}

TEST_F(BatchChild, UnwritableOutputIsEight) {
  create("A", "1\n0\n-1\n");
  ::mkdir(program.user("DIR.DES").c_str(), 0755);
  EXPECT_EQ(run(PROC_TRIM, "A\nDIR\n"), "8\n");
}

TEST_F(BatchChild, MoreThanSixteenBitsOfTransitionsAtOneStateIsNine) {
  // 1001 labels times 66 targets: 66,066 transitions from state 0.
  std::string body = "66\n-1\n";
  for (int target = 0; target < 66; ++target)
    for (int event = 0; event <= 1000; ++event)
      body += "0 " + std::to_string(event) + " " + std::to_string(target) + "\n";
  EXPECT_EQ(run(PROC_CREATE, "BIG\n" + body), "9\n");
  EXPECT_FALSE(exists(program.user("BIG.DES")));
}

TEST_F(BatchChild, ExhaustedMemoryEndsWithThreeAndStatusZero) {
  if (test::sanitizedBuild()) GTEST_SKIP() << "the sanitizer's allocator never reaches the new-handler";
  // 50 million states need 800 MB; the child gets 256 MB of address space.
  const test::RunResult r = runBatchChild(program, PROC_CREATE, "HUGE\n50000000\n0\n-1\n", 256ull << 20);
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(readFile(program.user("orva.rst")), "3\n");
  EXPECT_FALSE(exists(program.user("HUGE.DES")));
}

TEST_F(BatchChild, LoadingAHugeSizeIsOutOfMemoryNotACrash) {
  // A tiny, valid file that names 2^50 states.
  std::string file = std::string("KAV DES file. Version 1.0\x1aZ8^0L;2\x55\xaa\x00\xff", 37);
  file += std::string(8, '\0');
  for (std::uint64_t v : {1ull << 50, 0ull, ~0ull, ~0ull, ~0ull})
    for (int k = 0; k < 8; ++k) file += static_cast<char>(v >> (8 * k));
  writeFile(program.user("HUGE.DES"), file);
  EXPECT_EQ(run(PROC_TRIM, "HUGE\nOUT\n"), "3\n");
}

TEST_F(BatchChild, DebugModeShowsProgressAndLeavesNoOutputFiles) {
  writeFile(program.user("orva.prm"), "1\n1\n0\nD\n2\n1\n-1\n0 1 1\n");
  test::runBinary(program.binary, {"-cmdline"}, program.dir.path);
  writeFile(program.user("orva.prm"), "1\n1\n2\nD\nD2\n");
  const test::RunResult r = test::runBinary(program.binary, {"-cmdline"}, program.dir.path);
  EXPECT_NE(r.output.find("B_REACH: 0"), std::string::npos) << r.output;
  EXPECT_FALSE(exists(program.user("orva.out")));
  EXPECT_EQ(readFile(program.user("orva.rst")), "0\n");
}

TEST(ProgramEntry, TypesOutAFileUpToItsFirstControlZ) {
  ProgramDir program;
  writeFile(program.dir.path + "note.txt", std::string("shown\x1ahidden", 12));
  const test::RunResult r = test::runBinary(program.binary, {program.dir.path + "note.txt"}, program.dir.path);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.output, std::string("shown\x1a", 6));
  const test::RunResult missing = test::runBinary(program.binary, {"nothing.txt"}, program.dir.path);
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.output, "Error reading nothing.txt\n");
}

TEST(ProgramEntry, AnswersHelpAndVersionAndRefusesAutotestWithoutScript) {
  ProgramDir program;
  const test::RunResult help = test::runBinary(program.binary, {"--help"}, program.dir.path);
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.output.find("-cmdline"), std::string::npos);
  EXPECT_EQ(test::runBinary(program.binary, {"--version"}, program.dir.path).output, "KAV 2017.05.01\n");
  EXPECT_EQ(test::runBinary(program.binary, {"-autotest"}, program.dir.path).status, 1);
  EXPECT_EQ(test::runBinary(program.binary, {"-autotest", "none.txt"}, program.dir.path).output,
            "Error reading none.txt\n");
}

} // namespace
} // namespace kav
