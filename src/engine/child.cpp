#include "engine/child.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "engine/protocol.h"
#include "model/memory.h"
#include "model/session.h"

extern char** environ;

namespace kav {

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool SANITIZED_BUILD = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool SANITIZED_BUILD = true;
#else
constexpr bool SANITIZED_BUILD = false;
#endif
#else
constexpr bool SANITIZED_BUILD = false;
#endif

ChildWaitPoll waitPoll = nullptr;

// The batch child while it runs, for endRunningChild in a signal handler;
// set and cleared with the ending signals blocked, so that a handler never
// misses a child that has started.
volatile sig_atomic_t runningChild = 0;      // its pid, 0 when none runs
volatile sig_atomic_t runningChildGroup = 0; // 1 when it leads a group of its own
volatile sig_atomic_t endRequested = 0;      // endRunningChild ended it

// Blocks (or, with `block` false, restores) the signals whose handlers end
// a running child.
void blockEndingSignals(bool block, sigset_t& saved) {
  if (!block) {
    ::sigprocmask(SIG_SETMASK, &saved, nullptr);
    return;
  }
  sigset_t ending;
  sigemptyset(&ending);
  sigaddset(&ending, SIGHUP);
  sigaddset(&ending, SIGTERM);
  ::sigprocmask(SIG_BLOCK, &ending, &saved);
}

int waitFor(pid_t pid) {
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Spawns with default signal handling and an empty signal mask, so a
// child never inherits the interactive session's ignored Ctrl-C. With
// ownGroup the child leads a process group of its own, which the programs
// it starts in turn join.
int spawn(pid_t& pid, const std::vector<std::string>& args, const posix_spawn_file_actions_t* actions,
          bool searchPath, bool ownGroup = false) {
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t all;
  sigfillset(&all);
  posix_spawnattr_setsigdefault(&attributes, &all);
  sigset_t none;
  sigemptyset(&none);
  posix_spawnattr_setsigmask(&attributes, &none);
  short flags = POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK;
  if (ownGroup) {
    posix_spawnattr_setpgroup(&attributes, 0);
    flags |= POSIX_SPAWN_SETPGROUP;
  }
  posix_spawnattr_setflags(&attributes, flags);
  const int rc = searchPath ? ::posix_spawnp(&pid, argv[0], actions, &attributes, argv.data(), environ)
                            : ::posix_spawn(&pid, argv[0], actions, &attributes, argv.data(), environ);
  posix_spawnattr_destroy(&attributes);
  return rc;
}

// Waits for the child while asking the poll between short waits; the
// poll's first waits are short so a quick child costs little latency.
// Ending the child ends its whole group: a procedure that runs nested
// children (Supconrobs) must not leave one behind to write orva.rst into
// a later run.
int waitPolling(pid_t pid, ChildWaitPoll poll) {
  int status = 0;
  for (int wait = 5;; wait = std::min(wait * 2, 100)) {
    const pid_t done = ::waitpid(pid, &status, WNOHANG);
    if (done == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (done < 0 && errno != EINTR) return -1;
    if (poll(wait)) {
      ::kill(-pid, SIGKILL);
      waitFor(pid);
      return CHILD_ENDED_ON_REQUEST;
    }
  }
}

// Programs started without waiting (a viewer) are collected here once they
// have ended, so none lingers as a zombie. Nothing else runs meanwhile: the
// batch child is always waited for before anything else is started.
void reapEndedPrograms() {
  while (::waitpid(-1, nullptr, WNOHANG) > 0) {
  }
}

} // namespace

void setChildWaitPoll(ChildWaitPoll poll) { waitPoll = poll; }

bool endRunningChild() {
  const pid_t pid = runningChild;
  if (pid <= 0) return false;
  endRequested = 1;
  ::kill(runningChildGroup ? -pid : pid, SIGKILL);
  return true;
}

unsigned long long childAddressSpaceLimit() {
  // Sanitizer runtimes reserve vast address ranges, so they go without.
  if (SANITIZED_BUILD) return 0;
  const std::uint64_t physical = physicalMemoryBytes();
  return physical ? physical : RLIM_INFINITY;
}

int spawnBatchChild() {
  reapEndedPrograms();
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  const std::string outPath = protocolPath(CHILD_OUTPUT_FILE);
  const std::string errPath = protocolPath(CHILD_ERROR_FILE);
  if (!session.debugMode) {
    // Fresh files: a FIFO left under one of these names would block the start.
    std::remove(outPath.c_str());
    std::remove(errPath.c_str());
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  }
  // The limit is inherited at exec; the parent holds it only for the spawn.
  rlimit saved{};
  const rlim_t wanted = childAddressSpaceLimit();
  const bool limited = wanted != 0 && ::getrlimit(RLIMIT_AS, &saved) == 0;
  if (limited) {
    rlimit lowered = saved;
    if (lowered.rlim_cur == RLIM_INFINITY || lowered.rlim_cur > wanted) lowered.rlim_cur = wanted;
    ::setrlimit(RLIMIT_AS, &lowered);
  }
  std::fflush(nullptr);
  pid_t pid = -1;
  // Only a child that may be ended on request gets a group of its own (in
  // debug mode it writes to the terminal from there, which the console
  // allows for the time); one started from a command line stays in the
  // caller's group, so Ctrl-C ends it too.
  const bool ownGroup = waitPoll != nullptr;
  sigset_t mask;
  blockEndingSignals(true, mask);
  endRequested = 0;
  const int rc = spawn(pid, {session.programPath, "-cmdline"}, &actions, false, ownGroup);
  if (rc == 0) {
    runningChildGroup = ownGroup ? 1 : 0;
    runningChild = pid;
  }
  blockEndingSignals(false, mask);
  if (limited) ::setrlimit(RLIMIT_AS, &saved);
  posix_spawn_file_actions_destroy(&actions);
  int status = rc != 0 ? -1 : waitPoll ? waitPolling(pid, waitPoll) : waitFor(pid);
  blockEndingSignals(true, mask);
  runningChild = 0;
  if (endRequested) status = CHILD_ENDED_ON_REQUEST;
  endRequested = 0;
  blockEndingSignals(false, mask);
  if (!session.debugMode) {
    std::remove(outPath.c_str());
    std::remove(errPath.c_str());
  }
  return status;
}

int runChild(const ResultReader& reader) {
  // A stale result must never pass for this child's.
  std::remove(protocolPath(RESULT_FILE).c_str());
  const int status = spawnBatchChild();
  if (status == CHILD_ENDED_ON_REQUEST) {
    std::remove(protocolPath(RESULT_FILE).c_str());
    std::remove(protocolPath(PARAMETER_FILE).c_str());
    return RESULT_CANCELLED;
  }
  if (status != 0) return RESULT_CHILD_FAILED;
  return reader ? reader() : readResult();
}

int runProgram(const std::vector<std::string>& argv, bool wait, bool quiet) {
  if (argv.empty()) return -1;
  reapEndedPrograms();
  std::fflush(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (quiet) {
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  }
  pid_t pid = -1;
  const int rc = spawn(pid, argv, &actions, argv[0].find('/') == std::string::npos);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return -1;
  return wait ? waitFor(pid) : 0;
}

int runProgramEndable(const std::vector<std::string>& argv) {
  if (argv.empty()) return -1;
  reapEndedPrograms();
  std::fflush(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  const int rc = spawn(pid, argv, &actions, argv[0].find('/') == std::string::npos, waitPoll != nullptr);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return -1;
  return waitPoll ? waitPolling(pid, waitPoll) : waitFor(pid);
}

std::string findProgram(const std::string& program) {
  const char* path = std::getenv("PATH");
  if (!path || program.empty() || program.find('/') != std::string::npos) return {};
  const std::string list(path);
  for (std::size_t start = 0; start <= list.size();) {
    std::size_t end = list.find(':', start);
    if (end == std::string::npos) end = list.size();
    const std::string dir = end > start ? list.substr(start, end - start) : std::string(".");
    const std::string candidate = dir + "/" + program;
    struct stat info;
    if (::stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) && ::access(candidate.c_str(), X_OK) == 0)
      return candidate;
    start = end + 1;
  }
  return {};
}

} // namespace kav
