// Project on transfer-line supervisors, erasing the finish events of every
// second machine (machines 1, 3, ...): n machines, buffers of capacity k;
// by default n = 5, 6 and 7 with k = 4 (supervisors of about 10^4, 10^5
// and 10^6 states), or the two arguments. project (one subset construction
// over all erased labels, then minimization) is timed against its staged
// reference projectStaged (each erased label one stage, as the inputs have
// 1000 states or more: a subset construction, then reach and minimization)
// and against projectCore alone (all labels at once, not minimized).

#include <cstdio>
#include <cstdlib>
#include <utility>
#include <vector>

#include "benchSupport.h"
#include "heapPeak.h"
#include "ops/project.h"
#include "ops/supcon.h"
#include "transferLine.h"

using namespace kav;
using namespace kav::bench;

int main(int argc, char** argv) {
  std::vector<std::pair<int, int>> sizes{{5, 4}, {6, 4}, {7, 4}};
  if (argc > 2) sizes = {{std::atoi(argv[1]), std::atoi(argv[2])}};
  std::printf("%-28s %12s %12s %11s\n", "operation", "states", "transitions", "time");
  for (const auto& [n, k] : sizes) {
    DES supervisor;
    {
      const TransferLine line = transferLine(n, k);
      (void)supconDES(line.plant, line.spec, supervisor);
    }
    EventList erased;
    for (int i = 1; i < n; i += 2) erased.push_back(finishLabel(i));
    const std::size_t stages = supervisor.size() < 100 ? 1 : supervisor.size() < 1000 ? (erased.size() + 1) / 2 : erased.size();
    std::printf("-- transfer line n = %d, k = %d: supervisor %lld states, %lld transitions; %zu labels erased, %zu stages\n",
                n, k, static_cast<long long>(supervisor.size()), static_cast<long long>(countTransitions(supervisor)),
                erased.size(), stages);
    char extra[160];
    const char* names[] = {"project", "projectStaged", "projectCore (one pass)"};
    for (int route = 0; route < 3; ++route) {
      DES des = copyDES(supervisor);
      const std::uint64_t base = heapNow();
      resetHeapPeak();
      Stopwatch watch;
      if (route == 0) project(des, erased);
      else if (route == 1) projectStaged(des, erased);
      else projectCore(des, erased);
      const double seconds = watch.seconds();
      std::snprintf(extra, sizeof extra, "peak %7.1f MB above the input", static_cast<double>(heapPeak() - base) / 1e6);
      report(names[route], des.size(), countTransitions(des), seconds, extra);
    }
  }
  std::printf("peak resident %.1f MB\n", static_cast<double>(peakResident()) / 1e6);
  return 0;
}
