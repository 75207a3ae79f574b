#pragma once

// Control data as a PostScript document (.PST) for a PostScript printer:
// the DAT listing in an 80-column Courier, 66 lines to a page, each page
// framed and headed with the date, the page number and the file name.
//
// The document is self-contained: a fixed prolog (page geometry and the
// page macros startpage, endpage, N, n, newfile, cleanup, startdoc in a
// private dictionary), then the text as string lines "(...)N", then the
// trailer. Every text is placed in a PostScript string with '(', ')' and
// '\' escaped and other bytes outside printable ASCII written as octal
// escapes, so no name can break the document.

#include <cstdio>
#include <ctime>
#include <string>
#include <string_view>

#include "model/des.h"

namespace kav {

// Page parameters written into the prolog.
inline constexpr int POSTSCRIPT_COLUMNS = 80;
inline constexpr int POSTSCRIPT_LINES = 66;
// Lines the head of the listing (name, explanation, verdict, "control
// data:") takes on the first page.
inline constexpr int POSTSCRIPT_HEAD_LINES = 8;

// Text as the contents of a PostScript string (without the parentheses).
std::string postScriptString(std::string_view text);

// Writes the whole document for the control data `dat` under `name`,
// dated `when` (local time, in the C library's asctime form). A page holds
// POSTSCRIPT_LINES lines: the head counts as POSTSCRIPT_HEAD_LINES of the
// first, and each table line one; a full page is ended and the next begun.
// The caller closes the stream. Cost: O(n + t) time, O(1) extra space.
void writePostScriptDat(std::FILE* out, const DES& dat, std::string_view name, std::time_t when);

} // namespace kav
