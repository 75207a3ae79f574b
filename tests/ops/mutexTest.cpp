#include "ops/mutex.h"

#include <gtest/gtest.h>

#include "support/testSupport.h"

namespace kav {
namespace {

using namespace test;

// Machine 1: 0 -1-> 1 -2-> 2 (marked); machine 2: 0 -5-> 1 (marked). The
// shuffle numbers (0,0) 0, (1,0) 1, (0,1) 2, (2,0) 3, (1,1) 4, (2,1) 5.
DES machine1() { return makeDES(3, {{0, 1, 1}, {1, 2, 2}}, {2}); }
DES machine2() { return makeDES(2, {{0, 5, 1}}, {1}); }

TEST(MutexDES, WithoutReachableExcludedPairsIsTheSynchronousProduct) {
  // Pairs just beyond the operands, whose codes would name (0, 1) and (0, 2).
  DES result;
  ASSERT_TRUE(mutexDES(machine1(), machine2(), {{0, 2}, {3, 0}}, result));
  EXPECT_EQ(describe(result), "6: 0-1->1 0-5->2 1-2->3 1-5->4 2-1->4 3-5->5 4-2->5 | marked 5");
}

TEST(MutexDES, RemovesStatesThatReachAnExcludedPairUncontrollably) {
  // Excluding (2, 0): (1, 0) reaches it by the uncontrollable 2 and goes
  // too; (0, 0) keeps only its controllable 5, its 1 into (1, 0) is cut.
  DES result;
  ASSERT_TRUE(mutexDES(machine1(), machine2(), {{2, 0}}, result));
  EXPECT_EQ(describe(result), "4: 0-5->1 1-1->2 2-2->3 | marked 3");
  ASSERT_TRUE(isValidDES(result));
  // Excluding the initial pair, or an empty operand, leaves nothing.
  ASSERT_TRUE(mutexDES(machine1(), machine2(), {{0, 0}}, result));
  EXPECT_TRUE(result.empty());
  ASSERT_TRUE(mutexDES(machine1(), DES{}, {}, result));
  EXPECT_TRUE(result.empty());
}

} // namespace
} // namespace kav
