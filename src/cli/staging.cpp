#include "cli/staging.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <filesystem>

#include "model/safefile.h"

namespace kav {

namespace {

// The folders the interrupt handler removes, kept in static storage: the
// handler may neither allocate nor take locks.
constexpr int MAX_FOLDERS = 64;
char registeredFolders[MAX_FOLDERS][PATH_MAX];
volatile std::sig_atomic_t folderCount = 0;
volatile std::sig_atomic_t committing = 0;
volatile std::sig_atomic_t pendingSignal = 0;
volatile std::sig_atomic_t progressShown = 0;

void registerFolder(const std::string& path) {
  if (folderCount >= MAX_FOLDERS || path.size() >= PATH_MAX) return;
  std::memcpy(registeredFolders[folderCount], path.c_str(), path.size() + 1);
  folderCount = folderCount + 1;
}

void unregisterFolder(const std::string& path) {
  for (int k = 0; k < folderCount; ++k) {
    if (path != registeredFolders[k]) continue;
    for (int j = k + 1; j < folderCount; ++j) std::memcpy(registeredFolders[j - 1], registeredFolders[j], PATH_MAX);
    folderCount = folderCount - 1;
    return;
  }
}

// Removes what folder `fd` holds, subfolders to a few levels, with system
// calls only (getdents64, unlinkat, openat), which are safe in a signal
// handler. Closes fd.
void emptyFolder(int fd, int depth) {
  alignas(8) char buffer[4096];
  for (;;) {
    const long n = ::syscall(SYS_getdents64, fd, buffer, sizeof buffer);
    if (n <= 0) break;
    for (long at = 0; at < n;) {
      const auto* entry = reinterpret_cast<const dirent64*>(buffer + at);
      at += entry->d_reclen;
      const char* name = entry->d_name;
      if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0))) continue;
      if (::unlinkat(fd, name, 0) == 0 || depth == 0) continue;
      const int sub = ::openat(fd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
      if (sub < 0) continue;
      emptyFolder(sub, depth - 1);
      ::unlinkat(fd, name, AT_REMOVEDIR);
    }
  }
  ::close(fd);
}

void removeRegisteredFolders() {
  for (int k = 0; k < folderCount; ++k) {
    const int fd = ::open(registeredFolders[k], O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0) emptyFolder(fd, 3);
    ::rmdir(registeredFolders[k]);
  }
}

[[noreturn]] void endInterrupted() {
  removeRegisteredFolders();
  if (progressShown) {
    [[maybe_unused]] ssize_t written = ::write(2, "\r\x1b[K", 4);
  }
  ::_exit(130);
}

void onInterrupt(int signal) {
  if (committing) {
    pendingSignal = signal;
    return;
  }
  endInterrupted();
}

} // namespace

std::string stageOutput(OutputStage& stage, const std::string& finalPath) {
  const std::string dir = directoryOf(finalPath);
  std::string folder;
  for (const std::string& f : stage.folders)
    if (directoryOf(f.substr(0, f.size() - 1)) == dir) folder = f;
  if (folder.empty()) {
    // Made and registered with the interrupts held, so that none can
    // leave an unregistered folder behind.
    sigset_t held, previous;
    sigemptyset(&held);
    for (int s : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&held, s);
    ::sigprocmask(SIG_BLOCK, &held, &previous);
    removeStaleTemporaries(dir);
    std::string pattern = temporaryPattern(dir, "out");
    const bool made = ::mkdtemp(pattern.data()) != nullptr;
    const int error = errno;
    if (made) {
      folder = pattern + "/";
      stage.folders.push_back(folder);
      registerFolder(folder);
    }
    ::sigprocmask(SIG_SETMASK, &previous, nullptr);
    errno = error;
    if (!made) return {};
  }
  // A number keeps two outputs of one name apart; the final names stay
  // out of the folder, so no name can reach outside it.
  const std::string staged = folder + std::to_string(stage.outputs.size());
  stage.outputs.push_back({finalPath, staged});
  return staged;
}

std::string finalPathOf(const OutputStage& stage, const std::string& path) {
  for (const StagedOutput& o : stage.outputs)
    if (o.stagedPath == path) return o.finalPath;
  return path;
}

bool commitOutputs(OutputStage& stage, std::string& failedPath) {
  committing = 1;
  bool ok = true;
  for (const StagedOutput& o : stage.outputs) {
    struct stat existing;
    const mode_t mode = ::stat(o.finalPath.c_str(), &existing) == 0 ? (existing.st_mode & 07777) : defaultFileMode();
    if (::access(o.stagedPath.c_str(), F_OK) != 0) continue; // a procedure that wrote nothing there
    if (::chmod(o.stagedPath.c_str(), mode) != 0 || ::rename(o.stagedPath.c_str(), o.finalPath.c_str()) != 0) {
      failedPath = o.finalPath;
      ok = false;
      break;
    }
  }
  discardOutputs(stage);
  return ok;
}

bool resumeInterrupts() {
  committing = 0;
  const bool held = pendingSignal != 0;
  pendingSignal = 0;
  return held;
}

void discardOutputs(OutputStage& stage) {
  for (const std::string& folder : stage.folders) {
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    unregisterFolder(folder);
  }
  stage.folders.clear();
  stage.outputs.clear();
}

void installInterruptHandlers() {
  static bool installed = false;
  if (installed) return;
  installed = true;
  struct sigaction action {};
  action.sa_handler = onInterrupt;
  sigemptyset(&action.sa_mask);
  for (int s : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&action.sa_mask, s);
  for (int s : {SIGINT, SIGTERM, SIGHUP}) ::sigaction(s, &action, nullptr);
}

void setProgressLineShown(bool shown) { progressShown = shown ? 1 : 0; }

} // namespace kav
