#pragma once

// orva.prm: three number lines (debug flag, minimizer selector, procedure
// code), then the procedure's own lines: names one per line, number lines,
// and at the end lists of integers read up to -1 or to the end of the file.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/child.h"
#include "model/sortedlists.h"

namespace kav {

// The child's view of a parameter file, read whole into memory.
struct ParamReader {
  std::string text;    // the file's content
  std::size_t pos = 0; // next unread byte
};

// A name line without its line end ("\n" or "\r\n"), leading blanks kept
// (userPath removes up to two). False at the end of the file or when the
// name could not be a file of the user directory (isValidFileName of the
// name without those blanks).
[[nodiscard]] bool readParamName(ParamReader& in, std::string& name);
// A line holding one integer in lo..hi. False when missing or not such.
[[nodiscard]] bool readParamNumber(ParamReader& in, long& value, long lo, long hi);

enum TokenStatus { TOKEN_OK, TOKEN_END, TOKEN_BAD };
// The next whitespace-separated integer of a list.
[[nodiscard]] TokenStatus readParamToken(ParamReader& in, long& value);

// Event labels 0..1000 up to the end of the file, collected into an
// ascending set. False on a label out of range or a token that is not a
// number.
[[nodiscard]] bool readEventsUntilEnd(ParamReader& in, EventList& events);
// The same, ended by -1 (or by the end of the file).
[[nodiscard]] bool readEventsUntilMinusOne(ParamReader& in, EventList& events);

// The parent's side: the procedure's lines after line 3.
struct ParameterLines {
  std::string text;
};
void addName(ParameterLines& lines, std::string_view name);
void addNumber(ParameterLines& lines, long value);
void addPair(ParameterLines& lines, long a, long b);
// One number line per label.
void addLabels(ParameterLines& lines, const EventList& labels);

// Writes orva.prm (debug flag, minimizer selector, code, lines) and runs
// the batch child (runChild with `reader`). Returns the child's result
// code, or RESULT_NO_PARAMETER_FILE when orva.prm cannot be created (no
// child is started). The console runs procedures through its own
// runProcedure, which adds the waiting message and Escape.
[[nodiscard]] int runBatchProcedure(int code, const ParameterLines& lines, const ResultReader& reader = {});

} // namespace kav
