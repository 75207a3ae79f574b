// Save, load and Trim of a DES of n states and 4n transitions (n = 10^6 by
// default, or the first argument), with the heap held by the loaded DES.

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

#include "benchSupport.h"
#include "model/desfile.h"
#include "ops/trim.h"

using namespace kav;
using namespace kav::bench;

namespace {

// Four transitions per state on distinct labels to random targets; one
// state in ten marked. Most states are reachable and coreachable, a few
// hundred are cut off so that Trim has work to do.
DES makeBenchDES(std::int64_t n, std::uint32_t seed) {
  std::mt19937_64 rng(seed);
  DES des = allocStates(n);
  std::vector<Transition> list;
  for (std::int64_t s = 0; s < n; ++s) {
    list.clear();
    for (std::uint16_t e = 0; e < 4; ++e) {
      Transition t;
      t.target = static_cast<std::int64_t>(rng() % static_cast<std::uint64_t>(n));
      t.event = static_cast<std::uint16_t>(2 * e + (rng() & 1));
      list.push_back(t);
    }
    (void)assignTransitions(des[s], list);
    des[s].marked = rng() % 10 == 0;
  }
  return des;
}

} // namespace

int main(int argc, char** argv) {
  const std::int64_t n = argc > 1 ? std::atoll(argv[1]) : 1'000'000;
  const std::string path = "/tmp/kav-file-bench-" + std::to_string(::getpid()) + ".DES";
  DES des = makeBenchDES(n, 42);
  const std::int64_t transitions = countTransitions(des);
  std::printf("%-28s %12s %12s %11s\n", "operation", "states", "transitions", "time");

  Stopwatch save;
  if (saveDESFile(path, des, 0, 2) != SAVE_OK) return 1;
  report("save (version 2)", n, transitions, save.seconds());
  freeDES(des);

  const std::uint64_t before = heapInUse();
  Stopwatch load;
  std::int64_t init = 0;
  if (loadDESFile(path, des, init) != LOAD_OK) return 1;
  const double loadSeconds = load.seconds();
  const double held = static_cast<double>(heapInUse() - before);
  char memory[160];
  std::snprintf(memory, sizeof memory, "heap %.1f MB = %.1f B/state + 4 transitions; budget %.1f MB",
                held / 1e6, held / static_cast<double>(n),
                (32.0 * static_cast<double>(n) + 24.0 * static_cast<double>(transitions)) / 1e6);
  report("load", n, transitions, loadSeconds, memory);

  Stopwatch trim;
  trimDES(des);
  report("trim", des.size(), countTransitions(des), trim.seconds());

  Stopwatch recode;
  bfsRecodeDES(des);
  report("bfs-recode", des.size(), countTransitions(des), recode.seconds());

  std::remove(path.c_str());
  std::printf("peak resident %.1f MB\n", static_cast<double>(peakResident()) / 1e6);
  return 0;
}
