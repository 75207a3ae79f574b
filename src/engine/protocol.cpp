#include "engine/protocol.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "model/desfile.h"
#include "model/safefile.h"
#include "model/session.h"
#include "model/userfiles.h"

namespace kav {

namespace {

// Opens orva.rst for a reader: RESULT_OK with the stream, or the code.
int openResult(std::FILE*& stream) {
  const std::string path = protocolPath(RESULT_FILE);
  OpenStatus status;
  stream = openRegularStream(path, &status);
  return status == OPEN_OK ? RESULT_OK : status == OPEN_MISSING ? RESULT_NO_RESULT : RESULT_UNOPENABLE_RESULT;
}

int closeResult(std::FILE* stream, int code) {
  std::fclose(stream);
  std::remove(protocolPath(RESULT_FILE).c_str());
  return code;
}

} // namespace

std::string protocolPath(const char* fileName) { return session.userDir + fileName; }

bool writeResultFile(int code, std::string_view extra) {
  // Atomic like every save: a reader never sees half a result, and a
  // symbolic link named orva.rst is replaced, not followed.
  return writeFileAtomically(
      protocolPath(RESULT_FILE),
      [&](std::FILE* stream) {
        bool ok = std::fprintf(stream, "%d\n", code) > 0;
        if (!extra.empty()) ok = std::fwrite(extra.data(), 1, extra.size(), stream) == extra.size() && ok;
        return ok;
      },
      false);
}

int readResult() {
  std::FILE* stream = nullptr;
  if (int rc = openResult(stream)) return rc;
  int code;
  if (std::fscanf(stream, "%d", &code) != 1) return closeResult(stream, RESULT_NO_NUMBER);
  return closeResult(stream, code);
}

int readResultIntegers(std::vector<long>& values) {
  std::FILE* stream = nullptr;
  if (int rc = openResult(stream)) return rc;
  int code;
  if (std::fscanf(stream, "%d", &code) != 1) return closeResult(stream, RESULT_NO_NUMBER);
  values.clear();
  long v;
  while (std::fscanf(stream, "%ld", &v) == 1) values.push_back(v);
  return closeResult(stream, code);
}

int readObservabilityResult(long& verdict, DES& report) {
  std::FILE* stream = nullptr;
  if (int rc = openResult(stream)) return rc;
  int code;
  if (std::fscanf(stream, "%d", &code) != 1) return closeResult(stream, RESULT_NO_NUMBER);
  if (code != RESULT_OK) return closeResult(stream, code);
  long value;
  char name[256];
  // The verdict, then the name on a line of its own.
  if (std::fscanf(stream, "%ld %255[^\r\n]", &value, name) != 2) return closeResult(stream, RESULT_NO_NUMBER);
  closeResult(stream, code);
  verdict = value;
  std::int64_t init = 0;
  const LoadStatus loaded = loadDES(name, init, report);
  // The report is a scratch file: gone once read, even when unreadable.
  if (loaded != LOAD_MISSING) std::remove(userPath(name, ".DES").c_str());
  return loaded == LOAD_OK ? RESULT_OK : RESULT_NO_REPORT;
}

} // namespace kav
