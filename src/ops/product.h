#pragma once

// Products of two DES: the meet (every event executed by both operands at
// once) and the synchronous product (an event an operand does not use is
// free for it), plus the blocked-events report of the Sync procedure.
//
// Numbering, common to every product here: state 0 is the pair of initial
// states (0, 0); further states are numbered in order of first discovery,
// expanding product states in increasing number and, within one, the
// labels in ascending order. A product state exists only when it is
// reachable from (0, 0); the product is not trimmed. A product state is
// marked exactly when both components are; vocal outputs are 0; state 0
// carries the `reached` flag.
//
// Nondeterministic operands (one label to several targets at a state) pair
// every target of the label in the first operand with every target in the
// second: first operand's targets ascending, for each of them the second
// operand's targets ascending. For deterministic operands this is the
// ordinary one-to-one pairing.
//
// Pair codes: the products built from the pair table (meetDES, syncDES)
// identify product state k with the code pairOf[k] = s2 * N1 + s1 (s1 a
// state of the first operand, N1 its size, s2 of the second); the hashed
// products (meetDESHashed, syncDESHashed) with the key s2 << 32 | s1.
//
// Failure: bool results answer false, with the outputs left untouched, when a product state would carry more than
// MAX_TRANSITIONS_PER_STATE transitions (only possible with nondeterministic
// operands). Exhausted memory is std::bad_alloc.

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "model/des.h"
#include "model/sortedlists.h"
#include "ops/pairmap.h"

namespace kav {

// The product state of every pair code, for callers that look pairs up
// after the product is built (Mutex). Either a table with one entry per
// pair of states or, when that table would not pay (see meetDES), a hash
// map over the pairs that were built; find() answers the same either way.
struct PairIndex {
  std::int64_t firstSize = 0;          // N1: code = s2 * N1 + s1
  std::vector<std::uint32_t> table32;  // state + 1 per code, 0 = no such product state; only when N1 * N2 < 2^32 - 1
  PackedPairMap packedMap;             // code -> state, when no table is used and N1 * N2 < 2^32 - 1
  PairMap map;                         // code -> state, for larger N1 * N2
  bool hashed = false;                 // true: look codes up in packedMap or map

  // The product state of the pair code, or -1 when the pair is not a
  // reachable product state.
  std::int64_t find(std::int64_t code) const;
};

// Bytes above which the products never use a pair table: a quarter of the
// physical memory (1 GiB when that is unknown). A nonzero `bytes` replaces
// the limit (tests use it to force the hashed construction); 0 restores
// the default.
void setPairTableLimit(std::uint64_t bytes);
std::uint64_t pairTableLimit();

// Meet of a and b: only labels that both operands offer at their current
// states move, together.
// In:   a, b; neither is changed. N1 * N2 must fit a signed 64-bit number.
// Out:  result and pairOf (one pair code s2 * N1 + s1 per result state);
//       pairIndex, when given, receives the lookup from codes to states.
//       An empty operand gives an empty result and pairOf.
// Numbering: see the file comment.
// Returns: false when a state would exceed the transition limit.
// Cost: O(p * d + t log d) time for p product states, t product transitions and
// d the largest out-degree of the operands. Space: the product, plus the
// lookup from pair codes to states: a table of N1 * N2 entries of 4 bytes
// when it is small (4 MiB) or once the product holds an eighth of all pairs
// (and never above pairTableLimit()), else a hash map of 16 to 32 bytes per
// product state (32 to 64 when N1 * N2 >= 2^32 - 1). The numbering and the
// codes do not depend on the lookup.
[[nodiscard]] bool meetDES(const DES& a, const DES& b, DES& result, std::vector<std::int64_t>& pairOf,
                           PairIndex* pairIndex = nullptr);

// The same product as meetDES with pair keys: pairOf holds the keys
// s2 << 32 | s1. Both sizes must stay below 2^32.
// Cost: that of meetDES, whose lookup it uses (memory that follows the
// product, or the table once it pays); released before returning.
[[nodiscard]] bool meetDESHashed(const DES& a, const DES& b, DES& result, std::vector<std::int64_t>& pairOf);

// meetDES in which only the states for which expand(s1, s2) holds are
// expanded: the others are product states without transitions, and what
// is reachable only through them is never built. Numbering and codes are
// those of meetDES on the states built; unexpanded receives their count.
// Returns false when an expanded state would exceed the transition limit.
[[nodiscard]] bool meetDESPruned(const DES& a, const DES& b,
                                 const std::function<bool(std::int64_t, std::int64_t)>& expand, DES& result,
                                 std::vector<std::int64_t>& pairOf, std::int64_t& unexpanded);

// The states of meetDES(a, b) in the order of its numbering, as pair codes
// s2 * N1 + s1, handed to visit one by one until visit answers false.
// Nothing of the product is stored but the pairs seen (a PairSet, about 8
// bytes each) and the pairs found and not yet expanded.
// Cost: O(p * d) expected time for the p states visited.
void visitMeetPairs(const DES& a, const DES& b, const std::function<bool(std::int64_t)>& visit);

// Adds at every state s the self-loop (e, s) for each label e of `events`,
// unless exactly that transition is there. In place. Returns false when a
// state would exceed the transition limit: that state and the ones after it
// are left as they were. Cost: O(n * (d + k)), k labels.
[[nodiscard]] bool addSelfloops(DES& des, const EventList& events);

// Synchronous product of a and b over the label set `events` (ascending):
// a label of `events` that an operand uses on none of its transitions is
// free for that operand, as if self-looped at each of its states; labels
// used by neither operand become self-loops of every product state. With
// skipFirst, a is taken as already carrying every label it should (nothing
// is free for it). The result, numbering and pair codes equal those of
// meetDES on the self-looped operands; the operands themselves are not
// changed. `events` should contain the labels of both operands; a label of
// an operand missing from it is still synchronised on.
// Empty when b is empty (or a is).
// Cost: that of meetDES on the self-looped operands, without building them.
[[nodiscard]] bool syncDES(const DES& a, const DES& b, const EventList& events, bool skipFirst, DES& result,
                           std::vector<std::int64_t>& pairOf, PairIndex* pairIndex = nullptr);

// Synchronous product of a and b over their own two alphabets, built
// through the hash map like meetDESHashed (keys s2 << 32 | s1). Empty when
// either operand is empty.
[[nodiscard]] bool syncDESHashed(const DES& a, const DES& b, DES& result, std::vector<std::int64_t>& pairOf);

// --- Blocked events ---------------------------------------------------------

// Labels that occur on a transition of some input but on no transition of
// the result, ascending. `inputLabels` is the union of the inputs' labels
// (collectEvents over each input).
EventList blockedEvents(const EventList& inputLabels, const DES& result);

} // namespace kav
