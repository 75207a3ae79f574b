#pragma once

// The settings and switches that live for the whole process, read by every
// subsystem: where the files are, and how this process was started.

#include <cstdio>
#include <string>

namespace kav {

// The program's short name, used in prompts and the version line.
inline constexpr const char* PROGRAM_NAME = "KAV";

struct Session {
  std::string programDir;  // directory of the running executable, ends in '/'
  std::string programPath; // the running executable, started again as the batch child
  std::string iniPath;     // the orva.ini in use
  std::string infoPath;    // introduction document without its extension
  std::string userDirLine; // user directory as written in orva.ini, no trailing '/'
  std::string userDir;     // user directory as a prefix, ends in '/'

  bool batchMode = false;    // this process is the batch child
  bool debugMode = false;    // child output to the console, progress lines shown
  bool clockingMode = false; // computing time is logged
  bool bellOn = true;        // the Bell switch of the main menu
  bool autotest = false;     // keys come from a script file
  int minimizerSelector = 1; // 1 partition refinement, 0 pairwise
  std::FILE* scriptFile = nullptr; // open script in autotest mode
};

extern Session session;

} // namespace kav
