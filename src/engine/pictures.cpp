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

// A folder beside the picture that holds the dot text and the picture
// while dot works; removed with whatever is left in it.
struct WorkFolder {
  std::string path; // ends in '/', empty when it could not be made
  explicit WorkFolder(const std::string& parent) {
    std::string pattern = temporaryPattern(parent, "dot");
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
  if (!isValidFileName(gifName)) return PICTURE_FAILED;
  return convertDesFileToGif(userPath(desName, ".DES"), desName, userPath(gifName, ".GIF"), colour);
}

int convertDesFileToGif(const std::string& desPath, const std::string& title, const std::string& gifPath, bool colour) {
  DES des;
  std::int64_t init = 0;
  if (loadDESFile(desPath, des, init) != LOAD_OK) return PICTURE_FAILED;
  const std::string dot = findDotProgram();
  if (dot.empty()) return PICTURE_NO_DOT;
  WorkFolder work(directoryOf(gifPath));
  if (work.path.empty()) return PICTURE_FAILED;
  // Fixed names inside the folder: the user's names may hold characters
  // that dot would read as options or paths.
  const std::string dotFile = work.path + "picture.txt";
  const std::string picture = work.path + "picture.gif";
  std::FILE* out = std::fopen(dotFile.c_str(), "wb");
  if (!out) return PICTURE_FAILED;
  writeDot(out, des, title, colour, std::time(nullptr));
  const bool written = std::ferror(out) == 0;
  if (std::fclose(out) != 0 || !written) return PICTURE_FAILED;
  freeDES(des);

  const int status = runProgramEndable({dot, "-Tgif", "-o", picture, dotFile});
  if (status == CHILD_ENDED_ON_REQUEST) return PICTURE_CANCELLED;
  if (status < 0) return PICTURE_NOT_RUN;
  if (status != 0 || !fileExists(picture)) return PICTURE_FAILED;
  // rename replaces an older picture of the same name in one step.
  if (::rename(picture.c_str(), gifPath.c_str()) != 0) return PICTURE_FAILED;
  return PICTURE_OK;
}

BatchOutcome handleGraphviz(ParamReader& params) {
  ProcedureRequest r;
  r.code = PROC_GRAPHVIZ;
  std::string desName, gifName;
  if (!readParamName(params, desName) || !readParamName(params, gifName)) return incomplete();
  r.inputs = {desPath(desName)};
  r.outputs = {userPath(gifName, ".GIF")};
  r.title = desName;
  ProcedureOutcome o;
  BatchOutcome result = performForBatch(r, o);
  if (o.detail == PICTURE_NO_DOT) std::printf("%s\n", NO_GRAPHVIZ_MESSAGE);
  return result;
}

void runGraphviz(const ProcedureRequest& r, ProcedureOutcome& o) {
  o.detail = convertDesFileToGif(r.inputs[0], r.title, r.outputs[0], r.number == 1);
  // A failed conversion leaves no result file, so the caller sees the
  // child end without one.
  if (o.detail != PICTURE_OK) o.code = RESULT_NO_RESULT;
}

} // namespace kav
