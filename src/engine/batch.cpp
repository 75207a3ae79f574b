#include "engine/batch.h"

#include <unistd.h>

#include <climits>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <new>

#include "model/desfile.h"
#include "model/memory.h"
#include "model/progress.h"
#include "model/session.h"
#include "model/userfiles.h"

namespace kav {

namespace {

bool readParameterFile(std::string& text) {
  std::ifstream in(protocolPath(PARAMETER_FILE), std::ios::binary);
  if (!in) return false;
  text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return true;
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
  transitionLimitExceeded = false;
  BatchOutcome result = batchHandlers[code](params);
  if (result.code == RESULT_OK && transitionLimitExceeded) return outcome(RESULT_TOO_MANY_TRANSITIONS);
  return result;
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
  installBatchMemoryPolicy(protocolPath(RESULT_FILE));
  setProgressHook(showProgressLine);
  ParamReader params;
  if (!readParameterFile(params.text)) {
    writeResultFile(RESULT_NO_PARAMETERS);
    return 0;
  }
  std::remove(protocolPath(PARAMETER_FILE).c_str());
  BatchOutcome result;
  try {
    result = runParameters(params);
  } catch (const std::bad_alloc&) {
    result = outcome(RESULT_OUT_OF_MEMORY);
  }
  if (result.writeResult) writeResultFile(result.code, result.extra);
  return result.writeResult ? 0 : result.exitStatus;
}

int saveOutput(std::string_view name, const DES& des, std::int64_t init) {
  if (transitionLimitExceeded) return RESULT_TOO_MANY_TRANSITIONS;
  if (saveDES(name, des, init) != SAVE_OK) {
    if (session.debugMode)
      std::printf("Could not create file: %s\n", userPath(name, init == -1 ? ".DAT" : ".DES").c_str());
    return RESULT_WRITE_FAILED;
  }
  return RESULT_OK;
}

} // namespace kav
