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

// A text at a fixed place of a menu screen (0-based column and row).
struct MenuText {
  int column;
  int row;
  const char* text; // null: nothing shown
};

// One code of a menu. A null dialog is a procedure this version lacks;
// choosing it says so.
struct MenuEntry {
  const char* keys;    // one key, or two ("1\r" is 1 then Enter)
  Dialog dialog;       // null: not available
  const char* name;    // the procedure's name, for the not-available note
  MenuText shown = {}; // its line on the menu; no text for a hidden code or
                       // one that another entry's line names ("SE/SA/SX")
};

// A menu of procedures: its entries carry their keys and texts together,
// so that the keys it takes follow from them.
struct Menu {
  const char* title;        // "%s PROCEDURES", the program name for %s
  const MenuEntry* entries; // `count` of them, in drawing order
  std::size_t count;
  bool numbered;            // entries listed as "KEY: Name" from (5,5), one per row
  MenuText exit;            // the X line
  const char* quietKeys;    // first keys that start no code: the menu is drawn again
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

// The first keys a menu takes: those of its codes, its quiet keys and X.
std::string acceptedKeys(const Menu& menu) {
  std::string keys = std::string(menu.quietKeys) + "X";
  for (std::size_t k = 0; k < menu.count; ++k)
    if (keys.find(menu.entries[k].keys[0]) == std::string::npos) keys += menu.entries[k].keys[0];
  return keys;
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

void drawMenu(const Menu& menu) {
  clearScreen();
  gotoXY(32, 4);
  writeFormat(menu.title, PROGRAM_NAME);
  for (std::size_t k = 0; k < menu.count; ++k) {
    const MenuEntry& entry = menu.entries[k];
    if (menu.numbered) {
      moveCursor(5, 5 + static_cast<int>(k));
      writeFormat("%s: %s", entry.keys, entry.name);
    } else if (entry.shown.text) {
      writeAt(entry.shown.column, entry.shown.row, entry.shown.text);
    }
  }
  writeAt(menu.exit.column, menu.exit.row, menu.exit.text);
  drawDirectoryFooter();
  writeAt(31, 19, "Procedure desired: ");
}

// Draws the menu and runs the codes chosen until X.
void runMenu(const Menu& menu) {
  const std::string keys = acceptedKeys(menu);
  for (;;) {
    drawMenu(menu);
    const int key = readMenuKey(keys.c_str(), true);
    if (key == 'X') return;
    dispatch(key, menu.entries, menu.count);
  }
}

// --- The procedures menu ----------------------------------------------------------

DialogResult developmentMenu1() {
  runDevelopmentMenu1();
  return DONE;
}

DialogResult developmentMenu2() {
  runDevelopmentMenu2();
  return DONE;
}

// Three columns; the codes of the last block are hidden: MA opens the
// session log, PE/PA/PX print, Z1/Z2 lead to the development menus.
const MenuEntry PROCEDURE_CODES[] = {
    {"0", createDialog, "Create", {5, 5, " 0: Create"}},
    {"1\r", selfloopDialog, "Selfloop", {5, 6, " 1: Selfloop"}},
    {"2", trimDialog, "Trim", {5, 7, " 2: Trim"}},
    {"3", syncDialog, "Sync", {5, 8, " 3: Sync"}},
    {"4", meetDialog, "Meet", {5, 9, " 4: Meet"}},
    {"5", supconDialog, "Supcon", {5, 10, " 5: Supcon"}},
    {"6", mutexDialog, "Mutex", {5, 11, " 6: Mutex"}},
    {"7", condatDialog, "Condat", {5, 12, " 7: Condat"}},
    {"8", supreduceDialog, "Supreduce", {5, 13, " 8: Supreduce"}},
    {"9", minstateDialog, "Minstate", {5, 14, " 9: Minstate"}},
    {"10", complementDialog, "Complement", {5, 15, "10: Complement"}},
    {"11", localizeDialog, "Localize", {5, 16, "11: Localize"}},
    {"12", forceDialog, "Force", {5, 17, "12: Force"}},

    {"P0", projectDialog, "Project", {31, 5, "P0: Project"}},
    {"R0", relabelDialog, "Relabel", {31, 6, "R0: Relabel"}},
    {"H0", vocalizeDialog, "Vocalize", {31, 8, "H0: Vocalize"}},
    {"H1", outconsisDialog, "Outconsis", {31, 9, "H1: Outconsis"}},
    {"H2", hiconsisDialog, "Hiconsis", {31, 10, "H2: Hiconsis"}},
    {"H3", higenDialog, "Higen", {31, 11, "H3: Higen"}},
    {"H4", alleventsDialog, "Allevents", {31, 12, "H4: Allevents"}},
    {"SN", supnormDialog, "Supnorm", {31, 14, "SN: Supnorm"}},
    {"SS", supscopDialog, "Supscop", {31, 15, "SS: Supscop"}},
    {"RR", supconrobsDialog, "Supconrobs", {31, 16, "RR: Supconrobs"}},
    {"QC", supqcDialog, "Sup(s)qc", {31, 17, "QC: Sup(s)qc"}},

    {"I", isomorphDialog, "Isomorph", {53, 5, "I: Isomorph"}},
    {"NC", nonconflictDialog, "Nonconflict", {53, 6, "NC: Nonconflict"}},
    {"OB", observableDialog, "(S)Observable", {53, 7, "OB: (S)Observable"}},
    {"NO", natobsDialog, "Natobs", {53, 8, "NO: Natobs"}},
    {"SR", suprobsDialog, "Suprobs", {53, 9, "SR: Suprobs"}},
    {"UM", uncertmodDialog, "Uncertmod", {53, 10, "UM: Uncertmod"}},
    {"E", editDialog, "Edit", {53, 11, "E: Edit"}},
    {"B", bfsRecodeDialog, "BFS-recode", {53, 12, "B: BFS-recode"}},
    {"UD", showUserDirectory, "User file directory", {53, 13, "UD: User file Directory"}},
    {"SE", showDesDialog, "Show DES", {53, 14, "SE/SA/SX: Show DES/DAT/TXT"}},
    {"SA", showDatDialog, "Show DAT"},
    {"SX", showTxt, "Show TXT"},
    {"FE", fileDesDialog, "File DES", {53, 15, "FE/FA/FD: File DES/DAT/ADS"}},
    {"FA", fileDatDialog, "File DAT"},
    {"FD", fileAdsDialog, "File ADS"},
    {"CE", convertDialog, "Convert DES", {53, 16, "CE/DE: Convert/Display DES"}},
    {"DE", displayDialog, "Display DES"},

    {"MA", openSessionLog, "Session log"},
    {"PE", printDesDialog, "Print DES"},
    {"PA", printDatDialog, "Print DAT"},
    {"PX", printTxtDialog, "Print TXT"},
    {"Z1", developmentMenu1, "Development menu 1"},
    {"Z2", developmentMenu2, "Development menu 2"},
};

// A takes the user back to a freshly drawn menu, as a code it does not
// complete would.
const Menu PROCEDURES_MENU{"%s PROCEDURES", PROCEDURE_CODES, std::size(PROCEDURE_CODES), false,
                           {53, 17, "X: Exit to main menu"}, "A"};

// --- The development menus ---------------------------------------------------------

// Experimental procedures. The entries without a dialog stay listed and
// say that this version lacks them; a digit without an entry draws the
// menu again.
const MenuEntry DEVELOPMENT_1[] = {
    {"0", pathToBlockDialog, "Path-to-Block"}, {"1", shortestPathDialog, "Shortest-path"}, {"2", nullptr, "ExtOCC"},
    {"3", nullptr, "ExLocalize"},    {"4", nullptr, "SupQC&LCC"},         {"5", nullptr, "Suprobs(language)"},
};
const MenuEntry DEVELOPMENT_2[] = {
    {"0", nullptr, "Supcon"},      {"1", attachDialog, "Attach"},  {"2", nullptr, "Ehmeet"},
    {"3", nullptr, "Ehsync"},      {"4", nullptr, "Project"}, {"5", nullptr, "RelObs"},
    {"6", nullptr, "SupRelCoObs"}, {"7", nullptr, "Synthsupobs"}, {"8", statemapDialog, "Statemap"},
};

Menu developmentMenu(const MenuEntry* entries, std::size_t count) {
  return {"%s DEVELOPMENT", entries, count, true, {53, 16, "X: Exit to KAV PROCEDURES"}, "0123456789"};
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

namespace {

// --- The main menu ---------------------------------------------------------------

// One option of the main menu: its key, its line (a format whose %s the
// argument fills) and what it does.
struct MainOption {
  char key;
  MenuText shown;
  const char* (*argument)(); // null: the line has no %s
  void (*act)();             // null for X, which ends the menu
};

const char* programName() { return PROGRAM_NAME; }

const MainOption MAIN_OPTIONS[] = {
    {'I', {24, 9, "I:  Introduction to %s"}, programName,
     [] { runDialog({"I", openIntroduction, "Introduction"}); }},
    {'T', {24, 10, "T:  %s Procedures"}, programName, runProceduresMenu},
    {'R', {24, 11, "R:  Reset USER File Directory Path"}, nullptr,
     [] { runDialog({"R", resetUserDirectory, "Reset"}); }},
    {'B', {24, 12, "B:  Bell (%s)"}, [] { return onOff(session.bellOn); }, [] { session.bellOn = !session.bellOn; }},
    {'D', {24, 13, "D:  Debug mode (%s)"}, [] { return onOff(session.debugMode); },
     [] { session.debugMode = !session.debugMode; }},
    {'C', {24, 14, "C:  Clocking mode (%s)"}, [] { return onOff(session.clockingMode); },
     [] {
       session.clockingMode = !session.clockingMode;
       saveIni();
     }},
    {'X', {24, 15, "X:  Quit %s"}, programName, nullptr},
};

} // namespace

void runMainMenu() {
  std::string keys;
  for (const MainOption& option : MAIN_OPTIONS) keys += option.key;
  for (;;) {
    clearScreen();
    gotoXY(25, 5);
    writeFormat("PROGRAM %s", PROGRAM_NAME);
    writeAt(24, 7, "MAIN OPTIONS");
    for (const MainOption& option : MAIN_OPTIONS) {
      moveCursor(option.shown.column, option.shown.row);
      if (option.argument) writeFormat(option.shown.text, option.argument());
      else writeText(option.shown.text);
    }
    writeAt(24, 19, "Option desired?    ");
    const int key = readMenuKey(keys.c_str(), false);
    for (const MainOption& option : MAIN_OPTIONS) {
      if (option.key != key) continue;
      if (!option.act) return;
      option.act();
    }
  }
}

void runProceduresMenu() { runMenu(PROCEDURES_MENU); }

void runDevelopmentMenu1() { runMenu(developmentMenu(DEVELOPMENT_1, std::size(DEVELOPMENT_1))); }

void runDevelopmentMenu2() { runMenu(developmentMenu(DEVELOPMENT_2, std::size(DEVELOPMENT_2))); }

} // namespace kav
