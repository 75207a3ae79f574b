// Sup(s)qc, Natobs and Uncertmod: hand-made cases, and on seeded random
// DES the quasi-congruence checked against every partition of the states.

#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <set>

#include "ops/isomorph.h"
#include "support/testSupport.h"
#include "support/languageOracle.h"
#include "synthesis/quasiCongruence.h"

namespace kav {
namespace {

using namespace test;

// Labels of the hand-made cases: a, b, c observable unless said, t silent.
constexpr std::uint16_t A = 1, B = 3, C = 5, T = 2;

std::vector<std::int64_t> supqc(const DES& des, const EventList& image, bool strong, DES& quotient) {
  std::vector<std::int64_t> representative;
  EXPECT_TRUE(supqcDES(des, image, strong, quotient, representative));
  EXPECT_TRUE(isValidDES(quotient));
  return representative;
}

// --- Sup(s)qc -------------------------------------------------------------------------

TEST(SupqcDES, MergesEquivalentStatesIntoTheirSmallestMemberButNeverAcrossMarking) {
  // 1 and 3 behave alike; the quotient numbers cells by smallest member.
  const DES des = makeDES(4, {{0, A, 1}, {0, B, 3}, {1, C, 2}, {3, C, 2}}, {2});
  DES quotient;
  EXPECT_EQ(supqc(des, {A, B, C}, false, quotient), (std::vector<std::int64_t>{0, 1, 2, 1}));
  EXPECT_EQ(describe(quotient), "3: 0-1->1 0-3->1 1-5->2 | marked 2");
  // 0 and 1 differ only in marking.
  EXPECT_EQ(supqc(makeDES(2, {{0, A, 1}, {1, A, 0}}, {1}), {A}, false, quotient), (std::vector<std::int64_t>{0, 1}));
  // The silent label stays silent even when listed.
  const DES silent = makeDES(2, {{0, EPSILON_LABEL, 1}, {1, A, 0}}, {0, 1});
  EXPECT_EQ(supqc(silent, {A, EPSILON_LABEL}, false, quotient), (std::vector<std::int64_t>{0, 0}));
  EXPECT_EQ(describe(quotient), "1: 0-1->0 | marked 0");
}

// --- The law: coarsest among all quasi-congruences ---------------------------------

// Observable successors computed state by state with plain searches.
struct Successors {
  std::vector<std::uint16_t> events; // image labels, MARKER_EVENT, (strong) EPSILON_LABEL
  std::vector<std::vector<std::set<std::int64_t>>> of; // [event][state]
};

Successors bruteSuccessors(const DES& des, const EventList& image, bool strong) {
  const auto n = static_cast<std::size_t>(des.size());
  const auto silent = [&](std::uint16_t e) { return e == EPSILON_LABEL || !findEvent(image, e); };
  std::vector<std::set<std::int64_t>> closure(n);
  for (std::size_t x = 0; x < n; ++x) {
    std::vector<std::int64_t> stack{static_cast<std::int64_t>(x)};
    closure[x].insert(static_cast<std::int64_t>(x));
    while (!stack.empty()) {
      const std::int64_t v = stack.back();
      stack.pop_back();
      for (const Transition& t : transitionsOf(des[v]))
        if (silent(t.event) && closure[x].insert(t.target).second) stack.push_back(t.target);
    }
  }
  Successors s;
  for (std::uint16_t e : test::labelsOf(des))
    if (!silent(e)) s.events.push_back(e);
  s.events.push_back(MARKER_EVENT);
  if (strong) s.events.push_back(EPSILON_LABEL);
  for (std::uint16_t e : s.events) {
    std::vector<std::set<std::int64_t>> rel(n);
    for (std::size_t x = 0; x < n; ++x)
      for (std::int64_t y : closure[x]) {
        if (e == EPSILON_LABEL) rel[x].insert(y);
        else if (e == MARKER_EVENT) {
          if (des[y].marked) rel[x].insert(closure[y].begin(), closure[y].end());
        } else
          for (const Transition& t : transitionsOf(des[y]))
            if (t.event == e) rel[x].insert(closure[t.target].begin(), closure[t.target].end());
      }
    s.of.push_back(rel);
  }
  return s;
}

bool isQuasiCongruence(const Successors& s, const std::vector<int>& cell) {
  const std::size_t n = cell.size();
  for (const auto& rel : s.of)
    for (std::size_t x = 0; x < n; ++x)
      for (std::size_t y = x + 1; y < n; ++y) {
        if (cell[x] != cell[y]) continue;
        std::set<int> cx, cy;
        for (std::int64_t z : rel[x]) cx.insert(cell[z]);
        for (std::int64_t z : rel[y]) cy.insert(cell[z]);
        if (cx != cy) return false;
      }
  return true;
}

// Calls visit for every partition of n states, as restricted growth strings.
void forEachPartition(std::size_t n, const std::function<void(const std::vector<int>&)>& visit) {
  std::vector<int> cell(n, 0);
  std::function<void(std::size_t, int)> go = [&](std::size_t i, int used) {
    if (i == n) {
      visit(cell);
      return;
    }
    for (int c = 0; c <= used; ++c) {
      cell[i] = c;
      go(i + 1, std::max(used, c + 1));
    }
  };
  go(0, 0);
}

TEST(SupqcDES, GivesTheCoarsestQuasiCongruenceOnRandomDes) {
  for (std::uint32_t seed = 1; seed <= 120; ++seed) {
    std::mt19937 rng(seed);
    const std::int64_t size = 2 + static_cast<std::int64_t>(rng() % 5);
    DES des = test::randomDES(rng, size, static_cast<int>(2 * size), 3, 3, rng() % 3 != 0);
    if (rng() % 4 == 0) insertTransition(des[0], EPSILON_LABEL, size - 1);
    EventList image;
    for (std::uint16_t e = 0; e < 3; ++e)
      if (rng() % 2) image.push_back(e);
    const bool strong = rng() % 2;
    SCOPED_TRACE(testing::Message() << "seed " << seed << " strong " << strong << " image " << image.size() << " "
                                    << describe(des));
    DES quotient;
    const auto representative = supqc(des, image, strong, quotient);
    const Successors s = bruteSuccessors(des, image, strong);
    if (s.events.size() == (strong ? 2u : 1u)) {
      EXPECT_TRUE(representative.empty());
      continue;
    }
    ASSERT_EQ(representative.size(), static_cast<std::size_t>(size));
    std::vector<int> ours(representative.begin(), representative.end());
    EXPECT_TRUE(isQuasiCongruence(s, ours));
    forEachPartition(static_cast<std::size_t>(size), [&](const std::vector<int>& cell) {
      if (!isQuasiCongruence(s, cell)) return;
      for (std::size_t x = 0; x < cell.size(); ++x)
        for (std::size_t y = 0; y < cell.size(); ++y)
          if (cell[x] == cell[y]) {
            EXPECT_EQ(ours[x], ours[y]) << "a coarser quasi-congruence joins " << x << " and " << y;
          }
    });
  }
}

// --- Natobs -------------------------------------------------------------------------------

struct Natobs {
  DES observer;
  EventList image;
  NatobsReport report;
};
Natobs natobsOf(const DES& des, const EventList& seed) {
  Natobs n;
  EXPECT_TRUE(natobsDES(des, seed, n.observer, n.image, &n.report));
  return n;
}

TEST(NatobsDES, AddsEveryLabelOfASilentMoveBetweenCellsAtOnce) {
  // Both 2 and 4 take 0 into 1: observing one leaves the move silent.
  const DES des = makeDES(3, {{0, A, 2}, {0, B, 2}, {0, 2, 1}, {0, 4, 1}, {1, A, 2}, {2, C, 0}}, {2});
  const Natobs n = natobsOf(des, {A, B, C});
  EXPECT_EQ(n.report.iterations, 2);
  EXPECT_EQ(n.image, (EventList{A, 2, B, 4, C}));
  EXPECT_EQ(describe(n.observer), describe(des));
}

TEST(NatobsDES, AddsOneLabelOfAForkingCellAtATime) {
  // 0 and 1 share a cell, joined by silent 2 and 4; a forks to 2 and 3.
  // One label of the cell is enough for the fork's requirement, so 2 is
  // dropped again and 4 kept; 0 and 1 still reach each other on silent 2,
  // so the fork stays and the next iteration asks for 2.
  const DES des = makeDES(4, {{0, A, 2}, {0, 2, 1}, {0, 4, 1}, {1, A, 3}, {1, 2, 0}, {2, B, 0}, {3, C, 0}}, {0});
  const Natobs n = natobsOf(des, {A, B, C});
  EXPECT_EQ(n.report.iterations, 3);
  EXPECT_EQ(n.image, (EventList{A, 2, B, 4, C}));
  EXPECT_TRUE(isStrictlyDeterministic(n.observer));
}

TEST(NatobsDES, StopsWhenOnlyTheDesItselfIsNondeterministic) {
  const DES des = makeDES(3, {{0, A, 1}, {0, A, 2}, {0, T, 0}}, {1});
  const Natobs n = natobsOf(des, {A});
  EXPECT_EQ(n.image, (EventList{A}));
  EXPECT_EQ(n.report.iterations, 1);
  EXPECT_FALSE(isStrictlyDeterministic(n.observer));
}

TEST(NatobsDES, EndsWithinTheNullLabelsAndKeepsTheSeedOnRandomDes) {
  for (std::uint32_t seed = 1; seed <= 200; ++seed) {
    std::mt19937 rng(seed);
    const std::int64_t size = 2 + static_cast<std::int64_t>(rng() % 6);
    const bool deterministic = rng() % 4 != 0;
    const DES des = test::randomDES(rng, size, static_cast<int>(2 * size), 6, 3, deterministic);
    EventList seedLabels;
    for (std::uint16_t e = 0; e < 6; ++e)
      if (rng() % 3 == 0) seedLabels.push_back(e);
    SCOPED_TRACE(testing::Message() << "seed " << seed << " " << describe(des));
    const auto [observer, image, report] = natobsOf(des, seedLabels);
    EXPECT_TRUE(std::includes(image.begin(), image.end(), seedLabels.begin(), seedLabels.end()));
    std::size_t nullCount = 0;
    for (std::uint16_t e : test::labelsOf(des)) nullCount += !findEvent(seedLabels, e);
    EXPECT_LE(static_cast<std::size_t>(report.iterations), nullCount + 1);
    // The observer is the quotient for the final image set.
    DES again;
    std::vector<std::int64_t> representative;
    ASSERT_TRUE(supqcDES(des, image, false, again, representative));
    EXPECT_EQ(describe(observer), describe(again));
    EXPECT_TRUE(!deterministic || isStrictlyDeterministic(observer));
  }
}

// --- Uncertmod ------------------------------------------------------------------------

TEST(UncertmodDES, PutsErasedLabelsBackAsSelfloopsWhereTheyOccur) {
  const DES des = makeDES(3, {{0, A, 1}, {1, T, 2}, {2, B, 0}}, {0});
  DES result;
  ASSERT_TRUE(uncertmodDES(des, {T}, result));
  EXPECT_EQ(describe(result), "2: 0-1->1 1-2->1 1-3->0 | marked 0");
  // Nothing erased: the DES as it was.
  ASSERT_TRUE(uncertmodDES(des, {C}, result));
  EXPECT_EQ(describe(result), describe(des));
}

} // namespace
} // namespace kav
