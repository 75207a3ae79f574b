#include "output/postscript.h"

#include <gtest/gtest.h>

#include <string>

#include "engine/child.h"
#include "output/listing.h"
#include "support/testSupport.h"

namespace kav {
namespace {

constexpr std::time_t WHEN = 1700000000;

// The date in the prolog is written in UTC here, as the golden files have it.
std::string document(const DES& dat, const std::string& name) {
  ::setenv("TZ", "UTC0", 1);
  ::tzset();
  return captureText([&](std::FILE* out) { writePostScriptDat(out, dat, name, WHEN); });
}

std::size_t occurrences(const std::string& text, const std::string& word) {
  std::size_t count = 0;
  for (std::size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1)) ++count;
  return count;
}

// Runs Ghostscript on the document; its messages, or "" when it accepted
// the document. Pages are counted through the bounding-box device, which
// reports one box per page.
test::RunResult ghostscript(const std::string& text, const char* device) {
  test::TempDir dir;
  test::writeFile(dir.path + "D.PST", text);
  return test::runBinary(findProgram("gs"),
                         {"-q", "-dNOPAUSE", "-dBATCH", std::string("-sDEVICE=") + device, dir.path + "D.PST"}, dir.path);
}

#define REQUIRE_GHOSTSCRIPT()                                                                                          \
  if (findProgram("gs").empty()) GTEST_SKIP() << "Ghostscript (gs) is not installed"

TEST(WritePostScriptDat, ContinuesALongTableOnFurtherPages) {
  // 8 head lines and 58 table lines (seven labels a line) fill the first page exactly.
  EXPECT_EQ(occurrences(document(test::makeDAT(58, 7), "D"), "\nstartpage\n"), 1u);
  const std::string text = document(test::makeDAT(130, 7), "D");
  EXPECT_EQ(occurrences(text, "\nstartpage\n"), 3u);
  EXPECT_NE(text.find("(      57:   1    3    5    7    9   11   13 )N\nendpage\nstartpage\n(      58:"),
            std::string::npos);
  REQUIRE_GHOSTSCRIPT();
  const test::RunResult run = ghostscript(text, "bbox");
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_EQ(occurrences(run.output, "%%BoundingBox:"), 3u) << run.output;
  EXPECT_EQ(run.output.find("Error"), std::string::npos) << run.output;
}

// The empty table, and names that would break the strings: each runs
// through Ghostscript without a word.
TEST(WritePostScriptDat, WritesAnEmptyTableAndEscapesNamesThatWouldBreakTheStrings) {
  EXPECT_EQ(postScriptString("a(b)c\\d\x01"), "a\\(b\\)c\\\\d\\001");
  const std::string empty = document(allocStates(2), "D"), escaped = document(test::makeDAT(2, 7), "X)(\\");
  EXPECT_EQ(empty, test::golden("empty.PST"));
  EXPECT_EQ(escaped, test::golden("escaped.PST"));
  REQUIRE_GHOSTSCRIPT();
  for (const std::string& text : {empty, escaped}) {
    const test::RunResult run = ghostscript(text, "nullpage");
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(run.output, "");
  }
}

} // namespace
} // namespace kav
