// Create and Edit end to end through "kav -autotest" scripts: the DES
// saved, the log entries, and the screens of the refusals.

#include <gtest/gtest.h>

#include "console/consoleSupport.h"
#include "console/sessionLog.h"
#include "model/desfile.h"
#include "output/ads.h"

namespace kav {
namespace {

using namespace test;

void putNothing(const ProgramDir&) {}
// 0 -1-> 1 -2-> 2 (marked), 0 -3-> 3.
void putA(const ProgramDir& p) { p.save("A.DES", makeDES(4, {{0, 1, 1}, {1, 2, 2}, {0, 3, 3}}, {2})); }
// 2 is unreachable.
void putUnreachable(const ProgramDir& p) { p.save("A.DES", makeDES(3, {{0, 1, 1}, {2, 2, 0}}, {1})); }
void putControlData(const ProgramDir& p) {
  p.save("X.DES", makeDES(1, {{0, 1, 0}}), -1);
  p.save("A.DES", makeDES(2, {{0, 1, 1}}, {1}));
}

const std::string A4 = "4: 0-1->1 0-3->3 1-2->2 | marked 2";

const test::DialogCase ROWS[] = {
    {putNothing, {"01\rX\r3\r"
                  "0\r2\r-1\r"                               // markers
                  "0\r1\r10\r-1\r"                           // state 0 refused, then 1 -> 10
                  "0\r1\r1\r1\re\r2\r0\r1\r1\r2\r2\r0\r-1\r" // the repeated 0 1 1 is kept once
                  "y\r",                                     // check for nondeterminism
                  {"CREATE(X)", "Direct vocalization of initial state is illegal! Please reenter.",
                   // The silent transition makes X nondeterministic.
                   "WARNING: X is nondeterministic!", "[    1,  e,    2]", "X has been filed as "},
                  {}, {{"X.DES", "3: 0-1->1 1-1000->2 2-2->0 | marked 0 2 | vocal 1:10"}},
                  wrapLogText("X = Create(X,[mark 0,2],[voc [1,10]],[tran [0,1,1],[1,e,2],[2,2,0]])  (3,3)\n\n", 4)}},
    {putNothing, {"01\rX\r0\r-1\r-1\r-1\r\r\r01\rY\r2\r*\r-1\r-1\r-1\r\r\r", {}, {},
                  {{"X.DES", "0: | marked"}, {"Y.DES", "2: | marked 0 1"}},
                  "X = Create(X)  (0,0)\n\nY = Create(Y,[mark all])  (2,0)\n\n"}},
    {putNothing, {"02\rT\r\r", {"Now use your ASCII editor to complete the file",
                                "return to KAV, and use FD to convert\nT.ADS to T.DES"}, {}, {}, ""}},
    // Survivors 1, 2, 3, 5 with 3 first: 3 -> 0, 1 -> 1, 2 -> 2, 5 -> 3. Every
    // transition into the deleted 0 has gone.
    {putA, {"EA\r\rB\r"
            "n3\r5\r-1\r"                      // mark 3 and 5 (which enlarges the DES)
            "2\r9\r-1\r"                       // unmark 2; 9 is refused
            "n0\r5\r5\r*\r7\r0\r2\r9\r3\r-1\r" // add, one of them from every state
            "1\r2\r2\r-1\r"                    // delete
            "nn3\r20\r-1\r"                    // vocal output of state 3
            "y0\r4\r-1\r3\r\r"                 // delete 0 and 4; old 3 becomes initial, silent
            "\r"                               // no check for nondeterminism
            "\r\r",                            // keep unreachable states; EDITING COMPLETE
            {"Marker state 9 is illegal, please reenter!", "Former initial state 0 will be deleted.",
             "B will be recoded with initial state relabelled to 0.", "EDITING COMPLETE"},
            {}, {{"A.DES", A4}, {"B.DES", "4: 2-9->0 | marked 0 3"}},
            wrapLogText("B = Edit(A,[mark +[3],+[5],-[2]],[states -[0],-[4]],"
                        "[trans +[0,5,5],+[*,7,0],+[2,9,3],-[1,2,2]],[voc [3,20],[3,0]])  (4,1)\n\n",
                        4)}},
    // Keeping the name overwrites the input; unreachable states dropped.
    {putUnreachable, {"EA\rn\r\r\r\r\ry\r",
                      {"List of marker states of A is currently:  1", "List of vocal states of A is currently: none"},
                      {}, {{"A.DES", "2: 0-1->1 | marked 1"}}, "A = Edit(A,rch)  (2,1)\n\n"}},
    {putControlData, {"EX\r\rEA\rnn4\r\x1b", {"X IS A CONTROL DATA FILE, AND CANNOT BE EDITED!"}, {},
                      {{"A.DES", "2: 0-1->1 | marked 1"}}, ""}},
};

INSTANTIATE_TEST_SUITE_P(CreateEdit, Dialog, ::testing::ValuesIn(ROWS));

TEST(CreateEdit, CreateWritesTheAdsTemplateAndScrollsLongListsUnderTheHeading) {
  ProgramDir program;
  std::string keys = " T02\rT\r\r01\rL\r30\r-1\r-1\r";
  for (int s = 0; s < 30; ++s) keys += std::to_string(s) + "\r1\r" + std::to_string((s + 1) % 30) + "\r";
  const test::ConsoleRun run = test::runConsole(program, keys + "-1\r\r\rXX");
  EXPECT_EQ(run.status, 0) << run.output;
  test::TempDir dir;
  writeAdsTemplate(std::fopen((dir.path + "T.ADS").c_str(), "w"), "T");
  EXPECT_EQ(test::readFile(program.user("T.ADS")), test::readFile(dir.path + "T.ADS"));
  EXPECT_EQ(countTransitions(program.load("L.DES")), 30);
  // The last rows typed stand at the bottom, the heading still on top.
  const int last = findScreen(run, "Exit State:  29");
  ASSERT_GE(last, 0);
  const std::string& screen = run.screens[static_cast<std::size_t>(last)];
  EXPECT_EQ(rowOf(screen, 0), "CREATE(L)");
  EXPECT_EQ(rowOf(screen, 2), "Enter transitions using:");
  EXPECT_NE(rowOf(screen, 20).find("Exit State:  28"), std::string::npos) << screen;
  EXPECT_NE(rowOf(screen, 21).find("Exit State:  29"), std::string::npos) << screen;
}

} // namespace
} // namespace kav
