#include "ops/product.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/languageOracle.h"

namespace kav {
namespace {

using namespace test;

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
    std::vector<const DES*> pointers;
    const int k = 2 + static_cast<int>(rng() % 3);
    for (int i = 0; i < k; ++i)
      parts.push_back(test::randomDES(rng, 1 + rng() % 4, static_cast<int>(rng() % 10), 6, 2, true));
    std::string trace = "seed " + std::to_string(seed);
    EventList labels;
    for (const DES& p : parts) {
      trace += '\n' + describe(p);
      pointers.push_back(&p);
      collectEvents(p, labels);
    }
    SCOPED_TRACE(trace);
    DES acc = copyDES(parts[0]);
    for (int i = 1; i < k; ++i) {
      DES r;
      std::vector<std::int64_t> pairOf;
      ASSERT_TRUE(syncDES(acc, parts[i], labels, i > 1, r, pairOf));
      EXPECT_TRUE(isValidDES(r));
      acc = std::move(r);
    }
    EXPECT_EQ(describe(acc), describe(referenceSync(pointers, labels)));
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
