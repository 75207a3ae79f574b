#include "engine/params.h"

#include <cctype>
#include <charconv>
#include <cstdio>

#include "engine/child.h"
#include "engine/protocol.h"
#include "model/safefile.h"
#include "model/session.h"
#include "model/userfiles.h"

namespace kav {

namespace {

bool readLine(ParamReader& in, std::string_view& line) {
  if (in.pos >= in.text.size()) return false;
  std::size_t end = in.text.find('\n', in.pos);
  const std::size_t next = end == std::string::npos ? in.text.size() : end + 1;
  if (end == std::string::npos) end = in.text.size();
  else if (end > in.pos && in.text[end - 1] == '\r') --end;
  line = std::string_view(in.text).substr(in.pos, end - in.pos);
  in.pos = next;
  return true;
}

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

// An optionally signed decimal integer that fits a long, nothing else.
bool parseInteger(std::string_view text, long& value) {
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  if (text.empty() || text.front() == '+') return false;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size();
}

bool readEvents(ParamReader& in, EventList& events, bool stopAtMinusOne) {
  long value;
  for (;;) {
    switch (readParamToken(in, value)) {
    case TOKEN_END: return true;
    case TOKEN_BAD: return false;
    case TOKEN_OK: break;
    }
    if (stopAtMinusOne && value == -1) return true;
    if (value < 0 || value > 1000) return false;
    insertEvent(events, static_cast<std::uint16_t>(value));
  }
}

} // namespace

bool readParamName(ParamReader& in, std::string& name) {
  std::string_view line;
  if (!readLine(in, line)) return false;
  // Kept as written: the path is made with userPath, which removes the
  // leading blanks once (removing them here too would remove four).
  name.assign(line);
  return isValidFileName(trimNameBlanks(line));
}

bool readParamNumber(ParamReader& in, long& value, long lo, long hi) {
  std::string_view line;
  if (!readLine(in, line)) return false;
  while (!line.empty() && isBlank(line.front())) line.remove_prefix(1);
  while (!line.empty() && isBlank(line.back())) line.remove_suffix(1);
  return parseInteger(line, value) && value >= lo && value <= hi;
}

TokenStatus readParamToken(ParamReader& in, long& value) {
  const std::string& t = in.text;
  while (in.pos < t.size() && isBlank(t[in.pos])) ++in.pos;
  if (in.pos >= t.size()) return TOKEN_END;
  std::size_t end = in.pos;
  while (end < t.size() && !isBlank(t[end])) ++end;
  const bool ok = parseInteger(std::string_view(t).substr(in.pos, end - in.pos), value);
  in.pos = end;
  return ok ? TOKEN_OK : TOKEN_BAD;
}

bool readEventsUntilEnd(ParamReader& in, EventList& events) { return readEvents(in, events, false); }

bool readEventsUntilMinusOne(ParamReader& in, EventList& events) { return readEvents(in, events, true); }

void addName(ParameterLines& lines, std::string_view name) {
  lines.text += name;
  lines.text += '\n';
}

void addNumber(ParameterLines& lines, long value) {
  lines.text += std::to_string(value);
  lines.text += '\n';
}

void addPair(ParameterLines& lines, long a, long b) {
  lines.text += std::to_string(a) + ' ' + std::to_string(b) + '\n';
}

void addLabels(ParameterLines& lines, const EventList& labels) {
  for (std::uint16_t e : labels) addNumber(lines, e);
}

namespace {

bool writeParameterFile(int code, const ParameterLines& lines) {
  // Written aside and renamed like every file: a FIFO or a link left
  // under the name is replaced, never opened.
  return writeFileAtomically(
      protocolPath(PARAMETER_FILE),
      [&](std::FILE* stream) {
        const bool head =
            std::fprintf(stream, "%d\n%d\n%d\n", session.debugMode ? 1 : 0, session.minimizerSelector, code) > 0;
        return std::fwrite(lines.text.data(), 1, lines.text.size(), stream) == lines.text.size() && head;
      },
      false);
}

} // namespace

int runBatchProcedure(int code, const ParameterLines& lines, const ResultReader& reader) {
  return writeParameterFile(code, lines) ? runChild(reader) : RESULT_NO_PARAMETER_FILE;
}

} // namespace kav
