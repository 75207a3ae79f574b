#pragma once

// The pieces every procedure front end is built from: the title block,
// the name prompts with their existence and overwrite checks, the list
// editors, the run of the batch child with its waiting message, the
// handling of its result, the log entry and the return to the menu.
//
// A dialog writes downward from the top of a cleared screen; before each
// prompt a cursor row past 22 starts a fresh page with the title again, so
// rows 23 and 24 stay free for the status lines. Escape at any prompt
// cancels: the dialog returns CANCELLED at once, and nothing is computed,
// saved or logged.

#include <cstdint>
#include <ctime>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/params.h"
#include "model/des.h"
#include "model/sortedlists.h"

namespace kav {

// What a dialog reports to the menu that started it.
enum DialogResult {
  DONE = 0,      // completed (logged where the procedure logs)
  CANCELLED = 1, // the user pressed Escape; nothing happened
  FAILED = 2,    // the computation failed; the user has been told
};
using Dialog = DialogResult (*)();

// The answer of every prompt.
enum PromptStatus { PROMPT_OK = 0, PROMPT_CANCELLED = 1 };

// --- Title and page ------------------------------------------------------------

// Writes word, two line breaks (both left out when word is empty),
// formula, two line breaks, and remembers both for the pages that follow.
void showTitle(std::string_view word, std::string_view formula);
// Replaces the remembered formula (dialogs that show the names typed so far
// on later pages).
void setTitleFormula(std::string_view formula);
// The page discipline before a prompt: a cursor row past `lastRow` clears
// the screen, writes the title again and adds one line break.
void breakPageIfFull(int lastRow = 22);

// --- Names ------------------------------------------------------------------------

// Asks until the user names an existing DES (".DES" in the user directory)
// or presses Escape. A name not found gives "Filename %s not in
// directory!" and the prompt again.
[[nodiscard]] PromptStatus promptExistingDes(std::string_view prompt, std::string& nameOut);

// With mustBeNew off: as promptExistingDes for the given extension. With
// mustBeNew on: a name whose file exists asks "OK to overwrite?"; y or
// Enter accepts it, Escape cancels, any other key asks for another name.
[[nodiscard]] PromptStatus promptFileName(std::string_view prompt, std::string_view extension, std::string& nameOut,
                                 bool mustBeNew);

// As promptFileName with mustBeNew off, for any file of the user
// directory: a name typed with an extension (SUPER.PDS) is taken as it is,
// one without gets defaultExtension. fileNameOut holds the extension.
[[nodiscard]] PromptStatus promptAnyFile(std::string_view prompt, std::string_view defaultExtension, std::string& fileNameOut);

// `pattern` with its one %s filled by `name` (texts up to 159 characters).
std::string withName(const char* pattern, const std::string& name);

// The question of the procedures that transform one DES. `question` has
// one %s for the input name. n keeps the input name as the output name;
// any other key (Enter included) asks for a new one with newNamePrompt.
[[nodiscard]] PromptStatus askRename(const char* question, std::string_view newNamePrompt, const std::string& inputName,
                            std::string& outputName);

// The answer to a yes/no question. DEFAULT is the starred choice: Enter,
// and any key that is neither y nor n unless the question says otherwise.
enum class Answer { YES, NO, DEFAULT, CANCEL };

// The answers to a yes/no question, in either case.
inline bool isYes(int key) { return key == 'y' || key == 'Y'; }
inline bool isNo(int key) { return key == 'n' || key == 'N'; }

// Reads the answer to the question at the cursor: Escape answers CANCEL
// and echoes nothing; any other key is echoed (Enter shows nothing),
// followed by two line breaks. y answers YES, n NO, Enter DEFAULT and any
// other key `otherKeys`: NO for the questions where only y or Enter may
// go ahead (a stray key must never overwrite a file).
[[nodiscard]] Answer readAnswer(Answer otherKeys = Answer::DEFAULT);
// A yes/no question on the rows below: the page break for `lastRow`
// (breakPageIfFull), the question, the Escape hint, then readAnswer.
[[nodiscard]] Answer askYesNo(std::string_view question, int lastRow = 22, Answer otherKeys = Answer::DEFAULT);
// A question with lettered choices ("(*A/T)"): the key, echoed as by
// readAnswer; ESCAPE_KEY cancels. The caller tells the letters apart.
[[nodiscard]] int readChoiceKey();

// --- Lists ------------------------------------------------------------------------

// The lines that introduce a list, and those that head each further page.
struct ListTexts {
  std::vector<std::string> request;      // written before the first entry
  std::vector<std::string> continuation; // written after a page break
  std::string heading;                   // heads a new page in place of the title; "" for the title

  ListTexts(std::vector<std::string> requestLines, std::vector<std::string> continuationLines,
            std::string pageHeading = {})
      : request(std::move(requestLines)), continuation(std::move(continuationLines)),
        heading(std::move(pageHeading)) {}
};

// How a list goes on once its last row (21) is filled: on a fresh page
// with the continuation lines, or by moving the picture up one row with
// the head of the first page (page head and request lines) kept in place.
enum class ListOverflow { NEW_PAGE, SCROLL };

// Writes the request lines (each followed by a line break, the last by
// two) and puts the cursor at column 5.
void beginList(const ListTexts& texts);
// A list on a page of its own: a cleared screen, the page head (the
// heading, or the title, and an empty row), the Escape hint, the request
// lines; the cursor at column 5.
void beginListPage(const ListTexts& texts);
// The next page of a list: as beginListPage with the continuation lines.
void continueListPage(const ListTexts& texts);
// Before an entry `width` columns wide in a row-filling list: a cursor at
// or past column 80 - width starts a new row at column 5, and a row past
// 21 starts a new page (continueListPage). Cells 10 wide from column 5
// thus go seven to a row, the last at column 65.
void beginListCell(int width, const ListTexts& texts);
// Before an entry that takes a row of its own: a row past 21 goes on as
// `overflow` says (SCROLL clears the status rows and leaves the cursor on
// row 21); the cursor goes to column 5.
void beginListRow(const ListTexts& texts, ListOverflow overflow = ListOverflow::NEW_PAGE);

// A rule on the labels of a list: the refusal message for a label, or ""
// when the label is acceptable.
using EventCheck = std::function<std::string(std::uint16_t label)>;

// The event-list editor: labels -1..999 or "e" read with readEventOrE in
// cells 7 columns wide, ended by -1, stored ascending without repeats. A
// label that `refuse` objects to is not taken: its message stands on row 22
// and the same cell is asked again.
[[nodiscard]] PromptStatus enterEventList(EventList& list, const ListTexts& texts, const EventCheck& refuse = {});

// How a projection-like procedure names its events.
enum NullImageKind { NULL_LIST = 1, IMAGE_LIST = 2, IMAGE_DES = 3 };
struct NullImageChoice {
  NullImageKind kind = NULL_LIST;
  EventList list;           // erased labels (NULL) or retained labels (IMAGE, IMAGE_DES)
  std::string imageDesName; // the IMAGE_DES, for the log
};
// The NULL/IMAGE/IMAGE_DES dialog. mode 0 words it for Project, 3 for
// Supscop, 4 for Supnorm, anything else plainly.
[[nodiscard]] PromptStatus chooseNullImage(int mode, NullImageChoice& choice);
// The erased labels the child receives: the list itself for NULL; for the
// other kinds every label of the named inputs that is not retained.
EventList nullEventsOf(const NullImageChoice& choice, const std::vector<std::string>& inputs);
// The labels on the transitions of a file in the user directory (init -1:
// a .DAT), ascending; none when the file is missing or unreadable.
EventList labelsOfFile(const std::string& name, std::int64_t init = 0);
// The labels of several files, merged; loaded one at a time, so that only
// one is in memory.
EventList labelsOfFiles(const std::vector<std::string>& names);
// The choice as the log writes it: "Null[...]", "Image[...]" or the name.
std::string nullImageLogText(const NullImageChoice& choice);

// --- The computation ------------------------------------------------------------

// "Processing:  Please wait..." on row 23, then the batch child with the
// procedure's code and lines (runBatchProcedure; `reader` reads orva.rst,
// readResult when empty). In debug mode the terminal is handed to the
// child while it runs. Escape on the terminal ends the child (and the
// children it started) and answers RESULT_CANCELLED. Notes the start and
// end times.
[[nodiscard]] int runProcedure(int code, const ParameterLines& lines, const ResultReader& reader = {});
// The span of the last runProcedure, formatted.
std::string computingTime();
// Procedures that compute in this process take their own times for the
// computing-time line: the start just before, the end just after.
void markStartTime();
void markEndTime();

// A procedure of the batch child whose dialog is names and at most one
// list: one or two input DES, an output DES (asked for, or offered as the
// input's own name by renameQuestion), then a list of event labels or a
// NULL/IMAGE list. The child gets the names in that order, the flag line
// and the labels; the log entry is "OUT = Name(IN1,IN2,LIST)" with the
// result's sizes.
inline constexpr int NO_LIST = -1;
struct ProcedureForm {
  const char* word;                     // the title word
  const char* formula;                  // the title formula
  const char* firstPrompt;              // DES1
  const char* secondPrompt = nullptr;   // DES2, or null for one input
  const char* outputLead = nullptr;     // a line before the output prompt, or null
  const char* outputPrompt = nullptr;
  const char* renameQuestion = nullptr; // askRename's question instead of the output prompt, or null
  int code = 0;                         // the procedure code
  const char* logName = nullptr;        // the name in the log entry
  int listMode = NO_LIST;               // chooseNullImage's wording, or NO_LIST
  const ListTexts* eventList = nullptr; // the texts of a list of labels (logged as "[...]"), or null
  bool flagLine = false;                // a number line 1 after the names (Suprobs)
  bool imageFromBoth = false;           // IMAGE lists are taken against both inputs
  bool viaScratch = true;               // the log entry goes through the scratch file
  // The result codes the procedure tells in its own words: told, they
  // answer FAILED; DONE leaves the code to checkResult. Null: none.
  DialogResult (*explainCode)(int code) = nullptr;
};
[[nodiscard]] DialogResult runProcedureForm(const ProcedureForm& form);

// A file of the procedure, for the messages that name it.
struct FileName {
  std::string name;      // as typed, without extension
  std::string extension; // ".DES", ".DAT"
};
struct ProcedureFiles {
  std::vector<FileName> inputs;
  FileName output; // name empty when the procedure saves nothing
};

// The reaction to a result code: DONE for 0; CANCELLED after Escape during
// the run; FAILED after telling the user, for 3 with the out-of-memory
// message and for every other code with one line on row 22 saying what
// went wrong; both then wait for Enter.
[[nodiscard]] DialogResult checkResult(int code, const ProcedureFiles& files);
// checkResult, then for DONE the output DES (or DAT) loaded into `result`.
// An output that is missing or unreadable is a failure, told on row 22.
[[nodiscard]] DialogResult collectOutput(int code, const ProcedureFiles& files, DES& result);
// A procedure whose result is the DES files.output: runProcedure,
// collectOutput, then completeWithResult with `text` and the result's
// sizes as the log entry.
[[nodiscard]] DialogResult runAndLog(int code, const ParameterLines& lines, const ProcedureFiles& files,
                                     const std::string& text, bool viaScratch);
// One line on row 22 and the Enter pause.
void reportProblem(std::string_view message);

// For the procedures that compute in this process, the failures told as a
// child's would be. loadDialogInput loads a DES the prompt found (an
// unreadable file, or one gone since, is told); saveDialogOutput saves a
// result; both answer whether they succeeded. reportTooManyTransitions
// tells the per-state limit.
[[nodiscard]] bool loadDialogInput(const std::string& name, DES& des);
[[nodiscard]] bool saveDialogOutput(const std::string& name, const DES& des);
void reportTooManyTransitions();

// The keys of a paged listing, once its page is drawn: D or Enter go on
// (FINISHED from the last page), U goes back when there is a page before,
// Escape leaves. Other keys are ignored.
enum class PageTurn { NEXT, BACK, ESCAPED, FINISHED };
[[nodiscard]] PageTurn readPageTurn(bool canGoBack, bool atEnd);

// readPageTurn for a listing that remembers where each page seen so far
// starts (so that U goes back exactly): moves `page`, recording `next`, the
// start of the page after this one, on the way forward.
template <class Start>
[[nodiscard]] PageTurn turnListingPage(std::vector<Start>& pageStarts, std::size_t& page, Start next, bool atEnd) {
  const PageTurn turn = readPageTurn(page > 0, atEnd);
  if (turn == PageTurn::NEXT) {
    if (page + 1 == pageStarts.size()) pageStarts.push_back(next);
    ++page;
  } else if (turn == PageTurn::BACK) {
    --page;
  }
  return turn;
}

// --- The log and the way back ----------------------------------------------------

// "  (%ld,%ld)": states and transitions.
std::string sizesText(const DES& des);
// Labels joined by ",", the silent label as "e".
std::string labelsText(const EventList& labels);
// Names joined by ",".
std::string joined(const std::vector<std::string>& names);
// One label as the log writes it: "e" for the silent label.
std::string labelText(long e);
// Appends the entry text with the computing-time line (clocking on) and the
// closing empty line; through the scratch file when viaScratch. outName is
// what stands before " = ".
void writeLogEntry(std::string_view outName, std::string_view text, bool viaScratch);
// Rows 22 and 23 cleared, "Freeing memory:  Please wait..." on row 23, and
// the result released.
void freeAndReturn(DES& result);
// The end of a completed procedure: log entry, Enter pause, freeAndReturn.
DialogResult completeProcedure(std::string_view outName, std::string_view text, bool viaScratch, DES& result);
// completeProcedure for a procedure that saved `result` as the DES outName:
// its size (showResultSizes) stands on a status row during the pause.
DialogResult completeWithResult(std::string_view outName, std::string_view text, bool viaScratch, DES& result);
// "SUPER: 6 states, 8 transitions", the figures of the log entry (the
// singular for 1).
std::string resultSizeText(std::string_view name, const DES& des);
// Shows the sizes of what a procedure saved, joined by "; ", on the status
// rows that are blank: row 22, then row 24 when 22 holds text or one row
// is not enough.
void showResultSizes(const std::vector<std::string>& sizes);

// The determinism check offered after Create and Edit: reports every
// transition that shares its label with another at its state, and every
// silent one. PROMPT_CANCELLED on Escape at the question.
[[nodiscard]] PromptStatus checkNondeterminism(const DES& des, std::string_view name, bool pause);

} // namespace kav
