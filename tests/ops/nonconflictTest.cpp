#include "ops/nonconflict.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "support/testSupport.h"

namespace kav {
namespace {

using namespace test;

bool nonconflicting(const DES& a, const DES& b) {
  bool answer = false;
  EXPECT_TRUE(nonconflictingDES(a, b, answer));
  return answer;
}

TEST(NonconflictingDES, AnyDESWithAnEmptyOneIsNonconflicting) {
  const DES a = makeDES(2, {{0, 1, 1}}, {});
  EXPECT_TRUE(nonconflicting(a, DES{}));
  EXPECT_TRUE(nonconflicting(DES{}, a));
}

TEST(AllCoreachable, AsksThatEveryStateReachAMarkedOne) {
  EXPECT_TRUE(allCoreachable(DES{}));
  EXPECT_TRUE(allCoreachable(makeDES(3, {{0, 1, 1}, {1, 1, 2}, {2, 1, 0}}, {1})));
  EXPECT_FALSE(allCoreachable(makeDES(3, {{0, 1, 1}, {1, 1, 2}}, {1})));
}

// Reference without library code: the pairs reachable from (0, 0) by
// common labels, and from each whether a pair marked in both is reachable.
bool referenceNonconflicting(const DES& a, const DES& b) {
  if (a.empty() || b.empty()) return true;
  using Pair = std::pair<std::int64_t, std::int64_t>;
  std::map<Pair, std::vector<Pair>> next;
  std::vector<Pair> todo{{0, 0}};
  next[{0, 0}];
  while (!todo.empty()) {
    const Pair p = todo.back();
    todo.pop_back();
    for (const Transition& x : transitionsOf(a[p.first]))
      for (const Transition& y : transitionsOf(b[p.second])) {
        if (x.event != y.event) continue;
        const Pair q{x.target, y.target};
        next[p].push_back(q);
        if (next.emplace(q, std::vector<Pair>{}).second) todo.push_back(q);
      }
  }
  for (const auto& [start, unused] : next) {
    std::map<Pair, bool> seen{{start, true}};
    std::vector<Pair> stack{start};
    bool found = false;
    while (!stack.empty() && !found) {
      const Pair p = stack.back();
      stack.pop_back();
      found = a[p.first].marked && b[p.second].marked;
      for (const Pair& q : next[p])
        if (seen.emplace(q, true).second) stack.push_back(q);
    }
    if (!found) return false;
  }
  return true;
}

TEST(NonconflictingDES, AgreesWithAReferenceOnRandomPairs) {
  int conflicts = 0;
  for (std::uint32_t seed = 1; seed <= 200; ++seed) {
    std::mt19937 rng(seed);
    const DES a = test::randomDES(rng, 1 + rng() % 6, 8, 3, 3, true);
    const DES b = test::randomDES(rng, 1 + rng() % 6, 8, 3, 3, true);
    SCOPED_TRACE("seed " + std::to_string(seed) + ": " + test::describe(a) + " / " + test::describe(b));
    const bool expected = referenceNonconflicting(a, b);
    EXPECT_EQ(nonconflicting(a, b), expected);
    conflicts += !expected;
  }
  // Both answers were exercised.
  EXPECT_GT(conflicts, 20);
  EXPECT_LT(conflicts, 180);
}

} // namespace
} // namespace kav
