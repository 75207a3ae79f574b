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

void project(DES& des, const EventList& nullLabels) { stagedProjection(des, nullLabels, true); }

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
