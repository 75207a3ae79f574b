#include "ops/nonconflict.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/languageOracle.h"

namespace kav {
namespace {

using namespace test;

bool nonconflicting(const DES& a, const DES& b) {
  bool answer = false;
  EXPECT_TRUE(nonconflictingDES(a, b, answer));
  return answer;
}

TEST(AllCoreachable, AsksThatEveryStateReachAMarkedOne) {
  EXPECT_TRUE(allCoreachable(DES{}));
  EXPECT_TRUE(allCoreachable(makeDES(3, {{0, 1, 1}, {1, 1, 2}, {2, 1, 0}}, {1})));
  EXPECT_FALSE(allCoreachable(makeDES(3, {{0, 1, 1}, {1, 1, 2}}, {1})));
}

TEST(NonconflictingDES, AgreesWithAReferenceOnRandomPairsAndHoldsWithAnEmptyOne) {
  int conflicts = 0;
  for (std::uint32_t seed = 1; seed <= 200; ++seed) {
    std::mt19937 rng(seed);
    const DES a = test::randomDES(rng, 1 + rng() % 6, 8, 3, 3, true);
    const DES b = test::randomDES(rng, 1 + rng() % 6, 8, 3, 3, true);
    SCOPED_TRACE("seed " + std::to_string(seed) + ": " + test::describe(a) + " / " + test::describe(b));
    // Nonconflicting: every reachable state of the meet is coreachable.
    const std::vector<bool> live = liveStates(referenceMeet(a, b));
    const bool expected = std::find(live.begin(), live.end(), false) == live.end();
    EXPECT_EQ(nonconflicting(a, b), expected);
    conflicts += !expected;
  }
  // Both answers were exercised.
  EXPECT_GT(conflicts, 20);
  EXPECT_LT(conflicts, 180);
  // Any DES with an empty one is nonconflicting.
  const DES a = makeDES(2, {{0, 1, 1}}, {});
  EXPECT_TRUE(nonconflicting(a, DES{}));
  EXPECT_TRUE(nonconflicting(DES{}, a));
}

} // namespace
} // namespace kav
