#include "ops/isomorph.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <string>
#include <vector>

#include "ops/trim.h"
#include "support/testSupport.h"

namespace kav {
namespace {

using namespace test;

// b with its states renumbered: state s of a is perm[s] of the result.
DES renumbered(const DES& a, const std::vector<std::int64_t>& perm) {
  std::vector<test::Edge> edges;
  std::vector<std::int64_t> marked;
  for (std::int64_t s = 0; s < a.size(); ++s) {
    if (a[s].marked) marked.push_back(perm[s]);
    for (const Transition& t : transitionsOf(a[s])) edges.push_back({perm[s], t.event, perm[t.target]});
  }
  DES b = makeDES(a.size(), edges, marked);
  for (std::int64_t s = 0; s < a.size(); ++s) b[perm[s]].vocal = a[s].vocal;
  return b;
}

// Reference without library code: tries every correspondence fixing 0.
bool referenceIsomorphic(const DES& a, const DES& b) {
  if (a.size() != b.size()) return false;
  if (a.empty()) return true;
  std::vector<std::int64_t> perm(static_cast<std::size_t>(a.size()));
  std::iota(perm.begin(), perm.end(), 0);
  do {
    if (describe(renumbered(a, perm)) == describe(b)) return true;
  } while (std::next_permutation(perm.begin() + 1, perm.end()));
  return false;
}

// Whether map carries every transition, marking and output of a onto b.
bool isCorrespondence(const DES& a, const DES& b, const std::vector<std::int64_t>& map) {
  return describe(renumbered(a, map)) == describe(b);
}

std::vector<std::int64_t> answer(const DES& a, const DES& b, bool& isomorphic) {
  std::vector<std::int64_t> map;
  isomorphic = isomorphicDES(a, b, map);
  return map;
}

TEST(IsomorphicDES, MatchesUnreachableStatesWhereAGreedyChoiceFails) {
  // Unreachable in a: 1 alone, 2 -5-> 3; in b: 1 -5-> 2, 3 alone. Taking
  // the first state without transitions for a's 1 would steal the end of
  // the chain.
  const DES a = makeDES(4, {{2, 5, 3}}, {});
  const DES b = makeDES(4, {{1, 5, 2}}, {});
  bool iso;
  EXPECT_EQ(answer(a, b, iso), (std::vector<std::int64_t>{0, 3, 1, 2}));
  EXPECT_TRUE(iso);
}

TEST(IsomorphicDES, TellsUnreachableSinksApartByTheLabelsThatEnterThem) {
  // Fourteen unreachable sinks, each entered from a source of its own by a
  // label of its own, the sinks numbered before the sources and reversed
  // in b. A search that placed the sinks before knowing those labels would
  // try their permutations one by one.
  const std::int64_t n = 14;
  std::vector<test::Edge> ea, eb;
  for (std::int64_t i = 0; i < n; ++i) {
    ea.push_back({1 + n + i, static_cast<std::uint16_t>(i + 1), 1 + i});
    eb.push_back({1 + n + i, static_cast<std::uint16_t>(i + 1), n - i});
  }
  const DES a = makeDES(1 + 2 * n, ea, {}), b = makeDES(1 + 2 * n, eb, {});
  bool iso;
  const std::vector<std::int64_t> map = answer(a, b, iso);
  EXPECT_TRUE(iso);
  EXPECT_TRUE(isCorrespondence(a, b, map));
}

TEST(IsomorphicDES, BacktracksOverUnreachableCyclesThatLookAlike) {
  // Two 3-cycles against one 6-cycle: every state looks the same locally.
  std::vector<test::Edge> two, six, twoRenumbered;
  for (std::int64_t k = 0; k < 3; ++k) {
    two.push_back({1 + k, 1, 1 + (k + 1) % 3});
    two.push_back({4 + k, 1, 4 + (k + 1) % 3});
    twoRenumbered.push_back({1 + 2 * k, 1, 1 + 2 * ((k + 1) % 3)});
    twoRenumbered.push_back({2 + 2 * k, 1, 2 + 2 * ((k + 1) % 3)});
  }
  for (std::int64_t k = 0; k < 6; ++k) six.push_back({1 + k, 1, 1 + (k + 1) % 6});
  bool iso;
  answer(makeDES(7, two, {}), makeDES(7, six, {}), iso);
  EXPECT_FALSE(iso);
  const DES a = makeDES(7, two, {});
  const DES b = makeDES(7, twoRenumbered, {});
  const std::vector<std::int64_t> map = answer(a, b, iso);
  EXPECT_TRUE(iso);
  EXPECT_TRUE(isCorrespondence(a, b, map));
}

TEST(IsomorphicDES, FindsEveryRenumberingOfAReachableDES) {
  for (std::uint32_t seed = 1; seed <= 100; ++seed) {
    std::mt19937 rng(seed);
    DES a = test::randomDES(rng, 2 + rng() % 40, 120, 5, 3, true);
    reachDES(a);
    for (StateRecord& s : a.states) s.vocal = static_cast<std::int16_t>(rng() % 4 == 0 ? 10 : 0);
    a[0].vocal = 0;
    std::vector<std::int64_t> perm(static_cast<std::size_t>(a.size()));
    std::iota(perm.begin(), perm.end(), 0);
    for (std::size_t k = perm.size() - 1; k > 1; --k) std::swap(perm[k], perm[1 + rng() % k]);
    const DES b = renumbered(a, perm);
    SCOPED_TRACE("seed " + std::to_string(seed) + ": " + describe(a));
    bool iso;
    // Every state is reachable and the DES deterministic: the
    // correspondence is unique.
    EXPECT_EQ(answer(a, b, iso), perm);
    EXPECT_TRUE(iso);
    // One transition moved to another target.
    std::vector<test::Edge> edges = test::edgesOf(b);
    if (edges.empty()) continue;
    test::Edge& e = edges[rng() % edges.size()];
    e.to = (e.to + 1) % b.size();
    DES changed = makeDES(b.size(), edges, test::markedOf(b));
    for (std::int64_t s = 0; s < b.size(); ++s) changed[s].vocal = b[s].vocal;
    answer(a, changed, iso);
    EXPECT_FALSE(iso);
  }
}

TEST(IsomorphicDES, AgreesWithAReferenceWhenStatesAreUnreachable) {
  int yes = 0;
  for (std::uint32_t seed = 1; seed <= 300; ++seed) {
    std::mt19937 rng(seed);
    const std::int64_t n = 1 + rng() % 6;
    const DES a = test::randomDES(rng, n, static_cast<int>(rng() % 8), 2, 3, true);
    std::vector<std::int64_t> perm(static_cast<std::size_t>(n));
    std::iota(perm.begin(), perm.end(), 0);
    for (std::size_t k = perm.size() - 1; k > 1; --k) std::swap(perm[k], perm[1 + rng() % k]);
    DES b = renumbered(a, perm);
    // Half the time b is changed a little: one transition or one marking.
    if (rng() % 2) {
      std::vector<test::Edge> edges = test::edgesOf(b);
      std::vector<std::int64_t> marked = test::markedOf(b);
      if (!edges.empty() && rng() % 2) edges[rng() % edges.size()].to = static_cast<std::int64_t>(rng() % n);
      else if (rng() % 2 && !marked.empty()) marked[0] = static_cast<std::int64_t>(rng() % n);
      b = makeDES(n, edges, marked);
    }
    SCOPED_TRACE("seed " + std::to_string(seed) + ": " + describe(a) + " / " + describe(b));
    bool iso;
    const std::vector<std::int64_t> map = answer(a, b, iso);
    EXPECT_EQ(iso, referenceIsomorphic(a, b));
    if (iso) {
      EXPECT_TRUE(isCorrespondence(a, b, map));
    }
    yes += iso;
  }
  EXPECT_GT(yes, 100);
}

} // namespace
} // namespace kav
