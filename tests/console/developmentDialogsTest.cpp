// The development procedures end to end: keys through "kav -autotest" into
// the two hidden development menus, and the DES and log entries they leave.
// They compute in the interactive process, so nothing but the dialog runs.

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <string>

#include "console/consoleSupport.h"

namespace kav {
namespace {

using namespace test;

// 0 -1-> 1 -2-> 2 (marked).
void putA(const ProgramDir& p) { p.save("A.DES", makeDES(3, {{0, 1, 1}, {1, 2, 2}}, {2})); }

void putBlocking(const ProgramDir& p) {
  p.save("A.DES", makeDES(4, {{0, 1, 1}, {1, 3, 2}, {0, 5, 3}}, {2}));
  // State 2 cannot be reached; choosing 0 (not blocking) asks again.
  p.save("U.DES", makeDES(3, {{0, 1, 1}, {2, 1, 1}}, {1}));
  p.save("T.DES", makeDES(2, {{0, 1, 1}}, {1}));
}

// 0 -> 4 in two steps through 2 or three through 1 and 3; 0 -> 3 in two
// steps through 1 (label 1, scanned first) or 2; 4 -2-> 0 closes a cycle;
// 5 is reached from nowhere.
void putPaths(const ProgramDir& p) {
  p.save("S.DES", makeDES(6, {{0, 1, 1}, {0, 3, 2}, {1, 1, 3}, {2, 3, 3}, {3, 5, 4}, {2, 7, 4}, {4, 2, 0}}, {}));
}

// B2 overlaps A's label 1 at state 0; its own state 0 is marked and vocal,
// which the graft drops, while state 1 keeps its output.
void putGrafts(const ProgramDir& p) {
  putA(p);
  p.save("B1.DES", makeDES(1, {{0, 7, 0}}, {0}));
  DES b2 = makeDES(2, {{0, 1, 1}}, {0, 1});
  b2[0].vocal = 10;
  b2[1].vocal = 20;
  p.save("B2.DES", b2);
}

// An empty DES, and a state 0 whose 65535 transitions fill it: 1000 labels
// to each of 65 targets, and 535 more to the 66th.
void putRefusals(const ProgramDir& p) {
  putA(p);
  p.save("E.DES", DES{});
  std::vector<test::Edge> edges;
  for (std::int64_t t = 0; t < 66 && edges.size() < 65535; ++t)
    for (int e = 0; e < 1000 && edges.size() < 65535; ++e) edges.push_back({0, static_cast<std::uint16_t>(e), t});
  p.save("FULL.DES", makeDES(66, edges, {}));
  p.save("ONE.DES", makeDES(2, {{0, 1, 1}}, {}));
}

// W: two states of 40000 transitions each, merged into one.
void putStatemaps(const ProgramDir& p) {
  putA(p);
  p.save("D.DES", makeDES(3, {{0, 1, 1}, {1, 2, 2}, {2, 3, 0}}, {0}));
  p.save("F.DES", makeDES(4, {{0, 1, 3}}, {}));
  std::vector<test::Edge> wide;
  for (std::int64_t t = 0; t < 40; ++t)
    for (int e = 0; e < 1000; ++e) {
      wide.push_back({1, static_cast<std::uint16_t>(e), 3 + t});
      wide.push_back({2, static_cast<std::uint16_t>(e), 43 + t});
    }
  p.save("W.DES", makeDES(83, wide, {}));
}

// An output name taken by a folder.
void putFolder(const ProgramDir& p) {
  putA(p);
  ::mkdir(p.user("DIR.DES").c_str(), 0755);
}

const char* const TOO_MANY = "Computation failed: a state would carry more than 65535 transitions.";

// Keys go through Z1 or Z2 into a development menu and X out of it.
const test::DialogCase ROWS[] = {
    {putBlocking, {"Z10A\rP\r3\r\r0U\rQ\r0\r2\r\r0T\rR\r\rX",
                   {"The list of block states is:\n     3\n", "Shortest path to selected block state is reported in P.DES",
                    "Select one of block states from block state list:", "There does not exist blocked state in T"},
                   {}, {{"P.DES", "4: 0-5->3 | marked 3"}, {"Q.DES", "3: | marked 2"}, {"R.DES", "unreadable"}},
                   "P = Path-to-block(A,3)  (4,1)\n\nQ = Path-to-block(U,2)  (3,0)\n\n"}},
    {putPaths, {"Z11S\rR1\r0\r4\r\r1S\rR2\r0\r3\r\r1S\rR3\r0\r0\r\r1S\rR4\r0\r5\r\rX",
                {"State [0] is not reachable from itself along a nonempty path",
                 "State [5] is not reachable from state [0]"},
                {},
                {{"R1.DES", "6: 0-3->2 2-7->4 | marked"}, {"R2.DES", "6: 0-1->1 1-1->3 | marked"},
                 {"R3.DES", "6: | marked"}, {"R4.DES", "6: | marked"}},
                "R1 = Shortestpath(S,start [0], end [4])  (6,2)  \n\nR2 = Shortestpath(S,start [0], end [3])  (6,2)  \n\n"}},
    {putGrafts, {"Z21A\rB1\rC1\r1\r\r1A\rB2\rC2\r0\r\rX", {"C1 is DETERMINISTIC.", "C2 is NONDETERMINISTIC."}, {},
                 {{"C1.DES", "3: 0-1->1 1-2->2 1-7->1 | marked 2"},
                  {"C2.DES", "4: 0-1->1 0-1->3 1-2->2 | marked 2 3 | vocal 3:20"}},
                 "C1 = Attach(A,[1], B1)  (3,3)  Deterministic.\n\nC2 = Attach(A,[0], B2)  (4,3)  Nondeterministic.\n\n"}},
    // Empty DES1, empty DES2, a state 0 that would hold 65536; Shortestpath
    // of an empty DES.
    {putRefusals, {"Z21E\r\r1A\rE\r\r1FULL\rONE\rC\r0\r\rXZ11E\r\rX",
                   {"E has no states: there is no state to attach to.",
                    "E has no states: there is no initial state to attach.", TOO_MANY,
                    "E has no states: there is no state to start from."},
                   {}, {{"C.DES", "unreadable"}}, ""}},
    // No pairs; [1,0] and [2,0]; [3,2] and [3,1], [3,1] first; 80000
    // transitions at 1.
    {putStatemaps, {"Z28A\rM1\r-1\r\r8D\rM2\r1\r0\r2\r0\r-1\r\r8F\rM3\r3\r2\r3\r1\r-1\r\r8W\rM4\r2\r1\r-1\r\rX",
                    {TOO_MANY}, {},
                    {{"M1.DES", "3: 0-1->1 1-2->2 | marked"}, {"M2.DES", "3: 0-1->0 0-2->0 0-3->0 | marked"},
                     {"M3.DES", "4: 0-1->1 | marked"}, {"M4.DES", "unreadable"}},
                    "M1 = Statemap(A,[])  (3,2)\n\nM2 = Statemap(D,[[1,0],[2,0]])  (3,3)\n\n"
                    "M3 = Statemap(F,[[3,1],[3,2]])  (4,1)\n\n"}},
    // A result that cannot be saved is told and not logged.
    {putFolder, {"Z28A\rDIR\r\r-1\r\rX", {"Error writing file: "}, {}, {}, ""}},
};

INSTANTIATE_TEST_SUITE_P(Development, Dialog, ::testing::ValuesIn(ROWS));

} // namespace
} // namespace kav
