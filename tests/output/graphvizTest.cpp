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

// The graph line as written for WHEN in the local time zone.
std::string graphLine(const std::string& name) {
  std::tm local{};
  ::localtime_r(&WHEN, &local);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y.%m.%d/%H:%M", &local);
  return "graph [label = \"\\n\\nDES " + name + " \\n" + stamp + " \"];\n";
}

TEST(WriteDot, WritesMarkersEntryArrowAndLabelledEdges) {
  DES des = test::makeDES(3, {{0, 3, 1}, {1, EPSILON_LABEL, 2}, {2, 4, 0}}, {0, 2});
  des[1].vocal = 12;
  EXPECT_EQ(dot(des, "M", false), "digraph finite_state_machine {\n" + graphLine("M") +
                                      "rankdir=LR;\n"
                                      "node [shape = doublecircle]; 0 2 ;\n"
                                      "a [shape = point, color = white];\n"
                                      "node [shape = circle];\n"
                                      "a -> 0;\n"
                                      "0 -> 1  [ label = \"3/12\" ];\n"
                                      "1 -> 2  [ label = \"\" ];\n"
                                      "2 -> 0  [ label = \"4\" ];\n"
                                      "}");
}

TEST(WriteDot, ColoursControllableRedAndTheRestGreen) {
  DES des = test::makeDES(2, {{0, 3, 1}, {1, EPSILON_LABEL, 0}, {1, 2, 1}}, {});
  des[0].vocal = 40;
  const std::string text = dot(des, "C", true);
  EXPECT_NE(text.find("a -> 0 [color = red];\n"), std::string::npos);
  EXPECT_NE(text.find("0 -> 1  [ label = \"3\",color = red ];\n"), std::string::npos);
  // The silent label into a vocal state shows only the output.
  EXPECT_NE(text.find("1 -> 0  [ label = \"/40\",color = green ];\n"), std::string::npos);
  EXPECT_NE(text.find("1 -> 1  [ label = \"2\",color = green ];\n"), std::string::npos);
}

TEST(WriteDot, RunsTheNextStatementOnWhenNoStateIsMarked) {
  const std::string text = dot(test::makeDES(1, {}, {}), "U", false);
  EXPECT_NE(text.find("node [shape = doublecircle]; a [shape = point, color = white];\n"), std::string::npos);
  // A lone state without transitions is named so that it is drawn.
  EXPECT_NE(text.find("a -> 0;\n0\n}"), std::string::npos);
  EXPECT_EQ(dot(DES{}, "E", false),
            "digraph finite_state_machine {\n" + graphLine("E") + "rankdir=LR;\nnode [shape = doublecircle]; }");
}

TEST(WriteDot, EscapesQuotesAndBackslashesOfTheName) {
  EXPECT_EQ(dotString("A\"B\\C\x01"), "A\\\"B\\\\C?");
  EXPECT_NE(dot(DES{}, "Q\"\\", false).find("DES Q\\\"\\\\ \\n"), std::string::npos);
}

} // namespace
} // namespace kav
