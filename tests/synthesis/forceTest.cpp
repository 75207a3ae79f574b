#include "synthesis/force.h"

#include <gtest/gtest.h>

#include "support/testSupport.h"

namespace kav {
namespace {

using namespace test;

TEST(ForceDES, MovesPreemptableEventsBehindTheTimeoutWhereBothKindsMeet) {
  // At 0: forcible 1, preemptable self-loop 2, others 4 and self-loop 6.
  const DES d = makeDES(3, {{0, 1, 1}, {0, 2, 0}, {0, 4, 2}, {0, 6, 0}}, {1});
  DES r;
  forceDES(d, {1}, {2}, 9, r);
  // The preemptable self-loop leaves 0 and points back at it from the new
  // state 3; the other self-loop moves with the copy.
  EXPECT_EQ(describe(r), "4: 0-1->1 0-4->2 0-6->0 0-9->3 3-2->0 3-4->2 3-6->3 | marked 1");
  EXPECT_TRUE(isValidDES(r));
  // A state without both kinds stays as it is.
  const DES chain = makeDES(3, {{0, 1, 1}, {1, 2, 2}}, {2});
  forceDES(chain, {1}, {2}, 9, r);
  EXPECT_EQ(describe(r), describe(chain));
  // A label listed as both counts as forcible only.
  forceDES(makeDES(2, {{0, 1, 1}, {0, 2, 0}}), {1, 2}, {2}, 9, r);
  EXPECT_EQ(describe(r), "2: 0-1->1 0-2->0 | marked");
  forceDES(DES{}, {1}, {2}, 9, r);
  EXPECT_TRUE(r.empty());
}

} // namespace
} // namespace kav
