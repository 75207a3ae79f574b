// kav in a real terminal: tmux runs it in an 80 x 25 (or 24) window,
// send-keys types real keys (Page Down included) and capture-pane reads the
// screen. Escape ends a child, a slow dot, a computation in debug mode, and
// the program once the terminal has become too small.

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>

#include "console/consoleSupport.h"

namespace kav {
namespace {

using namespace test;

// One tmux server of our own, on its own socket, ended with the test.
class Tmux {
public:
  Tmux() : socket_("kav-test-" + std::to_string(::getpid())) {}
  ~Tmux() { run("kill-server"); }

  static bool available() { return std::system("tmux -V > /dev/null 2>&1") == 0; }

  int run(const std::string& arguments) const {
    return std::system(("tmux -L " + socket_ + " " + arguments + " > /dev/null 2>&1").c_str());
  }
  std::string capture() const {
    std::string text;
    if (std::FILE* pipe = ::popen(("tmux -L " + socket_ + " capture-pane -p -t kav").c_str(), "r")) {
      char buffer[4096];
      for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) text.append(buffer, n);
      ::pclose(pipe);
    }
    return text;
  }
  // Waits up to `seconds` for text to be on the screen (or gone from it).
  bool waitFor(const std::string& text, bool shown = true, double seconds = 10) const {
    for (int k = 0; k < seconds * 20; ++k) {
      if ((capture().find(text) != std::string::npos) == shown) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
  }
  // A session of kav in an 80 x `rows` window, in the program directory,
  // with its bin/ first on the PATH.
  bool start(const ProgramDir& program, int rows = 25) const {
    const std::string& dir = program.dir.path;
    return run("-f /dev/null new-session -d -x 80 -y " + std::to_string(rows) + " -s kav \"cd '" + dir +
               "' && PATH='" + dir + "bin':$PATH TERM=screen ./kav; sleep 30\"") == 0 &&
           waitFor("KAV 2017.05.01");
  }
  void keys(const std::string& keys) const { run("send-keys -t kav " + keys); }
  // Types the keys and waits for text to show.
  bool send(const std::string& typed, const std::string& text) const {
    keys(typed);
    return waitFor(text);
  }

private:
  std::string socket_;
};

// A reduction that runs for minutes: a ring of 100,000 states where
// every state disables the event it moves by, so that no two states
// merge and every one of the N^2 / 2 pairs is tried.
void saveLongComputation(const ProgramDir& program) {
  const std::int64_t n = 100000;
  DES ring = allocStates(n), data = allocStates(n);
  for (std::int64_t s = 0; s < n; ++s) {
    insertTransition(ring[s], 1, (s + 1) % n);
    insertTransition(data[s], 1, 0);
  }
  program.save("SLOW.DES", ring);
  program.save("SLOW.DAT", data, -1);
}
// From the procedures menu, starts the reduction and waits until it runs:
// until the console says so, or in debug mode until the child's own
// progress lines (which soon cover the console's) show.
bool startLongComputation(const Tmux& tmux, const char* code = "8", const char* running = "Processing:  Please wait...") {
  return tmux.send(code, "DES3 = SUPREDUCE (DES1, DES2, DAT2)") &&
         tmux.send("slow Enter slow Enter slow Enter out Enter n", running);
}

TEST(Terminal, RunsDialogsWithRealKeysAndEndsAChildOnEscape) {
  if (!Tmux::available()) GTEST_SKIP() << "tmux is not installed";
  ProgramDir program;
  program.save("A.DES", test::makeDES(4, {{0, 1, 1}, {1, 2, 2}, {0, 3, 3}}, {2}));
  for (int k = 0; k < 80; ++k) {
    char name[16];
    std::snprintf(name, sizeof name, "F%03d", k);
    test::writeFile(program.user(name), "x");
  }
  saveLongComputation(program);
  Tmux tmux;
  ASSERT_TRUE(tmux.start(program)) << tmux.capture();
  ASSERT_TRUE(tmux.send("Space t", "KAV PROCEDURES")) << tmux.capture();

  // The directory listing (A.DES, F000 .. F079, SLOW.DAT, SLOW.DES), paged with Page Down.
  ASSERT_TRUE(tmux.send("u d", "F074")) << tmux.capture();
  EXPECT_EQ(tmux.capture().find("F075"), std::string::npos);
  ASSERT_TRUE(tmux.send("NPage", "F075")) << tmux.capture();
  ASSERT_TRUE(tmux.send("Escape", "Procedure desired:")) << tmux.capture();
  ASSERT_TRUE(tmux.send("2", "DES2 = TRIM (DES1)")) << tmux.capture();
  ASSERT_TRUE(tmux.send("a Enter", "Assign new name to A?")) << tmux.capture();
  ASSERT_TRUE(tmux.send("Enter", "Enter new name for DES2")) << tmux.capture();
  ASSERT_TRUE(tmux.send("b BSpace c Enter", "Press <Enter> to return to KAV Procedures")) << tmux.capture();
  const std::string screen = tmux.capture();
  EXPECT_NE(screen.find("TRIM\n\nDES2 = TRIM (DES1)\n\nEnter name of DES1 to be trimmed ....  A\n"), std::string::npos)
      << screen;
  EXPECT_NE(screen.find("Enter new name for DES2 ....  C"), std::string::npos) << screen;
  EXPECT_EQ(test::readFile(program.user("MAKEIT.TXT")), "C = Trim(A)  (3,2)\n\n");

  // Escape while the child works ends it; nothing is saved or logged.
  ASSERT_TRUE(tmux.send("Enter", "Procedure desired:")) << tmux.capture();
  ASSERT_TRUE(startLongComputation(tmux)) << tmux.capture();
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_NE(tmux.capture().find("Processing:  Please wait..."), std::string::npos);
  ASSERT_TRUE(tmux.send("Escape", "Procedure desired:")) << tmux.capture();
  for (const char* file : {"OUT.DES", "orva.prm", "orva.rst"}) EXPECT_FALSE(test::exists(program.user(file))) << file;
  EXPECT_EQ(test::readFile(program.user("MAKEIT.TXT")), "C = Trim(A)  (3,2)\n\n");

  // Debug mode hands the terminal to the child and takes it back.
  ASSERT_TRUE(tmux.send("x d", "D:  Debug mode (On)")) << tmux.capture();
  ASSERT_TRUE(tmux.send("t b", "REACH & BREADTH-FIRST SEARCH RECODE")) << tmux.capture();
  ASSERT_TRUE(tmux.send("a Enter r Enter", "Press <Enter> to return to KAV Procedures")) << tmux.capture();
  EXPECT_NE(tmux.capture().find("REACH & BREADTH-FIRST SEARCH RECODE\n\nDES2 = RECODE (DES1)"), std::string::npos)
      << tmux.capture();
  EXPECT_EQ(test::readFile(program.user("MAKEIT.TXT")), "C = Trim(A)  (3,2)\n\nR = Recode(A)  (4,3)\n\n");

  // X twice ends the program and gives the terminal back as it was.
  ASSERT_TRUE(tmux.send("Enter x", "MAIN OPTIONS")) << tmux.capture();
  tmux.keys("x");
  EXPECT_TRUE(tmux.waitFor("MAIN OPTIONS", false)) << tmux.capture();
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

TEST(Terminal, EscapeEndsADrawingADebugRunAndATooSmallSession) {
  if (!Tmux::available()) GTEST_SKIP() << "tmux is not installed";
  ProgramDir program;
  const std::string dir = program.dir.path;
  program.save("A.DES", test::makeDES(2, {{0, 1, 1}, {1, 2, 0}}, {1}));
  saveLongComputation(program);
  // A dot that never finishes, and starts a process of its own; a man
  // that notes how it was called.
  ::mkdir((dir + "Graphviz").c_str(), 0755);
  ::mkdir((dir + "bin").c_str(), 0755);
  test::writeScript(dir + "Graphviz/dot", "sleep 60 &\necho $! > sleep.pid\nwait");
  test::writeScript(dir + "bin/man", "echo \"$@\" > man.args");
  test::writeFile(dir + "kav.1", ".TH KAV 1\n");
  Tmux tmux;
  ASSERT_TRUE(tmux.start(program, 24)) << tmux.capture();
  // Without a desktop, the manual page.
  ASSERT_TRUE(tmux.send("Space I", "Option desired?")) << tmux.capture();
  EXPECT_EQ(test::readFile(dir + "man.args"), "-l " + dir + "kav.1\n");

  ASSERT_TRUE(tmux.send("t c e a Enter Enter Enter", "Processing:  Please wait...")) << tmux.capture();
  ASSERT_FALSE(ends(dir + "sleep.pid"));
  tmux.keys("Escape");
  // Within a second, with the status rows of the menu in sight.
  ASSERT_TRUE(tmux.waitFor("Number files: ", true, 1)) << tmux.capture();
  EXPECT_TRUE(ends(dir + "sleep.pid"));
  EXPECT_FALSE(test::exists(program.user("A.GIF")));

  // Debug mode: the child shares the terminal, and Escape still ends it.
  ASSERT_TRUE(startLongComputation(tmux, "x d t 8", "SUPREDUCE: ")) << tmux.capture();
  tmux.keys("Escape");
  ASSERT_TRUE(tmux.waitFor("Procedure desired:", true, 2)) << tmux.capture();
  EXPECT_EQ(tmux.capture().find("^["), std::string::npos) << tmux.capture();
  EXPECT_FALSE(test::exists(program.user("orva.prm")));

  tmux.run("resize-window -t kav -x 80 -y 20");
  ASSERT_TRUE(tmux.waitFor("Please enlarge it, or press Esc or q to quit KAV.")) << tmux.capture();
  tmux.keys("Escape");
  EXPECT_TRUE(tmux.waitFor("KAV ended: the terminal was smaller than 80 x 24 characters.")) << tmux.capture();
}

// The processes running `binary`.
std::vector<pid_t> processesOf(const std::string& binary) {
  std::vector<pid_t> found;
  for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
    const std::string name = entry.path().filename();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    std::error_code error;
    if (std::filesystem::read_symlink(entry.path() / "exe", error) == binary) found.push_back(std::stoi(name));
  }
  return found;
}

TEST(Terminal, ClosingTheTerminalEndsTheComputationAndCleansUp) {
  if (!Tmux::available()) GTEST_SKIP() << "tmux is not installed";
  ProgramDir program;
  saveLongComputation(program);
  Tmux tmux;
  ASSERT_TRUE(tmux.start(program) && tmux.send("Space t", "KAV PROCEDURES") && startLongComputation(tmux))
      << tmux.capture();
  ASSERT_EQ(processesOf(program.binary).size(), 2u); // the session and its child
  tmux.run("kill-server");
  std::vector<pid_t> left;
  for (int k = 0; k < 40 && !(left = processesOf(program.binary)).empty(); ++k)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(left.size(), 0u);
  for (pid_t pid : left) ::kill(pid, SIGKILL);
  for (const char* file : {"orva.prm", "orva.rst", "orva.out", "orva.err", "OUT.DES"})
    EXPECT_FALSE(test::exists(program.user(file))) << file;
  // The directory is free for the next session.
  const int fd = ::open(program.userDir.c_str(), O_RDONLY | O_DIRECTORY);
  EXPECT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
  ::close(fd);
}

} // namespace
} // namespace kav
