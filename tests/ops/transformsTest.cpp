#include "ops/transforms.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "ops/project.h"
#include "ops/trim.h"
#include "support/languageOracle.h"
#include "support/testSupport.h"

namespace kav {
namespace {

using namespace test;

TEST(SelfloopWhereAbsent, AddsALoopOnlyWhereTheLabelIsMissing) {
  DES d = makeDES(2, {{0, 1, 1}}, {1});
  ASSERT_TRUE(selfloopWhereAbsent(d, {1, 2}));
  EXPECT_EQ(describe(d), "2: 0-1->1 0-2->0 1-1->1 1-2->1 | marked 1");
  DES same = makeDES(2, {{0, 1, 1}}, {1});
  ASSERT_TRUE(selfloopWhereAbsent(same, {}));
  EXPECT_EQ(describe(same), "2: 0-1->1 | marked 1");
}

TEST(ComplementDES, SendsMissingLabelsToOneMarkedDumpState) {
  DES d = makeDES(2, {{0, 1, 1}}, {1});
  ASSERT_TRUE(complementDES(d, {2}));
  EXPECT_EQ(describe(d), "3: 0-1->1 0-2->2 1-1->2 1-2->2 2-1->2 2-2->2 | marked 0 2");
  ASSERT_TRUE(isValidDES(d));
}

TEST(ComplementDES, TwiceGivesBackTheMarkedBehaviour) {
  for (std::uint32_t seed = 1; seed <= 60; ++seed) {
    std::mt19937 rng(seed);
    const std::int64_t n = 1 + static_cast<std::int64_t>(rng() % 6);
    DES d = test::randomDES(rng, n, static_cast<int>(3 * n), 3, 2, true);
    reachDES(d);
    SCOPED_TRACE("seed " + std::to_string(seed) + ": " + describe(d));
    const EventList extra{static_cast<std::uint16_t>(rng() % 5)};
    DES twice = copyDES(d);
    ASSERT_TRUE(complementDES(twice, extra));
    reachDES(twice);
    ASSERT_TRUE(complementDES(twice, extra));
    reachDES(twice);
    ASSERT_TRUE(isValidDES(twice));
    // A complete DES (every label everywhere) gets no dump: the second
    // complement is the input itself.
    EventList sigma = extra;
    collectEvents(d, sigma);
    bool complete = true;
    for (const StateRecord& s : d.states) complete = complete && s.transitionCount == sigma.size();
    if (complete) {
      EXPECT_EQ(describe(twice), describe(d));
    }
    // Either way the marked words are those of the input.
    EXPECT_EQ(test::languagesOf(twice, 6).marked, test::languagesOf(d, 6).marked);
  }
}

TEST(RelabelDES, KeepsTheNumberingUnlessLabelsCollideAndThenDeterminizes) {
  // State 2 is unreachable and stays; 1 goes to 9 (the smaller of 9 and
  // 11); 5 is not relabelled.
  DES d = makeDES(3, {{0, 1, 1}, {1, 5, 0}, {2, 1, 0}}, {1});
  DES out;
  EventList fresh;
  ASSERT_TRUE(relabelDES(d, {{1, 9}, {1, 11}}, out, fresh));
  EXPECT_EQ(describe(out), "3: 0-9->1 1-5->0 2-9->0 | marked 1");
  EXPECT_TRUE(fresh.empty());
  // Relabelling 1 to 3 at a state with 1 -> 1 and 3 -> 2: the fix moves
  // one 3-transition behind fresh label 0, whose projection joins {1, 2}.
  d = makeDES(3, {{0, 1, 1}, {0, 3, 2}, {1, 5, 1}, {2, 7, 2}});
  ASSERT_TRUE(relabelDES(d, {{1, 3}}, out, fresh));
  EXPECT_EQ(describe(out), "4: 0-0->3 0-3->1 1-5->1 2-7->2 3-3->2 | marked");
  EXPECT_EQ(fresh, (EventList{0}));
  project(out, fresh);
  EXPECT_EQ(describe(out), "4: 0-3->1 1-5->2 1-7->3 2-5->2 3-7->3 | marked");
}

TEST(FixSemiDeterminism, MovesEachDuplicateBehindItsOwnFreshLabelUnlessNoneIsLeft) {
  // Label 0 stays when asked.
  DES zero = makeDES(3, {{0, 0, 1}, {0, 0, 2}});
  EventList fresh;
  ASSERT_TRUE(fixSemiDeterminism(zero, true, fresh));
  EXPECT_EQ(describe(zero), "3: 0-0->1 0-0->2 | marked");
  EXPECT_TRUE(fresh.empty());
  // State 0: 2 -> 1, 2 -> 2, 2 -> 0 and 4 -> 1, with labels 0 and 1 in
  // use elsewhere: fresh labels 3 and 5.
  DES d = makeDES(3, {{0, 2, 0}, {0, 2, 1}, {0, 2, 2}, {0, 4, 1}, {1, 0, 2}, {2, 1, 2}}, {0});
  ASSERT_TRUE(fixSemiDeterminism(d, false, fresh));
  EXPECT_EQ(fresh, (EventList{3, 5}));
  // New state 3 copies what 0 has besides label 2 and takes 2 -> 1; new
  // state 4 also copies the link to 3 and takes 2 -> 2.
  EXPECT_EQ(describe(d), "5: 0-2->0 0-3->3 0-4->1 0-5->4 1-0->2 2-1->2 3-2->1 3-4->1 4-2->2 4-3->3 4-4->1 | marked 0 3 4");
  ASSERT_TRUE(checkDeterministic(d));
  // Every label below 1023 in use: no fresh label is left.
  std::vector<test::Edge> edges{{0, 5, 1}};
  for (std::uint16_t e = 0; e < NULL_LABEL; ++e) edges.push_back({0, e, 0});
  DES full = makeDES(2, edges, {});
  EXPECT_FALSE(fixSemiDeterminism(full, false, fresh));
}

TEST(AllEventsDES, IsOneMarkedStateLoopingOnEveryLabel) {
  EXPECT_EQ(describe(allEventsDES({1, 2, 1000})), "1: 0-1->0 0-2->0 0-1000->0 | marked 0");
  EXPECT_EQ(describe(allEventsDES({})), "1: | marked 0");
}

} // namespace
} // namespace kav
