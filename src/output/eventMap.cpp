#include "output/eventMap.h"

#include <cassert>

#include "model/safefile.h"

namespace kav {

namespace {

// "NUMBER NAME": digits, one blank or tab, and a name of at least one
// character. False for any other line.
bool splitMapLine(std::string_view line, std::int64_t& number, std::string_view& name) {
  std::size_t digits = 0;
  while (digits < line.size() && line[digits] >= '0' && line[digits] <= '9') ++digits;
  // 18 digits stay below 2^63.
  if (digits == 0 || digits > 18 || digits + 1 >= line.size()) return false;
  if (line[digits] != ' ' && line[digits] != '\t') return false;
  number = 0;
  for (std::size_t k = 0; k < digits; ++k) number = number * 10 + (line[k] - '0');
  name = line.substr(digits + 1);
  return true;
}

std::string givenTwice(std::string_view what, std::uint32_t earlier) {
  std::string text(what);
  text += " is given on line " + std::to_string(earlier) + " already";
  return text;
}

// The smallest label of the parity of `next` (odd or even) from `next` on
// that is not taken, or NAMED_LABELS when none is left.
int nextFreeLabel(const std::vector<bool>& taken, int& next) {
  while (next < NAMED_LABELS && taken[static_cast<std::size_t>(next)]) next += 2;
  return next < NAMED_LABELS ? next : NAMED_LABELS;
}

void nameLabel(EventMap& map, std::uint16_t label, std::string_view name) {
  map.names[label] = std::string(name);
  map.labels.emplace(std::string(name), label);
  map.changed = true;
}

} // namespace

namespace {

// Reads "NUMBER NAME" lines (the number called `noun`, below `bound`, each
// number and each name at most once) into names, indexed by number.
MapStatus readNameMap(const std::string& path, std::string_view noun, std::int64_t bound,
                      std::vector<std::string>& names, std::string& message) {
  std::string text;
  const OpenStatus status = readWholeFile(path, text);
  if (status == OPEN_MISSING) return MAP_MISSING;
  if (status != OPEN_OK) {
    message = path + ": cannot be read";
    return MAP_REFUSED;
  }
  names.assign(static_cast<std::size_t>(bound), std::string());
  std::vector<std::uint32_t> lineOf(static_cast<std::size_t>(bound), 0);
  NameTable numberOf; // items are numbers
  const auto nameOf = [&names](std::int64_t k) { return std::string_view(names[static_cast<std::size_t>(k)]); };
  std::size_t pos = 0;
  std::string_view line;
  for (std::uint32_t number = 1; nextLine(text, pos, line); ++number) {
    if (line.empty()) continue;
    std::int64_t k = 0;
    std::string_view name;
    std::string problem;
    if (!splitMapLine(line, k, name)) {
      problem = "expected \"" + std::string(noun == "label" ? "LABEL" : "NUMBER") + " NAME\"";
    } else if (k >= bound) {
      problem = std::string(noun) + " " + std::to_string(k) + " is not below " + std::to_string(bound);
    } else if (lineOf[static_cast<std::size_t>(k)] != 0) {
      problem = givenTwice(std::string(noun) + " " + std::to_string(k), lineOf[static_cast<std::size_t>(k)]);
    } else if (const std::int64_t earlier = findName(numberOf, name, nameOf); earlier >= 0) {
      std::string what = "name ";
      appendQuoted(what, name);
      problem = givenTwice(what, lineOf[static_cast<std::size_t>(earlier)]);
    }
    if (!problem.empty()) {
      message = lineMessage(path, number, problem);
      names.clear();
      return MAP_REFUSED;
    }
    lineOf[static_cast<std::size_t>(k)] = number;
    names[static_cast<std::size_t>(k)] = std::string(name);
    [[maybe_unused]] const std::int64_t taken = addName(numberOf, name, k, nameOf);
    assert(taken < 0); // findName above found the name free
  }
  return MAP_READ;
}

} // namespace

MapStatus readEventMap(const std::string& path, EventMap& out, std::string& message) {
  out = EventMap{};
  const MapStatus status = readNameMap(path, "label", NAMED_LABELS, out.names, message);
  if (status != MAP_READ) {
    out = EventMap{};
    return status;
  }
  for (int label = 0; label < NAMED_LABELS; ++label) {
    const std::string& name = out.names[static_cast<std::size_t>(label)];
    if (!name.empty()) out.labels.emplace(name, static_cast<std::uint16_t>(label));
  }
  return MAP_READ;
}

MapStatus readStateMap(const std::string& path, std::int64_t stateCount, StateMap& out, std::string& message) {
  out = StateMap{};
  return readNameMap(path, "state", stateCount, out.names, message);
}

void writeEventMap(std::FILE* out, const EventMap& map) {
  for (int label = 0; label < NAMED_LABELS; ++label) {
    const std::string& name = map.names[static_cast<std::size_t>(label)];
    if (name.empty()) continue;
    std::fprintf(out, "%d ", label);
    std::fwrite(name.data(), 1, name.size(), out);
    std::fputc('\n', out);
  }
}

void writeStateMap(std::FILE* out, std::span<const std::string> names) {
  for (std::size_t s = 0; s < names.size(); ++s) {
    if (names[s].empty()) continue;
    std::fprintf(out, "%zu ", s);
    std::fwrite(names[s].data(), 1, names[s].size(), out);
    std::fputc('\n', out);
  }
}

bool assignLabels(const NamedModel& model, std::string_view silentName, std::string_view file, std::string_view mapFile,
                  EventMap& map, std::vector<std::uint16_t>& labels, std::string& message) {
  const std::size_t count = model.events.size();
  labels.assign(count, 0);
  std::vector<bool> done(count, false);
  std::size_t ordinary = 0;
  for (std::size_t k = 0; k < count; ++k) {
    const NamedEvent& e = model.events[k];
    if (!silentName.empty() && e.name == silentName) {
      labels[k] = EPSILON_LABEL;
      done[k] = true;
      continue;
    }
    if (++ordinary > static_cast<std::size_t>(NAMED_LABELS)) {
      message = lineMessage(file, e.line, "more than " + std::to_string(NAMED_LABELS) + " events");
      return false;
    }
    const auto found = map.labels.find(e.name);
    if (found == map.labels.end()) continue;
    const bool odd = found->second % 2 == 1;
    if (odd != e.controllable) {
      std::string text = "event ";
      appendQuoted(text, e.name);
      text += e.controllable ? " is controllable here but has the uncontrollable label "
                             : " is uncontrollable here but has the controllable label ";
      text += std::to_string(found->second) + " in ";
      text += mapFile;
      message = lineMessage(file, e.line, text);
      return false;
    }
    labels[k] = found->second;
    done[k] = true;
  }

  std::vector<bool> taken(NAMED_LABELS, false);
  for (int label = 0; label < NAMED_LABELS; ++label) taken[static_cast<std::size_t>(label)] = !map.names[label].empty();
  // Integer names first, so a later one is not robbed of its number by an
  // earlier event that merely needs a free label.
  for (std::size_t k = 0; k < count; ++k) {
    const NamedEvent& e = model.events[k];
    std::int64_t value = 0;
    if (done[k] || !isCanonicalInteger(e.name, value) || value > MAX_ORDINARY_LABEL) continue;
    if ((value % 2 == 1) != e.controllable || taken[static_cast<std::size_t>(value)]) continue;
    labels[k] = static_cast<std::uint16_t>(value);
    taken[static_cast<std::size_t>(value)] = true;
    done[k] = true;
    nameLabel(map, labels[k], e.name);
  }
  int nextOdd = 1;
  int nextEven = 0;
  for (std::size_t k = 0; k < count; ++k) {
    if (done[k]) continue;
    const NamedEvent& e = model.events[k];
    const int label = nextFreeLabel(taken, e.controllable ? nextOdd : nextEven);
    if (label == NAMED_LABELS) {
      std::string text = "event ";
      appendQuoted(text, e.name);
      text += e.controllable ? " finds no free controllable label (all 500 odd labels are taken)"
                             : " finds no free uncontrollable label (all 500 even labels are taken)";
      message = lineMessage(file, e.line, text);
      return false;
    }
    labels[k] = static_cast<std::uint16_t>(label);
    taken[static_cast<std::size_t>(label)] = true;
    nameLabel(map, labels[k], e.name);
  }
  return true;
}

} // namespace kav
