// The product procedures (Sync, Meet) and the procedures built on products
// and partitions (Supcon, Condat, Minstate).

#include <string>
#include <vector>

#include "engine/handlers.h"
#include "ops/condat.h"
#include "ops/minimize.h"
#include "ops/product.h"
#include "ops/supcon.h"
#include "ops/trim.h"

namespace kav {

namespace {

// Sync and Meet combine 1 to 20 DES (one copies its input; the dialogs ask
// for 2 to 20, other procedures run a single component).
constexpr long MAX_COMPONENTS = 20;

// "out name; k; k names".
bool readComponents(ParamReader& params, ProcedureRequest& r) {
  std::string out;
  long k;
  if (!readParamName(params, out) || !readParamNumber(params, k, 1, MAX_COMPONENTS)) return false;
  r.outputs = {desPath(out)};
  for (long i = 0; i < k; ++i) {
    std::string name;
    if (!readParamName(params, name)) return false;
    r.inputs.push_back(desPath(name));
  }
  return true;
}

// "DES1; DES2; out".
bool readTwoInOneOut(ParamReader& params, ProcedureRequest& r, const char* outExtension = ".DES") {
  std::string name1, name2, out;
  if (!readParamName(params, name1) || !readParamName(params, name2) || !readParamName(params, out)) return false;
  r.inputs = {desPath(name1), desPath(name2)};
  r.outputs = {userPath(out, outExtension)};
  return true;
}

BatchOutcome handleWith(ParamReader& params, int code, bool (*read)(ParamReader&, ProcedureRequest&)) {
  ProcedureRequest r;
  r.code = code;
  if (!read(params, r)) return incomplete();
  return performForBatch(r);
}

bool readTwoDES(ParamReader& params, ProcedureRequest& r) { return readTwoInOneOut(params, r); }
bool readTwoDAT(ParamReader& params, ProcedureRequest& r) { return readTwoInOneOut(params, r, ".DAT"); }

bool checkComponentCount(const ProcedureRequest& r, ProcedureOutcome& o) {
  const auto k = static_cast<long>(r.inputs.size());
  return k >= 1 && k <= MAX_COMPONENTS ? true : fail(o, RESULT_INCOMPLETE_PARAMETERS);
}

} // namespace

BatchOutcome handleSync(ParamReader& params) { return handleWith(params, PROC_SYNC, readComponents); }

void runSync(const ProcedureRequest& r, ProcedureOutcome& o) {
  if (!checkComponentCount(r, o)) return;
  // Every label of every component, so that a label one component lacks
  // is free for it whichever step brings the label in.
  EventList labels;
  for (const std::string& path : r.inputs) {
    DES des;
    if (!loadDESFrom(path, des, o)) return;
    collectEvents(des, labels);
  }
  DES accumulator;
  if (!loadDESFrom(r.inputs[0], accumulator, o)) return;
  for (std::size_t i = 1; i < r.inputs.size(); ++i) {
    DES next;
    if (!loadDESFrom(r.inputs[i], next, o)) return;
    DES result;
    std::vector<std::int64_t> pairOf;
    // After the first step the accumulator carries every label: it is
    // taken as prepared and only the new component gets free labels.
    if (!accumulator.empty() && !syncDES(accumulator, next, labels, i > 1, result, pairOf))
      return (void)fail(o, RESULT_TOO_MANY_TRANSITIONS);
    accumulator = std::move(result);
  }
  if (saveTo(r, 0, accumulator, 0, o)) o.labels = blockedEvents(labels, accumulator);
}

BatchOutcome handleMeet(ParamReader& params) { return handleWith(params, PROC_MEET, readComponents); }

void runMeet(const ProcedureRequest& r, ProcedureOutcome& o) {
  if (!checkComponentCount(r, o)) return;
  DES accumulator;
  if (!loadDESFrom(r.inputs[0], accumulator, o)) return;
  for (std::size_t i = 1; i < r.inputs.size(); ++i) {
    DES next;
    if (!loadDESFrom(r.inputs[i], next, o)) return;
    DES result;
    std::vector<std::int64_t> pairOf;
    if (!meetDESHashed(accumulator, next, result, pairOf)) return (void)fail(o, RESULT_TOO_MANY_TRANSITIONS);
    accumulator = std::move(result);
  }
  saveTo(r, 0, accumulator, 0, o);
}

BatchOutcome handleSupcon(ParamReader& params) { return handleWith(params, PROC_SUPCON, readTwoDES); }

void runSupcon(const ProcedureRequest& r, ProcedureOutcome& o) {
  DES plant, spec;
  if (!loadDESFrom(r.inputs[0], plant, o) || !loadDESFrom(r.inputs[1], spec, o)) return;
  DES supervisor;
  if (!supconDES(plant, spec, supervisor)) return (void)fail(o, RESULT_TOO_MANY_TRANSITIONS);
  saveTo(r, 0, supervisor, 0, o);
}

BatchOutcome handleCondat(ParamReader& params) { return handleWith(params, PROC_CONDAT, readTwoDAT); }

void runCondat(const ProcedureRequest& r, ProcedureOutcome& o) {
  DES plant, supervisor;
  if (!loadDESFrom(r.inputs[0], plant, o) || !loadDESFrom(r.inputs[1], supervisor, o)) return;
  DES controlData;
  if (!condatDES(plant, supervisor, controlData)) return (void)fail(o, RESULT_TOO_MANY_TRANSITIONS);
  saveTo(r, 0, controlData, -1, o);
}

BatchOutcome handleMinstate(ParamReader& params) {
  return handleWith(params, PROC_MINSTATE, [](ParamReader& p, ProcedureRequest& r) {
    std::string in, out;
    if (!readParamName(p, in) || !readParamName(p, out)) return false;
    r.inputs = {desPath(in)};
    r.outputs = {desPath(out)};
    return true;
  });
}

void runMinstate(const ProcedureRequest& r, ProcedureOutcome& o) {
  DES des;
  std::int64_t init = 0;
  if (!loadFrom(r.inputs[0], init, des, o)) return;
  reachDES(des);
  minimizeDES(des, r.minimizer);
  saveTo(r, 0, des, init, o);
}

} // namespace kav
