#pragma once

// Large arrays that are read and written at random places (the pair table
// of a product, the slots of a pair map, the arrays of the minimizer) pay a
// TLB miss on nearly every access with 4 KB pages once they outgrow a few
// megabytes. Asking for 2 MB pages before the memory is first touched
// removes most of those misses. Only a hint: without transparent huge pages
// nothing changes.

#include <sys/mman.h>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kav {

// Arrays smaller than this gain nothing worth a system call.
inline constexpr std::size_t HUGE_PAGE_THRESHOLD = std::size_t{4} << 20;

inline void adviseHugePages(void* start, std::size_t bytes) {
  if (bytes < HUGE_PAGE_THRESHOLD) return;
  // madvise wants a page-aligned start.
  const auto first = reinterpret_cast<std::uintptr_t>(start) & ~std::uintptr_t{4095};
  ::madvise(reinterpret_cast<void*>(first), bytes, MADV_HUGEPAGE);
}

// Gives v room for n elements, advised as above before anything touches
// the new memory; a later resize or assign within n does not reallocate.
template <typename T>
void reserveHuge(std::vector<T>& v, std::size_t n) {
  if (n <= v.capacity()) return;
  v.reserve(n);
  adviseHugePages(v.data(), n * sizeof(T));
}

} // namespace kav
