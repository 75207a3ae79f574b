// Sync, Meet, Supcon, Minstate and Project on the three model families of
// families.h, as the model sets list them: PLANT = Sync(plant components),
// SPEC = Sync(legal components), Meet(PLANT, SPEC) through the hash map as
// the Meet procedure builds it, Supcon(PLANT, SPEC), Minstate(SUP) (reach,
// then minimize) and Project(SUP, the family's erased labels). Every row
// gives the result's states and transitions, the processor time of the
// operation (the figure to compare: the machine may be shared), the
// elapsed time, and the peak heap the operation added on top of its inputs
// (result included).
//
//   familiesBench                    every family at its default sizes
//   familiesBench line N K           transfer line, n machines, capacity k
//   familiesBench breakdown N        line with breakdowns, capacity 1
//   familiesBench random N [SEED]    random family, m 12, unc 4, deg 4,
//                                    marked 0.5; seeds 1..7 by default
// --only OP[,OP...] (sync, meet, supcon, minstate, project) runs only those
// operations; the supervisor is computed untimed when a later one needs it.
//
// Defaults: line n = 8, 9 (k = 2); breakdown n = 8, 9, 10; random n = 10,
// 15, 20, 30 with seeds 1..7.

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

#include "benchSupport.h"
#include "families.h"
#include "heapPeak.h"
#include "ops/minimize.h"
#include "ops/product.h"
#include "ops/project.h"
#include "ops/supcon.h"
#include "ops/trim.h"

using namespace kav;
using namespace kav::bench;

namespace {

struct Instance {
  std::string name;
  std::function<ModularModel()> build;
};

std::string only; // comma-separated operations to run; empty = all

bool wanted(const char* op) {
  if (only.empty()) return true;
  const std::string list = "," + only + ",";
  return list.find("," + std::string(op) + ",") != std::string::npos;
}

double processorSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// Runs op on a fresh result and prints its row.
void measure(const char* name, const std::function<void(DES&)>& op, DES& result) {
  const std::uint64_t base = heapNow();
  resetHeapPeak();
  const double cpu = processorSeconds();
  Stopwatch watch;
  op(result);
  const double seconds = watch.seconds();
  const double used = processorSeconds() - cpu;
  char extra[64];
  std::snprintf(extra, sizeof extra, "elapsed %8.3f s  peak %8.1f MB", seconds, static_cast<double>(heapPeak() - base) / 1e6);
  report(name, result.size(), countTransitions(result), used, extra);
}

void run(const Instance& instance) {
  std::printf("-- %s\n", instance.name.c_str());
  std::fflush(stdout);
  ModularModel model = instance.build();
  DES plant, spec;
  if (wanted("sync")) {
    measure("Sync (plant)", [&](DES& r) { r = syncComponents(model.plants); }, plant);
    measure("Sync (legal)", [&](DES& r) { r = syncComponents(model.specs); }, spec);
  } else {
    plant = syncComponents(model.plants);
    spec = syncComponents(model.specs);
  }
  if (wanted("meet")) {
    DES meet;
    measure("Meet", [&](DES& r) {
      std::vector<std::int64_t> pairOf;
      (void)meetDESHashed(plant, spec, r, pairOf);
    }, meet);
  }
  const bool later = wanted("minstate") || wanted("project");
  if (!wanted("supcon") && !later) return;
  DES supervisor;
  if (wanted("supcon")) measure("Supcon", [&](DES& r) { (void)supconDES(plant, spec, r); }, supervisor);
  else (void)supconDES(plant, spec, supervisor);
  freeDES(plant);
  freeDES(spec);
  if (wanted("minstate")) {
    DES des = copyDES(supervisor);
    measure("Minstate", [&](DES& r) {
      reachDES(r);
      minimizeDES(r);
    }, des);
  }
  if (wanted("project")) {
    DES des = copyDES(supervisor);
    measure("Project", [&](DES& r) { project(r, model.erased); }, des);
  }
}

std::vector<Instance> lineInstances(int n, int k) {
  return {{"line n = " + std::to_string(n) + ", k = " + std::to_string(k), [=] { return lineFamily(n, k); }}};
}

std::vector<Instance> breakdownInstances(int n) {
  return {{"breakdown n = " + std::to_string(n) + ", k = 1", [=] { return breakdownFamily(n); }}};
}

std::vector<Instance> randomInstances(int n, int firstSeed, int lastSeed) {
  std::vector<Instance> list;
  for (int seed = firstSeed; seed <= lastSeed; ++seed)
    list.push_back({"random n = " + std::to_string(n) + ", m = 12, unc = 4, deg = 4, marked 0.5, seed " +
                        std::to_string(seed),
                    [=] { return randomFamily(n, 12, 4, 4, 0.5, static_cast<unsigned>(seed)); }});
  return list;
}

} // namespace

int main(int argc, char** argv) {
  std::vector<const char*> args;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--only") == 0 && i + 1 < argc) only = argv[++i];
    else args.push_back(argv[i]);
  }
  std::vector<Instance> instances;
  auto append = [&](std::vector<Instance> more) { instances.insert(instances.end(), more.begin(), more.end()); };
  const auto arg = [&](std::size_t i, int fallback) { return i < args.size() ? std::atoi(args[i]) : fallback; };
  if (args.empty()) {
    for (int n : {8, 9}) append(lineInstances(n, 2));
    for (int n : {8, 9, 10}) append(breakdownInstances(n));
    for (int n : {10, 15, 20, 30}) append(randomInstances(n, 1, 7));
  } else if (std::strcmp(args[0], "line") == 0) {
    append(lineInstances(arg(1, 9), arg(2, 2)));
  } else if (std::strcmp(args[0], "breakdown") == 0) {
    append(breakdownInstances(arg(1, 9)));
  } else if (std::strcmp(args[0], "random") == 0) {
    const int seed = arg(2, 0);
    append(randomInstances(arg(1, 15), seed ? seed : 1, seed ? seed : 7));
  } else {
    std::fprintf(stderr, "usage: familiesBench [--only OPS] [line N K | breakdown N | random N [SEED]]\n");
    return 2;
  }
  std::printf("%-28s %12s %12s %11s\n", "operation", "states", "transitions", "cpu time");
  for (const Instance& instance : instances) run(instance);
  std::printf("peak resident %.1f MB\n", static_cast<double>(peakResident()) / 1e6);
  return 0;
}
