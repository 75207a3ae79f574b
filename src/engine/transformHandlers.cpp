// Handlers of the projection and the small transforms and tests: Selfloop,
// Mutex, Complement, Project, Relabel, Allevents, Isomorph, Nonconflict.

#include <cstdio>
#include <string>
#include <vector>

#include "engine/handlers.h"
#include "model/userfiles.h"
#include "ops/isomorph.h"
#include "ops/mutex.h"
#include "ops/nonconflict.h"
#include "ops/project.h"
#include "ops/transforms.h"
#include "ops/trim.h"

namespace kav {

namespace {

// Pairs of integers up to the end of the file, each number in lo..hi. An
// incomplete last pair is dropped, as a "%ld %ld" reader would.
bool readPairsUntilEnd(ParamReader& params, StatePairList& pairs, long lo, long hi) {
  long value[2];
  int filled = 0;
  for (;;) {
    switch (readParamToken(params, value[filled])) {
    case TOKEN_END: normalizeSorted(pairs); return true;
    case TOKEN_BAD: return false;
    case TOKEN_OK: break;
    }
    if (value[filled] < lo || value[filled] > hi) return false;
    if (++filled < 2) continue;
    filled = 0;
    pairs.push_back({value[0], value[1]});
  }
}

// The next line as it stands, without its line end; false at the end of
// the file.
bool readRawLine(ParamReader& params, std::string& line) {
  if (params.pos >= params.text.size()) return false;
  std::size_t end = params.text.find('\n', params.pos);
  if (end == std::string::npos) end = params.text.size();
  line.assign(params.text, params.pos, end - params.pos);
  params.pos = end + 1;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return true;
}

} // namespace

BatchOutcome handleSelfloop(ParamReader& params) {
  std::string out;
  DES des;
  std::int64_t init;
  if (int rc = readOneInOneOut(params, out, des, &init)) return outcome(rc);
  EventList labels;
  if (!readEventsUntilEnd(params, labels)) return incomplete();
  selfloopWhereAbsent(des, labels);
  return outcome(saveOutput(out, des, init));
}

BatchOutcome handleMutex(ParamReader& params) {
  std::string name1, name2, out;
  if (!readParamName(params, name1) || !readParamName(params, name2) || !readParamName(params, out))
    return incomplete();
  // The dialog takes state numbers up to 1999999 whatever the sizes;
  // pairs beyond the operands are ignored by the cut, negative ones are
  // malformed.
  StatePairList pairs;
  if (!readPairsUntilEnd(params, pairs, 0, MAX_STATES)) return incomplete();
  DES first, second;
  if (int rc = loadInputDES(name1, first)) return outcome(rc);
  if (int rc = loadInputDES(name2, second)) return outcome(rc);
  DES result;
  if (!mutexDES(first, second, pairs, result)) return outcome(RESULT_TOO_MANY_TRANSITIONS);
  return outcome(saveOutput(out, result, 0));
}

BatchOutcome handleComplement(ParamReader& params) {
  std::string out;
  DES des;
  if (int rc = readOneInOneOut(params, out, des)) return outcome(rc);
  EventList labels;
  if (!readEventsUntilEnd(params, labels)) return incomplete();
  complementDES(des, labels);
  reachDES(des);
  return outcome(saveOutput(out, des, 0));
}

BatchOutcome handleProject(ParamReader& params) {
  std::string out;
  DES des;
  if (int rc = readOneInOneOut(params, out, des)) return outcome(rc);
  EventList nullLabels;
  if (!readEventsUntilEnd(params, nullLabels)) return incomplete();
  project(des, nullLabels);
  return outcome(saveOutput(out, des, 0));
}

BatchOutcome handleRelabel(ParamReader& params) {
  std::string out;
  DES des;
  if (int rc = readOneInOneOut(params, out, des)) return outcome(rc);
  StatePairList pairs;
  if (!readPairsUntilEnd(params, pairs, 0, EPSILON_LABEL)) return incomplete();
  DES result;
  EventList fresh;
  if (!relabelDES(des, pairs, result, fresh))
    return endWithoutResult("Excessed maximum - fix semi-deterministism has fail\n");
  freeDES(des);
  // Only a relabelling that made the DES nondeterministic is projected
  // (and so minimized); otherwise the numbering of DES1 stays.
  if (!fresh.empty()) project(result, fresh);
  return outcome(saveOutput(out, result, 0));
}

BatchOutcome handleAllevents(ParamReader& params) {
  // The source line comes before the mode that says whether it names a
  // file: with a typed list (mode 3) it is ignored, whatever it holds.
  std::string sourceLine, out;
  long mode;
  if (!readRawLine(params, sourceLine) || !readParamName(params, out) || !readParamNumber(params, mode, 1, 3))
    return incomplete();
  EventList labels;
  if (mode == 3) {
    if (!readEventsUntilEnd(params, labels)) return incomplete();
  } else {
    const std::string_view source = trimNameBlanks(sourceLine);
    if (!isValidFileName(source)) return incomplete();
    DES des;
    std::int64_t init = mode == 2 ? -1 : 0;
    if (int rc = loadInput(source, init, des)) return outcome(rc);
    collectEvents(des, labels);
  }
  return outcome(saveOutput(out, allEventsDES(labels), 0));
}

BatchOutcome handleIsomorph(ParamReader& params) {
  std::string name1, name2;
  if (!readParamName(params, name1) || !readParamName(params, name2)) return incomplete();
  BatchOutcome result;
  // One file under two names is its own identity; nothing is compared.
  if (trimNameBlanks(name1) == trimNameBlanks(name2)) {
    result.extra = "1\n1\n";
    return result;
  }
  DES first, second;
  if (int rc = loadInputDES(name1, first)) return outcome(rc);
  if (int rc = loadInputDES(name2, second)) return outcome(rc);
  if (first.empty() || second.empty() || first.size() != second.size()) {
    const bool bothEmpty = first.empty() && second.empty();
    result.extra = bothEmpty ? "1\n1\n" : "0\n0\n";
    return result;
  }
  std::vector<std::int64_t> map;
  const bool isomorphic = isomorphicDES(first, second, map);
  result.extra = isomorphic ? "1\n0\n" : "0\n0\n";
  char line[32];
  for (std::int64_t partner : map) {
    std::snprintf(line, sizeof line, "%ld\n ", static_cast<long>(partner));
    result.extra += line;
  }
  return result;
}

BatchOutcome handleNonconflict(ParamReader& params) {
  std::string name1, name2;
  if (!readParamName(params, name1) || !readParamName(params, name2)) return incomplete();
  DES first, second;
  if (int rc = loadInputDES(name1, first)) return outcome(rc);
  if (int rc = loadInputDES(name2, second)) return outcome(rc);
  bool nonconflicting = true;
  if (!nonconflictingDES(first, second, nonconflicting)) return outcome(RESULT_TOO_MANY_TRANSITIONS);
  BatchOutcome result;
  result.extra = nonconflicting ? "1\n\n" : "0\n\n";
  return result;
}

} // namespace kav
