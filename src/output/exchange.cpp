#include "output/exchange.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <ctime>

#include "model/desfile.h"
#include "model/safefile.h"
#include "model/userfiles.h"
#include "output/ads.h"
#include "output/eventMap.h"
#include "output/fsmFormat.h"
#include "output/genFormat.h"
#include "output/graphviz.h"
#include "output/listing.h"

namespace kav {

namespace {

enum class Format { NONE, DES, ADS, FSM, GEN, DOT };

std::string lowerCase(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

Format formatNamed(std::string_view name) {
  const std::string lower = lowerCase(name);
  if (lower == "des") return Format::DES;
  if (lower == "ads") return Format::ADS;
  if (lower == "fsm") return Format::FSM;
  if (lower == "gen") return Format::GEN;
  if (lower == "dot") return Format::DOT;
  return Format::NONE;
}

// The file name without its folder.
std::string_view fileName(std::string_view path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

Format formatOf(const std::string& given, const std::string& path) {
  if (!given.empty()) return formatNamed(given);
  const std::string_view name = fileName(path);
  const std::size_t dot = name.rfind('.');
  return dot == std::string_view::npos || dot == 0 ? Format::NONE : formatNamed(name.substr(dot + 1));
}

// The model's name: the input's file name without its extension.
std::string modelName(const std::string& path) {
  const std::string_view name = fileName(path);
  const std::size_t dot = name.rfind('.');
  return std::string(dot == std::string_view::npos || dot == 0 ? name : name.substr(0, dot));
}

bool isNamedFormat(Format f) {
  return f == Format::FSM || f == Format::GEN;
}

const char* formatTitle(Format f) {
  return f == Format::FSM ? "FSM text" : "a .gen file";
}

ConvertResult result(int status, std::string message) {
  return ConvertResult{status, std::move(message)};
}

std::string joinLabels(const EventList& labels) {
  std::string out;
  for (const std::uint16_t e : labels) {
    if (!out.empty()) out += ',';
    out += std::to_string(e);
  }
  return out;
}

// The options that make no sense for these formats, or contradict
// each other; "" when there are none.
std::string checkOptions(const ConvertOptions& o, Format from, Format to, const std::string& outPath) {
  const bool named = isNamedFormat(from) || isNamedFormat(to);
  if ((!o.controllable.empty() || !o.uncontrollable.empty()) && !isNamedFormat(from))
    return "--controllable and --uncontrollable apply only when reading .fsm or .gen";
  if (!o.unobservable.empty() && !isNamedFormat(to)) return "--unobservable applies only when writing .fsm or .gen";
  if (!named && (!o.silentName.empty() || !o.eventMap.empty() || !o.stateMap.empty()))
    return "--events, --states and --silent apply only to .fsm and .gen files";
  if (!o.eventMap.empty() && o.eventMap == o.stateMap) return "--events and --states name the same file";
  if ((!o.eventMap.empty() && o.eventMap == outPath) || (!o.stateMap.empty() && o.stateMap == outPath))
    return "a map would overwrite the output " + outPath;
  for (const std::string& name : o.controllable) {
    if (std::find(o.uncontrollable.begin(), o.uncontrollable.end(), name) == o.uncontrollable.end()) continue;
    std::string text = "event ";
    appendQuoted(text, name);
    return text + " is named by both --controllable and --uncontrollable";
  }
  for (const std::uint16_t e : o.unobservable)
    if (e > EPSILON_LABEL) return "--unobservable: label " + std::to_string(e) + " is not one of 0..1000";
  if (!o.silentName.empty() && isNamedFormat(to) &&
      !(to == Format::FSM ? isFsmName(o.silentName) : isGenName(o.silentName)))
    return std::string("--silent: ") + formatTitle(to) + " cannot carry the name \"" + o.silentName + "\"";
  return {};
}

// What a DES cannot be written as ADS for, or "".
std::string adsProblem(const DES& des) {
  if (des.size() > ADS_MAX_STATES) return "more than " + std::to_string(ADS_MAX_STATES) + " states";
  for (std::int64_t s = 0; s < des.size(); ++s) {
    const int vocal = des[s].vocal;
    if (vocal != 0 && (vocal < 10 || vocal > 99))
      return "state " + std::to_string(s) + " has the vocal output " + std::to_string(vocal) + " (ADS holds 10..99)";
    for (const Transition& t : transitionsOf(des[s]))
      if (t.event == EPSILON_LABEL) return "the silent event 1000";
  }
  if (!checkDeterministic(des)) return "nondeterministic transitions";
  return {};
}

// Two owners (indices into names) of one name, the smallest such pair in
// name order; false when all names differ. O(k log k) for k owners.
bool findSharedName(const std::vector<std::string>& names, const std::vector<std::int64_t>& owners, std::int64_t& first,
                    std::int64_t& second) {
  std::vector<std::size_t> order(owners.size());
  for (std::size_t k = 0; k < order.size(); ++k) order[k] = k;
  std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
    const std::string& x = names[static_cast<std::size_t>(owners[a])];
    const std::string& y = names[static_cast<std::size_t>(owners[b])];
    return x != y ? x < y : owners[a] < owners[b];
  });
  for (std::size_t k = 1; k < order.size(); ++k) {
    if (names[static_cast<std::size_t>(owners[order[k]])] != names[static_cast<std::size_t>(owners[order[k - 1]])])
      continue;
    first = owners[order[k - 1]];
    second = owners[order[k]];
    return true;
  }
  return false;
}

// Everything the conversion has read.
struct Model {
  DES des;
  EventMap events;
  bool eventMapExists = false;
  std::vector<std::string> stateNames; // by state number, from an import; empty otherwise
  EventList unobservable;              // labels an import found unobservable
};

ConvertResult readNamed(const std::string& inPath, Format from, const ConvertOptions& o, bool needNames, Model& m) {
  std::string text;
  const OpenStatus read = readWholeFile(inPath, text);
  if (read != OPEN_OK)
    return result(CONVERT_REFUSED, inPath + (read == OPEN_MISSING ? ": no such file" : ": cannot be read"));
  NamedModel model;
  std::string message;
  const bool parsed =
      from == Format::FSM ? parseFsm(text, inPath, model, message) : parseGen(text, inPath, model, message);
  if (!parsed) return result(CONVERT_REFUSED, message);
  overrideControllability(model, o.controllable, o.uncontrollable);
  std::vector<std::uint16_t> labels;
  if (!checkEventAttributes(model, inPath, message) ||
      !assignLabels(model, o.silentName, inPath, o.eventMap, m.events, labels, message) ||
      !buildNamedDES(model, labels, inPath, m.des, message))
    return result(CONVERT_REFUSED, message);
  for (std::size_t k = 0; k < model.events.size(); ++k)
    if (!model.events[k].observable && labels[k] != EPSILON_LABEL) insertEvent(m.unobservable, labels[k]);
  if (needNames) m.stateNames = namesByNumber(model);
  return {};
}

ConvertResult readModel(const std::string& inPath, Format from, const ConvertOptions& o, bool needNames, Model& m) {
  if (!o.eventMap.empty()) {
    std::string message;
    const MapStatus status = readEventMap(o.eventMap, m.events, message);
    if (status == MAP_REFUSED) return result(CONVERT_REFUSED, message);
    m.eventMapExists = status == MAP_READ;
    if (!m.eventMapExists && !isNamedFormat(from)) return result(CONVERT_REFUSED, o.eventMap + ": no such file");
  }
  if (isNamedFormat(from)) return readNamed(inPath, from, o, needNames, m);
  if (from == Format::ADS) {
    const std::vector<AdsError> errors = parseAdsFile(inPath, m.des);
    if (errors.empty()) return {};
    const AdsError& e = errors.front();
    if (e.line == ADS_NO_LINE)
      return result(CONVERT_REFUSED, inPath + (fileExists(inPath) ? ": cannot be read" : ": no such file"));
    std::string where =
        inPath + ": line" + (e.secondLine != ADS_NO_LINE ? "s " + std::to_string(e.secondLine) + " and " : " ");
    return result(CONVERT_REFUSED, where + std::to_string(e.line) + ": " + adsErrorMessage(e.code));
  }
  std::int64_t init = 0;
  const LoadStatus status = loadDESFile(inPath, m.des, init);
  if (status == LOAD_MISSING) return result(CONVERT_REFUSED, inPath + ": no such file");
  if (status != LOAD_OK) return result(CONVERT_REFUSED, inPath + ": not a DES file");
  if (init == -1) return result(CONVERT_REFUSED, inPath + ": holds control data, not a DES");
  return {};
}

// The names an export writes, checked against the format.
ConvertResult exportNames(const std::string& inPath, const std::string& outPath, Format to, const ConvertOptions& o,
                          Model& m, ExportNames& names) {
  const auto canCarry = [to](std::string_view name) { return to == Format::FSM ? isFsmName(name) : isGenName(name); };
  const auto refuse = [&](const std::string& text) { return result(CONVERT_REFUSED, text); };
  for (std::int64_t s = 0; s < m.des.size(); ++s) {
    if (m.des[s].vocal != 0)
      return refuse(inPath + ": state " + std::to_string(s) + " has a vocal output, which " + formatTitle(to) +
                    " cannot hold");
  }
  EventList used;
  collectEvents(m.des, used);
  names.events.assign(EPSILON_LABEL + 1, std::string());
  names.unobservable.assign(EPSILON_LABEL + 1, false);
  std::vector<std::int64_t> owners(used.begin(), used.end());
  for (const std::uint16_t e : used) {
    std::string& name = names.events[e];
    if (e == EPSILON_LABEL) {
      if (o.silentName.empty())
        return refuse(inPath + ": uses the silent event 1000, which " + formatTitle(to) +
                      " has no counterpart for; name it with --silent NAME");
      name = o.silentName;
      names.unobservable[e] = true;
    } else {
      name = m.events.names[e].empty() ? std::to_string(e) : m.events.names[e];
    }
    if (!canCarry(name)) {
      std::string text = outPath + ": " + formatTitle(to) + " cannot carry the name ";
      appendQuoted(text, name);
      return refuse(text + " of event " + std::to_string(e));
    }
  }
  for (const EventList* list : {&o.unobservable, static_cast<const EventList*>(&m.unobservable)})
    for (const std::uint16_t e : *list) names.unobservable[e] = true;
  std::int64_t a = 0, b = 0;
  if (findSharedName(names.events, owners, a, b)) {
    std::string text =
        outPath + ": events " + std::to_string(a) + " and " + std::to_string(b) + " would both be named ";
    appendQuoted(text, names.events[static_cast<std::size_t>(a)]);
    return refuse(text);
  }

  if (!m.stateNames.empty()) {
    names.states = std::move(m.stateNames);
  } else if (!o.stateMap.empty()) {
    StateMap map;
    std::string message;
    const MapStatus status = readStateMap(o.stateMap, m.des.size(), map, message);
    if (status == MAP_MISSING) return refuse(o.stateMap + ": no such file");
    if (status == MAP_REFUSED) return refuse(message);
    names.states = std::move(map.names);
    for (std::int64_t s = 0; s < m.des.size(); ++s)
      if (names.states[static_cast<std::size_t>(s)].empty())
        names.states[static_cast<std::size_t>(s)] = std::to_string(s);
  }
  if (names.states.empty()) return {};
  for (std::int64_t s = 0; s < m.des.size(); ++s) {
    const std::string& name = names.states[static_cast<std::size_t>(s)];
    if (canCarry(name)) continue;
    std::string text = outPath + ": " + formatTitle(to) + " cannot carry the name ";
    appendQuoted(text, name);
    return refuse(text + " of state " + std::to_string(s));
  }
  std::vector<std::int64_t> states(static_cast<std::size_t>(m.des.size()));
  for (std::int64_t s = 0; s < m.des.size(); ++s) states[static_cast<std::size_t>(s)] = s;
  if (findSharedName(names.states, states, a, b)) {
    std::string text =
        outPath + ": states " + std::to_string(a) + " and " + std::to_string(b) + " would both be named ";
    appendQuoted(text, names.states[static_cast<std::size_t>(a)]);
    return refuse(text);
  }
  return {};
}

// A file written completely under a temporary name, renamed over its
// target only when every other file of the conversion was written too.
template <typename Writer> bool stage(const std::string& path, Writer write, std::vector<AtomicFile>& staged) {
  AtomicFile file;
  if (!beginAtomicFile(path, file)) return false;
  write(file.stream);
  if (std::fflush(file.stream) != 0 || std::ferror(file.stream) != 0) {
    discardAtomicFile(file);
    return false;
  }
  staged.push_back(std::move(file));
  return true;
}

void discard(std::vector<AtomicFile>& staged, std::size_t from = 0) {
  for (std::size_t k = from; k < staged.size(); ++k) discardAtomicFile(staged[k]);
}

bool writeOutput(const std::string& inPath, const std::string& outPath, Format to, const Model& m,
                 const ExportNames& names) {
  const std::string name = modelName(inPath);
  switch (to) {
  case Format::DES:
    return saveDESFile(outPath, m.des, 0, sizeof(void*) >= 8 ? 2 : 1) == SAVE_OK;
  case Format::ADS:
    return writeTextFile(outPath, [&](std::FILE* out) { writeAdsListing(out, name, m.des); });
  case Format::FSM:
    return writeTextFile(outPath, [&](std::FILE* out) { writeFsm(out, m.des, names); });
  case Format::GEN:
    return writeTextFile(outPath, [&](std::FILE* out) { writeGen(out, m.des, name, names); });
  default:
    // The dot text of the picture conversion, without colours.
    return writeTextFile(outPath, [&](std::FILE* out) { writeDot(out, m.des, name, false, std::time(nullptr)); });
  }
}

} // namespace

ConvertResult convertModel(const std::string& inPath, const std::string& outPath, const ConvertOptions& options) {
  const Format from = formatOf(options.from, inPath);
  const Format to = formatOf(options.to, outPath);
  if (from == Format::DOT) return result(CONVERT_BAD_OPTIONS, inPath + ": .dot files are written, not read");
  if (from == Format::NONE) {
    return result(CONVERT_BAD_OPTIONS, options.from.empty()
                                           ? inPath + ": cannot tell the format; give --from des, ads, fsm or gen"
                                           : "--from " + options.from + ": not one of des, ads, fsm, gen");
  }
  if (to == Format::NONE) {
    return result(CONVERT_BAD_OPTIONS, options.to.empty()
                                           ? outPath + ": cannot tell the format; give --to des, ads, fsm, gen or dot"
                                           : "--to " + options.to + ": not one of des, ads, fsm, gen, dot");
  }
  if (std::string problem = checkOptions(options, from, to, outPath); !problem.empty())
    return result(CONVERT_BAD_OPTIONS, std::move(problem));

  Model m;
  const bool imports = isNamedFormat(from);
  const bool needNames = imports && (isNamedFormat(to) || !options.stateMap.empty());
  if (ConvertResult r = readModel(inPath, from, options, needNames, m); r.status != CONVERT_OK) return r;

  ExportNames names;
  if (isNamedFormat(to)) {
    if (ConvertResult r = exportNames(inPath, outPath, to, options, m, names); r.status != CONVERT_OK) return r;
  } else if (to == Format::ADS) {
    if (const std::string problem = adsProblem(m.des); !problem.empty())
      return result(CONVERT_REFUSED, inPath + ": ADS cannot hold " + problem);
  }

  std::vector<AtomicFile> staged;
  std::string unwritten; // the first map that could not be written
  if (imports && !options.eventMap.empty() && (m.events.changed || !m.eventMapExists) &&
      !stage(
          options.eventMap, [&](std::FILE* out) { writeEventMap(out, m.events); }, staged))
    unwritten = options.eventMap;
  if (unwritten.empty() && imports && !options.stateMap.empty()) {
    const std::vector<std::string>& stateNames = names.states.empty() ? m.stateNames : names.states;
    if (!stage(
            options.stateMap, [&](std::FILE* out) { writeStateMap(out, stateNames); }, staged))
      unwritten = options.stateMap;
  }
  if (unwritten.empty() && !writeOutput(inPath, outPath, to, m, names)) unwritten = outPath;
  if (!unwritten.empty()) {
    discard(staged);
    return result(CONVERT_NOT_WRITTEN, unwritten + ": cannot be written");
  }
  for (std::size_t k = 0; k < staged.size(); ++k) {
    if (commitAtomicFile(staged[k], true)) continue;
    discard(staged, k + 1);
    return result(CONVERT_NOT_WRITTEN, staged[k].path + ": cannot be written");
  }

  if (imports && !isNamedFormat(to) && !m.unobservable.empty()) {
    const std::string list = joinLabels(m.unobservable);
    return result(CONVERT_OK,
                  "note: KAV keeps no observability; give --unobservable " + list + " when exporting again");
  }
  return {};
}

} // namespace kav
