// The dialogs of projection, the small transforms and tests, hierarchy and
// forcing, end to end: keys through "kav -autotest", the batch child doing
// the work, and the session log and files it leaves.

#include <gtest/gtest.h>

#include <string>

#include "console/consoleSupport.h"
#include "model/desfile.h"

namespace kav {
namespace {

using test::createDES;
using test::findScreen;
using test::ProgramDir;
using test::readFile;
using test::runConsole;

class TransformDialogs : public ::testing::Test {
protected:
  ProgramDir program;

  std::string describeUser(const std::string& name) const {
    DES des;
    std::int64_t init = 0;
    if (loadDESFile(program.user(name + ".DES"), des, init) != LOAD_OK) return "unreadable";
    return test::describe(des);
  }
  // 0 -1-> 1 -2-> 2 (marked), 0 -3-> 3.
  void createA() { createDES(program, "A", 4, "2", "0 1 1\n1 2 2\n0 3 3\n"); }
  // The same with state 0 given output 10: refused by the hierarchy
  // procedures.
  void createVocalInitial() {
    DES d = test::makeDES(2, {{0, 1, 1}}, {});
    d[0].vocal = 10;
    ASSERT_EQ(saveDESFile(program.user("V0.DES"), d, 0, 2), SAVE_OK);
  }
};

TEST_F(TransformDialogs, SelfloopComplementProjectAndRelabelLogTheirEntries) {
  createA();
  const test::ConsoleRun run = runConsole(program, " T"
                                                   "1\rA\r\rS\r2\r-1\r\r"     // Selfloop
                                                   "10A\rC\rn5\r-1\r\r"       // Complement with LIST [5]
                                                   "P0A\rP\rn3\r-1\r\r"       // Project, NULL [3]
                                                   "R0A\rR\r1\r5\r-1\r\r"     // Relabel 1 -> 5
                                                   "XX");
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_EQ(program.sessionLog(), "S = Selfloop(A,[2])  (4,6)\n\n"
                          "C = Complement(A,[5])  (5,20)\n\n"
                          "P = Project(A,Null[3])  (3,2)\n\n"
                          "R = Relabel(A,[[1,5]])  (4,3)\n\n");
  EXPECT_EQ(describeUser("P"), "3: 0-1->1 1-2->2 | marked 2");
  EXPECT_EQ(describeUser("R"), "4: 0-3->3 0-5->1 1-2->2 | marked 2");
}

TEST_F(TransformDialogs, MutexAndAlleventsLogTheirEntries) {
  createDES(program, "M1", 3, "2", "0 1 1\n1 2 2\n");
  createDES(program, "M2", 2, "1", "0 5 1\n");
  const test::ConsoleRun run = runConsole(program, " T"
                                                   "6M1\rM2\rX\r2\r0\r-1\r\r" // Mutex excluding (2, 0)
                                                   "H4\rM1\rE\r\r"            // Allevents of a DES
                                                   "H4e7\r-1\rL\r\r"          // Allevents of a list
                                                   "XX");
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_EQ(program.sessionLog(), "X = Mutex(M1,M2,[[2,0]])  (4,3)\n\n"
                          "E = Allevents(M1.DES)  (1,2)\n\n"
                          "L = Allevents([7])  (1,1)\n\n");
  EXPECT_EQ(describeUser("X"), "4: 0-5->1 1-1->2 2-2->3 | marked 3");
}

TEST_F(TransformDialogs, IsomorphAndNonconflictReportTheirAnswers) {
  createDES(program, "A", 3, "1", "0 1 1\n0 2 2\n1 3 0\n");
  createDES(program, "B", 3, "2", "0 1 2\n0 2 1\n2 3 0\n");
  createDES(program, "C", 3, "1", "0 1 2\n0 2 1\n2 3 0\n");
  // One marked state offering 1 and 3: with A it avoids A's dead end 2.
  createDES(program, "D", 1, "0", "0 1 0\n0 3 0\n");
  const test::ConsoleRun run = runConsole(program, " T"
                                                   "IA\rB\ry\r"  // isomorphic, correspondence logged
                                                   "IA\rA\r\r"   // identity
                                                   "IA\rC\r\r"   // not isomorphic
                                                   "NCA\rD\r\r"  // nonconflicting
                                                   "NCA\rB\r\r"  // conflicting: both can take 2 to a dead end
                                                   "XX");
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_GE(findScreen(run, "A and B are isomorphic, under state correspondence"), 0);
  EXPECT_GE(findScreen(run, "A and A are isomorphic, under state correspondence   IDENTITY"), 0);
  EXPECT_GE(findScreen(run, "A and C are not isomorphic"), 0);
  EXPECT_GE(findScreen(run, "A and D are NONCONFLICTING"), 0);
  EXPECT_GE(findScreen(run, "A and B are CONFLICTING!"), 0);
  EXPECT_EQ(program.sessionLog(), "true = Isomorph(A,B;[[1,2],[2,1]])\n\n"
                          "true = Isomorph(A,A;identity)\n\n"
                          "false = Isomorph(A,C)\n\n"
                          "true = Nonconflict(A,D)\n\n"
                          "false = Nonconflict(A,B)\n\n");
}

TEST_F(TransformDialogs, HiconsisReportsOnlyTheHighLevelEventsItAdded) {
  // Two controllable forks into outputs 10 and 20: Hiconsis makes both
  // forks vocal with the new event 11, entered controllably (111).
  DES forks = test::makeDES(7, {{0, 1, 1}, {1, 2, 2}, {1, 4, 3}, {0, 3, 4}, {4, 6, 5}, {4, 8, 6}}, {});
  for (auto [state, output] : {std::pair{2, 10}, {3, 20}, {5, 10}, {6, 20}}) forks[state].vocal = static_cast<std::int16_t>(output);
  ASSERT_EQ(saveDESFile(program.user("TF.DES"), forks, 0, 2), SAVE_OK);
  const test::ConsoleRun run = runConsole(program, " TH2TF\rHT\r\r\rXX");
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_EQ(program.sessionLog(), "HT = Hiconsis(TF)  (5,6)\n     New event labels: [111]\n\n");
}

TEST_F(TransformDialogs, ForceVocalizeAndTheHierarchyProceduresLogTheirEntries) {
  createA();
  const test::ConsoleRun run = runConsole(program, " T"
                                                   "12A\rF\r1\r-1\r3\r-1\r9\r\r" // Force: forcible 1, preemptable 3
                                                   "H0A\rV\r0\r1\r10\r-1\r\r\r"  // Vocalize [0,1,10]
                                                   "H1V\rO\r\r"                  // Outconsis
                                                   "H2V\rH\r\r\r"                // Hiconsis, single output
                                                   "H3V\rG\r\r"                  // Higen
                                                   "XX");
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_EQ(program.sessionLog(), "F = Force(A,Forcible [1],Preemptible [3],Timeout [9])  (5,4)\n\n"
                          "V = Vocalize(A,[[0,1,10]])  (4,3)\n\n"
                          "O = Outconsis(V)  (4,3)\n\n"
                          // 101 is the encoded form of V's output 10, the same
                          // high-level event, so no new label is reported.
                          "H = Hiconsis(V)  (4,3)\n\n"
                          "G = Higen(V)  (2,1)\n\n");
  EXPECT_EQ(describeUser("F"), "5: 0-1->1 0-9->4 1-2->2 4-3->3 | marked 2");
  EXPECT_EQ(describeUser("G"), "2: 0-10->1 | marked 1");
}

TEST_F(TransformDialogs, HierarchyRefusalsShowTheirMessagesAndLogNothing) {
  createVocalInitial();
  // Outputs 10..99 along an uncontrollable chain leave no new output.
  std::string chain;
  for (int s = 0; s < 90; ++s) chain += std::to_string(s) + " 2 " + std::to_string(s + 1) + "\n";
  createDES(program, "CHAIN", 91, "0", chain);
  {
    DES d;
    std::int64_t init = 0;
    ASSERT_EQ(loadDESFile(program.user("CHAIN.DES"), d, init), LOAD_OK);
    for (std::int64_t s = 1; s <= 90; ++s) d[s].vocal = static_cast<std::int16_t>(9 + s);
    ASSERT_EQ(saveDESFile(program.user("CHAIN.DES"), d, 0, 2), SAVE_OK);
  }
  const test::ConsoleRun run = runConsole(program, " T"
                                                   "H1V0\rO\r\r"     // Outconsis
                                                   "H3V0\rO\r\r"     // Higen
                                                   "H2CHAIN\rO\rm\r" // Hiconsis, multiple outputs
                                                   "XX");
  EXPECT_EQ(run.status, 0) << run.output;
  const int refused = findScreen(run, "        Sorry! Initial state 0 of DES1 must be silent (output 0).");
  ASSERT_GE(refused, 0);
  EXPECT_GE(findScreen(run, "        Sorry! Initial state 0 of DES1 must be silent (output 0).", refused + 1), 0);
  EXPECT_GE(findScreen(run, "               Sorry! Vocal output overflow."), 0);
  EXPECT_EQ(program.sessionLog(), "");
  EXPECT_FALSE(test::exists(program.user("O.DES")));
}

} // namespace
} // namespace kav
