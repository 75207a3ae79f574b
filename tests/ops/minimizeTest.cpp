#include "ops/minimize.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model/progress.h"
#include "model/session.h"
#include "support/languageOracle.h"
#include "support/testSupport.h"

namespace kav {
namespace {

using namespace test;

DES referenceQuotient(const DES& d) {
  const std::vector<std::int64_t> cls = referenceClasses(d);
  const std::int64_t classes = cls.empty() ? 0 : *std::max_element(cls.begin(), cls.end()) + 1;
  if (classes == d.size()) return copyDES(d);
  std::vector<test::Edge> edges;
  std::vector<std::int64_t> marked;
  for (std::int64_t s = 0; s < d.size(); ++s) {
    if (d[s].marked) marked.push_back(cls[s]);
    for (const Transition& t : transitionsOf(d[s])) edges.push_back({cls[s], t.event, cls[t.target]});
  }
  DES q = makeDES(classes, edges, marked);
  for (std::int64_t s = 0; s < d.size(); ++s) q[cls[s]].vocal = d[s].vocal;
  return q;
}

// Merging two targets of one label shrinks a list, which can make more
// states equivalent: quotient until nothing merges.
DES referenceMinimize(const DES& d) {
  DES current = copyDES(d);
  for (;;) {
    DES next = referenceQuotient(current);
    if (next.size() == current.size()) return next;
    current = std::move(next);
  }
}

DES minimized(const DES& d, bool pairwise) {
  DES copy = copyDES(d);
  if (pairwise) minimizePairwise(copy);
  else minimizeHopcroft(copy);
  EXPECT_TRUE(isValidDES(copy));
  return copy;
}

// Both minimizers, one expectation.
void expectMinimized(const DES& input, const std::string& expected) {
  EXPECT_EQ(describe(minimized(input, false)), expected);
  EXPECT_EQ(describe(minimized(input, true)), expected);
}

TEST(MinimizeDES, NumbersClassesByTheirSmallestState) {
  // 1 and 3 are equivalent: 0, 1, 2, 3, 4 become 0, 1, 2, 1, 3.
  expectMinimized(makeDES(5, {{0, 1, 1}, {0, 3, 3}, {1, 2, 2}, {3, 2, 2}, {2, 5, 4}}, {4}),
                  "4: 0-1->1 0-3->1 1-2->2 2-5->3 | marked 3");
  // Minimal, and numbered against the breadth-first order: kept as it is.
  expectMinimized(makeDES(3, {{0, 1, 2}, {2, 1, 1}}, {1}), "3: 0-1->2 2-1->1 | marked 1");
}

std::vector<std::string> progressLines;
void captureProgress(const char* text) { progressLines.emplace_back(text); }

TEST(MinimizeDES, FollowsTheSelectorAndReportsProgress) {
  const DES des = makeDES(5, {{0, 1, 1}, {0, 3, 3}, {1, 2, 2}, {3, 2, 2}, {2, 5, 4}}, {4});
  setProgressHook(captureProgress);
  session.debugMode = true;
  for (int selector : {1, 0}) {
    progressLines.clear();
    DES copy = copyDES(des);
    minimizeDES(copy, minimizerOf(selector));
    EXPECT_EQ(copy.size(), 4);
    ASSERT_FALSE(progressLines.empty());
    EXPECT_EQ(progressLines.front(), selector ? "MINIMIZE: 3 5" : "MINIMIZE: 0 5");
    EXPECT_EQ(progressLines.back(), selector ? "MINIMIZE: 4 5" : "MINIMIZE: 4 1");
  }
  session.debugMode = false;
  setProgressHook(nullptr);
}

TEST(MinimizeDES, AgreesWithTheNaiveFixpointOnRandomDes) {
  for (std::uint32_t seed = 1; seed <= 400; ++seed) {
    std::mt19937 rng(seed);
    const bool deterministic = seed % 2 == 0;
    DES input = test::randomDES(rng, 1 + rng() % 12, static_cast<int>(rng() % 30), 1 + rng() % 3, 3, deterministic);
    for (StateRecord& s : input.states) s.vocal = rng() % 5 == 0 ? 10 : 0;
    SCOPED_TRACE("seed " + std::to_string(seed) + ": " + describe(input));
    const DES fast = minimized(input, false);
    const std::string expected = describe(referenceMinimize(input));
    EXPECT_EQ(describe(fast), expected);
    EXPECT_EQ(describe(minimized(input, true)), expected);
    // No two states of the result are equivalent, and once is enough.
    const std::vector<std::int64_t> cls = referenceClasses(fast);
    for (std::size_t s = 0; s < cls.size(); ++s) EXPECT_EQ(cls[s], static_cast<std::int64_t>(s));
    EXPECT_EQ(describe(minimized(fast, false)), describe(fast));
    if (deterministic) {
      EXPECT_TRUE(test::sameBehaviour(input, fast));
    }
  }
}

} // namespace
} // namespace kav
