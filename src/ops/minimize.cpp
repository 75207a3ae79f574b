#include "ops/minimize.h"

#include <algorithm>
#include <cassert>
#include <limits>
#include <vector>

#include "model/progress.h"
#include "ops/hugepages.h"
#include "ops/pairmap.h"

namespace kav {

namespace {

// The fields every member of a class shares, packed: marked bit, 13-bit
// vocal output, 16-bit transition count.
std::uint64_t localKey(const StateRecord& s) {
  return std::uint64_t{s.marked} << 29 | std::uint64_t(static_cast<std::uint16_t>(s.vocal) & 0x1fff) << 16 |
         s.transitionCount;
}

// Replaces des by its quotient under blockOf, whose classes are numbered by
// their smallest state. Answers whether some class ended with fewer
// transitions than its members had: in a nondeterministic DES two targets
// of one label may fall into one class, and the smaller count can make
// classes of the quotient equivalent in turn.
bool buildQuotient(DES& des, std::span<const std::int64_t> blockOf, std::int64_t blocks) {
  DES quotient = allocStates(blocks);
  // Members of a class agree on their translated lists, so the merge
  // cannot exceed the transition limit.
  [[maybe_unused]] const bool ok = recodeDES(des, quotient, blockOf);
  assert(ok);
  bool shrunk = false;
  for (std::size_t s = 0; s < des.states.size() && !shrunk; ++s)
    shrunk = quotient[blockOf[s]].transitionCount < des.states[s].transitionCount;
  des = std::move(quotient);
  return shrunk;
}

// Paige-Tarjan partition refinement, labelled. Two partitions are kept:
// blocks of states, and constellations, each a union of blocks. Every block
// is stable with respect to every constellation: for each label, either
// all its states or none have a transition with that label into the
// constellation. While some constellation holds two or more blocks, one of
// its blocks B no larger than half of it is taken out as a constellation
// of its own, and every block is split by "has an a-transition into B" and
// by "has an a-transition into the rest". The second test needs no scan of
// the rest: each transition points at a shared counter of the
// a-transitions from its source into its target's constellation, and a
// source whose every a-transition into the old constellation went to B has
// no a-transition into the rest. A state is in the extracted part at most
// log2 n times, so each transition is scanned O(log n) times.
//
// (Moving only the smaller half into the waiting set, as for deterministic
// automata, is not enough by itself: with several a-transitions per state,
// "into B" and "into the rest" are not complements of each other. In a
// deterministic DES they are, for the states that have an a-transition at
// all, so there the counters and the second split are skipped.)
//
// The work is dominated by visiting the transitions into B and marking
// their sources, all at random places in memory; the layout serves that:
// transitions are numbered by target, so those into one state are one run
// of the transition arrays, and the fields used together sit together.
template <typename Index>
struct Refiner {
  static constexpr Index NONE = std::numeric_limits<Index>::max();

  // What the refinement reads about a state, in one place: its position
  // and block, and the run of transitions into it.
  struct StateSlot {
    Index loc;     // position in elems
    Index block;   // current block
    Index inFirst; // transitions into the state are in[inFirst .. inEnd)
    Index inEnd;
  };
  struct InTransition {
    Index source;
    std::uint16_t label; // label index 0..E-1
  };
  // The states of a block are elems[first .. end); those marked for the
  // next split are the prefix elems[first .. mid). Blocks of one
  // constellation form a doubly linked list.
  struct Block {
    Index first, mid, end;
    Index constellation;
    Index next, prev; // neighbours in the constellation's list, NONE at the ends
  };
  struct Constellation {
    Index head;  // first block
    Index count; // number of blocks
  };

  Index n = 0;
  bool deterministic = true; // no state has two transitions with one label
  std::vector<Index> elems;  // states grouped by block
  std::vector<StateSlot> state;
  std::vector<Block> block;  // size = number of blocks so far
  std::vector<Index> touched; // blocks with a marked state
  std::vector<Constellation> constellation;
  std::vector<Index> compound; // constellations that had two or more blocks when pushed

  std::vector<InTransition> in; // transitions, numbered by target
  std::size_t labels = 0;
  // Nondeterministic DES only: the shared counter of (source, label,
  // target's constellation) of each transition, NONE when its source has no
  // other transition with that label (one a-transition into B leaves none
  // for the rest, so no count is needed); the counters, and the recycled
  // ones (so that at most t + n ever exist).
  std::vector<Index> counterOf;
  std::vector<Index> counts;
  std::vector<Index> freeCounters;
  struct CounterSlot {
    Index fresh; // counter of (state, label, the splitter) while its transitions are scanned, else NONE
    Index old;   // the counter those transitions had before
  };
  std::vector<CounterSlot> counterSlot; // per state

  // How far ahead the loops over transitions and states prefetch: their
  // accesses land at random in arrays far larger than the cache, and
  // issuing them early lets the misses overlap.
  static constexpr std::size_t AHEAD = 8;

  Index blocks() const { return static_cast<Index>(block.size()); }

  // Prefetches for marking the source of list[i + AHEAD]: its state slot
  // one step earlier, then the block that slot names.
  void prefetchSource(const std::vector<Index>& list, std::size_t i) const {
    if (i + 2 * AHEAD < list.size()) __builtin_prefetch(&state[in[list[i + 2 * AHEAD]].source]);
    if (i + AHEAD < list.size()) {
      const StateSlot& slot = state[in[list[i + AHEAD]].source];
      __builtin_prefetch(&block[slot.block]);
      __builtin_prefetch(&elems[slot.loc]);
    }
  }
  Index blockSize(Index b) const { return block[b].end - block[b].first; }

  void mark(Index s) {
    StateSlot& slot = state[s];
    Block& b = block[slot.block];
    const Index pos = slot.loc;
    const Index m = b.mid;
    if (pos < m) return; // marked already
    if (m == b.first) touched.push_back(slot.block);
    const Index other = elems[m];
    elems[m] = s;
    elems[pos] = other;
    state[other].loc = pos;
    slot.loc = m;
    b.mid = m + 1;
  }

  // Splits every touched block into its marked and unmarked parts; the
  // marked part becomes the new block (it costs what marking it did).
  void splitTouched() {
    for (Index b : touched) {
      Block& old = block[b];
      if (old.mid == old.end) {
        old.mid = old.first;
        continue;
      }
      const Index nb = blocks();
      const Index c = old.constellation;
      Block fresh{old.first, old.first, old.mid, c, old.next, b};
      old.first = old.mid;
      if (old.next != NONE) block[old.next].prev = nb;
      old.next = nb;
      block.push_back(fresh); // invalidates `old`
      for (Index i = fresh.first; i < fresh.end; ++i) {
        if (i + AHEAD < fresh.end) __builtin_prefetch(&state[elems[i + AHEAD]], 1);
        state[elems[i]].block = nb;
      }
      if (++constellation[c].count == 2) compound.push_back(c);
      reportProgressf("MINIMIZE: %ld %ld", static_cast<long>(blocks()), static_cast<long>(n));
    }
    touched.clear();
  }

  Index newCounter() {
    if (!freeCounters.empty()) {
      const Index c = freeCounters.back();
      freeCounters.pop_back();
      return c;
    }
    counts.push_back(0);
    return static_cast<Index>(counts.size() - 1);
  }

  // Builds the structures from des and the initial partition: states with
  // equal local key, then split per label by "has a transition with it"
  // (so every block is stable with respect to the single constellation).
  void initialize(const DES& des) {
    n = static_cast<Index>(des.size());
    const std::size_t states = static_cast<std::size_t>(n);

    // Label indexes, and whether any label repeats at a state.
    std::vector<std::uint16_t> indexOfLabel(65536, 0);
    {
      std::vector<bool> seen(65536, false);
      for (const StateRecord& s : des.states) {
        const auto list = transitionsOf(s);
        for (std::size_t k = 0; k < list.size(); ++k) {
          seen[list[k].event] = true;
          if (k > 0 && list[k - 1].event == list[k].event) deterministic = false;
        }
      }
      for (std::size_t e = 0; e < 65536; ++e)
        if (seen[e]) indexOfLabel[e] = static_cast<std::uint16_t>(labels++);
    }

    // Transitions by target; counters one per (state, label) at first.
    const std::size_t total = static_cast<std::size_t>(countTransitions(des));
    reserveHuge(in, total);
    reserveHuge(state, states);
    reserveHuge(elems, states);
    reserveHuge(block, states);
    reserveHuge(constellation, states);
    state.assign(states, StateSlot{0, 0, 0, 0});
    for (const StateRecord& s : des.states)
      for (const Transition& t : transitionsOf(s)) ++state[static_cast<std::size_t>(t.target)].inEnd;
    for (std::size_t s = 0, start = 0; s < states; ++s) {
      state[s].inFirst = static_cast<Index>(start);
      start += state[s].inEnd;
      state[s].inEnd = state[s].inFirst; // advanced by the fill below
    }
    in.resize(total);
    if (!deterministic) {
      reserveHuge(counterOf, total);
      reserveHuge(counts, total);
      counterOf.resize(total);
    }
    std::vector<Index> labelStart(labels + 1, 0); // (state, label) pairs per label
    {
      for (std::size_t s = 0; s < states; ++s) {
        const auto list = transitionsOf(des.states[s]);
        for (std::size_t k = 0; k < list.size(); ++k) {
          const Index tid = state[static_cast<std::size_t>(list[k].target)].inEnd++;
          in[tid] = InTransition{static_cast<Index>(s), indexOfLabel[list[k].event]};
          const bool newGroup = k == 0 || list[k - 1].event != list[k].event;
          if (newGroup) ++labelStart[in[tid].label + 1];
          if (deterministic) continue;
          const bool single = newGroup && (k + 1 == list.size() || list[k + 1].event != list[k].event);
          if (single) {
            counterOf[tid] = NONE;
            continue;
          }
          if (newGroup) counts.push_back(0);
          counterOf[tid] = static_cast<Index>(counts.size() - 1);
          ++counts.back();
        }
      }
    }

    // Blocks by local key, numbered in order of first occurrence.
    std::vector<Index> sizes;
    {
      PairMap keys;
      for (std::size_t s = 0; s < states; ++s) {
        const auto next = static_cast<Index>(sizes.size());
        const auto b = static_cast<Index>(keys.insertOrFind(localKey(des.states[s]), next));
        if (b == next) sizes.push_back(0);
        state[s].block = b;
        ++sizes[b];
      }
    }
    const auto initial = static_cast<Index>(sizes.size());
    Index position = 0;
    for (Index b = 0; b < initial; ++b) {
      block.push_back(Block{position, position, position, 0, b + 1 < initial ? b + 1 : NONE, b > 0 ? b - 1 : NONE});
      position += sizes[b];
    }
    elems.resize(states);
    for (std::size_t s = 0; s < states; ++s) {
      Block& b = block[state[s].block];
      state[s].loc = b.end;
      elems[b.end++] = static_cast<Index>(s);
    }
    for (Block& b : block) b.mid = b.first;

    // One constellation holding every block.
    constellation.push_back(Constellation{0, initial});
    if (initial >= 2) compound.push_back(0);
    reportProgressf("MINIMIZE: %ld %ld", static_cast<long>(blocks()), static_cast<long>(n));

    // Stability with respect to all states: split by each label's sources.
    for (std::size_t a = 0; a < labels; ++a) labelStart[a + 1] += labelStart[a];
    std::vector<Index> sourcesOfLabel(labelStart[labels]);
    {
      std::vector<Index> fill(labelStart.begin(), labelStart.end() - 1);
      for (std::size_t s = 0; s < states; ++s) {
        const auto list = transitionsOf(des.states[s]);
        for (std::size_t k = 0; k < list.size(); ++k)
          if (k == 0 || list[k - 1].event != list[k].event)
            sourcesOfLabel[fill[indexOfLabel[list[k].event]]++] = static_cast<Index>(s);
      }
    }
    for (std::size_t a = 0; a < labels; ++a) {
      for (Index p = labelStart[a]; p < labelStart[a + 1]; ++p) mark(sourcesOfLabel[p]);
      splitTouched();
    }
  }

  // Takes a block no larger than half of compound constellation c out of
  // it, as a constellation of its own; returns the block.
  Index extractSplitter(Index c) {
    const Index b1 = constellation[c].head;
    const Index b2 = block[b1].next;
    const Index splitter = blockSize(b1) <= blockSize(b2) ? b1 : b2;
    Block& b = block[splitter];
    if (b.prev != NONE) block[b.prev].next = b.next;
    else constellation[c].head = b.next;
    if (b.next != NONE) block[b.next].prev = b.prev;
    --constellation[c].count;
    b.next = b.prev = NONE;
    b.constellation = static_cast<Index>(constellation.size());
    constellation.push_back(Constellation{splitter, 1});
    return splitter;
  }

  void refine() {
    std::vector<std::vector<Index>> byLabel(labels); // transitions into the splitter
    std::vector<std::uint16_t> labelsHit;
    std::vector<Index> sources, singles;
    if (!deterministic) counterSlot.assign(static_cast<std::size_t>(n), CounterSlot{NONE, NONE});
    // Once every block is a single state nothing can split any more.
    while (!compound.empty() && blocks() < n) {
      const Index c = compound.back();
      if (constellation[c].count < 2) {
        compound.pop_back();
        continue;
      }
      const Index splitter = extractSplitter(c);

      // Gathered before any split moves the splitter's states.
      const Index first = block[splitter].first;
      const Index end = block[splitter].end;
      for (Index i = first; i < end; ++i) {
        if (i + 2 * AHEAD < end) __builtin_prefetch(&state[elems[i + 2 * AHEAD]]);
        if (i + AHEAD < end) __builtin_prefetch(&in[state[elems[i + AHEAD]].inFirst]);
        const StateSlot& t = state[elems[i]];
        for (Index tid = t.inFirst; tid < t.inEnd; ++tid) {
          const std::uint16_t label = in[tid].label;
          auto& list = byLabel[label];
          if (list.empty()) labelsHit.push_back(label);
          list.push_back(tid);
        }
      }
      for (std::uint16_t a : labelsHit) {
        auto& list = byLabel[a];
        if (deterministic) {
          for (std::size_t i = 0; i < list.size(); ++i) {
            prefetchSource(list, i);
            mark(in[list[i]].source);
          }
          splitTouched();
          list.clear();
          continue;
        }
        // Split by "has an a-transition into the splitter", counting on the
        // way; then by "has none into the rest of its old constellation".
        for (std::size_t i = 0; i < list.size(); ++i) {
          prefetchSource(list, i);
          if (i + AHEAD < list.size()) {
            __builtin_prefetch(&counterSlot[in[list[i + AHEAD]].source]);
            const Index ahead = counterOf[list[i + AHEAD]];
            if (ahead != NONE) __builtin_prefetch(&counts[ahead]);
          }
          const Index tid = list[i];
          const Index s = in[tid].source;
          const Index counter = counterOf[tid];
          mark(s);
          if (counter == NONE) {
            singles.push_back(s);
            continue;
          }
          CounterSlot& slot = counterSlot[s];
          if (slot.fresh == NONE) {
            slot.fresh = newCounter();
            slot.old = counter;
            sources.push_back(s);
          }
          ++counts[slot.fresh];
          --counts[counter];
          counterOf[tid] = slot.fresh;
        }
        splitTouched();
        for (Index s : singles) mark(s);
        for (Index s : sources) {
          CounterSlot& slot = counterSlot[s];
          if (counts[slot.old] == 0) {
            mark(s);
            freeCounters.push_back(slot.old);
          }
          slot.fresh = NONE;
        }
        splitTouched();
        sources.clear();
        singles.clear();
        list.clear();
      }
      labelsHit.clear();
    }
  }
};

// One round: partition and quotient. Answers whether another round may
// merge more (see buildQuotient).
template <typename Index>
bool minimizeRound(DES& des) {
  std::vector<std::int64_t> classOf;
  std::int64_t classes = 0;
  {
    Refiner<Index> r;
    r.initialize(des);
    r.refine();
    if (static_cast<std::int64_t>(r.blocks()) == des.size()) return false;
    // Number the classes by their smallest state.
    std::vector<std::int64_t> number(static_cast<std::size_t>(r.blocks()), -1);
    classOf.resize(des.states.size());
    for (std::size_t s = 0; s < des.states.size(); ++s) {
      std::int64_t& k = number[r.state[s].block];
      if (k < 0) k = classes++;
      classOf[s] = k;
    }
  }
  return buildQuotient(des, classOf, classes);
}

// --- Pairwise equivalence ----------------------------------------------------

enum : std::int64_t { PAIR_EQUAL = -1, PAIR_DIFFERENT = -2 };

bool sameLabels(const StateRecord& x, const StateRecord& y) {
  const auto a = transitionsOf(x);
  const auto b = transitionsOf(y);
  std::size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    if (a[i].event != b[j].event) return false;
    const std::uint16_t e = a[i].event;
    while (i < a.size() && a[i].event == e) ++i;
    while (j < b.size() && b[j].event == e) ++j;
  }
  return i == a.size() && j == b.size();
}

struct PairWalk {
  const DES& des;
  std::span<const std::int64_t> blockOf;
  PairMap index;                    // min * n + max -> pair number
  std::vector<StatePair> pairs;     // a < b
  std::vector<std::uint8_t> forced; // reached from the root through single transitions only
  std::vector<std::int64_t> stack;

  // PAIR_EQUAL, PAIR_DIFFERENT, or the number of the pair (x, y), added
  // (when `add`) if new.
  std::int64_t resolve(std::int64_t x, std::int64_t y, bool add, bool isForced) {
    if (x == y) return PAIR_EQUAL;
    if (x > y) std::swap(x, y);
    const std::int64_t bx = blockOf[static_cast<std::size_t>(x)];
    const std::int64_t by = blockOf[static_cast<std::size_t>(y)];
    if (bx >= 0 && by >= 0) return bx == by ? PAIR_EQUAL : PAIR_DIFFERENT;
    if (localKey(des[x]) != localKey(des[y]) || !sameLabels(des[x], des[y])) return PAIR_DIFFERENT;
    const auto code = static_cast<std::uint64_t>(x) * static_cast<std::uint64_t>(des.size()) +
                      static_cast<std::uint64_t>(y);
    if (!add) return index.find(code);
    const auto next = static_cast<std::int64_t>(pairs.size());
    const std::int64_t id = index.insertOrFind(code, next);
    if (id == next) {
      pairs.push_back({x, y});
      forced.push_back(isForced);
      stack.push_back(id);
    }
    return id;
  }

  // Calls visit(label, targets of x, targets of y) for each label group of
  // a pair (both states have the same label set).
  template <typename Visit>
  void forEachGroup(std::int64_t x, std::int64_t y, Visit visit) const {
    const auto a = transitionsOf(des[x]);
    const auto b = transitionsOf(des[y]);
    std::size_t i = 0, j = 0;
    while (i < a.size()) {
      const std::uint16_t e = a[i].event;
      std::size_t i2 = i, j2 = j;
      while (i2 < a.size() && a[i2].event == e) ++i2;
      while (j2 < b.size() && b[j2].event == e) ++j2;
      visit(a.subspan(i, i2 - i), b.subspan(j, j2 - j));
      i = i2;
      j = j2;
    }
  }

  // Explores every pair reachable from the root. False when an
  // inequivalent pair is forced on the root.
  bool explore() {
    while (!stack.empty()) {
      const std::int64_t id = stack.back();
      stack.pop_back();
      const StatePair pair = pairs[static_cast<std::size_t>(id)];
      const bool pairForced = forced[static_cast<std::size_t>(id)] != 0;
      bool dead = false;
      forEachGroup(pair.a, pair.b, [&](std::span<const Transition> xs, std::span<const Transition> ys) {
        const bool single = pairForced && xs.size() == 1 && ys.size() == 1;
        for (const Transition& tx : xs)
          for (const Transition& ty : ys)
            if (resolve(tx.target, ty.target, true, single) == PAIR_DIFFERENT && single) dead = true;
      });
      if (dead) return false;
    }
    return true;
  }

  // Greatest fixpoint: discard pairs until every remaining one matches
  // each transition of either side inside the remaining pairs.
  bool rootSurvives() {
    std::vector<std::uint8_t> alive(pairs.size(), 1);
    auto holds = [&](std::int64_t x, std::int64_t y) {
      const std::int64_t r = resolve(x, y, false, false);
      return r == PAIR_EQUAL || (r >= 0 && alive[static_cast<std::size_t>(r)]);
    };
    for (bool changed = true; changed;) {
      changed = false;
      for (std::size_t id = 0; id < pairs.size(); ++id) {
        if (!alive[id]) continue;
        bool ok = true;
        forEachGroup(pairs[id].a, pairs[id].b, [&](std::span<const Transition> xs, std::span<const Transition> ys) {
          for (const Transition& tx : xs) {
            if (!ok) return;
            ok = std::any_of(ys.begin(), ys.end(), [&](const Transition& ty) { return holds(tx.target, ty.target); });
          }
          for (const Transition& ty : ys) {
            if (!ok) return;
            ok = std::any_of(xs.begin(), xs.end(), [&](const Transition& tx) { return holds(tx.target, ty.target); });
          }
        });
        if (!ok) {
          alive[id] = 0;
          changed = true;
        }
      }
      if (!alive[0]) return false;
    }
    return true;
  }
};

} // namespace

void minimizeHopcroft(DES& des) {
  const auto limit = static_cast<std::int64_t>(std::numeric_limits<std::uint32_t>::max() - 1);
  for (bool again = true; again && des.size() >= 2;) {
    if (des.size() < limit && countTransitions(des) < limit) again = minimizeRound<std::uint32_t>(des);
    else again = minimizeRound<std::uint64_t>(des);
  }
}

bool equivalentStates(std::int64_t p, std::int64_t q, const DES& des, std::span<const std::int64_t> blockOf) {
  PairWalk walk{des, blockOf, {}, {}, {}, {}};
  const std::int64_t root = walk.resolve(p, q, true, true);
  if (root == PAIR_EQUAL) return true;
  if (root == PAIR_DIFFERENT) return false;
  if (!walk.explore()) return false;
  return walk.rootSurvives();
}

namespace {

bool pairwiseRound(DES& des) {
  const std::int64_t n = des.size();
  std::vector<std::int64_t> blockOf(static_cast<std::size_t>(n), -1);
  std::int64_t blocks = 0;
  std::int64_t unplaced = n;
  for (std::int64_t i = 0; i < n; ++i) {
    reportProgressf("MINIMIZE: %ld %ld", static_cast<long>(i), static_cast<long>(unplaced));
    if (blockOf[static_cast<std::size_t>(i)] >= 0) continue;
    const std::int64_t b = blocks++;
    blockOf[static_cast<std::size_t>(i)] = b;
    --unplaced;
    const std::uint64_t key = localKey(des[i]);
    for (std::int64_t j = i + 1; j < n; ++j) {
      if (blockOf[static_cast<std::size_t>(j)] >= 0 || localKey(des[j]) != key) continue;
      if (des[j].transitionCount == 0 || equivalentStates(i, j, des, blockOf)) {
        blockOf[static_cast<std::size_t>(j)] = b;
        --unplaced;
      }
    }
  }
  if (blocks == n) return false;
  return buildQuotient(des, blockOf, blocks);
}

} // namespace

void minimizePairwise(DES& des) {
  for (bool again = true; again && des.size() >= 2;) again = pairwiseRound(des);
}

void minimizeDES(DES& des, Minimizer minimizer) {
  if (minimizer == Minimizer::PAIRWISE) minimizePairwise(des);
  else minimizeHopcroft(des);
}

} // namespace kav
