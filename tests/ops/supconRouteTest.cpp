// supconDES, which builds only the part of the product that can survive,
// against the full-product route (meetDES, trim, shave) it replaces; and
// the product-order search and pair lookups it stands on.

#include <gtest/gtest.h>

#include <string>

#include "ops/product.h"
#include "ops/supcon.h"
#include "ops/trim.h"
#include "support/testSupport.h"

namespace kav {
namespace {

using test::describe;

// Checks supconDES against the full route; answers whether the result has
// states.
bool sameAsFullRoute(const DES& plant, const DES& spec) {
  DES expected;
  std::vector<std::int64_t> expectedPairs;
  EXPECT_TRUE(meetDES(plant, spec, expected, expectedPairs));
  trimDESWithPairs(expected, expectedPairs);
  shaveUncontrollable(plant, expected, expectedPairs);
  DES got;
  std::vector<std::int64_t> pairs;
  EXPECT_TRUE(supconDES(plant, spec, got, &pairs));
  EXPECT_TRUE(isValidDES(got));
  EXPECT_EQ(describe(got), describe(expected));
  EXPECT_EQ(pairs, expectedPairs);
  return !got.empty();
}

TEST(SupconRoute, NumbersAsTheFullProductWhenAPrunedStateFindsASurvivorFirst) {
  // State 1 is bad (the legal language blocks the plant's 2 there) and
  // not expanded; the full product still finds 4 through it, before 3.
  // In the second case 2 reaches both 3 and 4 by 5, so the new numbers
  // reverse the order of its two 5-transitions.
  const std::vector<test::Edge> common{{0, 1, 1}, {0, 3, 2}, {1, 5, 4}, {2, 5, 3}, {3, 7, 4}, {4, 9, 0}};
  const struct {
    std::vector<test::Edge> plantExtra, specExtra;
  } cases[] = {{{{1, 2, 1}}, {}}, {{{1, 2, 1}, {2, 5, 4}}, {{2, 5, 4}}}};
  for (const auto& c : cases) {
    std::vector<test::Edge> plantEdges = common, specEdges = common;
    plantEdges.insert(plantEdges.end(), c.plantExtra.begin(), c.plantExtra.end());
    specEdges.insert(specEdges.end(), c.specExtra.begin(), c.specExtra.end());
    EXPECT_TRUE(sameAsFullRoute(test::makeDES(5, plantEdges, {4}), test::makeDES(5, specEdges, {4})));
  }
}

TEST(SupconRoute, GivesTheFullProductRouteResultOnRandomDES) {
  // Labels 0..5, the even ones uncontrollable. The legal language offers
  // each uncontrollable label missing at a state with a self-loop, except
  // at about one state-label in `block`, so uncontrollable events are
  // blocked early, late or never; the plant is nondeterministic for every
  // third seed and the legal language for every fifth.
  int nonEmpty = 0;
  for (std::uint32_t seed = 1; seed <= 300; ++seed) {
    std::mt19937 rng(seed);
    const auto n1 = static_cast<std::int64_t>(1 + rng() % 12);
    const auto n2 = static_cast<std::int64_t>(1 + rng() % 12);
    const DES plant = test::randomDES(rng, n1, static_cast<int>(2 * n1 + rng() % 8), 6, 2, seed % 3 != 0);
    DES spec = test::randomDES(rng, n2, static_cast<int>((1 + rng() % 3) * n2), 6, 2, seed % 5 != 0);
    const std::uint32_t block = 2 + rng() % 12;
    for (StateRecord& s : spec.states)
      for (std::uint16_t u : {0, 2, 4})
        if (!hasEvent(s, u) && rng() % block != 0) insertTransition(s, u, &s - spec.states.data());
    SCOPED_TRACE("seed " + std::to_string(seed) + ": " + describe(plant) + " / " + describe(spec));
    nonEmpty += sameAsFullRoute(plant, spec);
  }
  EXPECT_GT(nonEmpty, 40);
}

// A cycle of n states on label 1, with `extra` random transitions on
// labels 2 and 3 (nondeterministic ones too).
DES ring(std::mt19937& rng, std::int64_t n, int extra) {
  std::vector<test::Edge> edges;
  for (std::int64_t s = 0; s < n; ++s) edges.push_back({s, 1, (s + 1) % n});
  for (int k = 0; k < extra; ++k)
    edges.push_back({static_cast<std::int64_t>(rng() % n), static_cast<std::uint16_t>(2 + rng() % 2),
                     static_cast<std::int64_t>(rng() % n)});
  return test::makeDES(n, edges, {0});
}

TEST(VisitMeetPairs, VisitsThePairsInTheProductsNumberingAndStopsWhenAsked) {
  // The second case's 36 million pairs are past the bit set.
  const struct {
    std::int64_t n1, n2;
    int extra;
  } cases[] = {{7, 9, 12}, {6000, 6000, 4}};
  for (const auto& c : cases) {
    std::mt19937 rng(static_cast<std::uint32_t>(c.n1));
    const DES a = ring(rng, c.n1, c.extra), b = ring(rng, c.n2, c.extra);
    DES product;
    std::vector<std::int64_t> pairOf, visited;
    ASSERT_TRUE(meetDES(a, b, product, pairOf));
    EXPECT_GE(product.size(), c.n1);
    visitMeetPairs(a, b, [&](std::int64_t code) {
      visited.push_back(code);
      return true;
    });
    EXPECT_EQ(visited, pairOf);
    visited.clear();
    visitMeetPairs(a, b, [&](std::int64_t code) {
      visited.push_back(code);
      return visited.size() < 3;
    });
    EXPECT_EQ(visited.size(), 3u);
  }
}

TEST(MeetDES, MovesToThePairTableOnceTheProductFillsAnEighthOfIt) {
  // Two cycles of 1100 and 1003 states on one label: all 1.1 million pairs
  // are reachable, beyond the table used from the start (4 MiB), so the
  // product starts in the map and moves to the table on the way.
  const auto cycle = [](std::int64_t n) {
    std::vector<test::Edge> edges;
    for (std::int64_t s = 0; s < n; ++s) edges.push_back({s, 1, (s + 1) % n});
    return test::makeDES(n, edges, {0});
  };
  const DES a = cycle(1100), b = cycle(1003);
  DES moved, hashed;
  std::vector<std::int64_t> movedPairs, hashedPairs;
  PairIndex movedIndex, hashedIndex;
  ASSERT_TRUE(meetDES(a, b, moved, movedPairs, &movedIndex));
  setPairTableLimit(1);
  ASSERT_TRUE(meetDES(a, b, hashed, hashedPairs, &hashedIndex));
  setPairTableLimit(0);
  EXPECT_FALSE(movedIndex.hashed);
  EXPECT_TRUE(hashedIndex.hashed);
  EXPECT_EQ(moved.size(), 1100 * 1003);
  EXPECT_EQ(movedPairs, hashedPairs);
  for (std::int64_t code = 0; code < 1100 * 1003; code += 997) EXPECT_EQ(movedIndex.find(code), hashedIndex.find(code));
}

} // namespace
} // namespace kav
