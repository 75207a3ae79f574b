#include "cli/symbolicCommands.h"

#include "cli/progressLine.h"
#include "engine/procedures.h"
#include "model/desfile.h"

namespace kav {

namespace {

// Every component, or the path of the first that does not load.
bool loadComponents(const std::vector<std::string>& paths, std::vector<DES>& out, std::string& failed) {
  out.resize(paths.size());
  for (std::size_t k = 0; k < paths.size(); ++k) {
    std::int64_t init = 0;
    if (loadDESFile(paths[k], out[k], init) != LOAD_OK) {
      failed = paths[k];
      return false;
    }
  }
  return true;
}

ReportField decimalField(const char* key, const std::string& digits) {
  ReportField f;
  f.key = key;
  f.kind = ReportField::DECIMAL;
  f.text = digits;
  return f;
}

ReportField integerField(const char* key, std::int64_t value) {
  ReportField f;
  f.key = key;
  f.kind = ReportField::INTEGER;
  f.integer = value;
  return f;
}

ReportField orderField(const std::vector<int>& order) {
  ReportField f;
  f.key = "order";
  f.kind = ReportField::INTEGERS;
  f.integers.assign(order.begin(), order.end());
  return f;
}

// The status and message of a code other than SYMBOLIC_OK.
void refuse(CommandReport& report, int code, const SymbolicCommand& command, const std::string& states) {
  report.status = code == SYMBOLIC_OUT_OF_MEMORY    ? EXIT_OUT_OF_MEMORY
                  : code == SYMBOLIC_TOO_MANY_STATES ? EXIT_NOT_WRITTEN
                  : code == SYMBOLIC_TRANSITION_LIMIT ? EXIT_TOO_MANY_TRANSITIONS
                                                      : EXIT_USAGE;
  switch (code) {
  case SYMBOLIC_OUT_OF_MEMORY: report.error = "out of memory"; break;
  case SYMBOLIC_TOO_MANY_STATES:
    report.error = "the supervisor has " + states + " states, more than --max-states " +
                   std::to_string(command.options.maxStates) +
                   ": nothing written (--count-only gives the figures alone)";
    break;
  case SYMBOLIC_TRANSITION_LIMIT: report.error = "a state would carry more than 65,535 transitions"; break;
  default: report.error = "no plant component, or --order not an order of the components"; break;
  }
}

void runSupervisor(const SymbolicCommand& command, const std::vector<DES>& plants, const std::vector<DES>& specs,
                   CommandReport& report) {
  SymbolicResult result;
  const int code = symbolicSupcon(plants, specs, command.options, result);
  endProgressLine();
  if (code != SYMBOLIC_OK) return refuse(report, code, command, result.supervisorStates);
  if (result.explicitBuilt && !command.output.empty()) {
    if (saveDESFile(command.output, result.supervisor, 0, sizeof(void*) >= 8 ? 2 : 1) != SAVE_OK) {
      report.status = EXIT_NOT_WRITTEN;
      report.error = command.outputShown + ": cannot be written";
      return;
    }
    report.files.push_back(figuresOf(command.output, result.supervisor, 0));
  }
  report.fields = {decimalField("reachable_states", result.reachableStates),
                   decimalField("supervisor_states", result.supervisorStates),
                   decimalField("supervisor_transitions", result.supervisorTransitions),
                   decimalField("supervisor_marked_states", result.supervisorMarkedStates),
                   integerField("rounds", result.rounds),
                   integerField("reachable_nodes", static_cast<std::int64_t>(result.reachableNodes)),
                   integerField("supervisor_nodes", static_cast<std::int64_t>(result.supervisorNodes)),
                   integerField("peak_nodes", static_cast<std::int64_t>(result.peakNodes)),
                   orderField(result.order)};
}

void runVerdict(const SymbolicCommand& command, const std::vector<DES>& plants, const std::vector<DES>& others,
                CommandReport& report) {
  SymbolicVerdict verdict;
  const bool nonblocking = command.kind == SYMBOLIC_NONBLOCKING;
  const int code = nonblocking ? symbolicNonconflict(plants, command.options, verdict)
                               : symbolicControllable(plants, others, command.options, verdict);
  endProgressLine();
  if (code != SYMBOLIC_OK) return refuse(report, code, command, "");
  ReportField holds;
  holds.key = nonblocking ? "nonconflicting" : "controllable";
  holds.kind = ReportField::FLAG;
  holds.flag = verdict.holds;
  report.fields = {holds, decimalField("reachable_states", verdict.reachableStates),
                   decimalField(nonblocking ? "blocking_states" : "uncontrollable_states", verdict.offendingStates),
                   integerField("peak_nodes", static_cast<std::int64_t>(verdict.peakNodes)),
                   orderField(verdict.order)};
  if (!verdict.holds) report.status = EXIT_DOES_NOT_HOLD;
}

} // namespace

void runSymbolicCommand(const SymbolicCommand& command, CommandReport& report, bool progress) {
  std::vector<DES> plants, others;
  std::string failed;
  if (!loadComponents(command.plants, plants, failed) || !loadComponents(command.others, others, failed)) {
    report.status = EXIT_UNREADABLE_INPUT;
    report.error = failed + ": not a DES file";
    return;
  }
  // The package's reports give their own time ("BDD REACH: round 1, sweep
  // 3, 2041 nodes, 0.4 s").
  beginProgressLine(report.command, progress && !report.quiet, false);
  if (command.kind == SYMBOLIC_SUPERVISOR) runSupervisor(command, plants, others, report);
  else runVerdict(command, plants, others, report);
}

} // namespace kav
