#include "ops/pairmap.h"

#include <gtest/gtest.h>

#include <map>
#include <random>

namespace kav {
namespace {

// Both maps against std::map through several doublings, with keys that
// collide in their low bits as pair codes do.
TEST(PairMap, AgreesWithAnOrderedMapThroughGrowth) {
  std::mt19937 rng(5);
  PairMap wide;
  PackedPairMap packed;
  std::map<std::uint64_t, std::int64_t> reference;
  for (int i = 0; i < 20000; ++i) {
    const std::uint64_t key = (rng() % 3000) << 12 | (rng() % 4);
    const auto value = static_cast<std::int64_t>(reference.size());
    const std::int64_t expected = reference.emplace(key, value).first->second;
    ASSERT_EQ(wide.insertOrFind(key, value), expected);
    ASSERT_EQ(packed.insertOrFind(key, value), expected);
  }
  EXPECT_EQ(wide.size(), reference.size());
  EXPECT_EQ(packed.size(), reference.size());
  for (std::uint64_t key = 0; key < (3000u << 12); key += 1023) {
    const auto it = reference.find(key);
    const std::int64_t expected = it == reference.end() ? -1 : it->second;
    EXPECT_EQ(wide.find(key), expected);
    EXPECT_EQ(packed.find(key), expected);
  }
  EXPECT_EQ(PairMap{}.find(7), -1);
  EXPECT_EQ(PackedPairMap{}.find(7), -1);
}

} // namespace
} // namespace kav
