#pragma once

// One shortest path out of a DES: between two chosen states, or from the
// initial state to a blocking state. Computed in the interactive process.

#include <cstdint>

#include "model/des.h"
#include "model/sortedlists.h"

namespace kav {

// A shortest path from p to q, as a DES of its own. Breadth-first search
// from p: states leave the queue in the order they entered it and each
// state's transitions are scanned in stored order (ascending label, then
// target); the transition that first reaches a state is its discovering
// transition. The search ends at the first transition scanned into q.
// In:   source with p and q in 0..size-1; unchanged.
// Out:  result replaced: source.size() states, keeping their numbers,
//       with exactly the discovering transitions along the way back from q
//       to p; no state is marked and none has a vocal output. So among
//       paths of equal length the one discovered first wins; when q cannot
//       be reached from p, and always when p == q (p counts as reached
//       before the search, so nothing discovers it), the result has no
//       transitions.
// Cost: O(n + t) time, O(n) extra space.
void shortestPathDES(const DES& source, std::int64_t p, std::int64_t q, DES& result);

// The states that are not both reachable from state 0 and coreachable
// (unreachable states included), ascending; empty for an empty DES.
// Sets the reached and coreached flags of des as markReachable (from 0)
// and markCoreachable leave them.
// Cost: O(n + t).
StateList blockStates(DES& des);

} // namespace kav
