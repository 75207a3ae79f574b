#pragma once

// The benchmark model families, built directly as DES: a transfer line, the
// same line with machines that break down, and seeded random automata.
// Each family hands back its plant and legal-language components separately
// (not composed), so a benchmark can time the composition itself.
//
// Labels (odd controllable, even uncontrollable):
//   machine i (1-based): start 10i+1, finish 10i+2, repair 10i+3, break 10i+4
//   random family: u even labels 100, 102, ... and m-u odd ones 101, 103, ...
//
// Line and breakdown:
//   M<i>  machine: 0 idle (marked) --start--> 1 busy --finish--> 0; with
//         breakdowns also 1 --break--> 2 down --repair--> 0.
//   B<i>  buffer between machines i and i+1, capacity k: count c (0 marked)
//         --finish_i--> c+1 (c < k), --start_{i+1}--> c-1 (c > 0).
//   P<i>  (breakdown) repair priority: machine i is not repaired while
//         machine i+1 is down. 0 (marked) --repair_i--> 0, 0 --break_{i+1}-->
//         1, 1 --repair_{i+1}--> 0.
//   ALL   one marked state with a self-loop for every plant label, so that
//         the synchronous product of the legal components runs over the
//         plant's whole alphabet.
//   plants = M1..Mn; specs = B1..B(n-1), [P1..P(n-1)], ALL;
//   erased = every even plant label.
//
// Random (every automaton deterministic, every state reachable from 0):
//   R1, R2  plant components of n states; R1 over the first two thirds of the
//           m labels (ascending), R2 over the last two thirds.
//   S1      legal component of specStates states (n when 0): every
//           uncontrollable label at every state (each left out with
//           probability drop), deg random controllable labels per state.
//   ALL     as above, over all m labels.
//   plants = R1, R2; specs = S1, ALL; erased = the labels only R1 uses.
// The random numbers are those of the Mersenne Twister seeded with `seed`,
// drawn exactly as the original model generator draws them (its integer
// seeding, 53-bit doubles, rejection sampling of ranges and its sampling
// without replacement), so a seed gives the same automata here and there.

#include <cstdint>
#include <vector>

#include "model/des.h"
#include "model/sortedlists.h"

namespace kav::bench {

struct ModularModel {
  std::vector<kav::DES> plants; // plant components, in order
  std::vector<kav::DES> specs;  // legal-language components, in order
  kav::EventList erased;        // the labels the family's projection erases
};

// Transfer line of n machines (2..99) and n-1 buffers of capacity k (>= 1).
ModularModel lineFamily(int n, int k);

// The same line with machines that break down, buffers of capacity k, and a
// repair priority for each pair of neighbouring machines.
ModularModel breakdownFamily(int n, int k = 1);

// Random family: n states per plant component, m labels (3..449) of which
// unc are uncontrollable, out-degree deg, each state marked with
// probability marked (at least one state is).
ModularModel randomFamily(int n, int m, int unc, int deg, double marked, unsigned seed, int specStates = 0,
                          double drop = 0.0);

// Synchronous product of the components, each over its own alphabet,
// composed left to right as the Sync procedure does (every label of every
// component is free for a component that does not use it). Empty input
// gives the empty DES.
kav::DES syncComponents(const std::vector<kav::DES>& parts);

} // namespace kav::bench
