#include "engine/startup.h"

#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "model/session.h"
#include "support/testSupport.h"

namespace kav {
namespace {

using namespace test;

// Runs loadIni on an orva.ini in a temporary directory that is also the
// current directory, restoring the session afterwards.
class LoadIni : public ::testing::Test {
protected:
  void SetUp() override {
    saved = session;
    ASSERT_NE(::getcwd(cwd, sizeof cwd), nullptr);
    ASSERT_EQ(::chdir(dir.path.c_str()), 0);
    session.iniPath = dir.path + "orva.ini";
    session.clockingMode = false;
  }
  void TearDown() override {
    [[maybe_unused]] int rc = ::chdir(cwd);
    session = saved;
  }
  TempDir dir;
  Session saved;
  char cwd[4096];
};

TEST_F(LoadIni, FallsBackToUserBelowTheCurrentDirectoryAndWritesIt) {
  loadIni(session.iniPath);
  const std::string expected = dir.path + "user";
  EXPECT_EQ(session.userDirLine, expected);
  EXPECT_EQ(session.userDir, expected + "/");
  EXPECT_EQ(readFile(session.iniPath), expected + "\nCLOCK 0\n");
}

TEST_F(LoadIni, KeepsTheCaseOfAnExistingDirectoryAndReadsTheClock) {
  const std::string mixed = dir.path + "Models/Lower";
  std::filesystem::create_directories(mixed);
  writeFile(session.iniPath, mixed + "/\r\nCLOCK 1\n");
  loadIni(session.iniPath);
  EXPECT_EQ(session.userDirLine, mixed);
  EXPECT_EQ(session.userDir, mixed + "/");
  EXPECT_TRUE(session.clockingMode);
  EXPECT_EQ(readFile(session.iniPath), mixed + "/\r\nCLOCK 1\n"); // the user's file, left as it is
}

TEST_F(LoadIni, KeepsTheClockingValueInForceWithoutAClockLineAndReadsItForAMissingDirectory) {
  session.clockingMode = true; // as script mode sets it
  for (const std::string& text : {dir.path + "\n", dir.path + "\nCLOCKS 0\n"}) {
    writeFile(session.iniPath, text);
    loadIni(session.iniPath);
    EXPECT_TRUE(session.clockingMode) << text;
  }
  session.clockingMode = false;
  writeFile(session.iniPath, dir.path + "nowhere\nCLOCK 1\n");
  loadIni(session.iniPath);
  EXPECT_EQ(session.userDirLine, dir.path + "user");
  EXPECT_TRUE(session.clockingMode);
}

TEST(IniDirectoryFor, UsesTheUserConfigurationFolderWhenTheProgramDirectoryIsNotWritable) {
  TempDir config;
  const test::EnvSetting setting("XDG_CONFIG_HOME", config.path);
  EXPECT_EQ(iniDirectoryFor("/nonexistent/program/"), config.path + "/kav/");
  EXPECT_TRUE(isEnterableDirectory(config.path + "/kav"));
  EXPECT_EQ(iniDirectoryFor(config.path), config.path);
}

TEST(InstallPrefixOf, TellsAnInstalledProgramByItsDocumentFolderNotByPermissions) {
  TempDir prefix, config;
  const std::string bin = prefix.path + "bin/";
  std::filesystem::create_directories(bin);
  EXPECT_EQ(installPrefixOf(bin), "");
  EXPECT_EQ(infoPathFor(bin), bin + "KAV_Info");
  EXPECT_EQ(iniDirectoryFor(bin), bin);

  std::filesystem::create_directories(prefix.path + "share/doc/kav");
  EXPECT_EQ(installPrefixOf(bin), prefix.path);
  EXPECT_EQ(installPrefixOf(prefix.path + "bin"), prefix.path);
  EXPECT_EQ(installPrefixOf(prefix.path), "");
  EXPECT_EQ(infoPathFor(bin), prefix.path + "share/doc/kav/KAV_Info");
  // Writable (the tests run as root), and still the per-user folder.
  const test::EnvSetting setting("XDG_CONFIG_HOME", config.path);
  EXPECT_EQ(iniDirectoryFor(bin), config.path + "/kav/");
}

} // namespace
} // namespace kav
