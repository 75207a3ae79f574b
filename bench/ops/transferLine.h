#pragma once

// The benchmark model of the product, Supcon and Minstate benchmarks: a
// transfer line of n machines and n-1 buffers of capacity k.
//   machine i: idle --start_i (odd)--> busy --finish_i (even)--> idle; idle marked
//   buffer i:  count c --finish_i--> c+1 (c < k), --start_{i+1}--> c-1 (c > 0);
//              count 0 marked
// The plant is the Sync of the machines; the legal language the Sync of the
// buffers, self-looped with the plant events no buffer uses (start_0 and
// finish_{n-1}). The supervisor keeps every combination in which no
// machine i < n-1 is busy while buffer i is full: about 2 (2k+1)^(n-1)
// states.

#include <cassert>
#include <cstdint>
#include <vector>

#include "model/des.h"
#include "ops/product.h"

namespace kav::bench {

inline std::uint16_t startLabel(int i) { return static_cast<std::uint16_t>(2 * i + 1); }
inline std::uint16_t finishLabel(int i) { return static_cast<std::uint16_t>(2 * i + 2); }

inline void setTransitions(DES& des, std::int64_t s, std::vector<Transition> list) {
  (void)assignTransitions(des[s], list);
}

inline Transition edge(std::uint16_t event, std::int64_t target) {
  Transition t;
  t.event = event;
  t.target = target;
  return t;
}

inline DES machine(int i) {
  DES des = allocStates(2);
  setTransitions(des, 0, {edge(startLabel(i), 1)});
  setTransitions(des, 1, {edge(finishLabel(i), 0)});
  des[0].marked = 1;
  return des;
}

inline DES buffer(int i, int k) {
  DES des = allocStates(k + 1);
  for (int c = 0; c <= k; ++c) {
    std::vector<Transition> list;
    if (c < k) list.push_back(edge(finishLabel(i), c + 1));
    if (c > 0) list.push_back(edge(startLabel(i + 1), c - 1));
    setTransitions(des, c, list);
  }
  des[0].marked = 1;
  return des;
}

// Sync of the components, left to right over the union of their labels.
inline DES syncAll(std::vector<DES>& parts) {
  EventList labels;
  for (const DES& p : parts) collectEvents(p, labels);
  DES acc = std::move(parts[0]);
  for (std::size_t i = 1; i < parts.size(); ++i) {
    DES next;
    std::vector<std::int64_t> pairOf;
    (void)syncDES(acc, parts[i], labels, i > 1, next, pairOf);
    acc = std::move(next);
  }
  return acc;
}

struct TransferLine {
  DES plant;       // Sync of the machines
  DES buffers;     // Sync of the buffers
  DES spec;        // buffers self-looped with start_0 and finish_{n-1}
  EventList labels; // every label of the line
};

inline TransferLine transferLine(int n, int k) {
  TransferLine line;
  std::vector<DES> machines, buffers;
  for (int i = 0; i < n; ++i) machines.push_back(machine(i));
  for (int i = 0; i + 1 < n; ++i) buffers.push_back(buffer(i, k));
  line.plant = syncAll(machines);
  line.buffers = syncAll(buffers);
  line.spec = copyDES(line.buffers);
  // Two self-loops on a buffer product stay far below the transition limit.
  [[maybe_unused]] const bool fits = addSelfloops(line.spec, {startLabel(0), finishLabel(n - 1)});
  assert(fits);
  collectEvents(line.plant, line.labels);
  return line;
}

} // namespace kav::bench
