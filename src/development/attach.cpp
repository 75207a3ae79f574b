#include "development/attach.h"

#include <cassert>
#include <vector>

namespace kav {

namespace {

// The transitions of `from`, targets passed through `rename`, appended to
// `out`.
template <typename Rename>
void appendRenamed(const StateRecord& from, Rename rename, std::vector<Transition>& out) {
  for (const Transition& t : transitionsOf(from)) {
    Transition renamed = t;
    renamed.target = rename(static_cast<std::int64_t>(t.target));
    out.push_back(renamed);
  }
}

} // namespace

bool attachDES(const DES& base, std::int64_t state, const DES& graft, DES& result) {
  assert(base.size() >= 1 && graft.size() >= 1);
  assert(state >= 0 && state < base.size());
  const std::int64_t n1 = base.size();
  const auto rename = [state, n1](std::int64_t j) { return j == 0 ? state : n1 + j - 1; };

  // The merged list of the attachment state first: it is the only one that
  // can overflow, and nothing is built when it does.
  std::vector<Transition> merged;
  merged.reserve(static_cast<std::size_t>(base[state].transitionCount) + graft[0].transitionCount);
  appendRenamed(base[state], [](std::int64_t t) { return t; }, merged);
  appendRenamed(graft[0], rename, merged);
  StateRecord attachment;
  if (!assignTransitions(attachment, merged)) return false;

  DES built = copyDES(base);
  resizeStates(built, n1 + graft.size() - 1);
  built[state].transitions = std::move(attachment.transitions);
  built[state].transitionCount = attachment.transitionCount;
  std::vector<Transition> scratch;
  for (std::int64_t j = 1; j < graft.size(); ++j) {
    StateRecord& to = built[n1 + j - 1];
    scratch.clear();
    appendRenamed(graft[j], rename, scratch);
    // A valid graft state holds at most the limit, and renaming keeps its
    // pairs distinct.
    assignFittingTransitions(to, scratch);
    to.marked = graft[j].marked;
    to.vocal = graft[j].vocal;
  }
  result = std::move(built);
  return true;
}

bool statemapDES(const DES& source, const StatePairList& pairs, DES& result) {
  const std::size_t n = source.states.size();
  std::vector<std::int64_t> map(n);
  for (std::size_t x = 0; x < n; ++x) map[x] = static_cast<std::int64_t>(x);
  // Pairs are ascending by old value, then new value: the first pair of an
  // old value wins, so later pairs with the same old value are skipped.
  for (std::size_t k = 0; k < pairs.size(); ++k) {
    assert(pairs[k].a >= 0 && pairs[k].a < source.size() && pairs[k].b >= 0 && pairs[k].b < source.size());
    if (k > 0 && pairs[k - 1].a == pairs[k].a) continue;
    map[static_cast<std::size_t>(pairs[k].a)] = pairs[k].b;
  }

  // Transitions grouped by their new source state (a counting sort), so
  // each merged list is assembled and checked once.
  std::vector<std::int64_t> first(n + 1, 0);
  for (std::size_t i = 0; i < n; ++i) first[static_cast<std::size_t>(map[i]) + 1] += source.states[i].transitionCount;
  for (std::size_t k = 0; k < n; ++k) first[k + 1] += first[k];
  std::vector<Transition> grouped(static_cast<std::size_t>(first[n]));
  {
    std::vector<std::int64_t> fill(first.begin(), first.end() - 1);
    for (std::size_t i = 0; i < n; ++i)
      for (const Transition& t : transitionsOf(source.states[i])) {
        Transition renamed = t;
        renamed.target = map[static_cast<std::size_t>(t.target)];
        grouped[static_cast<std::size_t>(fill[static_cast<std::size_t>(map[i])]++)] = renamed;
      }
  }

  DES built = allocStates(source.size());
  std::vector<Transition> scratch;
  for (std::size_t s = 0; s < n; ++s) {
    scratch.assign(grouped.begin() + first[s], grouped.begin() + first[s + 1]);
    if (!assignTransitions(built.states[s], scratch)) return false;
  }
  result = std::move(built);
  return true;
}

} // namespace kav
