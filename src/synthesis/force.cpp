#include "synthesis/force.h"

#include <vector>

#include "ops/trim.h"

namespace kav {

void forceDES(const DES& source, const EventList& forcible, const EventList& preemptable, std::uint16_t timeout,
              DES& result) {
  DES r = copyDES(source);
  std::vector<Transition> kept, delayed;
  for (std::int64_t s = 0; s < source.size(); ++s) {
    const auto list = transitionsOf(source[s]);
    bool hasForcible = false, hasPreemptable = false;
    for (const Transition& t : list) {
      if (findEvent(forcible, t.event)) hasForcible = true;
      else if (findEvent(preemptable, t.event)) hasPreemptable = true;
    }
    if (!hasForcible || !hasPreemptable) continue;
    const std::int64_t n = r.size();
    kept.clear();
    delayed.clear();
    for (const Transition& t : list) {
      if (findEvent(forcible, t.event)) {
        kept.push_back(t);
      } else if (findEvent(preemptable, t.event)) {
        delayed.push_back(t);
      } else {
        kept.push_back(t);
        Transition copy = t;
        if (t.target == s) copy.target = n;
        delayed.push_back(copy);
      }
    }
    Transition link;
    link.event = timeout;
    link.target = n;
    kept.push_back(link);
    // Each list is no longer than s's own, so neither can exceed the limit.
    assignFittingTransitions(r[s], kept);
    assignFittingTransitions(r.states.emplace_back(), delayed);
  }
  reachDES(r);
  result = std::move(r);
}

} // namespace kav
