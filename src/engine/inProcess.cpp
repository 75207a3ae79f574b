#include "engine/inProcess.h"

#include "development/attach.h"
#include "development/shortestPath.h"
#include "ops/edit.h"
#include "ops/isomorph.h"
#include "ops/product.h"
#include "ops/transforms.h"
#include "ops/trim.h"
#include "synthesis/localize.h"
#include "synthesis/quasiCongruence.h"
#include "synthesis/supreduce.h"

namespace kav::inProcess {

static_assert(MARKER_EVENT == kav::MARKER_EVENT);

void deleteStates(DES& des, const StateList& doomed, std::int64_t newInitial) {
  kav::deleteStates(des, doomed, newInitial);
}

void reachDES(DES& des) { kav::reachDES(des); }

EventList blockedEvents(const EventList& inputLabels, const DES& result) {
  return kav::blockedEvents(inputLabels, result);
}

bool natobsDES(const DES& des, const EventList& seed, DES& observer, EventList& image) {
  return kav::natobsDES(des, seed, observer, image);
}

DES allEventsDES(const EventList& labels) { return kav::allEventsDES(labels); }

bool cleanUpReduction(const DES& reduced, const EventList& disabled, DES& cleaned) {
  cleaned = copyDES(reduced);
  removeIdleSelfloops(cleaned, disabled);
  std::vector<std::int64_t> map;
  return !isomorphicDES(cleaned, reduced, map);
}

bool isControllerNameTaken(const LocalizeRequest& request, std::size_t index, std::string_view name) {
  return kav::isControllerNameTaken(request, index, name);
}

int localize(const LocalizeRequest& request, std::vector<std::int64_t>& sizes, const LocalizeConsole& console) {
  return kav::localize(request, sizes, console);
}

bool controlEquivalent(std::span<const DES> components, std::span<const DES> controllers, const DES& supervisor,
                       Minimizer minimizer) {
  return kav::controlEquivalent(components, controllers, supervisor, minimizer);
}

bool sameAfterMinimization(const DES& a, const DES& b, Minimizer minimizer) {
  return kav::sameAfterMinimization(a, b, minimizer);
}

bool attachDES(const DES& base, std::int64_t state, const DES& graft, DES& result) {
  return kav::attachDES(base, state, graft, result);
}

bool statemapDES(const DES& source, const StatePairList& pairs, DES& result) {
  return kav::statemapDES(source, pairs, result);
}

void shortestPathDES(const DES& source, std::int64_t p, std::int64_t q, DES& result) {
  kav::shortestPathDES(source, p, q, result);
}

StateList blockStates(DES& des) { return kav::blockStates(des); }

} // namespace kav::inProcess
