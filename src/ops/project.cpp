#include "ops/project.h"

#include <algorithm>
#include <cassert>
#include <optional>
#include <span>
#include <type_traits>

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
    assignFittingTransitions(result[k], out);
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
    assignFittingTransitions(s, list); // never longer than before
  }
}

// Merges every strongly connected component of silent moves into one state
// (its members reach each other silently, so each has the projected
// behaviour of all) and drops silent self-loops. A merged state is marked
// when a member is and carries the members' transitions; components are
// numbered by their smallest member, so state 0 stays 0. Leaves des as it
// was, and returns false, when a merged state would exceed the transition
// limit: the plain subset construction copes with silent cycles.
// Cost: O(n + t) (Tarjan's algorithm, iterative).
bool mergeSilentCycles(DES& des) {
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
      assignFittingTransitions(state, list); // shorter than before
    }
    return true;
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
    if (!assignTransitions(out, list)) return false;
  }
  des = std::move(result);
  return true;
}

// --- Determinizing the silent automaton -------------------------------------------
//
// After silencing and merging silent cycles the DES is an automaton whose
// silent moves form an acyclic graph (unless a merge would have exceeded
// the transition limit). Two subset constructions determinize it. Both make one state per subset, marked when a member reaches a marked
// state silently, with one transition per kept label to the subset reached
// under it; both number subsets in order of creation (the caller minimizes
// and renumbers, so that order is free). Each subset stands for the
// projected closed and marked behaviour of its members together, so the
// minimal DES of either construction is the projection's.
//
// The plain construction keeps every subset as its whole closure under
// silent moves. It is the faster one while subsets stay few or differ in
// behaviour. On some supervisors, though, hundreds of thousands of subsets
// of hundreds of members each come about and minimize to a few dozen
// states: they differ only in members whose behaviour other members of the
// same subset already cover. The pruned construction, for acyclic silent
// moves, drops those members.
//
// State y simulates state x when (1) x reaches a marked state silently only
// if y does, (2) y simulates every silent successor of x, and (3) for every
// move x -a-> x', y reaches silently a state with a move -a-> y' such that
// y' simulates x'. By induction on the length of a path from x, x's
// projected closed and marked behaviour is then part of y's, so a subset holding both
// behaves as it would without x, and so do its successors, which the pruned
// construction computes from the closure of the remaining members.
// (Condition (2) could allow any y' that y reaches silently; it need not:
// y simulates whatever such a y' simulates, and the greatest relation that
// meets the three conditions is the same either way.)

// The automaton both constructions read, in flat arrays of Index state
// numbers.
template <typename Index>
struct SilentAutomaton {
  struct Move {
    Index label; // index into labels
    Index target;
  };
  EventList labels;                          // the kept labels, ascending
  std::vector<std::uint64_t> moveStart{0};   // size() + 1 offsets into moves
  std::vector<Move> moves;                   // kept moves; labels ascending within a state
  std::vector<std::uint64_t> silentStart{0}; // size() + 1 offsets into silent
  std::vector<Index> silent;                 // silent successors
  std::vector<std::uint8_t> marked;          // per state: 1 when marked

  std::size_t size() const { return marked.size(); }
  std::span<const Move> movesOf(std::size_t s) const {
    return {moves.data() + moveStart[s], static_cast<std::size_t>(moveStart[s + 1] - moveStart[s])};
  }
  std::span<const Index> silentOf(std::size_t s) const {
    return {silent.data() + silentStart[s], static_cast<std::size_t>(silentStart[s + 1] - silentStart[s])};
  }
};

template <typename Index>
SilentAutomaton<Index> readSilent(const DES& des) {
  SilentAutomaton<Index> a;
  std::vector<std::int32_t> labelIndex(65536, -1);
  for (const StateRecord& s : des.states)
    for (const Transition& t : transitionsOf(s))
      if (t.event != NULL_LABEL) labelIndex[t.event] = 0;
  for (std::size_t e = 0; e < labelIndex.size(); ++e)
    if (labelIndex[e] == 0) {
      labelIndex[e] = static_cast<std::int32_t>(a.labels.size());
      a.labels.push_back(static_cast<std::uint16_t>(e));
    }
  a.marked.reserve(des.states.size());
  for (const StateRecord& s : des.states) {
    a.marked.push_back(s.marked);
    for (const Transition& t : transitionsOf(s)) {
      if (t.event == NULL_LABEL) a.silent.push_back(static_cast<Index>(t.target));
      else a.moves.push_back({static_cast<Index>(labelIndex[t.event]), static_cast<Index>(t.target)});
    }
    a.moveStart.push_back(a.moves.size());
    a.silentStart.push_back(a.silent.size());
  }
  return a;
}

// Subsets numbered by creation, their members one after another in a flat
// array, found again through a hash that does not depend on the order of
// the members (a sum of one hash per member), so that member lists need no
// sorting: a candidate is compared through a membership test of the set
// being looked up.
template <typename Index>
struct SubsetIndex {
  std::vector<Index> members;                           // the subsets' members, subset after subset
  std::vector<std::uint64_t> start{0};                  // count() + 1 offsets into members
  std::vector<std::uint64_t> hashes;                    // per subset
  std::vector<std::int64_t> slots = std::vector<std::int64_t>(1024, -1); // subset numbers, -1 free
  std::size_t mask = 1023;                              // slots.size() - 1, a power of two less one

  std::size_t count() const { return hashes.size(); }
  std::span<const Index> subset(std::size_t k) const {
    return {members.data() + start[k], static_cast<std::size_t>(start[k + 1] - start[k])};
  }
  static std::uint64_t memberHash(Index m) {
    std::uint64_t x = m + 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ull;
    x = (x ^ (x >> 27)) * 0x94d049bb133111ebull;
    return x ^ (x >> 31);
  }

  // The number of the subset with exactly the members of `set` (distinct;
  // hash is the sum of their memberHash, isMember(m) whether m is one of
  // them). A new set becomes the next subset and sets `added`.
  template <typename IsMember>
  std::int64_t findOrAdd(std::span<const Index> set, std::uint64_t hash, const IsMember& isMember, bool& added) {
    const std::uint64_t h = hash ^ set.size() * 0xff51afd7ed558ccdull;
    std::size_t i = static_cast<std::size_t>(h) & mask;
    added = false;
    for (; slots[i] >= 0; i = (i + 1) & mask) {
      const auto k = static_cast<std::size_t>(slots[i]);
      if (hashes[k] != h || start[k + 1] - start[k] != set.size()) continue;
      bool same = true;
      for (std::uint64_t p = start[k]; p < start[k + 1] && same; ++p) same = isMember(members[p]);
      if (same) return slots[i];
    }
    const auto k = static_cast<std::int64_t>(hashes.size());
    slots[i] = k;
    hashes.push_back(h);
    members.insert(members.end(), set.begin(), set.end());
    start.push_back(members.size());
    added = true;
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
  }
};

// Marks of one search at a time over the states (a stamp per state), so
// that no search clears a table.
struct Stamps {
  std::vector<std::uint32_t> stamp; // per state: the search that last took it
  std::uint32_t run = 0;            // the current search

  explicit Stamps(std::size_t n) : stamp(n, 0) {}
  void next() {
    if (++run == 0) { // the marks wrapped: start afresh
      std::fill(stamp.begin(), stamp.end(), 0);
      run = 1;
    }
  }
  bool taken(std::size_t s) const { return stamp[s] == run; }
  // Takes s; false when the current search had it already.
  bool take(std::size_t s) {
    if (stamp[s] == run) return false;
    stamp[s] = run;
    return true;
  }
};

// The plain construction. A subset is a whole closure under silent moves.
// When silent moves are acyclic it is stored as its tops: the members that
// no silent move of another member reaches. Every other member lies below
// a top, so the tops are exactly the maximal members and determine the
// closure; on the random-family supervisors they are a quarter to a third
// of the members, and the stored subsets were most of the memory. With
// silent cycles left (a merge that would have exceeded the transition
// limit) a closure may have no maximal member, and whole closures are
// stored. Sets are compared through the closure marks and the moves of a
// subset are bucketed by label instead of sorted, so no member list is
// ever sorted. run() can stop when its budget is spent and be called
// again to go on.
// Cost: O(sum over subsets of their members' moves and silent successors).
template <typename Index>
struct PlainSubsets {
  const SilentAutomaton<Index>& aut;
  const bool keyByTops;                // silent moves are acyclic
  SubsetIndex<Index> table;
  Stamps marks;                        // the closure being built, or the subset being expanded
  Stamps below;                        // the members of closure that a silent move of a member reaches
  std::vector<Index> closure, pending; // the closure being built; its depth-first stack
  std::vector<Index> starts, key;      // the states the closure was started from; the stored set
  bool closureMarked = false;          // a member of closure is marked
  std::vector<std::vector<Index>> bucket; // per label index: the targets of the subset being expanded
  std::vector<Index> used;                // the label indexes with a nonempty bucket
  std::vector<Transition> out;
  std::size_t next = 0;  // the next subset to expand
  DES result;            // one state per subset; the expanded ones have their transitions

  PlainSubsets(const SilentAutomaton<Index>& a, bool acyclic)
      : aut(a), keyByTops(acyclic), marks(a.size()), below(a.size()), bucket(a.labels.size()) {
    begin();
    add(0);
    findOrAdd(); // the closure of state 0 becomes result state 0
  }

  void begin() {
    marks.next();
    below.next();
    closure.clear();
    starts.clear();
    closureMarked = false;
  }
  // Adds t and everything below it by silent moves to the closure.
  void add(Index t) {
    if (!marks.take(t)) return;
    starts.push_back(t);
    pending.push_back(t);
    while (!pending.empty()) {
      const Index v = pending.back();
      pending.pop_back();
      closure.push_back(v);
      closureMarked = closureMarked || aut.marked[v];
      for (const Index u : aut.silentOf(v)) {
        below.take(u);
        if (marks.take(u)) pending.push_back(u);
      }
    }
  }
  // The number of the closure's subset; a new one is added.
  std::int64_t findOrAdd() {
    // A top was taken first by its own start, since nothing above it
    // leads to it; every edge out of a member was followed once.
    key.clear();
    if (keyByTops) {
      for (const Index t : starts)
        if (!below.taken(t)) key.push_back(t);
    }
    const std::vector<Index>& set = keyByTops ? key : closure;
    std::uint64_t hash = 0;
    for (const Index m : set) hash += SubsetIndex<Index>::memberHash(m);
    bool added = false;
    const auto isMember = [this](Index m) { return marks.taken(m) && !(keyByTops && below.taken(m)); };
    const std::int64_t k = table.findOrAdd(set, hash, isMember, added);
    if (added) result.states.emplace_back().marked = closureMarked;
    return k;
  }

  // Expands subsets until none is left (true) or the work, in states and
  // moves visited, exceeds budget (false); budget is reduced by the work.
  bool run(std::int64_t& budget) {
    for (; next < table.count(); ++next) {
      if (budget < 0) return false;
      const std::size_t k = next;
      reportProgressf("PROJECT: %d %d", static_cast<int>(k), static_cast<int>(table.count() - 1));
      used.clear();
      const auto bucketMoves = [this](Index m) {
        for (const auto& move : aut.movesOf(m)) {
          auto& b = bucket[move.label];
          if (b.empty()) used.push_back(move.label);
          b.push_back(move.target);
        }
      };
      std::int64_t work = 0;
      if (keyByTops) {
        begin();
        for (const Index t : table.subset(k)) add(t);
        for (const Index m : closure) bucketMoves(m);
        work += static_cast<std::int64_t>(closure.size());
      } else {
        for (const Index m : table.subset(k)) bucketMoves(m);
        work += static_cast<std::int64_t>(table.subset(k).size());
      }
      for (const Index a : used) work += static_cast<std::int64_t>(bucket[a].size());
      std::sort(used.begin(), used.end());
      out.clear();
      for (const Index a : used) {
        begin();
        for (const Index t : bucket[a]) add(t);
        bucket[a].clear();
        work += static_cast<std::int64_t>(closure.size());
        out.push_back(makeTransition(aut.labels[a], findOrAdd()));
      }
      assignFittingTransitions(result.states[k], out); // one target per label
      budget -= work;
    }
    return true;
  }
};

// Decides, pair by pair, whether one state simulates another (in the sense
// above), for an acyclic silent automaton of fewer than 2^32 states.
//
// A question (x, y) is answered by a local search for the greatest
// relation: it assumes every pair it meets to hold, gives each obligation of
// a pair (a move of x) the first candidate pair that is not known to fail
// (for a move -a-> x', the pairs (x', y') over the saturated a-moves y' of
// y, likely simulators first; for a silent move to x', the pair (x', y)),
// and when a pair fails, the obligations that relied on it move on to their
// next candidate; an obligation without candidates fails its pair. When
// nothing is left to explore, the pairs that have not failed meet the
// three conditions among themselves, so they hold. Answers are exact and
// kept: a later question meets them as known pairs.
// Cost: every pair is explored once and every candidate of an obligation
// tried once, over all questions; the saturated moves of a state are found
// once, on first use, by a search of its closure.
struct Simulation {
  using Move = SilentAutomaton<std::uint32_t>::Move;
  static constexpr std::uint8_t OPEN = 0, HOLDS = 1, FAILS = 2;
  static constexpr std::uint32_t SILENT = UINT32_MAX; // the label of a silent obligation

  const SilentAutomaton<std::uint32_t>& aut;
  // Per state, from its silent closure (itself included):
  std::vector<std::uint8_t> markedBelow; // 1 when it reaches a marked state
  std::vector<std::uint64_t> labelBits;  // bit l % 64 for every label index l of its saturated moves
  std::vector<std::uint64_t> weight;     // moves below it, counted along every silent path (saturating)
  // Saturated moves, found on first use: (label, target) for every move of
  // the closure, distinct, by label, then by weight descending.
  std::vector<std::int64_t> postStart;   // per state: offset into post, -1 before first use
  std::vector<std::uint32_t> postCount;  // per state: how many
  std::vector<Move> post;
  Stamps marks;
  std::vector<std::uint32_t> pending;
  // Every pair met: key x << 32 | y, in an open-addressing table to its node.
  std::vector<std::uint64_t> keys;       // ~0 free; size a power of two
  std::vector<std::uint32_t> nodeOf;     // per slot of keys
  std::vector<std::uint8_t> status;      // per node: OPEN only within a search
  // The current search: nodes from `first` on.
  struct Obligation {
    std::uint32_t node;  // the pair it belongs to
    std::uint32_t label; // a move's label index, or SILENT
    std::uint32_t xp;    // the move's target
    std::uint32_t next;  // the candidate in use
  };
  std::uint32_t first = 0;
  std::vector<std::uint64_t> pairOf;     // per node of the search: its key
  std::vector<std::int32_t> reliedOn;    // per node of the search: the first edge of obligations relying on it
  std::vector<std::int32_t> edgeNext;    // per edge: the next edge of the same node, -1 none
  std::vector<std::uint32_t> edgeObligation; // per edge: the obligation relying on the node
  std::vector<Obligation> obligations;       // of the pairs explored in the search
  std::vector<std::uint32_t> toExplore, failed;
  std::int64_t spent = 0;  // work so far: pairs, candidates, states and moves visited
  std::int64_t limit = 0;  // a search stops once spent exceeds it

  explicit Simulation(const SilentAutomaton<std::uint32_t>& a)
      : aut(a), markedBelow(a.size()), labelBits(a.size()), weight(a.size()), postStart(a.size(), -1),
        postCount(a.size(), 0), marks(a.size()), keys(1024, ~std::uint64_t{0}), nodeOf(1024) {
    // Depth-first postorder over silent moves: successors come first.
    const std::size_t n = a.size();
    std::vector<std::uint8_t> done(n, 0);
    std::vector<std::pair<std::uint32_t, std::uint64_t>> stack; // state, next silent edge
    for (std::uint32_t root = 0; root < n; ++root) {
      if (done[root]) continue;
      done[root] = 1;
      stack.push_back({root, a.silentStart[root]});
      while (!stack.empty()) {
        auto& [v, e] = stack.back();
        if (e < a.silentStart[v + 1]) {
          const std::uint32_t u = a.silent[e++];
          if (!done[u]) {
            done[u] = 1;
            stack.push_back({u, a.silentStart[u]});
          }
          continue;
        }
        std::uint64_t w = 1 + a.moveStart[v + 1] - a.moveStart[v];
        std::uint8_t m = a.marked[v];
        std::uint64_t bits = 0;
        for (const Move& move : a.movesOf(v)) bits |= std::uint64_t{1} << (move.label % 64);
        for (const std::uint32_t u : a.silentOf(v)) {
          w = std::min(w + weight[u], std::uint64_t{1} << 62);
          m |= markedBelow[u];
          bits |= labelBits[u];
        }
        weight[v] = w;
        markedBelow[v] = m;
        labelBits[v] = bits;
        stack.pop_back();
      }
    }
  }

  // A necessary condition of y simulating x.
  bool mayHold(std::uint32_t x, std::uint32_t y) const {
    return (markedBelow[x] <= markedBelow[y]) && (labelBits[x] & ~labelBits[y]) == 0;
  }

  // The saturated moves of y with label index `label`.
  std::span<const Move> saturated(std::uint32_t y, std::uint32_t label) {
    if (postStart[y] < 0) {
      const std::size_t from = post.size();
      marks.next();
      marks.take(y);
      pending.push_back(y);
      while (!pending.empty()) {
        const std::uint32_t v = pending.back();
        pending.pop_back();
        const auto moves = aut.movesOf(v);
        post.insert(post.end(), moves.begin(), moves.end());
        spent += 1 + static_cast<std::int64_t>(moves.size());
        for (const std::uint32_t u : aut.silentOf(v))
          if (marks.take(u)) pending.push_back(u);
      }
      const auto added = post.begin() + static_cast<std::ptrdiff_t>(from);
      std::sort(added, post.end(), [this](const Move& p, const Move& q) {
        if (p.label != q.label) return p.label < q.label;
        if (weight[p.target] != weight[q.target]) return weight[p.target] > weight[q.target];
        return p.target < q.target;
      });
      post.erase(std::unique(added, post.end(),
                             [](const Move& p, const Move& q) { return p.label == q.label && p.target == q.target; }),
                 post.end());
      postStart[y] = static_cast<std::int64_t>(from);
      postCount[y] = static_cast<std::uint32_t>(post.size() - from);
    }
    const Move* begin = post.data() + postStart[y];
    const auto [lo, hi] = std::equal_range(begin, begin + postCount[y], Move{label, 0},
                                           [](const Move& p, const Move& q) { return p.label < q.label; });
    return {lo, static_cast<std::size_t>(hi - lo)};
  }

  // The node of pair key, or -1.
  std::int64_t find(std::uint64_t key) const {
    for (std::size_t i = (key * 0x9E3779B97F4A7C15ull) >> 20 & (keys.size() - 1);; i = (i + 1) & (keys.size() - 1)) {
      if (keys[i] == key) return nodeOf[i];
      if (keys[i] == ~std::uint64_t{0}) return -1;
    }
  }

  // A new open node for pair key, queued for exploration.
  std::uint32_t open(std::uint64_t key) {
    if (2 * (status.size() + 1) > keys.size()) {
      std::vector<std::uint64_t> oldKeys(2 * keys.size(), ~std::uint64_t{0});
      std::vector<std::uint32_t> oldNodes(oldKeys.size());
      oldKeys.swap(keys);
      oldNodes.swap(nodeOf);
      for (std::size_t j = 0; j < oldKeys.size(); ++j)
        if (oldKeys[j] != ~std::uint64_t{0}) place(oldKeys[j], oldNodes[j]);
    }
    const auto node = static_cast<std::uint32_t>(status.size());
    place(key, node);
    status.push_back(OPEN);
    pairOf.push_back(key);
    reliedOn.push_back(-1);
    toExplore.push_back(node);
    ++spent;
    return node;
  }
  void place(std::uint64_t key, std::uint32_t node) {
    std::size_t i = (key * 0x9E3779B97F4A7C15ull) >> 20 & (keys.size() - 1);
    while (keys[i] != ~std::uint64_t{0}) i = (i + 1) & (keys.size() - 1);
    keys[i] = key;
    nodeOf[i] = node;
  }

  void fail(std::uint32_t node) {
    status[node] = FAILS;
    failed.push_back(node);
  }

  // Gives obligation o its next candidate that has not failed, from its
  // current one on; false when none is left.
  bool choose(std::uint32_t o) {
    const std::uint32_t y = static_cast<std::uint32_t>(pairOf[obligations[o].node - first]);
    const std::uint32_t xp = obligations[o].xp;
    const std::span<const Move> candidates =
        obligations[o].label == SILENT ? std::span<const Move>{} : saturated(y, obligations[o].label);
    const std::uint32_t count = obligations[o].label == SILENT ? 1 : static_cast<std::uint32_t>(candidates.size());
    for (std::uint32_t& i = obligations[o].next; i < count; ++i) {
      const std::uint32_t c = obligations[o].label == SILENT ? y : candidates[i].target;
      ++spent;
      if (c == xp) return true;
      if (!mayHold(xp, c)) continue;
      const std::uint64_t key = std::uint64_t{xp} << 32 | c;
      const std::int64_t known = find(key);
      if (known >= 0 && status[static_cast<std::size_t>(known)] == FAILS) continue;
      if (known >= 0 && status[static_cast<std::size_t>(known)] == HOLDS) return true;
      const std::uint32_t node = known >= 0 ? static_cast<std::uint32_t>(known) : open(key);
      edgeNext.push_back(reliedOn[node - first]);
      edgeObligation.push_back(o);
      reliedOn[node - first] = static_cast<std::int32_t>(edgeNext.size() - 1);
      return true;
    }
    return false;
  }

  // Gives every obligation of the pair a candidate, or fails the pair.
  void explore(std::uint32_t node) {
    const std::uint64_t key = pairOf[node - first];
    const auto x = static_cast<std::uint32_t>(key >> 32);
    spent += 1 + static_cast<std::int64_t>(aut.moveStart[x + 1] - aut.moveStart[x]);
    const auto oblige = [&](std::uint32_t label, std::uint32_t xp) {
      obligations.push_back({node, label, xp, 0});
      return choose(static_cast<std::uint32_t>(obligations.size() - 1));
    };
    for (const Move& move : aut.movesOf(x))
      if (!oblige(move.label, move.target)) return fail(node);
    for (const std::uint32_t xp : aut.silentOf(x))
      if (!oblige(SILENT, xp)) return fail(node);
  }

  // Whether y simulates x (x != y): HOLDS or FAILS, or OPEN when the work
  // exceeded the limit (the search is then left unfinished: ask no more).
  std::uint8_t simulates(std::uint32_t y, std::uint32_t x) {
    if (!mayHold(x, y)) return FAILS;
    const std::uint64_t key = std::uint64_t{x} << 32 | y;
    const std::int64_t known = find(key);
    if (known >= 0) return status[static_cast<std::size_t>(known)];
    first = static_cast<std::uint32_t>(status.size());
    const std::uint32_t root = open(key);
    while (!toExplore.empty() || !failed.empty()) {
      if (spent > limit) return OPEN;
      if (!failed.empty()) {
        const std::uint32_t f = failed.back();
        failed.pop_back();
        for (std::int32_t e = reliedOn[f - first]; e >= 0; e = edgeNext[static_cast<std::size_t>(e)]) {
          const std::uint32_t o = edgeObligation[static_cast<std::size_t>(e)];
          if (status[obligations[o].node] == FAILS) continue;
          ++obligations[o].next;
          if (!choose(o)) fail(obligations[o].node);
        }
        continue;
      }
      const std::uint32_t node = toExplore.back();
      toExplore.pop_back();
      if (status[node] == OPEN) explore(node);
    }
    for (std::size_t k = first; k < status.size(); ++k)
      if (status[k] == OPEN) status[k] = HOLDS;
    pairOf.clear();
    reliedOn.clear();
    edgeNext.clear();
    edgeObligation.clear();
    obligations.clear();
    return status[root];
  }
};

// The pruned construction: a subset keeps only members that no other member
// simulates (one of each group that simulate each other), and members that
// another member reaches silently are dropped first, for free. A subset's
// members are the ascending list of those it kept.
// Cost: per subset, a search of its members' closure and of the closures of
// its successors' members, plus the simulation questions among the
// successors' members (at most the product of their counts before and
// after pruning), and the simulation searches themselves.
struct PrunedSubsets {
  const SilentAutomaton<std::uint32_t>& aut;
  Simulation simulation;
  SubsetIndex<std::uint32_t> table;
  Stamps marks;
  std::vector<std::uint32_t> pending;                 // depth-first stack
  std::vector<std::vector<std::uint32_t>> bucket;     // per label index: the targets of the subset being expanded
  std::vector<std::uint32_t> used, kept;
  std::vector<Transition> out;
  std::int64_t before = 0, after = 0; // members of the successors before and after pruning, so far
  DES result;

  explicit PrunedSubsets(const SilentAutomaton<std::uint32_t>& a)
      : aut(a), simulation(a), marks(a.size()), bucket(a.labels.size()) {}

  // Marks everything strictly below t by silent moves.
  void markBelow(std::uint32_t t) {
    for (const std::uint32_t u : aut.silentOf(t))
      if (marks.take(u)) pending.push_back(u);
    while (!pending.empty()) {
      const std::uint32_t v = pending.back();
      pending.pop_back();
      ++simulation.spent;
      for (const std::uint32_t u : aut.silentOf(v))
        if (marks.take(u)) pending.push_back(u);
    }
  }

  // Reduces set (distinct states) to its members that no other simulates,
  // ascending; false when the work limit was reached.
  bool prune(std::vector<std::uint32_t>& set) {
    marks.next();
    for (const std::uint32_t t : set) markBelow(t);
    std::erase_if(set, [this](std::uint32_t t) { return marks.taken(t); });
    before += static_cast<std::int64_t>(set.size());
    // Heavy states first: they are the likely simulators.
    std::sort(set.begin(), set.end(), [this](std::uint32_t p, std::uint32_t q) {
      const auto& w = simulation.weight;
      return w[p] != w[q] ? w[p] > w[q] : p < q;
    });
    kept.clear();
    for (const std::uint32_t x : set) {
      bool covered = false;
      for (const std::uint32_t k : kept) {
        const std::uint8_t s = simulation.simulates(k, x);
        if (s == Simulation::OPEN) return false;
        if ((covered = s == Simulation::HOLDS)) break;
      }
      if (covered) continue;
      std::size_t w = 0;
      for (const std::uint32_t k : kept) {
        const std::uint8_t s = simulation.simulates(x, k);
        if (s == Simulation::OPEN) return false;
        if (s == Simulation::FAILS) kept[w++] = k;
      }
      kept.resize(w);
      kept.push_back(x);
    }
    std::sort(kept.begin(), kept.end());
    set.assign(kept.begin(), kept.end());
    after += static_cast<std::int64_t>(set.size());
    return true;
  }

  std::int64_t findOrAdd(const std::vector<std::uint32_t>& set) {
    std::uint64_t hash = 0;
    bool marked = false;
    for (const std::uint32_t m : set) {
      hash += SubsetIndex<std::uint32_t>::memberHash(m);
      marked = marked || simulation.markedBelow[m];
    }
    const auto isMember = [&set](std::uint32_t m) { return std::binary_search(set.begin(), set.end(), m); };
    bool added = false;
    const std::int64_t k = table.findOrAdd(set, hash, isMember, added);
    if (added) result.states.emplace_back().marked = marked;
    return k;
  }

  // Runs the construction to its end (true), or gives up (false) when its
  // work exceeds limit or, with giveUpWhenPoor, when after 64 subsets the
  // successors kept more than half their members.
  bool run(std::int64_t limit, bool giveUpWhenPoor) {
    // Within the limit, node and edge numbers of the simulation fit 31 bits.
    simulation.limit = std::min<std::int64_t>(limit, INT32_MAX);
    std::vector<std::uint32_t> set{0};
    findOrAdd(set); // the subset of state 0 becomes result state 0
    for (std::size_t k = 0; k < table.count(); ++k) {
      reportProgressf("PROJECT: %d %d", static_cast<int>(k), static_cast<int>(table.count() - 1));
      if (simulation.spent > limit || (giveUpWhenPoor && k >= 64 && 2 * after > before)) return false;
      // The closure of the members; their moves bucketed by label.
      used.clear();
      marks.next();
      for (const std::uint32_t m : table.subset(k))
        if (marks.take(m)) pending.push_back(m);
      while (!pending.empty()) {
        const std::uint32_t v = pending.back();
        pending.pop_back();
        for (const auto& move : aut.movesOf(v)) {
          auto& b = bucket[move.label];
          if (b.empty()) used.push_back(move.label);
          b.push_back(move.target);
        }
        simulation.spent += 1 + static_cast<std::int64_t>(aut.moveStart[v + 1] - aut.moveStart[v]);
        for (const std::uint32_t u : aut.silentOf(v))
          if (marks.take(u)) pending.push_back(u);
      }
      std::sort(used.begin(), used.end());
      out.clear();
      for (const std::uint32_t a : used) {
        set.swap(bucket[a]);
        bucket[a].clear();
        std::sort(set.begin(), set.end());
        set.erase(std::unique(set.begin(), set.end()), set.end());
        if (!prune(set)) return false;
        out.push_back(makeTransition(aut.labels[a], findOrAdd(set)));
      }
      assignFittingTransitions(result.states[k], out); // one target per label
    }
    return true;
  }
};

// Replaces des (silenced, cycles merged when `acyclic`) by a deterministic
// DES of the same projected behaviour: the plain construction within
// limits.plainWork, else the pruned one within limits.prunedWork, else the
// plain one to its end.
template <typename Index>
void determinizeSilent(DES& des, bool acyclic, const ProjectLimits& limits) {
  const SilentAutomaton<Index> aut = readSilent<Index>(des);
  freeDES(des);
  PlainSubsets<Index> plain(aut, acyclic);
  std::int64_t budget = limits.plainWork;
  if (plain.run(budget)) {
    des = std::move(plain.result);
    return;
  }
  if constexpr (std::is_same_v<Index, std::uint32_t>) {
    if (acyclic) {
      PrunedSubsets pruned(aut);
      if (pruned.run(limits.prunedWork, !limits.keepPoorPruning)) {
        des = std::move(pruned.result);
        return;
      }
    }
  }
  budget = INT64_MAX;
  // An unbounded budget always lets the construction finish.
  [[maybe_unused]] const bool finished = plain.run(budget);
  assert(finished);
  des = std::move(plain.result);
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

// Without a minimizer, the stages alone: no reach and no minimization.
void stagedProjection(DES& des, const EventList& labels, std::optional<Minimizer> minimizer) {
  const auto reduce = [&des, minimizer] {
    if (!minimizer || des.size() < 2) return;
    reachDES(des);
    minimizeDES(des, *minimizer);
  };
  if (labels.empty()) {
    if (minimizer) {
      reachDES(des);
      minimizeDES(des, *minimizer);
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

void project(DES& des, const EventList& nullLabels, const ProjectLimits& limits, Minimizer minimizer) {
  if (!erasesSomething(des, nullLabels)) {
    minimizeDES(des, minimizer);
    return;
  }
  std::vector<std::uint8_t> erased(65536, 0);
  for (std::uint16_t e : nullLabels) erased[e] = 1;
  silenceErased(des, erased);
  const bool acyclic = limits.mergeSilentCycles && mergeSilentCycles(des);
  if (des.size() < static_cast<std::int64_t>(UINT32_MAX)) determinizeSilent<std::uint32_t>(des, acyclic, limits);
  else determinizeSilent<std::uint64_t>(des, acyclic, limits);
  minimizeHopcroft(des);
  bfsRecodeDES(des);
}

void projectStaged(DES& des, const EventList& nullLabels, Minimizer minimizer) {
  stagedProjection(des, nullLabels, minimizer);
}

void projectNoMinimize(DES& des, const EventList& nullLabels) { stagedProjection(des, nullLabels, std::nullopt); }

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
