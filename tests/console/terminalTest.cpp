// kav in a real terminal: tmux runs it in an 80 x 25 window, send-keys
// types real keys (Page Down included) and capture-pane reads the screen.

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "console/consoleSupport.h"

namespace kav {
namespace {

using test::ProgramDir;

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
  // Waits up to ten seconds for text to be on the screen (or gone from it).
  bool waitFor(const std::string& text, bool shown = true) const {
    for (int k = 0; k < 200; ++k) {
      if ((capture().find(text) != std::string::npos) == shown) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
  }
  // A session of kav in an 80 x 25 window, in the program directory.
  bool start(const ProgramDir& program) const {
    return run("-f /dev/null new-session -d -x 80 -y 25 -s kav \"cd '" + program.dir.path +
               "' && TERM=screen ./kav; sleep 30\"") == 0 &&
           waitFor("KAV 2017.05.01");
  }
  void keys(const std::string& keys) const { run("send-keys -t kav " + keys); }

private:
  std::string socket_;
};

TEST(Terminal, RunsATrimWithRealKeysIncludingPageDown) {
  if (!Tmux::available()) GTEST_SKIP() << "tmux is not installed";
  ProgramDir program;
  program.save("A.DES", test::makeDES(4, {{0, 1, 1}, {1, 2, 2}, {0, 3, 3}}, {2}));
  for (int k = 0; k < 80; ++k) {
    char name[16];
    std::snprintf(name, sizeof name, "F%03d", k);
    test::writeFile(program.user(name), "x");
  }
  Tmux tmux;
  ASSERT_TRUE(tmux.start(program)) << tmux.capture();
  tmux.keys("Space");
  ASSERT_TRUE(tmux.waitFor("MAIN OPTIONS")) << tmux.capture();
  tmux.keys("t");
  ASSERT_TRUE(tmux.waitFor("KAV PROCEDURES")) << tmux.capture();

  // The directory listing (A.DES, F000 .. F079), paged with Page Down.
  tmux.keys("u d");
  ASSERT_TRUE(tmux.waitFor("F074")) << tmux.capture();
  EXPECT_EQ(tmux.capture().find("F075"), std::string::npos);
  tmux.keys("NPage");
  ASSERT_TRUE(tmux.waitFor("F075")) << tmux.capture();
  tmux.keys("Escape");
  ASSERT_TRUE(tmux.waitFor("Procedure desired:")) << tmux.capture();

  tmux.keys("2");
  ASSERT_TRUE(tmux.waitFor("DES2 = TRIM (DES1)")) << tmux.capture();
  tmux.keys("a Enter");
  ASSERT_TRUE(tmux.waitFor("Assign new name to A?")) << tmux.capture();
  tmux.keys("Enter");
  ASSERT_TRUE(tmux.waitFor("Enter new name for DES2")) << tmux.capture();
  tmux.keys("b BSpace c Enter");
  ASSERT_TRUE(tmux.waitFor("Press <Enter> to return to KAV Procedures")) << tmux.capture();
  const std::string screen = tmux.capture();
  EXPECT_NE(screen.find("TRIM\n\nDES2 = TRIM (DES1)\n\nEnter name of DES1 to be trimmed ....  A\n"), std::string::npos)
      << screen;
  EXPECT_NE(screen.find("Enter new name for DES2 ....  C"), std::string::npos) << screen;
  EXPECT_EQ(test::readFile(program.user("MAKEIT.TXT")), "C = Trim(A)  (3,2)\n\n");

  // Debug mode hands the terminal to the child and takes it back.
  tmux.keys("Enter");
  ASSERT_TRUE(tmux.waitFor("Procedure desired:")) << tmux.capture();
  tmux.keys("x");
  ASSERT_TRUE(tmux.waitFor("MAIN OPTIONS")) << tmux.capture();
  tmux.keys("d");
  ASSERT_TRUE(tmux.waitFor("D:  Debug mode (On)")) << tmux.capture();
  tmux.keys("t b");
  ASSERT_TRUE(tmux.waitFor("REACH & BREADTH-FIRST SEARCH RECODE")) << tmux.capture();
  tmux.keys("a Enter r Enter");
  ASSERT_TRUE(tmux.waitFor("Press <Enter> to return to KAV Procedures")) << tmux.capture();
  EXPECT_NE(tmux.capture().find("REACH & BREADTH-FIRST SEARCH RECODE\n\nDES2 = RECODE (DES1)"), std::string::npos)
      << tmux.capture();
  EXPECT_EQ(test::readFile(program.user("MAKEIT.TXT")), "C = Trim(A)  (3,2)\n\nR = Recode(A)  (4,3)\n\n");

  // X twice ends the program and gives the terminal back as it was.
  tmux.keys("Enter x");
  ASSERT_TRUE(tmux.waitFor("MAIN OPTIONS")) << tmux.capture();
  tmux.keys("x");
  EXPECT_TRUE(tmux.waitFor("MAIN OPTIONS", false)) << tmux.capture();
}

TEST(Terminal, EscapeWhileProcessingEndsTheChildAndCancels) {
  if (!Tmux::available()) GTEST_SKIP() << "tmux is not installed";
  ProgramDir program;
  // A named pipe passes for an input file, and the child that opens it
  // waits for a writer that never comes: a computation that never ends.
  ASSERT_EQ(::mkfifo(program.user("SLOW.DES").c_str(), 0600), 0);
  Tmux tmux;
  ASSERT_TRUE(tmux.start(program)) << tmux.capture();
  tmux.keys("Space t b");
  ASSERT_TRUE(tmux.waitFor("REACH & BREADTH-FIRST SEARCH RECODE")) << tmux.capture();
  tmux.keys("slow Enter out Enter");
  ASSERT_TRUE(tmux.waitFor("Processing:  Please wait...")) << tmux.capture();
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_NE(tmux.capture().find("Processing:  Please wait..."), std::string::npos);
  tmux.keys("Escape");
  ASSERT_TRUE(tmux.waitFor("Procedure desired:")) << tmux.capture();
  EXPECT_FALSE(test::exists(program.user("OUT.DES")));
  EXPECT_FALSE(test::exists(program.user("MAKEIT.TXT")));
  EXPECT_FALSE(test::exists(program.user("orva.prm")));
  EXPECT_FALSE(test::exists(program.user("orva.rst")));
  // The session goes on: X twice ends it.
  tmux.keys("x x");
  EXPECT_TRUE(tmux.waitFor("MAIN OPTIONS", false)) << tmux.capture();
}

} // namespace
} // namespace kav
