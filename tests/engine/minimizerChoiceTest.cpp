// The minimizer is chosen by the selector line of orva.prm and handed down
// to every minimization a procedure makes, also inside project and the
// observation procedures. The two minimizers give the same DES, so the
// choice shows only in the progress lines of debug mode: the pairwise one
// starts at "MINIMIZE: 0 n", partition refinement never reports 0 classes.

#include <gtest/gtest.h>

#include <string>

#include "engine/protocol.h"
#include "support/testSupport.h"

namespace kav {
namespace {

using namespace test;

TEST(MinimizerChoice, ReachesEveryMinimizationOfTheBatchChild) {
  struct Case {
    int code;
    const char* parameters;
  };
  const Case cases[] = {
      {PROC_MINSTATE, "D\nX\n"},
      {PROC_PROJECT, "D\nX\n7\n"}, // label 7 does not occur: reach and minimize
      {PROC_SUPNORM, "D\nD\nX\n1\n"},
  };
  ProgramDir program;
  program.save("D.DES", makeDES(5, {{0, 1, 1}, {0, 3, 3}, {1, 2, 2}, {3, 2, 2}, {2, 5, 4}}, {4}));
  for (const Case& c : cases) {
    for (int selector : {0, 1}) {
      SCOPED_TRACE(std::to_string(c.code) + " with selector " + std::to_string(selector));
      writeFile(program.user("orva.prm"),
                "1\n" + std::to_string(selector) + "\n" + std::to_string(c.code) + "\n" + c.parameters);
      const RunResult r = runBinary(program.binary, {"-cmdline"}, program.dir.path);
      EXPECT_EQ(readFile(program.user("orva.rst")), "0\n");
      EXPECT_EQ(r.output.find("MINIMIZE: 0 ") != std::string::npos, selector == 0) << r.output;
    }
  }
}

} // namespace
} // namespace kav
