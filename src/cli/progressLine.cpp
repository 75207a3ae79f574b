#include "cli/progressLine.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>

#include "cli/staging.h"
#include "model/progress.h"

namespace kav {

namespace {

using Clock = std::chrono::steady_clock;

// Redraws are at least this far apart.
constexpr auto MIN_REDRAW_SPACING = std::chrono::milliseconds(100);
// The line stays within a narrow terminal.
constexpr int LINE_WIDTH = 79;

std::string shownCommand;
Clock::time_point started, lastDrawn;
bool drawn = false;
bool withTime = true;

void showReport(const char* text) {
  const Clock::time_point now = Clock::now();
  if (drawn && now - lastDrawn < MIN_REDRAW_SPACING) return;
  lastDrawn = now;
  const double seconds = std::chrono::duration<double>(now - started).count();
  char line[LINE_WIDTH + 1];
  if (withTime) std::snprintf(line, sizeof line, "kav %s: %s  %.1f s", shownCommand.c_str(), text, seconds);
  else std::snprintf(line, sizeof line, "kav %s: %s", shownCommand.c_str(), text);
  std::fprintf(stderr, "\r\x1b[K%s", line);
  std::fflush(stderr);
  drawn = true;
  setProgressLineShown(true);
}

} // namespace

void beginProgressLine(const std::string& command, bool wanted, bool timed) {
  drawn = false;
  withTime = timed;
  if (!wanted || !::isatty(2)) return;
  shownCommand = command;
  started = Clock::now();
  setProgressHook(showReport, true);
}

void endProgressLine() {
  setProgressHook(nullptr);
  if (drawn) {
    std::fputs("\r\x1b[K", stderr);
    std::fflush(stderr);
  }
  drawn = false;
  setProgressLineShown(false);
}

} // namespace kav
