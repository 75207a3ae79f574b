// The Supreduce and Localize dialogs through "kav -autotest": prompts,
// questions, messages, the clean-up and the session log.

#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "console/consoleSupport.h"
#include "model/desfile.h"
#include "ops/product.h"
#include "ops/supcon.h"

namespace kav {
namespace {

using test::ESC;
using test::findScreen;
using test::makeDES;
using test::readFile;
using test::rowOf;
using test::runConsole;

class ReductionDialogs : public ::testing::Test {
protected:
  test::ProgramDir program;

  std::string screen(const test::ConsoleRun& run, int index) const {
    return index < 0 ? std::string() : run.screens[static_cast<std::size_t>(index)];
  }
  // A four-cycle plant and its supervisor: identical, nothing disabled, so
  // the reduction is one state with the self-loops 1 and 3, which the
  // clean-up removes.
  void saveLoops() {
    const DES cycle = makeDES(4, {{0, 1, 1}, {1, 3, 2}, {2, 1, 3}, {3, 3, 0}});
    program.save("P.DES", cycle);
    program.save("S.DES", cycle);
    program.save("D.DAT", allocStates(4), -1);
  }
  // The same plant with a supervisor marking 0 and 2: two states, no
  // self-loop, so no clean-up question.
  void saveTwoCells() {
    program.save("P.DES", makeDES(4, {{0, 1, 1}, {1, 3, 2}, {2, 1, 3}, {3, 3, 0}}));
    program.save("S.DES", makeDES(4, {{0, 1, 1}, {1, 3, 2}, {2, 1, 3}, {3, 3, 0}}, {0, 2}));
    program.save("D.DAT", allocStates(4), -1);
  }
};

// --- Supreduce ------------------------------------------------------------------------

TEST_F(ReductionDialogs, SupreduceAcceptedCleanUpLogsTheCleanedSupervisorAndItsBound) {
  saveLoops();
  // slb: Enter (yes); clean-up: Enter (yes); the pause: Enter.
  const test::ConsoleRun run = runConsole(program, " T8P\rS\rD\rR\r\r\r\rXX");
  EXPECT_EQ(run.status, 0) << run.output;
  const int question = findScreen(run, "Execute clean-up procedure? (*y/n)");
  ASSERT_GE(question, 0);
  const int result = findScreen(run, "Reduced supervisor R has 1 state; compression ratio = 4.000000");
  ASSERT_GT(result, question);
  const std::string& page = screen(run, result);
  EXPECT_NE(page.find("\nLower bound estimate of minimal state size: 1\n"), std::string::npos) << page;
  EXPECT_NE(page.find("\nVerify S = Sync(P,R), possibly after application of Minstate\n"), std::string::npos);
  EXPECT_EQ(rowOf(page, 23), "Press <Enter> to return to KAV Procedures");
  EXPECT_EQ(program.describeFile("R.DES"), "1: | marked");
  EXPECT_EQ(program.sessionLog(), "R = Supreduce(P,S,D)  (1,0;slb=1)\n\n");
}

TEST_F(ReductionDialogs, SupreduceDeclinedCleanUpAndEstimateKeepTheSelfloops) {
  saveLoops();
  const test::ConsoleRun run = runConsole(program, " T8P\rS\rD\rR\rnn\rXX");
  EXPECT_EQ(run.status, 0) << run.output;
  const int result = findScreen(run, "Reduced supervisor R has 1 state; compression ratio = 4.000000");
  ASSERT_GE(result, 0);
  const std::string& page = screen(run, result);
  EXPECT_EQ(page.find("Lower bound"), std::string::npos);
  EXPECT_NE(page.find("\nVerify S = Meet(P,R), possibly after application of Minstate\n"), std::string::npos);
  EXPECT_EQ(program.describeFile("R.DES"), "1: 0-1->0 0-3->0 | marked");
  EXPECT_EQ(program.sessionLog(), "R = Supreduce(P,S,D)  (1,2)\n\n");
}

TEST_F(ReductionDialogs, SupreduceAsksNothingWhenTheCleanUpChangesNothing) {
  saveTwoCells();
  const test::ConsoleRun run = runConsole(program, " T8P\rS\rD\rR\r\r\rXX");
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_LT(findScreen(run, "Execute clean-up"), 0);
  const int result = findScreen(run, "Reduced supervisor R has 2 states; compression ratio = 2.000000");
  ASSERT_GE(result, 0);
  EXPECT_NE(screen(run, result).find("Lower bound estimate of minimal state size: 2"), std::string::npos);
  EXPECT_NE(screen(run, result).find("Verify S = Sync(P,R), possibly"), std::string::npos);
  EXPECT_EQ(program.describeFile("R.DES"), "2: 0-1->1 1-3->0 | marked 0");
  EXPECT_EQ(program.sessionLog(), "R = Supreduce(P,S,D)  (2,2;slb=2)\n\n");
}

TEST_F(ReductionDialogs, SupreduceCleansUpOnlyWhenPlantAndSupervisorShareTheirEvents) {
  // The plant also offers 5 at state 0, which the supervisor disables.
  program.save("P.DES", makeDES(4, {{0, 1, 1}, {0, 5, 0}, {1, 3, 2}, {2, 1, 3}, {3, 3, 0}}));
  program.save("S.DES", makeDES(4, {{0, 1, 1}, {1, 3, 2}, {2, 1, 3}, {3, 3, 0}}));
  program.save("D.DAT", makeDES(4, {{0, 5, 0}}), -1);
  const test::ConsoleRun run = runConsole(program, " T8P\rS\rD\rR\r\r\rXX");
  EXPECT_LT(findScreen(run, "Execute clean-up"), 0);
  EXPECT_GE(findScreen(run, "Verify S = Meet(P,R), possibly after application of Minstate"), 0);
  EXPECT_EQ(program.describeFile("R.DES"), "1: 0-1->0 0-3->0 | marked");
  EXPECT_EQ(program.sessionLog(), "R = Supreduce(P,S,D)  (1,2;slb=1)\n\n");
}

TEST_F(ReductionDialogs, SupreduceFailureSaysCheckTheEntries) {
  saveLoops();
  program.save("D.DAT", allocStates(3), -1); // control data of another supervisor
  const test::ConsoleRun run = runConsole(program, " T8P\rS\rD\rR\r\r\rXX");
  EXPECT_EQ(run.status, 0) << run.output;
  const int shown = findScreen(run, "Error, check the entries");
  ASSERT_GE(shown, 0);
  EXPECT_EQ(rowOf(screen(run, shown), 22), "Error, check the entries");
  EXPECT_EQ(rowOf(screen(run, shown), 23), "Press <Enter> to return to KAV Procedures");
  EXPECT_EQ(program.sessionLog(), "");
  EXPECT_EQ(program.describeFile("R.DES"), "unreadable");
}

TEST_F(ReductionDialogs, SupreduceEscapeAtEachQuestionLogsNothing) {
  saveLoops();
  const std::string esc(ESC);
  // At the DAT2 prompt, at the estimate question, at the clean-up question.
  const test::ConsoleRun run =
      runConsole(program, " T8P\rS\r" + esc + "8P\rS\rD\rR\r" + esc + "8P\rS\rD\rR\r\r" + esc + "XX");
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_GE(findScreen(run, "Execute clean-up procedure? (*y/n)"), 0);
  EXPECT_LT(findScreen(run, "Reduced supervisor"), 0);
  EXPECT_EQ(program.sessionLog(), "");
}

// 2026-12-07: Escape at the clean-up question left the reduction the child
// had written as R.DES. It must leave no file, and an older R.DES as it was.
TEST_F(ReductionDialogs, SupreduceEscapeAtTheCleanUpLeavesNoFileAndAnOlderOneAsItWas) {
  saveLoops();
  const std::string esc(ESC);
  const test::ConsoleRun run = runConsole(program, " T8P\rS\rD\rR\r\r" + esc + "XX");
  EXPECT_GE(findScreen(run, "Execute clean-up procedure? (*y/n)"), 0);
  EXPECT_EQ(program.describeFile("R.DES"), "unreadable");
  program.save("R.DES", makeDES(2, {{0, 7, 1}}));
  const test::ConsoleRun again = runConsole(program, " T8P\rS\rD\rR\r\r\r" + esc + "XX");
  EXPECT_GE(findScreen(again, "Execute clean-up procedure? (*y/n)"), 0);
  EXPECT_EQ(program.describeFile("R.DES"), "2: 0-7->1 | marked");
  EXPECT_EQ(program.sessionLog(), "");
}

// --- Localize -------------------------------------------------------------------------

class LocalizeDialog : public ReductionDialogs {
protected:
  // Two machines (start 1 / 3, finish 2 / 4) and a one-slot buffer
  // between them; SUPER is Supcon of their product and the buffer.
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

TEST_F(LocalizeDialog, LocalizesChecksAndLogsTheControllers) {
  const test::ConsoleRun run = runConsole(program, " T11PLANT\r2\rM1\rM2\rSUPER\rLOC1\rLOC2\r\r\r\rXX");
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_LT(findScreen(run, "Input PLANT is not"), 0);
  const int question = findScreen(run, "Execute clean up procedure?  (*y/n)");
  const int messages = findScreen(
      run, "\nGenerating LOC1.DES...\nLOC1.DES generated.\nGenerating LOC2.DES...\nLOC2.DES generated.\n");
  const int confirm = findScreen(run, "Confirm localization control-equivalent to SUPER?  (*y/n)");
  const int done = findScreen(run, "Localization succeeds!");
  EXPECT_GE(question, 0);
  EXPECT_GT(messages, question);
  EXPECT_GE(confirm, messages);
  EXPECT_GT(done, confirm);
  const int formula = findScreen(run, "(LOC1, LOC2) = LOCALIZE(PLANT, (M1, M2), SUPER)");
  EXPECT_GE(formula, 0);
  EXPECT_EQ(program.describeFile("LOC1.DES"), "2: 0-1->0 0-2->1 1-3->0 | marked 0");
  EXPECT_EQ(program.sessionLog(), "(LOC1,LOC2) = Localize(PLANT,(M1,M2),SUPER)  ((2,3);(2,2))\n"
                          "true = ControlEqu(PLANT,(LOC1,LOC2), SUPER)\n\n");
  // The product of the components went through a private file, and the
  // control data through a private directory: both are gone.
  EXPECT_EQ(program.files(), (std::vector<std::string>{"LOC1.DES", "LOC2.DES", "M1.DES", "M2.DES", "MAKEIT.TXT",
                                                   "PLANT.DES", "SUPER.DES"}));
}

TEST_F(LocalizeDialog, ClockingLogsTheTimeOfTheLocalization) {
  test::writeFile(program.dir.path + "orva.ini", program.dir.path + "user\nCLOCK 1\n");
  const test::ConsoleRun run = runConsole(program, " T11PLANT\r1\rPLANT\rSUPER\rLOC\r\rn\rXX");
  EXPECT_EQ(run.status, 0) << run.output;
  const std::string log = program.sessionLog();
  EXPECT_TRUE(std::regex_match(
      log, std::regex("\\(LOC\\) = Localize\\(PLANT,\\(PLANT\\),SUPER\\)  \\(\\(\\d+,\\d+\\)\\)\n"
                      " {8}Computing time = 00:00:0\\d\n\n")))
      << log;
}

TEST_F(LocalizeDialog, WithoutCleanUpOrCheckTheLogHasNoVerdict) {
  const test::ConsoleRun run = runConsole(program, " T11PLANT\r2\rM1\rM2\rSUPER\rLOC1\rLOC2\rnn\rXX");
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_LT(findScreen(run, "Localization succeeds!"), 0);
  EXPECT_EQ(program.describeFile("LOC1.DES"), "2: 0-1->0 0-2->1 0-4->0 1-3->0 1-4->1 | marked 0");
  EXPECT_EQ(program.describeFile("LOC2.DES"), "2: 0-1->0 0-2->1 0-4->0 1-3->0 1-4->1 | marked 0");
  EXPECT_EQ(program.sessionLog(), "(LOC1,LOC2) = Localize(PLANT,(M1,M2),SUPER)  ((2,5);(2,5))\n\n");
}

TEST_F(LocalizeDialog, WarnsWhenThePlantIsNotTheProductAndReportsTheFailure) {
  // Machine 1 as typed may start again while busy: not the plant's.
  program.save("M1B.DES", makeDES(2, {{0, 1, 1}, {1, 1, 1}, {1, 2, 0}}, {0}));
  const std::string keys = " T11PLANT\r2\rM1B\rM2\r";
  test::ConsoleRun run = runConsole(program, keys + "n" + "XX");
  EXPECT_EQ(run.status, 0) << run.output;
  const int warned = findScreen(run, "Input PLANT is not the synchronous product of input PLANT components,");
  ASSERT_GE(warned, 0);
  EXPECT_NE(screen(run, warned).find("\n  and ControlEqu procedure will be invalid; continue?  (y/*n)"),
            std::string::npos);
  EXPECT_EQ(program.sessionLog(), "");
  run = runConsole(program, keys + "ySUPER\rLOC1\rLOC2\r\r\r\rXX");
  EXPECT_GE(findScreen(run, "Localization fails!"), 0);
  EXPECT_EQ(program.sessionLog(), "(LOC1,LOC2) = Localize(PLANT,(M1B,M2),SUPER)  ((2,3);(2,2))\n"
                          "false = ControlEqu(PLANT,(LOC1,LOC2), SUPER)\n\n");
}

TEST_F(LocalizeDialog, RefusesAControllerNameThatIsAnInput) {
  // M1 exists: the overwrite question first, then the refusal.
  const test::ConsoleRun run = runConsole(program, " T11PLANT\r2\rM1\rM2\rSUPER\rM1\r\rLOC1\rLOC2\r\r\r\rXX");
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_GE(findScreen(run, "Name M1 is PLANT, SUPER, a component or a local controller already!"), 0);
  EXPECT_EQ(program.describeFile("M1.DES"), "2: 0-1->1 1-2->0 | marked 0");
  EXPECT_GE(findScreen(run, "Localization succeeds!"), 0);
}

TEST_F(LocalizeDialog, EscapeAtEachPromptLogsNothing) {
  const std::string esc(ESC);
  const std::string keys = " T11" + esc + "11PLANT\r" + esc + "11PLANT\r2\rM1\r" + esc + "11PLANT\r2\rM1\rM2\r" + esc +
                           "11PLANT\r2\rM1\rM2\rSUPER\rLOC1\r" + esc + "11PLANT\r2\rM1\rM2\rSUPER\rLOC1\rLOC2\r" +
                           esc + "XX";
  const test::ConsoleRun run = runConsole(program, keys);
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_EQ(program.sessionLog(), "");
  EXPECT_FALSE(test::exists(program.user("LOC1.DES")));
}

} // namespace
} // namespace kav
