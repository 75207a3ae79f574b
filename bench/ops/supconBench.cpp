// Supcon of a transfer line's plant and legal language against the product
// construction alone (meetDES of the same operands): n machines, buffers of
// capacity k; by default n = 7 and n = 8 with k = 4 (supervisors of about
// 10^6 and 10^7 states), or the two arguments.

#include <cstdio>
#include <cstdlib>
#include <utility>
#include <vector>

#include "benchSupport.h"
#include "heapPeak.h"
#include "ops/product.h"
#include "ops/supcon.h"
#include "transferLine.h"

using namespace kav;
using namespace kav::bench;

int main(int argc, char** argv) {
  std::vector<std::pair<int, int>> sizes{{7, 4}, {8, 4}};
  if (argc > 2) sizes = {{std::atoi(argv[1]), std::atoi(argv[2])}};
  std::printf("%-28s %12s %12s %11s\n", "operation", "states", "transitions", "time");
  for (const auto& [n, k] : sizes) {
    const TransferLine line = transferLine(n, k);
    std::printf("-- transfer line n = %d, k = %d\n", n, k);
    char extra[160];

    double productSeconds;
    {
      DES product;
      std::vector<std::int64_t> pairOf;
      const std::uint64_t base = heapNow();
      resetHeapPeak();
      Stopwatch watch;
      (void)meetDES(line.plant, line.spec, product, pairOf);
      productSeconds = watch.seconds();
      std::snprintf(extra, sizeof extra, "peak %7.1f MB", static_cast<double>(heapPeak() - base) / 1e6);
      report("product (meetDES)", product.size(), countTransitions(product), productSeconds, extra);
    }
    DES supervisor;
    const std::uint64_t base = heapNow();
    resetHeapPeak();
    Stopwatch watch;
    (void)supconDES(line.plant, line.spec, supervisor);
    const double seconds = watch.seconds();
    std::snprintf(extra, sizeof extra, "peak %7.1f MB  %.2f x the product", static_cast<double>(heapPeak() - base) / 1e6,
                  seconds / productSeconds);
    report("supconDES", supervisor.size(), countTransitions(supervisor), seconds, extra);
  }
  std::printf("peak resident %.1f MB\n", static_cast<double>(peakResident()) / 1e6);
  return 0;
}
