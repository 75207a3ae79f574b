// Sync and Meet of a transfer line's plant and legal language (n machines,
// buffers of capacity k; by default n = 7 and n = 8 with k = 4, or the two
// arguments), through the pair table and through the hash map. Each row
// gives the product's states and transitions, the time, the rate and the
// peak heap the construction added on top of its inputs (result included).

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "benchSupport.h"
#include "heapPeak.h"
#include "ops/product.h"
#include "transferLine.h"

using namespace kav;
using namespace kav::bench;

namespace {

void measure(const std::string& name, const std::function<bool(DES&, std::vector<std::int64_t>&)>& build) {
  DES result;
  std::vector<std::int64_t> pairOf;
  const std::uint64_t base = heapNow();
  resetHeapPeak();
  Stopwatch watch;
  if (!build(result, pairOf)) std::printf("%s: transition limit exceeded\n", name.c_str());
  const double seconds = watch.seconds();
  const double peak = static_cast<double>(heapPeak() - base);
  const double held = static_cast<double>(heapNow() - base);
  const std::int64_t transitions = countTransitions(result);
  char extra[200];
  std::snprintf(extra, sizeof extra, "%6.1f M tr/s  peak %7.1f MB = %5.1f B/tr  result %7.1f MB",
                static_cast<double>(transitions) / seconds / 1e6, peak / 1e6,
                peak / static_cast<double>(transitions), held / 1e6);
  report(name, result.size(), transitions, seconds, extra);
}

} // namespace

int main(int argc, char** argv) {
  std::vector<std::pair<int, int>> sizes{{7, 4}, {8, 4}};
  if (argc > 2) sizes = {{std::atoi(argv[1]), std::atoi(argv[2])}};
  std::printf("%-28s %12s %12s %11s\n", "operation", "states", "transitions", "time");
  for (const auto& [n, k] : sizes) {
    const TransferLine line = transferLine(n, k);
    std::printf("-- transfer line n = %d, k = %d: plant %lld states, legal language %lld states\n", n, k,
                static_cast<long long>(line.plant.size()), static_cast<long long>(line.spec.size()));
    measure("meetDES (pair table)", [&](DES& r, std::vector<std::int64_t>& p) {
      return meetDES(line.plant, line.spec, r, p);
    });
    measure("meetDES (hash fallback)", [&](DES& r, std::vector<std::int64_t>& p) {
      setPairTableLimit(1);
      const bool ok = meetDES(line.plant, line.spec, r, p);
      setPairTableLimit(0);
      return ok;
    });
    measure("meetDESHashed", [&](DES& r, std::vector<std::int64_t>& p) {
      return meetDESHashed(line.plant, line.spec, r, p);
    });
    measure("syncDES (plant, buffers)", [&](DES& r, std::vector<std::int64_t>& p) {
      return syncDES(line.plant, line.buffers, line.labels, false, r, p);
    });
    measure("syncDESHashed", [&](DES& r, std::vector<std::int64_t>& p) {
      return syncDESHashed(line.plant, line.buffers, r, p);
    });
  }
  std::printf("peak resident %.1f MB\n", static_cast<double>(peakResident()) / 1e6);
  return 0;
}
