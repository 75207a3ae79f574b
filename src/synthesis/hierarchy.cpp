#include "synthesis/hierarchy.h"

#include <algorithm>
#include <array>
#include <set>
#include <vector>

#include "model/progress.h"
#include "ops/minimize.h"
#include "ops/project.h"
#include "ops/transforms.h"
#include "ops/trim.h"

namespace kav {

namespace {

bool isControllable(std::uint16_t event) { return event % 2 == 1; }

// --- Vocalize -------------------------------------------------------------------

bool hasTransition(const StateRecord& s, std::uint16_t event, std::int64_t target) {
  const auto list = transitionsOf(s);
  return std::binary_search(list.begin(), list.end(), makeTransition(event, target));
}

struct Request {
  std::int64_t from;   // exit state
  std::uint16_t event; // label of the transition
  std::int16_t value;  // output wanted at the entered state
};

// --- Outconsis ------------------------------------------------------------------

void encodeOutputs(DES& des) {
  for (StateRecord& s : des.states) {
    const int v = s.vocal;
    if (v >= 1 && v <= 99) s.vocal = static_cast<std::int16_t>(10 * v);
    else if (v > 99) s.vocal = static_cast<std::int16_t>(10 * (v / 10));
  }
}

// When transitions enter state 0, a copy of state 0 takes them all, so
// that no transition enters the initial state: its class is then fixed.
void splitInitialState(DES& des) {
  bool entered = false;
  for (const StateRecord& s : des.states)
    for (const Transition& t : transitionsOf(s)) entered = entered || t.target == 0;
  if (!entered) return;
  const std::int64_t n = des.size();
  StateRecord& copy = des.states.emplace_back();
  copy.marked = des[0].marked;
  copy.vocal = des[0].vocal;
  std::vector<Transition> list(transitionsOf(des[0]).begin(), transitionsOf(des[0]).end());
  // Copies and retargeted lists are as long as their originals.
  assignFittingTransitions(copy, list);
  for (StateRecord& s : des.states) {
    const auto old = transitionsOf(s);
    if (std::none_of(old.begin(), old.end(), [](const Transition& t) { return t.target == 0; })) continue;
    list.assign(old.begin(), old.end());
    for (Transition& t : list)
      if (t.target == 0) t.target = n;
    assignFittingTransitions(s, list);
  }
}

// Splits every state by the cause with which it can be entered: class 1
// when the transition into it is controllable, class 0 when it is
// uncontrollable from a vocal state, and through a silent state by an
// uncontrollable transition the class that the silent state was entered
// with; state 0 counts as entered uncontrollably. A state entered with
// both classes becomes two: the original keeps its number and takes the
// uncontrollable entries, a copy appended after all states (in ascending
// order of the originals) takes the controllable ones, with the same
// transitions, marking and, when vocal, the controllable version 10 b + 1
// of the output. A state entered only controllably is that version
// itself. Transitions then lead from each version to the version of the
// target with the class they carry.
//
// This is the fixpoint that passes of class updates and state splits
// approach one state at a time; computed as a search over (state, class)
// pairs it cannot cycle, whereas the passes, updating classes in place,
// can circulate a mixed class around a cycle of silent states forever,
// and split the copy of a silent state with an uncontrollable self-loop
// again and again.
// Cost: O(n + t).
void splitByEntryClass(DES& des) {
  const std::int64_t n = des.size();
  // Bit k of entered[s]: s is entered with class k.
  std::vector<std::uint8_t> entered(static_cast<std::size_t>(n), 0);
  std::vector<std::pair<std::int64_t, std::uint8_t>> queue{{0, 0}};
  entered[0] = 1;
  const auto classAfter = [&des](std::int64_t from, std::uint8_t fromClass, std::uint16_t event) -> std::uint8_t {
    if (isControllable(event)) return 1;
    return des[from].vocal != 0 ? 0 : fromClass;
  };
  for (std::size_t head = 0; head < queue.size(); ++head) {
    const auto [x, k] = queue[head];
    for (const Transition& t : transitionsOf(des[x])) {
      const std::uint8_t c = classAfter(x, k, t.event);
      std::uint8_t& bits = entered[static_cast<std::size_t>(t.target)];
      if (bits & (1u << c)) continue;
      bits = static_cast<std::uint8_t>(bits | (1u << c));
      queue.push_back({t.target, c});
    }
  }
  // The state number of each (state, class) version.
  std::vector<std::int64_t> version[2] = {std::vector<std::int64_t>(static_cast<std::size_t>(n), -1),
                                          std::vector<std::int64_t>(static_cast<std::size_t>(n), -1)};
  std::int64_t next = n;
  for (std::int64_t s = 0; s < n; ++s) {
    const std::uint8_t bits = entered[static_cast<std::size_t>(s)];
    if (bits & 1) version[0][static_cast<std::size_t>(s)] = s;
    if (bits & 2) version[1][static_cast<std::size_t>(s)] = bits & 1 ? next++ : s;
  }
  DES out = allocStates(next);
  std::vector<Transition> list;
  for (std::int64_t s = 0; s < n; ++s) {
    for (std::uint8_t k = 0; k < 2; ++k) {
      const std::int64_t v = version[k][static_cast<std::size_t>(s)];
      if (v < 0) continue;
      StateRecord& r = out[v];
      r.marked = des[s].marked;
      if (des[s].vocal != 0) r.vocal = static_cast<std::int16_t>(10 * (des[s].vocal / 10) + k);
      list.clear();
      for (const Transition& t : transitionsOf(des[s]))
        list.push_back(makeTransition(t.event, version[classAfter(s, k, t.event)][static_cast<std::size_t>(t.target)]));
      assignFittingTransitions(r, list); // one per transition of s
    }
  }
  des = std::move(out);
}

// Outconsis on a DES whose state 0 is silent.
void makeOutputConsistent(DES& des, Minimizer minimizer) {
  encodeOutputs(des);
  splitInitialState(des);
  splitByEntryClass(des);
  reachDES(des);
  minimizeDES(des, minimizer);
}

// --- Hiconsis -------------------------------------------------------------------

// The searches of a Hiconsis pass, with what depends only on the outputs
// cached until an output changes.
struct Searches {
  const DES& des;
  std::vector<std::uint8_t> leadsToVocal;            // silent state reaches a vocal one by uncontrollable steps through silent states
  std::vector<std::vector<std::int64_t>> vocalAhead; // B of a silent target, ascending
  std::vector<std::uint8_t> known;                   // vocalAhead computed
  std::vector<std::uint64_t> stamp;                  // visited marks of the searches
  std::uint64_t run = 0;
  bool fresh = false;                                // caches valid

  explicit Searches(const DES& d) : des(d), stamp(d.states.size(), 0) {}

  bool isVocal(std::int64_t s) const { return des[s].vocal != 0; }

  void refresh() {
    if (fresh) return;
    const std::size_t n = des.states.size();
    known.assign(n, 0);
    vocalAhead.assign(n, {});
    // Backwards from the vocal states over uncontrollable transitions
    // whose source is silent.
    std::vector<std::vector<std::int64_t>> before(n);
    for (std::int64_t x = 0; x < des.size(); ++x) {
      if (isVocal(x)) continue;
      for (const Transition& t : transitionsOf(des[x]))
        if (!isControllable(t.event)) before[static_cast<std::size_t>(t.target)].push_back(x);
    }
    leadsToVocal.assign(n, 0);
    std::vector<std::int64_t> queue;
    for (std::int64_t v = 0; v < des.size(); ++v)
      if (isVocal(v)) queue.push_back(v);
    for (std::size_t head = 0; head < queue.size(); ++head) {
      for (std::int64_t x : before[static_cast<std::size_t>(queue[head])]) {
        if (leadsToVocal[static_cast<std::size_t>(x)]) continue;
        leadsToVocal[static_cast<std::size_t>(x)] = 1;
        queue.push_back(x);
      }
    }
    fresh = true;
  }

  bool relevant(std::uint16_t event, std::int64_t target) {
    refresh();
    return isControllable(event) && (isVocal(target) || leadsToVocal[static_cast<std::size_t>(target)]);
  }

  // B: {t} for a vocal t, else the vocal states reachable from t through
  // silent states.
  const std::vector<std::int64_t>& vocalAheadOf(std::int64_t t) {
    refresh();
    const auto k = static_cast<std::size_t>(t);
    if (known[k]) return vocalAhead[k];
    known[k] = 1;
    std::vector<std::int64_t>& out = vocalAhead[k];
    if (isVocal(t)) {
      out.push_back(t);
      return out;
    }
    ++run;
    std::vector<std::int64_t> stack{t};
    stamp[k] = run;
    while (!stack.empty()) {
      const std::int64_t x = stack.back();
      stack.pop_back();
      for (const Transition& tr : transitionsOf(des[x])) {
        const auto y = static_cast<std::size_t>(tr.target);
        if (stamp[y] == run) continue;
        stamp[y] = run;
        if (isVocal(tr.target)) out.push_back(tr.target);
        else stack.push_back(tr.target);
      }
    }
    std::sort(out.begin(), out.end());
    return out;
  }

  // A(s): the vocal states t' reached from s through silent states along
  // some path on which every relevant transition leads to just t' (its B
  // is {t'}). A search over (state, constraint) pairs: the constraint is
  // FREE before the first relevant transition, then the one vocal state
  // the path may still end in; a path whose relevant transitions disagree
  // is dropped.
  //
  // Every path counts, not just the first one a depth-first search takes
  // into a state: otherwise a vocal target t of a relevant (s, e, t) could
  // be missed because the search met t first along another path, and
  // would get a new output every pass (overwriting its own high-level
  // event, and in multiple mode using up the bases). With every path, the
  // transition (s, e, t) itself puts a vocal t into A(s), so a state once
  // given an output is never relabelled.
  std::vector<std::int64_t> unambiguous(std::int64_t s) {
    constexpr std::int64_t FREE = -1; // no relevant transition on the path yet
    refresh();
    std::set<std::pair<std::int64_t, std::int64_t>> seen{{s, FREE}};
    std::vector<std::pair<std::int64_t, std::int64_t>> stack{{s, FREE}};
    std::vector<std::int64_t> found;
    while (!stack.empty()) {
      const auto [x, constraint] = stack.back();
      stack.pop_back();
      for (const Transition& t : transitionsOf(des[x])) {
        std::int64_t c = constraint;
        if (relevant(t.event, t.target)) {
          const std::vector<std::int64_t>& b = vocalAheadOf(t.target);
          if (b.size() != 1 || (c != FREE && c != b[0])) continue;
          c = b[0];
        }
        if (isVocal(t.target)) {
          if (c == FREE || c == t.target) found.push_back(t.target);
        } else if (seen.insert({t.target, c}).second) {
          stack.push_back({t.target, c});
        }
      }
    }
    normalizeSorted(found);
    return found;
  }
};

// --- Higen ----------------------------------------------------------------------

// Whether the distinct labels, renumbered 1, 2, ... around the values in
// use as outputs, all stay at or below MAX_ORDINARY_LABEL.
bool eventsFitAroundOutputs(const DES& des) {
  EventList labels;
  collectEvents(des, labels);
  std::vector<std::uint8_t> isOutput(65536, 0);
  for (const StateRecord& s : des.states)
    if (s.vocal > 0) isOutput[static_cast<std::size_t>(s.vocal)] = 1;
  std::size_t next = 1;
  for (std::size_t k = 0; k < labels.size(); ++k) {
    while (next < isOutput.size() && isOutput[next]) ++next;
    if (next > MAX_ORDINARY_LABEL) return false;
    ++next;
  }
  return true;
}

} // namespace

void vocalizeDES(DES& des, const QuadrupleList& requests) {
  if (des.empty()) return;
  const std::int64_t n = des.size();
  QuadrupleList valid;
  std::vector<std::vector<Request>> byTarget(static_cast<std::size_t>(n));
  for (const Quadruple& q : requests) {
    if (q.from < 0 || q.from >= n || q.to < 0 || q.to >= n || !hasTransition(des[q.from], q.event, q.to)) continue;
    valid.push_back(q);
    byTarget[static_cast<std::size_t>(q.to)].push_back({q.from, q.event, q.value});
  }
  std::vector<Transition> list;
  std::vector<std::int16_t> values;
  std::vector<std::int64_t> copies;
  for (std::int64_t y = 0; y < n; ++y) {
    std::vector<Request>& requested = byTarget[static_cast<std::size_t>(y)];
    if (requested.empty()) continue;
    values.clear();
    for (const Request& r : requested) values.push_back(r.value);
    normalizeSorted(values);
    copies.clear();
    std::vector<Request> ownLoops;
    for (std::int16_t v : values) {
      const std::int64_t m = des.size();
      copies.push_back(m);
      StateRecord& copy = des.states.emplace_back();
      copy.marked = des[y].marked;
      copy.vocal = v;
      const auto own = transitionsOf(des[y]);
      list.assign(own.begin(), own.end());
      assignFittingTransitions(copy, list); // a copy of y's list
      // A copied transition that y itself must redirect is redirected for
      // the copy too, when its target is processed: later for a higher
      // target, in this round for a self-loop. (Requests into lower
      // targets are done already, and y's transition points at the copy.)
      for (const Transition& t : transitionsOf(des[m])) {
        if (t.target < y) continue;
        const auto from = std::lower_bound(valid.begin(), valid.end(), Quadruple{y, t.event, t.target, INT16_MIN});
        for (auto q = from; q != valid.end() && q->from == y && q->event == t.event && q->to == t.target; ++q) {
          const Request r{m, t.event, q->value};
          if (t.target == y) ownLoops.push_back(r);
          else byTarget[static_cast<std::size_t>(t.target)].push_back(r);
        }
      }
    }
    requested.insert(requested.end(), ownLoops.begin(), ownLoops.end());
    for (const Request& r : requested) {
      const auto k = static_cast<std::size_t>(std::lower_bound(values.begin(), values.end(), r.value) - values.begin());
      // The request came from the transition (r.event, y) of r.from, so the
      // list loses one before it gains one and never grows.
      deleteTransition(des[r.from], r.event, y);
      insertTransition(des[r.from], r.event, copies[k]);
    }
  }
  reachDES(des);
  bfsRecodeDES(des);
}

int outconsisDES(DES& des, Minimizer minimizer) {
  if (des.empty()) return HIERARCHY_OK;
  if (des[0].vocal != 0) return HIERARCHY_VOCAL_INITIAL_STATE;
  makeOutputConsistent(des, minimizer);
  return HIERARCHY_OK;
}

int hiconsisDES(DES& des, bool multipleOutputs, Minimizer minimizer) {
  if (des.empty()) return HIERARCHY_OK;
  if (des[0].vocal != 0) return HIERARCHY_VOCAL_INITIAL_STATE;
  makeOutputConsistent(des, minimizer);
  std::array<bool, 100> used{};
  for (const StateRecord& s : des.states) {
    const int v = s.vocal;
    if (v >= 10 && v <= 99) used[static_cast<std::size_t>(v)] = true;
    else if (v >= 100 && v <= 999) used[static_cast<std::size_t>(v / 10)] = true;
  }
  const auto nextFree = [&used](int from) {
    int g = from;
    while (g < 100 && used[static_cast<std::size_t>(g)]) ++g;
    return g;
  };
  int g = nextFree(10);
  if (g == 100) return HIERARCHY_OUTPUT_OVERFLOW;

  Searches searches(des);
  for (long pass = 1;; ++pass) {
    bool changed = false;
    for (std::int64_t s = 0; s < des.size(); ++s) {
      if (s % 10 == 0)
        reportProgressf("HCC: %ld %ld %ld", static_cast<long>(des.size()), pass, static_cast<long>(changed ? 0 : 1));
      std::vector<std::int64_t> reached = searches.unambiguous(s);
      for (std::uint32_t k = 0; k < des[s].transitionCount; ++k) {
        const Transition t = des[s].transitions[k];
        if (!searches.relevant(t.event, t.target)) continue;
        const std::vector<std::int64_t>& ahead = searches.vocalAheadOf(t.target);
        if (std::includes(reached.begin(), reached.end(), ahead.begin(), ahead.end())) continue;
        const auto output = static_cast<std::int16_t>(10 * g + 1);
        if (des[t.target].vocal == output) continue;
        des[t.target].vocal = output;
        changed = true;
        searches.fresh = false;
        reached = searches.unambiguous(s);
        if (multipleOutputs) {
          used[static_cast<std::size_t>(g)] = true;
          g = nextFree(g + 1);
          if (g == 100) return HIERARCHY_OUTPUT_OVERFLOW;
        }
      }
    }
    if (!changed) break;
  }
  makeOutputConsistent(des, minimizer);
  return HIERARCHY_OK;
}

int higenDES(DES& des, Minimizer minimizer) {
  if (des.empty()) return HIERARCHY_OK;
  if (des[0].vocal != 0) return HIERARCHY_VOCAL_INITIAL_STATE;
  if (!eventsFitAroundOutputs(des)) return HIERARCHY_EVENTS_EXHAUSTED;
  const std::int64_t n = des.size();
  const auto isVocal = [&des](std::int64_t s) { return des[s].vocal != 0; };
  // Silent states from which a marked silent state is reached through
  // silent states: backwards from the marked silent states.
  std::vector<std::uint8_t> silentToMarked(static_cast<std::size_t>(n), 0);
  {
    std::vector<std::vector<std::int64_t>> before(static_cast<std::size_t>(n));
    for (std::int64_t x = 0; x < n; ++x) {
      if (isVocal(x)) continue;
      for (const Transition& t : transitionsOf(des[x]))
        if (!isVocal(t.target)) before[static_cast<std::size_t>(t.target)].push_back(x);
    }
    std::vector<std::int64_t> queue;
    for (std::int64_t s = 0; s < n; ++s) {
      if (isVocal(s) || !des[s].marked) continue;
      silentToMarked[static_cast<std::size_t>(s)] = 1;
      queue.push_back(s);
    }
    for (std::size_t head = 0; head < queue.size(); ++head) {
      for (std::int64_t x : before[static_cast<std::size_t>(queue[head])]) {
        if (silentToMarked[static_cast<std::size_t>(x)]) continue;
        silentToMarked[static_cast<std::size_t>(x)] = 1;
        queue.push_back(x);
      }
    }
  }
  DES high = allocStates(n);
  std::vector<Transition> list;
  for (std::int64_t s = 0; s < n; ++s) {
    bool marked = des[s].marked;
    list.clear();
    for (const Transition& t : transitionsOf(des[s])) {
      list.push_back(makeTransition(static_cast<std::uint16_t>(des[t.target].vocal), t.target));
      if (s != 0 && isVocal(s) && !isVocal(t.target) && silentToMarked[static_cast<std::size_t>(t.target)]) marked = true;
    }
    high[s].marked = marked;
    assignFittingTransitions(high[s], list); // one per transition of s
  }
  EventList nullLabels{0};
  if (!checkDeterministic(high) && !fixSemiDeterminism(high, true, nullLabels))
    return HIERARCHY_FRESH_LABELS_EXHAUSTED;
  // project ends with reach and minimization whenever 2 or more states
  // remain, which is all that is left to do.
  project(high, nullLabels, {}, minimizer);
  des = std::move(high);
  return HIERARCHY_OK;
}

} // namespace kav
