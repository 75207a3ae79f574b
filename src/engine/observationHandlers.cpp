// Handlers of the quasi-congruence and observability procedures: Supnorm
// (20), Supscop (21), Supconrobs (22), Sup(s)qc (23), (S)Observable (26),
// Natobs (27), Suprobs (28) and Uncertmod (32).
//
// Inputs follow the rules of every handler (a corrupt file answers 7),
// with one difference for the procedures that fail without a result when
// an input cannot be loaded (Sup(s)qc, (S)Observable, Natobs, Suprobs and
// Supconrobs): for them a missing input is such a failure, and the child
// ends without orva.rst, so the parent sees no result. Supnorm, Supscop and
// Uncertmod take a missing input as the empty DES.

#include <climits>
#include <cstdio>
#include <string>

#include "engine/handlers.h"
#include "model/desfile.h"
#include "model/userfiles.h"
#include "ops/isomorph.h"
#include "ops/minimize.h"
#include "ops/product.h"
#include "ops/project.h"
#include "ops/transforms.h"
#include "synthesis/observability.h"
#include "synthesis/quasiCongruence.h"

namespace kav {

namespace {

// The failure report of (S)Observable and the working automaton of
// Supconrobs, both in the user directory.
constexpr const char* FAILURE_REPORT_NAME = "$$$";
constexpr const char* SUPCONROBS_WORKING_NAME = "$$$$$$";

// Load answer of loadRequiredInput for a file that does not exist.
constexpr int INPUT_MISSING = -1;

// The child ends without orva.rst and with status 0: the parent reads "no
// result".
BatchOutcome noResult() {
  BatchOutcome silent;
  silent.writeResult = false;
  return silent;
}

// An input that the computation cannot do without: RESULT_OK,
// RESULT_UNREADABLE_INPUT for a corrupt file, INPUT_MISSING for none.
int loadRequiredInput(const std::string& name, DES& des) {
  std::int64_t init = 0;
  switch (loadDES(name, init, des)) {
  case LOAD_OK: return RESULT_OK;
  case LOAD_MISSING: return INPUT_MISSING;
  case LOAD_MALFORMED: break;
  }
  return RESULT_UNREADABLE_INPUT;
}

BatchOutcome loadFailure(int rc) { return rc == INPUT_MISSING ? noResult() : outcome(rc); }

// "DES1; DES2; out DES3; null events up to the end", shared by Supnorm,
// Supscop and Supconrobs.
bool readTwoInOneOut(ParamReader& params, std::string& first, std::string& second, std::string& out,
                     EventList& nullLabels) {
  return readParamName(params, first) && readParamName(params, second) && readParamName(params, out) &&
         readEventsUntilEnd(params, nullLabels);
}

// Supnorm and Supscop: both inputs optional, one output.
template <typename Operation>
BatchOutcome runNormalProcedure(ParamReader& params, Operation operation) {
  std::string first, second, out;
  EventList nullLabels;
  if (!readTwoInOneOut(params, first, second, out, nullLabels)) return incomplete();
  DES a, b;
  if (int rc = loadInputDES(first, a)) return outcome(rc);
  if (int rc = loadInputDES(second, b)) return outcome(rc);
  DES result;
  (void)operation(a, b, nullLabels, result);
  return outcome(saveOutput(out, result, 0));
}

// One nested Supcon child: WORKING := Supcon(plant, spec). Its result code.
int runNestedSupcon(const std::string& plant, const std::string& spec) {
  ParameterLines lines;
  addName(lines, plant);
  addName(lines, spec);
  addName(lines, SUPCONROBS_WORKING_NAME);
  return writeParameters(PROC_SUPCON, lines);
}

void removeWorkingFile() { std::remove(userPath(SUPCONROBS_WORKING_NAME, ".DES").c_str()); }

// A nested child's code as this child's outcome: out of memory stays out of
// memory, any other failure ends without a result.
BatchOutcome nestedFailure(int rc) {
  removeWorkingFile();
  return rc == RESULT_OUT_OF_MEMORY ? outcome(RESULT_OUT_OF_MEMORY) : noResult();
}

// Ends Supconrobs with a code of its own after removing the working file.
BatchOutcome abandon(int code) {
  removeWorkingFile();
  return outcome(code);
}

bool loadWorking(DES& des) {
  std::int64_t init = 0;
  return loadDES(SUPCONROBS_WORKING_NAME, init, des) == LOAD_OK;
}

bool sameAfterMinimizing(DES a, DES b) {
  minimizeDES(a);
  minimizeDES(b);
  if (a.empty() && b.empty()) return true;
  std::vector<std::int64_t> map;
  return isomorphicDES(a, b, map);
}

} // namespace

BatchOutcome handleSupnorm(ParamReader& params) { return runNormalProcedure(params, supnormDES); }

BatchOutcome handleSupscop(ParamReader& params) {
  return runNormalProcedure(params, [](const DES& a, const DES& g, const EventList& nullLabels, DES& result) {
    return supscopDES(a, g, nullLabels, result);
  });
}

BatchOutcome handleSupconrobs(ParamReader& params) {
  std::string plantName, legalName, out;
  EventList nullLabels;
  if (!readTwoInOneOut(params, plantName, legalName, out, nullLabels)) return incomplete();
  DES plant;
  {
    DES legal;
    if (int rc = loadRequiredInput(plantName, plant)) return loadFailure(rc);
    if (int rc = loadRequiredInput(legalName, legal)) return loadFailure(rc);
  }

  // The first supervisor, refined by its own projection so that each of
  // its states knows what the observer has seen.
  if (int rc = runNestedSupcon(plantName, legalName)) return nestedFailure(rc);
  {
    DES k;
    if (!loadWorking(k)) return nestedFailure(RESULT_NO_RESULT);
    DES observed = copyDES(k);
    if (!nullLabels.empty()) project(observed, nullLabels);
    DES refined;
    std::vector<std::int64_t> pairOf;
    if (!syncDESHashed(observed, k, refined, pairOf)) return abandon(RESULT_TOO_MANY_TRANSITIONS);
    if (saveDES(SUPCONROBS_WORKING_NAME, refined, 0) != SAVE_OK) return nestedFailure(RESULT_WRITE_FAILED);
  }

  // Suprobs and Supcon in turn until Supcon changes nothing.
  for (;;) {
    DES k;
    if (!loadWorking(k)) return nestedFailure(RESULT_NO_RESULT);
    DES observable;
    if (!suprobsDES(plant, k, nullLabels, observable)) return abandon(RESULT_TOO_MANY_TRANSITIONS);
    if (int rc = saveOutput(out, observable, 0)) return abandon(rc);
    freeDES(observable);
    if (int rc = runNestedSupcon(plantName, out)) return nestedFailure(rc);
    DES next;
    if (!loadWorking(next)) return nestedFailure(RESULT_NO_RESULT);
    if (sameAfterMinimizing(std::move(k), std::move(next))) break;
  }

  DES result;
  if (loadWorking(result)) {
    removeWorkingFile();
    if (int rc = saveOutput(out, result, 0)) return outcome(rc);
  }
  return outcome(RESULT_OK);
}

BatchOutcome handleSupqc(ParamReader& params) {
  long mode;
  std::string in, out;
  EventList nullLabels;
  if (!readParamNumber(params, mode, 1, 2) || !readParamName(params, in) || !readParamName(params, out) ||
      !readEventsUntilEnd(params, nullLabels))
    return incomplete();
  DES des;
  if (int rc = loadRequiredInput(in, des)) return loadFailure(rc);
  EventList image;
  collectEventsExcept(des, nullLabels, image);
  DES quotient;
  std::vector<std::int64_t> representative;
  (void)supqcDES(des, image, mode == 2, quotient, representative);
  if (int rc = saveOutput(out, quotient, 0)) return outcome(rc);
  BatchOutcome result = outcome(RESULT_OK);
  char line[32];
  for (std::int64_t r : representative) {
    std::snprintf(line, sizeof line, "%ld\n ", static_cast<long>(r));
    result.extra += line;
  }
  return result;
}

BatchOutcome handleObservable(ParamReader& params) {
  long mode;
  std::string plantName, specName;
  EventList nullLabels;
  if (!readParamNumber(params, mode, 1, 2) || !readParamName(params, plantName) || !readParamName(params, specName) ||
      !readEventsUntilEnd(params, nullLabels))
    return incomplete();
  DES plant, spec;
  if (int rc = loadRequiredInput(plantName, plant)) return loadFailure(rc);
  if (int rc = loadRequiredInput(specName, spec)) return loadFailure(rc);
  bool holds = true;
  DES report;
  (void)checkObservability(plant, spec, nullLabels, mode == 2, holds, report);
  if (int rc = saveOutput(FAILURE_REPORT_NAME, report, 0)) return outcome(rc);
  BatchOutcome result = outcome(RESULT_OK);
  result.extra = std::string(holds ? "1" : "0") + "\n" + FAILURE_REPORT_NAME + "\n\n";
  return result;
}

BatchOutcome handleNatobs(ParamReader& params) {
  std::string in, observerName, listName;
  EventList seed;
  if (!readParamName(params, in) || !readParamName(params, observerName) || !readParamName(params, listName) ||
      !readEventsUntilEnd(params, seed))
    return incomplete();
  DES des;
  if (int rc = loadRequiredInput(in, des)) return loadFailure(rc);
  DES observer;
  EventList image;
  (void)natobsDES(des, seed, observer, image);
  if (int rc = saveOutput(observerName, observer, 0)) return outcome(rc);
  return outcome(saveOutput(listName, allEventsDES(image), 0));
}

BatchOutcome handleSuprobs(ParamReader& params) {
  std::string plantName, legalName, out;
  long flag;
  EventList nullLabels;
  if (!readParamName(params, plantName) || !readParamName(params, legalName) || !readParamName(params, out) ||
      !readParamNumber(params, flag, LONG_MIN, LONG_MAX) || !readEventsUntilEnd(params, nullLabels))
    return incomplete();
  // The interactive program always asks for the computation with flag 1.
  if (flag != 1) return outcome(RESULT_OK);
  DES plant, legal;
  if (int rc = loadRequiredInput(plantName, plant)) return loadFailure(rc);
  if (int rc = loadRequiredInput(legalName, legal)) return loadFailure(rc);
  DES result;
  (void)suprobsDES(plant, legal, nullLabels, result);
  return outcome(saveOutput(out, result, 0));
}

BatchOutcome handleUncertmod(ParamReader& params) {
  std::string in, out;
  EventList nullLabels;
  if (!readParamName(params, in) || !readParamName(params, out) || !readEventsUntilEnd(params, nullLabels))
    return incomplete();
  DES des;
  if (int rc = loadInputDES(in, des)) return outcome(rc);
  DES result;
  (void)uncertmodDES(des, nullLabels, result);
  return outcome(saveOutput(out, result, 0));
}

} // namespace kav
