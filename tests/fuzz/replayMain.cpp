// The entry of a fuzz target built without libFuzzer: each file named on
// the command line goes through LLVMFuzzerTestOneInput once.

#include <cstdint>
#include <cstdio>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

int main(int argc, char** argv) {
  for (int k = 1; k < argc; ++k) {
    std::FILE* in = std::fopen(argv[k], "rb");
    if (!in) {
      std::fprintf(stderr, "%s: cannot be opened\n", argv[k]);
      return 1;
    }
    std::vector<std::uint8_t> bytes;
    for (int c; (c = std::fgetc(in)) != EOF;) bytes.push_back(static_cast<std::uint8_t>(c));
    std::fclose(in);
    LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
  }
  return 0;
}
