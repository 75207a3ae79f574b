#include "engine/params.h"

#include <gtest/gtest.h>

namespace kav {
namespace {

TEST(ReadParamName, CutsOnlyTheLineEnd) {
  ParamReader in{"PLANT\r\nSPEC\nLAST", 0};
  std::string name;
  ASSERT_TRUE(readParamName(in, name));
  EXPECT_EQ(name, "PLANT");
  ASSERT_TRUE(readParamName(in, name));
  EXPECT_EQ(name, "SPEC");
  ASSERT_TRUE(readParamName(in, name)); // a last line without its newline keeps its last character
  EXPECT_EQ(name, "LAST");
  EXPECT_FALSE(readParamName(in, name));
}

TEST(ReadParamName, RefusesNamesThatLeaveTheUserDirectory) {
  for (const char* text : {"\n", "../X\n", "A/B\n", "..\n"}) {
    ParamReader in{text, 0};
    std::string name;
    EXPECT_FALSE(readParamName(in, name)) << text;
  }
}

TEST(ReadParamNumber, AcceptsOneIntegerInRangeOnItsLine) {
  ParamReader in{" 12 \n+3\n21\n2 3\nx\n99999999999999999999999\n++4\n\n", 0};
  long v;
  EXPECT_TRUE(readParamNumber(in, v, 2, 20));
  EXPECT_EQ(v, 12);
  EXPECT_TRUE(readParamNumber(in, v, 2, 20));
  EXPECT_EQ(v, 3);
  EXPECT_FALSE(readParamNumber(in, v, 2, 20));
  EXPECT_FALSE(readParamNumber(in, v, 0, 100));
  EXPECT_FALSE(readParamNumber(in, v, 0, 100));
  for (int k = 0; k < 4; ++k) EXPECT_FALSE(readParamNumber(in, v, LONG_MIN, LONG_MAX)) << k;
}

TEST(ReadEvents, CollectsAnAscendingSetAndChecksLabels) {
  ParamReader in{"5\n3\n5\n1000\n", 0};
  EventList events;
  ASSERT_TRUE(readEventsUntilEnd(in, events));
  EXPECT_EQ(events, (EventList{3, 5, 1000}));

  ParamReader minusOne{"7\n-1\n9\n", 0};
  events.clear();
  ASSERT_TRUE(readEventsUntilMinusOne(minusOne, events));
  EXPECT_EQ(events, (EventList{7}));
  ASSERT_TRUE(readEventsUntilEnd(minusOne, events));
  EXPECT_EQ(events, (EventList{7, 9}));

  for (const char* bad : {"1001\n", "-2\n", "4x\n", "-1\n"}) { // -1 ends no list read to the end
    ParamReader in2{bad, 0};
    EXPECT_FALSE(readEventsUntilEnd(in2, events)) << bad;
  }
}

} // namespace
} // namespace kav
