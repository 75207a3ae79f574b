#include "output/genFormat.h"

#include <algorithm>
#include <iterator>
#include <unordered_map>

namespace kav {

namespace {

// --- Tokens ------------------------------------------------------------------

enum class Kind {
  END,    // end of the text
  OPEN,   // <Name ...>; text = Name
  CLOSE,  // </Name>; text = Name
  EMPTY,  // <Name ... />; text = Name
  STRING, // "..."; text = the inside
  WORD,   // a bare word or integer
  FLAGS,  // +...+; text = the inside
};

struct Token {
  Kind kind = Kind::END;
  std::string_view text;  // a view into the file's text
  std::uint32_t line = 0; // where the token starts, from 1
};

bool isSpace(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

bool isWordChar(char c) {
  return !isSpace(c) && c != '<' && c != '>' && c != '"' && c != '%' && c != '+';
}

std::string describe(const Token& t) {
  std::string out;
  switch (t.kind) {
  case Kind::END:
    return "the end of the file";
  case Kind::OPEN:
    out = "<";
    break;
  case Kind::CLOSE:
    out = "</";
    break;
  case Kind::EMPTY:
    out = "<";
    break;
  case Kind::STRING:
    appendQuoted(out, t.text);
    return out;
  case Kind::WORD:
    return std::string(t.text);
  case Kind::FLAGS:
    return "+" + std::string(t.text) + "+";
  }
  out += t.text;
  out += t.kind == Kind::EMPTY ? "/>" : ">";
  return out;
}

// The lexer and the refusal it may end in.
struct GenParser {
  std::string_view text;  // the whole file
  std::string_view file;  // its name, for messages
  std::size_t pos = 0;    // next unread byte
  std::uint32_t line = 1; // line of pos
  std::string message;    // set on refusal

  bool refuse(std::uint32_t at, const std::string& problem) {
    message = lineMessage(file, at, problem);
    return false;
  }

  // The token up to the next `what` (a quote, a '+') on the same line; a
  // '\r' ends the line too, so no name can end in one.
  bool closeOnLine(char what, Kind kind, Token& t) {
    const std::size_t end = text.find(what, pos + 1);
    const std::size_t newline = text.find_first_of("\r\n", pos + 1);
    if (end == std::string_view::npos || end > newline)
      return refuse(line, what == '"' ? "unterminated string" : "unterminated attribute (no closing '+')");
    t = Token{kind, text.substr(pos + 1, end - pos - 1), line};
    pos = end + 1;
    return true;
  }

  bool next(Token& t) {
    for (;;) {
      while (pos < text.size() && isSpace(text[pos])) line += text[pos++] == '\n';
      if (pos < text.size() && text[pos] == '%') {
        while (pos < text.size() && text[pos] != '\n') ++pos;
        continue;
      }
      break;
    }
    if (pos == text.size()) {
      t = Token{Kind::END, {}, line};
      return true;
    }
    const char c = text[pos];
    if (c == '"') return closeOnLine('"', Kind::STRING, t);
    if (c == '+') return closeOnLine('+', Kind::FLAGS, t);
    if (c == '>') return refuse(line, "unexpected '>'");
    if (c != '<') {
      const std::size_t start = pos;
      while (pos < text.size() && isWordChar(text[pos])) ++pos;
      t = Token{Kind::WORD, text.substr(start, pos - start), line};
      return true;
    }
    // A tag, perhaps with attributes whose quoted values may hold '>'.
    const std::uint32_t first = line;
    std::size_t end = pos + 1;
    bool quoted = false;
    for (; end < text.size() && (quoted || text[end] != '>'); ++end) {
      if (text[end] == '"') quoted = !quoted;
      line += text[end] == '\n';
    }
    if (end == text.size()) return refuse(first, "unterminated tag");
    std::string_view inside = text.substr(pos + 1, end - pos - 1);
    pos = end + 1;
    Kind kind = Kind::OPEN;
    if (!inside.empty() && inside.front() == '/') {
      kind = Kind::CLOSE;
      inside.remove_prefix(1);
    } else {
      while (!inside.empty() && isSpace(inside.back())) inside.remove_suffix(1);
      if (!inside.empty() && inside.back() == '/') kind = Kind::EMPTY;
    }
    std::size_t nameEnd = 0;
    while (nameEnd < inside.size() && !isSpace(inside[nameEnd]) && inside[nameEnd] != '/') ++nameEnd;
    if (nameEnd == 0) return refuse(first, "malformed tag");
    t = Token{kind, inside.substr(0, nameEnd), first};
    return true;
  }

  // Skips an element whose opening tag has been read, nested ones included.
  bool skipElement(const Token& open) {
    Token t;
    for (int depth = 1; depth > 0;) {
      if (!next(t)) return false;
      if (t.kind == Kind::END) return refuse(t.line, "unexpected end of file inside <" + std::string(open.text) + ">");
      if (t.kind == Kind::OPEN) ++depth;
      if (t.kind == Kind::CLOSE) --depth;
    }
    return true;
  }

  bool unexpected(const Token& t, std::string_view section) {
    return refuse(t.line, "expected </" + std::string(section) + ">, found " + describe(t));
  }
};

// --- State references and declarations ------------------------------------------

// A state as a section names it: a name, or the integers first..last.
struct StateRef {
  std::string_view name; // empty for integers
  std::int64_t first = 0;
  std::int64_t last = 0;
  std::uint32_t line = 0;
};

StateRef refOf(std::string_view text, std::uint32_t line) {
  std::int64_t value = 0;
  if (isCanonicalInteger(text, value)) return StateRef{{}, value, value, line};
  return StateRef{text, 0, 0, line};
}

bool isNameToken(const Token& t) {
  return t.kind == Kind::STRING || t.kind == Kind::WORD;
}

bool readBound(const Token& t, std::int64_t& value) {
  std::string_view digits = t.text;
  while (digits.size() > 1 && digits[0] == '0') digits.remove_prefix(1);
  return t.kind == Kind::WORD && isCanonicalInteger(digits, value);
}

// "<Consecutive> A B </Consecutive>" after its opening tag.
bool readConsecutive(GenParser& p, const Token& open, StateRef& out) {
  Token a, b, close;
  if (!p.next(a) || !p.next(b) || !p.next(close)) return false;
  if (!readBound(a, out.first) || !readBound(b, out.last) || close.kind != Kind::CLOSE || close.text != "Consecutive")
    return p.refuse(open.line, "expected \"<Consecutive> FIRST LAST </Consecutive>\"");
  if (out.first > out.last)
    return p.refuse(open.line, "a consecutive range runs from its first state to a smaller one");
  out.line = open.line;
  return true;
}

// What the sections say, kept until every state is declared: the
// sections may come in any order.
struct GenFile {
  NamedModel model;                                            // events and declared states so far
  std::unordered_map<std::string_view, std::uint32_t> eventOf; // name -> index into model.events
  std::vector<StateRef> initial;                               // <InitStates>
  std::vector<StateRef> marked;                                // <MarkedStates>
  // Kept small: a file may hold millions.
  struct PendingTransition {
    std::string_view from, event, to;
    std::uint32_t line; // of its first token
  };
  std::vector<PendingTransition> transitions; // <TransRel>, in file order
};

bool readName(GenParser& p, const Token& t) {
  if (t.kind == Kind::STRING && t.text.empty()) return p.refuse(t.line, "empty name");
  return true;
}

// --- Sections ----------------------------------------------------------------------

void addEvent(GenFile& g, const NamedEvent& e) {
  const auto [found, added] = g.eventOf.emplace(e.name, static_cast<std::uint32_t>(g.model.events.size()));
  if (added) {
    g.model.events.push_back(e);
    return;
  }
  NamedEvent& known = g.model.events[found->second];
  if (known.controllable != e.controllable && known.controlConflict == 0) known.controlConflict = e.line;
  if (known.observable != e.observable && known.observeConflict == 0) known.observeConflict = e.line;
}

bool readAlphabet(GenParser& p, GenFile& g) {
  NamedEvent pending;
  bool hasPending = false;
  Token t;
  for (;;) {
    if (!p.next(t)) return false;
    if (t.kind == Kind::FLAGS) {
      if (!hasPending) return p.refuse(t.line, "attribute " + describe(t) + " without an event");
      for (const char flag : t.text) {
        if (flag == 'C' || flag == 'c') pending.controllable = flag == 'C';
        if (flag == 'O' || flag == 'o') pending.observable = flag == 'O';
      }
      continue;
    }
    if (t.kind == Kind::OPEN) {
      if (!p.skipElement(t)) return false;
      continue;
    }
    if (t.kind == Kind::EMPTY) continue;
    if (hasPending) addEvent(g, pending);
    hasPending = false;
    if (t.kind == Kind::CLOSE && t.text == "Alphabet") return true;
    if (!isNameToken(t)) return p.unexpected(t, "Alphabet");
    if (!readName(p, t)) return false;
    pending = NamedEvent{t.text, t.line};
    hasPending = true;
  }
}

// A list of states (<States>, <InitStates>, <MarkedStates>) up to its
// closing tag; `add` takes each name or range.
template <typename Add> bool readStateList(GenParser& p, std::string_view section, Add add) {
  Token t;
  for (;;) {
    if (!p.next(t)) return false;
    if (t.kind == Kind::CLOSE && t.text == section) return true;
    if (t.kind == Kind::FLAGS || t.kind == Kind::EMPTY) continue;
    if (t.kind == Kind::OPEN) {
      StateRef range;
      if (t.text != "Consecutive") {
        if (!p.skipElement(t)) return false;
      } else if (!readConsecutive(p, t, range) || !add(range)) {
        return false;
      }
      continue;
    }
    if (!isNameToken(t)) return p.unexpected(t, section);
    if (!readName(p, t) || !add(refOf(t.text, t.line))) return false;
  }
}

bool readTransRel(GenParser& p, GenFile& g) {
  Token parts[3];
  int count = 0;
  Token t;
  for (;;) {
    if (!p.next(t)) return false;
    if (t.kind == Kind::FLAGS || t.kind == Kind::EMPTY) continue;
    if (t.kind == Kind::OPEN) {
      if (!p.skipElement(t)) return false;
      continue;
    }
    if (t.kind == Kind::CLOSE && t.text == "TransRel") {
      if (count != 0) return p.refuse(parts[0].line, "incomplete transition: expected \"FROM EVENT TO\"");
      return true;
    }
    if (!isNameToken(t)) return p.unexpected(t, "TransRel");
    if (!readName(p, t)) return false;
    parts[count++] = t;
    if (count < 3) continue;
    g.transitions.push_back(GenFile::PendingTransition{parts[0].text, parts[1].text, parts[2].text, parts[0].line});
    count = 0;
  }
}

// --- Resolution ----------------------------------------------------------------

// Finds declared states by name or integer.
struct StateIndex {
  NameTable byName; // items are indices of named declarations
  struct Range {
    std::int64_t first, last, start; // integers first..last at positions start...
    std::uint32_t line;
  };
  std::vector<Range> ranges; // sorted by first, disjoint

  // The position of integer v, or -1.
  std::int64_t find(std::int64_t v) const {
    auto it =
        std::upper_bound(ranges.begin(), ranges.end(), v, [](std::int64_t x, const Range& r) { return x < r.first; });
    if (it == ranges.begin()) return -1;
    --it;
    return v <= it->last ? it->start + (v - it->first) : -1;
  }
};

bool indexStates(GenParser& p, const NamedModel& model, StateIndex& index) {
  const auto nameOf = [&model](std::int64_t k) { return model.declarations[static_cast<std::size_t>(k)].name; };
  for (std::size_t k = 0; k < model.declarations.size(); ++k) {
    const StateDeclaration& d = model.declarations[k];
    const std::int64_t start = model.declarationStart[k];
    if (d.name.empty()) {
      index.ranges.push_back(StateIndex::Range{d.first, d.last, start, d.line});
      continue;
    }
    const std::int64_t earlier = addName(index.byName, d.name, static_cast<std::int64_t>(k), nameOf);
    if (earlier >= 0) {
      std::string problem = "state ";
      appendQuoted(problem, d.name);
      problem += " is declared on line " + std::to_string(model.declarations[static_cast<std::size_t>(earlier)].line) +
                 " already";
      return p.refuse(d.line, problem);
    }
  }
  std::sort(index.ranges.begin(), index.ranges.end(),
            [](const StateIndex::Range& a, const StateIndex::Range& b) {
              return a.first != b.first ? a.first < b.first : a.line < b.line;
            });
  std::size_t kept = 0;
  for (std::size_t k = 1; k < index.ranges.size(); ++k) {
    StateIndex::Range& a = index.ranges[kept];
    const StateIndex::Range& b = index.ranges[k];
    if (b.first <= a.last) {
      return p.refuse(std::max(a.line, b.line), "state " + std::to_string(b.first) + " is declared on line " +
                                                    std::to_string(std::min(a.line, b.line)) + " already");
    }
    // States declared one by one in ascending order (as writeGen does)
    // make one range, so lookups stay cheap.
    if (b.first == a.last + 1 && b.start == a.start + (a.last - a.first + 1)) {
      a.last = b.last;
      a.line = b.line; // the line of the piece an overlap would meet first
    } else {
      index.ranges[++kept] = b;
    }
  }
  if (!index.ranges.empty()) index.ranges.resize(kept + 1);
  return true;
}

// The position of a named state, or -1.
std::int64_t findNamed(const NamedModel& model, const StateIndex& index, std::string_view name) {
  const std::int64_t k = findName(index.byName, name, [&model](std::int64_t d) {
    return model.declarations[static_cast<std::size_t>(d)].name;
  });
  return k < 0 ? -1 : model.declarationStart[static_cast<std::size_t>(k)];
}

// Calls visit(position) for every state of ref; refuses an undeclared one
// as `role` ("initial state", ...). visit returns false to stop early.
template <typename Visit> bool resolveRef(GenParser& p, const NamedModel& model, const StateIndex& index,
                                          const StateRef& ref, std::string_view role, Visit visit) {
  const auto undeclared = [&](std::string_view name) {
    std::string problem(role);
    problem += ' ';
    appendQuoted(problem, name);
    problem += " is not declared";
    return p.refuse(ref.line, problem);
  };
  if (!ref.name.empty()) {
    const std::int64_t position = findNamed(model, index, ref.name);
    if (position < 0) return undeclared(ref.name);
    visit(position);
    return true;
  }
  for (std::int64_t v = ref.first; v <= ref.last; ++v) {
    const std::int64_t position = index.find(v);
    if (position < 0) return undeclared(std::to_string(v));
    if (!visit(position)) break;
  }
  return true;
}

bool resolve(GenParser& p, GenFile& g) {
  NamedModel& model = g.model;
  StateIndex index;
  if (!indexStates(p, model, index)) return false;
  model.marked.assign(static_cast<std::size_t>(model.stateCount), false);

  // At most this many initial states are named in the refusal.
  constexpr std::size_t NAMED_INITIAL = 5;
  std::vector<std::int64_t> initial;
  std::uint32_t secondLine = 0;
  bool more = false;
  for (const StateRef& ref : g.initial) {
    const bool ok = resolveRef(p, model, index, ref, "initial state", [&](std::int64_t position) {
      if (std::find(initial.begin(), initial.end(), position) != initial.end()) return true;
      if (initial.size() == 1) secondLine = ref.line;
      more = initial.size() == NAMED_INITIAL;
      if (!more) initial.push_back(position);
      return !more;
    });
    if (!ok) return false;
  }
  if (initial.size() > 1) {
    std::string problem = "more than one initial state (";
    for (std::size_t k = 0; k < initial.size(); ++k) {
      if (k > 0) problem += ", ";
      appendQuoted(problem, stateNameAt(model, initial[k]));
    }
    problem += more ? ", ...)" : ")";
    return p.refuse(secondLine, problem);
  }
  if (!initial.empty()) model.initial = initial.front();
  for (const StateRef& ref : g.marked) {
    const bool ok = resolveRef(p, model, index, ref, "marked state", [&](std::int64_t position) {
      model.marked[static_cast<std::size_t>(position)] = true;
      return true;
    });
    if (!ok) return false;
  }

  model.transitions.reserve(g.transitions.size());
  for (const GenFile::PendingTransition& t : g.transitions) {
    std::int64_t from = -1;
    std::int64_t to = -1;
    const auto take = [](std::int64_t& slot) {
      return [&slot](std::int64_t position) {
        slot = position;
        return true;
      };
    };
    if (!resolveRef(p, model, index, refOf(t.from, t.line), "transition from state", take(from))) return false;
    const auto event = g.eventOf.find(t.event);
    if (event == g.eventOf.end()) {
      std::string problem = "transition with event ";
      appendQuoted(problem, t.event);
      problem += ", which the alphabet lacks";
      return p.refuse(t.line, problem);
    }
    if (!resolveRef(p, model, index, refOf(t.to, t.line), "transition to state", take(to))) return false;
    model.transitions.push_back(NamedTransition{from, event->second, to});
  }
  return true;
}

void putQuoted(std::FILE* out, std::string_view name) {
  std::fputc('"', out);
  std::fwrite(name.data(), 1, name.size(), out);
  std::fputc('"', out);
}

void putState(std::FILE* out, const ExportNames& names, std::int64_t state) {
  if (names.states.empty()) {
    std::fprintf(out, "\"%lld\"", static_cast<long long>(state));
  } else {
    putQuoted(out, names.states[static_cast<std::size_t>(state)]);
  }
}

} // namespace

bool isGenName(std::string_view name) {
  return !name.empty() && name.find_first_of("\"\r\n") == std::string_view::npos;
}

bool parseGen(std::string_view text, std::string_view file, NamedModel& out, std::string& message) {
  GenParser p;
  p.text = text;
  p.file = file;
  GenFile g;
  Token t;
  const auto fail = [&] {
    message = p.message;
    return false;
  };
  if (!p.next(t)) return fail();
  if (t.kind != Kind::OPEN || t.text != "Generator") {
    p.refuse(t.line, "expected <Generator>, found " + describe(t));
    return fail();
  }
  if (!p.next(t)) return fail();
  if (isNameToken(t) && !p.next(t)) return fail();

  constexpr std::string_view SECTIONS[] = {"Alphabet", "States", "TransRel", "InitStates", "MarkedStates"};
  bool seen[std::size(SECTIONS)] = {};
  for (;;) {
    if (t.kind == Kind::CLOSE && t.text == "Generator") break;
    if (t.kind == Kind::END) {
      p.refuse(t.line, "unexpected end of file: </Generator> missing");
      return fail();
    }
    if (t.kind != Kind::OPEN && t.kind != Kind::EMPTY) {
      p.refuse(t.line, "expected a section or </Generator>, found " + describe(t));
      return fail();
    }
    const auto* section = std::find(std::begin(SECTIONS), std::end(SECTIONS), t.text);
    const auto k = static_cast<std::size_t>(section - std::begin(SECTIONS));
    if (t.kind == Kind::EMPTY) {
      // An empty known section is an empty list.
      if (k < std::size(SECTIONS)) seen[k] = true;
    } else if (k == std::size(SECTIONS)) {
      if (!p.skipElement(t)) return fail();
    } else {
      if (seen[k]) {
        p.refuse(t.line, "section <" + std::string(t.text) + "> is given twice");
        return fail();
      }
      seen[k] = true;
      bool ok = false;
      NamedModel& model = g.model;
      switch (k) {
      case 0:
        ok = readAlphabet(p, g);
        break;
      case 1:
        ok = readStateList(p, "States", [&](const StateRef& r) {
          if (declareStates(model, StateDeclaration{r.name, r.first, r.last, r.line})) return true;
          return p.refuse(r.line, "more states than a DES can hold");
        });
        break;
      case 2:
        ok = readTransRel(p, g);
        break;
      case 3:
        ok = readStateList(p, "InitStates", [&](const StateRef& r) {
          g.initial.push_back(r);
          return true;
        });
        break;
      default:
        ok = readStateList(p, "MarkedStates", [&](const StateRef& r) {
          g.marked.push_back(r);
          return true;
        });
        break;
      }
      if (!ok) return fail();
    }
    if (!p.next(t)) return fail();
  }
  const std::uint32_t closing = t.line;
  if (!p.next(t)) return fail();
  if (t.kind != Kind::END) {
    p.refuse(t.line, "text after </Generator>: " + describe(t));
    return fail();
  }
  for (std::size_t k = 0; k < std::size(SECTIONS); ++k) {
    if (seen[k]) continue;
    p.refuse(closing, "section <" + std::string(SECTIONS[k]) + "> is missing");
    return fail();
  }
  if (!resolve(p, g)) return fail();
  out = std::move(g.model);
  return true;
}

void writeGen(std::FILE* out, const DES& des, std::string_view name, const ExportNames& names) {
  std::fputs("<Generator>\n\"", out);
  for (const char c : name)
    if (c != '"' && c != '\n' && c != '\r') std::fputc(c, out);
  std::fputs("\"\n\n<Alphabet>\n", out);
  EventList events;
  collectEvents(des, events);
  for (const std::uint16_t e : events) {
    putQuoted(out, names.events[e]);
    const bool controllable = e % 2 == 1;
    if (controllable || names.unobservable[e]) {
      std::fputs(" +", out);
      if (controllable) std::fputc('C', out);
      if (names.unobservable[e]) std::fputc('o', out);
      std::fputc('+', out);
    }
    std::fputc('\n', out);
  }
  std::fputs("</Alphabet>\n\n<States>\n", out);
  for (std::int64_t s = 0; s < des.size(); ++s) {
    putState(out, names, s);
    std::fputc('\n', out);
  }
  std::fputs("</States>\n\n<TransRel>\n", out);
  for (std::int64_t s = 0; s < des.size(); ++s) {
    for (const Transition& t : transitionsOf(des[s])) {
      putState(out, names, s);
      std::fputc(' ', out);
      putQuoted(out, names.events[t.event]);
      std::fputc(' ', out);
      putState(out, names, t.target);
      std::fputc('\n', out);
    }
  }
  std::fputs("</TransRel>\n\n<InitStates>\n", out);
  if (des.size() > 0) {
    putState(out, names, 0);
    std::fputc('\n', out);
  }
  std::fputs("</InitStates>\n\n<MarkedStates>\n", out);
  for (std::int64_t s = 0; s < des.size(); ++s) {
    if (!des[s].marked) continue;
    putState(out, names, s);
    std::fputc('\n', out);
  }
  std::fputs("</MarkedStates>\n\n</Generator>\n", out);
}

} // namespace kav
