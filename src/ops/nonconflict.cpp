#include "ops/nonconflict.h"

#include <cstdint>
#include <vector>

#include "model/progress.h"
#include "ops/product.h"

namespace kav {

bool allCoreachable(const DES& des) {
  const std::size_t n = des.states.size();
  if (n == 0) return true;
  // Reversed transitions in one array (counting sort by target): a
  // reversed DES would cap the in-degree of a state at the per-state
  // transition limit, which a large product can exceed.
  std::vector<std::int64_t> first(n + 1, 0);
  for (const StateRecord& s : des.states)
    for (const Transition& t : transitionsOf(s)) ++first[static_cast<std::size_t>(t.target) + 1];
  for (std::size_t k = 0; k < n; ++k) first[k + 1] += first[k];
  std::vector<std::int64_t> predecessors(static_cast<std::size_t>(first[n]));
  {
    std::vector<std::int64_t> fill(first.begin(), first.end() - 1);
    for (std::size_t s = 0; s < n; ++s)
      for (const Transition& t : transitionsOf(des.states[s]))
        predecessors[static_cast<std::size_t>(fill[static_cast<std::size_t>(t.target)]++)] = static_cast<std::int64_t>(s);
  }
  std::vector<std::uint8_t> flagged(n, 0);
  std::vector<std::int64_t> queue;
  std::size_t count = 0;
  std::int64_t counter = 0;
  for (std::size_t m = 0; m < n; ++m) {
    if (!des.states[m].marked || flagged[m]) continue;
    flagged[m] = 1;
    ++count;
    queue.assign(1, static_cast<std::int64_t>(m));
    for (std::size_t head = 0; head < queue.size(); ++head) {
      const auto v = static_cast<std::size_t>(queue[head]);
      for (std::int64_t p = first[v]; p < first[v + 1]; ++p) {
        const auto s = static_cast<std::size_t>(predecessors[static_cast<std::size_t>(p)]);
        if (flagged[s]) continue;
        flagged[s] = 1;
        ++count;
        queue.push_back(static_cast<std::int64_t>(s));
        if (counter % 10000 == 0) reportProgressf("B_REACH: %ld", static_cast<long>(counter));
        ++counter;
      }
    }
  }
  return count == n;
}

bool nonconflictingDES(const DES& a, const DES& b, bool& answer) {
  DES product;
  std::vector<std::int64_t> pairOf;
  if (!a.empty() && !meetDES(a, b, product, pairOf)) return false;
  std::vector<std::int64_t>().swap(pairOf);
  answer = allCoreachable(product);
  return true;
}

} // namespace kav
