#include "ops/isomorph.h"

#include <algorithm>
#include <numeric>
#include <span>

#include "model/progress.h"

namespace kav {

namespace {

// Total signature entries the colour refinement may build before it stops
// refining: the classes found so far are still sound (they only ever
// separate states that cannot correspond), just coarser, and the search
// makes up for it with more trials.
constexpr std::size_t REFINEMENT_BUDGET = 50'000'000;

struct Matcher {
  const DES& a;
  const DES& b;
  std::vector<std::int64_t> map;     // a-state -> b-state, -1 = unmatched
  std::vector<std::int64_t> inverse; // b-state -> a-state, -1 = unmatched
  std::vector<std::int64_t> trail;   // a-states in order of matching, for undoing
  std::vector<std::int64_t> stack;   // pairs (by their a-state) still to compare
  std::vector<std::int64_t> colourA; // class of each unmatched a-state (-1 before refinement)
  std::vector<std::int64_t> colourB; // the same for b

  Matcher(const DES& x, const DES& y)
      : a(x), b(y), map(x.states.size(), -1), inverse(y.states.size(), -1), colourA(x.states.size(), -1),
        colourB(y.states.size(), -1) {}

  bool compatible(std::int64_t p, std::int64_t q) const {
    const StateRecord& s = a[p];
    const StateRecord& t = b[q];
    return s.marked == t.marked && s.vocal == t.vocal && s.transitionCount == t.transitionCount &&
           colourA[static_cast<std::size_t>(p)] == colourB[static_cast<std::size_t>(q)];
  }

  void match(std::int64_t p, std::int64_t q) {
    map[static_cast<std::size_t>(p)] = q;
    inverse[static_cast<std::size_t>(q)] = p;
    trail.push_back(p);
    stack.push_back(p);
  }

  void undo(std::size_t mark) {
    while (trail.size() > mark) {
      const std::int64_t p = trail.back();
      trail.pop_back();
      inverse[static_cast<std::size_t>(map[static_cast<std::size_t>(p)])] = -1;
      map[static_cast<std::size_t>(p)] = -1;
    }
  }

  // Matches p with q and everything the pair forces: transition k of a
  // matched a-state pairs with transition k of its partner (same label),
  // so their targets must correspond. False at the first contradiction;
  // the caller undoes the trail.
  bool walk(std::int64_t p, std::int64_t q) {
    stack.clear();
    if (!compatible(p, q)) return false;
    match(p, q);
    while (!stack.empty()) {
      const std::int64_t x = stack.back();
      stack.pop_back();
      const auto lx = transitionsOf(a[x]);
      const auto ly = transitionsOf(b[map[static_cast<std::size_t>(x)]]);
      for (std::size_t k = 0; k < lx.size(); ++k) {
        if (lx[k].event != ly[k].event) return false;
        const std::int64_t t = lx[k].target;
        const std::int64_t u = ly[k].target;
        const std::int64_t partner = map[static_cast<std::size_t>(t)];
        if (partner == u) continue;
        if (partner >= 0 || inverse[static_cast<std::size_t>(u)] >= 0 || !compatible(t, u)) return false;
        match(t, u);
      }
    }
    return true;
  }

  // Colour refinement of the unmatched states of both DES together.
  // Returns false when some class has different sizes in a and b.
  bool refine(const std::vector<std::int64_t>& freeA, const std::vector<std::int64_t>& freeB);

  // Places the unmatched a-states by search with backtracking.
  bool search(const std::vector<std::int64_t>& freeA, const std::vector<std::int64_t>& freeB);
};

bool Matcher::refine(const std::vector<std::int64_t>& freeA, const std::vector<std::int64_t>& freeB) {
  // Nodes 0..ua-1 are the free a-states, ua.. the free b-states.
  const std::size_t ua = freeA.size();
  const std::size_t nodes = ua + freeB.size();
  std::vector<std::int64_t> nodeA(a.states.size(), -1), nodeB(b.states.size(), -1);
  for (std::size_t k = 0; k < ua; ++k) nodeA[static_cast<std::size_t>(freeA[k])] = static_cast<std::int64_t>(k);
  for (std::size_t k = 0; k < freeB.size(); ++k)
    nodeB[static_cast<std::size_t>(freeB[k])] = static_cast<std::int64_t>(ua + k);
  const auto stateOf = [&](std::size_t node) -> const StateRecord& {
    return node < ua ? a[freeA[node]] : b[freeB[node - ua]];
  };
  // A target is either free (its node, whose colour then counts) or
  // matched, named by its a-state so that both sides agree.
  const auto targetToken = [&](std::size_t node, std::int64_t target, std::int64_t& freeNode) -> std::int64_t {
    if (node < ua) {
      freeNode = nodeA[static_cast<std::size_t>(target)];
      return target;
    }
    freeNode = nodeB[static_cast<std::size_t>(target)];
    return inverse[static_cast<std::size_t>(target)];
  };
  // Incoming transitions between free states (matched states only lead
  // to matched states), as (label, source node) per node.
  std::vector<std::size_t> inStart(nodes + 1, 0);
  std::vector<std::pair<std::uint16_t, std::size_t>> inList;
  {
    std::vector<std::vector<std::pair<std::uint16_t, std::size_t>>> incoming(nodes);
    for (std::size_t v = 0; v < nodes; ++v) {
      for (const Transition& t : transitionsOf(stateOf(v))) {
        std::int64_t freeNode;
        targetToken(v, t.target, freeNode);
        if (freeNode >= 0) incoming[static_cast<std::size_t>(freeNode)].push_back({t.event, v});
      }
    }
    for (std::size_t v = 0; v < nodes; ++v) {
      inStart[v + 1] = inStart[v] + incoming[v].size();
      inList.insert(inList.end(), incoming[v].begin(), incoming[v].end());
    }
  }

  std::vector<std::int64_t> colour(nodes, 0), next(nodes);
  std::vector<std::size_t> sigStart(nodes + 1), order(nodes);
  std::vector<std::int64_t> sig, part;
  std::size_t colours = 1, spent = 0;
  for (bool first = true;; first = false) {
    sig.clear();
    for (std::size_t v = 0; v < nodes; ++v) {
      sigStart[v] = sig.size();
      const StateRecord& s = stateOf(v);
      sig.insert(sig.end(), {colour[v], s.marked, s.vocal, s.transitionCount});
      // Out: (label, free target's colour or matched target's name).
      part.clear();
      for (const Transition& t : transitionsOf(s)) {
        std::int64_t freeNode;
        const std::int64_t token = targetToken(v, t.target, freeNode);
        part.push_back(static_cast<std::int64_t>(t.event) << 48 |
                       (freeNode >= 0 ? 2 * colour[static_cast<std::size_t>(freeNode)] : 2 * token + 1));
      }
      std::sort(part.begin(), part.end());
      sig.insert(sig.end(), part.begin(), part.end());
      sig.push_back(-1);
      // In: (label, source colour).
      part.clear();
      for (std::size_t k = inStart[v]; k < inStart[v + 1]; ++k)
        part.push_back(static_cast<std::int64_t>(inList[k].first) << 48 | colour[inList[k].second]);
      std::sort(part.begin(), part.end());
      sig.insert(sig.end(), part.begin(), part.end());
    }
    sigStart[nodes] = sig.size();
    spent += sig.size();
    const auto signature = [&](std::size_t v) {
      return std::span<const std::int64_t>(sig.data() + sigStart[v], sigStart[v + 1] - sigStart[v]);
    };
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::sort(order.begin(), order.end(), [&](std::size_t x, std::size_t y) {
      const auto sx = signature(x), sy = signature(y);
      return std::lexicographical_compare(sx.begin(), sx.end(), sy.begin(), sy.end());
    });
    std::int64_t id = -1;
    for (std::size_t k = 0; k < nodes; ++k) {
      if (k == 0 || !std::ranges::equal(signature(order[k - 1]), signature(order[k]))) ++id;
      next[order[k]] = id;
    }
    colour.swap(next);
    const auto found = static_cast<std::size_t>(id + 1);
    // The old colour leads every signature, so classes only ever split:
    // an unchanged count means a stable partition.
    if ((!first && found == colours) || spent > REFINEMENT_BUDGET) {
      colours = found;
      break;
    }
    colours = found;
  }
  std::vector<std::int64_t> balance(colours, 0);
  for (std::size_t k = 0; k < ua; ++k) {
    colourA[static_cast<std::size_t>(freeA[k])] = colour[k];
    ++balance[static_cast<std::size_t>(colour[k])];
  }
  for (std::size_t k = 0; k < freeB.size(); ++k) {
    colourB[static_cast<std::size_t>(freeB[k])] = colour[ua + k];
    --balance[static_cast<std::size_t>(colour[ua + k])];
  }
  return std::all_of(balance.begin(), balance.end(), [](std::int64_t d) { return d == 0; });
}

bool Matcher::search(const std::vector<std::int64_t>& freeA, const std::vector<std::int64_t>& freeB) {
  // Candidates of each class: its b-states, ascending.
  std::int64_t colours = 0;
  for (std::int64_t q : freeB) colours = std::max(colours, colourB[static_cast<std::size_t>(q)] + 1);
  std::vector<std::size_t> start(static_cast<std::size_t>(colours) + 1, 0);
  for (std::int64_t q : freeB) ++start[static_cast<std::size_t>(colourB[static_cast<std::size_t>(q)]) + 1];
  for (std::size_t c = 0; c < static_cast<std::size_t>(colours); ++c) start[c + 1] += start[c];
  std::vector<std::int64_t> candidates(freeB.size());
  {
    std::vector<std::size_t> fill(start.begin(), start.end() - 1);
    for (std::int64_t q : freeB) candidates[fill[static_cast<std::size_t>(colourB[static_cast<std::size_t>(q)])]++] = q;
  }
  const auto classSize = [&](std::int64_t p) {
    const auto c = static_cast<std::size_t>(colourA[static_cast<std::size_t>(p)]);
    return start[c + 1] - start[c];
  };
  // Fewest candidates first: a class of one is a forced match, and its
  // propagation often places the larger classes too.
  std::vector<std::int64_t> order = freeA;
  std::stable_sort(order.begin(), order.end(),
                   [&](std::int64_t x, std::int64_t y) { return classSize(x) < classSize(y); });

  struct Frame {
    std::size_t position; // index in order of the a-state being placed
    std::size_t next;     // next candidate to try, from start of its class
    std::size_t mark;     // trail length before its match
  };
  std::vector<Frame> frames;
  std::size_t position = 0;
  bool descending = true;
  for (;;) {
    if (descending) {
      while (position < order.size() && map[static_cast<std::size_t>(order[position])] >= 0) ++position;
      if (position == order.size()) return true;
      const std::int64_t p = order[position];
      reportProgressf("ISO1: %d %d", static_cast<int>(p), static_cast<int>(a.size()));
      frames.push_back({position, start[static_cast<std::size_t>(colourA[static_cast<std::size_t>(p)])], trail.size()});
    }
    Frame& f = frames.back();
    const std::int64_t p = order[f.position];
    const std::size_t end = start[static_cast<std::size_t>(colourA[static_cast<std::size_t>(p)]) + 1];
    bool placed = false;
    while (!placed && f.next < end) {
      const std::int64_t q = candidates[f.next++];
      if (inverse[static_cast<std::size_t>(q)] >= 0) continue;
      placed = walk(p, q);
      if (!placed) undo(f.mark);
    }
    if (placed) {
      position = f.position + 1;
      descending = true;
      continue;
    }
    frames.pop_back();
    if (frames.empty()) return false;
    undo(frames.back().mark);
    descending = false;
  }
}

} // namespace

bool isomorphicDES(const DES& a, const DES& b, std::vector<std::int64_t>& map) {
  map.assign(a.states.size(), -1);
  if (a.empty() || b.empty()) return a.empty() && b.empty();
  if (a.size() != b.size() || countTransitions(a) != countTransitions(b)) return false;
  const auto markedCount = [](const DES& d) {
    return std::count_if(d.states.begin(), d.states.end(), [](const StateRecord& s) { return s.marked != 0; });
  };
  if (markedCount(a) != markedCount(b)) return false;

  Matcher m(a, b);
  bool same = m.walk(0, 0);
  if (same) {
    std::vector<std::int64_t> freeA, freeB;
    for (std::int64_t s = 0; s < a.size(); ++s)
      if (m.map[static_cast<std::size_t>(s)] < 0) freeA.push_back(s);
    for (std::int64_t s = 0; s < b.size(); ++s)
      if (m.inverse[static_cast<std::size_t>(s)] < 0) freeB.push_back(s);
    // The walk is a bijection between what 0 reaches on either side, so
    // the remainders have the same size.
    same = freeA.empty() || (m.refine(freeA, freeB) && m.search(freeA, freeB));
  }
  if (same) map = std::move(m.map);
  return same;
}

} // namespace kav
