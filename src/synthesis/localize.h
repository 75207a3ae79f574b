#pragma once

// Supervisor localization: the control action of a monolithic supervisor
// SUPER for a plant PLANT, the synchronous product of independent
// components PLANT1..PLANTn, split into local controllers LOC1..LOCm
// (m <= n). Local controller i only enables and disables the events of
// component i: it is the reduction of SUPER (see supreduce.h) under
// SUPER's control data restricted to those events. A clean-up then drops
// self-loops that carry no control information, and controlEquivalent
// confirms that PLANT under all local controllers behaves as PLANT under
// SUPER.

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "model/des.h"
#include "model/minimizer.h"
#include "model/localizeRequest.h"

namespace kav {

// Whether `name` must not be used for controller `index` (0-based): it
// names PLANT, SUPER, a component, or a controller before it, compared as
// the user directory compares file names (leading blanks dropped, case
// ignored). Writing it would overwrite an input or another controller.
bool isControllerNameTaken(const LocalizeRequest& request, std::size_t index, std::string_view name);

// The localization.
// In:  request; the files PLANT, SUPER and the components must load.
// Out: LOCi.DES for every controller (the reduced supervisor; an empty DES
//      when PLANT or SUPER is empty; SUPER itself when SUPER is one state
//      with at most one transition); sizes: the state count of each.
//      The control data of each controller (SUPER's control data on PLANT
//      restricted to the events on component i's transitions) are written
//      into a private directory in the user directory, read back by the
//      reduction and the clean-up, and removed with the directory before
//      returning, on every path. The clean-up (unless skipped, and only
//      with more than one component) removes from LOCi each self-loop whose
//      event LOCi's control data never disable and no transition of LOCi
//      between two different states carries.
//      With `pathOf` the names are files wherever it says. The private
//      directory goes beside LOC1's file (PLANT's without controllers).
// Returns: LOCALIZE_OK, LOCALIZE_FAILED or LOCALIZE_WRITE_FAILED (every
//      save is checked, so OK means every controller is on file as
//      computed); controllers written before a failure stay.
// Cost: the product of PLANT and SUPER, plus one reduction per controller.
[[nodiscard]] int localize(const LocalizeRequest& request, std::vector<std::int64_t>& sizes,
                           const LocalizeConsole& console = {}, const LocalizePaths& pathOf = {});

// ControlEqu: every component and every controller brought to SUPER's
// alphabet (Sync with one marked state self-looped with SUPER's events)
// and all of them met; true when the result has the same closed and
// marked behaviour as SUPER (sameAfterMinimization), or when both are
// empty. The order of the meets does not change the language.
[[nodiscard]] bool controlEquivalent(std::span<const DES> components, std::span<const DES> controllers,
                                     const DES& supervisor, Minimizer minimizer = Minimizer::HOPCROFT);

// True when a and b are isomorphic, or become so after both are reached
// and minimized (minimizeDES with `minimizer`; the console and the command
// line pass the session's choice, the default serves tests).
[[nodiscard]] bool sameAfterMinimization(const DES& a, const DES& b, Minimizer minimizer = Minimizer::HOPCROFT);

} // namespace kav
