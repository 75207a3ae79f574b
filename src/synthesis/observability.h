#pragma once

// Partial observation: a natural projection erases the null labels, so
// strings with the same projection look alike to a supervisor. Here:
//   - the (strong) observability test of a language K (the legal DES) with respect
//     to a plant G;
//   - the supremal normal sublanguage (Supnorm) and the supremal
//     controllable and normal one (Supscop);
//   - the supremal relatively observable sublanguage (Suprobs).
// Marking is handled as the pseudo-event MARKER_EVENT (1001): "defined at
// a state" means "the state is marked" for it.
//
// Every operation here returns false when a product or completed state
// would exceed the transition limit (possible only with nondeterministic
// inputs); its outputs then hold no useful result. Exhausted memory is
// std::bad_alloc. Every minimization (minimizeDES, project) uses
// `minimizer`: the procedures pass the front end's choice, the default
// serves tests and tools.

#include <cstdint>
#include <vector>

#include "model/des.h"
#include "model/minimizer.h"
#include "model/sortedlists.h"

namespace kav {

// The observability test. Product states (g, k) of the plant and the legal
// DES (meetDESHashed) are grouped by what an observer cannot tell apart:
//   observability: the state sets of the product's projection (the null
//     labels erased, projectWithStateSets), i.e. the states reached by
//     strings with one projection;
//   strong observability: for each state set of the legal DES's own
//     projection, every product state whose legal component belongs to it.
// In every group of two or more members and for every label s of the plant
// (and MARKER_EVENT): when some member has s defined at g in the plant and
// at k in the legal DES, every member (g', k') with s defined at g' but not at
// k' is a violation, recorded as the transition (s, 0) at state k' of the
// failure report.
// Out: holds (true when there is no violation); failureReport: one state
//      per legal state, no markings, the violations (s, 0) as transitions.
// Cost: the product and one projection with state sets, then one merge of
//      the plant's and the legal DES's lists per group member.
[[nodiscard]] bool checkObservability(const DES& plant, const DES& legal, const EventList& nullLabels, bool strong,
                                      bool& holds, DES& failureReport);

// The supremal normal sublanguage construction with A = a and B = b: the
// strings of K = A meet B (by marking) that no string of B outside K looks
// like:  K - P^-1 P(Lm(B) - Lm(K)), P erasing the null labels, built with
// complements over the labels involved. The result is trimmed, reached
// and minimized (minimizeDES), so its marked language is normal with
// respect to Lm(B) and it is the largest such part of Lm(A) and Lm(B).
// Out: result replaced (empty when nothing remains).
// Numbering: the minimizer's over the product of K and the complement.
// Cost: two complements, three products (meetDESHashed), one projection
//      (project, staged with minimization) of the strings of B outside K.
[[nodiscard]] bool supnormDES(const DES& a, const DES& b, const EventList& nullLabels, DES& result,
                              Minimizer minimizer = Minimizer::HOPCROFT);

// The largest part of d in which every state is marked: empty when state 0
// is unmarked (or d is empty); one marked state with state 0's self-loops
// when no other state is marked; d itself when every state is; otherwise d
// without the transitions into unmarked states, trimmed.
DES supClosed(const DES& d);

// The closed-normality fixpoint of Supscop: cur = x; repeat: Y = cur with
// every state marked, Z = supClosed(supnormDES(Y, g with every state
// marked)), cur = the product of cur and Z (meetDESHashed, which builds
// meetDES's product without its pair table) trimmed, reached and
// minimized; until two rounds give isomorphic results (or both are empty).
[[nodiscard]] bool normalClosedStep(const DES& x, const DES& g, const EventList& nullLabels, DES& result,
                                    Minimizer minimizer = Minimizer::HOPCROFT);

// Figures of Supscop and Suprobs runs, for benchmarks and tests.
struct ObservationReport {
  int passes = 0;                 // outer rounds (Supscop) or conflict passes (Suprobs)
  std::int64_t largestWorking = 0; // largest working automaton met (states)
};

// Supremal controllable and normal sublanguage, with A = a (the legal
// part) and G = g (the plant): X = A; repeat: Y = normalClosedStep(X, G),
// Ns = supnormDES(Y, G), P = meetDES(G, Ns) trimmed and shaved of
// uncontrollable states (shaveUncontrollable with G as the plant), X = P
// reached and minimized; until two rounds give isomorphic results (or both
// are empty).
[[nodiscard]] bool supscopDES(const DES& a, const DES& g, const EventList& nullLabels, DES& result,
                              ObservationReport* report = nullptr, Minimizer minimizer = Minimizer::HOPCROFT);

// The supremal relatively observable sublanguage of K = Lm(G) and Lm(E)
// with respect to the plant G, relative to the ambient closed language
// C = L(G) and L(E) (with E inside G, as when E is a supervisor of G, this
// is the sublanguage of E's marked language, relative to E's own closed
// language). A sublanguage K' is relatively observable when for all
// strings s, s' with one projection, every label a and the marking:
//   s a in closure(K') and s a in L(G), s' in C, s' a in L(G)
//                                              => s' a in closure(K');
//   s in K', s' in C and s' in Lm(G)           => s' in K'.
// Method. H = meetDESHashed(G, E) follows C; the working automaton W
// starts as H trimmed and minimized. A pass forms P2 = H x W', W' being W
// completed by an unmarked dump state that takes every label of H missing
// at a state of W (strings of C outside closure(W) go there and stay), and
// groups P2's states by the state sets of its projection (the states that
// strings with one projection reach). A group conflicts on a label a (or
// the marking) when some member has a at its W component and some member
// has a at its G component but not at its W component (or at the dump).
// Every string that reaches a conflicting group with a enabled must then
// lose a: no relatively observable part of W can keep it. To take exactly
// those strings away, W is refined first: its states become the pairs
// (state of W, group) reached together, each of which stands for strings
// of one projection class, so removing a (or the marking) at the pairs of
// a conflicting group removes no other string. The refined automaton is
// trimmed and minimized and the pass repeats until no group conflicts.
// Each pass removes only strings that no relatively observable part of W
// contains, so W always holds the supremal part, and the W of a pass
// without conflict is relatively observable, hence is that part. Each
// pass also removes at least one marked string (a conflicting move or
// marking sits at a reachable pair, and the trim keeps W's closed
// behaviour that of its marked strings), so no W comes back; the passes
// are not bounded beyond that, but transfer-line supervisors of up to
// 10^5 states need one or two.
// Out: result: the last W (trim, minimized), empty when nothing remains.
// Numbering: the minimizer's (classes by smallest member) over the last
//      refinement, whose pairs are numbered breadth-first from (0, 0); over
//      H, numbered as meetDESHashed numbers it, when nothing conflicts.
// Cost per pass: the product H x W', one projection with state sets of it,
//      and a product of W with that projection's subset automaton.
[[nodiscard]] bool suprobsDES(const DES& plant, const DES& legal, const EventList& nullLabels, DES& result,
                              ObservationReport* report = nullptr, Minimizer minimizer = Minimizer::HOPCROFT);

} // namespace kav
