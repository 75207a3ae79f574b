// Supreduce (code 8) and Localize (code 11) as batch processes: every
// result code, the figures in orva.rst and the files left behind.

#include <dirent.h>

#include <gtest/gtest.h>

#include <cstring>
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

  void save(const std::string& name, const DES& des, std::int64_t init = 0) {
    ASSERT_EQ(saveDESFile(program.user(name), des, init, 2), SAVE_OK);
  }
  std::string load(const std::string& file) {
    DES des;
    std::int64_t init = 0;
    if (loadDESFile(program.user(file), des, init) != LOAD_OK) return "unreadable";
    return test::describe(des);
  }
  // Runs the child; answers orva.rst, or "none" when it left none.
  std::string run(int code, const std::string& body, unsigned long long addressLimit = 0) {
    const test::RunResult r = test::runBatchChild(program, code, body, addressLimit);
    EXPECT_EQ(r.status, 0) << r.output;
    const std::string result = test::exists(program.user("orva.rst")) ? readFile(program.user("orva.rst")) : "none";
    std::remove(program.user("orva.rst").c_str());
    return result;
  }
  std::string supreduce(const std::string& slb, const std::string& mode = "1") {
    return run(PROC_SUPREDUCE, "P\nS\nD\nR\n" + mode + "\n" + slb + "\n");
  }
  // A four-cycle supervisor that reduces to two states (see the library
  // tests), its plant and empty control data.
  void saveCycle() {
    save("P.DES", makeDES(4, {{0, 1, 1}, {1, 3, 2}, {2, 1, 3}, {3, 3, 0}}));
    save("S.DES", makeDES(4, {{0, 1, 1}, {1, 3, 2}, {2, 1, 3}, {3, 3, 0}}, {0, 2}));
    save("D.DAT", allocStates(4), -1);
  }
  // A DES file claiming 50 million states: loading it needs 800 MB.
  void saveHuge(const std::string& name) {
    save(name, allocStates(1));
    std::string bytes = readFile(program.user(name));
    const std::size_t sizeField = std::strlen(DES_HEADER_TEXT) + 1 + 7 + 4 + 4 + 4;
    const std::uint64_t claimed = 50'000'000;
    for (int k = 0; k < 8; ++k) bytes[sizeField + static_cast<std::size_t>(k)] = static_cast<char>(claimed >> (8 * k));
    test::writeFile(program.user(name), bytes);
  }
  std::vector<std::string> userFiles() {
    std::vector<std::string> names;
    DIR* dir = ::opendir(program.userDir.c_str());
    while (const dirent* e = ::readdir(dir))
      if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) names.push_back(e->d_name);
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
  }
};

TEST_F(ReductionProcedures, SupreduceAnswersTheBoundAndTheRatio) {
  saveCycle();
  EXPECT_EQ(supreduce("1"), "0\n2 2.000000\n");
  EXPECT_EQ(load("R.DES"), "2: 0-1->1 1-3->0 | marked 0");
  EXPECT_EQ(readFile(program.user("R.DES")).substr(0, 26), REDUCTION_HEADER_TEXT);
  std::remove(program.user("R.DES").c_str());
  EXPECT_EQ(supreduce("0", "0"), "0\n0 2.000000\n");
  EXPECT_EQ(load("R.DES"), "2: 0-1->1 1-3->0 | marked 0");
}

TEST_F(ReductionProcedures, SupreduceOfAnEmptyInputSavesAnEmptyResult) {
  saveCycle();
  save("P.DES", DES{});
  EXPECT_EQ(supreduce("1"), "0\n0 0.000000\n");
  EXPECT_EQ(load("R.DES"), "0: | marked");
}

TEST_F(ReductionProcedures, SupreduceOfAOneRowSupervisorCopiesItAndBoundsOnlyWhenAsked) {
  saveCycle();
  save("S.DES", makeDES(1, {{0, 1, 0}}, {0}));
  EXPECT_EQ(supreduce("1"), "0\n1 1.000000\n");
  EXPECT_EQ(load("R.DES"), "1: 0-1->0 | marked 0");
  EXPECT_EQ(supreduce("0"), "0\n0 1.000000\n");
}

TEST_F(ReductionProcedures, SupreduceFailuresAnswerFourAndWriteNothing) {
  saveCycle();
  // Control data of a three-state supervisor.
  save("D.DAT", allocStates(3), -1);
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
  saveHuge("S.DES");
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
    save("M1.DES", m1);
    save("M2.DES", m2);
    save("PLANT.DES", plant);
    save("SUPER.DES", super);
  }
};

TEST_F(LocalizeProcedure, WritesTheControllersCleanedUpAndNothingElse) {
  EXPECT_EQ(run(PROC_LOCALIZE, "PLANT\nSUPER\n2\nM1\nM2\n2\nLOC1\nLOC2\n"), "0\n");
  EXPECT_EQ(load("LOC1.DES"), "2: 0-1->0 0-2->1 1-3->0 | marked 0");
  EXPECT_EQ(load("LOC2.DES"), "2: 0-2->1 1-3->0 | marked 0");
  EXPECT_EQ(userFiles(), (std::vector<std::string>{"LOC1.DES", "LOC2.DES", "M1.DES", "M2.DES", "PLANT.DES",
                                                   "SUPER.DES"}));
}

TEST_F(LocalizeProcedure, RefusesMissingLinesAndNamesThatWouldOverwriteAnInput) {
  EXPECT_EQ(run(PROC_LOCALIZE, "PLANT\nSUPER\n2\nM1\nM2\n2\nLOC1\n"), "2\n");
  EXPECT_EQ(run(PROC_LOCALIZE, "PLANT\nSUPER\n2\nM1\n"), "2\n");
  EXPECT_EQ(run(PROC_LOCALIZE, "PLANT\nSUPER\n2\nM1\nM2\n3\nA\nB\nC\n"), "2\n");
  EXPECT_EQ(run(PROC_LOCALIZE, "PLANT\nSUPER\n2\nM1\nM2\n2\nLOC1\nM1\n"), "2\n");
  EXPECT_EQ(run(PROC_LOCALIZE, "PLANT\nSUPER\n2\nM1\nM2\n2\nsuper\nLOC2\n"), "2\n");
  EXPECT_EQ(userFiles().size(), 4u);
}

TEST_F(LocalizeProcedure, AFailedLocalizationLeavesNoResult) {
  EXPECT_EQ(run(PROC_LOCALIZE, "PLANT\nMISSING\n2\nM1\nM2\n2\nLOC1\nLOC2\n"), "none");
  EXPECT_EQ(userFiles().size(), 4u);
}

TEST_F(LocalizeProcedure, OutOfMemoryAnswersThree) {
  if (test::sanitizedBuild()) GTEST_SKIP() << "the sanitizer's allocator ignores address-space limits";
  saveHuge("PLANT.DES");
  EXPECT_EQ(run(PROC_LOCALIZE, "PLANT\nSUPER\n2\nM1\nM2\n2\nLOC1\nLOC2\n", 256ull << 20), "3\n");
}

} // namespace
} // namespace kav
