#include "console/session.h"

#include <cstdio>

#include "model/session.h"

namespace kav {

int runInteractiveSession() {
  std::printf("%s 2017.05.01\n", PROGRAM_NAME);
  std::printf("The interactive console is not part of this build yet.\n"
              "Drive the engine through orva.prm and \"kav -cmdline\" in %s (see README.md).\n",
              session.userDir.c_str());
  return 0;
}

} // namespace kav
