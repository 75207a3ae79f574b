#include "ops/edit.h"

#include <cassert>
#include <vector>

#include "ops/trim.h"

namespace kav {

void deleteStates(DES& des, const StateList& doomed, std::int64_t newInitial) {
  std::vector<std::int64_t> newIndex(static_cast<std::size_t>(des.size()));
  std::int64_t kept = 0;
  for (std::int64_t s = 0; s < des.size(); ++s)
    newIndex[static_cast<std::size_t>(s)] = findState(doomed, s) ? -1 : kept++;
  const std::int64_t initial =
      newInitial >= 0 && newInitial < des.size() ? newIndex[static_cast<std::size_t>(newInitial)] : -1;
  compactStates(des, newIndex);
  if (initial <= 0) return;
  // The new initial state to the front; the others keep their order.
  // Targets change out of order, so the lists are rebuilt sorted.
  std::vector<std::int64_t> map(static_cast<std::size_t>(des.size()));
  for (std::int64_t s = 0; s < des.size(); ++s)
    map[static_cast<std::size_t>(s)] = s == initial ? 0 : s < initial ? s + 1 : s;
  DES recoded = allocStates(des.size());
  // A permutation merges no states, so no list grows.
  [[maybe_unused]] const bool fits = recodeDES(des, recoded, map);
  assert(fits);
  des = std::move(recoded);
}

} // namespace kav
