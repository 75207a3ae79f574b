// Supreduce (code 8) and Localize (code 11) as batch processes: every
// result code, the figures in orva.rst and the files left behind.

#include <gtest/gtest.h>

#include <string>

#include "engine/protocol.h"
#include "model/desfile.h"
#include "ops/product.h"
#include "ops/supcon.h"
#include "support/testSupport.h"

namespace kav {
namespace {

using test::makeDES;
using test::readFile;

class ReductionProcedures : public ::testing::Test {
protected:
  test::ProgramDir program;

  std::string run(int code, const std::string& body, unsigned long long addressLimit = 0) {
    return test::runProcedure(program, code, body, addressLimit);
  }
  std::string supreduce(const std::string& slb, const std::string& mode = "1") {
    return run(PROC_SUPREDUCE, "P\nS\nD\nR\n" + mode + "\n" + slb + "\n");
  }
  // A four-cycle supervisor that reduces to two states (see the library
  // tests), its plant and empty control data.
  void saveCycle() {
    program.save("P.DES", makeDES(4, {{0, 1, 1}, {1, 3, 2}, {2, 1, 3}, {3, 3, 0}}));
    program.save("S.DES", makeDES(4, {{0, 1, 1}, {1, 3, 2}, {2, 1, 3}, {3, 3, 0}}, {0, 2}));
    program.save("D.DAT", allocStates(4), -1);
  }
};

TEST_F(ReductionProcedures, SupreduceAnswersTheBoundAndTheRatio) {
  saveCycle();
  EXPECT_EQ(supreduce("1"), "0\n2 2.000000\n");
  EXPECT_EQ(program.describeFile("R.DES"), "2: 0-1->1 1-3->0 | marked 0");
  EXPECT_EQ(readFile(program.user("R.DES")).substr(0, 26), REDUCTION_HEADER_TEXT);
  std::remove(program.user("R.DES").c_str());
  EXPECT_EQ(supreduce("0", "0"), "0\n0 2.000000\n");
  EXPECT_EQ(program.describeFile("R.DES"), "2: 0-1->1 1-3->0 | marked 0");
}

TEST_F(ReductionProcedures, SupreduceOfAnEmptyInputSavesAnEmptyResult) {
  saveCycle();
  program.save("P.DES", DES{});
  EXPECT_EQ(supreduce("1"), "0\n0 0.000000\n");
  EXPECT_EQ(program.describeFile("R.DES"), "0: | marked");
}

TEST_F(ReductionProcedures, SupreduceOfAOneRowSupervisorCopiesItAndBoundsOnlyWhenAsked) {
  saveCycle();
  program.save("S.DES", makeDES(1, {{0, 1, 0}}, {0}));
  EXPECT_EQ(supreduce("1"), "0\n1 1.000000\n");
  EXPECT_EQ(program.describeFile("R.DES"), "1: 0-1->0 | marked 0");
  EXPECT_EQ(supreduce("0"), "0\n0 1.000000\n");
}

TEST_F(ReductionProcedures, SupreduceFailuresAnswerFourAndWriteNothing) {
  saveCycle();
  // Control data of a three-state supervisor.
  program.save("D.DAT", allocStates(3), -1);
  EXPECT_EQ(supreduce("1"), "4\n");
  saveCycle();
  test::writeFile(program.user("S.DES"), "KAV DES file.\x1aZ8^0L;9");
  EXPECT_EQ(supreduce("1"), "4\n");
  std::remove(program.user("P.DES").c_str());
  EXPECT_EQ(supreduce("1"), "4\n");
  EXPECT_FALSE(test::exists(program.user("R.DES")));
}

TEST_F(ReductionProcedures, SupreduceWithMissingOrBadLinesAnswersTwo) {
  saveCycle();
  EXPECT_EQ(run(PROC_SUPREDUCE, "P\nS\nD\nR\n1\n"), "2\n");
  EXPECT_EQ(run(PROC_SUPREDUCE, "P\nS\nD\n"), "2\n");
  EXPECT_EQ(supreduce("2"), "2\n");
  EXPECT_EQ(supreduce("1", "7"), "2\n");
}

TEST_F(ReductionProcedures, SupreduceOutOfMemoryAnswersThree) {
  if (test::sanitizedBuild()) GTEST_SKIP() << "the sanitizer's allocator ignores address-space limits";
  saveCycle();
  program.saveHuge("S.DES");
  EXPECT_EQ(run(PROC_SUPREDUCE, "P\nS\nD\nR\n1\n1\n", 256ull << 20), "3\n");
  EXPECT_FALSE(test::exists(program.user("R.DES")));
}

// Two machines and a one-slot buffer between them (see the library tests).
class LocalizeProcedure : public ReductionProcedures {
protected:
  void SetUp() override {
    const DES m1 = makeDES(2, {{0, 1, 1}, {1, 2, 0}}, {0});
    const DES m2 = makeDES(2, {{0, 3, 1}, {1, 4, 0}}, {0});
    DES plant;
    std::vector<std::int64_t> pairOf;
    ASSERT_TRUE(syncDES(m1, m2, {1, 2, 3, 4}, false, plant, pairOf));
    const DES spec = makeDES(2, {{0, 1, 0}, {0, 2, 1}, {0, 4, 0}, {1, 1, 1}, {1, 3, 0}, {1, 4, 1}}, {0});
    DES super;
    ASSERT_TRUE(supconDES(plant, spec, super));
    program.save("M1.DES", m1);
    program.save("M2.DES", m2);
    program.save("PLANT.DES", plant);
    program.save("SUPER.DES", super);
  }
};

TEST_F(LocalizeProcedure, WritesTheControllersCleanedUpAndNothingElse) {
  EXPECT_EQ(run(PROC_LOCALIZE, "PLANT\nSUPER\n2\nM1\nM2\n2\nLOC1\nLOC2\n"), "0\n");
  EXPECT_EQ(program.describeFile("LOC1.DES"), "2: 0-1->0 0-2->1 1-3->0 | marked 0");
  EXPECT_EQ(program.describeFile("LOC2.DES"), "2: 0-2->1 1-3->0 | marked 0");
  EXPECT_EQ(program.files(), (std::vector<std::string>{"LOC1.DES", "LOC2.DES", "M1.DES", "M2.DES", "PLANT.DES",
                                                   "SUPER.DES"}));
}

TEST_F(LocalizeProcedure, RefusesMissingLinesAndNamesThatWouldOverwriteAnInput) {
  EXPECT_EQ(run(PROC_LOCALIZE, "PLANT\nSUPER\n2\nM1\nM2\n2\nLOC1\n"), "2\n");
  EXPECT_EQ(run(PROC_LOCALIZE, "PLANT\nSUPER\n2\nM1\n"), "2\n");
  EXPECT_EQ(run(PROC_LOCALIZE, "PLANT\nSUPER\n2\nM1\nM2\n3\nA\nB\nC\n"), "2\n");
  EXPECT_EQ(run(PROC_LOCALIZE, "PLANT\nSUPER\n2\nM1\nM2\n2\nLOC1\nM1\n"), "2\n");
  EXPECT_EQ(run(PROC_LOCALIZE, "PLANT\nSUPER\n2\nM1\nM2\n2\nsuper\nLOC2\n"), "2\n");
  EXPECT_EQ(program.files().size(), 4u);
}

TEST_F(LocalizeProcedure, AFailedLocalizationLeavesNoResult) {
  EXPECT_EQ(run(PROC_LOCALIZE, "PLANT\nMISSING\n2\nM1\nM2\n2\nLOC1\nLOC2\n"), "none");
  EXPECT_EQ(program.files().size(), 4u);
}

TEST_F(LocalizeProcedure, OutOfMemoryAnswersThree) {
  if (test::sanitizedBuild()) GTEST_SKIP() << "the sanitizer's allocator ignores address-space limits";
  program.saveHuge("PLANT.DES");
  EXPECT_EQ(run(PROC_LOCALIZE, "PLANT\nSUPER\n2\nM1\nM2\n2\nLOC1\nLOC2\n", 256ull << 20), "3\n");
}

} // namespace
} // namespace kav
