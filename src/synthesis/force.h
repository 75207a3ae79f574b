#pragma once

// Forcing for timed control: at every state where a forcible event
// competes with preemptable ones, the preemptable events are moved behind
// a new timeout event, so that a forcible event can preempt them.

#include <cstdint>

#include "model/des.h"
#include "model/sortedlists.h"

namespace kav {

// Force of source. For every state s of source, in ascending order, whose
// transitions include at least one forcible label and one preemptable
// label (preemptable and not forcible): a new state n (unmarked, silent)
// is appended; s gets (timeout, n); every preemptable transition (e, t)
// moves from s to n; every other non-forcible transition (e, t) is copied
// to n, a self-loop (e, s) as (e, n); forcible transitions stay at s only.
// A moved preemptable self-loop (e, s) keeps pointing at s. Then the
// states unreachable from 0 are removed. An empty source gives an empty
// result.
// Out: result replaced. Numbering: source's states keep their numbers,
// new states follow in the order of their s; reachDES then compacts in
// order.
// Cost: O(n + t) plus the reach.
void forceDES(const DES& source, const EventList& forcible, const EventList& preemptable, std::uint16_t timeout,
              DES& result);

} // namespace kav
