#include "engine/entry.h"

#include <sys/stat.h>

#include <csignal>
#include <cstdio>
#include <cstring>

#include "engine/batch.h"
#include "engine/startup.h"
#include "model/safefile.h"
#include "model/session.h"
#include "model/version.h"

namespace kav {

namespace {

const char* const USAGE =
    "Usage: kav                 start the interactive session\n"
    "       kav -autotest FILE  run the interactive session with keys read from FILE\n"
    "       kav -cmdline        run one procedure from orva.prm in the user directory,\n"
    "                           leaving its result code in orva.rst\n"
    "       kav FILE            type out a text file up to its first Ctrl-Z\n"
    "       kav COMMAND [OPTIONS] FILES...\n"
    "                           run one procedure on files named by path (kav help\n"
    "                           lists the commands)\n"
    "       kav --help | --version\n";

void ignoreInterrupt(int) { std::signal(SIGINT, ignoreInterrupt); }

int typeOut(const char* name) {
  std::FILE* in = openRegularStream(name);
  if (!in) {
    std::printf("Error reading %s\n", name);
    return 1;
  }
  for (int c; (c = std::fgetc(in)) != EOF;) {
    std::putchar(c);
    if (c == 26) break;
  }
  std::fclose(in);
  std::fflush(stdout);
  return 0;
}

} // namespace

int runEntry(int argc, char** argv, InteractiveSession interactive, CommandLine commands) {
  ignoreFileSizeSignal();
  const char* argv0 = argc > 0 ? argv[0] : "kav";
  if (argc >= 2) {
    const char* first = argv[1];
    if (std::strcmp(first, "--help") == 0 || std::strcmp(first, "-h") == 0) {
      std::fputs(USAGE, stdout);
      return 0;
    }
    if (std::strcmp(first, "--version") == 0) {
      std::printf("%s %s\n", PROGRAM_NAME, PROGRAM_VERSION);
      return 0;
    }
    if (std::strcmp(first, "-cmdline") == 0) {
      session.batchMode = true;
      initSession(argv0);
      return runBatch();
    }
    if (std::strcmp(first, "-autotest") == 0) {
      if (argc < 3) {
        std::printf("Missing script name after -autotest\n");
        return 1;
      }
      const char* script = argv[2];
      session.scriptFile = std::fopen(script, "rb");
      if (!session.scriptFile) {
        std::printf("Error reading %s\n", script);
        return 1;
      }
      session.autotest = true;
      session.clockingMode = true;
      session.bellOn = false;
      session.debugMode = false;
      initSession(argv0);
      return interactive();
    }
    // A command name is a command unless a file of that name is there to
    // be typed out, as it always was.
    struct stat info;
    if (commands && ::stat(first, &info) != 0) {
      const int status = commands(argc, argv);
      if (status >= 0) return status;
    }
    return typeOut(first);
  }
  std::signal(SIGINT, ignoreInterrupt);
  initSession(argv0);
  return interactive();
}

} // namespace kav
