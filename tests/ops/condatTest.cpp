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

TEST(CondatDES, TabulatesWhatThePlantOffersAndTheSupervisorDoesNot) {
  const auto expect = [](const DES& plant, const DES& supervisor, const char* data, bool controllable) {
    const DES d = condatOf(plant, supervisor);
    EXPECT_EQ(describe(d), data);
    EXPECT_EQ(allEventsControllable(d), controllable);
  };
  const DES plant = makeDES(3, {{0, 1, 1}, {1, 2, 2}, {2, 4, 0}}, {0});
  expect(plant, plant, "3: | marked", true);
  // Supervisor state 1 meets plant states 1 (which offers 5) and 2 (7, 9);
  // supervisor state 2 is never reached.
  expect(makeDES(3, {{0, 1, 1}, {0, 3, 2}, {1, 5, 0}, {2, 9, 0}, {2, 7, 0}}, {0}),
         makeDES(3, {{0, 1, 1}, {0, 3, 1}, {2, 1, 0}, {1, 9, 0}}, {0}), "3: 1-5->0 1-7->0 | marked", true);
  // An uncontrollable disabled label makes the verdict uncontrollable.
  expect(makeDES(1, {{0, 2, 0}, {0, 3, 0}}, {0}), makeDES(1, {}, {0}), "1: 0-2->0 0-3->0 | marked", false);
  // An empty plant gives empty records; an empty supervisor, none.
  expect(DES{}, makeDES(2, {{0, 1, 1}}), "2: | marked", true);
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
