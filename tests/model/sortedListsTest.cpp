#include "model/sortedlists.h"

#include <gtest/gtest.h>

#include <random>
#include <set>

namespace kav {
namespace {

TEST(SortedLists, InsertKeepsAscendingOrderAndRefusesRepeats) {
  EventList events;
  for (std::uint16_t e : {5, 3, 5, 1000, 0}) insertEvent(events, e);
  EXPECT_EQ(events, (EventList{0, 3, 5, 1000}));
  EXPECT_FALSE(insertEvent(events, 3));
  EXPECT_TRUE(findEvent(events, 1000));
  EXPECT_FALSE(findEvent(events, 4));

  StatePairList pairs;
  EXPECT_TRUE(insertStatePair(pairs, 2, 1));
  EXPECT_TRUE(insertStatePair(pairs, 1, 9));
  EXPECT_TRUE(insertStatePair(pairs, 2, 0));
  EXPECT_FALSE(insertStatePair(pairs, 1, 9));
  EXPECT_EQ(pairs, (StatePairList{{1, 9}, {2, 0}, {2, 1}}));

  QuadrupleList quads;
  insertQuadruple(quads, {1, 2, 3, -4});
  insertQuadruple(quads, {1, 2, 3, -5});
  EXPECT_FALSE(insertQuadruple(quads, {1, 2, 3, -4}));
  EXPECT_EQ(quads.front().value, -5);
}

TEST(SortedLists, AgreeWithAStandardSetOnRandomInput) {
  std::mt19937 rng(7);
  StateList list;
  std::set<std::int64_t> reference;
  for (int k = 0; k < 2000; ++k) {
    const auto v = static_cast<std::int64_t>(rng() % 300) - 100;
    EXPECT_EQ(insertState(list, v), reference.insert(v).second);
  }
  EXPECT_EQ(list, StateList(reference.begin(), reference.end()));
}

TEST(StateSetMap, CreatesEntriesInKeyOrderAndCollectsMembers) {
  StateSetMap map;
  EXPECT_TRUE(insertIntoStateSetMap(map, 7, 3));
  EXPECT_TRUE(insertIntoStateSetMap(map, 2, 9));
  EXPECT_TRUE(insertIntoStateSetMap(map, 7, 1));
  EXPECT_FALSE(insertIntoStateSetMap(map, 7, 3));
  ASSERT_EQ(map.size(), 2u);
  EXPECT_EQ(map[0].key, 2);
  EXPECT_EQ(map[1].members, (StateList{1, 3}));
  ASSERT_NE(findStateSet(map, 2), nullptr);
  EXPECT_EQ(findStateSet(map, 5), nullptr);
}

} // namespace
} // namespace kav
