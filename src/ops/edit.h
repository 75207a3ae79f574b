#pragma once

// Structural edits of a DES typed in by the user: removing states, and
// choosing another initial state when the old one goes.

#include <cstdint>

#include "model/des.h"
#include "model/sortedlists.h"

namespace kav {

// Removes the states of `doomed` (ascending, each in 0..size-1) with their
// transitions and every transition into them. The survivors keep their
// relative order, except that `newInitial` (a survivor, in the old
// numbering; -1 keeps the order) becomes state 0 and the survivors before
// it move up by one. Marked bits and vocal outputs move with their states.
// Works in place. Cost: O(n + t log d) time, d the largest out-degree;
// O(n) extra space.
void deleteStates(DES& des, const StateList& doomed, std::int64_t newInitial);

} // namespace kav
