#pragma once

// Reachability, coreachability, trimming and breadth-first recoding: the
// machinery that nearly every procedure leans on. Every operation works in
// place and leaves a DES of size 0 untouched.

#include <cstdint>
#include <span>
#include <vector>

#include "model/des.h"

namespace kav {

// Breadth-first search from `start`, setting `reached` on every state it
// reaches that was not reached yet. The caller sets `reached` on start and
// clears it elsewhere beforehand. Transitions are scanned in stored order.
// Progress: "B_REACH: %ld" at the 0th, 10000th, ... newly reached state.
// Cost: O(n + t).
void markReachable(std::int64_t start, DES& des);

// Sets `coreached` on exactly the states from which a marked state can be
// reached (marked states included) and clears it on the others.
// Progress: "COREACH1: %ld" every 1000 steps of the search.
// Cost: O(n + t) time, O(n + t) extra space for the reversed transitions.
void markCoreachable(DES& des);

// Removes the states whose newIndex entry is -1 and moves every other state
// i to newIndex[i], deleting transitions into removed states. newIndex
// must be the rank of each kept state among the kept states, so numbering
// stays monotonic and every list stays sorted. The DES shrinks to the kept
// count.
void compactStates(DES& des, std::span<const std::int64_t> newIndex);

// Keeps the states reachable from state 0 and coreachable. Survivors keep
// their relative order; state 0 stays 0 unless the result is empty (no
// marked state reachable from 0). Afterwards every state is flagged
// reached and coreached. Cost: O(n + t).
void trimDES(DES& des);

// Keeps the states reachable from state 0, in their relative order.
void reachDES(DES& des);

// trimDES that also compacts a parallel array of one value per state
// (the pair code of a product state): pairs[new] = pairs[old]. The array
// shrinks with the DES.
void trimDESWithPairs(DES& des, std::vector<std::int64_t>& pairs);

// Renumbers the states in breadth-first order from state 0: states are
// numbered in order of first discovery, scanning each state's transitions
// in stored order (ascending label, then target). States not reachable from
// 0 are dropped. When recodeMap is given it receives the new number of
// every old state (-1 for a dropped one). Flags reached and coreached of
// the result are clear. Cost: O(n + t log d), d the largest out-degree.
void bfsRecodeDES(DES& des, std::vector<std::int64_t>* recodeMap = nullptr);

} // namespace kav
