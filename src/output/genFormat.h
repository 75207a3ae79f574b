#pragma once

// Generator token files (.gen): "<Generator>", the generator's name, then
// the sections <Alphabet>, <States>, <TransRel>, <InitStates> and
// <MarkedStates>, each closed by its "</...>" tag, and "</Generator>".
// Names are quoted strings ("machine 1") or bare words (q0); a state may
// instead be a non-negative integer, and "<Consecutive> A B
// </Consecutive>" in a state list stands for the integers A..B. An event
// of the alphabet may be followed by "+FLAGS+": C/c sets/clears
// controllable, O/o observable, F/f forcible (defaults uncontrollable,
// observable, not forcible). '%' starts a comment to the end of the line.
//
// A state written as a canonical integer, quoted or not ("5" and 5), is
// that integer: one state. Other elements (state and transition
// attributes, unknown sections, a header tag with attributes) are read and
// skipped; unknown flag letters are ignored. All five sections must be
// present, so a file of another layout is refused rather than read as an
// empty automaton.

#include <cstdio>
#include <string>
#include <string_view>

#include "model/des.h"
#include "output/namedModel.h"

namespace kav {

// Reads a generator into `out` (names are views into `text`). Events are
// listed in alphabet order, states in declaration order; the initial
// state is the one <InitStates> names, none when it is empty. Refused,
// with a message naming `file` and the line: a lexical or structural
// error, a section missing or given twice, a state declared twice, a
// reference to an undeclared state or event, more than one initial state
// (named in the message). Attribute conflicts between two alphabet
// entries of one event are recorded in the events, not refused here.
// `out` is untouched on refusal. A declared state count beyond memory
// throws std::bad_alloc.
// Cost: O(L + t + n log n) expected for L bytes, t transitions, n
// declarations.
[[nodiscard]] bool parseGen(std::string_view text, std::string_view file, NamedModel& out, std::string& message);

// A name a quoted string can carry: not empty, no '"' and no line end.
bool isGenName(std::string_view name);

// Writes des as a generator named `name` (its '"' dropped): one element
// per line, events in label order with "+C+" when the label is odd and
// "o" among the flags when unobservable, states 0, 1, ... in order, each
// state's transitions in stored order, state 0 as the initial state. Every
// name is written as a quoted string. The caller checks the names and
// closes the stream.
void writeGen(std::FILE* out, const DES& des, std::string_view name, const ExportNames& names);

} // namespace kav
