#include "development/shortestPath.h"

#include <cassert>
#include <vector>

#include "ops/trim.h"

namespace kav {

namespace {

// No discovering transition (the start state, and states not reached).
constexpr std::int64_t NO_PARENT = -1;

} // namespace

void shortestPathDES(const DES& source, std::int64_t p, std::int64_t q, DES& result) {
  assert(p >= 0 && p < source.size() && q >= 0 && q < source.size());
  const auto n = static_cast<std::size_t>(source.size());
  // The discovering transition of each state as (parent, label); a reached
  // state is one with a parent, or p itself.
  std::vector<std::int64_t> parent(n, NO_PARENT);
  std::vector<std::uint16_t> label(n, 0);
  std::vector<std::uint8_t> reached(n, 0);
  std::vector<std::int64_t> queue;
  reached[static_cast<std::size_t>(p)] = 1;
  queue.push_back(p);
  bool found = false;
  for (std::size_t head = 0; head < queue.size() && !found; ++head) {
    const std::int64_t s = queue[head];
    for (const Transition& t : transitionsOf(source[s])) {
      const auto target = static_cast<std::size_t>(t.target);
      if (!reached[target]) {
        reached[target] = 1;
        parent[target] = s;
        label[target] = t.event;
        queue.push_back(static_cast<std::int64_t>(t.target));
      }
      if (static_cast<std::int64_t>(t.target) == q) {
        found = true;
        break;
      }
    }
  }

  DES path = allocStates(source.size());
  // Walking back from q over discovering transitions ends at p: only p has
  // no parent among reached states, and parents were reached earlier.
  // Every state of the path gets one transition.
  for (std::int64_t s = q; parent[static_cast<std::size_t>(s)] != NO_PARENT; s = parent[static_cast<std::size_t>(s)])
    insertTransition(path[parent[static_cast<std::size_t>(s)]], label[static_cast<std::size_t>(s)], s);
  result = std::move(path);
}

StateList blockStates(DES& des) {
  StateList blocked;
  if (des.empty()) return blocked;
  for (StateRecord& s : des.states) s.reached = 0;
  des[0].reached = 1;
  markReachable(0, des);
  markCoreachable(des);
  for (std::int64_t s = 0; s < des.size(); ++s)
    if (!des[s].reached || !des[s].coreached) blocked.push_back(s);
  return blocked;
}

} // namespace kav
