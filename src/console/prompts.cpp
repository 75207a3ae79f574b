// The front end's title, name prompts, questions and list editors.

#include "console/frontend.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <tuple>

#include "console/lineEditors.h"
#include "console/screen.h"
#include "console/session.h"
#include "console/sessionLog.h"
#include "model/desfile.h"
#include "model/userfiles.h"

namespace kav {

namespace {

// The title of the dialog on screen, written again on every new page.
struct DialogTitle {
  std::string word;
  std::string formula;
};
DialogTitle currentTitle;

// File names accepted by the prompts: at most this many characters.
constexpr int NAME_LENGTH = 20;

// The rows at the top of a page: the title (its word and an empty row
// left out when the word is empty: Natobs starts with its formula), or a
// list's own heading, then an empty row.
std::vector<std::string> headRows(std::string_view heading = {}) {
  if (!heading.empty()) return {std::string(heading), ""};
  if (currentTitle.word.empty()) return {currentTitle.formula, ""};
  return {currentTitle.word, "", currentTitle.formula, ""};
}

void writeRows(const std::vector<std::string>& rows) {
  for (const std::string& row : rows) {
    writeText(row);
    newLineIfRoom();
  }
}

void writeTitle() { writeRows(headRows()); }

// Each line followed by a line break, the last by two.
void writeLines(const std::vector<std::string>& lines) {
  writeRows(lines);
  newLineIfRoom();
}

void startListPage(const ListTexts& texts, const std::vector<std::string>& lines) {
  clearScreen();
  writeRows(headRows(texts.heading));
  showEscHint();
  writeLines(lines);
  setColumn(5);
}

// Moves the picture up one row and writes the head of the list's first
// page again at the top, so that rows of entries run on below it.
void scrollListPage(const ListTexts& texts) {
  scrollUpOneLine();
  std::vector<std::string> rows = headRows(texts.heading);
  rows.insert(rows.end(), texts.request.begin(), texts.request.end());
  rows.push_back("");
  for (std::size_t r = 0; r < rows.size(); ++r) {
    moveCursor(0, static_cast<int>(r));
    clearToEndOfLine();
    writeText(rows[r]);
  }
  writeStatusLine(22, "");
  writeStatusLine(23, "");
  showEscHint();
  moveCursor(0, 21);
  clearToEndOfLine();
}

} // namespace

// --- Title and page ------------------------------------------------------------

void showTitle(std::string_view word, std::string_view formula) {
  currentTitle.word = word;
  currentTitle.formula = formula;
  writeTitle();
}

void setTitleFormula(std::string_view formula) { currentTitle.formula = formula; }

void breakPageIfFull(int lastRow) {
  if (whereY() <= lastRow) return;
  clearScreen();
  writeTitle();
  newLineIfRoom();
}

// --- Names ------------------------------------------------------------------------

namespace {

// promptFileName; with anyFile, a name typed with an extension is taken as
// it is, and nameOut gets the extension too.
PromptStatus promptName(std::string_view prompt, std::string_view extension, std::string& nameOut, bool mustBeNew,
               bool anyFile) {
  for (;;) {
    breakPageIfFull();
    writeText(prompt);
    showEscHint();
    std::string name;
    // Room for a dot and three letters after a name of full length.
    if (readName(name, anyFile ? NAME_LENGTH + 4 : NAME_LENGTH) == ESCAPE_KEY) return PROMPT_CANCELLED;
    newLineIfRoom();
    name = std::string(trimNameBlanks(name));
    const std::string typed = name;
    if (anyFile && name.find('.') == std::string::npos) name += extension;
    const bool present = userFileExists(name, anyFile ? std::string_view() : extension);
    if (!mustBeNew) {
      if (present) {
        nameOut = name;
        return PROMPT_OK;
      }
      newLineIfRoom();
      writeFormat("Filename %s not in directory!", typed.c_str());
      newLineIfRoom();
      newLineIfRoom();
      continue;
    }
    if (present) {
      newLineIfRoom();
      writeFormat("Filename %s already exists.  OK to overwrite?  (*y/n)  ", name.c_str());
      const Answer answer = readAnswer(Answer::NO);
      if (answer == Answer::CANCEL) return PROMPT_CANCELLED;
      if (answer == Answer::NO) continue;
    }
    newLineIfRoom();
    nameOut = name;
    return PROMPT_OK;
  }
}

} // namespace

PromptStatus promptFileName(std::string_view prompt, std::string_view extension, std::string& nameOut, bool mustBeNew) {
  return promptName(prompt, extension, nameOut, mustBeNew, false);
}

PromptStatus promptAnyFile(std::string_view prompt, std::string_view defaultExtension, std::string& fileNameOut) {
  return promptName(prompt, defaultExtension, fileNameOut, false, true);
}

PromptStatus promptExistingDes(std::string_view prompt, std::string& nameOut) {
  return promptFileName(prompt, ".DES", nameOut, false);
}

int readChoiceKey() {
  const int key = readKey();
  if (key == ESCAPE_KEY) return key;
  echoKey(key);
  newLineIfRoom();
  newLineIfRoom();
  return key;
}

Answer readAnswer(Answer otherKeys) {
  const int key = readChoiceKey();
  if (key == ESCAPE_KEY) return Answer::CANCEL;
  if (isYes(key)) return Answer::YES;
  if (isNo(key)) return Answer::NO;
  return key == ENTER_KEY ? Answer::DEFAULT : otherKeys;
}

Answer askYesNo(std::string_view question, int lastRow, Answer otherKeys) {
  breakPageIfFull(lastRow);
  writeText(question);
  showEscHint();
  return readAnswer(otherKeys);
}

std::string withName(const char* pattern, const std::string& name) {
  char text[160];
  std::snprintf(text, sizeof text, pattern, name.c_str());
  return text;
}

PromptStatus askRename(const char* question, std::string_view newNamePrompt, const std::string& inputName,
              std::string& outputName) {
  const Answer answer = askYesNo(withName(question, inputName));
  if (answer == Answer::CANCEL) return PROMPT_CANCELLED;
  if (answer == Answer::NO) {
    outputName = inputName;
    return PROMPT_OK;
  }
  return promptFileName(newNamePrompt, ".DES", outputName, true);
}

// --- Lists ------------------------------------------------------------------------

void beginList(const ListTexts& texts) {
  breakPageIfFull();
  showEscHint();
  writeLines(texts.request);
  setColumn(5);
}

void beginListPage(const ListTexts& texts) { startListPage(texts, texts.request); }

void continueListPage(const ListTexts& texts) { startListPage(texts, texts.continuation); }

void beginListCell(int width, const ListTexts& texts) {
  if (whereX() >= SCREEN_COLUMNS - width) {
    newLineIfRoom();
    setColumn(5);
  }
  if (whereY() > 21) continueListPage(texts);
}

void beginListRow(const ListTexts& texts, ListOverflow overflow) {
  if (whereY() > 21) {
    if (overflow == ListOverflow::SCROLL) scrollListPage(texts);
    else continueListPage(texts);
  }
  setColumn(5);
}

PromptStatus enterEventList(EventList& list, const ListTexts& texts, const EventCheck& refuse) {
  beginList(texts);
  for (;;) {
    beginListCell(7, texts);
    const int row = whereY(), column = whereX();
    int key = 0;
    const long value = readEventOrE(key);
    if (key == ESCAPE_KEY) return PROMPT_CANCELLED;
    if (value == -1) break;
    const auto label = static_cast<std::uint16_t>(value);
    if (refuse) {
      if (const std::string message = refuse(label); !message.empty()) {
        writeStatusLine(22, message);
        moveCursor(column, row);
        clearToEndOfLine();
        continue;
      }
      writeStatusLine(22, "");
    }
    insertEvent(list, label);
    moveCursor(column + 7, row);
  }
  newLineIfRoom();
  newLineIfRoom();
  return PROMPT_OK;
}

PromptStatus chooseNullImage(int mode, NullImageChoice& choice) {
  const char* erased = mode == 0 ? "erased by projection"
                       : mode == 3 ? "erased by supscop"
                       : mode == 4 ? "erased by supnorm"
                                   : "erased";
  const char* nulled = mode == 0 ? "nulled by projection"
                       : mode == 3 ? "nulled by supscop"
                       : mode == 4 ? "nulled by supnorm"
                                   : "nulled";
  if (whereY() > 12) {
    clearScreen();
    writeTitle();
    showEscHint();
  }
  const auto paragraph = [](const std::string& text) {
    writeText(text);
    newLineIfRoom();
    newLineIfRoom();
  };
  paragraph("Enter either");
  paragraph(std::string("  NULL (list of event labels ") + erased + ")");
  paragraph("or");
  paragraph("  IMAGE (event labels retained)");
  paragraph("or");
  writeText("  IMAGE_DES (single-state, marked, selflooped) DES representing list");
  newLineIfRoom();
  paragraph("\t   of event labels retained)");
  if (whereY() > 20) {
    clearScreen();
    writeTitle();
    showEscHint();
  }
  writeText("NULL/IMAGE/IMAGE_DES ? (n/i/d) ");
  const int row = whereY(), column = whereX();
  int key;
  // A wrong key is answered on the status row and the question stays where
  // it is, so the explanation above it stays in sight.
  bool refused = false;
  for (;;) {
    key = readKey();
    if (key == ESCAPE_KEY) return PROMPT_CANCELLED;
    if (key != 0 && std::strchr("NnIiDd", key)) break;
    writeStatusLine(22, "Please answer n (NULL), i (IMAGE) or d (IMAGE_DES).");
    moveCursor(column, row);
    refused = true;
  }
  if (refused) {
    writeStatusLine(22, "");
    moveCursor(column, row);
  }
  echoKey(key);
  twoBreaks();
  choice = NullImageChoice{};
  switch (std::tolower(key)) {
  case 'n':
    choice.kind = NULL_LIST;
    return enterEventList(choice.list, {{std::string("Enter list of event labels to be ") + nulled + ";",
                                         "terminate list with -1."},
                                        {std::string("Enter list of event labels to be ") + nulled + ";",
                                         "terminate list with -1."}});
  case 'i':
    choice.kind = IMAGE_LIST;
    return enterEventList(choice.list, {{"Enter list of event labels to be retained;", "terminate list with -1."},
                                        {"Enter list of event labels to be retained;", "terminate list with -1."}});
  default: {
    choice.kind = IMAGE_DES;
    if (promptFileName("Enter name of IMAGE_DES  ......... ", ".DES", choice.imageDesName, false) != PROMPT_OK)
      return PROMPT_CANCELLED;
    choice.list = labelsOfFile(choice.imageDesName);
    return PROMPT_OK;
  }
  }
}

EventList nullEventsOf(const NullImageChoice& choice, const std::vector<std::string>& inputs) {
  if (choice.kind == NULL_LIST) return choice.list;
  EventList erased;
  for (std::uint16_t e : labelsOfFiles(inputs))
    if (!findEvent(choice.list, e)) erased.push_back(e);
  return erased;
}

EventList labelsOfFile(const std::string& name, std::int64_t init) {
  EventList labels;
  DES des;
  if (loadDES(name, init, des) == LOAD_OK) collectEvents(des, labels);
  return labels;
}

EventList labelsOfFiles(const std::vector<std::string>& names) {
  EventList labels;
  for (const std::string& name : names) {
    DES des;
    std::int64_t init = 0;
    if (loadDES(name, init, des) == LOAD_OK) collectEvents(des, labels);
  }
  return labels;
}

std::string nullImageLogText(const NullImageChoice& choice) {
  switch (choice.kind) {
  case NULL_LIST: return "Null[" + labelsText(choice.list) + "]";
  case IMAGE_LIST: return "Image[" + labelsText(choice.list) + "]";
  case IMAGE_DES: break;
  }
  return choice.imageDesName;
}

PromptStatus checkNondeterminism(const DES& des, std::string_view name, bool pause) {
  const std::string title(name);
  clearScreen();
  newLineIfRoom();
  const Answer answer = askYesNo("Check " + title + " for nondeterminism?  (y/*n)  ");
  if (answer == Answer::CANCEL) return PROMPT_CANCELLED;
  if (answer != Answer::YES) return PROMPT_OK;

  // Reported: every transition whose label another transition of its state
  // shares, and every silent one; grouped by label.
  std::vector<std::tuple<std::uint16_t, std::int64_t, std::int64_t>> reported;
  for (std::int64_t s = 0; s < des.size(); ++s) {
    const auto list = transitionsOf(des[s]);
    for (std::size_t k = 0; k < list.size(); ++k) {
      const bool shared = (k > 0 && list[k - 1].event == list[k].event) ||
                          (k + 1 < list.size() && list[k + 1].event == list[k].event);
      if (shared || list[k].event == EPSILON_LABEL) reported.emplace_back(list[k].event, s, list[k].target);
    }
  }
  std::sort(reported.begin(), reported.end());
  if (reported.empty()) {
    writeFormat("%s is OK.", title.c_str());
  } else {
    const bool wide = des.size() > 100000;
    const int perLine = wide ? 3 : 4;
    const auto heading = [] { writeText("Nondeterministic transitions: "); };
    writeFormat("WARNING: %s is nondeterministic!", title.c_str());
    newLineIfRoom();
    heading();
    int onLine = perLine; // forces the first triple onto a new line
    int previousEvent = -1;
    for (const auto& [event, from, to] : reported) {
      if (previousEvent != -1 && event != previousEvent) {
        newLineIfRoom();
        onLine = perLine;
      }
      if (onLine == perLine) {
        newLineIfRoom();
        onLine = 0;
      }
      if (whereY() > 19) {
        writeStatusLine(23, "Press <Enter> to page transitions  ");
        while (readKey() != ENTER_KEY) {
        }
        clearScreen();
        showEscHint();
        heading();
        newLineIfRoom();
      }
      previousEvent = event;
      const auto f = static_cast<long>(from), t = static_cast<long>(to);
      if (event == EPSILON_LABEL) writeFormat(wide ? "[%7ld,  e,%7ld]   " : "[%5ld,  e,%5ld]  ", f, t);
      else writeFormat(wide ? "[%7ld,%3d,%7ld]   " : "[%5ld,%3d,%5ld]  ", f, static_cast<int>(event), t);
      ++onLine;
    }
    newLineIfRoom();
    newLineIfRoom();
    writeFormat("Please revise %s using the editor.", title.c_str());
  }
  if (pause) {
    writeStatusLine(23, "Press <Enter> to continue  ");
    while (readKey() != ENTER_KEY) {
    }
  }
  return PROMPT_OK;
}

} // namespace kav
