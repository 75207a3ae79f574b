#include "output/fsmFormat.h"

#include <array>
#include <cassert>
#include <unordered_map>

namespace kav {

namespace {

bool isFieldSpace(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

// Splits a line at blanks and tabs; a count of 5 means "more than 4".
std::size_t splitFields(std::string_view line, std::array<std::string_view, 5>& fields) {
  std::size_t count = 0;
  std::size_t pos = 0;
  while (count < fields.size()) {
    while (pos < line.size() && isFieldSpace(line[pos])) ++pos;
    if (pos == line.size()) break;
    const std::size_t start = pos;
    while (pos < line.size() && !isFieldSpace(line[pos])) ++pos;
    fields[count++] = line.substr(start, pos - start);
  }
  return count;
}

bool readCount(std::string_view text, std::int64_t& value) {
  // Leading zeros are harmless in a count.
  while (text.size() > 1 && text[0] == '0') text.remove_prefix(1);
  return isCanonicalInteger(text, value);
}

void putName(std::FILE* out, const std::string& name) {
  std::fwrite(name.data(), 1, name.size(), out);
}

void putStateName(std::FILE* out, const ExportNames& names, std::int64_t state) {
  if (names.states.empty()) {
    std::fprintf(out, "%lld", static_cast<long long>(state));
  } else {
    putName(out, names.states[static_cast<std::size_t>(state)]);
  }
}

} // namespace

bool isFsmName(std::string_view name) {
  return !name.empty() && name.find_first_of(" \t\r\n\v\f") == std::string_view::npos;
}

bool parseFsm(std::string_view text, std::string_view file, NamedModel& out, std::string& message) {
  NamedModel model;
  NameTable states; // items are positions: one state per block
  const auto stateName = [&model](std::int64_t position) {
    return model.declarations[static_cast<std::size_t>(position)].name;
  };
  std::unordered_map<std::string_view, std::uint32_t> eventOf;
  struct PendingTransition {
    std::int64_t from;
    std::uint32_t event;
    std::string_view target;
    std::uint32_t line;
  };
  std::vector<PendingTransition> pending;
  enum class Expect { COUNT, STATE, TRANSITION } expect = Expect::COUNT;
  std::int64_t announced = 0;
  std::int64_t remaining = 0; // transitions still due in the current block
  std::uint32_t number = 0;
  const auto refuse = [&](std::uint32_t line, const std::string& problem) {
    message = lineMessage(file, line, problem);
    return false;
  };

  std::size_t pos = 0;
  std::string_view line;
  std::array<std::string_view, 5> f;
  while (nextLine(text, pos, line)) {
    ++number;
    const std::size_t n = splitFields(line, f);
    if (n == 0) continue;
    switch (expect) {
    case Expect::COUNT:
      if (n != 1 || !readCount(f[0], announced)) return refuse(number, "expected the number of states");
      expect = Expect::STATE;
      break;
    case Expect::STATE: {
      if (n != 3 || (f[1] != "0" && f[1] != "1") || !readCount(f[2], remaining))
        return refuse(number, "expected \"STATE MARKED COUNT\" with MARKED 0 or 1");
      if (model.stateCount == announced)
        return refuse(number, "more states than the " + std::to_string(announced) + " announced");
      if (const std::int64_t earlier = addName(states, f[0], model.stateCount, stateName); earlier >= 0) {
        std::string problem = "state ";
        appendQuoted(problem, f[0]);
        problem += " has a block on line " +
                   std::to_string(model.declarations[static_cast<std::size_t>(earlier)].line) + " already";
        return refuse(number, problem);
      }
      // One state per block, so the count stays far below MAX_STATES.
      [[maybe_unused]] const bool declared = declareStates(model, StateDeclaration{f[0], 0, 0, number});
      assert(declared);
      model.marked.push_back(f[1] == "1");
      expect = remaining > 0 ? Expect::TRANSITION : Expect::STATE;
      break;
    }
    case Expect::TRANSITION: {
      if (n != 4 || (f[2] != "c" && f[2] != "uc") || (f[3] != "o" && f[3] != "uo"))
        return refuse(number, "expected \"EVENT TARGET C OBS\" with C c or uc and OBS o or uo");
      const bool controllable = f[2] == "c";
      const bool observable = f[3] == "o";
      const auto [found, added] = eventOf.emplace(f[0], static_cast<std::uint32_t>(model.events.size()));
      if (added) {
        model.events.push_back(NamedEvent{f[0], number, controllable, observable});
      } else {
        NamedEvent& e = model.events[found->second];
        if (e.controllable != controllable && e.controlConflict == 0) e.controlConflict = number;
        if (e.observable != observable && e.observeConflict == 0) e.observeConflict = number;
      }
      pending.push_back(PendingTransition{model.stateCount - 1, found->second, f[1], number});
      if (--remaining == 0) expect = Expect::STATE;
      break;
    }
    }
  }
  const std::uint32_t last = number > 0 ? number : 1;
  if (expect == Expect::COUNT) return refuse(last, "unexpected end of file: expected the number of states");
  if (expect == Expect::TRANSITION) {
    std::string problem = "unexpected end of file: state ";
    appendQuoted(problem, model.declarations.back().name);
    problem += " misses " + std::to_string(remaining) + " of its transitions";
    return refuse(last, problem);
  }
  if (model.stateCount < announced) {
    return refuse(last, "unexpected end of file: " + std::to_string(announced) + " states announced, " +
                            std::to_string(model.stateCount) + " found");
  }

  model.transitions.reserve(pending.size());
  for (const PendingTransition& p : pending) {
    const std::int64_t target = findName(states, p.target, stateName);
    if (target < 0) {
      std::string problem = "transition to undeclared state ";
      appendQuoted(problem, p.target);
      return refuse(p.line, problem);
    }
    model.transitions.push_back(NamedTransition{p.from, p.event, target});
  }
  model.initial = model.stateCount > 0 ? 0 : -1;
  out = std::move(model);
  return true;
}

void writeFsm(std::FILE* out, const DES& des, const ExportNames& names) {
  std::fprintf(out, "%lld\n", static_cast<long long>(des.size()));
  for (std::int64_t s = 0; s < des.size(); ++s) {
    std::fputc('\n', out);
    putStateName(out, names, s);
    std::fprintf(out, "\t%d\t%d\n", des[s].marked ? 1 : 0, static_cast<int>(des[s].transitionCount));
    for (const Transition& t : transitionsOf(des[s])) {
      putName(out, names.events[t.event]);
      std::fputc('\t', out);
      putStateName(out, names, t.target);
      std::fputs(t.event % 2 == 1 ? "\tc" : "\tuc", out);
      std::fputs(names.unobservable[t.event] ? "\tuo\n" : "\to\n", out);
    }
  }
}

} // namespace kav
