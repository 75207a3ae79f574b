// Dialogs of supervisor reduction (Supreduce) and localization (Localize).

#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "console/dialogs/dialogs.h"
#include "console/lineEditors.h"
#include "console/screen.h"
#include "console/sessionLog.h"
#include "engine/inProcess.h"
#include "engine/protocol.h"
#include "model/desfile.h"
#include "model/session.h"
#include "model/userfiles.h"

namespace kav {

namespace {

// The clean-up of a reduced supervisor: its self-loops that carry no
// control information go, unless the user declines. Asked only when the
// clean-up changes something. `applied` tells whether the cleaned
// supervisor is the one to keep. CANCELLED on Escape; FAILED (told) when
// the control data can no longer be read: without them every self-loop
// would pass for idle.
DialogResult offerCleanUp(DES& reduced, const std::string& controlData, bool& applied) {
  DES data;
  std::int64_t init = -1;
  if (loadDES(controlData, init, data) != LOAD_OK) {
    reportProblem("Error reading file: " + abbreviate(userPath(controlData, ".DAT"), 59));
    return FAILED;
  }
  EventList disabled;
  collectEvents(data, disabled);
  DES cleaned;
  applied = true;
  if (inProcess::cleanUpReduction(reduced, disabled, cleaned)) {
    const Answer answer = askYesNo("Execute clean-up procedure? (*y/n)  ");
    if (answer == Answer::CANCEL) return CANCELLED;
    applied = answer != Answer::NO;
  }
  if (applied) reduced = std::move(cleaned);
  return DONE;
}

// Log entries of procedures that compute in this process carry the time
// of that computation rather than that of the last batch child. Written
// whole here rather than by writeLogEntry with the clocking switch turned
// off for a moment: an allocation failing in between left it off.
void writeTimedLogEntry(const std::string& outName, std::string text, std::time_t started, std::time_t ended) {
  const int indent = static_cast<int>(outName.size()) + 3;
  if (session.clockingMode) {
    text += '\n';
    text.append(static_cast<std::size_t>(indent), ' ');
    text += "Computing time = ";
    text += formatComputingTime(static_cast<long long>(ended - started));
  }
  text += "\n\n";
  appendLogWrapped(text, indent);
}

// The name under which the batch child writes the product of the
// components: it begins with a character the name editor does not take
// (outside printable ASCII), so it can never be a user's file.
const std::string COMPONENT_PRODUCT_NAME = "\xC2\xA7LOCALIZE-SYNC";
// Likewise for the reduction, which the dialog saves as DES3 itself once
// the clean-up question is answered: Escape there leaves no file behind
// and an older DES3 as it was.
const std::string REDUCTION_NAME = "\xC2\xA7SUPREDUCE";

enum PlantCheck { PLANT_IS_PRODUCT, PLANT_IS_NOT_PRODUCT, PLANT_CHECK_FAILED };

// Forms Sync of the components through the batch child and compares it
// with PLANT. A failure of the child has been reported (or was Escape).
PlantCheck checkPlantIsProduct(const LocalizeRequest& request, DialogResult& failure) {
  ParameterLines lines;
  addName(lines, COMPONENT_PRODUCT_NAME);
  addNumber(lines, static_cast<long>(request.components.size()));
  for (const std::string& name : request.components) addName(lines, name);
  const int row = whereY();
  const int code = runProcedure(PROC_SYNC, lines);
  writeStatusLine(23, "");
  moveCursor(0, row); // the status rows took the cursor
  DES product;
  std::int64_t init = 0;
  const bool loaded = code == RESULT_OK && loadDES(COMPONENT_PRODUCT_NAME, init, product) == LOAD_OK;
  std::remove(userPath(COMPONENT_PRODUCT_NAME, ".DES").c_str());
  if (code != RESULT_OK || !loaded) {
    ProcedureFiles files;
    for (const std::string& name : request.components) files.inputs.push_back({name, ".DES"});
    files.output = {COMPONENT_PRODUCT_NAME, ".DES"};
    failure = code == RESULT_OK ? FAILED : checkResult(code, files);
    if (code == RESULT_OK) reportProblem("Computation failed: the product of the components could not be read.");
    return PLANT_CHECK_FAILED;
  }
  DES plant;
  init = 0;
  if (loadDES(request.plant, init, plant) != LOAD_OK) return PLANT_IS_NOT_PRODUCT;
  const Minimizer minimizer = minimizerOf(session.minimizerSelector);
  return inProcess::sameAfterMinimization(plant, product, minimizer) ? PLANT_IS_PRODUCT : PLANT_IS_NOT_PRODUCT;
}

// Up to three names in full; more as the first two, "..." and the last.
std::string shortList(const std::vector<std::string>& names) {
  const std::size_t n = names.size();
  std::string text = names[0];
  if (n > 3) return text + ", " + names[1] + ", ..., " + names[n - 1];
  for (std::size_t k = 1; k < n; ++k) text += ", " + names[k];
  return text;
}

std::string localizeFormula(const LocalizeRequest& r) {
  std::vector<std::string> controllers;
  for (std::size_t k = 1; k <= r.components.size(); ++k) controllers.push_back("LOC" + std::to_string(k));
  return "(" + shortList(controllers) + ") = LOCALIZE(" + r.plant + ", (" + shortList(r.components) + "), " +
         r.supervisor + ")";
}

// Shows one message of the localization as a line of its own.
void showLocalizeMessage(const std::string& text) {
  std::size_t start = 0;
  while (start < text.size() && text[start] == '\n') ++start;
  std::size_t end = text.size();
  while (end > start && text[end - 1] == '\n') --end;
  breakPageIfFull(21);
  writeText(text.substr(start, end - start));
  newLineIfRoom();
  refreshScreen();
}

bool loadAll(const std::vector<std::string>& names, std::vector<DES>& out) {
  out.resize(names.size());
  for (std::size_t k = 0; k < names.size(); ++k) {
    std::int64_t init = 0;
    if (loadDES(names[k], init, out[k]) != LOAD_OK) return false;
  }
  return true;
}

} // namespace

DialogResult supreduceDialog() {
  clearScreen();
  showTitle("SUPREDUCE", "DES3 = SUPREDUCE (DES1, DES2, DAT2)");
  std::string plant, supervisor, controlData, out;
  if (promptExistingDes("Enter name of plant generator DES1 ..........  ", plant)) return CANCELLED;
  if (promptExistingDes("Enter name of DES2 [= Supcon(DES1,DES?)] ....  ", supervisor)) return CANCELLED;
  if (promptFileName("Enter name of DAT2 [= Condat(DES1,DES2)] ....  ", ".DAT", controlData, false)) return CANCELLED;
  if (promptFileName("Enter name of DES3 ..........................  ", ".DES", out, true)) return CANCELLED;
  setTitleFormula(out + " = SUPREDUCE (" + plant + ", " + supervisor + ", " + controlData + ")");
  const Answer answer = askYesNo("Compute slb estimate (at cost of run time increase)? ......  (*y/n)  ");
  if (answer == Answer::CANCEL) return CANCELLED;
  const bool estimate = answer != Answer::NO;

  // The clean-up applies only when plant and supervisor share their events.
  const bool sameEvents = labelsOfFile(plant) == labelsOfFile(supervisor);
  std::int64_t supervisorSize = 0;
  {
    DES des;
    std::int64_t init = 0;
    if (loadDES(supervisor, init, des) == LOAD_OK) supervisorSize = des.size();
  }

  ParameterLines lines;
  addName(lines, plant);
  addName(lines, supervisor);
  addName(lines, controlData);
  addName(lines, REDUCTION_NAME);
  addNumber(lines, 1);
  addNumber(lines, estimate ? 1 : 0);
  std::vector<long> figures;
  const int row = whereY();
  const int code = runProcedure(PROC_SUPREDUCE, lines, [&] { return readResultIntegers(figures); });
  moveCursor(0, row); // the status rows took the cursor
  DES reduced;
  std::int64_t init = 0;
  const bool loaded = code == RESULT_OK && loadDES(REDUCTION_NAME, init, reduced) == LOAD_OK;
  std::remove(userPath(REDUCTION_NAME, ".DES").c_str());
  if (code < 0) return CANCELLED;
  if (code == RESULT_OUT_OF_MEMORY) return checkResult(code, {});
  if (code != RESULT_OK) {
    reportProblem("Error, check the entries");
    return FAILED;
  }
  if (!loaded) return CANCELLED;
  const long bound = figures.empty() ? 0 : figures[0];
  // orva.rst carries the ratio too, but only its integers are read back;
  // it is N / N' in single precision, recomputed from the two sizes.
  const float ratio =
      reduced.empty() ? 0.0f : static_cast<float>(supervisorSize) / static_cast<float>(reduced.size());

  bool cleaned = false;
  if (sameEvents) {
    if (const DialogResult r = offerCleanUp(reduced, controlData, cleaned); r != DONE) return r;
  }
  if (!saveDialogOutput(out, reduced)) return FAILED;
  breakPageIfFull(18);
  const long states = static_cast<long>(reduced.size());
  writeFormat(states == 1 ? "Reduced supervisor %s has %ld state; compression ratio = "
                          : "Reduced supervisor %s has %ld states; compression ratio = ",
              out.c_str(), states);
  writeFormat("%f", static_cast<double>(ratio));
  twoBreaks();
  if (bound != 0) {
    writeFormat("Lower bound estimate of minimal state size: %ld", bound);
    twoBreaks();
  }
  writeFormat(cleaned ? "Verify %s = Sync(%s,%s), possibly after application of Minstate"
                      : "Verify %s = Meet(%s,%s), possibly after application of Minstate",
              supervisor.c_str(), plant.c_str(), out.c_str());
  std::string text = out + " = Supreduce(" + plant + "," + supervisor + "," + controlData + ")  (" +
                     std::to_string(states) + "," + std::to_string(countTransitions(reduced));
  text += estimate && bound >= 1 ? ";slb=" + std::to_string(bound) + ")" : ")";
  return completeWithResult(out, text, false, reduced);
}

DialogResult localizeDialog() {
  clearScreen();
  showTitle("LOCALIZE", "(LOC1, LOC2, ...) = LOCALIZE (PLANT, (PLANT1, PLANT2, ...), SUPER)");
  LocalizeRequest request;
  if (promptExistingDes("Enter name of PLANT ......... ", request.plant)) return CANCELLED;
  breakPageIfFull();
  writeFormat("Enter number of independent plant components ... (between 1 and %d) ", 20);
  showEscHint();
  int key = 0;
  const long n = readIntInRange(key, 1, 20);
  if (key == ESCAPE_KEY) return CANCELLED;
  twoBreaks();
  for (long i = 1; i <= n; ++i) {
    char prompt[64];
    std::snprintf(prompt, sizeof prompt, "Enter name of PLANT%ld ........ ", i);
    std::string name;
    if (promptExistingDes(prompt, name)) return CANCELLED;
    request.components.push_back(name);
  }

  DialogResult failure = FAILED;
  switch (checkPlantIsProduct(request, failure)) {
  case PLANT_CHECK_FAILED: return failure;
  case PLANT_IS_PRODUCT: break;
  case PLANT_IS_NOT_PRODUCT: {
    breakPageIfFull(21);
    writeText("Input PLANT is not the synchronous product of input PLANT components,");
    newLineIfRoom();
    if (askYesNo("  and ControlEqu procedure will be invalid; continue?  (y/*n)  ") != Answer::YES) return CANCELLED;
    break;
  }
  }

  if (promptExistingDes("Enter name of SUPER ......... ", request.supervisor)) return CANCELLED;
  setTitleFormula(localizeFormula(request));
  for (long i = 1; i <= n; ++i) {
    char prompt[64];
    std::snprintf(prompt, sizeof prompt, "Enter name of LOC%ld ........ ", i);
    for (;;) {
      std::string name;
      if (promptFileName(prompt, ".DES", name, true)) return CANCELLED;
      if (!inProcess::isControllerNameTaken(request, request.controllers.size(), name)) {
        request.controllers.push_back(name);
        break;
      }
      writeFormat("Name %s is PLANT, SUPER, a component or a local controller already!", name.c_str());
      twoBreaks();
    }
  }
  Answer answer = askYesNo("Execute clean up procedure?  (*y/n)  ");
  if (answer == Answer::CANCEL) return CANCELLED;
  request.skipCleanUp = answer == Answer::NO;

  const int row = whereY();
  writeStatusLine(22, "");
  writeStatusLine(23, "Processing:  Please wait... ");
  moveCursor(0, row);
  refreshScreen();
  const std::time_t started = std::time(nullptr);
  std::vector<std::int64_t> sizes;
  const int status = inProcess::localize(request, sizes, showLocalizeMessage);
  const std::time_t ended = std::time(nullptr);
  const int after = whereY();
  writeStatusLine(23, "");
  moveCursor(0, after);
  if (status != LOCALIZE_OK) {
    reportProblem(status == LOCALIZE_WRITE_FAILED ? "Localization failed: a local controller could not be written."
                                                  : "Localization failed: check the entries.");
    return FAILED;
  }

  // Only y or Enter starts the check, which can take long.
  answer = askYesNo("Confirm localization control-equivalent to " + request.supervisor + "?  (*y/n)  ", 22, Answer::NO);
  if (answer == Answer::CANCEL) return CANCELLED;
  bool checked = false, equivalent = false;
  if (answer != Answer::NO) {
    std::vector<DES> components, controllers;
    DES supervisor;
    std::int64_t init = 0;
    checked = true;
    equivalent = loadAll(request.components, components) && loadAll(request.controllers, controllers) &&
                 loadDES(request.supervisor, init, supervisor) == LOAD_OK &&
                 inProcess::controlEquivalent(components, controllers, supervisor,
                                              minimizerOf(session.minimizerSelector));
    breakPageIfFull(21);
    writeText(equivalent ? "Localization succeeds!" : "Localization fails!");
    newLineIfRoom();
  }

  // The entry: the controllers with their sizes, and the verdict. (Built
  // by appending: GCC 12 misreads chains of "literal" + string.)
  std::string outName = "(";
  outName += joined(request.controllers);
  outName += ')';
  std::string text = outName;
  text += " = Localize(";
  text += request.plant;
  text += ",(";
  text += joined(request.components);
  text += "),";
  text += request.supervisor;
  text += ")  (";
  for (std::size_t k = 0; k < request.controllers.size(); ++k) {
    DES des;
    std::int64_t init = 0;
    const bool loaded = loadDES(request.controllers[k], init, des) == LOAD_OK;
    // What was made, one controller a row, before the pause.
    if (loaded) showLocalizeMessage(resultSizeText(request.controllers[k], des));
    if (k > 0) text += ';';
    text += '(';
    text += std::to_string(loaded ? des.size() : 0);
    text += ',';
    text += std::to_string(loaded ? countTransitions(des) : 0);
    text += ')';
  }
  text += ')';
  if (checked) {
    text += equivalent ? "\ntrue" : "\nfalse";
    text += " = ControlEqu(";
    text += request.plant;
    text += ",(";
    text += joined(request.controllers);
    text += "), ";
    text += request.supervisor;
    text += ')';
  }
  writeTimedLogEntry(outName, text, started, ended);
  waitForEnterToReturn();
  DES none;
  freeAndReturn(none);
  return DONE;
}

} // namespace kav
