// CE and DE: a DES as a transition-diagram picture (GIF) made by
// Graphviz's dot, and the picture shown with the desktop's viewer.

#include <string>

#include "console/dialogs/dialogs.h"
#include "console/screen.h"
#include "engine/child.h"
#include "engine/pictures.h"
#include "model/desfile.h"
#include "model/userfiles.h"

namespace kav {

namespace {

// dot needs minutes for a few thousand states and draws nothing readable:
// such a picture is drawn only when the user confirms it.
bool confirmLargePicture(const std::string& desName) {
  std::int64_t states = 0;
  {
    DES des;
    std::int64_t init = 0;
    if (loadDES(desName, init, des) == LOAD_OK) states = des.size();
  }
  if (states <= PICTURE_WARNING_STATES) return true;
  breakPageIfFull(19);
  writeFormat("%s has %lld states: dot may take very long and cannot lay out", desName.c_str(),
              static_cast<long long>(states));
  newLineIfRoom();
  writeFormat("more than a few thousand states readably.  Draw it anyway?  (y/*n)  ");
  showEscHint();
  return readAnswer() == Answer::YES;
}

} // namespace

DialogResult convertDialog() {
  clearScreen();
  showTitle("CONVERT_DES", "GIF = CONVERT (DES)");
  std::string desName;
  if (promptExistingDes("Enter name of DES ...............................  ", desName) != PROMPT_OK) return CANCELLED;
  Answer answer = askYesNo("Assign new name to " + desName + "?  (y/*n)  ");
  if (answer == Answer::CANCEL) return CANCELLED;
  std::string gifName = desName;
  if (answer == Answer::YES &&
      promptFileName("Enter name of GIF ...............................  ", ".GIF", gifName, true) != PROMPT_OK)
    return CANCELLED;
  answer = askYesNo("Color transitions (controllable/uncontrollable as red/green)   (y/*n) ?");
  if (answer == Answer::CANCEL) return CANCELLED;
  const bool colour = answer == Answer::YES;
  if (!confirmLargePicture(desName)) return CANCELLED;

  breakPageIfFull(20);
  writeText("Processing:  Please wait... ");
  showEscHint();
  refreshScreen();
  // Escape on the terminal ends dot, and whatever it started, at once.
  if (isScreenDrawn()) setChildWaitPoll(pollEscape);
  const int status = convertDesToGif(desName, gifName, colour);
  setChildWaitPoll(nullptr);
  if (status == PICTURE_CANCELLED) return CANCELLED;
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
  // Whole, wrapped: the user is to open it by hand.
  writeText(path);
  waitForEnterToReturn();
  return FAILED;
}

} // namespace kav
