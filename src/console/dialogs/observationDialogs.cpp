// Dialogs of the quasi-congruence and observability procedures: Supnorm,
// Supscop, Supconrobs, Sup(s)qc, (S)Observable, Suprobs and Uncertmod run
// in the batch child; Natobs computes here.

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "console/dialogs/dialogs.h"
#include "console/lineEditors.h"
#include "console/screen.h"
#include "engine/inProcess.h"
#include "engine/protocol.h"
#include "model/desfile.h"
#include "model/userfiles.h"

namespace kav {

namespace {

// A line of its own before the next prompt.
void writeLine(const std::string& text) {
  breakPageIfFull();
  writeText(text);
  newLineIfRoom();
}

// A label in a report: "e" for the silent label, "_" for the marker.
std::string reportLabel(std::uint16_t e) {
  return e == inProcess::MARKER_EVENT ? std::string("_") : labelText(e);
}

// Asks until the answer is one of `answers` (as typed); its index, or -1
// after Escape.
int askWord(const char* question, int length, const std::vector<std::vector<std::string>>& answers) {
  for (;;) {
    breakPageIfFull();
    writeText(question);
    showEscHint();
    std::string answer;
    if (readText(answer, length) == ESCAPE_KEY) return -1;
    twoBreaks();
    for (std::size_t k = 0; k < answers.size(); ++k)
      for (const std::string& accepted : answers[k])
        if (answer == accepted) return static_cast<int>(k);
  }
}

// The classes of more than one state, "[first,further...]" joined by ",",
// from the representative of every state.
std::string partitionText(const std::vector<long>& representative) {
  std::map<long, std::vector<long>> classes;
  for (std::size_t x = 0; x < representative.size(); ++x) classes[representative[x]].push_back(static_cast<long>(x));
  std::string text;
  for (const auto& [first, members] : classes) {
    if (members.size() < 2) continue;
    if (!text.empty()) text += ',';
    text += '[';
    for (std::size_t k = 0; k < members.size(); ++k) text += (k ? "," : "") + std::to_string(members[k]);
    text += ']';
  }
  return text;
}

} // namespace

DialogResult supnormDialog() {
  return runProcedureForm({.word = "SUPNORM",
                           .formula = "DES3 = SUPNORM (DES1, DES2, NULL/IMAGE/IMAGE_DES)",
                           .firstPrompt = "Enter name of plant generator DES1 .............  ",
                           .secondPrompt = "Enter name of legal language generator DES2 ....  ",
                           .outputPrompt = "Enter name of DES3 ....  ",
                           .code = PROC_SUPNORM,
                           .logName = "Supnorm",
                           .listMode = 4,
                           .imageFromBoth = true});
}

DialogResult supscopDialog() {
  return runProcedureForm({.word = "SUPSCOP",
                           .formula = "DES3 = SUPSCOP (DES1, DES2, NULL/IMAGE/IMAGE_DES)",
                           .firstPrompt = "Enter name of plant generator DES1 .............  ",
                           .secondPrompt = "Enter name of legal language generator DES2 ....  ",
                           .outputPrompt = "Enter name of DES3 ....  ",
                           .code = PROC_SUPSCOP,
                           .logName = "Supscop",
                           .listMode = 3,
                           .imageFromBoth = true});
}

DialogResult supconrobsDialog() {
  return runProcedureForm({.word = "SUPCONROBS",
                           .formula = "DES3 = SUPCONROBS (DES1, DES2, NULL/IMAGE/IMAGE_DES)",
                           .firstPrompt = "Enter name of plant generator DES1 .................  ",
                           .secondPrompt = "Enter name of legal language generator DES2 ........  ",
                           .outputLead = "Enter name of supremal controllable and",
                           .outputPrompt = " relatively observable sublanguage generator DES3 ...  ",
                           .code = PROC_SUPCONROBS,
                           .logName = "Supconrobs",
                           .listMode = 1});
}

DialogResult suprobsDialog() {
  return runProcedureForm({.word = "SUPROBS",
                           .formula = "DES3 = SUPROBS (DES1, DES2, NULL/IMAGE/IMAGE_DES)",
                           .firstPrompt = "Enter name of plant generator DES1 .................. ",
                           .secondPrompt = "Enter name of legal language generator DES2 ......... ",
                           .outputLead = "Enter name of supremal",
                           .outputPrompt = " relatively observable sublanguage generator DES3 ... ",
                           .code = PROC_SUPROBS,
                           .logName = "Suprobs",
                           .listMode = 1,
                           .flagLine = true});
}

DialogResult uncertmodDialog() {
  return runProcedureForm({.word = "UNCERTMOD",
                           .formula = "DES2 = UNCERTMOD (DES1, NULL/IMAGE/IMAGE_DES)",
                           .firstPrompt = "Enter name of DES1 .................. ",
                           .outputPrompt = "Enter name of DES2 .................. ",
                           .code = PROC_UNCERTMOD,
                           .logName = "Uncertmod",
                           .listMode = 1});
}

DialogResult supqcDialog() {
  clearScreen();
  showTitle("SUPREMAL (STRONG) QUASI-CONGRUENCE", "DES2 = SUP(S)QC (DES1, NULL/IMAGE/IMAGE_DES)");
  const int kind = askWord("Select supqc/supsqc .................... qc/sqc? ", 3, {{"qc", "QC"}, {"sqc", "SQC"}});
  if (kind < 0) return CANCELLED;
  const bool strong = kind == 1;
  clearScreen();
  showTitle(strong ? "SUPREMAL STRONG QUASI-CONGRUENCE" : "SUPREMAL QUASI-CONGRUENCE",
            strong ? "DES2 = SUPSQC (DES1, NULL/IMAGE/IMAGE_DES)" : "DES2 = SUPQC (DES1, NULL/IMAGE/IMAGE_DES)");
  std::string in, out;
  if (promptExistingDes("Enter name of DES1 .....................  ", in)) return CANCELLED;
  if (promptFileName("Enter name of DES2 .....................  ", ".DES", out, true)) return CANCELLED;
  NullImageChoice choice;
  if (chooseNullImage(1, choice)) return CANCELLED;
  const Answer answer = askYesNo(strong ? "Report SQC state partition in MAKEIT.TXT?  (y/*n)  "
                                        : "Report QC state partition in MAKEIT.TXT?  (y/*n)  ");
  if (answer == Answer::CANCEL) return CANCELLED;
  const bool reportPartition = answer == Answer::YES;

  ParameterLines lines;
  addNumber(lines, strong ? 2 : 1);
  addName(lines, in);
  addName(lines, out);
  addLabels(lines, nullEventsOf(choice, {in}));
  std::vector<long> representative;
  const int row = whereY();
  const int code = runProcedure(PROC_SUPQC, lines, [&] { return readResultIntegers(representative); });
  moveCursor(0, row); // the status rows took the cursor
  DES result;
  if (DialogResult r = collectOutput(code, {{{in, ".DES"}}, {out, ".DES"}}, result); r != DONE) return r;
  const bool deterministic = isStrictlyDeterministic(result);
  breakPageIfFull(21);
  writeFormat(deterministic ? "%s is DETERMINISTIC." : "%s is NONDETERMINISTIC.", out.c_str());
  std::string text = out + (strong ? " = Supsqc(" : " = Supqc(") + in + "," + nullImageLogText(choice);
  text += strong ? ",SQC[" : ",QC[";
  text += reportPartition ? partitionText(representative) : std::string("omitted");
  text += "])" + sizesText(result) + (deterministic ? "  Deterministic." : "  Nondeterministic.");
  return completeWithResult(out, text, true, result);
}

DialogResult observableDialog() {
  clearScreen();
  showTitle("(STRONG) OBSERVABLILITY", "OBS (DES1, DES2, NULL/IMAGE/IMAGE_DES)");
  // o in either case, so in any mix of cases.
  const int kind = askWord("Test for observability/strong observability ..... o/so ? ", 2,
                           {{"o", "O"}, {"so", "So", "sO", "SO"}});
  if (kind < 0) return CANCELLED;
  const bool strong = kind == 1;
  std::string plant, spec;
  if (promptExistingDes("Enter the name of DES1 ...............................  ", plant)) return CANCELLED;
  if (promptExistingDes("Enter the name of DES2 ...............................  ", spec)) return CANCELLED;
  NullImageChoice choice;
  if (chooseNullImage(1, choice)) return CANCELLED;
  ParameterLines lines;
  addNumber(lines, strong ? 2 : 1);
  addName(lines, plant);
  addName(lines, spec);
  addLabels(lines, nullEventsOf(choice, {plant}));
  long verdict = 0;
  DES report;
  const int row = whereY();
  const int code =
      runProcedure(PROC_OBSERVABLE, lines, [&] { return readObservabilityResult(verdict, report); });
  moveCursor(0, row);
  if (code == RESULT_NO_REPORT) {
    reportProblem("Computation failed: the failure report was not found.");
    return FAILED;
  }
  if (DialogResult r = checkResult(code, {{{plant, ".DES"}, {spec, ".DES"}}, {}}); r != DONE) return r;

  const bool holds = verdict == 1;
  breakPageIfFull(19);
  if (holds) {
    writeFormat(strong ? "%s is strongly observable with respect to %s" : "%s is observable with respect to %s",
                spec.c_str(), plant.c_str());
  } else {
    writeFormat(strong ? "%s is not strongly observable with respect to %s\n" : "%s is not observable with respect to %s\n",
                spec.c_str(), plant.c_str());
    writeText("States and corresponding events at which\n");
    writeText(strong ? "strong observability fails are reported in MAKEIT.TXT"
                     : "observability fails are reported in MAKEIT.TXT");
  }
  const std::string outName = holds ? "true" : "false";
  std::string text = outName + (strong ? " = Sobs(" : " = Obs(") + plant + "," + spec + "," + nullImageLogText(choice) + ")";
  if (!holds) {
    std::string failures;
    for (std::int64_t k = 0; k < report.size(); ++k)
      for (const Transition& t : transitionsOf(report[k])) {
        if (!failures.empty()) failures += ';';
        failures += std::to_string(k) + "," + reportLabel(t.event);
      }
    text += '\n';
    text.append(outName.size() + 3, ' ');
    text += (strong ? "FailSobs(" : "FailObs(") + spec + "," + plant + "[" + failures + "])";
  }
  DES none;
  return completeProcedure(outName, text, true, none);
}

DialogResult natobsDialog() {
  clearScreen();
  showTitle("", "(DES3,DES4) = NATOBS (DES1, DES2/DAT2/[EVENTLIST])");
  std::string in;
  writeLine("Enter name of DES1 to be projected by");
  if (promptExistingDes("  natural observer ............................... ", in)) return CANCELLED;
  setTitleFormula("(DES3,DES4) = NATOBS (" + in + ", DES2/DAT2/[EVENTLIST])");

  newLineIfRoom();
  writeLine("Select DES2 (to seed all events occurring in existing DES2)");
  writeLine("or DAT2 (to seed all events tabled in existing Condat file DAT2)");
  writeLine("or EVENTLIST (to seed list of events entered by user):");
  int key;
  for (;;) {
    breakPageIfFull();
    writeText("DES2/DAT2/EVENTLIST?  (*d/a/e) ... ");
    showEscHint();
    key = readChoiceKey();
    if (key == ESCAPE_KEY) return CANCELLED;
    if (key == ENTER_KEY || key == 'd' || key == 'D' || key == 'a' || key == 'A' || key == 'e' || key == 'E') break;
  }
  EventList seed;
  std::string seedText;
  if (key == 'a' || key == 'A') {
    std::string name;
    if (promptFileName("Enter name of DAT2 (Condat) file to be searched .....  ", ".DAT", name, false))
      return CANCELLED;
    seed = labelsOfFile(name, -1);
    seedText = name + ".DAT";
  } else if (key == 'e' || key == 'E') {
    if (enterEventList(seed, {{"Enter desired event list; terminate list with -1."},
                              {"Continue to enter desired event list; terminate list with -1."}}))
      return CANCELLED;
    seedText = "[" + labelsText(seed) + "]";
  } else {
    std::string name;
    if (promptExistingDes("Enter name of DES2 to be searched .....  ", name)) return CANCELLED;
    seed = labelsOfFile(name);
    seedText = name + ".DES";
  }
  std::string observerName, listName;
  if (promptFileName("Enter name of DES3 for projection of DES1 ........ ", ".DES", observerName, true))
    return CANCELLED;
  writeLine("Enter name of DES4 representing natural");
  if (promptFileName("  observer's Image event list .................... ", ".DES", listName, true)) return CANCELLED;

  const int row = whereY();
  writeStatusLine(22, "");
  writeStatusLine(23, "Processing:  Please wait...");
  refreshScreen();
  DES des, observer;
  if (!loadDialogInput(in, des)) return FAILED;
  markStartTime();
  EventList image;
  const bool computed = inProcess::natobsDES(des, seed, observer, image);
  markEndTime();
  writeStatusLine(23, "");
  moveCursor(0, row);
  if (!computed) {
    reportTooManyTransitions();
    return FAILED;
  }
  const DES list = inProcess::allEventsDES(image);
  for (const auto& [name, saved] : {std::pair<const std::string&, const DES&>{observerName, observer}, {listName, list}})
    if (!saveDialogOutput(name, saved)) return FAILED;

  breakPageIfFull(19);
  writeText("DES2 (Seed) image: [" + labelsText(seed) + "]");
  twoBreaks();
  writeText("DES4 (Natural observer) image: [" + labelsText(image) + "]");
  const std::string outName = "(" + observerName + "," + listName + ")";
  char sizes[96];
  std::snprintf(sizes, sizeof sizes, ")  ((%ld,%ld);(%ld,%ld))", static_cast<long>(observer.size()),
                static_cast<long>(countTransitions(observer)), static_cast<long>(list.size()),
                static_cast<long>(countTransitions(list)));
  showResultSizes({resultSizeText(observerName, observer), resultSizeText(listName, list)});
  return completeProcedure(outName, outName + " = Natobs(" + in + "," + seedText + sizes, true, observer);
}

} // namespace kav
