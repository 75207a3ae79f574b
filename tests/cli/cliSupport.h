#pragma once

// Running `kav COMMAND` as a process with its standard output and error
// kept apart, and reading back the JSON it prints.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace kav::test {

struct CliRun {
  int status = -1;
  std::string out; // standard output
  std::string err; // standard error
};

// Runs `binary args...` in cwd; with addressLimit > 0 under that RLIMIT_AS.
CliRun runKav(const std::string& binary, const std::vector<std::string>& args, const std::string& cwd,
              unsigned long long addressLimit = 0);
// Splits "a b c" at blanks.
std::vector<std::string> words(const std::string& text);

// A parsed JSON value. Numbers are kept as exact integers when they have
// no fraction, as the command line writes them, and as written in `text`
// (for integers beyond 64 bits).
struct Json {
  enum Kind { NONE, BOOL, NUMBER, STRING, ARRAY, OBJECT } kind = NONE;
  bool flag = false;
  std::int64_t integer = 0;
  double real = 0;
  std::string text;
  std::vector<Json> items;
  std::map<std::string, Json> members;
  const Json& operator[](const std::string& key) const;
};

// The value of `text`, which must be one JSON value followed by at most a
// newline; kind NONE when it is not.
Json parseJson(const std::string& text);

} // namespace kav::test
