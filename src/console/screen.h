#pragma once

// The console: an 80 x 25 screen of character cells and a cursor, held in
// memory so that every operation (writing, clearing, scrolling) acts
// exactly and can be read back, and keys.
//
// The screen is drawn on the terminal through the terminal library only
// when standard output is a terminal; otherwise it lives in memory alone.
// Drawing happens when a key is read or refreshScreen is called, so a
// dialog's many small writes cost one update of the terminal.
//
// Keys come from one of three sources: the script file in script mode
// (one byte per key, no translation; its end or a byte 26 ends the program
// with status 255), the terminal (Page Up / Page Down read as 'u' / 'd',
// Enter as 13, Backspace as 8, Escape as 27 at once), or standard input
// byte by byte when no terminal is drawn (its end also ends the program
// with status 255).
//
// Positions are (column, row) from 0 at the top left, except gotoXY,
// which counts from 1. Rows 22 and 23 are the status rows; no line break
// goes below row 22 (newLineIfRoom), so output never scrolls the screen.

#include <string>
#include <string_view>

namespace kav {

inline constexpr int SCREEN_COLUMNS = 80;
inline constexpr int SCREEN_ROWS = 25;

// Key codes as the dialogs see them.
inline constexpr int BACKSPACE_KEY = 8;
inline constexpr int ENTER_KEY = 13;
inline constexpr int CTRL_Z_KEY = 26;
inline constexpr int ESCAPE_KEY = 27;
inline constexpr int PAGE_UP_KEY = 'u';
inline constexpr int PAGE_DOWN_KEY = 'd';

// With KAV_SCREEN_LOG naming a file in script mode, the 25 rows (trailing
// blanks cut) and this line are appended to it before every key read.
inline constexpr const char* SCREEN_LOG_SEPARATOR = "=====#=====";

// --- The terminal -----------------------------------------------------------

// Takes over the terminal when standard output is one (screen mode, keypad
// on, short Escape delay, no echo), and installs the handlers that give it
// back on a crash signal or a termination request. Without a terminal it
// does nothing but note that.
void startScreen();
// Gives the terminal back in its original state. Safe to call twice.
void endScreen();
// Restores the terminal and ends the process with the given status.
[[noreturn]] void endSession(int status);
// Restores the terminal and ends the process by the signal, its handler
// reset to the default. For signal handlers.
[[noreturn]] void endBySignal(int signalNumber);
// Leaves screen mode so that another process (the batch child in debug
// mode) can write to the terminal; takeBackTerminal enters it again and
// redraws the whole screen from memory.
void handOverTerminal();
void takeBackTerminal();
// Draws the in-memory screen on the terminal now (before a long wait).
void refreshScreen();
// True while the screen is drawn on a terminal.
bool isScreenDrawn();

// --- Screen operations ------------------------------------------------------

// Blanks all 2000 cells and puts the cursor at (0,0).
void clearScreen();
// Blanks from the cursor to the end of its row; the cursor stays.
void clearToEndOfLine();
// Puts the cursor at column x-1, row y-1 (this one counts from 1).
void gotoXY(int x, int y);
int whereX();
int whereY();
// Moves the cursor to column x of its row.
void setColumn(int x);
// Carriage return and line feed, only when the cursor row is below 23.
void newLineIfRoom();
// newLineIfRoom twice: the blank line between a dialog's parts.
void twoBreaks();
// Moves rows 1..24 onto rows 0..23; row 24 keeps what it held.
void scrollUpOneLine();

// Writes text at the cursor as a console does: a character in the last
// column moves the cursor to the start of the next row, '\n' starts the
// next row, '\r' returns to column 0, '\t' moves to the next multiple of 8;
// passing the bottom row scrolls the whole screen up. Bytes outside the
// printable range show as '?'.
void writeText(std::string_view text);
void writeChar(char c);
// printf-style writeText.
void writeFormat(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Shows a key the user typed (nothing for Enter and other control keys).
void echoKey(int key);

// Row 23 reads "Press <ESC> to cancel"; the cursor stays where it was.
void showEscHint();
// text as is when shorter than limit, else its first 3 characters, "...",
// and its last limit-7 characters (limit-1 characters in all).
std::string abbreviate(std::string_view text, int limit);
void printAbbreviated(std::string_view text, int limit);
// Row 23: "Press <Enter> to return to KAV Procedures  ", then keys until Enter.
void waitForEnterToReturn();
// Row 22: "Problem too large -- out of memory!".
void showOutOfMemory();
// Clears row `row` and writes text there from column 0, cut to 79
// characters; the cursor is left behind it.
void writeStatusLine(int row, std::string_view text);

// --- Keys --------------------------------------------------------------------

// One key, 0..255, from the current source; never echoed.
int readKey();
// Waits at most `milliseconds` for Escape on the terminal; any other key
// typed meanwhile is kept for the next readKey. False at once in script
// mode and without a terminal (script keys belong to the dialogs).
bool pollEscape(int milliseconds);

// --- Read-back (tests, the screen log) ----------------------------------------

// Row `row` as 80 characters.
std::string screenRow(int row);
// The 25 rows with trailing blanks cut, each followed by '\n'.
std::string screenText();

} // namespace kav
