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

const std::string DAT_HEAD = "Control data are displayed as a list of supervisor states\n"
                             "where disabling occurs, together with the events that must\n"
                             "be disabled there.\n\n";

// --- DES listing ------------------------------------------------------------------------

TEST(WriteDesListing, DescribesAnEmptyDESSectionBySection) {
  EXPECT_EQ(desListing(DES{}, "E", true), "E    # states: 0    state set: empty     initial state: none\n\n"
                                          "marker states: none\n\n"
                                          "\nvocal states: none\n\n"
                                          "transition table : empty\n");
}

TEST(WriteDesListing, PrintsAllMarkedAsAllButFilesEveryState) {
  DES des = test::makeDES(2, {{0, 1, 1}, {1, EPSILON_LABEL, 0}}, {0, 1});
  des[1].vocal = 10;
  const std::string head = "A    # states: 2    state set: 0 ... 1    initial state: 0\n\n";
  const std::string rest = "\nvocal states:       \n[    1,  10]   \n\n"
                           "\n# transitions: 2\n\ntransitions: \n\n[    0,  1,    1]  [    1,  e,    0]  \n";
  EXPECT_EQ(desListing(des, "A", true), head + "marker states: all\n\n" + rest);
  EXPECT_EQ(desListing(des, "A", false), head + "marker states:       \n\n      0       1 \n" + rest);
}

TEST(WriteDesListing, PutsEightMarkerStatesToALine) {
  const std::string listing = desListing(test::makeDES(10, {}, {0, 1, 2, 3, 4, 5, 6, 7, 8}), "N", true);
  EXPECT_NE(listing.find("marker states:       \n\n      0       1       2       3       4       5       6       7 \n"
                         "      8 \n\nvocal states: none\n"),
            std::string::npos)
      << listing;
}

TEST(WriteDesListing, BreaksTransitionsAfterEveryFourthAndVocalsAfterEveryFifth) {
  DES des = test::makeDES(7, {{0, 0, 1}, {0, 2, 2}, {1, 4, 3}, {2, 6, 4}, {3, 8, 5}}, {});
  for (int s = 1; s <= 6; ++s) des[s].vocal = static_cast<std::int16_t>(10 + s);
  const std::string listing = desListing(des, "V", false);
  EXPECT_NE(listing.find("[    1,  11]   [    2,  12]   [    3,  13]   [    4,  14]   [    5,  15]   \n"
                         "[    6,  16]   \n\n"),
            std::string::npos)
      << listing;
  EXPECT_NE(listing.find("# transitions: 5\n\ntransitions: \n\n"
                         "[    0,  0,    1]  [    0,  2,    2]  [    1,  4,    3]  [    2,  6,    4]  \n"
                         "[    3,  8,    5]  \n"),
            std::string::npos)
      << listing;
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

TEST(WriteDatListing, SaysEmptyForATableWithoutEntries) {
  EXPECT_EQ(datListing(allocStates(3), "D"), "D\n\n\n" + DAT_HEAD + "D is CONTROLLABLE\n\ncontrol data:\n\nempty.\n");
}

TEST(WriteDatListing, FitsThirteenLabelsOnTheFirstLineAndTwelveOnEachFurther) {
  const std::vector<std::uint16_t> thirteen = oddLabels(13), fourteen = oddLabels(14);
  EXPECT_EQ(datListing(makeDAT(1, {{0, thirteen}}), "D"),
            "D\n\n\n" + DAT_HEAD + "D is CONTROLLABLE\n\ncontrol data:\n\n\n       0:" + labelCells(thirteen) + "\n");
  const std::string fourteenth = std::string(9, ' ') + labelCells({27});
  EXPECT_EQ(datListing(makeDAT(1, {{0, fourteen}}), "D"),
            "D\n\n\n" + DAT_HEAD + "D is CONTROLLABLE\n\ncontrol data:\n\n\n       0:" + labelCells(oddLabels(13)) +
                "\n" + fourteenth + "\n");
}

TEST(WriteDatListing, LetsTwoShortEntriesShareALineAtColumn44) {
  const DES dat = makeDAT(5, {{0, {1, 3, 5}}, {2, {7, 9, 11, 13}}, {3, oddLabels(7)}, {4, {2}}});
  const std::string listing = datListing(dat, "D");
  const std::string first =
      "       0:" + labelCells({1, 3, 5}) + std::string(20, ' ') + "   2:" + labelCells({7, 9, 11, 13});
  EXPECT_EQ(first.find("   2:"), 44u); // the second entry's "%4ld:" stands at column 44
  EXPECT_EQ(listing, "D\n\n\n" + DAT_HEAD + "D is NOT CONTROLLABLE\n\ncontrol data:\n\n\n" + first + "\n" +
                         "       3:" + labelCells(oddLabels(7)) + "\n" +
                         // after an entry of 7 labels the next starts its own line
                         "       4:   2 \n");
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
