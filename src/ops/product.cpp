#include "ops/product.h"

#include <algorithm>
#include <cassert>
#include <cstdio>
#include <functional>
#include <iterator>
#include <type_traits>

#include "model/memory.h"
#include "ops/hugepages.h"

namespace kav {

namespace {

std::uint64_t pairTableLimitOverride = 0;

using ExpandTest = std::function<bool(std::int64_t, std::int64_t)>;

constexpr std::uint64_t LABEL_WORDS = 65536 / 64;

// Labels an operand treats as free (a self-loop at every state), one bit
// per 16-bit label; empty when none is.
using LabelBits = std::vector<std::uint64_t>;

bool hasBit(const LabelBits& bits, std::uint16_t label) {
  return !bits.empty() && (bits[label >> 6] >> (label & 63) & 1) != 0;
}

void setBit(LabelBits& bits, std::uint16_t label) {
  if (bits.empty()) bits.assign(LABEL_WORDS, 0);
  bits[label >> 6] |= std::uint64_t{1} << (label & 63);
}

// What a synchronous product adds to the plain meet.
struct FreeLabels {
  LabelBits forA;     // labels on which a stays where it is
  LabelBits forB;     // labels on which b stays where it is
  EventList selfloops; // labels free for both: a self-loop at every product state
};

// Pair codes s2 * N1 + s1 of the table products.
struct CodeKey {
  std::uint64_t n1;
  std::uint64_t encode(std::int64_t s1, std::int64_t s2) const {
    return static_cast<std::uint64_t>(s2) * n1 + static_cast<std::uint64_t>(s1);
  }
  void decode(std::uint64_t key, std::int64_t& s1, std::int64_t& s2) const {
    s1 = static_cast<std::int64_t>(key % n1);
    s2 = static_cast<std::int64_t>(key / n1);
  }
};

// Pair keys s2 << 32 | s1 of the hashed products.
struct ShiftKey {
  std::uint64_t encode(std::int64_t s1, std::int64_t s2) const {
    return static_cast<std::uint64_t>(s2) << 32 | static_cast<std::uint64_t>(s1);
  }
  void decode(std::uint64_t key, std::int64_t& s1, std::int64_t& s2) const {
    s1 = static_cast<std::int64_t>(key & 0xffffffffu);
    s2 = static_cast<std::int64_t>(key >> 32);
  }
};

// The pair table: entry = product state + 1, so that the zero-filled
// table means "no state yet".
template <typename Entry>
struct TableLookup {
  std::vector<Entry>& table;
  void prefetch(std::uint64_t key) const { __builtin_prefetch(table.data() + key, 1); }
  std::int64_t insertOrFind(std::uint64_t key, std::int64_t candidate) {
    Entry& e = table[static_cast<std::size_t>(key)];
    if (e != 0) return static_cast<std::int64_t>(e) - 1;
    e = static_cast<Entry>(candidate + 1);
    return candidate;
  }
};

struct HashLookup {
  PairMap& map;
  void prefetch(std::uint64_t key) const {
    if (const PairMap::Slot* slot = map.homeSlot(key)) __builtin_prefetch(slot, 1);
  }
  std::int64_t insertOrFind(std::uint64_t key, std::int64_t candidate) { return map.insertOrFind(key, candidate); }
};

// The product state of every dense pair code s2 * N1 + s1 below 2^32 - 1:
// the pair table (state + 1 per code, 0 = none) while it is small or well
// filled, the packed map otherwise. A table of N1 * N2 entries pays only
// when the product reaches a fair share of the pairs: a product that starts
// in the map moves to the table once it holds an eighth of them, when the
// table takes no more than the map did (32 bytes per product state against
// 16 to 32) and every lookup becomes one access. Until then the memory
// follows the product, not N1 * N2.
struct TableOrMap {
  // Tables up to this size stay in the cache: used from the start.
  static constexpr std::uint64_t SMALL_TABLE_BYTES = std::uint64_t{4} << 20;

  std::vector<std::uint32_t> table; // pairs entries while inTable
  PackedPairMap map;                // while not inTable
  std::uint64_t pairs = 0;          // N1 * N2
  std::uint64_t switchAt = 0;       // map size that moves it to the table; UINT64_MAX = never
  bool inTable = false;

  explicit TableOrMap(std::uint64_t pairCount) : pairs(pairCount) {
    const std::uint64_t tableBytes = pairs * sizeof(std::uint32_t);
    const bool allowed = tableBytes <= pairTableLimit();
    switchAt = allowed ? std::max<std::uint64_t>(pairs / 8, 1) : UINT64_MAX;
    if (allowed && tableBytes <= SMALL_TABLE_BYTES) moveToTable();
  }

  void moveToTable() {
    reserveHuge(table, static_cast<std::size_t>(pairs));
    table.resize(static_cast<std::size_t>(pairs));
    for (std::size_t i = 0; i < map.capacity; ++i)
      if (const std::uint64_t slot = map.slots[i]) table[static_cast<std::size_t>(slot >> 32)] = static_cast<std::uint32_t>(slot);
    map = PackedPairMap{};
    inTable = true;
  }

  void prefetch(std::uint64_t code) const {
    if (inTable) __builtin_prefetch(table.data() + code, 1);
    else if (const std::uint64_t* slot = map.homeSlot(code)) __builtin_prefetch(slot, 1);
  }

  std::int64_t insertOrFind(std::uint64_t code, std::int64_t candidate) {
    if (inTable) {
      std::uint32_t& e = table[static_cast<std::size_t>(code)];
      if (e != 0) return static_cast<std::int64_t>(e) - 1;
      e = static_cast<std::uint32_t>(candidate + 1);
      return candidate;
    }
    const std::int64_t state = map.insertOrFind(code, candidate);
    if (map.size() >= switchAt) moveToTable();
    return state;
  }
};

// TableOrMap for either kind of key: keys are turned into the dense codes
// s2 * N1 + s1 first (the identity for codes already dense).
template <typename Key>
struct DenseLookup {
  TableOrMap& index;
  std::uint64_t n1;
  Key key;
  std::uint64_t dense(std::uint64_t k) const {
    if constexpr (std::is_same_v<Key, CodeKey>) return k;
    std::int64_t s1, s2;
    key.decode(k, s1, s2);
    return static_cast<std::uint64_t>(s2) * n1 + static_cast<std::uint64_t>(s1);
  }
  void prefetch(std::uint64_t k) const { index.prefetch(dense(k)); }
  std::int64_t insertOrFind(std::uint64_t k, std::int64_t candidate) { return index.insertOrFind(dense(k), candidate); }
};

// End of the run of transitions with the label of *from.
const Transition* groupEnd(const Transition* from, const Transition* end) {
  const std::uint16_t label = from->event;
  const Transition* p = from + 1;
  while (p != end && p->event == label) ++p;
  return p;
}

// The breadth-first product construction shared by every product. Product
// states are expanded in the order they were created; all transitions of
// state k are known once it is expanded, so they are gathered in a scratch
// list and stored with one allocation. On success result and pairOf are
// replaced; on failure (transition limit) they are left alone.
// `expand`, when given, decides for every product state whether it is
// expanded; a state it refuses keeps no transitions, and `unexpanded`
// counts them.
template <typename Key, typename Lookup>
bool buildProduct(const DES& a, const DES& b, const FreeLabels* free, Key key, Lookup lookup, DES& result,
                  std::vector<std::int64_t>& pairOf, const ExpandTest* expand = nullptr,
                  std::int64_t* unexpanded = nullptr) {
  DES product;
  std::vector<std::int64_t> pairs;
  if (a.empty() || b.empty()) {
    result = std::move(product);
    pairOf = std::move(pairs);
    return true;
  }
  static const LabelBits none;
  const LabelBits& freeA = free ? free->forA : none;
  const LabelBits& freeB = free ? free->forB : none;
  const bool anyFree = !freeA.empty() || !freeB.empty();

  auto newState = [&](std::int64_t s1, std::int64_t s2, std::uint64_t code) {
    product.states.emplace_back();
    product.states.back().marked = a[s1].marked && b[s2].marked;
    pairs.push_back(static_cast<std::int64_t>(code));
  };
  const std::uint64_t origin = key.encode(0, 0);
  lookup.insertOrFind(origin, 0);
  newState(0, 0, origin);
  product[0].reached = 1;

  // Expanding a state looks up one pair per transition in a table or map
  // far larger than the cache. The targets of the states a few places
  // ahead in the queue are gathered and their slots prefetched before the
  // current state's lookups run, so the cache misses overlap instead of
  // queueing. Lookups still run in state order, which fixes the numbering.
  struct Pending {
    std::uint64_t code;
    std::int64_t t1, t2;
    std::uint16_t event;
  };
  constexpr std::int64_t AHEAD = 4;
  std::vector<Pending> ring[AHEAD + 1];
  auto gather = [&](std::int64_t k, std::vector<Pending>& pending) {
    pending.clear();
    auto add = [&](std::uint16_t event, std::int64_t t1, std::int64_t t2) {
      const std::uint64_t code = key.encode(t1, t2);
      lookup.prefetch(code);
      pending.push_back({code, t1, t2, event});
    };
    std::int64_t s1, s2;
    key.decode(static_cast<std::uint64_t>(pairs[static_cast<std::size_t>(k)]), s1, s2);
    if (expand && !(*expand)(s1, s2)) {
      ++*unexpanded;
      return;
    }
    const auto listA = transitionsOf(a[s1]);
    const auto listB = transitionsOf(b[s2]);
    const Transition* x = listA.data();
    const Transition* xEnd = x + listA.size();
    const Transition* y = listB.data();
    const Transition* yEnd = y + listB.size();
    if (!anyFree) {
      // Plain meet: a linear merge of the two sorted lists.
      while (x != xEnd && y != yEnd) {
        if (x->event < y->event) {
          ++x;
        } else if (y->event < x->event) {
          ++y;
        } else {
          const Transition* gx = groupEnd(x, xEnd);
          const Transition* gy = groupEnd(y, yEnd);
          for (const Transition* p = x; p != gx; ++p)
            for (const Transition* q = y; q != gy; ++q) add(p->event, p->target, q->target);
          x = gx;
          y = gy;
        }
      }
      return;
    }
    while (x != xEnd || y != yEnd) {
      const std::uint32_t ea = x != xEnd ? x->event : 0x10000u;
      const std::uint32_t eb = y != yEnd ? y->event : 0x10000u;
      if (ea == eb) {
        const Transition* gx = groupEnd(x, xEnd);
        const Transition* gy = groupEnd(y, yEnd);
        for (const Transition* p = x; p != gx; ++p)
          for (const Transition* q = y; q != gy; ++q) add(p->event, p->target, q->target);
        x = gx;
        y = gy;
      } else if (ea < eb) {
        const Transition* gx = groupEnd(x, xEnd);
        if (hasBit(freeB, x->event))
          for (const Transition* p = x; p != gx; ++p) add(p->event, p->target, s2);
        x = gx;
      } else {
        const Transition* gy = groupEnd(y, yEnd);
        if (hasBit(freeA, y->event))
          for (const Transition* q = y; q != gy; ++q) add(q->event, s1, q->target);
        y = gy;
      }
    }
  };

  // The operands' records of a state further ahead are prefetched too: a
  // large operand's transition lists do not stay in the cache either.
  // The records AHEAD states before their lists, so that reading the list
  // pointers does not stall.
  auto prefetchOperands = [&](std::int64_t k) {
    std::int64_t s1, s2;
    if (k + AHEAD < product.size()) {
      key.decode(static_cast<std::uint64_t>(pairs[static_cast<std::size_t>(k + AHEAD)]), s1, s2);
      __builtin_prefetch(&a[s1]);
      __builtin_prefetch(&b[s2]);
    }
    if (k < product.size()) {
      key.decode(static_cast<std::uint64_t>(pairs[static_cast<std::size_t>(k)]), s1, s2);
      __builtin_prefetch(a[s1].transitions.get());
      __builtin_prefetch(b[s2].transitions.get());
    }
  };

  std::vector<Transition> scratch;
  std::int64_t gathered = 0; // states whose targets are gathered
  for (std::int64_t k = 0; k < product.size(); ++k) {
    for (; gathered < product.size() && gathered <= k + AHEAD; ++gathered) {
      prefetchOperands(gathered + AHEAD);
      gather(gathered, ring[gathered % (AHEAD + 1)]);
    }
    scratch.clear();
    for (const Pending& p : ring[k % (AHEAD + 1)]) {
      const std::int64_t next = product.size();
      const std::int64_t state = lookup.insertOrFind(p.code, next);
      if (state == next) newState(p.t1, p.t2, p.code);
      Transition t;
      t.target = state;
      t.event = p.event;
      scratch.push_back(t);
    }
    if (free)
      for (std::uint16_t e : free->selfloops) {
        Transition t;
        t.target = k;
        t.event = e;
        scratch.push_back(t);
      }
    if (!assignTransitions(product[k], scratch)) return false;
  }
  result = std::move(product);
  pairOf = std::move(pairs);
  return true;
}

// The product with pair codes s2 * N1 + s1, through TableOrMap, or through
// the wide map when N1 * N2 reaches 2^32 - 1.
bool tableProduct(const DES& a, const DES& b, const FreeLabels* free, DES& result, std::vector<std::int64_t>& pairOf,
                  PairIndex* pairIndex, const ExpandTest* expand = nullptr, std::int64_t* unexpanded = nullptr) {
  const auto n1 = static_cast<std::uint64_t>(a.size());
  const auto n2 = static_cast<std::uint64_t>(b.size());
  if (n1 == 0 || n2 == 0) {
    if (pairIndex) *pairIndex = PairIndex{};
    result = DES{};
    pairOf.clear();
    return true;
  }
  assert(n1 <= static_cast<std::uint64_t>(INT64_MAX) / n2);
  const std::uint64_t pairs = n1 * n2;
  const CodeKey key{n1};
  if (pairs < PackedPairMap::LIMIT) {
    TableOrMap index(pairs);
    if (!buildProduct(a, b, free, key, DenseLookup<CodeKey>{index, n1, key}, result, pairOf, expand, unexpanded))
      return false;
    if (pairIndex) {
      *pairIndex = PairIndex{};
      pairIndex->firstSize = static_cast<std::int64_t>(n1);
      pairIndex->hashed = !index.inTable;
      pairIndex->table32 = std::move(index.table);
      pairIndex->packedMap = std::move(index.map);
    }
    return true;
  }
  PairMap map;
  if (!buildProduct(a, b, free, key, HashLookup{map}, result, pairOf, expand, unexpanded)) return false;
  if (pairIndex) {
    *pairIndex = PairIndex{};
    pairIndex->firstSize = static_cast<std::int64_t>(n1);
    pairIndex->hashed = true;
    pairIndex->map = std::move(map);
  }
  return true;
}

bool hashedProduct(const DES& a, const DES& b, const FreeLabels* free, DES& result,
                   std::vector<std::int64_t>& pairOf) {
  assert(a.size() < (std::int64_t{1} << 32) && b.size() < (std::int64_t{1} << 32));
  const auto n1 = static_cast<std::uint64_t>(a.size());
  const auto n2 = static_cast<std::uint64_t>(b.size());
  if (n1 != 0 && n2 < PackedPairMap::LIMIT / n1) {
    TableOrMap index(n1 * n2);
    return buildProduct(a, b, free, ShiftKey{}, DenseLookup<ShiftKey>{index, n1, ShiftKey{}}, result, pairOf);
  }
  PairMap map;
  return buildProduct(a, b, free, ShiftKey{}, HashLookup{map}, result, pairOf);
}

LabelBits labelBitsOf(const EventList& labels) {
  LabelBits bits;
  for (std::uint16_t e : labels) setBit(bits, e);
  return bits;
}

// The pairs seen by visitMeetPairs, one bit per pair, for pair spaces whose
// bits fit in the cache; PairSet otherwise.
struct SeenBits {
  static constexpr std::uint64_t MAX_PAIRS = std::uint64_t{1} << 25; // 4 MiB of bits
  std::vector<std::uint64_t> words;
  explicit SeenBits(std::uint64_t pairs) : words(static_cast<std::size_t>((pairs + 63) / 64), 0) {}
  void prefetch(std::uint64_t code) const { __builtin_prefetch(words.data() + code / 64, 1); }
  bool insert(std::uint64_t code) {
    std::uint64_t& w = words[static_cast<std::size_t>(code / 64)];
    const std::uint64_t bit = std::uint64_t{1} << (code % 64);
    if (w & bit) return false;
    w |= bit;
    return true;
  }
};

template <typename Seen>
void visitPairs(const DES& a, const DES& b, Seen& seen, const std::function<bool(std::int64_t)>& visit) {
  const auto n1 = static_cast<std::uint64_t>(a.size());
  // The pairs found and not yet expanded; queue[0] is the offset-th pair
  // found. The expanded prefix is dropped now and then, so the queue holds
  // about the breadth of the search rather than the whole product.
  std::vector<std::uint64_t> queue{0};
  std::uint64_t offset = 0;
  seen.insert(0);
  if (!visit(0)) return;
  // As in the product construction: the targets of the next few pairs are
  // gathered and their places in the set prefetched before the lookups of
  // the current one run in order.
  constexpr std::uint64_t AHEAD = 4;
  std::vector<std::uint64_t> ring[AHEAD + 1];
  auto gather = [&](std::uint64_t k, std::vector<std::uint64_t>& pending) {
    pending.clear();
    const std::uint64_t code = queue[static_cast<std::size_t>(k - offset)];
    const auto listA = transitionsOf(a[static_cast<std::int64_t>(code % n1)]);
    const auto listB = transitionsOf(b[static_cast<std::int64_t>(code / n1)]);
    const Transition* x = listA.data();
    const Transition* xEnd = x + listA.size();
    const Transition* y = listB.data();
    const Transition* yEnd = y + listB.size();
    while (x != xEnd && y != yEnd) {
      if (x->event < y->event) {
        ++x;
      } else if (y->event < x->event) {
        ++y;
      } else {
        const Transition* gx = groupEnd(x, xEnd);
        const Transition* gy = groupEnd(y, yEnd);
        for (const Transition* p = x; p != gx; ++p)
          for (const Transition* q = y; q != gy; ++q) {
            const std::uint64_t target = static_cast<std::uint64_t>(q->target) * n1 + static_cast<std::uint64_t>(p->target);
            seen.prefetch(target);
            pending.push_back(target);
          }
        x = gx;
        y = gy;
      }
    }
  };
  std::uint64_t gathered = 0;
  for (std::uint64_t k = 0; k < offset + queue.size(); ++k) {
    for (; gathered < offset + queue.size() && gathered <= k + AHEAD; ++gathered)
      gather(gathered, ring[gathered % (AHEAD + 1)]);
    for (const std::uint64_t target : ring[k % (AHEAD + 1)]) {
      if (!seen.insert(target)) continue;
      queue.push_back(target);
      if (!visit(static_cast<std::int64_t>(target))) return;
    }
    // Pairs before `gathered` are no longer read.
    const std::uint64_t done = gathered - offset;
    if (done > (std::uint64_t{1} << 16) && 2 * done > queue.size()) {
      queue.erase(queue.begin(), queue.begin() + static_cast<std::ptrdiff_t>(done));
      offset = gathered;
    }
  }
}

} // namespace

void setPairTableLimit(std::uint64_t bytes) { pairTableLimitOverride = bytes; }

std::uint64_t pairTableLimit() {
  if (pairTableLimitOverride) return pairTableLimitOverride;
  const std::uint64_t physical = physicalMemoryBytes();
  return physical ? physical / 4 : std::uint64_t{1} << 30;
}

bool meetDES(const DES& a, const DES& b, DES& result, std::vector<std::int64_t>& pairOf, PairIndex* pairIndex) {
  return tableProduct(a, b, nullptr, result, pairOf, pairIndex);
}

bool meetDESHashed(const DES& a, const DES& b, DES& result, std::vector<std::int64_t>& pairOf) {
  return hashedProduct(a, b, nullptr, result, pairOf);
}

bool meetDESPruned(const DES& a, const DES& b, const std::function<bool(std::int64_t, std::int64_t)>& expand,
                   DES& result, std::vector<std::int64_t>& pairOf, std::int64_t& unexpanded) {
  std::int64_t skipped = 0;
  if (!tableProduct(a, b, nullptr, result, pairOf, nullptr, &expand, &skipped)) return false;
  unexpanded = skipped;
  return true;
}

void visitMeetPairs(const DES& a, const DES& b, const std::function<bool(std::int64_t)>& visit) {
  if (a.empty() || b.empty()) return;
  const std::uint64_t pairs = static_cast<std::uint64_t>(a.size()) * static_cast<std::uint64_t>(b.size());
  if (pairs <= SeenBits::MAX_PAIRS) {
    SeenBits seen(pairs);
    visitPairs(a, b, seen, visit);
  } else {
    PairSet seen(pairs);
    visitPairs(a, b, seen, visit);
  }
}

bool addSelfloops(DES& des, const EventList& events) {
  if (events.empty()) return true;
  std::vector<Transition> scratch;
  for (std::int64_t s = 0; s < des.size(); ++s) {
    StateRecord& state = des[s];
    const auto list = transitionsOf(state);
    scratch.assign(list.begin(), list.end());
    for (std::uint16_t e : events) {
      Transition t;
      t.target = s;
      t.event = e;
      scratch.push_back(t);
    }
    // Duplicates (a self-loop already there) collapse in the one sort.
    if (!assignTransitions(state, scratch)) return false;
  }
  return true;
}

bool syncDES(const DES& a, const DES& b, const EventList& events, bool skipFirst, DES& result,
             std::vector<std::int64_t>& pairOf, PairIndex* pairIndex) {
  if (a.empty() || b.empty()) return tableProduct(a, b, nullptr, result, pairOf, pairIndex);
  EventList alphabetA, alphabetB;
  if (!skipFirst) collectEvents(a, alphabetA);
  collectEvents(b, alphabetB);
  FreeLabels free;
  for (std::uint16_t e : events) {
    const bool freeForA = !skipFirst && !findEvent(alphabetA, e);
    const bool freeForB = !findEvent(alphabetB, e);
    if (freeForA) setBit(free.forA, e);
    if (freeForB) setBit(free.forB, e);
    if (freeForA && freeForB) free.selfloops.push_back(e);
  }
  return tableProduct(a, b, &free, result, pairOf, pairIndex);
}

bool syncDESHashed(const DES& a, const DES& b, DES& result, std::vector<std::int64_t>& pairOf) {
  if (a.empty() || b.empty()) return hashedProduct(a, b, nullptr, result, pairOf);
  EventList alphabetA, alphabetB, onlyA, onlyB;
  collectEvents(a, alphabetA);
  collectEvents(b, alphabetB);
  std::set_difference(alphabetA.begin(), alphabetA.end(), alphabetB.begin(), alphabetB.end(),
                      std::back_inserter(onlyA));
  std::set_difference(alphabetB.begin(), alphabetB.end(), alphabetA.begin(), alphabetA.end(),
                      std::back_inserter(onlyB));
  FreeLabels free;
  free.forA = labelBitsOf(onlyB);
  free.forB = labelBitsOf(onlyA);
  return hashedProduct(a, b, &free, result, pairOf);
}

EventList blockedEvents(const EventList& inputLabels, const DES& result) {
  EventList used, blocked;
  collectEvents(result, used);
  std::set_difference(inputLabels.begin(), inputLabels.end(), used.begin(), used.end(),
                      std::back_inserter(blocked));
  return blocked;
}

std::int64_t PairIndex::find(std::int64_t code) const {
  if (code < 0) return -1;
  if (hashed)
    return packedMap.capacity ? packedMap.find(static_cast<std::uint64_t>(code)) : map.find(static_cast<std::uint64_t>(code));
  const auto c = static_cast<std::uint64_t>(code);
  if (c < table32.size()) return static_cast<std::int64_t>(table32[c]) - 1;
  return -1;
}

} // namespace kav
