#include "output/namedModel.h"

#include <algorithm>
#include <cassert>
#include <cstdio>
#include <functional>

namespace kav {

bool nextLine(std::string_view text, std::size_t& pos, std::string_view& line) {
  if (pos >= text.size()) return false;
  std::size_t end = text.find('\n', pos);
  if (end == std::string_view::npos) end = text.size();
  line = text.substr(pos, end - pos);
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  pos = end + 1;
  return true;
}

std::uint64_t nameHash(std::string_view name) {
  const std::uint64_t hash = std::hash<std::string_view>{}(name);
  return hash == 0 ? 1 : hash;
}

void growNameTable(NameTable& table) {
  const std::size_t size = table.hashes.empty() ? 16 : 2 * table.hashes.size();
  std::vector<std::uint64_t> hashes(size, 0);
  std::vector<std::int64_t> items(size);
  const std::size_t mask = size - 1;
  for (std::size_t k = 0; k < table.hashes.size(); ++k) {
    if (table.hashes[k] == 0) continue;
    std::size_t slot = table.hashes[k] & mask;
    while (hashes[slot] != 0) slot = (slot + 1) & mask;
    hashes[slot] = table.hashes[k];
    items[slot] = table.items[k];
  }
  table.hashes = std::move(hashes);
  table.items = std::move(items);
}

std::string lineMessage(std::string_view file, std::uint32_t line, std::string_view text) {
  std::string out(file);
  out += ": line ";
  out += std::to_string(line);
  out += ": ";
  out += text;
  return out;
}

void appendQuoted(std::string& out, std::string_view text) {
  out += '"';
  out += text;
  out += '"';
}

bool isCanonicalInteger(std::string_view text, std::int64_t& value) {
  // 18 digits stay below 2^63, so the value cannot overflow.
  if (text.empty() || text.size() > 18 || (text.size() > 1 && text[0] == '0')) return false;
  std::int64_t v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
  }
  value = v;
  return true;
}

std::string stateNameAt(const NamedModel& model, std::int64_t position) {
  const auto next = std::upper_bound(model.declarationStart.begin(), model.declarationStart.end(), position);
  const auto index = static_cast<std::size_t>(next - model.declarationStart.begin() - 1);
  const StateDeclaration& d = model.declarations[index];
  if (!d.name.empty()) return std::string(d.name);
  return std::to_string(d.first + (position - model.declarationStart[index]));
}

bool declareStates(NamedModel& model, const StateDeclaration& declaration) {
  const std::int64_t count = declaration.last - declaration.first + 1;
  if (count > MAX_STATES - model.stateCount) return false;
  model.declarations.push_back(declaration);
  model.declarationStart.push_back(model.stateCount);
  model.stateCount += count;
  return true;
}

void overrideControllability(NamedModel& model, const std::vector<std::string>& controllable,
                             const std::vector<std::string>& uncontrollable) {
  if (controllable.empty() && uncontrollable.empty()) return;
  for (NamedEvent& e : model.events) {
    const auto named = [&e](const std::vector<std::string>& list) {
      return std::find(list.begin(), list.end(), e.name) != list.end();
    };
    const bool c = named(controllable);
    if (!c && !named(uncontrollable)) continue;
    e.controllable = c;
    e.controlConflict = 0;
  }
}

bool checkEventAttributes(const NamedModel& model, std::string_view file, std::string& message) {
  const NamedEvent* first = nullptr;
  std::uint32_t firstLine = 0;
  bool control = false;
  for (const NamedEvent& e : model.events) {
    for (const std::uint32_t line : {e.controlConflict, e.observeConflict}) {
      if (line == 0 || (first && line >= firstLine)) continue;
      first = &e;
      firstLine = line;
      control = line == e.controlConflict;
    }
  }
  if (!first) return true;
  std::string text = "event ";
  appendQuoted(text, first->name);
  if (control) {
    text +=
        first->controllable ? " is uncontrollable here but controllable" : " is controllable here but uncontrollable";
  } else {
    text += first->observable ? " is unobservable here but observable" : " is observable here but unobservable";
  }
  text += " on line " + std::to_string(first->line);
  message = lineMessage(file, firstLine, text);
  return false;
}

namespace {

// The declaration holding `position` (binary search).
const StateDeclaration& declarationAt(const NamedModel& model, std::int64_t position) {
  const auto next = std::upper_bound(model.declarationStart.begin(), model.declarationStart.end(), position);
  assert(next != model.declarationStart.begin());
  return model.declarations[static_cast<std::size_t>(next - model.declarationStart.begin() - 1)];
}

} // namespace

bool buildNamedDES(const NamedModel& model, const std::vector<std::uint16_t>& labels, std::string_view file, DES& out,
                   std::string& message) {
  if (model.initial < 0) {
    out = DES{};
    return true;
  }
  DES des = allocStates(model.stateCount);
  for (std::int64_t p = 0; p < model.stateCount; ++p)
    if (model.marked[static_cast<std::size_t>(p)]) des[stateNumberOf(model, p)].marked = 1;

  // Group by source state, then give each state its list in one step.
  std::vector<std::pair<std::int64_t, Transition>> edges;
  edges.reserve(model.transitions.size());
  for (const NamedTransition& t : model.transitions)
    edges.emplace_back(stateNumberOf(model, t.from), makeTransition(labels[t.event], stateNumberOf(model, t.to)));
  std::sort(edges.begin(), edges.end(),
            [](const auto& a, const auto& b) { return a.first != b.first ? a.first < b.first : a.second < b.second; });
  std::vector<Transition> list;
  for (std::size_t k = 0; k < edges.size();) {
    const std::int64_t from = edges[k].first;
    list.clear();
    for (; k < edges.size() && edges[k].first == from; ++k)
      if (list.empty() || !(list.back() == edges[k].second)) list.push_back(edges[k].second);
    if (list.size() > MAX_TRANSITIONS_PER_STATE) {
      const std::int64_t position = from == 0 ? model.initial : (from <= model.initial ? from - 1 : from);
      std::string text = "state ";
      appendQuoted(text, stateNameAt(model, position));
      text += " has more than " + std::to_string(MAX_TRANSITIONS_PER_STATE) + " transitions";
      message = lineMessage(file, declarationAt(model, position).line, text);
      return false;
    }
    [[maybe_unused]] const bool assigned = assignTransitions(des[from], list);
    assert(assigned);
  }
  out = std::move(des);
  return true;
}

std::vector<std::string> namesByNumber(const NamedModel& model) {
  std::vector<std::string> names;
  if (model.initial < 0) return names;
  names.resize(static_cast<std::size_t>(model.stateCount));
  for (std::int64_t p = 0; p < model.stateCount; ++p)
    names[static_cast<std::size_t>(stateNumberOf(model, p))] = stateNameAt(model, p);
  return names;
}

} // namespace kav
