#pragma once

// Opening and writing files so that no file can make the program wait
// forever, lose an older file or leave litter behind.
//
// Reading: only regular files are read. A FIFO, a device, a directory or a
// socket is refused before a byte is read (a FIFO without a writer would
// block the open, /dev/zero would never end), and the open itself cannot
// block: it is made non-blocking and made blocking again only once fstat
// has shown a regular file.
//
// Writing: a file is written under a temporary name beside its target and
// renamed over it only once complete, so that a reader sees the old file
// or the new one and never a part, and a failed write (full disk, file
// size limit) leaves the old file as it was. The temporary name
// ".kav-KIND-PID-XXXXXX" names the process that owns it, so that what a
// killed process left behind is recognised and removed by the next run
// that writes in that directory. (Processes are told apart by their PID on
// this machine; a user directory shared between machines or PID namespaces
// may see another host's temporary file taken for a leftover.)

#include <sys/types.h>

#include <cstdio>
#include <string>
#include <string_view>

namespace kav {

enum OpenStatus {
  OPEN_OK = 0,
  OPEN_MISSING,    // no such file (or a path component is not a directory)
  OPEN_UNREADABLE, // it exists but is not a readable regular file
};

// Opens a regular file for reading; on OPEN_OK `fd` is a blocking,
// close-on-exec descriptor the caller closes.
[[nodiscard]] OpenStatus openRegularFile(const std::string& path, int& fd);

// openRegularFile as a stdio stream for binary reading: null unless the
// status (stored when `status` is given) is OPEN_OK.
[[nodiscard]] std::FILE* openRegularStream(const std::string& path, OpenStatus* status = nullptr);

// The whole content of a regular file into `text` (on OPEN_OK only; a
// read error is OPEN_UNREADABLE).
[[nodiscard]] OpenStatus readWholeFile(const std::string& path, std::string& text);

// Opens a regular file for appending, creating it when missing; null for
// anything else (a FIFO would block or swallow the text).
[[nodiscard]] std::FILE* openAppendStream(const std::string& path);

// A fresh, empty regular file for reading and writing: whatever stood at
// path is removed first, so a link or FIFO there is never followed.
[[nodiscard]] std::FILE* openScratchStream(const std::string& path);

// "DIR.kav-KIND-PID-XXXXXX" for mkstemp or mkdtemp; dir is empty or ends
// in '/'.
std::string temporaryPattern(const std::string& dir, std::string_view kind);

// Removes from dir (empty or ending in '/') the temporary files and
// folders of processes that no longer exist. Cost: one listing of dir.
void removeStaleTemporaries(const std::string& dir);

// The folder part of path with its final '/'; "" when path has none.
std::string directoryOf(const std::string& path);

// The mode a new file gets: what the umask leaves of 0666. Read by
// setting the umask and back, so not safe while other threads create files.
mode_t defaultFileMode();

// Makes a write past the file size limit fail with EFBIG instead of ending
// the process with SIGXFSZ. Called by the program entry and by every
// atomic write; children started later get the default back.
void ignoreFileSizeSignal();

// One file being written atomically.
struct AtomicFile {
  std::string path;            // the target
  std::string temporary;       // the file being written, beside the target
  std::FILE* stream = nullptr; // open for binary writing until commitAtomicFile
  bool durable = true;         // synced to disk before it replaces an existing file
};

// Starts writing `path`: creates the temporary file (first removing, once
// per directory and process, the stale temporaries of that directory).
// False when it cannot be created. With durable off the new content is not
// synced (protocol files that only this run's parent reads).
[[nodiscard]] bool beginAtomicFile(const std::string& path, AtomicFile& file, bool durable = true);

// Ends the write. When `written` is true and everything reached the file,
// the file gets the target's mode (a regular target's own, else the mode
// the umask leaves of 0666: a symbolic link is replaced by a file, its
// target left alone) and is renamed over the target; otherwise it is
// removed. Answers whether the target now holds the new content.
[[nodiscard]] bool commitAtomicFile(AtomicFile& file, bool written);

// Ends the write without touching the target: the temporary file goes.
void discardAtomicFile(AtomicFile& file);

// beginAtomicFile, then write(stream) -> bool, then commitAtomicFile.
template <typename Writer>
[[nodiscard]] bool writeFileAtomically(const std::string& path, Writer write, bool durable = true) {
  AtomicFile file;
  if (!beginAtomicFile(path, file, durable)) return false;
  const bool written = write(file.stream);
  return commitAtomicFile(file, written);
}

} // namespace kav
