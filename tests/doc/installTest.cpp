// The introduction document built beside the executable, and an installed
// kav: `cmake --install` of this build tree into a temporary prefix, run
// with HOME and XDG_CONFIG_HOME in a temporary folder.

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <string>

#include "console/screen.h"
#include "engine/child.h"
#include "support/testSupport.h"

namespace kav {
namespace {

using namespace test;

std::size_t countOf(const std::string& text, const std::string& word) {
  std::size_t count = 0;
  for (std::size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1)) ++count;
  return count;
}

TEST(IntroductionDocument, IsAPdfOfAtLeastOnePage) {
  if (!KAV_INFO_PDF_BUILT) GTEST_SKIP() << "groff or ps2pdf was missing when the build was configured";
  const std::string gs = findProgram("gs");
  if (gs.empty()) GTEST_SKIP() << "Ghostscript (gs) is not installed";
  ASSERT_EQ(readFile(KAV_INFO_PDF).substr(0, 5), "%PDF-");
  // The bounding-box device reads every page and reports one box per page.
  TempDir work;
  const test::RunResult r = test::runBinary(gs, {"-q", "-dSAFER", "-dBATCH", "-dNOPAUSE", "-sDEVICE=bbox", KAV_INFO_PDF},
                                            work.path);
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_GE(countOf(r.output, "%%BoundingBox:"), 1u) << r.output;
}

TEST(Install, GivesAKavThatFindsItsDocumentAndKeepsItsSettingsPerUser) {
  TempDir prefix, home, work;
  const test::RunResult installed =
      test::runBinary(KAV_CMAKE, {"--install", KAV_BUILD_DIR, "--prefix", prefix.path}, work.path);
  ASSERT_EQ(installed.status, 0) << installed.output;
  const std::string kav = prefix.path + "bin/kav";
  const std::string document = prefix.path + "share/doc/kav/KAV_Info.PDF";
  ASSERT_TRUE(exists(kav));
  EXPECT_TRUE(exists(prefix.path + "share/man/man1/kav.1"));
  EXPECT_TRUE(exists(prefix.path + "share/bash-completion/completions/kav"));
  EXPECT_TRUE(exists(prefix.path + "share/doc/kav/examples/MACH1.ADS"));
  if (KAV_INFO_PDF_BUILT) {
    EXPECT_TRUE(exists(document));
  }

  // The user directory is "user" below the working directory; the settings
  // go to the per-user folder although root could write PREFIX/bin.
  ::mkdir((work.path + "user").c_str(), 0755);
  const test::EnvSetting homeSetting("HOME", home.path);
  const test::EnvSetting configSetting("XDG_CONFIG_HOME", home.path + "config");
  const std::string screens = work.path + "screens";
  const test::EnvSetting logSetting("KAV_SCREEN_LOG", screens);
  ::unsetenv("DISPLAY");
  ::unsetenv("WAYLAND_DISPLAY");
  test::writeFile(work.path + "script", " I\rCX"); // open the document, switch clocking off, quit
  test::RunResult r = test::runBinary(kav, {"-autotest", work.path + "script"}, work.path);
  EXPECT_EQ(r.status, 0) << r.output;
  const std::string shown = readFile(screens);
  EXPECT_NE(shown.find(KAV_INFO_PDF_BUILT ? "THE DOCUMENT IS AT:" : "FILE KAV_INFO.PDF NOT FOUND!"), std::string::npos);
  EXPECT_NE(shown.find(abbreviate(document, 62)), std::string::npos) << shown;
  const std::string ini = home.path + "config/kav/orva.ini";
  EXPECT_EQ(readFile(ini), work.path + "user\nCLOCK 0\n");
  EXPECT_FALSE(exists(prefix.path + "bin/orva.ini"));

  // The next session reads the switch back: script mode starts with
  // clocking on, the per-user orva.ini turns it off.
  test::writeFile(screens, "");
  test::writeFile(work.path + "script", " X");
  r = test::runBinary(kav, {"-autotest", work.path + "script"}, work.path);
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_NE(readFile(screens).find("C:  Clocking mode (Off)"), std::string::npos);
}

} // namespace
} // namespace kav
