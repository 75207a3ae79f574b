#include "cli/replay.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <set>

#include "cli/arguments.h"
#include "cli/commands.h"
#include "cli/staging.h"
#include "engine/startup.h"
#include "model/desfile.h"
#include "model/session.h"
#include "model/userfiles.h"

namespace kav {

namespace {

// The console wraps entries before column 75: a wrapped line holds exactly
// this many characters and its continuation starts with the indentation.
constexpr std::size_t WRAPPED_LINE_LENGTH = 74;

// The second lines of an entry, which start after the indentation too but
// are lines of their own.
bool startsOwnLine(std::string_view text) {
  for (const char* prefix : {"Computing time = ", "New event labels: ", "FailObs(", "FailSobs("})
    if (text.starts_with(prefix)) return true;
  return false;
}

std::string unwrapEntry(const std::vector<std::string>& lines) {
  const std::size_t equals = lines[0].find(" = ");
  const std::size_t indent = equals == std::string::npos ? 0 : equals + 3;
  std::string text = lines[0];
  std::size_t lastLength = lines[0].size();
  for (std::size_t k = 1; k < lines.size(); ++k) {
    const std::string& line = lines[k];
    const bool indented = indent > 0 && line.size() > indent &&
                          line.compare(0, indent, std::string(indent, ' ')) == 0 && line[indent] != ' ';
    if (lastLength == WRAPPED_LINE_LENGTH && indented && !startsOwnLine(std::string_view(line).substr(indent))) {
      text += line.substr(indent);
    } else {
      text += '\n';
      text += line;
    }
    lastLength = line.size();
  }
  return text;
}

// Splits at the commas that stand outside brackets and parentheses.
std::vector<std::string> splitTop(std::string_view text, char separator = ',') {
  std::vector<std::string> pieces;
  int depth = 0;
  std::string current;
  for (char c : text) {
    if (c == '(' || c == '[') ++depth;
    if (c == ')' || c == ']') --depth;
    if (c == separator && depth == 0) {
      pieces.push_back(current);
      current.clear();
    } else {
      current += c;
    }
  }
  pieces.push_back(current);
  return pieces;
}

// The inside of "[...]" or of "Word[...]"; false when text is not such.
bool bracketed(std::string_view text, std::string_view word, std::string& inside) {
  if (!text.starts_with(word) || text.size() < word.size() + 2 || text[word.size()] != '[' || text.back() != ']')
    return false;
  inside = std::string(text.substr(word.size() + 1, text.size() - word.size() - 2));
  return true;
}

// "[1,2],[3,4]" -> "1:2,3:4"; "[*,10,20]" -> "*:10:20".
std::string colonGroups(const std::string& text) {
  std::string out;
  for (const std::string& group : splitTop(text)) {
    std::string inside;
    if (group.empty() || !bracketed(group, "", inside)) continue;
    for (char& c : inside)
      if (c == ',') c = ':';
    out += (out.empty() ? "" : ",") + inside;
  }
  return out;
}

ReplayToken literal(std::string text) { return {ReplayToken::LITERAL, std::move(text)}; }
ReplayToken input(const std::string& name, const char* extension = ".DES") {
  return {ReplayToken::INPUT, name + extension};
}
ReplayToken output(const std::string& name, const char* extension = ".DES") {
  return {ReplayToken::OUTPUT, name + extension};
}

// The list part of the projection family: Null[...], Image[...] or the name
// of an IMAGE_DES.
void addErasing(std::vector<ReplayToken>& command, const std::string& part) {
  std::string inside;
  if (bracketed(part, "Null", inside)) {
    command.push_back(literal("--erase=" + inside));
  } else if (bracketed(part, "Image", inside)) {
    command.push_back(literal("--image=" + inside));
  } else {
    command.push_back(literal("--image-des"));
    command.push_back(input(part));
  }
}

// "  (s,t)" and the like at the start of the text after the arguments.
bool readSizes(std::string_view rest, std::vector<std::pair<long long, long long>>& sizes) {
  long long s, t;
  if (std::sscanf(std::string(rest).c_str(), " (%lld,%lld", &s, &t) != 2) return false;
  sizes.push_back({s, t});
  return true;
}

// "  ((s,t);(s,t))" of Natobs and Localize.
void readSizeList(std::string_view rest, std::vector<std::pair<long long, long long>>& sizes) {
  const std::size_t open = rest.find("((");
  const std::size_t close = rest.find("))");
  if (open == std::string_view::npos || close == std::string_view::npos) return;
  for (const std::string& piece : splitTop(rest.substr(open + 1, close - open), ';')) {
    long long s, t;
    if (std::sscanf(piece.c_str(), "(%lld,%lld)", &s, &t) == 2) sizes.push_back({s, t});
  }
}

std::vector<long long> numbersOf(const std::string& labels) {
  std::vector<long long> out;
  for (const std::string& piece : splitTop(labels)) {
    if (piece == "e") out.push_back(1000);
    else if (!piece.empty()) out.push_back(std::atoll(piece.c_str()));
  }
  return out;
}

const std::set<std::string> ONE_IN_ONE_OUT = {"Trim", "Minstate", "Recode", "Outconsis", "Higen", "Hiconsis"};
const std::set<std::string> DEVELOPMENT = {"Path-to-block", "Shortestpath", "Attach", "Statemap"};

} // namespace

std::vector<std::string> splitLogEntries(const std::string& log) {
  std::vector<std::string> entries;
  std::vector<std::string> lines;
  std::size_t at = 0;
  while (at <= log.size()) {
    std::size_t end = log.find('\n', at);
    if (end == std::string::npos) end = log.size();
    std::string line = log.substr(at, end - at);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) {
      if (!lines.empty()) entries.push_back(unwrapEntry(lines));
      lines.clear();
    } else {
      lines.push_back(line);
    }
    at = end + 1;
  }
  if (!lines.empty()) entries.push_back(unwrapEntry(lines));
  return entries;
}

ReplayStep replayStepOf(const std::string& entry) {
  ReplayStep step;
  const std::size_t lineEnd = entry.find('\n');
  const std::string first = entry.substr(0, lineEnd);
  const std::string more = lineEnd == std::string::npos ? std::string() : entry.substr(lineEnd + 1);
  step.entry = first;
  const std::size_t equals = first.find(" = ");
  const std::size_t open = first.find('(', equals == std::string::npos ? 0 : equals);
  if (equals == std::string::npos || open == std::string::npos) {
    step.notReplayed = "not an entry of a procedure";
    return step;
  }
  const std::string lhs = first.substr(0, equals);
  const std::string name = first.substr(equals + 3, open - equals - 3);
  // The arguments run to the parenthesis that closes the first one.
  std::size_t close = open;
  for (int depth = 0; close < first.size(); ++close) {
    if (first[close] == '(' || first[close] == '[') ++depth;
    if ((first[close] == ')' || first[close] == ']') && --depth == 0) break;
  }
  if (close >= first.size()) {
    step.notReplayed = "the entry is cut short";
    return step;
  }
  const std::vector<std::string> a = splitTop(std::string_view(first).substr(open + 1, close - open - 1));
  const std::string_view rest = std::string_view(first).substr(close + 1);

  if (name == "Create" || name == "Edit") {
    step.notReplayed = name == "Create" ? "made by Create or FD" : "made by Edit";
    // What the file had then, to tell whether the one taken now is the same.
    step.tries.push_back({output(lhs)});
    readSizes(rest, step.sizes);
    return step;
  }
  if (DEVELOPMENT.count(name)) {
    step.notReplayed = "a development procedure";
    step.tries.push_back({output(lhs)});
    readSizes(rest, step.sizes);
    return step;
  }

  std::vector<ReplayToken> c;
  const auto sized = [&] {
    if (!readSizes(rest, step.sizes)) step.notReplayed = "no sizes recorded";
  };
  if (ONE_IN_ONE_OUT.count(name) && a.size() == 1) {
    std::string command = name == "Recode" ? "recode" : name;
    for (char& ch : command) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    c = {literal(command), input(a[0]), literal("-o"), output(lhs)};
    sized();
    step.tries.push_back(c);
    // The log does not say which option Hiconsis had; the single new
    // output is the dialog's default.
    if (name == "Hiconsis") {
      c.push_back(literal("--multiple"));
      step.tries.push_back(c);
    }
    return step;
  }
  if ((name == "Sync" || name == "Meet") && a.size() >= 2) {
    c = {literal(name == "Sync" ? "sync" : "meet")};
    for (const std::string& in : a) c.push_back(input(in));
    c.push_back(literal("-o"));
    c.push_back(output(lhs));
    sized();
    const std::size_t blocked = rest.find("Blocked_events = ");
    if (blocked != std::string_view::npos) {
      step.hasBlocked = true;
      std::string inside;
      std::string_view list = rest.substr(blocked + 17);
      while (!list.empty() && list.back() == ' ') list.remove_suffix(1);
      if (bracketed(list, "", inside)) step.blocked = numbersOf(inside);
    }
  } else if ((name == "Supcon" || name == "Condat") && a.size() == 2) {
    const bool condat = name == "Condat";
    c = {literal(condat ? "condat" : "supcon"), input(a[0]), input(a[1]), literal("-o"),
         output(lhs, condat ? ".DAT" : ".DES")};
    if (condat) {
      step.hasControllable = true;
      step.controllable = rest.find("Uncontrollable") == std::string_view::npos;
    } else {
      sized();
    }
  } else if ((name == "Selfloop" || name == "Complement") && a.size() == 2) {
    std::string inside;
    bracketed(a[1], "", inside);
    c = {literal(name == "Selfloop" ? "selfloop" : "complement"), input(a[0]), literal("-o"), output(lhs),
         literal("--events=" + inside)};
    sized();
  } else if ((name == "Mutex" && a.size() == 3) || (name == "Relabel" && a.size() == 2)) {
    std::string inside;
    bracketed(a.back(), "", inside);
    c = {literal(name == "Mutex" ? "mutex" : "relabel"), input(a[0])};
    if (name == "Mutex") c.push_back(input(a[1]));
    c.push_back(literal("-o"));
    c.push_back(output(lhs));
    c.push_back(literal("--pairs=" + colonGroups(inside)));
    sized();
  } else if (name == "Vocalize" && a.size() == 2) {
    std::string inside;
    bracketed(a[1], "", inside);
    c = {literal("vocalize"), input(a[0]), literal("-o"), output(lhs)};
    if (!inside.empty()) c.push_back(literal("--vocal=" + colonGroups(inside)));
    sized();
  } else if (name == "Force" && a.size() == 4) {
    std::string forcible, preemptable, timeout;
    bracketed(a[1], "Forcible ", forcible);
    bracketed(a[2], "Preemptible ", preemptable);
    bracketed(a[3], "Timeout ", timeout);
    c = {literal("force"),
         input(a[0]),
         literal("-o"),
         output(lhs),
         literal("--forcible=" + forcible),
         literal("--preemptable=" + preemptable),
         literal("--timeout=" + timeout)};
    sized();
  } else if ((name == "Project" || name == "Uncertmod") && a.size() == 2) {
    c = {literal(name == "Project" ? "project" : "uncertmod"), input(a[0]), literal("-o"), output(lhs)};
    addErasing(c, a[1]);
    sized();
  } else if ((name == "Supnorm" || name == "Supscop" || name == "Supconrobs" || name == "Suprobs") && a.size() == 3) {
    std::string command = name;
    for (char& ch : command) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    c = {literal(command), input(a[0]), input(a[1]), literal("-o"), output(lhs)};
    addErasing(c, a[2]);
    sized();
  } else if ((name == "Supqc" || name == "Supsqc") && a.size() == 3) {
    c = {literal(name == "Supqc" ? "supqc" : "supsqc"), input(a[0]), literal("-o"), output(lhs)};
    addErasing(c, a[1]);
    std::string inside;
    if (!bracketed(a[2], name == "Supqc" ? "QC" : "SQC", inside)) inside = "omitted";
    if (inside != "omitted") {
      c.push_back(literal("--partition"));
      step.partition = inside;
    }
    sized();
    step.hasDeterministic = true;
    step.deterministic = rest.find("Nondeterministic") == std::string_view::npos;
  } else if (name == "Allevents" && a.size() == 1) {
    std::string inside;
    c = {literal("allevents")};
    if (bracketed(a[0], "", inside)) c.push_back(literal("--events=" + inside));
    else if (a[0].size() > 4 && a[0].ends_with(".DAT")) c.push_back(input(a[0].substr(0, a[0].size() - 4), ".DAT"));
    else c.push_back(input(a[0].size() > 4 && a[0].ends_with(".DES") ? a[0].substr(0, a[0].size() - 4) : a[0]));
    c.push_back(literal("-o"));
    c.push_back(output(lhs));
    sized();
  } else if ((name == "Isomorph" || name == "Nonconflict") && a.size() == 2) {
    // Isomorph's second argument carries ";identity" or the correspondence.
    const std::string second = a[1].substr(0, a[1].find(';'));
    c = {literal(name == "Isomorph" ? "isomorph" : "nonconflict"), input(a[0]), input(second)};
    step.verdictKey = name == "Isomorph" ? "isomorphic" : "nonconflicting";
    step.verdict = lhs == "true";
  } else if ((name == "Obs" || name == "Sobs") && a.size() == 3) {
    c = {literal(name == "Obs" ? "observable" : "sobservable"), input(a[0]), input(a[1])};
    addErasing(c, a[2]);
    step.verdictKey = "observable";
    step.verdict = lhs == "true";
    const std::size_t fail = more.find('[');
    const std::size_t end = more.rfind("])");
    if (fail != std::string::npos && end != std::string::npos && end > fail)
      step.failures = more.substr(fail + 1, end - fail - 1);
  } else if (name == "Supreduce" && a.size() == 3) {
    c = {literal("supreduce"), input(a[0]), input(a[1]), input(a[2], ".DAT"), literal("-o"), output(lhs)};
    sized();
    const std::size_t slb = rest.find(";slb=");
    if (slb != std::string_view::npos) step.lowerBound = std::atoll(std::string(rest.substr(slb + 5)).c_str());
    // The console cleans up unless the user declines; the log does not say.
    std::vector<ReplayToken> cleaned = c;
    cleaned.push_back(literal("--clean-up"));
    step.tries = {cleaned, c};
    return step;
  } else if (name == "Localize" && a.size() == 3 && lhs.size() > 2 && lhs.front() == '(') {
    std::string components = a[1];
    if (components.size() >= 2 && components.front() == '(') components = components.substr(1, components.size() - 2);
    c = {literal("localize"), input(a[0]), input(a[2])};
    for (const std::string& component : splitTop(components)) c.push_back(input(component));
    for (const std::string& controller : splitTop(lhs.substr(1, lhs.size() - 2))) {
      c.push_back(literal("-o"));
      c.push_back(output(controller));
    }
    readSizeList(rest, step.sizes);
    const std::size_t check = more.find(" = ControlEqu(");
    if (check != std::string::npos) {
      c.push_back(literal("--check"));
      step.verdictKey = "control_equivalent";
      step.verdict = more.compare(0, 4, "true") == 0;
    }
    std::vector<ReplayToken> kept = c;
    kept.push_back(literal("--no-clean-up"));
    step.tries = {c, kept};
    return step;
  } else if (name == "Natobs" && a.size() == 2 && lhs.size() > 2 && lhs.front() == '(') {
    const std::vector<std::string> outs = splitTop(lhs.substr(1, lhs.size() - 2));
    if (outs.size() != 2) {
      step.notReplayed = "not an entry of a procedure";
      return step;
    }
    c = {literal("natobs"), input(a[0]), literal("-o"), output(outs[0]), literal("--image-out"), output(outs[1])};
    std::string inside;
    if (bracketed(a[1], "", inside)) {
      c.push_back(literal("--seed=" + inside));
    } else {
      c.push_back(literal("--seed-from"));
      const std::string source = a[1].size() > 4 ? a[1].substr(0, a[1].size() - 4) : a[1];
      c.push_back(input(source, a[1].ends_with(".DAT") ? ".DAT" : ".DES"));
    }
    readSizeList(rest, step.sizes);
  } else {
    step.notReplayed = "not an entry of a procedure the command line runs";
    return step;
  }
  step.tries.push_back(c);
  return step;
}

std::string replayHelp() {
  return "Usage: kav replay [LOG] [--from DIR] [--into DIR] [--keep-going] [--script]\n"
         "\n"
         "Runs a session log (MAKEIT.TXT of the user directory by default) again, entry by\n"
         "entry, and checks every result against the states, transitions and verdicts it\n"
         "recorded: one line per entry, OK, DIFFERENT or NOT REPLAYED (and why).\n"
         "\n"
         "Options:\n"
         "  --from DIR     where the inputs no replayed entry makes are taken from (made by\n"
         "                 Create, Edit, FD or outside KAV); default: the log's directory\n"
         "  --into DIR     where the results go; default: a new temporary directory\n"
         "  --keep-going   run on after a difference\n"
         "  --script       print the equivalent shell script of kav commands instead\n"
         "\n"
         "Exit status: 0 when every replayed entry agrees, 1 at a difference, 2 for a log\n"
         "that cannot be read.\n"
         "\n"
         "Example:\n"
         "  kav replay user/MAKEIT.TXT --keep-going\n";
}

namespace {

std::string shellQuoted(const std::string& word) {
  bool plain = !word.empty();
  for (char c : word)
    if (!std::isalnum(static_cast<unsigned char>(c)) && !std::strchr("._/:,=+-@%", c)) plain = false;
  if (plain) return word;
  std::string quoted = "'";
  for (char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

std::string headOf(std::string entry) {
  constexpr std::size_t SHOWN = 60;
  while (!entry.empty() && entry.back() == ' ') entry.pop_back();
  return entry.size() <= SHOWN ? entry : entry.substr(0, SHOWN - 3) + "...";
}

std::string sizesText(const std::pair<long long, long long>& s) {
  return "(" + std::to_string(s.first) + "," + std::to_string(s.second) + ")";
}

const ReportField* fieldOf(const CommandReport& report, const std::string& key) {
  for (const ReportField& f : report.fields)
    if (f.key == key) return &f;
  return nullptr;
}

std::string groupsText(const ReportField* f, bool observability) {
  std::string text;
  if (!f) return text;
  for (const auto& g : f->groups) {
    std::string item;
    for (std::size_t k = 0; k < g.size(); ++k) {
      const bool marker = observability && k == 1 && g[k] == 1001;
      const std::string value = marker ? "_" : observability && k == 1 && g[k] == 1000 ? "e" : std::to_string(g[k]);
      item += (k ? "," : "") + value;
    }
    text += observability ? (text.empty() ? "" : ";") + item : (text.empty() ? "[" : ",[") + item + "]";
  }
  return text;
}

// "" when the report agrees with the log, else what differs.
std::string differences(const ReplayStep& step, const CommandReport& report) {
  if (report.status != EXIT_OK && report.status != EXIT_DOES_NOT_HOLD)
    return "kav " + report.command + ": " + report.error;
  std::string found;
  const auto differ = [&found](const std::string& what) { found += (found.empty() ? "" : "; ") + what; };
  for (std::size_t k = 0; k < step.sizes.size(); ++k) {
    if (k >= report.files.size()) {
      differ("no result");
      break;
    }
    const std::pair<long long, long long> now{report.files[k].states, report.files[k].transitions};
    if (now != step.sizes[k]) differ("recorded " + sizesText(step.sizes[k]) + ", now " + sizesText(now));
  }
  if (!step.verdictKey.empty()) {
    const ReportField* f = fieldOf(report, step.verdictKey);
    const bool now = f && f->flag;
    if (now != step.verdict)
      differ(step.verdictKey + " recorded " + (step.verdict ? "true" : "false") + ", now " + (now ? "true" : "false"));
  }
  if (step.hasControllable && !report.files.empty() && report.files[0].controllable != step.controllable)
    differ(std::string("recorded ") + (step.controllable ? "controllable" : "uncontrollable") + ", now " +
           (report.files[0].controllable ? "controllable" : "uncontrollable"));
  if (step.hasBlocked) {
    const ReportField* f = fieldOf(report, "blocked_events");
    const std::vector<long long> now =
        f ? std::vector<long long>(f->integers.begin(), f->integers.end()) : std::vector<long long>{};
    if (now != step.blocked) differ("the blocked events differ");
  }
  if (step.lowerBound > 0) {
    const ReportField* f = fieldOf(report, "lower_bound");
    if (!f || f->integer != step.lowerBound) differ("the lower bound differs");
  }
  if (step.hasDeterministic && !report.files.empty() && report.files[0].deterministic != step.deterministic)
    differ("the determinism differs");
  if (!step.partition.empty() && groupsText(fieldOf(report, "partition"), false) != step.partition)
    differ("the partition differs");
  if (!step.failures.empty() && groupsText(fieldOf(report, "failures"), true) != step.failures)
    differ("the failures differ");
  return found;
}

std::string directoryOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string("./") : path.substr(0, slash + 1);
}

std::string withSlash(std::string dir) { return dir.empty() || dir.back() != '/' ? dir + "/" : dir; }

std::string upperName(std::string name) {
  for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return name;
}

struct Replay {
  std::string fromDir;        // ends in '/'
  std::string intoDir;        // ends in '/'
  std::set<std::string> made; // files made by replayed entries, upper case
};

// Where the file an interactive entry made is taken from, and whether it
// still has the sizes the entry recorded.
std::string describeTaken(const Replay& replay, const std::string& file,
                          const std::pair<long long, long long>& recorded) {
  const std::string path = resolveFilePath(replay.fromDir, file);
  DES des;
  std::int64_t init = 0;
  if (loadDESFile(path, des, init) != LOAD_OK) return file + " is not in " + replay.fromDir;
  const std::pair<long long, long long> now{des.size(), countTransitions(des)};
  if (now == recorded) return file + " is taken from " + replay.fromDir;
  return file + " is taken from " + replay.fromDir + ", where it has changed since: recorded " + sizesText(recorded) +
         ", now " + sizesText(now);
}

// The arguments with files as paths: outputs in the results' directory,
// inputs there when a replayed entry made them, else in the inputs'
// directory. Empty, with the file's name in `missing`, when an input can
// be found nowhere.
std::vector<std::string> resolve(const Replay& replay, const std::vector<ReplayToken>& tokens, std::string& missing) {
  std::vector<std::string> args;
  for (const ReplayToken& t : tokens) {
    if (t.kind == ReplayToken::LITERAL) {
      args.push_back(t.text);
    } else if (t.kind == ReplayToken::OUTPUT) {
      args.push_back(replay.intoDir + t.text);
    } else {
      const bool ours = replay.made.count(upperName(t.text)) > 0;
      const std::string path = resolveFilePath(ours ? replay.intoDir : replay.fromDir, t.text);
      if (!fileExists(path)) {
        missing = t.text + (ours ? " (its entry failed)" : "");
        return {};
      }
      args.push_back(path);
    }
  }
  return args;
}

bool sameDirectory(const std::string& a, const std::string& b) {
  struct stat x, y;
  return ::stat(a.c_str(), &x) == 0 && ::stat(b.c_str(), &y) == 0 && x.st_dev == y.st_dev && x.st_ino == y.st_ino;
}

} // namespace

int runReplay(const std::vector<std::string>& args, const char* argv0) {
  Arguments parsed;
  const std::string problem = parseArguments(
      {args.begin() + 1, args.end()},
      {{"from", 0, true}, {"into", 0, true}, {"keep-going", 0, false}, {"script", 0, false}, {"help", 'h', false}},
      parsed);
  const auto usage = [](const std::string& message) {
    std::fprintf(stderr, "kav replay: %s\n", message.c_str());
    return static_cast<int>(EXIT_USAGE);
  };
  if (!problem.empty()) return usage(problem);
  if (hasOption(parsed, "help")) {
    std::fputs(replayHelp().c_str(), stdout);
    return EXIT_OK;
  }
  if (parsed.files.size() > 1) return usage("takes one log");
  std::string logPath;
  if (parsed.files.empty()) {
    // The session log of the user directory, found as the console finds it.
    initSession(argv0);
    logPath = userPath("MAKEIT", ".TXT");
  } else {
    logPath = parsed.files[0];
  }
  std::ifstream in(logPath, std::ios::binary);
  struct stat info;
  if (!in || ::stat(logPath.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return usage(logPath + ": cannot be read");
  const std::string log((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<ReplayStep> steps;
  for (const std::string& entry : splitLogEntries(log)) steps.push_back(replayStepOf(entry));

  if (hasOption(parsed, "script")) {
    std::string script = "#!/bin/sh\n# " + logPath + " as kav commands, run where its files are.\n";
    for (const ReplayStep& step : steps) {
      script += "\n# " + step.entry + "\n";
      if (!step.notReplayed.empty()) {
        script += "#   not a command: " + step.notReplayed + "\n";
        continue;
      }
      std::string line = "kav";
      for (const ReplayToken& t : step.tries[0]) line += " " + shellQuoted(t.text);
      script += line + "\n";
    }
    std::fputs(script.c_str(), stdout);
    return EXIT_OK;
  }

  Replay replay;
  replay.fromDir = withSlash(hasOption(parsed, "from") ? optionValue(parsed, "from") : directoryOf(logPath));
  if (!isEnterableDirectory(replay.fromDir)) return usage(replay.fromDir + ": not a directory");
  if (hasOption(parsed, "into")) {
    replay.intoDir = withSlash(optionValue(parsed, "into"));
    if (::mkdir(replay.intoDir.c_str(), 0777) != 0 && errno != EEXIST)
      return usage(replay.intoDir + ": " + std::strerror(errno));
    if (sameDirectory(replay.intoDir, replay.fromDir))
      return usage("--into names the directory of the inputs; the results would overwrite them");
  } else {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = withSlash(tmp && *tmp ? tmp : "/tmp") + "kav-replay-XXXXXX";
    if (!::mkdtemp(pattern.data())) return usage(pattern + ": " + std::strerror(errno));
    replay.intoDir = pattern + "/";
  }
  std::printf("replaying %s into %s\n", logPath.c_str(), replay.intoDir.c_str());
  std::fflush(stdout);

  bool differed = false;
  for (const ReplayStep& step : steps) {
    const std::string head = headOf(step.entry);
    if (!step.notReplayed.empty()) {
      std::string note = step.notReplayed;
      // The file it made is the user's from here on.
      if (!step.tries.empty()) replay.made.erase(upperName(step.tries[0][0].text));
      if (!step.tries.empty() && step.sizes.size() == 1)
        note += "; " + describeTaken(replay, step.tries[0][0].text, step.sizes[0]);
      std::printf("NOT REPLAYED  %s: %s\n", head.c_str(), note.c_str());
      std::fflush(stdout);
      continue;
    }
    std::string missing;
    std::vector<std::string> resolved = resolve(replay, step.tries[0], missing);
    if (resolved.empty()) {
      std::printf("NOT REPLAYED  %s: missing source %s\n", head.c_str(), missing.c_str());
      std::fflush(stdout);
      continue;
    }
    // The first try is what the console most likely ran; the others stand
    // for answers the log does not record.
    std::string found;
    for (std::size_t k = 0; k < step.tries.size(); ++k) {
      CommandReport report;
      runCommand(k == 0 ? resolved : resolve(replay, step.tries[k], missing), report, false);
      const std::string now = differences(step, report);
      if (now.empty()) {
        found.clear();
        break;
      }
      if (k == 0) found = now;
    }
    for (const ReplayToken& t : step.tries[0])
      if (t.kind == ReplayToken::OUTPUT) replay.made.insert(upperName(t.text));
    // Ctrl-C while a command finished ends the replay after it.
    if (resumeInterrupts()) return EXIT_INTERRUPTED;
    if (found.empty()) {
      std::printf("OK            %s\n", head.c_str());
    } else {
      std::printf("DIFFERENT     %s: %s\n", head.c_str(), found.c_str());
      differed = true;
    }
    std::fflush(stdout);
    if (differed && !hasOption(parsed, "keep-going")) return EXIT_DOES_NOT_HOLD;
  }
  return differed ? EXIT_DOES_NOT_HOLD : EXIT_OK;
}

} // namespace kav
