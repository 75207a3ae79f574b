#pragma once

// The choice of minimizer, a setting the front ends make and hand down.
// The batch child takes it from the selector line of its parameters, the
// console and the command line from the session; the algorithms are given
// it as a parameter and never read the session.

#include <cstdint>

namespace kav {

// Both minimizers give the same quotient, numbering included; they differ
// in cost and in their progress lines.
enum class Minimizer : std::uint8_t {
  PAIRWISE, // selector 0: minimizePairwise
  HOPCROFT, // selector 1: minimizeHopcroft, the default
};

// The minimizer of a selector as the parameter file carries it: 0 is
// pairwise, any other value partition refinement.
inline Minimizer minimizerOf(int selector) { return selector == 0 ? Minimizer::PAIRWISE : Minimizer::HOPCROFT; }

} // namespace kav
