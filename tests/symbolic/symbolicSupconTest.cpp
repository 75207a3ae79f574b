#include "symbolic/symbolicSupcon.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <new>
#include <random>
#include <string>
#include <vector>

#include "model/progress.h"
#include "model/session.h"
#include "ops/nonconflict.h"
#include "ops/product.h"
#include "ops/supcon.h"
#include "ops/trim.h"
#include "support/testSupport.h"

namespace kav {
namespace {

using namespace test;

// DES are move-only, so no initializer list can hold them.
template <typename... Parts>
std::vector<DES> list(Parts&&... parts) {
  std::vector<DES> out;
  (out.push_back(std::move(parts)), ...);
  return out;
}

// Synchronous product of the parts over `labels`: a label a part does not
// use is free for it. No parts: one marked state self-looped with labels.
DES syncOver(const std::vector<DES>& parts, const EventList& labels) {
  DES acc = parts.empty() ? makeDES(1, {}, {0}) : copyDES(parts[0]);
  EventList own, missing;
  collectEvents(acc, own);
  std::set_difference(labels.begin(), labels.end(), own.begin(), own.end(), std::back_inserter(missing));
  EXPECT_TRUE(addSelfloops(acc, missing));
  for (std::size_t i = 1; i < parts.size(); ++i) {
    DES next;
    std::vector<std::int64_t> pairOf;
    EXPECT_TRUE(syncDES(acc, parts[i], labels, true, next, pairOf));
    acc = std::move(next);
  }
  return acc;
}

struct Explicit {
  DES plant, spec;
};

Explicit compose(const std::vector<DES>& plants, const std::vector<DES>& specs) {
  EventList plantLabels, allLabels;
  for (const DES& d : plants) collectEvents(d, plantLabels);
  allLabels = plantLabels;
  for (const DES& d : specs) collectEvents(d, allLabels);
  return {syncOver(plants, plantLabels), syncOver(specs, allLabels)};
}

// A random component over a window of four consecutive labels of a pool
// of ten, a third of them uncontrollable, so that components share some
// labels and not others.
// A legal component also allows, at random, half of the missing
// uncontrollable labels where it is, so that fewer supervisors are empty.
DES randomComponent(std::mt19937& rng, bool legal) {
  static constexpr std::uint16_t POOL[] = {1, 3, 2, 5, 7, 4, 9, 11, 6, 13};
  DES des = test::randomDES(rng, 2 + rng() % 4, 12, 4, 2, true);
  const auto shift = rng() % 7;
  std::vector<test::Edge> edges = test::edgesOf(des);
  for (test::Edge& e : edges) e.event = POOL[e.event + shift];
  std::vector<std::int64_t> marked = test::markedOf(des);
  marked.push_back(0);
  des = makeDES(des.size(), edges, marked);
  for (std::int64_t s = 0; legal && s < des.size(); ++s)
    for (const test::Edge& e : edges)
      if (e.event % 2 == 0 && !hasEvent(des[s], e.event) && rng() % 2) insertTransition(des[s], e.event, s);
  return des;
}

std::vector<int> randomOrder(std::mt19937& rng, std::size_t n) {
  std::vector<int> order(n);
  for (std::size_t i = 0; i < n; ++i) order[i] = static_cast<int>(i);
  for (std::size_t i = n; i > 1; --i) std::swap(order[i - 1], order[rng() % i]);
  return order;
}

// Reachable states of the product where the plant enables an uncontrollable
// label that the product lacks.
int uncontrollableStates(const Explicit& model) {
  DES product;
  std::vector<std::int64_t> pairOf;
  EXPECT_TRUE(meetDES(model.plant, model.spec, product, pairOf));
  int count = 0;
  for (std::int64_t k = 0; k < product.size(); ++k) {
    const StateRecord& g = model.plant[pairOf[static_cast<std::size_t>(k)] % model.plant.size()];
    bool bad = false;
    for (const Transition& t : transitionsOf(g)) bad = bad || (t.event % 2 == 0 && !hasEvent(product[k], t.event));
    count += bad;
  }
  return count;
}

TEST(SymbolicSupcon, AgreesWithExplicitSupconOnRandomModularModels) {
  int nonempty = 0;
  for (unsigned seed = 1; seed <= 150; ++seed) {
    std::mt19937 rng(seed);
    std::vector<DES> plants(2 + rng() % 4), specs(2 + rng() % 4);
    for (DES& d : plants) d = randomComponent(rng, false);
    for (DES& d : specs) d = randomComponent(rng, true);
    SCOPED_TRACE("seed " + std::to_string(seed) + ", plant 0 " + describe(plants[0]));
    const Explicit model = compose(plants, specs);
    DES expected, product;
    std::vector<std::int64_t> pairOf;
    ASSERT_TRUE(supconDES(model.plant, model.spec, expected));
    ASSERT_TRUE(meetDES(model.plant, model.spec, product, pairOf));
    bfsRecodeDES(expected);
    nonempty += !expected.empty();

    SymbolicOptions options;
    if (seed % 2 == 0) options.order = randomOrder(rng, plants.size() + specs.size());
    SymbolicResult result;
    ASSERT_EQ(symbolicSupcon(plants, specs, options, result), SYMBOLIC_OK);
    EXPECT_EQ(result.reachableStates, std::to_string(product.size()));
    EXPECT_EQ(result.supervisorStates, std::to_string(expected.size()));
    EXPECT_EQ(result.supervisorTransitions, std::to_string(countTransitions(expected)));
    EXPECT_EQ(result.supervisorMarkedStates, std::to_string(test::markedOf(expected).size()));
    ASSERT_TRUE(result.explicitBuilt);
    EXPECT_TRUE(isValidDES(result.supervisor));
    EXPECT_EQ(describe(result.supervisor), describe(expected));

    SymbolicVerdict verdict;
    ASSERT_EQ(symbolicNonconflict(plants, options.order.empty() ? options : SymbolicOptions{}, verdict), SYMBOLIC_OK);
    DES trimmed = copyDES(model.plant);
    trimDES(trimmed);
    EXPECT_EQ(verdict.reachableStates, std::to_string(model.plant.size()));
    EXPECT_EQ(verdict.offendingStates, std::to_string(model.plant.size() - trimmed.size()));
    EXPECT_EQ(verdict.holds, allCoreachable(model.plant));

    ASSERT_EQ(symbolicControllable(plants, specs, options, verdict), SYMBOLIC_OK);
    EXPECT_EQ(verdict.offendingStates, std::to_string(uncontrollableStates(model)));
    EXPECT_EQ(verdict.holds, verdict.offendingStates == "0");
  }
  EXPECT_GT(nonempty, 50) << nonempty;
}

// Machine i: idle (marked) -start-> busy -finish-> idle; buffer i of
// capacity 1 between machines i and i+1.
DES machine(int i) { return cycle(10 * i + 1, 10 * i + 2); }
DES buffer(int i) { return cycle(10 * i + 2, 10 * i + 11); }

TEST(SymbolicSupcon, HandlesTheEdgeCasesOfTheModel) {
  struct Case {
    const char* name;
    std::vector<DES> plants, specs;
    const char* states;
    const char* transitions;
    int rounds;
  };
  std::vector<Case> cases;
  // The legal component is free on 2, which leads to the blocking (1, 0):
  // coreachability removes it in round 1, controllability (0, 0) in round 2.
  cases.push_back({"an uncontrollable label into a blocking state at the start",
                   list(makeDES(2, {{0, 2, 1}, {0, 1, 1}}, {1})), list(makeDES(2, {{0, 1, 1}}, {1})), "0", "0", 3});
  // Label 4 belongs to the legal component but is never allowed where the
  // plant can be, so starting the second machine (3) must be prevented.
  cases.push_back({"an uncontrollable label the legal language never allows",
                   list(machine(0), makeDES(2, {{0, 3, 1}, {1, 4, 0}}, {0})),
                   list(makeDES(2, {{0, 1, 0}, {0, 2, 0}, {0, 3, 0}, {1, 4, 1}}, {0})), "2", "2", 2});
  // State 2 is bad (4 forbidden), and 1 reaches it by the uncontrollable 2:
  // both go in the first round, although 1 can return to 0.
  cases.push_back({"a bad state reached uncontrollably",
                   list(makeDES(4, {{0, 1, 1}, {1, 2, 2}, {1, 3, 0}, {2, 4, 3}}, {0})),
                   list(makeDES(2, {{0, 1, 0}, {0, 2, 0}, {0, 3, 0}, {1, 4, 1}}, {0})), "1", "0", 2});
  cases.push_back({"an empty component", list(machine(0), DES{}), {}, "0", "0", 0});
  cases.push_back({"no legal component", list(machine(0), machine(1)), {}, "4", "8", 1});
  cases.push_back({"no marked state", list(makeDES(2, {{0, 1, 1}, {1, 2, 0}})), {}, "0", "0", 2});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SymbolicResult result;
    ASSERT_EQ(symbolicSupcon(c.plants, c.specs, {}, result), SYMBOLIC_OK);
    EXPECT_EQ(result.supervisorStates, c.states);
    EXPECT_EQ(result.supervisorTransitions, c.transitions);
    EXPECT_EQ(result.rounds, c.rounds);
    EXPECT_TRUE(result.explicitBuilt);
    EXPECT_EQ(std::to_string(result.supervisor.size()), c.states);
  }
}

TEST(SymbolicSupcon, RefusesWhatItCannotDo) {
  const std::vector<DES> line = list(machine(0), machine(1), machine(2));
  const std::vector<DES> buffers = list(buffer(0), buffer(1));
  SymbolicResult result;
  SymbolicOptions options;
  EXPECT_EQ(symbolicSupcon({}, buffers, options, result), SYMBOLIC_BAD_INPUT);
  for (const std::vector<int>& order : {std::vector<int>{0, 1, 2, 3, 3}, {0, 1, 2, 3}, {0, 1, 2, 3, 5}}) {
    options.order = order;
    EXPECT_EQ(symbolicSupcon(line, buffers, options, result), SYMBOLIC_BAD_INPUT);
  }

  // The documented heuristic interleaves machines and buffers; with no
  // label shared with the last one placed, the most shared with all
  // placed ones wins (3, not 2, after 0 and 1).
  options.order.clear();
  ASSERT_EQ(symbolicSupcon(line, buffers, options, result), SYMBOLIC_OK);
  EXPECT_EQ(result.order, (std::vector<int>{0, 3, 1, 4, 2}));
  SymbolicVerdict verdict;
  ASSERT_EQ(symbolicNonconflict(list(cycle(1, 2), cycle(1, 1), cycle(7, 7), cycle(2, 2), makeDES(1, {{0, 5, 0}})), {},
                                verdict),
            SYMBOLIC_OK);
  EXPECT_EQ(verdict.order, (std::vector<int>{0, 1, 3, 2, 4}));
  const std::string states = result.supervisorStates;

  options.maxStates = std::stoull(states) - 1;
  ASSERT_EQ(symbolicSupcon(line, buffers, options, result), SYMBOLIC_TOO_MANY_STATES);
  EXPECT_EQ(result.supervisorStates, states);
  EXPECT_FALSE(result.explicitBuilt);
  EXPECT_TRUE(result.supervisor.empty());
  options.countOnly = true;
  ASSERT_EQ(symbolicSupcon(line, buffers, options, result), SYMBOLIC_OK);
  EXPECT_EQ(result.supervisorStates, states);
  EXPECT_FALSE(result.explicitBuilt);
  options.countOnly = false;

  // Whatever the node table limit, the answer is right or the run gives up
  // (this model needs about 80 nodes).
  options.maxStates = 10'000'000;
  int exhausted = 0;
  for (options.maxNodes = 10; options.maxNodes <= 200; options.maxNodes += 10) {
    SCOPED_TRACE(options.maxNodes);
    const int code = symbolicSupcon(line, buffers, options, result);
    ASSERT_TRUE(code == SYMBOLIC_OK || code == SYMBOLIC_OUT_OF_MEMORY) << code;
    EXPECT_EQ(result.supervisorStates, code == SYMBOLIC_OK ? states : "");
    EXPECT_EQ(result.explicitBuilt, code == SYMBOLIC_OK);
    exhausted += code != SYMBOLIC_OK;
    const int verdictCode = symbolicNonconflict(line, options, verdict);
    EXPECT_EQ(verdict.reachableStates, verdictCode == SYMBOLIC_OK ? "8" : "");
  }
  EXPECT_GT(exhausted, 0);
  EXPECT_LT(exhausted, 20);

  // The package starts afresh after an exhausted run.
  options = {};
  ASSERT_EQ(symbolicSupcon(line, buffers, options, result), SYMBOLIC_OK);
  EXPECT_EQ(result.supervisorStates, states);
}

// 2026-12-07: a failed allocation inside the package (a cache left without
// its table) crashed the process. Now it is std::bad_alloc, and the next
// call works. Pairs of machines that move together, placed far apart, make
// a diagram that doubles with every pair, soon above the node limit; an
// address-space limit a little above the process's size makes its growth
// fail first, at one allocation or another as the limit rises.
TEST(SymbolicSupcon, ReportsAFailedAllocationInsideThePackageAsBadAlloc) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the sanitizer reserves address space";
#endif
  std::vector<DES> plants;
  SymbolicOptions options;
  for (int i = 0; i < 36; ++i) {
    plants.push_back(cycle(4 * (i % 18) + 1, 4 * (i % 18) + 3));
    options.order.push_back(i);
  }
  options.maxNodes = 160'000;
  options.countOnly = true;
  int failed = 0;
  for (rlim_t headroom = 512 << 10; headroom < (4 << 20); headroom += 128 << 10) {
    const pid_t pid = fork();
    if (pid == 0) {
      std::ifstream statm("/proc/self/statm");
      rlim_t pages = 0;
      statm >> pages;
      rlimit limit{};
      getrlimit(RLIMIT_AS, &limit);
      const rlim_t unlimited = limit.rlim_cur;
      limit.rlim_cur = pages * static_cast<rlim_t>(sysconf(_SC_PAGESIZE)) + headroom;
      setrlimit(RLIMIT_AS, &limit);
      int code = 0;
      SymbolicResult result;
      try {
        code = symbolicSupcon(plants, {}, options, result);
      } catch (const std::bad_alloc&) {
        code = 100;
      }
      limit.rlim_cur = unlimited;
      setrlimit(RLIMIT_AS, &limit);
      const bool works = symbolicSupcon(list(machine(0), machine(1)), {}, {}, result) == SYMBOLIC_OK;
      _exit(code + (works ? 1 : 0));
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status)) << "headroom " << headroom << ", status " << status;
    EXPECT_TRUE(WEXITSTATUS(status) == 100 + 1 || WEXITSTATUS(status) == SYMBOLIC_OUT_OF_MEMORY + 1)
        << WEXITSTATUS(status);
    failed += WEXITSTATUS(status) == 101;
  }
  EXPECT_GT(failed, 0);
}

std::vector<std::string> progressLines;
void captureProgress(const char* text) { progressLines.emplace_back(text); }

TEST(SymbolicSupcon, ReportsEverySweepThroughTheProgressHook) {
  progressLines.clear();
  setProgressHook(captureProgress);
  session.debugMode = true;
  SymbolicResult result;
  const int code = symbolicSupcon(list(machine(0), machine(1)), list(buffer(0)), {}, result);
  session.debugMode = false;
  setProgressHook(nullptr);
  ASSERT_EQ(code, SYMBOLIC_OK);
  ASSERT_FALSE(progressLines.empty());
  EXPECT_TRUE(progressLines.front().starts_with("BDD REACH: round 0, sweep 1, ")) << progressLines.front();
  EXPECT_TRUE(progressLines.back().starts_with("BDD SUPERVISOR: round 2, ")) << progressLines.back();
}

} // namespace
} // namespace kav
