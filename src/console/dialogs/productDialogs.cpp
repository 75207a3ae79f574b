// Dialogs of the procedures that combine or compare DES: Sync, Meet,
// Supcon, Mutex, Condat, Isomorph and Nonconflict.

#include <cstdio>
#include <string>
#include <vector>

#include "console/dialogs/dialogs.h"
#include "console/lineEditors.h"
#include "console/screen.h"
#include "engine/inProcess.h"
#include "engine/protocol.h"
#include "model/desfile.h"

namespace kav {

namespace {

// The lines for the blocked events of the product named resultName:
// "Events blocked in NAME: " followed by "None.\n" when there are none, by
// "[" the labels as "%3d" separated by "," and "]" when there are fewer
// than 8, else by "See MAKEIT.TXT file.\n".
std::string blockedEventsText(std::string_view resultName, const EventList& blocked) {
  std::string text = "Events blocked in ";
  text += resultName;
  text += ": ";
  if (blocked.empty()) return text + "None.\n";
  if (blocked.size() >= 8) return text + "See MAKEIT.TXT file.\n";
  text += "[";
  for (std::size_t k = 0; k < blocked.size(); ++k) {
    char item[16];
    std::snprintf(item, sizeof item, "%3d", static_cast<int>(blocked[k]));
    if (k > 0) text += ",";
    text += item;
  }
  return text + "]";
}

// k, the k input names and the output name of Sync and Meet.
DialogResult askProductNames(const char* kPrompt, std::vector<std::string>& inputs, std::string& out) {
  writeText(kPrompt);
  showEscHint();
  int key = 0;
  const long k = readIntInRange(key, 2, 20);
  if (key == ESCAPE_KEY) return CANCELLED;
  twoBreaks();
  for (long i = 1; i <= k; ++i) {
    char prompt[64];
    std::snprintf(prompt, sizeof prompt, "Enter name of DES%ld ........ ", i);
    std::string name;
    if (promptExistingDes(prompt, name)) return CANCELLED;
    inputs.push_back(name);
  }
  if (promptFileName("Enter name of DES ......... ", ".DES", out, true)) return CANCELLED;
  return DONE;
}

ParameterLines productLines(const std::vector<std::string>& inputs, const std::string& out) {
  ParameterLines lines;
  addName(lines, out);
  addNumber(lines, static_cast<long>(inputs.size()));
  for (const std::string& name : inputs) addName(lines, name);
  return lines;
}

ProcedureFiles productFiles(const std::vector<std::string>& inputs, const std::string& out) {
  ProcedureFiles files;
  for (const std::string& name : inputs) files.inputs.push_back({name, ".DES"});
  files.output = {out, ".DES"};
  return files;
}

// Two existing DES, for the comparisons.
DialogResult askTwoInputs(std::string& first, std::string& second) {
  if (promptExistingDes("Enter name of DES1 ....  ", first)) return CANCELLED;
  if (promptExistingDes("Enter name of DES2 ....  ", second)) return CANCELLED;
  return DONE;
}

const char* truth(bool answer) { return answer ? "true" : "false"; }

// A test that succeeded without leaving its answer in orva.rst.
DialogResult reportNoAnswer() {
  reportProblem("Computation failed: the result file orva.rst holds no answer.");
  return FAILED;
}

// The state correspondence of Isomorph on screen, page by page. Returns
// false when the user left it with Escape.
bool pageCorrespondence(const std::vector<long>& map) {
  const std::size_t n = map.size();
  const char* format = n <= 99999 ? "[ %5ld, %5ld ]  " : n <= 999999 ? "[ %6ld, %6ld ]  " : "[%7ld,%7ld]  ";
  const int perLine = n <= 999999 ? 4 : 3;
  newLineIfRoom();
  for (std::size_t s = 0; s < n; ++s) {
    if (s % static_cast<std::size_t>(perLine) == 0) newLineIfRoom();
    if (whereY() > 20) {
      writeStatusLine(23, "Press <Enter> to page corresponding states or <ESC> to return");
      for (int key = 0; key != ENTER_KEY;) {
        key = readKey();
        if (key == ESCAPE_KEY) return false;
      }
      clearScreen();
    }
    writeFormat(format, static_cast<long>(s), map[s]);
  }
  return true;
}

} // namespace

DialogResult syncDialog() {
  clearScreen();
  showTitle("SYNC", "DES = SYNC (DES1, DES2, ..., DESk, k)");
  std::vector<std::string> inputs;
  std::string out;
  if (askProductNames("Enter value of k ....... (between 2 and 20) ", inputs, out) != DONE) return CANCELLED;
  const ProcedureFiles files = productFiles(inputs, out);
  DES result;
  if (DialogResult r = collectOutput(runProcedure(PROC_SYNC, productLines(inputs, out)), files, result); r != DONE)
    return r;
  const EventList blocked = inProcess::blockedEvents(labelsOfFiles(inputs), result);
  writeStatusLine(20, "");
  gotoXY(1, 22);
  writeText(blockedEventsText(out, blocked));
  std::string text = out + " = Sync(" + joined(inputs) + ")" + sizesText(result) + "  Blocked_events = ";
  text += blocked.empty() ? std::string("None  ") : std::string("[") + labelsText(blocked) + "]  ";
  return completeWithResult(out, text, true, result);
}

DialogResult meetDialog() {
  clearScreen();
  showTitle("MEET", "DES = MEET (DES1, DES2, ..., DESk, k)");
  std::vector<std::string> inputs;
  std::string out;
  if (askProductNames("Enter value of k ...... (between 2 and 20) ", inputs, out) != DONE) return CANCELLED;
  return runAndLog(PROC_MEET, productLines(inputs, out), productFiles(inputs, out),
                   out + " = Meet(" + joined(inputs) + ")", true);
}

DialogResult supconDialog() {
  return runProcedureForm({.word = "SUPCON",
                           .formula = "DES3 = SUPCON (DES1, DES2)",
                           .firstPrompt = "Enter name of plant generator DES1 .............  ",
                           .secondPrompt = "Enter name of legal language generator DES2 ....  ",
                           .outputLead = "Enter name of supremal",
                           .outputPrompt = "  controllable sublanguage generator DES3 ......  ",
                           .code = PROC_SUPCON,
                           .logName = "Supcon",
                           .viaScratch = false});
}

DialogResult mutexDialog() {
  clearScreen();
  showTitle("MUTEX", "DES3 = MUTEX (DES1, DES2, EXCLUDED_STATE_PAIR_LIST)");
  std::string first, second, out;
  if (askTwoInputs(first, second) != DONE) return CANCELLED;
  if (promptFileName("Enter name of DES3 ....  ", ".DES", out, true)) return CANCELLED;
  setTitleFormula(out + " = MUTEX (" + first + ", " + second + ", EXCLUDED_STATE_PAIR_LIST)");
  const ListTexts texts{{"Enter list of excluded state pairs.", "Press <Enter> after each element and quit with -1:"},
                        {"Continue to enter list of excluded state pairs."}};
  StatePairList pairs;
  beginList(texts);
  for (bool ended = false; !ended;) {
    beginListCell(18, texts);
    const int row = whereY(), column = whereX();
    long state[2];
    for (int k = 0; k < 2 && !ended; ++k) {
      moveCursor(column + 8 * k, row);
      int key = 0;
      state[k] = readIntInRange(key, -1, 1999999);
      if (key == ESCAPE_KEY) return CANCELLED;
      ended = state[k] == -1;
    }
    if (!ended) insertStatePair(pairs, state[0], state[1]);
    moveCursor(column + 18, row);
  }
  twoBreaks();
  ParameterLines lines;
  addName(lines, first);
  addName(lines, second);
  addName(lines, out);
  std::string listed;
  for (const StatePair& p : pairs) {
    addPair(lines, static_cast<long>(p.a), static_cast<long>(p.b));
    listed += (listed.empty() ? "[" : ",[") + std::to_string(p.a) + "," + std::to_string(p.b) + "]";
  }
  return runAndLog(PROC_MUTEX, lines, {{{first, ".DES"}, {second, ".DES"}}, {out, ".DES"}},
                   out + " = Mutex(" + first + "," + second + ",[" + listed + "])", true);
}

DialogResult condatDialog() {
  clearScreen();
  showTitle("CONDAT", "DES3 = CONDAT (DES1, DES2)");
  std::string plant, supervisor, out;
  if (promptExistingDes("Enter name of plant generator DES1 ......  ", plant)) return CANCELLED;
  if (promptExistingDes("Enter name of supervisor DES2 ...........  ", supervisor)) return CANCELLED;
  if (promptFileName("Enter name of control data file DES3 ....  ", ".DAT", out, true)) return CANCELLED;
  ParameterLines lines;
  addName(lines, plant);
  addName(lines, supervisor);
  addName(lines, out);
  DES table;
  const ProcedureFiles files{{{plant, ".DES"}, {supervisor, ".DES"}}, {out, ".DAT"}};
  if (DialogResult r = collectOutput(runProcedure(PROC_CONDAT, lines), files, table); r != DONE) return r;
  const char* verdict = allEventsControllable(table) ? "  Controllable." : "  Uncontrollable.";
  return completeProcedure(out, out + " = Condat(" + plant + "," + supervisor + ")" + verdict, false, table);
}

DialogResult nonconflictDialog() {
  clearScreen();
  showTitle("NONCONFLICT", "NONCONFLICT (DES1, DES2)");
  std::string first, second;
  if (askTwoInputs(first, second) != DONE) return CANCELLED;
  ParameterLines lines;
  addName(lines, first);
  addName(lines, second);
  std::vector<long> values;
  const ProcedureFiles files{{{first, ".DES"}, {second, ".DES"}}, {}};
  const int code = runProcedure(PROC_NONCONFLICT, lines, [&] { return readResultIntegers(values); });
  if (DialogResult r = checkResult(code, files); r != DONE) return r;
  if (values.empty()) return reportNoAnswer();
  const bool nonconflicting = !values.empty() && values[0] == 1;
  breakPageIfFull(21);
  if (nonconflicting) writeFormat("%s and %s are NONCONFLICTING", first.c_str(), second.c_str());
  else writeFormat("%s and %s are CONFLICTING!", first.c_str(), second.c_str());
  DES none;
  const std::string answer = truth(nonconflicting);
  return completeProcedure(answer, answer + " = Nonconflict(" + first + "," + second + ")", false, none);
}

DialogResult isomorphDialog() {
  clearScreen();
  showTitle("ISOMORPH", "ISOMORPH (DES1, DES2)");
  std::string first, second;
  if (askTwoInputs(first, second) != DONE) return CANCELLED;
  setTitleFormula("ISOMORPH (" + first + ", " + second + ")");
  ParameterLines lines;
  addName(lines, first);
  addName(lines, second);
  std::vector<long> values;
  const ProcedureFiles files{{{first, ".DES"}, {second, ".DES"}}, {}};
  const int code = runProcedure(PROC_ISOMORPH, lines, [&] { return readResultIntegers(values); });
  if (DialogResult r = checkResult(code, files); r != DONE) return r;
  if (values.size() < 2) return reportNoAnswer();
  const bool isomorphic = values.size() >= 1 && values[0] == 1;
  const std::vector<long> map(values.size() > 2 ? values.begin() + 2 : values.end(), values.end());
  // The child flags only one file named twice; two files that are the same
  // DES have a correspondence that is the identity too.
  bool identity = values.size() >= 2 && values[1] == 1;
  if (isomorphic && !identity) {
    identity = true;
    for (std::size_t s = 0; s < map.size(); ++s) identity = identity && map[s] == static_cast<long>(s);
  }
  const std::string answer = truth(isomorphic);
  std::string text = answer + " = Isomorph(" + first + "," + second;
  bool viaScratch = false;
  bool pause = true;
  breakPageIfFull(21);
  if (!isomorphic) {
    writeFormat("%s and %s are not isomorphic", first.c_str(), second.c_str());
  } else {
    writeFormat("%s and %s are isomorphic, under state correspondence", first.c_str(), second.c_str());
    if (identity || map.empty()) {
      writeText("   IDENTITY");
      text += ";identity";
    } else {
      newLineIfRoom();
      newLineIfRoom();
      writeText("Report state correspondence in MAKEIT.TXT? (y/*n) ");
      showEscHint();
      const Answer answer = readAnswer();
      if (answer == Answer::CANCEL) return CANCELLED;
      if (answer == Answer::YES) {
        std::string pairs;
        for (std::size_t s = 0; s < map.size(); ++s)
          if (map[s] != static_cast<long>(s))
            pairs += (pairs.empty() ? "[" : ",[") + std::to_string(s) + "," + std::to_string(map[s]) + "]";
        text += ";[" + pairs + "]";
        viaScratch = true;
      } else {
        text += ";state correspondence omitted";
      }
      pause = pageCorrespondence(map);
    }
  }
  text += ")";
  DES none;
  if (!pause) {
    writeLogEntry(answer, text, viaScratch);
    freeAndReturn(none);
    return DONE;
  }
  return completeProcedure(answer, text, viaScratch, none);
}

} // namespace kav
