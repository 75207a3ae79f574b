// Dialogs of hierarchy and forcing: Vocalize, Outconsis, Hiconsis, Higen
// and Force.

#include <cctype>
#include <string>
#include <vector>

#include "console/dialogs/dialogs.h"
#include "console/lineEditors.h"
#include "console/screen.h"
#include "engine/protocol.h"
#include "model/desfile.h"

namespace kav {

namespace {

// The high-level event of an output once encoded: v for v in 1..99 (encoded
// 10v or 10v + 1), v div 10 above. Outputs are at most 4095.
constexpr int MAX_VOCAL_BASE = 4095;
int encodedBase(int vocal) { return vocal <= 99 ? vocal : vocal / 10; }

// The answers of the hierarchy handlers that the dialogs explain.
constexpr int VOCAL_OVERFLOW = 5;
constexpr int INITIAL_STATE_VOCAL = 6;

// A framed refusal between two lines of underscores, then the Enter pause.
void showRefusal(int width, std::initializer_list<const char*> lines) {
  breakPageIfFull(17);
  newLineIfRoom();
  const std::string rule(static_cast<std::size_t>(width), '_');
  writeText(rule);
  newLineIfRoom();
  for (const char* line : lines) {
    writeText(line);
    newLineIfRoom();
  }
  writeText(rule);
  newLineIfRoom();
  waitForEnterToReturn();
}

DialogResult refuseInitialVocal() {
  showRefusal(77, {"        Sorry! Initial state 0 of DES1 must be silent (output 0).", "        Computation cancelled."});
  return FAILED;
}

DialogResult askInputOutput(std::string& in, std::string& out) {
  if (promptExistingDes("Enter name of DES1 ....  ", in)) return CANCELLED;
  if (promptFileName("Enter name of DES2 ....  ", ".DES", out, true)) return CANCELLED;
  return DONE;
}

// Outconsis and Higen refuse a vocal initial state.
DialogResult explainVocalInitial(int code) { return code == INITIAL_STATE_VOCAL ? refuseInitialVocal() : DONE; }

bool loadInputDes(const std::string& name, DES& des) {
  std::int64_t init = 0;
  return loadDES(name, init, des) == LOAD_OK;
}

// One typed triple of Vocalize: state -1 stands for '*'.
struct VocalTriple {
  long exitState; // -1: every state with the event
  std::uint16_t event;
  long output;
};

std::string labelText(std::uint16_t e) { return e == EPSILON_LABEL ? std::string("e") : std::to_string(e); }

} // namespace

DialogResult outconsisDialog() {
  return runProcedureForm({.word = "OUTCONSIS",
                           .formula = "DES2 = OUTCONSIS (DES1)",
                           .firstPrompt = "Enter name of DES1 ....  ",
                           .outputPrompt = "Enter name of DES2 ....  ",
                           .code = PROC_OUTCONSIS,
                           .logName = "Outconsis",
                           .viaScratch = false,
                           .explainCode = explainVocalInitial});
}

DialogResult higenDialog() {
  return runProcedureForm({.word = "HIGEN",
                           .formula = "DES2 = HIGEN (DES1)",
                           .firstPrompt = "Enter name of DES1 ....  ",
                           .outputPrompt = "Enter name of DES2 ....  ",
                           .code = PROC_HIGEN,
                           .logName = "Higen",
                           .viaScratch = false,
                           .explainCode = explainVocalInitial});
}

DialogResult hiconsisDialog() {
  clearScreen();
  showTitle("HICONSIS", "DES2 = HICONSIS (DES1)");
  std::string in, out;
  if (askInputOutput(in, out) != DONE) return CANCELLED;
  breakPageIfFull(17);
  for (const char* line : {"Hierarchical consistency may require the addition of new low-level state",
                           "outputs (i.e. high-level event labels).  Available options are:",
                           "Single new state output (possibly split, in multiple new locations) (*s)",
                           "Multiple new state outputs (distinct for each new location) (m)"}) {
    writeText(line);
    newLineIfRoom();
  }
  newLineIfRoom();
  int key;
  for (;;) {
    breakPageIfFull();
    writeText("Select (*s/m)  ");
    showEscHint();
    key = readChoiceKey();
    if (key == ESCAPE_KEY) return CANCELLED;
    key = key == ENTER_KEY ? 's' : std::tolower(key);
    if (key == 's' || key == 'm') break;
  }
  // The new high-level labels are the outputs of the result whose base (the
  // high-level event, output div 10 once encoded) the input did not use:
  // the encoding turns an input output v of 1..99 into 10v or 10v + 1, so
  // comparing raw values would list every re-encoded output as new. The
  // input is read now, as the result may replace it.
  std::vector<bool> inputBase(MAX_VOCAL_BASE + 1, false);
  {
    DES input;
    if (loadInputDes(in, input))
      for (const StateRecord& s : input.states)
        if (s.vocal > 0) inputBase[static_cast<std::size_t>(encodedBase(s.vocal))] = true;
  }
  ParameterLines lines;
  addName(lines, in);
  addName(lines, out);
  addNumber(lines, key == 'm' ? 1 : 0);
  const int rc = runProcedure(PROC_HICONSIS, lines);
  if (rc == INITIAL_STATE_VOCAL) return refuseInitialVocal();
  if (rc == VOCAL_OVERFLOW) {
    showRefusal(75, {"               Sorry! Vocal output overflow.", "               Computation cancelled."});
    return FAILED;
  }
  DES result;
  if (DialogResult r = collectOutput(rc, {{{in, ".DES"}}, {out, ".DES"}}, result); r != DONE) return r;
  EventList added;
  for (const StateRecord& s : result.states)
    if (s.vocal > 0 && !inputBase[static_cast<std::size_t>(encodedBase(s.vocal))])
      insertEvent(added, static_cast<std::uint16_t>(s.vocal));
  std::string text = out + " = Hiconsis(" + in + ")" + sizesText(result);
  if (!added.empty()) {
    text += '\n';
    text.append(out.size() + 3, ' ');
    text += "New event labels: [" + labelsText(added) + "]";
  }
  return completeWithResult(out, text, !added.empty(), result);
}

DialogResult vocalizeDialog() {
  clearScreen();
  showTitle("VOCALIZE", "DES2 = VOCALIZE (DES1, [VOCAL])");
  std::string in, out;
  if (askInputOutput(in, out) != DONE) return CANCELLED;
  setTitleFormula(out + " = VOCALIZE (" + in + ", [VOCAL])");
  DES input;
  loadInputDes(in, input);
  const ListTexts texts{{"Enter list of triples [exit state, event, vocal output].",
                         "To vocalize all instances of an event, enter * for Exit state.",
                         "Press <Enter> after each element and quit with -1."},
                        {"Continue to enter list of triples [exit state, event, vocal output]."}};
  std::vector<VocalTriple> typed;
  QuadrupleList quadruples;
  beginList(texts);
  for (;;) {
    beginListRow(texts);
    const int row = whereY();
    int key = 0;
    writeText("Exit state:  ");
    const long state = readStateOrStar(key, input.size() - 1);
    if (key == ESCAPE_KEY) return CANCELLED;
    if (key != '*' && state == -1) break;
    const long exitState = key == '*' ? -1 : state;
    moveCursor(27, row);
    writeText("Event:  ");
    const long event = readEventOrE(key);
    if (key == ESCAPE_KEY) return CANCELLED;
    if (event == -1) break;
    moveCursor(41, row);
    writeText("Entrance state vocal output:  ");
    const long output = readIntInRange(key, -1, 99);
    if (key == ESCAPE_KEY) return CANCELLED;
    if (output == -1) break;
    // Every transition the triple names: one exit state's, or with '*'
    // every state's, labelled with the event.
    QuadrupleList found;
    const auto label = static_cast<std::uint16_t>(event);
    for (std::int64_t s = exitState < 0 ? 0 : exitState; s < input.size() && (exitState < 0 || s == exitState); ++s)
      for (const Transition& t : transitionsOf(input[s]))
        if (t.event == label) found.push_back({s, label, t.target, static_cast<std::int16_t>(output)});
    newLineIfRoom();
    if (output < 10 || found.empty()) {
      writeText("This entry is illegal; please reenter!");
      newLineIfRoom();
      continue;
    }
    writeStatusLine(22, "");
    moveCursor(0, row + 1);
    typed.push_back({exitState, label, output});
    for (const Quadruple& q : found) insertQuadruple(quadruples, q);
  }
  twoBreaks();
  const Answer answer = askYesNo("Report full list of found triples (else report only * command) (y/*n)? ");
  if (answer == Answer::CANCEL) return CANCELLED;
  const bool full = answer == Answer::YES;
  std::string listed;
  const auto add = [&listed](const std::string& item) { listed += (listed.empty() ? "" : ",") + item; };
  if (full) {
    for (const Quadruple& q : quadruples)
      add("[" + std::to_string(q.from) + "," + labelText(q.event) + "," + std::to_string(q.value) + "]");
  } else {
    for (const VocalTriple& t : typed)
      add("[" + (t.exitState < 0 ? std::string("*") : std::to_string(t.exitState)) + "," + labelText(t.event) + "," +
          std::to_string(t.output) + "]");
  }
  ParameterLines lines;
  addName(lines, in);
  addName(lines, out);
  for (const Quadruple& q : quadruples)
    lines.text += std::to_string(q.from) + " " + std::to_string(q.event) + " " + std::to_string(q.to) + " " +
                  std::to_string(q.value) + "\n";
  freeDES(input);
  return runAndLog(PROC_VOCALIZE, lines, {{{in, ".DES"}}, {out, ".DES"}},
                   out + " = Vocalize(" + in + ",[" + listed + "])", true);
}

DialogResult forceDialog() {
  clearScreen();
  showTitle("FORCE", "DES2 = FORCE (DES1, [FORCIBLE], [PREEMPTABLE], TIMEOUT)");
  std::string in, out;
  if (promptExistingDes("Enter name of DES1 ......... ", in)) return CANCELLED;
  if (promptFileName("Enter name of DES2 ......... ", ".DES", out, true)) return CANCELLED;
  setTitleFormula(out + " = FORCE (" + in + ", [FORCIBLE], [PREEMPTABLE], TIMEOUT)");
  const EventList events = labelsOfFile(in);
  EventList forcible, preemptable;
  const auto notContained = [&](const char* what) {
    return std::string("Illegal entry!  ") + what + " events must be contained in " + in + ".";
  };
  if (enterEventList(forcible,
                     {{"Enter list of forcible events.  Terminate list with -1."},
                      {"Continue to enter list of forcible events.  Terminate list with -1."}},
                     [&](std::uint16_t e) { return findEvent(events, e) ? std::string() : notContained("Forcible"); }))
    return CANCELLED;
  if (enterEventList(preemptable,
                     {{"Enter list of preemptable events.  Terminate list with -1."},
                      {"Continue to enter list of preemptable events.  Terminate list with -1."}},
                     [&](std::uint16_t e) {
                       if (!findEvent(events, e)) return notContained("Preemptable");
                       if (findEvent(forcible, e))
                         return std::string("Illegal entry!  Lists of forcible and preemptable events must be disjoint.");
                       return std::string();
                     }))
    return CANCELLED;
  long timeout;
  for (;;) {
    breakPageIfFull();
    writeText("Enter new controllable timeout event ... ");
    showEscHint();
    int key = 0;
    timeout = readIntInRange(key, 0, MAX_ORDINARY_LABEL);
    if (key == ESCAPE_KEY) return CANCELLED;
    std::string refusal;
    if (timeout % 2 == 0) refusal = "Illegal entry!  Timeout event must be controllable (odd).";
    else if (findEvent(events, static_cast<std::uint16_t>(timeout)))
      refusal = "Illegal entry!  Timeout event must not occur in " + in + ".";
    newLineIfRoom();
    if (refusal.empty()) break;
    writeText(refusal);
    twoBreaks();
  }
  writeStatusLine(22, "");
  ParameterLines lines;
  addName(lines, in);
  addName(lines, out);
  addNumber(lines, timeout);
  addLabels(lines, forcible);
  addNumber(lines, -1);
  addLabels(lines, preemptable);
  return runAndLog(PROC_FORCE, lines, {{{in, ".DES"}}, {out, ".DES"}},
                   out + " = Force(" + in + ",Forcible [" + labelsText(forcible) + "]" + ",Preemptible [" +
                       labelsText(preemptable) + "]" + ",Timeout [" + std::to_string(timeout) + "])",
                   true);
}

} // namespace kav
