// Dialogs of the procedures that rename or erase events: Project and
// Relabel.

#include <string>

#include "console/dialogs/dialogs.h"
#include "console/lineEditors.h"
#include "console/screen.h"
#include "engine/protocol.h"
#include "model/desfile.h"

namespace kav {

DialogResult projectDialog() {
  return runProcedureForm({.word = "PROJECT",
                           .formula = "DES2 = PROJECT (DES1, NULL/IMAGE/IMAGE_DES)",
                           .firstPrompt = "Enter name of DES1 to project .........  ",
                           .outputPrompt = "Enter name of DES2 to project onto ....  ",
                           .code = PROC_PROJECT,
                           .logName = "Project",
                           .listMode = 0});
}

DialogResult relabelDialog() {
  clearScreen();
  showTitle("RELABEL", "DES2 = RELABEL (DES1, EVENT_MAP_PAIR_LIST)");
  std::string in, out;
  if (promptExistingDes("Enter name of DES1 ....  ", in)) return CANCELLED;
  if (promptFileName("Enter name of DES2 ....  ", ".DES", out, true)) return CANCELLED;
  const ListTexts texts{{"Enter list of event label pairs.", "Press <Enter> after each element and quit with -1:"},
                        {"Continue to enter list of event label pairs."}};
  StatePairList pairs;
  beginList(texts);
  for (;;) {
    beginListRow(texts);
    const int row = whereY();
    int key = 0;
    writeText("Old value:  ");
    const long from = readEventOrE(key);
    if (key == ESCAPE_KEY) return CANCELLED;
    if (from == -1) break;
    moveCursor(30, row);
    writeText("New value:  ");
    const long to = readEventOrE(key);
    if (key == ESCAPE_KEY) return CANCELLED;
    if (to == -1) break;
    insertStatePair(pairs, from, to);
    newLineIfRoom();
  }
  newLineIfRoom();
  newLineIfRoom();
  ParameterLines lines;
  addName(lines, in);
  addName(lines, out);
  std::string listed;
  for (const StatePair& p : pairs) {
    addPair(lines, static_cast<long>(p.a), static_cast<long>(p.b));
    listed += (listed.empty() ? "[" : ",[") + labelText(p.a) + "," + labelText(p.b) + "]";
  }
  return runAndLog(PROC_RELABEL, lines, {{{in, ".DES"}}, {out, ".DES"}},
                   out + " = Relabel(" + in + ",[" + listed + "])", true);
}

} // namespace kav
