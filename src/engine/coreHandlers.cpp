// Handlers of the codes without an operation of their own (Create,
// Statistics) and of the reachability procedures (Trim, BFS-recode).

#include <algorithm>
#include <utility>
#include <vector>

#include "engine/handlers.h"
#include "ops/trim.h"

namespace kav {

namespace {

} // namespace

BatchOutcome handleCreate(ParamReader& params) {
  std::string name;
  long size;
  if (!readParamName(params, name) || !readParamNumber(params, size, 0, MAX_STATES)) return incomplete();
  DES des = allocStates(size);
  long value;
  for (;;) {
    const TokenStatus status = readParamToken(params, value);
    if (status == TOKEN_BAD) return incomplete();
    if (status == TOKEN_END || value == -1) break;
    if (value < 0 || value >= size) return incomplete();
    des[value].marked = 1;
  }
  // Transitions come as groups of three numbers; an incomplete last group
  // is dropped. Gathered first, so each state's list is built at once.
  std::vector<std::pair<std::int64_t, Transition>> entries;
  long group[3];
  int filled = 0;
  for (;;) {
    const TokenStatus status = readParamToken(params, value);
    if (status == TOKEN_BAD) return incomplete();
    if (status == TOKEN_END) break;
    group[filled++] = value;
    if (filled < 3) continue;
    filled = 0;
    if (group[0] < 0 || group[0] >= size || group[2] < 0 || group[2] >= size) return incomplete();
    if (group[1] < 0 || group[1] > EPSILON_LABEL) return incomplete();
    Transition t;
    t.target = group[2];
    t.event = static_cast<std::uint16_t>(group[1]);
    entries.emplace_back(group[0], t);
  }
  std::sort(entries.begin(), entries.end(),
            [](const auto& x, const auto& y) { return x.first != y.first ? x.first < y.first : x.second < y.second; });
  std::vector<Transition> list;
  for (std::size_t k = 0; k < entries.size();) {
    const std::int64_t from = entries[k].first;
    list.clear();
    for (; k < entries.size() && entries[k].first == from; ++k) list.push_back(entries[k].second);
    if (!assignTransitions(des[from], list)) return outcome(RESULT_TOO_MANY_TRANSITIONS);
  }
  std::vector<std::pair<std::int64_t, Transition>>().swap(entries);
  return outcome(saveOutput(name, des, 0));
}

BatchOutcome handleTrim(ParamReader& params) {
  std::string out;
  DES des;
  std::int64_t init;
  if (int rc = readOneInOneOut(params, out, des, &init)) return outcome(rc);
  trimDES(des);
  return outcome(saveOutput(out, des, init));
}

BatchOutcome handleBfsRecode(ParamReader& params) {
  std::string out;
  DES des;
  std::int64_t init;
  if (int rc = readOneInOneOut(params, out, des, &init)) return outcome(rc);
  reachDES(des);
  bfsRecodeDES(des);
  return outcome(saveOutput(out, des, init));
}

BatchOutcome handleStatistics(ParamReader& params) {
  std::string name;
  long kind;
  if (!readParamName(params, name) || !readParamNumber(params, kind, -1, 0)) return incomplete();
  DES des;
  std::int64_t init = kind;
  if (int rc = loadInput(name, init, des)) return outcome(rc);
  const bool deterministic = isStrictlyDeterministic(des);
  const bool controllable = kind == -1 && allEventsControllable(des);
  BatchOutcome result;
  result.extra = std::to_string(des.size()) + "\n" + std::to_string(countTransitions(des)) + "\n" +
                 (deterministic ? "1" : "0") + "\n" + (controllable ? "1" : "0") + "\n\n";
  return result;
}

} // namespace kav
