#include "ops/supcon.h"

#include <cstring>
#include <memory>

#include "model/progress.h"
#include "ops/product.h"
#include "ops/trim.h"

namespace kav {

namespace {

bool isUncontrollable(std::uint16_t label) { return label % 2 == 0; }

// Judges state k of the product: bad when an uncontrollable label that the
// plant enables at g is missing at k or leads from k to a bad state. The
// lists are sorted by label, so one merge walks both.
bool isBadState(const DES& product, std::int64_t k, const StateRecord& plantState) {
  const auto plantList = transitionsOf(plantState);
  const auto own = transitionsOf(product[k]);
  std::size_t j = 0;
  for (std::size_t i = 0; i < plantList.size(); ++i) {
    const std::uint16_t label = plantList[i].event;
    if (!isUncontrollable(label) || (i > 0 && plantList[i - 1].event == label)) continue;
    while (j < own.size() && own[j].event < label) ++j;
    if (j == own.size() || own[j].event != label) return true;
    for (std::size_t q = j; q < own.size() && own[q].event == label; ++q)
      if (!product[own[q].target].reached) return true;
  }
  return false;
}

} // namespace

void cutBadStates(DES& des) {
  for (StateRecord& s : des.states) {
    if (!s.reached) {
      s.transitions.reset();
      s.transitionCount = 0;
      continue;
    }
    Transition* list = s.transitions.get();
    std::uint32_t kept = 0;
    for (std::uint32_t k = 0; k < s.transitionCount; ++k)
      if (des[list[k].target].reached) list[kept++] = list[k];
    if (kept == s.transitionCount) continue;
    if (kept == 0) {
      s.transitions.reset();
    } else {
      auto exact = std::make_unique_for_overwrite<Transition[]>(kept);
      std::memcpy(exact.get(), list, kept * sizeof(Transition));
      s.transitions = std::move(exact);
    }
    s.transitionCount = static_cast<std::uint16_t>(kept);
  }
}

void shaveUncontrollable(const DES& plant, DES& product, std::vector<std::int64_t>& pairOf) {
  if (product.empty()) return;
  const std::int64_t plantSize = plant.size();
  std::int64_t previous = product.size();
  for (;;) {
    reportProgressf("SHAVE1 %ld %ld", static_cast<long>(previous), static_cast<long>(product.size()));
    previous = product.size();
    // The trim before every round leaves all flags set (good).
    bool anyBad = false;
    for (std::int64_t k = 0; k < product.size(); ++k) {
      StateRecord& state = product[k];
      state.reached = 1;
      const std::int64_t g = pairOf[static_cast<std::size_t>(k)] % plantSize;
      if (isBadState(product, k, plant[g])) {
        state.reached = 0;
        anyBad = true;
      }
    }
    // Nothing judged bad: cutting and trimming would change nothing.
    if (!anyBad) return;
    cutBadStates(product);
    if (!product[0].reached) {
      freeDES(product);
      std::vector<std::int64_t>().swap(pairOf);
      return;
    }
    // Bad states lost every transition, so the trim drops them along with
    // whatever was reachable or coreachable only through them.
    trimDESWithPairs(product, pairOf);
    if (product.size() == previous) return;
  }
}

bool supconDES(const DES& plant, const DES& spec, DES& result, std::vector<std::int64_t>* pairOf) {
  DES product;
  std::vector<std::int64_t> pairs;
  if (!plant.empty() && !spec.empty()) {
    if (!meetDES(plant, spec, product, pairs)) return false;
    trimDESWithPairs(product, pairs);
    shaveUncontrollable(plant, product, pairs);
  }
  result = std::move(product);
  if (pairOf) *pairOf = std::move(pairs);
  return true;
}

} // namespace kav
