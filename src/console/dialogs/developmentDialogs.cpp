// Dialogs of the development procedures: Path-to-Block and Shortest-path
// (first development menu), Attach and Statemap (second). Unlike the
// procedures of the main menu they compute in this process, so each takes
// its own times for the computing-time line and saves its result itself.
// Memory exhausted on the way ends the dialog through the menu's
// out-of-memory handling, before anything is saved or logged.

#include <algorithm>
#include <cstdio>
#include <string>

#include "console/dialogs/dialogs.h"
#include "console/lineEditors.h"
#include "console/screen.h"
#include "engine/inProcess.h"
#include "model/desfile.h"
#include "model/userfiles.h"

namespace kav {

namespace {


// A DES without states offers no state to choose, so the procedures that
// need one refuse it before asking anything more.
void refuseEmpty(const std::string& name, const char* consequence) {
  reportProblem(name + " has no states: " + consequence);
}

void showWorking(const char* text) {
  writeStatusLine(22, "");
  writeStatusLine(23, text);
  refreshScreen();
}

// A message below the dialog's last line.
void writeNote(const std::string& text) {
  twoBreaks();
  breakPageIfFull(21);
  writeText(text);
}

// Block states from column 5, each 7 columns after the previous one (more
// for a number that would not fit), 11 to a row; a row past 20 starts a
// fresh screen under the heading again.
void showStateList(const std::string& heading, const StateList& states) {
  const auto startPage = [&heading] {
    writeText(heading);
    newLineIfRoom();
    setColumn(5);
  };
  breakPageIfFull(20);
  startPage();
  for (std::int64_t s : states) {
    const std::string text = std::to_string(s);
    if (whereX() + static_cast<int>(text.size()) >= SCREEN_COLUMNS) {
      newLineIfRoom();
      setColumn(5);
    }
    if (whereY() > 20) {
      clearScreen();
      startPage();
    }
    const int column = whereX();
    writeText(text);
    const int next = column + std::max(7, static_cast<int>(text.size()) + 1);
    if (next > 75) {
      newLineIfRoom();
      setColumn(5);
    } else {
      setColumn(next);
    }
  }
  if (whereX() > 5) newLineIfRoom();
  newLineIfRoom();
}

} // namespace

// --- First development menu -------------------------------------------------------

DialogResult pathToBlockDialog() {
  clearScreen();
  showTitle("PATH-TO-BLOCK", "DES2 = PATH-TO-BLOCK (DES1)");
  std::string in, out;
  if (promptExistingDes("Enter name of DES1 .......... ", in)) return CANCELLED;
  if (promptFileName("Enter name of DES2 ...........", ".DES", out, true)) return CANCELLED;
  DES des;
  if (!loadDialogInput(in, des)) return FAILED;
  const StateList blocked = inProcess::blockStates(des);
  if (blocked.empty()) {
    writeNote("There does not exist blocked state in " + in);
    waitForEnterToReturn();
    return DONE;
  }
  showStateList("The list of block states is:", blocked);
  long chosen;
  for (;;) {
    breakPageIfFull(21);
    writeText("Enter one of block states ... ");
    showEscHint();
    int key = 0;
    chosen = readIntInRange(key, 0, static_cast<long>(des.size() - 1));
    if (key == ESCAPE_KEY) return CANCELLED;
    if (findState(blocked, chosen)) break;
    clearScreen();
    showStateList("Select one of block states from block state list:", blocked);
  }

  showWorking("Processing: Please wait...");
  markStartTime();
  DES result;
  inProcess::shortestPathDES(des, 0, chosen, result);
  result[chosen].marked = 1;
  freeDES(des);
  if (!saveDialogOutput(out, result)) return FAILED;
  markEndTime();
  writeStatusLine(23, "");
  writeLogEntry(out, out + " = Path-to-block(" + in + "," + std::to_string(chosen) + ")" + sizesText(result), false);
  writeNote("Shortest path to selected block state is reported in " + out + ".DES");
  showResultSizes({resultSizeText(out, result)});
  waitForEnterToReturn();
  freeAndReturn(result);
  return DONE;
}

DialogResult shortestPathDialog() {
  clearScreen();
  showTitle("SHORTESTPATH", "DES2 = SHORTESTPATH (DES1, START [p], END [q])");
  std::string in, out;
  if (promptExistingDes("Enter name of DES1 .... ", in)) return CANCELLED;
  DES des;
  if (!loadDialogInput(in, des)) return FAILED;
  if (des.empty()) {
    refuseEmpty(in, "there is no state to start from.");
    return FAILED;
  }
  if (promptFileName("Enter name of DES2 .... ", ".DES", out, true)) return CANCELLED;
  const long last = static_cast<long>(des.size() - 1);
  int key = 0;
  breakPageIfFull();
  writeFormat("Enter start state p of DES2 ... (between 0 and %ld) ", last);
  showEscHint();
  const long p = readIntInRange(key, 0, last);
  if (key == ESCAPE_KEY) return CANCELLED;
  twoBreaks();
  breakPageIfFull();
  writeFormat("Enter end state q of DES2 ... (between 0 and %ld) ", last);
  showEscHint();
  const long q = readIntInRange(key, 0, last);
  if (key == ESCAPE_KEY) return CANCELLED;

  showWorking("Processing:  Please wait...");
  markStartTime();
  DES result;
  inProcess::shortestPathDES(des, p, q, result);
  markEndTime();
  freeDES(des);
  if (!saveDialogOutput(out, result)) return FAILED;
  writeStatusLine(23, "");
  if (countTransitions(result) == 0) {
    char text[96];
    if (p == q) std::snprintf(text, sizeof text, "State [%ld] is not reachable from itself along a nonempty path", q);
    else std::snprintf(text, sizeof text, "State [%ld] is not reachable from state [%ld]", q, p);
    writeNote(text);
  } else {
    writeLogEntry(out, out + " = Shortestpath(" + in + ",start [" + std::to_string(p) + "], end [" + std::to_string(q) +
                           "])" + sizesText(result) + "  ",
                  false);
  }
  showResultSizes({resultSizeText(out, result)});
  waitForEnterToReturn();
  freeAndReturn(result);
  return DONE;
}

// --- Second development menu ------------------------------------------------------

DialogResult attachDialog() {
  clearScreen();
  showTitle("ATTACH", "DES3 = ATTACH (DES1, [STATE1], DES2)");
  std::string name1, name2, name3;
  DES des1, des2;
  if (promptExistingDes("Enter name of DES1 ............. ", name1)) return CANCELLED;
  if (!loadDialogInput(name1, des1)) return FAILED;
  if (des1.empty()) {
    refuseEmpty(name1, "there is no state to attach to.");
    return FAILED;
  }
  if (promptExistingDes("Enter name of DES2 ............. ", name2)) return CANCELLED;
  if (!loadDialogInput(name2, des2)) return FAILED;
  if (des2.empty()) {
    refuseEmpty(name2, "there is no initial state to attach.");
    return FAILED;
  }
  if (promptFileName("Enter name of DES3 ............. ", ".DES", name3, true)) return CANCELLED;
  breakPageIfFull(21);
  writeFormat("Enter state of %s to which state [0] of %s should be attached", name1.c_str(), name2.c_str());
  newLineIfRoom();
  writeFormat("                                    (between 0 and %ld) ................ ",
              static_cast<long>(des1.size() - 1));
  showEscHint();
  int key = 0;
  const long state = readIntInRange(key, 0, static_cast<long>(des1.size() - 1));
  if (key == ESCAPE_KEY) return CANCELLED;
  newLineIfRoom();

  showWorking("Processing:  Please wait...");
  markStartTime();
  DES result;
  if (!inProcess::attachDES(des1, state, des2, result)) {
    reportTooManyTransitions();
    return FAILED;
  }
  freeDES(des1);
  freeDES(des2);
  if (!saveDialogOutput(name3, result)) return FAILED;
  markEndTime();
  const bool deterministic = isStrictlyDeterministic(result);
  writeStatusLine(20, "");
  writeStatusLine(22, "");
  writeStatusLine(21, name3 + (deterministic ? " is DETERMINISTIC." : " is NONDETERMINISTIC."));
  writeStatusLine(23, "");
  writeLogEntry(name3,
                name3 + " = Attach(" + name1 + ",[" + std::to_string(state) + "], " + name2 + ")" + sizesText(result) +
                    (deterministic ? "  Deterministic." : "  Nondeterministic."),
                false);
  showResultSizes({resultSizeText(name3, result)});
  waitForEnterToReturn();
  freeAndReturn(result);
  return DONE;
}

DialogResult statemapDialog() {
  clearScreen();
  showTitle("STATEMAP", "DES2 = STATEMAP (DES1, STATE_MAP_PAIR_LIST)");
  std::string in, out;
  if (promptExistingDes("Enter name of DES1 ....  ", in)) return CANCELLED;
  DES des;
  if (!loadDialogInput(in, des)) return FAILED;
  if (promptFileName("Enter name of DES2 ....  ", ".DES", out, true)) return CANCELLED;
  const long last = static_cast<long>(des.size() - 1);
  const ListTexts texts{{"Enter list of state map pairs.", "Press <Enter> after each element and quit with -1:"},
                        {"Continue to enter list of state map pairs."}};
  StatePairList pairs;
  beginList(texts);
  for (;;) {
    beginListRow(texts);
    const int row = whereY();
    int key = 0;
    writeText("Old value:  ");
    const long from = readIntInRange(key, -1, last);
    if (key == ESCAPE_KEY) return CANCELLED;
    if (from == -1) break;
    moveCursor(25, row);
    writeText("New value:  ");
    const long to = readIntInRange(key, -1, last);
    if (key == ESCAPE_KEY) return CANCELLED;
    if (to == -1) break;
    insertStatePair(pairs, from, to);
    newLineIfRoom();
  }
  twoBreaks();

  showWorking("Processing:  Please wait...");
  markStartTime();
  DES result;
  if (!inProcess::statemapDES(des, pairs, result)) {
    reportTooManyTransitions();
    return FAILED;
  }
  freeDES(des);
  if (!saveDialogOutput(out, result)) return FAILED;
  markEndTime();
  std::string listed;
  for (const StatePair& pair : pairs)
    listed += (listed.empty() ? "[" : ",[") + std::to_string(pair.a) + "," + std::to_string(pair.b) + "]";
  writeStatusLine(23, "");
  writeLogEntry(out, out + " = Statemap(" + in + ",[" + listed + "])" + sizesText(result), true);
  showResultSizes({resultSizeText(out, result)});
  waitForEnterToReturn();
  freeAndReturn(result);
  return DONE;
}

} // namespace kav
