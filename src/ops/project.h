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

// The projection procedure: the result of projectStaged, computed without
// its stages. When the staged construction would run no subset
// construction (no label of its first stage occurs on a transition, and no
// erased label on a transition reachable from state 0), the result is the
// input reached and minimized (minimizeDES), numbered as that leaves it.
// Otherwise it is the minimal deterministic DES of the projected closed and
// marked behaviour, numbered breadth-first from state 0 (labels ascending),
// vocal outputs 0: whatever the route, that DES and numbering are unique.
// The route: reach; erased labels become one silent label; every cycle of
// silent moves is merged into one state; one subset construction over the
// silent label; minimizeHopcroft; bfsRecodeDES. In place.
// Cost: the subset construction, O(sum of subset sizes times moves), which
// is bounded by the determinized projection rather than by any partial
// one; O(n + t) for the rest before it.
void project(DES& des, const EventList& nullLabels);

// The staged reference of project, with N the state count at entry:
//   no labels:        reach and minimize;
//   N < 100:          projectCore with every label, then reach and
//                     minimize when 2 or more states result;
//   100 <= N < 1000:  projectCore two labels at a time in ascending order
//                     (an odd last one alone), each stage followed by
//                     reach and minimize when more than 1 state results;
//   N >= 1000:        the same one label at a time.
// Minimize is minimizeDES (the session's minimizer). In place.
// Numbering: that of the last step (minimization keeps blocks in order of
// their smallest state; a result of one state is state 0).
void projectStaged(DES& des, const EventList& nullLabels);

// The same stages with projectCore alone: no reach and no minimization
// between or after them.
void projectNoMinimize(DES& des, const EventList& nullLabels);

// projectCore once over the whole list, without staging, that also hands
// back the subset behind every result state: stateSets[k] lists, ascending,
// the states of the input that result state k stands for. When the DES is
// left unchanged (empty, or nothing erased) stateSets[i] = {i}.
void projectWithStateSets(DES& des, const EventList& nullLabels, std::vector<StateList>& stateSets);

} // namespace kav
