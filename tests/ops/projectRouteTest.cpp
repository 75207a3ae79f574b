// project against its staged reference, projectStaged: identical results
// (states, markers, vocal outputs, transitions) on seeded random DES, along
// every route of its subset construction.

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "model/progress.h"
#include "ops/project.h"
#include "support/testSupport.h"

namespace kav {
namespace {

using test::describe;

// Every route of the subset construction: as project chooses it, plain
// only, pruned only, with limits so small that small DES switch from plain
// to pruned and, when that gives up, back to plain, and plain over silent
// cycles left unmerged (whole closures as subsets, no pruning).
const ProjectLimits routes[] = {{}, {INT64_MAX, 0, false}, {0, INT64_MAX, true}, {40, 400, true}, {0, 0, true, false}};

void expectSameAsStaged(const DES& d, const EventList& erased) {
  DES staged = copyDES(d);
  projectStaged(staged, erased);
  for (const ProjectLimits& limits : routes) {
    SCOPED_TRACE("limits " + std::to_string(limits.plainWork) + " " + std::to_string(limits.prunedWork));
    DES fast = copyDES(d);
    project(fast, erased, limits);
    ASSERT_TRUE(isValidDES(fast));
    EXPECT_EQ(describe(fast), describe(staged)); // vocal outputs included
  }
}

TEST(ProjectRoute, GivesTheStagedResultOnRandomDES) {
  // Sizes span the three stage classes (all labels at once below 100
  // states, two at a time below 1000, one at a time above); the large ones
  // are sparse, so that the staged subset constructions stay small. Dense
  // DES below 100 states get cycles of erased moves and, nondeterministic,
  // subsets whose members simulate one another in many ways. Erased sets
  // range over none, some and all of labels 0..4 and may include 5, which
  // no DES uses; every five seeds meet each kind of set once.
  for (std::uint32_t seed = 1; seed <= 240; ++seed) {
    std::mt19937 rng(seed);
    const auto draw = [&](std::uint32_t base, std::uint32_t spread) { return static_cast<std::int64_t>(base + rng() % spread); };
    const std::int64_t sizes[] = {1, draw(2, 12), draw(40, 50), draw(100, 60), draw(1000, 100)};
    const std::int64_t n = sizes[seed / 5 % 5];
    const bool deterministic = seed % 3 != 0 && seed / 5 % 5 != 2;
    const int edges = static_cast<int>(n < 40 ? n * (1 + rng() % 3) + rng() % 5 : n < 100 ? 3 * n : n + n / 4);
    DES d = test::randomDES(rng, n, edges, 5, 3, deterministic);
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

TEST(ProjectRoute, PrunedSubsetsStayFewWhereOneMemberCoversTheRest) {
  // States (i, j), i < 60, j < 5, shaped like the supervisors on which the
  // plain subsets multiply: erased labels 0 and 1 move i at random; kept
  // labels 2..4 move j by a fixed rule and i at random, where state i = 0
  // also stays at 0, so every subset holds some (0, j). Marked: i = 0 with
  // j even, and at random other states with j even; so (0, j) covers every
  // member of its subset. Progress lines count the subsets expanded.
  static int subsets = 0;
  setProgressHook([](const char* text) { subsets += std::string_view(text).starts_with("PROJECT:"); }, true);
  for (std::uint32_t seed = 1; seed <= 3; ++seed) {
    std::mt19937 rng(seed);
    constexpr std::int64_t B = 5;
    DES d = allocStates(60 * B);
    for (std::int64_t s = 0; s < d.size(); ++s) {
      const std::int64_t i = s / B, j = s % B;
      for (std::uint16_t e = 0; e < 2; ++e)
        if (rng() % 2) insertTransition(d[s], e, rng() % 60 * B + j);
      for (std::uint16_t e = 2; e < 5; ++e) {
        const std::int64_t next = (j * 7 + e * 3 + seed) % B;
        if (i == 0) insertTransition(d[s], e, next);
        if (i == 0 || rng() % 3) insertTransition(d[s], e, rng() % 60 * B + next);
      }
      d[s].marked = j % 2 == 0 && (i == 0 || rng() % 2);
    }
    SCOPED_TRACE("seed " + std::to_string(seed));
    expectSameAsStaged(d, {0, 1});
    int made[2];
    for (int pruned = 0; pruned < 2; ++pruned) {
      DES p = copyDES(d);
      subsets = 0;
      project(p, {0, 1}, pruned ? ProjectLimits{0} : ProjectLimits{INT64_MAX});
      made[pruned] = subsets;
    }
    EXPECT_GT(made[0], 200);
    EXPECT_LT(made[1], made[0] / 4);
  }
  setProgressHook(nullptr);
}

} // namespace
} // namespace kav
