#pragma once

// The request of a supervisor localization and its answers. They stand
// apart from the localization itself so that the console, which runs it
// in its own process through the engine, can fill one in without seeing
// the synthesis layer.

#include <functional>
#include <string>
#include <vector>

namespace kav {

// Names of DES files, without extension, in the user directory unless the
// localization is given a LocalizePaths.
struct LocalizeRequest {
  std::string plant;                    // PLANT
  std::string supervisor;               // SUPER
  std::vector<std::string> components;  // PLANT1..PLANTn, n >= 1
  std::vector<std::string> controllers; // LOC1..LOCm, m <= n; controller i serves component i
  bool skipCleanUp = false;             // keep every self-loop of the local controllers
};

// The file of a name of the request. Without one a name is name + ".DES"
// in the user directory.
using LocalizePaths = std::function<std::string(const std::string& name)>;

enum LocalizeStatus {
  LOCALIZE_OK = 0,
  LOCALIZE_FAILED = -1, // an input could not be loaded, a controller name is taken, or a controller could not be generated
  LOCALIZE_WRITE_FAILED = -2, // a controller, or the control data kept for it, could not be written
};

// Receives the texts of the interactive run ("Generating LOC1.DES...",
// "LOC1.DES generated.\n", the cannot-be-generated message); an empty
// function keeps the computation silent.
using LocalizeConsole = std::function<void(const std::string& text)>;

} // namespace kav
