#include "ops/supcon.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model/progress.h"
#include "model/session.h"
#include "ops/product.h"
#include "ops/trim.h"
#include "support/languageOracle.h"

namespace kav {
namespace {

using namespace test;

std::vector<std::string> progressLines;
void captureProgress(const char* text) {
  if (std::string(text).starts_with("SHAVE1")) progressLines.emplace_back(text);
}

DES supconOf(const DES& plant, const DES& spec) {
  progressLines.clear();
  setProgressHook(captureProgress);
  session.debugMode = true;
  DES result;
  EXPECT_TRUE(supconDES(plant, spec, result));
  session.debugMode = false;
  setProgressHook(nullptr);
  EXPECT_TRUE(isValidDES(result));
  return result;
}

// The full-product route of supconDES, whose shave rounds show in the
// progress lines (supconDES itself shaves only the states that can
// survive, so it runs fewer rounds).
DES shavedProduct(const DES& plant, const DES& spec, std::vector<std::string>& lines) {
  DES product;
  std::vector<std::int64_t> pairOf;
  EXPECT_TRUE(meetDES(plant, spec, product, pairOf));
  trimDESWithPairs(product, pairOf);
  progressLines.clear();
  setProgressHook(captureProgress);
  session.debugMode = true;
  shaveUncontrollable(plant, product, pairOf);
  session.debugMode = false;
  setProgressHook(nullptr);
  lines = progressLines;
  EXPECT_EQ(describe(supconOf(plant, spec)), describe(product));
  return product;
}

TEST(SupconDES, RemovesStatesReachableOnlyThroughABadStateInTheSameRound) {
  // Product: 0 -1-> 1 -3-> 3 -7-> 2 and 0 -5-> 2 (marked). State 1 is bad
  // (the plant's 2 is forbidden), and so is 3 (its 4); 3 hangs on 1.
  const DES plant = makeDES(4, {{0, 1, 1}, {0, 5, 3}, {1, 2, 2}, {1, 3, 2}, {2, 4, 3}, {2, 7, 3}}, {3});
  const DES spec = makeDES(4, {{0, 1, 1}, {0, 5, 2}, {1, 3, 3}, {3, 7, 2}}, {2});
  std::vector<std::string> lines;
  EXPECT_EQ(describe(shavedProduct(plant, spec, lines)), "2: 0-5->1 | marked 1");
  EXPECT_EQ(lines, (std::vector<std::string>{"SHAVE1 4 4", "SHAVE1 4 2"}));
}

TEST(SupconDES, ShavesAgainWhenALowerStateLeadsIntoALaterBadOne) {
  // 0 -1-> 1 -2-> 2, 1 -3-> 0, 2 -5-> 0; 2 is bad (4 forbidden). State 1
  // is judged before 2 in the first round and falls in the second.
  const DES plant = makeDES(3, {{0, 1, 1}, {1, 2, 2}, {1, 3, 0}, {2, 4, 0}, {2, 5, 0}}, {0});
  const DES spec = makeDES(3, {{0, 1, 1}, {1, 2, 2}, {1, 3, 0}, {2, 5, 0}}, {0});
  std::vector<std::string> lines;
  EXPECT_EQ(describe(shavedProduct(plant, spec, lines)), "1: | marked 0");
  EXPECT_EQ(lines, (std::vector<std::string>{"SHAVE1 3 3", "SHAVE1 3 2", "SHAVE1 2 1"}));
  EXPECT_TRUE(supconOf(plant, DES{}).empty());
  EXPECT_TRUE(supconOf(DES{}, plant).empty());
}

// --- Laws on random tiny DES, checked against an exhaustive search -------

// Every uncontrollable event the plant offers after a string of `sup` is
// offered by sup too.
bool controllable(const DES& sup, const DES& plant) {
  if (sup.empty()) return true;
  bool ok = true;
  walkPairs(sup, plant, [&](std::int64_t s, std::int64_t g) {
    for (const Transition& u : transitionsOf(plant[g]))
      if (u.event % 2 == 0 && !hasEvent(sup[s], u.event)) ok = false;
  });
  return ok;
}

TEST(SupconDES, IsTheLargestControllableNonblockingSublanguageOfTheProduct) {
  int searched = 0;
  for (std::uint32_t seed = 1; searched < 150 && seed < 5000; ++seed) {
    std::mt19937 rng(seed);
    const DES plant = test::randomDES(rng, 2 + rng() % 2, 6, 4, 2, true);
    const DES spec = test::randomDES(rng, 2 + rng() % 2, 6, 4, 2, true);
    const DES product = referenceMeet(plant, spec);
    const std::vector<test::Edge> edges = test::edgesOf(product);
    if (edges.size() > 12) continue;
    ++searched;
    SCOPED_TRACE("seed " + std::to_string(seed) + "\nplant " + describe(plant) + "\nspec " + describe(spec));
    const DES sup = supconOf(plant, spec);
    for (bool live : liveStates(sup)) EXPECT_TRUE(live); // nonblocking: trim
    EXPECT_TRUE(controllable(sup, plant));
    EXPECT_TRUE(contained(sup, product));
    // Every sub-automaton of the product that is, once trimmed,
    // controllable must lie inside the supervisor.
    for (std::uint32_t subset = 0; subset < (1u << edges.size()); ++subset) {
      std::vector<test::Edge> kept;
      for (std::size_t i = 0; i < edges.size(); ++i)
        if (subset >> i & 1) kept.push_back(edges[i]);
      DES candidate = makeDES(product.size(), kept, test::markedOf(product));
      const std::vector<bool> live = liveStates(candidate);
      if (!live[0]) continue;
      std::vector<test::Edge> trimmed;
      for (const test::Edge& e : kept)
        if (live[e.from] && live[e.to]) trimmed.push_back(e);
      std::vector<std::int64_t> marked;
      for (std::int64_t m : test::markedOf(product))
        if (live[m]) marked.push_back(m);
      candidate = makeDES(product.size(), trimmed, marked);
      if (!controllable(candidate, plant)) continue;
      EXPECT_TRUE(contained(candidate, sup)) << "subset " << subset;
    }
  }
  EXPECT_EQ(searched, 150);
}

} // namespace
} // namespace kav
