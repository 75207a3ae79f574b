#pragma once

// Hierarchical control through vocal outputs: a state's output (10..99, 0
// = silent) is the high-level event that entering it emits. Vocalize
// attaches outputs to the states entered by chosen transitions; Outconsis
// makes them output-control-consistent (an output says whether the
// high-level event was caused controllably); Hiconsis adds outputs until
// the model is hierarchically consistent; Higen builds the high-level
// generator whose events are the outputs.
//
// Output encoding of Outconsis and Hiconsis: an output v in 1..99 becomes
// 10 v, one above 99 becomes 10 (v div 10); the last digit then tells the
// two versions of one high-level event b apart: 10 b (entered
// uncontrollably) and 10 b + 1 (entered controllably).
//
// All of them leave an empty DES empty.

#include <cstdint>

#include "model/des.h"
#include "model/minimizer.h"
#include "model/sortedlists.h"

namespace kav {

enum HierarchyStatus {
  HIERARCHY_OK = 0,
  HIERARCHY_VOCAL_INITIAL_STATE,    // state 0 of the input has an output; nothing changed
  HIERARCHY_OUTPUT_OVERFLOW,        // Hiconsis: no free high-level event (base 10..99) left
  HIERARCHY_EVENTS_EXHAUSTED,       // Higen: renumbering the events needs a label above 999
  HIERARCHY_FRESH_LABELS_EXHAUSTED, // Higen: the semi-determinism fix ran out of labels
};

// Vocalization. Each request (x, e, y, v) asks that the transition
// (x, e, y) enter a copy of y with output v. One new state is appended for
// every distinct (y, v) of the requests; then, for every requested y in
// ascending order and each of its outputs v ascending, the next new state
// m takes y's marking, output v and a copy of y's transitions (a copied
// transition that is itself requested with an output is requested for the
// copy too, so it enters the right copy), and every request (x, e, y, v)
// replaces (x, e, y) by (x, e, m). Finally unreachable states are removed
// and the states renumbered breadth-first (bfsRecodeDES).
// In: requests whose states lie in 0..size-1; a request naming a
// transition that des does not have is ignored.
// In place. Numbering: breadth-first from state 0.
// Cost: O((n + t) log t + r log r) for r requests.
void vocalizeDES(DES& des, const QuadrupleList& requests);

// Output-control consistency. Outputs are encoded as above; when
// transitions enter state 0, a copy of state 0 takes them all. Every state
// then has a class: 1 when it is entered by a controllable transition, 0
// when by an uncontrollable one from a vocal state (or not at all), and
// through a silent state by an uncontrollable transition the class of
// that silent state. A vocal state's output ends in its class; a state
// entered with both classes is split into the uncontrollably entered
// original and a controllably entered copy (appended in ascending order of
// the originals), each taking its entering transitions. The result is
// reached and minimized (minimizeDES with `minimizer`, as every
// minimization below; the procedures pass the front end's choice).
// In place; HIERARCHY_VOCAL_INITIAL_STATE (des unchanged) or HIERARCHY_OK.
// Numbering: that of the minimization.
// Cost: O(n + t) plus the minimization.
[[nodiscard]] int outconsisDES(DES& des, Minimizer minimizer = Minimizer::HOPCROFT);

// Hierarchical consistency: Outconsis, then passes that give a new output
// 10 g + 1 to the target t of every relevant transition (s, e, t) (e
// controllable, and t vocal or leading to a vocal state by uncontrollable
// transitions through silent states) after which the vocal states that
// may follow (t, or those reachable from t through silent states) are not
// all reachable from s unambiguously: along some path through silent
// states on which every relevant transition leads to just the vocal state
// reached. A state that has an output is never relabelled, so each state
// is relabelled at most once and the passes end. g is the first base
// 10..99 that no output uses; with multipleOutputs every relabelled state
// takes a new base. Then Outconsis again.
// In place. Returns HIERARCHY_VOCAL_INITIAL_STATE (des unchanged),
// HIERARCHY_OUTPUT_OVERFLOW (no base free at the start, or in multiple
// mode the bases ran out; des is then partly changed) or HIERARCHY_OK.
// Progress: "HCC: %ld %ld %ld" (state count, pass, 1 while the pass has
// changed nothing) at every tenth state of a pass.
// Cost: O(p * n * v * (n + t)) for p <= n + 1 passes and v vocal states:
// a search over (state, vocal state) pairs from every state, the targets'
// reachable vocal sets cached until an output changes.
[[nodiscard]] int hiconsisDES(DES& des, bool multipleOutputs, Minimizer minimizer = Minimizer::HOPCROFT);

// High-level generator: every transition (s, e, t) becomes (s, output of
// t, t), silent targets giving label 0; a vocal state is also marked when
// a marked silent state is reachable from it through silent states; the
// labels 0 and the fresh labels of the semi-determinism fix (when the
// result is not deterministic; label 0 is left nondeterministic) are then
// erased by project.
// In place. Returns HIERARCHY_VOCAL_INITIAL_STATE (des unchanged),
// HIERARCHY_EVENTS_EXHAUSTED (renumbering the distinct labels 1, 2, ...
// around the output values would need a label above 999; des unchanged),
// HIERARCHY_FRESH_LABELS_EXHAUSTED (des unchanged) or HIERARCHY_OK.
// Numbering: that of project.
// Cost: O(n + t) plus the fix and the projection.
[[nodiscard]] int higenDES(DES& des, Minimizer minimizer = Minimizer::HOPCROFT);

} // namespace kav
