#pragma once

// Control data of a supervisor: for every supervisor state, the labels the
// plant could execute at some moment when the supervisor is in that state
// but which the supervisor does not allow there.

#include "model/des.h"

namespace kav {

// Control data of supervisor on plant.
// In:   plant (size NG), supervisor (size NS); neither is changed.
// Out:  controlData: NS records, record x listing every label to disable
//       at supervisor state x as a transition (label, target 0), ascending,
//       duplicate-free; flags and vocal outputs 0. It is the union, over
//       every product state (g, x) reachable from (0, 0) in meetDES(plant,
//       supervisor), of the labels enabled at g in the plant and at no
//       transition of (g, x). The product is not trimmed. An empty plant
//       gives NS empty records, an empty supervisor no records.
// Returns: false when the product would exceed the transition limit
// (controlData untouched).
// Cost: the product, plus O(p * d) for p product states and out-degree d.
[[nodiscard]] bool condatDES(const DES& plant, const DES& supervisor, DES& controlData);

// Adds to `record` (target 0) every label that plantState enables and
// productState does not. Labels already in the record stay once.
void tabulateDisabled(const StateRecord& plantState, const StateRecord& productState, StateRecord& record);

} // namespace kav
