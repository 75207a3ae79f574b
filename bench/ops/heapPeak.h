#pragma once

// Exact heap figures for the operation benchmarks: the executables that
// link heapPeak.cpp count every operator new and delete, so the peak of a
// single operation can be read without the noise of the process's
// resident set (pages freed by one phase stay resident for the next).

#include <cstdint>

namespace kav::bench {

// Bytes of live heap blocks now, each counted as its usable size plus the
// allocator's 8-byte header.
std::uint64_t heapNow();
// The largest heapNow() since the last resetHeapPeak().
std::uint64_t heapPeak();
void resetHeapPeak();

} // namespace kav::bench
