#include "synthesis/quasiCongruence.h"

#include <algorithm>
#include <span>
#include <tuple>

#include "model/progress.h"
#include "ops/project.h"

namespace kav {

namespace {

// Relations entries pack the observed event's index above the target, so
// that one sort orders them by event, then by target (targets fit 48 bits).
constexpr int TARGET_BITS = 48;
constexpr std::uint64_t TARGET_MASK = (std::uint64_t{1} << TARGET_BITS) - 1;
constexpr std::size_t LABEL_COUNT = 65536;

// How the labels of one DES split for a computation.
struct LabelSplit {
  std::vector<std::uint8_t> silent; // per label: 1 when it becomes a silent move in Q
  EventList image;                  // image labels that occur on the DES, ascending
};

LabelSplit splitLabels(const DES& des, const EventList& imageLabels) {
  LabelSplit split;
  split.silent.assign(LABEL_COUNT, 1);
  EventList used;
  collectEvents(des, used);
  for (std::uint16_t e : used)
    if (e != EPSILON_LABEL && findEvent(imageLabels, e)) {
      split.silent[e] = 0;
      split.image.push_back(e);
    }
  return split;
}

// Silent closures by depth-first search. A stamp per state marks the
// states taken by the current run, so a union of closures costs its size.
struct Closures {
  const DES& des;
  const std::vector<std::uint8_t>& silent;
  std::vector<std::uint8_t> hasSilent;      // per state: 1 when it has a silent move
  std::vector<std::uint64_t> stamp;         // per state: the run that last took it
  std::uint64_t run = 0;
  std::vector<std::int64_t> stack;

  Closures(const DES& d, const std::vector<std::uint8_t>& s)
      : des(d), silent(s), hasSilent(d.states.size(), 0), stamp(d.states.size(), 0) {
    for (std::size_t x = 0; x < d.states.size(); ++x)
      for (const Transition& t : transitionsOf(d.states[x]))
        if (silent[t.event]) {
          hasSilent[x] = 1;
          break;
        }
  }

  void begin(std::vector<std::int64_t>& out) {
    out.clear();
    ++run;
  }

  void add(std::int64_t start, std::vector<std::int64_t>& out) {
    if (stamp[static_cast<std::size_t>(start)] == run) return;
    stamp[static_cast<std::size_t>(start)] = run;
    out.push_back(start);
    if (!hasSilent[static_cast<std::size_t>(start)]) return;
    stack.push_back(start);
    while (!stack.empty()) {
      const std::int64_t v = stack.back();
      stack.pop_back();
      for (const Transition& t : transitionsOf(des[v])) {
        if (!silent[t.event]) continue;
        const auto u = static_cast<std::size_t>(t.target);
        if (stamp[u] == run) continue;
        stamp[u] = run;
        out.push_back(t.target);
        if (hasSilent[u]) stack.push_back(t.target);
      }
    }
  }
};

// The observable successor relations of every state: entries of state x
// are start[x] .. start[x + 1], each (event index << 48) | y, ascending.
// Event indexes: the image labels in ascending order, then MARKER_EVENT,
// then (strong) EPSILON_LABEL.
struct Relations {
  std::vector<std::int64_t> start;
  std::vector<std::uint64_t> entries;
};

Relations buildRelations(const DES& des, const LabelSplit& split, bool strong) {
  const std::int64_t n = des.size();
  std::vector<std::uint64_t> indexOf(LABEL_COUNT, 0);
  for (std::size_t k = 0; k < split.image.size(); ++k) indexOf[split.image[k]] = k;
  const std::uint64_t markerIndex = split.image.size();
  const std::uint64_t silentIndex = markerIndex + 1;
  const long eventCount = static_cast<long>(split.image.size()) + (strong ? 2 : 1);
  reportProgressf("ETA: %ld %d", eventCount, static_cast<int>(n));

  Relations rel;
  rel.start.reserve(static_cast<std::size_t>(n) + 1);
  rel.start.push_back(0);
  Closures closures(des, split.silent);
  std::vector<std::int64_t> reach, set;
  std::vector<Transition> moves;
  const auto append = [&rel](std::uint64_t index, std::vector<std::int64_t>& targets) {
    std::sort(targets.begin(), targets.end());
    for (std::int64_t y : targets) rel.entries.push_back(index << TARGET_BITS | static_cast<std::uint64_t>(y));
  };
  for (std::int64_t x = 0; x < n; ++x) {
    if (x % 10000 == 0 && x > 0) reportProgressf("ETA: %ld %d", eventCount, static_cast<int>(x));
    closures.begin(reach);
    closures.add(x, reach);
    moves.clear();
    bool anyMarked = false;
    for (std::int64_t y : reach) {
      anyMarked = anyMarked || des[y].marked;
      for (const Transition& t : transitionsOf(des[y]))
        if (!split.silent[t.event]) moves.push_back(t);
    }
    if (reach.size() > 1) std::sort(moves.begin(), moves.end());
    for (std::size_t i = 0; i < moves.size();) {
      const std::uint16_t label = moves[i].event;
      closures.begin(set);
      for (; i < moves.size() && moves[i].event == label; ++i) closures.add(moves[i].target, set);
      append(indexOf[label], set);
    }
    if (anyMarked) {
      // The silent closure of the marked states among reach lies in reach.
      closures.begin(set);
      for (std::int64_t y : reach)
        if (des[y].marked) closures.add(y, set);
      append(markerIndex, set);
    }
    if (strong) append(silentIndex, reach);
    rel.start.push_back(static_cast<std::int64_t>(rel.entries.size()));
  }
  return rel;
}

std::uint64_t hashSignature(std::int64_t cell, std::span<const std::uint64_t> signature) {
  std::uint64_t h = 0x9E3779B97F4A7C15ull ^ static_cast<std::uint64_t>(cell);
  for (std::uint64_t v : signature) {
    h ^= v + 0x632BE59BD9B4E019ull + (h << 6) + (h >> 2);
    h *= 0xff51afd7ed558ccdull;
  }
  h ^= h >> 33;
  return h;
}

// One pass of signature refinement. With `initial`, a signature is the set
// of observed events with a nonempty relation (the events that can occur
// after silent moves); otherwise the set of (event, cell of target). The
// next partition groups states with equal old cell and equal signature;
// scanning states in ascending order numbers every new cell by its
// smallest member. Returns the new cell count.
struct Refiner {
  std::vector<std::int64_t> slots;       // group number, -1 free; a power of two
  std::vector<std::uint64_t> hashes;     // per group
  std::vector<std::int64_t> oldCell;     // per group
  std::vector<std::size_t> signatureAt;  // per group: offset into arena, then length follows
  std::vector<std::uint64_t> arena;      // signatures of the groups' first members
  std::vector<std::uint64_t> signature;
  std::vector<std::int64_t> next;

  std::int64_t pass(const Relations& rel, std::vector<std::int64_t>& cell, bool initial) {
    const std::size_t n = cell.size();
    std::size_t size = 16;
    while (size < 2 * n) size *= 2;
    slots.assign(size, -1);
    const std::size_t mask = size - 1;
    hashes.clear();
    oldCell.clear();
    signatureAt.clear();
    arena.clear();
    next.resize(n);
    for (std::size_t x = 0; x < n; ++x) {
      signature.clear();
      const auto from = static_cast<std::size_t>(rel.start[x]), to = static_cast<std::size_t>(rel.start[x + 1]);
      if (initial) {
        for (std::size_t i = from; i < to; ++i) {
          const std::uint64_t index = rel.entries[i] >> TARGET_BITS;
          if (signature.empty() || signature.back() != index) signature.push_back(index);
        }
      } else {
        for (std::size_t i = from; i < to; ++i) {
          const std::uint64_t entry = rel.entries[i];
          const auto target = static_cast<std::size_t>(entry & TARGET_MASK);
          signature.push_back((entry & ~TARGET_MASK) | static_cast<std::uint64_t>(cell[target]));
        }
        std::sort(signature.begin(), signature.end());
        signature.erase(std::unique(signature.begin(), signature.end()), signature.end());
      }
      const std::uint64_t h = hashSignature(cell[x], signature);
      std::size_t slot = h & mask;
      std::int64_t group = -1;
      for (; slots[slot] >= 0; slot = (slot + 1) & mask) {
        const auto g = static_cast<std::size_t>(slots[slot]);
        if (hashes[g] != h || oldCell[g] != cell[x]) continue;
        const std::size_t at = signatureAt[g];
        const auto length = static_cast<std::size_t>(arena[at]);
        if (length == signature.size() && std::equal(signature.begin(), signature.end(), arena.begin() + static_cast<std::ptrdiff_t>(at) + 1)) {
          group = slots[slot];
          break;
        }
      }
      if (group < 0) {
        group = static_cast<std::int64_t>(hashes.size());
        slots[slot] = group;
        hashes.push_back(h);
        oldCell.push_back(cell[x]);
        signatureAt.push_back(arena.size());
        arena.push_back(signature.size());
        arena.insert(arena.end(), signature.begin(), signature.end());
      }
      next[x] = group;
    }
    cell.swap(next);
    return static_cast<std::int64_t>(hashes.size());
  }
};

// The supremal (strong) quasi-congruence as a cell number per state.
std::int64_t computePartition(const DES& des, const LabelSplit& split, bool strong, std::vector<std::int64_t>& cell,
                              QuasiCongruenceReport* report) {
  Relations rel = buildRelations(des, split, strong);
  cell.assign(des.states.size(), 0);
  Refiner refiner;
  std::int64_t count = refiner.pass(rel, cell, true);
  int passes = 0;
  for (;;) {
    ++passes;
    const std::int64_t refined = refiner.pass(rel, cell, false);
    if (refined == count) break;
    count = refined;
  }
  if (report) {
    report->passes = passes;
    report->relationSize = static_cast<std::int64_t>(rel.entries.size());
    report->cells = count;
  }
  return count;
}

// The quotient of Q by the partition (see supqcDES).
bool buildQuotient(const DES& des, const std::vector<std::uint8_t>& silent, const std::vector<std::int64_t>& cell,
                   std::int64_t count, DES& quotient) {
  quotient = allocStates(count);
  std::vector<std::int64_t> start(static_cast<std::size_t>(count) + 1, 0);
  const auto kept = [&](std::int64_t x, const Transition& t) {
    return !silent[t.event] || cell[static_cast<std::size_t>(x)] != cell[static_cast<std::size_t>(t.target)];
  };
  for (std::int64_t x = 0; x < des.size(); ++x) {
    const std::int64_t c = cell[static_cast<std::size_t>(x)];
    if (des[x].marked) quotient[c].marked = 1;
    for (const Transition& t : transitionsOf(des[x]))
      if (kept(x, t)) ++start[static_cast<std::size_t>(c) + 1];
  }
  for (std::size_t c = 0; c < static_cast<std::size_t>(count); ++c) start[c + 1] += start[c];
  std::vector<Transition> moves(static_cast<std::size_t>(start.back()));
  std::vector<std::int64_t> fill(start.begin(), start.end() - 1);
  for (std::int64_t x = 0; x < des.size(); ++x) {
    const auto c = static_cast<std::size_t>(cell[static_cast<std::size_t>(x)]);
    for (const Transition& t : transitionsOf(des[x])) {
      if (!kept(x, t)) continue;
      Transition q;
      q.event = silent[t.event] ? EPSILON_LABEL : t.event;
      q.target = cell[static_cast<std::size_t>(t.target)];
      moves[static_cast<std::size_t>(fill[c]++)] = q;
    }
  }
  bool ok = true;
  std::vector<Transition> list;
  for (std::size_t c = 0; c < static_cast<std::size_t>(count); ++c) {
    list.assign(moves.begin() + start[c], moves.begin() + start[c + 1]);
    if (!list.empty() && !assignTransitions(quotient[static_cast<std::int64_t>(c)], list)) ok = false;
  }
  return ok;
}

// supqcDES with the cell of every state instead of its representative;
// cell is empty when there is no partition.
bool quasiCongruenceQuotient(const DES& des, const EventList& imageLabels, bool strong, DES& quotient,
                             std::vector<std::int64_t>& cell, QuasiCongruenceReport* report) {
  cell.clear();
  if (report) *report = {};
  if (des.empty()) {
    quotient = DES{};
    return true;
  }
  const LabelSplit split = splitLabels(des, imageLabels);
  if (split.image.empty()) {
    quotient = allocStates(1);
    quotient[0].marked = des[0].marked;
    if (report) report->cells = 1;
    return true;
  }
  const std::int64_t count = computePartition(des, split, strong, cell, report);
  return buildQuotient(des, split.silent, cell, count, quotient);
}

} // namespace

bool supqcDES(const DES& des, const EventList& imageLabels, bool strong, DES& quotient,
              std::vector<std::int64_t>& representative, QuasiCongruenceReport* report) {
  std::vector<std::int64_t> cell;
  const bool ok = quasiCongruenceQuotient(des, imageLabels, strong, quotient, cell, report);
  // Cells are numbered by their smallest member, so the first state met
  // in each cell is its representative.
  std::vector<std::int64_t> first(static_cast<std::size_t>(quotient.size()), -1);
  representative.assign(cell.size(), 0);
  for (std::size_t x = 0; x < cell.size(); ++x) {
    auto& f = first[static_cast<std::size_t>(cell[x])];
    if (f < 0) f = static_cast<std::int64_t>(x);
    representative[x] = f;
  }
  return ok;
}


namespace {

// What one nondeterministic quotient state asks of the next image set: all
// of `labels` (a silent move between two cells goes only when every label
// that makes it is observed), or one of them (a fork inside a cell).
struct Requirement {
  bool all;
  EventList labels; // ascending, nonempty
};

// The requirements of one natural-observer iteration.
std::vector<Requirement> collectRequirements(const DES& des, const EventList& image, const DES& quotient,
                                            const std::vector<std::int64_t>& cell) {
  std::vector<std::uint8_t> isNull(LABEL_COUNT, 0);
  {
    EventList used;
    collectEvents(des, used);
    for (std::uint16_t e : used)
      if (e != EPSILON_LABEL && !findEvent(image, e)) isNull[e] = 1;
  }
  std::vector<std::uint8_t> forked(static_cast<std::size_t>(quotient.size()), 0);
  for (std::int64_t c = 0; c < quotient.size(); ++c) {
    const auto list = transitionsOf(quotient[c]);
    for (std::size_t k = 1; k < list.size(); ++k)
      if (list[k].event != EPSILON_LABEL && list[k - 1].event == list[k].event) forked[static_cast<std::size_t>(c)] = 1;
  }
  // Silent moves between cells, (from cell, to cell, label), and the cell
  // pairs that the silent label itself joins (no image set resolves them).
  std::vector<std::tuple<std::int64_t, std::int64_t, std::uint16_t>> crossing;
  StatePairList fixedPairs;
  // Silent moves between two different states of a forked cell.
  std::vector<std::pair<std::int64_t, std::uint16_t>> inside;
  for (std::int64_t x = 0; x < des.size(); ++x) {
    const std::int64_t c = cell[static_cast<std::size_t>(x)];
    for (const Transition& t : transitionsOf(des[x])) {
      const std::int64_t d = cell[static_cast<std::size_t>(t.target)];
      if (t.event == EPSILON_LABEL && c != d) fixedPairs.push_back({c, d});
      if (!isNull[t.event]) continue;
      if (c != d) crossing.emplace_back(c, d, t.event);
      else if (forked[static_cast<std::size_t>(c)] && t.target != x) inside.emplace_back(c, t.event);
    }
  }
  normalizeSorted(crossing);
  normalizeSorted(fixedPairs);
  normalizeSorted(inside);
  std::vector<Requirement> requirements;
  for (std::size_t i = 0; i < crossing.size();) {
    const auto [c, d, e] = crossing[i];
    Requirement r{true, {}};
    for (; i < crossing.size() && std::get<0>(crossing[i]) == c && std::get<1>(crossing[i]) == d; ++i)
      r.labels.push_back(std::get<2>(crossing[i]));
    if (!findStatePair(fixedPairs, c, d)) requirements.push_back(std::move(r));
  }
  for (std::size_t i = 0; i < inside.size();) {
    const std::int64_t c = inside[i].first;
    Requirement r{false, {}};
    for (; i < inside.size() && inside[i].first == c; ++i) r.labels.push_back(inside[i].second);
    requirements.push_back(std::move(r));
  }
  return requirements;
}

// The resolution step: all candidate labels, then each in ascending order
// dropped again when every requirement still holds without it.
EventList keepResolvingLabels(const std::vector<Requirement>& requirements) {
  EventList candidates, mandatory;
  std::vector<std::int64_t> keptOf(requirements.size());
  for (std::size_t r = 0; r < requirements.size(); ++r) {
    keptOf[r] = static_cast<std::int64_t>(requirements[r].labels.size());
    for (std::uint16_t e : requirements[r].labels) {
      insertEvent(candidates, e);
      if (requirements[r].all) insertEvent(mandatory, e);
    }
  }
  EventList kept;
  for (std::uint16_t e : candidates) {
    bool needed = findEvent(mandatory, e);
    for (std::size_t r = 0; r < requirements.size() && !needed; ++r)
      if (findEvent(requirements[r].labels, e) && keptOf[r] == 1) needed = true;
    if (needed) {
      kept.push_back(e);
      continue;
    }
    for (std::size_t r = 0; r < requirements.size(); ++r)
      if (findEvent(requirements[r].labels, e)) --keptOf[r];
  }
  return kept;
}

} // namespace

bool natobsDES(const DES& des, const EventList& seed, DES& observer, EventList& image, NatobsReport* report) {
  image = seed;
  normalizeSorted(image);
  if (report) *report = {};
  std::vector<std::int64_t> cell;
  for (;;) {
    if (report) ++report->iterations;
    if (!quasiCongruenceQuotient(des, image, false, observer, cell, nullptr)) return false;
    if (cell.empty() || isStrictlyDeterministic(observer)) return true;
    const auto requirements = collectRequirements(des, image, observer, cell);
    if (requirements.empty()) return true;
    for (std::uint16_t e : keepResolvingLabels(requirements)) insertEvent(image, e);
  }
}

bool uncertmodDES(const DES& des, const EventList& nullLabels, DES& result) {
  result = copyDES(des);
  std::vector<StateList> stateSets;
  projectWithStateSets(result, nullLabels, stateSets);
  bool ok = true;
  std::vector<Transition> list;
  for (std::int64_t c = 0; c < result.size(); ++c) {
    const auto current = transitionsOf(result[c]);
    list.assign(current.begin(), current.end());
    const std::size_t own = list.size();
    for (std::int64_t x : stateSets[static_cast<std::size_t>(c)])
      for (const Transition& t : transitionsOf(des[x]))
        if (findEvent(nullLabels, t.event)) {
          Transition loop;
          loop.event = t.event;
          loop.target = c;
          list.push_back(loop);
        }
    if (list.size() != own && !assignTransitions(result[c], list)) ok = false;
  }
  return ok;
}

} // namespace kav
