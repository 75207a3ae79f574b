// Procedures without an operation of their own (Create, Statistics) and
// the reachability procedures (Trim, BFS-recode).

#include <algorithm>
#include <utility>
#include <vector>

#include "engine/handlers.h"
#include "ops/trim.h"

namespace kav {

namespace {

// "DES1; out DES2", the common head of the one-input procedures.
bool readOneInOneOut(ParamReader& params, ProcedureRequest& r) {
  std::string in, out;
  if (!readParamName(params, in) || !readParamName(params, out)) return false;
  r.inputs = {desPath(in)};
  r.outputs = {desPath(out)};
  return true;
}

// Loads DES1 with its file's init value, which the result keeps.
void transformKeepingInit(const ProcedureRequest& r, ProcedureOutcome& o, void (*transform)(DES&)) {
  DES des;
  std::int64_t init = 0;
  if (!loadFrom(r.inputs[0], init, des, o)) return;
  transform(des);
  saveTo(r, 0, des, init, o);
}

} // namespace

BatchOutcome handleCreate(ParamReader& params) {
  ProcedureRequest r;
  r.code = PROC_CREATE;
  std::string name;
  if (!readParamName(params, name) || !readParamNumber(params, r.number, 0, MAX_STATES)) return incomplete();
  r.outputs = {desPath(name)};
  long value;
  for (;;) {
    const TokenStatus status = readParamToken(params, value);
    if (status == TOKEN_BAD) return incomplete();
    if (status == TOKEN_END || value == -1) break;
    r.markers.push_back(value);
  }
  // Transitions come as groups of three numbers; an incomplete last group
  // is dropped.
  std::array<long, 3> group;
  int filled = 0;
  for (;;) {
    const TokenStatus status = readParamToken(params, group[static_cast<std::size_t>(filled)]);
    if (status == TOKEN_BAD) return incomplete();
    if (status == TOKEN_END) break;
    if (++filled < 3) continue;
    filled = 0;
    r.transitions.push_back(group);
  }
  return performForBatch(r);
}

void runCreate(const ProcedureRequest& r, ProcedureOutcome& o) {
  const long size = r.number;
  if (size < 0 || size > MAX_STATES) return (void)fail(o, RESULT_INCOMPLETE_PARAMETERS);
  for (long m : r.markers)
    if (m < 0 || m >= size) return (void)fail(o, RESULT_INCOMPLETE_PARAMETERS);
  for (const auto& [from, event, to] : r.transitions)
    if (from < 0 || from >= size || to < 0 || to >= size || event < 0 || event > EPSILON_LABEL)
      return (void)fail(o, RESULT_INCOMPLETE_PARAMETERS);
  DES des = allocStates(size);
  for (long m : r.markers) des[m].marked = 1;
  // Gathered and sorted first, so each state's list is built at once.
  std::vector<std::pair<std::int64_t, Transition>> entries;
  entries.reserve(r.transitions.size());
  for (const auto& [from, event, to] : r.transitions)
    entries.emplace_back(from, makeTransition(static_cast<std::uint16_t>(event), to));
  std::sort(entries.begin(), entries.end(),
            [](const auto& x, const auto& y) { return x.first != y.first ? x.first < y.first : x.second < y.second; });
  std::vector<Transition> list;
  for (std::size_t k = 0; k < entries.size();) {
    const std::int64_t from = entries[k].first;
    list.clear();
    for (; k < entries.size() && entries[k].first == from; ++k) list.push_back(entries[k].second);
    if (!assignTransitions(des[from], list)) return (void)fail(o, RESULT_TOO_MANY_TRANSITIONS);
  }
  std::vector<std::pair<std::int64_t, Transition>>().swap(entries);
  saveTo(r, 0, des, 0, o);
}

BatchOutcome handleTrim(ParamReader& params) {
  ProcedureRequest r;
  r.code = PROC_TRIM;
  if (!readOneInOneOut(params, r)) return incomplete();
  return performForBatch(r);
}

void runTrim(const ProcedureRequest& r, ProcedureOutcome& o) { transformKeepingInit(r, o, trimDES); }

BatchOutcome handleBfsRecode(ParamReader& params) {
  ProcedureRequest r;
  r.code = PROC_BFS_RECODE;
  if (!readOneInOneOut(params, r)) return incomplete();
  return performForBatch(r);
}

void runBfsRecode(const ProcedureRequest& r, ProcedureOutcome& o) {
  transformKeepingInit(r, o, [](DES& des) {
    reachDES(des);
    bfsRecodeDES(des);
  });
}

BatchOutcome handleStatistics(ParamReader& params) {
  ProcedureRequest r;
  r.code = PROC_STATISTICS;
  std::string name;
  if (!readParamName(params, name) || !readParamNumber(params, r.number, -1, 0)) return incomplete();
  r.inputs = {userPath(name, r.number == -1 ? ".DAT" : ".DES")};
  ProcedureOutcome o;
  BatchOutcome result = performForBatch(r, o);
  if (o.code != RESULT_OK) return result;
  const ResultFile& f = o.results[0];
  const bool controllable = f.isControlData && f.controllable;
  result.extra = std::to_string(f.states) + "\n" + std::to_string(f.transitions) + "\n" +
                 (f.deterministic ? "1" : "0") + "\n" + (controllable ? "1" : "0") + "\n\n";
  return result;
}

void runStatistics(const ProcedureRequest& r, ProcedureOutcome& o) {
  DES des;
  std::int64_t init = r.number == -1 ? -1 : 0;
  const std::int64_t kind = init;
  if (!loadFrom(r.inputs[0], init, des, o)) return;
  o.results.push_back(figuresOf(r.inputs[0], des, kind));
}

} // namespace kav
