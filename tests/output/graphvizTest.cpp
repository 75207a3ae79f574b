#include "output/graphviz.h"

#include <gtest/gtest.h>

#include <string>

#include "output/listing.h"
#include "support/testSupport.h"

namespace kav {
namespace {

constexpr std::time_t WHEN = 1700000000;

std::string dot(const DES& des, const std::string& name, bool colour) {
  return captureText([&](std::FILE* out) { writeDot(out, des, name, colour, WHEN); });
}

// Markers, entry arrow and labelled edges; controllable red, the rest
// green, and a silent label into a vocal state showing only the output; a
// DES without marked states, where a lone state is named so that it is
// drawn; the empty DES; a name with quotes and backslashes. Dates in UTC.
TEST(WriteDot, WritesTheGoldenGraphs) {
  ::setenv("TZ", "UTC0", 1);
  ::tzset();
  DES des = test::makeDES(3, {{0, 3, 1}, {1, EPSILON_LABEL, 2}, {2, 4, 0}}, {0, 2});
  des[1].vocal = 12;
  EXPECT_EQ(dot(des, "M", false), test::golden("M.dot"));
  DES coloured = test::makeDES(2, {{0, 3, 1}, {1, EPSILON_LABEL, 0}, {1, 2, 1}}, {});
  coloured[0].vocal = 40;
  EXPECT_EQ(dot(coloured, "C", true), test::golden("C.dot"));
  EXPECT_EQ(dot(test::makeDES(1, {}, {}), "U", false), test::golden("U.dot"));
  EXPECT_EQ(dot(DES{}, "E", false), test::golden("E.dot"));
  EXPECT_EQ(dot(DES{}, "Q\"\\", false), test::golden("Q.dot"));
  EXPECT_EQ(dotString("A\"B\\C\x01"), "A\\\"B\\\\C?");
}

} // namespace
} // namespace kav
