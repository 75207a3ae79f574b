#include "benchSupport.h"

#include <malloc.h>
#include <sys/resource.h>

#include <cstdio>

namespace kav::bench {

std::uint64_t heapInUse() {
  const struct mallinfo2 info = mallinfo2();
  return info.uordblks + info.hblkhd;
}

std::uint64_t peakResident() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<std::uint64_t>(usage.ru_maxrss) * 1024;
}

void report(const std::string& name, std::int64_t states, std::int64_t transitions, double seconds,
            const std::string& extra) {
  std::printf("%-28s %12lld %12lld %9.3f s  %s\n", name.c_str(), static_cast<long long>(states),
              static_cast<long long>(transitions), seconds, extra.c_str());
  std::fflush(stdout);
}

} // namespace kav::bench
