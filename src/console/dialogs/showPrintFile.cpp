// Show, print and file: DES and control data (DAT) on the screen page by
// page, on the printer, or as text files in the user directory (.PDS,
// .PDT, .PST and ADS); text files on the printer.
//
// The printer is reached through `lpr`, given a temporary copy of the
// listing; without it the dialogs say so and write nothing.

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

#include "console/dialogs/dialogs.h"
#include "console/screen.h"
#include "engine/child.h"
#include "model/desfile.h"
#include "model/safefile.h"
#include "model/session.h"
#include "model/userfiles.h"
#include "output/ads.h"
#include "output/listing.h"
#include "output/postscript.h"

namespace kav {

namespace {

// Rows 0..21 hold a page of a listing; the pager prompt stands on row 23.
constexpr int PAGE_ROWS = 22;

// Loads the input of a show, print or file dialog and refuses a file of
// the other kind, naming the command that takes it.
bool loadListingInput(const std::string& name, bool wantDat, const char* command, DES& des) {
  std::int64_t init = wantDat ? -1 : 0;
  if (loadDES(name, init, des) != LOAD_OK) {
    reportProblem("Error reading file: " + abbreviate(userPath(name, wantDat ? ".DAT" : ".DES"), 59));
    return false;
  }
  const bool isDat = init == -1;
  if (isDat == wantDat) return true;
  clearScreen();
  writeText(isDat ? "This is a DAT file." : "This is a DES file.");
  newLineIfRoom();
  writeFormat("Use %s %s command.", command, isDat ? "DAT" : "DES");
  waitForEnterToReturn();
  return false;
}

// Writes a file of the user directory; a failure is told and leaves any
// older file as it was.
template <typename Writer> bool writeUserFile(const std::string& path, Writer write) {
  if (writeTextFile(path, write)) return true;
  reportProblem("Error writing file: " + abbreviate(path, 59));
  return false;
}

DialogResult reportCopied(const std::string& in, const char* inExtension, const std::string& out,
                          const char* outExtension, const std::vector<std::string>& notes = {}) {
  breakPageIfFull(20);
  writeFormat("%s%s has been copied to %s%s", in.c_str(), inExtension, out.c_str(), outExtension);
  newLineIfRoom();
  for (const std::string& note : notes) {
    newLineIfRoom();
    writeText(note);
  }
  waitForEnterToReturn();
  return DONE;
}

// Reasons why FD could not read back the ADS text of `des`; empty when it
// can.
std::vector<std::string> adsReadBackProblems(const DES& des) {
  bool badVocal = false, silent = false, nondeterministic = false;
  for (const StateRecord& s : des.states) {
    if (s.vocal != 0 && (s.vocal < 10 || s.vocal > 99)) badVocal = true;
    const auto list = transitionsOf(s);
    for (std::size_t k = 0; k < list.size(); ++k) {
      if (list[k].event > MAX_ORDINARY_LABEL) silent = true;
      if (k > 0 && list[k].event == list[k - 1].event) nondeterministic = true;
    }
  }
  std::vector<std::string> reasons;
  if (badVocal) reasons.push_back("vocal outputs outside 10..99");
  if (silent) reasons.push_back("transitions labelled e (silent)");
  if (nondeterministic) reasons.push_back("nondeterministic transitions");
  if (des.size() > ADS_MAX_STATES) reasons.push_back("more than 2000000 states");
  return reasons;
}

// --- The printer ---------------------------------------------------------------------

void reportNoPrinter() {
  breakPageIfFull(19);
  writeText("No printer command (lpr) is available on this system.");
  newLineIfRoom();
  writeText("Nothing has been printed.");
  waitForEnterToReturn();
}

// Hands the text `write` produces to lpr through a temporary file of the
// user directory, and tells the user how it went.
template <typename Writer> DialogResult sendToPrinter(const std::string& lpr, Writer write) {
  std::string temporary = temporaryPattern(session.userDir, "print");
  const int fd = ::mkstemp(temporary.data());
  std::FILE* stream = fd < 0 ? nullptr : ::fdopen(fd, "wb");
  if (!stream) {
    if (fd >= 0) {
      ::close(fd);
      ::unlink(temporary.c_str());
    }
    reportProblem("Printing failed: no temporary file could be made in the user directory.");
    return FAILED;
  }
  write(stream);
  const bool written = std::ferror(stream) == 0;
  if (std::fclose(stream) != 0 || !written) {
    ::unlink(temporary.c_str());
    reportProblem("Printing failed: the listing could not be written for the printer.");
    return FAILED;
  }
  writeStatusLine(23, "Printing:  Please wait...");
  refreshScreen();
  const int status = runProgram({lpr, temporary}, true, true);
  ::unlink(temporary.c_str());
  if (status != 0) {
    char message[80];
    std::snprintf(message, sizeof message, "Printing failed: lpr ended with status %d.", status);
    reportProblem(message);
    return FAILED;
  }
  breakPageIfFull(20);
  writeText("The listing has been sent to the printer.");
  waitForEnterToReturn();
  return DONE;
}

// "Print with lpr?": y or Enter prints, n writes the listing to a file.
// Not readAnswer: this question waits for one of its answers, ignoring
// other keys, and shows Enter as the y it stands for.
template <typename Writer>
DialogResult printOrFile(const std::string& name, const char* inExtension, const char* fileExtension, Writer write) {
  breakPageIfFull();
  writeText("Print with lpr?  (*y/n) ");
  showEscHint();
  int key;
  for (;;) {
    key = readKey();
    if (key == ESCAPE_KEY) return CANCELLED;
    if (key == ENTER_KEY || isYes(key) || isNo(key)) break;
  }
  echoKey(key == ENTER_KEY ? 'y' : key);
  twoBreaks();
  if (!isNo(key)) {
    const std::string lpr = findProgram("lpr");
    if (lpr.empty()) {
      reportNoPrinter();
      return FAILED;
    }
    return sendToPrinter(lpr, write);
  }
  std::string out;
  if (promptFileName("ASCII text file name .... ", fileExtension, out, true) != PROMPT_OK) return CANCELLED;
  if (!writeUserFile(userPath(out, fileExtension), write)) return FAILED;
  return reportCopied(name, inExtension, out, fileExtension);
}

} // namespace

// --- Show ----------------------------------------------------------------------------

DialogResult showDesDialog() {
  clearScreen();
  showTitle("SHOW", "SHOW(DES)");
  std::string name;
  if (promptFileName("Enter name of DES ...  ", ".DES", name, false) != PROMPT_OK) return CANCELLED;
  DES des;
  if (!loadListingInput(name, false, "show", des)) return FAILED;
  const DesScreenListing listing = layoutDesScreenListing(des, name);
  const bool onePage = listing.lineCount <= PAGE_ROWS;
  // The start of every page shown, so that U goes back the way it came.
  std::vector<std::int64_t> shown{0};
  for (;;) {
    clearScreen();
    const std::int64_t start = shown.back();
    const std::int64_t end = std::min(start + PAGE_ROWS, listing.lineCount);
    for (std::int64_t k = start; k < end; ++k) {
      moveCursor(0, static_cast<int>(k - start));
      writeText(desScreenLine(listing, k).substr(0, SCREEN_COLUMNS - 1));
    }
    moveCursor(0, static_cast<int>(end - start));
    if (onePage) break;
    writeStatusLine(23, " D(own)  U(p)  H(ead)  V(ocal table)  T(ransition table)  Esc (Exit Show)  ");
    bool finished = false;
    for (bool turned = false; !turned;) {
      const int key = readKey();
      turned = true;
      switch (key) {
      case ESCAPE_KEY: return CANCELLED;
      case ENTER_KEY:
      case 'd':
      case 'D':
        if (end >= listing.lineCount)
          finished = true;
        else
          shown.push_back(end);
        break;
      case 'u':
      case 'U':
        if (shown.size() > 1)
          shown.pop_back();
        else
          turned = false;
        break;
      case 'h':
      case 'H': shown.push_back(0); break;
      case 'v':
      case 'V': shown.push_back(listing.vocalLine); break;
      case 't':
      case 'T': shown.push_back(listing.transitionLine); break;
      default: turned = false; break;
      }
    }
    if (finished) break;
  }
  waitForEnterToReturn();
  return DONE;
}

DialogResult showDatDialog() {
  clearScreen();
  showTitle("SHOW", "SHOW(DAT)");
  std::string name;
  if (promptFileName("Enter name of DAT ...  ", ".DAT", name, false) != PROMPT_OK) return CANCELLED;
  DES dat;
  if (!loadListingInput(name, true, "show", dat)) return FAILED;
  clearScreen();
  for (const char* line : {"Control data are displayed as a list of supervisor states",
                           "where disabling occurs, together with the events that must", "be disabled there."}) {
    writeText(line);
    newLineIfRoom();
  }
  newLineIfRoom();
  writeFormat("%s is %s", name.c_str(), isControllableTable(dat) ? "CONTROLLABLE" : "NOT CONTROLLABLE");
  twoBreaks();
  writeText("control data: ");
  twoBreaks();
  if (!hasTableEntries(dat)) {
    writeText("empty.");
    writeStatusLine(23, std::string("Press <Enter> to return to ") + PROGRAM_NAME + " Procedure  ");
    while (readKey() != ENTER_KEY) {
    }
    return DONE;
  }
  DatTableCursor cursor;
  std::string line;
  while (nextDatTableLine(dat, cursor, DAT_SCREEN_GAP_BASE, line)) {
    if (whereY() >= PAGE_ROWS) {
      writeStatusLine(23, "Press <Enter> to page table or <ESC> to cancel  ");
      for (int key = readKey(); key != ENTER_KEY; key = readKey())
        if (key == ESCAPE_KEY) return CANCELLED;
      clearScreen();
    }
    // Only the trailing blank of a line as wide as the screen is cut.
    writeText(std::string_view(line).substr(0, SCREEN_COLUMNS - 1));
    newLineIfRoom();
  }
  waitForEnterToReturn();
  return DONE;
}

// --- Print ---------------------------------------------------------------------------

DialogResult printDesDialog() {
  clearScreen();
  showTitle("PRINT", "PRINT(DES)");
  std::string name;
  if (promptFileName("Enter name of DES ....  ", ".DES", name, false) != PROMPT_OK) return CANCELLED;
  DES des;
  if (!loadListingInput(name, false, "print", des)) return FAILED;
  return printOrFile(name, ".DES", ".PDS", [&](std::FILE* out) { writeDesListing(out, des, name, true); });
}

DialogResult printDatDialog() {
  clearScreen();
  showTitle("PRINT", "PRINT(DAT)");
  std::string name;
  if (promptFileName("Enter name of DAT ....  ", ".DAT", name, false) != PROMPT_OK) return CANCELLED;
  DES dat;
  if (!loadListingInput(name, true, "print", dat)) return FAILED;
  return printOrFile(name, ".DAT", ".PDT", [&](std::FILE* out) { writeDatListing(out, dat, name); });
}

DialogResult printTxtDialog() {
  clearScreen();
  showTitle("PRINT", "PRINT(TXT)");
  std::string file;
  if (promptTextFile("Enter name of TXT ....  ", "print", file) != PROMPT_OK) return CANCELLED;
  const std::string lpr = findProgram("lpr");
  if (lpr.empty()) {
    reportNoPrinter();
    return FAILED;
  }
  breakPageIfFull();
  writeText("Check that printer is online, then press <Enter> to print  ");
  showEscHint();
  for (int key = readKey(); key != ENTER_KEY; key = readKey())
    if (key == ESCAPE_KEY) return CANCELLED;
  twoBreaks();
  const std::string path = userPath(file, "");
  std::FILE* in = openRegularStream(path);
  if (!in) {
    reportProblem("Error reading file: " + abbreviate(path, 59));
    return FAILED;
  }
  // Copied byte by byte between two newlines, as the printer takes it.
  const DialogResult result = sendToPrinter(lpr, [in](std::FILE* out) {
    std::fputc('\n', out);
    char buffer[1 << 15];
    for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, in)) > 0;) std::fwrite(buffer, 1, got, out);
    std::fputc('\n', out);
  });
  std::fclose(in);
  return result;
}

// --- File ----------------------------------------------------------------------------

DialogResult fileDesDialog() {
  clearScreen();
  showTitle("FILE", "FILE(DES)");
  std::string name;
  if (promptFileName("Enter name of DES ....  ", ".DES", name, false) != PROMPT_OK) return CANCELLED;
  DES des;
  if (!loadListingInput(name, false, "file", des)) return FAILED;
  breakPageIfFull();
  writeText("File as ADS (.ADS) or ASCII Text (.PDS)?  (*A/T) ");
  showEscHint();
  const int key = readChoiceKey();
  if (key == ESCAPE_KEY) return CANCELLED;
  std::string out;
  if (key == 't' || key == 'T') {
    if (promptFileName("Enter ASCII text file name ....  ", ".PDS", out, true) != PROMPT_OK) return CANCELLED;
    if (!writeUserFile(userPath(out, ".PDS"), [&](std::FILE* stream) { writeDesListing(stream, des, name, false); }))
      return FAILED;
    return reportCopied(name, ".DES", out, ".PDS");
  }
  if (promptFileName("Enter the ADS file name ....  ", ".ADS", out, true) != PROMPT_OK) return CANCELLED;
  if (!writeUserFile(userPath(out, ".ADS"), [&](std::FILE* stream) { writeAdsListing(stream, name, des); }))
    return FAILED;
  std::vector<std::string> notes;
  const std::vector<std::string> problems = adsReadBackProblems(des);
  if (!problems.empty()) {
    std::string reasons;
    for (const std::string& p : problems) reasons += (reasons.empty() ? "" : ", ") + p;
    notes.push_back("Warning: " + name + " has " + reasons + ",");
    notes.push_back("so FD cannot convert " + out + ".ADS back to a DES.");
    notes.push_back("For a complete listing, file " + name + " as ASCII Text (.PDS).");
  }
  return reportCopied(name, ".DES", out, ".ADS", notes);
}

DialogResult fileDatDialog() {
  clearScreen();
  showTitle("FILE", "FILE(DAT)");
  std::string name;
  if (promptFileName("Enter name of DAT ....  ", ".DAT", name, false) != PROMPT_OK) return CANCELLED;
  DES dat;
  if (!loadListingInput(name, true, "file", dat)) return FAILED;
  breakPageIfFull();
  writeText("File as ASCII text (.PDT) or Postscript (.PST)?  (*A/P) ");
  showEscHint();
  const int key = readChoiceKey();
  if (key == ESCAPE_KEY) return CANCELLED;
  std::string out;
  if (key == 'p' || key == 'P') {
    if (promptFileName("Enter the Postcript file name ....  ", ".PST", out, true) != PROMPT_OK) return CANCELLED;
    const std::time_t now = std::time(nullptr);
    if (!writeUserFile(userPath(out, ".PST"), [&](std::FILE* stream) { writePostScriptDat(stream, dat, name, now); }))
      return FAILED;
    return reportCopied(name, ".DAT", out, ".PST");
  }
  if (promptFileName("Enter ASCII text file name ....  ", ".PDT", out, true) != PROMPT_OK) return CANCELLED;
  if (!writeUserFile(userPath(out, ".PDT"), [&](std::FILE* stream) { writeDatListing(stream, dat, name); }))
    return FAILED;
  return reportCopied(name, ".DAT", out, ".PDT");
}

} // namespace kav
