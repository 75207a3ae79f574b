// The front end's run of the batch child and the handling of its result.

#include "console/frontend.h"

#include <cstring>

#include "console/lineEditors.h"
#include "console/screen.h"
#include "console/session.h"
#include "console/sessionLog.h"
#include "engine/child.h"
#include "engine/protocol.h"
#include "model/desfile.h"
#include "model/safefile.h"
#include "model/session.h"
#include "model/userfiles.h"

namespace kav {

namespace {

// Calendar times around the last batch child, whole seconds.
std::time_t startTime = 0;
std::time_t endTime = 0;

std::string pathOf(const FileName& file) { return userPath(file.name, file.extension); }

// The input the child could not read: the first one that does not load.
std::string unreadableInput(const ProcedureFiles& files) {
  for (const FileName& file : files.inputs) {
    std::int64_t init = file.extension == ".DAT" ? -1 : 0;
    DES probe;
    if (loadDES(file.name, init, probe) == LOAD_MALFORMED) return pathOf(file);
  }
  return files.inputs.empty() ? std::string() : pathOf(files.inputs.front());
}

std::string failureMessage(int code, const ProcedureFiles& files) {
  // Paths are shortened from the middle so the file name stays in sight.
  switch (code) {
  case RESULT_NO_PARAMETERS: return "Computation failed: the child found no parameter file orva.prm.";
  case RESULT_INCOMPLETE_PARAMETERS: return "Computation failed: parameter file orva.prm incomplete or not acceptable.";
  case RESULT_UNREADABLE_INPUT: return "Error reading file: " + abbreviate(unreadableInput(files), 59);
  case RESULT_WRITE_FAILED: return "Error writing file: " + abbreviate(pathOf(files.output), 59);
  case RESULT_TOO_MANY_TRANSITIONS: return "Computation failed: a state would carry more than 65535 transitions.";
  case RESULT_NO_PARAMETER_FILE: return "Error writing file: " + abbreviate(protocolPath(PARAMETER_FILE), 59);
  case RESULT_CHILD_FAILED: return "Computation failed: the child process did not end normally.";
  case RESULT_NO_RESULT: return "Computation failed: the child process left no result file orva.rst.";
  case RESULT_NO_NUMBER: return "Computation failed: the result file orva.rst holds no result code.";
  case RESULT_UNOPENABLE_RESULT: return "Error reading file: " + abbreviate(protocolPath(RESULT_FILE), 59);
  default: return "Computation failed with result code " + std::to_string(code) + ".";
  }
}

bool escapeDuringWait(int milliseconds) { return pollEscape(milliseconds); }

} // namespace

// --- The computation ------------------------------------------------------------

int runProcedure(int code, const ParameterLines& lines, const ResultReader& reader) {
  writeStatusLine(22, "");
  writeStatusLine(23, "Processing:  Please wait...");
  refreshScreen();
  startTime = std::time(nullptr);
  // In debug mode the child writes its progress lines on the terminal;
  // Escape is read there too, unechoed.
  const bool handOver = session.debugMode && isScreenDrawn();
  if (isScreenDrawn()) setChildWaitPoll(escapeDuringWait);
  if (handOver) handOverTerminal();
  const int result = runBatchProcedure(code, lines, reader);
  setChildWaitPoll(nullptr);
  endAfterHangup();
  if (handOver) takeBackTerminal();
  endTime = std::time(nullptr);
  // A child ended on Escape may leave the temporary file of a save it
  // had begun; it is a dead process's now.
  if (result == RESULT_CANCELLED) removeStaleTemporaries(session.userDir);
  return result;
}

std::string computingTime() { return formatComputingTime(static_cast<long long>(endTime - startTime)); }

void markStartTime() { startTime = std::time(nullptr); }

void markEndTime() { endTime = std::time(nullptr); }

void reportProblem(std::string_view message) {
  writeStatusLine(22, message);
  waitForEnterToReturn();
}

PageTurn readPageTurn(bool canGoBack, bool atEnd) {
  for (;;) {
    const int key = readKey();
    if (key == ESCAPE_KEY) return PageTurn::ESCAPED;
    if (key == 'd' || key == 'D' || key == ENTER_KEY) return atEnd ? PageTurn::FINISHED : PageTurn::NEXT;
    if ((key == 'u' || key == 'U') && canGoBack) return PageTurn::BACK;
  }
}

bool loadDialogInput(const std::string& name, DES& des) {
  std::int64_t init = 0;
  if (loadDES(name, init, des) == LOAD_OK) return true;
  reportProblem("Error reading file: " + abbreviate(userPath(name, ".DES"), 59));
  return false;
}

bool saveDialogOutput(const std::string& name, const DES& des) {
  if (saveDES(name, des, 0) == SAVE_OK) return true;
  reportProblem(failureMessage(RESULT_WRITE_FAILED, {{}, {name, ".DES"}}));
  return false;
}

void reportTooManyTransitions() {
  reportProblem(failureMessage(RESULT_TOO_MANY_TRANSITIONS, {}));
}

DialogResult checkResult(int code, const ProcedureFiles& files) {
  switch (code) {
  case RESULT_OK: return DONE;
  case RESULT_CANCELLED: return CANCELLED;
  case RESULT_OUT_OF_MEMORY:
    showOutOfMemory();
    waitForEnterToReturn();
    return FAILED;
  default: reportProblem(failureMessage(code, files)); return FAILED;
  }
}

DialogResult collectOutput(int code, const ProcedureFiles& files, DES& result) {
  if (DialogResult r = checkResult(code, files); r != DONE) return r;
  std::int64_t init = files.output.extension == ".DAT" ? -1 : 0;
  switch (loadDES(files.output.name, init, result)) {
  case LOAD_OK: return DONE;
  case LOAD_MISSING: reportProblem("Output file " + abbreviate(pathOf(files.output), 50) + " was not created."); break;
  case LOAD_MALFORMED: reportProblem("Error reading file: " + abbreviate(pathOf(files.output), 59)); break;
  }
  return FAILED;
}

DialogResult runAndLog(int code, const ParameterLines& lines, const ProcedureFiles& files, const std::string& text,
                       bool viaScratch) {
  DES result;
  if (DialogResult r = collectOutput(runProcedure(code, lines), files, result); r != DONE) return r;
  return completeWithResult(files.output.name, text + sizesText(result), viaScratch, result);
}

DialogResult runProcedureForm(const ProcedureForm& form) {
  clearScreen();
  showTitle(form.word, form.formula);
  std::vector<std::string> inputs(form.secondPrompt ? 2 : 1);
  std::string out;
  if (promptExistingDes(form.firstPrompt, inputs[0])) return CANCELLED;
  if (form.secondPrompt && promptExistingDes(form.secondPrompt, inputs[1])) return CANCELLED;
  if (form.outputLead) {
    breakPageIfFull();
    writeText(form.outputLead);
    newLineIfRoom();
  }
  if (form.renameQuestion ? askRename(form.renameQuestion, form.outputPrompt, inputs[0], out)
                          : promptFileName(form.outputPrompt, ".DES", out, true))
    return CANCELLED;
  NullImageChoice choice;
  if (form.listMode != NO_LIST && chooseNullImage(form.listMode, choice)) return CANCELLED;
  EventList events;
  if (form.eventList && enterEventList(events, *form.eventList)) return CANCELLED;
  ParameterLines lines;
  ProcedureFiles files{{}, {out, ".DES"}};
  for (const std::string& in : inputs) {
    addName(lines, in);
    files.inputs.push_back({in, ".DES"});
  }
  addName(lines, out);
  if (form.flagLine) addNumber(lines, 1);
  std::string text = out + " = " + form.logName + "(" + joined(inputs);
  if (form.listMode != NO_LIST) {
    const std::vector<std::string> imageOf = form.imageFromBoth ? inputs : std::vector<std::string>{inputs[0]};
    events = nullEventsOf(choice, imageOf);
    text += "," + nullImageLogText(choice);
  } else if (form.eventList) {
    text += ",[" + labelsText(events) + "]";
  }
  addLabels(lines, events);
  const int rc = runProcedure(form.code, lines);
  if (form.explainCode)
    if (DialogResult r = form.explainCode(rc); r != DONE) return r;
  DES result;
  if (DialogResult r = collectOutput(rc, files, result); r != DONE) return r;
  return completeWithResult(out, text + ")" + sizesText(result), form.viaScratch, result);
}

} // namespace kav
