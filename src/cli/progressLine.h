#pragma once

// The progress of a long command on standard error: one line redrawn in
// place ("kav supcon: SHAVE1 1200 45000  3.2 s"), at most ten times a
// second, cleared when the command ends. Only when standard error is a
// terminal and the command was not asked to be quiet: pipes and logs get
// nothing.

#include <string>

namespace kav {

// Starts showing the progress reports of the computations (the hook of
// model/progress.h) for `command`, when `wanted` and standard error is a
// terminal; each followed by the time since this call unless `timed` is
// false (for reports that carry their own).
void beginProgressLine(const std::string& command, bool wanted, bool timed = true);
// Clears the line (if one was drawn) and stops showing reports.
void endProgressLine();

} // namespace kav
