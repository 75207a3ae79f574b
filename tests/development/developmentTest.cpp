// Laws of the development operations on seeded random DES; their exact
// numbering and messages are checked through the dialogs.

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "development/attach.h"
#include "development/shortestPath.h"
#include "support/testSupport.h"

namespace kav {
namespace {

using namespace test;

// Distance from p to q along at least one transition, by relaxing whole
// layers: no search order involved. -1 when q cannot be reached that way.
long referenceDistance(const DES& des, std::int64_t p, std::int64_t q) {
  std::vector<bool> layer(static_cast<std::size_t>(des.size()), false);
  layer[static_cast<std::size_t>(p)] = true;
  for (long steps = 1; steps <= des.size(); ++steps) {
    std::vector<bool> next(layer.size(), false);
    for (std::int64_t s = 0; s < des.size(); ++s)
      if (layer[static_cast<std::size_t>(s)])
        for (const Transition& t : transitionsOf(des[s])) next[static_cast<std::size_t>(t.target)] = true;
    if (next[static_cast<std::size_t>(q)]) return steps;
    layer = next;
  }
  return -1;
}

TEST(ShortestPathDES, AgreesWithLayeredDistancesAndFollowsTransitionsOfTheInput) {
  for (std::uint32_t seed = 1; seed <= 40; ++seed) {
    std::mt19937 rng(seed);
    const DES des = randomDES(rng, 12, 20, 4, 3, false);
    const auto p = static_cast<std::int64_t>(rng() % 12), q = static_cast<std::int64_t>(rng() % 12);
    SCOPED_TRACE(::testing::Message() << "seed " << seed << " p " << p << " q " << q << " " << describe(des));
    DES path;
    shortestPathDES(des, p, q, path);
    ASSERT_TRUE(isValidDES(path));
    ASSERT_EQ(path.size(), des.size());
    const long distance = p == q ? -1 : referenceDistance(des, p, q);
    ASSERT_EQ(countTransitions(path), distance < 0 ? 0 : distance);
    // Walking the result from p reaches q, over transitions of the input.
    std::int64_t at = p;
    for (long k = 0; k < distance; ++k) {
      ASSERT_EQ(path[at].transitionCount, 1);
      const Transition step = path[at].transitions[0];
      ASSERT_TRUE(hasEvent(des[at], step.event));
      at = step.target;
    }
    if (distance > 0) {
      EXPECT_EQ(at, q);
    }
  }
}

TEST(AttachDES, KeepsTheBaseAndAppendsTheGraftOnRandomInputs) {
  for (std::uint32_t seed = 1; seed <= 20; ++seed) {
    std::mt19937 rng(seed);
    const DES base = randomDES(rng, 5, 8, 4, 2, true), graft = randomDES(rng, 4, 6, 4, 2, true);
    const auto state = static_cast<std::int64_t>(rng() % 5);
    SCOPED_TRACE(::testing::Message() << "seed " << seed << " " << describe(base) << " / " << describe(graft));
    DES result;
    ASSERT_TRUE(attachDES(base, state, graft, result));
    ASSERT_TRUE(isValidDES(result));
    ASSERT_EQ(result.size(), 8);
    const auto renamed = [state](std::int64_t j) { return j == 0 ? state : 4 + j; };
    const auto has = [&result](std::int64_t s, const Transition& t) {
      const auto list = transitionsOf(result[s]);
      return std::binary_search(list.begin(), list.end(), t);
    };
    // Every transition of both inputs is there, graft targets renamed, and
    // nothing else: the counts add up where the two meet.
    for (std::int64_t s = 0; s < 5; ++s) {
      EXPECT_EQ(result[s].marked, base[s].marked);
      for (const Transition& t : transitionsOf(base[s])) EXPECT_TRUE(has(s, t));
    }
    for (std::int64_t j = 0; j < 4; ++j) {
      if (j > 0) {
        EXPECT_EQ(result[renamed(j)].marked, graft[j].marked);
      }
      for (Transition t : transitionsOf(graft[j])) {
        t.target = renamed(t.target);
        EXPECT_TRUE(has(renamed(j), t));
      }
    }
    EXPECT_LE(countTransitions(result), countTransitions(base) + countTransitions(graft));
  }
}

TEST(StatemapDES, WithoutPairsCopiesTheTransitionsAndDropsMarkersAndOutputs) {
  std::mt19937 rng(7);
  DES des = randomDES(rng, 30, 80, 6, 2, false);
  des[3].vocal = 12;
  DES result;
  ASSERT_TRUE(statemapDES(des, {}, result));
  ASSERT_TRUE(isValidDES(result));
  EXPECT_EQ(test::edgesOf(result).size(), test::edgesOf(des).size());
  EXPECT_TRUE(test::markedOf(result).empty());
  EXPECT_EQ(result[3].vocal, 0);
}

} // namespace
} // namespace kav
