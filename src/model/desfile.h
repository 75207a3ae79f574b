#pragma once

// The binary .DES and .DAT files. A file is a free header text ended by
// the byte 26, a data block (magic, format constant, block type 0, block
// length, size, init, marker list, transition section, vocal section) and
// an end block. Version 2 stores state numbers in 8 bytes and each
// transition as a 16-byte record; version 1 (the 32-bit build's layout)
// stores them in 4 bytes and packs a transition into one word
// (event << 22 | target). All numbers little-endian. Both versions are read.
//
// A .DAT file (control data) has the same layout with init -1: each state's
// transition list is its list of disabled labels, with target 0.

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <string_view>

#include "model/des.h"
#include "model/sortedlists.h"

namespace kav {

inline constexpr const char* DES_HEADER_TEXT = "KAV DES file. Version 1.0";
inline constexpr const char* REDUCTION_HEADER_TEXT = "ORVA DES file. Version 1.0";

enum SaveStatus { SAVE_OK = 0, SAVE_FAILED = 1 };

enum LoadStatus {
  LOAD_OK = 0,
  LOAD_MISSING,   // no such file
  LOAD_MALFORMED, // not a DES file, corrupt, truncated, or not readable
};

// Writes des to path in the given layout version (2, or 1 for the 32-bit
// build's layout), atomically (writeFileAtomically): a failed save leaves
// any previous file intact. Version 1 fails for a DES it cannot represent
// (more than 2^22 states, labels above 1023). Returns SAVE_OK or
// SAVE_FAILED.
[[nodiscard]] int saveDESFile(const std::string& path, const DES& des, std::int64_t init, int version);

// saveDESFile in the user directory under name + ".DES", or + ".DAT" when
// init is -1, in the layout of this build (version 2 on 64-bit builds).
[[nodiscard]] int saveDES(std::string_view name, const DES& des, std::int64_t init);

// Reads a DES file of either version. On LOAD_OK `out` holds the DES (state
// 0 flagged reached when there is one) and `init` the file's init value;
// on failure `out` is empty. Rejected as malformed: no magic, a wrong
// format constant or block type, a negative size or one whose records
// overflow, state numbers or targets outside 0..size-1, and a file that
// ends inside a section. A file that exists but is not a readable regular
// file (a directory, a FIFO, a device) is malformed, never waited on. A
// size too large to allocate is an allocation failure (std::bad_alloc).
// Transition lists that are not sorted are sorted and stripped of
// repetitions.
[[nodiscard]] LoadStatus loadDESFile(const std::string& path, DES& out, std::int64_t& init);

// loadDESFile on an open descriptor, read from its current position; the
// caller closes it.
[[nodiscard]] LoadStatus loadDESDescriptor(int fd, DES& out, std::int64_t& init);

// loadDESFile in the user directory: name + ".DAT" when init is -1 on
// entry, else name + ".DES".
[[nodiscard]] LoadStatus loadDES(std::string_view name, std::int64_t& init, DES& out);

// Writes one DES into an open stream with the reduction header text: the
// markers, then for every state 0..size-1 (also those without entries) its
// entries of `triples` (grouped by source, ascending) with a real label
// (up to EPSILON_LABEL: a supervisor's silent transitions are kept; only
// internal labels above it are left out), and an empty vocal section.
// Returns SAVE_OK or SAVE_FAILED.
[[nodiscard]] int saveReductionDES(std::FILE* stream, std::int64_t size, std::span<const std::int64_t> markers,
                                   std::span<const Triple> triples);

} // namespace kav
