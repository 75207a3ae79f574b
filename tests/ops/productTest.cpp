#include "ops/product.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "support/testSupport.h"

namespace kav {
namespace {

using namespace test;

// Reference written without library code: breadth-first over tuples of
// component states, labels of `labels` ascending; a component whose own
// labels lack the label stays put. Deterministic components only.
DES referenceSync(const std::vector<DES>& parts, const std::vector<std::uint16_t>& labels) {
  for (const DES& p : parts)
    if (p.empty()) return DES{};
  std::vector<std::vector<bool>> uses(parts.size(), std::vector<bool>(1001, false));
  for (std::size_t i = 0; i < parts.size(); ++i)
    for (const test::Edge& e : test::edgesOf(parts[i])) uses[i][e.event] = true;
  std::map<std::vector<std::int64_t>, std::int64_t> number;
  std::vector<std::vector<std::int64_t>> tuples{std::vector<std::int64_t>(parts.size(), 0)};
  number[tuples[0]] = 0;
  std::vector<test::Edge> edges;
  std::vector<std::int64_t> marked;
  for (std::size_t k = 0; k < tuples.size(); ++k) {
    const std::vector<std::int64_t> from = tuples[k];
    bool allMarked = true;
    for (std::size_t i = 0; i < parts.size(); ++i) allMarked = allMarked && parts[i][from[i]].marked;
    if (allMarked) marked.push_back(static_cast<std::int64_t>(k));
    for (std::uint16_t e : labels) {
      std::vector<std::int64_t> to = from;
      bool possible = true;
      for (std::size_t i = 0; i < parts.size() && possible; ++i) {
        if (!uses[i][e]) continue;
        possible = false;
        for (const Transition& t : transitionsOf(parts[i][from[i]]))
          if (t.event == e) to[i] = t.target, possible = true;
      }
      if (!possible) continue;
      auto [it, added] = number.emplace(to, static_cast<std::int64_t>(tuples.size()));
      if (added) tuples.push_back(to);
      edges.push_back({static_cast<std::int64_t>(k), e, it->second});
    }
  }
  return makeDES(static_cast<std::int64_t>(tuples.size()), edges, marked);
}

std::vector<std::uint16_t> labelsOf(const std::vector<DES>& parts) {
  EventList labels;
  for (const DES& p : parts) collectEvents(p, labels);
  return labels;
}

TEST(MeetDES, NumbersStatesBreadthFirstByAscendingCommonLabel) {
  // From (0, 0): label 2 leads to (1, 1) and label 7 to (2, 0).
  const DES a = makeDES(3, {{0, 7, 2}, {0, 2, 1}, {1, 4, 0}}, {1, 2});
  const DES b = makeDES(2, {{0, 2, 1}, {0, 7, 0}, {1, 4, 1}}, {1});
  DES r;
  std::vector<std::int64_t> pairOf;
  PairIndex index;
  ASSERT_TRUE(meetDES(a, b, r, pairOf, &index));
  EXPECT_EQ(describe(r), "4: 0-2->1 0-7->2 1-4->3 | marked 1"); // (2, 0): a marked, b not
  EXPECT_EQ(pairOf, (std::vector<std::int64_t>{0, 1 * 3 + 1, 0 * 3 + 2, 1 * 3 + 0}));
  EXPECT_EQ(r[0].reached, 1);
  EXPECT_EQ(index.find(1 * 3 + 1), 1);
  EXPECT_EQ(index.find(2 * 3 + 2), -1);

  DES h;
  std::vector<std::int64_t> keys;
  ASSERT_TRUE(meetDESHashed(a, b, h, keys));
  EXPECT_EQ(describe(h), describe(r));
  EXPECT_EQ(keys, (std::vector<std::int64_t>{0, (1ll << 32) | 1, 2, 1ll << 32}));
  ASSERT_TRUE(meetDES(makeDES(1, {}), DES{}, r, pairOf));
  EXPECT_TRUE(r.empty() && pairOf.empty());
}

TEST(MeetDES, PairsEveryTargetOfANondeterministicLabel) {
  const DES a = makeDES(3, {{0, 1, 1}, {0, 1, 2}}, {});
  const DES b = makeDES(3, {{0, 1, 2}, {0, 1, 1}}, {});
  DES r;
  std::vector<std::int64_t> pairOf;
  ASSERT_TRUE(meetDES(a, b, r, pairOf));
  EXPECT_EQ(pairOf, (std::vector<std::int64_t>{0, 3 + 1, 6 + 1, 3 + 2, 6 + 2}));
}

TEST(MeetDES, RefusesAStateBeyondTheTransitionLimitAndLeavesTheResult) {
  // 256 targets of label 1 on each side: 65,536 product transitions at (0, 0).
  std::vector<test::Edge> fan;
  for (std::int64_t t = 0; t < 256; ++t) fan.push_back({0, 1, t});
  const DES a = makeDES(256, fan, {});
  DES r = makeDES(1, {});
  std::vector<std::int64_t> pairOf{42};
  EXPECT_FALSE(meetDES(a, a, r, pairOf));
  EXPECT_EQ(describe(r), "1: | marked");
  EXPECT_EQ(pairOf, std::vector<std::int64_t>{42});
}

TEST(SyncDES, LeftToRightOverTheUnionEqualsTheTupleProduct) {
  for (std::uint32_t seed = 1; seed <= 60; ++seed) {
    std::mt19937 rng(seed);
    std::vector<DES> parts;
    const int k = 2 + static_cast<int>(rng() % 3);
    for (int i = 0; i < k; ++i)
      parts.push_back(test::randomDES(rng, 1 + rng() % 4, static_cast<int>(rng() % 10), 6, 2, true));
    std::string trace = "seed " + std::to_string(seed);
    for (const DES& p : parts) {
      trace += '\n';
      trace += describe(p);
    }
    SCOPED_TRACE(trace);
    const EventList labels = labelsOf(parts);
    DES acc = copyDES(parts[0]);
    for (int i = 1; i < k; ++i) {
      DES r;
      std::vector<std::int64_t> pairOf;
      ASSERT_TRUE(syncDES(acc, parts[i], labels, i > 1, r, pairOf));
      EXPECT_TRUE(isValidDES(r));
      acc = std::move(r);
    }
    EXPECT_EQ(describe(acc), describe(referenceSync(parts, labels)));
    // Two operands through the hash map over their own labels: same DES.
    DES pairTable, hashed;
    std::vector<std::int64_t> p1, p2;
    EventList both;
    collectEvents(parts[0], both);
    collectEvents(parts[1], both);
    ASSERT_TRUE(syncDES(parts[0], parts[1], both, false, pairTable, p1));
    ASSERT_TRUE(syncDESHashed(parts[0], parts[1], hashed, p2));
    EXPECT_EQ(describe(hashed), describe(pairTable));
  }
}

TEST(AddSelfloops, AddsEachLabelOnceAtEveryState) {
  DES des = makeDES(2, {{0, 3, 0}, {0, 3, 1}}, {});
  ASSERT_TRUE(addSelfloops(des, {2, 3}));
  EXPECT_EQ(describe(des), "2: 0-2->0 0-3->0 0-3->1 1-2->1 1-3->1 | marked");
}

TEST(BlockedEvents, ListsInputLabelsMissingFromTheResult) {
  const DES a = makeDES(2, {{0, 1, 1}, {1, 5, 0}}, {});
  const DES b = makeDES(2, {{0, 5, 1}, {1, 1, 0}, {1, 2, 1}}, {});
  DES r;
  std::vector<std::int64_t> pairOf;
  ASSERT_TRUE(syncDES(a, b, {1, 2, 5}, false, r, pairOf));
  const EventList labels{1, 2, 5};
  const EventList blocked = blockedEvents(labels, r);
  EXPECT_EQ(blocked, (EventList{1, 2, 5}));
  EXPECT_EQ(blockedEvents(labels, copyDES(a)), (EventList{2}));
}

} // namespace
} // namespace kav
