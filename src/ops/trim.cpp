#include "ops/trim.h"

#include <algorithm>
#include <cassert>
#include <cstring>

#include "model/progress.h"

namespace kav {

namespace {

// Breadth-first search that reports every newly reached state to `onReach`
// in order of discovery. Each state enters the queue at most once, so a
// plain array with a head index serves as the queue; 32-bit entries when
// the state numbers fit halve its memory traffic. The visited marks live
// in a byte array during the search (a sixteenth of the state records, so
// it stays in cache) and are copied into the `reached` flags afterwards.
template <typename Index, typename OnReach>
void breadthFirstWith(std::int64_t start, DES& des, OnReach onReach) {
  std::vector<std::uint8_t> seen(des.states.size());
  for (std::size_t i = 0; i < seen.size(); ++i) seen[i] = des.states[i].reached;
  std::vector<Index> queue;
  queue.push_back(static_cast<Index>(start));
  std::int64_t counter = 0;
  for (std::size_t head = 0; head < queue.size(); ++head) {
    const StateRecord& s = des[static_cast<std::int64_t>(queue[head])];
    for (const Transition& t : transitionsOf(s)) {
      const auto target = static_cast<std::size_t>(t.target);
      if (seen[target]) continue;
      seen[target] = 1;
      queue.push_back(static_cast<Index>(target));
      onReach(static_cast<std::int64_t>(target));
      if (counter % 10000 == 0) reportProgressf("B_REACH: %ld", static_cast<long>(counter));
      ++counter;
    }
  }
  for (std::size_t i = 0; i < seen.size(); ++i) des.states[i].reached = seen[i];
}

template <typename OnReach>
void breadthFirst(std::int64_t start, DES& des, OnReach onReach) {
  if (des.size() <= static_cast<std::int64_t>(UINT32_MAX)) breadthFirstWith<std::uint32_t>(start, des, onReach);
  else breadthFirstWith<std::int64_t>(start, des, onReach);
}

// Deletes the transitions whose target is removed and renames the others;
// reallocates the list only when it shrank.
void remapTransitions(StateRecord& state, std::span<const std::int64_t> newIndex) {
  Transition* list = state.transitions.get();
  std::uint32_t kept = 0;
  for (std::uint32_t k = 0; k < state.transitionCount; ++k) {
    const std::int64_t target = newIndex[static_cast<std::size_t>(list[k].target)];
    if (target < 0) continue;
    list[kept] = list[k];
    list[kept].target = target;
    ++kept;
  }
  if (kept == state.transitionCount) return;
  if (kept == 0) {
    state.transitions.reset();
  } else {
    auto exact = std::make_unique_for_overwrite<Transition[]>(kept);
    std::memcpy(exact.get(), list, kept * sizeof(Transition));
    state.transitions = std::move(exact);
  }
  state.transitionCount = static_cast<std::uint16_t>(kept);
}

template <typename Index>
void markCoreachableWith(DES& des) {
  const std::size_t n = des.states.size();
  // Predecessors of every state in one array (counting sort by target).
  std::vector<Index> first(n + 1, 0);
  for (const StateRecord& s : des.states)
    for (const Transition& t : transitionsOf(s)) ++first[static_cast<std::size_t>(t.target) + 1];
  for (std::size_t k = 0; k < n; ++k) first[k + 1] += first[k];
  std::vector<Index> predecessors(static_cast<std::size_t>(first[n]));
  {
    std::vector<Index> fill(first.begin(), first.end() - 1);
    for (std::size_t i = 0; i < n; ++i)
      for (const Transition& t : transitionsOf(des.states[i]))
        predecessors[static_cast<std::size_t>(fill[static_cast<std::size_t>(t.target)]++)] = static_cast<Index>(i);
  }
  // Backwards breadth-first search from all marked states at once, with
  // the marks in a byte array as in the forward search.
  std::vector<std::uint8_t> coreached(n);
  std::vector<Index> queue;
  for (std::size_t i = 0; i < n; ++i) {
    coreached[i] = des.states[i].marked;
    if (coreached[i]) queue.push_back(static_cast<Index>(i));
  }
  std::int64_t steps = 0;
  for (std::size_t head = 0; head < queue.size(); ++head) {
    const auto v = static_cast<std::size_t>(queue[head]);
    for (Index p = first[v]; p < first[v + 1]; ++p) {
      const auto u = static_cast<std::size_t>(predecessors[static_cast<std::size_t>(p)]);
      if (++steps % 1000 == 0) reportProgressf("COREACH1: %ld", static_cast<long>(steps));
      if (coreached[u]) continue;
      coreached[u] = 1;
      queue.push_back(static_cast<Index>(u));
    }
  }
  for (std::size_t i = 0; i < n; ++i) des.states[i].coreached = coreached[i];
}

void clearReached(DES& des) {
  for (StateRecord& s : des.states) s.reached = 0;
}

// The new index of every survivor (reached, and coreached when asked),
// -1 for the others; returns the number of survivors.
std::int64_t survivorIndex(DES& des, bool needCoreached, std::vector<std::int64_t>& newIndex) {
  newIndex.assign(des.states.size(), -1);
  std::int64_t kept = 0;
  for (std::int64_t i = 0; i < des.size(); ++i) {
    StateRecord& s = des[i];
    const bool survives = s.reached && (!needCoreached || s.coreached);
    if (survives) newIndex[static_cast<std::size_t>(i)] = kept++;
    else s.reached = 0;
  }
  return kept;
}

void trimWith(DES& des, bool needCoreached, std::vector<std::int64_t>* pairs) {
  if (des.empty()) return;
  clearReached(des);
  des[0].reached = 1;
  markReachable(0, des);
  if (needCoreached) markCoreachable(des);
  std::vector<std::int64_t> newIndex;
  const std::int64_t kept = survivorIndex(des, needCoreached, newIndex);
  if (kept == des.size()) return;
  if (pairs) {
    for (std::size_t i = 0; i < newIndex.size(); ++i)
      if (newIndex[i] >= 0) (*pairs)[static_cast<std::size_t>(newIndex[i])] = (*pairs)[i];
    pairs->resize(static_cast<std::size_t>(kept));
    pairs->shrink_to_fit();
  }
  compactStates(des, newIndex);
}

} // namespace

void markReachable(std::int64_t start, DES& des) {
  if (des.empty()) return;
  breadthFirst(start, des, [](std::int64_t) {});
}

void markCoreachable(DES& des) {
  if (des.empty()) return;
  // Offsets count transitions, so both counts must fit 32 bits.
  const auto limit = static_cast<std::int64_t>(UINT32_MAX);
  if (des.size() <= limit && countTransitions(des) <= limit) markCoreachableWith<std::uint32_t>(des);
  else markCoreachableWith<std::int64_t>(des);
}

void compactStates(DES& des, std::span<const std::int64_t> newIndex) {
  std::int64_t kept = 0;
  for (std::int64_t i = 0; i < des.size(); ++i) {
    const std::int64_t to = newIndex[static_cast<std::size_t>(i)];
    StateRecord& s = des[i];
    if (to < 0) {
      s.transitions.reset();
      s.transitionCount = 0;
      continue;
    }
    assert(to <= i);
    remapTransitions(s, newIndex);
    if (to != i) des[to] = std::move(s);
    kept = to + 1;
  }
  resizeStates(des, kept);
  des.states.shrink_to_fit();
}

void trimDES(DES& des) { trimWith(des, true, nullptr); }

void reachDES(DES& des) { trimWith(des, false, nullptr); }

void trimDESWithPairs(DES& des, std::vector<std::int64_t>& pairs) { trimWith(des, true, &pairs); }

void bfsRecodeDES(DES& des, std::vector<std::int64_t>* recodeMap) {
  if (des.empty()) {
    if (recodeMap) recodeMap->clear();
    return;
  }
  std::vector<std::int64_t> map(des.states.size(), -1);
  clearReached(des);
  des[0].reached = 1;
  map[0] = 0;
  std::int64_t newSize = 1;
  breadthFirst(0, des, [&](std::int64_t t) { map[static_cast<std::size_t>(t)] = newSize++; });

  DES result = allocStates(newSize);
  for (std::int64_t i = 0; i < des.size(); ++i) {
    const std::int64_t to = map[static_cast<std::size_t>(i)];
    StateRecord& s = des[i];
    if (to < 0) continue;
    remapTransitions(s, map);
    // New numbers need not follow old ones: restore (event, target) order.
    auto list = transitionsOf(s);
    if (!std::is_sorted(list.begin(), list.end())) std::sort(list.begin(), list.end());
    StateRecord& r = result[to];
    r.marked = s.marked;
    r.vocal = s.vocal;
    r.transitionCount = s.transitionCount;
    r.transitions = std::move(s.transitions);
    s.transitionCount = 0;
  }
  des = std::move(result);
  if (recodeMap) *recodeMap = std::move(map);
}

} // namespace kav
