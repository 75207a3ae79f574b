#include "console/lineEditors.h"

#include <algorithm>
#include <cctype>
#include <charconv>

#include "console/screen.h"
#include "model/des.h"

namespace kav {

namespace {

enum TextKind { NAME_TEXT, FREE_TEXT };

int editText(std::string& buffer, int maxLen, TextKind kind) {
  const int row = whereY(), column = whereX();
  std::string text;
  for (;;) {
    gotoXY(column + 1, row + 1);
    clearToEndOfLine();
    writeText(text);
    int key = readKey();
    if (kind == NAME_TEXT) key = std::toupper(key);
    if (key < 32) {
      if (key == BACKSPACE_KEY && !text.empty()) text.pop_back();
      else if (key == ESCAPE_KEY) return ESCAPE_KEY;
      else if (key == ENTER_KEY && !text.empty() && static_cast<int>(text.size()) <= maxLen) {
        buffer = text;
        return ENTER_KEY;
      }
      continue;
    }
    if (static_cast<int>(text.size()) >= maxLen || key > 126) continue;
    if (text.empty() && key == ' ') continue;
    if (kind == NAME_TEXT && key == '/') continue;
    text += static_cast<char>(key);
  }
}

int decimalLength(long value) { return static_cast<int>(std::to_string(value).size()); }

// The number editor; `extra` is the one letter that may stand alone in
// the field ('*' or 'e', 0 for none) and `extraValue` what it returns.
long editNumber(int& lastKey, long lo, long hi, char extra, long extraValue) {
  const int row = whereY(), column = whereX();
  const int width = std::max(decimalLength(lo), decimalLength(hi));
  std::string text;
  for (;;) {
    gotoXY(column + 1, row + 1);
    clearToEndOfLine();
    writeText(text);
    int key = readKey();
    if (extra == 'e' && key == 'E') key = 'e';
    lastKey = key;
    if (key == ESCAPE_KEY) return 0;
    if (key == BACKSPACE_KEY) {
      if (!text.empty()) text.pop_back();
      continue;
    }
    if (key == ENTER_KEY) {
      if (extra && text.size() == 1 && text[0] == extra) {
        lastKey = extra;
        return extraValue;
      }
      if (isValidNumber(text, lo, hi)) {
        long value = 0;
        std::from_chars(text.data(), text.data() + text.size(), value);
        return value;
      }
      continue;
    }
    if (static_cast<int>(text.size()) >= width) continue;
    const bool digit = key >= '0' && key <= '9';
    if (digit || (key == '-' && text.empty()) || (extra && key == extra)) text += static_cast<char>(key);
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

long readIntInRange(int& lastKey, long lo, long hi) { return editNumber(lastKey, lo, hi, 0, 0); }

long readStateOrStar(int& lastKey, long hi) { return editNumber(lastKey, -1, hi, '*', 0); }

long readEventOrE(int& lastKey) { return editNumber(lastKey, -1, MAX_ORDINARY_LABEL, 'e', EPSILON_LABEL); }

} // namespace kav
