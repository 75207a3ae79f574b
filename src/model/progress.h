#pragma once

// Progress lines of long computations ("B_REACH: %ld", "SHAVE1 %ld %ld").
// Operations never print: they hand the text to the hook installed by the
// process, which shows it (the batch child on the bottom console row, the
// command line on standard error). Nothing is formatted unless progress is
// enabled: a hook installed, and debug mode on unless the hook was
// installed to show reports always.

#include <cstdio>

namespace kav {

using ProgressHook = void (*)(const char* text);

void setProgressHook(ProgressHook hook, bool always = false);
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
