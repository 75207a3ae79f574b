// The development procedures end to end: keys through "kav -autotest" into
// the two hidden development menus, and the DES and log entries they leave.
// They compute in the interactive process, so nothing but the dialog runs.

#include <gtest/gtest.h>

#include <string>

#include "console/consoleSupport.h"
#include "model/desfile.h"

namespace kav {
namespace {

using test::findScreen;
using test::makeDES;
using test::ProgramDir;
using test::readFile;
using test::rowOf;
using test::runConsole;

class DevelopmentDialogs : public ::testing::Test {
protected:
  ProgramDir program;

  void put(const std::string& name, const DES& des) {
    ASSERT_EQ(saveDESFile(program.user(name + ".DES"), des, 0, 2), SAVE_OK);
  }
  DES loadUser(const std::string& name) const {
    DES des;
    std::int64_t init = 0;
    if (loadDESFile(program.user(name + ".DES"), des, init) != LOAD_OK) des = DES{};
    return des;
  }
  std::string describeUser(const std::string& name) const {
    return test::exists(program.user(name + ".DES")) ? test::describe(loadUser(name)) : "missing";
  }
  // Keys from the start-up picture into development menu `menu`, then
  // `keys`, then out through both menus and the main menu.
  test::ConsoleRun run(char menu, const std::string& keys) {
    return runConsole(program, std::string(" TZ") + menu + keys + "XXX");
  }
  // 0 -1-> 1 -2-> 2 (marked).
  void putA() { put("A", makeDES(3, {{0, 1, 1}, {1, 2, 2}}, {2})); }
  // A state 0 whose 65535 transitions fill it: 1000 labels to each of 65
  // targets, and 535 more to the 66th.
  static DES fullInitialState() {
    std::vector<test::Edge> edges;
    for (std::int64_t t = 0; t < 66 && edges.size() < 65535; ++t)
      for (int e = 0; e < 1000 && edges.size() < 65535; ++e) edges.push_back({0, static_cast<std::uint16_t>(e), t});
    return makeDES(66, edges, {});
  }
};

TEST_F(DevelopmentDialogs, PathToBlockSavesTheShortestPathToTheChosenBlockState) {
  put("A", makeDES(4, {{0, 1, 1}, {1, 3, 2}, {0, 5, 3}}, {2}));
  // State 2 cannot be reached; choosing 0 (not blocking) asks again.
  put("U", makeDES(3, {{0, 1, 1}, {2, 1, 1}}, {1}));
  put("T", makeDES(2, {{0, 1, 1}}, {1}));
  const test::ConsoleRun r = run('1', "0A\rP\r3\r\r"
                                      "0U\rQ\r0\r2\r\r"
                                      "0T\rR\r\r");
  EXPECT_EQ(r.status, 0) << r.output;
  const int listed = findScreen(r, "The list of block states is:");
  ASSERT_GE(listed, 0);
  const std::string& screen = r.screens[static_cast<std::size_t>(listed)];
  int heading = 0;
  while (heading < 24 && rowOf(screen, heading) != "The list of block states is:") ++heading;
  EXPECT_EQ(rowOf(screen, heading + 1), "     3");
  EXPECT_GE(findScreen(r, "Shortest path to selected block state is reported in P.DES"), 0);
  EXPECT_GE(findScreen(r, "Select one of block states from block state list:"), 0);
  EXPECT_GE(findScreen(r, "There does not exist blocked state in T"), 0);
  EXPECT_EQ(describeUser("P"), "4: 0-5->3 | marked 3");
  EXPECT_EQ(describeUser("Q"), "3: | marked 2");
  EXPECT_FALSE(test::exists(program.user("R.DES")));
  EXPECT_EQ(program.sessionLog(), "P = Path-to-block(A,3)  (4,1)\n\n"
                          "Q = Path-to-block(U,2)  (3,0)\n\n");
}

TEST_F(DevelopmentDialogs, ShortestPathKeepsTheShorterAndOnEqualLengthsTheFirstDiscovered) {
  // 0 -> 4 in two steps through 2 or three through 1 and 3; 0 -> 3 in two
  // steps through 1 (label 1, scanned first) or 2; 4 -2-> 0 closes a cycle;
  // 5 is reached from nowhere.
  put("S", makeDES(6, {{0, 1, 1}, {0, 3, 2}, {1, 1, 3}, {2, 3, 3}, {3, 5, 4}, {2, 7, 4}, {4, 2, 0}}, {}));
  const test::ConsoleRun r = run('1', "1S\rR1\r0\r4\r\r"
                                      "1S\rR2\r0\r3\r\r"
                                      "1S\rR3\r0\r0\r\r"
                                      "1S\rR4\r0\r5\r\r");
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(describeUser("R1"), "6: 0-3->2 2-7->4 | marked");
  EXPECT_EQ(describeUser("R2"), "6: 0-1->1 1-1->3 | marked");
  EXPECT_EQ(describeUser("R3"), "6: | marked");
  EXPECT_EQ(describeUser("R4"), "6: | marked");
  EXPECT_GE(findScreen(r, "State [0] is not reachable from itself along a nonempty path"), 0);
  EXPECT_GE(findScreen(r, "State [5] is not reachable from state [0]"), 0);
  EXPECT_EQ(program.sessionLog(), "R1 = Shortestpath(S,start [0], end [4])  (6,2)  \n\n"
                          "R2 = Shortestpath(S,start [0], end [3])  (6,2)  \n\n");
}

TEST_F(DevelopmentDialogs, AttachGraftsOntoTheChosenStateAndReportsDeterminism) {
  putA();
  put("B1", makeDES(1, {{0, 7, 0}}, {0}));
  // Overlaps A's label 1 at state 0; its own state 0 is marked and vocal,
  // which the graft drops, while state 1 keeps its output.
  DES b2 = makeDES(2, {{0, 1, 1}}, {0, 1});
  b2[0].vocal = 10;
  b2[1].vocal = 20;
  put("B2", b2);
  const test::ConsoleRun r = run('2', "1A\rB1\rC1\r1\r\r"
                                      "1A\rB2\rC2\r0\r\r");
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(describeUser("C1"), "3: 0-1->1 1-2->2 1-7->1 | marked 2");
  EXPECT_EQ(describeUser("C2"), "4: 0-1->1 0-1->3 1-2->2 | marked 2 3");
  const DES c2 = loadUser("C2");
  ASSERT_EQ(c2.size(), 4);
  EXPECT_EQ(c2[0].vocal, 0);
  EXPECT_EQ(c2[3].vocal, 20);
  const int shown = findScreen(r, "C2 is NONDETERMINISTIC.");
  ASSERT_GE(shown, 0);
  EXPECT_EQ(rowOf(r.screens[static_cast<std::size_t>(shown)], 21), "C2 is NONDETERMINISTIC.");
  EXPECT_GE(findScreen(r, "C1 is DETERMINISTIC."), 0);
  EXPECT_EQ(program.sessionLog(), "C1 = Attach(A,[1], B1)  (3,3)  Deterministic.\n\n"
                          "C2 = Attach(A,[0], B2)  (4,3)  Nondeterministic.\n\n");
}

TEST_F(DevelopmentDialogs, AttachAndShortestPathRefuseAnEmptyDESAndAttachAFullState) {
  putA();
  put("E", DES{});
  put("FULL", fullInitialState());
  put("ONE", makeDES(2, {{0, 1, 1}}, {}));
  const test::ConsoleRun r = run('2', "1E\r\r"          // empty DES1
                                      "1A\rE\r\r"       // empty DES2
                                      "1FULL\rONE\rC\r0\r\r" // state 0 would hold 65536
                                      "X" "Z1" "1E\r\r");
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_GE(findScreen(r, "E has no states: there is no state to attach to."), 0);
  EXPECT_GE(findScreen(r, "E has no states: there is no initial state to attach."), 0);
  EXPECT_GE(findScreen(r, "E has no states: there is no state to start from."), 0);
  EXPECT_GE(findScreen(r, "Computation failed: a state would carry more than 65535 transitions."), 0);
  EXPECT_FALSE(test::exists(program.user("C.DES")));
  EXPECT_EQ(program.sessionLog(), "");
}

TEST_F(DevelopmentDialogs, StatemapMergesStatesByTheFirstPairOfEachOldState) {
  putA();
  put("D", makeDES(3, {{0, 1, 1}, {1, 2, 2}, {2, 3, 0}}, {0}));
  put("F", makeDES(4, {{0, 1, 3}}, {}));
  // Two states of 40000 transitions each, merged into one.
  std::vector<test::Edge> wide;
  for (std::int64_t t = 0; t < 40; ++t)
    for (int e = 0; e < 1000; ++e) {
      wide.push_back({1, static_cast<std::uint16_t>(e), 3 + t});
      wide.push_back({2, static_cast<std::uint16_t>(e), 43 + t});
    }
  put("W", makeDES(83, wide, {}));
  const test::ConsoleRun r = run('2', "8A\rM1\r-1\r\r"              // no pairs
                                      "8D\rM2\r1\r0\r2\r0\r-1\r\r"  // [1,0], [2,0]
                                      "8F\rM3\r3\r2\r3\r1\r-1\r\r"  // [3,2] and [3,1]: [3,1] first
                                      "8W\rM4\r2\r1\r-1\r\r");      // 80000 transitions at 1
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(describeUser("M1"), "3: 0-1->1 1-2->2 | marked");
  EXPECT_EQ(describeUser("M2"), "3: 0-1->0 0-2->0 0-3->0 | marked");
  EXPECT_EQ(describeUser("M3"), "4: 0-1->1 | marked");
  EXPECT_GE(findScreen(r, "Computation failed: a state would carry more than 65535 transitions."), 0);
  EXPECT_FALSE(test::exists(program.user("M4.DES")));
  EXPECT_EQ(program.sessionLog(), "M1 = Statemap(A,[])  (3,2)\n\n"
                          "M2 = Statemap(D,[[1,0],[2,0]])  (3,3)\n\n"
                          "M3 = Statemap(F,[[3,1],[3,2]])  (4,1)\n\n");
}

TEST_F(DevelopmentDialogs, EscapeCancelsWithoutSavingOrLoggingAndOtherEntriesSayTheyAreMissing) {
  putA();
  const test::ConsoleRun r = run('2', std::string("1A\rA\rC\r") + test::ESC + "8A\rM\r1\r" + test::ESC + "2\r");
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_GE(findScreen(r, "Ehmeet is not available in this version."), 0);
  EXPECT_FALSE(test::exists(program.user("C.DES")));
  EXPECT_FALSE(test::exists(program.user("M.DES")));
  EXPECT_EQ(program.sessionLog(), "");
}

} // namespace
} // namespace kav
