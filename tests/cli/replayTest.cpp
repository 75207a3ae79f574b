// Session logs replayed, and what a running command shows and leaves: the
// entries the console writes read back as commands, a console session of
// the walk-through replayed and turned into a script, progress only on a
// terminal, and Ctrl-C leaving nothing behind.

#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <random>
#include <thread>

#include "cli/cliSupport.h"
#include "cli/replay.h"
#include "console/consoleSupport.h"
#include "model/desfile.h"

namespace kav {
namespace {

using test::CliRun;
using test::ProgramDir;

std::string commandOf(const ReplayStep& step, std::size_t k = 0) {
  std::string text;
  for (const ReplayToken& t : step.tries.at(k)) text += (text.empty() ? "" : " ") + t.text;
  return text;
}

// Each kind of entry the console writes becomes the command that computes
// it, with the figures to compare; the interactive ones are not replayed.
TEST(ReplayStep, ReadsEveryKindOfEntryTheConsoleWrites) {
  const std::vector<std::pair<std::string, std::string>> table = {
      {"SUP = Supcon(FACT,SPEC)  (6,8)\n      Computing time = 00:00:01", "supcon FACT.DES SPEC.DES -o SUP.DES"},
      {"T = Trim(X)  (3,2)", "trim X.DES -o T.DES"},
      {"D = Condat(F,S)  Uncontrollable.", "condat F.DES S.DES -o D.DAT"},
      {"S = Selfloop(A,[1,e])  (1,2)", "selfloop A.DES -o S.DES --events=1,e"},
      {"M = Mutex(A,B,[[1,2],[3,4]])  (2,2)", "mutex A.DES B.DES -o M.DES --pairs=1:2,3:4"},
      {"R = Relabel(A,[[10,e]])  (2,1)", "relabel A.DES -o R.DES --pairs=10:e"},
      {"V = Vocalize(A,[[*,10,20],[1,11,30]])  (2,2)", "vocalize A.DES -o V.DES --vocal=*:10:20,1:11:30"},
      {"F = Force(A,Forcible [1],Preemptible [2,4],Timeout [99])  (3,4)",
       "force A.DES -o F.DES --forcible=1 --preemptable=2,4 --timeout=99"},
      {"P = Project(A,Image[1,3])  (2,2)", "project A.DES -o P.DES --image=1,3"},
      {"P = Project(A,IMG)  (2,2)", "project A.DES -o P.DES --image-des IMG.DES"},
      {"N = Supnorm(G,E,Null[2])  (2,2)", "supnorm G.DES E.DES -o N.DES --erase=2"},
      {"Q = Supsqc(A,Null[],SQC[[0,2]])  (2,2)  Nondeterministic.", "supsqc A.DES -o Q.DES --erase= --partition"},
      {"K = Allevents(D.DAT)  (1,3)", "allevents D.DAT -o K.DES"},
      {"K = Allevents([1,2])  (1,2)", "allevents --events=1,2 -o K.DES"},
      {"true = Isomorph(A,B;identity)", "isomorph A.DES B.DES"},
      {"false = Sobs(G,K,Null[2])\n         FailSobs(K,G[1,_])", "sobservable G.DES K.DES --erase=2"},
      {"R = Supreduce(G,S,D)  (2,5;slb=2)", "supreduce G.DES S.DES D.DAT -o R.DES --clean-up"},
      {"(L1,L2) = Localize(G,(G1,G2),S)  ((2,3);(2,2))\ntrue = ControlEqu(G,(L1,L2), S)",
       "localize G.DES S.DES G1.DES G2.DES -o L1.DES -o L2.DES --check"},
      {"(O,I) = Natobs(G,D.DAT)  ((1,1);(1,1))", "natobs G.DES -o O.DES --image-out I.DES --seed-from D.DAT"},
      {"S = Sync(A,B)  (4,8)  Blocked_events = [11,e]  ", "sync A.DES B.DES -o S.DES"},
  };
  for (const auto& [entry, command] : table) {
    SCOPED_TRACE(entry);
    const ReplayStep step = replayStepOf(entry);
    ASSERT_EQ(step.notReplayed, "");
    EXPECT_EQ(commandOf(step), command);
  }
  const ReplayStep sync = replayStepOf(table.back().first);
  EXPECT_EQ(sync.sizes, (std::vector<std::pair<long long, long long>>{{4, 8}}));
  EXPECT_EQ(sync.blocked, (std::vector<long long>{11, 1000}));
  const ReplayStep obs = replayStepOf("false = Sobs(G,K,Null[2])\n         FailSobs(K,G[1,_])");
  EXPECT_EQ(obs.verdictKey, "observable");
  EXPECT_FALSE(obs.verdict);
  EXPECT_EQ(obs.failures, "1,_");
  EXPECT_EQ(commandOf(replayStepOf("H = Hiconsis(V)  (3,3)"), 1), "hiconsis V.DES -o H.DES --multiple");
  for (const char* entry : {"X = Create(X,[mark all])  (2,0)", "Y = Edit(X,[mark +[1]])  (2,0)",
                            "Z = Statemap(X,[[1,0]])  (1,0)", "nonsense"})
    EXPECT_NE(replayStepOf(entry).notReplayed, "") << entry;
}

TEST(SplitLogEntries, UndoesTheLineBreakingOfLongEntries) {
  const std::string head = "SYNC12 = Sync(" + std::string(60, 'A');
  const std::string log = head +
                          "\n         BC)  (1,0)  Blocked_events = None  \n         Computing time = 00:00:02\n\n" +
                          "T = Trim(X)  (1,0)\n\n";
  ASSERT_EQ(head.size(), 74u);
  EXPECT_EQ(splitLogEntries(log),
            (std::vector<std::string>{head + "BC)  (1,0)  Blocked_events = None  \n         Computing time = 00:00:02",
                                      "T = Trim(X)  (1,0)"}));
}

// The walk-through of the README typed into the console.
const char* WALK_THROUGH = " TFD2\r\r32\rMACH1\rMACH2\rFACT\r\r5FACT\rBUFSPEC\rSUPER\r\r7FACT\rSUPER\rSUPDAT\r\rXX";

TEST(Replay, RerunsAConsoleSessionAndFindsAChangedInput) {
  ProgramDir program;
  for (const char* model : {"MACH1.ADS", "MACH2.ADS", "BUFSPEC.ADS"})
    test::writeFile(program.user(model), test::readFile(std::string(KAV_EXAMPLES_DIR) + "/" + model));
  ASSERT_EQ(test::runConsole(program, WALK_THROUGH).status, 0);
  // The example's known supervisor.
  EXPECT_NE(program.sessionLog().find("SUPER = Supcon(FACT,BUFSPEC)  (6,8)"), std::string::npos);
  // convert writes the DES that FD wrote.
  const CliRun converted = test::runKav(program.binary, {"convert", "MACH1.ADS", "-o", "C1"}, program.userDir);
  EXPECT_EQ(converted.status, 0) << converted.err;
  EXPECT_EQ(test::readFile(program.user("C1.DES")), test::readFile(program.user("MACH1.DES")));

  test::TempDir into;
  CliRun r = test::runKav(program.binary, {"replay", "user/MAKEIT.TXT", "--into", into.path}, program.dir.path);
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 7) << r.out;
  EXPECT_NE(r.out.find("NOT REPLAYED  MACH2 = Create(MACH2"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("OK            FACT = Sync(MACH1,MACH2)"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("OK            SUPDAT = Condat(FACT,SUPER)"), std::string::npos) << r.out;
  EXPECT_EQ(test::readFile(into.path + "SUPER.DES"), test::readFile(program.user("SUPER.DES")));

  // The script of the session, run in a copy of the inputs, makes the same files.
  r = test::runKav(program.binary, {"replay", "--script", "user/MAKEIT.TXT"}, program.dir.path);
  EXPECT_EQ(r.status, 0);
  test::TempDir copy;
  for (const char* model : {"MACH1.DES", "MACH2.DES", "BUFSPEC.DES"})
    test::writeFile(copy.path + model, test::readFile(program.user(model)));
  test::writeFile(copy.path + "make.sh", r.out);
  {
    const test::EnvSetting path("PATH", program.dir.path + ":/usr/bin:/bin");
    EXPECT_EQ(test::runKav("/bin/sh", {"make.sh"}, copy.path).status, 0);
  }
  for (const char* result : {"FACT.DES", "SUPER.DES", "SUPDAT.DAT"})
    EXPECT_EQ(test::readFile(copy.path + result), test::readFile(program.user(result))) << result;

  // MACH2 with a third state: the product differs, and the replay stops there.
  ASSERT_EQ(test::runKav(program.binary,
                         {"create", "-o", "MACH2", "--states", "3", "--marked", "0", "0:21:1", "1:20:2", "2:22:0"},
                         program.userDir)
                .status,
            0);
  r = test::runKav(program.binary, {"replay", "user/MAKEIT.TXT", "--into", into.path}, program.dir.path);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("where it has changed since: recorded (2,2), now (3,3)"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("DIFFERENT     FACT = Sync(MACH1,MACH2)"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("recorded (4,8), now (6,12)"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("SUPER = Supcon"), std::string::npos) << r.out;
  r = test::runKav(program.binary, {"replay", "user/MAKEIT.TXT", "--into", into.path, "--keep-going"},
                   program.dir.path);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("DIFFERENT     SUPER = Supcon"), std::string::npos) << r.out;
  // Never over the user's files.
  EXPECT_EQ(test::runKav(program.binary, {"replay", "user/MAKEIT.TXT", "--into", "user"}, program.dir.path).status, 2);
}

// A DES large enough for the reachability search to report its progress.
void saveLarge(const ProgramDir& program) {
  std::mt19937 rng(7);
  program.save("BIG.DES", test::randomDES(rng, 60000, 180000, 6, 3, false));
}

TEST(CommandLine, ShowsProgressOnlyOnATerminal) {
  ProgramDir program;
  saveLarge(program);
  const CliRun piped = test::runKav(program.binary, {"trim", "BIG", "-o", "T"}, program.userDir);
  EXPECT_EQ(piped.status, 0);
  EXPECT_EQ(piped.err, "");
  EXPECT_EQ(piped.out.find('\r'), std::string::npos);

  for (bool quiet : {false, true}) {
    int terminal = -1;
    const pid_t pid = ::forkpty(&terminal, nullptr, nullptr, nullptr);
    if (pid == 0) {
      ::dup2(::open("/dev/null", O_WRONLY), 1);
      if (::chdir(program.userDir.c_str()) != 0) ::_exit(126);
      ::execl(program.binary.c_str(), "kav", "trim", "BIG", "-o", "T", quiet ? "-q" : "--json", nullptr);
      ::_exit(127);
    }
    std::string shown;
    char buffer[4096];
    for (ssize_t n; (n = ::read(terminal, buffer, sizeof buffer)) > 0;)
      shown.append(buffer, static_cast<std::size_t>(n));
    int status = 0;
    ::waitpid(pid, &status, 0);
    ::close(terminal);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    if (quiet) {
      EXPECT_EQ(shown, "");
    } else {
      EXPECT_TRUE(shown.starts_with("\r\x1b[Kkav trim: B_REACH: ")) << shown;
      EXPECT_TRUE(shown.ends_with("\r\x1b[K")) << shown;
    }
  }
}

TEST(CommandLine, LeavesNothingBehindWhenInterrupted) {
  ProgramDir program;
  saveLarge(program);
  const std::vector<std::string> before = program.files();
  for (int signal : {SIGINT, SIGTERM}) {
    const pid_t pid = ::fork();
    if (pid == 0) {
      if (::chdir(program.userDir.c_str()) != 0) ::_exit(126);
      ::execl(program.binary.c_str(), "kav", "minstate", "BIG", "-o", "M", nullptr);
      ::_exit(127);
    }
    // Once the output's private folder is there the computation runs.
    const auto staged = [&] {
      for (const std::string& f : program.files())
        if (f.starts_with(".kav-out-")) return true;
      return false;
    };
    for (int k = 0; k < 5000 && !staged(); ++k) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ::kill(pid, signal);
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 130) << status;
    EXPECT_EQ(program.files(), before);
  }
}

} // namespace
} // namespace kav
