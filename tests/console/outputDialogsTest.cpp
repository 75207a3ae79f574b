// Show, print and file, ADS to DES (FD) and pictures (CE, DE) through
// "kav -autotest" scripts: the screens shown, the files left in the user
// directory, the session log.

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <cstdlib>

#include "console/consoleSupport.h"
#include "engine/child.h"
#include "model/desfile.h"
#include "output/ads.h"
#include "output/listing.h"

namespace kav {
namespace {

using namespace test;

// A DAT whose state s disables `perState` odd labels, for s < entries.
// An ADS text: the name line, the size, then the sections as given.
std::string adsText(const std::string& size, const std::string& markers, const std::string& transitions) {
  return "N\nState size\n" + size + "\nMarker states:\n" + markers + "Vocal states:\nTransitions:\n" + transitions;
}

// 0 -1-> 1 -2-> 2 (marked), 0 -3-> 3; control data under a DES name.
void putA(const ProgramDir& p) {
  p.save("A.DES", makeDES(4, {{0, 1, 1}, {1, 2, 2}, {0, 3, 3}}, {2}));
  p.save("X.DES", makeDAT(1, 1), -1);
}
// An output as Outconsis and Hiconsis make them.
void putVocal(const ProgramDir& p) {
  DES des = makeDES(2, {{0, 1, 1}}, {1});
  des[1].vocal = 120;
  p.save("V.DES", des);
}
void putTables(const ProgramDir& p) {
  p.save("D.DAT", makeDAT(30, 7), -1);
  p.save("E.DAT", allocStates(2), -1);
}
void putNothing(const ProgramDir&) {}
void putNondeterministic(const ProgramDir& p) { writeFile(p.user("N.ADS"), adsText("3", "", "0 1 1\n0 1 1\n0 1 2\n")); }
void putExisting(const ProgramDir& p) {
  p.save("M.DES", makeDES(1, {}));
  writeFile(p.user("M.ADS"), adsText("2", "0\n", "0 1 1\n1 2 0\n"));
}
void putSeveral(const ProgramDir& p) {
  writeFile(p.user("GOOD.ADS"), adsText("1", "*\n", "0 1 0\n"));
  writeFile(p.user("BAD1.ADS"), adsText("x", "", ""));
  writeFile(p.user("bad2.ads"), adsText("1", "", "0 1 1\n"));
  writeFile(p.user("NOTE.TXT"), "not ADS");
}
void putOne(const ProgramDir& p) { writeFile(p.user("ONE.ADS"), adsText("1", "", "")); }

const test::DialogCase ROWS[] = {
    {putVocal, {"FEV\r\rVA\r\r",
                {"V.DES has been copied to VA.ADS", "Warning: V has vocal outputs outside 10..99,",
                 "so FD cannot convert VA.ADS back to a DES.", "For a complete listing, file V as ASCII Text (.PDS)."},
                {}, {}, ""}},
    {putA, {"SEA\r\rSEX\r\r",
            {"A    # states: 4", "[    0,  1,    1]  [    0,  3,    3]  [    1,  2,    2]",
             "This is a DAT file.\nUse show DAT command."},
            {}, {}, ""}},
    {putTables, {"SAD\r\r\rSAE\r\r",
                 {"\n\nD is CONTROLLABLE\n\ncontrol data:\n\n       0:   1    3    5    7    9   11   13\n",
                  "      13:   1    3    5    7    9   11   13\n", "      14:   1    3    5    7    9   11   13\n",
                  "E is CONTROLLABLE\n\ncontrol data:\n\nempty.\n", "Press <Enter> to return to KAV Procedure"},
                 {}, {}, ""}},
    // The template comes from Create's second option.
    {putNothing, {"02\rT\r\rFD1\rT\r\r\r",
                  {"Error(s) reading file: ", "\n  Invalid state number at line 8.\n  Invalid state number at line 14.\n"
                                              "  Invalid state number at line 21.\n"},
                  {}, {{"T.DES", "unreadable"}}, ""}},
    {putNondeterministic, {"FD1\rN\r\r\r", {"\n  Nondeterministic transition at lines 8 and 9.\n"}, {"line 7"},
                           {{"N.DES", "unreadable"}}, ""}},
    {putExisting, {"FD1\rM\r\rnM2\r\r",
                   {"Filename M already exists.  OK to overwrite?  (*y/n)", "Enter new name for DES2 ...............",
                    "M2 has been filed as "},
                   {}, {{"M2.DES", "2: 0-1->1 1-2->0 | marked 0"}, {"M.DES", "1: | marked"}},
                   "M2 = Create(M2,[mark 0],[tran [0,1,1],[1,2,0]])  (2,2)\n\n"}},
    {putSeveral, {"FD2\r\r",
                  {"Number of successful filings is: 1", "Failures:  BAD1.ADS         bad2.ads",
                   "Locate .ADS errors by inspection or by FD/ADS->DES/Option 1.", "D=PgDn  U=PgUp  Esc (Exit)"},
                  {}, {{"GOOD.DES", "1: 0-1->0 | marked 0"}, {"bad2.DES", "unreadable"}},
                  "GOOD = Create(GOOD,[mark 0],[tran [0,1,0]])  (1,1)\n\n"}},
    {putOne, {"FD2\r\r", {"Number of successful filings is: 1", "Failures: 0", "Press <Enter> to return to KAV Procedures"},
              {}, {}, "ONE = Create(ONE)  (1,0)\n\n"}},
};

INSTANTIATE_TEST_SUITE_P(Output, Dialog, ::testing::ValuesIn(ROWS));

class OutputDialogs : public ::testing::Test {
protected:
  ProgramDir program;
};

TEST_F(OutputDialogs, FileWritesListingsPostScriptAndAnAdsThatConvertsBack) {
  putA(program);
  program.save("D.DAT", makeDAT(80, 3), -1);
  const test::ConsoleRun run =
      runConsole(program, " TFEA\rtAL\r\rFEA\r\rAA\r\rFAD\r\rDT\r\rFAD\rpDP\r\rFEX\r\rFAA\r\x1bXX");
  EXPECT_EQ(run.status, 0) << run.output;
  const DES a = program.load("A.DES"), dat = makeDAT(80, 3);
  EXPECT_EQ(readFile(program.user("AL.PDS")), captureText([&](std::FILE* out) { writeDesListing(out, a, "A", false); }));
  EXPECT_EQ(readFile(program.user("DT.PDT")), captureText([&](std::FILE* out) { writeDatListing(out, dat, "D"); }));
  DES back;
  EXPECT_TRUE(parseAdsFile(program.user("AA.ADS"), back).empty());
  EXPECT_EQ(test::describe(back), test::describe(a));
  EXPECT_GE(findScreen(run, "A.DES has been copied to AL.PDS"), 0);
  EXPECT_GE(findScreen(run, "D.DAT has been copied to DP.PST"), 0);
  EXPECT_EQ(findScreen(run, "Warning:"), -1);
  // A DAT under a DES name is refused; A.DAT does not exist, so FA asks again.
  EXPECT_GE(findScreen(run, "This is a DAT file.\nUse file DAT command."), 0);
  EXPECT_GE(findScreen(run, "Filename A not in directory!"), 0);
  EXPECT_EQ(program.sessionLog(), "");
  const std::string gs = findProgram("gs");
  if (gs.empty()) GTEST_SKIP() << "Ghostscript (gs) is not installed";
  const test::RunResult r = test::runBinary(
      gs, {"-q", "-dNOPAUSE", "-dBATCH", "-sDEVICE=nullpage", program.user("DP.PST")}, program.dir.path);
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(r.output, "");
}

TEST_F(OutputDialogs, ShowDesPagesJumpsToItsTablesAndGoesBack) {
  std::vector<test::Edge> edges;
  for (int s = 0; s < 30; ++s)
    for (int e = 0; e < 4; ++e) edges.push_back({s, static_cast<std::uint16_t>(2 * e + 1), (s + 1) % 30});
  DES des = makeDES(30, edges, {0, 5});
  des[3].vocal = 33;
  program.save("B.DES", des);
  const test::ConsoleRun run = runConsole(program, " TSEB\rdutvh\x1bXX");
  EXPECT_EQ(run.status, 0) << run.output;
  const int first = findScreen(run, " D(own)  U(p)  H(ead)  V(ocal table)  T(ransition table)  Esc (Exit Show)");
  ASSERT_GE(first, 0);
  const auto page = [&](int k) { return run.screens[static_cast<std::size_t>(first + k)]; };
  EXPECT_EQ(rowOf(page(0), 0), "B    # states: 30    state set: 0 ... 29    initial state: 0");
  EXPECT_EQ(rowOf(page(0), 2), "marker states:");
  EXPECT_EQ(rowOf(page(0), 4), "      0        5");
  std::string line22 = desScreenLine(layoutDesScreenListing(des, "B"), 22);
  line22.erase(line22.find_last_not_of(' ') + 1);
  EXPECT_EQ(rowOf(page(1), 0), line22);                // d
  EXPECT_EQ(page(2), page(0));                         // u
  EXPECT_EQ(rowOf(page(3), 0), "# transitions: 120");  // t
  EXPECT_EQ(rowOf(page(4), 0), "vocal states:");       // v
  EXPECT_EQ(rowOf(page(4), 2), "[    3,  33]");
  EXPECT_EQ(page(5), page(0)); // h
  // Escape leaves at once, without the Enter pause.
  EXPECT_NE(page(6).find("Procedure desired:"), std::string::npos);
}

TEST_F(OutputDialogs, PrintSaysWhenThereIsNoPrinterCommand) {
  putA(program);
  writeFile(program.user("T.TXT"), "text\n");
  const test::EnvSetting path("PATH", program.dir.path + "nowhere");
  const test::ConsoleRun run = runConsole(program, " TPEA\r\r\rPXT\r\rXX");
  EXPECT_EQ(run.status, 0) << run.output;
  const int first = findScreen(run, "No printer command (lpr) is available on this system.");
  ASSERT_GE(first, 0);
  EXPECT_GE(findScreen(run, "No printer command (lpr) is available on this system.", first + 1), 0);
  EXPECT_EQ(program.files(), (std::vector<std::string>{"A.DES", "T.TXT", "X.DES"}));
}

TEST_F(OutputDialogs, PrintHandsTheListingToLprOrWritesItToAFile) {
  putA(program);
  program.save("D.DAT", makeDAT(3, 2), -1);
  writeFile(program.user("T.TXT"), "some text");
  const std::string printed = program.dir.path + "printed";
  ::mkdir((program.dir.path + "bin").c_str(), 0755);
  test::writeScript(program.dir.path + "bin/lpr", "cat \"$1\" >> '" + printed + "'");
  // The stand-in comes first; the rest of PATH serves its cat.
  const test::EnvSetting path("PATH", program.dir.path + "bin:" + std::getenv("PATH"));
  const test::ConsoleRun run = runConsole(program, " TPEA\ry\rPEA\rnAP\r\rPAD\rnDP\r\rPXT\r\r\rXX");
  EXPECT_EQ(run.status, 0) << run.output;
  const DES a = program.load("A.DES"), dat = makeDAT(3, 2);
  const std::string listing = captureText([&](std::FILE* out) { writeDesListing(out, a, "A", true); });
  EXPECT_EQ(readFile(printed), listing + "\nsome text\n");
  EXPECT_EQ(readFile(program.user("AP.PDS")), listing);
  EXPECT_EQ(readFile(program.user("DP.PDT")), captureText([&](std::FILE* out) { writeDatListing(out, dat, "D"); }));
  EXPECT_GE(findScreen(run, "The listing has been sent to the printer."), 0);
  EXPECT_GE(findScreen(run, "Check that printer is online, then press <Enter> to print"), 0);
}

TEST_F(OutputDialogs, ConvertMakesThePictureOrSaysWhatIsMissing) {
  putA(program);
  // A stand-in for dot in the program's Graphviz folder.
  ::mkdir((program.dir.path + "Graphviz").c_str(), 0755);
  test::writeScript(program.dir.path + "Graphviz/dot", "while [ \"$1\" != -o ]; do shift; done\nprintf GIF89a > \"$2\"");
  test::ConsoleRun run = runConsole(program, " TCEA\r\r\r\rDEA\r\rXX");
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_GE(findScreen(run, "A.DES successfully converted to A.GIF"), 0);
  EXPECT_GE(findScreen(run, "Call DE to display transition diagram."), 0);
  EXPECT_EQ(readFile(program.user("A.GIF")), "GIF89a");
  EXPECT_GE(findScreen(run, "No picture viewer is available"), 0);
  EXPECT_GE(findScreen(run, program.user("A.GIF")), 0);
  std::remove((program.dir.path + "Graphviz/dot").c_str());
  const test::EnvSetting path("PATH", program.dir.path + "nowhere");
  run = runConsole(program, " TCEA\ryB\r\r\rXX");
  EXPECT_GE(findScreen(run, "Conversion failure: Graphviz folder must be placed in workspace!"), 0);
  EXPECT_FALSE(exists(program.user("B.GIF")));
}

TEST_F(OutputDialogs, ConvertWithRealGraphvizUnderANewName) {
  if (findProgram("dot").empty()) GTEST_SKIP() << "Graphviz (dot) is not installed";
  putA(program);
  const test::ConsoleRun run = runConsole(program, " TCEA\ryPIC\ry\rXX");
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_GE(findScreen(run, "A.DES successfully converted to PIC.GIF"), 0);
  EXPECT_EQ(readFile(program.user("PIC.GIF")).substr(0, 4), "GIF8");
  EXPECT_FALSE(exists(program.user("A.GIF")));
}

} // namespace
} // namespace kav
