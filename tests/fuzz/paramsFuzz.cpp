// Any bytes as orva.prm, run through the dispatcher and the handlers in a
// scratch user directory: every outcome must be a result code, never a
// crash. Create's state count is capped so the run tests parsing, not the
// allocator.

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "engine/batch.h"
#include "model/session.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const bool ready = [] {
    char pattern[] = "/tmp/kav-params-fuzz-XXXXXX";
    kav::session.userDir = std::string(::mkdtemp(pattern)) + "/";
    return true;
  }();
  (void)ready;
  kav::ParamReader params{std::string(reinterpret_cast<const char*>(data), size), 0};
  // Skip a Create that asks for more than a million states.
  {
    kav::ParamReader peek = params;
    long v[3];
    std::string name;
    long count;
    if (kav::readParamNumber(peek, v[0], LONG_MIN, LONG_MAX) && kav::readParamNumber(peek, v[1], LONG_MIN, LONG_MAX) &&
        kav::readParamNumber(peek, v[2], LONG_MIN, LONG_MAX) && v[2] == kav::PROC_CREATE &&
        kav::readParamName(peek, name) && kav::readParamNumber(peek, count, 0, LONG_MAX) && count > 1'000'000)
      return 0;
  }
  kav::BatchOutcome outcome = kav::runParameters(params);
  if (outcome.code < 0) __builtin_trap();
  kav::session.debugMode = false;
  return 0;
}
