#include "ops/condat.h"

#include <gtest/gtest.h>

#include <string>

#include "support/testSupport.h"

namespace kav {
namespace {

using namespace test;

DES condatOf(const DES& plant, const DES& supervisor) {
  DES data;
  EXPECT_TRUE(condatDES(plant, supervisor, data));
  EXPECT_TRUE(isValidDES(data));
  return data;
}

TEST(CondatDES, DisablesNothingWhenTheSupervisorIsThePlant) {
  const DES plant = makeDES(3, {{0, 1, 1}, {1, 2, 2}, {2, 4, 0}}, {0});
  const DES data = condatOf(plant, plant);
  EXPECT_EQ(describe(data), "3: | marked");
  EXPECT_TRUE(allEventsControllable(data));
}

TEST(CondatDES, CollectsTheLabelsOfEveryPlantStatePairedWithASupervisorState) {
  // Supervisor state 1 meets plant states 1 (which offers 5) and 2 (7, 9);
  // supervisor state 2 is never reached.
  const DES plant = makeDES(3, {{0, 1, 1}, {0, 3, 2}, {1, 5, 0}, {2, 9, 0}, {2, 7, 0}}, {0});
  const DES supervisor = makeDES(3, {{0, 1, 1}, {0, 3, 1}, {2, 1, 0}, {1, 9, 0}}, {0});
  const DES data = condatOf(plant, supervisor);
  EXPECT_EQ(describe(data), "3: 1-5->0 1-7->0 | marked");
  EXPECT_TRUE(allEventsControllable(data));
}

TEST(CondatDES, AnUncontrollableDisabledLabelMakesTheVerdictUncontrollable) {
  const DES data = condatOf(makeDES(1, {{0, 2, 0}, {0, 3, 0}}, {0}), makeDES(1, {}, {0}));
  EXPECT_EQ(describe(data), "1: 0-2->0 0-3->0 | marked");
  EXPECT_FALSE(allEventsControllable(data));
}

TEST(CondatDES, EmptyPlantGivesEmptyRecordsAndEmptySupervisorNone) {
  EXPECT_EQ(describe(condatOf(DES{}, makeDES(2, {{0, 1, 1}}))), "2: | marked");
  EXPECT_EQ(condatOf(makeDES(2, {{0, 1, 1}}), DES{}).size(), 0);
}

TEST(TabulateDisabled, AddsEachMissingLabelOnceInAscendingOrder) {
  const DES plant = makeDES(1, {{0, 9, 0}, {0, 3, 0}, {0, 4, 0}});
  const DES product = makeDES(1, {{0, 4, 0}});
  StateRecord record;
  tabulateDisabled(plant[0], product[0], record);
  tabulateDisabled(plant[0], product[0], record);
  DES data;
  data.states.push_back(std::move(record));
  EXPECT_EQ(describe(data), "1: 0-3->0 0-9->0 | marked");
}

} // namespace
} // namespace kav
