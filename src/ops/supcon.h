#pragma once

// The supremal controllable sublanguage: for a plant G and a legal language
// E, the largest trim part of their product in which no uncontrollable
// event (even label, EPSILON_LABEL included) that the plant can execute is
// ever prevented.

#include <cstdint>
#include <vector>

#include "model/des.h"

namespace kav {

// Supervisor of plant and spec: the product (meetDES), trimmed, then shaved
// of uncontrollable states until nothing changes. Computed without the
// product's bulk: the product is explored without expanding the states at
// which spec prevents an uncontrollable event of the plant (they are bad,
// and whatever lies only beyond them is never reached by the supervisor),
// trimmed and shaved; then one more breadth-first pass over the full
// product, storing only the pairs it has seen, gives the supervisor's
// states their numbers. The result is the same as that of the full route.
// In:   plant, spec; neither is changed.
// Out:  result (replaced on success); pairOf, when given, receives the pair
//       code e * NG + g (plant state g, spec state e, NG the plant's size)
//       of every result state. An empty plant or spec, a product without a
//       reachable marked state, or a supervisor whose initial state is bad
//       gives the empty DES.
// Numbering: the product's (breadth-first from (0, 0), labels ascending),
// compacted order-preservingly by every trim. A state is marked when both
// components are; vocal outputs are 0.
// Returns: false when an expanded product state would exceed the
// transition limit (outputs untouched).
// Progress: "SHAVE1 %ld %ld" (previous and current size) per shave round.
// Cost: the pruned product (p states, t transitions), plus O(r * (p + t))
// for r shave rounds (every round but the last removes at least one state;
// in practice few run), plus, when something was pruned, the numbering
// pass over the full product's states up to the last supervisor state:
// O(q * d) time for q states and out-degree d, about 8 bytes per state.
[[nodiscard]] bool supconDES(const DES& plant, const DES& spec, DES& result,
                             std::vector<std::int64_t>* pairOf = nullptr);

// Uses the `reached` flag as "good": every good state loses its transitions
// into bad states, every bad state loses all its transitions. In place.
// Cost: O(p + t).
void cutBadStates(DES& des);

// The shave loop on a trimmed product of plant (size NG) and legal DES
// whose pair codes are in pairOf: judge every state, cut the bad ones, trim
// (pairOf compacted alongside), until a round removes nothing. A state k is
// bad when some uncontrollable label that the plant enables at its plant
// component g = pairOf[k] mod NG has no transition from k to a good state.
// States are judged in ascending order in place, so a lower-numbered target
// already carries this round's verdict and a higher one the previous
// round's; a state is good while it is judged, so an uncontrollable
// self-loop counts as leading to a good state. When state 0 turns bad the
// product becomes empty (and pairOf too).
// Progress: "SHAVE1 %ld %ld" with the previous and the current size at the
// start of every round (the first line shows one number twice).
void shaveUncontrollable(const DES& plant, DES& product, std::vector<std::int64_t>& pairOf);

} // namespace kav
