// The quasi-congruence and observability procedures: Supnorm (20), Supscop
// (21), Supconrobs (22), Sup(s)qc (23), (S)Observable (26), Natobs (27),
// Suprobs (28) and Uncertmod (32).
//
// Inputs follow the rules of every procedure (a corrupt file answers 7),
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
#include "ops/supcon.h"
#include "ops/transforms.h"
#include "synthesis/observability.h"
#include "synthesis/quasiCongruence.h"

namespace kav {

namespace {

// The failure report of (S)Observable and the working automaton of
// Supconrobs, both in the user directory.
constexpr const char* FAILURE_REPORT_NAME = "$$$";
constexpr const char* SUPCONROBS_WORKING_NAME = "$$$$$$";

// "DES1; DES2; out DES3; null events up to the end", shared by Supnorm,
// Supscop and Supconrobs; the names are kept for Supconrobs' nested runs.
bool readTwoInOneOut(ParamReader& params, ProcedureRequest& r, std::string& first, std::string& second,
                     std::string& out) {
  if (!readParamName(params, first) || !readParamName(params, second) || !readParamName(params, out) ||
      !readEventsUntilEnd(params, r.events))
    return false;
  r.inputs = {desPath(first), desPath(second)};
  r.outputs = {desPath(out)};
  return true;
}

BatchOutcome handleTwoInOneOut(ParamReader& params, int code) {
  ProcedureRequest r;
  r.code = code;
  std::string first, second, out;
  if (!readTwoInOneOut(params, r, first, second, out)) return incomplete();
  return performForBatch(r);
}

// Supnorm and Supscop: both inputs optional, one output.
template <typename Operation>
void runNormalProcedure(const ProcedureRequest& r, ProcedureOutcome& o, Operation operation) {
  DES a, b;
  if (!loadDESFrom(r.inputs[0], a, o) || !loadDESFrom(r.inputs[1], b, o)) return;
  DES result;
  if (!operation(a, b, r.events, result, r.minimizer)) return (void)fail(o, RESULT_TOO_MANY_TRANSITIONS);
  saveTo(r, 0, result, 0, o);
}

// The working flags as a freshly loaded DES has them, so that a result
// computed here goes on exactly as one read back from its file.
void asLoaded(DES& des) {
  for (StateRecord& s : des.states) s.reached = s.coreached = 0;
  if (!des.empty()) des[0].reached = 1;
}

bool sameAfterMinimizing(DES a, DES b, Minimizer minimizer) {
  minimizeDES(a, minimizer);
  minimizeDES(b, minimizer);
  if (a.empty() && b.empty()) return true;
  std::vector<std::int64_t> map;
  return isomorphicDES(a, b, map);
}

void removeWorkingFile() { std::remove(userPath(SUPCONROBS_WORKING_NAME, ".DES").c_str()); }

} // namespace

BatchOutcome handleSupnorm(ParamReader& params) { return handleTwoInOneOut(params, PROC_SUPNORM); }

void runSupnorm(const ProcedureRequest& r, ProcedureOutcome& o) {
  runNormalProcedure(r, o, [](const DES& a, const DES& b, const EventList& nullLabels, DES& result, Minimizer m) {
    return supnormDES(a, b, nullLabels, result, m);
  });
}

BatchOutcome handleSupscop(ParamReader& params) { return handleTwoInOneOut(params, PROC_SUPSCOP); }

void runSupscop(const ProcedureRequest& r, ProcedureOutcome& o) {
  runNormalProcedure(r, o, [](const DES& a, const DES& g, const EventList& nullLabels, DES& result, Minimizer m) {
    return supscopDES(a, g, nullLabels, result, nullptr, m);
  });
}

BatchOutcome handleSupconrobs(ParamReader& params) {
  ProcedureRequest r;
  r.code = PROC_SUPCONROBS;
  std::string plantName, legalName, out;
  if (!readTwoInOneOut(params, r, plantName, legalName, out)) return incomplete();
  // Each Supcon step runs in a nested child, WORKING := Supcon(plant, spec):
  // an allocation failure there ends only that child. Out of memory stays
  // out of memory; any other failure ends this child without a result.
  bool stepped = false;
  r.supconStep = [&](const DES&, const DES* spec, DES& result) {
    stepped = true;
    ParameterLines lines;
    addName(lines, plantName);
    addName(lines, spec ? out : legalName);
    addName(lines, SUPCONROBS_WORKING_NAME);
    const int rc = runBatchProcedure(PROC_SUPCON, lines);
    if (rc != RESULT_OK) return rc == RESULT_OUT_OF_MEMORY ? rc : static_cast<int>(RESULT_NO_RESULT);
    std::int64_t init = 0;
    return loadDES(SUPCONROBS_WORKING_NAME, init, result) == LOAD_OK ? RESULT_OK : static_cast<int>(RESULT_NO_RESULT);
  };
  ProcedureOutcome o;
  BatchOutcome result = performForBatch(r, o);
  if (stepped) removeWorkingFile();
  return result;
}

void runSupconrobs(const ProcedureRequest& r, ProcedureOutcome& o) {
  DES plant, legal;
  if (!loadRequired(r.inputs[0], plant, o) || !loadRequired(r.inputs[1], legal, o)) return;
  SupconStep step = r.supconStep;
  if (step) {
    freeDES(legal);
  } else {
    step = [&legal](const DES& g, const DES* spec, DES& result) {
      if (!supconDES(g, spec ? *spec : legal, result)) return static_cast<int>(RESULT_TOO_MANY_TRANSITIONS);
      asLoaded(result);
      return static_cast<int>(RESULT_OK);
    };
  }

  // The first supervisor, refined by its own projection so that each of
  // its states knows what the observer has seen.
  DES k;
  if (int rc = step(plant, nullptr, k)) return (void)fail(o, rc);
  {
    DES observed = copyDES(k);
    if (!r.events.empty()) project(observed, r.events, {}, r.minimizer);
    DES refined;
    std::vector<std::int64_t> pairOf;
    if (!syncDESHashed(observed, k, refined, pairOf)) return (void)fail(o, RESULT_TOO_MANY_TRANSITIONS);
    k = std::move(refined);
    asLoaded(k);
  }

  // Suprobs and Supcon in turn until Supcon changes nothing. Each round's
  // relatively observable result is saved, for a nested step to read.
  for (;;) {
    DES observable;
    if (!suprobsDES(plant, k, r.events, observable, nullptr, r.minimizer)) return (void)fail(o, RESULT_TOO_MANY_TRANSITIONS);
    o.results.clear();
    if (!saveTo(r, 0, observable, 0, o)) return;
    asLoaded(observable);
    DES next;
    if (int rc = step(plant, &observable, next)) return (void)fail(o, rc);
    freeDES(observable);
    const bool same = sameAfterMinimizing(std::move(k), copyDES(next), r.minimizer);
    k = std::move(next);
    if (same) break;
  }
  o.results.clear();
  saveTo(r, 0, k, 0, o);
}

BatchOutcome handleSupqc(ParamReader& params) {
  ProcedureRequest r;
  r.code = PROC_SUPQC;
  std::string in, out;
  if (!readParamNumber(params, r.number, 1, 2) || !readParamName(params, in) || !readParamName(params, out) ||
      !readEventsUntilEnd(params, r.events))
    return incomplete();
  r.inputs = {desPath(in)};
  r.outputs = {desPath(out)};
  ProcedureOutcome o;
  BatchOutcome result = performForBatch(r, o);
  if (o.code != RESULT_OK) return result;
  char line[32];
  for (std::int64_t representative : o.states) {
    std::snprintf(line, sizeof line, "%ld\n ", static_cast<long>(representative));
    result.extra += line;
  }
  return result;
}

void runSupqc(const ProcedureRequest& r, ProcedureOutcome& o) {
  DES des;
  if (!loadRequired(r.inputs[0], des, o)) return;
  EventList image;
  collectEventsExcept(des, r.events, image);
  DES quotient;
  if (!supqcDES(des, image, r.number == 2, quotient, o.states)) return (void)fail(o, RESULT_TOO_MANY_TRANSITIONS);
  saveTo(r, 0, quotient, 0, o);
}

BatchOutcome handleObservable(ParamReader& params) {
  ProcedureRequest r;
  r.code = PROC_OBSERVABLE;
  std::string plantName, specName;
  if (!readParamNumber(params, r.number, 1, 2) || !readParamName(params, plantName) ||
      !readParamName(params, specName) || !readEventsUntilEnd(params, r.events))
    return incomplete();
  r.inputs = {desPath(plantName), desPath(specName)};
  ProcedureOutcome o;
  BatchOutcome result = performForBatch(r, o);
  if (o.code != RESULT_OK) return result;
  if (int rc = saveOutput(FAILURE_REPORT_NAME, o.report, 0)) return outcome(rc);
  result.extra = std::string(o.holds ? "1" : "0") + "\n" + FAILURE_REPORT_NAME + "\n\n";
  return result;
}

void runObservable(const ProcedureRequest& r, ProcedureOutcome& o) {
  DES plant, spec;
  if (!loadRequired(r.inputs[0], plant, o) || !loadRequired(r.inputs[1], spec, o)) return;
  o.holds = true;
  if (!checkObservability(plant, spec, r.events, r.number == 2, o.holds, o.report))
    fail(o, RESULT_TOO_MANY_TRANSITIONS);
}

BatchOutcome handleNatobs(ParamReader& params) {
  ProcedureRequest r;
  r.code = PROC_NATOBS;
  std::string in, observerName, listName;
  if (!readParamName(params, in) || !readParamName(params, observerName) || !readParamName(params, listName) ||
      !readEventsUntilEnd(params, r.events))
    return incomplete();
  r.inputs = {desPath(in)};
  r.outputs = {desPath(observerName), desPath(listName)};
  return performForBatch(r);
}

void runNatobs(const ProcedureRequest& r, ProcedureOutcome& o) {
  DES des;
  if (!loadRequired(r.inputs[0], des, o)) return;
  DES observer;
  if (!natobsDES(des, r.events, observer, o.labels)) return (void)fail(o, RESULT_TOO_MANY_TRANSITIONS);
  if (saveTo(r, 0, observer, 0, o)) saveTo(r, 1, allEventsDES(o.labels), 0, o);
}

BatchOutcome handleSuprobs(ParamReader& params) {
  ProcedureRequest r;
  r.code = PROC_SUPROBS;
  std::string plantName, legalName, out;
  if (!readParamName(params, plantName) || !readParamName(params, legalName) || !readParamName(params, out) ||
      !readParamNumber(params, r.number, LONG_MIN, LONG_MAX) || !readEventsUntilEnd(params, r.events))
    return incomplete();
  r.inputs = {desPath(plantName), desPath(legalName)};
  r.outputs = {desPath(out)};
  return performForBatch(r);
}

void runSuprobs(const ProcedureRequest& r, ProcedureOutcome& o) {
  // The interactive program always asks for the computation with flag 1.
  if (r.number != 1) return;
  DES plant, legal;
  if (!loadRequired(r.inputs[0], plant, o) || !loadRequired(r.inputs[1], legal, o)) return;
  DES result;
  if (!suprobsDES(plant, legal, r.events, result, nullptr, r.minimizer)) return (void)fail(o, RESULT_TOO_MANY_TRANSITIONS);
  saveTo(r, 0, result, 0, o);
}

BatchOutcome handleUncertmod(ParamReader& params) {
  ProcedureRequest r;
  r.code = PROC_UNCERTMOD;
  std::string in, out;
  if (!readParamName(params, in) || !readParamName(params, out) || !readEventsUntilEnd(params, r.events))
    return incomplete();
  r.inputs = {desPath(in)};
  r.outputs = {desPath(out)};
  return performForBatch(r);
}

void runUncertmod(const ProcedureRequest& r, ProcedureOutcome& o) {
  DES des;
  if (!loadDESFrom(r.inputs[0], des, o)) return;
  DES result;
  if (!uncertmodDES(des, r.events, result)) return (void)fail(o, RESULT_TOO_MANY_TRANSITIONS);
  saveTo(r, 0, result, 0, o);
}

} // namespace kav
