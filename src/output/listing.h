#pragma once

// Text listings of a DES and of control data (DAT): the .PDS and .PDT
// files, what the printer gets, and the lines the screen shows.
//
// A DAT has the shape of a DES whose transition lists hold, per state of
// the supervisor, the labels disabled there (targets are 0). Its table
// lists one entry per state with labels: "%4ld:" and the labels ("%4d "
// each, "e    " for the silent label), 13 on the entry's first line and 12
// on each further one (indented by 9 blanks). Two short entries (at most
// 6 labels each) share a line, the second starting at column 44 in the
// listing and at column 39 on the screen.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "model/des.h"
#include "model/safefile.h"

namespace kav {

// --- DES ----------------------------------------------------------------------

// Writes the text listing of `des` under `name`: the head line, the marker
// states (eight "%7ld " to a line), the vocal states (five pairs to a
// line), and the transitions (four "[%5ld,%3d,%5ld]  " to a line, the
// silent label as "e"). With withAllShortcut (print) a DES whose every
// state is marked says "marker states: all"; without it (the .PDS file)
// the states are listed. The caller closes the stream and learns of a
// failed write from it.
// Cost: O(n + t) time, O(1) extra space.
void writeDesListing(std::FILE* out, const DES& des, std::string_view name, bool withAllShortcut);

// The DES as the screen shows it, one line (under 80 characters) per row,
// computed on demand so that a pager can start anywhere: the head, the
// marker section, the vocal section and the transition section. Triples
// go four to a line up to 100000 states and three (in 7-digit fields)
// above, so that every line fits the screen.
struct DesScreenListing {
  const DES* des = nullptr;                  // borrowed; outlives the listing
  std::string name;                          // the DES name for the head
  std::vector<std::string> head;             // the head, one or two lines (split when too wide)
  bool allMarked = false;                    // every state marked (and at least one)
  StateList marked;                          // marked states when some but not all are
  StateList vocalStates;                     // states with a vocal output, ascending
  std::vector<std::int64_t> firstTransition; // per state, index of its first transition; n+1 entries
  int triplesPerLine = 4;                    // 4, or 3 above 100000 states
  std::int64_t markerLine = 0;               // first line of the marker section
  std::int64_t vocalLine = 0;                // first line of the vocal section
  std::int64_t transitionLine = 0;           // first line of the transition section
  std::int64_t lineCount = 0;                // lines in all
};

// Prepares the screen listing. Cost: O(n) time and space.
DesScreenListing layoutDesScreenListing(const DES& des, std::string_view name);
// Line k, 0 <= k < lineCount. Cost: O(log n) plus the line's length.
std::string desScreenLine(const DesScreenListing& listing, std::int64_t k);

// --- DAT ----------------------------------------------------------------------

// True when every label in the table is odd (controllable); true for an
// empty table.
bool isControllableTable(const DES& dat);
// True when some state lists a label.
bool hasTableEntries(const DES& dat);

// Where the next line of a DAT table starts.
struct DatTableCursor {
  std::int64_t state = 0;   // the entry being written, or the next state to look at
  std::uint32_t offset = 0; // labels of that entry already written (0: the entry starts)
};

// Gaps between two entries sharing a line: (base - labels of the first)
// groups of 5 blanks.
inline constexpr int DAT_LISTING_GAP_BASE = 7;
inline constexpr int DAT_SCREEN_GAP_BASE = 6;

// The next line of the table (without line end, starting with the 4 or 9
// blanks of its kind), advancing the cursor; false after the last line.
// Cost: O(length of the line) plus the states without labels skipped.
bool nextDatTableLine(const DES& dat, DatTableCursor& cursor, int gapBase, std::string& line);

// Writes the text listing of the control data `dat` under `name`: the
// explanation, CONTROLLABLE or NOT CONTROLLABLE, and the table ("empty."
// when it lists nothing). The caller closes the stream.
// Cost: O(n + t) time, O(1) extra space.
void writeDatListing(std::FILE* out, const DES& dat, std::string_view name);

// What `write` (a callable taking a std::FILE*) writes, collected in
// memory: the listings as strings, for tests and short texts.
template <typename Writer> std::string captureText(Writer write) {
  char* buffer = nullptr;
  std::size_t size = 0;
  std::FILE* stream = ::open_memstream(&buffer, &size);
  if (!stream) return {};
  write(stream);
  std::fclose(stream);
  std::string text(buffer, size);
  std::free(buffer);
  return text;
}

// --- Files --------------------------------------------------------------------

// Writes a text file through `write` (which writes into the stream it is
// given) with writeFileAtomically: a failed write leaves an older file
// intact. False when the file could not be created or written.
template <typename Writer> [[nodiscard]] bool writeTextFile(const std::string& path, Writer write) {
  return writeFileAtomically(path, [&write](std::FILE* stream) {
    write(stream);
    return true;
  });
}

} // namespace kav
