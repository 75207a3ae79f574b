// Feeds arbitrary bytes to both ADS parsers. Besides surviving any input,
// the parsers must agree: the first-error parser returns the first record
// of the full listing, and a DES either parser accepts is valid,
// deterministic, and comes back unchanged from its own listing.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "output/ads.h"

namespace {

std::FILE* openBytes(std::vector<char>& bytes) {
  // fmemopen refuses a zero-length buffer on some C libraries; an empty
  // input is then read through a one-byte buffer limited to nothing.
  if (bytes.empty()) {
    static char nothing[1];
    std::FILE* stream = fmemopen(nothing, 1, "r");
    if (stream) std::fseek(stream, 1, SEEK_SET);
    return stream;
  }
  return fmemopen(bytes.data(), bytes.size(), "r");
}

bool sameDES(const kav::DES& a, const kav::DES& b) {
  if (a.size() != b.size()) return false;
  for (std::int64_t s = 0; s < a.size(); ++s) {
    const kav::StateRecord& x = a[s];
    const kav::StateRecord& y = b[s];
    if (x.marked != y.marked || x.vocal != y.vocal || x.transitionCount != y.transitionCount) return false;
    for (std::uint32_t k = 0; k < x.transitionCount; ++k)
      if (!(x.transitions[k] == y.transitions[k])) return false;
  }
  return true;
}

void check(bool condition) {
  if (!condition) std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<char> bytes(data, data + size);

  kav::DES first;
  std::FILE* stream = openBytes(bytes);
  if (!stream) return 0;
  const kav::AdsError firstError = kav::parseAdsStream(stream, first);

  kav::DES full;
  stream = openBytes(bytes);
  if (!stream) return 0;
  const std::vector<kav::AdsError> errors = kav::parseAdsFileStream(stream, full);

  check((firstError.code == kav::ADS_OK) == errors.empty());
  if (!errors.empty()) {
    check(firstError.code == errors.front().code && firstError.line == errors.front().line &&
          firstError.secondLine == errors.front().secondLine);
    for (const kav::AdsError& e : errors) {
      check(e.code > kav::ADS_OK && e.code <= kav::ADS_LAST_ERROR_CODE);
      check(e.line != kav::ADS_NO_LINE || e.code == kav::ADS_NO_FILE_NAME);
      check((e.secondLine != kav::ADS_NO_LINE) == (e.code == kav::ADS_NONDETERMINISTIC));
    }
    return 0;
  }

  check(sameDES(first, full));
  check(kav::isValidDES(full) && kav::checkDeterministic(full));

  char* listing = nullptr;
  std::size_t listingSize = 0;
  std::FILE* out = open_memstream(&listing, &listingSize);
  if (!out) return 0;
  kav::writeAdsListing(out, "FUZZ", full);
  std::fclose(out);
  std::vector<char> written(listing, listing + listingSize);
  std::free(listing);
  kav::DES back;
  stream = openBytes(written);
  if (!stream) return 0;
  check(kav::parseAdsStream(stream, back).code == kav::ADS_OK);
  check(sameDES(back, full));
  return 0;
}
