#pragma once

// The in-memory discrete-event system: states 0..size-1, initial state 0,
// marker states, optional vocal outputs and labelled transitions kept in
// per-state arrays sorted by (event, target).

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "model/sortedlists.h"

namespace kav {

// Ordinary labels are 0..999: odd controllable, even uncontrollable.
inline constexpr std::uint16_t MAX_ORDINARY_LABEL = 999;
// The silent event, printed "e"; even, so it counts as uncontrollable.
inline constexpr std::uint16_t EPSILON_LABEL = 1000;
// A state stores its transition count in 16 bits, in memory and in files.
inline constexpr std::uint32_t MAX_TRANSITIONS_PER_STATE = 65535;
// Transition targets are held in 48 bits; no DES that fits in memory comes
// near this many states.
inline constexpr std::int64_t MAX_STATES = (std::int64_t{1} << 47) - 1;

// One outgoing transition. Eight bytes: the target in the low 48 bits and
// the label in the top 16, so arrays of transitions stay compact.
struct Transition {
  std::int64_t target : 48; // 0..size-1
  std::uint16_t event;      // 0..999, EPSILON_LABEL, or an internal label
};
static_assert(sizeof(Transition) == 8);

inline Transition makeTransition(std::uint16_t event, std::int64_t target) {
  Transition t;
  t.target = target;
  t.event = event;
  return t;
}

inline bool operator==(const Transition& a, const Transition& b) {
  return a.event == b.event && a.target == b.target;
}
// The order of every transition list: by event, then by target.
inline bool operator<(const Transition& a, const Transition& b) {
  if (a.event != b.event) return a.event < b.event;
  return a.target < b.target;
}

// One state. Sixteen bytes.
struct StateRecord {
  std::unique_ptr<Transition[]> transitions; // exactly transitionCount entries, sorted, no duplicates; null when empty
  std::uint16_t transitionCount = 0;         // <= MAX_TRANSITIONS_PER_STATE
  std::uint16_t marked : 1 = 0;              // marker (final) state
  std::uint16_t reached : 1 = 0;             // working flag of the reachability searches
  std::uint16_t coreached : 1 = 0;           // working flag of the coreachability search
  std::int16_t vocal : 13 = 0;               // vocal output, 0 = none; accepted outputs 10..99
};
static_assert(sizeof(StateRecord) == 16);

inline std::span<Transition> transitionsOf(StateRecord& s) {
  return {s.transitions.get(), s.transitionCount};
}
inline std::span<const Transition> transitionsOf(const StateRecord& s) {
  return {s.transitions.get(), s.transitionCount};
}

// A DES is its state array; the state count is its length.
struct DES {
  std::vector<StateRecord> states; // index = state number; state 0 is initial

  std::int64_t size() const { return static_cast<std::int64_t>(states.size()); }
  bool empty() const { return states.empty(); }
  StateRecord& operator[](std::int64_t s) { return states[static_cast<std::size_t>(s)]; }
  const StateRecord& operator[](std::int64_t s) const { return states[static_cast<std::size_t>(s)]; }
};

// --- Creation and release ---------------------------------------------------

// A DES of count all-zero states.
DES allocStates(std::int64_t count);
// Grows or shrinks to newSize states; new states are all-zero.
void resizeStates(DES& des, std::int64_t newSize);
// Releases every state and transition array.
void freeDES(DES& des);
// Deep copy; every transition list of the copy is sorted and duplicate-free
// even if the source's is not. Flags and vocal outputs are copied.
DES copyDES(const DES& source);

// --- Transition lists -------------------------------------------------------

// The transition limit is a result, never a side effect: every function
// here that could give a state more than MAX_TRANSITIONS_PER_STATE
// transitions leaves the state as it was and answers so, and the callers
// pass that on up to the procedure, which answers it as its result code.

// Inserts (event, target) at its sorted place. Returns true when inserted,
// false when the pair was present already or the state is full. A caller
// that can meet a full state asks wouldExceedLimit first; the others (one
// transition per label, labels below 1024) cannot.
// Cost: O(log d + d) for d transitions.
bool insertTransition(StateRecord& state, std::uint16_t event, std::int64_t target);
// True when the state is full and (event, target) is not among its
// transitions, so that inserting it would exceed the limit. O(log d).
[[nodiscard]] bool wouldExceedLimit(const StateRecord& state, std::uint16_t event, std::int64_t target);
// Removes (event, target). Returns true when it was present.
bool deleteTransition(StateRecord& state, std::uint16_t event, std::int64_t target);
// Replaces the state's transitions by `list`, which is sorted and stripped
// of duplicates in place. One allocation. Returns false, leaving the state
// unchanged, when more than MAX_TRANSITIONS_PER_STATE distinct transitions
// remain.
[[nodiscard]] bool assignTransitions(StateRecord& state, std::vector<Transition>& list);
// assignTransitions for a list the caller knows to fit: no longer than a
// list the state or another state held, or at most one transition per
// label. The caller says why at the call; the fit is asserted.
void assignFittingTransitions(StateRecord& state, std::vector<Transition>& list);
// The index of the first transition with this event, or the count when
// there is none. Binary search.
std::uint32_t findEventIndex(const StateRecord& state, std::uint16_t event);
bool hasEvent(const StateRecord& state, std::uint16_t event);

// --- Whole-DES operations ---------------------------------------------------

// For source states i = 0, 1, ...: target[map[i]] takes the marked bit and
// the vocal output of i (the last state sent there wins) and the union of
// the transitions of all states sent there, targets translated by map.
// `target` must already have enough states. Returns false when a merged
// state would exceed the transition limit (that state is left as it was).
[[nodiscard]] bool recodeDES(const DES& source, DES& target, std::span<const std::int64_t> map);

std::int64_t countTransitions(const DES& des);
// True when no state has two transitions with one label. A target outside
// 0..size-1 is reported through `badTarget` (set to it) and answers false.
bool checkDeterministic(const DES& des, std::int64_t* badTarget = nullptr);
// Deterministic in the sense the procedures report: no state has two
// transitions with one label, and no transition is silent (EPSILON_LABEL).
bool isStrictlyDeterministic(const DES& des);
// True when every transition label is odd; true for a DES without transitions.
bool allEventsControllable(const DES& des);
// Every label that occurs on a transition, inserted into `out`.
void collectEvents(const DES& des, EventList& out);
// Every occurring label not in `excluded`, inserted into `out`.
void collectEventsExcept(const DES& des, const EventList& excluded, EventList& out);

// Every record invariant: lists sorted by (event, target) without
// duplicates, counts matching, null array exactly when empty, targets in
// 0..size-1. Used by the tests on every DES an operation produces.
bool isValidDES(const DES& des);

} // namespace kav
