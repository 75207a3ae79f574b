#include "console/directoryLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace kav {

namespace {

int heldDescriptor = -1; // the locked directory, open while the lock lasts

} // namespace

int lockUserDirectory(const std::string& path) {
  // Close-on-exec: a batch child must not keep the lock alive.
  const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) {
    unlockUserDirectory();
    return DIRECTORY_ABSENT;
  }
  // The directory this session holds already: a second lock through a new
  // descriptor would conflict with our own.
  struct stat wanted, held;
  if (heldDescriptor >= 0 && ::fstat(fd, &wanted) == 0 && ::fstat(heldDescriptor, &held) == 0 &&
      wanted.st_dev == held.st_dev && wanted.st_ino == held.st_ino) {
    ::close(fd);
    return DIRECTORY_LOCKED;
  }
  int rc;
  do rc = ::flock(fd, LOCK_EX | LOCK_NB);
  while (rc != 0 && errno == EINTR);
  if (rc != 0) {
    ::close(fd);
    return DIRECTORY_BUSY;
  }
  unlockUserDirectory();
  heldDescriptor = fd;
  return DIRECTORY_LOCKED;
}

void unlockUserDirectory() {
  if (heldDescriptor < 0) return;
  ::close(heldDescriptor);
  heldDescriptor = -1;
}

} // namespace kav
