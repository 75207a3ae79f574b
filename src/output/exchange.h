#pragma once

// Converting a DES between KAV's files (.DES, .ADS) and the exchange
// formats of other DES tools (FSM text, .gen generator files), and writing
// its dot description. KAV numbers events 0..999 (odd controllable) and
// has one initial state, state 0; the exchange formats name events and
// states. The conversion bridges the two without losing anything
// silently: what KAV cannot hold, or a format cannot carry, is refused.
//
// Importing (.fsm, .gen) gives every event a label (see assignLabels):
// the labels chosen are kept in an event map so that models imported one
// after the other share them, and the state names in a state map. The
// initial state becomes state 0 and the other states keep the file's
// order, so a DES written as .fsm or .gen and read back is the same DES,
// numbering included. A file without an initial state is the empty DES.
//
// Exporting names events from the event map, else by their numbers;
// states from the state map, else by their numbers. Controllability comes
// from the label's parity.

#include <string>
#include <vector>

#include "model/sortedlists.h"

namespace kav {

struct ConvertOptions {
  std::string from;                        // "des", "ads", "fsm", "gen" (any case); empty: by the input's extension
  std::string to;                          // the same and "dot"; empty: by the output's extension
  std::string eventMap;                    // event map path; "" = none
  std::string stateMap;                    // state map path; "" = none
  std::vector<std::string> controllable;   // event names made controllable on import
  std::vector<std::string> uncontrollable; // event names made uncontrollable on import
  EventList unobservable;                  // labels written as unobservable on export, each <= EPSILON_LABEL
  std::string silentName;                  // the name of the silent event 1000 on export and import; "" = none
};

enum ConvertStatus {
  CONVERT_OK = 0,
  CONVERT_BAD_OPTIONS = 2, // unknown format, an option that does not apply, contradicting options
  CONVERT_REFUSED = 7,     // input unreadable or refused; the message names the file (and line)
  CONVERT_NOT_WRITTEN = 8, // the output or a map could not be written
};

struct ConvertResult {
  int status = CONVERT_OK; // a ConvertStatus
  std::string message;     // one line without line end; on CONVERT_OK empty or a note worth showing
};

// Converts the model at inPath into outPath. Formats come from the options
// or the extensions ".DES", ".ADS", ".fsm", ".gen", ".dot" (any case);
// ".dot" is written only: the dot text of the transition diagram, as the
// picture conversion writes it, without colours.
//
// Options, each refused (CONVERT_BAD_OPTIONS) where it does not apply:
//  - eventMap: read first when it exists. An import adds the names it
//    meets and rewrites the map when there were new ones (creates it when
//    missing); an export from a .DES or .ADS file needs it to exist.
//  - stateMap: an import writes the names of the states to it (replacing
//    it); an export from a .DES or .ADS file reads it (it must exist) and
//    names the states it lacks by their numbers.
//  - controllable, uncontrollable: override the attributes of the named
//    events on import (.fsm, .gen); names the file lacks are ignored.
//  - unobservable: labels written "uo" (FSM) or with flag "o" (.gen).
//  - silentName: the name of the silent event 1000, which the exchange
//    formats lack. Exporting a DES that uses it is refused without it; on
//    import the event of that name becomes the silent event.
// Converting .fsm or .gen into .fsm or .gen keeps the file's unobservable
// events; an import into .DES, .ADS or .dot drops them with a note naming
// their labels. Forcibility is not kept.
// Paths are used as given; the caller resolves names in the user
// directory.
//
// Refused (CONVERT_REFUSED), with one message naming the file and, for
// file content, the line: an unreadable input, a malformed line, more than
// one initial state (named), an event with conflicting attributes (both
// lines), more than 1000 events or no free label of the parity an event
// needs, a reference to an undeclared state or event, a state with more
// than 65535 transitions; on export, the silent event without silentName,
// vocal outputs (which the exchange formats lack), ADS output of a DES that
// ADS cannot hold (silent event, nondeterminism, more than 2,000,000
// states, a vocal output outside 10..99), and names a format cannot carry
// or that two events or states would share.
//
// Nothing is written unless everything succeeds: maps and output are
// written beside their targets and renamed over them only at the end.
// Memory exhausted (a file declaring more states than memory holds)
// throws std::bad_alloc to the caller's wrapper.
// Cost: O(L + n + t log t) for L input bytes, n states, t transitions.
[[nodiscard]] ConvertResult convertModel(const std::string& inPath, const std::string& outPath,
                                         const ConvertOptions& options);

} // namespace kav
