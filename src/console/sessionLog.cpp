#include "console/sessionLog.h"

#include <cstdio>

#include "model/safefile.h"
#include "model/session.h"
#include "model/userfiles.h"

namespace kav {

namespace {

// Copies `in` to `out` with the log's line breaking, one character at a
// time, as wrapLogText does for a string.
struct Wrapper {
  int indent;    // blanks before a continuation line
  int count = 0; // characters on the current line, the next one included

  template <typename Put>
  void feed(char c, Put put) {
    if (c == '\n') {
      count = 0;
      put(c);
      return;
    }
    if (++count >= LOG_WRAP_COLUMN) {
      put('\n');
      for (int k = 0; k < indent; ++k) put(' ');
      count = indent + 1;
    }
    put(c);
  }
};

} // namespace

std::string sessionLogPath() { return userPath(SESSION_LOG_NAME, SESSION_LOG_EXTENSION); }

std::string formatComputingTime(long long seconds) {
  if (seconds < 0) seconds = 0;
  const long long s = seconds % 60, m = seconds / 60 % 60, h = seconds / 3600 % 24, days = seconds / 86400;
  char text[64];
  if (days == 0) std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld", h, m, s);
  else std::snprintf(text, sizeof text, "%lld (days) %02lld:%02lld:%02lld", days, h, m, s);
  return text;
}

std::string wrapLogText(std::string_view text, int indent) {
  std::string out;
  Wrapper wrapper{indent};
  for (char c : text) wrapper.feed(c, [&out](char x) { out += x; });
  return out;
}

bool appendLogDirect(std::string_view entry) {
  std::FILE* log = openAppendStream(sessionLogPath());
  if (!log) return false;
  const bool written = std::fwrite(entry.data(), 1, entry.size(), log) == entry.size();
  return std::fclose(log) == 0 && written;
}

bool appendLogWrapped(std::string_view entry, int indent) {
  const std::string scratchPath = session.userDir + SCRATCH_FILE_NAME;
  std::FILE* scratch = openScratchStream(scratchPath);
  if (!scratch) return false;
  std::fwrite(entry.data(), 1, entry.size(), scratch);
  std::fflush(scratch);
  std::rewind(scratch);
  std::FILE* log = openAppendStream(sessionLogPath());
  if (!log) {
    std::fclose(scratch);
    return false;
  }
  Wrapper wrapper{indent};
  for (int c; (c = std::fgetc(scratch)) != EOF;)
    wrapper.feed(static_cast<char>(c), [log](char x) { std::fputc(x, log); });
  std::fclose(scratch);
  const bool closed = std::fclose(log) == 0;
  std::remove(scratchPath.c_str());
  return closed;
}

} // namespace kav
