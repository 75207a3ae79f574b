#include "ops/transforms.h"

#include <algorithm>
#include <vector>

#include "model/progress.h"
#include "ops/project.h"

namespace kav {

bool selfloopWhereAbsent(DES& des, const EventList& labels) {
  if (labels.empty()) return true;
  bool fits = true;
  std::vector<Transition> list;
  for (std::int64_t s = 0; s < des.size(); ++s) {
    StateRecord& state = des[s];
    const auto old = transitionsOf(state);
    list.assign(old.begin(), old.end());
    // Both lists ascend by label: one merge finds the absent labels.
    std::size_t i = 0;
    for (std::uint16_t e : labels) {
      while (i < old.size() && old[i].event < e) ++i;
      if (i < old.size() && old[i].event == e) continue;
      list.push_back(makeTransition(e, s));
    }
    if (list.size() != old.size()) fits = assignTransitions(state, list) && fits;
  }
  return fits;
}

bool complementDES(DES& des, const EventList& extraLabels) {
  EventList sigma = extraLabels;
  collectEvents(des, sigma);
  const auto loopsOnSigma = [&sigma](std::int64_t state) {
    std::vector<Transition> loops;
    for (std::uint16_t e : sigma) loops.push_back(makeTransition(e, state));
    return loops;
  };
  if (des.empty()) {
    des = allocStates(1);
    des[0].marked = 1;
    std::vector<Transition> loops = loopsOnSigma(0);
    assignFittingTransitions(des[0], loops); // one loop per label
    return true;
  }
  const std::int64_t dump = des.size();
  bool dumpUsed = false, fits = true;
  std::vector<Transition> list;
  for (std::int64_t s = 0; s < dump; ++s) {
    StateRecord& state = des[s];
    state.marked = !state.marked;
    const auto old = transitionsOf(state);
    list.assign(old.begin(), old.end());
    std::size_t i = 0;
    for (std::uint16_t e : sigma) {
      while (i < old.size() && old[i].event < e) ++i;
      if (i < old.size() && old[i].event == e) continue;
      list.push_back(makeTransition(e, dump));
    }
    if (list.size() == old.size()) continue;
    if (!assignTransitions(state, list)) {
      fits = false;
      continue;
    }
    dumpUsed = true;
  }
  if (!dumpUsed) return fits;
  resizeStates(des, dump + 1);
  des[dump].marked = 1;
  std::vector<Transition> loops = loopsOnSigma(dump);
  assignFittingTransitions(des[dump], loops); // one loop per label
  return fits;
}

bool relabelDES(const DES& source, const StatePairList& pairs, DES& result, EventList& freshLabels) {
  // The pairs ascend by old label, then new: the first of each old label
  // is the one that applies.
  std::vector<std::int32_t> newLabel(65536, -1);
  for (const StatePair& p : pairs) {
    if (p.a < 0 || p.a > 65535 || p.b < 0 || p.b > 65535) continue;
    if (newLabel[static_cast<std::size_t>(p.a)] < 0) newLabel[static_cast<std::size_t>(p.a)] = static_cast<std::int32_t>(p.b);
  }
  DES out = allocStates(source.size());
  std::vector<Transition> list;
  for (std::int64_t s = 0; s < source.size(); ++s) {
    out[s].marked = source[s].marked;
    out[s].vocal = source[s].vocal;
    list.clear();
    for (const Transition& t : transitionsOf(source[s])) {
      const std::int32_t to = newLabel[t.event];
      list.push_back(makeTransition(to < 0 ? t.event : static_cast<std::uint16_t>(to), t.target));
    }
    // Relabelling maps each transition to one, so no list grows.
    assignFittingTransitions(out[s], list);
  }
  freshLabels.clear();
  const bool fixed = checkDeterministic(out) || fixSemiDeterminism(out, false, freshLabels);
  result = std::move(out);
  return fixed;
}

bool fixSemiDeterminism(DES& des, bool skipLabelZero, EventList& freshLabels) {
  std::vector<std::uint8_t> used(NULL_LABEL, 0);
  {
    EventList labels;
    collectEvents(des, labels);
    for (std::uint16_t e : labels)
      if (e < NULL_LABEL) used[e] = 1;
  }
  std::uint32_t counter = 0;
  const auto nextFresh = [&used, &counter](std::uint16_t& fresh) {
    while (counter < NULL_LABEL && used[counter]) ++counter;
    if (counter >= NULL_LABEL) return false;
    fresh = static_cast<std::uint16_t>(counter++);
    return true;
  };

  std::vector<Transition> list, copy;
  for (std::int64_t s = 0; s < des.size(); ++s) {
    reportProgressf("FIX_SEMI: %d %d", static_cast<int>(s), static_cast<int>(des.size()));
    const auto old = transitionsOf(des[s]);
    list.assign(old.begin(), old.end());
    bool changed = false;
    for (std::size_t j = 1; j < list.size();) {
      const std::uint16_t a = list[j].event;
      if (a != list[j - 1].event || (skipLabelZero && a == 0)) {
        ++j;
        continue;
      }
      std::uint16_t fresh;
      if (!nextFresh(fresh)) {
        if (changed) assignFittingTransitions(des[s], list);
        return false;
      }
      insertEvent(freshLabels, fresh);
      const std::int64_t n = des.size();
      copy.clear();
      for (const Transition& t : list)
        if (t.event != a) copy.push_back(t);
      copy.push_back(list[j]);
      list.erase(list.begin() + static_cast<std::ptrdiff_t>(j));
      const Transition link = makeTransition(fresh, n);
      const auto at = std::lower_bound(list.begin(), list.end(), link);
      const auto position = static_cast<std::size_t>(at - list.begin());
      list.insert(at, link);
      // A link inserted at or before j pushes the next candidate one on;
      // it never separates two transitions of one label, as its label is
      // used nowhere else.
      if (position <= j) ++j;
      // The list trades the duplicate for the link and the copy is part of
      // it, so neither is longer than s's list was.
      StateRecord& fresher = des.states.emplace_back();
      fresher.marked = des[s].marked;
      assignFittingTransitions(fresher, copy);
      changed = true;
    }
    if (changed) assignFittingTransitions(des[s], list);
  }
  return true;
}

DES allEventsDES(const EventList& labels) {
  DES des = allocStates(1);
  des[0].marked = 1;
  std::vector<Transition> loops;
  for (std::uint16_t e : labels) loops.push_back(makeTransition(e, 0));
  assignFittingTransitions(des[0], loops); // one loop per label
  return des;
}

} // namespace kav
