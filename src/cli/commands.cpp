#include "cli/commands.h"

#include <sys/resource.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <new>

#include "cli/arguments.h"
#include "cli/progressLine.h"
#include "cli/replay.h"
#include "cli/staging.h"
#include "cli/symbolicCommands.h"
#include "engine/child.h"
#include "engine/pictures.h"
#include "engine/protocol.h"
#include "model/desfile.h"
#include "model/session.h"
#include "model/userfiles.h"
#include "output/ads.h"
#include "output/exchange.h"
#include "output/listing.h"
#include "synthesis/localize.h"
#include "synthesis/supreduce.h"

namespace kav {

namespace {

struct Invocation;
// Fills the request from the arguments; false after setting the report's
// status and error.
using Builder = bool (*)(Invocation& inv, ProcedureRequest& r);
// After a successful run, before the outputs are moved into place: the
// command's own figures and verdict, and any work on its staged outputs.
using Finisher = void (*)(Invocation& inv, const ProcedureRequest& r, const ProcedureOutcome& o);

struct CommandEntry {
  const char* name;
  int code; // the procedure; -1 when the builder does the whole job (a builder may also set r.code to -1)
  Builder build;
  Finisher finish;                 // null: nothing beyond the files
  std::vector<OptionRule> options; // beyond the common ones
  const char* synopsis;
  const char* summary;    // one sentence
  const char* optionHelp; // lines "  --x ...  what", may be empty
  const char* example;
};

// The options every command takes.
const std::vector<OptionRule> COMMON_OPTIONS = {
    {"output", 'o', true}, {"json", 0, false}, {"quiet", 'q', false}, {"help", 'h', false}};

struct Invocation {
  const CommandEntry& entry;
  CommandReport& report;
  Arguments args;
  OutputStage stage;
  bool progress = true; // show progress on a terminal
};

// Sets the report's status and message and answers false, so that
// `return refuse(...)` ends a step.
bool refuse(Invocation& inv, int status, const std::string& message) {
  inv.report.status = status;
  inv.report.error = message;
  return false;
}

bool usage(Invocation& inv, const std::string& message) { return refuse(inv, EXIT_USAGE, message); }

// --- Files -----------------------------------------------------------------------------

bool hasExtension(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  const std::size_t dot = path.rfind('.');
  return dot != std::string::npos && (slash == std::string::npos || dot > slash + 1);
}

std::string upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

bool hasExtension(const std::string& path, const char* extension) {
  return path.size() >= std::strlen(extension) && upper(path.substr(path.size() - std::strlen(extension))) == extension;
}

// The path as typed with the usual extension added when it has none, then
// matched as the user directory matches names: the exact file, else the
// one file whose name differs only in case.
std::string resolvePath(const std::string& typed, const char* extension) {
  const std::string path = hasExtension(typed) ? typed : typed + extension;
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return resolveFilePath("", path);
  return resolveFilePath(path.substr(0, slash + 1), path.substr(slash + 1));
}

// The file name without directory and extension: the DES name shown in
// listings and pictures.
std::string baseName(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  const std::size_t dot = name.rfind('.');
  if (dot != std::string::npos && dot > 0) name.erase(dot);
  return name;
}

// Two names of one existing file.
bool sameFile(const std::string& a, const std::string& b) {
  struct stat x, y;
  return ::stat(a.c_str(), &x) == 0 && ::stat(b.c_str(), &y) == 0 && x.st_dev == y.st_dev && x.st_ino == y.st_ino;
}

bool needFiles(Invocation& inv, std::size_t least, std::size_t most) {
  const std::size_t n = inv.args.files.size();
  if (n >= least && n <= most) return true;
  if (least == most) return usage(inv, "needs " + std::to_string(least) + (least == 1 ? " file" : " files"));
  if (n < least) return usage(inv, "needs at least " + std::to_string(least) + " files");
  return usage(inv, "takes at most " + std::to_string(most) + " files");
}

// An input file, which must exist and be a regular file.
bool inputPath(Invocation& inv, const std::string& typed, const char* extension, std::string& path) {
  path = resolvePath(typed, extension);
  struct stat info;
  if (::stat(path.c_str(), &info) != 0)
    return refuse(inv, EXIT_UNREADABLE_INPUT,
                  path + (errno == ENOENT ? ": no such file" : ": " + std::string(std::strerror(errno))));
  if (!S_ISREG(info.st_mode)) return refuse(inv, EXIT_UNREADABLE_INPUT, path + ": not a regular file");
  return true;
}

bool input(Invocation& inv, std::size_t k, const char* extension, ProcedureRequest& r) {
  std::string path;
  if (!inputPath(inv, inv.args.files[k], extension, path)) return false;
  r.inputs.push_back(path);
  return true;
}

bool inputs(Invocation& inv, std::size_t from, const char* extension, ProcedureRequest& r) {
  for (std::size_t k = from; k < inv.args.files.size(); ++k)
    if (!input(inv, k, extension, r)) return false;
  return true;
}

// The staged path of an output given as `typed`.
bool outputPath(Invocation& inv, const std::string& typed, const char* extension, ProcedureRequest& r) {
  const std::string path = resolvePath(typed, extension);
  struct stat info;
  if (::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode))
    return refuse(inv, EXIT_NOT_WRITTEN, path + ": is a directory");
  for (const StagedOutput& o : inv.stage.outputs)
    if (o.finalPath == path) return usage(inv, path + ": named twice as an output");
  const std::string staged = stageOutput(inv.stage, path);
  if (staged.empty()) return refuse(inv, EXIT_NOT_WRITTEN, path + ": cannot be written: " + std::strerror(errno));
  r.outputs.push_back(staged);
  return true;
}

// The k-th -o.
bool output(Invocation& inv, std::size_t k, const char* extension, ProcedureRequest& r) {
  const std::vector<std::string> named = optionValues(inv.args, "output");
  if (k >= named.size()) return usage(inv, k == 0 ? "needs an output: -o PATH" : "needs another output: -o PATH");
  return outputPath(inv, named[k], extension, r);
}

// Exactly one -o.
bool oneOutput(Invocation& inv, const char* extension, ProcedureRequest& r) {
  if (optionValues(inv.args, "output").size() > 1) return usage(inv, "takes one output (-o)");
  return output(inv, 0, extension, r);
}

// --- Lists and numbers -------------------------------------------------------------

bool labels(Invocation& inv, const char* option, EventList& out) {
  for (const std::string& text : optionValues(inv.args, option))
    if (!parseLabelList(text, out))
      return usage(inv, "--" + std::string(option) + " " + text + ": not a list of event labels");
  return true;
}

bool pairs(Invocation& inv, const char* option, bool ofLabels, StatePairList& out) {
  for (const std::string& text : optionValues(inv.args, option))
    if (!parsePairList(text, ofLabels, out))
      return usage(inv, "--" + std::string(option) + " " + text + ": not a list of pairs A:B");
  return true;
}

bool number(Invocation& inv, const char* option, long lo, long hi, long& value) {
  const std::string text = optionValue(inv.args, option);
  if (!parseNumber(text, lo, hi, value))
    return usage(inv, "--" + std::string(option) + " " + text + ": not a number in " + std::to_string(lo) + ".." +
                          std::to_string(hi));
  return true;
}

// The labels on the transitions of a file that must load.
bool labelsOfInput(Invocation& inv, const std::string& path, std::int64_t init, EventList& out) {
  DES des;
  std::int64_t fileInit = init;
  if (loadDESFile(path, des, fileInit) != LOAD_OK)
    return refuse(inv, EXIT_UNREADABLE_INPUT, path + (init == -1 ? ": not a DAT file" : ": not a DES file"));
  collectEvents(des, out);
  return true;
}

// The erased events of the projection family: --erase as given, or every
// label of the inputs `against` that --image (or the events of the DES
// named by --image-des) does not retain. None given erases nothing.
bool erasedEvents(Invocation& inv, const std::vector<std::string>& against, EventList& erased) {
  const int given = hasOption(inv.args, "erase") + hasOption(inv.args, "image") + hasOption(inv.args, "image-des");
  if (given > 1) return usage(inv, "give one of --erase, --image and --image-des");
  if (hasOption(inv.args, "erase")) return labels(inv, "erase", erased);
  if (given == 0) return true;
  EventList retained;
  if (hasOption(inv.args, "image")) {
    if (!labels(inv, "image", retained)) return false;
  } else {
    std::string path;
    if (!inputPath(inv, optionValue(inv.args, "image-des"), ".DES", path) || !labelsOfInput(inv, path, 0, retained))
      return false;
  }
  for (const std::string& path : against)
    if (!labelsOfInput(inv, path, 0, erased)) return false;
  std::erase_if(erased, [&](std::uint16_t e) { return findEvent(retained, e); });
  return true;
}

// --- Builders ------------------------------------------------------------------------

// One input, one output (DES).
bool buildOneInOneOut(Invocation& inv, ProcedureRequest& r) {
  return needFiles(inv, 1, 1) && input(inv, 0, ".DES", r) && oneOutput(inv, ".DES", r);
}

bool buildTwoInOneOut(Invocation& inv, ProcedureRequest& r) {
  return needFiles(inv, 2, 2) && inputs(inv, 0, ".DES", r) && oneOutput(inv, ".DES", r);
}

bool buildWithEvents(Invocation& inv, ProcedureRequest& r) {
  return buildOneInOneOut(inv, r) && labels(inv, "events", r.events);
}

bool buildHiconsis(Invocation& inv, ProcedureRequest& r) {
  r.number = hasOption(inv.args, "multiple") ? 1 : 0;
  return buildOneInOneOut(inv, r);
}

bool buildProducts(Invocation& inv, ProcedureRequest& r) {
  return needFiles(inv, 2, 20) && inputs(inv, 0, ".DES", r) && oneOutput(inv, ".DES", r);
}

bool buildMutex(Invocation& inv, ProcedureRequest& r) {
  return buildTwoInOneOut(inv, r) && pairs(inv, "pairs", false, r.pairs);
}

bool buildRelabel(Invocation& inv, ProcedureRequest& r) {
  return buildOneInOneOut(inv, r) && pairs(inv, "pairs", true, r.pairs);
}

bool buildErasing(Invocation& inv, ProcedureRequest& r) {
  return buildOneInOneOut(inv, r) && erasedEvents(inv, {r.inputs[0]}, r.events);
}

bool buildSupqc(Invocation& inv, ProcedureRequest& r) {
  r.number = inv.entry.name == std::string_view("supsqc") ? 2 : 1;
  return buildErasing(inv, r);
}

// Supnorm and Supscop take image events against both inputs, Supconrobs
// and Suprobs against the plant.
bool buildTwoErasingBoth(Invocation& inv, ProcedureRequest& r) {
  return buildTwoInOneOut(inv, r) && erasedEvents(inv, r.inputs, r.events);
}

bool buildTwoErasingPlant(Invocation& inv, ProcedureRequest& r) {
  r.number = 1;
  return buildTwoInOneOut(inv, r) && erasedEvents(inv, {r.inputs[0]}, r.events);
}

bool buildObservable(Invocation& inv, ProcedureRequest& r) {
  r.number = inv.entry.name == std::string_view("sobservable") ? 2 : 1;
  return needFiles(inv, 2, 2) && inputs(inv, 0, ".DES", r) && erasedEvents(inv, {r.inputs[0]}, r.events);
}

bool buildTest(Invocation& inv, ProcedureRequest& r) {
  if (!needFiles(inv, 2, 2) || !inputs(inv, 0, ".DES", r)) return false;
  // One file named twice is its own identity, as for the batch child.
  r.number = sameFile(r.inputs[0], r.inputs[1]) ? 1 : 0;
  return true;
}

bool buildCreate(Invocation& inv, ProcedureRequest& r) {
  if (!hasOption(inv.args, "states")) return usage(inv, "needs --states N");
  if (!number(inv, "states", 0, 2000000, r.number) || !oneOutput(inv, ".DES", r)) return false;
  const std::string marked = optionValue(inv.args, "marked");
  if (marked == "all" || marked == "*") {
    for (long s = 0; s < r.number; ++s) r.markers.push_back(s);
  } else {
    for (std::string_view piece : splitList(marked)) {
      long s;
      if (!parseNumber(piece, 0, r.number - 1, s))
        return usage(inv, "--marked: " + std::string(piece) + " is not a state");
      r.markers.push_back(s);
    }
  }
  const auto addTriple = [&](std::string_view text) {
    std::array<std::string_view, 3> f;
    std::array<long, 3> t;
    if (!splitTriple(text, f) || !parseNumber(f[0], 0, r.number - 1, t[0]) || !parseLabel(f[1], t[1]) ||
        !parseNumber(f[2], 0, r.number - 1, t[2]))
      return usage(inv, std::string(text) + ": not a transition FROM:EVENT:TO of the states");
    r.transitions.push_back(t);
    return true;
  };
  for (const std::string& text : inv.args.files)
    for (std::string_view piece : splitList(text))
      if (!addTriple(piece)) return false;
  if (hasOption(inv.args, "triples")) {
    // Whitespace-separated numbers, three to a transition; "-" reads them
    // from standard input.
    const std::string path = optionValue(inv.args, "triples");
    std::FILE* in = path == "-" ? stdin : std::fopen(path.c_str(), "rb");
    if (!in) return refuse(inv, EXIT_UNREADABLE_INPUT, path + ": " + std::strerror(errno));
    std::string text;
    char buffer[65536];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, in)) > 0;) text.append(buffer, n);
    if (in != stdin) std::fclose(in);
    std::vector<std::string_view> words;
    for (std::size_t at = 0; at < text.size();) {
      while (at < text.size() && std::isspace(static_cast<unsigned char>(text[at]))) ++at;
      const std::size_t start = at;
      while (at < text.size() && !std::isspace(static_cast<unsigned char>(text[at]))) ++at;
      if (at > start) words.push_back(std::string_view(text).substr(start, at - start));
    }
    if (words.size() % 3 != 0) return usage(inv, path + ": the numbers do not come in threes");
    for (std::size_t k = 0; k < words.size(); k += 3)
      if (!addTriple(std::string(words[k]) + ":" + std::string(words[k + 1]) + ":" + std::string(words[k + 2])))
        return false;
  }
  return true;
}

bool buildAllevents(Invocation& inv, ProcedureRequest& r) {
  if (hasOption(inv.args, "events")) {
    if (!needFiles(inv, 0, 0)) return usage(inv, "takes either a file or --events");
    r.number = 3;
    return labels(inv, "events", r.events) && oneOutput(inv, ".DES", r);
  }
  if (!needFiles(inv, 1, 1)) return false;
  const bool dat = hasExtension(inv.args.files[0], ".DAT");
  r.number = dat ? 2 : 1;
  return input(inv, 0, dat ? ".DAT" : ".DES", r) && oneOutput(inv, ".DES", r);
}

bool buildForce(Invocation& inv, ProcedureRequest& r) {
  if (!buildOneInOneOut(inv, r) || !labels(inv, "forcible", r.events) || !labels(inv, "preemptable", r.moreEvents))
    return false;
  if (!hasOption(inv.args, "timeout")) return usage(inv, "needs --timeout EVENT");
  if (!number(inv, "timeout", 1, 999, r.number)) return false;
  // The dialog's rules: the lists name events of DES1 and are disjoint; the
  // timeout is a new controllable event.
  EventList events;
  if (!labelsOfInput(inv, r.inputs[0], 0, events)) return false;
  for (std::uint16_t e : r.events)
    if (!findEvent(events, e)) return usage(inv, "forcible event " + std::to_string(e) + " is not an event of the DES");
  for (std::uint16_t e : r.moreEvents) {
    if (!findEvent(events, e))
      return usage(inv, "preemptable event " + std::to_string(e) + " is not an event of the DES");
    if (findEvent(r.events, e)) return usage(inv, "event " + std::to_string(e) + " is both forcible and preemptable");
  }
  if (r.number % 2 == 0) return usage(inv, "the timeout event must be controllable (odd)");
  if (findEvent(events, static_cast<std::uint16_t>(r.number))) return usage(inv, "the timeout event occurs in the DES");
  return true;
}

bool buildVocalize(Invocation& inv, ProcedureRequest& r) {
  if (!buildOneInOneOut(inv, r)) return false;
  DES des;
  std::int64_t init = 0;
  if (loadDESFile(r.inputs[0], des, init) != LOAD_OK)
    return refuse(inv, EXIT_UNREADABLE_INPUT, r.inputs[0] + ": not a DES file");
  // Each STATE:EVENT:OUTPUT vocalizes the states entered from STATE ("*":
  // from every state) by EVENT, as the dialog's triples do.
  QuadrupleList quadruples;
  for (const std::string& list : optionValues(inv.args, "vocal"))
    for (std::string_view text : splitList(list)) {
      std::array<std::string_view, 3> f;
      long state = -1, event, output;
      if (!splitTriple(text, f) || (f[0] != "*" && !parseNumber(f[0], 0, des.size() - 1, state)) ||
          !parseLabel(f[1], event) || !parseNumber(f[2], 10, 99, output))
        return usage(inv,
                     std::string(text) + ": not STATE:EVENT:OUTPUT with a state of the DES and an output in 10..99");
      const std::size_t before = quadruples.size();
      for (std::int64_t s = state < 0 ? 0 : state; s < des.size() && (state < 0 || s == state); ++s)
        for (const Transition& t : transitionsOf(des[s]))
          if (t.event == event) quadruples.push_back({s, t.event, t.target, static_cast<std::int16_t>(output)});
      if (quadruples.size() == before) return usage(inv, std::string(text) + ": no such transition");
    }
  normalizeSorted(quadruples);
  for (const Quadruple& q : quadruples)
    r.quadruples.push_back({static_cast<long>(q.from), q.event, static_cast<long>(q.to), q.value});
  return true;
}

bool buildSupreduce(Invocation& inv, ProcedureRequest& r) {
  r.number = hasOption(inv.args, "no-bound") ? 0 : 1;
  r.figuresWanted = true;
  return needFiles(inv, 3, 3) && input(inv, 0, ".DES", r) && input(inv, 1, ".DES", r) && input(inv, 2, ".DAT", r) &&
         oneOutput(inv, ".DES", r);
}

bool buildLocalize(Invocation& inv, ProcedureRequest& r) {
  r.number = hasOption(inv.args, "no-clean-up") ? 0 : 1;
  r.figuresWanted = true;
  if (!needFiles(inv, 3, 22) || !inputs(inv, 0, ".DES", r)) return false;
  const std::vector<std::string> named = optionValues(inv.args, "output");
  if (named.empty()) return usage(inv, "needs the local controllers: -o LOC1 -o LOC2 ...");
  if (named.size() > r.inputs.size() - 2) return usage(inv, "names more local controllers than components");
  // As for the batch child, a local controller may not replace an input.
  for (const std::string& typed : named) {
    const std::string path = resolvePath(typed, ".DES");
    for (const std::string& in : r.inputs)
      if (sameFile(path, in)) return usage(inv, path + ": names an input; a local controller would replace it");
    if (!outputPath(inv, typed, ".DES", r)) return false;
  }
  return true;
}

bool buildNatobs(Invocation& inv, ProcedureRequest& r) {
  if (!needFiles(inv, 1, 1) || !input(inv, 0, ".DES", r) || !oneOutput(inv, ".DES", r)) return false;
  if (!hasOption(inv.args, "image-out")) return usage(inv, "needs --image-out PATH for the image event list");
  if (!outputPath(inv, optionValue(inv.args, "image-out"), ".DES", r)) return false;
  if (hasOption(inv.args, "seed") == hasOption(inv.args, "seed-from"))
    return usage(inv, "give one of --seed and --seed-from");
  if (hasOption(inv.args, "seed")) return labels(inv, "seed", r.events);
  const std::string typed = optionValue(inv.args, "seed-from");
  const bool dat = hasExtension(typed, ".DAT");
  std::string path;
  return inputPath(inv, typed, dat ? ".DAT" : ".DES", path) && labelsOfInput(inv, path, dat ? -1 : 0, r.events);
}

bool buildStats(Invocation& inv, ProcedureRequest& r) {
  if (!needFiles(inv, 1, 1)) return false;
  r.number = hasExtension(inv.args.files[0], ".DAT") ? -1 : 0;
  return input(inv, 0, r.number == -1 ? ".DAT" : ".DES", r);
}

bool buildPicture(Invocation& inv, ProcedureRequest& r) {
  if (!needFiles(inv, 1, 1) || !input(inv, 0, ".DES", r)) return false;
  r.title = baseName(r.inputs[0]);
  r.number = hasOption(inv.args, "colour") || hasOption(inv.args, "color") ? 1 : 0;
  if (hasOption(inv.args, "output")) return oneOutput(inv, ".GIF", r);
  const std::size_t dot = r.inputs[0].rfind('.');
  return outputPath(inv, r.inputs[0].substr(0, dot) + ".GIF", ".GIF", r);
}

// --- The symbolic forms: supcon, nonconflict and condat --symbolic ------------------

// The options of the symbolic forms, which the plain forms refuse.
const std::vector<OptionRule> SYMBOLIC_OPTIONS = {{"symbolic", 0, false}, {"order", 0, true}, {"max-nodes", 0, true}};
const std::vector<OptionRule> SYMBOLIC_SUPCON_OPTIONS = {
    {"plant", 0, false, true}, {"spec", 0, false, true}, {"max-states", 0, true}, {"count-only", 0, false}};
const std::vector<OptionRule> SYMBOLIC_CONDAT_OPTIONS = {{"plant", 0, false, true}, {"super", 0, false, true}};

bool notSymbolic(Invocation& inv) {
  for (const OptionRule& o : inv.entry.options)
    if (hasOption(inv.args, o.name)) return usage(inv, "--" + std::string(o.name) + " goes with --symbolic");
  return true;
}

bool componentPaths(Invocation& inv, const std::vector<std::string>& typed, std::vector<std::string>& paths) {
  for (const std::string& t : typed) {
    paths.emplace_back();
    if (!inputPath(inv, t, ".DES", paths.back())) return false;
  }
  return true;
}

// The component order: each of 0..n-1 once, as positions on the command line.
bool componentOrder(Invocation& inv, std::size_t n, std::vector<int>& order) {
  if (!hasOption(inv.args, "order")) return true;
  const std::string text = optionValue(inv.args, "order");
  std::vector<char> seen(n, 0);
  for (std::string_view piece : splitList(text)) {
    long k;
    if (!parseNumber(piece, 0, static_cast<long>(n) - 1, k) || seen[static_cast<std::size_t>(k)]++) break;
    order.push_back(static_cast<int>(k));
  }
  if (order.size() == n && n > 0) return true;
  return usage(inv, "--order " + text + ": not an order of the " + std::to_string(n) + " components (each of 0.." +
                        std::to_string(static_cast<long>(n) - 1) + " once)");
}

// supcon --symbolic -o SUP --plant G... --spec E..., nonconflict --symbolic
// G..., condat --symbolic --plant G... --super S...: run here, not by
// performProcedure.
bool buildSymbolic(Invocation& inv, ProcedureRequest& r, int kind) {
  r.code = -1;
  SymbolicCommand c;
  c.kind = kind;
  const char* others = kind == SYMBOLIC_SUPERVISOR ? "spec" : "super";
  if (kind == SYMBOLIC_NONBLOCKING) {
    if (inv.args.files.empty()) return usage(inv, "needs the components: kav nonconflict --symbolic G1 G2 ...");
    if (!componentPaths(inv, inv.args.files, c.plants)) return false;
  } else {
    if (!inv.args.files.empty())
      return usage(inv, inv.args.files[0] + ": give the components after --plant and --" + others);
    if (!hasOption(inv.args, "plant")) return usage(inv, "needs the plant components: --plant G1 G2 ...");
    if (!componentPaths(inv, optionValues(inv.args, "plant"), c.plants) ||
        !componentPaths(inv, optionValues(inv.args, others), c.others))
      return false;
  }
  if (!componentOrder(inv, c.plants.size() + c.others.size(), c.options.order)) return false;
  long value;
  if (hasOption(inv.args, "max-nodes")) {
    if (!number(inv, "max-nodes", 1, 1'000'000'000, value)) return false;
    c.options.maxNodes = static_cast<std::size_t>(value);
  }
  if (kind != SYMBOLIC_SUPERVISOR) {
    if (hasOption(inv.args, "output")) return usage(inv, "--symbolic writes no file: drop -o");
  } else {
    if (hasOption(inv.args, "max-states")) {
      if (!number(inv, "max-states", 0, MAX_STATES, value)) return false;
      c.options.maxStates = static_cast<std::uint64_t>(value);
    }
    c.options.countOnly = hasOption(inv.args, "count-only");
    if (c.options.countOnly && hasOption(inv.args, "output"))
      return usage(inv, "--count-only writes no supervisor: drop -o");
    if (!c.options.countOnly) {
      if (!oneOutput(inv, ".DES", r)) return false;
      c.output = r.outputs[0];
      c.outputShown = finalPathOf(inv.stage, c.output);
    }
  }
  runSymbolicCommand(c, inv.report, inv.progress);
  return inv.report.status == EXIT_OK;
}

bool buildSupcon(Invocation& inv, ProcedureRequest& r) {
  if (hasOption(inv.args, "symbolic")) return buildSymbolic(inv, r, SYMBOLIC_SUPERVISOR);
  return notSymbolic(inv) && buildTwoInOneOut(inv, r);
}

bool buildCondat(Invocation& inv, ProcedureRequest& r) {
  if (hasOption(inv.args, "symbolic")) return buildSymbolic(inv, r, SYMBOLIC_CONTROLLABILITY);
  return notSymbolic(inv) && needFiles(inv, 2, 2) && inputs(inv, 0, ".DES", r) && oneOutput(inv, ".DAT", r);
}

bool buildNonconflict(Invocation& inv, ProcedureRequest& r) {
  if (hasOption(inv.args, "symbolic")) return buildSymbolic(inv, r, SYMBOLIC_NONBLOCKING);
  return notSymbolic(inv) && buildTest(inv, r);
}

// --- convert and show: a DES in other formats ----------------------------------------

// The formats convert knows, by the lower-case name --from and --to take,
// with the extension a file of each gets when it has none.
struct ModelFormat {
  const char* name;
  const char* extension;
};
const ModelFormat MODEL_FORMATS[] = {
    {"des", ".DES"}, {"ads", ".ADS"}, {"fsm", ".fsm"}, {"gen", ".gen"}, {"dot", ".dot"}};

const ModelFormat* formatNamed(const std::string& name) {
  for (const ModelFormat& f : MODEL_FORMATS)
    if (upper(name) == upper(f.name)) return &f;
  return nullptr;
}

const ModelFormat* formatOfPath(const std::string& path) {
  if (!hasExtension(path)) return nullptr;
  return formatNamed(path.substr(path.rfind('.') + 1));
}

// The format an option names, or the path's; null after reporting a bad
// option value.
bool formatOption(Invocation& inv, const char* option, const std::string& path, const ModelFormat*& format) {
  format = formatOfPath(path);
  if (!hasOption(inv.args, option)) return true;
  format = formatNamed(optionValue(inv.args, option));
  if (format) return true;
  return usage(inv, "--" + std::string(option) + " " + optionValue(inv.args, option) +
                        ": not a format (des, ads, fsm, gen, dot)");
}

std::vector<std::string> names(Invocation& inv, const char* option) {
  std::vector<std::string> out;
  for (const std::string& text : optionValues(inv.args, option))
    for (std::string_view piece : splitList(text))
      if (!piece.empty()) out.emplace_back(piece);
  return out;
}

// `convert IN [OUT]` (or -o OUT): the formats by --from and --to, else by
// the extensions. A bare input name is the other of DES and ADS when the
// output is one of them, the DES when the output is in an exchange format,
// else whichever of NAME.ADS and NAME.DES exists when only one does. Without an output, ADS becomes DES beside it,
// DES becomes ADS, and the exchange formats become DES.
bool convertFile(Invocation& inv, ProcedureRequest& r) {
  if (!needFiles(inv, 1, 2)) return false;
  if (inv.args.files.size() == 2 && hasOption(inv.args, "output"))
    return usage(inv, "give the output either as a second file or with -o");
  const std::string& typed = inv.args.files[0];
  std::string typedOut = inv.args.files.size() == 2 ? inv.args.files[1] : optionValue(inv.args, "output");
  const ModelFormat *from, *to;
  if (!formatOption(inv, "from", typed, from) || !formatOption(inv, "to", typedOut, to)) return false;
  const ModelFormat& des = MODEL_FORMATS[0];
  const ModelFormat& ads = MODEL_FORMATS[1];
  if (!from && !hasExtension(typed)) {
    if (to == &des || to == &ads) from = to == &des ? &ads : &des;
    else if (to) from = &des; // exporting to an exchange format or dot
    else if (fileExists(resolvePath(typed, ".ADS")) != fileExists(resolvePath(typed, ".DES")))
      from = fileExists(resolvePath(typed, ".ADS")) ? &ads : &des;
  }
  if (!from) return usage(inv, "cannot tell the format of " + typed + ": give --from des|ads|fsm|gen");
  if (!input(inv, 0, from->extension, r)) return false;
  if (!to) to = typedOut.empty() || !hasExtension(typedOut) ? (from == &des ? &ads : &des) : nullptr;
  if (!to) return usage(inv, "cannot tell the format to write: give --to des|ads|fsm|gen|dot");
  if (typedOut.empty()) typedOut = r.inputs[0].substr(0, r.inputs[0].rfind('.'));
  if (!outputPath(inv, typedOut, to->extension, r)) return false;

  ConvertOptions options;
  options.from = from->name;
  options.to = to->name;
  options.eventMap = optionValue(inv.args, "events");
  options.stateMap = optionValue(inv.args, "states");
  options.controllable = names(inv, "controllable");
  options.uncontrollable = names(inv, "uncontrollable");
  options.silentName = optionValue(inv.args, "silent");
  if (!labels(inv, "unobservable", options.unobservable)) return false;
  const std::string& staged = r.outputs[0];
  const std::string final = finalPathOf(inv.stage, staged);
  ConvertResult result = convertModel(r.inputs[0], staged, options);
  // The output is written in the private folder first; messages name the
  // file the user asked for.
  for (std::size_t at; (at = result.message.find(staged)) != std::string::npos;)
    result.message.replace(at, staged.size(), final);
  if (result.status != CONVERT_OK) return refuse(inv, result.status, result.message);
  if (!result.message.empty() && !inv.report.quiet) std::fprintf(stderr, "kav convert: %s\n", result.message.c_str());
  if (to == &des || to == &ads) {
    DES written;
    std::int64_t init = 0;
    if (to == &des && loadDESFile(staged, written, init) == LOAD_OK) inv.report.files.push_back(figuresOf(staged, written, 0));
    else if (to == &ads && parseAdsFile(staged, written).empty()) inv.report.files.push_back(figuresOf(staged, written, 0));
  }
  return true;
}

bool showFile(Invocation& inv, ProcedureRequest& r) {
  if (!needFiles(inv, 1, 1)) return false;
  const bool dat = hasExtension(inv.args.files[0], ".DAT");
  if (!input(inv, 0, dat ? ".DAT" : ".DES", r)) return false;
  DES des;
  std::int64_t init = dat ? -1 : 0;
  if (loadDESFile(r.inputs[0], des, init) != LOAD_OK)
    return refuse(inv, EXIT_UNREADABLE_INPUT, r.inputs[0] + (dat ? ": not a DAT file" : ": not a DES file"));
  const std::string name = baseName(r.inputs[0]);
  inv.report.text = captureText([&](std::FILE* out) {
    if (init == -1) writeDatListing(out, des, name);
    else writeDesListing(out, des, name, false);
  });
  return true;
}

// --- Finishers ---------------------------------------------------------------------

ReportField flagField(const char* key, bool value) {
  ReportField f;
  f.key = key;
  f.kind = ReportField::FLAG;
  f.flag = value;
  return f;
}

ReportField listField(const char* key, ReportField::Kind kind, const std::vector<std::int64_t>& values) {
  ReportField f;
  f.key = key;
  f.kind = kind;
  f.integers = values;
  return f;
}

ReportField labelsField(const char* key, const EventList& labels) {
  return listField(key, ReportField::LABELS, std::vector<std::int64_t>(labels.begin(), labels.end()));
}

void verdict(Invocation& inv, const char* key, bool holds) {
  inv.report.fields.push_back(flagField(key, holds));
  if (!holds) inv.report.status = EXIT_DOES_NOT_HOLD;
}

void finishSync(Invocation& inv, const ProcedureRequest&, const ProcedureOutcome& o) {
  inv.report.fields.push_back(labelsField("blocked_events", o.labels));
}

void finishCondat(Invocation& inv, const ProcedureRequest&, const ProcedureOutcome& o) {
  if (!o.results.empty() && !o.results[0].controllable) inv.report.status = EXIT_DOES_NOT_HOLD;
}

void finishIsomorph(Invocation& inv, const ProcedureRequest&, const ProcedureOutcome& o) {
  bool identity = o.identity;
  if (o.holds && !identity) {
    identity = true;
    for (std::size_t s = 0; s < o.states.size(); ++s)
      identity = identity && o.states[s] == static_cast<std::int64_t>(s);
  }
  verdict(inv, "isomorphic", o.holds);
  inv.report.fields.push_back(flagField("identity", o.holds && identity));
  if (hasOption(inv.args, "map") && o.holds)
    inv.report.fields.push_back(listField("map", ReportField::INTEGERS, o.states));
}

void finishNonconflict(Invocation& inv, const ProcedureRequest&, const ProcedureOutcome& o) {
  verdict(inv, "nonconflicting", o.holds);
}

void finishObservable(Invocation& inv, const ProcedureRequest&, const ProcedureOutcome& o) {
  verdict(inv, "observable", o.holds);
  ReportField failures;
  failures.key = "failures";
  failures.kind = ReportField::GROUPS;
  for (std::int64_t s = 0; s < o.report.size(); ++s)
    for (const Transition& t : transitionsOf(o.report[s])) failures.groups.push_back({s, t.event});
  inv.report.fields.push_back(failures);
}

void finishSupqc(Invocation& inv, const ProcedureRequest&, const ProcedureOutcome& o) {
  if (!hasOption(inv.args, "partition")) return;
  std::map<std::int64_t, std::vector<std::int64_t>> classes;
  for (std::size_t x = 0; x < o.states.size(); ++x) classes[o.states[x]].push_back(static_cast<std::int64_t>(x));
  ReportField partition;
  partition.key = "partition";
  partition.kind = ReportField::GROUPS;
  for (auto& [first, members] : classes)
    if (members.size() > 1) partition.groups.push_back(std::move(members));
  inv.report.fields.push_back(partition);
}

void finishPicture(Invocation& inv, const ProcedureRequest& r, const ProcedureOutcome&) {
  ReportField f;
  f.key = "picture";
  f.kind = ReportField::TEXT;
  f.text = finalPathOf(inv.stage, r.outputs[0]);
  inv.report.fields.push_back(f);
}

void finishNatobs(Invocation& inv, const ProcedureRequest&, const ProcedureOutcome& o) {
  inv.report.fields.push_back(labelsField("image_events", o.labels));
}

// The clean-up the console offers after a reduction: when plant and
// supervisor have the same events, self-loops that carry no control
// information leave the reduced supervisor.
void finishSupreduce(Invocation& inv, const ProcedureRequest& r, const ProcedureOutcome& o) {
  ReportField bound;
  bound.key = "lower_bound";
  bound.kind = ReportField::INTEGER;
  bound.integer = o.lowerBound;
  ReportField ratio;
  ratio.key = "compression_ratio";
  ratio.kind = ReportField::REAL;
  ratio.real = o.ratio;
  inv.report.fields.push_back(bound);
  inv.report.fields.push_back(ratio);
  if (!hasOption(inv.args, "clean-up") || labelsOfPaths({r.inputs[0]}) != labelsOfPaths({r.inputs[1]})) return;
  DES reduced;
  std::int64_t init = 0;
  if (loadDESFile(r.outputs[0], reduced, init) != LOAD_OK) return;
  if (removeIdleSelfloops(reduced, labelsOfPaths({r.inputs[2]}, -1)) == 0) return;
  if (saveDESFile(r.outputs[0], reduced, 0, sizeof(void*) >= 8 ? 2 : 1) != SAVE_OK) {
    refuse(inv, EXIT_NOT_WRITTEN, finalPathOf(inv.stage, r.outputs[0]) + ": cannot be written");
    return;
  }
  inv.report.files[0] = figuresOf(r.outputs[0], reduced, 0);
}

void finishLocalize(Invocation& inv, const ProcedureRequest& r, const ProcedureOutcome&) {
  if (!hasOption(inv.args, "check")) return;
  const auto loadAll = [](const std::vector<std::string>& paths, std::vector<DES>& out) {
    out.resize(paths.size());
    for (std::size_t k = 0; k < paths.size(); ++k) {
      std::int64_t init = 0;
      if (loadDESFile(paths[k], out[k], init) != LOAD_OK) return false;
    }
    return true;
  };
  std::vector<DES> components, controllers, supervisor;
  const bool equivalent = loadAll({r.inputs.begin() + 2, r.inputs.end()}, components) &&
                          loadAll(r.outputs, controllers) && loadAll({r.inputs[1]}, supervisor) &&
                          controlEquivalent(components, controllers, supervisor[0], r.minimizer);
  verdict(inv, "control_equivalent", equivalent);
}

// --- The table ---------------------------------------------------------------------

const std::vector<OptionRule> ERASING = {{"erase", 0, true}, {"image", 0, true}, {"image-des", 0, true}};

std::vector<OptionRule> with(std::vector<OptionRule> a, const std::vector<OptionRule>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

#define SYMBOLIC_HELP                                                                                                  \
  "  --symbolic         a model given by its components, in decision diagrams\n"                                      \
  "  --order LIST       the components' order in the diagrams: positions counted from 0, plants first\n"              \
  "                     (default: components that share events side by side)\n"                                       \
  "  --max-nodes N      the node table's limit (default: a quarter of the memory); beyond, exit 3\n"

#define ERASE_HELP                                                                                                     \
  "  --erase LIST       the events erased (NULL), e.g. --erase 10,12\n"                                                \
  "  --image LIST       the events kept (IMAGE); the others of the input are erased\n"                                 \
  "  --image-des PATH   the events on the transitions of a DES are kept (IMAGE_DES)\n"

const std::vector<CommandEntry> COMMANDS = {
    {"create",
     PROC_CREATE,
     buildCreate,
     nullptr,
     {{"states", 0, true}, {"marked", 0, true}, {"triples", 0, true}},
     "kav create -o OUT --states N [--marked LIST|all] [FROM:EVENT:TO ...] [--triples FILE]",
     "Creates a DES from its states, marker states and transitions (the labels 0..999, e silent).",
     "  --states N         the number of states, 0 to 2000000; state 0 is initial\n"
     "  --marked LIST      the marker states, e.g. 0,3, or all\n"
     "  --triples FILE     transitions as numbers FROM EVENT TO, three at a time (-: standard input)\n",
     "kav create -o MACH --states 2 --marked 0 0:11:1 1:10:0"},
    {"trim",
     PROC_TRIM,
     buildOneInOneOut,
     nullptr,
     {},
     "kav trim DES1 -o DES2",
     "Keeps the states that are reachable from state 0 and from which a marker state can be reached.",
     "",
     "kav trim PLANT -o TPLANT"},
    {"recode",
     PROC_BFS_RECODE,
     buildOneInOneOut,
     nullptr,
     {},
     "kav recode DES1 -o DES2",
     "Keeps the reachable states and numbers them in breadth-first order from state 0.",
     "",
     "kav recode SUPER -o RSUPER"},
    {"sync",
     PROC_SYNC,
     buildProducts,
     finishSync,
     {},
     "kav sync DES1 DES2 ... -o DES",
     "The synchronous product of 2 to 20 DES: shared events move together, the others interleave.",
     "",
     "kav sync MACH1 MACH2 -o FACT"},
    {"meet",
     PROC_MEET,
     buildProducts,
     nullptr,
     {},
     "kav meet DES1 DES2 ... -o DES",
     "The product of 2 to 20 DES: only the events all of them take can occur.",
     "",
     "kav meet FACT SPEC -o LEGAL"},
    {"supcon",
     PROC_SUPCON,
     buildSupcon,
     nullptr,
     with(SYMBOLIC_OPTIONS, SYMBOLIC_SUPCON_OPTIONS),
     "kav supcon PLANT SPEC -o SUPER\n"
     "       kav supcon --symbolic -o SUPER --plant G1 G2 ... --spec E1 E2 ... [--max-states N] [--count-only]",
     "The supervisor: the supremal controllable sublanguage of SPEC for PLANT, trim.\n"
     "With --symbolic the plant is the product of the --plant components and the legal language that\n"
     "of the --spec components, and neither is ever composed. It prints the reachable product states,\n"
     "the supervisor's states, transitions and marked states (exact however large), the rounds of the\n"
     "fixpoint and the sizes of the decision diagrams, and writes the supervisor (numbered breadth-first)\n"
     "when it has at most --max-states states; above, it writes nothing and exits with status 8.",
     SYMBOLIC_HELP
     "  --plant G1 G2 ...  the plant components: the files after --plant, up to the next option\n"
     "  --spec E1 E2 ...   the legal components, each free on the plant events it does not use\n"
     "  --max-states N     the largest supervisor written, in states (default 10000000)\n"
     "  --count-only       the figures alone: no supervisor, no -o, exit 0 whatever its size\n",
     "kav supcon FACT BUFSPEC -o SUPER\n"
     "  kav supcon --symbolic -o SUPER --plant MACH1 MACH2 MACH3 --spec BUF1 BUF2"},
    {"condat",
     PROC_CONDAT,
     buildCondat,
     finishCondat,
     with(SYMBOLIC_OPTIONS, SYMBOLIC_CONDAT_OPTIONS),
     "kav condat PLANT SUPER -o DAT\n"
     "       kav condat --symbolic --plant G1 G2 ... --super S1 S2 ...",
     "The control data of a supervisor: the events it disables at each of its states. Exit 1 when a disabled event is "
     "uncontrollable.\n"
     "With --symbolic nothing is written: it tests, composing nothing, whether the product of the --super\n"
     "components (each constraining only the events on its transitions) ever prevents an uncontrollable\n"
     "event that the product of the --plant components enables, and counts the reachable states where\n"
     "it does. Exit 0 when never, 1 when it does.",
     SYMBOLIC_HELP
     "  --plant G1 G2 ...  the plant components: the files after --plant, up to the next option\n"
     "  --super S1 S2 ...  the supervisor components\n",
     "kav condat FACT SUPER -o SUPDAT\n"
     "  kav condat --symbolic --plant MACH1 MACH2 --super LOC1 LOC2"},
    {"minstate",
     PROC_MINSTATE,
     buildOneInOneOut,
     nullptr,
     {},
     "kav minstate DES1 -o DES2",
     "The reachable part of a DES with the fewest states for the same closed and marked behaviour.",
     "",
     "kav minstate SUPER -o MSUPER"},
    {"project", PROC_PROJECT, buildErasing, nullptr, ERASING,
     "kav project DES1 -o DES2 (--erase LIST | --image LIST | --image-des PATH)",
     "The natural projection of a DES: the erased events become silent and the result is made deterministic and "
     "minimal.",
     ERASE_HELP, "kav project SUPER -o PSUPER --erase 10,12"},
    {"selfloop",
     PROC_SELFLOOP,
     buildWithEvents,
     nullptr,
     {{"events", 0, true}},
     "kav selfloop DES1 -o DES2 --events LIST",
     "Adds at every state a self-loop for each listed event the state does not use yet.",
     "  --events LIST      the events adjoined, e.g. 31,33\n",
     "kav selfloop SPEC -o SPEC2 --events 31,33"},
    {"mutex",
     PROC_MUTEX,
     buildMutex,
     nullptr,
     {{"pairs", 0, true}},
     "kav mutex DES1 DES2 -o DES3 --pairs LIST",
     "The product of two DES without the listed pairs of states (mutual exclusion), trim.",
     "  --pairs LIST       the excluded state pairs STATE1:STATE2, e.g. 1:3,5:7\n",
     "kav mutex ROBOT1 ROBOT2 -o BOTH --pairs 1:1"},
    {"complement",
     PROC_COMPLEMENT,
     buildWithEvents,
     nullptr,
     {{"events", 0, true}},
     "kav complement DES1 -o DES2 [--events LIST]",
     "The complement of the marked behaviour, over the events of DES1 and the listed ones.",
     "  --events LIST      auxiliary events not in DES1\n",
     "kav complement SPEC -o NOTSPEC --events 41"},
    {"relabel",
     PROC_RELABEL,
     buildRelabel,
     nullptr,
     {{"pairs", 0, true}},
     "kav relabel DES1 -o DES2 --pairs LIST",
     "Renames events by (old, new) pairs; a result made nondeterministic is projected.",
     "  --pairs LIST       OLD:NEW label pairs, e.g. 11:13,10:e\n",
     "kav relabel MACH1 -o MACH3 --pairs 11:31,10:30"},
    {"allevents",
     PROC_ALLEVENTS,
     buildAllevents,
     nullptr,
     {{"events", 0, true}},
     "kav allevents (DES1 | DAT1 | --events LIST) -o DES2",
     "A one-state marked DES with a self-loop for every event of a DES, of control data (.DAT), or listed.",
     "  --events LIST      the events, instead of a file\n",
     "kav allevents FACT -o ALL"},
    {"isomorph",
     PROC_ISOMORPH,
     buildTest,
     finishIsomorph,
     {{"map", 0, false}},
     "kav isomorph DES1 DES2",
     "Tests whether two DES are the same up to the numbering of their states. Exit 0 when they are, 1 when not.",
     "  --map              also give the state of DES2 matched to each state of DES1\n",
     "kav isomorph SUPER SUPER2"},
    {"nonconflict",
     PROC_NONCONFLICT,
     buildNonconflict,
     finishNonconflict,
     SYMBOLIC_OPTIONS,
     "kav nonconflict DES1 DES2\n"
     "       kav nonconflict --symbolic G1 G2 ...",
     "Tests whether every reachable state of the product of two DES can reach a marker state. Exit 0 when so, 1 when "
     "not.\n"
     "With --symbolic, the same for the synchronous product of any number of components (each over its\n"
     "own events), never composed, with the exact counts of the reachable and the blocking states.",
     SYMBOLIC_HELP,
     "kav nonconflict SUPER1 SUPER2\n"
     "  kav nonconflict --symbolic MACH1 MACH2 BUF1 LOC1"},
    {"force",
     PROC_FORCE,
     buildForce,
     nullptr,
     {{"forcible", 0, true}, {"preemptable", 0, true}, {"timeout", 0, true}},
     "kav force DES1 -o DES2 --forcible LIST --preemptable LIST --timeout EVENT",
     "Forcing: forcible events may preempt the preemptable ones before the new timeout event.",
     "  --forcible LIST    events of DES1 that can be forced\n"
     "  --preemptable LIST events of DES1 that forcing preempts (none of them forcible)\n"
     "  --timeout EVENT    a new controllable (odd) event\n",
     "kav force TIMER -o FTIMER --forcible 11 --preemptable 10 --timeout 99"},
    {"vocalize",
     PROC_VOCALIZE,
     buildVocalize,
     nullptr,
     {{"vocal", 0, true}},
     "kav vocalize DES1 -o DES2 --vocal LIST",
     "Gives vocal outputs to the states entered by the listed transitions.",
     "  --vocal LIST       STATE:EVENT:OUTPUT triples, STATE * for every state, OUTPUT 10..99\n",
     "kav vocalize MACH1 -o VMACH1 --vocal *:10:20"},
    {"outconsis",
     PROC_OUTCONSIS,
     buildOneInOneOut,
     nullptr,
     {},
     "kav outconsis DES1 -o DES2",
     "Output-control consistency: state outputs recoded so that high-level events are controllable or not.",
     "",
     "kav outconsis VMACH -o OCMACH"},
    {"hiconsis",
     PROC_HICONSIS,
     buildHiconsis,
     nullptr,
     {{"multiple", 0, false}},
     "kav hiconsis DES1 -o DES2 [--multiple]",
     "Hierarchical consistency, adding new state outputs where needed.",
     "  --multiple         a new output for each new location (default: a single new output)\n",
     "kav hiconsis OCMACH -o HCMACH"},
    {"higen",
     PROC_HIGEN,
     buildOneInOneOut,
     nullptr,
     {},
     "kav higen DES1 -o DES2",
     "The high-level generator of a vocalized DES, minimal.",
     "",
     "kav higen HCMACH -o HIGH"},
    {"supreduce",
     PROC_SUPREDUCE,
     buildSupreduce,
     finishSupreduce,
     {{"no-bound", 0, false}, {"clean-up", 0, false}},
     "kav supreduce PLANT SUPER DAT -o DES3",
     "A reduced supervisor that enforces the control action of SUPER (with control data DAT) on PLANT.",
     "  --no-bound         skip the lower bound on the size of any reduced supervisor\n"
     "  --clean-up         then drop self-loops that carry no control information, as the console offers\n",
     "kav supreduce FACT SUPER SUPDAT -o SIMSUP"},
    {"localize",
     PROC_LOCALIZE,
     buildLocalize,
     finishLocalize,
     {{"no-clean-up", 0, false}, {"check", 0, false}},
     "kav localize PLANT SUPER COMPONENT... -o LOC1 [-o LOC2 ...]",
     "Local controllers, one per plant component, that together enforce the control action of SUPER.",
     "  -o PATH            a local controller, once for each of the first components\n"
     "  --no-clean-up      keep every self-loop of the local controllers\n"
     "  --check            confirm that they are control-equivalent to SUPER (exit 1 when not)\n",
     "kav localize FACT SUPER MACH1 MACH2 -o LOC1 -o LOC2 --check"},
    {"supqc", PROC_SUPQC, buildSupqc, finishSupqc, with(ERASING, {{"partition", 0, false}}),
     "kav supqc DES1 -o DES2 (--erase LIST | --image LIST | --image-des PATH)",
     "The quotient of a DES by its supremal quasi-congruence for the kept events.",
     ERASE_HELP "  --partition        also give the cells of more than one state\n",
     "kav supqc FACT -o QFACT --image 11,21"},
    {"supsqc", PROC_SUPQC, buildSupqc, finishSupqc, with(ERASING, {{"partition", 0, false}}),
     "kav supsqc DES1 -o DES2 (--erase LIST | --image LIST | --image-des PATH)",
     "The quotient of a DES by its supremal strong quasi-congruence for the kept events.",
     ERASE_HELP "  --partition        also give the cells of more than one state\n",
     "kav supsqc FACT -o QFACT --image 11,21"},
    {"observable", PROC_OBSERVABLE, buildObservable, finishObservable, ERASING,
     "kav observable PLANT DES2 (--erase LIST | --image LIST | --image-des PATH)",
     "Tests whether DES2 is observable with respect to PLANT. Exit 0 when it is, 1 when not.", ERASE_HELP,
     "kav observable FACT SUPER --erase 10"},
    {"sobservable", PROC_OBSERVABLE, buildObservable, finishObservable, ERASING,
     "kav sobservable PLANT DES2 (--erase LIST | --image LIST | --image-des PATH)",
     "Tests whether DES2 is strongly observable with respect to PLANT. Exit 0 when it is, 1 when not.", ERASE_HELP,
     "kav sobservable FACT SUPER --erase 10"},
    {"natobs",
     PROC_NATOBS,
     buildNatobs,
     finishNatobs,
     {{"image-out", 0, true}, {"seed", 0, true}, {"seed-from", 0, true}},
     "kav natobs DES1 -o DES3 --image-out DES4 (--seed LIST | --seed-from DES2|DAT2)",
     "The natural observer of a DES: its projection onto the smallest image, grown from the seed, that makes the "
     "projection an observer.",
     "  --image-out PATH   a one-state DES with the image events as self-loops\n"
     "  --seed LIST        the seed events\n"
     "  --seed-from PATH   the events of a DES, or of control data (.DAT)\n",
     "kav natobs FACT -o OFACT --image-out IMAGE --seed 11"},
    {"uncertmod", PROC_UNCERTMOD, buildErasing, nullptr, ERASING,
     "kav uncertmod DES1 -o DES2 (--erase LIST | --image LIST | --image-des PATH)",
     "The uncertainty model of a DES for the erased events.", ERASE_HELP, "kav uncertmod FACT -o UFACT --erase 10,20"},
    {"supnorm", PROC_SUPNORM, buildTwoErasingBoth, nullptr, ERASING,
     "kav supnorm PLANT LEGAL -o DES3 (--erase LIST | --image LIST | --image-des PATH)",
     "The supremal sublanguage of LEGAL that is normal with respect to PLANT and the erased events.", ERASE_HELP,
     "kav supnorm FACT LEGAL -o NORM --erase 10"},
    {"supscop", PROC_SUPSCOP, buildTwoErasingBoth, nullptr, ERASING,
     "kav supscop PLANT LEGAL -o DES3 (--erase LIST | --image LIST | --image-des PATH)",
     "The supremal controllable and normal sublanguage of LEGAL for PLANT under partial observation.", ERASE_HELP,
     "kav supscop FACT LEGAL -o SCOP --erase 10"},
    {"supconrobs", PROC_SUPCONROBS, buildTwoErasingPlant, nullptr, ERASING,
     "kav supconrobs PLANT LEGAL -o DES3 (--erase LIST | --image LIST | --image-des PATH)",
     "The supremal controllable and relatively observable sublanguage of LEGAL for PLANT.", ERASE_HELP,
     "kav supconrobs FACT BUFSPEC -o ROBS --erase 10"},
    {"suprobs", PROC_SUPROBS, buildTwoErasingPlant, nullptr, ERASING,
     "kav suprobs PLANT LEGAL -o DES3 (--erase LIST | --image LIST | --image-des PATH)",
     "The supremal relatively observable sublanguage of LEGAL for PLANT.", ERASE_HELP,
     "kav suprobs FACT BUFSPEC -o ROBS --erase 10"},
    {"stats",
     PROC_STATISTICS,
     buildStats,
     nullptr,
     {},
     "kav stats FILE",
     "The states, transitions and marker states of a DES (or of control data, .DAT), and whether it is "
     "deterministic.",
     "",
     "kav stats --json SUPER | jq .states"},
    {"picture",
     PROC_GRAPHVIZ,
     buildPicture,
     finishPicture,
     {{"colour", 0, false}, {"color", 0, false}},
     "kav picture DES [-o GIF] [--colour]",
     "The transition diagram of a DES as a GIF picture, laid out by Graphviz's dot (default: DES.GIF beside it).",
     "  --colour           controllable transitions red, the others green\n",
     "kav picture SUPER --colour"},
    {"convert",
     -1,
     convertFile,
     nullptr,
     {{"from", 0, true},
      {"to", 0, true},
      {"events", 0, true},
      {"states", 0, true},
      {"controllable", 0, true},
      {"uncontrollable", 0, true},
      {"unobservable", 0, true},
      {"silent", 0, true}},
     "kav convert IN [OUT | -o OUT] [--from F] [--to F] [--events MAP] [--states MAP] [...]",
     "Converts a model between DES, ADS text, FSM text (.fsm) and generator files (.gen), or writes the dot "
     "text of its transition diagram (.dot); the formats follow the extensions.",
     "  --from FORMAT      the input's format (des, ads, fsm, gen) when its extension does not tell\n"
     "  --to FORMAT        the format to write (also dot); default: DES for ADS, .fsm and .gen, ADS for DES\n"
     "  --events MAP       event labels by name (LABEL NAME lines): read first, extended by an import\n"
     "  --states MAP       state names (NUMBER NAME lines): written by an import, read by an export\n"
     "  --controllable A,B   event names an import makes controllable (odd labels)\n"
     "  --uncontrollable C   event names an import makes uncontrollable (even labels)\n"
     "  --unobservable 10,12 events an export marks unobservable\n"
     "  --silent NAME      the name of the silent event e in .fsm and .gen files\n",
     "kav convert --events LABELS.MAP --controllable start PLANT.fsm PLANT.DES"},
    {"show",
     -1,
     showFile,
     nullptr,
     {},
     "kav show FILE",
     "The text listing of a DES, or of control data (.DAT), on standard output, as FE and FA file it.",
     "",
     "kav show SUPDAT.DAT | less"},
};

const CommandEntry* findCommand(std::string_view name) {
  for (const CommandEntry& c : COMMANDS)
    if (name == c.name) return &c;
  return nullptr;
}

std::string commandHelp(const CommandEntry& c) {
  std::string text = std::string("Usage: ") + c.synopsis + "\n\n" + c.summary + "\n\nOptions:\n" + c.optionHelp;
  if (c.code != -1 && c.code != PROC_STATISTICS && c.code != PROC_ISOMORPH && c.code != PROC_NONCONFLICT &&
      c.code != PROC_OBSERVABLE && c.code != PROC_LOCALIZE)
    text += "  -o PATH            the result (the usual extension is added when there is none)\n";
  text += "  --json             the figures as one JSON object\n"
          "  -q, --quiet        neither progress nor figures\n"
          "\nExample:\n  ";
  return text + c.example + "\n";
}

// The engine's answer as a status and a message.
void reportFailure(Invocation& inv, const ProcedureRequest& r, const ProcedureOutcome& o) {
  const std::string blamed = finalPathOf(inv.stage, o.failedPath);
  switch (o.code) {
  case RESULT_INCOMPLETE_PARAMETERS: usage(inv, "a number or list is out of range"); return;
  case RESULT_OUT_OF_MEMORY: refuse(inv, EXIT_OUT_OF_MEMORY, "out of memory"); return;
  case RESULT_UNREADABLE_INPUT:
    refuse(inv, EXIT_UNREADABLE_INPUT,
           blamed + (hasExtension(blamed, ".DAT") ? ": not a DAT file" : ": not a DES file"));
    return;
  case RESULT_NO_RESULT:
    if (r.code == PROC_GRAPHVIZ) {
      if (o.detail == PICTURE_NO_DOT) refuse(inv, EXIT_FAILED, "Graphviz's dot was not found");
      else if (o.detail == PICTURE_NOT_RUN) refuse(inv, EXIT_FAILED, "dot could not run (a DES too large to lay out?)");
      else refuse(inv, EXIT_NOT_WRITTEN, finalPathOf(inv.stage, r.outputs[0]) + ": dot made no picture");
      return;
    }
    if (!o.failedPath.empty()) {
      refuse(inv, EXIT_UNREADABLE_INPUT, blamed + ": no such file");
      return;
    }
    refuse(inv, EXIT_FAILED, r.code == PROC_LOCALIZE ? "the localization failed" : "the computation failed");
    return;
  case RESULT_CHILD_FAILED: {
    std::string message = o.message;
    while (!message.empty() && message.back() == '\n') message.pop_back();
    refuse(inv, EXIT_FAILED, message);
    return;
  }
  case RESULT_REDUCTION_FAILED:
    if (o.detail >= 2 && o.detail <= 9) refuse(inv, EXIT_UNREADABLE_INPUT, r.inputs[0] + ": not a DES file");
    else if (o.detail > REDUCE_SUPERVISOR_FILE && o.detail < 20)
      refuse(inv, EXIT_UNREADABLE_INPUT, r.inputs[1] + ": not a DES file");
    else if (o.detail == REDUCE_CONTROL_DATA_MISMATCH)
      refuse(inv, EXIT_FAILED, r.inputs[2] + ": control data of another supervisor (another state count)");
    else if (o.detail == REDUCE_RESULT_NOT_OPENED || o.detail == REDUCE_RESULT_INCOMPLETE)
      refuse(inv, EXIT_NOT_WRITTEN, finalPathOf(inv.stage, r.outputs[0]) + ": cannot be written");
    else refuse(inv, EXIT_FAILED, "the reduction failed");
    return;
  case RESULT_RECURSION_GUARD: refuse(inv, EXIT_OUT_OF_MEMORY, "out of memory"); return;
  case RESULT_VOCAL_OVERFLOW: refuse(inv, EXIT_FAILED, "vocal output overflow: no new state output left"); return;
  case RESULT_VOCAL_INITIAL_STATE:
    refuse(inv, EXIT_FAILED, r.inputs[0] + ": initial state 0 must be silent (output 0)");
    return;
  case RESULT_WRITE_FAILED: refuse(inv, EXIT_NOT_WRITTEN, blamed + ": cannot be written"); return;
  case RESULT_TOO_MANY_TRANSITIONS:
    refuse(inv, EXIT_TOO_MANY_TRANSITIONS, "a state would carry more than 65,535 transitions");
    return;
  default: refuse(inv, EXIT_FAILED, "the computation failed (result " + std::to_string(o.code) + ")"); return;
  }
}

// An address-space limit near the machine's memory, as the batch child
// has, so that exhausting memory ends as an answer (status 3) instead of
// the kernel killing the process. A lower limit already set stays.
void limitAddressSpace() {
  const rlim_t wanted = static_cast<rlim_t>(childAddressSpaceLimit());
  rlimit current;
  if (wanted == 0 || ::getrlimit(RLIMIT_AS, &current) != 0) return;
  if (current.rlim_cur != RLIM_INFINITY && current.rlim_cur <= wanted) return;
  current.rlim_cur = wanted;
  ::setrlimit(RLIMIT_AS, &current);
}

void perform(Invocation& inv, ProcedureRequest& r) {
  if (!inv.entry.build(inv, r)) return;
  if (r.code == -1) return;
  beginProgressLine(inv.entry.name, inv.progress && !inv.report.quiet);
  r.minimizer = minimizerOf(session.minimizerSelector);
  ProcedureOutcome o;
  performProcedure(r, o);
  endProgressLine();
  if (o.code != RESULT_OK) return reportFailure(inv, r, o);
  inv.report.files = o.results;
  if (inv.entry.finish) inv.entry.finish(inv, r, o);
}

} // namespace

bool isCommandName(std::string_view name) { return name == "help" || name == "replay" || findCommand(name); }

void runCommand(const std::vector<std::string>& args, CommandReport& report, bool progress) {
  report = CommandReport{};
  const CommandEntry* entry = args.empty() ? nullptr : findCommand(args[0]);
  report.command = args.empty() ? std::string() : args[0];
  if (!entry) {
    report.status = EXIT_USAGE;
    report.error = "no such command (kav help lists them)";
    return;
  }
  Invocation inv{*entry, report, {}, {}, progress};
  const std::string problem =
      parseArguments({args.begin() + 1, args.end()}, with(COMMON_OPTIONS, entry->options), inv.args);
  report.json = hasOption(inv.args, "json");
  report.quiet = hasOption(inv.args, "quiet");
  if (!problem.empty()) {
    usage(inv, problem);
    return;
  }
  if (hasOption(inv.args, "help")) {
    report.help = commandHelp(*entry);
    return;
  }
  installInterruptHandlers();
  limitAddressSpace();
  ProcedureRequest r;
  r.code = entry->code;
  try {
    perform(inv, r);
  } catch (const std::bad_alloc&) {
    endProgressLine();
    refuse(inv, EXIT_OUT_OF_MEMORY, "out of memory");
  }
  // Outputs are moved into place only when everything succeeded; a test
  // that answers "does not hold" has succeeded.
  if (report.status != EXIT_OK && report.status != EXIT_DOES_NOT_HOLD) {
    discardOutputs(inv.stage);
    report.files.clear();
    report.fields.clear();
    return;
  }
  for (ResultFile& f : report.files) f.path = finalPathOf(inv.stage, f.path);
  std::string failed;
  if (!commitOutputs(inv.stage, failed)) {
    report.files.clear();
    report.fields.clear();
    refuse(inv, EXIT_NOT_WRITTEN, failed + ": cannot be written: " + std::strerror(errno));
  }
}

// --- Printing ----------------------------------------------------------------------

namespace {

std::string jsonString(std::string_view text) {
  std::string out = "\"";
  for (char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += ch;
    } else if (c < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
      out += escaped;
    } else {
      out += ch;
    }
  }
  return out + "\"";
}

std::string joinedNumbers(const std::vector<std::int64_t>& values, const char* separator) {
  std::string text;
  for (std::int64_t v : values) text += (text.empty() ? "" : separator) + std::to_string(v);
  return text;
}

std::string fileJson(const ResultFile& f) {
  std::string text = "\"file\":" + jsonString(f.path) + ",\"states\":" + std::to_string(f.states) +
                     ",\"transitions\":" + std::to_string(f.transitions);
  if (f.isControlData) return text + ",\"controllable\":" + (f.controllable ? "true" : "false");
  return text + ",\"marked_states\":" + std::to_string(f.marked) +
         ",\"deterministic\":" + (f.deterministic ? "true" : "false");
}

std::string fieldJson(const ReportField& f) {
  std::string text = jsonString(f.key) + ":";
  switch (f.kind) {
  case ReportField::FLAG: return text + (f.flag ? "true" : "false");
  case ReportField::INTEGER: return text + std::to_string(f.integer);
  case ReportField::TEXT: return text + jsonString(f.text);
  case ReportField::DECIMAL: return text + f.text;
  case ReportField::REAL: {
    char number[64];
    std::snprintf(number, sizeof number, "%.6f", f.real);
    return text + number;
  }
  case ReportField::LABELS:
  case ReportField::INTEGERS: return text + "[" + joinedNumbers(f.integers, ",") + "]";
  case ReportField::GROUPS: {
    text += "[";
    for (std::size_t k = 0; k < f.groups.size(); ++k) text += (k ? ",[" : "[") + joinedNumbers(f.groups[k], ",") + "]";
    return text + "]";
  }
  }
  return text;
}

std::string labelText(std::int64_t e) { return e == EPSILON_LABEL ? std::string("e") : std::to_string(e); }

std::string fieldText(const ReportField& f) {
  std::string key = f.key;
  std::replace(key.begin(), key.end(), '_', ' ');
  std::string value;
  switch (f.kind) {
  case ReportField::FLAG: value = f.flag ? "yes" : "no"; break;
  case ReportField::INTEGER: value = std::to_string(f.integer); break;
  case ReportField::TEXT:
  case ReportField::DECIMAL: value = f.text; break;
  case ReportField::REAL: {
    char number[64];
    std::snprintf(number, sizeof number, "%f", f.real);
    value = number;
    break;
  }
  case ReportField::LABELS:
    for (std::int64_t e : f.integers) value += (value.empty() ? "" : ",") + labelText(e);
    break;
  case ReportField::INTEGERS: value = joinedNumbers(f.integers, " "); break;
  case ReportField::GROUPS:
    for (const auto& g : f.groups) value += (value.empty() ? "[" : " [") + joinedNumbers(g, ",") + "]";
    break;
  }
  return key + ": " + (value.empty() ? "none" : value) + "\n";
}

} // namespace

std::string reportJson(const CommandReport& report) {
  std::string text = "{\"command\":" + jsonString(report.command);
  if (report.severalOutputs || report.files.size() > 1) {
    text += ",\"outputs\":[";
    for (std::size_t k = 0; k < report.files.size(); ++k) text += (k ? ",{" : "{") + fileJson(report.files[k]) + "}";
    text += "]";
  } else if (report.files.size() == 1) {
    text += "," + fileJson(report.files[0]);
  }
  for (const ReportField& f : report.fields) text += "," + fieldJson(f);
  return text + "}\n";
}

namespace {

std::string counted(std::int64_t n, const char* what) { return std::to_string(n) + " " + what + (n == 1 ? "" : "s"); }

} // namespace

std::string reportText(const CommandReport& report) {
  std::string text;
  for (const ResultFile& f : report.files) {
    text += f.path + ": " + counted(f.states, "state") + ", ";
    if (f.isControlData) {
      text += counted(f.transitions, "disabled event") + ", " + (f.controllable ? "controllable" : "uncontrollable");
    } else {
      text += counted(f.transitions, "transition") + ", " + counted(f.marked, "marked state");
      if (!f.deterministic) text += ", nondeterministic";
    }
    text += "\n";
  }
  for (const ReportField& f : report.fields) text += fieldText(f);
  return text;
}

void printReport(const CommandReport& report) {
  if (!report.help.empty()) {
    std::fputs(report.help.c_str(), stdout);
    return;
  }
  if (!report.error.empty()) {
    std::fprintf(stderr, "kav %s: %s\n", report.command.c_str(), report.error.c_str());
    return;
  }
  if (!report.text.empty()) std::fwrite(report.text.data(), 1, report.text.size(), stdout);
  else if (report.json) std::fputs(reportJson(report).c_str(), stdout);
  else if (!report.quiet) std::fputs(reportText(report).c_str(), stdout);
}

std::string helpText(std::string_view command) {
  if (!command.empty()) {
    if (command == "replay") return replayHelp();
    if (command == "help") return "Usage: kav help [COMMAND]\n\nDescribes the commands, or one of them.\n";
    const CommandEntry* entry = findCommand(command);
    return entry ? commandHelp(*entry) : std::string();
  }
  std::string text = "Usage: kav COMMAND [OPTIONS] FILES...\n"
                     "\n"
                     "Runs one procedure on files named by path (relative to the current directory or\n"
                     "absolute; .DES, or .DAT for control data, is added when a name has no extension).\n"
                     "Options may come before or after the files; --name=value also works; -- ends them.\n"
                     "\n"
                     "Commands:\n";
  for (const CommandEntry& c : COMMANDS) {
    char line[64];
    std::snprintf(line, sizeof line, "  %-12s ", c.name);
    const std::string synopsis = c.synopsis;
    text += line + synopsis.substr(std::strlen(c.name) + 5, synopsis.find('\n') - std::strlen(c.name) - 5) + "\n";
  }
  text += "  replay       [LOG] [--from DIR] [--into DIR] [--keep-going] [--script]\n"
          "  help         [COMMAND]\n"
          "\n"
          "Every command takes -o PATH (its result), --json (the figures as one JSON object),\n"
          "-q/--quiet (neither progress nor figures) and -h/--help. supcon, nonconflict and\n"
          "condat take --symbolic for models given as components that are never composed.\n"
          "\n"
          "Exit status:\n"
          "  0  done; for a test (isomorph, nonconflict, observable, condat, localize --check)\n"
          "     the property holds\n"
          "  1  the property does not hold\n"
          "  2  bad usage or parameters\n"
          "  3  out of memory\n"
          "  4  the procedure refused its input or failed (the message says why)\n"
          "  7  an input is missing or unreadable\n"
          "  8  an output could not be written; supcon --symbolic: the supervisor has more\n"
          "     than --max-states states (nothing written)\n"
          "  9  a state would carry more than 65,535 transitions\n"
          "  130  interrupted (Ctrl-C): nothing written\n"
          "\n"
          "kav help COMMAND (or kav COMMAND --help) describes a command, with an example.\n";
  return text;
}

int runCommandLine(int argc, char** argv) {
  if (argc < 2 || !isCommandName(argv[1])) return NOT_A_COMMAND;
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (args[0] == "help") {
    const std::string text = helpText(args.size() > 1 ? args[1] : std::string());
    if (text.empty()) {
      std::fprintf(stderr, "kav help: %s: no such command\n", args[1].c_str());
      return EXIT_USAGE;
    }
    std::fputs(text.c_str(), stdout);
    return EXIT_OK;
  }
  if (args[0] == "replay") return runReplay(args, argc > 0 ? argv[0] : "kav");
  CommandReport report;
  runCommand(args, report);
  printReport(report);
  if (std::fflush(stdout) != 0 && report.status == EXIT_OK) return EXIT_NOT_WRITTEN;
  return report.status;
}

} // namespace kav
