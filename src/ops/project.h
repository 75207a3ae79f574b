#pragma once

// Natural projection: the transitions labelled with the erased (null)
// labels become unobservable, and the DES is made deterministic again by
// subset construction over the closures under erased transitions.
//
// Workload: supervisors of 10^4 to 10^6 states with a few erased labels.
// The procedure's result is, once an erased label occurs, the minimal
// deterministic DES of the projected behaviour numbered breadth-first; it
// is computed along a route whose intermediates stay small (see project).
// The staged construction that defines the procedure (label by label from
// 1000 states, each stage reached and minimized) is kept as projectStaged.

#include <cstdint>
#include <vector>

#include "model/des.h"
#include "model/minimizer.h"
#include "model/sortedlists.h"

namespace kav {

// Reserved label, above every real label (0..999 and EPSILON_LABEL), that
// an erased transition stands for. It never reaches a saved DES; labels
// that procedures invent for erasure (the semi-determinism fix) stay
// below it.
inline constexpr std::uint16_t NULL_LABEL = 1023;

// Erases the listed labels and determinizes by subset construction.
// In/out: des is replaced by the result; nothing else is kept.
// The subset of state i's erased successors (closure) is every state
// reachable from i by erased transitions alone, i included. Subset 0 is
// the closure of state 0; the successor of a subset under a kept label L
// is the union of the closures of all L-targets of its members. A subset
// is marked when one of its members is; vocal outputs are 0.
// An empty DES, or one in which no transition carries a listed label, is
// left unchanged (numbering, vocal outputs and unreachable states
// included).
// Numbering: subsets in order of creation, breadth-first from subset 0,
// labels ascending within a subset.
// Progress: "PROJECT: %d %d" (subset being expanded, last subset so far)
// for every subset.
// Cost: O(c + s * m log m) for closures of total size c, s subsets and m
// the largest number of (label, target) moves of one subset; every subset
// lookup is one hash probe plus a comparison of member lists.
void projectCore(DES& des, const EventList& labels);

// Work limits of project's subset constructions, counted in states, moves
// and simulation pairs visited, and whether silent cycles are merged. The
// defaults suit every caller; the tests set them to force each route.
struct ProjectLimits {
  std::int64_t plainWork = 20'000'000;   // the plain construction's, before the pruned one is tried
  std::int64_t prunedWork = 10'000'000;  // the pruned construction's, before the plain one goes on
  bool keepPoorPruning = false;          // go on pruning even when few members are dropped
  bool mergeSilentCycles = true;         // false takes the route of a merge that would exceed the transition limit
};

// The projection procedure: the result of projectStaged, computed without
// its stages. When the staged construction would run no subset
// construction (no label of its first stage occurs on a transition, and no
// erased label on a transition reachable from state 0), the result is the
// input reached and minimized (minimizeDES with `minimizer`), numbered as
// that leaves it.
// Otherwise it is the minimal deterministic DES of the projected closed and
// marked behaviour, numbered breadth-first from state 0 (labels ascending),
// vocal outputs 0: whatever the route, that DES and numbering are unique.
// The route: reach; erased labels become one silent label; every cycle of
// silent moves is merged into one state; a subset construction over the
// silent label; minimizeHopcroft; bfsRecodeDES. In place.
// The subset construction is the plain one (every subset the closure of
// its members under silent moves, kept as the members no silent move
// reaches from another) until its work exceeds
// limits.plainWork. Then a construction that prunes each subset to the
// members no other member simulates is tried: it keeps a few dozen subsets
// where the plain one makes hundreds of thousands that minimize to the same
// few dozen states. It gives up, and the plain construction goes on, when
// its own work exceeds limits.prunedWork or when, after 64 subsets, the
// pruning dropped fewer than half the members (unless
// limits.keepPoorPruning): then the subsets differ in behaviour and
// pruning them costs more than it saves. (The pruned construction needs
// the silent cycles merged, which fails only at the transition limit, and
// fewer than 2^32 - 1 states; otherwise the plain one runs to its end.)
// Cost: the plain construction, O(sum of subset sizes times moves), bounded
// by the determinized projection rather than by any partial one, plus about
// limits.prunedWork for a pruned one that gives up; O(n + t) before them.
// The procedures pass the front end's minimizer; the defaults serve tests
// and tools.
void project(DES& des, const EventList& nullLabels, const ProjectLimits& limits = {},
             Minimizer minimizer = Minimizer::HOPCROFT);

// The staged reference of project, with N the state count at entry:
//   no labels:        reach and minimize;
//   N < 100:          projectCore with every label, then reach and
//                     minimize when 2 or more states result;
//   100 <= N < 1000:  projectCore two labels at a time in ascending order
//                     (an odd last one alone), each stage followed by
//                     reach and minimize when more than 1 state results;
//   N >= 1000:        the same one label at a time.
// Minimize is minimizeDES with `minimizer`. In place.
// Numbering: that of the last step (minimization keeps blocks in order of
// their smallest state; a result of one state is state 0).
void projectStaged(DES& des, const EventList& nullLabels, Minimizer minimizer = Minimizer::HOPCROFT);

// The same stages with projectCore alone: no reach and no minimization
// between or after them.
void projectNoMinimize(DES& des, const EventList& nullLabels);

// projectCore once over the whole list, without staging, that also hands
// back the subset behind every result state: stateSets[k] lists, ascending,
// the states of the input that result state k stands for. When the DES is
// left unchanged (empty, or nothing erased) stateSets[i] = {i}.
void projectWithStateSets(DES& des, const EventList& nullLabels, std::vector<StateList>& stateSets);

} // namespace kav
