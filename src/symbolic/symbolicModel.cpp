#include "symbolic/symbolicModel.h"

#include <algorithm>
#include <cassert>
#include <climits>
#include <cstdlib>
#include <new>
#include <unordered_map>

#include "model/memory.h"

namespace kav::symbolic {

namespace {

// --- The BuDDy session ------------------------------------------------------

// The package calls plain function pointers, so what they record is static.
int firstError = 0;
std::size_t largestTable = 0;

// Reported as operator new reports a failed allocation: through the
// new-handler (the batch child's ends the process with result code 3), else
// std::bad_alloc, which unwinds through the package (built with unwind
// tables) to the caller's wrapper, BddSession's destructor closing the
// package on the way.
[[noreturn]] void allocationFailed() {
  if (const std::new_handler handler = std::get_new_handler()) handler();
  throw std::bad_alloc();
}

void onError(int code) {
  if (firstError == 0) firstError = code;
  // The package's own allocation failed: its table sizes are now out of
  // step with its tables, so it must not be called again but to close it.
  if (code == BDD_MEMORY) allocationFailed();
}

// The default handlers print on standard output; a library stays silent.
void onGarbageCollection(int, bddGbcStat*) {}

// Node table plus the operator caches at the ratio set below: about 40
// bytes a node.
constexpr std::size_t BYTES_PER_NODE = 40;

// Called before the package grows its node table and then its caches. A
// failed cache allocation would leave a cache without a table, which even
// closing the package writes to; so the whole growth is tried here first,
// and refused while the package is still sound.
void onResize(int, int newSize) {
  largestTable = std::max(largestTable, static_cast<std::size_t>(newSize));
  void* probe = std::malloc(static_cast<std::size_t>(newSize) * BYTES_PER_NODE);
  if (probe == nullptr) allocationFailed();
  std::free(probe);
}

constexpr int CACHE_RATIO = 8; // one cache entry per 8 nodes, in each cache
constexpr std::size_t FIRST_TABLE = std::size_t{1} << 18;
// Node numbers are ints inside the package.
constexpr std::size_t LARGEST_TABLE = INT_MAX / 2;

std::size_t defaultNodeLimit() {
  std::uint64_t memory = physicalMemoryBytes();
  if (memory == 0) memory = std::uint64_t{4} << 30;
  return static_cast<std::size_t>(memory / 4 / BYTES_PER_NODE);
}

// --- Exact counting ---------------------------------------------------------

// An unsigned integer of any size, 64-bit words, least significant first.
using BigCount = std::vector<std::uint64_t>;

// acc += x * 2^shift.
void addShifted(BigCount& acc, const BigCount& x, int shift) {
  const std::size_t words = static_cast<std::size_t>(shift / 64);
  const int bits = shift % 64;
  if (acc.size() < words) acc.resize(words, 0);
  std::uint64_t carry = 0;
  std::uint64_t spill = 0; // bits of the previous word shifted out at the top
  std::size_t i = words;
  // The words of x, one more for its spill, then as far as the carry runs.
  for (std::size_t k = 0; k <= x.size() || carry != 0; ++k, ++i) {
    if (i == acc.size()) acc.push_back(0);
    const std::uint64_t w = k < x.size() ? x[k] : 0;
    const std::uint64_t part = bits == 0 ? w : (w << bits) | spill;
    spill = bits == 0 ? 0 : w >> (64 - bits);
    const std::uint64_t sum = acc[i] + part;
    const std::uint64_t overflow = sum < part;
    acc[i] = sum + carry;
    carry = overflow + (acc[i] < sum);
  }
  while (!acc.empty() && acc.back() == 0) acc.pop_back();
}

std::string toDecimal(BigCount value) {
  if (value.empty()) return "0";
  constexpr std::uint64_t CHUNK = 1'000'000'000'000'000'000ULL; // 10^18
  std::vector<std::uint64_t> chunks;                             // least significant first
  while (!value.empty()) {
    unsigned __int128 rest = 0;
    for (std::size_t i = value.size(); i-- > 0;) {
      const unsigned __int128 cur = (rest << 64) | value[i];
      value[i] = static_cast<std::uint64_t>(cur / CHUNK);
      rest = cur % CHUNK;
    }
    chunks.push_back(static_cast<std::uint64_t>(rest));
    while (!value.empty() && value.back() == 0) value.pop_back();
  }
  std::string text = std::to_string(chunks.back());
  for (std::size_t i = chunks.size() - 1; i-- > 0;) {
    const std::string part = std::to_string(chunks[i]);
    text += std::string(18 - part.size(), '0') + part;
  }
  return text;
}

// Satisfying assignments of the variables flagged in `counted` (a BDD must
// depend on no other). bdd_satcount answers in a double, exact only below
// 2^53; this walks the nodes once with exact integers. levelOf is the
// variable itself: the order is never changed.
class ExactCounter {
public:
  explicit ExactCounter(const std::vector<char>& counted) : before_(counted.size() + 1, 0) {
    for (std::size_t v = 0; v < counted.size(); ++v) before_[v + 1] = before_[v] + (counted[v] ? 1 : 0);
    counted_ = counted;
  }

  BigCount count(int root) {
    BigCount total;
    addShifted(total, countFrom(root), before_[levelOf(root)]);
    return total;
  }

private:
  std::vector<int> before_;    // counted variables below each level
  std::vector<char> counted_;  // per variable
  std::unordered_map<int, BigCount> memo_;

  int levelOf(int node) const {
    return node < 2 ? static_cast<int>(counted_.size()) : ::bdd_var(node);
  }

  // Assignments of the counted variables from node's level down.
  BigCount countFrom(int node) {
    if (node == 0) return {};
    if (node == 1) return {1};
    if (auto it = memo_.find(node); it != memo_.end()) return it->second;
    const int level = levelOf(node);
    assert(counted_[static_cast<std::size_t>(level)]);
    BigCount total;
    for (const int child : {::bdd_low(node), ::bdd_high(node)})
      addShifted(total, countFrom(child), before_[levelOf(child)] - before_[level] - 1);
    return memo_.emplace(node, std::move(total)).first->second;
  }
};

// --- Building the relation --------------------------------------------------

int currentVar(int position) { return 2 * position; }
int nextVar(int position) { return 2 * position + 1; }

// The code of state s on the component's current (or next) variables.
// Built from the last variable up, so every step adds one node.
bdd stateCube(const Component& c, std::int64_t s, bool next) {
  bdd cube = bddtrue;
  for (int j = c.bits - 1; j >= 0; --j) {
    const int var = next ? nextVar(c.firstBit + j) : currentVar(c.firstBit + j);
    const bool one = (s >> (c.bits - 1 - j)) & 1;
    cube = (one ? bdd_ithvar(var) : bdd_nithvar(var)) & cube;
  }
  return cube;
}

// The pair (s, t) on the interleaved current and next variables.
bdd pairCube(const Component& c, std::int64_t s, std::int64_t t) {
  bdd cube = bddtrue;
  for (int j = c.bits - 1; j >= 0; --j) {
    const int shift = c.bits - 1 - j;
    const int p = c.firstBit + j;
    cube = (((t >> shift) & 1) ? bdd_ithvar(nextVar(p)) : bdd_nithvar(nextVar(p))) & cube;
    cube = (((s >> shift) & 1) ? bdd_ithvar(currentVar(p)) : bdd_nithvar(currentVar(p))) & cube;
  }
  return cube;
}

// The union of many small BDDs, pairwise so that no operand grows large
// before the end (one by one, each union would copy the whole result).
bdd unionOf(std::vector<bdd>& items) {
  if (items.empty()) return bddfalse;
  while (items.size() > 1) {
    std::size_t kept = 0;
    for (std::size_t i = 0; i < items.size(); i += 2)
      items[kept++] = i + 1 < items.size() ? items[i] | items[i + 1] : items[i];
    items.resize(kept);
  }
  return items[0];
}

bdd variableSet(const std::vector<int>& vars) {
  bdd set = bddtrue;
  for (std::size_t i = vars.size(); i-- > 0;) set = bdd_ithvar(vars[i]) & set;
  return set;
}

// --- Explicit extraction ------------------------------------------------------

// Bits first..last-1 of a state code as a number, the first most
// significant.
std::uint64_t readField(const std::uint64_t* key, int first, int last) {
  std::uint64_t value = 0;
  for (int p = first; p < last; ++p) value = (value << 1) | ((key[p / 64] >> (p % 64)) & 1);
  return value;
}

// A set of at most MAX_STATES states over current variables, copied out of
// the package into a flat array that ranks its members: rank(code) is the
// number of members whose code, read as a number with position 0 most
// significant, is smaller. Ranking costs one walk down the diagram and
// finds membership on the way, so the extraction needs no hash table of
// codes: a state's number is found at its rank.
class RankedSet {
public:
  RankedSet(const bdd& set, int bits) {
    nodes_.resize(2);
    nodes_[0].position = nodes_[1].position = bits;
    nodes_[1].below = 1;
    std::unordered_map<int, int> index{{0, 0}, {1, 1}};
    // Children before parents, by an explicit stack.
    std::vector<int> stack{set.id()};
    while (!stack.empty()) {
      const int node = stack.back();
      if (index.count(node)) {
        stack.pop_back();
        continue;
      }
      const int low = ::bdd_low(node), high = ::bdd_high(node);
      const auto lowIt = index.find(low), highIt = index.find(high);
      if (lowIt == index.end() || highIt == index.end()) {
        if (lowIt == index.end()) stack.push_back(low);
        if (highIt == index.end()) stack.push_back(high);
        continue;
      }
      assert(::bdd_var(node) % 2 == 0);
      Node n;
      n.position = ::bdd_var(node) / 2;
      n.low = lowIt->second;
      n.high = highIt->second;
      n.lowMembers = spread(n.low, n.position);
      n.below = n.lowMembers + spread(n.high, n.position);
      nodes_.push_back(n);
      index.emplace(node, static_cast<int>(nodes_.size() - 1));
      stack.pop_back();
    }
    root_ = index.at(set.id());
  }

  // Members below the root, and so in the set.
  std::uint64_t size() const { return spread(root_, -1); }

  // The rank of the code, or -1 when it is not a member.
  std::int64_t rank(const std::uint64_t* key) const {
    int n = root_;
    const Node& top = nodes_[static_cast<std::size_t>(n)];
    std::uint64_t rank = top.below * readField(key, 0, top.position);
    while (n > 1) {
      const Node& node = nodes_[static_cast<std::size_t>(n)];
      const bool one = (key[node.position / 64] >> (node.position % 64)) & 1;
      const int child = one ? node.high : node.low;
      if (child == 0) return -1;
      if (one) rank += node.lowMembers;
      // Positions the diagram skips are free: each one of the code counts
      // the members below the child with a zero there.
      const Node& next = nodes_[static_cast<std::size_t>(child)];
      rank += next.below * readField(key, node.position + 1, next.position);
      n = child;
    }
    return n == 1 ? static_cast<std::int64_t>(rank) : -1;
  }

private:
  struct Node {
    int position = 0;            // bit position tested; bits for the terminals
    int low = 0, high = 0;       // node indexes; 0 = empty set, 1 = every code
    std::uint64_t below = 0;     // members from this position on
    std::uint64_t lowMembers = 0; // members below the low child, counting the skipped positions
  };
  std::vector<Node> nodes_; // 0 and 1 are the terminals
  int root_ = 0;

  // Members below child, seen from a node at `position`: the positions in
  // between are free. Fewer than 47 of them, as the set is small.
  std::uint64_t spread(int child, int position) const {
    const Node& c = nodes_[static_cast<std::size_t>(child)];
    const int free = c.position - position - 1;
    assert(free < 47 || c.below == 0);
    return free < 64 ? c.below << free : 0;
  }
};

std::int64_t readBits(const std::uint64_t* key, const Component& c) {
  return static_cast<std::int64_t>(readField(key, c.firstBit, c.firstBit + c.bits));
}

void writeBits(std::uint64_t* key, const Component& c, std::int64_t s) {
  for (int j = 0; j < c.bits; ++j) {
    const int p = c.firstBit + j;
    const std::uint64_t bit = static_cast<std::uint64_t>((s >> (c.bits - 1 - j)) & 1);
    key[p / 64] = (key[p / 64] & ~(std::uint64_t{1} << (p % 64))) | (bit << (p % 64));
  }
}

} // namespace

// --- BddSession -----------------------------------------------------------------

BddSession::BddSession(std::size_t maxNodes, int variables) {
  assert(!bdd_isrunning());
  firstError = 0;
  const std::size_t limit = std::min(maxNodes != 0 ? maxNodes : defaultNodeLimit(), LARGEST_TABLE);
  // A small limit starts from a smaller table, so that growth up to the
  // limit is exercised too.
  const int first = static_cast<int>(std::min(FIRST_TABLE, std::max<std::size_t>(limit / 8, 64)));
  bdd_error_hook(onError);
  bdd_init(first, std::max(first / CACHE_RATIO, 64));
  bdd_error_hook(onError);
  bdd_gbc_hook(onGarbageCollection);
  bdd_resize_hook(onResize);
  // Doubling, not the package's default of 50000 nodes a step: a table of
  // 10^8 nodes would otherwise be rehashed two thousand times. (The package
  // adds this to the table size in an int, hence not INT_MAX.)
  bdd_setmaxincrease(static_cast<int>(LARGEST_TABLE));
  bdd_setcacheratio(CACHE_RATIO);
  // The table is a prime at least `first`; the package wants a limit above
  // the table it has.
  bdd_setmaxnodenum(static_cast<int>(std::max(limit, static_cast<std::size_t>(bdd_getallocnum()) + 1)));
  bdd_setvarnum(std::max(variables, 2));
  largestTable = static_cast<std::size_t>(bdd_getallocnum());
}

BddSession::~BddSession() { bdd_done(); }

bool BddSession::failed() const { return firstError != 0; }

std::size_t BddSession::peakNodes() const {
  return std::max(largestTable, static_cast<std::size_t>(bdd_getallocnum()));
}

// --- SymbolicModel ------------------------------------------------------------

SymbolicModel::~SymbolicModel() {
  for (LabelStep& step : steps) {
    if (step.toNext) bdd_freepair(step.toNext);
    if (step.toCurrent) bdd_freepair(step.toCurrent);
  }
}

int stateBits(std::int64_t size) {
  int bits = 0;
  while (bits < 63 && (std::int64_t{1} << bits) < size) ++bits;
  return bits;
}

void buildModel(const std::vector<const DES*>& components, const std::vector<bool>& plant, SymbolicModel& model) {
  const std::size_t count = components.size();
  model.components.resize(count);
  int position = 0;
  for (std::size_t i = 0; i < count; ++i) {
    Component& c = model.components[i];
    c.des = components[i];
    c.plant = plant[i];
    c.firstBit = position;
    c.bits = stateBits(c.des->size());
    position += c.bits;
  }
  model.bits = position;

  std::vector<int> current;
  for (int p = 0; p < model.bits; ++p) current.push_back(currentVar(p));
  model.currentVars = variableSet(current);
  model.initial = bddtrue;
  for (int p = model.bits; p-- > 0;) model.initial = bdd_nithvar(currentVar(p)) & model.initial;

  // Per component and label, the transitions (state, target); labels a
  // plant component uses can occur.
  constexpr std::size_t LABELS = EPSILON_LABEL + 1;
  std::vector<std::vector<std::vector<std::pair<std::int64_t, std::int64_t>>>> byLabel(count);
  std::vector<char> occurs(LABELS, 0);
  model.marked = bddtrue;
  for (std::size_t i = 0; i < count; ++i) {
    const Component& c = model.components[i];
    const DES& des = *c.des;
    byLabel[i].resize(LABELS);
    std::vector<bdd> markedStates;
    for (std::int64_t s = 0; s < des.size(); ++s) {
      if (des[s].marked) markedStates.push_back(stateCube(c, s, false));
      for (const Transition& t : transitionsOf(des[s])) {
        if (t.event >= LABELS) continue; // internal labels never reach here
        byLabel[i][t.event].emplace_back(s, t.target);
        if (c.plant) occurs[t.event] = 1;
      }
    }
    model.marked &= unionOf(markedStates);
  }

  for (std::size_t label = 0; label < LABELS; ++label) {
    if (!occurs[label]) continue;
    LabelStep& step = model.steps.emplace_back();
    step.label = static_cast<std::uint16_t>(label);
    step.relation = bddtrue;
    step.plantEnabled = bddtrue;
    std::vector<int> currentList, nextList;
    for (std::size_t i = 0; i < count; ++i) {
      const auto& pairs = byLabel[i][label];
      if (pairs.empty()) continue;
      const Component& c = model.components[i];
      step.moving.push_back(static_cast<int>(i));
      if (c.bits == 0) continue; // one state: the label is a self-loop
      std::vector<bdd> cubes, sources;
      for (const auto& [s, t] : pairs) {
        cubes.push_back(pairCube(c, s, t));
        sources.push_back(stateCube(c, s, false));
      }
      step.relation &= unionOf(cubes);
      if (c.plant) step.plantEnabled &= unionOf(sources);
      for (int j = 0; j < c.bits; ++j) {
        currentList.push_back(currentVar(c.firstBit + j));
        nextList.push_back(nextVar(c.firstBit + j));
      }
    }
    step.currentVars = variableSet(currentList);
    step.nextVars = variableSet(nextList);
    step.toNext = bdd_newpair();
    step.toCurrent = bdd_newpair();
    for (std::size_t k = 0; k < currentList.size(); ++k) {
      bdd_setpair(step.toNext, currentList[k], nextList[k]);
      bdd_setpair(step.toCurrent, nextList[k], currentList[k]);
    }
  }
}

bdd image(const LabelStep& step, const bdd& set) {
  return bdd_replace(bdd_appex(set, step.relation, bddop_and, step.currentVars), step.toCurrent);
}

bdd preimage(const LabelStep& step, const bdd& set) {
  return bdd_appex(step.relation, bdd_replace(set, step.toNext), bddop_and, step.nextVars);
}

bdd preimageWithin(const LabelStep& step, const bdd& set, const bdd& care) {
  return bdd_appex(step.relation & care, bdd_replace(set, step.toNext), bddop_and, step.nextVars);
}

std::string countStates(const SymbolicModel& model, const bdd& set) {
  std::vector<char> counted(static_cast<std::size_t>(bdd_varnum()), 0);
  for (int p = 0; p < model.bits; ++p) counted[static_cast<std::size_t>(currentVar(p))] = 1;
  ExactCounter counter(counted);
  return toDecimal(counter.count(set.id()));
}

std::string countTransitions(const SymbolicModel& model, const bdd& set) {
  BigCount total;
  std::vector<char> counted(static_cast<std::size_t>(bdd_varnum()), 0);
  for (int p = 0; p < model.bits; ++p) counted[static_cast<std::size_t>(currentVar(p))] = 1;
  for (const LabelStep& step : model.steps) {
    // Pairs (x, x') in the set joined by the label: x on every current
    // variable, x' on the next variables of the components that move.
    std::vector<char> withNext = counted;
    for (int i : step.moving) {
      const Component& c = model.components[static_cast<std::size_t>(i)];
      for (int j = 0; j < c.bits; ++j) withNext[static_cast<std::size_t>(nextVar(c.firstBit + j))] = 1;
    }
    const bdd pairs = set & step.relation & bdd_replace(set, step.toNext);
    ExactCounter counter(withNext);
    addShifted(total, counter.count(pairs.id()), 0);
  }
  return toDecimal(std::move(total));
}

bool countAtMost(const std::string& count, std::uint64_t limit) {
  // Up to 19 digits fit 64 bits; more exceed any limit below 10^19.
  return count.size() < 20 && std::stoull(count) <= limit;
}

bool extractDES(const SymbolicModel& model, const bdd& set, std::int64_t states, DES& out) {
  out = DES{};
  if (states == 0) return true;
  const RankedSet members(set, model.bits);
  assert(members.size() == static_cast<std::uint64_t>(states));
  const std::size_t words = static_cast<std::size_t>(std::max(1, (model.bits + 63) / 64));
  // Codes in order of number (the breadth-first queue), and the number of
  // every member by rank; state 0 is the all-zero code.
  std::vector<std::uint64_t> keys(static_cast<std::size_t>(states) * words, 0);
  std::vector<std::int64_t> numberOf(static_cast<std::size_t>(states), -1);
  numberOf[static_cast<std::size_t>(members.rank(keys.data()))] = 0;
  std::int64_t found = 1;

  DES result = allocStates(states);
  const std::size_t count = model.components.size();
  std::vector<std::int64_t> local(count);
  std::vector<std::uint64_t> key(words);
  std::vector<Transition> list;
  // Per moving component: its transitions with the label, and the one taken.
  std::vector<std::pair<std::uint32_t, std::uint32_t>> range;
  std::vector<std::uint32_t> choice;

  for (std::int64_t s = 0; s < states; ++s) {
    const std::uint64_t* own = &keys[static_cast<std::size_t>(s) * words];
    bool marked = true;
    for (std::size_t i = 0; i < count; ++i) {
      const Component& c = model.components[i];
      local[i] = readBits(own, c);
      marked = marked && (*c.des)[local[i]].marked;
    }
    result[s].marked = marked ? 1 : 0;
    list.clear();
    for (const LabelStep& step : model.steps) {
      range.clear();
      bool enabled = true;
      for (int moving : step.moving) {
        const std::size_t i = static_cast<std::size_t>(moving);
        const StateRecord& at = (*model.components[i].des)[local[i]];
        std::uint32_t first = findEventIndex(at, step.label), last = first;
        while (last < at.transitionCount && at.transitions[last].event == step.label) ++last;
        if (first == last) {
          enabled = false;
          break;
        }
        range.emplace_back(first, last);
      }
      if (!enabled) continue;
      // Every combination of the moving components' targets: one for
      // deterministic components.
      choice.assign(range.size(), 0);
      for (;;) {
        std::copy(own, own + words, key.begin());
        for (std::size_t m = 0; m < range.size(); ++m) {
          const std::size_t i = static_cast<std::size_t>(step.moving[m]);
          const StateRecord& at = (*model.components[i].des)[local[i]];
          writeBits(key.data(), model.components[i], at.transitions[range[m].first + choice[m]].target);
        }
        if (const std::int64_t rank = members.rank(key.data()); rank >= 0) {
          std::int64_t& target = numberOf[static_cast<std::size_t>(rank)];
          if (target < 0) {
            target = found++;
            std::copy(key.begin(), key.end(), &keys[static_cast<std::size_t>(target) * words]);
          }
          list.push_back(makeTransition(step.label, target));
        }
        std::size_t m = 0;
        while (m < range.size() && ++choice[m] == range[m].second - range[m].first) choice[m++] = 0;
        if (m == range.size()) break;
      }
    }
    if (!assignTransitions(result[s], list)) return false;
  }
  assert(found == states);
  out = std::move(result);
  return true;
}

} // namespace kav::symbolic
