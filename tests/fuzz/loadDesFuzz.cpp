// Any bytes given to the DES loader: it must answer a status and, on
// success, a DES that keeps every record invariant.

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <new>

#include "model/desfile.h"

namespace {

// The state count named by the file, or 0 when it cannot be found. Sizes
// beyond a few million states only test the allocator, so they are skipped.
std::uint64_t namedSize(const std::uint8_t* data, std::size_t size) {
  const void* end = std::memchr(data, 26, size);
  if (!end) return 0;
  std::size_t at = static_cast<std::size_t>(static_cast<const std::uint8_t*>(end) - data) + 1;
  if (at + 7 + 12 > size) return 0;
  const int width = data[at + 6] == '1' ? 4 : 8;
  at += 7 + 12;
  std::uint64_t v = 0;
  for (int k = width - 1; k >= 0; --k)
    if (at + static_cast<std::size_t>(k) < size) v = (v << 8) | data[at + static_cast<std::size_t>(k)];
  return v;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (namedSize(data, size) > 4'000'000) return 0;
  static const int fd = memfd_create("des", 0);
  if (ftruncate(fd, 0) != 0 || pwrite(fd, data, size, 0) != static_cast<ssize_t>(size)) return 0;
  lseek(fd, 0, SEEK_SET);
  kav::DES des;
  std::int64_t init = 0;
  if (kav::loadDESDescriptor(fd, des, init) == kav::LOAD_OK && !kav::isValidDES(des)) __builtin_trap();
  return 0;
}
