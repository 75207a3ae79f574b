#include "engine/pictures.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <ctime>

#include "engine/batch.h"
#include "engine/child.h"
#include "engine/handlers.h"
#include "model/desfile.h"
#include "model/safefile.h"
#include "model/session.h"
#include "model/userfiles.h"
#include "output/graphviz.h"

namespace kav {

namespace {

bool isExecutableFile(const std::string& path) {
  struct stat info;
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

// A folder of the user directory that holds the dot text and the picture
// while dot works; removed with whatever is left in it.
struct WorkFolder {
  std::string path; // ends in '/', empty when it could not be made
  WorkFolder() {
    std::string pattern = temporaryPattern(session.userDir, "dot");
    if (::mkdtemp(pattern.data())) path = pattern + "/";
  }
  ~WorkFolder() {
    if (path.empty()) return;
    for (const char* leftover : {"picture.txt", "picture.gif"}) std::remove((path + leftover).c_str());
    ::rmdir(path.c_str());
  }
  WorkFolder(const WorkFolder&) = delete;
  WorkFolder& operator=(const WorkFolder&) = delete;
};

} // namespace

std::string findDotProgram() {
  char cwd[PATH_MAX];
  if (::getcwd(cwd, sizeof cwd)) {
    const std::string local = std::string(cwd) + "/Graphviz/dot";
    if (isExecutableFile(local)) return local;
  }
  return findProgram("dot");
}

int convertDesToGif(const std::string& desName, const std::string& gifName, bool colour) {
  DES des;
  std::int64_t init = 0;
  if (!isValidFileName(gifName) || loadDES(desName, init, des) != LOAD_OK) return PICTURE_FAILED;
  const std::string dot = findDotProgram();
  if (dot.empty()) return PICTURE_NO_DOT;
  WorkFolder work;
  if (work.path.empty()) return PICTURE_FAILED;
  // Fixed names inside the folder: the user's names may hold characters
  // that dot would read as options or paths.
  const std::string dotFile = work.path + "picture.txt";
  const std::string picture = work.path + "picture.gif";
  std::FILE* out = std::fopen(dotFile.c_str(), "wb");
  if (!out) return PICTURE_FAILED;
  writeDot(out, des, desName, colour, std::time(nullptr));
  const bool written = std::ferror(out) == 0;
  if (std::fclose(out) != 0 || !written) return PICTURE_FAILED;
  freeDES(des);

  const int status = runProgram({dot, "-Tgif", "-o", picture, dotFile}, true, true);
  if (status < 0) return PICTURE_NOT_RUN;
  if (status != 0 || !fileExists(picture)) return PICTURE_FAILED;
  // rename replaces an older picture of the same name in one step.
  if (::rename(picture.c_str(), userPath(gifName, ".GIF").c_str()) != 0) return PICTURE_FAILED;
  return PICTURE_OK;
}

BatchOutcome handleGraphviz(ParamReader& params) {
  std::string desName, gifName;
  if (!readParamName(params, desName) || !readParamName(params, gifName)) return incomplete();
  const int status = convertDesToGif(desName, gifName, false);
  if (status == PICTURE_OK) return outcome(RESULT_OK);
  if (status == PICTURE_NO_DOT) std::printf("%s\n", NO_GRAPHVIZ_MESSAGE);
  // A failed conversion leaves no result file, so the caller sees the
  // child end without one.
  BatchOutcome result;
  result.writeResult = false;
  return result;
}

} // namespace kav
