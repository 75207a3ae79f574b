#pragma once

// FSM text, the plain automaton format that several DES tools read and
// write. First the number of states; then one block per state, the first
// block being the initial state: a line "STATE MARKED COUNT" (name, 1 when
// marked else 0, number of transitions) and COUNT lines
// "EVENT TARGET C OBS" with C "c" (controllable) or "uc" and OBS "o"
// (observable) or "uo". Fields are separated by blanks or tabs; blocks by
// blank lines, which the reader skips wherever they stand. An event must
// carry the same attributes on every line.

#include <cstdio>
#include <string>
#include <string_view>

#include "model/des.h"
#include "output/namedModel.h"

namespace kav {

// Reads FSM text into `out` (names are views into `text`). Events are
// listed in order of first use, states in block order, so the initial
// state is position 0; a file of no states has none. Refused, with a
// message naming `file` and the line: a malformed line, a state declared
// twice, a transition to a state without a block, a block count other
// than announced, and a file ending inside a block. Attribute conflicts
// are recorded in the events, not refused here. `out` is untouched on
// refusal.
// Cost: O(L + t) expected for L bytes and t transitions (hashing names).
[[nodiscard]] bool parseFsm(std::string_view text, std::string_view file, NamedModel& out, std::string& message);

// A name FSM text can carry: not empty, no blank, tab or line end.
bool isFsmName(std::string_view name);

// Writes des: its state count, then states 0, 1, ... in order (so state 0
// is the initial one), each with its transitions in stored order. Fields
// are separated by tabs, blocks by an empty line. A transition's event is
// "c" when its label is odd. The caller checks the names and closes the
// stream.
void writeFsm(std::FILE* out, const DES& des, const ExportNames& names);

} // namespace kav
