#pragma once

// Building a DES from existing ones by renaming states: Attach grafts one
// DES onto a state of another, Statemap merges states along a list of
// (old, new) pairs. Both are computed in the interactive process.

#include <cstdint>

#include "model/des.h"
#include "model/sortedlists.h"

namespace kav {

// Grafts `graft` onto state `state` of `base`: graft's state 0 becomes
// `state`, and every other graft state j becomes base.size() + j - 1.
// In:   base with N1 >= 1 states, state in 0..N1-1, graft with N2 >= 1
//       states (an empty graft would shrink base); neither is changed.
// Out:  result replaced, only on success, by N1 + N2 - 1 states. States
//       0..N1-1 are those of base, and `state` gains the transitions of
//       graft's state 0 (targets renamed, each pair once) but keeps its own
//       marking and vocal output: those of graft's state 0 are dropped.
//       State N1 + j - 1 carries graft state j's renamed transitions,
//       marking and vocal output.
// Numbering: as above; the renaming is increasing, so every renamed list
//       stays sorted.
// Returns false, result untouched, when
//       `state` would carry more than 65,535 transitions.
// Cost: O(n1 + n2 + t1 + t2 + d log d), d the merged out-degree of `state`.
[[nodiscard]] bool attachDES(const DES& base, std::int64_t state, const DES& graft, DES& result);

// Renames states along `pairs` (ascending, values in 0..size-1): a state x
// becomes the new value of the first pair whose old value is x, and stays
// x when no pair names it. Every transition (i, e, t) of source becomes
// (map(i), e, map(t)); transitions that coincide are stored once, so a
// state that several states map to carries the union of their lists.
// In:   source, unchanged.
// Out:  result replaced, only on success: source.size() states (also those
//       left without transitions or unreachable), no marker states, no
//       vocal outputs.
// Returns false, result untouched, when a
//       merged state would carry more than 65,535 transitions.
// Cost: O(n + t log d) time, O(n + t) extra space.
[[nodiscard]] bool statemapDES(const DES& source, const StatePairList& pairs, DES& result);

} // namespace kav
