#pragma once

// The symbolic forms of supcon, nonconflict and condat (--symbolic): a
// modular model given as component files, never composed, run through the
// operations of symbolic/symbolicSupcon.h in this process. Their figures
// are exact decimal integers however large, which the report carries as
// DECIMAL fields.

#include <string>
#include <vector>

#include "cli/commands.h"
#include "symbolic/symbolicSupcon.h"

namespace kav {

enum SymbolicCommandKind {
  SYMBOLIC_SUPERVISOR,      // supcon: the supervisor and its figures
  SYMBOLIC_NONBLOCKING,     // nonconflict: whether the product of the components is nonblocking
  SYMBOLIC_CONTROLLABILITY, // condat: whether the supervisor components are controllable for the plant
};

struct SymbolicCommand {
  int kind = SYMBOLIC_SUPERVISOR;  // a SymbolicCommandKind
  std::vector<std::string> plants; // paths of the plant components (nonconflict: of all components)
  std::vector<std::string> others; // paths of the legal (supcon) or supervisor (condat) components
  std::string output;              // supcon: where the supervisor is written; "" with countOnly
  std::string outputShown;         // the output's path as messages name it
  SymbolicOptions options;         // order indexes plants, then others
};

// Loads the components and runs the operation of `command.kind`, with the
// progress line on the terminal when `progress` (see progressLine.h).
// Fills report.status (a CommandStatus: 0, 1 for a verdict that does not
// hold, 3 out of memory, 7 an unreadable component, 8 a supervisor of more
// than options.maxStates states or not written, 9 too many transitions at
// a state), report.error on failure, report.files with the supervisor
// written, and report.fields with the figures:
//   supcon:      reachable_states, supervisor_states, supervisor_transitions,
//                supervisor_marked_states (DECIMAL), rounds, reachable_nodes,
//                supervisor_nodes, peak_nodes (INTEGER), order (INTEGERS)
//   nonconflict: nonconflicting (FLAG), reachable_states, blocking_states
//                (DECIMAL), peak_nodes, order
//   condat:      controllable (FLAG), reachable_states, uncontrollable_states
//                (DECIMAL), peak_nodes, order
// The supervisor is written to command.output only on success, in this
// build's layout. Out of memory outside the package throws std::bad_alloc.
void runSymbolicCommand(const SymbolicCommand& command, CommandReport& report, bool progress);

} // namespace kav
