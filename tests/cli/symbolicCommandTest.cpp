// supcon, nonconflict and condat --symbolic as processes: the supervisor
// and verdicts of the explicit commands on the composed model, exact
// figures beyond 64 bits in JSON, and refusals that write nothing.

#include <gtest/gtest.h>

#include <unistd.h>

#include "cli/cliSupport.h"
#include "support/testSupport.h"

namespace kav {
namespace {

using namespace test;

struct Fixture {
  test::ProgramDir program;
  Fixture() {
    // A transfer line: machine i starts by 10i+1 and finishes by 10i; buffer
    // i (capacity 1) is filled by machine i and emptied by machine i+1.
    for (int i = 1; i <= 3; ++i) program.save("M" + std::to_string(i) + ".DES", cycle(10 * i + 1, 10 * i));
    program.save("B1.DES", cycle(10, 21));
    program.save("B2.DES", cycle(20, 31));
    // An uncontrollable 2 into a blocking state: the supervisor is empty.
    program.save("X.DES", makeDES(2, {{0, 2, 1}, {0, 1, 1}}, {1}));
    program.save("Y.DES", makeDES(2, {{0, 1, 1}}, {1}));
  }
  CliRun run(const std::string& command) const {
    return test::runKav(program.binary, test::words(command), program.userDir);
  }
  Json json(const std::string& command) const { return test::parseJson(run(command).out); }
};

// The symbolic supervisor is the explicit one of the composed plant and
// legal language (each legal component synchronized with every plant
// event, so free on those it does not use), renumbered breadth-first.
TEST(SymbolicCommand, AgreesWithTheExplicitCommandsOnTheComposedModel) {
  const Fixture f;
  struct Row {
    std::string plants, specs, symbolic; // symbolic: how the components are given
    int first;                           // the component placed first in the order
    bool emptySupervisor;
  };
  const std::vector<Row> table = {
      {"M1 M2 M3", "B1 B2", "--plant M1 M2 M3 --spec B1 B2 --order 4,3,2,1,0", 4, false},
      {"M1 M2", "B1", "--spec=B1 --plant -- M1 M2", 0, false},
      {"X", "Y", "--plant X --spec Y", 0, true},
  };
  for (const Row& row : table) {
    SCOPED_TRACE(row.symbolic);
    const std::string plant = row.plants.size() == 1 ? row.plants : "P";
    if (plant == "P") f.run("sync " + row.plants + " -o P");
    f.run("allevents " + plant + " -o ALL");
    f.run("sync " + row.specs + " ALL -o E");
    f.run("supcon " + plant + " E -o SUPX");
    f.run("recode SUPX -o R");
    const Json sup = f.json("supcon --json --symbolic -o SUPS " + row.symbolic);
    EXPECT_EQ(test::readFile(f.program.user("SUPS.DES")), test::readFile(f.program.user("R.DES")));
    EXPECT_EQ(sup["states"].integer == 0, row.emptySupervisor);
    for (const char* figure : {"states", "transitions", "marked_states"})
      EXPECT_EQ(sup["supervisor_" + std::string(figure)].text, std::to_string(sup[figure].integer)) << figure;
    EXPECT_EQ(sup["reachable_states"].integer, f.json("meet --json " + plant + " E -o PE")["states"].integer);
    EXPECT_EQ(sup["order"].items.at(0).integer, row.first);

    // Nonconflict of all the components against their explicit product;
    // controllability of the legal components as condat tells it, and of
    // the supervisor, which is controllable.
    const std::string all = row.plants + " " + row.specs;
    const std::int64_t product = f.json("sync --json " + all + " -o Q")["states"].integer;
    const std::int64_t trimmed = f.json("trim --json Q -o T")["states"].integer;
    EXPECT_EQ(f.run("nonconflict --symbolic " + all).status, product == trimmed ? 0 : 1);
    EXPECT_EQ(f.json("nonconflict --json --symbolic " + all)["blocking_states"].integer, product - trimmed);
    EXPECT_EQ(f.run("condat --symbolic --plant " + row.plants + " --super " + row.specs).status,
              f.run("condat " + plant + " E -o D").status);
    EXPECT_EQ(f.run("condat --symbolic --plant " + row.plants + " --super SUPS").status, 0);
  }
}

// Exact figures beyond 64 bits, and each refusal with its status and one
// line, leaving nothing behind.
TEST(SymbolicCommand, CountsExactlyAndRefusesWithItsStatusWritingNothing) {
  const Fixture f;
  // 50 independent cycles 0 -> 1 -> 2 -> 0, states 0 and 1 marked: 3^50
  // states, 50 transitions each, 2^50 marked.
  std::string plants;
  for (int i = 0; i < 50; ++i) {
    const auto l = static_cast<std::uint16_t>(6 * i + 1), m = static_cast<std::uint16_t>(l + 1),
               n = static_cast<std::uint16_t>(l + 2);
    f.program.save("C" + std::to_string(i) + ".DES", makeDES(3, {{0, l, 1}, {1, m, 2}, {2, n, 0}}, {0, 1}));
    plants += " C" + std::to_string(i);
  }
  const Json count = f.json("supcon --json --symbolic --count-only --plant" + plants);
  EXPECT_EQ(count["reachable_states"].kind, Json::NUMBER);
  EXPECT_EQ(count["reachable_states"].text, "717897987691852588770249");
  EXPECT_EQ(count["supervisor_states"].text, "717897987691852588770249");
  EXPECT_EQ(count["supervisor_transitions"].text, "35894899384592629438512450");
  EXPECT_EQ(count["supervisor_marked_states"].text, "1125899906842624");
  const std::string text = f.run("supcon --symbolic --count-only --plant" + plants).out;
  EXPECT_NE(text.find("\nsupervisor states: 717897987691852588770249\n"), std::string::npos) << text;

  const std::string line = "supcon --symbolic -o S --plant M1 M2 M3 --spec B1 B2";
  ASSERT_EQ(f.run(line + " --max-states 18").status, 0); // the supervisor has 18 states
  ::unlink(f.program.user("S.DES").c_str());
  const std::vector<std::string> inputs = f.program.files();
  const struct {
    std::string command, err;
    int status;
  } table[] = {
      {line + " --max-states 17",
       "kav supcon: the supervisor has 18 states, more than --max-states 17: nothing written (--count-only gives "
       "the figures alone)\n",
       8},
      {line + " --max-nodes 20", "kav supcon: out of memory\n", 3},
      {"supcon --symbolic -o S --plant" + plants,
       "kav supcon: the supervisor has 717897987691852588770249 states, more than --max-states 10000000: nothing "
       "written (--count-only gives the figures alone)\n",
       8},
      {line + " --order 0,1,2,3", "kav supcon: --order 0,1,2,3: not an order of the 5 components (each of 0..4 once)\n",
       2},
      {line + " --count-only", "kav supcon: --count-only writes no supervisor: drop -o\n", 2},
      {"supcon --symbolic -o S --spec B1", "kav supcon: needs the plant components: --plant G1 G2 ...\n", 2},
      {"supcon --symbolic M1 -o S --plant M2", "kav supcon: M1: give the components after --plant and --spec\n", 2},
      {"supcon M1 B1 -o S --count-only", "kav supcon: --count-only goes with --symbolic\n", 2},
      {"condat --symbolic --plant M1 --super B1 -o D", "kav condat: --symbolic writes no file: drop -o\n", 2},
  };
  for (const auto& row : table) {
    SCOPED_TRACE(row.command);
    const CliRun r = f.run(row.command);
    EXPECT_EQ(r.status, row.status);
    EXPECT_EQ(r.err, row.err);
    EXPECT_EQ(f.program.files(), inputs);
  }
}

} // namespace
} // namespace kav
