#pragma once

// The BDD form of a modular model, shared by the symbolic operations: the
// BuDDy session, the encoding of component states, the transition relation
// partitioned by label, images and preimages, exact counts and the
// extraction of an explicit DES. Only src/symbolic includes this header
// (bdd.h defines macros such as bddtrue and bdd_init).
//
// Encoding. Component c (in BDD order) with n > 1 states owns the bit
// positions firstBit .. firstBit + bits - 1, bits = ceil(log2 n); position
// p is the current-state variable 2p and the next-state variable 2p + 1, so
// renaming one to the other keeps the order and costs one pass. State s
// sets position firstBit + j to bit (bits - 1 - j) of s: most significant
// first. Codes n..2^bits-1 name no state and are never reached. A
// one-state component owns no bits. The initial product state is all
// zeros.

#include <bdd.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "model/des.h"

namespace kav::symbolic {

// One BuDDy session: bdd_init on construction, bdd_done on destruction
// (also when std::bad_alloc unwinds through). Errors of the package are
// recorded instead of ending the process; after a full node table every
// BDD operation answers bddfalse, so callers test failed() after each phase
// and give up. A failed allocation inside the package is std::bad_alloc
// (after the new-handler). Every bdd object must be gone before the
// session ends.
struct BddSession {
  // maxNodes: node table limit, 0 for the default (a quarter of the
  // physical memory at about 40 bytes a node, node table and caches).
  BddSession(std::size_t maxNodes, int variables);
  ~BddSession();
  BddSession(const BddSession&) = delete;
  BddSession& operator=(const BddSession&) = delete;

  bool failed() const;          // the package reported an error
  std::size_t peakNodes() const; // largest node table so far
};

struct Component {
  const DES* des = nullptr;
  bool plant = false; // a plant component: its labels can occur
  int firstBit = 0;   // position of its most significant bit
  int bits = 0;       // 0 for a one-state component
};

// The relation of one label over the components that use it.
struct LabelStep {
  std::uint16_t label = 0;
  std::vector<int> moving;       // components using the label, in BDD order (bits or not)
  bdd relation;                  // pairs (x, x') of the moving components' bits
  bdd plantEnabled;              // current states where every plant component using it enables it
  bdd currentVars;               // current variables of the moving components (a variable set)
  bdd nextVars;                  // their next variables
  bddPair* toNext = nullptr;     // current -> next of the moving components
  bddPair* toCurrent = nullptr;  // next -> current
};

struct SymbolicModel {
  std::vector<Component> components; // in BDD order
  std::vector<LabelStep> steps;      // the labels that can occur, ascending
  int bits = 0;                      // state bits of the product
  bdd initial;                       // the all-zero state
  bdd marked;                        // states marked in every component
  bdd currentVars;                   // every current variable (a variable set)

  SymbolicModel() = default;
  SymbolicModel(const SymbolicModel&) = delete;
  SymbolicModel& operator=(const SymbolicModel&) = delete;
  ~SymbolicModel(); // frees the pairs
};

// Bits needed for the states of a component: ceil(log2 size), 0 for size <= 1.
int stateBits(std::int64_t size);

// Builds the model of the components, given in BDD order; plant[i] tells
// whether component i is a plant component. Needs a session with at least
// 2 * (total bits) variables. The labels that can occur are those used by
// some plant component.
void buildModel(const std::vector<const DES*>& components, const std::vector<bool>& plant, SymbolicModel& model);

// States reached from `set` by one transition of the label.
bdd image(const LabelStep& step, const bdd& set);
// States with a transition of the label into `set`.
bdd preimage(const LabelStep& step, const bdd& set);
// preimage restricted to the states of `care`; cheaper when care is small.
bdd preimageWithin(const LabelStep& step, const bdd& set, const bdd& care);

// Exact number of product states in `set` (a set over current variables),
// in decimal.
std::string countStates(const SymbolicModel& model, const bdd& set);
// Exact number of transitions (x, label, x') with x and x' in `set`.
std::string countTransitions(const SymbolicModel& model, const bdd& set);
// Whether a decimal count is at most limit (< 10^19).
bool countAtMost(const std::string& count, std::uint64_t limit);

// The explicit DES of the `states` states in `set` and the transitions
// between them, numbered breadth-first from the initial state (which must
// be in the set), labels ascending. A state is marked when every component
// is. Returns false, leaving out empty, when a state would exceed the
// transition limit.
[[nodiscard]] bool extractDES(const SymbolicModel& model, const bdd& set, std::int64_t states, DES& out);

} // namespace kav::symbolic
