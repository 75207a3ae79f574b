#include "console/consoleSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>


namespace kav::test {

namespace {

// The screen log's separator line.
const std::string SEPARATOR = "=====#=====\n";

std::vector<std::string> splitScreens(const std::string& log) {
  std::vector<std::string> screens;
  std::size_t start = 0;
  for (std::size_t end; (end = log.find(SEPARATOR, start)) != std::string::npos; start = end + SEPARATOR.size())
    screens.push_back(log.substr(start, end - start));
  return screens;
}

} // namespace

ConsoleRun runConsole(const ProgramDir& program, const std::string& keys, unsigned long long addressLimit) {
  const std::string script = program.dir.path + "script";
  const std::string log = program.dir.path + "screens";
  writeFile(script, keys);
  writeFile(log, "");
  ::setenv("KAV_SCREEN_LOG", log.c_str(), 1);
  ::unsetenv("DISPLAY");
  ::unsetenv("WAYLAND_DISPLAY");
  const RunResult r = runBinary(program.binary, {"-autotest", script}, program.dir.path, addressLimit);
  ::unsetenv("KAV_SCREEN_LOG");
  ConsoleRun run;
  run.status = r.status;
  run.output = r.output;
  run.screens = splitScreens(readFile(log));
  return run;
}

ConsoleRun expectDialogRun(const ProgramDir& program, const DialogRun& expected) {
  const ConsoleRun run = runConsole(program, " T" + expected.keys + "XX");
  EXPECT_EQ(run.status, 0) << run.output;
  // Each text on the screen of the one before or later; a text repeated
  // right after itself on a later screen.
  int at = 0;
  const std::string* previous = nullptr;
  for (const std::string& text : expected.shown) {
    const int from = previous && *previous == text ? at + 1 : at;
    const int found = findScreen(run, text, from);
    EXPECT_GE(found, 0) << "no screen from " << from << " on shows: " << text;
    at = found < 0 ? from : found;
    previous = &text;
  }
  for (const std::string& text : expected.absent) EXPECT_LT(findScreen(run, text), 0) << "shown: " << text;
  for (const auto& [file, content] : expected.files) EXPECT_EQ(program.describeFile(file), content) << file;
  EXPECT_EQ(program.sessionLog(), expected.log);
  for (const std::string& file : program.files()) {
    // Names no user typed: private files and folders, "$$$..." and "\xC2\xA7..." work files.
    EXPECT_FALSE(file[0] == '.' || file[0] == '$' || file.starts_with("\xC2\xA7") || file.starts_with("orva.") ||
                 file == "tmp.$$$")
        << file << " left behind";
  }
  return run;
}

int findScreen(const ConsoleRun& run, const std::string& text, int from) {
  for (int k = from < 0 ? 0 : from; k < static_cast<int>(run.screens.size()); ++k)
    if (run.screens[static_cast<std::size_t>(k)].find(text) != std::string::npos) return k;
  return -1;
}

std::string screenWith(const ConsoleRun& run, const std::string& text, int from) {
  const int k = findScreen(run, text, from);
  EXPECT_GE(k, 0) << "no screen shows: " << text;
  return k < 0 ? std::string() : run.screens[static_cast<std::size_t>(k)];
}

std::string rowOf(const std::string& screen, int row) {
  std::size_t start = 0;
  for (int r = 0; r < row; ++r) {
    start = screen.find('\n', start);
    if (start == std::string::npos) return {};
    ++start;
  }
  const std::size_t end = screen.find('\n', start);
  return screen.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

} // namespace kav::test
