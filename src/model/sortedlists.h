#pragma once

// Ascending, duplicate-free lists searched by binary search: the label,
// state, pair, triple and quadruple sets that the algorithms use most.
// Each insert answers whether the element was new.

#include <algorithm>
#include <cstdint>
#include <vector>

namespace kav {

using EventList = std::vector<std::uint16_t>; // ascending labels
using StateList = std::vector<std::int64_t>;  // ascending state numbers

struct StatePair {
  std::int64_t a;
  std::int64_t b;
  friend auto operator<=>(const StatePair&, const StatePair&) = default;
};
using StatePairList = std::vector<StatePair>; // by a, then b

struct Triple {
  std::int64_t from;
  std::uint16_t event;
  std::int64_t to;
  friend auto operator<=>(const Triple&, const Triple&) = default;
};
using TripleList = std::vector<Triple>; // by from, event, to

struct Quadruple {
  std::int64_t from;
  std::uint16_t event;
  std::int64_t to;
  std::int16_t value;
  friend auto operator<=>(const Quadruple&, const Quadruple&) = default;
};
using QuadrupleList = std::vector<Quadruple>; // lexicographic

// Inserts value at its sorted place unless present. O(log n + n).
template <typename T>
bool insertSorted(std::vector<T>& list, const T& value) {
  auto it = std::lower_bound(list.begin(), list.end(), value);
  if (it != list.end() && !(value < *it)) return false;
  list.insert(it, value);
  return true;
}

template <typename T>
bool eraseSorted(std::vector<T>& list, const T& value) {
  auto it = std::lower_bound(list.begin(), list.end(), value);
  if (it == list.end() || value < *it) return false;
  list.erase(it);
  return true;
}

template <typename T>
bool containsSorted(const std::vector<T>& list, const T& value) {
  return std::binary_search(list.begin(), list.end(), value);
}

// Sorts and removes repetitions: the bulk form of repeated insertSorted.
template <typename T>
void normalizeSorted(std::vector<T>& list) {
  std::sort(list.begin(), list.end());
  list.erase(std::unique(list.begin(), list.end()), list.end());
}

inline bool insertEvent(EventList& list, std::uint16_t event) { return insertSorted(list, event); }
inline bool findEvent(const EventList& list, std::uint16_t event) { return containsSorted(list, event); }
inline bool insertState(StateList& list, std::int64_t state) { return insertSorted(list, state); }
inline bool findState(const StateList& list, std::int64_t state) { return containsSorted(list, state); }
inline bool insertStatePair(StatePairList& list, std::int64_t a, std::int64_t b) {
  return insertSorted(list, StatePair{a, b});
}
inline bool findStatePair(const StatePairList& list, std::int64_t a, std::int64_t b) {
  return containsSorted(list, StatePair{a, b});
}
inline bool insertTriple(TripleList& list, const Triple& t) { return insertSorted(list, t); }
inline bool insertQuadruple(QuadrupleList& list, const Quadruple& q) { return insertSorted(list, q); }

// A map from a state number to an ascending set of member states.
struct StateSetEntry {
  std::int64_t key;
  StateList members; // ascending, duplicate-free
};
using StateSetMap = std::vector<StateSetEntry>; // by key

// Inserts member into key's set, creating the entry at its sorted place
// when the key is new. Returns true when the member was new.
inline bool insertIntoStateSetMap(StateSetMap& map, std::int64_t key, std::int64_t member) {
  auto it = std::lower_bound(map.begin(), map.end(), key,
                             [](const StateSetEntry& e, std::int64_t k) { return e.key < k; });
  if (it == map.end() || it->key != key) it = map.insert(it, StateSetEntry{key, {}});
  return insertState(it->members, member);
}

inline const StateList* findStateSet(const StateSetMap& map, std::int64_t key) {
  auto it = std::lower_bound(map.begin(), map.end(), key,
                             [](const StateSetEntry& e, std::int64_t k) { return e.key < k; });
  return it != map.end() && it->key == key ? &it->members : nullptr;
}

} // namespace kav
