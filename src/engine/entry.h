#pragma once

// The program entry shared by both modes. With no argument the interactive
// session starts (Ctrl-C ignored); "-autotest FILE" starts it reading keys
// from the script; "-cmdline" makes this process the batch child; "--help"
// and "--version" answer; any other argument is a text file typed out up to
// its first byte 26.

namespace kav {

using InteractiveSession = int (*)();

// Returns the process exit status.
int runEntry(int argc, char** argv, InteractiveSession interactive);

} // namespace kav
