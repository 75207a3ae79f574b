#include "console/lineEditors.h"

#include <algorithm>
#include <cctype>
#include <charconv>

#include "console/screen.h"
#include "model/des.h"

namespace kav {

namespace {

enum TextKind { NAME_TEXT, FREE_TEXT };

// The first row free for a note under a field on this row.
constexpr int NOTE_ROW = 22;
constexpr int LOWER_NOTE_ROW = 24;

// Why a key or an entry was refused, on a status row until the next key:
// row 22 under the field, or row 24 for a field on row 22 or below. The
// row's own text comes back when the note goes.
struct RefusalNote {
  int row = -1;      // the row showing the note, -1 when none shows
  std::string saved; // what the row held before
};

void showNote(RefusalNote& note, int fieldRow, const std::string& reason) {
  if (note.row < 0) {
    note.row = fieldRow < NOTE_ROW ? NOTE_ROW : LOWER_NOTE_ROW;
    note.saved = screenRow(note.row);
  }
  writeStatusLine(note.row, reason);
}

void withdrawNote(RefusalNote& note) {
  if (note.row < 0) return;
  restoreRow(note.row, note.saved);
  note.row = -1;
}

// The text of a field from `column`: whole when it fits before the last
// column, else "..." and its end, so the cursor stays on the row.
std::string visiblePart(const std::string& text, int column) {
  const auto room = static_cast<std::size_t>(std::max(SCREEN_COLUMNS - 1 - column, 4));
  if (text.size() <= room) return text;
  return "..." + text.substr(text.size() - (room - 3));
}

int editText(std::string& buffer, int maxLen, TextKind kind) {
  const int row = whereY(), column = whereX();
  std::string text;
  RefusalNote note;
  for (;;) {
    moveCursor(column, row);
    clearToEndOfLine();
    writeText(visiblePart(text, column));
    int key = readKey();
    withdrawNote(note);
    if (kind == NAME_TEXT) key = std::toupper(key);
    if (key < 32) {
      if (key == BACKSPACE_KEY && !text.empty()) text.pop_back();
      else if (key == ESCAPE_KEY) return ESCAPE_KEY;
      else if (key == ENTER_KEY && text.empty())
        showNote(note, row, kind == NAME_TEXT ? "Type a name, or press <ESC> to cancel." : "Type it, or press <ESC> to cancel.");
      else if (key == ENTER_KEY && static_cast<int>(text.size()) <= maxLen) {
        buffer = text;
        return ENTER_KEY;
      }
      continue;
    }
    if (key > 126 || (text.empty() && key == ' ')) continue;
    if (static_cast<int>(text.size()) >= maxLen) {
      showNote(note, row, "At most " + std::to_string(maxLen) + " characters.");
      continue;
    }
    if (kind == NAME_TEXT && key == '/') {
      showNote(note, row, "A name cannot hold '/'.");
      continue;
    }
    text += static_cast<char>(key);
  }
}

int decimalLength(long value) { return static_cast<int>(std::to_string(value).size()); }

// What a number field takes: lo..hi, and the one letter that may stand
// alone in it ('*' or 'e', 0 for none) with the value it gives.
struct NumberField {
  long lo;
  long hi;
  char extra;
  long extraValue;
};

// The reason a text is not taken, said with what the field takes.
std::string refusalReason(const NumberField& field, const std::string& typed) {
  std::string takes;
  if (field.extra == 'e') {
    takes = typed == std::to_string(EPSILON_LABEL) ? "labels are 0 to 999: use e for the silent event."
                                                    : "labels are 0 to 999 (e for the silent event, -1 to end).";
  } else if (field.extra == '*') {
    takes = field.hi < 0 ? "there are no states (-1 ends the list)."
                         : "states are 0 to " + std::to_string(field.hi) + " (* for all, -1 to end).";
  } else {
    takes = "enter a number from " + std::to_string(field.lo) + " to " + std::to_string(field.hi) + ".";
  }
  if (typed.empty()) {
    takes[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(takes[0])));
    return takes;
  }
  return typed + " is refused: " + takes;
}

long editNumber(int& lastKey, const NumberField& field) {
  const int row = whereY(), column = whereX();
  const int width = std::max(decimalLength(field.lo), decimalLength(field.hi));
  std::string text;
  // A key that did not fit makes the text a truncated number: Enter stays
  // refused until Backspace has changed it.
  std::string overflow;
  RefusalNote note;
  for (;;) {
    moveCursor(column, row);
    clearToEndOfLine();
    writeText(text);
    int key = readKey();
    withdrawNote(note);
    if (field.extra == 'e' && key == 'E') key = 'e';
    lastKey = key;
    if (key == ESCAPE_KEY) return 0;
    if (key == BACKSPACE_KEY) {
      if (!overflow.empty()) overflow.clear();
      if (!text.empty()) text.pop_back();
      continue;
    }
    if (key == ENTER_KEY) {
      if (!overflow.empty()) {
        showNote(note, row, refusalReason(field, overflow));
        continue;
      }
      if (field.extra && text.size() == 1 && text[0] == field.extra) {
        lastKey = field.extra;
        return field.extraValue;
      }
      if (isValidNumber(text, field.lo, field.hi)) {
        long value = 0;
        std::from_chars(text.data(), text.data() + text.size(), value);
        return value;
      }
      showNote(note, row, refusalReason(field, text));
      continue;
    }
    const bool digit = key >= '0' && key <= '9';
    if (!digit && !(key == '-' && text.empty()) && !(field.extra && key == field.extra)) continue;
    if (static_cast<int>(text.size()) >= width) {
      if (overflow.empty()) overflow = text;
      overflow += static_cast<char>(key);
      showNote(note, row, refusalReason(field, overflow));
      continue;
    }
    text += static_cast<char>(key);
  }
}

} // namespace

int readName(std::string& buffer, int maxLen) { return editText(buffer, maxLen, NAME_TEXT); }

int readText(std::string& buffer, int maxLen) { return editText(buffer, maxLen, FREE_TEXT); }

bool isValidNumber(std::string_view text, long lo, long hi) {
  if (text == "0") return lo < 1 && hi >= 0;
  long value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return false;
  return value != 0 && value >= lo && value <= hi;
}

long readIntInRange(int& lastKey, long lo, long hi) { return editNumber(lastKey, {lo, hi, 0, 0}); }

long readStateOrStar(int& lastKey, long hi) { return editNumber(lastKey, {-1, hi, '*', 0}); }

long readEventOrE(int& lastKey) { return editNumber(lastKey, {-1, MAX_ORDINARY_LABEL, 'e', EPSILON_LABEL}); }

} // namespace kav
