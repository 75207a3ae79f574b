// Supervisor reduction: the cover on small hand-made cases, the file
// reader's codes, and laws on Supcon supervisors of random plants checked
// against a plain reference (whole-copy backup per attempt, fixpoint
// compatibility) and against the plant's behaviour under the original.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <set>

#include "model/desfile.h"
#include "ops/condat.h"
#include "ops/product.h"
#include "ops/supcon.h"
#include "support/languageOracle.h"
#include "support/testSupport.h"
#include "synthesis/supreduce.h"

namespace kav {
namespace {

using namespace test;

// --- A plain reference for deterministic supervisors -------------------------------

struct RefClass {
  std::map<int, std::int64_t> moves; // event -> target
  std::set<int> disabled;
  int mark = 0;
};

struct Reference {
  std::vector<std::int64_t> cell; // root of each state
  std::int64_t bound = 0;
};

void dfs(const DES& sup, std::int64_t x, std::vector<std::int64_t>& parent, std::vector<int>& edgeEvent,
         std::vector<bool>& seen) {
  for (const Transition& t : transitionsOf(sup[x]))
    if (!seen[t.target]) {
      seen[t.target] = true;
      parent[t.target] = x;
      edgeEvent[t.target] = t.event;
      dfs(sup, t.target, parent, edgeEvent, seen);
    }
}

std::int64_t plantOf(const DES& plant, const DES& sup, const std::vector<std::int64_t>& parent,
                     const std::vector<int>& edgeEvent, std::int64_t x) {
  if (x == 0) return 0;
  if (parent[x] < 0) return -1;
  const std::int64_t up = plantOf(plant, sup, parent, edgeEvent, parent[x]);
  if (up < 0) return -1;
  for (const Transition& t : transitionsOf(plant[up]))
    if (t.event == edgeEvent[x]) return t.target;
  return -1;
}

Reference referenceReduce(const DES& plant, const DES& sup, const DES& data) {
  const std::int64_t n = sup.size();
  std::vector<std::int64_t> parent(n, -1);
  std::vector<int> edgeEvent(n, -1);
  std::vector<bool> seen(n, false);
  seen[0] = true;
  dfs(sup, 0, parent, edgeEvent, seen);
  std::vector<bool> plantMarked(n), supMarked(n);
  std::vector<RefClass> classes(n);
  for (std::int64_t x = 0; x < n; ++x) {
    const std::int64_t g = plantOf(plant, sup, parent, edgeEvent, x);
    plantMarked[x] = g >= 0 && plant[g].marked;
    supMarked[x] = sup[x].marked;
    RefClass& c = classes[x];
    for (const Transition& t : transitionsOf(sup[x])) c.moves[t.event] = t.target;
    for (const Transition& t : transitionsOf(data[x])) c.disabled.insert(t.event);
    c.mark = (sup[x].marked ? 3 : 2) << (plantMarked[x] ? 2 : 0);
  }
  std::vector<std::int64_t> up(n, -1);
  const auto find = [&up](std::int64_t x) {
    while (up[x] >= 0) x = up[x];
    return x;
  };
  const auto consistent = [](const RefClass& a, const RefClass& b) {
    const int la = a.mark & 3, lb = b.mark & 3, ha = a.mark & 12, hb = b.mark & 12;
    if ((la == 2 && lb == 3) || (la == 3 && lb == 2) || (ha == 8 && hb == 12) || (ha == 12 && hb == 8)) return false;
    for (int e : a.disabled)
      if (b.moves.count(e)) return false;
    for (int e : b.disabled)
      if (a.moves.count(e)) return false;
    return true;
  };
  for (std::int64_t i = 0; i < n; ++i) {
    if (up[i] >= 0) continue;
    for (std::int64_t j = i + 1; j < n; ++j) {
      if (up[j] >= 0) continue;
      const std::vector<RefClass> savedClasses = classes;
      const std::vector<std::int64_t> savedUp = up;
      std::vector<std::pair<std::int64_t, std::int64_t>> waiting{{i, j}};
      up[j] = i;
      bool ok = true;
      for (std::size_t k = 0; k < waiting.size() && ok; ++k) {
        const auto [a, b] = waiting[k];
        RefClass& A = classes[a];
        const RefClass B = classes[b];
        if (!consistent(A, B)) {
          ok = false;
          break;
        }
        A.disabled.insert(B.disabled.begin(), B.disabled.end());
        A.mark |= B.mark;
        for (const auto& [e, t] : B.moves) {
          auto it = A.moves.find(e);
          if (it == A.moves.end()) {
            A.moves[e] = t;
            continue;
          }
          std::int64_t ra = find(it->second), rb = find(t);
          if (ra == rb) continue;
          if (ra < i || rb < i) {
            ok = false;
            break;
          }
          if (ra > rb) std::swap(ra, rb);
          up[rb] = ra;
          waiting.push_back({ra, rb});
        }
      }
      if (!ok) {
        classes = savedClasses;
        up = savedUp;
      }
    }
  }
  Reference ref;
  for (std::int64_t x = 0; x < n; ++x) ref.cell.push_back(find(x));

  // The bound: exact compatibility by a fixpoint, then the greedy removal.
  const auto direct = [&](std::int64_t x, std::int64_t y) {
    if (plantMarked[x] == plantMarked[y] && supMarked[x] != supMarked[y]) return false;
    for (const Transition& d : transitionsOf(data[x]))
      if (hasEvent(sup[y], d.event)) return false;
    for (const Transition& d : transitionsOf(data[y]))
      if (hasEvent(sup[x], d.event)) return false;
    return true;
  };
  std::vector<std::vector<bool>> bad(n, std::vector<bool>(n));
  for (std::int64_t x = 0; x < n; ++x)
    for (std::int64_t y = 0; y < n; ++y) bad[x][y] = !direct(x, y);
  for (bool changed = true; changed;) {
    changed = false;
    for (std::int64_t x = 0; x < n; ++x)
      for (std::int64_t y = 0; y < n; ++y) {
        if (bad[x][y]) continue;
        for (const Transition& t : transitionsOf(sup[x]))
          for (const Transition& u : transitionsOf(sup[y]))
            if (t.event == u.event && bad[t.target][u.target]) bad[x][y] = changed = true;
      }
  }
  std::vector<std::int64_t> degree(n, 0);
  for (std::int64_t x = 0; x < n; ++x)
    for (std::int64_t y = 0; y < n; ++y)
      if (x != y && !bad[x][y]) ++degree[x];
  std::vector<bool> removed(n, false);
  ref.bound = n;
  for (;;) {
    std::int64_t best = -1;
    for (std::int64_t x = 0; x < n; ++x)
      if (!removed[x] && (best < 0 || degree[x] > degree[best])) best = x;
    if (best < 0 || degree[best] == 0) break;
    removed[best] = true;
    --ref.bound;
    for (std::int64_t y = 0; y < n; ++y)
      if (!removed[y] && y != best && !bad[best][y]) --degree[y];
  }
  return ref;
}

struct Reduction {
  int code = 0;
  ReducedSupervisor reduced;
  std::int64_t bound = 0;
};

Reduction reduce(const DES& plant, const DES& sup, const DES* data, bool bound = false) {
  Reduction r;
  r.code = reduceSupervisor(reductionAutomatonOf(plant), reductionAutomatonOf(sup), data, bound, r.reduced, r.bound);
  return r;
}

// --- The cover on hand-made cases -----------------------------------------------------

TEST(ReduceSupervisor, NumbersCellsFromStateZeroThenBySmallestMember) {
  // Plant and supervisor the same four-cycle: nothing is disabled and
  // every state is unmarked, so every state can share a cell.
  const DES cycle = makeDES(4, {{0, 1, 1}, {1, 3, 2}, {2, 1, 3}, {3, 3, 0}});
  Reduction r = reduce(cycle, cycle, nullptr, true);
  ASSERT_EQ(r.code, REDUCE_OK);
  EXPECT_EQ(describe(reducedDES(r.reduced)), "1: 0-1->0 0-3->0 | marked");
  EXPECT_EQ(r.reduced.cellOf, (std::vector<std::int64_t>{0, 0, 0, 0}));
  EXPECT_EQ(r.bound, 1);
  // 0 and 2 are alike, 1 and 3 are alike; 0 disables what 1 and 3 enable.
  const DES sup = makeDES(4, {{0, 2, 1}, {1, 1, 2}, {2, 2, 3}, {3, 1, 0}});
  const DES data = makeDES(4, {{0, 1, 0}, {2, 1, 0}});
  r = reduce(makeDES(1, {}), sup, &data, true);
  ASSERT_EQ(r.code, REDUCE_OK);
  EXPECT_EQ(r.reduced.cellOf, (std::vector<std::int64_t>{0, 1, 0, 1}));
  EXPECT_EQ(describe(reducedDES(r.reduced)), "2: 0-2->1 1-1->0 | marked");
  EXPECT_EQ(r.bound, 2);
}

TEST(ReduceSupervisor, PlaceholderNeverMatchesADisabledSilentEvent) {
  // Regression (2026-12-06): placeholders were once rows labelled 1000 + s,
  // so state 0's placeholder read as the silent event 1000 and clashed with
  // state 1 disabling it. State 0 without transitions and state 1 must
  // merge.
  const DES sup = makeDES(2, {{1, 1, 1}});
  const DES data = makeDES(2, {{1, EPSILON_LABEL, 0}});
  const Reduction r = reduce(makeDES(1, {}), sup, &data);
  ASSERT_EQ(r.code, REDUCE_OK);
  EXPECT_EQ(r.reduced.size, 1);
}

TEST(ReduceSupervisor, AnswersTheCasesWithNothingToReduce) {
  const DES one = makeDES(1, {{0, 1, 0}}, {0});
  EXPECT_EQ(reduce(one, one, nullptr).code, REDUCE_NOTHING_TO_REDUCE);
  EXPECT_EQ(reduce(makeDES(1, {}), makeDES(1, {}), nullptr).code, REDUCE_NOTHING_TO_REDUCE);
  // Two self-loops make two rows: one state, reduced to itself.
  const Reduction two = reduce(one, makeDES(1, {{0, 1, 0}, {0, 3, 0}}), nullptr);
  EXPECT_EQ(two.code, REDUCE_OK);
  EXPECT_EQ(two.reduced.size, 1);
  EXPECT_EQ(reduce(DES{}, one, nullptr).code, REDUCE_EMPTY_INPUT);
  EXPECT_EQ(reduce(one, DES{}, nullptr).code, REDUCE_EMPTY_INPUT);
}

// --- Files ---------------------------------------------------------------------------

class SupreduceFiles : public ::testing::Test {
protected:
  test::TempDir dir;
  std::string path(const std::string& name) const { return dir.path + name; }
  void save(const std::string& name, const DES& des, std::int64_t init = 0) {
    ASSERT_EQ(saveDESFile(path(name), des, init, 2), SAVE_OK);
  }
  // Overwrites `count` bytes at `offset` of a saved file.
  void patch(const std::string& name, std::size_t offset, const std::string& bytes) {
    std::string content = test::readFile(path(name));
    content.replace(offset, bytes.size(), bytes);
    test::writeFile(path(name), content);
  }
  int run(bool bound = false) {
    return supreduceFiles(path("P.DES"), path("S.DES"), path("D.DAT"), path("R.DES"), bound, lowerBound, ratio);
  }
  std::int64_t lowerBound = -1;
  float ratio = -1;
};

// A four-cycle whose supervisor marks 0 and 2 where the plant marks
// nothing: 0 and 2 share a cell, 1 and 3 the other.
const DES PLANT_CYCLE = makeDES(4, {{0, 1, 1}, {1, 3, 2}, {2, 1, 3}, {3, 3, 0}});
const DES SUPERVISOR_CYCLE = makeDES(4, {{0, 1, 1}, {1, 3, 2}, {2, 1, 3}, {3, 3, 0}}, {0, 2});

TEST_F(SupreduceFiles, WritesTheReducedSupervisorWithTheReductionHeader) {
  for (const int version : {2, 1}) {
    ASSERT_EQ(saveDESFile(path("P.DES"), PLANT_CYCLE, 0, version), SAVE_OK);
    ASSERT_EQ(saveDESFile(path("S.DES"), SUPERVISOR_CYCLE, 0, version), SAVE_OK);
    ASSERT_EQ(run(true), REDUCE_OK);
    EXPECT_FLOAT_EQ(ratio, 2.0f);
    EXPECT_EQ(lowerBound, 2);
    EXPECT_EQ(test::readFile(path("R.DES")).substr(0, 27), std::string(REDUCTION_HEADER_TEXT) + "\x1a");
    EXPECT_EQ(describe(test::loadFile(path("R.DES"))), "2: 0-1->1 1-3->0 | marked 0");
  }
  float r;
  EXPECT_EQ(supreduceFiles(path("P.DES"), path("S.DES"), path("D.DAT"), path("none/R.DES"), false, lowerBound, r),
            REDUCE_RESULT_NOT_OPENED);
}

TEST_F(SupreduceFiles, ReportsEachInputsLoaderCode) {
  const DES des = makeDES(2, {{0, 1, 1}, {1, 1, 0}});
  EXPECT_EQ(run(), LOADER_CANNOT_OPEN);
  save("P.DES", des);
  EXPECT_EQ(run(), REDUCE_SUPERVISOR_FILE + LOADER_CANNOT_OPEN);
  const std::size_t magic = std::strlen(DES_HEADER_TEXT) + 1;
  struct Case {
    std::size_t offset;
    std::string bytes;
    int code;
  };
  const Case cases[] = {
      {magic, "Z8^0L;3", LOADER_NO_MAGIC},
      {magic + 7, std::string("\x55\xAA\x00\xFE", 4), LOADER_BAD_FORMAT_CONSTANT},
      {magic + 11, std::string("\x01\x00\x00\x00", 4), LOADER_BAD_BLOCK_TYPE},
      {magic + 35, std::string("\x07\x00\x00\x00", 4), LOADER_READ_ERROR}, // a marker state out of range
  };
  for (const Case& c : cases) {
    save("S.DES", des);
    patch("S.DES", c.offset, c.bytes);
    EXPECT_EQ(run(), REDUCE_SUPERVISOR_FILE + c.code) << c.bytes;
    save("P.DES", des);
    patch("P.DES", c.offset, c.bytes);
    EXPECT_EQ(run(), c.code) << c.bytes;
    save("P.DES", des);
  }
  test::writeFile(path("S.DES"), "KAV DES file.");
  EXPECT_EQ(run(), REDUCE_SUPERVISOR_FILE + LOADER_READ_ERROR);
  EXPECT_FALSE(test::exists(path("R.DES")));
}

TEST_F(SupreduceFiles, MissingControlDataCountAsNoneButUnreadableOrAnotherSupervisorsAreAnError) {
  // 0 disables 1, which 1 enables: with the control data the states stay
  // apart; without them they merge.
  const DES sup = makeDES(2, {{0, 3, 1}, {1, 1, 0}});
  save("P.DES", sup);
  save("S.DES", sup);
  save("D.DAT", makeDES(2, {{0, 1, 0}}), -1);
  ASSERT_EQ(run(), REDUCE_OK);
  EXPECT_FLOAT_EQ(ratio, 1.0f);
  test::writeFile(path("D.DAT"), "garbage");
  EXPECT_EQ(run(), REDUCE_CONTROL_DATA_UNREADABLE);
  std::remove(path("D.DAT").c_str());
  ASSERT_EQ(run(), REDUCE_OK);
  EXPECT_FLOAT_EQ(ratio, 2.0f);
  save("D.DAT", allocStates(3), -1);
  EXPECT_EQ(run(), REDUCE_CONTROL_DATA_MISMATCH);
}

// --- The clean-up --------------------------------------------------------------------

TEST(RemoveIdleSelfloops, KeepsSelfloopsThatMoveElsewhereOrAreListed) {
  // 5 moves between states at 1, 7 is listed, 9 is only ever a self-loop.
  DES des = makeDES(2, {{0, 5, 0}, {0, 7, 0}, {0, 9, 0}, {1, 5, 0}, {1, 9, 1}});
  EXPECT_EQ(removeIdleSelfloops(des, {7}), 2);
  EXPECT_EQ(describe(des), "2: 0-5->0 0-7->0 1-5->0 | marked");
  DES loops = makeDES(1, {{0, 1, 0}, {0, 2, 0}});
  EXPECT_EQ(removeIdleSelfloops(loops, {}), 2);
  EXPECT_TRUE(isValidDES(loops));
}

// --- Laws on Supcon supervisors of random plants ------------------------------------

struct Case {
  DES plant, sup, data;
};

// A random deterministic plant and legal DES whose Supcon has at
// least two states; false after too many tries. The legal DES offers
// every uncontrollable event at every state (moving or looping) and a
// random choice of the controllable ones, so that Supcon is seldom empty.
bool randomCase(std::mt19937& rng, Case& c, std::int64_t maxPlant) {
  for (int tries = 0; tries < 200; ++tries) {
    const std::int64_t plantSize = 2 + rng() % static_cast<std::uint32_t>(maxPlant), specSize = 2 + rng() % 6;
    c.plant = test::randomDES(rng, plantSize, static_cast<int>(plantSize * 4), 6, 2, true);
    DES spec = allocStates(specSize);
    for (std::int64_t x = 0; x < specSize; ++x) {
      for (std::uint16_t e = 0; e < 6; ++e) {
        const std::uint32_t draw = rng() % 3;
        if (e % 2 == 1 && draw == 0) continue;
        insertTransition(spec[x], e, draw == 1 ? x : static_cast<std::int64_t>(rng() % specSize));
      }
      spec[x].marked = rng() % 2 == 0;
    }
    if (!supconDES(c.plant, spec, c.sup) || c.sup.size() < 2) continue;
    if (!condatDES(c.plant, c.sup, c.data)) continue;
    return true;
  }
  return false;
}

TEST(ReduceSupervisor, AgreesWithThePlainReferenceAndKeepsTheControlAction) {
  std::mt19937 rng(20240611);
  int reduced = 0;
  std::int64_t largest = 0;
  for (int round = 0; round < 400; ++round) {
    Case c;
    // Mostly small supervisors, every eighth one of up to some hundred states.
    ASSERT_TRUE(randomCase(rng, c, round % 8 == 7 ? 30 : 12));
    SCOPED_TRACE("round " + std::to_string(round) + "\nplant " + describe(c.plant) + "\nsup " + describe(c.sup) +
                 "\ndata " + describe(c.data));
    const Reduction r = reduce(c.plant, c.sup, &c.data, true);
    ASSERT_EQ(r.code, REDUCE_OK);
    const Reference ref = referenceReduce(c.plant, c.sup, c.data);
    for (std::size_t x = 0; x < ref.cell.size(); ++x)
      ASSERT_EQ(r.reduced.cellOf[x], r.reduced.cellOf[static_cast<std::size_t>(ref.cell[x])]) << x;
    std::set<std::int64_t> roots(ref.cell.begin(), ref.cell.end());
    ASSERT_EQ(static_cast<std::size_t>(r.reduced.size), roots.size());
    EXPECT_EQ(r.bound, ref.bound);
    EXPECT_GE(r.bound, 1);
    EXPECT_LE(r.bound, r.reduced.size);
    const DES small = reducedDES(r.reduced);
    ASSERT_TRUE(isValidDES(small));
    EXPECT_TRUE(checkDeterministic(small));
    EXPECT_TRUE(test::sameBehaviour(referenceMeet(c.plant, small), referenceMeet(c.plant, c.sup)));
    if (r.reduced.size < c.sup.size()) ++reduced;
    largest = std::max(largest, c.sup.size());
  }
  // The law must have been tested on supervisors that do reduce.
  EXPECT_GT(reduced, 100);
  EXPECT_GT(largest, 100) << largest;
}

} // namespace
} // namespace kav
