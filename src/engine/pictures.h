#pragma once

// Transition-diagram pictures: a DES of the user directory written as a
// dot description and laid out by Graphviz's `dot` as a GIF picture in the
// user directory. `dot` is an outside program: a "Graphviz" folder in the
// working directory holding an executable `dot` wins over a `dot` on the
// PATH. It is started with an argument vector, never through a shell, and
// works in a temporary folder of the user directory, so an unfinished
// run leaves no stray file and an older picture is replaced only by a
// finished one.

#include <cstdint>
#include <string>

namespace kav {

enum PictureStatus {
  PICTURE_OK = 0,
  PICTURE_FAILED = -1,  // the DES could not be read, or dot made no picture, or it could not be moved
  PICTURE_NOT_RUN = -2, // dot could not be started, or it was killed (a DES too large to lay out)
  PICTURE_NO_DOT = -3,  // neither Graphviz/dot nor a dot on the PATH
  PICTURE_CANCELLED = -4, // the wait poll ended dot (Escape in the console)
};

// More states than dot lays out usefully: the console asks before it tries.
inline constexpr std::int64_t PICTURE_WARNING_STATES = 2000;

// The layout program to start: "<cwd>/Graphviz/dot" when that is an
// executable file, else the `dot` found on the PATH, else "".
std::string findDotProgram();

// Loads desName + ".DES" from the user directory and makes the picture
// gifName + ".GIF" there, with controllable (odd) edges red and the others
// green when `colour` is set. The DES file is not changed. dot runs with
// runProgramEndable, so an installed wait poll may end it; an older
// picture then stays. Memory exhausted while loading throws std::bad_alloc
// to the caller's wrapper. Returns a PictureStatus.
[[nodiscard]] int convertDesToGif(const std::string& desName, const std::string& gifName, bool colour);

// The same for files named by path: the picture of the DES at desPath,
// titled `title`, as gifPath; dot works in a temporary folder beside it.
[[nodiscard]] int convertDesFileToGif(const std::string& desPath, const std::string& title, const std::string& gifPath,
                                      bool colour);

// The message shown when no layout program exists.
inline constexpr const char* NO_GRAPHVIZ_MESSAGE = "Conversion failure: Graphviz folder must be placed in workspace!";

} // namespace kav
