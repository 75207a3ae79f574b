#include "ops/mutex.h"

#include <vector>

#include "ops/trim.h"

namespace kav {

void mutexCut(DES& product, std::int64_t n1, std::int64_t n2, const PairIndex& pairIndex,
              const StatePairList& excluded) {
  const std::size_t n = product.states.size();
  std::vector<std::uint8_t> bad(n, 0);
  std::vector<std::int64_t> queue;
  for (const StatePair& p : excluded) {
    if (p.a < 0 || p.a >= n1 || p.b < 0 || p.b >= n2) continue;
    const std::int64_t k = pairIndex.find(p.b * n1 + p.a);
    if (k < 0 || bad[static_cast<std::size_t>(k)]) continue;
    bad[static_cast<std::size_t>(k)] = 1;
    queue.push_back(k);
  }
  if (queue.empty()) return;
  // Predecessors through uncontrollable transitions only, in one array
  // (counting sort by target). An excluded state loses its transitions
  // first, so it is never anybody's predecessor.
  std::vector<std::int64_t> first(n + 1, 0);
  for (std::size_t s = 0; s < n; ++s) {
    if (bad[s]) continue;
    for (const Transition& t : transitionsOf(product.states[s]))
      if (t.event % 2 == 0) ++first[static_cast<std::size_t>(t.target) + 1];
  }
  for (std::size_t k = 0; k < n; ++k) first[k + 1] += first[k];
  std::vector<std::int64_t> predecessors(static_cast<std::size_t>(first[n]));
  {
    std::vector<std::int64_t> fill(first.begin(), first.end() - 1);
    for (std::size_t s = 0; s < n; ++s) {
      if (bad[s]) continue;
      for (const Transition& t : transitionsOf(product.states[s]))
        if (t.event % 2 == 0) predecessors[static_cast<std::size_t>(fill[static_cast<std::size_t>(t.target)]++)] = static_cast<std::int64_t>(s);
    }
  }
  // One search from all excluded states at once flags the same states as
  // a search from each of them in turn.
  for (std::size_t head = 0; head < queue.size(); ++head) {
    const auto k = static_cast<std::size_t>(queue[head]);
    for (std::int64_t p = first[k]; p < first[k + 1]; ++p) {
      const auto s = static_cast<std::size_t>(predecessors[static_cast<std::size_t>(p)]);
      if (bad[s]) continue;
      bad[s] = 1;
      queue.push_back(static_cast<std::int64_t>(s));
    }
  }
  if (bad[0]) {
    freeDES(product);
    return;
  }
  std::vector<std::int64_t> newIndex(n, -1);
  std::int64_t kept = 0;
  for (std::size_t s = 0; s < n; ++s)
    if (!bad[s]) newIndex[s] = kept++;
  compactStates(product, newIndex);
}

bool mutexDES(const DES& a, const DES& b, const StatePairList& excluded, DES& result) {
  if (a.empty() || b.empty()) {
    result = DES{};
    return true;
  }
  EventList labels;
  collectEvents(a, labels);
  collectEvents(b, labels);
  DES product;
  std::vector<std::int64_t> pairOf;
  PairIndex pairIndex;
  if (!syncDES(a, b, labels, false, product, pairOf, &pairIndex)) return false;
  std::vector<std::int64_t>().swap(pairOf);
  mutexCut(product, a.size(), b.size(), pairIndex, excluded);
  reachDES(product);
  result = std::move(product);
  return true;
}

} // namespace kav
