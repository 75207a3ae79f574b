#include "output/listing.h"

#include <algorithm>
#include <cstring>

namespace kav {

namespace {

void put(std::FILE* out, std::string_view text) {
  if (!text.empty()) std::fwrite(text.data(), 1, text.size(), out);
}

void appendFormat(std::string& line, const char* format, long long a, long long b = 0, long long c = 0) {
  char buffer[96];
  const int length = std::snprintf(buffer, sizeof buffer, format, a, b, c);
  if (length > 0) line.append(buffer, std::min<std::size_t>(static_cast<std::size_t>(length), sizeof buffer - 1));
}

std::int64_t countMarked(const DES& des) {
  std::int64_t count = 0;
  for (const StateRecord& s : des.states) count += s.marked;
  return count;
}

// The vocal pair format: the state field widens with the state count so
// that the columns line up.
const char* vocalFormat(std::int64_t size) {
  if (size <= 100000) return "[%5lld,%4lld]   ";
  if (size <= 1000000) return "[%6lld,%4lld]  ";
  return "[%7lld,%4lld] ";
}

void appendTriple(std::string& line, std::int64_t from, const Transition& t, bool wide) {
  if (t.event == EPSILON_LABEL)
    appendFormat(line, wide ? "[%7lld,  e,%7lld]  " : "[%5lld,  e,%5lld]  ", from, static_cast<long long>(t.target));
  else
    appendFormat(line, wide ? "[%7lld,%3lld,%7lld]  " : "[%5lld,%3lld,%5lld]  ", from, t.event,
                 static_cast<long long>(t.target));
}

// "%4ld:" for the state of a DAT entry, then its labels from..to-1.
void appendLabels(std::string& line, const StateRecord& s, std::uint32_t from, std::uint32_t to) {
  const auto list = transitionsOf(s);
  for (std::uint32_t k = from; k < to; ++k) {
    if (list[k].event == EPSILON_LABEL)
      line += "e    ";
    else
      appendFormat(line, "%4lld ", list[k].event);
  }
}

// Labels on the first line of a DAT entry, and on each further line.
constexpr std::uint32_t FIRST_LINE_LABELS = 13;
constexpr std::uint32_t FURTHER_LINE_LABELS = 12;
// Entries with at most this many labels may share a line.
constexpr std::uint32_t SHORT_ENTRY_LABELS = 6;

constexpr const char* DAT_EXPLANATION[] = {
    "Control data are displayed as a list of supervisor states",
    "where disabling occurs, together with the events that must",
    "be disabled there.",
};

} // namespace

// --- DES ----------------------------------------------------------------------

void writeDesListing(std::FILE* out, const DES& des, std::string_view name, bool withAllShortcut) {
  const std::int64_t n = des.size();
  put(out, name);
  std::fprintf(out, "    # states: %lld", static_cast<long long>(n));
  if (n >= 1) {
    std::fprintf(out, "    state set: 0 ... %lld", static_cast<long long>(n - 1));
    std::fprintf(out, "    initial state: %lld\n", 0LL);
  } else {
    put(out, "    state set: empty ");
    put(out, "    initial state: none\n");
  }
  put(out, "\n");

  const std::int64_t marked = countMarked(des);
  if (withAllShortcut && n >= 1 && marked == n) {
    put(out, "marker states: all\n\n");
  } else if (marked > 0) {
    put(out, "marker states:       \n\n");
    int onLine = 0;
    for (std::int64_t s = 0; s < n; ++s) {
      if (!des[s].marked) continue;
      std::fprintf(out, "%7lld ", static_cast<long long>(s));
      if (++onLine == 8) {
        put(out, "\n");
        onLine = 0;
      }
    }
    put(out, "\n");
  } else {
    put(out, "marker states: none\n\n");
  }

  bool anyVocal = false;
  for (const StateRecord& s : des.states) anyVocal = anyVocal || s.vocal != 0;
  if (anyVocal) {
    put(out, "\nvocal states:       \n");
    const char* format = vocalFormat(n);
    int onLine = 0;
    for (std::int64_t s = 0; s < n; ++s) {
      if (des[s].vocal == 0) continue;
      std::fprintf(out, format, static_cast<long long>(s), static_cast<long long>(des[s].vocal));
      if (++onLine == 5) {
        put(out, "\n");
        onLine = 0;
      }
    }
    put(out, "\n\n");
  } else {
    put(out, "\nvocal states: none\n\n");
  }

  const std::int64_t transitions = countTransitions(des);
  if (transitions == 0) {
    put(out, "transition table : empty\n");
    return;
  }
  std::fprintf(out, "\n# transitions: %lld\n\ntransitions: \n\n", static_cast<long long>(transitions));
  int onLine = 0;
  std::string triple;
  for (std::int64_t s = 0; s < n; ++s) {
    for (const Transition& t : transitionsOf(des[s])) {
      triple.clear();
      appendTriple(triple, s, t, false);
      put(out, triple);
      if (++onLine == 4) {
        put(out, "\n");
        onLine = 0;
      }
    }
  }
  put(out, "\n");
}

DesScreenListing layoutDesScreenListing(const DES& des, std::string_view name) {
  DesScreenListing l;
  l.des = &des;
  l.name = name;
  const std::int64_t n = des.size();

  std::string first(name);
  appendFormat(first, "    # states: %lld", n);
  std::string rest;
  if (n >= 1) {
    appendFormat(rest, "    state set: 0 ... %lld", n - 1);
    rest += "    initial state: 0";
  } else {
    rest = "    state set: empty     initial state: none";
  }
  if (first.size() + rest.size() < 80) {
    l.head.push_back(first + rest);
  } else {
    l.head.push_back(first);
    l.head.push_back(rest);
  }

  const std::int64_t marked = countMarked(des);
  l.allMarked = n >= 1 && marked == n;
  if (!l.allMarked)
    for (std::int64_t s = 0; s < n; ++s)
      if (des[s].marked) l.marked.push_back(s);
  for (std::int64_t s = 0; s < n; ++s)
    if (des[s].vocal != 0) l.vocalStates.push_back(s);
  l.firstTransition.resize(static_cast<std::size_t>(n) + 1);
  for (std::int64_t s = 0; s < n; ++s)
    l.firstTransition[static_cast<std::size_t>(s) + 1] =
        l.firstTransition[static_cast<std::size_t>(s)] + des[s].transitionCount;
  l.triplesPerLine = n > 100000 ? 3 : 4;

  const auto rows = [](std::int64_t items, std::int64_t perLine) { return (items + perLine - 1) / perLine; };
  std::int64_t line = static_cast<std::int64_t>(l.head.size()) + 1;
  l.markerLine = line;
  line += l.marked.empty() ? 1 : 2 + rows(static_cast<std::int64_t>(l.marked.size()), 8);
  ++line;
  l.vocalLine = line;
  line += l.vocalStates.empty() ? 1 : 2 + rows(static_cast<std::int64_t>(l.vocalStates.size()), 5);
  ++line;
  l.transitionLine = line;
  const std::int64_t transitions = l.firstTransition.back();
  line += transitions == 0 ? 1 : 4 + rows(transitions, l.triplesPerLine);
  l.lineCount = line;
  return l;
}

std::string desScreenLine(const DesScreenListing& l, std::int64_t k) {
  std::string line;
  const DES& des = *l.des;
  const auto headLines = static_cast<std::int64_t>(l.head.size());
  if (k < headLines) return l.head[static_cast<std::size_t>(k)];
  if (k < l.markerLine) return line;
  if (k < l.vocalLine) {
    const std::int64_t at = k - l.markerLine;
    if (l.allMarked) return at == 0 ? "marker states: all" : "";
    if (l.marked.empty()) return at == 0 ? "marker states: none" : "";
    if (at == 0) return "marker states:       ";
    const std::int64_t first = (at - 2) * 8;
    if (at < 2 || first >= static_cast<std::int64_t>(l.marked.size())) return line;
    const std::int64_t last = std::min<std::int64_t>(first + 8, static_cast<std::int64_t>(l.marked.size()));
    for (std::int64_t i = first; i < last; ++i) appendFormat(line, "%7lld  ", l.marked[static_cast<std::size_t>(i)]);
    return line;
  }
  if (k < l.transitionLine) {
    const std::int64_t at = k - l.vocalLine;
    if (l.vocalStates.empty()) return at == 0 ? "vocal states: none" : "";
    if (at == 0) return "vocal states:      ";
    const std::int64_t first = (at - 2) * 5;
    if (at < 2 || first >= static_cast<std::int64_t>(l.vocalStates.size())) return line;
    const std::int64_t last = std::min<std::int64_t>(first + 5, static_cast<std::int64_t>(l.vocalStates.size()));
    const char* format = vocalFormat(des.size());
    for (std::int64_t i = first; i < last; ++i) {
      const std::int64_t s = l.vocalStates[static_cast<std::size_t>(i)];
      appendFormat(line, format, s, des[s].vocal);
    }
    return line;
  }
  const std::int64_t at = k - l.transitionLine;
  const std::int64_t total = l.firstTransition.back();
  if (total == 0) return at == 0 ? "transition table : empty" : "";
  if (at == 0) {
    appendFormat(line, "# transitions: %lld", total);
    return line;
  }
  if (at == 2) return "transitions: ";
  if (at < 4) return line;
  const std::int64_t first = (at - 4) * l.triplesPerLine;
  const std::int64_t last = std::min(first + l.triplesPerLine, total);
  // The state of transition `first`: the last state whose first index is
  // not beyond it.
  auto it = std::upper_bound(l.firstTransition.begin(), l.firstTransition.end(), first);
  auto s = static_cast<std::int64_t>(it - l.firstTransition.begin()) - 1;
  for (std::int64_t i = first; i < last; ++i) {
    while (i >= l.firstTransition[static_cast<std::size_t>(s) + 1]) ++s;
    const Transition& t =
        des[s].transitions[static_cast<std::size_t>(i - l.firstTransition[static_cast<std::size_t>(s)])];
    appendTriple(line, s, t, l.triplesPerLine == 3);
  }
  return line;
}

// --- DAT ----------------------------------------------------------------------

bool isControllableTable(const DES& dat) { return allEventsControllable(dat); }

bool hasTableEntries(const DES& dat) {
  for (const StateRecord& s : dat.states)
    if (s.transitionCount) return true;
  return false;
}

bool nextDatTableLine(const DES& dat, DatTableCursor& c, int gapBase, std::string& line) {
  line.clear();
  const std::int64_t n = dat.size();
  if (c.offset > 0 && c.state < n) {
    const StateRecord& s = dat[c.state];
    line.assign(9, ' ');
    const std::uint32_t end = std::min<std::uint32_t>(c.offset + FURTHER_LINE_LABELS, s.transitionCount);
    appendLabels(line, s, c.offset, end);
    if (end < s.transitionCount) {
      c.offset = end;
    } else {
      c.offset = 0;
      ++c.state;
    }
    return true;
  }
  c.offset = 0;
  // Labels of the entry that opened the line, while another may join it.
  std::uint32_t firstCount = 0;
  for (;;) {
    while (c.state < n && dat[c.state].transitionCount == 0) ++c.state;
    if (c.state >= n) return !line.empty();
    const StateRecord& s = dat[c.state];
    const std::uint32_t count = s.transitionCount;
    if (line.empty()) {
      line.assign(4, ' ');
      appendFormat(line, "%4lld:", c.state);
      const std::uint32_t end = std::min(FIRST_LINE_LABELS, count);
      appendLabels(line, s, 0, end);
      if (end < count) {
        c.offset = end;
        return true;
      }
      ++c.state;
      if (count > SHORT_ENTRY_LABELS) return true;
      firstCount = count;
      continue;
    }
    if (count > SHORT_ENTRY_LABELS) return true;
    line.append(static_cast<std::size_t>(5 * (gapBase - static_cast<int>(firstCount))), ' ');
    appendFormat(line, "%4lld:", c.state);
    appendLabels(line, s, 0, count);
    ++c.state;
    return true;
  }
}

void writeDatListing(std::FILE* out, const DES& dat, std::string_view name) {
  put(out, name);
  put(out, "\n\n\n");
  put(out, std::string(DAT_EXPLANATION[0]) + "\n" + DAT_EXPLANATION[1] + "\n" + DAT_EXPLANATION[2] + "\n\n");
  put(out, name);
  put(out, isControllableTable(dat) ? " is CONTROLLABLE\n\n" : " is NOT CONTROLLABLE\n\n");
  put(out, "control data:\n");
  if (!hasTableEntries(dat)) {
    put(out, "\nempty.\n");
    return;
  }
  put(out, "\n");
  DatTableCursor cursor;
  std::string line;
  while (nextDatTableLine(dat, cursor, DAT_LISTING_GAP_BASE, line)) {
    put(out, "\n");
    put(out, line);
  }
  put(out, "\n");
}

} // namespace kav
