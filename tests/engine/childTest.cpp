#include "engine/child.h"

#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <sstream>

#include "engine/params.h"
#include "engine/protocol.h"
#include "model/session.h"
#include "support/testSupport.h"

namespace kav {
namespace {

using namespace test;

// Puts a shell script in place of the child, for the ways a child can fail.
void fakeChild(const ProgramDir& program, const std::string& script) {
  session.programPath = program.dir.path + "fake";
  test::writeScript(session.programPath, script);
}

TEST(RunChild, RunsTheRealChildAndCleansUpItsFiles) {
  ProgramDir program;
  ParameterLines lines;
  addName(lines, "A");
  addNumber(lines, 0);
  EXPECT_EQ(runBatchProcedure(PROC_STATISTICS, lines), RESULT_OK);
  for (const char* file : {"orva.prm", "orva.rst", "orva.out", "orva.err"})
    EXPECT_FALSE(exists(program.user(file))) << file;
}

TEST(RunChild, ReportsAChildThatFailsOrLeavesNoResult) {
  ProgramDir program;
  fakeChild(program, "kill -9 $$");
  EXPECT_EQ(runChild(), RESULT_CHILD_FAILED);
  fakeChild(program, "exit 1");
  EXPECT_EQ(runChild(), RESULT_CHILD_FAILED);

  // A stale orva.rst from an earlier run never passes for a result.
  writeFile(program.user("orva.rst"), "0\n");
  fakeChild(program, "exit 0");
  EXPECT_EQ(runChild(), RESULT_NO_RESULT);

  fakeChild(program, "echo nonsense > \"" + program.user("orva.rst") + "\"");
  EXPECT_EQ(runChild(), RESULT_NO_NUMBER);
  EXPECT_FALSE(exists(program.user("orva.rst")));

  session.programPath = program.dir.path + "missing";
  EXPECT_EQ(runChild(), RESULT_CHILD_FAILED);
}

TEST(RunChild, EndsTheChildWhenTheWaitPollAsksAndDiscardsWhatItLeft) {
  ProgramDir program;
  // A child that has written a result but goes on running.
  fakeChild(program, "echo 0 > \"" + program.user("orva.rst") + "\"; exec sleep 60");
  static int polls;
  polls = 0;
  setChildWaitPoll([](int milliseconds) {
    EXPECT_GT(milliseconds, 0);
    return ++polls == 3;
  });
  EXPECT_EQ(runChild(), RESULT_CANCELLED);
  setChildWaitPoll(nullptr);
  EXPECT_EQ(polls, 3);
  EXPECT_FALSE(exists(program.user("orva.rst")));
  EXPECT_FALSE(exists(program.user("orva.out")));
}

TEST(RunChild, EndingTheChildEndsTheChildrenItStarted) {
  ProgramDir program;
  const std::string late = program.dir.path + "late";
  static std::string started;
  started = program.dir.path + "started";
  // Like Supconrobs: a child that waits for a nested child of its own.
  fakeChild(program, "(touch \"" + started + "\"; sleep 0.5; touch \"" + late + "\") & wait");
  // Escape once the nested child runs.
  setChildWaitPoll([](int) { return exists(started); });
  EXPECT_EQ(runChild(), RESULT_CANCELLED);
  setChildWaitPoll(nullptr);
  ::usleep(1'000'000);
  EXPECT_FALSE(exists(late));
}

TEST(RunChild, StartsNoChildWhenTheParameterFileCannotBeWritten) {
  ProgramDir program;
  session.userDir = program.dir.path + "nowhere/";
  fakeChild(program, "touch \"" + program.dir.path + "started\"");
  EXPECT_EQ(runBatchProcedure(PROC_TRIM, ParameterLines{}), RESULT_NO_PARAMETER_FILE);
  EXPECT_FALSE(exists(program.dir.path + "started"));
}

TEST(RunChild, GivesTheChildAnAddressSpaceLimitAndDefaultSignals) {
  ProgramDir program;
  const std::string out = program.dir.path + "limits";
  fakeChild(program, "cat /proc/$$/limits /proc/$$/status > \"" + out + "\"");
  // The interactive session ignores Ctrl-C; its children must not.
  auto previous = std::signal(SIGINT, SIG_IGN);
  ASSERT_EQ(spawnBatchChild(), 0);
  std::signal(SIGINT, previous);
  const std::string seen = test::readFile(out);
  // The soft limit is the first figure after the row's label.
  const std::size_t row = seen.find("Max address space");
  ASSERT_NE(row, std::string::npos);
  std::istringstream limits(seen.substr(row + 17));
  std::string soft;
  limits >> soft;
  if (!test::sanitizedBuild()) {
    EXPECT_NE(soft, "unlimited");
  }
  const std::size_t ignored = seen.find("SigIgn:");
  ASSERT_NE(ignored, std::string::npos);
  const unsigned long long mask = std::stoull(seen.substr(ignored + 7, 20), nullptr, 16);
  EXPECT_EQ(mask & (1ull << (SIGINT - 1)), 0u) << seen.substr(ignored, 30);
}

TEST(RunProgram, StartsOutsideProgramsWithoutAShell) {
  test::TempDir dir;
  // The argument would be split or expanded by a shell; here it arrives whole.
  const std::string name = dir.path + "a b;$(x)";
  EXPECT_EQ(runProgram({"touch", name}, true), 0);
  EXPECT_TRUE(exists(name));
  EXPECT_EQ(runProgram({"/nonexistent/program"}, true), -1);
}

TEST(RunProgram, CollectsAViewerThatEndedWithoutBeingWaitedFor) {
  ASSERT_EQ(runProgram({"true"}, false), 0);
  ::usleep(200 * 1000);
  EXPECT_EQ(runProgram({"true"}, true), 0);
  // Both children are gone: nothing is left to wait for.
  errno = 0;
  EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1);
  EXPECT_EQ(errno, ECHILD);
}

} // namespace
} // namespace kav
