#pragma once

// Isomorphism of two DES: a one-to-one correspondence of their states that
// sends state 0 to state 0 and keeps markings, vocal outputs and every
// transition (s, e, t) <-> (map[s], e, map[t]).

#include <cstdint>
#include <vector>

#include "model/des.h"

namespace kav {

// Whether a and b are isomorphic, and the correspondence.
// In:  a, b; neither is changed.
// Out: map replaced: a.size() entries; on a yes, map[s] is the state of
//      b that corresponds to s; on a no, every entry is -1.
// Two empty DES are isomorphic; an empty and a nonempty one are not.
// Method. The states reachable from 0 are forced: in a deterministic DES
// the pair (0, 0) determines the partner of every successor, so one walk
// over pairs either fixes them or fails. States that 0 does not reach (a
// DES loaded from a file may have them) have no such anchor, and a greedy
// choice of partners can fail where an isomorphism exists (a state
// without transitions may take the partner that a later chain end
// needs). For them the method is a search with backtracking: states of
// both DES are first split into classes by colour refinement (marking,
// output, labels out and in, the classes of successors and predecessors,
// the partners of already matched targets) until no class splits; only
// states of one class can correspond, and a class of different sizes in
// the two DES answers no at once. Then, state by state of a (the one with
// fewest candidates first), a partner is chosen in its class, the choice
// is propagated along transitions as for state 0, and a choice that fails
// later is undone and the next candidate tried.
// Every yes is certified: each matched pair has been compared transition
// by transition through the map, and the map is a bijection.
// The answer is exact for deterministic DES. For a nondeterministic DES a
// yes is still an isomorphism, but transitions of one label are paired in
// list order, so an isomorphism may be missed.
// Progress: "ISO1: %d %d" (state of a being placed, size of a) for every
// state that the walk from 0 does not place.
// Cost: O((n + t) log n) when every state is reachable from 0; the
// refinement of the unreachable part costs O(r * (u + t_u) log u) for r
// rounds over u states; the search is linear unless the unreachable parts
// are highly symmetric, where backtracking can grow exponentially (the
// problem is as hard as graph isomorphism there).
[[nodiscard]] bool isomorphicDES(const DES& a, const DES& b, std::vector<std::int64_t>& map);

} // namespace kav
