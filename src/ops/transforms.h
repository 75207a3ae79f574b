#pragma once

// Small transforms of one DES: self-loops where a label is absent, the
// complement, relabelling (with the semi-determinism fix that it shares
// with the high-level generator), and the one-state DES of a label set.

#include <cstdint>

#include "model/des.h"
#include "model/sortedlists.h"

namespace kav {

// Adds at every state s, for every label e of `labels` that s has no
// transition with, the self-loop (e, s). A state that already has e
// towards any state gets nothing for e, so a deterministic DES stays
// deterministic. In place; numbering unchanged.
// Returns false when a state would exceed MAX_TRANSITIONS_PER_STATE; that
// state is left as it was, the others get their self-loops.
// Cost: O(n * (d + k)) for d transitions per state and k labels.
[[nodiscard]] bool selfloopWhereAbsent(DES& des, const EventList& labels);

// Complement over the alphabet S = the labels on des's transitions plus
// `extraLabels`: every marking is toggled and every state missing a label
// of S gets it towards a dump state D. D is added once, as the last state,
// the first time it is needed; it is marked and loops on every label of S.
// The empty DES becomes one marked state looping on every label of S.
// In place; the caller removes unreachable states (reachDES) afterwards.
// Numbering: the old states keep their numbers; D is state size.
// Returns false when a state would exceed MAX_TRANSITIONS_PER_STATE; that
// state keeps its transitions (its marking is toggled all the same).
// Cost: O(n * (d + |S|)).
[[nodiscard]] bool complementDES(DES& des, const EventList& extraLabels);

// Relabels every transition whose label is the old label of a pair with
// that pair's new label (for an old label listed several times, the
// smallest new label); other labels stay. Transitions that become equal
// collapse. When that leaves some state with two transitions of one label,
// fixSemiDeterminism (label 0 treated like any other) makes it
// semi-deterministic and its fresh labels are returned in freshLabels, to
// be erased by projection.
// In:  source; pairs as (old, new) labels, ascending.
// Out: result replaced (same states, markings and vocal outputs as source,
//      plus the fix's new states at the end); freshLabels replaced.
// Returns false when the fix ran out of fresh labels (result then holds
// the partly fixed DES).
// Cost: O(t log d) for the relabelling, plus the fix.
[[nodiscard]] bool relabelDES(const DES& source, const StatePairList& pairs, DES& result, EventList& freshLabels);

// The semi-determinism fix. For every state s in ascending order, new
// states included as they appear, and every transition of s whose label a
// repeats the label of the transition before it (a = 0 excepted when
// skipLabelZero): a new state n is appended (marking of s, silent,
// copies of the transitions s has at that moment with labels other than
// a), the duplicate transition moves from s to n, and s gets (f, n) for a
// fresh label f. Fresh labels are the smallest values, from a counter that
// starts at 0 and only grows, that label no transition of the DES; they
// must stay below NULL_LABEL. Erasing them afterwards restores the
// original behaviour, now reached through deterministic choices.
// In place; the fresh labels used are inserted into freshLabels.
// Returns false when a fresh label would reach NULL_LABEL (1023); the DES
// is then partly fixed.
// Progress: "FIX_SEMI: %d %d" (state, state count) for every state.
// Cost: O(n * d^2) in the worst case, d the largest out-degree.
[[nodiscard]] bool fixSemiDeterminism(DES& des, bool skipLabelZero, EventList& freshLabels);

// One marked state with the self-loop (e, 0) for every label e.
DES allEventsDES(const EventList& labels);

} // namespace kav
