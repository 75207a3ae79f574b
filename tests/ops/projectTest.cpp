#include "ops/project.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "model/progress.h"
#include "model/session.h"
#include "support/languageOracle.h"
#include "support/testSupport.h"

namespace kav {
namespace {

using namespace test;

using Word = std::vector<std::uint16_t>;

// Reference without library code: the projected words of length <= max,
// from a search over (state, projected word so far) pairs, in which an
// erased transition keeps the word and a kept one extends it.
void projectedWords(const DES& d, const EventList& erased, std::size_t max, std::set<Word>& closed,
                    std::set<Word>& marked) {
  if (d.empty()) return;
  std::set<std::pair<std::int64_t, Word>> seen{{0, {}}};
  std::vector<std::pair<std::int64_t, Word>> todo{{0, {}}};
  while (!todo.empty()) {
    auto [s, w] = todo.back();
    todo.pop_back();
    closed.insert(w);
    if (d[s].marked) marked.insert(w);
    for (const Transition& t : transitionsOf(d[s])) {
      Word next = w;
      bool isErased = false;
      for (std::uint16_t e : erased) isErased = isErased || e == t.event;
      if (!isErased) {
        if (w.size() == max) continue;
        next.push_back(t.event);
      }
      if (seen.insert({t.target, next}).second) todo.push_back({t.target, next});
    }
  }
}

TEST(Project, CoreNumbersSubsetsInOrderOfCreation) {
  // 0 -1-> 1, 0 -1-> 2 after erasing 9 from 0 -9-> 3 -1-> 2; labels
  // ascending: subset {1, 2} by 1 comes before {4} by 5.
  DES d = makeDES(5, {{0, 9, 3}, {0, 1, 1}, {3, 1, 2}, {0, 5, 4}, {2, 3, 0}});
  projectCore(d, {9});
  EXPECT_EQ(describe(d), "3: 0-1->1 0-5->2 1-3->0 | marked");
  // Nothing erased: unchanged, unreachable states included.
  DES same = makeDES(3, {{0, 1, 1}, {2, 1, 0}}, {1});
  projectCore(same, {4});
  EXPECT_EQ(describe(same), "3: 0-1->1 2-1->0 | marked 1");
  DES empty;
  projectCore(empty, {1});
  EXPECT_TRUE(empty.empty());
}

TEST(Project, StagesFollowTheStateCount) {
  // A chain of n states whose labels 2, 4, 6 (in that order, repeating)
  // are erased: the progress lines count the subset constructions.
  static std::vector<std::string> lines;
  setProgressHook([](const char* text) { lines.push_back(text); });
  session.debugMode = true;
  const auto stages = [](std::int64_t n) {
    std::vector<test::Edge> edges;
    for (std::int64_t s = 0; s + 1 < n; ++s) edges.push_back({s, static_cast<std::uint16_t>(2 + 2 * (s % 3)), s + 1});
    edges.push_back({n - 1, 1, n - 1});
    DES d = makeDES(n, edges, {n - 1});
    lines.clear();
    projectStaged(d, {2, 4, 6});
    EXPECT_EQ(describe(d), "1: 0-1->0 | marked 0");
    int count = 0;
    for (const std::string& l : lines) count += l == "PROJECT: 0 0";
    return count;
  };
  EXPECT_EQ(stages(99), 1);
  EXPECT_EQ(stages(150), 2);
  EXPECT_EQ(stages(1000), 3);
  session.debugMode = false;
  setProgressHook(nullptr);
}

TEST(Project, WithStateSetsReportsTheSubsetOfEveryState) {
  DES d = makeDES(4, {{0, 2, 1}, {0, 1, 2}, {1, 1, 3}}, {3});
  std::vector<StateList> sets;
  projectWithStateSets(d, {2}, sets);
  EXPECT_EQ(describe(d), "2: 0-1->1 | marked 1");
  EXPECT_EQ(sets, (std::vector<StateList>{{0, 1}, {2, 3}}));
  DES same = makeDES(2, {{0, 1, 1}}, {});
  projectWithStateSets(same, {2}, sets);
  EXPECT_EQ(sets, (std::vector<StateList>{{0}, {1}}));
}

TEST(Project, AcceptsExactlyTheProjectedLanguagesAndIsMinimal) {
  for (std::uint32_t seed = 1; seed <= 120; ++seed) {
    std::mt19937 rng(seed);
    const std::int64_t n = seed % 7 == 0 ? 130 : 1 + static_cast<std::int64_t>(rng() % 8);
    // The large ones (staged projection) are sparse, so that their
    // subset construction stays small.
    const int edges = static_cast<int>(n > 100 ? n + n / 4 : 2 * n + rng() % 6);
    DES d = test::randomDES(rng, n, edges, 4, 3, seed % 2 == 0);
    EventList erased;
    for (std::uint16_t e = 0; e < 4; ++e)
      if (rng() % 2) erased.push_back(e);
    SCOPED_TRACE("seed " + std::to_string(seed) + ": " + describe(d));
    const std::size_t max = n > 100 ? 4 : 6;
    test::Languages expected;
    projectedWords(d, erased, max, expected.closed, expected.marked);
    // Without minimization the languages are the same.
    DES q = copyDES(d);
    projectNoMinimize(q, erased);
    EXPECT_TRUE(test::languagesOf(q, max) == expected);
    DES p = copyDES(d);
    project(p, erased);
    ASSERT_TRUE(isValidDES(p));
    EXPECT_TRUE(test::languagesOf(p, max) == expected);
    // A DES in which nothing is erased is only reached and minimized, so
    // a nondeterministic one stays so.
    bool erases = false;
    for (const test::Edge& e : test::edgesOf(d))
      for (std::uint16_t x : erased) erases = erases || e.event == x;
    if (!erases && !checkDeterministic(d)) continue;
    ASSERT_TRUE(checkDeterministic(p));
    // Minimal: no two states are equivalent.
    const std::vector<std::int64_t> classes = test::referenceClasses(p);
    EXPECT_EQ(std::set<std::int64_t>(classes.begin(), classes.end()).size(), classes.size());
  }
}

} // namespace
} // namespace kav
