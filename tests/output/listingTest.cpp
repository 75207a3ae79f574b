#include "output/listing.h"

#include <gtest/gtest.h>

#include <string>

#include "support/testSupport.h"

namespace kav {
namespace {

std::string desListing(const DES& des, const std::string& name, bool withAll) {
  return captureText([&](std::FILE* out) { writeDesListing(out, des, name, withAll); });
}

std::string datListing(const DES& dat, const std::string& name) {
  return captureText([&](std::FILE* out) { writeDatListing(out, dat, name); });
}

// A DAT whose state s disables the labels given for it (targets 0).
DES makeDAT(std::int64_t size, const std::vector<std::pair<std::int64_t, std::vector<std::uint16_t>>>& entries) {
  DES dat = allocStates(size);
  for (const auto& [state, labels] : entries)
    for (std::uint16_t e : labels) insertTransition(dat[state], e, 0);
  return dat;
}

std::vector<std::uint16_t> oddLabels(int count) {
  std::vector<std::uint16_t> labels;
  for (int k = 0; k < count; ++k) labels.push_back(static_cast<std::uint16_t>(2 * k + 1));
  return labels;
}

// "%4d " for each label.
std::string labelCells(const std::vector<std::uint16_t>& labels) {
  std::string text;
  char cell[8];
  for (std::uint16_t e : labels) {
    std::snprintf(cell, sizeof cell, "%4d ", e);
    text += cell;
  }
  return text;
}

// --- DES listing ------------------------------------------------------------------------

// Empty; all marked written as "all" or not; eight markers to a line;
// transitions broken after every fourth and outputs after every fifth.
TEST(WriteDesListing, WritesTheGoldenListings) {
  DES des = test::makeDES(2, {{0, 1, 1}, {1, EPSILON_LABEL, 0}}, {0, 1});
  des[1].vocal = 10;
  DES wide = test::makeDES(7, {{0, 0, 1}, {0, 2, 2}, {1, 4, 3}, {2, 6, 4}, {3, 8, 5}}, {});
  for (int s = 1; s <= 6; ++s) wide[s].vocal = static_cast<std::int16_t>(10 + s);
  EXPECT_EQ(desListing(DES{}, "E", true), test::golden("E.PDS"));
  EXPECT_EQ(desListing(des, "A", true), test::golden("A-all.PDS"));
  EXPECT_EQ(desListing(des, "A", false), test::golden("A.PDS"));
  EXPECT_EQ(desListing(test::makeDES(10, {}, {0, 1, 2, 3, 4, 5, 6, 7, 8}), "N", true), test::golden("N.PDS"));
  EXPECT_EQ(desListing(wide, "V", false), test::golden("V.PDS"));
}

// --- DES on the screen --------------------------------------------------------------------

TEST(DesScreenListing, NumbersItsSectionsForThePagerJumps) {
  DES des = test::makeDES(3, {{0, 1, 1}, {1, 2, 2}}, {2});
  des[1].vocal = 12;
  const DesScreenListing l = layoutDesScreenListing(des, "S");
  EXPECT_EQ(desScreenLine(l, 0), "S    # states: 3    state set: 0 ... 2    initial state: 0");
  EXPECT_EQ(desScreenLine(l, l.markerLine), "marker states:       ");
  EXPECT_EQ(desScreenLine(l, l.markerLine + 2), "      2  ");
  EXPECT_EQ(desScreenLine(l, l.vocalLine), "vocal states:      ");
  EXPECT_EQ(desScreenLine(l, l.vocalLine + 2), "[    1,  12]   ");
  EXPECT_EQ(desScreenLine(l, l.transitionLine), "# transitions: 2");
  EXPECT_EQ(desScreenLine(l, l.transitionLine + 2), "transitions: ");
  EXPECT_EQ(desScreenLine(l, l.lineCount - 1), "[    0,  1,    1]  [    1,  2,    2]  ");
  EXPECT_EQ(desScreenLine(layoutDesScreenListing(allocStates(1), "O"), 0),
            "O    # states: 1    state set: 0 ... 0    initial state: 0");
  // Four transitions fill their one line exactly; a state cut off the end
  // keeps its storage, which is not read as a vocal state.
  DES cut = test::makeDES(3, {{0, 1, 1}, {0, 3, 1}, {1, 2, 0}, {1, 4, 0}}, {});
  cut[2].vocal = 10;
  resizeStates(cut, 2);
  const DesScreenListing c = layoutDesScreenListing(cut, "C");
  EXPECT_EQ(desScreenLine(c, c.vocalLine), "vocal states: none");
  EXPECT_EQ(c.lineCount - c.transitionLine, 4 + 1);
}

TEST(DesScreenListing, KeepsEveryLineOfALargeDESWithinTheScreen) {
  DES des = allocStates(100001);
  for (std::uint16_t e = 0; e < 7; ++e) insertTransition(des[100000], e, 99999);
  des[100000].marked = 1;
  des[100000].vocal = 50;
  const DesScreenListing l = layoutDesScreenListing(des, std::string(20, 'N'));
  EXPECT_EQ(l.head.size(), 2u);
  for (std::int64_t k = 0; k < l.lineCount; ++k) EXPECT_LT(desScreenLine(l, k).size(), 80u) << k;
  // Three wide triples to a line above 100000 states: 7 transitions, 3 lines.
  EXPECT_EQ(l.lineCount - l.transitionLine, 4 + 3);
  EXPECT_EQ(desScreenLine(l, l.transitionLine + 4).substr(0, 23), "[ 100000,  0,  99999]  ");
}

// --- DAT listing ------------------------------------------------------------------------

// Empty; thirteen labels on the first line and twelve on each further;
// two short entries sharing a line, the second's "%4ld:" at column 44.
TEST(WriteDatListing, WritesTheGoldenListings) {
  EXPECT_EQ(datListing(allocStates(3), "D"), test::golden("empty.PDT"));
  EXPECT_EQ(datListing(makeDAT(1, {{0, oddLabels(13)}}), "D"), test::golden("thirteen.PDT"));
  EXPECT_EQ(datListing(makeDAT(1, {{0, oddLabels(14)}}), "D"), test::golden("fourteen.PDT"));
  EXPECT_EQ(datListing(makeDAT(5, {{0, {1, 3, 5}}, {2, {7, 9, 11, 13}}, {3, oddLabels(7)}, {4, {2}}}), "D"),
            test::golden("shared.PDT"));
}

TEST(NextDatTableLine, StartsTheSecondEntryFiveColumnsEarlierOnTheScreen) {
  const DES dat = makeDAT(2, {{0, {1}}, {1, {1, 3, 5, 7, 9, 11}}});
  DatTableCursor cursor;
  std::string line;
  ASSERT_TRUE(nextDatTableLine(dat, cursor, DAT_SCREEN_GAP_BASE, line));
  EXPECT_EQ(line.find("   1:"), 39u);
  EXPECT_FALSE(nextDatTableLine(dat, cursor, DAT_SCREEN_GAP_BASE, line));
  // A first entry of six labels leaves no gap on the screen.
  const DES six = makeDAT(2, {{0, oddLabels(6)}, {1, {1}}});
  cursor = {};
  ASSERT_TRUE(nextDatTableLine(six, cursor, DAT_SCREEN_GAP_BASE, line));
  EXPECT_EQ(line, "       0:" + labelCells(oddLabels(6)) + "   1:" + labelCells({1}));
}

TEST(IsControllableTable, TakesOneEvenLabelAsNotControllable) {
  EXPECT_TRUE(isControllableTable(makeDAT(2, {{0, {1, 3}}, {1, {999}}})));
  EXPECT_FALSE(isControllableTable(makeDAT(2, {{0, {1, 3}}, {1, {4}}})));
  EXPECT_FALSE(isControllableTable(makeDAT(1, {{0, {EPSILON_LABEL}}})));
}

// --- Files ------------------------------------------------------------------------------

TEST(WriteTextFile, ReplacesAFileOnlyWhenTheNewOneCouldBeWritten) {
  test::TempDir dir;
  const std::string path = dir.path + "L.PDS";
  test::writeFile(path, "old");
  EXPECT_TRUE(writeTextFile(path, [](std::FILE* out) { std::fputs("new", out); }));
  EXPECT_EQ(test::readFile(path), "new");
  EXPECT_FALSE(writeTextFile(dir.path + "missing/L.PDS", [](std::FILE* out) { std::fputs("x", out); }));
  EXPECT_EQ(test::readFile(path), "new");
}

} // namespace
} // namespace kav
