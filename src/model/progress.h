#pragma once

// Progress lines of long computations ("B_REACH: %ld", "SHAVE1 %ld %ld").
// Operations never print: they hand the text to the hook installed by the
// process, which shows it on the bottom console row. Nothing is formatted
// unless progress is enabled (debug mode with a hook installed).

#include <cstdio>

namespace kav {

using ProgressHook = void (*)(const char* text);

void setProgressHook(ProgressHook hook);
bool progressEnabled();
void reportProgress(const char* text);

// Formats and reports only when progress is enabled.
template <typename... Args>
void reportProgressf(const char* format, Args... args) {
  if (!progressEnabled()) return;
  char line[128];
  std::snprintf(line, sizeof line, format, args...);
  reportProgress(line);
}

} // namespace kav
