// Handlers of supervisor reduction (Supreduce) and localization (Localize).

#include <cstdio>
#include <string>

#include "engine/handlers.h"
#include "model/desfile.h"
#include "model/userfiles.h"
#include "synthesis/localize.h"
#include "synthesis/supreduce.h"

namespace kav {

namespace {

// Supreduce's answers beyond success, out of memory and incomplete
// parameters: any failure of the reduction itself, and the code kept for
// the recursion guard of a recursive walk (the walks here are iterative).
constexpr int RESULT_REDUCTION_FAILED = 4;
constexpr int RESULT_RECURSION_GUARD = 100;

// Localize names at most this many components and controllers.
constexpr long MAX_LOCALIZE_COMPONENTS = 20;

// "0", then the lower bound and the compression ratio on the next line.
BatchOutcome withFigures(std::int64_t bound, float ratio) {
  BatchOutcome result = outcome(RESULT_OK);
  char line[64];
  std::snprintf(line, sizeof line, "%ld %f\n", static_cast<long>(bound), static_cast<double>(ratio));
  result.extra = line;
  return result;
}

} // namespace

BatchOutcome handleSupreduce(ParamReader& params) {
  std::string plant, supervisor, controlData, out;
  long mode, slbFlag;
  if (!readParamName(params, plant) || !readParamName(params, supervisor) || !readParamName(params, controlData) ||
      !readParamName(params, out) || !readParamNumber(params, mode, 0, 1) || !readParamNumber(params, slbFlag, 0, 1))
    return incomplete();
  std::int64_t bound = 0;
  float ratio = 0.0f;
  const int code = supreduceFiles(userPath(plant, ".DES"), userPath(supervisor, ".DES"), userPath(controlData, ".DAT"),
                                  userPath(out, ".DES"), slbFlag == 1, bound, ratio);
  switch (code) {
  case REDUCE_OK: return withFigures(bound, ratio);
  case REDUCE_EMPTY_INPUT:
    if (int rc = saveOutput(out, DES{}, 0)) return outcome(rc);
    return withFigures(0, 0.0f);
  case REDUCE_NOTHING_TO_REDUCE: {
    // One state with at most one transition: DES2 is its own reduction.
    DES des;
    std::int64_t init = 0;
    if (loadDES(supervisor, init, des) != LOAD_OK) return outcome(RESULT_REDUCTION_FAILED);
    if (int rc = saveOutput(out, des, 0)) return outcome(rc);
    return withFigures(slbFlag == 1 ? des.size() : 0, 1.0f);
  }
  case REDUCE_TOO_LARGE: return outcome(RESULT_OUT_OF_MEMORY);
  case REDUCE_RECURSION_GUARD: return outcome(RESULT_RECURSION_GUARD);
  default: return outcome(RESULT_REDUCTION_FAILED);
  }
}

BatchOutcome handleLocalize(ParamReader& params) {
  LocalizeRequest request;
  long n, m;
  if (!readParamName(params, request.plant) || !readParamName(params, request.supervisor) ||
      !readParamNumber(params, n, 1, MAX_LOCALIZE_COMPONENTS))
    return incomplete();
  request.components.resize(static_cast<std::size_t>(n));
  for (std::string& name : request.components)
    if (!readParamName(params, name)) return incomplete();
  if (!readParamNumber(params, m, 0, n)) return incomplete();
  request.controllers.resize(static_cast<std::size_t>(m));
  for (std::size_t k = 0; k < request.controllers.size(); ++k)
    if (!readParamName(params, request.controllers[k]) ||
        isControllerNameTaken(request, k, request.controllers[k]))
      return incomplete();
  std::vector<std::int64_t> sizes;
  const int status = localize(request, sizes);
  if (status == LOCALIZE_OK) return outcome(RESULT_OK);
  if (status == LOCALIZE_WRITE_FAILED) return outcome(RESULT_WRITE_FAILED);
  // A localization that fails without running out of memory leaves no
  // result: the parent sees a child that answered nothing.
  BatchOutcome silent;
  silent.writeResult = false;
  return silent;
}

} // namespace kav
