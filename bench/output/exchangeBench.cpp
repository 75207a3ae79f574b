// Export to FSM text and .gen and import back, with the event and state
// maps that keep the names, of a DES of n states and 3n transitions
// (n = 10^6 by default, or the first argument). The DES must come back
// byte for byte.

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

#include "benchSupport.h"
#include "model/desfile.h"
#include "model/safefile.h"
#include "output/exchange.h"
#include "output/namedModel.h"

using namespace kav;
using namespace kav::bench;

int main(int argc, char** argv) {
  const std::int64_t n = argc > 1 ? std::atoll(argv[1]) : 1'000'000;
  const std::string prefix = "/tmp/kav-exchange-bench-" + std::to_string(::getpid()) + "-";
  // Three transitions per state on random labels to random targets; one
  // state in five marked.
  std::mt19937_64 rng(42);
  DES des = allocStates(n);
  std::vector<Transition> list;
  for (std::int64_t s = 0; s < n; ++s) {
    list.clear();
    for (int k = 0; k < 3; ++k)
      list.push_back(makeTransition(static_cast<std::uint16_t>(rng() % 1000),
                                    static_cast<std::int64_t>(rng() % static_cast<std::uint64_t>(n))));
    (void)assignTransitions(des[s], list);
    des[s].marked = rng() % 5 == 0;
  }
  const std::int64_t transitions = countTransitions(des);
  const std::string in = prefix + "IN.DES";
  const std::string out = prefix + "OUT.DES";
  if (saveDESFile(in, des, 0, 2) != SAVE_OK) return 1;
  freeDES(des);

  std::printf("%-28s %12s %12s %11s\n", "operation", "states", "transitions", "time");
  ConvertOptions maps;
  maps.eventMap = prefix + "EVENTS.MAP";
  maps.stateMap = prefix + "STATES.MAP";
  int status = 0;
  for (const char* format : {"fsm", "gen"}) {
    const std::string middle = prefix + "M." + format;
    std::remove(maps.eventMap.c_str());
    Stopwatch write;
    const ConvertResult exported = convertModel(in, middle, {});
    report(std::string("export to .") + format, n, transitions, write.seconds());
    Stopwatch read;
    const ConvertResult imported = convertModel(middle, out, maps);
    report(std::string("import from .") + format, n, transitions, read.seconds(), "writing both maps");
    std::string before, after;
    const bool same = exported.status == CONVERT_OK && imported.status == CONVERT_OK &&
                      readWholeFile(in, before) == OPEN_OK && readWholeFile(out, after) == OPEN_OK && before == after;
    if (!same) std::printf("round trip failed: %s %s\n", exported.message.c_str(), imported.message.c_str());
    status |= same ? 0 : 1;
    std::remove(middle.c_str());
  }
  for (const std::string& file : {in, out, maps.eventMap, maps.stateMap}) std::remove(file.c_str());
  std::printf("peak resident %.1f MB\n", static_cast<double>(peakResident()) / 1e6);
  return status;
}
