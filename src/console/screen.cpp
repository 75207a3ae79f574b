#include "console/screen.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>

#include "console/provideCurses.h"
#include "model/session.h"

namespace kav {

namespace {

// The picture the user sees, whether or not a terminal shows it.
struct ScreenCells {
  char cells[SCREEN_ROWS][SCREEN_COLUMNS]; // printable ASCII only
  int row = 0;                             // cursor, 0..24
  int column = 0;                          // cursor, 0..79
};

ScreenCells screen = [] {
  ScreenCells s;
  std::memset(s.cells, ' ', sizeof s.cells);
  return s;
}();

struct TerminalState {
  bool drawn = false;      // the terminal library owns the terminal
  bool handedOver = false; // another process writes to it meanwhile
  bool tooSmall = false;   // the last draw found fewer than 80 x 25 cells
};

TerminalState terminal;

// Keys read while polling for Escape during a computation; readKey hands
// them out first so that typing ahead is not lost.
std::deque<int> pendingKeys;

// The screen log of script mode (KAV_SCREEN_LOG), opened at the first key.
std::FILE* screenLog = nullptr;
bool screenLogChecked = false;

// Escape sequences of Page Up / Page Down and the forms of Enter and
// Backspace differ between terminals; dialogs see one code for each.
int translateKey(int key) {
  switch (key) {
  case KEY_PPAGE: return PAGE_UP_KEY;
  case KEY_NPAGE: return PAGE_DOWN_KEY;
  case KEY_ENTER:
  case '\n':
  case '\r': return ENTER_KEY;
  case KEY_BACKSPACE:
  case 127:
  case BACKSPACE_KEY: return BACKSPACE_KEY;
  default: return key >= 0 && key <= 255 ? key : 0;
  }
}

void drawTooSmall(int rows, int columns) {
  werase(stdscr);
  char message[160];
  std::snprintf(message, sizeof message,
                "KAV needs a terminal of at least 80 x 25 characters; this one has %d x %d. "
                "Please enlarge it.",
                columns, rows);
  mvwaddstr(stdscr, 0, 0, message);
  wrefresh(stdscr);
}

void draw() {
  if (!terminal.drawn || terminal.handedOver) return;
  int rows, columns;
  getmaxyx(stdscr, rows, columns);
  if (rows < SCREEN_ROWS || columns < SCREEN_COLUMNS) {
    terminal.tooSmall = true;
    drawTooSmall(rows, columns);
    return;
  }
  if (terminal.tooSmall) {
    terminal.tooSmall = false;
    werase(stdscr);
  }
  for (int r = 0; r < SCREEN_ROWS; ++r)
    for (int c = 0; c < SCREEN_COLUMNS; ++c)
      mvwaddch(stdscr, r, c, static_cast<chtype>(static_cast<unsigned char>(screen.cells[r][c])));
  wmove(stdscr, screen.row, screen.column);
  wrefresh(stdscr);
}

void redrawEverything() {
  clearok(curscr, TRUE);
  draw();
}

void restoreOnSignal(int signalNumber) { endBySignal(signalNumber); }

void installRestoreHandlers() {
  for (int s : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT, SIGTERM, SIGHUP, SIGQUIT})
    std::signal(s, restoreOnSignal);
}

void appendToScreenLog() {
  if (!screenLogChecked) {
    screenLogChecked = true;
    if (const char* path = std::getenv("KAV_SCREEN_LOG"); path && path[0]) screenLog = std::fopen(path, "ab");
  }
  if (!screenLog) return;
  const std::string text = screenText();
  std::fwrite(text.data(), 1, text.size(), screenLog);
  std::fprintf(screenLog, "%s\n", SCREEN_LOG_SEPARATOR);
  std::fflush(screenLog);
}

int scriptKey() {
  appendToScreenLog();
  const int c = std::fgetc(session.scriptFile);
  if (c == EOF || c == CTRL_Z_KEY) endSession(255);
  return c;
}

int standardInputKey() {
  unsigned char c;
  for (;;) {
    const ssize_t got = ::read(0, &c, 1);
    if (got == 1) break;
    if (got < 0 && errno == EINTR) continue;
    endSession(255);
  }
  return c == '\n' ? ENTER_KEY : c == 127 ? BACKSPACE_KEY : c;
}

int terminalKey() {
  for (;;) {
    draw();
    wtimeout(stdscr, -1);
    const int key = wgetch(stdscr);
    if (key == ERR) continue; // interrupted by a signal
    if (key == KEY_RESIZE) {
      redrawEverything();
      continue;
    }
    // Keys typed at a picture that cannot be shown would act blindly.
    if (terminal.tooSmall) continue;
    return translateKey(key);
  }
}

void scrollWholeScreen() {
  std::memmove(screen.cells[0], screen.cells[1], sizeof(screen.cells[0]) * (SCREEN_ROWS - 1));
  std::memset(screen.cells[SCREEN_ROWS - 1], ' ', SCREEN_COLUMNS);
}

void lineFeed() {
  if (screen.row < SCREEN_ROWS - 1) ++screen.row;
  else scrollWholeScreen();
}

} // namespace

// --- The terminal -----------------------------------------------------------

void startScreen() {
  if (terminal.drawn || !::isatty(1)) return;
  // newterm, unlike initscr, answers an unknown terminal type with null
  // instead of ending the program; the session then runs undrawn.
  if (!newterm(nullptr, stdout, stdin)) return;
  terminal.drawn = true;
  raw();
  noecho();
  nonl();
  keypad(stdscr, TRUE);
  set_escdelay(25);
  installRestoreHandlers();
  redrawEverything();
}

void endScreen() {
  if (!terminal.drawn) return;
  if (terminal.handedOver) reset_prog_mode();
  terminal.handedOver = false;
  endwin();
  terminal.drawn = false;
}

void endBySignal(int signalNumber) {
  if (terminal.drawn && !terminal.handedOver) endwin();
  std::signal(signalNumber, SIG_DFL);
  // In its own handler the signal is blocked: let it through.
  sigset_t only;
  sigemptyset(&only);
  sigaddset(&only, signalNumber);
  ::sigprocmask(SIG_UNBLOCK, &only, nullptr);
  std::raise(signalNumber);
  std::_Exit(128 + signalNumber);
}

void endSession(int status) {
  endScreen();
  std::fflush(nullptr);
  std::exit(status);
}

void handOverTerminal() {
  if (!terminal.drawn || terminal.handedOver) return;
  draw();
  def_prog_mode();
  reset_shell_mode();
  terminal.handedOver = true;
}

void takeBackTerminal() {
  if (!terminal.drawn || !terminal.handedOver) return;
  reset_prog_mode();
  terminal.handedOver = false;
  redrawEverything();
}

void refreshScreen() { draw(); }

bool isScreenDrawn() { return terminal.drawn && !terminal.handedOver; }

// --- Screen operations ------------------------------------------------------

void clearScreen() {
  std::memset(screen.cells, ' ', sizeof screen.cells);
  screen.row = 0;
  screen.column = 0;
}

void clearToEndOfLine() {
  std::memset(&screen.cells[screen.row][screen.column], ' ', static_cast<std::size_t>(SCREEN_COLUMNS - screen.column));
}

void gotoXY(int x, int y) {
  screen.column = x < 1 ? 0 : x > SCREEN_COLUMNS ? SCREEN_COLUMNS - 1 : x - 1;
  screen.row = y < 1 ? 0 : y > SCREEN_ROWS ? SCREEN_ROWS - 1 : y - 1;
}

int whereX() { return screen.column; }
int whereY() { return screen.row; }

void setColumn(int x) { screen.column = x < 0 ? 0 : x >= SCREEN_COLUMNS ? SCREEN_COLUMNS - 1 : x; }

void newLineIfRoom() {
  if (screen.row >= 23) return;
  screen.column = 0;
  ++screen.row;
}

void twoBreaks() {
  newLineIfRoom();
  newLineIfRoom();
}

void scrollUpOneLine() {
  std::memmove(screen.cells[0], screen.cells[1], sizeof(screen.cells[0]) * (SCREEN_ROWS - 1));
}

void writeChar(char c) {
  switch (c) {
  case '\n':
    screen.column = 0;
    lineFeed();
    return;
  case '\r': screen.column = 0; return;
  case '\t': {
    const int next = (screen.column / 8 + 1) * 8;
    while (screen.column < next && screen.column < SCREEN_COLUMNS - 1) writeChar(' ');
    if (next >= SCREEN_COLUMNS) writeChar(' ');
    return;
  }
  case '\a': return;
  default: break;
  }
  const auto byte = static_cast<unsigned char>(c);
  screen.cells[screen.row][screen.column] = byte >= 32 && byte < 127 ? c : '?';
  if (++screen.column == SCREEN_COLUMNS) {
    screen.column = 0;
    lineFeed();
  }
}

void writeText(std::string_view text) {
  for (char c : text) writeChar(c);
}

void writeFormat(const char* format, ...) {
  char buffer[1024];
  va_list args;
  va_start(args, format);
  const int length = std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  if (length < 0) return;
  writeText(std::string_view(buffer, std::min<std::size_t>(static_cast<std::size_t>(length), sizeof buffer - 1)));
}

void echoKey(int key) {
  if (key >= 32 && key < 127) writeChar(static_cast<char>(key));
}

void showEscHint() {
  const int row = screen.row, column = screen.column;
  screen.row = 23;
  screen.column = 0;
  clearToEndOfLine();
  writeText("Press <ESC> to cancel");
  screen.row = row;
  screen.column = column;
}

std::string abbreviate(std::string_view text, int limit) {
  if (limit < 8 || static_cast<int>(text.size()) < limit) return std::string(text);
  std::string out(text.substr(0, 3));
  out += "...";
  out += text.substr(text.size() - static_cast<std::size_t>(limit - 7));
  return out;
}

void printAbbreviated(std::string_view text, int limit) { writeText(abbreviate(text, limit)); }

void writeStatusLine(int row, std::string_view text) {
  screen.row = row;
  screen.column = 0;
  clearToEndOfLine();
  writeText(text.substr(0, SCREEN_COLUMNS - 1));
}

void waitForEnterToReturn() {
  writeStatusLine(23, std::string("Press <Enter> to return to ") + PROGRAM_NAME + " Procedures  ");
  while (readKey() != ENTER_KEY) {
  }
}

void showOutOfMemory() {
  writeStatusLine(22, "Problem too large -- out of memory!");
  newLineIfRoom();
}

// --- Keys --------------------------------------------------------------------

int readKey() {
  if (session.autotest && session.scriptFile) return scriptKey();
  if (!pendingKeys.empty()) {
    const int key = pendingKeys.front();
    pendingKeys.pop_front();
    return key;
  }
  if (terminal.drawn && !terminal.handedOver) return terminalKey();
  return standardInputKey();
}

bool pollEscape(int milliseconds) {
  if (session.autotest || !terminal.drawn || terminal.handedOver) return false;
  wtimeout(stdscr, milliseconds);
  const int key = wgetch(stdscr);
  wtimeout(stdscr, -1);
  if (key == ERR) return false;
  if (key == KEY_RESIZE) {
    redrawEverything();
    return false;
  }
  const int translated = translateKey(key);
  if (translated == ESCAPE_KEY) return true;
  pendingKeys.push_back(translated);
  return false;
}

// --- Read-back ----------------------------------------------------------------

std::string screenRow(int row) {
  if (row < 0 || row >= SCREEN_ROWS) return {};
  return std::string(screen.cells[row], SCREEN_COLUMNS);
}

std::string screenText() {
  std::string text;
  text.reserve(SCREEN_ROWS * (SCREEN_COLUMNS + 1));
  for (int r = 0; r < SCREEN_ROWS; ++r) {
    std::string row = screenRow(r);
    row.erase(row.find_last_not_of(' ') + 1);
    text += row;
    text += '\n';
  }
  return text;
}

} // namespace kav
