#pragma once

// A plain reference for the tests of languages: words enumerated up to a
// bounded length over small DES, their projections, and the conditions of
// observability, normality and controllability checked word by word.
// Nothing here uses a library algorithm beyond reading the transition
// lists.

#include <algorithm>
#include <cstdint>
#include <map>
#include <set>
#include <tuple>
#include <vector>

#include "model/des.h"
#include "model/sortedlists.h"
#include "support/testSupport.h"

namespace kav::test {

using Word = std::vector<std::uint16_t>;

// The state a deterministic DES is in after the word, -1 when it cannot
// execute it (or is empty).
inline std::int64_t runWord(const DES& des, const Word& word) {
  if (des.empty()) return -1;
  std::int64_t state = 0;
  for (std::uint16_t e : word) {
    std::int64_t next = -1;
    for (const Transition& t : transitionsOf(des[state]))
      if (t.event == e) {
        next = t.target;
        break;
      }
    if (next < 0) return -1;
    state = next;
  }
  return state;
}

inline bool inClosed(const DES& des, const Word& word) { return runWord(des, word) >= 0; }
inline bool inMarked(const DES& des, const Word& word) {
  const std::int64_t s = runWord(des, word);
  return s >= 0 && des[s].marked;
}

// The closed and the marked words of any DES up to maxLength.
struct Languages {
  std::set<Word> closed, marked;
  bool operator==(const Languages&) const = default;
};
inline Languages languagesOf(const DES& des, std::size_t maxLength) {
  Languages result;
  std::vector<std::pair<std::int64_t, Word>> todo;
  if (!des.empty()) todo.push_back({0, {}});
  while (!todo.empty()) {
    const auto [s, w] = todo.back();
    todo.pop_back();
    result.closed.insert(w);
    if (des[s].marked) result.marked.insert(w);
    if (w.size() == maxLength) continue;
    for (const Transition& t : transitionsOf(des[s])) {
      Word longer = w;
      longer.push_back(t.event);
      todo.push_back({t.target, longer});
    }
  }
  return result;
}

// Walks the pairs (s, t) of states of `small` and `big` reached by the same
// words; calls visit on each. Both deterministic and not empty.
template <typename Visit>
void walkPairs(const DES& small, const DES& big, Visit visit) {
  std::set<std::pair<std::int64_t, std::int64_t>> seen{{0, 0}};
  std::vector<std::pair<std::int64_t, std::int64_t>> todo{{0, 0}};
  while (!todo.empty()) {
    const auto [s, t] = todo.back();
    todo.pop_back();
    visit(s, t);
    for (const Transition& a : transitionsOf(small[s]))
      for (const Transition& b : transitionsOf(big[t]))
        if (a.event == b.event && seen.insert({a.target, b.target}).second) todo.emplace_back(a.target, b.target);
  }
}

// Whether the closed and marked behaviour of deterministic `small` lies in
// that of deterministic `big`.
inline bool contained(const DES& small, const DES& big) {
  if (small.empty() || big.empty()) return small.empty();
  bool ok = true;
  walkPairs(small, big, [&](std::int64_t s, std::int64_t t) {
    if (small[s].marked && !big[t].marked) ok = false;
    for (const Transition& a : transitionsOf(small[s])) {
      bool offered = false;
      for (const Transition& b : transitionsOf(big[t])) offered = offered || b.event == a.event;
      ok = ok && offered;
    }
  });
  return ok;
}
inline bool sameBehaviour(const DES& a, const DES& b) { return contained(a, b) && contained(b, a); }

// Every word over `alphabet` of length at most maxLength, shortest first.
inline std::vector<Word> allWords(const EventList& alphabet, int maxLength) {
  std::vector<Word> words{{}};
  for (std::size_t from = 0, length = 0; length < static_cast<std::size_t>(maxLength); ++length) {
    const std::size_t to = words.size();
    for (std::size_t i = from; i < to; ++i)
      for (std::uint16_t e : alphabet) {
        Word w = words[i];
        w.push_back(e);
        words.push_back(w);
      }
    from = to;
  }
  return words;
}

// The words of the closed behaviour of des up to maxLength.
inline std::vector<Word> wordsOf(const DES& des, int maxLength) {
  std::vector<Word> words;
  if (des.empty()) return words;
  std::vector<std::pair<Word, std::int64_t>> layer{{{}, 0}};
  for (int length = 0; length <= maxLength && !layer.empty(); ++length) {
    std::vector<std::pair<Word, std::int64_t>> next;
    for (const auto& [w, s] : layer) {
      words.push_back(w);
      std::set<std::uint16_t> seen;
      for (const Transition& t : transitionsOf(des[s])) {
        if (!seen.insert(t.event).second) continue;
        Word longer = w;
        longer.push_back(t.event);
        next.emplace_back(longer, t.target);
      }
    }
    layer.swap(next);
  }
  return words;
}

inline Word projectWord(const Word& word, const EventList& nullLabels) {
  Word out;
  for (std::uint16_t e : word)
    if (!findEvent(nullLabels, e)) out.push_back(e);
  return out;
}

inline EventList labelsOf(const DES& des) {
  EventList labels;
  collectEvents(des, labels);
  return labels;
}

inline EventList unionOf(EventList a, const EventList& b) {
  for (std::uint16_t e : b) insertEvent(a, e);
  return a;
}

// Words grouped by projection.
inline std::map<Word, std::vector<Word>> byProjection(const std::vector<Word>& words, const EventList& nullLabels) {
  std::map<Word, std::vector<Word>> groups;
  for (const Word& w : words) groups[projectWord(w, nullLabels)].push_back(w);
  return groups;
}

// Whether every marked word of `small` up to maxLength is marked by `large`,
// and every word of its closed behaviour is one of `large`'s.
inline bool containedUpTo(const DES& small, const DES& large, int maxLength) {
  for (const Word& w : wordsOf(small, maxLength)) {
    if (!inClosed(large, w)) return false;
    if (inMarked(small, w) && !inMarked(large, w)) return false;
  }
  return true;
}

// States reached from state 0, and states that reach a marked one: both
// by fixpoint iteration.
inline std::vector<bool> reachableStates(const DES& des) {
  std::vector<bool> reach(des.states.size(), false);
  if (des.empty()) return reach;
  reach[0] = true;
  for (bool changed = true; changed;) {
    changed = false;
    for (std::int64_t s = 0; s < des.size(); ++s)
      for (const Transition& t : transitionsOf(des[s]))
        if (reach[s] && !reach[t.target]) reach[t.target] = changed = true;
  }
  return reach;
}
inline std::vector<bool> coreachableStates(const DES& des) {
  std::vector<bool> co(des.states.size(), false);
  for (std::int64_t s = 0; s < des.size(); ++s) co[s] = des[s].marked;
  for (bool changed = true; changed;) {
    changed = false;
    for (std::int64_t s = 0; s < des.size(); ++s)
      for (const Transition& t : transitionsOf(des[s]))
        if (co[t.target] && !co[s]) co[s] = changed = true;
  }
  return co;
}
// The states a trim keeps: reached and coreached.
inline std::vector<bool> liveStates(const DES& des) {
  std::vector<bool> live = reachableStates(des);
  const std::vector<bool> co = coreachableStates(des);
  for (std::size_t s = 0; s < live.size(); ++s) live[s] = live[s] && co[s];
  return live;
}

// Synchronous product, breadth-first over tuples of component states,
// labels of `labels` ascending; a component whose own labels lack the label
// stays put. Deterministic components only.
inline DES referenceSync(const std::vector<const DES*>& parts, const EventList& labels) {
  for (const DES* p : parts)
    if (p->empty()) return DES{};
  std::vector<EventList> uses;
  for (const DES* p : parts) uses.push_back(labelsOf(*p));
  std::map<std::vector<std::int64_t>, std::int64_t> number;
  std::vector<std::vector<std::int64_t>> tuples{std::vector<std::int64_t>(parts.size(), 0)};
  number[tuples[0]] = 0;
  std::vector<Edge> edges;
  std::vector<std::int64_t> marked;
  for (std::size_t k = 0; k < tuples.size(); ++k) {
    const std::vector<std::int64_t> from = tuples[k];
    bool allMarked = true;
    for (std::size_t i = 0; i < parts.size(); ++i) allMarked = allMarked && (*parts[i])[from[i]].marked;
    if (allMarked) marked.push_back(static_cast<std::int64_t>(k));
    for (std::uint16_t e : labels) {
      std::vector<std::int64_t> to = from;
      bool possible = true;
      for (std::size_t i = 0; i < parts.size() && possible; ++i) {
        if (!findEvent(uses[i], e)) continue;
        possible = false;
        for (const Transition& t : transitionsOf((*parts[i])[from[i]]))
          if (t.event == e) to[i] = t.target, possible = true;
      }
      if (!possible) continue;
      auto [it, added] = number.emplace(to, static_cast<std::int64_t>(tuples.size()));
      if (added) tuples.push_back(to);
      edges.push_back({static_cast<std::int64_t>(k), e, it->second});
    }
  }
  return makeDES(static_cast<std::int64_t>(tuples.size()), edges, marked);
}
// The meet: the product over the labels both share.
inline DES referenceMeet(const DES& a, const DES& b) {
  EventList common;
  for (std::uint16_t e : labelsOf(a))
    if (findEvent(labelsOf(b), e)) common.push_back(e);
  return referenceSync({&a, &b}, common);
}

// Equivalence classes by the naive fixpoint: classes start from (marked,
// vocal, transition count) and are refined by the set of (label, class of
// target) of each state until their number stays.
inline std::vector<std::int64_t> referenceClasses(const DES& d) {
  const std::size_t n = d.states.size();
  std::vector<std::int64_t> cls(n);
  std::map<std::tuple<int, int, int>, std::int64_t> first;
  for (std::size_t s = 0; s < n; ++s) {
    const StateRecord& r = d.states[s];
    cls[s] = first.emplace(std::tuple{int(r.marked), int(r.vocal), int(r.transitionCount)}, first.size()).first->second;
  }
  for (std::size_t count = first.size();;) {
    std::map<std::pair<std::int64_t, std::set<std::pair<int, std::int64_t>>>, std::int64_t> next;
    std::vector<std::int64_t> refined(n);
    for (std::size_t s = 0; s < n; ++s) {
      std::set<std::pair<int, std::int64_t>> moves;
      for (const Transition& t : transitionsOf(d.states[s])) moves.emplace(t.event, cls[t.target]);
      refined[s] = next.emplace(std::pair{cls[s], moves}, next.size()).first->second;
    }
    cls = refined;
    if (next.size() == count) break;
    count = next.size();
  }
  // Number the classes by their smallest member.
  std::map<std::int64_t, std::int64_t> number;
  for (std::int64_t& c : cls) c = number.emplace(c, number.size()).first->second;
  return cls;
}

} // namespace kav::test
