// The interactive console as a process: scripts of keys through
// "kav -autotest", checked on the screens shown, the session log and the
// files left in the user directory.

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <regex>

#include "console/consoleSupport.h"
#include "console/screen.h"
#include "model/desfile.h"

namespace kav {
namespace {

using namespace test;

// 0 -1-> 1 -2-> 2 (marked), 0 -3-> 3 which blocks: trims to 3 states.
void putA(const ProgramDir& p) { p.save("A.DES", makeDES(4, {{0, 1, 1}, {1, 2, 2}, {0, 3, 3}}, {2})); }
void putNothing(const ProgramDir&) {}
void putMachines(const ProgramDir& p) {
  p.save("M1.DES", makeDES(3, {{0, 1, 1}, {1, 2, 2}}, {2}));
  p.save("M2.DES", makeDES(2, {{0, 5, 1}}, {1}));
}
// Plant 0 -1-> 1 -2-> 0, both marked; the legal DES forbids the
// uncontrollable 2 after 1, so 1 must go as well.
void putPlant(const ProgramDir& p) {
  p.save("P.DES", makeDES(2, {{0, 1, 1}, {1, 2, 0}}, {0, 1}));
  p.save("S.DES", makeDES(2, {{0, 1, 1}}, {0, 1}));
}
// C offers 1 first and D offers 5 first: both are blocked at once. E
// offers eight labels that F knows but never offers from its start.
void putBlocking(const ProgramDir& p) {
  p.save("A.DES", makeDES(2, {{0, 1, 1}}, {1}));
  p.save("B.DES", makeDES(2, {{0, 3, 1}}, {1}));
  p.save("C.DES", makeDES(2, {{0, 1, 1}, {1, 5, 0}}, {0}));
  p.save("D.DES", makeDES(2, {{0, 5, 1}, {1, 1, 0}}, {0}));
  std::vector<test::Edge> eight, stuck{{0, 17, 0}};
  for (std::uint16_t e = 1; e <= 15; e += 2) {
    eight.push_back({0, e, 1});
    stuck.push_back({1, e, 1});
  }
  p.save("E.DES", makeDES(2, eight, {0}));
  p.save("F.DES", makeDES(2, stuck, {0}));
}
// D: one marked state offering 1 and 3; with A it avoids A's dead end 2.
void putIsomorph(const ProgramDir& p) {
  p.save("A.DES", makeDES(3, {{0, 1, 1}, {0, 2, 2}, {1, 3, 0}}, {1}));
  p.save("B.DES", makeDES(3, {{0, 1, 2}, {0, 2, 1}, {2, 3, 0}}, {2}));
  p.save("C.DES", makeDES(3, {{0, 1, 2}, {0, 2, 1}, {2, 3, 0}}, {1}));
  p.save("D.DES", makeDES(1, {{0, 1, 0}, {0, 3, 0}}, {0}));
}
// Two controllable forks into outputs 10 and 20; a DES whose initial state
// has an output; outputs 10..99 along an uncontrollable chain.
void putOutputs(const ProgramDir& p) {
  DES forks = makeDES(7, {{0, 1, 1}, {1, 2, 2}, {1, 4, 3}, {0, 3, 4}, {4, 6, 5}, {4, 8, 6}}, {});
  for (auto [state, output] : {std::pair{2, 10}, {3, 20}, {5, 10}, {6, 20}}) forks[state].vocal = static_cast<std::int16_t>(output);
  p.save("TF.DES", forks);
  DES initial = makeDES(2, {{0, 1, 1}}, {});
  initial[0].vocal = 10;
  p.save("V0.DES", initial);
  std::vector<test::Edge> chain;
  for (std::int64_t s = 0; s < 90; ++s) chain.push_back({s, 2, s + 1});
  DES full = makeDES(91, chain, {0});
  for (std::int64_t s = 1; s <= 90; ++s) full[s].vocal = static_cast<std::int16_t>(9 + s);
  p.save("CHAIN.DES", full);
}
void putObservation(const ProgramDir& p) {
  p.save("A.DES", makeDES(2, {{0, 1, 1}}, {1}));
  p.save("B.DES", makeDES(3, {{0, 1, 1}, {0, 3, 2}, {2, 1, 1}}, {1}));
  p.save("I.DES", makeDES(1, {{0, 1, 0}}, {0}));
  // Silent 2 between two cells of the quasi-congruence; 3 and 4 merge.
  p.save("D.DES", makeDES(5, {{0, 1, 2}, {0, 3, 2}, {0, 2, 1}, {1, 1, 2}, {2, 5, 3}, {3, 2, 4}, {4, 1, 3}}, {2}));
  // The plant can do 1 after silent 2; the legal DES cannot, and it marks
  // only before 2.
  p.save("P.DES", makeDES(3, {{0, 2, 1}, {0, 1, 2}, {1, 1, 2}}, {0, 1}));
  p.save("K.DES", makeDES(3, {{0, 2, 1}, {0, 1, 2}}, {0}));
  p.save("G.DES", makeDES(3, {{0, 1, 2}, {0, 3, 2}, {0, 2, 1}, {1, 1, 2}, {2, 5, 0}}, {2}));
  p.save("Z.DES", makeDES(1, {{0, 1, 0}, {0, 3, 0}, {0, 5, 0}}, {0}));
}

const test::DialogCase LOG_ENTRIES[] = {
    {putA, {"2A\r\rB\r\r2A\rn\r", {"Assign new name to A?   (*y/n)", "Press <Enter> to return to KAV Procedures"}, {},
            {{"B.DES", "3: 0-1->1 1-2->2 | marked 2"}, {"A.DES", "3: 0-1->1 1-2->2 | marked 2"}},
            "B = Trim(A)  (3,2)\n\nA = Trim(A)  (3,2)\n\n"}},
    {putA, {"1\rA\r\rS\r2\r-1\r\r", {}, {}, {}, "S = Selfloop(A,[2])  (4,6)\n\n"}},
    {putA, {"10A\rC\rn5\r-1\r\r", {}, {}, {}, "C = Complement(A,[5])  (5,20)\n\n"}},
    {putA, {"P0A\rP\rn3\r-1\r\r", {}, {}, {{"P.DES", "3: 0-1->1 1-2->2 | marked 2"}}, "P = Project(A,Null[3])  (3,2)\n\n"}},
    {putA, {"R0A\rR\r1\r5\r-1\r\r", {}, {}, {{"R.DES", "4: 0-3->3 0-5->1 1-2->2 | marked 2"}},
            "R = Relabel(A,[[1,5]])  (4,3)\n\n"}},
    {putA, {"12A\rF\r1\r-1\r3\r-1\r9\r\r", {}, {}, {{"F.DES", "5: 0-1->1 0-9->4 1-2->2 4-3->3 | marked 2"}},
            "F = Force(A,Forcible [1],Preemptible [3],Timeout [9])  (5,4)\n\n"}},
    // 101 is the encoded form of V's output 10, the same high-level event,
    // so Hiconsis reports no new label.
    {putA, {"H0A\rV\r0\r1\r10\r-1\r\r\rH1V\rO\r\rH2V\rH\r\r\rH3V\rG\r\r", {}, {}, {{"G.DES", "2: 0-10->1 | marked 1"}},
            "V = Vocalize(A,[[0,1,10]])  (4,3)\n\nO = Outconsis(V)  (4,3)\n\nH = Hiconsis(V)  (4,3)\n\n"
            "G = Higen(V)  (2,1)\n\n"}},
    {putMachines, {"6M1\rM2\rX\r2\r0\r-1\r\r", {}, {}, {{"X.DES", "4: 0-5->1 1-1->2 2-2->3 | marked 3"}},
                   "X = Mutex(M1,M2,[[2,0]])  (4,3)\n\n"}},
    {putMachines, {"H4\rM1\rE\r\r", {}, {}, {}, "E = Allevents(M1.DES)  (1,2)\n\n"}},
    {putNothing, {"H4e7\r-1\rL\r\r", {}, {}, {}, "L = Allevents([7])  (1,1)\n\n"}},
    {putIsomorph, {"IA\rB\ry\r", {"A and B are isomorphic, under state correspondence"}, {}, {},
                   "true = Isomorph(A,B;[[1,2],[2,1]])\n\n"}},
    {putIsomorph, {"IA\rA\r\r", {"A and A are isomorphic, under state correspondence   IDENTITY"}, {}, {},
                   "true = Isomorph(A,A;identity)\n\n"}},
    {putIsomorph, {"IA\rC\r\r", {"A and C are not isomorphic"}, {}, {}, "false = Isomorph(A,C)\n\n"}},
    {putIsomorph, {"NCA\rD\r\r", {"A and D are NONCONFLICTING"}, {}, {}, "true = Nonconflict(A,D)\n\n"}},
    // Both can take 2 to a dead end.
    {putIsomorph, {"NCA\rB\r\r", {"A and B are CONFLICTING!"}, {}, {}, "false = Nonconflict(A,B)\n\n"}},
    // Hiconsis makes both forks vocal with the new event 11, entered
    // controllably (111).
    {putOutputs, {"H2TF\rHT\r\r\r", {}, {}, {}, "HT = Hiconsis(TF)  (5,6)\n     New event labels: [111]\n\n"}},
    {putOutputs, {"H1V0\rO\r\rH3V0\rO\r\rH2CHAIN\rO\rm\r",
                  {"        Sorry! Initial state 0 of DES1 must be silent (output 0).",
                   "        Sorry! Initial state 0 of DES1 must be silent (output 0).",
                   "               Sorry! Vocal output overflow."},
                  {}, {{"O.DES", "unreadable"}}, ""}},
    {putPlant, {"5P\rS\rSUP\r\r7P\rP\rCD\r\r42\rP\rS\rM\r\r9P\r\rMIN\r\r", {}, {}, {{"CD.DAT", "2: | marked"}},
                "SUP = Supcon(P,S)  (1,0)\n\nCD = Condat(P,P)  Controllable.\n\nM = Meet(P,S)  (2,1)\n\n"
                "MIN = Minstate(P)  (2,2)\n\n"}},
    {putBlocking, {"32\rA\rB\rX\r\r32\rC\rD\rY\r\r32\rE\rF\rZ\r\r",
                   {"Events blocked in X: None.", "Events blocked in Y: [  1,  5]", "Events blocked in Z: See MAKEIT.TXT file."},
                   {}, {},
                   "X = Sync(A,B)  (4,4)  Blocked_events = None  \n\nY = Sync(C,D)  (1,0)  Blocked_events = [1,5]  \n\n"
                   "Z = Sync(E,F)  (1,1)  Blocked_events = [1,3,5,7,9,11,13,15]  \n\n"}},
    {putObservation, {"SNA\rB\rN\rn3\r-1\r\r", {"Enter list of event labels to be nulled by supnorm;"}, {}, {},
                      "N = Supnorm(A,B,Null[3])  (0,0)\n\n"}},
    {putObservation, {"SSA\rB\rS\ri1\r-1\r\r", {}, {}, {}, "S = Supscop(A,B,Image[1])  (0,0)\n\n"}},
    {putObservation, {"SRB\rA\rR\rdI\r\r", {"Enter name of supremal\n relatively observable sublanguage generator DES3 ... R"},
                      {}, {}, "R = Suprobs(B,A,I)  (2,1)\n\n"}},
    {putObservation, {"RRB\rA\rC\rn-1\r\r",
                      {"Enter name of supremal controllable and\n relatively observable sublanguage generator DES3 ...  C"},
                      {}, {}, "C = Supconrobs(B,A,Null[])  (2,1)\n\n"}},
    {putObservation, {"UMB\rU\rn3\r-1\r\r", {"Enter list of event labels to be nulled;"}, {},
                      {{"U.DES", "2: 0-1->1 0-3->0 | marked 1"}}, "U = Uncertmod(B,Null[3])  (2,2)\n\n"}},
    // Asked again after x; the partition reported, then omitted; every
    // event image.
    {putObservation, {"QCx\rqc\rD\rQ\rn2\r-1\ry\rQCSQC\rD\rQ2\ri1\r3\r5\r-1\r\r\rQCqc\rD\rQ3\rn-1\rn\r",
                      {"SUPREMAL (STRONG) QUASI-CONGRUENCE\n\nDES2 = SUP(S)QC (DES1, NULL/IMAGE/IMAGE_DES)",
                       "SUPREMAL QUASI-CONGRUENCE\n\nDES2 = SUPQC (DES1, NULL/IMAGE/IMAGE_DES)",
                       "Q is NONDETERMINISTIC.", "Report QC state partition in MAKEIT.TXT?  (y/*n)",
                       "Report SQC state partition in MAKEIT.TXT?  (y/*n)", "Q3 is DETERMINISTIC."},
                      {}, {},
                      "Q = Supqc(D,Null[2],QC[[3,4]])  (4,6)  Nondeterministic.\n\n"
                      "Q2 = Supsqc(D,Image[1,3,5],SQC[omitted])  (4,6)  Nondeterministic.\n\n"
                      "Q3 = Supqc(D,Null[],QC[omitted])  (5,7)  Deterministic.\n\n"}},
    {putObservation, {"QCqc\rD\rQ\ri-1\ry\r", {"Q is DETERMINISTIC."}, {}, {},
                      "Q = Supqc(D,Image[],QC[])  (1,0)  Deterministic.\n\n"}},
    {putObservation, {"OBx\ro\rP\rK\rn2\r-1\r\rOBsO\rP\rK\rn-1\r\r",
                      {"K is not observable with respect to P\nStates and corresponding events at which\n"
                       "observability fails are reported in MAKEIT.TXT",
                       "K is strongly observable with respect to P"},
                      {}, {},
                      "false = Obs(P,K,Null[2])\n        FailObs(K,P[1,1;1,_])\n\ntrue = Sobs(P,K,Null[])\n\n"}},
    // An event list, then a DES as the seed, overwriting both outputs.
    {putObservation, {"NOG\re1\r3\r5\r-1\rO\rL\r\rNOG\r\rZ\rO\ry\rL\ry\r\r",
                      {"(DES3,DES4) = NATOBS (DES1, DES2/DAT2/[EVENTLIST])\n\nEnter name of DES1 to be projected by\n"
                       "  natural observer ...............................",
                       "DES2 (Seed) image: [1,3,5]\n\nDES4 (Natural observer) image: [1,2,3,5]"},
                      {},
                      {{"O.DES", "3: 0-1->2 0-2->1 0-3->2 1-1->2 2-5->0 | marked 2"},
                       {"L.DES", "1: 0-1->0 0-2->0 0-3->0 0-5->0 | marked 0"}},
                      "(O,L) = Natobs(G,[1,3,5])  ((3,5);(1,4))\n\n(O,L) = Natobs(G,Z.DES)  ((3,5);(1,4))\n\n"}},
};

// The rows of every dialog table run here.
TEST_P(Dialog, LeavesWhatItsRowSays) {
  ProgramDir program;
  GetParam().setup(program);
  SCOPED_TRACE("keys " + GetParam().run.keys);
  test::expectDialogRun(program, GetParam().run);
}

INSTANTIATE_TEST_SUITE_P(LogEntries, Dialog, ::testing::ValuesIn(LOG_ENTRIES));

class Console : public ::testing::Test {
protected:
  ProgramDir program;
};

// --- The menus ------------------------------------------------------------------------

TEST_F(Console, ShowsThePictureAndTheMenusAndTheirSwitches) {
  putA(program);
  const test::ConsoleRun run = runConsole(program, " qBDCTXX");
  EXPECT_EQ(run.status, 0) << run.output;
  ASSERT_GE(run.screens.size(), 7u);
  EXPECT_EQ(rowOf(run.screens[0], 12).substr(31), "KAV 2017.05.01");
  EXPECT_NE(run.screens[0].find("KK    KK"), std::string::npos);
  EXPECT_EQ(rowOf(run.screens[1], 4), std::string(24, ' ') + "PROGRAM KAV");
  EXPECT_EQ(rowOf(run.screens[1], 19), std::string(24, ' ') + "Option desired?");
  // A wrong key is cleared from the field before the next one is read.
  EXPECT_EQ(run.screens[2], run.screens[1]);
  const std::string& switched = run.screens[5];
  EXPECT_NE(switched.find("B:  Bell (On)"), std::string::npos);
  EXPECT_NE(switched.find("D:  Debug mode (On)"), std::string::npos);
  EXPECT_NE(switched.find("C:  Clocking mode (On)"), std::string::npos);
  EXPECT_EQ(readFile(program.dir.path + "orva.ini"), program.dir.path + "user\nCLOCK 1\n");
  const std::string& menu = run.screens[6];
  EXPECT_EQ(rowOf(menu, 3), std::string(31, ' ') + "KAV PROCEDURES");
  EXPECT_EQ(rowOf(menu, 19), std::string(31, ' ') + "Procedure desired:");
  EXPECT_EQ(rowOf(menu, 21), "     User directory: " + abbreviate(program.dir.path + "user", 59));
  EXPECT_EQ(rowOf(menu, 22), "     Number files: 1");
}

TEST_F(Console, EveryMenuCodeReachesItsDialog) {
  struct Code {
    const char* keys;        // typed at "Procedure desired:"
    const char* expected;    // on the screen it leads to
    const char* leave = ESC; // back to the procedures menu
  };
  // 13 is no code and A no procedure: the menu again.
  const Code codes[] = {
      {"0", "Please choose Option 1 or 2 ...."}, {"1\r", "DES2 = SELFLOOP (DES1, EVENT_LIST)"},
      {"10", "DES2 = COMPLEMENT (DES1, LIST)"},
      {"11", "(LOC1, LOC2, ...) = LOCALIZE (PLANT, (PLANT1, PLANT2, ...), SUPER)"},
      {"12", "DES2 = FORCE (DES1, [FORCIBLE], [PREEMPTABLE], TIMEOUT)"}, {"2", "DES2 = TRIM (DES1)"},
      {"3", "DES = SYNC (DES1, DES2, ..., DESk, k)"}, {"4", "DES = MEET (DES1, DES2, ..., DESk, k)"},
      {"5", "DES3 = SUPCON (DES1, DES2)"}, {"6", "DES3 = MUTEX (DES1, DES2, EXCLUDED_STATE_PAIR_LIST)"},
      {"7", "DES3 = CONDAT (DES1, DES2)"}, {"8", "DES3 = SUPREDUCE (DES1, DES2, DAT2)"},
      {"9", "DES2 = MINSTATE (DES1)"}, {"b", "REACH & BREADTH-FIRST SEARCH RECODE"}, {"ce", "GIF = CONVERT (DES)"},
      {"DE", "DISPLAY (DES)"}, {"E", "DES2 = EDIT (DES1)"}, {"FA", "FILE(DAT)"}, {"FD", "DES2 = FILE (ADS1)"},
      {"FE", "FILE(DES)"}, {"H0", "DES2 = VOCALIZE (DES1, [VOCAL])"}, {"H1", "DES2 = OUTCONSIS (DES1)"},
      {"H2", "DES2 = HICONSIS (DES1)"}, {"H3", "DES2 = HIGEN (DES1)"},
      {"H4", "DES2 = ALLEVENTS (DES1/DAT1/[EVENTLIST])"}, {"I", "ISOMORPH (DES1, DES2)"},
      {"MA", " D=PgDn  U=PgUp  Esc (Exit Show)"}, {"NC", "NONCONFLICT (DES1, DES2)"},
      {"NO", "(DES3,DES4) = NATOBS (DES1, DES2/DAT2/[EVENTLIST])"}, {"OB", "OBS (DES1, DES2, NULL/IMAGE/IMAGE_DES)"},
      {"P0", "DES2 = PROJECT (DES1, NULL/IMAGE/IMAGE_DES)"}, {"PA", "PRINT(DAT)"}, {"PE", "PRINT(DES)"},
      {"PX", "PRINT(TXT)"}, {"QC", "DES2 = SUP(S)QC (DES1, NULL/IMAGE/IMAGE_DES)"},
      {"R0", "DES2 = RELABEL (DES1, EVENT_MAP_PAIR_LIST)"},
      {"RR", "DES3 = SUPCONROBS (DES1, DES2, NULL/IMAGE/IMAGE_DES)"}, {"SA", "SHOW(DAT)"}, {"se", "SHOW(DES)"},
      {"SX", "SHOW(TXT)"}, {"SN", "DES3 = SUPNORM (DES1, DES2, NULL/IMAGE/IMAGE_DES)"},
      {"SR", "DES3 = SUPROBS (DES1, DES2, NULL/IMAGE/IMAGE_DES)"},
      {"SS", "DES3 = SUPSCOP (DES1, DES2, NULL/IMAGE/IMAGE_DES)"}, {"UD", " D=PgDn  U=PgUp  Esc (Exit Directory)"},
      {"UM", "DES2 = UNCERTMOD (DES1, NULL/IMAGE/IMAGE_DES)"}, {"Z1", "0: Path-to-Block", "2\rX"},
      {"Z22", "Ehmeet is not available in this version.", "\rX"}, {"13", "Procedure desired:", ""},
      {"A", "Procedure desired:", ""},
  };
  std::string keys = " T";
  for (const Code& c : codes) keys += std::string(c.keys) + c.leave;
  const test::ConsoleRun run = runConsole(program, keys + "XX");
  EXPECT_EQ(run.status, 0);
  int at = 0;
  for (const Code& c : codes) {
    const int found = findScreen(run, c.expected, at);
    ASSERT_GE(found, 0) << "code " << c.keys << " did not show " << c.expected;
    // Back in the procedures menu afterwards.
    at = findScreen(run, "Procedure desired:", found + 1);
    ASSERT_GE(at, 0) << "code " << c.keys;
  }
  EXPECT_GE(findScreen(run, "ExtOCC is not available in this version."), 0);
  EXPECT_GE(findScreen(run, "KAV DEVELOPMENT"), 0);
}

// --- Escape, failures, the session as a whole ------------------------------------------

TEST_F(Console, EscapeAtEveryPromptCancelsWithoutLogEntryOrOutput) {
  putA(program);
  program.save("B.DES", makeDES(1, {}, {0}));
  // The four-cycle plant and supervisor of the reduction dialogs, and the
  // inputs of a localization.
  const DES cycle = makeDES(4, {{0, 1, 1}, {1, 3, 2}, {2, 1, 3}, {3, 3, 0}});
  program.save("P.DES", cycle);
  program.save("S.DES", cycle);
  program.save("D.DAT", allocStates(4), -1);
  test::saveTwoMachines(program);
  // Keys up to each prompt, question or list of the dialogs.
  const std::string cancels[] = {
      "2", "2A\r", "2A\r\r", "2A\r\rB\r",               // Trim: input, rename, new name, overwrite
      "BA\r", "3", "32\rA\r", "32\rA\rA\r", "4",       // BFS-recode output; Sync k, input, output; Meet k
      "5A\rA\r", "7A\rA\r", "9A\r", "1\rA\rn1\r",      // Supcon, Condat outputs; Minstate rename; Selfloop list
      "10A\rC\r", "10A\rC\rn", "12A\rC\r", "12A\rC\r-1\r-1\r", // Complement question, list; Force list, timeout
      "6A\rA\rC\r1\r", "P0A\rC\r", "P0A\rC\rd", "P0A\rC\rn",   // Mutex pair; Project n/i/d, IMAGE_DES, list
      "R0A\rC\r", "H0A\rC\r", "H0A\rC\r0\r1\r", "H2A\rC\r", // Relabel; Vocalize state, output; Hiconsis option
      "H4", "H4\r", "H4\rA\r", "IA\r", "NC",           // Allevents source, DES1, output; Isomorph; Nonconflict
      "QC", "QCqc\rA\rQ\r", "QCqc\rA\rQ\rn-1\r",        // Sup(s)qc question, n/i/d, partition question
      "OB", "OBo\rA\r", "NO", "NOA\r", "NOA\re",        // (S)Observable; Natobs DES1, seed choice, event list
      "NOA\re-1\rO\r", "SNA\r", "SRA\rA\r", "UMA\rU\r", // Natobs DES4; Supnorm DES2; Suprobs output; Uncertmod
      "8P\rS\r", "8P\rS\rD\rR\r", "8P\rS\rD\rR\r\r",     // Supreduce DAT2, estimate, clean-up question
      "11", "11PLANT\r", "11PLANT\r2\rM1\r", "11PLANT\r2\rM1\rM2\r", // Localize plant, count, components, super
      "11PLANT\r2\rM1\rM2\rS\rL1\r", "11PLANT\r2\rM1\rM2\rS\rL1\rL2\r", // second controller, clean-up question
      "Z21A\rA\rC\r", "Z28A\rM\r1\r",                   // Attach state; Statemap pair
  };
  std::string keys = " T";
  for (const std::string& c : cancels) keys += c + ESC + (c.starts_with("Z") ? "X" : "");
  const test::ConsoleRun run = runConsole(program, keys + "XX");
  EXPECT_EQ(run.status, 0) << run.output;
  // Had any Escape not led straight back to the menu, the keys after it
  // would have gone astray and the closing XX would not end the program.
  EXPECT_GE(findScreen(run, "Execute clean-up procedure? (*y/n)"), 0);
  EXPECT_LT(findScreen(run, "Reduced supervisor"), 0);
  EXPECT_EQ(program.sessionLog(), "");
  for (const char* output : {"C.DES", "Q.DES", "O.DES", "U.DES", "L1.DES", "M.DES", "orva.prm"})
    EXPECT_FALSE(exists(program.user(output))) << output;
  EXPECT_EQ(program.describeFile("B.DES"), "1: | marked 0");
}

TEST_F(Console, FailedComputationsSayWhatWentWrongAndLogNothing) {
  putA(program);
  writeFile(program.user("BAD.DES"), "not a DES file at all");
  ::mkdir(program.user("DIR.DES").c_str(), 0755);
  const test::ConsoleRun run = runConsole(program, " T2BAD\r\rOUT\r\r2A\r\rDIR\r\r\rXX");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(rowOf(screenWith(run, "Error reading file:"), 22), "Error reading file: " + abbreviate(program.user("BAD.DES"), 59));
  const std::string unwritable = screenWith(run, "Error writing file:");
  EXPECT_EQ(rowOf(unwritable, 22), "Error writing file: " + abbreviate(program.user("DIR.DES"), 59));
  EXPECT_EQ(rowOf(unwritable, 23), "Press <Enter> to return to KAV Procedures");
  EXPECT_EQ(program.sessionLog(), "");
  if (test::sanitizedBuild()) GTEST_SKIP() << "the sanitizer's allocator ignores address-space limits";
  // Loading it needs 800 MB, far beyond the limit of the child.
  program.saveHuge("BIG.DES");
  const std::string shown = screenWith(runConsole(program, " T2BIG\r\rOUT\r\rXX", 256ull << 20), "Problem too large");
  EXPECT_EQ(rowOf(shown, 22), "Problem too large -- out of memory!");
  EXPECT_EQ(rowOf(shown, 23), "Press <Enter> to return to KAV Procedures");
  EXPECT_EQ(program.sessionLog(), "");
  EXPECT_FALSE(exists(program.user("OUT.DES")));
}

TEST_F(Console, ASecondSessionInTheSameUserDirectoryIsTurnedAway) {
  const int fd = ::open(program.userDir.c_str(), O_RDONLY | O_DIRECTORY);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
  const test::ConsoleRun run = runConsole(program, " X");
  ::close(fd);
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.output.find("is in use by another KAV session"), std::string::npos) << run.output;
  EXPECT_TRUE(run.screens.empty());
}

TEST_F(Console, AScriptEndingInsideADialogEndsWithStatus255) {
  putA(program);
  EXPECT_EQ(runConsole(program, " T2A").status, 255);
  EXPECT_EQ(runConsole(program, " T2A\x1a" "\rB\r").status, 255);
  EXPECT_FALSE(exists(program.user("B.DES")));
}

// --- Prompts and the session log -----------------------------------------------------------

TEST_F(Console, AnExistingOutputOrAMissingInputIsAskedAgain) {
  putA(program);
  program.save("B.DES", makeDES(1, {}, {0}));
  test::ConsoleRun run = runConsole(program, " T2A\r\rB\rnB\r\r\rXX");
  EXPECT_GE(findScreen(run, "Filename B already exists.  OK to overwrite?  (*y/n)"), 0);
  // n: the name is asked for again, and the question comes again; Enter
  // is yes.
  const std::string again = screenWith(run, "OK to overwrite?  (*y/n)  n");
  const std::size_t first = again.find("Enter new name for DES2 ....  B");
  ASSERT_NE(first, std::string::npos);
  EXPECT_NE(again.find("Enter new name for DES2 ....", first + 1), std::string::npos);
  EXPECT_EQ(program.sessionLog(), "B = Trim(A)  (3,2)\n\n");
  EXPECT_EQ(program.describeFile("B.DES"), "3: 0-1->1 1-2->2 | marked 2");
  run = runConsole(program, " T2NOPE\rA\r" + std::string(ESC) + "XX");
  const std::string missing = screenWith(run, "Filename NOPE not in directory!");
  // The prompt stands again two rows below the message.
  EXPECT_EQ(rowOf(missing, 6), "Filename NOPE not in directory!");
  EXPECT_EQ(rowOf(missing, 8), "Enter name of DES1 to be trimmed ....");
  EXPECT_GE(findScreen(run, "Assign new name to A?"), 0);
}

TEST_F(Console, ClockingAddsTheComputingTimeLine) {
  writeFile(program.dir.path + "orva.ini", program.dir.path + "user\nCLOCK 1\n");
  putA(program);
  runConsole(program, " TBA\rR\r\rXX");
  const std::string log = program.sessionLog();
  EXPECT_TRUE(std::regex_match(log, std::regex("R = Recode\\(A\\)  \\(4,3\\)\n {4}Computing time = 00:00:0[0-9]\n\n")))
      << log;
  EXPECT_EQ(program.describeFile("R.DES"), "4: 0-1->1 0-3->2 1-2->3 | marked 3");
}

TEST_F(Console, LongEntriesAreWrappedThroughTheScratchFile) {
  // Twenty inputs with names of twenty characters make an entry of some
  // 450 characters.
  std::string keys = " T320\r", names;
  for (int k = 0; k < 20; ++k) {
    char name[32];
    std::snprintf(name, sizeof name, "INPUT%02dXXXXXXXXXXXXX", k);
    program.save(std::string(name) + ".DES", makeDES(1, {}, {0}));
    keys += std::string(name) + "\r";
    names += (k ? "," : "") + std::string(name);
  }
  runConsole(program, keys + "SYNC12\r\rXX");
  const std::string log = program.sessionLog();
  std::string unwrapped;
  int lines = 0;
  for (std::size_t start = 0, end; (end = log.find('\n', start)) != std::string::npos && end > start; start = end + 1) {
    const std::string line = log.substr(start, end - start);
    EXPECT_LE(line.size(), 74u) << line;
    EXPECT_EQ(line.substr(0, 9) == std::string(9, ' '), lines++ > 0) << line;
    unwrapped += lines > 1 ? line.substr(9) : line;
  }
  EXPECT_GE(lines, 6);
  EXPECT_EQ(unwrapped, "SYNC12 = Sync(" + names + ")  (1,0)  Blocked_events = None  ");
  EXPECT_EQ(log.substr(log.size() - 2), "\n\n");
  EXPECT_FALSE(exists(program.user("tmp.$$$")));
}

// --- User directory, session log, introduction --------------------------------------------

TEST_F(Console, UserDirectoryListingTakesFourTwoOrOneColumns) {
  putA(program);
  ::mkdir(program.user("OLD").c_str(), 0755);
  const std::string keys = " TUD\x1bXX";
  const std::string four = screenWith(runConsole(program, keys), "FILES IN: ");
  EXPECT_EQ(rowOf(four, 0), "FILES IN: " + program.dir.path + "user");
  EXPECT_EQ(rowOf(four, 3), "A.DES" + std::string(15, ' ') + "[OLD" + std::string(13, ' ') + "]");
  EXPECT_EQ(rowOf(four, 23), " D=PgDn  U=PgUp  Esc (Exit Directory)");
  // A name of thirty characters takes two columns, one of fifty one.
  writeFile(program.user(std::string(26, 'T') + ".DES"), "x");
  EXPECT_EQ(rowOf(screenWith(runConsole(program, keys), "FILES IN: "), 4), std::string(26, 'T') + ".DES");
  writeFile(program.user(std::string(46, 'F') + ".DES"), "x");
  EXPECT_EQ(rowOf(screenWith(runConsole(program, keys), "FILES IN: "), 4), std::string(46, 'F') + ".DES");
}

TEST_F(Console, UserDirectoryPagerGoesForwardAndBackAndSaysWhenItIsEmpty) {
  const std::string empty = screenWith(runConsole(program, " TUD\rXX"), "NO FILES IN ");
  EXPECT_EQ(rowOf(empty, 7), "NO FILES IN " + program.dir.path + "user");
  EXPECT_EQ(rowOf(empty, 23), "Press <Enter> to return to ORVA Procedures");
  for (int k = 0; k < 100; ++k) {
    char name[16];
    std::snprintf(name, sizeof name, "F%03d", k);
    writeFile(program.user(name), "x");
  }
  const test::ConsoleRun run = runConsole(program, " TUDdud\x1bXX");
  const int first = findScreen(run, "FILES IN: ");
  ASSERT_GE(first, 0);
  // 19 rows of four entries on a page: F000 .. F075.
  const auto& page1 = run.screens[static_cast<std::size_t>(first)];
  const auto& page2 = run.screens[static_cast<std::size_t>(first + 1)];
  EXPECT_EQ(rowOf(page1, 3).substr(0, 4), "F000");
  EXPECT_EQ(rowOf(page1, 21).substr(60, 4), "F075");
  EXPECT_EQ(rowOf(page1, 22), "");
  EXPECT_EQ(rowOf(page2, 3).substr(0, 4), "F076");
  EXPECT_EQ(rowOf(page2, 8).substr(60, 4), "F099");
  EXPECT_EQ(run.screens[static_cast<std::size_t>(first + 2)], page1);
  EXPECT_EQ(run.screens[static_cast<std::size_t>(first + 3)], page2);
}

TEST_F(Console, ResetTakesALowerCasePathRefusesAMissingOneAndEndsWithoutAny) {
  const std::string other = program.dir.path + "other dir/lower", missing = program.dir.path + "missing";
  ::mkdir((program.dir.path + "other dir").c_str(), 0755);
  ::mkdir(other.c_str(), 0755);
  const std::string refused = screenWith(runConsole(program, " Rny" + missing + "\r\rX"), "Directory " + missing + " does not exist!");
  EXPECT_EQ(rowOf(refused, 23), "Press <Enter> to return KAV Procedures");
  EXPECT_EQ(readFile(program.dir.path + "orva.ini"), program.dir.path + "user\nCLOCK 0\n");
  const test::ConsoleRun run = runConsole(program, " Rny" + other + "\rTXX");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(readFile(program.dir.path + "orva.ini"), other + "\nCLOCK 0\n");
  EXPECT_EQ(rowOf(screenWith(run, "KAV PROCEDURES"), 21), "     User directory: " + abbreviate(other, 59));
  EXPECT_GE(findScreen(run, "            RESETTING USER FILE DIRECTORY PATH"), 0);
  EXPECT_GE(findScreen(runConsole(program, " Rnnq"), "Press any key to exit."), 0);
}

TEST_F(Console, SessionLogOpensAtItsLastPageWithoutADesktop) {
  std::string log;
  for (int k = 0; k < 100; ++k) {
    char line[32];
    std::snprintf(line, sizeof line, "entry %03d\n", k);
    log += line;
  }
  writeFile(program.user("MAKEIT.TXT"), log);
  const test::ConsoleRun run = runConsole(program, " TMAudd\rXX");
  EXPECT_EQ(run.status, 0);
  const int last = findScreen(run, "MAKEIT     1000(");
  ASSERT_GE(last, 0);
  // 100 lines in pages of 20: the last page starts at entry 080.
  const auto& page5 = run.screens[static_cast<std::size_t>(last)];
  EXPECT_EQ(rowOf(page5, 0).substr(0, 20), "MAKEIT     1000( 80%");
  EXPECT_EQ(rowOf(page5, 2), "entry 080");
  EXPECT_EQ(rowOf(page5, 21), "entry 099");
  EXPECT_EQ(rowOf(page5, 23), " D=PgDn  U=PgUp  Esc (Exit Show)");
  EXPECT_EQ(rowOf(run.screens[static_cast<std::size_t>(last + 1)], 2), "entry 060");
  EXPECT_EQ(run.screens[static_cast<std::size_t>(last + 2)], page5);
  // d on the last page ends the show with the Enter pause.
  EXPECT_EQ(rowOf(run.screens[static_cast<std::size_t>(last + 3)], 23), "Press <Enter> to return to KAV Procedures");
}

TEST_F(Console, IntroductionSaysWhereTheDocumentIsOrShouldBe) {
  const std::string path = abbreviate(program.dir.path + "KAV_Info.PDF", 62);
  const std::string missing = screenWith(runConsole(program, " I\rX"), "FILE KAV_INFO.PDF NOT FOUND!");
  EXPECT_EQ(rowOf(missing, 7), "FILE KAV_INFO.PDF NOT FOUND!");
  EXPECT_EQ(rowOf(missing, 11), path);
  writeFile(program.dir.path + "KAV_Info.PDF", "%PDF-1.4\n");
  EXPECT_EQ(rowOf(screenWith(runConsole(program, " I\rX"), "NO VIEWER AVAILABLE FOR KAV_INFO.PDF!"), 11), path);
}

} // namespace
} // namespace kav
