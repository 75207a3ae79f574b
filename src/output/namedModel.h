#pragma once

// An automaton as the exchange formats of other DES tools write it: states
// and events go by name, events carry attributes, and a file may declare
// any number of initial states. The FSM and .gen readers fill this record;
// it becomes a DES once every event has a label.
//
// The record holds views into the file's text, which must outlive it.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "model/des.h"

namespace kav {

struct NamedEvent {
  std::string_view name;  // distinct within a model, never empty
  std::uint32_t line = 0; // where the event was first met
  bool controllable = false;
  bool observable = true;
  std::uint32_t controlConflict = 0; // a later line that gave the other controllability; 0 = none
  std::uint32_t observeConflict = 0; // a later line that gave the other observability; 0 = none
};

// A run of declared states in file order: one named state, or the integer
// states first..last (a single integer, or a consecutive range).
struct StateDeclaration {
  std::string_view name; // empty for integer states
  std::int64_t first = 0;
  std::int64_t last = 0; // >= first; first == last for a named state
  std::uint32_t line = 0;
};

// States are identified by their position: the order in which the file
// declares them, from 0.
struct NamedTransition {
  std::int64_t from;   // position
  std::uint32_t event; // index into events
  std::int64_t to;     // position
};

struct NamedModel {
  std::vector<StateDeclaration> declarations; // in file order
  std::vector<std::int64_t> declarationStart; // position of each declaration's first state, ascending
  std::int64_t stateCount = 0;                // positions 0..stateCount-1
  std::int64_t initial = -1;                  // position of the initial state; -1 = none
  std::vector<bool> marked;                   // by position; stateCount entries once the states are known
  std::vector<NamedEvent> events;             // in file order
  std::vector<NamedTransition> transitions;   // in file order, repetitions allowed
};

// --- Finding declared names ----------------------------------------------------
//
// A file of a million states looks a name up for every transition, so
// the index of names is a flat table with open addressing rather than a
// node-based map: a lookup touches one slot and the name it compares.
// Slots hold a name's hash and an item number; the names stay in the
// caller's records, reached through nameOf(item). At most half the slots
// are used.
struct NameTable {
  std::vector<std::uint64_t> hashes; // per slot; 0 = empty
  std::vector<std::int64_t> items;   // per slot
  std::size_t count = 0;             // used slots
};

std::uint64_t nameHash(std::string_view name);
// Doubles the table (or makes its first 16 slots).
void growNameTable(NameTable& table);

// The item named `name`, or -1.
template <typename NameOf> std::int64_t findName(const NameTable& table, std::string_view name, NameOf nameOf) {
  if (table.count == 0) return -1;
  const std::uint64_t hash = nameHash(name);
  const std::size_t mask = table.hashes.size() - 1;
  for (std::size_t slot = hash & mask;; slot = (slot + 1) & mask) {
    if (table.hashes[slot] == 0) return -1;
    if (table.hashes[slot] == hash && nameOf(table.items[slot]) == name) return table.items[slot];
  }
}

// Adds `item` under `name` and answers -1, or answers the item the name
// has already (and adds nothing).
template <typename NameOf>
std::int64_t addName(NameTable& table, std::string_view name, std::int64_t item, NameOf nameOf) {
  if (2 * (table.count + 1) > table.hashes.size()) growNameTable(table);
  const std::uint64_t hash = nameHash(name);
  const std::size_t mask = table.hashes.size() - 1;
  std::size_t slot = hash & mask;
  for (; table.hashes[slot] != 0; slot = (slot + 1) & mask)
    if (table.hashes[slot] == hash && nameOf(table.items[slot]) == name) return table.items[slot];
  table.hashes[slot] = hash;
  table.items[slot] = item;
  ++table.count;
  return -1;
}

// How a DES is written in another tool's format: the name of each label
// and state, and which events are unobservable.
struct ExportNames {
  std::vector<std::string> events; // index = label 0..EPSILON_LABEL; needed for the labels that occur
  std::vector<bool> unobservable;  // index = label 0..EPSILON_LABEL
  std::vector<std::string> states; // index = state number; empty vector: the numbers themselves
};

// --- Text helpers shared by the readers ----------------------------------------

// The next line of `text` from `pos`, without its "\n" and without one
// '\r' before it; false at the end. A last line without "\n" counts.
bool nextLine(std::string_view text, std::size_t& pos, std::string_view& line);

// "FILE: line N: text", the form of every message about a file's content.
std::string lineMessage(std::string_view file, std::uint32_t line, std::string_view text);

// Appends text in double quotes.
void appendQuoted(std::string& out, std::string_view text);

// A canonical decimal integer: "0", or digits without a leading zero, at
// most 18 of them. Such a name keeps its number where numbers count.
bool isCanonicalInteger(std::string_view text, std::int64_t& value);

// The name of the state at `position`: the declared name, or the integer.
std::string stateNameAt(const NamedModel& model, std::int64_t position);

// Appends a declaration and advances stateCount. False when the count
// would pass MAX_STATES (nothing is appended then).
[[nodiscard]] bool declareStates(NamedModel& model, const StateDeclaration& declaration);

// Sets the controllability of the events named in `controllable` and
// `uncontrollable` (names the model lacks are ignored), which also
// settles any conflict the file had about it.
void overrideControllability(NamedModel& model, const std::vector<std::string>& controllable,
                             const std::vector<std::string>& uncontrollable);

// The first event, in file order of the conflicting lines, whose
// attributes conflict; its message in `message`. False when there is one.
[[nodiscard]] bool checkEventAttributes(const NamedModel& model, std::string_view file, std::string& message);

// The DES state number of a position: the initial state becomes 0, the
// others keep their file order.
inline std::int64_t stateNumberOf(const NamedModel& model, std::int64_t position) {
  if (position == model.initial) return 0;
  return position < model.initial ? position + 1 : position;
}

// Builds the DES: stateCount states numbered by stateNumberOf, or the
// empty DES when there is no initial state; event i becomes labels[i].
// Repeated transitions collapse. On a state that would hold more than
// MAX_TRANSITIONS_PER_STATE transitions, returns false with its message
// in `message` and `out` untouched.
// Cost: O(n + t log t) for n states and t transitions.
[[nodiscard]] bool buildNamedDES(const NamedModel& model, const std::vector<std::uint16_t>& labels,
                                 std::string_view file, DES& out, std::string& message);

// The state names in DES numbering (empty when there is no initial state).
std::vector<std::string> namesByNumber(const NamedModel& model);

} // namespace kav
