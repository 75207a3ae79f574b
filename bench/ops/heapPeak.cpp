#include "heapPeak.h"

#include <malloc.h>

#include <cstdlib>
#include <new>

namespace {

std::uint64_t liveBytes = 0;
std::uint64_t peakBytes = 0;

// The allocator's header before each block.
constexpr std::uint64_t HEADER = 8;

void* allocate(std::size_t size) {
  for (;;) {
    if (void* p = std::malloc(size ? size : 1)) {
      liveBytes += malloc_usable_size(p) + HEADER;
      if (liveBytes > peakBytes) peakBytes = liveBytes;
      return p;
    }
    std::new_handler handler = std::get_new_handler();
    if (!handler) std::abort();
    handler();
  }
}

void release(void* p) noexcept {
  if (!p) return;
  liveBytes -= malloc_usable_size(p) + HEADER;
  std::free(p);
}

} // namespace

void* operator new(std::size_t size) { return allocate(size); }
void* operator new[](std::size_t size) { return allocate(size); }
void operator delete(void* p) noexcept { release(p); }
void operator delete[](void* p) noexcept { release(p); }
void operator delete(void* p, std::size_t) noexcept { release(p); }
void operator delete[](void* p, std::size_t) noexcept { release(p); }

namespace kav::bench {

std::uint64_t heapNow() { return liveBytes; }
std::uint64_t heapPeak() { return peakBytes; }
void resetHeapPeak() { peakBytes = liveBytes; }

} // namespace kav::bench
