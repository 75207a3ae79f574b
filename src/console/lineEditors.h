#pragma once

// The line editors every prompt is built from. Each edits a field that
// starts at the cursor: it redraws the field after every key, so the text
// typed so far always stands there with the cursor behind it (a text too
// long for the row shows "..." and its end). Escape ends an edit at once
// and leaves the caller's buffer untouched.
//
// A refused key or entry says why on a status row (row 22, or row 24 for a
// field on row 22 or below) until the next key, when the row gets back
// what it held.

#include <string>
#include <string_view>

namespace kav {

// A file name: keys are taken in upper case; Backspace deletes; Enter
// accepts 1..maxLen characters; a leading blank, '/', a key past maxLen
// and keys outside printable ASCII are refused. Returns ENTER_KEY (buffer
// set) or ESCAPE_KEY.
[[nodiscard]] int readName(std::string& buffer, int maxLen);

// The same editor keeping the case as typed and accepting '/': short
// answers and directory paths.
[[nodiscard]] int readText(std::string& buffer, int maxLen);

// The acceptance rule of the number editors: "0" when lo <= 0 <= hi, any
// other text when its value is not 0 and lies in lo..hi ("00" and "-0"
// are not accepted).
bool isValidNumber(std::string_view text, long lo, long hi);

// A number in lo..hi. Digits, and '-' as the first character only, up to
// as many characters as the longer decimal form of lo and hi; a digit past
// that is refused and keeps Enter refused until Backspace, so a number is
// never taken cut short. Enter is refused until the text is valid. Every
// key read is stored in lastKey; Escape returns 0 with lastKey ESCAPE_KEY.
[[nodiscard]] long readIntInRange(int& lastKey, long lo, long hi);

// readIntInRange over -1..hi that also accepts the text "*" alone, which
// returns 0 with lastKey '*' ("all states").
[[nodiscard]] long readStateOrStar(int& lastKey, long hi);

// readIntInRange over -1..999 that also accepts the text "e" alone, which
// returns EPSILON_LABEL (1000) with lastKey 'e'. -1 ends every event list.
[[nodiscard]] long readEventOrE(int& lastKey);

} // namespace kav
