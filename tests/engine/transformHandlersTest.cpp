// Selfloop, Mutex, Complement, Project, Relabel, Allevents, Isomorph and
// Nonconflict as batch processes.

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/params.h"
#include "engine/protocol.h"
#include "model/desfile.h"
#include "support/testSupport.h"

namespace kav {
namespace {

using test::makeDES;
using test::readFile;

class TransformProcedures : public ::testing::Test {
protected:
  test::ProgramDir program;

  void save(const std::string& name, const DES& des, std::int64_t init = 0, const char* extension = ".DES") {
    ASSERT_EQ(saveDESFile(program.user(name + extension), des, init, 2), SAVE_OK);
  }
  std::string load(const std::string& file) {
    DES des;
    std::int64_t init = 0;
    if (loadDESFile(program.user(file), des, init) != LOAD_OK) return "unreadable";
    return test::describe(des);
  }
  // orva.prm with this body; answers orva.rst ("none" when missing).
  std::string run(int code, const std::string& body, int expectedStatus = 0) {
    test::writeFile(program.user("orva.prm"), "0\n1\n" + std::to_string(code) + "\n" + body);
    last = test::runBinary(program.binary, {"-cmdline"}, program.dir.path);
    EXPECT_EQ(last.status, expectedStatus) << last.output;
    return test::exists(program.user("orva.rst")) ? readFile(program.user("orva.rst")) : "none";
  }
  test::RunResult last;
};

TEST_F(TransformProcedures, SelfloopAddsTheListedLabelsWhereAbsent) {
  save("A", makeDES(2, {{0, 1, 1}}, {1}));
  EXPECT_EQ(run(PROC_SELFLOOP, "A\nB\n1\n2\n2\n"), "0\n");
  EXPECT_EQ(load("B.DES"), "2: 0-1->1 0-2->0 1-1->1 1-2->1 | marked 1");
  // Without labels DES2 is a copy.
  EXPECT_EQ(run(PROC_SELFLOOP, "A\nC\n"), "0\n");
  EXPECT_EQ(load("C.DES"), load("A.DES"));
  EXPECT_EQ(run(PROC_SELFLOOP, "A\nC\n1001\n"), "2\n");
}

TEST_F(TransformProcedures, MutexCutsTheListedPairs) {
  save("M1", makeDES(3, {{0, 1, 1}, {1, 2, 2}}, {2}));
  save("M2", makeDES(2, {{0, 5, 1}}, {1}));
  // (2, 0) is cut, and (1, 0) with it; pairs beyond the operands and an
  // incomplete last pair are ignored.
  EXPECT_EQ(run(PROC_MUTEX, "M1\nM2\nX\n2 0\n9 9\n1\n"), "0\n");
  EXPECT_EQ(load("X.DES"), "4: 0-5->1 1-1->2 2-2->3 | marked 3");
  EXPECT_EQ(run(PROC_MUTEX, "M1\nM2\nY\n0 0\n"), "0\n");
  EXPECT_EQ(load("Y.DES"), "0: | marked");
  EXPECT_EQ(run(PROC_MUTEX, "M1\nM2\nY\n-2 0\n"), "2\n");
  EXPECT_EQ(run(PROC_MUTEX, "M1\nM2\n"), "2\n");
}

TEST_F(TransformProcedures, ComplementOfAMissingDESLoopsOnTheList) {
  EXPECT_EQ(run(PROC_COMPLEMENT, "NONE\nC\n1\n2\n"), "0\n");
  EXPECT_EQ(load("C.DES"), "1: 0-1->0 0-2->0 | marked 0");
  // The dump state is reached; an unreachable state goes.
  save("A", makeDES(3, {{0, 1, 1}, {2, 1, 0}}, {1}));
  EXPECT_EQ(run(PROC_COMPLEMENT, "A\nC\n"), "0\n");
  EXPECT_EQ(load("C.DES"), "3: 0-1->1 1-1->2 2-1->2 | marked 0 2");
}

TEST_F(TransformProcedures, ProjectErasesTheNullList) {
  save("A", makeDES(4, {{0, 2, 1}, {1, 1, 2}, {2, 2, 3}, {3, 1, 0}}, {0}));
  EXPECT_EQ(run(PROC_PROJECT, "A\nP\n2\n"), "0\n");
  EXPECT_EQ(load("P.DES"), "2: 0-1->1 1-1->0 | marked 0");
  EXPECT_EQ(run(PROC_PROJECT, "A\nP\n4\n"), "0\n");
  EXPECT_EQ(load("P.DES"), load("A.DES"));
  EXPECT_EQ(run(PROC_PROJECT, "A\n"), "2\n");
}

TEST_F(TransformProcedures, RelabelProjectsOnlyWhenLabelsCollide) {
  save("A", makeDES(3, {{0, 1, 1}, {0, 3, 2}, {1, 5, 1}, {2, 7, 2}}, {}));
  EXPECT_EQ(run(PROC_RELABEL, "A\nR\n5 9\n"), "0\n");
  EXPECT_EQ(load("R.DES"), "3: 0-1->1 0-3->2 1-9->1 2-7->2 | marked");
  EXPECT_EQ(run(PROC_RELABEL, "A\nR\n1 3\n"), "0\n");
  EXPECT_EQ(load("R.DES"), "4: 0-3->1 1-5->2 1-7->3 2-5->2 3-7->3 | marked");
  EXPECT_EQ(run(PROC_RELABEL, "A\nR\n1 1001\n"), "2\n");
}

TEST_F(TransformProcedures, RelabelWithoutFreshLabelsEndsWithStatusOneAndNoResult) {
  // Every label below 1023 is in use at 0; relabelling 4 as 5 makes
  // duplicates at 0 and at 1. The first takes the freed label 4, the
  // second finds none.
  DES d = allocStates(2);
  std::vector<Transition> list;
  for (std::uint16_t e = 0; e < 1023; ++e) {
    Transition t;
    t.event = e;
    t.target = e == 5 ? 1 : 0;
    list.push_back(t);
  }
  ASSERT_TRUE(assignTransitions(d[0], list));
  list.resize(2);
  list[0].event = 4;
  list[0].target = 0;
  list[1].event = 5;
  list[1].target = 1;
  ASSERT_TRUE(assignTransitions(d[1], list));
  save("FULL", d);
  EXPECT_EQ(run(PROC_RELABEL, "FULL\nR\n4 5\n", 1), "none");
  EXPECT_NE(last.output.find("Excessed maximum - fix semi-deterministism has fail\n"), std::string::npos);
  EXPECT_FALSE(test::exists(program.user("R.DES")));
  // The interactive side sees a failed child.
  ParameterLines lines;
  addName(lines, "FULL");
  addName(lines, "R");
  addPair(lines, 4, 5);
  EXPECT_EQ(runBatchProcedure(PROC_RELABEL, lines), RESULT_CHILD_FAILED);
}

TEST_F(TransformProcedures, AlleventsReadsADesADatOrAList) {
  save("A", makeDES(2, {{0, 1, 1}, {1, 4, 0}}, {}));
  save("D", makeDES(3, {{1, 2, 0}, {2, 6, 0}, {2, 2, 0}}, {}), -1, ".DAT");
  EXPECT_EQ(run(PROC_ALLEVENTS, "A\nE\n1\n"), "0\n");
  EXPECT_EQ(load("E.DES"), "1: 0-1->0 0-4->0 | marked 0");
  EXPECT_EQ(run(PROC_ALLEVENTS, "D\nE\n2\n"), "0\n");
  EXPECT_EQ(load("E.DES"), "1: 0-2->0 0-6->0 | marked 0");
  // In mode 3 the first line is not a name and may hold anything.
  EXPECT_EQ(run(PROC_ALLEVENTS, "not/a name\nE\n3\n7\n3\n7\n"), "0\n");
  EXPECT_EQ(load("E.DES"), "1: 0-3->0 0-7->0 | marked 0");
  EXPECT_EQ(run(PROC_ALLEVENTS, "\nE\n3\n"), "0\n");
  EXPECT_EQ(load("E.DES"), "1: | marked 0");
  EXPECT_EQ(run(PROC_ALLEVENTS, "not/a name\nE\n1\n"), "2\n");
  EXPECT_EQ(run(PROC_ALLEVENTS, "A\nE\n4\n"), "2\n");
}

TEST_F(TransformProcedures, IsomorphWritesAnswerIdentityAndTheStateMap) {
  save("A", makeDES(3, {{0, 1, 1}, {0, 2, 2}, {1, 3, 0}}, {1}));
  save("B", makeDES(3, {{0, 1, 2}, {0, 2, 1}, {2, 3, 0}}, {2}));
  save("C", makeDES(3, {{0, 1, 2}, {0, 2, 1}, {2, 3, 0}}, {1}));
  save("D", makeDES(2, {{0, 1, 1}}, {1}));
  EXPECT_EQ(run(PROC_ISOMORPH, "A\nB\n"), "0\n1\n0\n0\n 2\n 1\n ");
  EXPECT_EQ(run(PROC_ISOMORPH, "A\nA\n"), "0\n1\n1\n");
  EXPECT_EQ(run(PROC_ISOMORPH, "A\nC\n"), "0\n0\n0\n-1\n -1\n -1\n ");
  EXPECT_EQ(run(PROC_ISOMORPH, "A\nD\n"), "0\n0\n0\n");
  EXPECT_EQ(run(PROC_ISOMORPH, "A\nNONE\n"), "0\n0\n0\n");
  EXPECT_EQ(run(PROC_ISOMORPH, "NONE\nNOTHING\n"), "0\n1\n1\n");
  EXPECT_EQ(run(PROC_ISOMORPH, "A\n"), "2\n");
}

TEST_F(TransformProcedures, NonconflictWritesTheAnswerAndAnEmptyLine) {
  save("A", makeDES(3, {{0, 1, 1}, {1, 2, 2}}, {0, 2}));
  save("B", makeDES(3, {{0, 1, 1}, {1, 3, 2}}, {0, 2}));
  EXPECT_EQ(run(PROC_NONCONFLICT, "A\nB\n"), "0\n0\n\n");
  EXPECT_EQ(run(PROC_NONCONFLICT, "A\nA\n"), "0\n1\n\n");
  EXPECT_EQ(run(PROC_NONCONFLICT, "A\nNONE\n"), "0\n1\n\n");
}

TEST_F(TransformProcedures, CorruptInputIsSevenUnwritableOutputEightTooManyTransitionsNine) {
  test::writeFile(program.user("BAD.DES"), "KAV DES file\x1aZ8^0L;2 truncated");
  save("A", makeDES(2, {{0, 1, 1}}, {1}));
  for (const auto& [code, body] : std::vector<std::pair<int, std::string>>{
           {PROC_SELFLOOP, "BAD\nO\n"}, {PROC_MUTEX, "A\nBAD\nO\n"}, {PROC_COMPLEMENT, "BAD\nO\n"},
           {PROC_PROJECT, "BAD\nO\n"}, {PROC_RELABEL, "BAD\nO\n"}, {PROC_ALLEVENTS, "BAD\nO\n1\n"},
           {PROC_ISOMORPH, "A\nBAD\n"}, {PROC_NONCONFLICT, "BAD\nA\n"}}) {
    SCOPED_TRACE(body);
    EXPECT_EQ(run(code, body), "7\n");
    EXPECT_FALSE(test::exists(program.user("O.DES")));
  }
  ::mkdir(program.user("DIR.DES").c_str(), 0755);
  EXPECT_EQ(run(PROC_PROJECT, "A\nDIR\n1\n"), "8\n");
  // A state with 65,535 transitions cannot take one more self-loop.
  DES full = allocStates(66);
  std::vector<Transition> list;
  for (std::uint16_t e = 0; e <= 1000 && list.size() < 65535; ++e)
    for (std::int64_t t = 0; t < 66 && list.size() < 65535; ++t) {
      Transition x;
      x.event = e;
      x.target = t;
      list.push_back(x);
    }
  ASSERT_TRUE(assignTransitions(full[0], list));
  save("FULL", full);
  EXPECT_EQ(run(PROC_SELFLOOP, "FULL\nO\n1000\n"), "9\n");
  EXPECT_FALSE(test::exists(program.user("O.DES")));
}

TEST_F(TransformProcedures, ProjectionThatExhaustsMemoryIsThree) {
  if (test::sanitizedBuild()) GTEST_SKIP() << "the sanitizer's allocator never reaches the new-handler";
  // "The 20th last label was 1": 2^20 subsets once label 3 is erased.
  const std::int64_t k = 20;
  std::vector<test::Edge> edges{{0, 1, 0}, {0, 2, 0}, {0, 1, 1}, {0, 3, 0}};
  for (std::int64_t s = 1; s < k; ++s) {
    edges.push_back({s, 1, s + 1});
    edges.push_back({s, 2, s + 1});
  }
  save("NFA", makeDES(k + 1, edges, {k}));
  test::writeFile(program.user("orva.prm"), "0\n1\n" + std::to_string(PROC_PROJECT) + "\nNFA\nP\n3\n");
  const test::RunResult r = test::runBinary(program.binary, {"-cmdline"}, program.dir.path, 128ull << 20);
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(readFile(program.user("orva.rst")), "3\n");
  EXPECT_FALSE(test::exists(program.user("P.DES")));
}

} // namespace
} // namespace kav
