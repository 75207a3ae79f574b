#include "console/menus.h"

#include <dirent.h>

#include <cctype>
#include <cstring>
#include <iterator>
#include <new>
#include <string>

#include "console/dialogs/dialogs.h"
#include "console/directoryLock.h"
#include "console/screen.h"
#include "engine/startup.h"
#include "model/version.h"
#include "model/session.h"

namespace kav {

namespace {

// One code of a menu. A null dialog is a procedure this version lacks;
// choosing it says so.
struct MenuEntry {
  const char* keys;  // one key, or two ("1\r" is 1 then Enter)
  Dialog dialog;     // null: not available
  const char* name;  // the procedure's name, for the not-available note
};

// A text at a fixed place of a menu screen.
struct MenuText {
  int column;
  int row;
  const char* text;
};

const char* onOff(bool on) { return on ? "On" : "Off"; }

// Runs a dialog with the interactive side of the memory policy: memory
// exhausted anywhere in it ends the dialog with the out-of-memory message.
void runDialog(const MenuEntry& entry) {
  if (!entry.dialog) {
    showUnavailable(entry.name);
    return;
  }
  try {
    entry.dialog();
  } catch (const std::bad_alloc&) {
    showOutOfMemory();
    waitForEnterToReturn();
  }
}

// A procedure works in the user directory, which this session must hold:
// a directory created after the start is taken when first used, and one
// that another session took meanwhile is refused.
bool holdsUserDirectory() {
  if (lockUserDirectory(session.userDir) != DIRECTORY_BUSY) return true;
  clearScreen();
  twoBreaks();
  writeText("The user directory " + session.userDirLine + " is in use by another " + PROGRAM_NAME + " session.");
  twoBreaks();
  writeText("Use R in the main menu to name another directory.");
  waitForEnterToReturn();
  return false;
}

// runDialog for the procedures of the procedures and development menus.
void runProcedure(const MenuEntry& entry) {
  if (holdsUserDirectory()) runDialog(entry);
}

void writeAt(int column, int row, const char* text) {
  moveCursor(column, row);
  writeText(text);
}

// "Number files" counts every entry but "." and ".."; -1 when the
// directory cannot be listed.
long countUserFiles() {
  DIR* listing = ::opendir(session.userDir.c_str());
  if (!listing) return -1;
  long count = 0;
  while (const dirent* entry = ::readdir(listing))
    if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0) ++count;
  ::closedir(listing);
  return count;
}

void drawDirectoryFooter() {
  gotoXY(6, 22);
  writeText("User directory: ");
  printAbbreviated(session.userDirLine, 59);
  gotoXY(6, 23);
  const long count = countUserFiles();
  if (count < 0) writeText("Number files: DIRECTORY NOT SET!");
  else writeFormat("Number files: %ld", count);
}

// Reads keys at the cursor until one of `keySet` comes (in upper case);
// a wrong key shows briefly and is overwritten by the next.
int readMenuKey(const char* keySet, bool upperBeforeEcho) {
  const int column = whereX(), row = whereY();
  for (;;) {
    moveCursor(column, row);
    clearToEndOfLine();
    int key = readKey();
    if (upperBeforeEcho) key = std::toupper(key);
    echoKey(key);
    key = std::toupper(key);
    moveCursor(column, row);
    if (key != 0 && std::strchr(keySet, key)) return key;
  }
}

// The part of a menu loop after the first key: finds the code, reading
// the second key when the first one starts two-key codes, and runs it.
void dispatch(int first, const MenuEntry* entries, std::size_t count) {
  bool needsSecond = false;
  for (std::size_t k = 0; k < count; ++k) {
    if (entries[k].keys[0] != first) continue;
    if (entries[k].keys[1] == '\0') {
      runProcedure(entries[k]);
      return;
    }
    needsSecond = true;
  }
  if (!needsSecond) return;
  setColumn(whereX() + 1);
  clearToEndOfLine();
  int second = readKey();
  echoKey(second);
  second = std::toupper(second);
  for (std::size_t k = 0; k < count; ++k)
    if (entries[k].keys[0] == first && entries[k].keys[1] == second) {
      runProcedure(entries[k]);
      return;
    }
}

// --- The procedures menu ----------------------------------------------------------

const MenuText PROCEDURE_TEXTS[] = {
    {5, 5, " 0: Create"},          {5, 6, " 1: Selfloop"},      {5, 7, " 2: Trim"},
    {5, 8, " 3: Sync"},            {5, 9, " 4: Meet"},          {5, 10, " 5: Supcon"},
    {5, 11, " 6: Mutex"},          {5, 12, " 7: Condat"},       {5, 13, " 8: Supreduce"},
    {5, 14, " 9: Minstate"},       {5, 15, "10: Complement"},   {5, 16, "11: Localize"},
    {5, 17, "12: Force"},          {31, 5, "P0: Project"},      {31, 6, "R0: Relabel"},
    {31, 8, "H0: Vocalize"},       {31, 9, "H1: Outconsis"},    {31, 10, "H2: Hiconsis"},
    {31, 11, "H3: Higen"},         {31, 12, "H4: Allevents"},   {31, 14, "SN: Supnorm"},
    {31, 15, "SS: Supscop"},       {31, 16, "RR: Supconrobs"},  {31, 17, "QC: Sup(s)qc"},
    {53, 5, "I: Isomorph"},        {53, 6, "NC: Nonconflict"},  {53, 7, "OB: (S)Observable"},
    {53, 8, "NO: Natobs"},         {53, 9, "SR: Suprobs"},      {53, 10, "UM: Uncertmod"},
    {53, 11, "E: Edit"},           {53, 12, "B: BFS-recode"},   {53, 13, "UD: User file Directory"},
    {53, 14, "SE/SA/SX: Show DES/DAT/TXT"},
    {53, 15, "FE/FA/FD: File DES/DAT/ADS"},
    {53, 16, "CE/DE: Convert/Display DES"},
    {53, 17, "X: Exit to main menu"},
};

DialogResult developmentMenu1() {
  runDevelopmentMenu1();
  return DONE;
}

DialogResult developmentMenu2() {
  runDevelopmentMenu2();
  return DONE;
}

const MenuEntry PROCEDURE_CODES[] = {
    {"0", createDialog, "Create"},
    {"1\r", selfloopDialog, "Selfloop"},
    {"10", complementDialog, "Complement"},
    {"11", localizeDialog, "Localize"},
    {"12", forceDialog, "Force"},
    {"2", trimDialog, "Trim"},
    {"3", syncDialog, "Sync"},
    {"4", meetDialog, "Meet"},
    {"5", supconDialog, "Supcon"},
    {"6", mutexDialog, "Mutex"},
    {"7", condatDialog, "Condat"},
    {"8", supreduceDialog, "Supreduce"},
    {"9", minstateDialog, "Minstate"},
    {"B", bfsRecodeDialog, "BFS-recode"},
    {"CE", convertDialog, "Convert DES"},
    {"DE", displayDialog, "Display DES"},
    {"E", editDialog, "Edit"},
    {"FA", fileDatDialog, "File DAT"},
    {"FD", fileAdsDialog, "File ADS"},
    {"FE", fileDesDialog, "File DES"},
    {"H0", vocalizeDialog, "Vocalize"},
    {"H1", outconsisDialog, "Outconsis"},
    {"H2", hiconsisDialog, "Hiconsis"},
    {"H3", higenDialog, "Higen"},
    {"H4", alleventsDialog, "Allevents"},
    {"I", isomorphDialog, "Isomorph"},
    {"MA", openSessionLog, "Session log"},
    {"NC", nonconflictDialog, "Nonconflict"},
    {"NO", natobsDialog, "Natobs"},
    {"OB", observableDialog, "(S)Observable"},
    {"P0", projectDialog, "Project"},
    {"PA", printDatDialog, "Print DAT"},
    {"PE", printDesDialog, "Print DES"},
    {"PX", printTxtDialog, "Print TXT"},
    {"QC", supqcDialog, "Sup(s)qc"},
    {"R0", relabelDialog, "Relabel"},
    {"RR", supconrobsDialog, "Supconrobs"},
    {"SA", showDatDialog, "Show DAT"},
    {"SE", showDesDialog, "Show DES"},
    {"SX", showTxt, "Show TXT"},
    {"SN", supnormDialog, "Supnorm"},
    {"SR", suprobsDialog, "Suprobs"},
    {"SS", supscopDialog, "Supscop"},
    {"UD", showUserDirectory, "User file directory"},
    {"UM", uncertmodDialog, "Uncertmod"},
    {"Z1", developmentMenu1, "Development menu 1"},
    {"Z2", developmentMenu2, "Development menu 2"},
};

void drawProceduresMenu() {
  clearScreen();
  gotoXY(32, 4);
  writeFormat("%s PROCEDURES", PROGRAM_NAME);
  for (const MenuText& t : PROCEDURE_TEXTS) writeAt(t.column, t.row, t.text);
  drawDirectoryFooter();
  writeAt(31, 19, "Procedure desired: ");
}

// --- The development menus ---------------------------------------------------------

// Experimental procedures. The entries without a dialog stay listed and
// say that this version lacks them.
const MenuEntry DEVELOPMENT_1[] = {
    {"0", pathToBlockDialog, "Path-to-Block"}, {"1", shortestPathDialog, "Shortest-path"}, {"2", nullptr, "ExtOCC"},
    {"3", nullptr, "ExLocalize"},    {"4", nullptr, "SupQC&LCC"},         {"5", nullptr, "Suprobs(language)"},
};
const MenuEntry DEVELOPMENT_2[] = {
    {"0", nullptr, "Supcon"},      {"1", attachDialog, "Attach"},  {"2", nullptr, "Ehmeet"},
    {"3", nullptr, "Ehsync"},      {"4", nullptr, "Project"}, {"5", nullptr, "RelObs"},
    {"6", nullptr, "SupRelCoObs"}, {"7", nullptr, "Synthsupobs"}, {"8", statemapDialog, "Statemap"},
};

void runDevelopmentMenu(const MenuEntry* entries, std::size_t count) {
  for (;;) {
    clearScreen();
    gotoXY(32, 4);
    writeFormat("%s DEVELOPMENT", PROGRAM_NAME);
    for (std::size_t k = 0; k < count; ++k) {
      moveCursor(5, 5 + static_cast<int>(k));
      writeFormat("%s: %s", entries[k].keys, entries[k].name);
    }
    writeAt(53, 16, "X: Exit to KAV PROCEDURES");
    drawDirectoryFooter();
    writeAt(31, 19, "Procedure desired: ");
    const int key = readMenuKey("0123456789X", true);
    if (key == 'X') return;
    dispatch(key, entries, count);
  }
}

} // namespace

void drawStartupPicture() {
  static const char* const LINES[] = {
      "         OOOOO                   KK    KK     AAA     VV     VV",
      "       O       O                 KK  KK      AA AA    VV     VV",
      "<----> O       O                 KKKK       AA   AA    VV   VV",
      "       O       O                 KKKK       AAAAAAA     VV VV",
      "         OOOOO                   KK  KK    AA     AA     VVV",
      "        /     \\                  KK    KK  AA     AA      V",
      "       /       \\",
      "      /         \\",
      "     v           v",
      "   OOOOO       OOOOO",
      "  O     O     O     O",
      "  O     O<--->O     O",
      "  O     O     O     O",
      "   OOOOO       OOOOO",
  };
  int row = 5;
  for (const char* line : LINES) writeAt(7, row++, line);
  gotoXY(32, 13);
  writeFormat("%s %s", PROGRAM_NAME, PROGRAM_VERSION);
}

void runMainMenu() {
  for (;;) {
    clearScreen();
    gotoXY(25, 5);
    writeFormat("PROGRAM %s", PROGRAM_NAME);
    writeAt(24, 7, "MAIN OPTIONS");
    gotoXY(25, 10);
    writeFormat("I:  Introduction to %s", PROGRAM_NAME);
    gotoXY(25, 11);
    writeFormat("T:  %s Procedures", PROGRAM_NAME);
    writeAt(24, 11, "R:  Reset USER File Directory Path");
    gotoXY(25, 13);
    writeFormat("B:  Bell (%s)", onOff(session.bellOn));
    gotoXY(25, 14);
    writeFormat("D:  Debug mode (%s)", onOff(session.debugMode));
    gotoXY(25, 15);
    writeFormat("C:  Clocking mode (%s)", onOff(session.clockingMode));
    gotoXY(25, 16);
    writeFormat("X:  Quit %s", PROGRAM_NAME);
    writeAt(24, 19, "Option desired?    ");
    switch (readMenuKey("IRBTXDC", false)) {
    case 'I': runDialog({"I", openIntroduction, "Introduction"}); break;
    case 'T': runProceduresMenu(); break;
    case 'R': runDialog({"R", resetUserDirectory, "Reset"}); break;
    case 'B': session.bellOn = !session.bellOn; break;
    case 'D': session.debugMode = !session.debugMode; break;
    case 'C':
      session.clockingMode = !session.clockingMode;
      saveIni();
      break;
    case 'X': return;
    }
  }
}

void runProceduresMenu() {
  for (;;) {
    drawProceduresMenu();
    const int key = readMenuKey("0123456789ABCDEFHIMNOPQRSUXZ", true);
    if (key == 'X') return;
    dispatch(key, PROCEDURE_CODES, std::size(PROCEDURE_CODES));
  }
}

void runDevelopmentMenu1() { runDevelopmentMenu(DEVELOPMENT_1, std::size(DEVELOPMENT_1)); }

void runDevelopmentMenu2() { runDevelopmentMenu(DEVELOPMENT_2, std::size(DEVELOPMENT_2)); }

} // namespace kav
