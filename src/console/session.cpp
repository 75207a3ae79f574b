#include "console/session.h"

#include <cstdio>
#include <cstdlib>

#include "console/dialogs/dialogs.h"
#include "console/directoryLock.h"
#include "console/menus.h"
#include "console/screen.h"
#include "model/session.h"

namespace kav {

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
