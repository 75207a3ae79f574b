#include "output/ads.h"

#include <algorithm>
#include <cassert>
#include <cstring>
#include <limits>
#include <memory>

#include "model/safefile.h"

namespace kav {

namespace {

// Indexed by error code.
constexpr const char* ERROR_MESSAGES[ADS_LAST_ERROR_CODE + 1] = {
    "ok",
    "File does not exist",
    "Unexpected end of file",
    "Internal error",
    "No file name present",
    "File name too long",
    "Expecting string 'State size'",
    "State out of range",
    "State number too large",
    "Expecting string 'Marker states:'",
    "Marker state out of range",
    "Marker state too large",
    "Expecting string 'Vocal states:'",
    "Vocal output too small",
    "Vocal output too large",
    "Expecting string 'Transitions:'",
    "Transition label out of range",
    "Transition label too large",
    "Invalid state number",
    "Invalid marker state",
    "Invalid vocal output",
    "Invalid transition label",
    "Exit state out of range",
    "Exit state too large",
    "Entrance state out of range",
    "Entrance state too large",
    "Nondeterministic transition",
};

constexpr std::int64_t MIN_VOCAL_OUTPUT = 10;
constexpr std::int64_t MAX_VOCAL_OUTPUT = 99;
constexpr std::size_t READ_CHUNK = 1 << 16;

// --- Line reading ------------------------------------------------------------

// Splits a stream into lines of any length. Reading in chunks and
// splitting with memchr keeps a multi-million-line file fast, and a line
// is never cut: a long comment cannot spill into data lines.
struct LineReader {
  std::FILE* stream;
  std::vector<char> chunk = std::vector<char>(READ_CHUNK);
  std::size_t pos = 0;   // next unread byte of chunk
  std::size_t end = 0;   // bytes held in chunk
  bool atEnd = false;    // the stream gave no more bytes
  bool failed = false;   // ... because a read failed
  bool readAny = false;  // some byte was read
};

// The next line without its "\n" and without one '\r' before it; false
// when the stream has no more lines. A last line without "\n" counts.
bool nextLine(LineReader& reader, std::string& line) {
  line.clear();
  bool partial = false;
  for (;;) {
    if (reader.pos == reader.end) {
      if (reader.atEnd) break;
      reader.end = std::fread(reader.chunk.data(), 1, reader.chunk.size(), reader.stream);
      reader.pos = 0;
      if (reader.end == 0) {
        reader.atEnd = true;
        reader.failed = std::ferror(reader.stream) != 0;
        break;
      }
      reader.readAny = true;
    }
    const char* start = reader.chunk.data() + reader.pos;
    const std::size_t available = reader.end - reader.pos;
    const auto* newline = static_cast<const char*>(std::memchr(start, '\n', available));
    if (newline) {
      const auto length = static_cast<std::size_t>(newline - start);
      line.append(start, length);
      reader.pos += length + 1;
      partial = true;
      break;
    }
    line.append(start, available);
    reader.pos = reader.end;
    partial = true;
  }
  if (!partial) return false;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return true;
}

// --- Number and word scanning ------------------------------------------------

bool isBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Reads one decimal integer at text[pos...] the way "%ld" does: leading
// white space, an optional sign, at least one digit; whatever follows is
// left for the next read. A magnitude beyond the 64-bit range saturates,
// which keeps it outside every accepted range, so it is reported by its
// sign as out of range or too large. Advances pos only on success.
bool readNumber(std::string_view text, std::size_t& pos, std::int64_t& value) {
  std::size_t i = pos;
  while (i < text.size() && isBlank(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  const std::size_t firstDigit = i;
  constexpr std::int64_t LIMIT = std::numeric_limits<std::int64_t>::max();
  std::int64_t magnitude = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    const int digit = text[i] - '0';
    magnitude = magnitude > (LIMIT - digit) / 10 ? LIMIT : magnitude * 10 + digit;
  }
  if (i == firstDigit) return false;
  value = negative ? -magnitude : magnitude;
  pos = i;
  return true;
}

std::string_view firstWord(std::string_view text) {
  std::size_t start = 0;
  while (start < text.size() && isBlank(text[start])) ++start;
  std::size_t stop = start;
  while (stop < text.size() && !isBlank(text[stop])) ++stop;
  return text.substr(start, stop - start);
}

// --- The line state machine --------------------------------------------------

// What the next non-comment, non-empty line must be.
enum class Expect {
  NAME,          // the name line
  STATE_HEADER,  // a line whose first word is "State"
  STATE_SIZE,    // the state size
  MARKER_HEADER, // "Marker states:"
  MARKERS,       // marker states, "*", or "Vocal states:"
  VOCAL_HEADER,  // "Vocal states:" after "*"
  VOCALS,        // vocal entries or "Transitions:"
  TRANSITIONS,   // transition lines up to the end
};

struct AdsParse {
  Expect expect = Expect::NAME;
  std::uint32_t line = 0; // lines read so far; saturates below ADS_NO_LINE
  DES des;
  // Per state, parallel to its transition list: the line on which each
  // transition was last accepted, for the second line of a
  // nondeterminism error. The list never holds one label twice, so the
  // label's index in the list is its index here; a per-state array found
  // by the same binary search keeps the check O(log d) per line.
  std::vector<std::unique_ptr<std::uint32_t[]>> acceptedOn;
  std::vector<AdsError> errors;
};

void recordError(AdsParse& p, std::uint32_t code, std::uint32_t secondLine = ADS_NO_LINE) {
  p.errors.push_back(AdsError{code, p.line, secondLine});
}

void handleMarker(AdsParse& p, std::string_view text) {
  if (text == "Vocal states:") {
    p.expect = Expect::VOCALS;
    return;
  }
  if (text == "*" || text == " *") {
    for (StateRecord& s : p.des.states) s.marked = 1;
    p.expect = Expect::VOCAL_HEADER;
    return;
  }
  std::size_t pos = 0;
  std::int64_t state = 0;
  if (!readNumber(text, pos, state)) {
    recordError(p, ADS_INVALID_MARKER);
  } else if (state < 0) {
    recordError(p, ADS_MARKER_OUT_OF_RANGE);
  } else if (state >= p.des.size()) {
    recordError(p, ADS_MARKER_TOO_LARGE);
  } else {
    p.des[state].marked = 1;
  }
}

void handleVocal(AdsParse& p, std::string_view text) {
  if (text == "Transitions:") {
    p.expect = Expect::TRANSITIONS;
    return;
  }
  std::size_t pos = 0;
  std::int64_t state = 0;
  std::int64_t output = 0;
  if (!readNumber(text, pos, state) || !readNumber(text, pos, output)) {
    recordError(p, ADS_INVALID_VOCAL);
    return;
  }
  const std::size_t before = p.errors.size();
  if (state < 0) {
    recordError(p, ADS_STATE_OUT_OF_RANGE);
  } else if (state >= p.des.size()) {
    recordError(p, ADS_STATE_TOO_LARGE);
  }
  if (output < MIN_VOCAL_OUTPUT) {
    recordError(p, ADS_VOCAL_TOO_SMALL);
  } else if (output > MAX_VOCAL_OUTPUT) {
    recordError(p, ADS_VOCAL_TOO_LARGE);
  }
  if (p.errors.size() == before) p.des[state].vocal = static_cast<std::int16_t>(output);
}

void handleTransition(AdsParse& p, std::string_view text) {
  std::size_t pos = 0;
  std::int64_t exit = 0;
  std::int64_t label = 0;
  std::int64_t entrance = 0;
  if (!readNumber(text, pos, exit) || !readNumber(text, pos, label) || !readNumber(text, pos, entrance)) {
    recordError(p, ADS_INVALID_LABEL);
    return;
  }
  const std::int64_t size = p.des.size();
  const std::size_t before = p.errors.size();
  if (exit < 0) {
    recordError(p, ADS_EXIT_OUT_OF_RANGE);
  } else if (exit >= size) {
    recordError(p, ADS_EXIT_TOO_LARGE);
  }
  if (label < 0) {
    recordError(p, ADS_LABEL_OUT_OF_RANGE);
  } else if (label > MAX_ORDINARY_LABEL) {
    recordError(p, ADS_LABEL_TOO_LARGE);
  }
  if (entrance >= size) {
    recordError(p, ADS_ENTRANCE_TOO_LARGE);
    return;
  }
  if (entrance < 0) recordError(p, ADS_ENTRANCE_OUT_OF_RANGE);
  if (p.errors.size() != before) return;

  const auto event = static_cast<std::uint16_t>(label);
  StateRecord& state = p.des[exit];
  std::unique_ptr<std::uint32_t[]>& lines = p.acceptedOn[static_cast<std::size_t>(exit)];
  auto list = transitionsOf(state);
  const auto found = std::lower_bound(list.begin(), list.end(), event,
                                      [](const Transition& t, std::uint16_t e) { return t.event < e; });
  const auto index = static_cast<std::size_t>(found - list.begin());
  if (found != list.end() && found->event == event) {
    if (found->target != entrance) {
      recordError(p, ADS_NONDETERMINISTIC, lines[index]);
    } else {
      lines[index] = p.line; // an exact repetition changes nothing but the line kept
    }
    return;
  }
  // At most one transition per label and labels below 1000, so the state
  // never reaches the transition limit.
  [[maybe_unused]] const bool inserted = insertTransition(state, event, entrance);
  assert(inserted);
  const std::size_t count = state.transitionCount;
  auto grown = std::make_unique_for_overwrite<std::uint32_t[]>(count);
  if (index > 0) std::memcpy(grown.get(), lines.get(), index * sizeof(std::uint32_t));
  grown[index] = p.line;
  if (count > index + 1) std::memcpy(grown.get() + index + 1, lines.get() + index, (count - index - 1) * sizeof(std::uint32_t));
  lines = std::move(grown);
}

void handleLine(AdsParse& p, std::string_view text) {
  switch (p.expect) {
  case Expect::NAME:
    if (firstWord(text).empty()) {
      recordError(p, ADS_NO_FILE_NAME);
    } else {
      p.expect = Expect::STATE_HEADER;
    }
    break;
  case Expect::STATE_HEADER:
    if (firstWord(text) == "State") {
      p.expect = Expect::STATE_SIZE;
    } else {
      recordError(p, ADS_EXPECTING_STATE_SIZE);
    }
    break;
  case Expect::STATE_SIZE: {
    std::size_t pos = 0;
    std::int64_t size = 0;
    if (!readNumber(text, pos, size)) {
      recordError(p, ADS_INVALID_STATE_NUMBER);
    } else if (size < 0) {
      recordError(p, ADS_STATE_OUT_OF_RANGE);
    } else if (size > ADS_MAX_STATES) {
      recordError(p, ADS_STATE_TOO_LARGE);
    } else {
      p.des = allocStates(size);
      p.acceptedOn.resize(static_cast<std::size_t>(size));
      p.expect = Expect::MARKER_HEADER;
    }
    break;
  }
  case Expect::MARKER_HEADER:
    if (text == "Marker states:") {
      p.expect = Expect::MARKERS;
    } else {
      recordError(p, ADS_EXPECTING_MARKER_STATES);
    }
    break;
  case Expect::MARKERS:
    handleMarker(p, text);
    break;
  case Expect::VOCAL_HEADER:
    if (text == "Vocal states:") {
      p.expect = Expect::VOCALS;
    } else {
      recordError(p, ADS_EXPECTING_VOCAL_STATES);
    }
    break;
  case Expect::VOCALS:
    handleVocal(p, text);
    break;
  case Expect::TRANSITIONS:
    handleTransition(p, text);
    break;
  }
}

// Both parsers: the full listing goes on after errors, the first-error
// parser stops after the line of the first one. Closes the stream.
std::vector<AdsError> runParser(std::FILE* stream, bool stopAtFirstError, DES& out) {
  if (!stream) return {AdsError{ADS_NO_FILE_NAME, ADS_NO_LINE, ADS_NO_LINE}};
  LineReader reader{stream};
  AdsParse p;
  std::string text;
  while (nextLine(reader, text)) {
    // A file of four billion lines keeps its last number rather than
    // wrapping to small ones or to the "no line" value.
    if (p.line < ADS_NO_LINE - 1) ++p.line;
    if (text.empty() || text.front() == '#') continue;
    handleLine(p, text);
    if (stopAtFirstError && !p.errors.empty()) break;
  }
  std::fclose(stream);
  if (reader.failed && !reader.readAny) return {AdsError{ADS_NO_FILE_NAME, ADS_NO_LINE, ADS_NO_LINE}};
  if (reader.failed ? !(stopAtFirstError && !p.errors.empty())
                    : p.errors.empty() && p.expect != Expect::TRANSITIONS) {
    recordError(p, ADS_UNEXPECTED_END);
  }
  if (p.errors.empty()) out = std::move(p.des);
  return std::move(p.errors);
}

// --- Writing -----------------------------------------------------------------

void putLine(std::FILE* stream, std::string_view text) {
  if (!text.empty()) std::fwrite(text.data(), 1, text.size(), stream);
  std::fputc('\n', stream);
}

// The template and the listing share every fixed line; the listing adds
// the state count and the entries (des non-null).
void writeAds(std::FILE* stream, std::string_view firstLine, std::string_view name, const DES* des) {
  putLine(stream, firstLine);
  putLine(stream, "");
  putLine(stream, name);
  putLine(stream, "");
  putLine(stream, "State size (State set will be (0,1....,size-1)):");
  putLine(stream, "# <-- Enter state size, in range 0 to 2000000, on line below.");
  if (des) {
    std::fprintf(stream, "%lld\n", static_cast<long long>(des->size()));
  } else {
    putLine(stream, "");
  }
  putLine(stream, "Marker states:");
  putLine(stream, "# <-- Enter marker states, one per line.");
  putLine(stream, "# To mark all states, enter *.");
  putLine(stream, "# If no marker states, leave line blank.");
  putLine(stream, "# End marker list with blank line.");
  if (des) {
    for (std::int64_t s = 0; s < des->size(); ++s)
      if ((*des)[s].marked) std::fprintf(stream, "%lld\n", static_cast<long long>(s));
  }
  putLine(stream, "");
  putLine(stream, "Vocal states:");
  putLine(stream, "# <-- Enter vocal output states, one per line.");
  putLine(stream, "# Format: State  Vocal_Output.  Vocal_Output in range 10 to 99.");
  putLine(stream, "# Example: 0 10");
  putLine(stream, "# If no vocal states, leave line blank.");
  putLine(stream, "# End vocal list with blank line.");
  if (des) {
    for (std::int64_t s = 0; s < des->size(); ++s) {
      const int vocal = (*des)[s].vocal;
      if (vocal > 0) std::fprintf(stream, "%-5lld %-4d\n", static_cast<long long>(s), vocal);
    }
  }
  putLine(stream, "");
  putLine(stream, "Transitions:");
  putLine(stream, "# <-- Enter transition triple, one per line.");
  putLine(stream, "# Format: Exit_(Source)_State  Transition_Label  Entrance_(Target)_State.");
  putLine(stream, "# Transition_Label in range 0 to 999.");
  putLine(stream, "# Example: 2 0 1 (for transition labeled 0 from state 2 to state 1).");
  if (des) {
    for (std::int64_t s = 0; s < des->size(); ++s)
      for (const Transition& t : transitionsOf((*des)[s]))
        std::fprintf(stream, "%-5lld %-3d %-5lld\n", static_cast<long long>(s), static_cast<int>(t.event),
                     static_cast<long long>(t.target));
  }
  putLine(stream, "");
}

} // namespace

const char* adsErrorMessage(std::uint32_t code) {
  return ERROR_MESSAGES[code <= ADS_LAST_ERROR_CODE ? code : ADS_INTERNAL_ERROR];
}

std::vector<AdsError> parseAdsFile(const std::string& path, DES& out) {
  return parseAdsFileStream(openRegularStream(path), out);
}

std::vector<AdsError> parseAdsFileStream(std::FILE* stream, DES& out) {
  return runParser(stream, false, out);
}

AdsError parseAdsStream(std::FILE* stream, DES& out) {
  const std::vector<AdsError> errors = runParser(stream, true, out);
  return errors.empty() ? AdsError{ADS_OK, ADS_NO_LINE, ADS_NO_LINE} : errors.front();
}

void writeAdsTemplate(std::FILE* stream, std::string_view name) {
  if (!stream) return;
  writeAds(stream, "# ORVA ADS Template", name, nullptr);
  std::fclose(stream);
}

void writeAdsListing(std::FILE* stream, std::string_view name, const DES& des) {
  if (!stream) return;
  writeAds(stream, "# ORVA ADS auto-generated", name, &des);
}

std::vector<std::string> adsErrorListing(std::string_view path, const std::vector<AdsError>& errors) {
  std::vector<std::string> lines;
  std::string heading = "Error(s) reading file: ";
  heading += path;
  lines.push_back(std::move(heading));
  const std::size_t shown = std::min(errors.size(), ADS_LISTED_ERRORS);
  for (std::size_t k = 0; k < shown; ++k) {
    const AdsError& e = errors[k];
    std::string text = "  ";
    text += adsErrorMessage(e.code);
    if (e.secondLine != ADS_NO_LINE) {
      text += " at lines " + std::to_string(e.secondLine) + " and " + std::to_string(e.line) + ".";
    } else if (e.line != ADS_NO_LINE) {
      text += " at line " + std::to_string(e.line) + ".";
    }
    lines.push_back(std::move(text));
  }
  return lines;
}

std::string adsCreateLogEntry(std::string_view name, const DES& des) {
  std::string entry(name);
  entry += " = Create(";
  entry += name;

  std::string group;
  for (std::int64_t s = 0; s < des.size(); ++s) {
    if (!des[s].marked) continue;
    group += group.empty() ? ",[mark " : ",";
    group += std::to_string(s);
  }
  if (!group.empty()) entry += group + "]";

  group.clear();
  for (std::int64_t s = 0; s < des.size(); ++s) {
    const int vocal = des[s].vocal;
    if (vocal <= 0) continue;
    group += group.empty() ? ",[voc " : ",";
    group += '[';
    group += std::to_string(s);
    group += ',';
    group += std::to_string(vocal);
    group += ']';
  }
  if (!group.empty()) entry += group + "]";

  group.clear();
  for (std::int64_t s = 0; s < des.size(); ++s) {
    for (const Transition& t : transitionsOf(des[s])) {
      group += group.empty() ? ",[tran " : ",";
      group += '[';
      group += std::to_string(s);
      group += ',';
      group += t.event == EPSILON_LABEL ? std::string("e") : std::to_string(t.event);
      group += ',';
      group += std::to_string(static_cast<std::int64_t>(t.target));
      group += ']';
    }
  }
  if (!group.empty()) entry += group + "]";

  entry += ")  (" + std::to_string(des.size()) + "," + std::to_string(countTransitions(des)) + ")\n\n";
  return entry;
}

} // namespace kav
