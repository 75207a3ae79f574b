// Symbolic supervisor synthesis on the model families of families.h.
//   line n = 9, k = 2: the explicit route (Sync of the plant, Sync of the
//     legal components, supconDES) against symbolicSupcon with its explicit
//     supervisor; the two supervisors must be the same DES after
//     breadth-first renumbering of the explicit one.
//   line n = 20 and n = 40, k = 2, breakdown n = 20 (k = 1 and 2): the
//     exact figures only.
// Every case runs in a child process of its own, so that the peak resident
// memory printed is that case's. Arguments "line N K" or "breakdown N K"
// run one symbolic case.

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "benchSupport.h"
#include "families.h"
#include "ops/supcon.h"
#include "ops/trim.h"
#include "symbolic/symbolicSupcon.h"

using namespace kav;
using namespace kav::bench;

namespace {

bool sameDES(const DES& a, const DES& b) {
  if (a.size() != b.size()) return false;
  for (std::int64_t s = 0; s < a.size(); ++s) {
    const auto x = transitionsOf(a[s]), y = transitionsOf(b[s]);
    if (a[s].marked != b[s].marked || !std::equal(x.begin(), x.end(), y.begin(), y.end())) return false;
  }
  return true;
}

void printFigures(const char* name, const SymbolicResult& r, int code, double seconds) {
  std::printf("%-22s code %d  %9.3f s  reachable %s  supervisor %s states, %s transitions, %s marked\n", name, code,
              seconds, r.reachableStates.c_str(), r.supervisorStates.c_str(), r.supervisorTransitions.c_str(),
              r.supervisorMarkedStates.c_str());
  std::printf("%-22s rounds %d  BDD nodes: reachable %zu, supervisor %zu, peak table %zu\n", "", r.rounds,
              r.reachableNodes, r.supervisorNodes, r.peakNodes);
}

int symbolicCase(const std::string& family, int n, int k) {
  const ModularModel model = family == "breakdown" ? breakdownFamily(n, k) : lineFamily(n, k);
  SymbolicOptions options;
  options.countOnly = true;
  SymbolicResult result;
  Stopwatch watch;
  const int code = symbolicSupcon(model.plants, model.specs, options, result);
  const std::string name = family + " n=" + std::to_string(n) + " k=" + std::to_string(k);
  printFigures(name.c_str(), result, code, watch.seconds());
  return code;
}

int comparisonCase(int n, int k) {
  const ModularModel model = lineFamily(n, k);
  std::printf("-- line n=%d k=%d: explicit against symbolic\n", n, k);
  Stopwatch composeWatch;
  const DES plant = syncComponents(model.plants);
  const DES spec = syncComponents(model.specs);
  const double composeSeconds = composeWatch.seconds();
  DES expected;
  Stopwatch supconWatch;
  (void)supconDES(plant, spec, expected);
  const double supconSeconds = supconWatch.seconds();
  report("explicit Sync x2", plant.size(), spec.size(), composeSeconds, "plant and legal states");
  report("explicit supconDES", expected.size(), countTransitions(expected), supconSeconds);
  std::printf("%-28s %36.3f s\n", "explicit total", composeSeconds + supconSeconds);

  SymbolicResult result;
  Stopwatch watch;
  const int code = symbolicSupcon(model.plants, model.specs, {}, result);
  const double seconds = watch.seconds();
  printFigures("symbolic + explicit DES", result, code, seconds);
  bfsRecodeDES(expected);
  const bool same = code == SYMBOLIC_OK && result.explicitBuilt && sameDES(result.supervisor, expected);
  std::printf("same supervisor: %s; symbolic/explicit time %.2f\n", same ? "yes" : "NO",
              seconds / (composeSeconds + supconSeconds));
  return same ? 0 : 1;
}

// Runs one case in a child and prints its peak resident memory.
void inChild(int (*body)(int, int), int n, int k) {
  std::fflush(stdout);
  const pid_t pid = fork();
  if (pid == 0) {
    const int code = body(n, k);
    std::fflush(stdout);
    std::_Exit(code);
  }
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  std::printf("%-22s peak resident %.1f MB, exit %d\n", "", static_cast<double>(usage.ru_maxrss) / 1024.0,
              WIFEXITED(status) ? WEXITSTATUS(status) : -1);
  std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv) {
  if (argc > 3) return symbolicCase(argv[1], std::atoi(argv[2]), std::atoi(argv[3]));
  inChild(comparisonCase, 9, 2);
  std::printf("-- exact figures only\n");
  inChild([](int n, int k) { return symbolicCase("line", n, k); }, 20, 2);
  inChild([](int n, int k) { return symbolicCase("line", n, k); }, 40, 2);
  inChild([](int n, int k) { return symbolicCase("breakdown", n, k); }, 20, 1);
  inChild([](int n, int k) { return symbolicCase("breakdown", n, k); }, 20, 2);
  return 0;
}
