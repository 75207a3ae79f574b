#include "synthesis/observability.h"

#include <algorithm>
#include <span>
#include <unordered_map>

#include "ops/isomorph.h"
#include "ops/minimize.h"
#include "ops/product.h"
#include "ops/project.h"
#include "ops/supcon.h"
#include "ops/transforms.h"
#include "ops/trim.h"
#include "synthesis/quasiCongruence.h"

namespace kav {

namespace {

constexpr std::size_t LABEL_COUNT = 65536;
constexpr std::uint64_t LOW_HALF = 0xFFFFFFFFull;

// Components of a hashed product's pair key (second << 32 | first).
std::int64_t firstOf(std::int64_t key) { return static_cast<std::int64_t>(static_cast<std::uint64_t>(key) & LOW_HALF); }
std::int64_t secondOf(std::int64_t key) { return static_cast<std::int64_t>(static_cast<std::uint64_t>(key) >> 32); }

// Per-label flags that a group sets and tests; a fresh epoch per group
// clears them all at once.
struct LabelStamps {
  std::vector<std::uint64_t> both, gOnly;
  std::uint64_t epoch = 0;
  std::vector<std::uint16_t> touched;
  LabelStamps() : both(LABEL_COUNT, 0), gOnly(LABEL_COUNT, 0) {}
  void next() {
    ++epoch;
    touched.clear();
  }
  void setBoth(std::uint16_t e) {
    if (both[e] != epoch && gOnly[e] != epoch) touched.push_back(e);
    both[e] = epoch;
  }
  void setGOnly(std::uint16_t e) {
    if (both[e] != epoch && gOnly[e] != epoch) touched.push_back(e);
    gOnly[e] = epoch;
  }
  bool conflicts(std::uint16_t e) const { return both[e] == epoch && gOnly[e] == epoch; }
};

// Calls visit(label, definedAtK) for every distinct label of gState, and
// (MARKER_EVENT, kState marked) when gState is marked. kState may be null
// (nothing defined there). Both lists are sorted, so one merge serves.
template <typename Visit>
void forEachPlantLabel(const StateRecord& gState, const StateRecord* kState, Visit visit) {
  const auto gList = transitionsOf(gState);
  const std::span<const Transition> kList = kState ? transitionsOf(*kState) : std::span<const Transition>{};
  std::size_t j = 0;
  for (std::size_t i = 0; i < gList.size(); ++i) {
    const std::uint16_t e = gList[i].event;
    if (i > 0 && gList[i - 1].event == e) continue;
    while (j < kList.size() && kList[j].event < e) ++j;
    visit(e, j < kList.size() && kList[j].event == e);
  }
  if (gState.marked) visit(MARKER_EVENT, kState && kState->marked);
}

} // namespace

bool checkObservability(const DES& plant, const DES& legal, const EventList& nullLabels, bool strong, bool& holds,
                        DES& failureReport) {
  holds = true;
  failureReport = allocStates(legal.size());
  if (plant.empty() || legal.empty()) return true;
  DES product;
  std::vector<std::int64_t> pairOf;
  if (!meetDESHashed(plant, legal, product, pairOf)) return false;

  // The groups, as lists of product states.
  std::vector<std::int64_t> groupStart{0}, members;
  if (!strong) {
    DES projected = copyDES(product);
    std::vector<StateList> sets;
    projectWithStateSets(projected, nullLabels, sets);
    for (const StateList& set : sets) {
      members.insert(members.end(), set.begin(), set.end());
      groupStart.push_back(static_cast<std::int64_t>(members.size()));
    }
  } else {
    DES projected = copyDES(legal);
    std::vector<StateList> sets;
    projectWithStateSets(projected, nullLabels, sets);
    // Product states by legal component, ascending within each.
    std::vector<std::int64_t> byKStart(static_cast<std::size_t>(legal.size()) + 1, 0), byK(pairOf.size());
    for (std::int64_t key : pairOf) ++byKStart[static_cast<std::size_t>(secondOf(key)) + 1];
    for (std::size_t k = 0; k < static_cast<std::size_t>(legal.size()); ++k) byKStart[k + 1] += byKStart[k];
    std::vector<std::int64_t> fill(byKStart.begin(), byKStart.end() - 1);
    for (std::size_t x = 0; x < pairOf.size(); ++x)
      byK[static_cast<std::size_t>(fill[static_cast<std::size_t>(secondOf(pairOf[x]))]++)] = static_cast<std::int64_t>(x);
    for (const StateList& set : sets) {
      for (std::int64_t k : set)
        members.insert(members.end(), byK.begin() + byKStart[static_cast<std::size_t>(k)],
                       byK.begin() + byKStart[static_cast<std::size_t>(k) + 1]);
      groupStart.push_back(static_cast<std::int64_t>(members.size()));
    }
  }

  LabelStamps stamps;
  std::vector<std::pair<std::int64_t, std::uint16_t>> candidates, violations;
  for (std::size_t c = 0; c + 1 < groupStart.size(); ++c) {
    const auto from = static_cast<std::size_t>(groupStart[c]), to = static_cast<std::size_t>(groupStart[c + 1]);
    if (to - from < 2) continue;
    stamps.next();
    candidates.clear();
    for (std::size_t i = from; i < to; ++i) {
      const std::int64_t key = pairOf[static_cast<std::size_t>(members[i])];
      const std::int64_t g = firstOf(key), k = secondOf(key);
      forEachPlantLabel(plant[g], &legal[k], [&](std::uint16_t e, bool atK) {
        if (atK) stamps.setBoth(e);
        else candidates.emplace_back(k, e);
      });
    }
    for (const auto& [k, e] : candidates)
      if (stamps.both[e] == stamps.epoch) violations.emplace_back(k, e);
  }
  normalizeSorted(violations);
  holds = violations.empty();
  std::vector<Transition> list;
  for (std::size_t i = 0; i < violations.size();) {
    const std::int64_t k = violations[i].first;
    list.clear();
    for (; i < violations.size() && violations[i].first == k; ++i) list.push_back(makeTransition(violations[i].second, 0));
    assignFittingTransitions(failureReport[k], list); // one per label
  }
  return true;
}

// --- Supnorm and Supscop ----------------------------------------------------------

bool supnormDES(const DES& a, const DES& b, const EventList& nullLabels, DES& result, Minimizer minimizer) {
  std::vector<std::int64_t> pairs;
  DES k;
  if (!meetDESHashed(a, b, k, pairs)) return false;
  EventList ek, eb;
  collectEvents(k, ek);
  collectEvents(b, eb);
  EventList d;
  for (std::uint16_t e : eb)
    if (!findEvent(ek, e)) d.push_back(e);

  // M: the strings of B that K does not mark.
  DES c1 = copyDES(k);
  if (!complementDES(c1, d)) return false;
  reachDES(c1);
  DES m;
  if (!meetDESHashed(b, c1, m, pairs)) return false;
  freeDES(c1);

  // S: every string whose projection is that of a string of M.
  project(m, nullLabels, {}, minimizer);
  DES s;
  if (!syncDESHashed(m, allEventsDES(eb), s, pairs)) return false;
  freeDES(m);

  EventList es;
  collectEvents(s, es);
  EventList d2;
  for (std::uint16_t e : ek)
    if (!findEvent(es, e)) d2.push_back(e);
  if (!complementDES(s, d2)) return false;
  reachDES(s);

  DES r;
  if (!meetDESHashed(k, s, r, pairs)) return false;
  trimDES(r);
  reachDES(r);
  minimizeDES(r, minimizer);
  result = std::move(r);
  return true;
}

DES supClosed(const DES& d) {
  if (d.empty() || !d[0].marked) return DES{};
  bool othersMarked = false, allMarked = true;
  for (std::int64_t s = 1; s < d.size(); ++s) {
    if (d[s].marked) othersMarked = true;
    else allMarked = false;
  }
  if (!othersMarked) {
    DES one = allocStates(1);
    one[0].marked = 1;
    std::vector<Transition> loops;
    for (const Transition& t : transitionsOf(d[0]))
      if (t.target == 0) loops.push_back(t);
    assignFittingTransitions(one[0], loops); // part of d[0]'s list
    return one;
  }
  if (allMarked) return copyDES(d);
  DES result = copyDES(d);
  std::vector<Transition> list;
  for (std::int64_t s = 0; s < result.size(); ++s) {
    list.clear();
    for (const Transition& t : transitionsOf(result[s]))
      if (d[t.target].marked) list.push_back(t);
    if (list.size() != result[s].transitionCount) assignFittingTransitions(result[s], list); // a part
  }
  trimDES(result);
  return result;
}

namespace {

DES allMarked(const DES& d) {
  DES copy = copyDES(d);
  for (StateRecord& s : copy.states) s.marked = 1;
  return copy;
}

void clearReached(DES& d) {
  for (StateRecord& s : d.states) s.reached = 0;
}

// True when both are empty or they are isomorphic.
bool sameDES(const DES& a, const DES& b) {
  if (a.empty() && b.empty()) return true;
  std::vector<std::int64_t> map;
  return isomorphicDES(a, b, map);
}

} // namespace

bool normalClosedStep(const DES& x, const DES& g, const EventList& nullLabels, DES& result, Minimizer minimizer) {
  const DES closedG = allMarked(g);
  DES cur = copyDES(x);
  for (;;) {
    DES prev = std::move(cur);
    DES nc;
    if (!supnormDES(allMarked(prev), closedG, nullLabels, nc, minimizer)) return false;
    const DES z = nc.empty() ? DES{} : supClosed(nc);
    // The hashed product: same states and numbering as meetDES, without a
    // pair table of |prev| x |z| entries (both are supervisor-sized here).
    std::vector<std::int64_t> pairOf;
    if (!meetDESHashed(prev, z, cur, pairOf)) return false;
    trimDES(cur);
    reachDES(cur);
    minimizeDES(cur, minimizer);
    clearReached(cur);
    clearReached(prev);
    if (sameDES(cur, prev)) break;
  }
  result = std::move(cur);
  return true;
}

bool supscopDES(const DES& a, const DES& g, const EventList& nullLabels, DES& result, ObservationReport* report,
                Minimizer minimizer) {
  if (report) *report = {};
  DES x = copyDES(a);
  for (;;) {
    if (report) {
      ++report->passes;
      report->largestWorking = std::max(report->largestWorking, x.size());
    }
    DES prev = std::move(x);
    DES y, ns;
    if (!normalClosedStep(prev, g, nullLabels, y, minimizer)) return false;
    if (!supnormDES(y, g, nullLabels, ns, minimizer)) return false;
    DES p;
    std::vector<std::int64_t> pairOf;
    if (!g.empty()) {
      if (!meetDES(g, ns, p, pairOf)) return false;
      trimDESWithPairs(p, pairOf);
      shaveUncontrollable(g, p, pairOf);
    }
    x = std::move(p);
    reachDES(x);
    minimizeDES(x, minimizer);
    clearReached(x);
    clearReached(prev);
    if (sameDES(x, prev)) break;
  }
  result = std::move(x);
  return true;
}

// --- Suprobs ----------------------------------------------------------------------

namespace {

// The labels of one group that conflict, kept per group in one flat list.
struct Conflicts {
  std::vector<std::int64_t> start{0};
  std::vector<std::uint16_t> labels; // ascending within a group
  bool any() const { return !labels.empty(); }
  bool has(std::int64_t group, std::uint16_t e) const {
    const auto from = labels.begin() + start[static_cast<std::size_t>(group)];
    const auto to = labels.begin() + start[static_cast<std::size_t>(group) + 1];
    return std::binary_search(from, to, e);
  }
};

// working completed by a dump state (number working.size(), unmarked) that
// takes every label of `labels` missing at a state, and loops on all of them.
// False when a completed state would exceed the transition limit.
bool completeWithDump(const DES& working, const EventList& labels, DES& completed) {
  completed = copyDES(working);
  const std::int64_t dump = working.size();
  resizeStates(completed, dump + 1);
  std::vector<Transition> list;
  for (std::int64_t s = 0; s < dump; ++s) {
    const auto own = transitionsOf(completed[s]);
    list.assign(own.begin(), own.end());
    std::size_t i = 0;
    for (std::uint16_t e : labels) {
      while (i < own.size() && own[i].event < e) ++i;
      if (i < own.size() && own[i].event == e) continue;
      list.push_back(makeTransition(e, dump));
    }
    if (list.size() != own.size() && !assignTransitions(completed[s], list)) return false;
  }
  list.clear();
  for (std::uint16_t e : labels) list.push_back(makeTransition(e, dump));
  assignFittingTransitions(completed[dump], list); // one loop per label
  return true;
}

// The conflicts of every group of P2 = H x W'. hPlant gives the plant
// state of each H state.
Conflicts findConflicts(const DES& plant, const std::vector<std::int64_t>& hPlant, const DES& working,
                        const std::vector<std::int64_t>& p2Pairs, const std::vector<StateList>& groups) {
  const std::int64_t dump = working.size();
  Conflicts conflicts;
  LabelStamps stamps;
  for (const StateList& group : groups) {
    stamps.next();
    for (std::int64_t x : group) {
      const std::int64_t key = p2Pairs[static_cast<std::size_t>(x)];
      const std::int64_t g = hPlant[static_cast<std::size_t>(firstOf(key))];
      const std::int64_t w = secondOf(key);
      const StateRecord* ws = w == dump ? nullptr : &working[w];
      forEachPlantLabel(plant[g], ws, [&](std::uint16_t e, bool atW) {
        if (atW) stamps.setBoth(e);
        else stamps.setGOnly(e);
      });
    }
    std::sort(stamps.touched.begin(), stamps.touched.end());
    for (std::uint16_t e : stamps.touched)
      if (stamps.conflicts(e)) conflicts.labels.push_back(e);
    conflicts.start.push_back(static_cast<std::int64_t>(conflicts.labels.size()));
  }
  return conflicts;
}

// The refinement of W by the groups, without the conflicting moves and
// markings: states are the pairs (state of W, group) reachable from
// (0, 0), numbered breadth-first; a null label keeps the group, an image
// label follows the subset automaton `observer`.
DES refineWithoutConflicts(const DES& working, const DES& observer, const Conflicts& conflicts,
                           const std::vector<std::uint8_t>& isNull) {
  std::unordered_map<std::uint64_t, std::int64_t> index;
  std::vector<std::pair<std::int64_t, std::int64_t>> pairs{{0, 0}};
  index.emplace(0, 0);
  DES refined;
  std::vector<Transition> list;
  for (std::size_t n = 0; n < pairs.size(); ++n) {
    const auto [w, c] = pairs[n];
    list.clear();
    for (const Transition& t : transitionsOf(working[w])) {
      if (conflicts.has(c, t.event)) continue;
      std::int64_t next = c;
      if (!isNull[t.event]) {
        const StateRecord& o = observer[c];
        const std::uint32_t at = findEventIndex(o, t.event);
        // Every string of W is a string of P2, so the subset automaton
        // always follows it.
        if (at == o.transitionCount) continue;
        next = o.transitions[at].target;
      }
      const std::uint64_t key = static_cast<std::uint64_t>(t.target) << 32 | static_cast<std::uint64_t>(next);
      const auto [it, added] = index.emplace(key, static_cast<std::int64_t>(pairs.size()));
      if (added) pairs.emplace_back(t.target, next);
      list.push_back(makeTransition(t.event, it->second));
    }
    StateRecord& r = refined.states.emplace_back();
    r.marked = working[w].marked && !conflicts.has(c, MARKER_EVENT);
    assignFittingTransitions(r, list); // one per transition of w
  }
  return refined;
}

} // namespace

bool suprobsDES(const DES& plant, const DES& legal, const EventList& nullLabels, DES& result,
                ObservationReport* report, Minimizer minimizer) {
  if (report) *report = {};
  result = DES{};
  if (plant.empty() || legal.empty()) return true;
  DES h;
  std::vector<std::int64_t> hPairs;
  if (!meetDESHashed(plant, legal, h, hPairs)) return false;
  std::vector<std::int64_t> hPlant(hPairs.size());
  for (std::size_t x = 0; x < hPairs.size(); ++x) hPlant[x] = firstOf(hPairs[x]);
  EventList labels;
  collectEvents(h, labels);
  std::vector<std::uint8_t> isNull(LABEL_COUNT, 0);
  for (std::uint16_t e : nullLabels) isNull[e] = 1;

  DES working = copyDES(h);
  trimDES(working);
  minimizeDES(working, minimizer);
  while (!working.empty()) {
    if (report) {
      ++report->passes;
      report->largestWorking = std::max(report->largestWorking, working.size());
    }
    DES p2;
    std::vector<std::int64_t> p2Pairs;
    DES completed;
    if (!completeWithDump(working, labels, completed) || !meetDESHashed(h, completed, p2, p2Pairs)) return false;
    freeDES(completed);
    std::vector<StateList> groups;
    projectWithStateSets(p2, nullLabels, groups);
    const Conflicts conflicts = findConflicts(plant, hPlant, working, p2Pairs, groups);
    if (!conflicts.any()) break;
    DES refined = refineWithoutConflicts(working, p2, conflicts, isNull);
    freeDES(p2);
    trimDES(refined);
    minimizeDES(refined, minimizer);
    working = std::move(refined);
  }
  clearReached(working);
  result = std::move(working);
  return true;
}

} // namespace kav
