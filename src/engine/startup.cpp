#include "engine/startup.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "model/safefile.h"
#include "model/session.h"

namespace kav {

namespace {

std::string currentDirectory() {
  char buffer[PATH_MAX];
  return ::getcwd(buffer, sizeof buffer) ? std::string(buffer) : std::string(".");
}

std::string executablePath(const char* argv0) {
  char buffer[PATH_MAX];
  const ssize_t length = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (length > 0) return std::string(buffer, static_cast<std::size_t>(length));
  if (argv0 && ::realpath(argv0, buffer)) return buffer;
  return {};
}

bool makeDirectories(const std::string& path) {
  for (std::size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1))
    ::mkdir(path.substr(0, slash).c_str(), 0755);
  return ::mkdir(path.c_str(), 0755) == 0 || errno == EEXIST;
}

// The per-user configuration folder, created when missing; ends in '/'.
std::string userConfigDirectory() {
  std::string base;
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && xdg[0] == '/') base = xdg;
  else if (const char* home = std::getenv("HOME"); home && home[0]) base = std::string(home) + "/.config";
  else return {};
  const std::string dir = base + "/kav";
  return makeDirectories(dir) ? dir + "/" : std::string();
}

} // namespace

bool isEnterableDirectory(const std::string& path) {
  struct stat info;
  return !path.empty() && ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode) &&
         ::access(path.c_str(), X_OK) == 0;
}

void setUserDirectory(const std::string& path) {
  std::string line = path;
  while (line.size() > 1 && line.back() == '/') line.pop_back();
  session.userDirLine = line;
  session.userDir = line == "/" ? line : line + "/";
}

void initSession(const char* argv0) {
  session.programPath = executablePath(argv0);
  const std::size_t slash = session.programPath.rfind('/');
  if (slash != std::string::npos) {
    session.programDir = session.programPath.substr(0, slash + 1);
    session.infoPath = infoPathFor(session.programDir);
  } else {
    session.programDir = currentDirectory() + "/";
    session.infoPath = "KAV_Info";
  }
  session.iniPath = iniDirectoryFor(session.programDir) + "orva.ini";
  loadIni(session.iniPath);
}

std::string installPrefixOf(const std::string& programDir) {
  std::string dir = programDir;
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  const std::size_t slash = dir.rfind('/');
  if (slash == std::string::npos || dir.compare(slash + 1, std::string::npos, "bin") != 0) return {};
  const std::string prefix = dir.substr(0, slash + 1);
  return isEnterableDirectory(prefix + INSTALLED_DOC_DIR) ? prefix : std::string();
}

std::string iniDirectoryFor(const std::string& programDir) {
  if (::access(programDir.c_str(), W_OK) == 0 && installPrefixOf(programDir).empty()) return programDir;
  const std::string config = userConfigDirectory();
  return config.empty() ? programDir : config;
}

std::string infoPathFor(const std::string& programDir) {
  const std::string prefix = installPrefixOf(programDir);
  return (prefix.empty() ? programDir : prefix + INSTALLED_DOC_DIR) + "KAV_Info";
}

void loadIni(const std::string& path) {
  bool found = false;
  std::string text;
  const OpenStatus status = readWholeFile(path, text);
  if (status == OPEN_OK) {
    std::istringstream in(text);
    std::string candidate;
    std::getline(in, candidate);
    if (!candidate.empty() && candidate.back() == '\r') candidate.pop_back();
    // Blanks an editor left at the end of the line are not part of the
    // name, unless a directory of that name exists.
    std::string trimmed = candidate;
    while (!trimmed.empty() && (trimmed.back() == ' ' || trimmed.back() == '\t')) trimmed.pop_back();
    for (const std::string& name : {candidate, trimmed}) {
      if (isEnterableDirectory(name)) {
        setUserDirectory(name);
        found = true;
        break;
      }
    }
    std::string word;
    int clock;
    if (in >> word >> clock && word == "CLOCK") session.clockingMode = clock != 0;
  }
  if (!found) {
    std::string fallback = currentDirectory();
    if (fallback.empty() || fallback.back() != '/') fallback += '/';
    setUserDirectory(fallback + "user");
  }
  // Only the first interactive start writes orva.ini; a file that is there
  // is the user's, and a child or a second session rewriting it while
  // another reads it could make that one fall back.
  if (status == OPEN_MISSING && !session.batchMode) saveIni();
}

void saveIni() {
  if (session.iniPath.empty()) return;
  // Written aside under a name of this process and renamed, so that a
  // reader never sees a part of it, even while another process saves it.
  [[maybe_unused]] const bool saved = writeFileAtomically(session.iniPath, [](std::FILE* stream) {
    return std::fprintf(stream, "%s\nCLOCK %d\n", session.userDirLine.c_str(), session.clockingMode ? 1 : 0) > 0;
  });
}

} // namespace kav
