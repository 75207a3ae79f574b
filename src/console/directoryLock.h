#pragma once

// One interactive session per user directory: the protocol files there
// (orva.prm, orva.rst, the scratch file) have fixed names, so two sessions
// in one directory would read each other's results. A session holds an
// advisory lock on the directory itself (no lock file appears among the
// user's files); batch children take none.

#include <string>

namespace kav {

enum DirectoryLockStatus {
  DIRECTORY_LOCKED = 0, // this session now holds the directory
  DIRECTORY_BUSY = 1,   // another session holds it
  DIRECTORY_ABSENT = 2, // it cannot be opened (it may not exist yet); nothing to guard
};

// Locks `path` for this session, releasing the lock held before only when
// the new one was obtained (or the new directory is absent).
[[nodiscard]] int lockUserDirectory(const std::string& path);

// Releases the lock, if any.
void unlockUserDirectory();

} // namespace kav
