#pragma once

// The work the console does in its own process instead of the batch
// child: the edits of Create and Edit, the blocked events of Sync, Natobs,
// the clean-up after Supreduce, Localize with its ControlEqu check, and the
// development procedures. The console reaches the operations only through
// here; each function has the contract of the operation it names, which
// its own header states in full.

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "model/des.h"
#include "model/localizeRequest.h"
#include "model/minimizer.h"
#include "model/sortedlists.h"

namespace kav::inProcess {

// --- Create and Edit ------------------------------------------------------------------

// deleteStates: removes `doomed`; `newInitial` (-1: none) becomes state 0.
void deleteStates(DES& des, const StateList& doomed, std::int64_t newInitial);
// reachDES: keeps the states reachable from state 0.
void reachDES(DES& des);

// --- Sync and Natobs ------------------------------------------------------------------

// blockedEvents: labels of the inputs on no transition of the result.
EventList blockedEvents(const EventList& inputLabels, const DES& result);
// The pseudo-event that natobsDES adds for marking.
inline constexpr std::uint16_t MARKER_EVENT = 1001;
// natobsDES: the natural observer of des for a seed of observed labels.
[[nodiscard]] bool natobsDES(const DES& des, const EventList& seed, DES& observer, EventList& image);
// allEventsDES: one marked state self-looped with every label.
DES allEventsDES(const EventList& labels);

// --- Supreduce and Localize -----------------------------------------------------------

// The clean-up of a reduced supervisor: `cleaned` is `reduced` without the
// self-loops that removeIdleSelfloops finds idle given the labels the
// control data disable. Answers whether it differs from `reduced` (is not
// isomorphic to it).
[[nodiscard]] bool cleanUpReduction(const DES& reduced, const EventList& disabled, DES& cleaned);
// isControllerNameTaken, localize, controlEquivalent and
// sameAfterMinimization of the localization; the console passes the
// session's minimizer.
bool isControllerNameTaken(const LocalizeRequest& request, std::size_t index, std::string_view name);
[[nodiscard]] int localize(const LocalizeRequest& request, std::vector<std::int64_t>& sizes,
                           const LocalizeConsole& console);
[[nodiscard]] bool controlEquivalent(std::span<const DES> components, std::span<const DES> controllers,
                                     const DES& supervisor, Minimizer minimizer);
[[nodiscard]] bool sameAfterMinimization(const DES& a, const DES& b, Minimizer minimizer);

// --- Development procedures -----------------------------------------------------------

// attachDES, statemapDES, shortestPathDES and blockStates.
[[nodiscard]] bool attachDES(const DES& base, std::int64_t state, const DES& graft, DES& result);
[[nodiscard]] bool statemapDES(const DES& source, const StatePairList& pairs, DES& result);
void shortestPathDES(const DES& source, std::int64_t p, std::int64_t q, DES& result);
StateList blockStates(DES& des);

} // namespace kav::inProcess
