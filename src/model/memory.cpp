#include "model/memory.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <new>

namespace kav {

namespace {

// Kept in static storage: the handler runs when nothing can be allocated.
char resultFile[4096];

[[noreturn]] void batchOutOfMemory() {
  int fd = ::open(resultFile, O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd >= 0) {
    [[maybe_unused]] ssize_t written = ::write(fd, "3\n", 2);
    ::close(fd);
  }
  ::_exit(0);
}

} // namespace

void installBatchMemoryPolicy(const std::string& resultPath) {
  std::strncpy(resultFile, resultPath.c_str(), sizeof resultFile - 1);
  std::set_new_handler(batchOutOfMemory);
}

std::uint64_t physicalMemoryBytes() {
  long pages = ::sysconf(_SC_PHYS_PAGES);
  long pageSize = ::sysconf(_SC_PAGE_SIZE);
  if (pages <= 0 || pageSize <= 0) return 0;
  return static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(pageSize);
}

} // namespace kav
