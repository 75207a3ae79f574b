#pragma once

// Event and state maps: the text files that tie KAV's numbers to the names
// other tools use. An event map has one line "LABEL NAME" per named label
// (0..999), a state map one line "NUMBER NAME" per named state; the name is
// the rest of the line after one blank or tab, so it may hold blanks. Empty
// lines are skipped. Both are written in ascending order of the number.
//
// Importing a file gives every event a label and records it in the event
// map, so that models imported one after the other (a plant, then its
// legal language) share their labels.

#include <cstdint>
#include <cstdio>
#include <map>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "output/namedModel.h"

namespace kav {

// Labels 0..999 may be named; the silent event has no entry.
inline constexpr int NAMED_LABELS = MAX_ORDINARY_LABEL + 1;

struct EventMap {
  std::vector<std::string> names = std::vector<std::string>(NAMED_LABELS); // index = label; "" = unnamed
  std::map<std::string, std::uint16_t, std::less<>> labels;                // name -> label, the inverse of names
  bool changed = false;                                                    // names were added since it was read
};

struct StateMap {
  std::vector<std::string> names; // index = state number; "" = unnamed
};

enum MapStatus { MAP_READ = 0, MAP_MISSING, MAP_REFUSED };

// Reads the event map at `path`. MAP_MISSING (and an empty map) when there
// is no such file; MAP_REFUSED with a message naming the file and line for
// a file that cannot be read, a malformed line, a label outside 0..999, or
// a label or name given twice.
[[nodiscard]] MapStatus readEventMap(const std::string& path, EventMap& out, std::string& message);

// Reads the state map at `path` for a DES of `stateCount` states; the same
// rules, and a number must be below stateCount.
[[nodiscard]] MapStatus readStateMap(const std::string& path, std::int64_t stateCount, StateMap& out,
                                     std::string& message);

void writeEventMap(std::FILE* out, const EventMap& map);
// One line per named state; `names` is indexed by state number.
void writeStateMap(std::FILE* out, std::span<const std::string> names);

// Gives each event of `model` a label, in file order, into `labels`
// (indexed like model.events):
//  - the event named `silentName` (when not empty) is EPSILON_LABEL;
//  - a name the map holds keeps its label, which must have the parity of
//    the event's controllability;
//  - a name that is an integer 0..999 of the right parity (odd when
//    controllable) keeps that number when the map has no name for it;
//  - every other event takes the smallest free odd label when
//    controllable, else the smallest free even one.
// New names are added to `map` (which is then `changed`). On refusal
// (more than 1000 events, no free label of the parity needed, a parity
// that contradicts the map) returns false with a message naming `file`
// and the event's line; `map` may then hold some of the new names.
// Cost: O(e log e + L) for e events and L labels.
[[nodiscard]] bool assignLabels(const NamedModel& model, std::string_view silentName, std::string_view file,
                                std::string_view mapFile, EventMap& map, std::vector<std::uint16_t>& labels,
                                std::string& message);

} // namespace kav
