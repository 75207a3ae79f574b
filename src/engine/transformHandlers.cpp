// The projection and the small transforms and tests: Selfloop, Mutex,
// Complement, Project, Relabel, Allevents, Isomorph, Nonconflict.

#include <climits>
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

// Pairs of integers up to the end of the file. An incomplete last pair is
// dropped, as a "%ld %ld" reader would.
bool readPairsUntilEnd(ParamReader& params, StatePairList& pairs) {
  long value[2];
  int filled = 0;
  for (;;) {
    switch (readParamToken(params, value[filled])) {
    case TOKEN_END: normalizeSorted(pairs); return true;
    case TOKEN_BAD: return false;
    case TOKEN_OK: break;
    }
    if (++filled < 2) continue;
    filled = 0;
    pairs.push_back({value[0], value[1]});
  }
}

bool pairsWithin(const StatePairList& pairs, std::int64_t lo, std::int64_t hi) {
  for (const StatePair& p : pairs)
    if (p.a < lo || p.a > hi || p.b < lo || p.b > hi) return false;
  return true;
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

// "DES1; out DES2; events up to the end".
BatchOutcome handleOneInWithEvents(ParamReader& params, int code) {
  ProcedureRequest r;
  r.code = code;
  std::string in, out;
  if (!readParamName(params, in) || !readParamName(params, out) || !readEventsUntilEnd(params, r.events))
    return incomplete();
  r.inputs = {desPath(in)};
  r.outputs = {desPath(out)};
  return performForBatch(r);
}

// "DES1; DES2", the tests.
bool readTwoNames(ParamReader& params, ProcedureRequest& r, std::string& name1, std::string& name2) {
  if (!readParamName(params, name1) || !readParamName(params, name2)) return false;
  r.inputs = {desPath(name1), desPath(name2)};
  return true;
}

} // namespace

BatchOutcome handleSelfloop(ParamReader& params) { return handleOneInWithEvents(params, PROC_SELFLOOP); }

void runSelfloop(const ProcedureRequest& r, ProcedureOutcome& o) {
  DES des;
  std::int64_t init = 0;
  if (!loadFrom(r.inputs[0], init, des, o)) return;
  if (!selfloopWhereAbsent(des, r.events)) return (void)fail(o, RESULT_TOO_MANY_TRANSITIONS);
  saveTo(r, 0, des, init, o);
}

BatchOutcome handleMutex(ParamReader& params) {
  ProcedureRequest r;
  r.code = PROC_MUTEX;
  std::string name1, name2, out;
  if (!readParamName(params, name1) || !readParamName(params, name2) || !readParamName(params, out) ||
      !readPairsUntilEnd(params, r.pairs))
    return incomplete();
  r.inputs = {desPath(name1), desPath(name2)};
  r.outputs = {desPath(out)};
  return performForBatch(r);
}

void runMutex(const ProcedureRequest& r, ProcedureOutcome& o) {
  // The dialog takes state numbers up to 1999999 whatever the sizes;
  // pairs beyond the operands are ignored by the cut, negative ones are
  // malformed.
  if (!pairsWithin(r.pairs, 0, MAX_STATES)) return (void)fail(o, RESULT_INCOMPLETE_PARAMETERS);
  DES first, second;
  if (!loadDESFrom(r.inputs[0], first, o) || !loadDESFrom(r.inputs[1], second, o)) return;
  DES result;
  if (!mutexDES(first, second, r.pairs, result)) return (void)fail(o, RESULT_TOO_MANY_TRANSITIONS);
  saveTo(r, 0, result, 0, o);
}

BatchOutcome handleComplement(ParamReader& params) { return handleOneInWithEvents(params, PROC_COMPLEMENT); }

void runComplement(const ProcedureRequest& r, ProcedureOutcome& o) {
  DES des;
  if (!loadDESFrom(r.inputs[0], des, o)) return;
  if (!complementDES(des, r.events)) return (void)fail(o, RESULT_TOO_MANY_TRANSITIONS);
  reachDES(des);
  saveTo(r, 0, des, 0, o);
}

BatchOutcome handleProject(ParamReader& params) { return handleOneInWithEvents(params, PROC_PROJECT); }

void runProject(const ProcedureRequest& r, ProcedureOutcome& o) {
  DES des;
  if (!loadDESFrom(r.inputs[0], des, o)) return;
  project(des, r.events, {}, r.minimizer);
  saveTo(r, 0, des, 0, o);
}

BatchOutcome handleRelabel(ParamReader& params) {
  ProcedureRequest r;
  r.code = PROC_RELABEL;
  std::string in, out;
  if (!readParamName(params, in) || !readParamName(params, out) || !readPairsUntilEnd(params, r.pairs))
    return incomplete();
  r.inputs = {desPath(in)};
  r.outputs = {desPath(out)};
  return performForBatch(r);
}

void runRelabel(const ProcedureRequest& r, ProcedureOutcome& o) {
  if (!pairsWithin(r.pairs, 0, EPSILON_LABEL)) return (void)fail(o, RESULT_INCOMPLETE_PARAMETERS);
  DES des;
  if (!loadDESFrom(r.inputs[0], des, o)) return;
  DES result;
  EventList fresh;
  if (!relabelDES(des, r.pairs, result, fresh)) {
    o.message = "Excessed maximum - fix semi-deterministism has fail\n";
    return (void)fail(o, RESULT_CHILD_FAILED);
  }
  freeDES(des);
  // Only a relabelling that made the DES nondeterministic is projected
  // (and so minimized); otherwise the numbering of DES1 stays.
  if (!fresh.empty()) project(result, fresh, {}, r.minimizer);
  saveTo(r, 0, result, 0, o);
}

BatchOutcome handleAllevents(ParamReader& params) {
  ProcedureRequest r;
  r.code = PROC_ALLEVENTS;
  // The source line comes before the mode that says whether it names a
  // file: with a typed list (mode 3) it is ignored, whatever it holds.
  std::string sourceLine, out;
  if (!readRawLine(params, sourceLine) || !readParamName(params, out) || !readParamNumber(params, r.number, 1, 3))
    return incomplete();
  r.outputs = {desPath(out)};
  if (r.number == 3) {
    if (!readEventsUntilEnd(params, r.events)) return incomplete();
  } else {
    const std::string_view source = trimNameBlanks(sourceLine);
    if (!isValidFileName(source)) return incomplete();
    r.inputs = {userPath(source, r.number == 2 ? ".DAT" : ".DES")};
  }
  return performForBatch(r);
}

void runAllevents(const ProcedureRequest& r, ProcedureOutcome& o) {
  if (r.number < 1 || r.number > 3) return (void)fail(o, RESULT_INCOMPLETE_PARAMETERS);
  EventList labels = r.events;
  if (r.number != 3) {
    labels.clear();
    DES des;
    std::int64_t init = r.number == 2 ? -1 : 0;
    if (!loadFrom(r.inputs[0], init, des, o)) return;
    collectEvents(des, labels);
  }
  saveTo(r, 0, allEventsDES(labels), 0, o);
}

BatchOutcome handleIsomorph(ParamReader& params) {
  ProcedureRequest r;
  r.code = PROC_ISOMORPH;
  std::string name1, name2;
  if (!readTwoNames(params, r, name1, name2)) return incomplete();
  // One file under two names is its own identity; nothing is compared.
  r.number = trimNameBlanks(name1) == trimNameBlanks(name2) ? 1 : 0;
  ProcedureOutcome o;
  BatchOutcome result = performForBatch(r, o);
  if (o.code != RESULT_OK) return result;
  result.extra = std::string(o.holds ? "1\n" : "0\n") + (o.identity ? "1\n" : "0\n");
  char line[32];
  for (std::int64_t partner : o.states) {
    std::snprintf(line, sizeof line, "%ld\n ", static_cast<long>(partner));
    result.extra += line;
  }
  return result;
}

void runIsomorph(const ProcedureRequest& r, ProcedureOutcome& o) {
  // One file under two names is its own identity; nothing is compared.
  if (r.number == 1) {
    o.holds = o.identity = true;
    return;
  }
  DES first, second;
  if (!loadDESFrom(r.inputs[0], first, o) || !loadDESFrom(r.inputs[1], second, o)) return;
  if (first.empty() || second.empty() || first.size() != second.size()) {
    o.holds = o.identity = first.empty() && second.empty();
    return;
  }
  o.holds = isomorphicDES(first, second, o.states);
}

BatchOutcome handleNonconflict(ParamReader& params) {
  ProcedureRequest r;
  r.code = PROC_NONCONFLICT;
  std::string name1, name2;
  if (!readTwoNames(params, r, name1, name2)) return incomplete();
  ProcedureOutcome o;
  BatchOutcome result = performForBatch(r, o);
  if (o.code == RESULT_OK) result.extra = o.holds ? "1\n\n" : "0\n\n";
  return result;
}

void runNonconflict(const ProcedureRequest& r, ProcedureOutcome& o) {
  DES first, second;
  if (!loadDESFrom(r.inputs[0], first, o) || !loadDESFrom(r.inputs[1], second, o)) return;
  o.holds = true;
  if (!nonconflictingDES(first, second, o.holds)) (void)fail(o, RESULT_TOO_MANY_TRANSITIONS);
}

} // namespace kav
