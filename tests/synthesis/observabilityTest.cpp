// (S)Observable, Supnorm, Supscop and Suprobs: hand-made cases, and on
// seeded random small DES the defining conditions checked word by word
// (languageOracle.h) or over pairs of words (relative observability).

#include <gtest/gtest.h>

#include <random>
#include <set>
#include <tuple>

#include "ops/trim.h"
#include "support/testSupport.h"
#include "support/languageOracle.h"
#include "synthesis/observability.h"
#include "synthesis/quasiCongruence.h"

namespace kav {
namespace {

using namespace test;

constexpr std::uint16_t A = 1, B = 3, T = 2, U = 4, V = 6;

std::string violationsOf(const DES& report) {
  std::string text;
  for (std::int64_t k = 0; k < report.size(); ++k)
    for (const Transition& t : transitionsOf(report[k])) text += std::to_string(k) + "," + std::to_string(t.event) + ";";
  return text;
}

// --- (S)Observable ----------------------------------------------------------------------

TEST(CheckObservability, StrongObservabilityGroupsBySpecStatesAlone) {
  // The legal DES cannot tell 1 (after t) from 3 (after u, or after a v);
  // in the product 3 is reached only through a, which the observer sees.
  // At 1 the legal DES allows b; at 3 it does not, though the plant does.
  const DES plant = makeDES(5, {{0, T, 1}, {0, A, 2}, {2, V, 3}, {1, B, 4}, {3, B, 4}});
  const DES spec = makeDES(6, {{0, T, 1}, {0, U, 3}, {0, A, 4}, {4, V, 3}, {1, B, 5}});
  bool holds = false;
  DES report;
  ASSERT_TRUE(checkObservability(plant, spec, {T, U, V}, false, holds, report));
  EXPECT_TRUE(holds);
  ASSERT_TRUE(checkObservability(plant, spec, {T, U, V}, true, holds, report));
  EXPECT_FALSE(holds);
  EXPECT_EQ(violationsOf(report), "3,3;");
}

// The violations by words: groups of product words with one projection
// (observability) or product states whose legal state a word of the legal DES
// with that projection reaches (strong observability).
std::set<std::pair<std::int64_t, std::uint16_t>> bruteViolations(const DES& plant, const DES& spec,
                                                                 const EventList& nullLabels, bool strong,
                                                                 int length) {
  const EventList labels = test::unionOf(test::labelsOf(plant), test::labelsOf(spec));
  std::vector<Word> productWords;
  for (const Word& w : test::allWords(labels, length))
    if (test::inClosed(plant, w) && test::inClosed(spec, w)) productWords.push_back(w);
  // A group is a set of (plant state, legal state).
  std::vector<std::set<std::pair<std::int64_t, std::int64_t>>> groups;
  if (!strong) {
    for (const auto& [p, words] : test::byProjection(productWords, nullLabels)) {
      auto& g = groups.emplace_back();
      for (const Word& w : words) g.insert({test::runWord(plant, w), test::runWord(spec, w)});
    }
  } else {
    std::set<std::pair<std::int64_t, std::int64_t>> productStates;
    for (const Word& w : productWords) productStates.insert({test::runWord(plant, w), test::runWord(spec, w)});
    for (const auto& [p, words] : test::byProjection(test::wordsOf(spec, length), nullLabels)) {
      std::set<std::int64_t> specStates;
      for (const Word& w : words) specStates.insert(test::runWord(spec, w));
      auto& g = groups.emplace_back();
      for (const auto& x : productStates)
        if (specStates.count(x.second)) g.insert(x);
    }
  }
  const auto defined = [](const DES& d, std::int64_t s, std::uint16_t e) {
    if (e == MARKER_EVENT) return static_cast<bool>(d[s].marked);
    for (const Transition& t : transitionsOf(d[s]))
      if (t.event == e) return true;
    return false;
  };
  EventList examined = labels;
  examined.push_back(MARKER_EVENT);
  std::set<std::pair<std::int64_t, std::uint16_t>> violations;
  for (const auto& g : groups) {
    if (g.size() < 2) continue;
    for (std::uint16_t e : examined) {
      bool both = false;
      for (const auto& [p, k] : g) both = both || (defined(plant, p, e) && defined(spec, k, e));
      if (!both) continue;
      for (const auto& [p, k] : g)
        if (defined(plant, p, e) && !defined(spec, k, e)) violations.insert({k, e});
    }
  }
  return violations;
}

TEST(CheckObservability, AgreesWithTheViolationsFoundByWordsOnRandomDes) {
  int compared = 0;
  for (std::uint32_t seed = 1; compared < 80 && seed < 2000; ++seed) {
    std::mt19937 rng(seed);
    const DES plant = test::randomDES(rng, 2 + rng() % 2, 5, 3, 2, true);
    const DES spec = test::randomDES(rng, 2 + rng() % 2, 4, 3, 2, true);
    EventList nullLabels;
    for (std::uint16_t e = 0; e < 3; ++e)
      if (rng() % 2) nullLabels.push_back(e);
    const bool strong = rng() % 2;
    // Words of length 8 reach every pair of states (of the product, or of
    // the legal DES) that any two words with one projection reach, as long as
    // there are at most 3 states to pair.
    if (test::referenceMeet(plant, spec).size() > 3 || spec.size() > 3) continue;
    ++compared;
    SCOPED_TRACE(testing::Message() << "seed " << seed << " strong " << strong << "\n"
                                    << describe(plant) << "\n" << describe(spec));
    bool holds = true;
    DES report;
    ASSERT_TRUE(checkObservability(plant, spec, nullLabels, strong, holds, report));
    std::set<std::pair<std::int64_t, std::uint16_t>> found;
    for (std::int64_t k = 0; k < report.size(); ++k)
      for (const Transition& t : transitionsOf(report[k])) found.insert({k, t.event});
    EXPECT_EQ(found, bruteViolations(plant, spec, nullLabels, strong, 8));
    EXPECT_EQ(holds, found.empty());
  }
  EXPECT_EQ(compared, 80);
}

// --- Supnorm --------------------------------------------------------------------------

TEST(SupClosed, KeepsTheMarkedPartReachableThroughMarkedStates) {
  EXPECT_TRUE(supClosed(makeDES(2, {{0, A, 1}}, {1})).empty());
  EXPECT_TRUE(supClosed(DES{}).empty());
  EXPECT_EQ(describe(supClosed(makeDES(2, {{0, A, 0}, {0, B, 1}}, {0}))), "1: 0-1->0 | marked 0");
  EXPECT_EQ(describe(supClosed(makeDES(2, {{0, A, 1}}, {0, 1}))), "2: 0-1->1 | marked 0 1");
  EXPECT_EQ(describe(supClosed(makeDES(3, {{0, A, 1}, {0, B, 2}, {2, A, 0}}, {0, 2}))),
            "2: 0-3->1 1-1->0 | marked 0 1");
}

TEST(SupnormDES, IsNormalAndLegalOnRandomDes) {
  for (std::uint32_t seed = 1; seed <= 100; ++seed) {
    std::mt19937 rng(seed);
    const DES a = test::randomDES(rng, 2 + rng() % 2, 6, 3, 2, true);
    const DES b = test::randomDES(rng, 2 + rng() % 2, 6, 3, 2, true);
    EventList nullLabels;
    for (std::uint16_t e = 0; e < 3; ++e)
      if (rng() % 2) nullLabels.push_back(e);
    SCOPED_TRACE(testing::Message() << "seed " << seed << "\n" << describe(a) << "\n" << describe(b));
    DES result;
    ASSERT_TRUE(supnormDES(a, b, nullLabels, result));
    ASSERT_TRUE(isValidDES(result));
    EXPECT_TRUE(test::containedUpTo(result, a, 6));
    EXPECT_TRUE(test::containedUpTo(result, b, 6));
    // Normal: a word of B marked that looks like a marked word of the
    // result is one.
    const auto groups = test::byProjection(test::wordsOf(b, 6), nullLabels);
    for (const auto& [p, words] : groups) {
      bool anyMarked = false;
      for (const Word& w : words) anyMarked = anyMarked || test::inMarked(result, w);
      if (!anyMarked) continue;
      for (const Word& w : words)
        if (test::inMarked(b, w)) {
          EXPECT_TRUE(test::inMarked(result, w));
        }
    }
    // Supremal: a marked word of A and B outside the result looks like a
    // marked word of B that A does not mark.
    for (const Word& w : test::wordsOf(b, 3)) {
      if (!test::inMarked(a, w) || !test::inMarked(b, w) || test::inMarked(result, w)) continue;
      bool witness = false;
      for (const Word& u : groups.at(test::projectWord(w, nullLabels)))
        witness = witness || (test::inMarked(b, u) && !test::inMarked(a, u));
      EXPECT_TRUE(witness);
    }
  }
}

// --- Supscop --------------------------------------------------------------------------

TEST(SupscopDES, IsControllableAndNormalOnRandomDes) {
  for (std::uint32_t seed = 1; seed <= 60; ++seed) {
    std::mt19937 rng(seed);
    const DES plant = test::randomDES(rng, 2 + rng() % 2, 6, 4, 2, true);
    const DES legal = test::randomDES(rng, 2 + rng() % 2, 6, 4, 2, true);
    EventList nullLabels;
    for (std::uint16_t e = 0; e < 4; ++e)
      if (rng() % 3 == 0) nullLabels.push_back(e);
    SCOPED_TRACE(testing::Message() << "seed " << seed << "\n" << describe(legal) << "\n" << describe(plant));
    DES result;
    ObservationReport report;
    ASSERT_TRUE(supscopDES(legal, plant, nullLabels, result, &report));
    ASSERT_TRUE(isValidDES(result));
    EXPECT_TRUE(test::containedUpTo(result, legal, 6));
    EXPECT_TRUE(test::containedUpTo(result, plant, 6));
    const std::vector<Word> plantWords = test::wordsOf(plant, 6);
    for (const Word& w : test::wordsOf(result, 5))
      for (const Transition& t : transitionsOf(plant[test::runWord(plant, w)]))
        if (t.event % 2 == 0) {
          Word longer = w;
          longer.push_back(t.event);
          EXPECT_TRUE(test::inClosed(result, longer)) << "uncontrollable " << t.event << " prevented";
        }
    for (const auto& [p, words] : test::byProjection(plantWords, nullLabels)) {
      bool anyClosed = false, anyMarked = false;
      for (const Word& w : words) {
        anyClosed = anyClosed || test::inClosed(result, w);
        anyMarked = anyMarked || test::inMarked(result, w);
      }
      for (const Word& w : words) {
        if (anyClosed) {
          EXPECT_TRUE(test::inClosed(result, w)) << "closed behaviour not normal";
        }
        if (anyMarked && test::inMarked(plant, w)) {
          EXPECT_TRUE(test::inMarked(result, w)) << "marked behaviour not normal";
        }
      }
    }
  }
}

// --- Suprobs --------------------------------------------------------------------------

TEST(SuprobsDES, RemovesAnEventOnlyAfterTheObservationsThatConflict) {
  // Label 1 is erased. After "2 0 1" the legal part is back in state 0,
  // where it allows 2, but "2 0", which looks the same, is where the plant
  // can do 2 and the legal part cannot: 2 must go after "2 0 1", and with
  // it that branch. At the start (legal state 0 too) nothing conflicts, so
  // 2 stays there: removing it per legal state would lose "2".
  const DES plant = makeDES(3, {{0, 1, 2}, {0, 2, 1}, {1, 0, 2}, {2, 0, 2}, {2, 1, 0}, {2, 2, 2}}, {0, 1, 2});
  const DES legal = makeDES(3, {{0, 2, 1}, {1, 0, 2}, {2, 1, 0}}, {0, 1});
  DES result;
  ASSERT_TRUE(suprobsDES(plant, legal, {1}, result));
  EXPECT_EQ(describe(result), "2: 0-2->1 | marked 0 1");
  ASSERT_TRUE(suprobsDES(DES{}, legal, {}, result));
  EXPECT_TRUE(result.empty());
  // 256 targets of one label on each side: 65,536 transitions at (0, 0).
  std::vector<test::Edge> fan;
  for (std::int64_t t = 0; t < 256; ++t) fan.push_back({0, 1, t});
  EXPECT_FALSE(suprobsDES(makeDES(256, fan, {}), makeDES(256, fan, {}), {}, result));
}

// Relative observability of k, exactly: every pair of words (s in the
// closure of k, s' in the closure of plant and ambient) with one
// projection is reached by moving s alone on erased labels, s' alone on
// erased labels, or both on an observed label; -1 stands for "not in k".
bool isRelativelyObservable(const DES& plant, const DES& ambient, const DES& k, const EventList& nullLabels) {
  if (k.empty()) return true;
  const auto step = [](const DES& d, std::int64_t s, std::uint16_t e) -> std::int64_t {
    if (s < 0) return -1;
    for (const Transition& t : transitionsOf(d[s]))
      if (t.event == e) return t.target;
    return -1;
  };
  const EventList labels = test::labelsOf(plant);
  using Node = std::tuple<std::int64_t, std::int64_t, std::int64_t, std::int64_t, std::int64_t>; // g, k, g', c', k'
  std::set<Node> seen{{0, 0, 0, 0, 0}};
  std::vector<Node> stack{{0, 0, 0, 0, 0}};
  while (!stack.empty()) {
    const auto [g, s, g2, c2, s2] = stack.back();
    stack.pop_back();
    for (std::uint16_t e : labels) {
      const bool enabled = step(k, s, e) >= 0 && step(plant, g, e) >= 0;
      if (enabled && step(plant, g2, e) >= 0 && step(k, s2, e) < 0) return false;
    }
    if (k[s].marked && plant[g].marked && plant[g2].marked && (s2 < 0 || !k[s2].marked)) return false;
    const auto visit = [&](const Node& n) {
      if (seen.insert(n).second) stack.push_back(n);
    };
    for (std::uint16_t e : labels) {
      const std::int64_t ng = step(plant, g, e), ns = step(k, s, e);
      const std::int64_t ng2 = step(plant, g2, e), nc2 = step(ambient, c2, e), ns2 = step(k, s2, e);
      const bool first = ng >= 0 && ns >= 0, second = ng2 >= 0 && nc2 >= 0;
      if (findEvent(nullLabels, e)) {
        if (first) visit({ng, ns, g2, c2, s2});
        if (second) visit({g, s, ng2, nc2, ns2});
      } else if (first && second) {
        visit({ng, ns, ng2, nc2, ns2});
      }
    }
  }
  return true;
}

// Every sub-automaton of e (some transitions dropped, some markings
// cleared), trimmed.
std::vector<DES> subAutomata(const DES& e) {
  const std::vector<test::Edge> edges = test::edgesOf(e);
  const std::vector<std::int64_t> marked = test::markedOf(e);
  std::vector<DES> out;
  for (std::uint32_t keepEdges = 0; keepEdges < (1u << edges.size()); ++keepEdges)
    for (std::uint32_t keepMarks = 0; keepMarks < (1u << marked.size()); ++keepMarks) {
      std::vector<test::Edge> kept;
      std::vector<std::int64_t> marks;
      for (std::size_t i = 0; i < edges.size(); ++i)
        if (keepEdges >> i & 1) kept.push_back(edges[i]);
      for (std::size_t i = 0; i < marked.size(); ++i)
        if (keepMarks >> i & 1) marks.push_back(marked[i]);
      DES d = makeDES(e.size(), kept, marks);
      trimDES(d);
      out.push_back(std::move(d));
    }
  return out;
}

TEST(SuprobsDES, IsTheLargestRelativelyObservableSublanguageOnRandomDes) {
  for (std::uint32_t seed = 1; seed <= 150; ++seed) {
    std::mt19937 rng(seed);
    const DES plant = test::randomDES(rng, 2 + rng() % 3, 7, 3, 2, true);
    // The legal part: the plant without some transitions and markings.
    std::vector<test::Edge> edges;
    for (const test::Edge& edge : test::edgesOf(plant))
      if (rng() % 3 != 0) edges.push_back(edge);
    std::vector<std::int64_t> marks;
    for (std::int64_t m : test::markedOf(plant))
      if (rng() % 3 != 0) marks.push_back(m);
    DES legal = makeDES(plant.size(), edges, marks);
    trimDES(legal);
    EventList nullLabels;
    for (std::uint16_t e = 0; e < 3; ++e)
      if (rng() % 2) nullLabels.push_back(e);
    SCOPED_TRACE(testing::Message() << "seed " << seed << "\n" << describe(plant) << "\n" << describe(legal));
    DES result;
    ObservationReport report;
    ASSERT_TRUE(suprobsDES(plant, legal, nullLabels, result, &report));
    ASSERT_TRUE(isValidDES(result));
    EXPECT_TRUE(test::containedUpTo(result, legal, 8));
    EXPECT_TRUE(isRelativelyObservable(plant, legal, result, nullLabels));
    if (legal.size() > 0 && test::edgesOf(legal).size() + test::markedOf(legal).size() > 9) continue;
    for (const DES& candidate : subAutomata(legal))
      if (isRelativelyObservable(plant, legal, candidate, nullLabels)) {
        EXPECT_TRUE(test::containedUpTo(candidate, result, 8)) << "larger: " << describe(candidate);
      }
  }
}

} // namespace
} // namespace kav
