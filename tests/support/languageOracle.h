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
#include <vector>

#include "model/des.h"
#include "model/sortedlists.h"

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

// Same closed and marked behaviour of two deterministic DES: walking both
// from their initial states, every pair of states reached offers the same
// events and agrees on marking.
inline bool sameBehaviour(const DES& a, const DES& b) {
  if (a.empty() || b.empty()) return a.empty() == b.empty();
  std::set<std::pair<std::int64_t, std::int64_t>> seen{{0, 0}};
  std::vector<std::pair<std::int64_t, std::int64_t>> work{{0, 0}};
  while (!work.empty()) {
    const auto [x, y] = work.back();
    work.pop_back();
    if (a[x].marked != b[y].marked || a[x].transitionCount != b[y].transitionCount) return false;
    for (std::uint32_t k = 0; k < a[x].transitionCount; ++k) {
      const Transition& t = a[x].transitions[k];
      const Transition& u = b[y].transitions[k];
      if (t.event != u.event) return false;
      if (seen.insert({t.target, u.target}).second) work.push_back({t.target, u.target});
    }
  }
  return true;
}

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

} // namespace kav::test
