#include "symbolic/symbolicSupcon.h"

#include <algorithm>
#include <chrono>

#include "model/progress.h"
#include "model/sortedlists.h"
#include "symbolic/symbolicModel.h"

namespace kav {

namespace {

using symbolic::BddSession;
using symbolic::LabelStep;
using symbolic::SymbolicModel;

bool isUncontrollable(std::uint16_t label) { return label % 2 == 0; }

// --- Component order ----------------------------------------------------------

std::vector<int> heuristicOrder(const std::vector<const DES*>& components) {
  const std::size_t n = components.size();
  std::vector<EventList> labels(n);
  for (std::size_t i = 0; i < n; ++i) collectEvents(*components[i], labels[i]);
  std::vector<int> shared(n * n, 0); // labels used by both i and j
  for (std::size_t i = 0; i < n; ++i)
    for (std::size_t j = 0; j < i; ++j) {
      std::vector<std::uint16_t> common;
      std::set_intersection(labels[i].begin(), labels[i].end(), labels[j].begin(), labels[j].end(),
                            std::back_inserter(common));
      shared[i * n + j] = shared[j * n + i] = static_cast<int>(common.size());
    }

  std::vector<int> order;
  std::vector<char> placed(n, 0);
  std::vector<int> withPlaced(n, 0); // labels shared with all placed components
  auto place = [&](std::size_t c) {
    order.push_back(static_cast<int>(c));
    placed[c] = 1;
    for (std::size_t j = 0; j < n; ++j) withPlaced[j] += shared[c * n + j];
  };
  // Whether c comes before best; the first component of the list starts.
  auto better = [&](std::size_t c, std::size_t best) {
    if (best == n) return true;
    if (order.empty()) return false;
    const std::size_t last = static_cast<std::size_t>(order.back());
    const int a = shared[last * n + c], b = shared[last * n + best];
    return a > b || (a == b && withPlaced[c] > withPlaced[best]);
  };
  // One-state components own no variables; they go last.
  for (;;) {
    std::size_t best = n;
    for (std::size_t c = 0; c < n; ++c)
      if (!placed[c] && components[c]->size() > 1 && better(c, best)) best = c;
    if (best == n) break;
    place(best);
  }
  for (std::size_t c = 0; c < n; ++c)
    if (!placed[c]) place(c);
  return order;
}

bool isPermutation(const std::vector<int>& order, std::size_t n) {
  if (order.size() != n) return false;
  std::vector<char> seen(n, 0);
  for (int i : order) {
    if (i < 0 || static_cast<std::size_t>(i) >= n || seen[static_cast<std::size_t>(i)]) return false;
    seen[static_cast<std::size_t>(i)] = 1;
  }
  return true;
}

// --- The fixpoints ----------------------------------------------------------------

struct Run {
  BddSession& session;
  const SymbolicModel& model;
  std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
  int round = 0;

  void progress(const char* phase, int sweep) const {
    if (!progressEnabled()) return;
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    reportProgressf("BDD %s: round %d, sweep %d, %d nodes, %.1f s", phase, round, sweep, bdd_getnodenum(), seconds);
  }
};

// The states of `domain` reached from `from` (forward) or reaching it
// (backward) along paths inside domain; from must lie in domain. A sweep
// takes the labels in ascending order and closes the set under each before
// the next (chaining), so that a part travelling down a line of machines
// moves all the way in one sweep; sweeps repeat until one adds nothing.
// Images of the whole set rather than of the last sweep's new states: the
// new states of a breadth-first search are an irregular set whose diagram
// is larger, and measured slower on the transfer line.
bdd closure(const Run& run, const bdd& from, const bdd& domain, bool forward, const char* phase) {
  bdd reached = from;
  for (int sweep = 1; !run.session.failed(); ++sweep) {
    const bdd before = reached;
    for (const LabelStep& step : run.model.steps) {
      for (;;) {
        const bdd found = (forward ? symbolic::image(step, reached) : symbolic::preimage(step, reached)) - reached;
        const bdd fresh = domain == bddtrue ? found : found & domain;
        if (fresh == bddfalse) break;
        reached |= fresh;
      }
    }
    run.progress(phase, sweep);
    if (reached == before) break;
  }
  return reached;
}

// The largest subset of `states` in which no state has an uncontrollable
// label that the plant enables without a transition into the subset. The
// first pass judges every state; afterwards only the states with an
// uncontrollable transition into the states just removed can turn bad, so
// later passes judge those alone.
bdd controllablePart(const Run& run, bdd states) {
  bdd bad = bddfalse;
  for (const LabelStep& step : run.model.steps)
    if (isUncontrollable(step.label)) bad |= (states & step.plantEnabled) - symbolic::preimage(step, states);
  for (int sweep = 1; bad != bddfalse && !run.session.failed(); ++sweep) {
    states -= bad;
    bdd candidates = bddfalse;
    for (const LabelStep& step : run.model.steps)
      if (isUncontrollable(step.label)) candidates |= symbolic::preimage(step, bad);
    candidates &= states;
    bad = bddfalse;
    if (candidates != bddfalse)
      for (const LabelStep& step : run.model.steps)
        if (isUncontrollable(step.label))
          bad |= (candidates & step.plantEnabled) - symbolic::preimageWithin(step, states, candidates);
    run.progress("CONTROL", sweep);
  }
  return states;
}

// The components of a modular model in BDD order, with their plant flags.
struct Ordered {
  std::vector<const DES*> components;
  std::vector<bool> plant;
  std::vector<int> order;
  int bits = 0;
  bool empty = false; // some component has no state
};

int orderComponents(const std::vector<DES>& plants, const std::vector<DES>& specs, const SymbolicOptions& options,
                    Ordered& out) {
  std::vector<const DES*> all;
  for (const DES& d : plants) all.push_back(&d);
  for (const DES& d : specs) all.push_back(&d);
  if (plants.empty()) return SYMBOLIC_BAD_INPUT;
  if (!options.order.empty() && !isPermutation(options.order, all.size())) return SYMBOLIC_BAD_INPUT;
  out.order = options.order.empty() ? heuristicOrder(all) : options.order;
  for (int i : out.order) {
    const DES* d = all[static_cast<std::size_t>(i)];
    out.components.push_back(d);
    out.plant.push_back(static_cast<std::size_t>(i) < plants.size());
    out.bits += symbolic::stateBits(d->size());
    out.empty = out.empty || d->empty();
  }
  return SYMBOLIC_OK;
}

int supcon(const Ordered& ordered, const SymbolicOptions& options, BddSession& session, SymbolicResult& out) {
  SymbolicModel model;
  symbolic::buildModel(ordered.components, ordered.plant, model);
  Run run{session, model};
  const bdd reachable = closure(run, model.initial, bddtrue, true, "REACH");
  if (session.failed()) return SYMBOLIC_OUT_OF_MEMORY;

  bdd good = reachable;
  for (;;) {
    ++run.round;
    const bdd controllable = controllablePart(run, good);
    const bdd next = closure(run, controllable & model.marked, controllable, false, "COREACH");
    if (session.failed()) return SYMBOLIC_OUT_OF_MEMORY;
    if (next == good) break;
    good = next;
  }
  const bdd supervisor =
      (model.initial & good) == bddfalse ? bddfalse : closure(run, model.initial, good, true, "SUPERVISOR");
  if (session.failed()) return SYMBOLIC_OUT_OF_MEMORY;

  out.reachableStates = symbolic::countStates(model, reachable);
  out.supervisorStates = symbolic::countStates(model, supervisor);
  out.supervisorTransitions = symbolic::countTransitions(model, supervisor);
  out.supervisorMarkedStates = symbolic::countStates(model, supervisor & model.marked);
  out.rounds = run.round;
  out.reachableNodes = static_cast<std::size_t>(bdd_nodecount(reachable));
  out.supervisorNodes = static_cast<std::size_t>(bdd_nodecount(supervisor));
  if (session.failed()) return SYMBOLIC_OUT_OF_MEMORY;
  if (options.countOnly) return SYMBOLIC_OK;
  if (!symbolic::countAtMost(out.supervisorStates, std::min<std::uint64_t>(options.maxStates, MAX_STATES)))
    return SYMBOLIC_TOO_MANY_STATES;
  if (!symbolic::extractDES(model, supervisor, std::stoll(out.supervisorStates), out.supervisor))
    return SYMBOLIC_TRANSITION_LIMIT;
  out.explicitBuilt = true;
  return SYMBOLIC_OK;
}

// Reachable states, and those among them where the property fails.
int verdict(const Ordered& ordered, bool nonblocking, BddSession& session, SymbolicVerdict& out) {
  SymbolicModel model;
  symbolic::buildModel(ordered.components, ordered.plant, model);
  Run run{session, model};
  const bdd reachable = closure(run, model.initial, bddtrue, true, "REACH");
  bdd offending = bddfalse;
  if (nonblocking) {
    offending = reachable - closure(run, reachable & model.marked, reachable, false, "COREACH");
  } else {
    for (const LabelStep& step : model.steps)
      if (isUncontrollable(step.label))
        offending |= (reachable & step.plantEnabled) - symbolic::preimage(step, bddtrue);
  }
  if (session.failed()) return SYMBOLIC_OUT_OF_MEMORY;
  out.reachableStates = symbolic::countStates(model, reachable);
  out.offendingStates = symbolic::countStates(model, offending);
  out.holds = offending == bddfalse;
  return SYMBOLIC_OK;
}

int runVerdict(const std::vector<DES>& plants, const std::vector<DES>& others, bool nonblocking,
               const SymbolicOptions& options, SymbolicVerdict& out) {
  out = SymbolicVerdict{};
  Ordered ordered;
  if (const int code = orderComponents(plants, others, options, ordered); code != SYMBOLIC_OK) return code;
  out.order = ordered.order;
  if (ordered.empty) {
    out.reachableStates = out.offendingStates = "0";
    out.holds = true;
    return SYMBOLIC_OK;
  }
  BddSession session(options.maxNodes, 2 * ordered.bits);
  int code = session.failed() ? SYMBOLIC_OUT_OF_MEMORY : verdict(ordered, nonblocking, session, out);
  if (session.failed()) {
    code = SYMBOLIC_OUT_OF_MEMORY;
    out = SymbolicVerdict{};
    out.order = ordered.order;
  }
  out.peakNodes = session.peakNodes();
  return code;
}

} // namespace

int symbolicSupcon(const std::vector<DES>& plants, const std::vector<DES>& specs, const SymbolicOptions& options,
                   SymbolicResult& out) {
  out = SymbolicResult{};
  Ordered ordered;
  if (const int code = orderComponents(plants, specs, options, ordered); code != SYMBOLIC_OK) return code;
  out.order = ordered.order;
  if (ordered.empty) {
    out.reachableStates = out.supervisorStates = out.supervisorTransitions = out.supervisorMarkedStates = "0";
    out.explicitBuilt = !options.countOnly;
    return SYMBOLIC_OK;
  }
  BddSession session(options.maxNodes, 2 * ordered.bits);
  int code = session.failed() ? SYMBOLIC_OUT_OF_MEMORY : supcon(ordered, options, session, out);
  if (session.failed()) code = SYMBOLIC_OUT_OF_MEMORY;
  if (code == SYMBOLIC_OUT_OF_MEMORY) {
    out = SymbolicResult{};
    out.order = ordered.order;
  } else if (code != SYMBOLIC_OK) {
    out.supervisor = DES{};
    out.explicitBuilt = false;
  }
  out.peakNodes = session.peakNodes();
  return code;
}

int symbolicNonconflict(const std::vector<DES>& components, const SymbolicOptions& options, SymbolicVerdict& out) {
  return runVerdict(components, {}, true, options, out);
}

int symbolicControllable(const std::vector<DES>& plants, const std::vector<DES>& supervisors,
                         const SymbolicOptions& options, SymbolicVerdict& out) {
  return runVerdict(plants, supervisors, false, options, out);
}

} // namespace kav
