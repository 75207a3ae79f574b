// The Supreduce and Localize dialogs through "kav -autotest": prompts,
// questions, messages, the clean-up and the session log.

#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "console/consoleSupport.h"

namespace kav {
namespace {

using namespace test;

// A four-cycle plant and its supervisor, the supervisor marking `marked`,
// and control data disabling 5 at state 0 when the plant offers it there.
void putCycle(const ProgramDir& p, std::initializer_list<std::int64_t> marked, bool five, std::int64_t datSize) {
  p.save("P.DES", five ? makeDES(4, {{0, 1, 1}, {0, 5, 0}, {1, 3, 2}, {2, 1, 3}, {3, 3, 0}})
                       : makeDES(4, {{0, 1, 1}, {1, 3, 2}, {2, 1, 3}, {3, 3, 0}}));
  p.save("S.DES", makeDES(4, {{0, 1, 1}, {1, 3, 2}, {2, 1, 3}, {3, 3, 0}}, marked));
  p.save("D.DAT", five ? makeDES(4, {{0, 5, 0}}) : allocStates(datSize), -1);
}
// Nothing disabled: the reduction is one state with the self-loops 1 and
// 3, which the clean-up removes.
void putLoops(const ProgramDir& p) { putCycle(p, {}, false, 4); }
// A supervisor marking 0 and 2: two states, no self-loop, no clean-up.
void putTwoCells(const ProgramDir& p) { putCycle(p, {0, 2}, false, 4); }
// The plant also offers 5 at state 0, which the supervisor disables: the
// clean-up needs plant and supervisor to share their events.
void putDisabled(const ProgramDir& p) { putCycle(p, {}, true, 4); }
// Control data of another supervisor.
void putMismatch(const ProgramDir& p) { putCycle(p, {}, false, 3); }
// The loops, and an older R.DES that a cancelled reduction must leave alone.
void putLoopsOverR(const ProgramDir& p) {
  putLoops(p);
  p.save("R.DES", makeDES(2, {{0, 7, 1}}));
}

// The two machines; machine 1 as typed in M1B may start again while busy:
// not the plant's.
void putMachines(const ProgramDir& p) {
  test::saveTwoMachines(p);
  p.save("M1B.DES", makeDES(2, {{0, 1, 1}, {1, 1, 1}, {1, 2, 0}}, {0}));
}

const char* const RESULT_1 = "Reduced supervisor R has 1 state; compression ratio = 4.000000";
const char* const LOCALIZED = "(LOC1,LOC2) = Localize(PLANT,(M1,M2),SUPER)  ((2,3);(2,2))\n"
                              "true = ControlEqu(PLANT,(LOC1,LOC2), SUPER)\n\n";
const std::string LOC1 = "2: 0-1->0 0-2->1 1-3->0 | marked 0";

const test::DialogCase ROWS[] = {
    // Estimate and clean-up accepted with Enter, or declined.
    {putLoops, {"8P\rS\rD\rR\r\r\r\r",
                {"Execute clean-up procedure? (*y/n)", RESULT_1, "\nLower bound estimate of minimal state size: 1\n",
                 "\nVerify S = Sync(P,R), possibly after application of Minstate\n"},
                {}, {{"R.DES", "1: | marked"}}, "R = Supreduce(P,S,D)  (1,0;slb=1)\n\n"}},
    {putLoops, {"8P\rS\rD\rR\rnn\r", {RESULT_1, "\nVerify S = Meet(P,R), possibly after application of Minstate\n"},
                {"Lower bound"}, {{"R.DES", "1: 0-1->0 0-3->0 | marked"}}, "R = Supreduce(P,S,D)  (1,2)\n\n"}},
    {putTwoCells, {"8P\rS\rD\rR\r\r\r",
                   {"Reduced supervisor R has 2 states; compression ratio = 2.000000",
                    "Lower bound estimate of minimal state size: 2", "Verify S = Sync(P,R), possibly"},
                   {"Execute clean-up"}, {{"R.DES", "2: 0-1->1 1-3->0 | marked 0"}},
                   "R = Supreduce(P,S,D)  (2,2;slb=2)\n\n"}},
    {putDisabled, {"8P\rS\rD\rR\r\r\r", {"Verify S = Meet(P,R), possibly after application of Minstate"},
                   {"Execute clean-up"}, {{"R.DES", "1: 0-1->0 0-3->0 | marked"}},
                   "R = Supreduce(P,S,D)  (1,2;slb=1)\n\n"}},
    {putMismatch, {"8P\rS\rD\rR\r\r\r", {"Error, check the entries"}, {}, {{"R.DES", "unreadable"}}, ""}},
    // Escape at the clean-up question writes nothing, over nothing or over
    // an older file (whose overwrite question takes the third Enter).
    {putLoops, {"8P\rS\rD\rR\r\r\x1b", {"Execute clean-up procedure? (*y/n)"}, {}, {{"R.DES", "unreadable"}}, ""}},
    {putLoopsOverR, {"8P\rS\rD\rR\r\r\r\x1b", {"Execute clean-up procedure? (*y/n)"}, {},
                     {{"R.DES", "2: 0-7->1 | marked"}}, ""}},
    // Clean-up, messages, the check and the private files, all gone.
    {putMachines, {"11PLANT\r2\rM1\rM2\rSUPER\rLOC1\rLOC2\r\r\r\r",
                   {"Execute clean up procedure?  (*y/n)",
                    "\nGenerating LOC1.DES...\nLOC1.DES generated.\nGenerating LOC2.DES...\nLOC2.DES generated.\n",
                    "Confirm localization control-equivalent to SUPER?  (*y/n)", "Localization succeeds!",
                    "(LOC1, LOC2) = LOCALIZE(PLANT, (M1, M2), SUPER)"},
                   {"Input PLANT is not"}, {{"LOC1.DES", LOC1}}, LOCALIZED}},
    {putMachines, {"11PLANT\r2\rM1\rM2\rSUPER\rLOC1\rLOC2\rnn\r", {}, {"Localization succeeds!"},
                   {{"LOC1.DES", "2: 0-1->0 0-2->1 0-4->0 1-3->0 1-4->1 | marked 0"},
                    {"LOC2.DES", "2: 0-1->0 0-2->1 0-4->0 1-3->0 1-4->1 | marked 0"}},
                   "(LOC1,LOC2) = Localize(PLANT,(M1,M2),SUPER)  ((2,5);(2,5))\n\n"}},
    {putMachines, {"11PLANT\r2\rM1B\rM2\rn",
                   {"Input PLANT is not the synchronous product of input PLANT components,",
                    "\n  and ControlEqu procedure will be invalid; continue?  (y/*n)"},
                   {}, {}, ""}},
    {putMachines, {"11PLANT\r2\rM1B\rM2\rySUPER\rLOC1\rLOC2\r\r\r\r", {"Localization fails!"}, {}, {},
                   "(LOC1,LOC2) = Localize(PLANT,(M1B,M2),SUPER)  ((2,3);(2,2))\n"
                   "false = ControlEqu(PLANT,(LOC1,LOC2), SUPER)\n\n"}},
    // M1 exists: the overwrite question first, then the refusal.
    {putMachines, {"11PLANT\r2\rM1\rM2\rSUPER\rM1\r\rLOC1\rLOC2\r\r\r\r",
                   {"Name M1 is PLANT, SUPER, a component or a local controller already!", "Localization succeeds!"},
                   {}, {{"M1.DES", "2: 0-1->1 1-2->0 | marked 0"}, {"LOC1.DES", LOC1}}, LOCALIZED}},
};

INSTANTIATE_TEST_SUITE_P(Reduction, Dialog, ::testing::ValuesIn(ROWS));

TEST(LocalizeDialog, ClockingLogsTheTimeOfTheLocalization) {
  ProgramDir program;
  putMachines(program);
  test::writeFile(program.dir.path + "orva.ini", program.dir.path + "user\nCLOCK 1\n");
  const test::ConsoleRun run = test::runConsole(program, " T11PLANT\r1\rPLANT\rSUPER\rLOC\r\rn\rXX");
  EXPECT_EQ(run.status, 0) << run.output;
  const std::string log = program.sessionLog();
  EXPECT_TRUE(std::regex_match(
      log, std::regex("\\(LOC\\) = Localize\\(PLANT,\\(PLANT\\),SUPER\\)  \\(\\(\\d+,\\d+\\)\\)\n"
                      " {8}Computing time = 00:00:0\\d\n\n")))
      << log;
}

} // namespace
} // namespace kav
