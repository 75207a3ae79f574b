#include "model/des.h"

#include <algorithm>
#include <cassert>
#include <cstring>

namespace kav {

namespace {

std::unique_ptr<Transition[]> newTransitionArray(std::size_t count) {
  return count == 0 ? nullptr : std::make_unique_for_overwrite<Transition[]>(count);
}

} // namespace

DES allocStates(std::int64_t count) {
  DES des;
  if (count > 0) des.states.resize(static_cast<std::size_t>(count));
  return des;
}

void resizeStates(DES& des, std::int64_t newSize) {
  des.states.resize(static_cast<std::size_t>(std::max<std::int64_t>(newSize, 0)));
}

void freeDES(DES& des) {
  std::vector<StateRecord>().swap(des.states);
}

DES copyDES(const DES& source) {
  DES copy = allocStates(source.size());
  std::vector<Transition> scratch;
  for (std::int64_t s = 0; s < source.size(); ++s) {
    const StateRecord& from = source[s];
    StateRecord& to = copy[s];
    to.marked = from.marked;
    to.reached = from.reached;
    to.coreached = from.coreached;
    to.vocal = from.vocal;
    auto list = transitionsOf(from);
    if (std::is_sorted(list.begin(), list.end()) &&
        std::adjacent_find(list.begin(), list.end()) == list.end()) {
      to.transitions = newTransitionArray(list.size());
      if (!list.empty()) std::memcpy(to.transitions.get(), list.data(), list.size() * sizeof(Transition));
      to.transitionCount = from.transitionCount;
    } else {
      scratch.assign(list.begin(), list.end());
      // Sorting and dropping repeats never lengthens a list.
      assignFittingTransitions(to, scratch);
    }
  }
  return copy;
}

bool insertTransition(StateRecord& state, std::uint16_t event, std::int64_t target) {
  const Transition entry = makeTransition(event, target);
  Transition* begin = state.transitions.get();
  Transition* end = begin + state.transitionCount;
  Transition* pos = std::lower_bound(begin, end, entry);
  if (pos != end && *pos == entry) return false;
  if (state.transitionCount == MAX_TRANSITIONS_PER_STATE) return false;
  const std::size_t index = static_cast<std::size_t>(pos - begin);
  const std::size_t count = state.transitionCount;
  auto grown = newTransitionArray(count + 1);
  if (index) std::memcpy(grown.get(), begin, index * sizeof(Transition));
  grown[index] = entry;
  if (count > index) std::memcpy(grown.get() + index + 1, begin + index, (count - index) * sizeof(Transition));
  state.transitions = std::move(grown);
  ++state.transitionCount;
  return true;
}

bool deleteTransition(StateRecord& state, std::uint16_t event, std::int64_t target) {
  const Transition entry = makeTransition(event, target);
  Transition* begin = state.transitions.get();
  Transition* end = begin + state.transitionCount;
  Transition* pos = std::lower_bound(begin, end, entry);
  if (pos == end || !(*pos == entry)) return false;
  const std::size_t index = static_cast<std::size_t>(pos - begin);
  const std::size_t count = state.transitionCount;
  auto shrunk = newTransitionArray(count - 1);
  if (index) std::memcpy(shrunk.get(), begin, index * sizeof(Transition));
  if (count > index + 1) std::memcpy(shrunk.get() + index, begin + index + 1, (count - index - 1) * sizeof(Transition));
  state.transitions = std::move(shrunk);
  --state.transitionCount;
  return true;
}

bool assignTransitions(StateRecord& state, std::vector<Transition>& list) {
  normalizeSorted(list);
  if (list.size() > MAX_TRANSITIONS_PER_STATE) return false;
  state.transitions = newTransitionArray(list.size());
  if (!list.empty()) std::memcpy(state.transitions.get(), list.data(), list.size() * sizeof(Transition));
  state.transitionCount = static_cast<std::uint16_t>(list.size());
  return true;
}

void assignFittingTransitions(StateRecord& state, std::vector<Transition>& list) {
  [[maybe_unused]] const bool fits = assignTransitions(state, list);
  assert(fits);
}

bool wouldExceedLimit(const StateRecord& state, std::uint16_t event, std::int64_t target) {
  if (state.transitionCount < MAX_TRANSITIONS_PER_STATE) return false;
  const auto list = transitionsOf(state);
  return !std::binary_search(list.begin(), list.end(), makeTransition(event, target));
}

std::uint32_t findEventIndex(const StateRecord& state, std::uint16_t event) {
  auto list = transitionsOf(state);
  auto it = std::lower_bound(list.begin(), list.end(), event,
                             [](const Transition& t, std::uint16_t e) { return t.event < e; });
  if (it == list.end() || it->event != event) return state.transitionCount;
  return static_cast<std::uint32_t>(it - list.begin());
}

bool hasEvent(const StateRecord& state, std::uint16_t event) {
  return findEventIndex(state, event) != state.transitionCount;
}

bool recodeDES(const DES& source, DES& target, std::span<const std::int64_t> map) {
  assert(map.size() >= source.states.size());
  // Gather the sources of every target state, so each merged list is built
  // and allocated once rather than by one insertion per transition.
  const std::size_t n = source.states.size();
  const std::size_t m = target.states.size();
  std::vector<std::int64_t> start(m + 1, 0);
  for (std::size_t i = 0; i < n; ++i) ++start[static_cast<std::size_t>(map[i]) + 1];
  for (std::size_t k = 0; k < m; ++k) start[k + 1] += start[k];
  std::vector<std::int64_t> members(n);
  {
    std::vector<std::int64_t> fill(start.begin(), start.end() - 1);
    for (std::size_t i = 0; i < n; ++i) members[static_cast<std::size_t>(fill[static_cast<std::size_t>(map[i])]++)] = static_cast<std::int64_t>(i);
  }
  bool ok = true;
  std::vector<Transition> scratch;
  for (std::size_t k = 0; k < m; ++k) {
    const std::int64_t first = start[k];
    const std::int64_t last = start[k + 1];
    if (first == last) continue;
    StateRecord& out = target.states[k];
    scratch.assign(transitionsOf(out).begin(), transitionsOf(out).end());
    for (std::int64_t p = first; p < last; ++p) {
      const StateRecord& in = source[members[static_cast<std::size_t>(p)]];
      out.marked = in.marked;
      out.vocal = in.vocal;
      for (const Transition& t : transitionsOf(in))
        scratch.push_back(makeTransition(t.event, map[static_cast<std::size_t>(t.target)]));
    }
    ok = assignTransitions(out, scratch) && ok;
  }
  return ok;
}

std::int64_t countTransitions(const DES& des) {
  std::int64_t total = 0;
  for (const StateRecord& s : des.states) total += s.transitionCount;
  return total;
}

bool checkDeterministic(const DES& des, std::int64_t* badTarget) {
  for (const StateRecord& s : des.states) {
    auto list = transitionsOf(s);
    for (std::size_t k = 0; k < list.size(); ++k) {
      if (list[k].target < 0 || list[k].target >= des.size()) {
        if (badTarget) *badTarget = list[k].target;
        return false;
      }
      if (k > 0 && list[k].event == list[k - 1].event) return false;
    }
  }
  return true;
}

bool isStrictlyDeterministic(const DES& des) {
  for (const StateRecord& s : des.states) {
    const auto list = transitionsOf(s);
    for (std::size_t k = 0; k < list.size(); ++k) {
      if (list[k].event == EPSILON_LABEL) return false;
      if (k > 0 && list[k - 1].event == list[k].event) return false;
    }
  }
  return true;
}

bool allEventsControllable(const DES& des) {
  for (const StateRecord& s : des.states)
    for (const Transition& t : transitionsOf(s))
      if (t.event % 2 == 0) return false;
  return true;
}

void collectEvents(const DES& des, EventList& out) {
  // A bitmap over all 16-bit labels, then one ordered merge into `out`.
  std::vector<bool> seen(65536, false);
  for (const StateRecord& s : des.states)
    for (const Transition& t : transitionsOf(s)) seen[t.event] = true;
  EventList found;
  for (std::uint32_t e = 0; e < 65536; ++e)
    if (seen[e]) found.push_back(static_cast<std::uint16_t>(e));
  if (out.empty()) {
    out = std::move(found);
    return;
  }
  EventList merged;
  std::set_union(out.begin(), out.end(), found.begin(), found.end(), std::back_inserter(merged));
  out = std::move(merged);
}

void collectEventsExcept(const DES& des, const EventList& excluded, EventList& out) {
  EventList all;
  collectEvents(des, all);
  for (std::uint16_t e : all)
    if (!findEvent(excluded, e)) insertEvent(out, e);
}

bool isValidDES(const DES& des) {
  for (const StateRecord& s : des.states) {
    if ((s.transitionCount == 0) != (s.transitions == nullptr)) return false;
    auto list = transitionsOf(s);
    for (std::size_t k = 0; k < list.size(); ++k) {
      if (list[k].target < 0 || list[k].target >= des.size()) return false;
      if (k > 0 && !(list[k - 1] < list[k])) return false;
    }
  }
  return true;
}

} // namespace kav
