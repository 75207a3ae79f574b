#include "cli/cliSupport.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "support/testSupport.h"

namespace kav::test {

CliRun runKav(const std::string& binary, const std::vector<std::string>& args, const std::string& cwd,
              unsigned long long addressLimit) {
  const RunResult r = runBinary(binary, args, cwd, addressLimit, true);
  return {r.status, r.output, r.error};
}

std::vector<std::string> words(const std::string& text) {
  std::istringstream in(text);
  std::vector<std::string> out;
  for (std::string w; in >> w;) out.push_back(w);
  return out;
}

const Json& Json::operator[](const std::string& key) const {
  static const Json none;
  const auto it = members.find(key);
  return it == members.end() ? none : it->second;
}

namespace {

struct Parser {
  const std::string& s;
  std::size_t at = 0;
  bool ok = true;

  void blanks() {
    while (at < s.size() && std::isspace(static_cast<unsigned char>(s[at]))) ++at;
  }
  bool take(char c) {
    blanks();
    if (at < s.size() && s[at] == c) return ++at, true;
    return false;
  }
  std::string string() {
    std::string out;
    if (!take('"')) return ok = false, out;
    for (; at < s.size() && s[at] != '"'; ++at) {
      if (s[at] != '\\') {
        out += s[at];
      } else if (s[++at] == 'u') {
        out += static_cast<char>(std::strtol(s.substr(at + 1, 4).c_str(), nullptr, 16));
        at += 4;
      } else {
        out += s[at];
      }
    }
    ok = ok && at < s.size();
    ++at;
    return out;
  }
  Json value() {
    Json v;
    blanks();
    if (at >= s.size()) return ok = false, v;
    const char c = s[at];
    if (c == '{') {
      v.kind = Json::OBJECT;
      ++at;
      if (take('}')) return v;
      do {
        const std::string key = string();
        if (!take(':')) return ok = false, v;
        v.members[key] = value();
      } while (ok && take(','));
      ok = ok && take('}');
    } else if (c == '[') {
      v.kind = Json::ARRAY;
      ++at;
      if (take(']')) return v;
      do v.items.push_back(value());
      while (ok && take(','));
      ok = ok && take(']');
    } else if (c == '"') {
      v.kind = Json::STRING;
      v.text = string();
    } else if (s.compare(at, 4, "true") == 0 || s.compare(at, 5, "false") == 0) {
      v.kind = Json::BOOL;
      v.flag = s[at] == 't';
      at += v.flag ? 4 : 5;
    } else {
      v.kind = Json::NUMBER;
      const std::size_t start = at;
      while (at < s.size() && std::strchr("+-0123456789.eE", s[at])) ++at;
      const std::string number = s.substr(start, at - start);
      ok = ok && !number.empty();
      v.text = number;
      v.integer = std::strtoll(number.c_str(), nullptr, 10);
      v.real = std::strtod(number.c_str(), nullptr);
    }
    return v;
  }
};

} // namespace

Json parseJson(const std::string& text) {
  Parser p{text};
  Json v = p.value();
  if (!p.ok || p.at + (text.ends_with("\n") ? 1 : 0) != text.size()) return Json{};
  return v;
}

} // namespace kav::test
