#include "support/testSupport.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "engine/startup.h"
#include "model/desfile.h"
#include "model/session.h"
#include "ops/product.h"
#include "ops/supcon.h"

namespace kav::test {

DES makeDES(std::int64_t size, const std::vector<Edge>& edges, const std::vector<std::int64_t>& marked) {
  DES des = allocStates(size);
  // Whole lists at once: inserting one by one copies a list per transition.
  std::vector<std::vector<Transition>> lists(static_cast<std::size_t>(size));
  for (const Edge& e : edges) lists[static_cast<std::size_t>(e.from)].push_back(makeTransition(e.event, e.to));
  for (std::int64_t s = 0; s < size; ++s) EXPECT_TRUE(assignTransitions(des[s], lists[static_cast<std::size_t>(s)]));
  for (std::int64_t m : marked) des[m].marked = 1;
  return des;
}

DES makeDES(std::int64_t size, std::initializer_list<Edge> edges, std::initializer_list<std::int64_t> marked) {
  return makeDES(size, std::vector<Edge>(edges), std::vector<std::int64_t>(marked));
}

DES cycle(std::uint16_t a, std::uint16_t b) { return makeDES(2, {{0, a, 1}, {1, b, 0}}, {0}); }

DES makeDAT(int states, int perState) {
  DES dat = allocStates(states);
  for (int s = 0; s < states; ++s)
    for (int k = 0; k < perState; ++k) insertTransition(dat[s], static_cast<std::uint16_t>(2 * k + 1), 0);
  return dat;
}

std::vector<Edge> edgesOf(const DES& des) {
  std::vector<Edge> edges;
  for (std::int64_t s = 0; s < des.size(); ++s)
    for (const Transition& t : transitionsOf(des[s])) edges.push_back({s, t.event, t.target});
  return edges;
}

std::vector<std::int64_t> markedOf(const DES& des) {
  std::vector<std::int64_t> marked;
  for (std::int64_t s = 0; s < des.size(); ++s)
    if (des[s].marked) marked.push_back(s);
  return marked;
}

std::string describe(const DES& des) {
  std::ostringstream out;
  out << des.size() << ":";
  for (const Edge& e : edgesOf(des)) out << " " << e.from << "-" << e.event << "->" << e.to;
  out << " | marked";
  for (std::int64_t m : markedOf(des)) out << " " << m;
  const char* separator = " | vocal ";
  for (std::int64_t s = 0; s < des.size(); ++s)
    if (des[s].vocal) {
      out << separator << s << ":" << des[s].vocal;
      separator = " ";
    }
  return out.str();
}

DES randomDES(std::mt19937& rng, std::int64_t size, int edges, int labels, int markEvery, bool deterministic) {
  DES des = allocStates(size);
  if (size == 0) return des;
  for (int k = 0; k < edges; ++k) {
    const auto from = static_cast<std::int64_t>(rng() % static_cast<std::uint64_t>(size));
    const auto event = static_cast<std::uint16_t>(rng() % static_cast<std::uint32_t>(labels));
    const auto to = static_cast<std::int64_t>(rng() % static_cast<std::uint64_t>(size));
    if (deterministic && hasEvent(des[from], event)) continue;
    insertTransition(des[from], event, to);
  }
  for (StateRecord& s : des.states) s.marked = rng() % static_cast<std::uint32_t>(markEvery) == 0;
  return des;
}

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "kav-test-XXXXXX").string();
  path = ::mkdtemp(pattern.data()) ? pattern + "/" : std::string();
}

TempDir::~TempDir() {
  if (path.empty()) return;
  std::error_code ignored;
  std::filesystem::remove_all(path, ignored);
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

DES loadFile(const std::string& path) {
  DES des;
  std::int64_t init = 0;
  EXPECT_EQ(loadDESFile(path, des, init), LOAD_OK) << path;
  return des;
}

std::string golden(const std::string& name) { return readFile(std::string(KAV_TEST_DATA) + "/" + name); }

void writeScript(const std::string& path, const std::string& body) {
  writeFile(path, "#!/bin/sh\n" + body + "\n");
  ::chmod(path.c_str(), 0755);
}

void writeFile(const std::string& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
}

bool exists(const std::string& path) {
  struct stat info;
  return ::stat(path.c_str(), &info) == 0;
}

ProgramDir::ProgramDir() {
  binary = dir.path + "kav";
  std::filesystem::copy_file(KAV_BINARY, binary);
  userDir = dir.path + "user/";
  ::mkdir(userDir.c_str(), 0755);
  writeFile(dir.path + "orva.ini", dir.path + "user\nCLOCK 0\n");
  savedUserDir = session.userDir;
  savedProgramPath = session.programPath;
  setUserDirectory(dir.path + "user");
  session.programPath = binary;
}

ProgramDir::~ProgramDir() {
  session.userDir = savedUserDir;
  session.programPath = savedProgramPath;
}

namespace {
// What a ChildLimits sets for the processes runBinary starts.
unsigned limitSeconds = 0;
unsigned long long limitFileBytes = 0;
} // namespace

ChildLimits::ChildLimits(unsigned seconds, unsigned long long fileBytes) {
  limitSeconds = seconds;
  limitFileBytes = fileBytes;
}

ChildLimits::~ChildLimits() {
  limitSeconds = 0;
  limitFileBytes = 0;
}

RunResult runBinary(const std::string& binary, const std::vector<std::string>& args, const std::string& cwd,
                     unsigned long long addressLimit, bool keepErrorApart) {
  TempDir capture;
  const std::string outPath = capture.path + "output", errPath = capture.path + "error";
  RunResult result;
  const pid_t pid = ::fork();
  if (pid == 0) {
    if (::chdir(cwd.c_str()) != 0) ::_exit(126);
    const int fd = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ::dup2(fd, 1);
    ::dup2(keepErrorApart ? ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600) : fd, 2);
    if (addressLimit) {
      rlimit limit{addressLimit, addressLimit};
      ::setrlimit(RLIMIT_AS, &limit);
    }
    if (limitFileBytes) {
      rlimit limit{limitFileBytes, limitFileBytes};
      ::setrlimit(RLIMIT_FSIZE, &limit);
      ::signal(SIGXFSZ, SIG_DFL); // as a shell starts it, whatever this process set
    }
    ::alarm(limitSeconds); // kept across exec: a process that hangs ends with SIGALRM
    std::vector<char*> argv{const_cast<char*>(binary.c_str())};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execv(binary.c_str(), argv.data());
    ::_exit(127);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  result.output = readFile(outPath);
  result.error = readFile(errPath);
  return result;
}

RunResult runBatchChild(const ProgramDir& program, int code, const std::string& body,
                        unsigned long long addressLimit) {
  writeFile(program.user("orva.prm"), "0\n1\n" + std::to_string(code) + "\n" + body);
  return runBinary(program.binary, {"-cmdline"}, program.dir.path, addressLimit);
}

std::string runProcedure(const ProgramDir& program, int code, const std::string& body,
                         unsigned long long addressLimit) {
  const RunResult r = runBatchChild(program, code, body, addressLimit);
  EXPECT_EQ(r.status, 0) << r.output;
  const std::string rst = program.user("orva.rst");
  const std::string result = exists(rst) ? readFile(rst) : "none";
  std::remove(rst.c_str());
  return result;
}

void ProgramDir::save(const std::string& file, const DES& des, std::int64_t init) const {
  ASSERT_EQ(saveDESFile(user(file), des, init, 2), SAVE_OK) << file;
}

void saveTwoMachines(const ProgramDir& program, const std::string& m1Name, const std::string& m2Name) {
  const DES m1 = makeDES(2, {{0, 1, 1}, {1, 2, 0}}, {0}), m2 = makeDES(2, {{0, 3, 1}, {1, 4, 0}}, {0});
  DES plant, super;
  std::vector<std::int64_t> pairOf;
  EXPECT_TRUE(syncDES(m1, m2, {1, 2, 3, 4}, false, plant, pairOf));
  EXPECT_TRUE(supconDES(plant, makeDES(2, {{0, 1, 0}, {0, 2, 1}, {0, 4, 0}, {1, 1, 1}, {1, 3, 0}, {1, 4, 1}}, {0}), super));
  program.save(m1Name + ".DES", m1);
  program.save(m2Name + ".DES", m2);
  program.save("PLANT.DES", plant);
  program.save("SUPER.DES", super);
}

std::string ProgramDir::describeFile(const std::string& file) const {
  DES des;
  std::int64_t init = 0;
  if (loadDESFile(user(file), des, init) != LOAD_OK) return "unreadable";
  return describe(des);
}

std::string ProgramDir::sessionLog() const { return readFile(user("MAKEIT.TXT")); }

std::vector<std::string> ProgramDir::files() const {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(userDir)) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

void ProgramDir::saveHuge(const std::string& file) const {
  save(file, allocStates(1));
  std::string bytes = readFile(user(file));
  const std::size_t sizeField = std::strlen(DES_HEADER_TEXT) + 1 + 7 + 4 + 4 + 4;
  const std::uint64_t claimed = 50'000'000;
  for (int k = 0; k < 8; ++k) bytes[sizeField + static_cast<std::size_t>(k)] = static_cast<char>(claimed >> (8 * k));
  writeFile(user(file), bytes);
}

void ProgramDir::saveRepeatedBlocks(const std::string& file, int blocks) const {
  save(file, makeDES(30, {}, {0}));
  const std::string bytes = readFile(user(file));
  // The transition section follows the header, size, init and the marker
  // list (0, -1): at 26 + 19 + 16 + 16 bytes; it holds only its terminator.
  const std::size_t section = std::strlen(DES_HEADER_TEXT) + 1 + 19 + 16 + 16;
  std::string blockBytes;
  for (int k = 0; k < blocks; ++k) {
    unsigned char block[26] = {}; // state 0, count 1, record (target, event, padding)
    block[8] = 1;
    block[10] = static_cast<unsigned char>(k / 1000);
    block[18] = static_cast<unsigned char>(k % 1000);
    block[19] = static_cast<unsigned char>((k % 1000) >> 8);
    blockBytes.append(reinterpret_cast<const char*>(block), sizeof block);
  }
  writeFile(user(file), bytes.substr(0, section) + blockBytes + bytes.substr(section));
}

EnvSetting::EnvSetting(const char* name, const std::string& value) : name(name) {
  if (const char* old = std::getenv(name)) {
    saved = old;
    hadValue = true;
  }
  ::setenv(name, value.c_str(), 1);
}

EnvSetting::~EnvSetting() {
  if (hadValue) ::setenv(name, saved.c_str(), 1);
  else ::unsetenv(name);
}

bool sanitizedBuild() {
#if defined(__SANITIZE_ADDRESS__)
  return true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
  return true;
#else
  return false;
#endif
#else
  return false;
#endif
}

} // namespace kav::test
