#include "ops/trim.h"

#include <gtest/gtest.h>

#include <deque>
#include <string>

#include "model/progress.h"
#include "model/session.h"
#include "support/languageOracle.h"

namespace kav {
namespace {

using namespace test;

// The trim computed from the reference sets, survivors renumbered by rank.
DES referenceTrim(const DES& des, bool needCoreached) {
  const auto reach = reachableStates(des);
  const auto co = coreachableStates(des);
  std::vector<std::int64_t> rank(des.states.size(), -1);
  std::int64_t kept = 0;
  for (std::int64_t s = 0; s < des.size(); ++s)
    if (reach[s] && (!needCoreached || co[s])) rank[s] = kept++;
  std::vector<test::Edge> edges;
  std::vector<std::int64_t> marked;
  for (std::int64_t s = 0; s < des.size(); ++s) {
    if (rank[s] < 0) continue;
    if (des[s].marked) marked.push_back(rank[s]);
    for (const Transition& t : transitionsOf(des[s]))
      if (rank[t.target] >= 0) edges.push_back({rank[s], t.event, rank[t.target]});
  }
  return test::makeDES(kept, edges, marked);
}

TEST(TrimDESWithPairs, MovesEachPairCodeWithItsState) {
  DES des = makeDES(4, {{0, 1, 2}, {0, 3, 1}, {2, 1, 3}}, {3});
  std::vector<std::int64_t> pairs{10, 11, 12, 13};
  trimDESWithPairs(des, pairs);
  EXPECT_EQ(describe(des), "3: 0-1->1 1-1->2 | marked 2");
  EXPECT_EQ(pairs, (std::vector<std::int64_t>{10, 12, 13}));
}

TEST(BfsRecodeDES, NumbersStatesInOrderOfDiscoveryByAscendingLabel) {
  // From 0: label 3 to 7 and label 1 to 4, so 4 becomes 1 and 7 becomes 2;
  // the successors of old 4 (5) come before those of old 7 (6).
  DES des = makeDES(8, {{0, 3, 7}, {0, 1, 4}, {7, 2, 6}, {4, 2, 5}, {6, 1, 0}}, {6});
  des[7].vocal = 11;
  std::vector<std::int64_t> map;
  bfsRecodeDES(des, &map);
  EXPECT_EQ(describe(des), "5: 0-1->1 0-3->2 1-2->3 2-2->4 4-1->0 | marked 4 | vocal 2:11");
  EXPECT_EQ(map, (std::vector<std::int64_t>{0, -1, -1, -1, 1, 3, 4, 2}));
  EXPECT_TRUE(isValidDES(des));
}

TEST(ReachabilityLaws, AgreeWithReferenceOnRandomDes) {
  for (std::uint32_t seed = 1; seed <= 300; ++seed) {
    std::mt19937 rng(seed);
    const std::int64_t size = rng() % 40;
    const DES input = test::randomDES(rng, size, static_cast<int>(rng() % 100), 6, 5, seed % 2 == 0);
    SCOPED_TRACE("seed " + std::to_string(seed) + ": " + describe(input));

    DES trimmed = copyDES(input);
    trimDES(trimmed);
    EXPECT_EQ(describe(trimmed), describe(referenceTrim(input, true)));
    EXPECT_TRUE(isValidDES(trimmed));
    for (const StateRecord& s : trimmed.states) EXPECT_TRUE(s.reached && s.coreached);
    DES again = copyDES(trimmed);
    trimDES(again);
    EXPECT_EQ(describe(again), describe(trimmed)); // idempotent

    DES reached = copyDES(input);
    reachDES(reached);
    EXPECT_EQ(describe(reached), describe(referenceTrim(input, false)));

    DES coreach = copyDES(input);
    markCoreachable(coreach);
    const auto expected = coreachableStates(input);
    for (std::int64_t s = 0; s < size; ++s) EXPECT_EQ(coreach[s].coreached == 1, expected[s]) << "state " << s;

    // Recoding a reachable DES is a renaming: the same sizes, and a second
    // recode changes nothing.
    DES recoded = copyDES(reached);
    bfsRecodeDES(recoded);
    EXPECT_TRUE(isValidDES(recoded));
    EXPECT_EQ(recoded.size(), reached.size());
    EXPECT_EQ(countTransitions(recoded), countTransitions(reached));
    DES twice = copyDES(recoded);
    bfsRecodeDES(twice);
    EXPECT_EQ(describe(twice), describe(recoded));
  }
}

std::vector<std::string> progressLines;
void captureProgress(const char* text) { progressLines.emplace_back(text); }

TEST(MarkReachable, ReportsProgressEveryTenThousandNewStatesInDebugMode) {
  std::vector<test::Edge> chain;
  for (std::int64_t s = 0; s + 1 < 20002; ++s) chain.push_back({s, 1, s + 1});
  DES des = test::makeDES(20002, chain, {20001});
  progressLines.clear();
  setProgressHook(captureProgress);
  session.debugMode = true;
  trimDES(des);
  session.debugMode = false;
  setProgressHook(nullptr);
  ASSERT_GE(progressLines.size(), 3u);
  EXPECT_EQ(progressLines[0], "B_REACH: 0");
  EXPECT_EQ(progressLines[1], "B_REACH: 10000");
  EXPECT_EQ(progressLines[2], "B_REACH: 20000");

  progressLines.clear();
  trimDES(des); // debug mode off: silent
  EXPECT_TRUE(progressLines.empty());
}

} // namespace
} // namespace kav
