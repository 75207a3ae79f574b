// project against its staged reference, projectStaged: identical results
// (states, markers, vocal outputs, transitions) on seeded random DES.

#include <gtest/gtest.h>

#include <string>

#include "ops/project.h"
#include "support/testSupport.h"

namespace kav {
namespace {

using test::describe;

void expectSameAsStaged(const DES& d, const EventList& erased) {
  DES fast = copyDES(d), staged = copyDES(d);
  project(fast, erased);
  projectStaged(staged, erased);
  ASSERT_TRUE(isValidDES(fast));
  EXPECT_EQ(describe(fast), describe(staged)); // vocal outputs included
}

TEST(ProjectRoute, GivesTheStagedResultOnRandomDES) {
  // Sizes span the three stage classes (all labels at once below 100
  // states, two at a time below 1000, one at a time above); the large ones
  // are sparse, so that the staged subset constructions stay small. Small
  // dense DES get cycles of erased moves. Erased sets range over none, some
  // and all of labels 0..4 and may include 5, which no DES uses.
  for (std::uint32_t seed = 1; seed <= 240; ++seed) {
    std::mt19937 rng(seed);
    const auto draw = [&](std::uint32_t base, std::uint32_t spread) { return static_cast<std::int64_t>(base + rng() % spread); };
    const std::int64_t sizes[] = {1, draw(2, 12), draw(100, 60), draw(1000, 100)};
    const std::int64_t n = sizes[seed % 4];
    const int edges = static_cast<int>(n < 100 ? n * (1 + rng() % 3) + rng() % 5 : n + n / 4);
    DES d = test::randomDES(rng, n, edges, 5, 3, seed % 3 != 0);
    for (StateRecord& s : d.states) s.vocal = rng() % 4 == 0 ? 10 + rng() % 3 : 0;
    EventList erased;
    const std::uint32_t pick = seed % 5 == 0 ? 0 : seed % 5 == 1 ? 63 : rng();
    for (std::uint16_t e = 0; e < 6; ++e)
      if (pick >> e & 1) erased.push_back(e);
    SCOPED_TRACE("seed " + std::to_string(seed) + ": " + (n < 20 ? describe(d) : std::to_string(n) + " states"));
    expectSameAsStaged(d, erased);
  }
}

TEST(ProjectRoute, OnlyReachesAndMinimizesWhenNoStageErasesAnything) {
  // 1001 states: a path 0 -> 999 -> 998 -> ... -> 1 (marked), which
  // breadth-first numbering reorders, and an unreachable state 1000 that
  // alone carries label 4. Erasing {2, 4} one label at a time, 2 occurs
  // nowhere and the reach after it removes 4: no subset construction runs
  // and the input's numbering stays. Erasing {4}, the first stage does
  // construct, from state 0, and numbers breadth-first.
  std::vector<test::Edge> edges{{0, 1, 999}, {1000, 4, 1000}};
  for (std::int64_t s = 999; s > 1; --s) edges.push_back({s, 1, s - 1});
  const DES d = test::makeDES(1001, edges, {1});
  const struct {
    EventList erased;
    std::int64_t second; // the number of the state after 0
  } cases[] = {{{2, 4}, 999}, {{4}, 1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.erased.size());
    expectSameAsStaged(d, c.erased);
    DES p = copyDES(d);
    project(p, c.erased);
    EXPECT_EQ(p[0].transitions[0].target, c.second);
  }
}

} // namespace
} // namespace kav
