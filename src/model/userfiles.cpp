#include "model/userfiles.h"

#include <dirent.h>
#include <limits.h>
#include <strings.h>
#include <sys/stat.h>

#include "model/session.h"

namespace kav {

std::string_view trimNameBlanks(std::string_view name) {
  for (int k = 0; k < 2 && !name.empty() && name.front() == ' '; ++k) name.remove_prefix(1);
  return name;
}

bool isValidFileName(std::string_view name) {
  if (name.empty() || name == "." || name == ".." || name.size() + 4 > NAME_MAX) return false;
  if (name.find_first_not_of(' ') == std::string_view::npos) return false;
  for (const char c : name)
    if (c == '/' || static_cast<unsigned char>(c) < 32 || c == 127) return false;
  return true;
}

bool fileExists(const std::string& path) {
  struct stat info;
  return ::stat(path.c_str(), &info) == 0;
}

std::string resolveFilePath(const std::string& dir, std::string_view fileName) {
  std::string exact = dir + std::string(fileName);
  if (fileExists(exact)) return exact;
  DIR* listing = ::opendir(dir.empty() ? "." : dir.c_str());
  if (!listing) return exact;
  std::string match;
  int matches = 0;
  const std::string wanted(fileName);
  while (const dirent* entry = ::readdir(listing)) {
    if (::strcasecmp(entry->d_name, wanted.c_str()) == 0) {
      match = entry->d_name;
      ++matches;
    }
  }
  ::closedir(listing);
  return matches == 1 ? dir + match : exact;
}

std::string userPath(std::string_view name, std::string_view extension) {
  std::string fileName(trimNameBlanks(name));
  fileName += extension;
  return resolveFilePath(session.userDir, fileName);
}

bool userFileExists(std::string_view name, std::string_view extension) {
  return fileExists(userPath(name, extension));
}

} // namespace kav
