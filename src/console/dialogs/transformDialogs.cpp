// Dialogs of the procedures that transform one DES: Selfloop, Trim,
// Minstate, Complement, BFS-recode and Allevents.

#include <cctype>
#include <string>

#include "console/dialogs/dialogs.h"
#include "console/screen.h"
#include "engine/protocol.h"

namespace kav {

namespace {

ProcedureFiles filesOf(const std::string& input, const std::string& output) {
  return ProcedureFiles{{{input, ".DES"}}, {output, ".DES"}};
}

} // namespace

DialogResult selfloopDialog() {
  static const ListTexts EVENTS{{"Enter list of events to be adjoined.  Terminate list with -1."},
                                {"Continue to enter list of events to be adjoined.  Terminate list with -1."}};
  return runProcedureForm({.word = "SELFLOOP",
                           .formula = "DES2 = SELFLOOP (DES1, EVENT_LIST)",
                           .firstPrompt = "Enter name of DES1 to be augmented ....  ",
                           .outputPrompt = "Enter new name for DES2 ...............  ",
                           .renameQuestion = "Assign new name to %s?   (*y/n)   ",
                           .code = PROC_SELFLOOP,
                           .logName = "Selfloop",
                           .eventList = &EVENTS});
}

DialogResult trimDialog() {
  return runProcedureForm({.word = "TRIM",
                           .formula = "DES2 = TRIM (DES1)",
                           .firstPrompt = "Enter name of DES1 to be trimmed ....  ",
                           .outputPrompt = "Enter new name for DES2 ....  ",
                           .renameQuestion = "Assign new name to %s?   (*y/n)   ",
                           .code = PROC_TRIM,
                           .logName = "Trim",
                           .viaScratch = false});
}

DialogResult minstateDialog() {
  return runProcedureForm({.word = "MINSTATE",
                           .formula = "DES2 = MINSTATE (DES1)",
                           .firstPrompt = "Enter name of DES1 ....  ",
                           .outputPrompt = "Enter name of DES2 ....  ",
                           .renameQuestion = "Assign new name to %s? (*y/n)   ",
                           .code = PROC_MINSTATE,
                           .logName = "Minstate",
                           .viaScratch = false});
}

DialogResult bfsRecodeDialog() {
  return runProcedureForm({.word = "REACH & BREADTH-FIRST SEARCH RECODE",
                           .formula = "DES2 = RECODE (DES1)",
                           .firstPrompt = "Enter name of DES1 ....  ",
                           .outputPrompt = "Enter name of DES2 ....  ",
                           .code = PROC_BFS_RECODE,
                           .logName = "Recode",
                           .viaScratch = false});
}

DialogResult complementDialog() {
  clearScreen();
  showTitle("COMPLEMENT", "DES2 = COMPLEMENT (DES1, LIST)");
  std::string in, out;
  if (promptExistingDes("Enter name of DES1 ....  ", in)) return CANCELLED;
  if (promptFileName("Enter name of DES2 ....  ", ".DES", out, true)) return CANCELLED;
  setTitleFormula(out + " = COMPLEMENT (" + in + ", LIST)");
  const Answer answer = askYesNo("Compute complement using event labels of DES1 only? (*y/n)  ");
  if (answer == Answer::CANCEL) return CANCELLED;
  EventList events;
  if (answer == Answer::NO &&
      enterEventList(events, {{"Enter auxiliary LIST of event labels not in DES1;", "type -1 to quit:"},
                              {"Continue to enter auxilary LIST", "of event labels not in DES1;"}}))
    return CANCELLED;
  ParameterLines lines;
  addName(lines, in);
  addName(lines, out);
  addLabels(lines, events);
  return runAndLog(PROC_COMPLEMENT, lines, filesOf(in, out),
                   out + " = Complement(" + in + ",[" + labelsText(events) + "])", true);
}

DialogResult alleventsDialog() {
  clearScreen();
  showTitle("ALLEVENTS", "DES2 = ALLEVENTS (DES1/DAT1/[EVENTLIST])");
  for (const char* line : {"Select DES1 (to report all events occurring in existing DES1),",
                           "or DAT1 (to report all events tabled in existing Condat file DAT1),",
                           "or EVENTLIST (to report all events entered by user):"}) {
    writeText(line);
    newLineIfRoom();
  }
  newLineIfRoom();
  int key;
  for (;;) {
    breakPageIfFull();
    writeText("DES1/DAT1/EVENTLIST?  (*d/a/e) ... ");
    showEscHint();
    key = readChoiceKey();
    if (key == ESCAPE_KEY) return CANCELLED;
    key = key == ENTER_KEY ? 'd' : std::tolower(key);
    if (key == 'd' || key == 'a' || key == 'e') break;
  }
  std::string source, out;
  EventList events;
  ProcedureFiles files;
  std::string argument;
  int mode;
  if (key == 'd') {
    mode = 1;
    if (promptExistingDes("Enter name of DES1 to be searched .....  ", source)) return CANCELLED;
    files.inputs.push_back({source, ".DES"});
    argument = source + ".DES";
  } else if (key == 'a') {
    mode = 2;
    if (promptFileName("Enter name of DAT1 (Condat) file to be searched .....  ", ".DAT", source, false))
      return CANCELLED;
    files.inputs.push_back({source, ".DAT"});
    argument = source + ".DAT";
  } else {
    mode = 3;
    if (enterEventList(events, {{"Enter desired event list; terminate list with -1."},
                                {"Enter desired event list; terminate list with -1."}}))
      return CANCELLED;
    argument = std::string("[") + labelsText(events) + "]";
  }
  breakPageIfFull();
  writeText("Enter name of target DES2 (single state, marked,");
  newLineIfRoom();
  if (promptFileName("   with desired events attached as selfloops) ......  ", ".DES", out, true)) return CANCELLED;
  files.output = {out, ".DES"};
  ParameterLines lines;
  // With a typed list the source name is not read; the output's stands in.
  addName(lines, mode == 3 ? out : source);
  addName(lines, out);
  addNumber(lines, mode);
  addLabels(lines, events);
  return runAndLog(PROC_ALLEVENTS, lines, files, out + " = Allevents(" + argument + ")", mode == 3);
}

} // namespace kav
