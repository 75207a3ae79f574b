// Create and Edit end to end through "kav -autotest" scripts: the DES
// saved, the log entries, and the screens of the refusals.

#include <gtest/gtest.h>

#include "console/consoleSupport.h"
#include "console/sessionLog.h"
#include "model/desfile.h"
#include "output/ads.h"

namespace kav {
namespace {

using test::createDES;
using test::ESC;
using test::exists;
using test::findScreen;
using test::readFile;
using test::rowOf;
using test::runConsole;

class CreateEdit : public ::testing::Test {
protected:
  test::ProgramDir program;

  DES loadUser(const std::string& file) const {
    DES des;
    std::int64_t init = 0;
    EXPECT_EQ(loadDESFile(program.user(file), des, init), LOAD_OK) << file;
    return des;
  }
};

TEST_F(CreateEdit, CreateTakesStatesMarkersVocalsAndTransitionsAndLogsThem) {
  const std::string keys = " T01\rX\r3\r"
                           "0\r2\r-1\r"                               // markers
                           "0\r1\r10\r-1\r"                           // state 0 refused, then 1 -> 10
                           "0\r1\r1\r1\re\r2\r0\r1\r1\r2\r2\r0\r-1\r" // the repeated 0 1 1 is kept once
                           "y"                                        // check for nondeterminism
                           "\rXX";
  const test::ConsoleRun run = runConsole(program, keys);
  EXPECT_EQ(run.status, 0) << run.output;
  const DES x = loadUser("X.DES");
  EXPECT_EQ(test::describe(x), "3: 0-1->1 1-1000->2 2-2->0 | marked 0 2");
  EXPECT_EQ(x[1].vocal, 10);
  const int refused = findScreen(run, "Direct vocalization of initial state is illegal! Please reenter.");
  ASSERT_GE(refused, 0);
  EXPECT_EQ(rowOf(run.screens[static_cast<std::size_t>(refused)], 22),
            "Direct vocalization of initial state is illegal! Please reenter.");
  EXPECT_EQ(rowOf(run.screens[static_cast<std::size_t>(refused)], 0), "CREATE(X)");
  // The silent transition makes X nondeterministic.
  EXPECT_GE(findScreen(run, "WARNING: X is nondeterministic!"), 0);
  EXPECT_GE(findScreen(run, "[    1,  e,    2]"), 0);
  EXPECT_GE(findScreen(run, "X has been filed as "), 0);
  EXPECT_EQ(program.sessionLog(),
            wrapLogText("X = Create(X,[mark 0,2],[voc [1,10]],[tran [0,1,1],[1,e,2],[2,2,0]])  (3,3)\n\n", 4));
}

TEST_F(CreateEdit, CreateOfNoStatesAndOfAllMarkedStates) {
  const test::ConsoleRun run = runConsole(program, " T01\rX\r0\r-1\r-1\r-1\r\r\r"
                                                   "01\rY\r2\r*\r-1\r-1\r-1\r\r\rXX");
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_EQ(loadUser("X.DES").size(), 0);
  EXPECT_EQ(test::describe(loadUser("Y.DES")), "2: | marked 0 1");
  EXPECT_EQ(program.sessionLog(), "X = Create(X)  (0,0)\n\nY = Create(Y,[mark all])  (2,0)\n\n");
}

TEST_F(CreateEdit, CreateScrollsLongTransitionListsUnderItsHeading) {
  std::string keys = " T01\rL\r30\r-1\r-1\r";
  for (int s = 0; s < 30; ++s) keys += std::to_string(s) + "\r1\r" + std::to_string((s + 1) % 30) + "\r";
  const test::ConsoleRun run = runConsole(program, keys + "-1\r\r\rXX");
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_EQ(countTransitions(loadUser("L.DES")), 30);
  // The last rows typed stand at the bottom, the heading still on top.
  const int last = findScreen(run, "Exit State:  29");
  ASSERT_GE(last, 0);
  const std::string& screen = run.screens[static_cast<std::size_t>(last)];
  EXPECT_EQ(rowOf(screen, 0), "CREATE(L)");
  EXPECT_EQ(rowOf(screen, 2), "Enter transitions using:");
  EXPECT_NE(rowOf(screen, 20).find("Exit State:  28"), std::string::npos) << screen;
  EXPECT_NE(rowOf(screen, 21).find("Exit State:  29"), std::string::npos) << screen;
}

TEST_F(CreateEdit, CreateWritesTheAdsTemplate) {
  const test::ConsoleRun run = runConsole(program, " T02\rT\r\rXX");
  EXPECT_EQ(run.status, 0) << run.output;
  test::TempDir dir;
  writeAdsTemplate(std::fopen((dir.path + "T.ADS").c_str(), "w"), "T");
  EXPECT_EQ(readFile(program.user("T.ADS")), readFile(dir.path + "T.ADS"));
  const int shown = findScreen(run, "Now use your ASCII editor to complete the file");
  ASSERT_GE(shown, 0);
  const std::string& screen = run.screens[static_cast<std::size_t>(shown)];
  EXPECT_NE(screen.find("return to KAV, and use FD to convert\nT.ADS to T.DES"), std::string::npos) << screen;
  EXPECT_EQ(program.sessionLog(), "");
}

TEST_F(CreateEdit, EditChangesEverythingUnderANewNameAndLogsIt) {
  // 0 -1-> 1 -2-> 2 (marked), 0 -3-> 3.
  createDES(program, "A", 4, "2", "0 1 1\n1 2 2\n0 3 3\n");
  const std::string before = readFile(program.user("A.DES"));
  const std::string keys = " TEA\r\rB\r"
                           "n3\r5\r-1\r"                      // mark 3 and 5 (which enlarges the DES)
                           "2\r9\r-1\r"                       // unmark 2; 9 is refused
                           "n0\r5\r5\r*\r7\r0\r2\r9\r3\r-1\r" // add, one of them from every state
                           "1\r2\r2\r-1\r"                    // delete
                           "nn3\r20\r-1\r"                    // vocal output of state 3
                           "y0\r4\r-1\r3\r\r"                 // delete 0 and 4; old 3 becomes initial, silent
                           "\r"                               // no check for nondeterminism
                           "\r\rXX";                          // keep unreachable states; EDITING COMPLETE
  const test::ConsoleRun run = runConsole(program, keys);
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_EQ(readFile(program.user("A.DES")), before);
  // Survivors 1, 2, 3, 5 with 3 first: 3 -> 0, 1 -> 1, 2 -> 2, 5 -> 3. Every
  // transition into the deleted 0 has gone.
  const DES b = loadUser("B.DES");
  EXPECT_EQ(test::describe(b), "4: 2-9->0 | marked 0 3");
  EXPECT_EQ(b[0].vocal, 0);
  const int refused = findScreen(run, "Marker state 9 is illegal, please reenter!");
  ASSERT_GE(refused, 0);
  EXPECT_EQ(rowOf(run.screens[static_cast<std::size_t>(refused)], 22), "Marker state 9 is illegal, please reenter!");
  EXPECT_GE(findScreen(run, "Former initial state 0 will be deleted."), 0);
  EXPECT_GE(findScreen(run, "B will be recoded with initial state relabelled to 0."), 0);
  EXPECT_GE(findScreen(run, "EDITING COMPLETE"), 0);
  EXPECT_EQ(program.sessionLog(), wrapLogText("B = Edit(A,[mark +[3],+[5],-[2]],[states -[0],-[4]],"
                                      "[trans +[0,5,5],+[*,7,0],+[2,9,3],-[1,2,2]],[voc [3,20],[3,0]])  (4,1)\n\n",
                                      4));
}

TEST_F(CreateEdit, EditKeepingTheNameOverwritesTheInputAndCanDropUnreachableStates) {
  createDES(program, "A", 3, "1", "0 1 1\n2 2 0\n");
  const test::ConsoleRun run = runConsole(program, " TEA\rn\r\r\r\r\ry\rXX");
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_GE(findScreen(run, "List of marker states of A is currently:  1"), 0);
  EXPECT_GE(findScreen(run, "List of vocal states of A is currently: none"), 0);
  EXPECT_EQ(test::describe(loadUser("A.DES")), "2: 0-1->1 | marked 1");
  EXPECT_EQ(program.sessionLog(), "A = Edit(A,rch)  (2,1)\n\n");
}

TEST_F(CreateEdit, EditRefusesControlDataAndEscapeLeavesEverythingAsItWas) {
  ASSERT_EQ(saveDESFile(program.user("X.DES"), test::makeDES(1, {{0, 1, 0}}), -1, 2), SAVE_OK);
  createDES(program, "A", 2, "1", "0 1 1\n");
  const std::string before = readFile(program.user("A.DES"));
  const test::ConsoleRun run = runConsole(program, " TEX\r\rEA\rnn4\r" + std::string(ESC) + "XX");
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_GE(findScreen(run, "X IS A CONTROL DATA FILE, AND CANNOT BE EDITED!"), 0);
  EXPECT_EQ(readFile(program.user("A.DES")), before);
  EXPECT_EQ(program.sessionLog(), "");
}

} // namespace
} // namespace kav
