// The main options that are dialogs (introduction document, user-directory
// reset), the user-directory listing and the session log.

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "console/dialogs/dialogs.h"
#include "console/directoryLock.h"
#include "console/lineEditors.h"
#include "console/screen.h"
#include "console/sessionLog.h"
#include "engine/child.h"
#include "engine/startup.h"
#include "model/safefile.h"
#include "model/session.h"
#include "model/userfiles.h"

namespace kav {

namespace {

bool isNonEmptyVariable(const char* name) {
  const char* value = std::getenv(name);
  return value && value[0];
}

// Opens a document with the desktop's viewer, without waiting for it.
bool openWithViewer(const std::string& path) {
  return hasDocumentViewer() && runProgram({"xdg-open", path}, false, true) == 0;
}

// "FILE ... NOT FOUND!" and the like: two headlines and a path from row 7,
// the path as given (shortened, or whole and wrapped where the user is to
// open the file).
void writeFileNotice(const char* headline, const char* label, const std::string& shownPath) {
  clearScreen();
  gotoXY(1, 8);
  writeText(headline);
  twoBreaks();
  writeText(label);
  twoBreaks();
  writeText(shownPath);
  twoBreaks();
  waitForEnterToReturn();
}

// The manual page: beside the program (a build tree), or where `make
// install` puts it; "" when neither has one.
std::string manualPagePath() {
  const std::string prefix = installPrefixOf(session.programDir);
  for (const std::string& path :
       {session.programDir + "kav.1", prefix.empty() ? std::string() : prefix + "share/man/man1/kav.1"})
    if (!path.empty() && fileExists(path)) return path;
  return {};
}

// The introduction in the terminal, as the manual page: man sets it and
// pages it, with the terminal lent to it. False when there is no terminal
// (script mode), no man or no page, or man failed.
bool showManualPage() {
  const std::string page = manualPagePath();
  const std::string man = findProgram("man");
  if (!isScreenDrawn() || page.empty() || man.empty()) return false;
  handOverTerminal(true);
  const int status = runProgram({man, "-l", page}, true);
  takeBackTerminal();
  return status == 0;
}

std::string currentDirectory() {
  char buffer[PATH_MAX];
  return ::getcwd(buffer, sizeof buffer) ? std::string(buffer) : std::string(".");
}

// --- The directory listing -----------------------------------------------------

struct DirectoryEntry {
  std::string name;
  bool isDirectory;
};

bool listUserDirectory(std::vector<DirectoryEntry>& entries) {
  DIR* listing = ::opendir(session.userDir.c_str());
  if (!listing) return false;
  while (const dirent* entry = ::readdir(listing)) {
    if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
    struct stat info;
    const bool isDirectory =
        ::lstat((session.userDir + entry->d_name).c_str(), &info) == 0 && S_ISDIR(info.st_mode);
    entries.push_back({entry->d_name, isDirectory});
  }
  ::closedir(listing);
  std::sort(entries.begin(), entries.end(),
            [](const DirectoryEntry& a, const DirectoryEntry& b) { return a.name < b.name; });
  return true;
}

// One cell of the listing, 20, 40 or 80 characters wide: a file padded,
// a subdirectory in brackets. Names too long for a one-column cell are cut
// so that every cell keeps its width and the pages their row count.
std::string listingCell(const DirectoryEntry& entry, int cellWidth) {
  const auto width = static_cast<std::size_t>(cellWidth - 2);
  std::string text;
  if (entry.isDirectory) {
    std::string inner = entry.name.substr(0, width - 2);
    inner.resize(width - 2, ' ');
    text = "[" + inner + "]";
  } else {
    text = entry.name.substr(0, width);
    text.resize(width, ' ');
  }
  return text + "  ";
}

void writeListingHeading() {
  clearScreen();
  writeFormat("FILES IN: %s", session.userDirLine.c_str());
}

// --- Resetting the user directory ---------------------------------------------------

void writeResetIntroduction() {
  clearScreen();
  twoBreaks();
  writeText("            RESETTING USER FILE DIRECTORY PATH");
  twoBreaks();
  static const char* const LINES[] = {
      "Files that you create while using KAV will be stored, by default,",
      "in a subdirectory (subfolder) USER of the KAV directory.  However,",
      "it is recommended that you store these files in a new directory,",
      "say NEWFILES, specific to the current project or session.",
      "",
      "For this, after creating NEWFILES in your operating system,",
      "enter the corresponding path in response to the prompts below.",
  };
  for (const char* line : LINES) {
    writeText(line);
    newLineIfRoom();
  }
}

void pauseWithoutTo() {
  writeStatusLine(23, std::string("Press <Enter> to return ") + PROGRAM_NAME + " Procedures  ");
  while (readKey() != ENTER_KEY) {
  }
}

} // namespace

bool hasDocumentViewer() {
  return (isNonEmptyVariable("DISPLAY") || isNonEmptyVariable("WAYLAND_DISPLAY")) && !findProgram("xdg-open").empty();
}

DialogResult showUnavailable(const char* name) {
  clearScreen();
  twoBreaks();
  writeFormat("%s is not available in this version.", name);
  waitForEnterToReturn();
  return DONE;
}

DialogResult openIntroduction() {
  const std::string expected = session.infoPath + ".PDF";
  // Beside the program first, then in the working directory.
  std::string document = fileExists(expected) ? expected : resolveFilePath(currentDirectory() + "/", "KAV_Info.PDF");
  const bool found = fileExists(document);
  // Without a desktop to show the document, its text as the manual page.
  if ((found && openWithViewer(document)) || showManualPage()) {
    clearScreen();
    return DONE;
  }
  if (!found) {
    writeFileNotice("FILE KAV_INFO.PDF NOT FOUND!", "FILE EXPECTED AT: ", abbreviate(expected, 62));
    return FAILED;
  }
  writeFileNotice("NO VIEWER AVAILABLE FOR KAV_INFO.PDF!", "THE DOCUMENT IS AT: ", document);
  return FAILED;
}

void offerToCreateUserDirectory() {
  if (isEnterableDirectory(session.userDir)) return;
  clearScreen();
  gotoXY(1, 8);
  writeText("USER DIRECTORY NOT FOUND!");
  twoBreaks();
  writeFormat("The user directory, where %s keeps every file it makes, does not exist:", PROGRAM_NAME);
  twoBreaks();
  writeText(session.userDirLine);
  twoBreaks();
  writeText("Create it now?  (*y/n)  ");
  showEscHint();
  // No page break: the screen was cleared for this notice.
  const Answer answer = readAnswer();
  if (answer == Answer::CANCEL || answer == Answer::NO) return;
  std::error_code error;
  std::filesystem::create_directories(session.userDir, error);
  if (!isEnterableDirectory(session.userDir)) {
    writeText("The directory could not be created: " +
              (error ? error.message() : std::string("it exists but cannot be entered")) + ".");
    twoBreaks();
    writeText("Use R in the main menu to name another one.");
    writeStatusLine(23, "Press <Enter> to continue  ");
    while (readKey() != ENTER_KEY) {
    }
    return;
  }
  // Held from now on, as a directory found at the start would be. Should
  // another session take it first, the first procedure finds out
  // (holdsUserDirectory) and says so.
  [[maybe_unused]] const int lock = lockUserDirectory(session.userDir);
}

DialogResult resetUserDirectory() {
  writeResetIntroduction();
  writeText("Current directory path is " + session.userDirLine + ". OK?  (*y/n)  ");
  // Not readAnswer: only n, which goes on, is echoed, and Escape at the
  // second question is the only way out without an answer.
  int key = readKey();
  if (!isNo(key)) return CANCELLED;
  echoKey(key);
  twoBreaks();
  writeText("Have you created an alternative user directory? (*y/n)  ");
  key = readKey();
  if (key == ESCAPE_KEY) return CANCELLED;
  if (isNo(key)) {
    echoKey(key);
    twoBreaks();
    writeFormat("Create new directory in your operating system, then restart %s.", PROGRAM_NAME);
    twoBreaks();
    writeText("Press any key to exit.  ");
    readKey();
    clearScreen();
    endSession(0);
  }
  echoKey(key);
  twoBreaks();
  writeText("Enter path for new user directory:  ");
  showEscHint();
  // As long a path as the system takes; the field scrolls.
  std::string path;
  if (readText(path, PATH_MAX - 1) == ESCAPE_KEY) return CANCELLED;
  // A relative path is taken from here, where the batch children start too,
  // but kept absolute so orva.ini means the same from anywhere.
  if (path[0] != '/') path = currentDirectory() + "/" + path;
  if (!isEnterableDirectory(path)) {
    twoBreaks();
    writeText("Directory " + path + " does not exist!");
    pauseWithoutTo();
    return FAILED;
  }
  if (lockUserDirectory(path) == DIRECTORY_BUSY) {
    twoBreaks();
    writeText("Directory " + path + " is in use by another " + PROGRAM_NAME + " session!");
    pauseWithoutTo();
    return FAILED;
  }
  setUserDirectory(path);
  saveIni();
  return DONE;
}

DialogResult showUserDirectory() {
  std::vector<DirectoryEntry> entries;
  const bool listed = listUserDirectory(entries);
  if (listed && entries.empty()) {
    writeListingHeading();
    gotoXY(1, 8);
    writeFormat("NO FILES IN %s", session.userDirLine.c_str());
    writeStatusLine(23, "Press <Enter> to return to ORVA Procedures  ");
    while (readKey() != ENTER_KEY) {
    }
    return DONE;
  }
  std::size_t widest = 0;
  for (const DirectoryEntry& e : entries) widest = std::max(widest, e.name.size() + (e.isDirectory ? 2 : 0));
  const std::size_t w = widest + 2;
  const int cellWidth = w <= 18 ? 20 : w <= 38 ? 40 : 80;

  // The index of each page's first entry, so that U goes back exactly.
  std::vector<std::size_t> pageStarts{0};
  std::size_t page = 0;
  for (;;) {
    writeListingHeading();
    gotoXY(1, 4);
    std::size_t k = pageStarts[page];
    while (k < entries.size() && whereY() < 22) writeText(listingCell(entries[k++], cellWidth));
    const bool atEnd = k >= entries.size();
    writeStatusLine(23, " D=PgDn  U=PgUp  Esc (Exit Directory)  ");
    const PageTurn turn = turnListingPage(pageStarts, page, k, atEnd);
    if (turn == PageTurn::ESCAPED || turn == PageTurn::FINISHED) return DONE;
  }
}

DialogResult openSessionLog() {
  const std::string path = sessionLogPath();
  if (!fileExists(path)) {
    if (std::FILE* created = openAppendStream(path)) std::fclose(created);
  }
  if (!fileExists(path)) {
    writeFileNotice("FILE MAKEIT.TXT NOT FOUND!", "FILE EXPECTED AT: ", abbreviate(path, 62));
    return FAILED;
  }
  if (openWithViewer(path)) {
    clearScreen();
    return DONE;
  }
  if (pageTextFile(path, SESSION_LOG_NAME, true) == PAGER_ESCAPED) return CANCELLED;
  waitForEnterToReturn();
  return DONE;
}

} // namespace kav
