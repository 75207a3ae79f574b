// Handlers of the product procedures (Sync, Meet) and of the procedures
// built on products and partitions (Supcon, Condat, Minstate).

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
int readComponents(ParamReader& params, std::string& out, std::vector<std::string>& names) {
  long k;
  if (!readParamName(params, out) || !readParamNumber(params, k, 1, MAX_COMPONENTS))
    return RESULT_INCOMPLETE_PARAMETERS;
  names.resize(static_cast<std::size_t>(k));
  for (std::string& name : names)
    if (!readParamName(params, name)) return RESULT_INCOMPLETE_PARAMETERS;
  return RESULT_OK;
}

// Reads "DES1; DES2; out" and loads the two inputs as DES.
int readTwoInOneOut(ParamReader& params, DES& first, DES& second, std::string& out) {
  std::string name1, name2;
  if (!readParamName(params, name1) || !readParamName(params, name2) || !readParamName(params, out))
    return RESULT_INCOMPLETE_PARAMETERS;
  if (int rc = loadInputDES(name1, first)) return rc;
  return loadInputDES(name2, second);
}

} // namespace

BatchOutcome handleSync(ParamReader& params) {
  std::string out;
  std::vector<std::string> names;
  if (int rc = readComponents(params, out, names)) return outcome(rc);
  // Every label of every component, so that a label one component lacks
  // is free for it whichever step brings the label in.
  EventList labels;
  for (const std::string& name : names) {
    DES des;
    if (int rc = loadInputDES(name, des)) return outcome(rc);
    collectEvents(des, labels);
  }
  DES accumulator;
  if (int rc = loadInputDES(names[0], accumulator)) return outcome(rc);
  for (std::size_t i = 1; i < names.size(); ++i) {
    DES next;
    if (int rc = loadInputDES(names[i], next)) return outcome(rc);
    DES result;
    std::vector<std::int64_t> pairOf;
    // After the first step the accumulator carries every label: it is
    // taken as prepared and only the new component gets free labels.
    if (!accumulator.empty() && !syncDES(accumulator, next, labels, i > 1, result, pairOf))
      return outcome(RESULT_TOO_MANY_TRANSITIONS);
    accumulator = std::move(result);
  }
  return outcome(saveOutput(out, accumulator, 0));
}

BatchOutcome handleMeet(ParamReader& params) {
  std::string out;
  std::vector<std::string> names;
  if (int rc = readComponents(params, out, names)) return outcome(rc);
  DES accumulator;
  if (int rc = loadInputDES(names[0], accumulator)) return outcome(rc);
  for (std::size_t i = 1; i < names.size(); ++i) {
    DES next;
    if (int rc = loadInputDES(names[i], next)) return outcome(rc);
    DES result;
    std::vector<std::int64_t> pairOf;
    if (!meetDESHashed(accumulator, next, result, pairOf)) return outcome(RESULT_TOO_MANY_TRANSITIONS);
    accumulator = std::move(result);
  }
  return outcome(saveOutput(out, accumulator, 0));
}

BatchOutcome handleSupcon(ParamReader& params) {
  DES plant, spec;
  std::string out;
  if (int rc = readTwoInOneOut(params, plant, spec, out)) return outcome(rc);
  DES supervisor;
  if (!supconDES(plant, spec, supervisor)) return outcome(RESULT_TOO_MANY_TRANSITIONS);
  return outcome(saveOutput(out, supervisor, 0));
}

BatchOutcome handleCondat(ParamReader& params) {
  DES plant, supervisor;
  std::string out;
  if (int rc = readTwoInOneOut(params, plant, supervisor, out)) return outcome(rc);
  DES controlData;
  if (!condatDES(plant, supervisor, controlData)) return outcome(RESULT_TOO_MANY_TRANSITIONS);
  return outcome(saveOutput(out, controlData, -1));
}

BatchOutcome handleMinstate(ParamReader& params) {
  std::string in, out;
  if (!readParamName(params, in) || !readParamName(params, out)) return incomplete();
  DES des;
  std::int64_t init = 0;
  if (int rc = loadInput(in, init, des)) return outcome(rc);
  reachDES(des);
  minimizeDES(des);
  return outcome(saveOutput(out, des, init));
}

} // namespace kav
