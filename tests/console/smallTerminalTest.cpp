// kav in a real terminal of 80 x 24: tmux runs it, send-keys types and
// capture-pane reads the screen. Escape ends a slow dot, a computation in
// debug mode, and the program once the terminal has become too small.

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "console/consoleSupport.h"

namespace kav {
namespace {

const std::string SOCKET = "kav-small-" + std::to_string(::getpid());

int tmux(const std::string& arguments) {
  return std::system(("tmux -L " + SOCKET + " " + arguments + " > /dev/null 2>&1").c_str());
}

std::string pane() {
  std::string text;
  std::FILE* pipe = ::popen(("tmux -L " + SOCKET + " capture-pane -p -t kav").c_str(), "r");
  for (char buffer[4096]; std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe);) text.append(buffer, n);
  ::pclose(pipe);
  return text;
}

// Waits up to `seconds` for text on the pane.
bool shows(const std::string& text, double seconds = 10) {
  for (int k = 0; k < seconds * 50; ++k, std::this_thread::sleep_for(std::chrono::milliseconds(20)))
    if (pane().find(text) != std::string::npos) return true;
  return false;
}

// Waits up to two seconds for the process named in pidFile to end (or be
// left a zombie); false if it is still running.
bool ends(const std::string& pidFile) {
  for (int k = 0; k < 100; ++k, std::this_thread::sleep_for(std::chrono::milliseconds(20))) {
    std::string pid = test::readFile(pidFile);
    if (!pid.empty()) pid.pop_back(); // the newline
    const std::string stat = "/proc/" + pid + "/stat";
    if (!pid.empty() && (!test::exists(stat) || test::readFile(stat).find(") Z") != std::string::npos)) return true;
  }
  return false;
}

TEST(SmallTerminal, EscapeEndsADrawingADebugRunAndATooSmallSession) {
  if (std::system("tmux -V > /dev/null 2>&1") != 0) GTEST_SKIP() << "tmux is not installed";
  test::ProgramDir program;
  const std::string dir = program.dir.path;
  program.save("A.DES", test::makeDES(2, {{0, 1, 1}, {1, 2, 0}}, {1}));
  // A reduction of a long ring runs long enough to be cancelled.
  const std::int64_t n = 100000;
  DES ring = allocStates(n), data = allocStates(n);
  for (std::int64_t s = 0; s < n; ++s) {
    insertTransition(ring[s], 1, (s + 1) % n);
    insertTransition(data[s], 1, 0);
  }
  program.save("SLOW.DES", ring);
  program.save("SLOW.DAT", data, -1);
  // A dot that never finishes, and starts a process of its own; a man
  // that notes how it was called.
  ::mkdir((dir + "Graphviz").c_str(), 0755);
  ::mkdir((dir + "bin").c_str(), 0755);
  const std::pair<const char*, const char*> scripts[] = {{"Graphviz/dot", "sleep 60 &\necho $! > sleep.pid\nwait"},
                                                         {"bin/man", "echo \"$@\" > man.args"}};
  for (const auto& [file, text] : scripts) {
    test::writeFile(dir + file, std::string("#!/bin/sh\n") + text + "\n");
    ::chmod((dir + file).c_str(), 0755);
  }
  test::writeFile(dir + "kav.1", ".TH KAV 1\n");
  ASSERT_EQ(tmux("-f /dev/null new-session -d -x 80 -y 24 -s kav \"cd '" + dir + "' && PATH='" + dir +
                 "bin':$PATH TERM=screen ./kav; sleep 30\""),
            0);
  ASSERT_TRUE(shows("KAV 2017.05.01")) << pane();
  tmux("send-keys -t kav Space I"); // without a desktop, the manual page
  ASSERT_TRUE(shows("Option desired?")) << pane();
  EXPECT_EQ(test::readFile(dir + "man.args"), "-l " + dir + "kav.1\n");

  tmux("send-keys -t kav t c e a Enter Enter Enter");
  ASSERT_TRUE(shows("Processing:  Please wait...")) << pane();
  ASSERT_FALSE(ends(dir + "sleep.pid"));
  tmux("send-keys -t kav Escape");
  // Within a second, with the status rows of the menu in sight.
  ASSERT_TRUE(shows("Number files: ", 1)) << pane();
  EXPECT_TRUE(ends(dir + "sleep.pid"));
  EXPECT_FALSE(test::exists(program.user("A.GIF")));

  // Debug mode: the child shares the terminal, and Escape still ends it.
  tmux("send-keys -t kav x d t 8 slow Enter slow Enter slow Enter out Enter n");
  ASSERT_TRUE(shows("Processing:  Please wait...")) << pane();
  tmux("send-keys -t kav Escape");
  ASSERT_TRUE(shows("Procedure desired:", 2)) << pane();
  EXPECT_EQ(pane().find("^["), std::string::npos) << pane();
  EXPECT_FALSE(test::exists(program.user("orva.prm")));

  tmux("resize-window -t kav -x 80 -y 20");
  ASSERT_TRUE(shows("Please enlarge it, or press Esc or q to quit KAV.")) << pane();
  tmux("send-keys -t kav Escape");
  EXPECT_TRUE(shows("KAV ended: the terminal was smaller than 80 x 24 characters.")) << pane();
  tmux("kill-server");
}

} // namespace
} // namespace kav
