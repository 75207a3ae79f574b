#pragma once

// ADS: the plain-text form of a DES that users write and edit with any
// text editor. The system writes an empty template for a new DES and a
// full listing of an existing one, and reads ADS text back with a
// line-oriented parser that checks every entry and reports errors by line.
//
// An ADS text is a sequence of lines. A line whose first character is '#'
// is a comment; empty lines are ignored everywhere. The other lines are, in
// this order: the name line (its first word is the DES name), the
// state-size header (first word "State"), the state size (0..2000000),
// "Marker states:", the marker states one per line or a single "*" (or
// " *") marking every state, "Vocal states:", vocal entries "state output"
// (output 10..99), "Transitions:", and transition lines "exit label
// entrance" (label 0..999). Section lines are compared with the whole line,
// so a trailing blank makes them unrecognised. The silent label 1000 cannot
// be written in ADS.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "model/des.h"

namespace kav {

// Error codes of the ADS parsers; adsErrorMessage gives the text shown for
// each. ADS_FILE_DOES_NOT_EXIST, ADS_INTERNAL_ERROR, ADS_FILE_NAME_TOO_LONG
// and ADS_EXPECTING_TRANSITIONS belong to the message table but are never
// produced by the parsers: a file that cannot be opened is
// ADS_NO_FILE_NAME, and the "Vocal states:" line leads straight to the
// vocal entries, whose "Transitions:" line ends them.
inline constexpr std::uint32_t ADS_OK = 0;
inline constexpr std::uint32_t ADS_FILE_DOES_NOT_EXIST = 1;
inline constexpr std::uint32_t ADS_UNEXPECTED_END = 2;
inline constexpr std::uint32_t ADS_INTERNAL_ERROR = 3;
inline constexpr std::uint32_t ADS_NO_FILE_NAME = 4;
inline constexpr std::uint32_t ADS_FILE_NAME_TOO_LONG = 5;
inline constexpr std::uint32_t ADS_EXPECTING_STATE_SIZE = 6;
inline constexpr std::uint32_t ADS_STATE_OUT_OF_RANGE = 7;
inline constexpr std::uint32_t ADS_STATE_TOO_LARGE = 8;
inline constexpr std::uint32_t ADS_EXPECTING_MARKER_STATES = 9;
inline constexpr std::uint32_t ADS_MARKER_OUT_OF_RANGE = 10;
inline constexpr std::uint32_t ADS_MARKER_TOO_LARGE = 11;
inline constexpr std::uint32_t ADS_EXPECTING_VOCAL_STATES = 12;
inline constexpr std::uint32_t ADS_VOCAL_TOO_SMALL = 13;
inline constexpr std::uint32_t ADS_VOCAL_TOO_LARGE = 14;
inline constexpr std::uint32_t ADS_EXPECTING_TRANSITIONS = 15;
inline constexpr std::uint32_t ADS_LABEL_OUT_OF_RANGE = 16;
inline constexpr std::uint32_t ADS_LABEL_TOO_LARGE = 17;
inline constexpr std::uint32_t ADS_INVALID_STATE_NUMBER = 18;
inline constexpr std::uint32_t ADS_INVALID_MARKER = 19;
inline constexpr std::uint32_t ADS_INVALID_VOCAL = 20;
inline constexpr std::uint32_t ADS_INVALID_LABEL = 21;
inline constexpr std::uint32_t ADS_EXIT_OUT_OF_RANGE = 22;
inline constexpr std::uint32_t ADS_EXIT_TOO_LARGE = 23;
inline constexpr std::uint32_t ADS_ENTRANCE_OUT_OF_RANGE = 24;
inline constexpr std::uint32_t ADS_ENTRANCE_TOO_LARGE = 25;
inline constexpr std::uint32_t ADS_NONDETERMINISTIC = 26;
inline constexpr std::uint32_t ADS_LAST_ERROR_CODE = ADS_NONDETERMINISTIC;

// The largest state size an ADS file may declare.
inline constexpr std::int64_t ADS_MAX_STATES = 2000000;
// The most error records the one-file conversion shows.
inline constexpr std::size_t ADS_LISTED_ERRORS = 10;

inline constexpr std::uint32_t ADS_NO_LINE = 0xFFFFFFFFu;

struct AdsError {
  std::uint32_t code;       // ADS_OK..ADS_LAST_ERROR_CODE
  std::uint32_t line;       // line of the error, counted from 1 over every line read; ADS_NO_LINE = none
  std::uint32_t secondLine; // for ADS_NONDETERMINISTIC the line of the earlier transition, else ADS_NO_LINE
};

// The message of an error code, e.g. "Nondeterministic transition";
// "ok" for ADS_OK. A code outside 0..ADS_LAST_ERROR_CODE gives the text
// of ADS_INTERNAL_ERROR.
const char* adsErrorMessage(std::uint32_t code);

// --- Parsers -----------------------------------------------------------------
//
// Both parsers read whole lines of any length, accept "\n" and "\r\n" line
// ends and a last line without one, and number lines from 1 counting every
// line read (comments and empty lines included). A line that fails a check
// leaves the parser expecting the same kind of line, so the lines after it
// are checked against the same expectation. A transition line is accepted
// only when its exit state has no transition with the same label to
// another entrance state; an exact repetition of an accepted transition is
// accepted and changes nothing. Numbers are read like "%ld": white space,
// an optional sign, digits, and whatever follows is ignored; a number too
// large for any accepted range is reported as out of range or too large,
// by its sign. The file ending before its "Transitions:" line is
// ADS_UNEXPECTED_END at the last line read, reported only when nothing
// else was. A read failure after the first byte adds ADS_UNEXPECTED_END
// at the last line read, so a half-read file is never taken for a whole
// one; a failure on the first read is ADS_NO_FILE_NAME without lines, as
// for a file that cannot be opened (a directory, say).
//
// The DES built has initial state 0, no reached/coreached flags, and every
// transition list sorted by (event, target); it is deterministic.
// Cost: O(L + t d) time for L bytes, t transitions and d the largest
// out-degree (at most 1000, as a state has one transition per label): each
// line finds its label by binary search and an insertion copies the
// state's list. O(n + t) space besides the DES, n states; a file of two
// million states and six million transitions parses in about 1.5 s.

// Full-listing parser: every error it can find, in the order of the lines
// (within a line, in the order of the checks). On success (an empty
// vector) `out` holds the DES; on failure `out` is untouched. A file that
// cannot be opened, or whose first read fails, gives the single record
// (ADS_NO_FILE_NAME, ADS_NO_LINE, ADS_NO_LINE).
[[nodiscard]] std::vector<AdsError> parseAdsFile(const std::string& path, DES& out);

// The full-listing parser over an open stream, which it closes in every
// case; a null stream counts as a file that cannot be opened.
[[nodiscard]] std::vector<AdsError> parseAdsFileStream(std::FILE* stream, DES& out);

// First-error parser: the same checks as the full-listing parser, stopping
// at the first error; its result is the first record that parseAdsFile
// would give for the same text. Code ADS_OK (both lines ADS_NO_LINE) on
// success, with the DES in `out`; on failure `out` is untouched. Closes the
// stream in every case; a null stream gives ADS_NO_FILE_NAME.
[[nodiscard]] AdsError parseAdsStream(std::FILE* stream, DES& out);

// --- Writers -----------------------------------------------------------------

// Writes the template of a new DES called `name` (26 lines, the last one
// empty) and closes the stream.
void writeAdsTemplate(std::FILE* stream, std::string_view name);

// Writes the listing of `des` under `name`: the template's lines with
// "# ORVA ADS auto-generated" as first line, the state count on line 7,
// then after the marker comments one line per marked state (ascending),
// after the vocal comments one line "%-5ld %-4d" per state whose vocal
// output is above 0, after the transition comments one line
// "%-5ld %-3d %-5d" per transition (states ascending, each state's list in
// its stored order), and a final empty line. Labels are written as numbers,
// 1000 included, although the parser does not accept it. The caller
// closes the stream and learns of a failed write from it (ferror, fclose).
void writeAdsListing(std::FILE* stream, std::string_view name, const DES& des);

// --- Texts for the conversion dialog -----------------------------------------

// The error listing of the one-file conversion, one string per console
// line without line end: "Error(s) reading file: <path>", then for at
// most ADS_LISTED_ERRORS records "  <message> at lines <second> and
// <line>." when the record has a second line, "  <message> at line
// <line>." when it has a line, else "  <message>".
std::vector<std::string> adsErrorListing(std::string_view path, const std::vector<AdsError>& errors);

// The session-log entry of a DES converted from ADS under `name`, before
// line wrapping: "NAME = Create(NAME", then ",[mark a,b,...]" when some
// state is marked (no shortened form when all are), ",[voc [s,v],...]"
// when some vocal output is above 0, ",[tran [i,e,j],...]" when there are
// transitions (label 1000 written "e"), then ")" and "  (states,
// transitions)" and two newlines.
std::string adsCreateLogEntry(std::string_view name, const DES& des);

} // namespace kav
