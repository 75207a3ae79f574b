#include "cli/arguments.h"

#include <charconv>

namespace kav {

bool hasOption(const Arguments& args, std::string_view name) {
  for (const auto& [n, v] : args.options)
    if (n == name) return true;
  return false;
}

std::string optionValue(const Arguments& args, std::string_view name) {
  std::string found;
  for (const auto& [n, v] : args.options)
    if (n == name) found = v;
  return found;
}

std::vector<std::string> optionValues(const Arguments& args, std::string_view name) {
  std::vector<std::string> found;
  for (const auto& [n, v] : args.options)
    if (n == name) found.push_back(v);
  return found;
}

std::string parseArguments(const std::vector<std::string>& args, const std::vector<OptionRule>& known, Arguments& out) {
  bool optionsEnded = false;
  const char* fileList = nullptr; // the file-list option the operands go to
  for (std::size_t k = 0; k < args.size(); ++k) {
    const std::string& a = args[k];
    if (optionsEnded || a.size() < 2 || a[0] != '-') {
      if (fileList) out.options.emplace_back(fileList, a);
      else out.files.push_back(a);
      continue;
    }
    if (a == "--") {
      optionsEnded = true;
      continue;
    }
    const OptionRule* rule = nullptr;
    std::string value;
    bool inlineValue = false;
    if (a[1] == '-') {
      const std::size_t equals = a.find('=');
      const std::string name = a.substr(2, equals == std::string::npos ? std::string::npos : equals - 2);
      for (const OptionRule& o : known)
        if (name == o.name) rule = &o;
      if (!rule) return "unknown option --" + name;
      if (equals != std::string::npos) {
        if (!rule->takesValue && !rule->takesFiles) return "option --" + name + " takes no value";
        value = a.substr(equals + 1);
        inlineValue = true;
      }
    } else {
      for (const OptionRule& o : known)
        if (o.shortName != 0 && a[1] == o.shortName) rule = &o;
      if (!rule || (a.size() > 2 && !rule->takesValue)) return "unknown option " + a;
      if (a.size() > 2) {
        value = a.substr(2);
        inlineValue = true;
      }
    }
    if (rule->takesValue && !inlineValue) {
      if (k + 1 >= args.size()) return std::string("option --") + rule->name + " needs a value";
      value = args[++k];
    }
    fileList = rule->takesFiles ? rule->name : nullptr;
    if (!rule->takesFiles || inlineValue) out.options.emplace_back(rule->name, value);
  }
  return {};
}

bool parseNumber(std::string_view text, long lo, long hi, long& value) {
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  if (text.empty()) return false;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size() && value >= lo && value <= hi;
}

bool parseLabel(std::string_view text, long& label) {
  if (text == "e" || text == "E") {
    label = 1000;
    return true;
  }
  return parseNumber(text, 0, 999, label);
}

std::vector<std::string_view> splitList(std::string_view text, char separator) {
  std::vector<std::string_view> pieces;
  if (text.empty()) return pieces;
  for (;;) {
    const std::size_t at = text.find(separator);
    pieces.push_back(text.substr(0, at));
    if (at == std::string_view::npos) return pieces;
    text.remove_prefix(at + 1);
  }
}

bool parseLabelList(std::string_view text, EventList& out) {
  for (std::string_view piece : splitList(text)) {
    long label;
    if (!parseLabel(piece, label)) return false;
    insertEvent(out, static_cast<std::uint16_t>(label));
  }
  return true;
}

bool parsePairList(std::string_view text, bool labels, StatePairList& out) {
  for (std::string_view piece : splitList(text)) {
    const std::vector<std::string_view> halves = splitList(piece, ':');
    long v[2];
    if (halves.size() != 2) return false;
    for (int k = 0; k < 2; ++k)
      if (labels ? !parseLabel(halves[k], v[k]) : !parseNumber(halves[k], 0, MAX_STATES, v[k])) return false;
    insertStatePair(out, v[0], v[1]);
  }
  return true;
}

bool splitTriple(std::string_view text, std::array<std::string_view, 3>& fields) {
  const std::vector<std::string_view> pieces = splitList(text, ':');
  if (pieces.size() != 3) return false;
  for (int k = 0; k < 3; ++k) fields[k] = pieces[k];
  return true;
}

} // namespace kav
