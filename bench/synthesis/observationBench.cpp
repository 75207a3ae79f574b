// Sup(s)qc, Supnorm, Suprobs and Supscop on transfer-line supervisors
// (n machines, buffers of capacity 4: n = 4, 5, 6 give supervisors of
// about 10^3, 10^4 and 10^5 states) with the finish events of every
// second machine (1, 3, ...) unobservable.
//   Sup(s)qc:  the supervisor, image = its labels minus the erased ones;
//   Supnorm:   the supervisor as the legal part, the plant as ambient;
//   Suprobs:   the plant and the supervisor as the legal part;
//   Supscop:   the supervisor as the legal part, the plant.
// With every second finish erased, the supremal normal, relatively
// observable and controllable-normal parts are trivial (once a machine
// has started, no observation tells that it finished, so its buffer can
// never be emptied again), so the operations stop after one conflict
// pass. A second workload erases only the last machine's finish, which
// leaves the supervisor relatively observable: Suprobs then runs its full
// conflict pass over the whole supervisor and keeps it.
// Arguments: "N [last] [operation...]" runs the line of N machines with
// the named operations (qc, sqc, norm, robs, scop); without arguments all
// of them run on all three sizes, and the second workload with Suprobs,
// Supnorm and Supscop.

#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "benchSupport.h"
#include "ops/heapPeak.h"
#include "ops/supcon.h"
#include "ops/transferLine.h"
#include "synthesis/observability.h"
#include "synthesis/quasiCongruence.h"

using namespace kav;
using namespace kav::bench;

namespace {

struct Line {
  int machines = 0;
  DES plant, supervisor;
  EventList nullLabels, image;
};

Line makeLine(int n, bool lastOnly) {
  Line line;
  line.machines = n;
  TransferLine t = transferLine(n, 4);
  (void)supconDES(t.plant, t.spec, line.supervisor);
  line.plant = std::move(t.plant);
  if (lastOnly) insertEvent(line.nullLabels, finishLabel(n - 1));
  else
    for (int i = 1; i < n; i += 2) insertEvent(line.nullLabels, finishLabel(i));
  collectEventsExcept(line.supervisor, line.nullLabels, line.image);
  return line;
}

std::string heapText(std::uint64_t base, std::int64_t states) {
  char text[96];
  const double bytes = static_cast<double>(heapPeak() - base);
  std::snprintf(text, sizeof text, "heap peak %7.1f MB (%.0f B/state)", bytes / 1e6,
                bytes / static_cast<double>(states));
  return text;
}

void runOperation(const Line& line, const std::string& op) {
  const std::uint64_t base = heapNow();
  resetHeapPeak();
  char extra[256];
  if (op == "qc" || op == "sqc") {
    DES quotient;
    std::vector<std::int64_t> representative;
    QuasiCongruenceReport r;
    Stopwatch watch;
    (void)supqcDES(line.supervisor, line.image, op == "sqc", quotient, representative, &r);
    const double seconds = watch.seconds();
    std::snprintf(extra, sizeof extra, "passes %d  relation %lld  %s", r.passes, static_cast<long long>(r.relationSize),
                  heapText(base, line.supervisor.size()).c_str());
    report(op == "qc" ? "supqc" : "supsqc", quotient.size(), countTransitions(quotient), seconds, extra);
    return;
  }
  DES result;
  ObservationReport r;
  Stopwatch watch;
  if (op == "norm") (void)supnormDES(line.supervisor, line.plant, line.nullLabels, result);
  else if (op == "robs") (void)suprobsDES(line.plant, line.supervisor, line.nullLabels, result, &r);
  else if (op == "scop") (void)supscopDES(line.supervisor, line.plant, line.nullLabels, result, &r);
  else return;
  const double seconds = watch.seconds();
  std::snprintf(extra, sizeof extra, "passes %d  largest working %lld  %s", r.passes,
                static_cast<long long>(r.largestWorking), heapText(base, line.supervisor.size()).c_str());
  const char* name = op == "norm" ? "supnorm" : op == "robs" ? "suprobs" : "supscop";
  report(name, result.size(), countTransitions(result), seconds, extra);
}

void runLine(int n, bool lastOnly, const std::vector<std::string>& ops) {
  const Line line = makeLine(n, lastOnly);
  std::string erased;
  for (std::uint16_t e : line.nullLabels) erased += (erased.empty() ? "" : ",") + std::to_string(e);
  std::printf("-- transfer line n=%d k=4: supervisor %lld states, %lld transitions; plant %lld states; erased [%s]\n", n,
              static_cast<long long>(line.supervisor.size()), static_cast<long long>(countTransitions(line.supervisor)),
              static_cast<long long>(line.plant.size()), erased.c_str());
  for (const std::string& op : ops) runOperation(line, op);
}

} // namespace

int main(int argc, char** argv) {
  std::printf("%-28s %12s %12s %11s\n", "operation", "states", "transitions", "time");
  if (argc >= 2) {
    std::vector<std::string> ops(argv + 2, argv + argc);
    const bool lastOnly = !ops.empty() && ops.front() == "last";
    if (lastOnly) ops.erase(ops.begin());
    if (ops.empty()) ops = {"qc", "sqc", "norm", "robs", "scop"};
    runLine(std::atoi(argv[1]), lastOnly, ops);
  } else {
    for (int n = 4; n <= 6; ++n) {
      runLine(n, false, {"qc", "sqc", "norm", "robs", "scop"});
      runLine(n, true, {"robs", "norm", "scop"});
    }
  }
  std::printf("peak resident %.1f MB\n", static_cast<double>(peakResident()) / 1e6);
  return 0;
}
