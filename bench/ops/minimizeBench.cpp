// Minstate (reachDES, then minimizeHopcroft) on transfer-line supervisors:
// the supervisor itself, which is already minimal (every state its own
// class, the most splitting work), and the supervisor paired with a hidden
// parity of the start events of machine 0, which doubles every state and
// minimizes back to the supervisor's size, and the supervisor with
// finish_1 renamed finish_0, which is nondeterministic wherever machines 0
// and 1 are both busy. n machines, buffers of capacity k; by default n = 7
// and n = 8 with k = 4, or the two arguments.

#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "benchSupport.h"
#include "heapPeak.h"
#include "ops/minimize.h"
#include "ops/product.h"
#include "ops/supcon.h"
#include "ops/trim.h"
#include "transferLine.h"

using namespace kav;
using namespace kav::bench;

namespace {

// Two marked states exchanged by start_0 and looping on every other label.
DES parityOfFirstStarts(const EventList& labels) {
  DES des = allocStates(2);
  for (std::int64_t s = 0; s < 2; ++s) {
    std::vector<Transition> list;
    for (std::uint16_t e : labels) list.push_back(edge(e, e == startLabel(0) ? 1 - s : s));
    setTransitions(des, s, list);
    des[s].marked = 1;
  }
  return des;
}

// Every transition labelled `from` relabelled `to`.
DES relabelled(const DES& des, std::uint16_t from, std::uint16_t to) {
  DES out = copyDES(des);
  std::vector<Transition> list;
  for (StateRecord& s : out.states) {
    const auto old = transitionsOf(s);
    list.assign(old.begin(), old.end());
    for (Transition& t : list)
      if (t.event == from) t.event = to;
    setTransitions(out, &s - out.states.data(), list);
  }
  return out;
}

void minstate(const std::string& name, DES des) {
  const std::int64_t states = des.size();
  const std::int64_t transitions = countTransitions(des);
  const std::uint64_t base = heapNow();
  resetHeapPeak();
  Stopwatch watch;
  reachDES(des);
  minimizeHopcroft(des);
  const double seconds = watch.seconds();
  char extra[200];
  std::snprintf(extra, sizeof extra, "input %lld states, %lld transitions; peak %7.1f MB above the input",
                static_cast<long long>(states), static_cast<long long>(transitions),
                static_cast<double>(heapPeak() - base) / 1e6);
  report(name, des.size(), countTransitions(des), seconds, extra);
}

} // namespace

int main(int argc, char** argv) {
  std::vector<std::pair<int, int>> sizes{{7, 4}, {8, 4}};
  if (argc > 2) sizes = {{std::atoi(argv[1]), std::atoi(argv[2])}};
  std::printf("%-28s %12s %12s %11s\n", "operation", "states", "transitions", "time");
  for (const auto& [n, k] : sizes) {
    DES supervisor;
    {
      const TransferLine line = transferLine(n, k);
      (void)supconDES(line.plant, line.spec, supervisor);
      std::printf("-- transfer line n = %d, k = %d\n", n, k);
    }
    minstate("minstate (supervisor)", copyDES(supervisor));
    minstate("minstate (nondeterministic)", relabelled(supervisor, finishLabel(1), finishLabel(0)));
    DES doubled;
    {
      EventList labels;
      collectEvents(supervisor, labels);
      std::vector<std::int64_t> pairOf;
      (void)meetDES(supervisor, parityOfFirstStarts(labels), doubled, pairOf);
    }
    freeDES(supervisor);
    minstate("minstate (doubled)", std::move(doubled));
  }
  std::printf("peak resident %.1f MB\n", static_cast<double>(peakResident()) / 1e6);
  return 0;
}
