#pragma once

// The program entry shared by both modes. With no argument the interactive
// session starts (Ctrl-C ignored); "-autotest FILE" starts it reading keys
// from the script; "-cmdline" makes this process the batch child; "--help"
// (or "-h") and "--version" answer; a command name that is not an existing
// file runs that command; any other argument is a text file typed out up to
// its first byte 26.

namespace kav {

using InteractiveSession = int (*)();
// Runs argv[1] as a command and answers the exit status, or a negative
// value when argv[1] names no command.
using CommandLine = int (*)(int argc, char** argv);

// Returns the process exit status.
int runEntry(int argc, char** argv, InteractiveSession interactive, CommandLine commands = nullptr);

} // namespace kav
