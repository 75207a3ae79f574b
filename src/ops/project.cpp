#include "ops/project.h"

#include <algorithm>
#include <span>

#include "model/progress.h"
#include "ops/minimize.h"
#include "ops/trim.h"

namespace kav {

namespace {

// The subsets made so far, numbered by creation, with a hash index over
// their member lists. Members live in one flat array (start[k] ..
// start[k + 1]) so that a million small subsets cost a few words each
// instead of a vector apiece. The index is an open-addressing table of
// subset numbers probed linearly; each subset's hash is kept so that
// growing the table and rejecting a mismatch need no rehashing of members.
struct SubsetTable {
  std::vector<std::int64_t> start{0};  // count() + 1 offsets into members
  std::vector<std::int64_t> members;   // ascending within each subset
  std::vector<std::uint64_t> hashes;   // hash of each subset's members
  std::vector<std::int64_t> slots;     // subset number, -1 = free; size a power of two
  std::size_t mask = 0;                // slots.size() - 1

  std::int64_t count() const { return static_cast<std::int64_t>(hashes.size()); }

  std::span<const std::int64_t> subset(std::int64_t k) const {
    const auto from = static_cast<std::size_t>(start[static_cast<std::size_t>(k)]);
    const auto to = static_cast<std::size_t>(start[static_cast<std::size_t>(k) + 1]);
    return {members.data() + from, to - from};
  }

  static std::uint64_t hashOf(std::span<const std::int64_t> set) {
    std::uint64_t h = 0x9E3779B97F4A7C15ull ^ set.size();
    for (std::int64_t m : set) {
      h ^= static_cast<std::uint64_t>(m);
      h *= 0xff51afd7ed558ccdull;
      h ^= h >> 32;
    }
    h ^= h >> 29;
    h *= 0xc4ceb9fe1a85ec53ull;
    h ^= h >> 32;
    return h;
  }

  void grow() {
    const std::size_t size = slots.empty() ? 1024 : 2 * slots.size();
    slots.assign(size, -1);
    mask = size - 1;
    for (std::int64_t k = 0; k < count(); ++k) {
      std::size_t i = hashes[static_cast<std::size_t>(k)] & mask;
      while (slots[i] >= 0) i = (i + 1) & mask;
      slots[i] = k;
    }
  }

  // The number of the subset with exactly these members; when there is
  // none, the set becomes the next subset and `added` is set.
  std::int64_t findOrAdd(std::span<const std::int64_t> set, bool& added) {
    added = false;
    if (2 * (hashes.size() + 1) > slots.size()) grow();
    const std::uint64_t h = hashOf(set);
    std::size_t i = h & mask;
    for (; slots[i] >= 0; i = (i + 1) & mask) {
      const std::int64_t k = slots[i];
      if (hashes[static_cast<std::size_t>(k)] != h) continue;
      const auto other = subset(k);
      if (other.size() == set.size() && std::equal(set.begin(), set.end(), other.begin())) return k;
    }
    const std::int64_t k = count();
    slots[i] = k;
    hashes.push_back(h);
    members.insert(members.end(), set.begin(), set.end());
    start.push_back(static_cast<std::int64_t>(members.size()));
    added = true;
    return k;
  }
};

// The working state of one subset construction over `des`.
struct Construction {
  const DES& des;
  std::vector<std::uint8_t> erased;    // per label: 1 when erased
  std::vector<std::uint8_t> hasErased; // per state: 1 when it has an erased transition
  std::vector<std::uint64_t> stamp;    // per state: the closure run that last took it
  std::uint64_t run = 0;               // current closure run
  std::vector<std::int64_t> stack;     // depth-first stack of the closure

  Construction(const DES& d, const EventList& labels) : des(d), erased(65536, 0), stamp(d.states.size(), 0) {
    for (std::uint16_t e : labels) erased[e] = 1;
  }

  // Flags the states with erased transitions; false when there are none.
  bool findErased() {
    hasErased.assign(des.states.size(), 0);
    bool any = false;
    for (std::size_t s = 0; s < des.states.size(); ++s) {
      for (const Transition& t : transitionsOf(des.states[s])) {
        if (!erased[t.event]) continue;
        hasErased[s] = 1;
        any = true;
        break;
      }
    }
    return any;
  }

  // Starts a union of closures in `out` (cleared).
  void beginClosure(std::vector<std::int64_t>& out) {
    out.clear();
    ++run;
  }

  // Adds state t and everything reachable from it by erased transitions.
  // The union of closures of several states is the set reachable from
  // all of them at once, so one search per union serves, with no closure
  // table per state (which would be quadratic on long erased chains).
  void addClosure(std::int64_t t, std::vector<std::int64_t>& out) {
    if (stamp[static_cast<std::size_t>(t)] == run) return;
    stamp[static_cast<std::size_t>(t)] = run;
    out.push_back(t);
    if (!hasErased[static_cast<std::size_t>(t)]) return;
    stack.push_back(t);
    while (!stack.empty()) {
      const std::int64_t v = stack.back();
      stack.pop_back();
      for (const Transition& tr : transitionsOf(des[v])) {
        if (!erased[tr.event]) continue;
        const auto u = static_cast<std::size_t>(tr.target);
        if (stamp[u] == run) continue;
        stamp[u] = run;
        out.push_back(tr.target);
        if (hasErased[u]) stack.push_back(tr.target);
      }
    }
  }

  static void finishClosure(std::vector<std::int64_t>& out) {
    if (!std::is_sorted(out.begin(), out.end())) std::sort(out.begin(), out.end());
  }
};

// The subset construction. Returns false, leaving des untouched, when the
// DES is empty or no transition carries an erased label; otherwise
// replaces des and, when `keep` is given, leaves the subsets in it.
bool constructSubsets(DES& des, const EventList& labels, SubsetTable* keep) {
  if (des.empty() || labels.empty()) return false;
  Construction c(des, labels);
  if (!c.findErased()) return false;

  SubsetTable local;
  SubsetTable& table = keep ? *keep : local;
  DES result;
  std::vector<std::int64_t> set;
  bool added = false;
  const auto newSubset = [&](std::span<const std::int64_t> members) {
    StateRecord& r = result.states.emplace_back();
    for (std::int64_t m : members) {
      if (!des[m].marked) continue;
      r.marked = 1;
      break;
    }
  };

  c.beginClosure(set);
  c.addClosure(0, set);
  Construction::finishClosure(set);
  table.findOrAdd(set, added);
  newSubset(set);

  std::vector<Transition> moves, out;
  for (std::int64_t k = 0; k < table.count(); ++k) {
    reportProgressf("PROJECT: %d %d", static_cast<int>(k), static_cast<int>(table.count() - 1));
    // The kept moves of all members; one member's are sorted already.
    moves.clear();
    const auto members = table.subset(k);
    for (std::int64_t m : members)
      for (const Transition& t : transitionsOf(des[m]))
        if (!c.erased[t.event]) moves.push_back(t);
    if (members.size() > 1) std::sort(moves.begin(), moves.end());

    out.clear();
    for (std::size_t i = 0; i < moves.size();) {
      const std::uint16_t label = moves[i].event;
      c.beginClosure(set);
      for (; i < moves.size() && moves[i].event == label; ++i) c.addClosure(moves[i].target, set);
      Construction::finishClosure(set);
      const std::int64_t target = table.findOrAdd(set, added);
      if (added) newSubset(table.subset(target));
      Transition t;
      t.event = label;
      t.target = target;
      out.push_back(t);
    }
    // One target per label, labels ascending: already in list order, and
    // a subset has at most one transition per label, far below the limit.
    (void)assignTransitions(result[k], out);
  }
  des = std::move(result);
  return true;
}

// --- The projection to the minimal DES -----------------------------------------
//
// Once an erased label occurs, the projection's result is the minimal
// deterministic DES of the projected closed and marked behaviour, numbered
// breadth-first. Any route to that DES gives the same result, so this one
// keeps every intermediate small: erased moves become one silent label,
// cycles of silent moves collapse into single states, one subset
// construction erases everything at once, and the minimizer and a
// breadth-first renumbering finish. (Erasing label by label, each stage
// minimized, lets a stage grow far beyond both the input and the result.)

// Every transition with an erased label becomes NULL_LABEL; lists are
// re-sorted and duplicates collapse. Vocal outputs are cleared: the
// projection has none.
void silenceErased(DES& des, const std::vector<std::uint8_t>& erased) {
  std::vector<Transition> list;
  for (StateRecord& s : des.states) {
    s.vocal = 0;
    const auto old = transitionsOf(s);
    if (std::none_of(old.begin(), old.end(), [&](const Transition& t) { return erased[t.event] != 0; })) continue;
    list.assign(old.begin(), old.end());
    for (Transition& t : list)
      if (erased[t.event]) t.event = NULL_LABEL;
    (void)assignTransitions(s, list); // never longer than before
  }
}

// Merges every strongly connected component of silent moves into one state
// (its members reach each other silently, so each has the projected
// behaviour of all) and drops silent self-loops. A merged state is marked
// when a member is and carries the members' transitions; components are
// numbered by their smallest member, so state 0 stays 0. Leaves des as it
// was when a merged state would exceed the transition limit: the subset
// construction copes with silent cycles, only more slowly.
// Cost: O(n + t) (Tarjan's algorithm, iterative).
void mergeSilentCycles(DES& des) {
  const std::size_t n = des.states.size();
  constexpr std::int64_t NONE = -1;
  std::vector<std::int64_t> order(n, NONE), low(n, 0), component(n, NONE), stack;
  struct Frame {
    std::int64_t state;
    std::uint32_t next; // the next transition to follow; silent ones come last
  };
  std::vector<Frame> calls;
  std::int64_t counter = 0, components = 0;
  bool anyCycle = false;
  const auto enter = [&](std::int64_t v) {
    order[static_cast<std::size_t>(v)] = low[static_cast<std::size_t>(v)] = counter++;
    stack.push_back(v);
    calls.push_back({v, findEventIndex(des[v], NULL_LABEL)});
  };
  for (std::size_t root = 0; root < n; ++root) {
    if (order[root] != NONE) continue;
    enter(static_cast<std::int64_t>(root));
    while (!calls.empty()) {
      Frame& f = calls.back();
      const StateRecord& s = des[f.state];
      const auto v = static_cast<std::size_t>(f.state);
      if (f.next < s.transitionCount) {
        const auto w = static_cast<std::size_t>(s.transitions[f.next++].target);
        if (order[w] == NONE) enter(static_cast<std::int64_t>(w));
        else if (component[w] == NONE) low[v] = std::min(low[v], order[w]);
        continue;
      }
      if (low[v] == order[v]) {
        std::int64_t w;
        do {
          w = stack.back();
          stack.pop_back();
          component[static_cast<std::size_t>(w)] = components;
          anyCycle = anyCycle || w != f.state;
        } while (w != f.state);
        ++components;
      }
      const std::int64_t done = f.state;
      calls.pop_back();
      if (!calls.empty()) {
        const auto u = static_cast<std::size_t>(calls.back().state);
        low[u] = std::min(low[u], low[static_cast<std::size_t>(done)]);
      }
    }
  }
  std::vector<Transition> list;
  if (!anyCycle) {
    for (std::size_t s = 0; s < n; ++s) {
      StateRecord& state = des.states[s];
      const auto old = transitionsOf(state);
      const auto self = [&](const Transition& t) { return t.event == NULL_LABEL && t.target == static_cast<std::int64_t>(s); };
      if (std::none_of(old.begin(), old.end(), self)) continue;
      list.assign(old.begin(), old.end());
      std::erase_if(list, self);
      (void)assignTransitions(state, list);
    }
    return;
  }
  std::vector<std::int64_t> renumber(static_cast<std::size_t>(components), NONE);
  std::int64_t merged = 0;
  for (std::size_t i = 0; i < n; ++i) {
    std::int64_t& r = renumber[static_cast<std::size_t>(component[i])];
    if (r == NONE) r = merged++;
    component[i] = r;
  }
  // Members of each component, by counting sort.
  std::vector<std::int64_t> start(static_cast<std::size_t>(merged) + 1, 0), members(n);
  for (std::size_t i = 0; i < n; ++i) ++start[static_cast<std::size_t>(component[i]) + 1];
  for (std::size_t k = 0; k < static_cast<std::size_t>(merged); ++k) start[k + 1] += start[k];
  {
    std::vector<std::int64_t> fill(start.begin(), start.end() - 1);
    for (std::size_t i = 0; i < n; ++i)
      members[static_cast<std::size_t>(fill[static_cast<std::size_t>(component[i])]++)] = static_cast<std::int64_t>(i);
  }
  DES result = allocStates(merged);
  const bool limitBefore = transitionLimitExceeded;
  for (std::int64_t k = 0; k < merged; ++k) {
    list.clear();
    StateRecord& out = result[k];
    for (std::int64_t p = start[static_cast<std::size_t>(k)]; p < start[static_cast<std::size_t>(k) + 1]; ++p) {
      const StateRecord& in = des[members[static_cast<std::size_t>(p)]];
      if (in.marked) out.marked = 1;
      for (const Transition& t : transitionsOf(in)) {
        const std::int64_t to = component[static_cast<std::size_t>(t.target)];
        if (t.event != NULL_LABEL || to != k) list.push_back(makeTransition(t.event, to));
      }
    }
    if (!assignTransitions(out, list)) {
      transitionLimitExceeded = limitBefore;
      return;
    }
  }
  des = std::move(result);
}

// The subset construction over the silent label, tuned for subsets of
// hundreds of members: moves and silent successors sit in flat arrays of
// 32-bit state numbers, the moves of a subset are bucketed by label instead
// of sorted, and a subset is found again through a hash that does not
// depend on the order of its members and a comparison against the closure
// marks, so no member list is ever sorted. The subsets are numbered in
// order of creation; the caller minimizes and renumbers, so that order is
// free. Index holds a state number.
// Cost: O(sum over subsets of their members' moves and silent successors).
template <typename Index>
void determinizeSilent(DES& des) {
  const std::size_t n = des.states.size();
  // Kept labels in ascending order, and their indexes.
  std::vector<std::int32_t> labelIndex(65536, -1);
  EventList labels;
  for (const StateRecord& s : des.states)
    for (const Transition& t : transitionsOf(s))
      if (t.event != NULL_LABEL && labelIndex[t.event] < 0) labelIndex[t.event] = 0;
  for (std::size_t e = 0; e < labelIndex.size(); ++e)
    if (labelIndex[e] == 0) {
      labelIndex[e] = static_cast<std::int32_t>(labels.size());
      labels.push_back(static_cast<std::uint16_t>(e));
    }
  struct Move {
    Index label; // index into labels
    Index target;
  };
  std::vector<std::uint64_t> moveStart(n + 1, 0), silentStart(n + 1, 0);
  std::vector<Move> moves;
  std::vector<Index> silent;
  std::vector<std::uint8_t> marked(n);
  for (std::size_t s = 0; s < n; ++s) {
    const StateRecord& state = des.states[s];
    marked[s] = state.marked;
    for (const Transition& t : transitionsOf(state)) {
      if (t.event == NULL_LABEL) silent.push_back(static_cast<Index>(t.target));
      else moves.push_back({static_cast<Index>(labelIndex[t.event]), static_cast<Index>(t.target)});
    }
    moveStart[s + 1] = moves.size();
    silentStart[s + 1] = silent.size();
  }

  // The subsets: members in one flat array, with an open-addressing index.
  std::vector<Index> members;
  std::vector<std::uint64_t> start{0}, hashes;
  std::vector<std::int64_t> slots(1024, -1);
  std::size_t mask = slots.size() - 1;
  const auto memberHash = [](Index m) {
    std::uint64_t x = m + 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ull;
    x = (x ^ (x >> 27)) * 0x94d049bb133111ebull;
    return x ^ (x >> 31);
  };

  // The closure under silent moves of a set of states, marked with `run`.
  std::vector<std::uint32_t> stamp(n, 0);
  std::uint32_t run = 0;
  std::vector<Index> closure, pending;
  bool closureMarked = false;
  std::uint64_t closureHash = 0;
  const auto add = [&](Index t) {
    if (stamp[t] == run) return;
    stamp[t] = run;
    pending.push_back(t);
    while (!pending.empty()) {
      const Index v = pending.back();
      pending.pop_back();
      closure.push_back(v);
      closureHash += memberHash(v);
      closureMarked = closureMarked || marked[v];
      for (std::uint64_t i = silentStart[v]; i < silentStart[v + 1]; ++i) {
        const Index u = silent[i];
        if (stamp[u] == run) continue;
        stamp[u] = run;
        pending.push_back(u);
      }
    }
  };
  const auto begin = [&] {
    if (++run == 0) { // the marks wrapped: start afresh
      std::fill(stamp.begin(), stamp.end(), 0);
      run = 1;
    }
    closure.clear();
    closureMarked = false;
    closureHash = 0;
  };
  DES result;
  // The subset of the current closure; a new one is appended.
  const auto findOrAdd = [&]() -> std::int64_t {
    const std::uint64_t h = closureHash ^ closure.size() * 0xff51afd7ed558ccdull;
    std::size_t i = static_cast<std::size_t>(h) & mask;
    for (; slots[i] >= 0; i = (i + 1) & mask) {
      const auto k = static_cast<std::size_t>(slots[i]);
      if (hashes[k] != h || start[k + 1] - start[k] != closure.size()) continue;
      bool same = true;
      for (std::uint64_t p = start[k]; p < start[k + 1] && same; ++p) same = stamp[members[p]] == run;
      if (same) return slots[i];
    }
    const auto k = static_cast<std::int64_t>(hashes.size());
    slots[i] = k;
    hashes.push_back(h);
    members.insert(members.end(), closure.begin(), closure.end());
    start.push_back(members.size());
    result.states.emplace_back().marked = closureMarked;
    if (2 * hashes.size() > slots.size()) {
      slots.assign(2 * slots.size(), -1);
      mask = slots.size() - 1;
      for (std::size_t j = 0; j < hashes.size(); ++j) {
        std::size_t x = static_cast<std::size_t>(hashes[j]) & mask;
        while (slots[x] >= 0) x = (x + 1) & mask;
        slots[x] = static_cast<std::int64_t>(j);
      }
    }
    return k;
  };

  begin();
  add(0);
  findOrAdd(); // the closure of state 0 becomes result state 0
  std::vector<std::vector<Index>> bucket(labels.size());
  std::vector<Index> used; // label indexes with a nonempty bucket
  std::vector<Transition> out;
  for (std::size_t k = 0; k < hashes.size(); ++k) {
    reportProgressf("PROJECT: %d %d", static_cast<int>(k), static_cast<int>(hashes.size() - 1));
    used.clear();
    for (std::uint64_t p = start[k]; p < start[k + 1]; ++p) {
      const Index m = members[p];
      for (std::uint64_t i = moveStart[m]; i < moveStart[m + 1]; ++i) {
        auto& b = bucket[moves[i].label];
        if (b.empty()) used.push_back(moves[i].label);
        b.push_back(moves[i].target);
      }
    }
    std::sort(used.begin(), used.end());
    out.clear();
    for (const Index a : used) {
      begin();
      for (const Index t : bucket[a]) add(t);
      bucket[a].clear();
      out.push_back(makeTransition(labels[a], findOrAdd()));
    }
    (void)assignTransitions(result.states[k], out); // one target per label
  }
  des = std::move(result);
}

// Whether the staged construction would run a subset construction at all:
// when its first stage's labels occur on some transition, or when some
// erased label occurs on a transition reachable from state 0 (the reach and
// minimization between stages keep exactly the reachable labels). Without
// one, its result is the input reached and minimized. `des` is reached in
// either case.
bool erasesSomething(DES& des, const EventList& labels) {
  if (des.empty() || labels.empty()) {
    reachDES(des);
    return false;
  }
  const std::int64_t n = des.size();
  const std::size_t firstStage = n < 100 ? labels.size() : n < 1000 ? 2 : 1;
  std::vector<std::uint8_t> erased(65536, 0);
  for (std::size_t i = 0; i < labels.size() && i < firstStage; ++i) erased[labels[i]] = 1;
  const auto occurs = [&] {
    for (const StateRecord& s : des.states)
      for (const Transition& t : transitionsOf(s))
        if (erased[t.event]) return true;
    return false;
  };
  const bool first = occurs();
  reachDES(des);
  if (first) return true;
  for (std::uint16_t e : labels) erased[e] = 1;
  return occurs();
}

void stagedProjection(DES& des, const EventList& labels, bool minimize) {
  const auto reduce = [&des, minimize] {
    if (!minimize || des.size() < 2) return;
    reachDES(des);
    minimizeDES(des);
  };
  if (labels.empty()) {
    if (minimize) {
      reachDES(des);
      minimizeDES(des);
    }
    return;
  }
  // The stage size follows the state count at entry: large inputs erase
  // few labels per stage, so each subset construction starts from a
  // minimal DES and meets only the growth of those labels.
  const std::int64_t n = des.size();
  const std::size_t step = n < 100 ? labels.size() : n < 1000 ? 2 : 1;
  for (std::size_t i = 0; i < labels.size(); i += step) {
    const EventList stage(labels.begin() + static_cast<std::ptrdiff_t>(i),
                          labels.begin() + static_cast<std::ptrdiff_t>(std::min(i + step, labels.size())));
    projectCore(des, stage);
    reduce();
  }
}

} // namespace

void projectCore(DES& des, const EventList& labels) { constructSubsets(des, labels, nullptr); }

void project(DES& des, const EventList& nullLabels) {
  if (!erasesSomething(des, nullLabels)) {
    minimizeDES(des);
    return;
  }
  std::vector<std::uint8_t> erased(65536, 0);
  for (std::uint16_t e : nullLabels) erased[e] = 1;
  silenceErased(des, erased);
  mergeSilentCycles(des);
  if (des.size() <= static_cast<std::int64_t>(UINT32_MAX)) determinizeSilent<std::uint32_t>(des);
  else determinizeSilent<std::uint64_t>(des);
  minimizeHopcroft(des);
  bfsRecodeDES(des);
}

void projectStaged(DES& des, const EventList& nullLabels) { stagedProjection(des, nullLabels, true); }

void projectNoMinimize(DES& des, const EventList& nullLabels) { stagedProjection(des, nullLabels, false); }

void projectWithStateSets(DES& des, const EventList& nullLabels, std::vector<StateList>& stateSets) {
  SubsetTable table;
  stateSets.clear();
  if (!constructSubsets(des, nullLabels, &table)) {
    stateSets.resize(des.states.size());
    for (std::size_t i = 0; i < stateSets.size(); ++i) stateSets[i] = {static_cast<std::int64_t>(i)};
    return;
  }
  stateSets.resize(static_cast<std::size_t>(table.count()));
  for (std::int64_t k = 0; k < table.count(); ++k) {
    const auto members = table.subset(k);
    stateSets[static_cast<std::size_t>(k)].assign(members.begin(), members.end());
  }
}

} // namespace kav
