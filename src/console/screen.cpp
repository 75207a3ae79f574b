#include "console/screen.h"

#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
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
  bool tooSmall = false;   // the last draw found fewer than 80 x 24 cells
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

// Keys that end the program from the too-small notice: Escape, q, and the
// control keys a user tries when a program seems stuck (Ctrl-C, Ctrl-D,
// Ctrl-Z, Ctrl-\), which arrive as plain bytes in raw mode.
bool isQuitKey(int key) {
  return key == ESCAPE_KEY || key == 'q' || key == 'Q' || key == 3 || key == 4 || key == CTRL_Z_KEY || key == 28;
}

[[noreturn]] void quitTooSmall() {
  endScreen();
  std::printf("%s ended: the terminal was smaller than %d x %d characters.\n", PROGRAM_NAME, SCREEN_COLUMNS,
              MIN_TERMINAL_ROWS);
  endSession(1);
}

bool isRowBlank(int row) {
  for (char c : screen.cells[row])
    if (c != ' ') return false;
  return true;
}

std::string trimmedRow(int row) {
  std::string text(screen.cells[row], SCREEN_COLUMNS);
  text.erase(text.find_last_not_of(' ') + 1);
  return text;
}

// text broken into lines of at most `width` characters at its blanks; a
// word longer than a line is cut.
std::vector<std::string> wrapWords(std::string_view text, int width) {
  std::vector<std::string> lines;
  if (width <= 0) return lines;
  const auto limit = static_cast<std::size_t>(width);
  std::string line;
  std::size_t k = 0;
  while (k < text.size()) {
    if (text[k] == ' ') {
      ++k;
      continue;
    }
    std::size_t end = text.find(' ', k);
    if (end == std::string_view::npos) end = text.size();
    std::string_view word = text.substr(k, end - k);
    k = end;
    if (!line.empty() && line.size() + 1 + word.size() > limit) {
      lines.push_back(line);
      line.clear();
    }
    while (word.size() > limit) {
      lines.emplace_back(word.substr(0, limit));
      word.remove_prefix(limit);
    }
    if (!line.empty()) line += ' ';
    line += word;
  }
  if (!line.empty()) lines.push_back(line);
  return lines;
}

// The size a script's screen log shows: LINES x COLUMNS when set, else the
// whole screen.
struct LogSize {
  int rows = SCREEN_ROWS;
  int columns = SCREEN_COLUMNS;
};

LogSize scriptTerminalSize() {
  static const LogSize size = [] {
    LogSize s;
    const auto read = [](const char* name, int& out) {
      if (const char* value = std::getenv(name); value && value[0]) {
        char* end = nullptr;
        const long n = std::strtol(value, &end, 10);
        if (*end == '\0' && n > 0 && n < 10000) out = static_cast<int>(n);
      }
    };
    read("LINES", s.rows);
    read("COLUMNS", s.columns);
    return s;
  }();
  return size;
}

void draw() {
  if (!terminal.drawn || terminal.handedOver) return;
  int rows, columns;
  getmaxyx(stdscr, rows, columns);
  terminal.tooSmall = isTerminalTooSmall(rows, columns);
  const std::vector<std::string> lines = terminalView(rows, columns);
  werase(stdscr);
  for (std::size_t r = 0; r < lines.size(); ++r) mvwaddnstr(stdscr, static_cast<int>(r), 0, lines[r].c_str(), columns);
  if (terminal.tooSmall) {
    wmove(stdscr, 0, 0);
  } else {
    const int folded = foldedRow(rows);
    wmove(stdscr, screen.row - (folded >= 0 && screen.row > folded ? 1 : 0), screen.column);
  }
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
  std::string text;
  for (const std::string& line : terminalView(scriptTerminalSize().rows, scriptTerminalSize().columns))
    text += line + '\n';
  std::fwrite(text.data(), 1, text.size(), screenLog);
  std::fprintf(screenLog, "%s\n", SCREEN_LOG_SEPARATOR);
  std::fflush(screenLog);
}

int scriptKey() {
  for (;;) {
    appendToScreenLog();
    const int c = std::fgetc(session.scriptFile);
    if (c == EOF || c == CTRL_Z_KEY) endSession(255);
    if (!isTerminalTooSmall(scriptTerminalSize().rows, scriptTerminalSize().columns)) return c;
    if (isQuitKey(c)) quitTooSmall();
  }
}

// Escape typed while the terminal is handed over (debug mode): its input
// is then read raw, without echo. An Escape followed in the same read by
// '[' or 'O' begins the sequence of another key (an arrow, a function
// key); other bytes are dropped, as nothing reads them meanwhile.
bool readEscapeFromTerminal(int milliseconds) {
  pollfd input{0, POLLIN, 0};
  if (::poll(&input, 1, milliseconds) <= 0 || !(input.revents & POLLIN)) return false;
  unsigned char bytes[64];
  const ssize_t got = ::read(0, bytes, sizeof bytes);
  for (ssize_t k = 0; k < got; ++k)
    if (bytes[k] == ESCAPE_KEY && (k + 1 == got || (bytes[k + 1] != '[' && bytes[k + 1] != 'O'))) return true;
  return false;
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
    if (terminal.tooSmall) {
      if (isQuitKey(key)) quitTooSmall();
      continue;
    }
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

const char* undrivableTerminal() {
  if (!::isatty(0)) return "standard input is not a terminal; the interactive console needs one (see kav --help)";
  if (!::isatty(1)) return "standard output is not a terminal; the interactive console needs one (see kav --help)";
  const char* type = std::getenv("TERM");
  if (!type || !type[0]) return "TERM is not set; the interactive console needs a terminal it can drive";
  if (std::strcmp(type, "dumb") == 0)
    return "TERM=dumb cannot be driven; the interactive console needs a full-screen terminal";
  return nullptr;
}

bool startScreen() {
  if (terminal.drawn) return true;
  if (!::isatty(1)) return false;
  // newterm, unlike initscr, answers an unknown terminal type with null
  // instead of ending the program.
  if (!newterm(nullptr, stdout, stdin)) return false;
  terminal.drawn = true;
  raw();
  noecho();
  nonl();
  keypad(stdscr, TRUE);
  set_escdelay(25);
  installRestoreHandlers();
  redrawEverything();
  return true;
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

void handOverTerminal(bool otherReadsKeys) {
  if (!terminal.drawn || terminal.handedOver) return;
  draw();
  def_prog_mode();
  reset_shell_mode();
  terminal.handedOver = true;
  if (otherReadsKeys) return;
  // Output as the shell has it, but keys unechoed and at once, so Escape
  // can be read (pollEscape) instead of showing as "^[". The child may
  // run in a process group of its own: TOSTOP off lets it write.
  termios modes;
  if (::tcgetattr(0, &modes) == 0) {
    modes.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | TOSTOP);
    modes.c_cc[VMIN] = 1;
    modes.c_cc[VTIME] = 0;
    ::tcsetattr(0, TCSANOW, &modes);
  }
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

void moveCursor(int column, int row) {
  screen.column = column < 0 ? 0 : column >= SCREEN_COLUMNS ? SCREEN_COLUMNS - 1 : column;
  screen.row = row < 0 ? 0 : row >= SCREEN_ROWS ? SCREEN_ROWS - 1 : row;
}

void gotoXY(int x, int y) { moveCursor(x - 1, y - 1); }

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
  // No source of keys (the session refuses to start so): as a script that ran out.
  endSession(255);
}

bool pollEscape(int milliseconds) {
  if (session.autotest || !terminal.drawn) return false;
  if (terminal.handedOver) return readEscapeFromTerminal(milliseconds);
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
  // Typed ahead at a screen the user could see; at the too-small notice
  // it would act blindly later.
  if (!terminal.tooSmall) pendingKeys.push_back(translated);
  return false;
}

// --- Read-back ----------------------------------------------------------------

std::string screenRow(int row) {
  if (row < 0 || row >= SCREEN_ROWS) return {};
  return std::string(screen.cells[row], SCREEN_COLUMNS);
}

void restoreRow(int row, std::string_view cells) {
  if (row < 0 || row >= SCREEN_ROWS) return;
  std::memset(screen.cells[row], ' ', SCREEN_COLUMNS);
  std::memcpy(screen.cells[row], cells.data(), std::min<std::size_t>(cells.size(), SCREEN_COLUMNS));
}

std::string screenText() {
  std::string text;
  text.reserve(SCREEN_ROWS * (SCREEN_COLUMNS + 1));
  for (int r = 0; r < SCREEN_ROWS; ++r) {
    text += trimmedRow(r);
    text += '\n';
  }
  return text;
}

bool isTerminalTooSmall(int rows, int columns) { return rows < MIN_TERMINAL_ROWS || columns < SCREEN_COLUMNS; }

int foldedRow(int rows) {
  if (rows >= SCREEN_ROWS || rows < MIN_TERMINAL_ROWS) return -1;
  const int bottom = SCREEN_ROWS - 1;
  if (screen.row != bottom && isRowBlank(bottom)) return bottom;
  for (int r = 0; r < bottom; ++r)
    if (r != screen.row && isRowBlank(r)) return r;
  return screen.row == 0 ? 1 : 0;
}

std::vector<std::string> terminalView(int rows, int columns) {
  if (isTerminalTooSmall(rows, columns)) {
    char notice[200];
    std::snprintf(notice, sizeof notice,
                  "%s needs a terminal of at least %d x %d characters; this one has %d x %d. "
                  "Please enlarge it, or press Esc or q to quit %s.",
                  PROGRAM_NAME, SCREEN_COLUMNS, MIN_TERMINAL_ROWS, columns, rows, PROGRAM_NAME);
    std::vector<std::string> lines = wrapWords(notice, columns);
    lines.resize(std::min(lines.size(), static_cast<std::size_t>(std::max(rows, 0))));
    return lines;
  }
  const int folded = foldedRow(rows);
  std::vector<std::string> lines;
  for (int r = 0; r < SCREEN_ROWS; ++r)
    if (r != folded) lines.push_back(trimmedRow(r));
  return lines;
}

} // namespace kav
