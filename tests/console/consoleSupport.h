#pragma once

// Running the interactive console as a process: a script of keys in, the
// exit status, the screens it showed (KAV_SCREEN_LOG) and the files it left
// out.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/testSupport.h"

namespace kav::test {

inline constexpr const char* ESC = "\x1b";

struct ConsoleRun {
  int status = -1;
  std::string output;               // standard output and error
  std::vector<std::string> screens; // each 25 rows joined by '\n', trailing blanks cut
};

// Runs "kav -autotest SCRIPT" in the program directory with the screen log
// on and no desktop session. The keys should start with the one that
// leaves the start-up picture.
ConsoleRun runConsole(const ProgramDir& program, const std::string& keys, unsigned long long addressLimit = 0);

// One console run and what it should leave: screens showing `shown` in
// this order, none showing any of `absent`, user files as describeFile()
// says ("unreadable" for none) and the session log.
struct DialogRun {
  std::string keys; // after the key that leaves the start-up picture, before the closing XX
  std::vector<std::string> shown;
  std::vector<std::string> absent;
  std::vector<std::pair<std::string, std::string>> files;
  std::string log;
};
// Runs " T" + keys + "XX" and checks all of it, and that no scratch,
// protocol or private file is left behind; answers the run.
ConsoleRun expectDialogRun(const ProgramDir& program, const DialogRun& expected);

// A row of a dialog table: the inputs it needs, then the run.
struct DialogCase {
  void (*setup)(const ProgramDir&);
  DialogRun run;
};
// Instantiated with a table of rows by each dialog group's tests.
class Dialog : public ::testing::TestWithParam<DialogCase> {};

// Index of the first screen at or after `from` that contains `text`, or -1.
int findScreen(const ConsoleRun& run, const std::string& text, int from = 0);
// The first screen at or after `from` that shows `text`; a test failure
// and "" when there is none.
std::string screenWith(const ConsoleRun& run, const std::string& text, int from = 0);
// Row `row` (0..24) of a screen.
std::string rowOf(const std::string& screen, int row);

} // namespace kav::test
