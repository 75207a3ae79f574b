// Force, Vocalize, Outconsis, Hiconsis and Higen as batch processes.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/protocol.h"
#include "model/desfile.h"
#include "support/testSupport.h"

namespace kav {
namespace {

using test::makeDES;
using test::readFile;

class HierarchyProcedures : public ::testing::Test {
protected:
  test::ProgramDir program;

  void save(const std::string& name, const DES& des) {
    ASSERT_EQ(saveDESFile(program.user(name + ".DES"), des, 0, 2), SAVE_OK);
  }
  // describe, then the outputs of the vocal states.
  std::string load(const std::string& name) {
    DES des;
    std::int64_t init = 0;
    if (loadDESFile(program.user(name + ".DES"), des, init) != LOAD_OK) return "unreadable";
    std::string text = test::describe(des) + " | vocal";
    for (std::int64_t s = 0; s < des.size(); ++s)
      if (des[s].vocal) text += " " + std::to_string(s) + ":" + std::to_string(des[s].vocal);
    return text;
  }
  std::string run(int code, const std::string& body, int expectedStatus = 0) {
    test::writeFile(program.user("orva.prm"), "0\n1\n" + std::to_string(code) + "\n" + body);
    last = test::runBinary(program.binary, {"-cmdline"}, program.dir.path);
    EXPECT_EQ(last.status, expectedStatus) << last.output;
    return test::exists(program.user("orva.rst")) ? readFile(program.user("orva.rst")) : "none";
  }
  test::RunResult last;
};

DES withOutputs(DES d, std::initializer_list<std::pair<std::int64_t, int>> outputs) {
  for (const auto& [s, v] : outputs) d[s].vocal = static_cast<std::int16_t>(v);
  return d;
}

TEST_F(HierarchyProcedures, ForceReadsForcibleUpToMinusOneThenPreemptable) {
  save("A", makeDES(3, {{0, 1, 1}, {0, 2, 0}, {0, 4, 2}}, {1}));
  EXPECT_EQ(run(PROC_FORCE, "A\nF\n9\n1\n-1\n2\n"), "0\n");
  EXPECT_EQ(load("F"), "4: 0-1->1 0-4->2 0-9->3 3-2->0 3-4->2 | marked 1 | vocal");
  // Ending right after -1: nothing is preemptable, nothing changes.
  EXPECT_EQ(run(PROC_FORCE, "A\nG\n9\n1\n-1\n"), "0\n");
  EXPECT_EQ(load("G"), load("A"));
  EXPECT_EQ(run(PROC_FORCE, "A\nG\n1001\n1\n-1\n"), "2\n");
  EXPECT_EQ(run(PROC_FORCE, "A\nG\n"), "2\n");
}

TEST_F(HierarchyProcedures, VocalizeRedirectsTheRequestedTransitions) {
  save("A", makeDES(2, {{0, 1, 1}, {0, 3, 1}, {1, 5, 0}}, {1}));
  EXPECT_EQ(run(PROC_VOCALIZE, "A\nV\n0 1 1 10\n0 3 1 20\n"), "0\n");
  EXPECT_EQ(load("V"), "3: 0-1->1 0-3->2 1-5->0 2-5->0 | marked 1 2 | vocal 1:10 2:20");
  // States outside DES1 and outputs outside 10..99 are refused.
  EXPECT_EQ(run(PROC_VOCALIZE, "A\nV\n0 1 2 10\n"), "2\n");
  EXPECT_EQ(run(PROC_VOCALIZE, "A\nV\n0 1 1 100\n"), "2\n");
  EXPECT_EQ(run(PROC_VOCALIZE, "A\nV\n0 x 1 10\n"), "2\n");
}

TEST_F(HierarchyProcedures, OutconsisHiconsisAndHigenRefuseAVocalInitialStateWithSix) {
  save("A", withOutputs(makeDES(2, {{0, 1, 1}}, {}), {{0, 10}}));
  EXPECT_EQ(run(PROC_OUTCONSIS, "A\nO\n"), "6\n");
  EXPECT_EQ(run(PROC_HICONSIS, "A\nO\n0\n"), "6\n");
  EXPECT_EQ(run(PROC_HIGEN, "A\nO\n"), "6\n");
  EXPECT_FALSE(test::exists(program.user("O.DES")));
}

TEST_F(HierarchyProcedures, AMissingDES1GivesAnEmptyDES2) {
  EXPECT_EQ(run(PROC_FORCE, "NONE\nO1\n9\n1\n-1\n2\n"), "0\n");
  EXPECT_EQ(run(PROC_VOCALIZE, "NONE\nO2\n4 1 7 10\n"), "0\n");
  EXPECT_EQ(run(PROC_OUTCONSIS, "NONE\nO3\n"), "0\n");
  EXPECT_EQ(run(PROC_HICONSIS, "NONE\nO4\n1\n"), "0\n");
  EXPECT_EQ(run(PROC_HIGEN, "NONE\nO5\n"), "0\n");
  for (const char* name : {"O1", "O2", "O3", "O4", "O5"}) EXPECT_EQ(load(name), "0: | marked | vocal") << name;
}

TEST_F(HierarchyProcedures, OutconsisAndHiconsisWriteTheEncodedOutputs) {
  save("A", withOutputs(makeDES(2, {{0, 1, 1}, {0, 2, 1}}, {}), {{1, 10}}));
  EXPECT_EQ(run(PROC_OUTCONSIS, "A\nO\n"), "0\n");
  EXPECT_EQ(load("O"), "3: 0-1->2 0-2->1 | marked | vocal 1:100 2:101");
  // A controllable fork between outputs 10 and 20 gets output 111.
  save("F", withOutputs(makeDES(4, {{0, 1, 1}, {1, 2, 2}, {1, 4, 3}}, {}), {{2, 10}, {3, 20}}));
  EXPECT_EQ(run(PROC_HICONSIS, "F\nH\n0\n"), "0\n");
  EXPECT_EQ(load("H"), "4: 0-1->1 1-2->2 1-4->3 | marked | vocal 1:111 2:100 3:200");
  EXPECT_EQ(run(PROC_HICONSIS, "F\nH\n2\n"), "2\n");
}

TEST_F(HierarchyProcedures, HiconsisAnswersFiveWhenTheOutputsRunOut) {
  // Outputs 10..99 all in use along an uncontrollable chain.
  std::vector<test::Edge> edges;
  for (std::int64_t s = 0; s < 90; ++s) edges.push_back({s, 2, s + 1});
  DES d = makeDES(91, edges, {});
  for (std::int64_t s = 1; s <= 90; ++s) d[s].vocal = static_cast<std::int16_t>(9 + s);
  save("FULL", d);
  EXPECT_EQ(run(PROC_HICONSIS, "FULL\nH\n1\n"), "5\n");
  EXPECT_FALSE(test::exists(program.user("H.DES")));
}

TEST_F(HierarchyProcedures, HigenBuildsTheHighLevelGenerator) {
  save("A", withOutputs(makeDES(4, {{0, 1, 1}, {1, 2, 2}, {2, 3, 3}, {3, 4, 0}}, {2}), {{1, 10}, {3, 20}}));
  EXPECT_EQ(run(PROC_HIGEN, "A\nG\n"), "0\n");
  EXPECT_EQ(load("G"), "2: 0-10->1 1-20->0 | marked 1 | vocal");
}

TEST_F(HierarchyProcedures, HigenThatCannotRenumberTheEventsEndsWithStatusOneAndNoResult) {
  std::vector<test::Edge> edges;
  for (std::uint16_t e = 0; e < 1000; ++e) edges.push_back({0, e, 0});
  save("MANY", makeDES(1, edges, {}));
  EXPECT_EQ(run(PROC_HIGEN, "MANY\nG\n", 1), "none");
  EXPECT_NE(last.output.find("Excessed maximum - re-map events has fail\n"), std::string::npos);
  EXPECT_FALSE(test::exists(program.user("G.DES")));
}

} // namespace
} // namespace kav
