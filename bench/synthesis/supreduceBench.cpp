// Supervisor reduction of Supcon supervisors, with and without the lower
// bound:
//   - transfer lines of n machines and buffers of capacity 4 (n = 4, 5, 6:
//     supervisors of about 10^3, 10^4 and 10^5 states), which reduce to
//     few cells;
//   - random plants and legal languages (supervisors of about 10^3 and 10^4
//     states, see randomCase), which reduce poorly and so make the
//     reduction try most of the N^2 / 2 pairs.
// Arguments: "line N K" or "random PLANT_STATES SPEC_STATES SEED" runs one case;
// "nobound" skips the bound. Without arguments every case runs, the bound
// only up to 2 * 10^4 states (its table alone needs N^2 / 8 bytes and its
// time grows with N^2).

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "benchSupport.h"
#include "ops/heapPeak.h"
#include "ops/condat.h"
#include "ops/supcon.h"
#include "synthesis/supreduce.h"
#include "ops/transferLine.h"

using namespace kav;
using namespace kav::bench;

namespace {

struct Case {
  std::string name;
  DES plant, supervisor, controlData;
};

// A random plant of `plantSize` states over labels 0..9 (odd ones
// controllable; each label present at a state with probability 3/4, half
// the states marked, all of them with one state) and a random
// legal DES of `specSize` states that never restricts an
// uncontrollable label (self-loops), moves on label 1 around a cycle and
// on each other controllable label with probability 2/3 to a random
// state. Supcon is about their product, and its reduction cannot do much
// better than the legal automaton itself: it reduces poorly, and with a
// one-state plant not at all.
Case randomCase(std::int64_t plantSize, std::int64_t specSize, std::uint32_t seed) {
  std::mt19937 rng(seed);
  Case c;
  char name[96];
  std::snprintf(name, sizeof name, "random plant %lld x spec %lld seed %u", static_cast<long long>(plantSize),
                static_cast<long long>(specSize), seed);
  c.name = name;
  c.plant = allocStates(plantSize);
  for (std::int64_t x = 0; x < plantSize; ++x) {
    for (std::uint16_t e = 0; e < 10; ++e)
      if (rng() % 4 < 3) insertTransition(c.plant[x], e, static_cast<std::int64_t>(rng() % plantSize));
    c.plant[x].marked = plantSize == 1 || rng() % 2;
  }
  DES spec = allocStates(specSize);
  for (std::int64_t x = 0; x < specSize; ++x) {
    for (std::uint16_t e = 0; e < 10; ++e) {
      if (e % 2 == 0) insertTransition(spec[x], e, x);
      else if (e == 1) insertTransition(spec[x], e, (x + 1) % specSize);
      else if (rng() % 3 != 0) insertTransition(spec[x], e, static_cast<std::int64_t>(rng() % specSize));
    }
    spec[x].marked = rng() % 2;
  }
  (void)supconDES(c.plant, spec, c.supervisor);
  (void)condatDES(c.plant, c.supervisor, c.controlData);
  return c;
}

Case lineCase(int n, int k) {
  Case c;
  char name[64];
  std::snprintf(name, sizeof name, "transfer line n=%d k=%d", n, k);
  c.name = name;
  TransferLine line = transferLine(n, k);
  (void)supconDES(line.plant, line.spec, c.supervisor);
  (void)condatDES(line.plant, c.supervisor, c.controlData);
  c.plant = std::move(line.plant);
  return c;
}

void run(const Case& c, bool withBound) {
  std::printf("-- %s: supervisor %lld states, %lld transitions\n", c.name.c_str(),
              static_cast<long long>(c.supervisor.size()), static_cast<long long>(countTransitions(c.supervisor)));
  const ReductionAutomaton plant = reductionAutomatonOf(c.plant);
  const ReductionAutomaton supervisor = reductionAutomatonOf(c.supervisor);
  for (int bound = 0; bound <= (withBound ? 1 : 0); ++bound) {
    ReducedSupervisor reduced;
    std::int64_t lowerBound = 0;
    const std::uint64_t base = heapNow();
    resetHeapPeak();
    Stopwatch watch;
    const int code = reduceSupervisor(plant, supervisor, &c.controlData, bound == 1, reduced, lowerBound);
    const double seconds = watch.seconds();
    char extra[200];
    // The bound's pair table comes from calloc, which the heap count does
    // not see: it is N (N - 1) / 2 entries of 2 bits.
    const double table = bound ? static_cast<double>(c.supervisor.size()) * (c.supervisor.size() - 1) / 8 : 0;
    std::snprintf(extra, sizeof extra, "code %d  ratio %7.2f  bound %-6lld heap peak %7.1f MB (%.0f B/state)  table %.1f MB",
                  code, static_cast<double>(c.supervisor.size()) / static_cast<double>(reduced.size),
                  static_cast<long long>(lowerBound), static_cast<double>(heapPeak() - base) / 1e6,
                  static_cast<double>(heapPeak() - base) / static_cast<double>(c.supervisor.size()), table / 1e6);
    report(bound ? "reduce + bound" : "reduce", reduced.size, static_cast<std::int64_t>(reduced.triples.size()),
           seconds, extra);
  }
}

} // namespace

int main(int argc, char** argv) {
  bool withBound = true;
  std::vector<std::string> args(argv + 1, argv + argc);
  if (!args.empty() && args.back() == "nobound") {
    withBound = false;
    args.pop_back();
  }
  std::printf("%-28s %12s %12s %11s\n", "operation", "cells", "transitions", "time");
  if (args.size() == 3 && args[0] == "line") {
    run(lineCase(std::atoi(args[1].c_str()), std::atoi(args[2].c_str())), withBound);
    return 0;
  }
  if (args.size() == 4 && args[0] == "random") {
    run(randomCase(std::atoll(args[1].c_str()), std::atoll(args[2].c_str()),
                   static_cast<std::uint32_t>(std::atol(args[3].c_str()))),
        withBound);
    return 0;
  }
  for (int n = 4; n <= 6; ++n) {
    const Case c = lineCase(n, 4);
    run(c, withBound && c.supervisor.size() <= 20000);
  }
  for (const auto& [plantSize, specSize] : {std::pair{3, 330}, {3, 3300}, {1, 1000}, {1, 10000}}) {
    const Case c = randomCase(plantSize, specSize, 2);
    run(c, withBound && c.supervisor.size() <= 20000);
  }
  std::printf("peak resident %.1f MB\n", static_cast<double>(peakResident()) / 1e6);
  return 0;
}
