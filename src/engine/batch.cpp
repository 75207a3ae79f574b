#include "engine/batch.h"

#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <new>

#include "model/desfile.h"
#include "model/memory.h"
#include "model/progress.h"
#include "model/safefile.h"
#include "model/session.h"
#include "model/userfiles.h"

namespace kav {

namespace {

// The child runs for a caller that waits for orva.rst; one that cannot be
// written is said on the console (orva.err, or the terminal of a script).
int reportUnwritable(const std::string& path, const char* what) {
  std::fprintf(stderr, "kav: %s: %s\n", path.c_str(), what);
  return 1;
}

} // namespace

BatchOutcome runParameters(ParamReader& params) {
  long debug, selector, code;
  if (!readParamNumber(params, debug, LONG_MIN, LONG_MAX) || !readParamNumber(params, selector, LONG_MIN, LONG_MAX) ||
      !readParamNumber(params, code, LONG_MIN, LONG_MAX))
    return outcome(RESULT_INCOMPLETE_PARAMETERS);
  session.debugMode = debug != 0;
  session.minimizerSelector = selector != 0 ? 1 : 0;
  if (code < 0 || code >= PROCEDURE_COUNT || !batchHandlers[code]) return outcome(RESULT_OK);
  return batchHandlers[code](params);
}

BatchOutcome endWithoutResult(const char* message) {
  std::fputs(message, stdout);
  std::fflush(stdout);
  BatchOutcome result;
  result.writeResult = false;
  result.exitStatus = 1;
  return result;
}

void showProgressLine(const char* text) {
  // Row 23 of the 80 x 25 screen, cleared to its end first; a child whose
  // output is not a terminal writes plain lines.
  if (::isatty(1)) std::printf("\x1b[24;1H\x1b[2K%s", text);
  else std::printf("%s\n", text);
  std::fflush(stdout);
}

int runBatch() {
  const std::string resultPath = protocolPath(RESULT_FILE);
  const std::string parameterPath = protocolPath(PARAMETER_FILE);
  // An orva.rst of an earlier run must never pass for this one's, also
  // when this run leaves none.
  ::unlink(resultPath.c_str());
  installBatchMemoryPolicy(resultPath);
  setProgressHook(showProgressLine);
  ParamReader params;
  BatchOutcome result;
  // A FIFO or a directory named orva.prm is no readable orva.prm.
  if (readWholeFile(parameterPath, params.text) != OPEN_OK) {
    result = outcome(RESULT_NO_PARAMETERS);
  } else if (::unlink(parameterPath.c_str()) != 0 && errno != ENOENT) {
    // A directory where orva.prm cannot be removed takes no result and no
    // output either; running would only leave orva.prm for a later run.
    return reportUnwritable(parameterPath, "cannot be removed: the user directory is not writable");
  } else {
    try {
      result = runParameters(params);
    } catch (const std::bad_alloc&) {
      result = outcome(RESULT_OUT_OF_MEMORY);
    }
  }
  if (!result.writeResult) return result.exitStatus;
  if (!writeResultFile(result.code, result.extra)) return reportUnwritable(resultPath, "cannot be written");
  return 0;
}

int saveOutput(std::string_view name, const DES& des, std::int64_t init) {
  if (saveDES(name, des, init) != SAVE_OK) {
    if (session.debugMode)
      std::printf("Could not create file: %s\n", userPath(name, init == -1 ? ".DAT" : ".DES").c_str());
    return RESULT_WRITE_FAILED;
  }
  return RESULT_OK;
}

} // namespace kav
