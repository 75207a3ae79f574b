#include "model/des.h"

#include <gtest/gtest.h>

#include "support/testSupport.h"

namespace kav {
namespace {

using namespace test;

std::vector<std::pair<int, long>> listOf(const StateRecord& s) {
  std::vector<std::pair<int, long>> out;
  for (const Transition& t : transitionsOf(s)) out.emplace_back(t.event, static_cast<long>(t.target));
  return out;
}

TEST(InsertTransition, KeepsListOrderedByEventThenTargetAndRefusesAnExactRepeat) {
  StateRecord s;
  EXPECT_TRUE(insertTransition(s, 3, 5));
  EXPECT_TRUE(insertTransition(s, 1, 9));
  EXPECT_TRUE(insertTransition(s, 3, 2));
  EXPECT_FALSE(insertTransition(s, 3, 2));
  EXPECT_EQ(listOf(s), (std::vector<std::pair<int, long>>{{1, 9}, {3, 2}, {3, 5}}));
  EXPECT_EQ(s.transitionCount, 3);
}

TEST(InsertTransition, StopsAtTheSixteenBitLimitAndSaysSo) {
  StateRecord s;
  std::vector<Transition> full;
  for (std::uint32_t k = 0; k < MAX_TRANSITIONS_PER_STATE; ++k) {
    Transition t;
    t.target = k;
    t.event = 1;
    full.push_back(t);
  }
  ASSERT_TRUE(assignTransitions(s, full));
  EXPECT_TRUE(wouldExceedLimit(s, 1, 70000));
  EXPECT_FALSE(insertTransition(s, 1, 70000));
  EXPECT_EQ(s.transitionCount, MAX_TRANSITIONS_PER_STATE);
  // A repeat is not a new transition, so it does not count as overflow.
  EXPECT_FALSE(wouldExceedLimit(s, 1, 0));
  EXPECT_FALSE(insertTransition(s, 1, 0));
}

TEST(DeleteTransition, FreesTheArrayWithTheLastEntry) {
  StateRecord s;
  insertTransition(s, 2, 0);
  EXPECT_FALSE(deleteTransition(s, 2, 1));
  EXPECT_TRUE(deleteTransition(s, 2, 0));
  EXPECT_EQ(s.transitionCount, 0);
  EXPECT_EQ(s.transitions, nullptr);
}

TEST(StateRecord, VocalFieldHoldsThirteenSignedBitsWithoutDisturbingFlags) {
  StateRecord s;
  s.marked = 1;
  s.coreached = 1;
  s.vocal = 99;
  EXPECT_EQ(s.vocal, 99);
  s.vocal = -4096;
  EXPECT_EQ(s.vocal, -4096);
  s.vocal = 4095;
  EXPECT_EQ(s.vocal, 4095);
  EXPECT_EQ(s.marked, 1);
  EXPECT_EQ(s.reached, 0);
  EXPECT_EQ(s.coreached, 1);
}

TEST(IsValidDES, RejectsEachBrokenInvariant) {
  const auto valid = [](void (*change)(DES&)) {
    DES des = makeDES(2, {{0, 1, 0}, {0, 2, 1}});
    change(des);
    return isValidDES(des);
  };
  EXPECT_TRUE(valid([](DES&) {}));
  EXPECT_FALSE(valid([](DES& d) { d[1].transitions = std::make_unique<Transition[]>(1); })); // array, no count
  EXPECT_FALSE(valid([](DES& d) { d[1].transitionCount = 1; }));                            // count, no array
  EXPECT_FALSE(valid([](DES& d) { d[0].transitions[1].target = 2; }));
  EXPECT_FALSE(valid([](DES& d) { d[0].transitions[1].target = -1; }));
  EXPECT_FALSE(valid([](DES& d) { std::swap(d[0].transitions[0], d[0].transitions[1]); }));
  EXPECT_FALSE(valid([](DES& d) { d[0].transitions[1] = d[0].transitions[0]; }));
}

TEST(AllEventsControllable, IsTrueWithoutTransitionsAndFalseForAnyEvenLabel) {
  EXPECT_TRUE(allEventsControllable(DES{}));
  EXPECT_TRUE(allEventsControllable(makeDES(2, {{0, 1, 1}, {1, 3, 0}})));
  EXPECT_FALSE(allEventsControllable(makeDES(2, {{0, 1, 1}, {1, 2, 0}})));
  EXPECT_FALSE(allEventsControllable(makeDES(1, {{0, EPSILON_LABEL, 0}})));
}

TEST(CheckDeterministic, FindsARepeatedLabelAndAnOutOfRangeTarget) {
  EXPECT_TRUE(checkDeterministic(makeDES(2, {{0, 1, 1}, {0, 2, 0}})));
  EXPECT_FALSE(checkDeterministic(makeDES(3, {{0, 1, 1}, {0, 1, 2}})));
  DES bad = makeDES(2, {{0, 1, 1}});
  bad[0].transitions[0].target = 7;
  std::int64_t badTarget = -1;
  EXPECT_FALSE(checkDeterministic(bad, &badTarget));
  EXPECT_EQ(badTarget, 7);
}

TEST(CopyDES, SortsAndDeduplicatesAnUnsortedSource) {
  DES source = makeDES(3, {{0, 1, 1}, {0, 2, 2}}, {2});
  source[0].vocal = -12;
  std::swap(source[0].transitions[0], source[0].transitions[1]);
  DES copy = copyDES(source);
  EXPECT_TRUE(isValidDES(copy));
  EXPECT_EQ(listOf(copy[0]), (std::vector<std::pair<int, long>>{{1, 1}, {2, 2}}));
  EXPECT_EQ(copy[2].marked, 1);
  EXPECT_EQ(copy[0].vocal, -12);
}

TEST(RecodeDES, MergesStatesSentToOneTargetAndTranslatesTargets) {
  DES source = makeDES(4, {{0, 1, 1}, {0, 2, 3}, {1, 3, 2}, {3, 3, 2}, {3, 4, 0}}, {2});
  source[3].vocal = 20;
  const std::vector<std::int64_t> map{0, 1, 2, 1};
  DES target = allocStates(3);
  ASSERT_TRUE(recodeDES(source, target, map));
  EXPECT_TRUE(isValidDES(target));
  EXPECT_EQ(listOf(target[0]), (std::vector<std::pair<int, long>>{{1, 1}, {2, 1}}));
  EXPECT_EQ(listOf(target[1]), (std::vector<std::pair<int, long>>{{3, 2}, {4, 0}}));
  EXPECT_EQ(target[1].vocal, 20); // the last state sent there wins
  EXPECT_EQ(target[2].marked, 1);
}

TEST(CollectEvents, GathersEveryLabelOnceAndCanExcludeSome) {
  DES des = makeDES(2, {{0, 7, 1}, {1, 3, 0}, {1, EPSILON_LABEL, 1}, {0, 3, 0}});
  EventList events{5};
  collectEvents(des, events);
  EXPECT_EQ(events, (EventList{3, 5, 7, EPSILON_LABEL}));
  EventList rest;
  collectEventsExcept(des, EventList{3}, rest);
  EXPECT_EQ(rest, (EventList{7, EPSILON_LABEL}));
}

} // namespace
} // namespace kav
