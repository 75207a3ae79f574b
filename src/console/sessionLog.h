#pragma once

// The session log MAKEIT.TXT in the user directory: one entry per completed
// procedure, each ended by an empty line, appended and never shortened.
//
// Entries that hold lists (events, pairs, several names) can be long; they
// are written whole to the scratch file "tmp.$$$" in the user directory
// (the working directory may not be writable) and copied into the log with
// their lines broken before column 75, continuation lines indented so that
// they line up under the first character after " = ".

#include <string>
#include <string_view>

namespace kav {

inline constexpr const char* SESSION_LOG_NAME = "MAKEIT";
inline constexpr const char* SESSION_LOG_EXTENSION = ".TXT";
inline constexpr const char* SCRATCH_FILE_NAME = "tmp.$$$";
// A character that would be the 75th of a log line starts a new line.
inline constexpr int LOG_WRAP_COLUMN = 75;

// The path of MAKEIT.TXT in the user directory.
std::string sessionLogPath();

// "%02d:%02d:%02d" (hours, minutes, seconds), or "%d (days) %02d:%02d:%02d"
// from one day on. Negative spans count as 0.
std::string formatComputingTime(long long seconds);

// The wrapping of the copy from the scratch file: a newline restarts the
// count; a character that would be the 75th on its line is preceded by a
// newline and `indent` blanks, and the count goes on from indent + 1.
std::string wrapLogText(std::string_view text, int indent);

// Appends an entry unchanged. False when the log cannot be opened (the
// entry is then lost, and nothing else happens).
bool appendLogDirect(std::string_view entry);

// Writes the entry to the scratch file, copies it into the log through
// wrapLogText and deletes the scratch file. False when either file cannot
// be opened; the scratch file stays when only the log could not be opened.
bool appendLogWrapped(std::string_view entry, int indent);

} // namespace kav
