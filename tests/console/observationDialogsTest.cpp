// The quasi-congruence and observability dialogs through "kav -autotest":
// prompts, the NULL/IMAGE/IMAGE_DES choice, verdicts, the partition and
// failure reports and the session log.

#include <gtest/gtest.h>

#include <string>

#include "console/consoleSupport.h"
#include "model/desfile.h"

namespace kav {
namespace {

using test::ESC;
using test::findScreen;
using test::makeDES;
using test::readFile;
using test::rowOf;
using test::runConsole;

class ObservationDialogs : public ::testing::Test {
protected:
  test::ProgramDir program;

  // Silent 2 between two cells of the quasi-congruence; 3 and 4 merge.
  void saveQuotientCase() {
    program.save("D.DES", makeDES(5, {{0, 1, 2}, {0, 3, 2}, {0, 2, 1}, {1, 1, 2}, {2, 5, 3}, {3, 2, 4}, {4, 1, 3}}, {2}));
  }
};

TEST_F(ObservationDialogs, SupnormSupscopSuprobsSupconrobsAndUncertmodLogTheirEntries) {
  program.save("A.DES", makeDES(2, {{0, 1, 1}}, {1}));
  program.save("B.DES", makeDES(3, {{0, 1, 1}, {0, 3, 2}, {2, 1, 1}}, {1}));
  program.save("I.DES", makeDES(1, {{0, 1, 0}}, {0}));
  const test::ConsoleRun run = runConsole(program, " T"
                                                   "SNA\rB\rN\rn3\r-1\r\r"  // Supnorm, NULL [3]
                                                   "SSA\rB\rS\ri1\r-1\r\r"  // Supscop, IMAGE [1]
                                                   "SRB\rA\rR\rdI\r\r"      // Suprobs, IMAGE_DES I
                                                   "RRB\rA\rC\rn-1\r\r"     // Supconrobs, NULL []
                                                   "UMB\rU\rn3\r-1\r\r"     // Uncertmod, NULL [3]
                                                   "XX");
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_GE(findScreen(run, "Enter list of event labels to be nulled by supnorm;"), 0);
  EXPECT_GE(findScreen(run, "Enter list of event labels to be nulled;"), 0);
  EXPECT_GE(findScreen(run, "Enter name of supremal controllable and\n"
                            " relatively observable sublanguage generator DES3 ...  C"),
            0);
  EXPECT_GE(findScreen(run, "Enter name of supremal\n relatively observable sublanguage generator DES3 ... R"), 0);
  EXPECT_EQ(program.sessionLog(), "N = Supnorm(A,B,Null[3])  (0,0)\n\n"
                          "S = Supscop(A,B,Image[1])  (0,0)\n\n"
                          "R = Suprobs(B,A,I)  (2,1)\n\n"
                          "C = Supconrobs(B,A,Null[])  (2,1)\n\n"
                          "U = Uncertmod(B,Null[3])  (2,2)\n\n");
  EXPECT_EQ(program.describeFile("U.DES"), "2: 0-1->1 0-3->0 | marked 1");
  EXPECT_FALSE(test::exists(program.user("$$$$$$.DES")));
}

TEST_F(ObservationDialogs, SupqcReportsDeterminismAndThePartition) {
  saveQuotientCase();
  const test::ConsoleRun run = runConsole(program, " T"
                                                   "QCx\rqc\rD\rQ\rn2\r-1\ry\r"   // asked again after x; partition
                                                   "QCSQC\rD\rQ2\ri1\r3\r5\r-1\r\r\r" // strong, partition omitted
                                                   "QCqc\rD\rQ3\rn-1\rn\r"          // every event image
                                                   "XX");
  EXPECT_EQ(run.status, 0) << run.output;
  const int question = findScreen(run, "SUPREMAL (STRONG) QUASI-CONGRUENCE\n\nDES2 = SUP(S)QC (DES1, NULL/IMAGE/IMAGE_DES)");
  EXPECT_GE(question, 0);
  EXPECT_GE(findScreen(run, "SUPREMAL QUASI-CONGRUENCE\n\nDES2 = SUPQC (DES1, NULL/IMAGE/IMAGE_DES)"), question);
  EXPECT_GE(findScreen(run, "Report QC state partition in MAKEIT.TXT?  (y/*n)"), 0);
  EXPECT_GE(findScreen(run, "Report SQC state partition in MAKEIT.TXT?  (y/*n)"), 0);
  EXPECT_GE(findScreen(run, "Q is NONDETERMINISTIC."), 0);
  EXPECT_GE(findScreen(run, "Q3 is DETERMINISTIC."), 0);
  EXPECT_EQ(program.sessionLog(), "Q = Supqc(D,Null[2],QC[[3,4]])  (4,6)  Nondeterministic.\n\n"
                          "Q2 = Supsqc(D,Image[1,3,5],SQC[omitted])  (4,6)  Nondeterministic.\n\n"
                          "Q3 = Supqc(D,Null[],QC[omitted])  (5,7)  Deterministic.\n\n");
}

TEST_F(ObservationDialogs, SupqcWithoutImageEventsLogsAnEmptyPartition) {
  saveQuotientCase();
  const test::ConsoleRun run = runConsole(program, " TQCqc\rD\rQ\ri-1\ry\rXX");
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_GE(findScreen(run, "Q is DETERMINISTIC."), 0);
  EXPECT_EQ(program.sessionLog(), "Q = Supqc(D,Image[],QC[])  (1,0)  Deterministic.\n\n");
}

TEST_F(ObservationDialogs, ObservableShowsTheVerdictAndLogsTheFailures) {
  // The plant can do 1 after silent 2; the legal DES cannot, and it marks only
  // before 2.
  program.save("P.DES", makeDES(3, {{0, 2, 1}, {0, 1, 2}, {1, 1, 2}}, {0, 1}));
  program.save("K.DES", makeDES(3, {{0, 2, 1}, {0, 1, 2}}, {0}));
  const test::ConsoleRun run = runConsole(program, " T"
                                                   "OBx\ro\rP\rK\rn2\r-1\r\r"  // fails
                                                   "OBsO\rP\rK\rn-1\r\r"       // strong, holds
                                                   "XX");
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_GE(findScreen(run, "K is not observable with respect to P\nStates and corresponding events at which\n"
                            "observability fails are reported in MAKEIT.TXT"),
            0);
  EXPECT_GE(findScreen(run, "K is strongly observable with respect to P"), 0);
  EXPECT_EQ(program.sessionLog(), "false = Obs(P,K,Null[2])\n"
                          "        FailObs(K,P[1,1;1,_])\n\n"
                          "true = Sobs(P,K,Null[])\n\n");
  EXPECT_FALSE(test::exists(program.user("$$$.DES")));
}

TEST_F(ObservationDialogs, NatobsComputesHereAndLogsBothOutputs) {
  program.save("D.DES", makeDES(3, {{0, 1, 2}, {0, 3, 2}, {0, 2, 1}, {1, 1, 2}, {2, 5, 0}}, {2}));
  program.save("S.DES", makeDES(1, {{0, 1, 0}, {0, 3, 0}, {0, 5, 0}}, {0}));
  const test::ConsoleRun run = runConsole(program, " T"
                                                   "NOD\re1\r3\r5\r-1\rO\rL\r\r"  // event list
                                                   "NOD\r\rS\rO\ry\rL\ry\r\r"     // DES2, overwriting
                                                   "XX");
  EXPECT_EQ(run.status, 0) << run.output;
  const int first = findScreen(run, "(DES3,DES4) = NATOBS (DES1, DES2/DAT2/[EVENTLIST])\n\nEnter name of DES1 to be "
                                    "projected by\n  natural observer ...............................");
  EXPECT_EQ(first >= 0 ? rowOf(run.screens[static_cast<std::size_t>(first)], 0) : "",
            "(DES3,DES4) = NATOBS (DES1, DES2/DAT2/[EVENTLIST])");
  const int shown = findScreen(run, "DES2 (Seed) image: [1,3,5]\n\nDES4 (Natural observer) image: [1,2,3,5]");
  EXPECT_GE(shown, first);
  EXPECT_EQ(program.describeFile("O.DES"), "3: 0-1->2 0-2->1 0-3->2 1-1->2 2-5->0 | marked 2");
  EXPECT_EQ(program.describeFile("L.DES"), "1: 0-1->0 0-2->0 0-3->0 0-5->0 | marked 0");
  EXPECT_EQ(program.sessionLog(), "(O,L) = Natobs(D,[1,3,5])  ((3,5);(1,4))\n\n"
                          "(O,L) = Natobs(D,S.DES)  ((3,5);(1,4))\n\n");
}

TEST_F(ObservationDialogs, EscapeAtTheirPromptsLogsNothing) {
  saveQuotientCase();
  const std::string cancels[] = {
      "QC",            // qc/sqc question
      "QCqc\rD\rQ\r",  // n/i/d
      "QCqc\rD\rQ\rn-1\r", // partition question
      "OB",            // o/so question
      "OBo\rD\r",      // DES2
      "NO",            // DES1
      "NOD\r",         // seed choice
      "NOD\re",        // event list
      "NOD\re-1\rO\r", // DES4
      "SND\r",         // DES2
      "SRD\rD\r",      // output
      "UMD\rU\r",      // n/i/d
  };
  std::string keys = " T";
  for (const std::string& c : cancels) keys += c + ESC;
  const test::ConsoleRun run = runConsole(program, keys + "XX");
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_EQ(program.sessionLog(), "");
  EXPECT_FALSE(test::exists(program.user("Q.DES")));
  EXPECT_FALSE(test::exists(program.user("O.DES")));
}

} // namespace
} // namespace kav
