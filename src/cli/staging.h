#pragma once

// Where a command writes. Each output goes first into a private folder
// beside it (".kav-out-PID-XXXXXX", readable only by its owner; what a
// killed command left there is removed when the next one stages an output
// in that directory) and is moved onto its path only when the whole command has succeeded, so a failure
// leaves no output, and an interrupt (Ctrl-C, SIGTERM, SIGHUP) leaves
// neither an output nor a temporary file: the handler removes the private
// folders with everything the computation put in them (the writers'
// temporary files, the working folders of Localize and of pictures) and
// ends the process with status 130. So status 130 always means that
// nothing was written.

#include <string>
#include <vector>

namespace kav {

struct StagedOutput {
  std::string finalPath;  // where the output belongs
  std::string stagedPath; // where the computation writes it
};

struct OutputStage {
  std::vector<std::string> folders; // private folders made so far, each ending in '/'
  std::vector<StagedOutput> outputs;
};

// The path the computation writes for finalPath; a private folder is made
// beside it on first use in its directory. "" when the folder cannot be
// made (a directory that does not exist or cannot be written; errno tells).
std::string stageOutput(OutputStage& stage, const std::string& finalPath);
// finalPath for a staged path, or the path itself when it was not staged.
std::string finalPathOf(const OutputStage& stage, const std::string& path);
// Moves every staged output onto its path (a file it replaces passes on
// its permissions), then removes the folders. From here on the command
// completes: an interrupt that arrives now is held, not acted on, until
// resumeInterrupts. False, with the path that could not be moved, when a
// move fails; outputs moved before it stay.
[[nodiscard]] bool commitOutputs(OutputStage& stage, std::string& failedPath);
// Acts on interrupts again (for a caller that goes on to another command)
// and answers whether one was held meanwhile.
bool resumeInterrupts();
// Removes the private folders with everything in them.
void discardOutputs(OutputStage& stage);

// Installs the interrupt handlers (once per process).
void installInterruptHandlers();

// Tells the interrupt handler that a progress line stands on the terminal
// and must be cleared before the process ends.
void setProgressLineShown(bool shown);

} // namespace kav
