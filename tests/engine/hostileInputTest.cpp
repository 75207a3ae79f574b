// The batch child against hostile files and limits: special files, a file
// size limit, a save killed half-way, links where outputs go, names that
// cannot be files, parallel runs. Every run is ended after two seconds, so
// a child that waits or spins fails instead of hanging the test.

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "engine/protocol.h"
#include "model/desfile.h"
#include "model/safefile.h"
#include "support/testSupport.h"
#include "synthesis/supreduce.h"

namespace kav {
namespace {

using namespace test;

// One run within two seconds (and `fileBytes` of file size when given) of
// code and body (code < 0: orva.prm as it is): "status S, " and orva.rst
// ("none" when it left none), then the transitions of OUT.DES if any.
std::string runWithin(const ProgramDir& program, int code, const std::string& body, unsigned long long fileBytes = 0) {
  test::ChildLimits limits(2, fileBytes);
  const test::RunResult r = code < 0 ? test::runBinary(program.binary, {"-cmdline"}, program.dir.path)
                                     : test::runBatchChild(program, code, body);
  const std::string rst = program.user("orva.rst");
  std::string result = "status " + std::to_string(r.status) + ", " + (exists(rst) ? readFile(rst) : "none");
  std::remove(rst.c_str());
  DES out;
  std::int64_t init = 0;
  if (loadDESFile(program.user("OUT.DES"), out, init) == LOAD_OK)
    result += " out " + std::to_string(countTransitions(out));
  return result;
}

std::vector<std::string> temporaries(const ProgramDir& program) {
  std::vector<std::string> found;
  for (const std::string& name : program.files())
    if (name.rfind(".kav-", 0) == 0) found.push_back(name);
  return found;
}

// n states in a row by event 1, the last marked: about 26 n bytes, its own trim.
DES chain(std::int64_t n) {
  DES des = allocStates(n);
  for (std::int64_t s = 0; s + 1 < n; ++s) insertTransition(des[s], 1, s + 1);
  des[n - 1].marked = 1;
  return des;
}

enum Special { FIFO, DEV_ZERO, DIRECTORY, BLOCKS };

void makeSpecial(const ProgramDir& program, const std::string& file, Special kind) {
  const std::string path = program.user(file);
  std::remove(path.c_str());
  if (kind == FIFO) ::mkfifo(path.c_str(), 0600);
  if (kind == DEV_ZERO) ::symlink("/dev/zero", path.c_str());
  if (kind == DIRECTORY) ::mkdir(path.c_str(), 0700);
  if (kind == BLOCKS) program.saveRepeatedBlocks(file, 30000);
}

TEST(HostileInput, SpecialFilesAreUnreadableAndNoFileIsSlow) {
  struct Case {
    const char* file;
    Special kind;
    int code; // -1: no orva.prm written
    const char* expected;
  };
  const Case cases[] = {
      {"X.DES", FIFO, PROC_BFS_RECODE, "status 0, 7\n"},
      {"X.DES", DEV_ZERO, PROC_BFS_RECODE, "status 0, 7\n"},
      {"X.DES", DIRECTORY, PROC_BFS_RECODE, "status 0, 7\n"},
      // Not special, but once as slow to load: one state's block 30000 times.
      {"X.DES", BLOCKS, PROC_BFS_RECODE, "status 0, 0\n out 30000"},
      {"orva.prm", FIFO, -1, "status 0, 1\n"},
      {"orva.prm", DIRECTORY, -1, "status 0, 1\n"},
      // The user directory falls back to user/ below the current one: here the same.
      {"../orva.ini", FIFO, PROC_TRIM, "status 0, 0\n out 2"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.file) + " " + std::to_string(c.kind));
    ProgramDir program;
    program.save("A.DES", chain(3));
    makeSpecial(program, c.file, c.kind);
    EXPECT_EQ(runWithin(program, c.code, c.code == PROC_TRIM ? "A\nOUT\n" : "X\nOUT\n"), c.expected);
  }
}

TEST(HostileInput, OrvaRstIsThisRunsOrNoneAndFailingToWriteItIsStatusOne) {
  ProgramDir program;
  // A failed picture conversion leaves no orva.rst: nor may an older one stay.
  writeFile(program.user("orva.rst"), "0\n");
  EXPECT_EQ(runWithin(program, PROC_GRAPHVIZ, "NONE\nG\n"), "status 0, none");
  // orva.rst cannot be replaced (a folder with a file in it), then there
  // is no user directory at all.
  std::filesystem::create_directories(program.user("orva.rst/x"));
  for (int k = 0; k < 2; ++k) {
    if (k == 0) writeFile(program.user("orva.prm"), "0\n1\n99\n");
    else std::filesystem::remove_all(program.userDir);
    const test::RunResult r = test::runBinary(program.binary, {"-cmdline"}, program.dir.path);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find("orva.rst"), std::string::npos) << r.output;
    EXPECT_FALSE(exists(program.user("orva.prm")));
  }
}

TEST(HostileInput, OrvaIniIsReadNeverWrittenByChildren) {
  ProgramDir program;
  const std::string ini = program.dir.path + "orva.ini", other = program.dir.path + "other/";
  // A blank an editor left at the end does not hide the directory.
  writeFile(ini, program.dir.path + "other \nCLOCK 1\n");
  std::filesystem::create_directory(other);
  writeFile(other + "orva.prm", "0\n1\n99\n");
  struct stat before, after;
  ASSERT_EQ(::stat(ini.c_str(), &before), 0);
  // Three children started together, fifty times: the file keeps its
  // text and its inode (not even rewritten alike).
  const std::string kav = "'" + program.binary + "' -cmdline";
  ASSERT_EQ(std::system(("cd '" + program.dir.path + "' && for i in $(seq 50); do " + kav + " & " + kav + " & " + kav +
                         " & wait; done")
                            .c_str()),
            0);
  EXPECT_TRUE(exists(other + "orva.rst"));
  EXPECT_FALSE(exists(program.user("orva.rst")));
  ASSERT_EQ(::stat(ini.c_str(), &after), 0);
  EXPECT_EQ(after.st_ino, before.st_ino);
  EXPECT_EQ(readFile(ini), program.dir.path + "other \nCLOCK 1\n");
}

TEST(HostileInput, FailedAndKilledSavesLeaveTheOldFileAndNoLitter) {
  ProgramDir program;
  program.save("BIG.DES", chain(20000));
  program.save("OUT.DES", chain(3));
  const std::string old = readFile(program.user("OUT.DES"));
  EXPECT_EQ(runWithin(program, PROC_TRIM, "BIG\nOUT\n", 64 * 1024), "status 0, 8\n out 2");
  EXPECT_EQ(readFile(program.user("OUT.DES")), old);
  EXPECT_EQ(temporaries(program), std::vector<std::string>{});
  // A process killed in the middle of a save, a folder of another one
  // that is gone, and a temporary file of a running process (this one).
  const pid_t killed = ::fork();
  if (killed == 0) {
    AtomicFile file;
    if (beginAtomicFile(program.user("OUT.DES"), file)) std::fflush(file.stream);
    ::raise(SIGKILL);
  }
  ASSERT_EQ(::waitpid(killed, nullptr, 0), killed);
  std::filesystem::create_directory(program.user(".kav-localize-" + std::to_string(killed) + "-abcdef"));
  const std::string live = ".kav-save-" + std::to_string(::getpid()) + "-abcdef";
  writeFile(program.user(live), "");
  // A number too long for a PID: a file of someone else, left alone.
  const std::string foreign = ".kav-save-1234567890-abcdef";
  writeFile(program.user(foreign), "");
  ASSERT_EQ(temporaries(program).size(), 4u);
  EXPECT_EQ(runWithin(program, PROC_TRIM, "A\nB\n"), "status 0, 0\n out 2");
  std::vector<std::string> kept{live, foreign};
  std::sort(kept.begin(), kept.end());
  EXPECT_EQ(temporaries(program), kept);
}

TEST(HostileInput, SavesReplaceSymbolicLinksAndLeaveTheirTargetsAlone) {
  ProgramDir program;
  const std::string target = program.dir.path + "target";
  writeFile(target, "keep");
  ::chmod(target.c_str(), 0600);
  ::symlink(target.c_str(), program.user("OUT.DES").c_str());
  ::symlink(target.c_str(), program.user("orva.rst").c_str());
  program.save("A.DES", chain(3));
  EXPECT_EQ(runWithin(program, PROC_TRIM, "A\nOUT\n"), "status 0, 0\n out 2");
  EXPECT_EQ(readFile(target), "keep");
  struct stat info;
  ASSERT_EQ(::lstat(program.user("OUT.DES").c_str(), &info), 0);
  const mode_t mask = ::umask(0);
  ::umask(mask);
  EXPECT_EQ(info.st_mode & 0777, 0666 & ~mask);
}

TEST(HostileInput, NamesThatCannotBeFilesAreNotAcceptable) {
  ProgramDir program;
  program.save("A.DES", chain(3));
  const std::string longName(300, 'L');
  for (const std::string& lines :
       {std::string("    \nOUT\n"), std::string("A\n   \n"), longName + "\nOUT\n", "A\n" + longName + "\n",
        std::string("A\rB\nOUT\n"), std::string("A\nO\x1bT\n"), std::string("A\nO\0T\n", 6)}) {
    SCOPED_TRACE(lines);
    EXPECT_EQ(runWithin(program, PROC_TRIM, lines), "status 0, 2\n");
  }
  // Two leading blanks are dropped, once.
  EXPECT_EQ(runWithin(program, PROC_TRIM, "  A\n   B\n"), "status 0, 0\n");
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
  // The code, and the result file ("none" when there is none).
  std::pair<int, std::string> reduce() const {
    std::int64_t bound = 0;
    float ratio = 0;
    std::remove(program.user("R.DES").c_str());
    const int code = supreduceFiles(program.user("P.DES"), program.user("S.DES"), program.user("D.DAT"),
                                    program.user("R.DES"), false, bound, ratio);
    return {code, exists(program.user("R.DES")) ? readFile(program.user("R.DES")) : "none"};
  }
};

TEST(HostileInput, SupreduceNeverRunsOnTruncatedControlData) {
  Alternation a;
  const std::string full = readFile(a.program.user("D.DAT"));
  const auto expected = a.reduce();
  ASSERT_EQ(expected.first, REDUCE_OK);
  EXPECT_EQ(a.program.describeFile("R.DES"), "2: 0-1->1 1-3->0 | marked 0 1");
  // Cut anywhere before the end block the file is refused and nothing is
  // saved; cut inside the end block it still holds every section.
  for (std::size_t length = 0; length < full.size(); ++length) {
    SCOPED_TRACE(length);
    writeFile(a.program.user("D.DAT"), full.substr(0, length));
    const auto result = a.reduce();
    if (length < full.size() - 24)
      EXPECT_EQ(result, std::make_pair(int(REDUCE_CONTROL_DATA_UNREADABLE), std::string("none")));
    else EXPECT_EQ(result, expected);
  }
}

TEST(HostileInput, LocalizeAnswersEightForAControllerItCannotWrite) {
  Alternation a;
  a.program.save("E.DES", allocStates(0));
  std::filesystem::create_directories(a.program.user("LOC.DES/x"));
  // Through the reduction, and through the save of an empty plant's controller.
  EXPECT_EQ(runWithin(a.program, PROC_LOCALIZE, "P\nS\n1\nP\n1\nLOC\n"), "status 0, 8\n");
  EXPECT_EQ(runWithin(a.program, PROC_LOCALIZE, "E\nS\n1\nP\n1\nLOC\n"), "status 0, 8\n");
}

} // namespace
} // namespace kav
