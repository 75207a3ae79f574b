#include "model/safefile.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <vector>

namespace kav {

namespace {

constexpr std::string_view TEMPORARY_PREFIX = ".kav-";

// Regular files only, then blocking again; closes fd on refusal.
OpenStatus keepIfRegular(int fd) {
  struct stat info;
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(fd);
    return OPEN_UNREADABLE;
  }
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
    ::close(fd);
    return OPEN_UNREADABLE;
  }
  return OPEN_OK;
}

std::FILE* streamOf(int fd, const char* mode) {
  std::FILE* stream = ::fdopen(fd, mode);
  if (!stream) ::close(fd);
  return stream;
}

// The owner of a temporary name ".kav-KIND-PID-...", or 0 when the name is
// not one (PIDs have at most 9 digits, so the number cannot overflow).
pid_t ownerOf(std::string_view name) {
  if (name.substr(0, TEMPORARY_PREFIX.size()) != TEMPORARY_PREFIX) return 0;
  name.remove_prefix(TEMPORARY_PREFIX.size());
  const std::size_t dash = name.find('-');
  if (dash == 0 || dash == std::string_view::npos) return 0;
  name.remove_prefix(dash + 1);
  long pid = 0;
  std::size_t k = 0;
  for (; k < name.size() && k < 9 && name[k] >= '0' && name[k] <= '9'; ++k) pid = pid * 10 + (name[k] - '0');
  if (k == 0 || k == name.size() || name[k] != '-' || pid <= 0) return 0;
  return static_cast<pid_t>(pid);
}

bool isRunning(pid_t pid) { return ::kill(pid, 0) == 0 || errno != ESRCH; }

// Each directory is cleaned once by a process: its own temporaries are
// never stale, and others' seldom appear while it runs.
void removeStaleTemporariesOnce(const std::string& dir) {
  static std::vector<std::string> cleaned;
  if (std::find(cleaned.begin(), cleaned.end(), dir) != cleaned.end()) return;
  cleaned.push_back(dir);
  removeStaleTemporaries(dir);
}

} // namespace

OpenStatus openRegularFile(const std::string& path, int& fd) {
  fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return errno == ENOENT || errno == ENOTDIR ? OPEN_MISSING : OPEN_UNREADABLE;
  const OpenStatus status = keepIfRegular(fd);
  if (status != OPEN_OK) fd = -1;
  return status;
}

std::FILE* openRegularStream(const std::string& path, OpenStatus* status) {
  int fd = -1;
  const OpenStatus opened = openRegularFile(path, fd);
  if (status) *status = opened;
  return opened == OPEN_OK ? streamOf(fd, "rb") : nullptr;
}

OpenStatus readWholeFile(const std::string& path, std::string& text) {
  int fd = -1;
  if (const OpenStatus status = openRegularFile(path, fd); status != OPEN_OK) return status;
  std::string content;
  char buffer[1 << 14];
  for (;;) {
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      ::close(fd);
      if (got < 0) return OPEN_UNREADABLE;
      text = std::move(content);
      return OPEN_OK;
    }
    content.append(buffer, static_cast<std::size_t>(got));
  }
}

std::FILE* openAppendStream(const std::string& path) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0666);
  if (fd < 0 || keepIfRegular(fd) != OPEN_OK) return nullptr;
  return streamOf(fd, "ab");
}

std::FILE* openScratchStream(const std::string& path) {
  ::unlink(path.c_str());
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  return fd < 0 ? nullptr : streamOf(fd, "w+b");
}

std::string temporaryPattern(const std::string& dir, std::string_view kind) {
  std::string pattern = dir;
  pattern += TEMPORARY_PREFIX;
  pattern += kind;
  pattern += '-';
  pattern += std::to_string(::getpid());
  pattern += "-XXXXXX";
  return pattern;
}

void removeStaleTemporaries(const std::string& dir) {
  DIR* listing = ::opendir(dir.empty() ? "." : dir.c_str());
  if (!listing) return;
  std::vector<std::string> stale;
  while (const dirent* entry = ::readdir(listing)) {
    const pid_t owner = ownerOf(entry->d_name);
    if (owner > 0 && !isRunning(owner)) stale.push_back(dir + entry->d_name);
  }
  ::closedir(listing);
  for (const std::string& path : stale) {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
  }
}

std::string directoryOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

mode_t defaultFileMode() {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666 & ~mask;
}

void ignoreFileSizeSignal() { ::signal(SIGXFSZ, SIG_IGN); }

bool beginAtomicFile(const std::string& path, AtomicFile& file, bool durable) {
  ignoreFileSizeSignal();
  const std::string dir = directoryOf(path);
  removeStaleTemporariesOnce(dir);
  file.path = path;
  file.durable = durable;
  file.temporary = temporaryPattern(dir, "save");
  const int fd = ::mkostemp(file.temporary.data(), O_CLOEXEC);
  if (fd < 0) return false;
  file.stream = ::fdopen(fd, "wb");
  if (!file.stream) {
    ::close(fd);
    ::unlink(file.temporary.c_str());
    return false;
  }
  return true;
}

bool commitAtomicFile(AtomicFile& file, bool written) {
  if (!file.stream) return false;
  // A regular target keeps its mode; anything else (a symbolic link
  // included) is replaced by a file of the default mode.
  struct stat existing;
  const bool replacing = ::lstat(file.path.c_str(), &existing) == 0 && S_ISREG(existing.st_mode);
  const mode_t mode = replacing ? (existing.st_mode & 07777) : defaultFileMode();
  const int fd = ::fileno(file.stream);
  bool ok = written && std::fflush(file.stream) == 0 && std::ferror(file.stream) == 0;
  ok = ok && ::fchmod(fd, mode) == 0;
  // Synced before the rename, so that a crash cannot leave an empty file
  // where an older one stood.
  if (ok && replacing && file.durable) ok = ::fsync(fd) == 0;
  ok = std::fclose(file.stream) == 0 && ok;
  file.stream = nullptr;
  if (!ok || ::rename(file.temporary.c_str(), file.path.c_str()) != 0) {
    ::unlink(file.temporary.c_str());
    return false;
  }
  return true;
}

void discardAtomicFile(AtomicFile& file) {
  if (!file.stream) return;
  std::fclose(file.stream);
  file.stream = nullptr;
  ::unlink(file.temporary.c_str());
}

} // namespace kav
