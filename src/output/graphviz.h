#pragma once

// A DES as a Graphviz dot description, for a transition-diagram picture:
// marker states drawn as double circles, an entry arrow into state 0 from
// an invisible point, and one labelled edge per transition. An edge into a
// state with a vocal output v is labelled "event/v"; the silent label
// shows as nothing (or "/v"). With colouring, controllable (odd) edges are
// red and the others green.

#include <cstdio>
#include <ctime>
#include <string>
#include <string_view>

#include "model/des.h"

namespace kav {

// Text as the inside of a dot string: '"' and '\' escaped, bytes outside
// printable ASCII replaced by '?' so the file stays plain ASCII.
std::string dotString(std::string_view text);

// Writes the dot description of `des`, its label naming `desName` and the
// creation time `when` (local time, "YYYY.MM.DD/HH:MM"). The text ends
// with "}" and no newline. The caller closes the stream.
// Cost: O(n + t) time, O(1) extra space.
void writeDot(std::FILE* out, const DES& des, std::string_view desName, bool colour, std::time_t when);

} // namespace kav
