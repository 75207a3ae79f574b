// Sync, Meet, Supcon, Condat and Minstate as batch processes.

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/protocol.h"
#include "model/desfile.h"
#include "support/testSupport.h"

namespace kav {
namespace {

using test::makeDES;
using test::readFile;

class ProductProcedures : public ::testing::Test {
protected:
  test::ProgramDir program;

  void save(const std::string& name, const DES& des) {
    ASSERT_EQ(saveDESFile(program.user(name + ".DES"), des, 0, 2), SAVE_OK);
  }
  std::string load(const std::string& file) {
    DES des;
    std::int64_t init = 0;
    if (loadDESFile(program.user(file), des, init) != LOAD_OK) return "unreadable";
    return test::describe(des);
  }
  // orva.prm with the given selector; answers orva.rst.
  std::string run(int code, const std::string& body, int selector = 1) {
    test::writeFile(program.user("orva.prm"), "0\n" + std::to_string(selector) + "\n" + std::to_string(code) + "\n" + body);
    const test::RunResult r = test::runBinary(program.binary, {"-cmdline"}, program.dir.path);
    EXPECT_EQ(r.status, 0) << r.output;
    return readFile(program.user("orva.rst"));
  }
};

TEST_F(ProductProcedures, SyncCombinesLeftToRightOverEveryInputsLabels) {
  save("A", makeDES(2, {{0, 1, 1}}, {1}));
  save("B", makeDES(2, {{0, 3, 1}}, {1}));
  save("C", makeDES(2, {{0, 5, 1}, {1, 5, 1}}, {0, 1}));
  // 5 is used by neither A nor B: it loops through the first step and C
  // then decides it.
  EXPECT_EQ(run(PROC_SYNC, "S\n3\nA\nB\nC\n"), "0\n");
  EXPECT_EQ(load("S.DES"), "8: 0-1->1 0-3->2 0-5->3 1-3->4 1-5->5 2-1->4 2-5->6 3-1->5 3-3->6 3-5->3 "
                           "4-5->7 5-3->7 5-5->5 6-1->7 6-5->6 7-5->7 | marked 4 7");
  // One component is copied.
  EXPECT_EQ(run(PROC_SYNC, "S1\n1\nC\n"), "0\n");
  EXPECT_EQ(load("S1.DES"), load("C.DES"));
  // A missing input is empty, and so is every product with it.
  EXPECT_EQ(run(PROC_SYNC, "S2\n3\nA\nNONE\nB\n"), "0\n");
  EXPECT_EQ(load("S2.DES"), "0: | marked");
}

TEST_F(ProductProcedures, MeetAndSyncAcceptTwentyInputs) {
  std::string names;
  for (int i = 0; i < 20; ++i) {
    save(std::string("M") + std::to_string(i), makeDES(1, {{0, static_cast<std::uint16_t>(2 * i + 1), 0}}, {0}));
    names += std::string("M") + std::to_string(i) + "\n";
  }
  EXPECT_EQ(run(PROC_SYNC, "S\n20\n" + names), "0\n");
  std::string loops = "1:";
  for (int i = 0; i < 20; ++i) loops += " 0-" + std::to_string(2 * i + 1) + "->0";
  EXPECT_EQ(load("S.DES"), loops + " | marked 0");
  EXPECT_EQ(run(PROC_MEET, "T\n20\n" + names), "0\n");
  EXPECT_EQ(load("T.DES"), "1: | marked 0");
}

TEST_F(ProductProcedures, SupconCondatAndMinstateWriteTheirResults) {
  save("G", makeDES(3, {{0, 1, 1}, {1, 2, 2}, {1, 3, 0}, {2, 4, 0}, {2, 5, 0}}, {0}));
  save("E", makeDES(3, {{0, 1, 1}, {1, 2, 2}, {1, 3, 0}, {2, 5, 0}}, {0}));
  EXPECT_EQ(run(PROC_SUPCON, "G\nE\nK\n"), "0\n");
  EXPECT_EQ(load("K.DES"), "1: | marked 0");
  // The legal DES as a supervisor disables 4 at its state 2.
  EXPECT_EQ(run(PROC_CONDAT, "G\nE\nD\n"), "0\n");
  EXPECT_EQ(load("D.DAT"), "3: 2-4->0 | marked");
  // Minstate drops the unreachable state 5, then merges 1 and 3.
  save("N", makeDES(6, {{0, 1, 1}, {0, 3, 3}, {1, 2, 2}, {3, 2, 2}, {2, 5, 4}, {5, 1, 0}}, {4}));
  for (int selector : {1, 0}) {
    EXPECT_EQ(run(PROC_MINSTATE, "N\nN2\n", selector), "0\n");
    EXPECT_EQ(load("N2.DES"), "4: 0-1->1 0-3->1 1-2->2 2-5->3 | marked 3");
  }
}

TEST_F(ProductProcedures, AnswerTwoForMissingLinesAndComponentCountsOutOfRange) {
  save("A", makeDES(1, {}, {0}));
  const std::pair<int, const char*> cases[] = {
      {PROC_SYNC, "S\n2\nA\n"},   {PROC_SYNC, "S\n0\n"},   {PROC_SYNC, "S\n21\nA\n"},
      {PROC_MEET, "S\nA\n"},      {PROC_MEET, "S\n"},      {PROC_SUPCON, "A\nA\n"},
      {PROC_CONDAT, "A\n"},       {PROC_MINSTATE, "A\n"},
  };
  for (const auto& [code, body] : cases) {
    SCOPED_TRACE(body);
    EXPECT_EQ(run(code, body), "2\n");
    EXPECT_FALSE(test::exists(program.user("S.DES")));
  }
}

TEST_F(ProductProcedures, CorruptInputIsSevenUnwritableOutputEightTooManyTransitionsNine) {
  test::writeFile(program.user("BAD.DES"), "KAV DES file\x1aZ8^0L;2 truncated");
  save("A", makeDES(2, {{0, 1, 1}}, {1}));
  for (const auto& [code, body] : std::vector<std::pair<int, std::string>>{{PROC_SYNC, "O\n2\nA\nBAD\n"},
                                                                          {PROC_MEET, "O\n2\nBAD\nA\n"},
                                                                          {PROC_SUPCON, "A\nBAD\nO\n"},
                                                                          {PROC_CONDAT, "BAD\nA\nO\n"},
                                                                          {PROC_MINSTATE, "BAD\nO\n"}}) {
    SCOPED_TRACE(body);
    EXPECT_EQ(run(code, body), "7\n");
    EXPECT_FALSE(test::exists(program.user("O.DES")) || test::exists(program.user("O.DAT")));
  }
  ::mkdir(program.user("DIR.DES").c_str(), 0755);
  EXPECT_EQ(run(PROC_SYNC, "DIR\n2\nA\nA\n"), "8\n");
  EXPECT_EQ(run(PROC_MINSTATE, "A\nDIR\n"), "8\n");
  // 256 targets of one label on each side: 65,536 transitions at (0, 0).
  std::vector<test::Edge> fan;
  for (std::int64_t t = 0; t < 256; ++t) fan.push_back({0, 1, t});
  save("FAN", makeDES(256, fan, {}));
  EXPECT_EQ(run(PROC_SYNC, "O\n2\nFAN\nFAN\n"), "9\n");
  EXPECT_EQ(run(PROC_MEET, "O\n2\nFAN\nFAN\n"), "9\n");
  EXPECT_EQ(run(PROC_SUPCON, "FAN\nFAN\nO\n"), "9\n");
  EXPECT_FALSE(test::exists(program.user("O.DES")));
}

} // namespace
} // namespace kav
