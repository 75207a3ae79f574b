#pragma once

// The batch child: reads orva.prm, runs the handler of its procedure code
// and leaves the result code in orva.rst.

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/params.h"
#include "engine/protocol.h"
#include "model/des.h"

namespace kav {

// What a handler hands back to the dispatcher.
struct BatchOutcome {
  int code = RESULT_OK;
  std::string extra;       // written after the code line, verbatim
  bool writeResult = true; // false: end without orva.rst (the parent sees -3, or -2 after a nonzero exitStatus)
  int exitStatus = 0;      // exit status of the child when writeResult is false, else unused (0)
};

using BatchHandler = BatchOutcome (*)(ParamReader& params);

// The handler of each procedure code; null for a code without one, which
// the dispatcher answers with result 0 and no output.
extern const BatchHandler batchHandlers[PROCEDURE_COUNT];

// Runs the child's whole job: orva.prm -> handler -> orva.rst. The
// parameter file is deleted once read. Out of memory anywhere gives
// result 3. Returns the process exit status: 0, or the handler's
// exitStatus when it ends without a result.
int runBatch();

// Reads lines 1 to 3 (debug flag, minimizer selector, code) and runs the
// handler of the code. A code without a handler answers RESULT_OK.
BatchOutcome runParameters(ParamReader& params);

// --- The pieces every handler is built from -------------------------------

inline BatchOutcome outcome(int code) { return BatchOutcome{code, {}, true}; }
inline BatchOutcome incomplete() { return outcome(RESULT_INCOMPLETE_PARAMETERS); }

// Saves a result: RESULT_TOO_MANY_TRANSITIONS when an operation hit the
// per-state limit on the way, RESULT_WRITE_FAILED when the file could not
// be written, else RESULT_OK.
[[nodiscard]] int saveOutput(std::string_view name, const DES& des, std::int64_t init);

// Ends the child without a result: prints message on the console and
// answers writeResult false with exit status 1, so the parent sees a
// failed child.
BatchOutcome endWithoutResult(const char* message);

// Shows a progress line on the console's bottom row (the child's hook).
void showProgressLine(const char* text);

} // namespace kav
