#include "output/ads.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "output/listing.h"
#include "support/testSupport.h"

namespace kav {
namespace {

using namespace test;

// The template as written for NAME, line by line; filledTemplate inserts
// entries after the comment blocks the way a user completes it.
const std::vector<std::string> TEMPLATE_LINES = [] {
  std::vector<std::string> lines;
  const std::string text = test::golden("NAME.ADS");
  for (std::size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
    lines.push_back(text.substr(start, end - start));
  return lines;
}();

std::string joinLines(const std::vector<std::string>& lines, const char* end = "\n") {
  std::string text;
  for (const std::string& line : lines) text += line + end;
  return text;
}

// Size on line 7, markers from line 13, vocals after the vocal comments,
// transitions after the transition comments (from line 26 when the other
// lists are empty).
std::vector<std::string> filledTemplate(const std::string& size, const std::vector<std::string>& markers,
                                        const std::vector<std::string>& vocals,
                                        const std::vector<std::string>& transitions) {
  std::vector<std::string> lines(TEMPLATE_LINES.begin(), TEMPLATE_LINES.begin() + 12);
  lines[6] = size;
  lines.insert(lines.end(), markers.begin(), markers.end());
  lines.insert(lines.end(), TEMPLATE_LINES.begin() + 12, TEMPLATE_LINES.begin() + 19);
  lines.insert(lines.end(), vocals.begin(), vocals.end());
  lines.insert(lines.end(), TEMPLATE_LINES.begin() + 19, TEMPLATE_LINES.begin() + 25);
  lines.insert(lines.end(), transitions.begin(), transitions.end());
  return lines;
}

// "code@line" or "code@line/second", blank-separated, so a mismatch shows
// every record.
std::string describe(const std::vector<AdsError>& errors) {
  std::string text;
  for (const AdsError& e : errors) {
    if (!text.empty()) text += ' ';
    text += std::to_string(e.code) + "@" + (e.line == ADS_NO_LINE ? "-" : std::to_string(e.line));
    if (e.secondLine != ADS_NO_LINE) {
      text += '/';
      text += std::to_string(e.secondLine);
    }
  }
  return text;
}

std::string parseAll(const std::string& text, DES& out) {
  TempDir dir;
  test::writeFile(dir.path + "T.ADS", text);
  return describe(parseAdsFile(dir.path + "T.ADS", out));
}

std::string adsListing(const DES& des) {
  return captureText([&](std::FILE* out) { writeAdsListing(out, "NAME", des); });
}

AdsError parseFirst(std::string text, DES& out) {
  return parseAdsStream(fmemopen(text.data(), text.size(), "r"), out);
}

TEST(WriteAdsTemplate, WritesTheTemplateVerbatimAndClosesTheStream) {
  TempDir dir;
  writeAdsTemplate(std::fopen((dir.path + "NAME.ADS").c_str(), "w"), "NAME");
  EXPECT_EQ(test::readFile(dir.path + "NAME.ADS"), joinLines(TEMPLATE_LINES));
}

// Outputs and transitions in fixed columns after their comments; a DES
// without states gets the empty line right after the comments.
TEST(WriteAdsListing, WritesEntriesInFixedColumnsAfterTheirComments) {
  DES des = test::makeDES(3, {{0, 1, 1}, {2, 20, 0}, {2, 999, 2}}, {0, 2});
  des[1].vocal = 10;
  std::vector<std::string> lines = filledTemplate("3", {"0", "2"}, {"1     10  "},
                                                  {"0     1   1    ", "2     20  0    ", "2     999 2    ", ""});
  lines[0] = "# ORVA ADS auto-generated";
  EXPECT_EQ(adsListing(des), joinLines(lines));
  lines = filledTemplate("0", {}, {}, {""});
  lines[0] = "# ORVA ADS auto-generated";
  EXPECT_EQ(adsListing(DES{}), joinLines(lines));
}

TEST(WriteAdsListing, ParsesBackToTheSameDeterministicDES) {
  for (std::uint32_t seed = 1; seed <= 20; ++seed) {
    std::mt19937 rng(seed);
    DES des = test::randomDES(rng, 1 + rng() % 40, static_cast<int>(rng() % 120), 1000, 3, true);
    for (StateRecord& s : des.states)
      if (rng() % 4 == 0) s.vocal = static_cast<std::int16_t>(10 + rng() % 90);
    SCOPED_TRACE("seed " + std::to_string(seed) + ": " + test::describe(des));
    DES back;
    ASSERT_EQ(parseAll(adsListing(des), back), "");
    ASSERT_TRUE(isValidDES(back));
    EXPECT_EQ(test::describe(back), test::describe(des));
  }
}

// A filled-in template: its errors as "code@line/earlier line" and the DES
// read (not checked when null).
TEST(ParseAdsFile, ReportsEveryErrorWithItsLineOrReadsTheDES) {
  struct Case {
    std::string size;
    std::vector<std::string> markers, vocals, transitions;
    const char* errors;
    const char* read;
  };
  const Case cases[] = {
      {"3", {"2", "0", "2"}, {"1 42"}, {"2 5 0", "0 7 1", "0 3 2"}, "", "3: 0-3->2 0-7->1 2-5->0 | marked 0 2 | vocal 1:42"},
      // Comment and empty lines count: the conflicting pair lands on 30 and 31.
      {"3", {}, {}, {"0 2 1", "1 2 0", "# note", "", "0 1 1", "0 1 2", "0 1 1"}, "26@31/30", nullptr},
      {"3", {}, {}, {"0 1 1", "0 1 1"}, "", "3: 0-1->1 | marked"},
      // The last repetition is the earlier line of a conflict.
      {"3", {}, {}, {"0 1 1", "0 4 2", "0 1 1", "0 1 2", "0 1 0"}, "26@29/28 26@30/28", nullptr},
      {"3", {}, {}, {"0 1000 1", "-1 1 1", "3 -1 5", "0 1 -1", "0 1", "0 x 1", "1 1 99999999999999999999999",
                     "-99999999999999999999 1 0", "0 -99999999999999999999 0", "0 1 3"},
       "17@26 22@27 23@28 16@28 25@28 24@29 21@30 21@31 25@32 22@33 16@34 25@35", nullptr},
      {"2", {}, {"0 9", "1 100", "2 50", "-1 5", "1", "0 99999999999"}, {}, "13@20 14@21 8@22 7@23 13@23 20@24 14@25",
       nullptr},
      {"2", {"2", "-2", "x", "  *", "1"}, {}, {}, "11@13 10@14 19@15 19@16", nullptr},
      // A star marks every state, and vocal states come next.
      {"3", {" *"}, {}, {}, "", "3: | marked 0 1 2"},
      {"3", {"*", "1"}, {}, {}, "12@14", nullptr},
      {"0", {}, {}, {}, "", "0: | marked"},
      // A reader that cut lines at a fixed length would parse the comment's
      // tail as a transition line and number the later lines wrongly.
      {"2", {}, {}, {"#" + std::string(100000, 'x') + " 0 5 7", "0 1 1", "0 1 0"}, "26@28/27", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.errors);
    DES des = test::makeDES(1, {});
    EXPECT_EQ(parseAll(joinLines(filledTemplate(c.size, c.markers, c.vocals, c.transitions)), des), c.errors);
    if (c.read) {
      EXPECT_EQ(test::describe(des), c.read);
    }
  }
  // The first error only; a file without its section; the unedited template.
  DES des;
  EXPECT_EQ(describe({parseFirst(joinLines(filledTemplate("3", {}, {}, {"0 1 1", "3 -1 5"})), des)}), "23@27");
  for (const char* size : {"-1", "2000001", "123456789012345678901234"})
    EXPECT_EQ(parseAll(joinLines(filledTemplate(size, {}, {}, {})), des).substr(0, 4), size[0] == '-' ? "7@7 " : "8@7 ");
  std::vector<std::string> lines = filledTemplate("2", {"1"}, {}, {});
  lines.resize(20); // up to the empty line before "Transitions:"
  lines.push_back("# trailing comment");
  EXPECT_EQ(parseAll(joinLines(lines), des), "2@21");
  EXPECT_EQ(parseAll("", des), "2@0");
  EXPECT_EQ(parseAll(joinLines(TEMPLATE_LINES), des), "18@8 18@14 18@21");
  EXPECT_TRUE(des.empty());
  lines = filledTemplate("2", {}, {}, {"0 1 1"});
  lines[20] = "Transitions: "; // a vocal entry
  EXPECT_EQ(describe({parseFirst(joinLines(lines), des)}), "20@21");
}

TEST(ParseAdsFile, AcceptsCrlfLineEndsAndNamesBothLinesOfAConflict) {
  DES des;
  std::string text = joinLines(filledTemplate("2", {"1"}, {"0 10"}, {"0 1 1"}), "\r\n") + "1 2 0";
  EXPECT_EQ(parseAll(text, des), "");
  EXPECT_EQ(test::describe(des), "2: 0-1->1 1-2->0 | marked 1 | vocal 0:10");
  text = joinLines(filledTemplate("3", {}, {}, {"0 2 1", "1 2 0", "# note", "", "0 1 1", "0 1 2"}));
  // The first-error parser names both lines too.
  EXPECT_EQ(describe({parseFirst(text, des)}), "26@31/30");
}

TEST(ParseAdsFile, ReportsAFileThatCannotBeReadAsCodeFourWithoutLines) {
  TempDir dir;
  DES des;
  EXPECT_EQ(describe(parseAdsFile(dir.path + "MISSING.ADS", des)), "4@-");
  EXPECT_EQ(describe(parseAdsFile(dir.path, des)), "4@-");
  EXPECT_EQ(describe({parseAdsStream(nullptr, des)}), "4@-");
}

// A stream whose reads give these pieces in turn, "ERR" failing a read.
struct Pieces {
  std::vector<std::string> parts;
  std::size_t next = 0;
};

std::string parsePieces(Pieces& pieces) {
  cookie_io_functions_t io{};
  io.read = [](void* cookie, char* buffer, std::size_t size) -> ssize_t {
    Pieces& p = *static_cast<Pieces*>(cookie);
    if (p.next == p.parts.size()) return 0;
    const std::string& part = p.parts[p.next++];
    return part == "ERR" ? -1 : static_cast<ssize_t>(part.copy(buffer, size));
  };
  DES des;
  return describe(parseAdsFileStream(fopencookie(&pieces, "r", io), des));
}

TEST(ParseAdsFile, TakesAFailedReadForAnUnexpectedEndAndReadsNoFurther) {
  // The text up to the failure lacks its last newline; a terminal or pipe
  // may give more after it, which must not be glued on as line 27.
  std::string text = joinLines(filledTemplate("2", {}, {}, {"0 1 1"}));
  text.pop_back();
  Pieces cut{{text, "ERR", "ERR", "1 3 0\n"}};
  EXPECT_EQ(parsePieces(cut), "2@26");
  Pieces none{{"ERR", text}};
  EXPECT_EQ(parsePieces(none), "4@-");
}

TEST(ParseAdsStream, StopsAtTheFirstErrorAndReturnsTheDESOnSuccess) {
  DES des;
  EXPECT_EQ(describe({parseFirst(joinLines(TEMPLATE_LINES), des)}), "18@8");
  AdsError ok = parseFirst(joinLines(filledTemplate("2", {}, {}, {"1 3 0"})), des);
  EXPECT_EQ(ok.code, ADS_OK);
  EXPECT_EQ(test::describe(des), test::describe(test::makeDES(2, {{1, 3, 0}})));
}

TEST(AdsErrorListing, ShowsAtMostTenRecordsInTheirThreeForms) {
  std::vector<AdsError> errors = {{ADS_NONDETERMINISTIC, 31, 30}, {ADS_UNEXPECTED_END, 9, ADS_NO_LINE}};
  errors.resize(12, AdsError{ADS_NO_FILE_NAME, ADS_NO_LINE, ADS_NO_LINE});
  const std::vector<std::string> lines = adsErrorListing("/u/A.ADS", errors);
  ASSERT_EQ(lines.size(), 11u);
  EXPECT_EQ(lines[0], "Error(s) reading file: /u/A.ADS");
  EXPECT_EQ(lines[1], "  Nondeterministic transition at lines 30 and 31.");
  EXPECT_EQ(lines[2], "  Unexpected end of file at line 9.");
  EXPECT_EQ(lines[3], "  No file name present");
  EXPECT_STREQ(adsErrorMessage(ADS_LABEL_TOO_LARGE), "Transition label too large");
}

TEST(AdsCreateLogEntry, ListsMarkersVocalsAndTransitionsWithoutShortening) {
  DES des = test::makeDES(2, {{0, 1, 1}, {1, EPSILON_LABEL, 0}}, {0, 1});
  des[1].vocal = 12;
  EXPECT_EQ(adsCreateLogEntry("A", des), "A = Create(A,[mark 0,1],[voc [1,12]],[tran [0,1,1],[1,e,0]])  (2,2)\n\n");
  EXPECT_EQ(adsCreateLogEntry("X", DES{}), "X = Create(X)  (0,0)\n\n");
}

} // namespace
} // namespace kav
