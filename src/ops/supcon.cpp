#include "ops/supcon.h"

#include <algorithm>
#include <cassert>
#include <cstring>
#include <memory>

#include "model/progress.h"
#include "ops/product.h"
#include "ops/trim.h"

namespace kav {

namespace {

bool isUncontrollable(std::uint16_t label) { return label % 2 == 0; }

// Judges state k of the product: bad when an uncontrollable label that the
// plant enables at g is missing at k or leads from k to a bad state. The
// lists are sorted by label, so one merge walks both.
bool isBadState(const DES& product, std::int64_t k, const StateRecord& plantState) {
  const auto plantList = transitionsOf(plantState);
  const auto own = transitionsOf(product[k]);
  std::size_t j = 0;
  for (std::size_t i = 0; i < plantList.size(); ++i) {
    const std::uint16_t label = plantList[i].event;
    if (!isUncontrollable(label) || (i > 0 && plantList[i - 1].event == label)) continue;
    while (j < own.size() && own[j].event < label) ++j;
    if (j == own.size() || own[j].event != label) return true;
    for (std::size_t q = j; q < own.size() && own[q].event == label; ++q)
      if (!product[own[q].target].reached) return true;
  }
  return false;
}

// Whether the legal state e offers every uncontrollable label that the plant
// state g enables. A product state where it does not is bad whatever
// follows it.
bool offersEveryUncontrollable(const StateRecord& g, const StateRecord& e) {
  const auto plantList = transitionsOf(g);
  const auto legal = transitionsOf(e);
  std::size_t j = 0;
  for (const Transition& t : plantList) {
    if (!isUncontrollable(t.event)) continue;
    while (j < legal.size() && legal[j].event < t.event) ++j;
    if (j == legal.size() || legal[j].event != t.event) return false;
  }
  return true;
}

// Renumbers the supervisor, whose states are numbered in the order of the
// pruned product, in the order in which the full product's breadth-first
// search finds them (that search stores no transitions and stops at the
// last supervisor state), and reorders pairOf alongside.
// Supervisor states by pair code: a table over all pairs when that stays
// in the cache.
struct SupervisorTable {
  static constexpr std::uint64_t MAX_PAIRS = std::uint64_t{1} << 20;
  std::vector<std::uint32_t> table; // state + 1 per code, 0 = not a supervisor state
  explicit SupervisorTable(std::uint64_t pairs) : table(static_cast<std::size_t>(pairs), 0) {}
  void reserve(std::size_t) {}
  void insertOrFind(std::uint64_t code, std::int64_t k) { table[static_cast<std::size_t>(code)] = static_cast<std::uint32_t>(k + 1); }
  std::int64_t find(std::uint64_t code) const { return static_cast<std::int64_t>(table[static_cast<std::size_t>(code)]) - 1; }
};

template <typename Map>
void numberAsFullProduct(const DES& plant, const DES& spec, DES& supervisor, std::vector<std::int64_t>& pairOf,
                         Map index) {
  const auto n = static_cast<std::size_t>(supervisor.size());
  index.reserve(n);
  // Most pairs the search meets are no supervisor state; a bit per hash of
  // the code, 16 bits per supervisor state, small enough for the cache,
  // answers most of them without a lookup in the map.
  std::size_t filterBits = 1024;
  while (filterBits < 16 * n) filterBits *= 2;
  std::vector<std::uint64_t> filter(filterBits / 64, 0);
  const auto bitOf = [&](std::uint64_t code) {
    return static_cast<std::size_t>((code * 0x9E3779B97F4A7C15ull) >> 20) & (filterBits - 1);
  };
  for (std::size_t k = 0; k < n; ++k) {
    const auto code = static_cast<std::uint64_t>(pairOf[k]);
    index.insertOrFind(code, static_cast<std::int64_t>(k));
    filter[bitOf(code) / 64] |= std::uint64_t{1} << (bitOf(code) % 64);
  }
  std::vector<std::int64_t> order;
  order.reserve(n);
  visitMeetPairs(plant, spec, [&](std::int64_t code) {
    const std::size_t bit = bitOf(static_cast<std::uint64_t>(code));
    if ((filter[bit / 64] >> (bit % 64) & 1) == 0) return true;
    const std::int64_t k = index.find(static_cast<std::uint64_t>(code));
    if (k >= 0) order.push_back(k);
    return order.size() < n;
  });
  assert(order.size() == n);
  std::vector<std::int64_t> newIndex(n);
  for (std::size_t r = 0; r < n; ++r) newIndex[static_cast<std::size_t>(order[r])] = static_cast<std::int64_t>(r);
  DES renumbered = allocStates(static_cast<std::int64_t>(n));
  std::vector<std::int64_t> codes(n);
  for (std::size_t k = 0; k < n; ++k) {
    StateRecord& from = supervisor.states[k];
    StateRecord& to = renumbered.states[static_cast<std::size_t>(newIndex[k])];
    codes[static_cast<std::size_t>(newIndex[k])] = pairOf[k];
    to.marked = from.marked;
    to.reached = from.reached;
    to.coreached = from.coreached;
    auto list = transitionsOf(from);
    for (Transition& t : list) t.target = newIndex[static_cast<std::size_t>(t.target)];
    // Targets of one label may now be out of order.
    std::sort(list.begin(), list.end());
    to.transitionCount = from.transitionCount;
    to.transitions = std::move(from.transitions);
  }
  supervisor = std::move(renumbered);
  pairOf = std::move(codes);
}

} // namespace

void cutBadStates(DES& des) {
  for (StateRecord& s : des.states) {
    if (!s.reached) {
      s.transitions.reset();
      s.transitionCount = 0;
      continue;
    }
    Transition* list = s.transitions.get();
    std::uint32_t kept = 0;
    for (std::uint32_t k = 0; k < s.transitionCount; ++k)
      if (des[list[k].target].reached) list[kept++] = list[k];
    if (kept == s.transitionCount) continue;
    if (kept == 0) {
      s.transitions.reset();
    } else {
      auto exact = std::make_unique_for_overwrite<Transition[]>(kept);
      std::memcpy(exact.get(), list, kept * sizeof(Transition));
      s.transitions = std::move(exact);
    }
    s.transitionCount = static_cast<std::uint16_t>(kept);
  }
}

void shaveUncontrollable(const DES& plant, DES& product, std::vector<std::int64_t>& pairOf) {
  if (product.empty()) return;
  const std::int64_t plantSize = plant.size();
  std::int64_t previous = product.size();
  for (;;) {
    reportProgressf("SHAVE1 %ld %ld", static_cast<long>(previous), static_cast<long>(product.size()));
    previous = product.size();
    // The trim before every round leaves all flags set (good).
    bool anyBad = false;
    for (std::int64_t k = 0; k < product.size(); ++k) {
      StateRecord& state = product[k];
      state.reached = 1;
      const std::int64_t g = pairOf[static_cast<std::size_t>(k)] % plantSize;
      if (isBadState(product, k, plant[g])) {
        state.reached = 0;
        anyBad = true;
      }
    }
    // Nothing judged bad: cutting and trimming would change nothing.
    if (!anyBad) return;
    cutBadStates(product);
    if (!product[0].reached) {
      freeDES(product);
      std::vector<std::int64_t>().swap(pairOf);
      return;
    }
    // Bad states lost every transition, so the trim drops them along with
    // whatever was reachable or coreachable only through them.
    trimDESWithPairs(product, pairOf);
    if (product.size() == previous) return;
  }
}

bool supconDES(const DES& plant, const DES& spec, DES& result, std::vector<std::int64_t>* pairOf) {
  DES product;
  std::vector<std::int64_t> pairs;
  if (!plant.empty() && !spec.empty()) {
    // Only what can survive is built: a state where the legal language
    // prevents an uncontrollable plant event is kept (it is bad) but not
    // expanded, so neither is anything reachable only through it. The
    // supervisor, the largest set of product states that are reachable,
    // coreachable and never escape by an uncontrollable event, lies
    // entirely in this pruned product, with all its transitions.
    std::int64_t unexpanded = 0;
    const auto expand = [&](std::int64_t g, std::int64_t e) { return offersEveryUncontrollable(plant[g], spec[e]); };
    if (!meetDESPruned(plant, spec, expand, product, pairs, unexpanded)) return false;
    trimDESWithPairs(product, pairs);
    shaveUncontrollable(plant, product, pairs);
    // The pruned product numbers states as the full one only when nothing
    // was pruned.
    if (unexpanded > 0 && !product.empty()) {
      const std::uint64_t pairCount = static_cast<std::uint64_t>(plant.size()) * static_cast<std::uint64_t>(spec.size());
      if (pairCount <= SupervisorTable::MAX_PAIRS)
        numberAsFullProduct(plant, spec, product, pairs, SupervisorTable(pairCount));
      else if (pairCount < PackedPairMap::LIMIT)
        numberAsFullProduct(plant, spec, product, pairs, PackedPairMap{});
      else
        numberAsFullProduct(plant, spec, product, pairs, PairMap{});
    }
  }
  result = std::move(product);
  if (pairOf) *pairOf = std::move(pairs);
  return true;
}

} // namespace kav
