#pragma once

// Supervisor synthesis on modular models without building their product.
//
// A modular model is a list of plant components and a list of legal
// components (each a DES). The plant is the synchronous product of the plant
// components, each over its own alphabet (the labels on its transitions);
// the legal language is the synchronous product of the legal components,
// each free on the plant labels it does not use. Labels that no plant
// component uses never occur. For deterministic components, the product of
// plant and legal language is the product that supconDES builds from the
// composed plant and the composed, self-looped legal language.
//
// The product is never enumerated. Sets of product states and the
// transition relation are binary decision diagrams (BDDs, the BuDDy
// package): every component with n > 1 states owns a block of
// ceil(log2 n) state bits, most significant first, and each bit has a
// current and a next variable, side by side in the order. The transition
// relation is kept as one BDD per label, over the bits of the components
// that use the label (the others stay put), and images and preimages are
// taken label by label.
//
// Variable order. Components appear in options.order when given, else in
// the order of a greedy heuristic that keeps components sharing labels
// close: it starts with the first component of more than one state (plants
// come first, then the legal components, each list in its given order) and
// appends, each time, the unplaced component sharing the most labels with
// the component placed last; ties go to the one sharing the most labels
// with all placed components, then to the earlier in the list. A transfer
// line of machines and buffers comes out as M1 B1 M2 B2 ... . One-state
// components own no bits and come last.
//
// The BuDDy package is process-wide state: one operation of this file runs
// at a time, and each starts and ends its own BuDDy session, so calls may
// follow one another in one process. A full node table (the limit of
// options.maxNodes) ends the operation with SYMBOLIC_OUT_OF_MEMORY. A failed
// allocation, in our containers or inside the package, is reported as
// operator new reports one (the new-handler, then std::bad_alloc) and
// travels up as everywhere else, the session being closed on the way.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "model/des.h"

namespace kav {

// Result codes of the symbolic operations. Their values are the command
// line's exit statuses for the same outcomes (2 bad usage, 3 out of
// memory, 8 output not written, 9 too many transitions at a state).
inline constexpr int SYMBOLIC_OK = 0;
// No plant component, or options.order not a permutation of the components.
inline constexpr int SYMBOLIC_BAD_INPUT = 2;
// The node table reached options.maxNodes.
inline constexpr int SYMBOLIC_OUT_OF_MEMORY = 3;
// The supervisor has more states than options.maxStates: the figures are
// set, no explicit supervisor is built.
inline constexpr int SYMBOLIC_TOO_MANY_STATES = 8;
// A state of the explicit supervisor would carry more than
// MAX_TRANSITIONS_PER_STATE transitions (only with nondeterministic
// components); the figures are set, the supervisor is empty.
inline constexpr int SYMBOLIC_TRANSITION_LIMIT = 9;

struct SymbolicOptions {
  std::uint64_t maxStates = 10'000'000; // largest explicit supervisor built
  bool countOnly = false;               // figures only, never an explicit supervisor
  std::vector<int> order;               // component order: indexes into plants, then legal components
                                        // (plant i is i, legal j is plants.size() + j); empty: heuristic
  std::size_t maxNodes = 0;             // node table limit in nodes; 0: as many as fit in a quarter of
                                        // the physical memory
};

struct SymbolicResult {
  std::string reachableStates;        // product states reachable from the initial one, exact decimal
  std::string supervisorStates;       // exact decimal; "0" for the empty supervisor
  std::string supervisorTransitions;  // exact decimal
  std::string supervisorMarkedStates; // exact decimal
  int rounds = 0;                     // rounds of the outer fixpoint, the last one changing nothing
  std::size_t reachableNodes = 0;     // BDD nodes of the reachable set
  std::size_t supervisorNodes = 0;    // BDD nodes of the supervisor's state set
  std::size_t peakNodes = 0;          // largest node table of the run, in nodes
  std::vector<int> order;             // the component order used
  bool explicitBuilt = false;         // supervisor holds the explicit supervisor
  DES supervisor;                     // see symbolicSupcon
};

// The supervisor of a modular model: the largest set of reachable product
// states in which no uncontrollable label (even, EPSILON_LABEL included)
// that the plant enables is prevented and from which a state marked in
// every component stays reachable, kept to its part reachable from the
// initial state.
// Method: R = the reachable product states. Starting from Y = R, each round
//   1. removes the states at which the plant enables an uncontrollable
//      label without a transition of the product into Y, repeatedly, so
//      that everything reaching a removed state by an uncontrollable label
//      goes too;
//   2. keeps the states from which a marked state of Y is reachable
//      within Y;
// until a round changes nothing; then the supervisor is the part of Y
// reachable from the initial state within Y (empty when that state is
// gone). Reachability and coreachability sweep the labels in ascending
// order, closing the set under each label before the next, until a sweep
// adds nothing.
// In:   plants (at least one) and specs; none is changed. An empty
//       component makes the product empty.
// Out:  out is replaced. The figures are always set on SYMBOLIC_OK,
//       SYMBOLIC_TOO_MANY_STATES and SYMBOLIC_TRANSITION_LIMIT. On
//       SYMBOLIC_OK and unless options.countOnly, explicitBuilt is true and
//       supervisor is the explicit supervisor (the empty DES when there is
//       none).
// Numbering: breadth-first from the initial state, the labels of a state
//   ascending, in order of first discovery. A state is marked when every
//   component is; vocal outputs are 0. For deterministic components this is
//   bfsRecodeDES of supconDES on the composed plant and legal language.
// Returns: a SYMBOLIC_ code.
// Progress: "BDD <phase>: round %d, sweep %d, %d nodes, %.1f s" after every
//   sweep of a fixpoint (phases REACH, CONTROL, COREACH, SUPERVISOR).
// Cost: BDD operations, whose size depends on the order rather than on the
//   number of product states; per sweep one image or preimage per label.
//   The explicit supervisor costs O(s * e * c) for s states, e labels and
//   c components, plus a hash table of s state codes.
[[nodiscard]] int symbolicSupcon(const std::vector<DES>& plants, const std::vector<DES>& specs,
                                 const SymbolicOptions& options, SymbolicResult& out);

struct SymbolicVerdict {
  bool holds = false;           // the property holds
  std::string reachableStates;  // product states reachable from the initial one, exact decimal
  std::string offendingStates;  // reachable states where the property fails, exact decimal
  std::size_t peakNodes = 0;    // largest node table of the run, in nodes
  std::vector<int> order;       // the component order used
};

// Whether the synchronous product of the components (each over its own
// alphabet) is nonblocking: every reachable state can reach a state marked
// in every component. Offending states are the reachable states that
// cannot. An empty component makes the product empty, which holds.
// options.order indexes the components; maxStates and countOnly are unused.
// Returns: a SYMBOLIC_ code (SYMBOLIC_BAD_INPUT for no component).
[[nodiscard]] int symbolicNonconflict(const std::vector<DES>& components, const SymbolicOptions& options,
                                      SymbolicVerdict& out);

// Whether the supervisor components, composed like legal components above
// (each free on the plant labels it does not use), are controllable for
// the plant: no reachable product state has an uncontrollable label that
// the plant enables and the supervisors prevent. Offending states are the
// reachable states where that happens. Order and codes as symbolicSupcon.
[[nodiscard]] int symbolicControllable(const std::vector<DES>& plants, const std::vector<DES>& supervisors,
                                       const SymbolicOptions& options, SymbolicVerdict& out);

} // namespace kav
