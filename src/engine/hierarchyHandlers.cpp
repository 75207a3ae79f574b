// Handlers of hierarchy and forcing: Force, Vocalize, Outconsis, Hiconsis
// and Higen. A missing DES1 is an empty DES and gives an empty DES2.

#include <string>

#include "engine/handlers.h"
#include "synthesis/force.h"
#include "synthesis/hierarchy.h"

namespace kav {

namespace {

// The answers of the hierarchy procedures beyond success.
constexpr int RESULT_VOCAL_OVERFLOW = 5;
constexpr int RESULT_VOCAL_INITIAL_STATE = 6;

// The outcome of a hierarchy procedure: its refusals, or DES2 saved.
BatchOutcome finish(int status, const std::string& out, const DES& des) {
  switch (status) {
  case HIERARCHY_VOCAL_INITIAL_STATE: return outcome(RESULT_VOCAL_INITIAL_STATE);
  case HIERARCHY_OUTPUT_OVERFLOW: return outcome(RESULT_VOCAL_OVERFLOW);
  case HIERARCHY_EVENTS_EXHAUSTED: return endWithoutResult("Excessed maximum - re-map events has fail\n");
  case HIERARCHY_FRESH_LABELS_EXHAUSTED: return endWithoutResult("Excessed maximum - fix semi-deterministism has fail\n");
  default: return outcome(saveOutput(out, des, 0));
  }
}

} // namespace

BatchOutcome handleForce(ParamReader& params) {
  std::string out;
  DES des;
  std::string in;
  long timeout;
  if (!readParamName(params, in) || !readParamName(params, out) || !readParamNumber(params, timeout, 0, EPSILON_LABEL))
    return incomplete();
  EventList forcible, preemptable;
  if (!readEventsUntilMinusOne(params, forcible) || !readEventsUntilEnd(params, preemptable)) return incomplete();
  if (int rc = loadInputDES(in, des)) return outcome(rc);
  DES result;
  forceDES(des, forcible, preemptable, static_cast<std::uint16_t>(timeout), result);
  return outcome(saveOutput(out, result, 0));
}

BatchOutcome handleVocalize(ParamReader& params) {
  std::string out;
  DES des;
  if (int rc = readOneInOneOut(params, out, des)) return outcome(rc);
  // Quadruples (exit state, event, entered state, output) to the end; an
  // incomplete last one is dropped. States must be states of DES1 (any
  // state will do for a missing DES1, which stays empty), outputs the
  // accepted 10..99.
  QuadrupleList requests;
  long value[4];
  int filled = 0;
  for (;;) {
    const TokenStatus status = readParamToken(params, value[filled]);
    if (status == TOKEN_BAD) return incomplete();
    if (status == TOKEN_END) break;
    if (++filled < 4) continue;
    filled = 0;
    const long states = des.empty() ? MAX_STATES : static_cast<long>(des.size());
    if (value[0] < 0 || value[0] >= states || value[2] < 0 || value[2] >= states) return incomplete();
    if (value[1] < 0 || value[1] > EPSILON_LABEL || value[3] < 10 || value[3] > 99) return incomplete();
    requests.push_back({value[0], static_cast<std::uint16_t>(value[1]), value[2], static_cast<std::int16_t>(value[3])});
  }
  normalizeSorted(requests);
  vocalizeDES(des, requests);
  return outcome(saveOutput(out, des, 0));
}

BatchOutcome handleOutconsis(ParamReader& params) {
  std::string out;
  DES des;
  if (int rc = readOneInOneOut(params, out, des)) return outcome(rc);
  return finish(outconsisDES(des), out, des);
}

BatchOutcome handleHiconsis(ParamReader& params) {
  std::string out;
  DES des;
  std::string in;
  long multiple;
  if (!readParamName(params, in) || !readParamName(params, out) || !readParamNumber(params, multiple, 0, 1))
    return incomplete();
  if (int rc = loadInputDES(in, des)) return outcome(rc);
  return finish(hiconsisDES(des, multiple == 1), out, des);
}

BatchOutcome handleHigen(ParamReader& params) {
  std::string out;
  DES des;
  if (int rc = readOneInOneOut(params, out, des)) return outcome(rc);
  return finish(higenDES(des), out, des);
}

} // namespace kav
