#pragma once

// Supervisor reduction: for a plant, a supervisor (usually Supcon of the
// plant) and the supervisor's control data (usually Condat of the two), a
// reduced supervisor that enforces the same control action on the plant,
// as a rule with far fewer states.
//
// States of the supervisor are merged into cells when they are control
// consistent: no event that one of them enables is disabled at the other,
// and their marking agrees wherever the plant's marking cannot tell them
// apart. Merging is greedy, pair by pair in ascending order (i, then j > i),
// and each tentative merge is closed under common successors; a merge that
// would touch a cell below the current i, or join inconsistent cells, is
// undone. The cells are the states of the reduced supervisor.
//
// Which plant state a supervisor state stands for (and so whether the
// plant's marking tells it apart) comes from a depth-first spanning tree of
// the supervisor: a state takes the plant state reached from its tree
// parent's plant state by the event of the tree edge.

#include <cstdint>
#include <string>
#include <vector>

#include "model/des.h"
#include "model/sortedlists.h"

namespace kav {

// What the reduction's own file reader reports. Allocation failures do
// not come back as codes: they travel as std::bad_alloc like everywhere
// else (so the values 5 to 8 that once stood for them are never returned).
enum ReductionLoaderCode {
  LOADER_OK = 0,
  LOADER_CANNOT_OPEN = 1,
  LOADER_BAD_FORMAT_CONSTANT = 2, // the field after the magic is not the format constant
  LOADER_BAD_BLOCK_TYPE = 3,      // the block type is not 0
  LOADER_READ_ERROR = 4,          // the file ends inside the header, or its body is corrupt
  LOADER_NO_MAGIC = 9,            // neither magic string after the header text
};

// Results of the reduction.
enum ReductionCode {
  REDUCE_OK = 0,
  REDUCE_EMPTY_INPUT = -1,       // the plant or the supervisor has no states
  REDUCE_NOTHING_TO_REDUCE = -2, // the supervisor is one state with at most one transition
  // 1..9: the plant's file is not readable (its loader code)
  REDUCE_RESULT_NOT_OPENED = 1,  // also: the result file cannot be created
  // 11..19: the supervisor's file is not readable (REDUCE_SUPERVISOR_FILE + its loader code)
  REDUCE_CONTROL_DATA_MISMATCH = 20, // the control data have another state count than the supervisor
  REDUCE_CONTROL_DATA_UNREADABLE = 21, // the control data file exists but is not a readable DAT
  REDUCE_TOO_LARGE = 30,         // more states than the 32-bit class numbers can name
  REDUCE_PLANT_CORRESPONDENCE = 40, // reserved: an inconsistent spanning tree (cannot occur here)
  REDUCE_RESULT_INCOMPLETE = 50, // the result file was not written completely
};
inline constexpr int REDUCE_SUPERVISOR_FILE = 10;

// --- The working form of an input -------------------------------------------------

// One transition row of a state; a state without transitions owns one
// placeholder row so that every state appears in the rows. Placeholders
// never match an event of another row or of the control data and are
// never written to a result.
struct ReductionRow {
  std::int64_t target; // 0..size-1; the state itself for a placeholder
  std::uint16_t event; // the label; 0 (and meaningless) for a placeholder
  bool placeholder;    // true for the one row of a state without transitions
};

struct ReductionAutomaton {
  std::int64_t size = 0;              // number of states
  StateList markers;                  // marker states, ascending
  std::vector<ReductionRow> rows;     // grouped by source, ascending; a state's rows by event, then target
  std::vector<std::int64_t> firstRow; // size + 1 entries: state s owns rows firstRow[s] .. firstRow[s+1]-1

  std::int64_t rowCount() const { return static_cast<std::int64_t>(rows.size()); }
};

// Reads a .DES file of either layout version into the working form.
// Returns a ReductionLoaderCode; `out` is filled only on LOADER_OK.
// Cost: the file load, O(n + t).
[[nodiscard]] int loadReductionAutomaton(const std::string& path, ReductionAutomaton& out);

// The working form of a DES in memory (tests, benchmarks).
ReductionAutomaton reductionAutomatonOf(const DES& des);

// --- The reduction ------------------------------------------------------------------

struct ReducedSupervisor {
  std::int64_t size = 0;            // N': the number of cells
  StateList markers;                // cells holding a marked supervisor state, ascending
  std::vector<Triple> triples;      // (cell, event, cell): every supervisor transition carried over to the
                                    // cells, ascending by (from, event, to), without repeats
  std::vector<std::int64_t> cellOf; // per supervisor state, the number of its cell
};

// Reduces `supervisor` for `plant` under `controlData`.
// In:  plant and supervisor with at least one state each, the supervisor
//      with more than one row (the caller handles the empty and the
//      one-row cases; given anyway they answer REDUCE_EMPTY_INPUT and
//      REDUCE_NOTHING_TO_REDUCE). controlData: one record per supervisor
//      state listing its disabled labels as transitions (a DAT file), or
//      null when there are none to go by (every record empty).
// Out: result (on REDUCE_OK). Numbering: the cell of state 0 is 0; the other
//      cells in ascending order of their smallest member are 1, 2, ...
//      lowerBound: with computeBound, a lower bound on the states of any
//      reduced supervisor found from the pairwise compatibility of states
//      (0 when its table, 2 bits per pair of states, cannot be had);
//      without it, 0.
// Returns: REDUCE_OK, REDUCE_EMPTY_INPUT, REDUCE_NOTHING_TO_REDUCE,
//      REDUCE_CONTROL_DATA_MISMATCH or REDUCE_TOO_LARGE.
// Progress: "SUPREDUCE: %ld %ld" (current first state, states) and, for the
//      bound, "SLB: %ld %ld" (current row, states), every 256th step.
// Cost: at most N^2 / 2 merge attempts for N supervisor states; an attempt
//      costs time in proportion to the classes and union-find entries it
//      touches and is undone from a log of what it changed. Space
//      O(N + t) for t transitions of both inputs. The bound adds a table
//      of N (N - 1) / 2 entries of 2 bits (about N^2 / 8 bytes) and
//      O(N^2 * d) time for out-degree d, more when long chains of pairs
//      have to be walked again.
[[nodiscard]] int reduceSupervisor(const ReductionAutomaton& plant, const ReductionAutomaton& supervisor,
                                   const DES* controlData, bool computeBound, ReducedSupervisor& result,
                                   std::int64_t& lowerBound);

// The reduced supervisor as a DES (placeholders and silent transitions
// included as they are in the triples). A cell with more transitions than
// a state can carry is left without any.
DES reducedDES(const ReducedSupervisor& reduced);

// The whole computation on files: reads the plant and the supervisor with
// loadReductionAutomaton and the control data (a DAT file; one that is
// missing counts as no control data, but one that exists and cannot be
// read, a truncated one say, is an error: reducing without the control
// data it held would give a supervisor that may not enforce the same
// control action), reduces, and writes the
// result with saveReductionDES through a temporary file in the result's
// directory that replaces the result file only when complete.
// Out: lowerBound and ratio (N / N' in single precision) on REDUCE_OK;
//      reducedSize, when given, receives N'.
// Returns: REDUCE_OK; REDUCE_EMPTY_INPUT or REDUCE_NOTHING_TO_REDUCE (no
//      result written); the plant's loader code (1..9), 10 + the
//      supervisor's loader code; REDUCE_CONTROL_DATA_MISMATCH;
//      REDUCE_CONTROL_DATA_UNREADABLE;
//      REDUCE_TOO_LARGE; REDUCE_RESULT_NOT_OPENED; REDUCE_RESULT_INCOMPLETE.
[[nodiscard]] int supreduceFiles(const std::string& plantPath, const std::string& supervisorPath,
                                 const std::string& controlDataPath, const std::string& resultPath, bool computeBound,
                                 std::int64_t& lowerBound, float& ratio, std::int64_t* reducedSize = nullptr);

// --- The clean-up --------------------------------------------------------------------

// Removes every self-loop (s, e, s) whose label e is neither in `kept` nor
// on any transition of des between two different states. In place.
// Returns the number of self-loops removed. Cost: O(n + t log t).
std::int64_t removeIdleSelfloops(DES& des, const EventList& kept);

} // namespace kav
