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

// Runs the child's whole job: orva.prm -> handler -> orva.rst. Any
// orva.rst is deleted first, so a run that leaves none never seems to
// answer an older code; the parameter file is deleted once read (and
// nothing is run when it cannot be). Out of memory anywhere gives result
// 3. Returns the process exit status: 0; the handler's exitStatus when it
// ends without a result; 1, said on stderr, when orva.rst cannot be
// written or orva.prm cannot be removed.
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
