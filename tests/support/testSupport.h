#pragma once

// Helpers shared by the tests: small DES written inline, temporary
// directories, and a program directory holding a copy of kav with its own
// orva.ini, in which the real binary runs as the batch child.

#include <cstdint>
#include <initializer_list>
#include <random>
#include <string>
#include <vector>

#include "model/des.h"

namespace kav::test {

struct Edge {
  std::int64_t from;
  std::uint16_t event;
  std::int64_t to;
};

// makeDES(3, {{0, 1, 1}, {1, 2, 2}}, {2}): states 0..2, marked 2.
DES makeDES(std::int64_t size, std::initializer_list<Edge> edges, std::initializer_list<std::int64_t> marked = {});
DES makeDES(std::int64_t size, const std::vector<Edge>& edges, const std::vector<std::int64_t>& marked);
// The two-state cycle 0 -a-> 1 -b-> 0, state 0 marked.
DES cycle(std::uint16_t a, std::uint16_t b);
// Control data of `states` states, each disabling the labels 1, 3, 5, ...
// (`perState` of them).
DES makeDAT(int states, int perState);
std::vector<Edge> edgesOf(const DES& des);
std::vector<std::int64_t> markedOf(const DES& des);
// "3: 0-1->1 1-2->2 | marked 2" for SCOPED_TRACE, followed by
// " | vocal 1:10 2:20" when some state has an output.
std::string describe(const DES& des);

// A random DES from raw mt19937 output (distributions differ between
// standard libraries): size states, about `edges` transitions over labels
// 0..labels-1, each state marked with probability 1/markEvery.
DES randomDES(std::mt19937& rng, std::int64_t size, int edges, int labels, int markEvery, bool deterministic);

// A fresh directory under the system's temporary folder, removed with
// everything in it when the object goes.
struct TempDir {
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  std::string path; // ends in '/'
};

std::string readFile(const std::string& path);
// The DES of a file, expecting it to load (an empty DES when it does not).
DES loadFile(const std::string& path);
// The expected text kept as tests/data/NAME.
std::string golden(const std::string& name);
// An executable shell script at path with this body.
void writeScript(const std::string& path, const std::string& body);
void writeFile(const std::string& path, const std::string& content);
bool exists(const std::string& path);

// A program directory with a copy of kav and an orva.ini naming its user
// directory "user/" beside it. session.userDir and session.programPath are
// pointed at them while the object lives, so library calls of the parent
// side (runBatchProcedure, runChild) use this copy.
struct ProgramDir {
  ProgramDir();
  ~ProgramDir();
  TempDir dir;
  std::string binary;  // the copy of kav
  std::string userDir; // ends in '/'
  std::string savedUserDir;
  std::string savedProgramPath;

  std::string user(const std::string& file) const { return userDir + file; }
  // A DES saved as the user file `file` (extension included).
  void save(const std::string& file, const DES& des, std::int64_t init = 0) const;
  DES load(const std::string& file) const { return loadFile(user(file)); }
  // describe() of a user file, or "unreadable".
  std::string describeFile(const std::string& file) const;
  // MAKEIT.TXT, "" while there is none.
  std::string sessionLog() const;
  // The names in the user directory, sorted.
  std::vector<std::string> files() const;
  // A one-state DES file whose size field claims 50 million states:
  // loading it needs 800 MB.
  void saveHuge(const std::string& file) const;
  // A DES file of 30 states, state 0 marked, whose transition section
  // lists state 0 `blocks` times, each block with one transition of its
  // own (labels 0..999 to targets 0..29 in turn; blocks <= 30000).
  void saveRepeatedBlocks(const std::string& file, int blocks) const;
};

// Two machines (start 1 / 3 controllable, finish 2 / 4 uncontrollable) and
// a buffer of one slot between them: machine 1 may not start while the
// buffer is full, machine 2 not while it is empty. Saved as the user files
// m1, m2, PLANT (their product) and SUPER (Supcon of it and the buffer).
void saveTwoMachines(const ProgramDir& program, const std::string& m1 = "M1", const std::string& m2 = "M2");

struct RunResult {
  int status = -1;    // exit status, or 128 + signal
  std::string output; // standard output, and error unless kept apart
  std::string error;  // standard error when kept apart
};

// Runs the binary with args in directory cwd; with addressLimit > 0 the
// process gets that RLIMIT_AS.
RunResult runBinary(const std::string& binary, const std::vector<std::string>& args, const std::string& cwd,
                     unsigned long long addressLimit = 0, bool keepErrorApart = false);

// While one lives, every process runBinary starts is ended by SIGALRM
// after `seconds` (0: never) and may write files of at most `fileBytes`
// (0: any size).
struct ChildLimits {
  explicit ChildLimits(unsigned seconds, unsigned long long fileBytes = 0);
  ~ChildLimits();
  ChildLimits(const ChildLimits&) = delete;
  ChildLimits& operator=(const ChildLimits&) = delete;
};

// Writes orva.prm (debug 0, selector 1, code, body) and runs "kav -cmdline".
RunResult runBatchChild(const ProgramDir& program, int code, const std::string& body,
                        unsigned long long addressLimit = 0);
// runBatchChild, expecting exit status 0; answers orva.rst and removes it,
// or "none" when the child left none.
std::string runProcedure(const ProgramDir& program, int code, const std::string& body,
                         unsigned long long addressLimit = 0);

// True in builds with AddressSanitizer, whose allocator never reaches the
// new-handler.
bool sanitizedBuild();

// Sets an environment variable for the processes a test starts (PATH for
// the outside programs they look for, HOME, ...) and puts the old value
// back when it goes.
struct EnvSetting {
  EnvSetting(const char* name, const std::string& value);
  ~EnvSetting();
  EnvSetting(const EnvSetting&) = delete;
  EnvSetting& operator=(const EnvSetting&) = delete;
  const char* name;
  std::string saved;
  bool hadValue = false;
};

} // namespace kav::test
