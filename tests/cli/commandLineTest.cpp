// `kav COMMAND` as a process: the same files and figures as the batch
// child for every command, the exit status and message of each failure,
// and the JSON read back.

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <random>

#include "cli/cliSupport.h"
#include "engine/protocol.h"
#include "model/desfile.h"
#include "model/userfiles.h"
#include "output/listing.h"
#include "support/testSupport.h"

namespace kav {
namespace {

using namespace test;

// The labels of des but those of `except`, each followed by a newline.
std::string labelsOf(const DES& des, const DES& except = DES{}) {
  EventList labels, excluded;
  collectEvents(except, excluded);
  collectEventsExcept(des, excluded, labels);
  std::string text;
  for (std::uint16_t e : labels) text += std::to_string(e) + "\n";
  return text;
}

// Every file a failed or interrupted command could have left: none may be
// there but the inputs.
std::vector<std::string> leftovers(const ProgramDir& program, const std::vector<std::string>& inputs) {
  std::vector<std::string> extra;
  for (const std::string& f : program.files())
    if (std::find(inputs.begin(), inputs.end(), f) == inputs.end()) extra.push_back(f);
  return extra;
}

using Files = std::vector<std::pair<std::string, std::string>>;

struct Differential {
  Differential(std::string c, int k, std::string b, Files s = {{"C.DES", "K.DES"}}, const char* v = nullptr)
      : command(std::move(c)), code(k), body(std::move(b)), same(std::move(s)), verdict(v) {}
  std::string command; // the command line; C is the output
  int code;            // the batch procedure
  std::string body;    // its lines after the code; K is the output
  Files same;          // (command line file, batch file) to compare
  const char* verdict; // the JSON verdict compared with the answer in orva.rst, or null
};

// One run of every command and of `kav -cmdline` on seeded random inputs:
// the files they write are equal byte for byte, and the figures agree.
TEST(CommandLine, WritesTheFilesOfTheBatchChildForEveryCommand) {
  ProgramDir program;
  for (const std::string& dir : {program.dir.path, program.userDir}) {
    std::filesystem::create_directories(dir + "Graphviz");
    test::writeScript(dir + "Graphviz/dot", "while [ \"$1\" != -o ]; do shift; done\ngrep -v '^graph' \"$3\" > \"$2\"");
  }
  for (unsigned seed : {1u, 2u, 3u}) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 rng(seed);
    const DES a = test::randomDES(rng, 9, 22, 6, 3, true), b = test::randomDES(rng, 7, 18, 6, 2, true);
    program.save("A.DES", a);
    program.save("B.DES", b);
    // Two components on disjoint events, their product, a supervisor and
    // its control data; A renumbered; A with vocal outputs.
    program.save("M1.DES", makeDES(2, {{0, 1, 1}, {1, 0, 0}}, {0}));
    program.save("M2.DES", makeDES(3, {{0, 3, 1}, {1, 2, 2}, {2, 4, 0}}, {0}));
    test::runProcedure(program, PROC_SYNC, "P\n2\nM1\nM2\n");
    program.save("S.DES", test::randomDES(rng, 4, 16, 5, 2, true));
    test::runProcedure(program, PROC_SUPCON, "P\nS\nSUP\n");
    test::runProcedure(program, PROC_CONDAT, "P\nSUP\nDAT\n");
    test::runProcedure(program, PROC_BFS_RECODE, "A\nR\n");
    std::string quadruples, intoZero;
    for (const test::Edge& e : test::edgesOf(a))
      if (e.event == 1)
        (e.to == 0 ? intoZero : quadruples) += std::to_string(e.from) + " 1 " + std::to_string(e.to) + " 20\n";
    test::runProcedure(program, PROC_VOCALIZE, "A\nV\n" + quadruples);
    const std::string labelsA = labelsOf(a);
    const std::string first = labelsA.substr(0, labelsA.find('\n'));

    const Differential table[] = {
        {"create -o C --states 4 --marked 0,2 0:1:1 1:2:2 2:3:0 3:e:1", PROC_CREATE,
         "K\n4\n0\n2\n-1\n0 1 1\n1 2 2\n2 3 0\n3 1000 1\n"},
        {"selfloop A -o C --events 1,6,e", PROC_SELFLOOP, "A\nK\n1\n6\n1000\n"}, {"trim A -o C", PROC_TRIM, "A\nK\n"},
        {"recode A -o C", PROC_BFS_RECODE, "A\nK\n"}, {"minstate A -o C", PROC_MINSTATE, "A\nK\n"},
        {"sync A B M2 -o C", PROC_SYNC, "K\n3\nA\nB\nM2\n"}, {"meet A B -o C", PROC_MEET, "K\n2\nA\nB\n"},
        {"supcon A B -o C", PROC_SUPCON, "A\nB\nK\n"},
        {"mutex A B -o C --pairs 1:1,2:0", PROC_MUTEX, "A\nB\nK\n1 1\n2 0\n"},
        {"condat P SUP -o C", PROC_CONDAT, "P\nSUP\nK\n", {{"C.DAT", "K.DAT"}}},
        {"project A -o C --erase 0,3", PROC_PROJECT, "A\nK\n0\n3\n"},
        {"project A -o C --image " + first, PROC_PROJECT, "A\nK\n" + labelsA.substr(first.size() + 1)},
        {"project A -o C --image-des B", PROC_PROJECT, "A\nK\n" + labelsOf(a, b)},
        {"complement A -o C --events 7", PROC_COMPLEMENT, "A\nK\n7\n"},
        {"relabel A -o C --pairs 1:3,2:e", PROC_RELABEL, "A\nK\n1 3\n2 1000\n"},
        {"allevents A -o C", PROC_ALLEVENTS, "A\nK\n1\n"}, {"allevents DAT.DAT -o C", PROC_ALLEVENTS, "DAT\nK\n2\n"},
        {"isomorph A R --map", PROC_ISOMORPH, "A\nR\n", {}, "isomorphic"},
        {"nonconflict A B", PROC_NONCONFLICT, "A\nB\n", {}, "nonconflicting"},
        {"force M2 -o C --forcible 3 --preemptable 2 --timeout 999", PROC_FORCE, "M2\nK\n999\n3\n-1\n2\n"},
        {"vocalize A -o C --vocal *:1:20", PROC_VOCALIZE, "A\nK\n" + quadruples + intoZero},
        {"outconsis V -o C", PROC_OUTCONSIS, "V\nK\n"}, {"hiconsis V -o C --multiple", PROC_HICONSIS, "V\nK\n1\n"},
        {"higen V -o C", PROC_HIGEN, "V\nK\n"},
        {"supreduce P SUP DAT -o C", PROC_SUPREDUCE, "P\nSUP\nDAT\nK\n1\n1\n"},
        {"localize P SUP M1 M2 -o L1 -o L2", PROC_LOCALIZE, "P\nSUP\n2\nM1\nM2\n2\nK1\nK2\n",
         {{"L1.DES", "K1.DES"}, {"L2.DES", "K2.DES"}}},
        {"supqc A -o C --erase 0", PROC_SUPQC, "1\nA\nK\n0\n"},
        {"supsqc A -o C --erase 0,1", PROC_SUPQC, "2\nA\nK\n0\n1\n"},
        {"observable A B --erase 2", PROC_OBSERVABLE, "1\nA\nB\n2\n", {}, "observable"},
        {"sobservable A B --erase 2", PROC_OBSERVABLE, "2\nA\nB\n2\n", {}, "observable"},
        {"natobs A -o C --image-out I --seed 1", PROC_NATOBS, "A\nK\nKI\n1\n",
         {{"C.DES", "K.DES"}, {"I.DES", "KI.DES"}}},
        {"uncertmod A -o C --erase 0", PROC_UNCERTMOD, "A\nK\n0\n"},
        {"supnorm A B -o C --erase 0", PROC_SUPNORM, "A\nB\nK\n0\n"},
        {"supscop A B -o C --erase 0", PROC_SUPSCOP, "A\nB\nK\n0\n"},
        {"supconrobs A B -o C --erase 0", PROC_SUPCONROBS, "A\nB\nK\n0\n"},
        {"suprobs A B -o C --erase 0", PROC_SUPROBS, "A\nB\nK\n1\n0\n"},
        {"stats DAT.DAT", PROC_STATISTICS, "DAT\n-1\n", {}},
        {"picture A -o C", PROC_GRAPHVIZ, "A\nK\n", {{"C.GIF", "K.GIF"}}},
    };
    for (const Differential& row : table) {
      SCOPED_TRACE(row.command);
      const CliRun cli = test::runKav(program.binary, test::words(row.command + " --json"), program.userDir);
      EXPECT_EQ(cli.err, "");
      EXPECT_LE(cli.status, 1);
      const std::string rst = test::runProcedure(program, row.code, row.body);
      ASSERT_EQ(rst.substr(0, 2), "0\n");
      const Json json = test::parseJson(cli.out);
      ASSERT_EQ(json.kind, Json::OBJECT) << cli.out;
      for (std::size_t k = 0; k < row.same.size(); ++k) {
        const auto& [mine, theirs] = row.same[k];
        EXPECT_EQ(test::readFile(program.user(mine)), test::readFile(program.user(theirs))) << mine;
        if (mine.ends_with(".GIF")) {
          EXPECT_EQ(json["picture"].text, mine);
          continue;
        }
        const DES des = program.load(theirs);
        const Json& figures = row.same.size() > 1 ? json["outputs"].items.at(k) : json;
        EXPECT_EQ(figures["file"].text, mine);
        EXPECT_EQ(figures["states"].integer, des.size());
        EXPECT_EQ(figures["transitions"].integer, countTransitions(des));
      }
      const std::vector<std::string> answer = test::words(rst);
      if (row.verdict) {
        EXPECT_EQ(json[row.verdict].flag, answer[1] == "1");
        EXPECT_EQ(cli.status, answer[1] == "1" ? 0 : 1);
      }
      if (row.code == PROC_ISOMORPH && json["isomorphic"].flag) {
        ASSERT_EQ(json["map"].items.size() + 3, answer.size());
        for (std::size_t s = 0; s + 3 < answer.size(); ++s)
          EXPECT_EQ(json["map"].items[s].integer, std::stoll(answer[s + 3]));
      }
      if (row.code == PROC_SUPREDUCE) {
        EXPECT_EQ(json["lower_bound"].integer, std::stoll(answer[1]));
      }
      if (row.code == PROC_STATISTICS) {
        EXPECT_EQ(json["states"].integer, std::stoll(answer[1]));
        EXPECT_EQ(json["transitions"].integer, std::stoll(answer[2]));
        EXPECT_EQ(json["controllable"].flag, answer[4] == "1");
      }
    }
  }
}

struct Failure {
  std::string command;
  int status;
  std::string message; // standard error
};

// Each failure class answers its status with one line naming the command
// and the file, and writes nothing: no output, no temporary file.
TEST(CommandLine, AnswersEachFailureWithItsStatusAndOneLineAndWritesNothing) {
  ProgramDir program;
  program.save("A.DES", makeDES(2, {{0, 1, 1}, {1, 2, 0}}, {0}));
  test::writeFile(program.user("BAD.DES"), "KAV DES file. Version 1.0\x1a"
                                           "truncated");
  DES fan = allocStates(256);
  for (int t = 0; t < 256; ++t) insertTransition(fan[0], 1, t);
  program.save("FAN.DES", fan);
  DES vocal = makeDES(2, {{0, 1, 1}}, {0});
  vocal[0].vocal = 10;
  program.save("VOC.DES", vocal);
  program.saveHuge("HUGE.DES");
  ::mkdir(program.user("DIR.DES").c_str(), 0755);
  const std::vector<std::string> inputs = program.files();

  const std::vector<Failure> table = {
      {"supcon A A", 2, "kav supcon: needs an output: -o PATH\n"},
      {"supcon A -o C", 2, "kav supcon: needs 2 files\n"},
      {"supcon A A -o C --bogus", 2, "kav supcon: unknown option --bogus\n"},
      {"project A -o C --erase 10,x", 2, "kav project: --erase 10,x: not a list of event labels\n"},
      {"project A -o C --erase 1 --image 2", 2, "kav project: give one of --erase, --image and --image-des\n"},
      {"force A -o C --forcible 1 --timeout 2", 2, "kav force: the timeout event must be controllable (odd)\n"},
      {"vocalize A -o C --vocal 1:1:20", 2, "kav vocalize: 1:1:20: no such transition\n"},
      {"frobnicate A", 1, "Error reading frobnicate\n"},
      {"supcon NOPE A -o C", 7, "kav supcon: NOPE.DES: no such file\n"},
      {"supcon BAD A -o C", 7, "kav supcon: BAD.DES: not a DES file\n"},
      {"supcon DIR A -o C", 7, "kav supcon: DIR.DES: not a regular file\n"},
      {"supcon A A -o DIR", 8, "kav supcon: DIR.DES: is a directory\n"},
      {"supcon A A -o NOWHERE/C", 8, "kav supcon: NOWHERE/C.DES: cannot be written: No such file or directory\n"},
      {"sync FAN FAN -o C", 9, "kav sync: a state would carry more than 65,535 transitions\n"},
      {"outconsis VOC -o C", 4, "kav outconsis: VOC.DES: initial state 0 must be silent (output 0)\n"},
      {"picture A", 4, "kav picture: Graphviz's dot was not found\n"},
      {"replay NOLOG", 2, "kav replay: NOLOG: cannot be read\n"},
      {"help frobnicate", 2, "kav help: frobnicate: no such command\n"},
  };
  const test::EnvSetting noDot("PATH", program.dir.path);
  for (const Failure& row : table) {
    SCOPED_TRACE(row.command);
    const CliRun r = test::runKav(program.binary, test::words(row.command), program.userDir);
    EXPECT_EQ(r.status, row.status);
    EXPECT_EQ(row.status == 1 ? r.out : r.err, row.message);
    EXPECT_EQ(leftovers(program, inputs), std::vector<std::string>{});
  }
  EXPECT_TRUE(test::runKav(program.binary, {"-h"}, program.userDir).out.starts_with("Usage: kav "));
  const CliRun noScript = test::runKav(program.binary, {"-autotest"}, program.userDir);
  EXPECT_EQ(noScript.status, 1);
  EXPECT_EQ(noScript.out, "Missing script name after -autotest\n");
  // A file named like a command is still typed out.
  test::writeFile(program.dir.path + "stats", "typed\n");
  EXPECT_EQ(test::runKav(program.binary, {"stats"}, program.dir.path).out, "typed\n");
  if (!test::sanitizedBuild()) {
    const CliRun r = test::runKav(program.binary, {"trim", "HUGE", "-o", "C"}, program.userDir, 256ull << 20);
    EXPECT_EQ(r.status, 3);
    EXPECT_EQ(r.err, "kav trim: out of memory\n");
    EXPECT_EQ(leftovers(program, inputs), std::vector<std::string>{});
  }
}

// The JSON of the commands with lists and several outputs parses back, and
// the plain text carries the same figures.
TEST(CommandLine, PrintsFiguresAsPlainTextOrOneJsonObject) {
  ProgramDir program;
  program.save("M1.DES", makeDES(2, {{0, 11, 1}, {1, 10, 0}}, {0}));
  program.save("M2.DES", makeDES(2, {{0, 21, 1}, {1, 20, 0}}, {0}));
  program.save("SPEC.DES", makeDES(2, {{0, 10, 1}, {0, 11, 0}, {0, 20, 0}, {1, 11, 1}, {1, 20, 1}, {1, 21, 0}}, {0}));
  const auto run = [&](const std::string& command) {
    const CliRun r = test::runKav(program.binary, test::words(command), program.userDir);
    EXPECT_LE(r.status, 1) << command << ": " << r.err;
    return r;
  };
  EXPECT_EQ(run("sync M1 M2 -o P").out, "P.DES: 4 states, 8 transitions, 1 marked state\nblocked events: none\n");
  run("supcon P SPEC -o SUP");
  EXPECT_EQ(run("nonconflict P SPEC --quiet").out, "");
  const Json sync = test::parseJson(run("sync M1 SPEC -o Q --json").out);
  EXPECT_EQ(sync["command"].text, "sync");
  EXPECT_EQ(sync["marked_states"].integer, 1);
  EXPECT_TRUE(sync["deterministic"].flag);
  EXPECT_EQ(sync["blocked_events"].kind, Json::ARRAY);

  const Json loc = test::parseJson(run("localize P SUP M1 M2 -o L1 -o L2 --check --json").out);
  ASSERT_EQ(loc["outputs"].items.size(), 2u);
  EXPECT_EQ(loc["outputs"].items[1]["file"].text, "L2.DES");
  EXPECT_TRUE(loc["control_equivalent"].flag);

  const CliRun obs = run("observable P SUP --erase 10 --json");
  EXPECT_EQ(obs.status, 1);
  const Json failures = test::parseJson(obs.out)["failures"];
  ASSERT_FALSE(failures.items.empty());
  EXPECT_EQ(failures.items[0].items.size(), 2u);

  const Json dat = test::parseJson(run("condat P SUP -o DAT --json").out);
  EXPECT_EQ(dat["file"].text, "DAT.DAT");
  EXPECT_TRUE(dat["controllable"].flag);
  EXPECT_EQ(test::parseJson(run("stats DAT.DAT --json").out)["states"].integer, dat["states"].integer);

  // show prints what FE files; convert goes to ADS text and back unchanged.
  const DES sup = program.load("SUP.DES");
  EXPECT_EQ(run("show SUP").out, captureText([&](std::FILE* out) { writeDesListing(out, sup, "SUP", false); }));
  EXPECT_NE(run("show DAT.DAT").out.find("CONTROLLABLE"), std::string::npos);
  run("convert SUP -o TEXT.ADS");
  EXPECT_EQ(run("convert TEXT.ADS -o BACK --json").status, 0);
  EXPECT_EQ(test::readFile(program.user("BACK.DES")), test::readFile(program.user("SUP.DES")));

  // The exchange formats: a plant written as FSM text and read back through
  // one event map is the same DES; a refusal names the file and line and
  // writes nothing.
  EXPECT_EQ(run("convert SUP SUP.fsm").status, 0);
  EXPECT_EQ(run("convert SUP.fsm FROMFSM --events LABELS.MAP --states S.MAP").status, 0);
  EXPECT_EQ(test::readFile(program.user("FROMFSM.DES")), test::readFile(program.user("SUP.DES")));
  EXPECT_EQ(run("convert FROMFSM --to gen -o SUP.gen --events LABELS.MAP --states S.MAP").status, 0);
  EXPECT_NE(test::readFile(program.user("SUP.gen")).find("<TransRel>"), std::string::npos);
  test::writeFile(program.user("BAD.fsm"), "2\n\nA 0 1\nx C c o\n");
  const auto runFailing = [&](const std::string& command) {
    return test::runKav(program.binary, test::words(command), program.userDir);
  };
  const CliRun bad = runFailing("convert BAD.fsm -o BAD.DES");
  EXPECT_EQ(bad.status, 7);
  EXPECT_EQ(bad.err.rfind("kav convert: ", 0), 0u) << bad.err;
  EXPECT_NE(bad.err.find("BAD.fsm"), std::string::npos) << bad.err;
  EXPECT_FALSE(fileExists(program.user("BAD.DES")));
  EXPECT_EQ(runFailing("convert SUP -o X.txt").status, 2);
}

// The completion installed for bash asks kav for its commands and options.
TEST(BashCompletion, CompletesCommandsAndTheirOptions) {
  ProgramDir program;
  const std::string script = "source " KAV_SOURCE_DIR "/doc/kav.bash-completion\n"
                             "COMP_WORDS=(kav supc); COMP_CWORD=1; _kav; echo \"${COMPREPLY[*]}\"\n"
                             "COMP_WORDS=(kav project --im); COMP_CWORD=2; _kav; echo \"${COMPREPLY[*]}\"\n";
  const test::EnvSetting path("PATH", program.dir.path + ":/usr/bin:/bin");
  const CliRun r = test::runKav("/bin/bash", {"-c", script}, program.userDir);
  EXPECT_EQ(r.out, "supcon supconrobs\n--image --image-des\n") << r.err;
}

} // namespace
} // namespace kav
