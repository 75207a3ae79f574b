// Hierarchy and forcing: Force, Vocalize, Outconsis, Hiconsis and Higen. A
// missing DES1 is an empty DES and gives an empty DES2.

#include <string>

#include "engine/handlers.h"
#include "synthesis/force.h"
#include "synthesis/hierarchy.h"

namespace kav {

namespace {

// "DES1; out DES2".
bool readOneInOneOut(ParamReader& params, ProcedureRequest& r) {
  std::string in, out;
  if (!readParamName(params, in) || !readParamName(params, out)) return false;
  r.inputs = {desPath(in)};
  r.outputs = {desPath(out)};
  return true;
}

BatchOutcome handleOneInOneOut(ParamReader& params, int code) {
  ProcedureRequest r;
  r.code = code;
  if (!readOneInOneOut(params, r)) return incomplete();
  return performForBatch(r);
}

// The outcome of a hierarchy operation: its refusals, or DES2 saved.
void finish(int status, const ProcedureRequest& r, const DES& des, ProcedureOutcome& o) {
  switch (status) {
  case HIERARCHY_VOCAL_INITIAL_STATE: o.code = RESULT_VOCAL_INITIAL_STATE; return;
  case HIERARCHY_OUTPUT_OVERFLOW: o.code = RESULT_VOCAL_OVERFLOW; return;
  case HIERARCHY_EVENTS_EXHAUSTED:
    o.message = "Excessed maximum - re-map events has fail\n";
    o.code = RESULT_CHILD_FAILED;
    return;
  case HIERARCHY_FRESH_LABELS_EXHAUSTED:
    o.message = "Excessed maximum - fix semi-deterministism has fail\n";
    o.code = RESULT_CHILD_FAILED;
    return;
  default: saveTo(r, 0, des, 0, o);
  }
}

} // namespace

BatchOutcome handleForce(ParamReader& params) {
  ProcedureRequest r;
  r.code = PROC_FORCE;
  if (!readOneInOneOut(params, r) || !readParamNumber(params, r.number, 0, EPSILON_LABEL) ||
      !readEventsUntilMinusOne(params, r.events) || !readEventsUntilEnd(params, r.moreEvents))
    return incomplete();
  return performForBatch(r);
}

void runForce(const ProcedureRequest& r, ProcedureOutcome& o) {
  if (r.number < 0 || r.number > EPSILON_LABEL) return (void)fail(o, RESULT_INCOMPLETE_PARAMETERS);
  DES des;
  if (!loadDESFrom(r.inputs[0], des, o)) return;
  DES result;
  forceDES(des, r.events, r.moreEvents, static_cast<std::uint16_t>(r.number), result);
  saveTo(r, 0, result, 0, o);
}

BatchOutcome handleVocalize(ParamReader& params) {
  ProcedureRequest r;
  r.code = PROC_VOCALIZE;
  if (!readOneInOneOut(params, r)) return incomplete();
  // Quadruples (exit state, event, entered state, output) to the end; an
  // incomplete last one is dropped.
  std::array<long, 4> value;
  int filled = 0;
  for (;;) {
    const TokenStatus status = readParamToken(params, value[static_cast<std::size_t>(filled)]);
    if (status == TOKEN_BAD) return incomplete();
    if (status == TOKEN_END) break;
    if (++filled < 4) continue;
    filled = 0;
    r.quadruples.push_back(value);
  }
  return performForBatch(r);
}

void runVocalize(const ProcedureRequest& r, ProcedureOutcome& o) {
  DES des;
  if (!loadDESFrom(r.inputs[0], des, o)) return;
  // States must be states of DES1 (any state will do for a missing DES1,
  // which stays empty), outputs the accepted 10..99.
  const long states = des.empty() ? MAX_STATES : static_cast<long>(des.size());
  QuadrupleList requests;
  for (const auto& [from, event, to, output] : r.quadruples) {
    if (from < 0 || from >= states || to < 0 || to >= states || event < 0 || event > EPSILON_LABEL || output < 10 ||
        output > 99)
      return (void)fail(o, RESULT_INCOMPLETE_PARAMETERS);
    requests.push_back({from, static_cast<std::uint16_t>(event), to, static_cast<std::int16_t>(output)});
  }
  normalizeSorted(requests);
  vocalizeDES(des, requests);
  saveTo(r, 0, des, 0, o);
}

BatchOutcome handleOutconsis(ParamReader& params) { return handleOneInOneOut(params, PROC_OUTCONSIS); }

void runOutconsis(const ProcedureRequest& r, ProcedureOutcome& o) {
  DES des;
  if (!loadDESFrom(r.inputs[0], des, o)) return;
  finish(outconsisDES(des, r.minimizer), r, des, o);
}

BatchOutcome handleHiconsis(ParamReader& params) {
  ProcedureRequest r;
  r.code = PROC_HICONSIS;
  if (!readOneInOneOut(params, r) || !readParamNumber(params, r.number, 0, 1)) return incomplete();
  return performForBatch(r);
}

void runHiconsis(const ProcedureRequest& r, ProcedureOutcome& o) {
  DES des;
  if (!loadDESFrom(r.inputs[0], des, o)) return;
  finish(hiconsisDES(des, r.number == 1, r.minimizer), r, des, o);
}

BatchOutcome handleHigen(ParamReader& params) { return handleOneInOneOut(params, PROC_HIGEN); }

void runHigen(const ProcedureRequest& r, ProcedureOutcome& o) {
  DES des;
  if (!loadDESFrom(r.inputs[0], des, o)) return;
  finish(higenDES(des, r.minimizer), r, des, o);
}

} // namespace kav
