#pragma once

// Reductions of a DES with respect to a natural projection, that is, a split
// of its labels into image (observed) labels and null (erased) labels:
//   - the supremal quasi-congruence (plain or strong) and its quotient;
//   - the natural observer, which enlarges a seed image set until that
//     quotient is deterministic;
//   - the uncertainty model: the projection with every erased label put
//     back as a self-loop wherever it can occur.
//
// The working view Q of a DES, shared by the first two: every transition
// whose label is not an image label becomes silent (EPSILON_LABEL; the
// label EPSILON_LABEL itself is always silent, even when listed as an
// image label), and every marker state gets a self-loop with the marker
// pseudo-event MARKER_EVENT. The observed events are the image labels that
// occur on the DES (ascending), then MARKER_EVENT, and for the strong
// variant EPSILON_LABEL too.
//
// Observable successors: for an observed event s other than EPSILON_LABEL,
// R_s(x) is every state reached from x by silent moves, one s-move and
// silent moves again; R_EPSILON_LABEL(x) is every state reached from x by
// silent moves alone, x included. A quasi-congruence is a partition in
// which any two states of one cell reach, under every observed event s,
// the same set of cells through R_s; the supremal one is the coarsest.

#include <cstdint>
#include <vector>

#include "model/des.h"
#include "model/sortedlists.h"

namespace kav {

// The marker pseudo-event: marking as an event, printed "_" in reports.
inline constexpr std::uint16_t MARKER_EVENT = 1001;

// Figures of one quasi-congruence computation, for benchmarks and tests.
struct QuasiCongruenceReport {
  int passes = 0;                // refinement passes, the last one changing nothing
  std::int64_t relationSize = 0; // pairs (x, y) over all observable successor relations
  std::int64_t cells = 0;        // cells of the final partition
};

// The supremal quasi-congruence (strong = false) or strong quasi-congruence
// (strong = true) of des for the given image labels, and its quotient.
// In:   des; imageLabels ascending (labels not on des are ignored).
// Out:  quotient: one state per cell, cells numbered by their smallest
//       state (so state 0's cell is state 0). For every transition (x, e, y)
//       of Q, with c and d the cells of x and y: a marker self-loop marks c;
//       a silent move inside one cell disappears; anything else becomes the
//       transition (e, d) of c, so silent moves between cells stay as
//       EPSILON_LABEL transitions. Vocal outputs are 0.
//       representative: for every state of des, the smallest state of its
//       cell. Empty, with an empty quotient, for an empty des; empty, with a
//       one-state quotient marked as state 0 of des, when no image label
//       occurs on des (then there is no partition to report).
// Method: the initial partition separates states by the observed events
// that can occur after silent moves; then every pass gives each state the
// signature {(s, cell of y) : y in R_s(x)} and splits each cell by equal
// signatures, until a pass leaves the number of cells unchanged.
// Returns: false when a quotient state would exceed the transition limit
//       (the outputs then hold the partial result).
// Progress: "ETA: %ld %d" with the event and state counts at the start and
//       every 10,000 states while the relations are built.
// Cost: the relations take O(n * c) time for silent closures of size up to
//       c; each pass is O(r log d) for r = relationSize and d the largest
//       signature, with a hash of the signatures; the passes number at most
//       the final cell count and are few on supervisors, whose cells are
//       told apart within a few steps.
[[nodiscard]] bool supqcDES(const DES& des, const EventList& imageLabels, bool strong, DES& quotient,
                            std::vector<std::int64_t>& representative, QuasiCongruenceReport* report = nullptr);

// Figures of a natural-observer computation.
struct NatobsReport {
  int iterations = 0; // quotients computed
};

// The natural observer: starting from the seed, image labels are added
// until the quasi-congruence quotient (supqcDES, plain) is deterministic.
// After a nondeterministic quotient, each of its nondeterministic states
// sets requirements on the labels of des that are still null:
//   (a) for each silent move of the quotient from its cell c to a cell d:
//       all the labels of the erased transitions of des from c into d
//       (the move stays as long as one of them is erased). A move that
//       des also makes with the silent label itself is left out: no image
//       set removes it.
//   (b) when the state has one label towards two different cells: one of
//       the labels of the erased transitions between two different states
//       of its cell. In a quasi-congruence the members of a cell reach the
//       same cells under every label, so such a fork comes from silent
//       moves inside the cell, and observing one of them splits it.
// The candidates are all labels of all requirements. Each candidate, in
// ascending order, is dropped again when every requirement still holds
// without it (the resolution test): the labels of (a) always stay, and of
// each (b) at least one stays. The full candidate set passes the test, and
// the kept set is never empty while a requirement exists.
// The loop stops when the quotient is deterministic, or when no state
// sets a requirement (nondeterminism of des itself, or silent moves on
// the label EPSILON_LABEL, which no image set can resolve). Each iteration
// makes at least one null label an image label, so at most (null labels +
// 1) quotients are computed.
// In:   des; seed (labels not on des are kept in the image set).
// Out:  observer: the last quotient; image: the final image set, ascending.
// Returns: false when a quotient exceeded the transition limit.
// Cost: one supqcDES per iteration plus a scan of the transitions of des
//       for the requirements.
[[nodiscard]] bool natobsDES(const DES& des, const EventList& seed, DES& observer, EventList& image,
                             NatobsReport* report = nullptr);

// The uncertainty model: des projected with the null labels erased by the
// subset construction (projectWithStateSets, no minimization), and at each
// projected state c every null label e that labels a transition of one of
// the states c stands for added as the self-loop (e, c).
// Out: result replaced. Numbering: that of the subset construction (des
//      itself, unreachable states included, when nothing is erased).
// Returns: false when a state would exceed the transition limit.
// Cost: the subset construction plus one pass over the members' transitions.
[[nodiscard]] bool uncertmodDES(const DES& des, const EventList& nullLabels, DES& result);

} // namespace kav
