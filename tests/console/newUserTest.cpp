// What a new user meets in the console, through "kav -autotest" scripts and
// their screen logs: terminals of 24 rows and smaller ones, refusals that
// say why, the size of what a procedure saved, and the user directory.

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "console/consoleSupport.h"
#include "console/screen.h"

namespace kav {
namespace {

using namespace test;

std::vector<std::string> rowsOf(const std::string& screen) {
  std::vector<std::string> rows;
  std::istringstream in(screen);
  for (std::string row; std::getline(in, row);) rows.push_back(row);
  return rows;
}

// runConsole as a terminal of `lines` x 80 would show it.
test::ConsoleRun runSized(const test::ProgramDir& program, const std::string& keys, const char* lines) {
  ::setenv("LINES", lines, 1);
  test::ConsoleRun run = runConsole(program, keys);
  ::unsetenv("LINES");
  return run;
}

TEST(TerminalView, LeavesOutOneBlankRowNeverTheCursorsAndKeepsTheRest) {
  struct Case {
    int firstFilled, lastFilled, cursorRow, folded;
  };
  const Case cases[] = {{0, 23, 5, 24}, {0, 24, 0, 1}, {0, 24, 3, 0}, {3, 24, 1, 0}, {0, 23, 24, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.firstFilled << ".." << c.lastFilled << " cursor " << c.cursorRow);
    clearScreen();
    for (int r = c.firstFilled; r <= c.lastFilled; ++r, writeFormat("row %d", r - 1)) gotoXY(1, r + 1);
    gotoXY(1, c.cursorRow + 1);
    EXPECT_EQ(foldedRow(24), c.folded);
    std::vector<std::string> expected = rowsOf(screenText());
    expected.erase(expected.begin() + c.folded);
    EXPECT_EQ(terminalView(24, 80), expected);
  }
}

class NewUser : public ::testing::Test {
protected:
  test::ProgramDir program;
  void SetUp() override {
    program.save("A.DES", makeDES(2, {{0, 1, 1}, {1, 2, 0}}, {1}));
    program.save("MACH1.DES", makeDES(2, {{0, 11, 1}, {1, 10, 0}}, {0}));
    program.save("MACH2.DES", makeDES(2, {{0, 21, 1}, {1, 20, 0}}, {0}));
    program.save("BUFSPEC.DES", makeDES(2, {{0, 10, 1}, {0, 11, 0}, {0, 20, 0}, {1, 21, 0}, {1, 11, 1}, {1, 20, 1}}, {0}));
  }
};

TEST_F(NewUser, TwentyFourRowsShowEveryPromptAndStatusRowOfAFactory) {
  const std::string keys = " T32\rMACH1\rMACH2\rFACT\r\r5FACT\rBUFSPEC\rSUPER\r\rXX";
  const test::ConsoleRun tall = runConsole(program, keys);
  EXPECT_EQ(tall.status, 0) << tall.output;
  for (const char* made : {"FACT.DES", "SUPER.DES", "MAKEIT.TXT"}) std::remove(program.user(made).c_str());
  const test::ConsoleRun shortRun = runSized(program, keys, "24");
  ASSERT_EQ(shortRun.screens.size(), tall.screens.size());
  // Each 24-row screen is the 25-row one less a blank row.
  for (std::size_t k = 0; k < tall.screens.size(); ++k) {
    const std::vector<std::string> full = rowsOf(tall.screens[k]), shown = rowsOf(shortRun.screens[k]);
    ASSERT_EQ(shown.size(), 24u);
    std::size_t r = 0;
    while (r < shown.size() && full[r] == shown[r]) ++r;
    EXPECT_EQ(full[r], "") << tall.screens[k];
    EXPECT_TRUE(std::equal(shown.begin() + static_cast<long>(r), shown.end(), full.begin() + static_cast<long>(r) + 1));
  }
  // The size of what Sync and Supcon made, on status row 22.
  EXPECT_GE(findScreen(tall, "\nFACT: 4 states, 8 transitions\nPress <Enter>"), 0);
  EXPECT_GE(findScreen(shortRun, "\nSUPER: 6 states, 8 transitions\nPress <Enter>"), 0);
}

TEST_F(NewUser, ATooSmallTerminalIsAskedToGrowAndQuitsOnEscapeQOrCtrlC) {
  for (const char* keys : {" x\x1b", " xq", " x\x03"}) {
    const test::ConsoleRun run = runSized(program, keys, "20");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.output, "KAV ended: the terminal was smaller than 80 x 24 characters.\n");
    ASSERT_EQ(run.screens.size(), 3u); // the x changes nothing
    for (const std::string& screen : run.screens) EXPECT_EQ(screen.rfind("KAV needs a terminal", 0), 0u) << screen;
  }
}

TEST_F(NewUser, RefusalsSayWhyAndScreensShowWhatTheyAreAbout) {
  program.save("BIG.DES", allocStates(2001));
  program.save("COPY.DES", makeDES(2, {{0, 1, 1}, {1, 2, 0}}, {1}));
  // text stands on the last screen: on that row, or anywhere for row -1.
  struct Case { const char* keys; const char* text; int row; };
  const Case cases[] = {
      {" T31\r", "1 is refused: enter a number from 2 to 20.", 22},
      {" T01\rB\r2\r5\r", "5 is refused: states are 0 to 1 (* for all, -1 to end).", 22},
      {" T01\rB\r2\r-1\r-1\r0\r1000\r", "1000 is refused: labels are 0 to 999: use e for the silent event.", 22},
      {" T1\rA\rn1e\r", "1e is refused: labels are 0 to 999 (e for the silent event, -1 to end).", 22},
      {" TP0A\rB\rq", "Please answer n (NULL), i (IMAGE) or d (IMAGE_DES).", 22},
      {" TP0A\rB\rq", "Enter either", 7},
      {" TSXA.DES\r", "This is a DES file.  Use show DES command.", 22},
      {" TEA\rn\r", "Current transitions: [0,1,1] [1,2,0]", -1},
      {" TCEBIG\r\r\r", "BIG has 2001 states: dot may take very long and cannot lay out", -1},
      {" TPEA\r", "Print with lpr?  (*y/n)", -1},
      {" TFEA\rTAP\r\rSXAP.PDS\r", "AP.PDS     ", 0},
      {" TIA\rCOPY\r", "A and COPY are isomorphic, under state correspondence   IDENTITY", -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.keys);
    const test::ConsoleRun run = runConsole(program, c.keys);
    ASSERT_FALSE(run.screens.empty());
    if (c.row < 0) EXPECT_NE(run.screens.back().find(c.text), std::string::npos) << run.screens.back();
    else EXPECT_EQ(rowOf(run.screens.back(), c.row).substr(0, std::string(c.text).size()), c.text);
  }
  // 1000 is not taken as 100: the list holds what was typed after Backspace.
  std::remove(program.user("MAKEIT.TXT").c_str());
  EXPECT_EQ(runConsole(program, " T1\rA\rn1000\r\b\b\b\b5\r-1\r\rXX").status, 0);
  EXPECT_EQ(program.sessionLog(), "A = Selfloop(A,[5])  (2,4)\n\n");
}

TEST_F(NewUser, AMissingUserDirectoryIsOfferedAtTheStartAndHeldOnceMade) {
  std::filesystem::remove_all(program.userDir);
  test::ConsoleRun run = runConsole(program, " nTX");
  EXPECT_EQ(findScreen(run, "USER DIRECTORY NOT FOUND!"), 1);
  EXPECT_GE(findScreen(run, "Number files: DIRECTORY NOT SET!"), 0);
  EXPECT_FALSE(test::exists(program.userDir));

  // A session that made the directory holds it: a second one is refused.
  std::FILE* first =
      ::popen(("cd '" + program.dir.path + "' && ./kav -autotest /dev/stdin > /dev/null 2>&1").c_str(), "w");
  std::fputs(" y", first);
  std::fflush(first);
  for (int k = 0; k < 200 && !test::exists(program.userDir); ++k) ::usleep(10000);
  ::usleep(100000);
  run = runConsole(program, " X");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.output.find("is in use by another KAV session"), std::string::npos) << run.output;
  std::fputs("X", first);
  EXPECT_EQ(::pclose(first), 0);
}

TEST_F(NewUser, ResetTakesAPathLongerThanTheRowAndAPipeIsNoTerminal) {
  const std::string path = program.dir.path + std::string(100, 'd');
  ::mkdir(path.c_str(), 0755);
  const test::ConsoleRun run = runConsole(program, " RnY" + path + "\rX");
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_EQ(test::readFile(program.dir.path + "orva.ini"), path + "\nCLOCK 0\n");
  EXPECT_GE(findScreen(run, "Enter path for new user directory:  ..." + path.substr(path.size() - 40)), 0);

  // Without a terminal: one line, and nothing drawn.
  const test::RunResult piped = test::runBinary(program.binary, {}, program.dir.path);
  EXPECT_EQ(piped.status, 1);
  EXPECT_TRUE(piped.output.rfind("kav: ", 0) == 0 && piped.output.find('\n') + 1 == piped.output.size()) << piped.output;
}

} // namespace
} // namespace kav
