#include "model/memory.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <new>

#include "model/safefile.h"

namespace kav {

namespace {

// Kept in static storage: the handler runs when nothing can be allocated.
// The result is written aside and renamed, as every save is, under a
// temporary name chosen in advance.
char resultFile[4096];
char temporaryFile[4096];

[[noreturn]] void batchOutOfMemory() {
  int fd = ::open(temporaryFile, O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (fd >= 0) {
    const bool written = ::write(fd, "3\n", 2) == 2;
    if (::close(fd) == 0 && written) ::rename(temporaryFile, resultFile);
    else ::unlink(temporaryFile);
  }
  ::_exit(0);
}

} // namespace

void installBatchMemoryPolicy(const std::string& resultPath) {
  std::string temporary = temporaryPattern(directoryOf(resultPath), "save");
  temporary.replace(temporary.size() - 6, 6, "memory");
  std::strncpy(resultFile, resultPath.c_str(), sizeof resultFile - 1);
  std::strncpy(temporaryFile, temporary.c_str(), sizeof temporaryFile - 1);
  std::set_new_handler(batchOutOfMemory);
}

std::uint64_t physicalMemoryBytes() {
  long pages = ::sysconf(_SC_PHYS_PAGES);
  long pageSize = ::sysconf(_SC_PAGE_SIZE);
  if (pages <= 0 || pageSize <= 0) return 0;
  return static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(pageSize);
}

} // namespace kav
