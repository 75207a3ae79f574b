#include "families.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <set>
#include <utility>

#include "ops/product.h"

namespace kav::bench {

namespace {

// --- Random numbers ----------------------------------------------------------

// MT19937 with the array seeding of its authors, and the draws built on it
// the way the original model generator makes them.
struct Twister {
  static constexpr int N = 624;
  static constexpr int M = 397;
  std::uint32_t mt[N];
  int index = N + 1;

  void initGenrand(std::uint32_t s) {
    mt[0] = s;
    for (int i = 1; i < N; ++i) mt[i] = 1812433253u * (mt[i - 1] ^ (mt[i - 1] >> 30)) + static_cast<std::uint32_t>(i);
    index = N;
  }

  // The integer seed as 32-bit words, least significant first (one zero
  // word for seed 0).
  explicit Twister(std::uint64_t seed) {
    std::vector<std::uint32_t> key;
    do {
      key.push_back(static_cast<std::uint32_t>(seed));
      seed >>= 32;
    } while (seed);
    initGenrand(19650218u);
    int i = 1, j = 0;
    const int keyLength = static_cast<int>(key.size());
    for (int k = std::max(N, keyLength); k; --k) {
      mt[i] = (mt[i] ^ ((mt[i - 1] ^ (mt[i - 1] >> 30)) * 1664525u)) + key[static_cast<std::size_t>(j)] +
              static_cast<std::uint32_t>(j);
      ++i;
      ++j;
      if (i >= N) {
        mt[0] = mt[N - 1];
        i = 1;
      }
      if (j >= keyLength) j = 0;
    }
    for (int k = N - 1; k; --k) {
      mt[i] = (mt[i] ^ ((mt[i - 1] ^ (mt[i - 1] >> 30)) * 1566083941u)) - static_cast<std::uint32_t>(i);
      ++i;
      if (i >= N) {
        mt[0] = mt[N - 1];
        i = 1;
      }
    }
    mt[0] = 0x80000000u;
    index = N;
  }

  std::uint32_t next() {
    if (index >= N) {
      for (int k = 0; k < N; ++k) {
        const std::uint32_t y = (mt[k] & 0x80000000u) | (mt[(k + 1) % N] & 0x7fffffffu);
        mt[k] = mt[(k + M) % N] ^ (y >> 1) ^ ((y & 1u) ? 0x9908b0dfu : 0u);
      }
      index = 0;
    }
    std::uint32_t y = mt[index++];
    y ^= y >> 11;
    y ^= (y << 7) & 0x9d2c5680u;
    y ^= (y << 15) & 0xefc60000u;
    y ^= y >> 18;
    return y;
  }

  // A double in [0, 1) from 53 random bits.
  double uniform() {
    const std::uint32_t a = next() >> 5, b = next() >> 6;
    return (a * 67108864.0 + b) * (1.0 / 9007199254740992.0);
  }

  // Uniform in 0..n-1 (n >= 1) by rejection over bit_length(n) bits.
  std::int64_t below(std::int64_t n) {
    int bits = 0;
    for (std::int64_t v = n; v; v >>= 1) ++bits;
    for (;;) {
      std::uint64_t r;
      if (bits <= 32) {
        r = next() >> (32 - bits);
      } else {
        // Wider draws take whole words, least significant first.
        const std::uint64_t low = next();
        r = (static_cast<std::uint64_t>(next() >> (64 - bits)) << 32) | low;
      }
      if (r < static_cast<std::uint64_t>(n)) return static_cast<std::int64_t>(r);
    }
  }

  // k distinct elements of pool, in draw order.
  std::vector<std::uint16_t> sample(const std::vector<std::uint16_t>& pool, int k) {
    const auto n = static_cast<std::int64_t>(pool.size());
    std::vector<std::uint16_t> result;
    std::int64_t setSize = 21;
    if (k > 5) setSize += static_cast<std::int64_t>(std::pow(4.0, std::ceil(std::log(k * 3.0) / std::log(4.0))));
    if (n <= setSize) {
      std::vector<std::uint16_t> rest = pool;
      for (int i = 0; i < k; ++i) {
        const std::int64_t j = below(n - i);
        result.push_back(rest[static_cast<std::size_t>(j)]);
        rest[static_cast<std::size_t>(j)] = rest[static_cast<std::size_t>(n - i - 1)];
      }
    } else {
      std::set<std::int64_t> selected;
      for (int i = 0; i < k; ++i) {
        std::int64_t j = below(n);
        while (selected.count(j)) j = below(n);
        selected.insert(j);
        result.push_back(pool[static_cast<std::size_t>(j)]);
      }
    }
    return result;
  }
};

// --- Building DES ------------------------------------------------------------

struct Edge {
  std::int64_t from;
  std::uint16_t event;
  std::int64_t to;
};

DES buildDES(std::int64_t size, const std::vector<std::int64_t>& marked, const std::vector<Edge>& edges) {
  DES des = allocStates(size);
  std::vector<std::vector<Transition>> lists(static_cast<std::size_t>(size));
  for (const Edge& e : edges) lists[static_cast<std::size_t>(e.from)].push_back(makeTransition(e.event, e.to));
  for (std::int64_t s = 0; s < size; ++s) (void)assignTransitions(des[s], lists[static_cast<std::size_t>(s)]);
  for (std::int64_t s : marked) des[s].marked = 1;
  return des;
}

std::uint16_t startOf(int i) { return static_cast<std::uint16_t>(10 * i + 1); }
std::uint16_t finishOf(int i) { return static_cast<std::uint16_t>(10 * i + 2); }
std::uint16_t repairOf(int i) { return static_cast<std::uint16_t>(10 * i + 3); }
std::uint16_t breakOf(int i) { return static_cast<std::uint16_t>(10 * i + 4); }

DES selfloopState(const EventList& labels) {
  std::vector<Edge> edges;
  for (std::uint16_t e : labels) edges.push_back({0, e, 0});
  return buildDES(1, {0}, edges);
}

ModularModel transferLine(int n, int k, bool breakdown) {
  ModularModel model;
  EventList plantLabels;
  for (int i = 1; i <= n; ++i) {
    std::vector<Edge> edges{{0, startOf(i), 1}, {1, finishOf(i), 0}};
    if (breakdown) {
      edges.push_back({1, breakOf(i), 2});
      edges.push_back({2, repairOf(i), 0});
    }
    model.plants.push_back(buildDES(breakdown ? 3 : 2, {0}, edges));
    collectEvents(model.plants.back(), plantLabels);
  }
  for (int i = 1; i < n; ++i) {
    std::vector<Edge> edges;
    for (int c = 0; c < k; ++c) {
      edges.push_back({c, finishOf(i), c + 1});
      edges.push_back({c + 1, startOf(i + 1), c});
    }
    model.specs.push_back(buildDES(k + 1, {0}, edges));
  }
  if (breakdown)
    for (int i = 1; i < n; ++i)
      model.specs.push_back(buildDES(2, {0}, {{0, repairOf(i), 0}, {0, breakOf(i + 1), 1}, {1, repairOf(i + 1), 0}}));
  model.specs.push_back(selfloopState(plantLabels));
  for (std::uint16_t e : plantLabels)
    if (e % 2 == 0) model.erased.push_back(e);
  return model;
}

// A random deterministic automaton of n states over `labels`, every state
// reachable from 0: each state gets min(deg, |pool|) distinct labels drawn
// from the pool (`extra` when given, else `labels`) plus every `must` label
// (each left out with probability drop); labels no state drew are put in at
// random states; a random spanning tree over the free (state, label) slots
// makes every state reachable and the other slots get uniform targets.
DES randomAutomaton(Twister& rng, std::int64_t n, const std::vector<std::uint16_t>& labels, int deg,
                    double markedFraction, const std::vector<std::uint16_t>& must = {},
                    const std::vector<std::uint16_t>* extra = nullptr, double drop = 0.0) {
  const std::vector<std::uint16_t>& pool = extra ? *extra : labels;
  const int d = std::min(deg, static_cast<int>(pool.size()));
  const std::set<std::uint16_t> mustSet(must.begin(), must.end());
  std::vector<std::vector<std::uint16_t>> slots;
  for (std::int64_t s = 0; s < n; ++s) {
    std::set<std::uint16_t> chosen;
    if (d > 0)
      for (std::uint16_t e : rng.sample(pool, d)) chosen.insert(e);
    for (std::uint16_t e : mustSet)
      if (!(drop > 0 && rng.uniform() < drop)) chosen.insert(e);
    slots.emplace_back(chosen.begin(), chosen.end());
  }
  std::set<std::uint16_t> used;
  for (const auto& list : slots) used.insert(list.begin(), list.end());
  for (std::uint16_t e : labels) {
    if (used.count(e)) continue;
    auto& list = slots[static_cast<std::size_t>(rng.below(n))];
    std::vector<std::uint16_t> candidates;
    if (!mustSet.count(e))
      for (std::uint16_t x : list)
        if (!mustSet.count(x)) candidates.push_back(x);
    if (!candidates.empty()) {
      const std::uint16_t drop1 = candidates[static_cast<std::size_t>(rng.below(static_cast<std::int64_t>(candidates.size())))];
      list.erase(std::find(list.begin(), list.end(), drop1));
    }
    list.push_back(e);
    std::sort(list.begin(), list.end());
    used.insert(e);
  }
  std::vector<std::map<std::uint16_t, std::int64_t>> target(static_cast<std::size_t>(n));
  std::vector<std::pair<std::int64_t, std::uint16_t>> free;
  for (std::uint16_t e : slots[0]) free.emplace_back(0, e);
  for (std::int64_t s = 1; s < n; ++s) {
    // An out-degree too small to reach every state leaves the rest
    // unreachable; the original generator refuses such parameters.
    if (free.empty()) break;
    const auto j = static_cast<std::size_t>(rng.below(static_cast<std::int64_t>(free.size())));
    std::swap(free[j], free.back());
    const auto [p, e] = free.back();
    free.pop_back();
    target[static_cast<std::size_t>(p)][e] = s;
    for (std::uint16_t e2 : slots[static_cast<std::size_t>(s)]) free.emplace_back(s, e2);
  }
  std::vector<Edge> edges;
  for (std::int64_t s = 0; s < n; ++s) {
    for (std::uint16_t e : slots[static_cast<std::size_t>(s)]) {
      const auto& known = target[static_cast<std::size_t>(s)];
      const auto it = known.find(e);
      edges.push_back({s, e, it != known.end() ? it->second : rng.below(n)});
    }
  }
  std::vector<std::int64_t> marked;
  for (std::int64_t s = 0; s < n; ++s)
    if (rng.uniform() < markedFraction) marked.push_back(s);
  if (marked.empty()) marked.push_back(rng.below(n));
  return buildDES(n, marked, edges);
}

} // namespace

ModularModel lineFamily(int n, int k) { return transferLine(n, k, false); }

ModularModel breakdownFamily(int n, int k) { return transferLine(n, k, true); }

ModularModel randomFamily(int n, int m, int unc, int deg, double marked, unsigned seed, int specStates, double drop) {
  Twister rng(seed);
  std::vector<std::uint16_t> pool, uncontrollable, controllable;
  for (int j = 0; j < unc; ++j) pool.push_back(static_cast<std::uint16_t>(100 + 2 * j));
  for (int j = 0; j < m - unc; ++j) pool.push_back(static_cast<std::uint16_t>(101 + 2 * j));
  std::sort(pool.begin(), pool.end());
  for (std::uint16_t e : pool) (e % 2 ? controllable : uncontrollable).push_back(e);
  const std::vector<std::uint16_t> first(pool.begin(), pool.begin() + (2 * m + 2) / 3);
  const std::vector<std::uint16_t> second(pool.begin() + m / 3, pool.end());

  ModularModel model;
  model.plants.push_back(randomAutomaton(rng, n, first, deg, marked));
  model.plants.push_back(randomAutomaton(rng, n, second, deg, marked));
  model.specs.push_back(randomAutomaton(rng, specStates ? specStates : n, pool, deg, marked, uncontrollable,
                                        &controllable, drop));
  model.specs.push_back(selfloopState(EventList(pool.begin(), pool.end())));
  for (std::uint16_t e : first)
    if (!std::binary_search(second.begin(), second.end(), e)) model.erased.push_back(e);
  return model;
}

DES syncComponents(const std::vector<DES>& parts) {
  if (parts.empty()) return DES{};
  EventList labels;
  for (const DES& p : parts) collectEvents(p, labels);
  DES accumulator = copyDES(parts[0]);
  for (std::size_t i = 1; i < parts.size(); ++i) {
    DES next;
    std::vector<std::int64_t> pairOf;
    // After the first step the accumulator carries every label already.
    if (!accumulator.empty()) (void)syncDES(accumulator, parts[i], labels, i > 1, next, pairOf);
    accumulator = std::move(next);
  }
  return accumulator;
}

} // namespace kav::bench
