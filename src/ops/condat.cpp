#include "ops/condat.h"

#include <vector>

#include "ops/product.h"

namespace kav {

void tabulateDisabled(const StateRecord& plantState, const StateRecord& productState, StateRecord& record) {
  const auto plantList = transitionsOf(plantState);
  const auto own = transitionsOf(productState);
  std::size_t j = 0;
  for (std::size_t i = 0; i < plantList.size(); ++i) {
    const std::uint16_t label = plantList[i].event;
    while (j < own.size() && own[j].event < label) ++j;
    // A present label only costs the search; the list grows once per new one,
    // so it holds one transition per label and stays far below the limit.
    if (j == own.size() || own[j].event != label) insertTransition(record, label, 0);
  }
}

bool condatDES(const DES& plant, const DES& supervisor, DES& controlData) {
  DES product;
  std::vector<std::int64_t> pairOf;
  if (!meetDES(plant, supervisor, product, pairOf)) return false;
  DES data = allocStates(supervisor.size());
  const std::int64_t plantSize = plant.size();
  for (std::int64_t k = 0; k < product.size(); ++k) {
    const std::int64_t code = pairOf[static_cast<std::size_t>(k)];
    tabulateDisabled(plant[code % plantSize], product[k], data[code / plantSize]);
  }
  controlData = std::move(data);
  return true;
}

} // namespace kav
