#include "console/session.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>

#include "console/dialogs/dialogs.h"
#include "console/directoryLock.h"
#include "console/menus.h"
#include "console/screen.h"
#include "engine/child.h"
#include "engine/protocol.h"
#include "model/safefile.h"
#include "model/session.h"

namespace kav {

namespace {

volatile sig_atomic_t hangupSignal = 0; // SIGHUP or SIGTERM received while a child ran

void onHangup(int signalNumber) {
  hangupSignal = signalNumber;
  // The child is ended now; this process ends when its wait has returned.
  if (!endRunningChild()) endBySignal(signalNumber);
}

} // namespace

void endAfterHangup() {
  const int signalNumber = hangupSignal;
  if (signalNumber == 0) return;
  for (const char* file : {PARAMETER_FILE, RESULT_FILE, CHILD_OUTPUT_FILE, CHILD_ERROR_FILE})
    std::remove(protocolPath(file).c_str());
  // The child's half-written outputs: temporary files of a dead process.
  removeStaleTemporaries(session.userDir);
  unlockUserDirectory();
  endBySignal(signalNumber);
}

int runInteractiveSession() {
  // Without a terminal to draw on, the session would wait for keys nobody
  // sees; a script brings its own keys.
  if (!session.autotest) {
    if (const char* problem = undrivableTerminal()) {
      std::fprintf(stderr, "kav: %s\n", problem);
      return 1;
    }
  }
  // Checked before the screen is taken over, so the message stays readable
  // in the terminal after the program has ended.
  if (lockUserDirectory(session.userDir) == DIRECTORY_BUSY) {
    std::printf("The user directory %s is in use by another %s session.\n"
                "Only one session at a time may work in a user directory: end the other session,\n"
                "or name another directory on the first line of %s.\n",
                session.userDirLine.c_str(), PROGRAM_NAME, session.iniPath.c_str());
    return 1;
  }
  if (!startScreen() && !session.autotest) {
    const char* type = std::getenv("TERM");
    std::fprintf(stderr, "kav: TERM=%s is not a terminal type known here; the interactive console cannot drive it\n",
                 type ? type : "");
    return 1;
  }
  std::signal(SIGHUP, onHangup);
  std::signal(SIGTERM, onHangup);
  clearScreen();
  drawStartupPicture();
  gotoXY(1, 1);
  readKey();
  clearScreen();
  offerToCreateUserDirectory();
  runMainMenu();
  clearScreen();
  refreshScreen();
  endScreen();
  unlockUserDirectory();
  return 0;
}

} // namespace kav
