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

using test::createDES;
using test::ESC;
using test::exists;
using test::findScreen;
using test::ProgramDir;
using test::readFile;
using test::rowOf;
using test::runConsole;
using test::writeFile;

class Console : public ::testing::Test {
protected:
  ProgramDir program;

  DES loadUser(const std::string& name) const {
    DES des;
    std::int64_t init = 0;
    EXPECT_EQ(loadDESFile(program.user(name), des, init), LOAD_OK) << name;
    return des;
  }
  // 0 -1-> 1 -2-> 2 (marked), 0 -3-> 3 which blocks: trims to 3 states.
  void createA() { createDES(program, "A", 4, "2", "0 1 1\n1 2 2\n0 3 3\n"); }
};

// --- The menus ------------------------------------------------------------------------

TEST_F(Console, ShowsThePictureAndTheMainMenuAndQuitsWithX) {
  const test::ConsoleRun run = runConsole(program, " qX");
  EXPECT_EQ(run.status, 0) << run.output;
  ASSERT_GE(run.screens.size(), 3u);
  EXPECT_EQ(rowOf(run.screens[0], 12).substr(31), "KAV 2017.05.01");
  EXPECT_NE(run.screens[0].find("KK    KK"), std::string::npos);
  EXPECT_EQ(rowOf(run.screens[1], 4), std::string(24, ' ') + "PROGRAM KAV");
  EXPECT_EQ(rowOf(run.screens[1], 19), std::string(24, ' ') + "Option desired?");
  // A wrong key is cleared from the field before the next one is read.
  EXPECT_EQ(run.screens[2], run.screens[1]);
}

TEST_F(Console, MainMenuSwitchesShowTheirNewValuesAndClockingIsSaved) {
  const test::ConsoleRun run = runConsole(program, " BDCX");
  EXPECT_EQ(run.status, 0);
  ASSERT_GE(run.screens.size(), 5u);
  const std::string& last = run.screens[4];
  EXPECT_NE(last.find("B:  Bell (On)"), std::string::npos);
  EXPECT_NE(last.find("D:  Debug mode (On)"), std::string::npos);
  EXPECT_NE(last.find("C:  Clocking mode (On)"), std::string::npos);
  EXPECT_EQ(readFile(program.dir.path + "orva.ini"), program.dir.path + "user\nCLOCK 1\n");
}

TEST_F(Console, EveryMenuCodeReachesItsDialog) {
  struct Code {
    const char* keys;     // typed at "Procedure desired:"
    const char* expected; // on the screen it leads to
    const char* leave;    // back to the procedures menu
  };
  const Code codes[] = {
      {"0", "Please choose Option 1 or 2 ....", ESC},
      {"1\r", "DES2 = SELFLOOP (DES1, EVENT_LIST)", ESC},
      {"10", "DES2 = COMPLEMENT (DES1, LIST)", ESC},
      {"11", "(LOC1, LOC2, ...) = LOCALIZE (PLANT, (PLANT1, PLANT2, ...), SUPER)", ESC},
      {"12", "DES2 = FORCE (DES1, [FORCIBLE], [PREEMPTABLE], TIMEOUT)", ESC},
      {"2", "DES2 = TRIM (DES1)", ESC},
      {"3", "DES = SYNC (DES1, DES2, ..., DESk, k)", ESC},
      {"4", "DES = MEET (DES1, DES2, ..., DESk, k)", ESC},
      {"5", "DES3 = SUPCON (DES1, DES2)", ESC},
      {"6", "DES3 = MUTEX (DES1, DES2, EXCLUDED_STATE_PAIR_LIST)", ESC},
      {"7", "DES3 = CONDAT (DES1, DES2)", ESC},
      {"8", "DES3 = SUPREDUCE (DES1, DES2, DAT2)", ESC},
      {"9", "DES2 = MINSTATE (DES1)", ESC},
      {"b", "REACH & BREADTH-FIRST SEARCH RECODE", ESC},
      {"ce", "GIF = CONVERT (DES)", ESC},
      {"DE", "DISPLAY (DES)", ESC},
      {"E", "DES2 = EDIT (DES1)", ESC},
      {"FA", "FILE(DAT)", ESC},
      {"FD", "DES2 = FILE (ADS1)", ESC},
      {"FE", "FILE(DES)", ESC},
      {"H0", "DES2 = VOCALIZE (DES1, [VOCAL])", ESC},
      {"H1", "DES2 = OUTCONSIS (DES1)", ESC},
      {"H2", "DES2 = HICONSIS (DES1)", ESC},
      {"H3", "DES2 = HIGEN (DES1)", ESC},
      {"H4", "DES2 = ALLEVENTS (DES1/DAT1/[EVENTLIST])", ESC},
      {"I", "ISOMORPH (DES1, DES2)", ESC},
      {"MA", " D=PgDn  U=PgUp  Esc (Exit Show)", ESC},
      {"NC", "NONCONFLICT (DES1, DES2)", ESC},
      {"NO", "(DES3,DES4) = NATOBS (DES1, DES2/DAT2/[EVENTLIST])", ESC},
      {"OB", "OBS (DES1, DES2, NULL/IMAGE/IMAGE_DES)", ESC},
      {"P0", "DES2 = PROJECT (DES1, NULL/IMAGE/IMAGE_DES)", ESC},
      {"PA", "PRINT(DAT)", ESC},
      {"PE", "PRINT(DES)", ESC},
      {"PX", "PRINT(TXT)", ESC},
      {"QC", "DES2 = SUP(S)QC (DES1, NULL/IMAGE/IMAGE_DES)", ESC},
      {"R0", "DES2 = RELABEL (DES1, EVENT_MAP_PAIR_LIST)", ESC},
      {"RR", "DES3 = SUPCONROBS (DES1, DES2, NULL/IMAGE/IMAGE_DES)", ESC},
      {"SA", "SHOW(DAT)", ESC},
      {"se", "SHOW(DES)", ESC},
      {"SX", "SHOW(TXT)", ESC},
      {"SN", "DES3 = SUPNORM (DES1, DES2, NULL/IMAGE/IMAGE_DES)", ESC},
      {"SR", "DES3 = SUPROBS (DES1, DES2, NULL/IMAGE/IMAGE_DES)", ESC},
      {"SS", "DES3 = SUPSCOP (DES1, DES2, NULL/IMAGE/IMAGE_DES)", ESC},
      {"UD", " D=PgDn  U=PgUp  Esc (Exit Directory)", ESC},
      {"UM", "DES2 = UNCERTMOD (DES1, NULL/IMAGE/IMAGE_DES)", ESC},
      {"Z1", "0: Path-to-Block", "2\rX"},
      {"Z2", "8: Statemap", "X"},
      {"13", "Procedure desired:", ""}, // no such code: the menu again
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

TEST_F(Console, ProceduresMenuShowsTheDirectoryFooter) {
  createA();
  const test::ConsoleRun run = runConsole(program, " TXX");
  ASSERT_GE(run.screens.size(), 3u);
  const std::string& menu = run.screens[2];
  EXPECT_EQ(rowOf(menu, 3), std::string(31, ' ') + "KAV PROCEDURES");
  EXPECT_EQ(rowOf(menu, 21), "     User directory: " + abbreviate(program.dir.path + "user", 59));
  EXPECT_EQ(rowOf(menu, 22), "     Number files: 1");
  EXPECT_EQ(rowOf(menu, 19), std::string(31, ' ') + "Procedure desired:");
}

// --- The framework through Trim and BFS-recode ----------------------------------------

TEST_F(Console, EscapeAtEveryPromptCancelsWithoutLogEntryOrOutput) {
  createA();
  createDES(program, "B", 1, "0", "");
  const std::string cancels[] = {
      "2",                    // input name
      "2A\r",                 // rename question
      "2A\r\r",               // new name
      "2A\r\rB\r",            // overwrite question
      "BA\r",                 // BFS-recode output
      "3",                    // k
      "32\rA\r",              // second input
      "32\rA\rA\r",           // Sync output
      "4",                    // Meet k
      "5A\rA\r",              // Supcon output
      "7A\rA\r",              // Condat output
      "9A\r",                 // Minstate rename question
      "1\rA\rn1\r",           // Selfloop event list
      "10A\rC\r",             // Complement question
      "10A\rC\rn",            // Complement list
      "12A\rC\r",             // Force forcible list
      "12A\rC\r-1\r-1\r",     // Force timeout
      "6A\rA\rC\r1\r",        // Mutex pair
      "P0A\rC\r",             // Project n/i/d
      "P0A\rC\rd",            // Project IMAGE_DES name
      "P0A\rC\rn",            // Project null list
      "R0A\rC\r",             // Relabel old value
      "H0A\rC\r",             // Vocalize exit state
      "H0A\rC\r0\r1\r",       // Vocalize vocal output
      "H2A\rC\r",             // Hiconsis option
      "H4",                   // Allevents source
      "H4\r",                 // Allevents DES1
      "H4\rA\r",              // Allevents output
      "IA\r",                 // Isomorph second input
      "NC",                   // Nonconflict first input
  };
  std::string keys = " T";
  for (const std::string& c : cancels) keys += c + ESC;
  const test::ConsoleRun run = runConsole(program, keys + "XX");
  EXPECT_EQ(run.status, 0) << run.output;
  // Had any Escape not led straight back to the menu, the keys after it
  // would have gone astray and the closing XX would not end the program.
  EXPECT_EQ(program.sessionLog(), "");
  EXPECT_FALSE(exists(program.user("C.DES")));
  EXPECT_FALSE(exists(program.user("orva.prm")));
  EXPECT_EQ(test::describe(loadUser("B.DES")), "1: | marked 0");
}

TEST_F(Console, TrimLogsItsEntryUnderEitherName) {
  createA();
  const test::ConsoleRun run = runConsole(program, " T2A\r\rB\r\r2A\rn\rXX");
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_EQ(program.sessionLog(), "B = Trim(A)  (3,2)\n\nA = Trim(A)  (3,2)\n\n");
  EXPECT_EQ(test::describe(loadUser("B.DES")), "3: 0-1->1 1-2->2 | marked 2");
  EXPECT_EQ(test::describe(loadUser("A.DES")), "3: 0-1->1 1-2->2 | marked 2");
  const int pause = findScreen(run, "Press <Enter> to return to KAV Procedures");
  ASSERT_GE(pause, 0);
  EXPECT_EQ(rowOf(run.screens[static_cast<std::size_t>(pause)], 23), "Press <Enter> to return to KAV Procedures");
  EXPECT_GE(findScreen(run, "Assign new name to A?   (*y/n)"), 0);
  EXPECT_FALSE(exists(program.user("tmp.$$$")));
}

TEST_F(Console, OverwriteQuestionTakesEnterAsYesAndNAsAnotherName) {
  createA();
  createDES(program, "B", 1, "0", "");
  const test::ConsoleRun run = runConsole(program, " T2A\r\rB\rnB\r\r\rXX");
  EXPECT_EQ(run.status, 0);
  const int question = findScreen(run, "Filename B already exists.  OK to overwrite?  (*y/n)");
  ASSERT_GE(question, 0);
  // n: the name is asked for again, and the question comes again.
  const int again = findScreen(run, "OK to overwrite?  (*y/n)  n", question);
  ASSERT_GE(again, 0);
  const std::string& screen = run.screens[static_cast<std::size_t>(again)];
  const std::size_t first = screen.find("Enter new name for DES2 ....  B");
  ASSERT_NE(first, std::string::npos);
  EXPECT_NE(screen.find("Enter new name for DES2 ....", first + 1), std::string::npos);
  EXPECT_EQ(program.sessionLog(), "B = Trim(A)  (3,2)\n\n");
  EXPECT_EQ(loadUser("B.DES").size(), 3);
}

TEST_F(Console, AnInputThatDoesNotExistAsksAgain) {
  createA();
  const test::ConsoleRun run = runConsole(program, " T2NOPE\rA\r" + std::string(ESC) + "XX");
  const int missing = findScreen(run, "Filename NOPE not in directory!");
  ASSERT_GE(missing, 0);
  const std::string& screen = run.screens[static_cast<std::size_t>(missing)];
  // The prompt stands again two rows below the message.
  EXPECT_EQ(rowOf(screen, 6), "Filename NOPE not in directory!");
  EXPECT_EQ(rowOf(screen, 8), "Enter name of DES1 to be trimmed ....");
  EXPECT_GE(findScreen(run, "Assign new name to A?", missing), 0);
}

TEST_F(Console, ClockingAddsTheComputingTimeLine) {
  writeFile(program.dir.path + "orva.ini", program.dir.path + "user\nCLOCK 1\n");
  createA();
  runConsole(program, " TBA\rR\r\rXX");
  const std::string log = program.sessionLog();
  EXPECT_TRUE(std::regex_match(log, std::regex("R = Recode\\(A\\)  \\(4,3\\)\n {4}Computing time = 00:00:0[0-9]\n\n")))
      << log;
  EXPECT_EQ(test::describe(loadUser("R.DES")), "4: 0-1->1 0-3->2 1-2->3 | marked 3");
}

TEST_F(Console, ChildOutOfMemoryShowsTheMessageAndLogsNothing) {
  if (test::sanitizedBuild()) GTEST_SKIP() << "the sanitizer's allocator ignores address-space limits";
  // Loading it needs 800 MB, far beyond the limit.
  program.saveHuge("BIG.DES");

  const test::ConsoleRun run = runConsole(program, " T2BIG\r\rOUT\r\rXX", 256ull << 20);
  EXPECT_EQ(run.status, 0) << run.output;
  const int shown = findScreen(run, "Problem too large -- out of memory!");
  ASSERT_GE(shown, 0);
  EXPECT_EQ(rowOf(run.screens[static_cast<std::size_t>(shown)], 22), "Problem too large -- out of memory!");
  EXPECT_EQ(rowOf(run.screens[static_cast<std::size_t>(shown)], 23), "Press <Enter> to return to KAV Procedures");
  EXPECT_EQ(program.sessionLog(), "");
  EXPECT_FALSE(exists(program.user("OUT.DES")));
}

TEST_F(Console, FailedComputationsSayWhatWentWrongAndLogNothing) {
  createA();
  writeFile(program.user("BAD.DES"), "not a DES file at all");
  ::mkdir(program.user("DIR.DES").c_str(), 0755);
  const test::ConsoleRun run = runConsole(program, " T2BAD\r\rOUT\r\r2A\r\rDIR\r\r\rXX");
  EXPECT_EQ(run.status, 0);
  const int unreadable = findScreen(run, "Error reading file:");
  ASSERT_GE(unreadable, 0);
  EXPECT_EQ(rowOf(run.screens[static_cast<std::size_t>(unreadable)], 22),
            "Error reading file: " + abbreviate(program.user("BAD.DES"), 59));
  const int unwritable = findScreen(run, "Error writing file:");
  ASSERT_GE(unwritable, 0);
  EXPECT_EQ(rowOf(run.screens[static_cast<std::size_t>(unwritable)], 22),
            "Error writing file: " + abbreviate(program.user("DIR.DES"), 59));
  EXPECT_EQ(rowOf(run.screens[static_cast<std::size_t>(unwritable)], 23), "Press <Enter> to return to KAV Procedures");
  EXPECT_EQ(program.sessionLog(), "");
}

// --- Products ----------------------------------------------------------------------------

TEST_F(Console, SyncShowsTheBlockedEventsInEveryForm) {
  createDES(program, "A", 2, "1", "0 1 1\n");
  createDES(program, "B", 2, "1", "0 3 1\n");
  // C offers 1 first and D offers 5 first: both are blocked at once.
  createDES(program, "C", 2, "0", "0 1 1\n1 5 0\n");
  createDES(program, "D", 2, "0", "0 5 1\n1 1 0\n");
  // E offers eight labels that F knows but never offers from its start.
  std::string eight, stuck;
  for (int e = 1; e <= 15; e += 2) {
    eight += "0 " + std::to_string(e) + " 1\n";
    stuck += "1 " + std::to_string(e) + " 1\n";
  }
  createDES(program, "E", 2, "0", eight);
  createDES(program, "F", 2, "0", "0 17 0\n" + stuck);
  const test::ConsoleRun run =
      runConsole(program, " T32\rA\rB\rX\r\r32\rC\rD\rY\r\r32\rE\rF\rZ\r\rXX");
  EXPECT_EQ(run.status, 0) << run.output;
  const int none = findScreen(run, "Events blocked in X: None.");
  ASSERT_GE(none, 0);
  EXPECT_EQ(rowOf(run.screens[static_cast<std::size_t>(none)], 21), "Events blocked in X: None.");
  EXPECT_GE(findScreen(run, "Events blocked in Y: [  1,  5]"), 0);
  EXPECT_GE(findScreen(run, "Events blocked in Z: See MAKEIT.TXT file."), 0);
  EXPECT_EQ(program.sessionLog(), "X = Sync(A,B)  (4,4)  Blocked_events = None  \n\n"
                          "Y = Sync(C,D)  (1,0)  Blocked_events = [1,5]  \n\n"
                          "Z = Sync(E,F)  (1,1)  Blocked_events = [1,3,5,7,9,11,13,15]  \n\n");
}

TEST_F(Console, LongEntriesAreWrappedThroughTheScratchFile) {
  // Twenty inputs with names of twenty characters make an entry of some
  // 450 characters.
  std::string keys = " T320\r";
  std::string names;
  for (int k = 0; k < 20; ++k) {
    char name[32];
    std::snprintf(name, sizeof name, "INPUT%02dXXXXXXXXXXXXX", k);
    createDES(program, name, 1, "0", "");
    keys += std::string(name) + "\r";
    if (k) names += ',';
    names += name;
  }
  runConsole(program, keys + "SYNC12\r\rXX");
  const std::string log = program.sessionLog();
  const std::string expected = "SYNC12 = Sync(" + names + ")  (1,0)  Blocked_events = None  ";
  std::string unwrapped;
  std::size_t start = 0;
  int lines = 0;
  for (std::size_t end; (end = log.find('\n', start)) != std::string::npos && end > start; start = end + 1) {
    const std::string line = log.substr(start, end - start);
    EXPECT_LE(line.size(), 74u) << line;
    if (lines++ == 0) {
      unwrapped += line;
    } else {
      ASSERT_EQ(line.substr(0, 9), std::string(9, ' ')) << line;
      unwrapped += line.substr(9);
    }
  }
  EXPECT_GE(lines, 6);
  EXPECT_EQ(unwrapped, expected);
  EXPECT_EQ(log.substr(log.size() - 2), "\n\n");
  EXPECT_FALSE(exists(program.user("tmp.$$$")));
}

TEST_F(Console, ProductAndSynthesisProceduresLogTheirEntries) {
  // Plant: 0 -1-> 1 -2-> 0, both marked; the legal DES forbids the
  // uncontrollable 2 after 1, so 1 must go as well.
  createDES(program, "P", 2, "0\n1", "0 1 1\n1 2 0\n");
  createDES(program, "S", 2, "0\n1", "0 1 1\n");
  const test::ConsoleRun run =
      runConsole(program, " T5P\rS\rSUP\r\r7P\rP\rCD\r\r42\rP\rS\rM\r\r9P\r\rMIN\r\rXX");
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_EQ(program.sessionLog(), "SUP = Supcon(P,S)  (1,0)\n\n"
                          "CD = Condat(P,P)  Controllable.\n\n"
                          "M = Meet(P,S)  (2,1)\n\n"
                          "MIN = Minstate(P)  (2,2)\n\n");
  EXPECT_TRUE(exists(program.user("CD.DAT")));
}

// --- The event-list editor ------------------------------------------------------------------

TEST_F(Console, EventListWrapsAtColumn75AndContinuesOnANewPage) {
  createA();
  std::string keys = " T1\rA\rn";
  for (int e = 100; e < 250; ++e) keys += std::to_string(e) + "\r";
  const test::ConsoleRun run = runConsole(program, keys + "-1\r\r" + ESC + "XX");
  // Ten entries of 7 columns from column 5; the eleventh starts a new row.
  std::string row, next;
  for (int e = 100; e < 110; ++e) row += (e == 100 ? "     " : "    ") + std::to_string(e);
  for (int e = 110; e < 120; ++e) next += (e == 110 ? "     " : "    ") + std::to_string(e);
  const int wrapped = findScreen(run, "\n" + row + "\n" + next + "\n");
  EXPECT_GE(wrapped, 0);
  const int continued = findScreen(run, "Continue to enter list of events to be adjoined.  Terminate list with -1.");
  ASSERT_GE(continued, 0);
  const std::string& page = run.screens[static_cast<std::size_t>(continued)];
  EXPECT_EQ(rowOf(page, 0), "SELFLOOP");
  EXPECT_EQ(rowOf(page, 4), "Continue to enter list of events to be adjoined.  Terminate list with -1.");
  EXPECT_EQ(rowOf(page, 23), "Press <ESC> to cancel");
  // The first key typed there stands at column 5 of row 6.
  const std::string typed = rowOf(run.screens[static_cast<std::size_t>(continued + 1)], 6);
  EXPECT_EQ(typed.size(), 6u);
  EXPECT_EQ(typed.substr(0, 5), "     ");
}

// --- User directory, session log, introduction --------------------------------------------

TEST_F(Console, UserDirectoryListingInFourColumns) {
  createA();
  ::mkdir(program.user("OLD").c_str(), 0755);
  const test::ConsoleRun run = runConsole(program, " TUD" + std::string(ESC) + "XX");
  const int shown = findScreen(run, "FILES IN: ");
  ASSERT_GE(shown, 0);
  const std::string& screen = run.screens[static_cast<std::size_t>(shown)];
  EXPECT_EQ(rowOf(screen, 0), "FILES IN: " + program.dir.path + "user");
  EXPECT_EQ(rowOf(screen, 3), "A.DES" + std::string(15, ' ') + "[OLD" + std::string(13, ' ') + "]");
  EXPECT_EQ(rowOf(screen, 23), " D=PgDn  U=PgUp  Esc (Exit Directory)");
}

TEST_F(Console, UserDirectoryListingInTwoAndOneColumns) {
  const std::string thirty(26, 'T');
  writeFile(program.user(thirty + ".DES"), "x");
  writeFile(program.user("B.DES"), "x");
  test::ConsoleRun run = runConsole(program, " TUD" + std::string(ESC) + "XX");
  int shown = findScreen(run, "FILES IN: ");
  ASSERT_GE(shown, 0);
  EXPECT_EQ(rowOf(run.screens[static_cast<std::size_t>(shown)], 3), "B.DES" + std::string(35, ' ') + thirty + ".DES");

  const std::string fifty(46, 'F');
  writeFile(program.user(fifty + ".DES"), "x");
  run = runConsole(program, " TUD" + std::string(ESC) + "XX");
  shown = findScreen(run, "FILES IN: ");
  ASSERT_GE(shown, 0);
  const std::string& screen = run.screens[static_cast<std::size_t>(shown)];
  EXPECT_EQ(rowOf(screen, 3), "B.DES");
  EXPECT_EQ(rowOf(screen, 4), fifty + ".DES");
  EXPECT_EQ(rowOf(screen, 5), thirty + ".DES");
}

TEST_F(Console, UserDirectoryPagerGoesForwardAndBack) {
  for (int k = 0; k < 100; ++k) {
    char name[16];
    std::snprintf(name, sizeof name, "F%03d", k);
    writeFile(program.user(name), "x");
  }
  const test::ConsoleRun run = runConsole(program, " TUDdud" + std::string(ESC) + "XX");
  EXPECT_EQ(run.status, 0);
  const int first = findScreen(run, "FILES IN: ");
  ASSERT_GE(first, 0);
  // 19 rows of four entries on a page: F000 .. F075.
  const auto& page1 = run.screens[static_cast<std::size_t>(first)];
  EXPECT_EQ(rowOf(page1, 3).substr(0, 4), "F000");
  EXPECT_EQ(rowOf(page1, 21).substr(60, 4), "F075");
  EXPECT_EQ(rowOf(page1, 22), "");
  const auto& page2 = run.screens[static_cast<std::size_t>(first + 1)];
  EXPECT_EQ(rowOf(page2, 3).substr(0, 4), "F076");
  EXPECT_EQ(rowOf(page2, 8).substr(60, 4), "F099");
  EXPECT_EQ(run.screens[static_cast<std::size_t>(first + 2)], page1);
  EXPECT_EQ(run.screens[static_cast<std::size_t>(first + 3)], page2);
}

TEST_F(Console, EmptyUserDirectorySaysSo) {
  const test::ConsoleRun run = runConsole(program, " TUD\rXX");
  const int shown = findScreen(run, "NO FILES IN ");
  ASSERT_GE(shown, 0);
  const std::string& screen = run.screens[static_cast<std::size_t>(shown)];
  EXPECT_EQ(rowOf(screen, 7), "NO FILES IN " + program.dir.path + "user");
  EXPECT_EQ(rowOf(screen, 23), "Press <Enter> to return to ORVA Procedures");
}

TEST_F(Console, ResetTakesALowerCasePathAndKeepsItsCase) {
  const std::string other = program.dir.path + "other dir/lower";
  ::mkdir((program.dir.path + "other dir").c_str(), 0755);
  ::mkdir(other.c_str(), 0755);
  const test::ConsoleRun run = runConsole(program, " Rny" + other + "\rTXX");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(readFile(program.dir.path + "orva.ini"), other + "\nCLOCK 0\n");
  const int menu = findScreen(run, "KAV PROCEDURES");
  ASSERT_GE(menu, 0);
  EXPECT_EQ(rowOf(run.screens[static_cast<std::size_t>(menu)], 21),
            "     User directory: " + abbreviate(other, 59));
  EXPECT_GE(findScreen(run, "            RESETTING USER FILE DIRECTORY PATH"), 0);
}

TEST_F(Console, ResetRefusesADirectoryThatDoesNotExist) {
  const std::string missing = program.dir.path + "missing";
  const test::ConsoleRun run = runConsole(program, " Rny" + missing + "\r\rX");
  EXPECT_EQ(run.status, 0);
  const int refused = findScreen(run, "Directory " + missing + " does not exist!");
  ASSERT_GE(refused, 0);
  EXPECT_EQ(rowOf(run.screens[static_cast<std::size_t>(refused)], 23), "Press <Enter> to return KAV Procedures");
  EXPECT_EQ(readFile(program.dir.path + "orva.ini"), program.dir.path + "user\nCLOCK 0\n");
}

TEST_F(Console, ResetEndsTheProgramWhenNoOtherDirectoryExists) {
  const test::ConsoleRun run = runConsole(program, " Rnnq");
  EXPECT_EQ(run.status, 0);
  EXPECT_GE(findScreen(run, "Press any key to exit."), 0);
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
  const auto& page4 = run.screens[static_cast<std::size_t>(last + 1)];
  EXPECT_EQ(rowOf(page4, 2), "entry 060");
  EXPECT_EQ(run.screens[static_cast<std::size_t>(last + 2)], page5);
  // d on the last page ends the show with the Enter pause.
  EXPECT_EQ(rowOf(run.screens[static_cast<std::size_t>(last + 3)], 23), "Press <Enter> to return to KAV Procedures");
}

TEST_F(Console, IntroductionSaysWhereTheDocumentIsOrShouldBe) {
  test::ConsoleRun run = runConsole(program, " I\rX");
  int shown = findScreen(run, "FILE KAV_INFO.PDF NOT FOUND!");
  ASSERT_GE(shown, 0);
  EXPECT_EQ(rowOf(run.screens[static_cast<std::size_t>(shown)], 7), "FILE KAV_INFO.PDF NOT FOUND!");
  EXPECT_EQ(rowOf(run.screens[static_cast<std::size_t>(shown)], 11), abbreviate(program.dir.path + "KAV_Info.PDF", 62));

  writeFile(program.dir.path + "KAV_Info.PDF", "%PDF-1.4\n");
  run = runConsole(program, " I\rX");
  shown = findScreen(run, "NO VIEWER AVAILABLE FOR KAV_INFO.PDF!");
  ASSERT_GE(shown, 0);
  EXPECT_EQ(rowOf(run.screens[static_cast<std::size_t>(shown)], 11), abbreviate(program.dir.path + "KAV_Info.PDF", 62));
}

// --- The session as a whole ------------------------------------------------------------------

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
  createA();
  EXPECT_EQ(runConsole(program, " T2A").status, 255);
  EXPECT_EQ(runConsole(program, " T2A\x1a" "\rB\r").status, 255);
  EXPECT_FALSE(exists(program.user("B.DES")));
}

} // namespace
} // namespace kav
