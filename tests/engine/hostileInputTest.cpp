// The batch child against hostile files and limits: special files as
// inputs, a file size limit, a process killed while saving, symbolic
// links where outputs go. Every run is ended after two seconds, so that a
// child that waits or spins fails instead of hanging the test.

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "engine/protocol.h"
#include "model/desfile.h"
#include "model/safefile.h"
#include "synthesis/supreduce.h"
#include "support/testSupport.h"

namespace kav {
namespace {

using test::exists;
using test::ProgramDir;
using test::readFile;
using test::writeFile;

// One run of the child within two seconds (and `fileBytes` of file size
// when given), with orva.prm for code and body (code < 0: orva.prm left as
// it is): its exit status, and orva.rst ("none" when it left none).
std::string runWithin(const ProgramDir& program, int code, const std::string& body, unsigned long long fileBytes = 0) {
  test::ChildLimits limits(2, fileBytes);
  const test::RunResult r = code < 0 ? test::runBinary(program.binary, {"-cmdline"}, program.dir.path)
                                     : test::runBatchChild(program, code, body);
  const std::string rst = program.user("orva.rst");
  const std::string result = exists(rst) ? readFile(rst) : "none";
  std::remove(rst.c_str());
  return "status " + std::to_string(r.status) + ", " + result;
}

// The user directory's temporary files and folders.
std::vector<std::string> temporaries(const ProgramDir& program) {
  std::vector<std::string> found;
  for (const std::string& name : program.files())
    if (name.rfind(".kav-", 0) == 0) found.push_back(name);
  return found;
}

// A DES of n states, each with one transition to the next, the last one
// marked: about 26 n bytes, and its own trim.
DES chain(std::int64_t n) {
  DES des = allocStates(n);
  for (std::int64_t s = 0; s + 1 < n; ++s) insertTransition(des[s], 1, s + 1);
  des[n - 1].marked = 1;
  return des;
}

TEST(HostileInput, SpecialInputsAreUnreadableAndNoInputIsSlow) {
  struct Case {
    const char* what;
    std::function<void(const ProgramDir&)> make; // makes the input X.DES
    const char* expected;
  };
  const Case cases[] = {
      {"FIFO", [](const ProgramDir& p) { ::mkfifo(p.user("X.DES").c_str(), 0600); }, "status 0, 7\n"},
      {"/dev/zero", [](const ProgramDir& p) { ::symlink("/dev/zero", p.user("X.DES").c_str()); }, "status 0, 7\n"},
      {"directory", [](const ProgramDir& p) { ::mkdir(p.user("X.DES").c_str(), 0700); }, "status 0, 7\n"},
      // Not special, but once as slow to load: its blocks are merged.
      {"30000 blocks of one state", [](const ProgramDir& p) { p.saveRepeatedBlocks("X.DES", 30000); },
       "status 0, 0\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ProgramDir program;
    c.make(program);
    EXPECT_EQ(runWithin(program, PROC_BFS_RECODE, "X\nOUT\n"), c.expected);
    DES out;
    std::int64_t init = 0;
    const bool saved = loadDESFile(program.user("OUT.DES"), out, init) == LOAD_OK;
    EXPECT_EQ(saved ? countTransitions(out) : -1, std::string(c.expected) == "status 0, 0\n" ? 30000 : -1);
  }
}

TEST(HostileInput, SpecialProtocolFilesAreNeverWaitedOn) {
  struct Case {
    const char* what;
    std::function<void(const ProgramDir&)> make;
    int code; // -1: orva.prm as made
    const char* expected;
  };
  const auto fifo = [](const std::string& path) {
    std::remove(path.c_str());
    ::mkfifo(path.c_str(), 0600);
  };
  const Case cases[] = {
      {"orva.prm a FIFO", [&](const ProgramDir& p) { fifo(p.user("orva.prm")); }, -1, "status 0, 1\n"},
      {"orva.prm a directory", [](const ProgramDir& p) { ::mkdir(p.user("orva.prm").c_str(), 0700); }, -1,
       "status 0, 1\n"},
      // The user directory falls back to user/ below the current one: here
      // the same.
      {"orva.ini a FIFO", [&](const ProgramDir& p) { fifo(p.dir.path + "orva.ini"); }, PROC_TRIM, "status 0, 0\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ProgramDir program;
    program.save("A.DES", chain(3));
    c.make(program);
    EXPECT_EQ(runWithin(program, c.code, "A\nB\n"), c.expected);
  }
}

TEST(HostileInput, OrvaRstIsThisRunsOrNoneAndItsFailureIsStatusOne) {
  ProgramDir program;
  // A failed picture conversion leaves no orva.rst: nor may an older one stay.
  writeFile(program.user("orva.rst"), "0\n");
  EXPECT_EQ(runWithin(program, PROC_GRAPHVIZ, "NONE\nG\n"), "status 0, none");
  // orva.rst cannot be replaced: status 1, said on stderr, orva.prm gone.
  ::mkdir(program.user("orva.rst").c_str(), 0700);
  writeFile(program.user("orva.rst/x"), "");
  test::writeFile(program.user("orva.prm"), "0\n1\n99\n");
  test::RunResult r = test::runBinary(program.binary, {"-cmdline"}, program.dir.path);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.output.find("orva.rst"), std::string::npos) << r.output;
  EXPECT_FALSE(exists(program.user("orva.prm")));
  // No user directory at all.
  std::filesystem::remove_all(program.userDir);
  r = test::runBinary(program.binary, {"-cmdline"}, program.dir.path);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.output.find("orva.rst"), std::string::npos) << r.output;
}

TEST(HostileInput, OrvaIniIsReadNeverWrittenByChildren) {
  ProgramDir program;
  const std::string ini = program.dir.path + "orva.ini";
  // A trailing blank left by an editor does not hide the directory.
  writeFile(ini, program.dir.path + "other \nCLOCK 1\n");
  std::filesystem::create_directory(program.dir.path + "other");
  writeFile(program.dir.path + "other/orva.prm", "0\n1\n99\n");
  struct stat before, after;
  ASSERT_EQ(::stat(ini.c_str(), &before), 0);
  // Children started together, many times: the file stays as it was (the
  // same inode: not even rewritten with the same text).
  for (int round = 0; round < 100; ++round) {
    pid_t pids[3];
    for (pid_t& pid : pids)
      if ((pid = ::fork()) == 0) {
        ::chdir(program.dir.path.c_str());
        ::execl(program.binary.c_str(), program.binary.c_str(), "-cmdline", static_cast<char*>(nullptr));
        ::_exit(127);
      }
    for (pid_t pid : pids) ::waitpid(pid, nullptr, 0);
  }
  EXPECT_TRUE(exists(program.dir.path + "other/orva.rst"));
  EXPECT_FALSE(exists(program.user("orva.rst")));
  ASSERT_EQ(::stat(ini.c_str(), &after), 0);
  EXPECT_EQ(after.st_ino, before.st_ino);
  EXPECT_EQ(readFile(ini), program.dir.path + "other \nCLOCK 1\n");
}

TEST(HostileInput, AFileSizeLimitIsAWriteFailureThatKeepsTheOldFile) {
  ProgramDir program;
  program.save("BIG.DES", chain(20000));
  program.save("OUT.DES", chain(3));
  const std::string old = readFile(program.user("OUT.DES"));
  EXPECT_EQ(runWithin(program, PROC_TRIM, "BIG\nOUT\n", 64 * 1024), "status 0, 8\n");
  EXPECT_EQ(readFile(program.user("OUT.DES")), old);
  EXPECT_EQ(temporaries(program), std::vector<std::string>{});
}

TEST(HostileInput, TheNextRunRemovesWhatAKilledSaveLeft) {
  ProgramDir program;
  program.save("A.DES", chain(3)); // before the leftovers: this process cleans a directory once
  // A process killed in the middle of a save, and a folder of another.
  const pid_t killed = ::fork();
  if (killed == 0) {
    AtomicFile file;
    if (beginAtomicFile(program.user("OUT.DES"), file)) {
      std::fputs("partial", file.stream);
      std::fflush(file.stream);
    }
    ::raise(SIGKILL);
  }
  ASSERT_EQ(::waitpid(killed, nullptr, 0), killed);
  ASSERT_EQ(temporaries(program).size(), 1u);
  std::filesystem::create_directory(program.user(".kav-localize-" + std::to_string(killed) + "-abcdef"));
  // A running process's temporary file is its own business.
  const std::string live = ".kav-save-" + std::to_string(::getpid()) + "-abcdef";
  writeFile(program.user(live), "");
  EXPECT_EQ(runWithin(program, PROC_TRIM, "A\nB\n"), "status 0, 0\n");
  EXPECT_EQ(temporaries(program), std::vector<std::string>{live});
}

TEST(HostileInput, SavesReplaceSymbolicLinksAndLeaveTheirTargetsAlone) {
  ProgramDir program;
  const std::string target = program.dir.path + "target";
  writeFile(target, "keep");
  ::chmod(target.c_str(), 0600);
  ::symlink(target.c_str(), program.user("L.DES").c_str());
  ::symlink(target.c_str(), program.user("orva.rst").c_str());
  program.save("A.DES", chain(3));
  test::runBatchChild(program, PROC_TRIM, "A\nL\n");
  EXPECT_EQ(readFile(target), "keep");
  EXPECT_EQ(readFile(program.user("orva.rst")), "0\n");
  struct stat info;
  ASSERT_EQ(::lstat(program.user("L.DES").c_str(), &info), 0);
  const mode_t mask = ::umask(0);
  ::umask(mask);
  EXPECT_TRUE(S_ISREG(info.st_mode));
  EXPECT_EQ(info.st_mode & 0777, 0666 & ~mask);
  EXPECT_EQ(program.describeFile("L.DES"), "3: 0-1->1 1-1->2 | marked 2");
}

TEST(HostileInput, NamesThatCannotBeFilesAreNotAcceptable) {
  ProgramDir program;
  program.save("A.DES", chain(3));
  const std::string longName(300, 'L');
  struct Case {
    std::string lines; // input and output names
    const char* expected;
  };
  const Case cases[] = {
      {"    \nOUT\n", "status 0, 2\n"}, {"A\n   \n", "status 0, 2\n"},
      {longName + "\nOUT\n", "status 0, 2\n"}, {"A\n" + longName + "\n", "status 0, 2\n"},
      {"A\rB\nOUT\n", "status 0, 2\n"}, {"A\nO\x1bT\n", "status 0, 2\n"},
      {std::string("A\nO\0T\n", 6), "status 0, 2\n"},
      // Two leading blanks are dropped, once.
      {"  A\n   B\n", "status 0, 0\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.lines);
    EXPECT_EQ(runWithin(program, PROC_TRIM, c.lines), c.expected);
  }
  EXPECT_EQ(program.files(), (std::vector<std::string>{" B.DES", "A.DES"}));
}

// A plant that allows events 1 and 3 in any order, and a supervisor that
// makes them alternate: with its control data (3 disabled at state 0, 1 at
// state 1) its two states stay apart; without, they would merge into one
// state with both self-loops, which enforces nothing.
struct Alternation {
  ProgramDir program;
  Alternation() {
    program.save("P.DES", test::makeDES(1, {{0, 1, 0}, {0, 3, 0}}, {0}));
    program.save("S.DES", test::makeDES(2, {{0, 1, 1}, {1, 3, 0}}, {0, 1}));
    program.save("D.DAT", test::makeDES(2, {{0, 3, 0}, {1, 1, 0}}), -1);
  }
};

TEST(HostileInput, SupreduceNeverRunsOnTruncatedControlData) {
  Alternation a;
  const std::string full = readFile(a.program.user("D.DAT"));
  const auto reduce = [&a](std::string& result) {
    std::int64_t bound = 0;
    float ratio = 0;
    std::remove(a.program.user("R.DES").c_str());
    const int code = supreduceFiles(a.program.user("P.DES"), a.program.user("S.DES"), a.program.user("D.DAT"),
                                    a.program.user("R.DES"), false, bound, ratio);
    result = exists(a.program.user("R.DES")) ? readFile(a.program.user("R.DES")) : "none";
    return code;
  };
  std::string expected;
  ASSERT_EQ(reduce(expected), REDUCE_OK);
  EXPECT_EQ(a.program.describeFile("R.DES"), "2: 0-1->1 1-3->0 | marked 0 1");
  // Cut anywhere before the end block, the file is refused and nothing is
  // saved; cut inside the end block it still holds every section.
  const std::size_t endBlock = full.size() - 24;
  for (std::size_t length = 0; length < full.size(); ++length) {
    SCOPED_TRACE(length);
    writeFile(a.program.user("D.DAT"), full.substr(0, length));
    std::string result;
    const int code = reduce(result);
    EXPECT_EQ(code == REDUCE_OK ? result : "refused", length < endBlock ? "refused" : expected);
    if (code != REDUCE_OK) EXPECT_EQ(result, "none");
  }
}

TEST(HostileInput, LocalizeAnswersEightForAControllerItCannotWrite) {
  Alternation a;
  a.program.save("E.DES", allocStates(0));
  // LOC.DES cannot be replaced: a folder with something in it.
  std::filesystem::create_directories(a.program.user("LOC.DES/x"));
  // Through the reduction, and through the save of an empty plant's controller.
  EXPECT_EQ(runWithin(a.program, PROC_LOCALIZE, "P\nS\n1\nP\n1\nLOC\n"), "status 0, 8\n");
  EXPECT_EQ(runWithin(a.program, PROC_LOCALIZE, "E\nS\n1\nP\n1\nLOC\n"), "status 0, 8\n");
}

} // namespace
} // namespace kav
