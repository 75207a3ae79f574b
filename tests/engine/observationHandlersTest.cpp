// The quasi-congruence and observability codes (20, 21, 22, 23, 26, 27,
// 28, 32) as batch processes: result codes, orva.rst layouts, files left
// behind, and the parent's reader of the (S)Observable result.

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "engine/params.h"
#include "engine/protocol.h"
#include "model/desfile.h"
#include "support/testSupport.h"

namespace kav {
namespace {

using test::makeDES;
using test::readFile;

class ObservationProcedures : public ::testing::Test {
protected:
  test::ProgramDir program;

  std::string run(int code, const std::string& body, unsigned long long addressLimit = 0) {
    return test::runProcedure(program, code, body, addressLimit);
  }

  void corrupt(const std::string& name) { test::writeFile(program.user(name), "KAV DES file.\x1aZ8^0L;9"); }
  // The plant can do 1 after silent 2; the legal DES cannot, and it marks only
  // before 2.
  void saveUnobservable() {
    program.save("P.DES", makeDES(3, {{0, 2, 1}, {0, 1, 2}, {1, 1, 2}}, {0, 1}));
    program.save("K.DES", makeDES(3, {{0, 2, 1}, {0, 1, 2}}, {0}));
  }
  // Silent 2 between two cells of the quasi-congruence; 3 and 4 merge.
  void saveQuotientCase() {
    program.save("D.DES", makeDES(5, {{0, 1, 2}, {0, 3, 2}, {0, 2, 1}, {1, 1, 2}, {2, 5, 3}, {3, 2, 4}, {4, 1, 3}}, {2}));
  }
};

// --- Sup(s)qc (23) --------------------------------------------------------------------

TEST_F(ObservationProcedures, SupqcWritesOneRepresentativeLinePerState) {
  saveQuotientCase();
  EXPECT_EQ(run(PROC_SUPQC, "1\nD\nQ\n2\n"), "0\n0\n 1\n 2\n 3\n 3\n ");
  EXPECT_EQ(program.describeFile("Q.DES"), "4: 0-1->2 0-3->2 0-1000->1 1-1->2 2-5->3 3-1->3 | marked 2");
  EXPECT_EQ(run(PROC_SUPQC, "2\nD\nQ\n2\n"), "0\n0\n 1\n 2\n 3\n 3\n ");
}

TEST_F(ObservationProcedures, SupqcWithoutImageEventsWritesNoPartition) {
  saveQuotientCase();
  EXPECT_EQ(run(PROC_SUPQC, "1\nD\nQ\n1\n2\n3\n5\n"), "0\n");
  EXPECT_EQ(program.describeFile("Q.DES"), "1: | marked");
  program.save("E.DES", DES{});
  EXPECT_EQ(run(PROC_SUPQC, "1\nE\nQ\n"), "0\n");
  EXPECT_EQ(program.describeFile("Q.DES"), "0: | marked");
}

TEST_F(ObservationProcedures, SupqcFailuresAnswerTheirCodes) {
  saveQuotientCase();
  EXPECT_EQ(run(PROC_SUPQC, "1\nD\n"), "2\n");
  EXPECT_EQ(run(PROC_SUPQC, "3\nD\nQ\n"), "2\n");
  EXPECT_EQ(run(PROC_SUPQC, "1\nD\nQ\nx\n"), "2\n");
  EXPECT_EQ(run(PROC_SUPQC, "1\nMISSING\nQ\n"), "none");
  corrupt("C.DES");
  EXPECT_EQ(run(PROC_SUPQC, "1\nC\nQ\n"), "7\n");
  ASSERT_EQ(::mkdir(program.user("DIR.DES").c_str(), 0700), 0);
  EXPECT_EQ(run(PROC_SUPQC, "1\nD\nDIR\n"), "8\n");
}

// --- (S)Observable (26) ---------------------------------------------------------------------

TEST_F(ObservationProcedures, ObservableWritesTheVerdictAndTheReportName) {
  saveUnobservable();
  EXPECT_EQ(run(PROC_OBSERVABLE, "1\nP\nK\n2\n"), "0\n0\n$$$\n\n");
  EXPECT_EQ(program.describeFile("$$$.DES"), "3: 1-1->0 1-1001->0 | marked");
  EXPECT_EQ(run(PROC_OBSERVABLE, "2\nP\nK\n"), "0\n1\n$$$\n\n");
  EXPECT_EQ(program.describeFile("$$$.DES"), "3: | marked");
}

TEST_F(ObservationProcedures, ObservableFailuresAnswerTheirCodes) {
  saveUnobservable();
  EXPECT_EQ(run(PROC_OBSERVABLE, "1\nP\n"), "2\n");
  EXPECT_EQ(run(PROC_OBSERVABLE, "0\nP\nK\n"), "2\n");
  EXPECT_EQ(run(PROC_OBSERVABLE, "1\nP\nMISSING\n"), "none");
  corrupt("C.DES");
  EXPECT_EQ(run(PROC_OBSERVABLE, "1\nC\nK\n"), "7\n");
}

TEST_F(ObservationProcedures, ObservabilityReaderLoadsAndDeletesTheReport) {
  saveUnobservable();
  ParameterLines lines;
  addNumber(lines, 1);
  addName(lines, "P");
  addName(lines, "K");
  addNumber(lines, 2);
  long verdict = -1;
  DES report;
  EXPECT_EQ(runBatchProcedure(PROC_OBSERVABLE, lines, [&] { return readObservabilityResult(verdict, report); }),
            RESULT_OK);
  EXPECT_EQ(verdict, 0);
  EXPECT_EQ(test::describe(report), "3: 1-1->0 1-1001->0 | marked");
  EXPECT_FALSE(test::exists(program.user("$$$.DES")));
  EXPECT_FALSE(test::exists(program.user("orva.rst")));
  // A result naming a report that is not there.
  test::writeFile(program.user("orva.rst"), "0\n1\nNOREPORT\n\n");
  EXPECT_EQ(readObservabilityResult(verdict, report), RESULT_NO_REPORT);
  EXPECT_FALSE(test::exists(program.user("orva.rst")));
  test::writeFile(program.user("orva.rst"), "3\n");
  EXPECT_EQ(readObservabilityResult(verdict, report), RESULT_OUT_OF_MEMORY);
  EXPECT_EQ(readObservabilityResult(verdict, report), RESULT_NO_RESULT);
}

// --- Natobs (27) ------------------------------------------------------------------------

TEST_F(ObservationProcedures, NatobsSavesTheObserverAndTheImageList) {
  program.save("D.DES", makeDES(3, {{0, 1, 2}, {0, 3, 2}, {0, 2, 1}, {1, 1, 2}, {2, 5, 0}}, {2}));
  EXPECT_EQ(run(PROC_NATOBS, "D\nO\nL\n1\n3\n5\n"), "0\n");
  EXPECT_EQ(program.describeFile("O.DES"), "3: 0-1->2 0-2->1 0-3->2 1-1->2 2-5->0 | marked 2");
  EXPECT_EQ(program.describeFile("L.DES"), "1: 0-1->0 0-2->0 0-3->0 0-5->0 | marked 0");
  EXPECT_EQ(run(PROC_NATOBS, "D\nO\n"), "2\n");
  EXPECT_EQ(run(PROC_NATOBS, "MISSING\nO\nL\n1\n"), "none");
}

// --- Suprobs (28) ---------------------------------------------------------------------------

TEST_F(ObservationProcedures, SuprobsSavesTheResultOnlyForFlagOne) {
  program.save("G.DES", makeDES(4, {{0, 2, 1}, {0, 1, 2}, {1, 1, 3}}, {0, 1, 2, 3}));
  program.save("E.DES", makeDES(4, {{0, 2, 1}, {0, 1, 2}}, {0, 1, 2, 3}));
  EXPECT_EQ(run(PROC_SUPROBS, "G\nE\nR\n0\n2\n"), "0\n");
  EXPECT_FALSE(test::exists(program.user("R.DES")));
  EXPECT_EQ(run(PROC_SUPROBS, "G\nE\nR\n1\n2\n"), "0\n");
  EXPECT_EQ(program.describeFile("R.DES"), "2: 0-2->1 | marked 0 1");
  EXPECT_EQ(run(PROC_SUPROBS, "G\nE\nR\n"), "2\n");
  EXPECT_EQ(run(PROC_SUPROBS, "G\nMISSING\nR\n1\n"), "none");
  corrupt("C.DES");
  EXPECT_EQ(run(PROC_SUPROBS, "C\nE\nR\n1\n"), "7\n");
}

// --- Supnorm (20), Supscop (21), Uncertmod (32) ---------------------------------------------

TEST_F(ObservationProcedures, SupnormSupscopAndUncertmodSaveTheirResults) {
  program.save("A.DES", makeDES(2, {{0, 1, 1}}, {1}));
  program.save("B.DES", makeDES(3, {{0, 1, 1}, {0, 2, 2}, {2, 1, 1}}, {1}));
  EXPECT_EQ(run(PROC_SUPNORM, "A\nB\nN\n2\n"), "0\n");
  EXPECT_EQ(program.describeFile("N.DES"), "0: | marked");
  EXPECT_EQ(run(PROC_SUPNORM, "A\nB\nN\n"), "0\n");
  EXPECT_EQ(program.describeFile("N.DES"), "2: 0-1->1 | marked 1");
  // The plant's uncontrollable 2 at the start is not legal: nothing is left.
  EXPECT_EQ(run(PROC_SUPSCOP, "A\nB\nS\n"), "0\n");
  EXPECT_EQ(program.describeFile("S.DES"), "0: | marked");
  EXPECT_EQ(run(PROC_UNCERTMOD, "B\nU\n2\n"), "0\n");
  EXPECT_EQ(program.describeFile("U.DES"), "2: 0-1->1 0-2->0 | marked 1");
  // A missing input is the empty DES for these three.
  EXPECT_EQ(run(PROC_SUPNORM, "A\nMISSING\nN\n"), "0\n");
  EXPECT_EQ(program.describeFile("N.DES"), "0: | marked");
  EXPECT_EQ(run(PROC_UNCERTMOD, "MISSING\nU\n"), "0\n");
  EXPECT_EQ(program.describeFile("U.DES"), "0: | marked");
}

TEST_F(ObservationProcedures, SupnormSupscopAndUncertmodFailuresAnswerTheirCodes) {
  program.save("A.DES", makeDES(2, {{0, 1, 1}}, {1}));
  corrupt("C.DES");
  for (int code : {PROC_SUPNORM, PROC_SUPSCOP}) {
    EXPECT_EQ(run(code, "A\nC\nN\n"), "7\n");
    EXPECT_EQ(run(code, "A\nA\n"), "2\n");
    EXPECT_EQ(run(code, "A\nA\nN\n1001\n"), "2\n");
  }
  EXPECT_EQ(run(PROC_UNCERTMOD, "C\nU\n"), "7\n");
  EXPECT_EQ(run(PROC_UNCERTMOD, "A\n"), "2\n");
}

// --- Supconrobs (22) --------------------------------------------------------------------

TEST_F(ObservationProcedures, SupconrobsRunsNestedSupconAndRemovesItsWorkingFile) {
  // Plant: 1 then uncontrollable 2 or 4; the legal part forbids 4 and,
  // since 2 is erased, the legal DES cannot tell what happened.
  program.save("G.DES", makeDES(4, {{0, 1, 1}, {1, 2, 2}, {1, 4, 3}, {2, 3, 0}}, {0, 2}));
  program.save("E.DES", makeDES(3, {{0, 1, 1}, {1, 2, 2}, {2, 3, 0}}, {0, 2}));
  EXPECT_EQ(run(PROC_SUPCONROBS, "G\nE\nR\n"), "0\n");
  EXPECT_EQ(program.describeFile("R.DES"), "1: | marked 0");
  // With 4 legal (and its end marked) nothing needs to go.
  program.save("G.DES", makeDES(4, {{0, 1, 1}, {1, 2, 2}, {1, 4, 3}, {2, 3, 0}}, {0, 2, 3}));
  program.save("E.DES", makeDES(4, {{0, 1, 1}, {1, 2, 2}, {1, 4, 3}, {2, 3, 0}}, {0, 2, 3}));
  EXPECT_EQ(run(PROC_SUPCONROBS, "G\nE\nR\n2\n"), "0\n");
  EXPECT_EQ(program.describeFile("R.DES"), "4: 0-1->1 1-2->2 1-4->3 2-3->0 | marked 0 2 3");
  EXPECT_FALSE(test::exists(program.user("$$$$$$.DES")));
  EXPECT_FALSE(test::exists(program.user("orva.prm")));
}

TEST_F(ObservationProcedures, SupconrobsFailuresAnswerTheirCodesOrNoResult) {
  program.save("G.DES", makeDES(2, {{0, 1, 1}}, {1}));
  EXPECT_EQ(run(PROC_SUPCONROBS, "G\nG\n"), "2\n");
  EXPECT_EQ(run(PROC_SUPCONROBS, "G\nMISSING\nR\n"), "none");
  corrupt("C.DES");
  EXPECT_EQ(run(PROC_SUPCONROBS, "G\nC\nR\n"), "7\n");
  // The nested Supcon cannot write the working file: no result.
  ASSERT_EQ(::mkdir(program.user("$$$$$$.DES").c_str(), 0700), 0);
  ASSERT_EQ(::mkdir(program.user("$$$$$$.DES/x").c_str(), 0700), 0);
  EXPECT_EQ(run(PROC_SUPCONROBS, "G\nG\nR\n"), "none");
  EXPECT_FALSE(test::exists(program.user("R.DES")));
}

TEST_F(ObservationProcedures, OutOfMemoryAnswersThree) {
  if (test::sanitizedBuild()) GTEST_SKIP() << "the sanitizer's allocator ignores address-space limits";
  program.saveHuge("H.DES");
  program.save("G.DES", makeDES(2, {{0, 1, 1}}, {1}));
  const unsigned long long limit = 256ull << 20;
  EXPECT_EQ(run(PROC_SUPCONROBS, "G\nH\nR\n", limit), "3\n");
  EXPECT_EQ(run(PROC_SUPQC, "1\nH\nQ\n", limit), "3\n");
  EXPECT_EQ(run(PROC_SUPROBS, "G\nH\nR\n1\n", limit), "3\n");
}

} // namespace
} // namespace kav
