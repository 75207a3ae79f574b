#pragma once

// Mutual exclusion: the synchronous product of two DES without the listed
// pairs of component states, and without every state from which one of
// them could be reached by uncontrollable events alone.

#include <cstdint>

#include "model/des.h"
#include "model/sortedlists.h"
#include "ops/product.h"

namespace kav {

// Removes the excluded pairs from a product. The excluded states are the
// product states pairIndex.find(b * n1 + a) of the listed pairs (a, b)
// with 0 <= a < n1 and 0 <= b < n2; pairs outside the operands or not
// reachable in the product are ignored. Every excluded state is bad, and
// so is every state from which a bad state is reached by one
// uncontrollable (even) transition: uncontrollable events cannot be
// prevented, so such a state would lead into an excluded pair anyway.
// Bad states go; transitions into them (controllable ones, from good
// states) are deleted. When state 0 is bad the result is empty.
// In place. Numbering: the good states keep their relative order.
// Cost: O(p + t) for p product states and t transitions.
void mutexCut(DES& product, std::int64_t n1, std::int64_t n2, const PairIndex& pairIndex,
              const StatePairList& excluded);

// Mutex of a and b: the synchronous product over the labels of both,
// mutexCut with the excluded pairs (a state of a, b state of b), then
// reachDES. Empty when a or b is empty.
// Out: result replaced. Numbering: the product's (breadth-first from
// (0, 0)), compacted in order.
// Returns false when the product would exceed the transition limit
// (result untouched).
// Cost: the product plus O(p + t).
[[nodiscard]] bool mutexDES(const DES& a, const DES& b, const StatePairList& excluded, DES& result);

} // namespace kav
