#pragma once

// State minimization: replaces a DES by its quotient under the coarsest
// equivalence in which two equivalent states
//   1. have the same marked bit, vocal output and transitionCount, and
//   2. for every label a and every class C, either both have an
//      a-transition into C or neither has.
// For a deterministic DES this merges exactly the states with the same
// future closed and marked behaviour and vocal outputs; for a
// nondeterministic one it is bisimilarity refined by the three fields.
//
// Numbering of the quotient: classes are numbered in order of their
// smallest state, so state 0's class is state 0 and the relative order of
// the first members survives (old 0, 1, 2, 3, 4 with 1 and 3 equivalent
// become 0, 1, 2, 1, 3). Each new state takes marked and vocal from its
// members and the union of their transitions, targets replaced by classes.
// A DES in which no two states are equivalent (and every DES of fewer than
// two states) is left unchanged, numbering included.
//
// In a nondeterministic DES a merge can shrink a transition list (two
// targets of one label falling into one class), which can make states of
// the quotient equivalent in turn; the minimizers then repeat on the
// quotient until no two states are equivalent. The classes stay numbered
// by their smallest original state. A deterministic DES needs one round.
//
// Unreachable states
// take part like any other; callers that want them gone apply reachDES
// first.

#include <cstdint>
#include <span>

#include "model/des.h"
#include "model/minimizer.h"

namespace kav {

// Partition refinement with a splitter per (label, class of targets).
// In place. Progress: "MINIMIZE: %ld %ld" (classes so far, states) after the
// initial partition and after every split.
// Cost: O((n + t) log n) time and O(n + t) space for n states and t
// transitions per round, nondeterministic DES included.
void minimizeHopcroft(DES& des);

// The same result by testing states pairwise with equivalentStates: state
// i opens a class unless an earlier class took it, and every later
// unplaced state with the same marked bit, vocal output and transition
// count joins it when equivalent. In place. Progress: "MINIMIZE: %ld %ld"
// (i, states not yet placed) for every i.
// Cost: O(n^2) equivalence tests, each O(t) pairs for a deterministic DES
// and up to quadratic in n for a nondeterministic one; for small DES and
// cross-checks.
void minimizePairwise(DES& des);

// Whether p and q are equivalent. blockOf holds, per state, the class
// found so far (-1 for a state not yet placed); states placed in classes
// must be exactly their equivalence classes, so two placed states are
// equivalent when their classes agree. Walks the pairs of states reachable
// from (p, q) by equal labels: a pair whose marked bits, vocal outputs,
// transition counts or label sets differ, or whose placed states lie in
// different classes, is inequivalent; then pairs are discarded until every
// remaining one can match each transition of either state by a transition
// with the same label into a remaining (or an equal) pair. Stops early at
// an inequivalent pair forced on (p, q) by a chain of single transitions,
// which is every one in a deterministic DES.
[[nodiscard]] bool equivalentStates(std::int64_t p, std::int64_t q, const DES& des,
                                    std::span<const std::int64_t> blockOf);

// minimizeHopcroft, or minimizePairwise when the minimizer says so. The
// procedures pass the front end's choice; the default serves tests and tools.
void minimizeDES(DES& des, Minimizer minimizer = Minimizer::HOPCROFT);

} // namespace kav
