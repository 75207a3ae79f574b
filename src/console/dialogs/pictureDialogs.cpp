// CE and DE: a DES as a transition-diagram picture (GIF) made by
// Graphviz's dot, and the picture shown with the desktop's viewer.

#include <string>

#include "console/dialogs/dialogs.h"
#include "console/screen.h"
#include "engine/child.h"
#include "engine/pictures.h"
#include "model/userfiles.h"

namespace kav {

DialogResult convertDialog() {
  clearScreen();
  showTitle("CONVERT_DES", "GIF = CONVERT (DES)");
  std::string desName;
  if (promptExistingDes("Enter name of DES ...............................  ", desName) != PROMPT_OK) return CANCELLED;
  breakPageIfFull();
  writeFormat("Assign new name to %s?  (y/*n)  ", desName.c_str());
  showEscHint();
  int key = readAnswerKey();
  if (key == ESCAPE_KEY) return CANCELLED;
  std::string gifName = desName;
  if ((key == 'y' || key == 'Y') &&
      promptFileName("Enter name of GIF ...............................  ", ".GIF", gifName, true) != PROMPT_OK)
    return CANCELLED;
  breakPageIfFull();
  writeText("Color transitions (controllable/uncontrollable as red/green)   (y/*n) ?");
  showEscHint();
  key = readAnswerKey();
  if (key == ESCAPE_KEY) return CANCELLED;
  const bool colour = key == 'y' || key == 'Y';

  breakPageIfFull(20);
  writeText("Processing:  Please wait... ");
  refreshScreen();
  const int status = convertDesToGif(desName, gifName, colour);
  newLineIfRoom();
  switch (status) {
  case PICTURE_OK:
    writeFormat("%s.DES successfully converted to %s.GIF", desName.c_str(), gifName.c_str());
    twoBreaks();
    writeText("Call DE to display transition diagram.");
    break;
  case PICTURE_NOT_RUN: writeFormat("Out of Capability, %s.DES is too huge to convert!", desName.c_str()); break;
  case PICTURE_NO_DOT:
    writeText(NO_GRAPHVIZ_MESSAGE);
    newLineIfRoom();
    writeText("(or install Graphviz, so that its program dot is on the PATH)");
    break;
  default: writeFormat("Conversion of %s.DES failed: Graphviz made no picture.", desName.c_str()); break;
  }
  waitForEnterToReturn();
  return status == PICTURE_OK ? DONE : FAILED;
}

DialogResult displayDialog() {
  clearScreen();
  showTitle("DISPLAY DES", "DISPLAY (DES)");
  std::string gifName;
  if (promptFileName("Enter name of GIF file for display...................  ", ".GIF", gifName, false) != PROMPT_OK)
    return CANCELLED;
  const std::string path = userPath(gifName, ".GIF");
  // xdg-open hands the picture to the desktop's viewer and returns at once,
  // so the viewer stays open on its own after the return to the menu.
  if (hasDocumentViewer() && runProgram({"xdg-open", path}, false, true) == 0) {
    waitForEnterToReturn();
    return DONE;
  }
  breakPageIfFull(18);
  writeText("No picture viewer is available: showing pictures needs a graphical");
  newLineIfRoom();
  writeText("session and the program xdg-open. The picture is at:");
  twoBreaks();
  printAbbreviated(path, SCREEN_COLUMNS);
  waitForEnterToReturn();
  return FAILED;
}

} // namespace kav
