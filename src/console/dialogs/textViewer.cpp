// The text viewer (SX, and MA without a desktop viewer): a header line and
// 20 rows of the file per page, paged forwards and backwards.

#include <strings.h>
#include <sys/stat.h>

#include <cstdio>
#include <ctime>
#include <vector>

#include "console/dialogs/dialogs.h"
#include "console/screen.h"
#include "model/safefile.h"
#include "model/userfiles.h"

namespace kav {

namespace {

// The first row below the text: a page ends when the text reaches it.
constexpr int PAGE_END_ROW = 22;

// Where the text of a page goes, followed byte by byte exactly as the
// screen places it: a character in the last column wraps, a line feed
// breaks the line, a tab reaches the next multiple of 8.
struct PageCursor {
  int row;
  int column = 0;
  bool draw; // false: only measure

  void put(char c) {
    if (draw) writeChar(c);
    if (++column == SCREEN_COLUMNS) {
      column = 0;
      ++row;
    }
  }
  void lineFeed() {
    if (draw) newLineIfRoom();
    if (row < 23) {
      ++row;
      column = 0;
    }
  }
};

// Shows (or measures) one page from `offset`. Returns the offset of the
// next page; atEnd tells whether the file ended on this page.
long followPage(std::FILE* file, long offset, int startRow, bool draw, bool& atEnd) {
  std::fseek(file, offset, SEEK_SET);
  PageCursor cursor{startRow, 0, draw};
  long position = offset;
  atEnd = false;
  for (;;) {
    const int c = std::fgetc(file);
    if (c == EOF) {
      atEnd = true;
      return position;
    }
    ++position;
    if (c == '\r' || c > 254) continue;
    if (c == '\n') {
      cursor.lineFeed();
    } else if (c == '\t') {
      do cursor.put(' ');
      while (cursor.column % 8 != 0 && cursor.row < PAGE_END_ROW);
    } else {
      cursor.put(c < 32 ? '?' : static_cast<char>(c));
    }
    if (cursor.row >= PAGE_END_ROW) {
      atEnd = std::fgetc(file) == EOF;
      return position;
    }
  }
}

std::string modificationDate(const std::string& path) {
  struct stat info;
  if (::stat(path.c_str(), &info) != 0) return "";
  std::tm local{};
  ::localtime_r(&info.st_mtime, &local);
  char text[32];
  std::strftime(text, sizeof text, "%Y.%m.%d", &local);
  return text;
}

// Clears the screen and writes the header of the page at `offset`;
// answers the row where the text begins.
int writeHeader(const std::string& shownName, long size, long offset, const std::string& date) {
  clearScreen();
  const int percent = size > 0 ? static_cast<int>(static_cast<long long>(offset) * 100 / size) : 0;
  writeFormat("%s     %ld(%3d%%)%-35s DATE: %s", shownName.c_str(), size, percent, " ", date.c_str());
  newLineIfRoom();
  newLineIfRoom();
  return whereY();
}

} // namespace

PagerEnd pageTextFile(const std::string& path, const std::string& shownName, bool startAtLastPage) {
  std::FILE* file = openRegularStream(path);
  if (!file) {
    reportProblem("Error reading file: " + abbreviate(path, 59));
    return PAGER_ESCAPED;
  }
  std::fseek(file, 0, SEEK_END);
  const long size = std::ftell(file);
  const std::string date = modificationDate(path);

  // Every page start seen so far, so that U can go back.
  std::vector<long> pageStarts{0};
  if (startAtLastPage) {
    const int startRow = writeHeader(shownName, size, 0, date);
    for (bool atEnd = false;;) {
      const long next = followPage(file, pageStarts.back(), startRow, false, atEnd);
      if (atEnd) break;
      pageStarts.push_back(next);
    }
  }
  std::size_t page = pageStarts.size() - 1;
  for (;;) {
    const int startRow = writeHeader(shownName, size, pageStarts[page], date);
    bool atEnd = false;
    const long next = followPage(file, pageStarts[page], startRow, true, atEnd);
    writeStatusLine(23, " D=PgDn  U=PgUp  Esc (Exit Show)  ");
    const PageTurn turn = turnListingPage(pageStarts, page, next, atEnd);
    if (turn == PageTurn::ESCAPED || turn == PageTurn::FINISHED) {
      std::fclose(file);
      return turn == PageTurn::ESCAPED ? PAGER_ESCAPED : PAGER_FINISHED;
    }
  }
}

DialogResult showTxt() {
  clearScreen();
  showTitle("SHOW", "SHOW(TXT)");
  std::string file;
  if (promptTextFile("Enter name of TXT ...  ", "show", file) != PROMPT_OK) return CANCELLED;
  const bool isSessionLog = ::strcasecmp(file.c_str(), "MAKEIT.TXT") == 0;
  // The header names the file as typed: without the .TXT it did not need.
  const std::string shown = file.size() > 4 && ::strcasecmp(file.c_str() + file.size() - 4, ".TXT") == 0
                                ? file.substr(0, file.size() - 4)
                                : file;
  if (pageTextFile(userPath(file, ""), shown, isSessionLog) == PAGER_ESCAPED) return CANCELLED;
  waitForEnterToReturn();
  return DONE;
}

PromptStatus promptTextFile(std::string_view prompt, const char* command, std::string& fileOut) {
  // The files KAV writes as text (.PDS, .PDT, .ADS) and any other text
  // file are read too, named with their extension.
  const int row = whereY();
  writeStatusLine(22, "A name without extension is NAME.TXT; name others in full: SUPER.PDS, PLANT.ADS");
  moveCursor(0, row);
  for (;;) {
    if (promptAnyFile(prompt, ".TXT", fileOut) != PROMPT_OK) return PROMPT_CANCELLED;
    const std::size_t dot = fileOut.rfind('.');
    const std::string extension = dot == std::string::npos ? std::string() : fileOut.substr(dot);
    const bool isDes = ::strcasecmp(extension.c_str(), ".DES") == 0;
    if (!isDes && ::strcasecmp(extension.c_str(), ".DAT") != 0) {
      const int at = whereY();
      writeStatusLine(22, "");
      moveCursor(0, at);
      return PROMPT_OK;
    }
    // The binary files have dialogs of their own.
    const int at = whereY();
    writeStatusLine(22, std::string(isDes ? "This is a DES file." : "This is a DAT file.") + "  Use " + command +
                            (isDes ? " DES" : " DAT") + " command.");
    moveCursor(0, at);
  }
}

} // namespace kav
