#pragma once

// The console: an 80 x 25 screen of character cells and a cursor, held in
// memory so that every operation (writing, clearing, scrolling) acts
// exactly and can be read back, and keys.
//
// The screen is drawn on the terminal through the terminal library; the
// interactive session refuses to start without a terminal it can drive,
// while script mode runs without one. Drawing happens when a key is read
// or refreshScreen is called, so a dialog's many small writes cost one
// update of the terminal. A terminal of 24 rows shows the screen with one
// row folded away (terminalView); a smaller one shows a notice until it
// grows, and Escape, q or Ctrl-C there end the program.
//
// Keys come from the script file in script mode (one byte per key, no
// translation; its end or a byte 26 ends the program with status 255) or
// from the terminal (Page Up / Page Down read as 'u' / 'd', Enter as 13,
// Backspace as 8, Escape as 27 at once).
//
// Positions are (column, row) from 0 at the top left, except gotoXY,
// which counts from 1 for the fixed positions of the screen layout. Rows 22 and 23 are the status rows; no line break
// goes below row 22 (newLineIfRoom), so output never scrolls the screen.

#include <string>
#include <string_view>
#include <vector>

namespace kav {

inline constexpr int SCREEN_COLUMNS = 80;
inline constexpr int SCREEN_ROWS = 25;
// The smallest terminal the screen is drawn on: 80 columns by 24 rows.
inline constexpr int MIN_TERMINAL_ROWS = 24;

// Key codes as the dialogs see them.
inline constexpr int BACKSPACE_KEY = 8;
inline constexpr int ENTER_KEY = 13;
inline constexpr int CTRL_Z_KEY = 26;
inline constexpr int ESCAPE_KEY = 27;
inline constexpr int PAGE_UP_KEY = 'u';
inline constexpr int PAGE_DOWN_KEY = 'd';

// With KAV_SCREEN_LOG naming a file in script mode, the screen (trailing
// blanks cut) and this line are appended to it before every key read: the
// 25 rows, or what a terminal of LINES x COLUMNS would show when those
// variables are set (terminalView). A script then meets a too-small screen
// as a user would: its keys are ignored there, except those that quit.
inline constexpr const char* SCREEN_LOG_SEPARATOR = "=====#=====";

// --- The terminal -----------------------------------------------------------

// Why the interactive session cannot drive this terminal: standard input
// or output is not a terminal, or TERM is unset or "dumb". nullptr when it
// can (as far as can be told before the terminal library tries).
const char* undrivableTerminal();
// Takes over the terminal when standard output is one (screen mode, keypad
// on, short Escape delay, no echo), and installs the handlers that give it
// back on a crash signal or a termination request. False when there is no
// terminal or the terminal library does not know its type (TERM); the
// screen then lives in memory alone.
bool startScreen();
// Gives the terminal back in its original state. Safe to call twice.
void endScreen();
// Restores the terminal and ends the process with the given status.
[[noreturn]] void endSession(int status);
// Restores the terminal and ends the process by the signal, its handler
// reset to the default. For signal handlers.
[[noreturn]] void endBySignal(int signalNumber);
// Leaves screen mode so that another process can use the terminal;
// takeBackTerminal enters it again and redraws the whole screen from
// memory. The batch child in debug mode only writes: its keys are then
// read raw and unechoed, for pollEscape. A program that reads the keys
// itself (a pager) gets the terminal as the shell had it.
void handOverTerminal(bool otherReadsKeys = false);
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
// Puts the cursor at (column, row), clamped to the screen.
void moveCursor(int column, int row);
// moveCursor(x - 1, y - 1): the fixed positions of the screen layout,
// counted from 1. Positions computed from whereX / whereY use moveCursor.
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
// Waits at most `milliseconds` for Escape on the terminal, also while it
// is handed over; any other key typed at the drawn screen is kept for the
// next readKey. False at once in script mode and without a terminal
// (script keys belong to the dialogs).
bool pollEscape(int milliseconds);

// --- Read-back (tests, the screen log) ----------------------------------------

// Row `row` as 80 characters.
std::string screenRow(int row);
// Puts back a row read with screenRow; the cursor stays.
void restoreRow(int row, std::string_view cells);
// The 25 rows with trailing blanks cut, each followed by '\n'.
std::string screenText();

// What a terminal of rows x columns shows, one string per terminal row,
// trailing blanks cut. From 25 rows on: the 25 rows. With 24 rows: the
// screen less foldedRow(24), so the cursor's row and every row that holds
// text stay in sight. Fewer than 24 rows or 80 columns: the notice that
// asks for a larger terminal, wrapped at blanks, as much as fits.
std::vector<std::string> terminalView(int rows, int columns);
// The screen row that a terminal of `rows` rows leaves out, -1 for none:
// for 24 rows the bottom row when it is blank, else the topmost blank row,
// never the cursor's; row 0 (row 1 under the cursor) when no row is blank.
int foldedRow(int rows);
// True for a terminal smaller than 80 x 24.
bool isTerminalTooSmall(int rows, int columns);

} // namespace kav
