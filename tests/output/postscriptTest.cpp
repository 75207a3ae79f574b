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
struct GhostscriptRun {
  int status = -1;
  std::string output;
};

GhostscriptRun ghostscript(const std::string& text, const char* device) {
  const std::string gs = findProgram("gs");
  test::TempDir dir;
  test::writeFile(dir.path + "D.PST", text);
  const test::RunResult r = test::runBinary(
      gs, {"-q", "-dNOPAUSE", "-dBATCH", std::string("-sDEVICE=") + device, dir.path + "D.PST"}, dir.path);
  return {r.status, r.output};
}

#define REQUIRE_GHOSTSCRIPT()                                                                                          \
  if (findProgram("gs").empty()) GTEST_SKIP() << "Ghostscript (gs) is not installed"

DES tableOfLines(int lines) {
  // Entries of seven labels take a line each.
  DES dat = allocStates(lines);
  for (int s = 0; s < lines; ++s)
    for (std::uint16_t e = 1; e <= 13; e += 2) insertTransition(dat[s], e, 0);
  return dat;
}

TEST(WritePostScriptDat, WritesAnEmptyTableAsOneLineOnOnePage) {
  const std::string text = document(allocStates(2), "D");
  EXPECT_EQ(text, test::golden("empty.PST"));
  REQUIRE_GHOSTSCRIPT();
  const GhostscriptRun run = ghostscript(text, "nullpage");
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_EQ(run.output, "");
}

TEST(WritePostScriptDat, ContinuesALongTableOnFurtherPages) {
  // 8 head lines and 58 table lines fill the first page exactly.
  EXPECT_EQ(occurrences(document(tableOfLines(58), "D"), "\nstartpage\n"), 1u);
  const std::string text = document(tableOfLines(130), "D");
  EXPECT_EQ(occurrences(text, "\nstartpage\n"), 3u);
  EXPECT_NE(text.find("(      57:   1    3    5    7    9   11   13 )N\nendpage\nstartpage\n(      58:"),
            std::string::npos);
  REQUIRE_GHOSTSCRIPT();
  const GhostscriptRun run = ghostscript(text, "bbox");
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_EQ(occurrences(run.output, "%%BoundingBox:"), 3u) << run.output;
  EXPECT_EQ(run.output.find("Error"), std::string::npos) << run.output;
}

TEST(WritePostScriptDat, EscapesNamesThatWouldBreakTheStrings) {
  EXPECT_EQ(postScriptString("a(b)c\\d\x01"), "a\\(b\\)c\\\\d\\001");
  const std::string text = document(tableOfLines(2), "X)(\\");
  EXPECT_EQ(text, test::golden("escaped.PST"));
  REQUIRE_GHOSTSCRIPT();
  const GhostscriptRun run = ghostscript(text, "nullpage");
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_EQ(run.output, "");
}

} // namespace
} // namespace kav
