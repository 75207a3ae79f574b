#pragma once

// Timing and memory figures for the benchmarks.

#include <chrono>
#include <cstdint>
#include <string>

namespace kav::bench {

struct Stopwatch {
  std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
  double seconds() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  }
};

// Bytes currently allocated through malloc (and so through operator new).
std::uint64_t heapInUse();
// Peak resident set of the process so far, in bytes.
std::uint64_t peakResident();

// Prints "name  states  transitions  seconds  extra" as one table row.
void report(const std::string& name, std::int64_t states, std::int64_t transitions, double seconds,
            const std::string& extra = {});

} // namespace kav::bench
