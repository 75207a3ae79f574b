#pragma once

// Nonconflict of two DES: every state their product can reach can still
// reach a state marked in both, so running them together never blocks.

#include "model/des.h"

namespace kav {

// Whether every state of des can reach a marked state; true for an empty
// DES. Searches backwards from the marked states in ascending order,
// breadth-first over the reversed transitions, and answers whether the
// search flagged every state.
// Progress: "B_REACH: %ld" at the 0th, 10000th, ... newly flagged state.
// Cost: O(n + t) time; O(n + t) extra space for the reversed transitions.
bool allCoreachable(const DES& des);

// Whether a and b are nonconflicting: allCoreachable on meetDES(a, b).
// An empty a or b gives an empty product and the answer yes.
// Out: answer.
// Returns false when the product would exceed the transition limit
// (answer untouched).
// Cost: the product, plus O(p + t) for its p states and t transitions.
[[nodiscard]] bool nonconflictingDES(const DES& a, const DES& b, bool& answer);

} // namespace kav
