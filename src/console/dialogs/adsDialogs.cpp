// FD: ADS text files to DES, one file with the full error listing, or
// every ADS file of the user directory with a list of those that failed.
// The conversion runs here, in the interactive process: parsing is quick,
// and the error listing needs the parser's records.

#include <dirent.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>
#include <vector>

#include "console/dialogs/dialogs.h"
#include "console/lineEditors.h"
#include "console/screen.h"
#include "console/sessionLog.h"
#include "model/desfile.h"
#include "model/safefile.h"
#include "model/session.h"
#include "model/userfiles.h"
#include "output/ads.h"

namespace kav {

namespace {

constexpr const char* TITLE_WORD = "FILE";
constexpr const char* TITLE_FORMULA = "DES2 = FILE (ADS1)";
// The longest name the prompts take.
constexpr int NAME_LENGTH = 20;

void startPage() {
  clearScreen();
  showTitle(TITLE_WORD, TITLE_FORMULA);
}

void logConversion(const std::string& name, const DES& des) {
  appendLogWrapped(adsCreateLogEntry(name, des), static_cast<int>(name.size()) + 3);
}

// "Error writing file: ..." and the Enter pause.
void reportSaveFailure(const std::string& name) {
  breakPageIfFull(20);
  writeFormat("Error writing file: %s%s%s", session.userDir.c_str(), name.c_str(), ".DES");
  waitForEnterToReturn();
}

// The name of DES2 when it is to be that of ADS1: an existing DES asks
// whether to overwrite it, and any answer but y or Enter asks for another
// name, checked the same way.
PromptStatus confirmSameName(std::string& name) {
  for (;;) {
    if (!userFileExists(name, ".DES")) return PROMPT_OK;
    const Answer answer = askYesNo("Filename " + name + " already exists.  OK to overwrite?  (*y/n)  ", 22, Answer::NO);
    if (answer == Answer::CANCEL) return PROMPT_CANCELLED;
    if (answer != Answer::NO) return PROMPT_OK;
    breakPageIfFull();
    writeText("Enter new name for DES2 ...............  ");
    showEscHint();
    std::string typed;
    if (readName(typed, NAME_LENGTH) == ESCAPE_KEY) return PROMPT_CANCELLED;
    newLineIfRoom();
    name = std::string(trimNameBlanks(typed));
  }
}

DialogResult fileOneAds() {
  startPage();
  std::string ads, des2;
  if (promptFileName("Enter name of ADS1 ........  ", ".ADS", ads, false) != PROMPT_OK) return CANCELLED;
  const Answer answer = askYesNo("Same name for DES2?   (*y/n)   ");
  if (answer == Answer::CANCEL) return CANCELLED;
  if (answer == Answer::NO) {
    if (promptFileName("Enter new name for DES2 ....  ", ".DES", des2, true) != PROMPT_OK) return CANCELLED;
  } else {
    des2 = ads;
    if (confirmSameName(des2) != PROMPT_OK) return CANCELLED;
  }

  const std::string path = userPath(ads, ".ADS");
  DES des;
  const std::vector<AdsError> errors = parseAdsFile(path, des);
  if (!errors.empty()) {
    if (whereY() > 11) startPage();
    // The path is shortened so that the heading keeps to one row.
    for (const std::string& line : adsErrorListing(abbreviate(path, 57), errors)) {
      writeText(line.substr(0, SCREEN_COLUMNS - 1));
      newLineIfRoom();
    }
    waitForEnterToReturn();
    return FAILED;
  }
  if (saveDES(des2, des, 0) != SAVE_OK) {
    reportSaveFailure(des2);
    return FAILED;
  }
  logConversion(des2, des);
  breakPageIfFull(20);
  const std::string filed = des2 + " has been filed as ";
  const std::string target = userPath(des2, ".DES");
  writeText(filed);
  if (filed.size() + target.size() >= SCREEN_COLUMNS) newLineIfRoom();
  printAbbreviated(target, SCREEN_COLUMNS);
  showResultSizes({resultSizeText(des2, des)});
  waitForEnterToReturn();
  return DONE;
}

// --- All files -----------------------------------------------------------------------

bool hasAdsExtension(const std::string& name) {
  const std::size_t dot = name.rfind('.');
  if (dot == std::string::npos) return false;
  std::string extension = name.substr(dot + 1);
  for (char& c : extension) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return extension == "ADS";
}

std::vector<std::string> listAdsFiles() {
  std::vector<std::string> names;
  DIR* listing = ::opendir(session.userDir.c_str());
  if (!listing) return names;
  while (const dirent* entry = ::readdir(listing)) {
    if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
    if (hasAdsExtension(entry->d_name)) names.push_back(entry->d_name);
  }
  ::closedir(listing);
  std::sort(names.begin(), names.end());
  return names;
}

// The failure list, paged: names in columns as wide as the longest needs.
DialogResult showFailures(int successes, const std::vector<std::string>& failures) {
  // Names are cut so that a one-column row still fits the screen.
  constexpr std::size_t LONGEST_SHOWN = 66;
  std::size_t widest = 0;
  for (const std::string& name : failures) widest = std::max(widest, std::min(name.size(), LONGEST_SHOWN));
  const std::size_t w = widest + 2;
  const int cellWidth = w < 17 ? 17 : w < 34 ? 34 : 68;
  const int perRow = cellWidth == 17 ? 4 : cellWidth == 34 ? 2 : 1;

  // The index of each page's first name, so that U goes back exactly.
  std::vector<std::size_t> pageStarts{0};
  std::size_t page = 0;
  for (;;) {
    startPage();
    writeFormat("Number of successful filings is: %d", successes);
    twoBreaks();
    writeText("Failures:  ");
    std::size_t k = pageStarts[page];
    for (int column = 0; k < failures.size(); ++k) {
      if (column == perRow) {
        newLineIfRoom();
        if (whereY() >= 19) break;
        writeText(std::string(11, ' '));
        column = 0;
      }
      std::string cell = failures[k].substr(0, LONGEST_SHOWN);
      cell.resize(static_cast<std::size_t>(cellWidth - 2), ' ');
      writeText(cell + "  ");
      ++column;
    }
    const bool atEnd = k >= failures.size();
    gotoXY(1, 21);
    writeText("Locate .ADS errors by inspection or by FD/ADS->DES/Option 1.");
    gotoXY(1, 22);
    writeText("Use your ASCII Editor to correct.");
    writeStatusLine(23, "D=PgDn  U=PgUp  Esc (Exit)  ");
    const PageTurn turn = turnListingPage(pageStarts, page, k, atEnd);
    if (turn == PageTurn::ESCAPED || turn == PageTurn::FINISHED) return DONE;
  }
}

DialogResult fileAllAds() {
  writeStatusLine(22, "");
  writeStatusLine(23, "Processing:  Please wait...");
  refreshScreen();
  int successes = 0;
  std::vector<std::string> failures;
  for (const std::string& file : listAdsFiles()) {
    const std::string base = file.substr(0, file.rfind('.'));
    DES des;
    const AdsError error = parseAdsStream(openRegularStream(session.userDir + file), des);
    if (error.code != ADS_OK || !isValidFileName(base)) {
      failures.push_back(file);
      continue;
    }
    if (saveDES(base, des, 0) != SAVE_OK) {
      reportSaveFailure(base);
      failures.push_back(file);
      continue;
    }
    logConversion(base, des);
    ++successes;
  }
  if (!failures.empty()) return showFailures(successes, failures);
  startPage();
  writeFormat("Number of successful filings is: %d", successes);
  twoBreaks();
  writeFormat("Failures: %d", 0);
  waitForEnterToReturn();
  return DONE;
}

} // namespace

DialogResult fileAdsDialog() {
  startPage();
  showEscHint();
  writeText("1.  File one .ADS to .DES");
  newLineIfRoom();
  writeText("2.  File all .ADS to .DES");
  twoBreaks();
  writeText("Please choose Option 1 or 2 ....  ");
  int key = 0;
  const long option = readIntInRange(key, 1, 2);
  if (key == ESCAPE_KEY) return CANCELLED;
  return option == 1 ? fileOneAds() : fileAllAds();
}

} // namespace kav
