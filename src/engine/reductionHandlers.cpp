// Supervisor reduction (Supreduce) and localization (Localize).

#include <cstdio>
#include <string>

#include "engine/handlers.h"
#include "model/desfile.h"
#include "model/userfiles.h"
#include "synthesis/localize.h"
#include "synthesis/supreduce.h"

namespace kav {

namespace {

// Localize names at most this many components and controllers.
constexpr long MAX_LOCALIZE_COMPONENTS = 20;

// The figures of a result that the computation wrote without holding it.
void addFiguresOfFile(const std::string& path, ProcedureOutcome& o) {
  DES des;
  std::int64_t init = 0;
  // A result that cannot be read back has no figures to give: it counts
  // as empty.
  if (loadDESFile(path, des, init) != LOAD_OK) freeDES(des);
  o.results.push_back(figuresOf(path, des, 0));
}

} // namespace

BatchOutcome handleSupreduce(ParamReader& params) {
  ProcedureRequest r;
  r.code = PROC_SUPREDUCE;
  std::string plant, supervisor, controlData, out;
  // The mode line keeps the parameter file's layout: the console always
  // writes 1, and there is only the one greedy reduction to select, so the
  // value is checked for range and otherwise unused.
  long mode;
  if (!readParamName(params, plant) || !readParamName(params, supervisor) || !readParamName(params, controlData) ||
      !readParamName(params, out) || !readParamNumber(params, mode, 0, 1) || !readParamNumber(params, r.number, 0, 1))
    return incomplete();
  r.inputs = {desPath(plant), desPath(supervisor), userPath(controlData, ".DAT")};
  r.outputs = {desPath(out)};
  ProcedureOutcome o;
  BatchOutcome result = performForBatch(r, o);
  if (o.code != RESULT_OK) return result;
  // "0", then the lower bound and the compression ratio on the next line.
  char line[64];
  std::snprintf(line, sizeof line, "%ld %f\n", static_cast<long>(o.lowerBound), static_cast<double>(o.ratio));
  result.extra = line;
  return result;
}

void runSupreduce(const ProcedureRequest& r, ProcedureOutcome& o) {
  const bool computeBound = r.number == 1;
  const int code =
      supreduceFiles(r.inputs[0], r.inputs[1], r.inputs[2], r.outputs[0], computeBound, o.lowerBound, o.ratio);
  switch (code) {
  case REDUCE_OK:
    if (r.figuresWanted) addFiguresOfFile(r.outputs[0], o);
    return;
  case REDUCE_EMPTY_INPUT:
    o.lowerBound = 0;
    o.ratio = 0.0f;
    saveTo(r, 0, DES{}, 0, o);
    return;
  case REDUCE_NOTHING_TO_REDUCE: {
    // One state with at most one transition: DES2 is its own reduction.
    DES des;
    std::int64_t init = 0;
    if (loadDESFile(r.inputs[1], des, init) != LOAD_OK) return (void)fail(o, RESULT_REDUCTION_FAILED, r.inputs[1]);
    if (!saveTo(r, 0, des, 0, o)) return;
    o.lowerBound = computeBound ? des.size() : 0;
    o.ratio = 1.0f;
    return;
  }
  case REDUCE_TOO_LARGE: return (void)fail(o, RESULT_OUT_OF_MEMORY);
  default:
    // The reduction's own code says which file was at fault.
    o.detail = code;
    return (void)fail(o, RESULT_REDUCTION_FAILED);
  }
}

BatchOutcome handleLocalize(ParamReader& params) {
  ProcedureRequest r;
  r.code = PROC_LOCALIZE;
  r.number = 1;
  LocalizeRequest names;
  long n, m;
  if (!readParamName(params, names.plant) || !readParamName(params, names.supervisor) ||
      !readParamNumber(params, n, 1, MAX_LOCALIZE_COMPONENTS))
    return incomplete();
  names.components.resize(static_cast<std::size_t>(n));
  for (std::string& name : names.components)
    if (!readParamName(params, name)) return incomplete();
  if (!readParamNumber(params, m, 0, n)) return incomplete();
  names.controllers.resize(static_cast<std::size_t>(m));
  for (std::size_t k = 0; k < names.controllers.size(); ++k)
    if (!readParamName(params, names.controllers[k]) || isControllerNameTaken(names, k, names.controllers[k]))
      return incomplete();
  r.inputs = {desPath(names.plant), desPath(names.supervisor)};
  for (const std::string& name : names.components) r.inputs.push_back(desPath(name));
  for (const std::string& name : names.controllers) r.outputs.push_back(desPath(name));
  return performForBatch(r);
}

void runLocalize(const ProcedureRequest& r, ProcedureOutcome& o) {
  if (r.inputs.size() < 3 || r.outputs.size() > r.inputs.size() - 2) return (void)fail(o, RESULT_INCOMPLETE_PARAMETERS);
  LocalizeRequest request;
  request.plant = r.inputs[0];
  request.supervisor = r.inputs[1];
  request.components.assign(r.inputs.begin() + 2, r.inputs.end());
  request.controllers = r.outputs;
  request.skipCleanUp = r.number != 1;
  std::vector<std::int64_t> sizes;
  // A localization that fails without running out of memory leaves no
  // result: the parent sees a child that answered nothing.
  const int status = localize(request, sizes, {}, [](const std::string& path) { return path; });
  if (status == LOCALIZE_WRITE_FAILED) return (void)fail(o, RESULT_WRITE_FAILED);
  if (status != LOCALIZE_OK) return (void)fail(o, RESULT_NO_RESULT);
  if (r.figuresWanted)
    for (const std::string& path : r.outputs) addFiguresOfFile(path, o);
}

} // namespace kav
