// Show, print and file, ADS to DES (FD) and pictures (CE, DE) through
// "kav -autotest" scripts: the screens shown, the files left in the user
// directory, the session log.

#include <dirent.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <cstdlib>

#include "console/consoleSupport.h"
#include "console/sessionLog.h"
#include "engine/child.h"
#include "model/desfile.h"
#include "output/ads.h"
#include "output/listing.h"

namespace kav {
namespace {

using test::createDES;
using test::ESC;
using test::exists;
using test::findScreen;
using test::readFile;
using test::rowOf;
using test::runConsole;
using test::writeFile;

using test::PathSetting;

class OutputDialogs : public ::testing::Test {
protected:
  test::ProgramDir program;

  DES loadUser(const std::string& file) const {
    DES des;
    std::int64_t init = 0;
    EXPECT_EQ(loadDESFile(program.user(file), des, init), LOAD_OK) << file;
    return des;
  }
  void saveUser(const std::string& file, const DES& des, std::int64_t init) const {
    ASSERT_EQ(saveDESFile(program.user(file), des, init, 2), SAVE_OK);
  }
  // 0 -1-> 1 -2-> 2 (marked), 0 -3-> 3.
  void createA() { createDES(program, "A", 4, "2", "0 1 1\n1 2 2\n0 3 3\n"); }
  // An executable shell script in the program directory.
  std::string script(const std::string& relative, const std::string& body) const {
    const std::string path = program.dir.path + relative;
    ::mkdir(path.substr(0, path.rfind('/')).c_str(), 0755);
    writeFile(path, "#!/bin/sh\n" + body);
    ::chmod(path.c_str(), 0755);
    return path;
  }
  const std::string& screenOf(const test::ConsoleRun& run, const std::string& text, int from = 0) const {
    static const std::string none;
    const int k = findScreen(run, text, from);
    EXPECT_GE(k, 0) << "no screen shows: " << text;
    return k < 0 ? none : run.screens[static_cast<std::size_t>(k)];
  }
};

// A DAT whose state s disables `perState` odd labels, for s < entries.
DES makeDAT(int entries, int perState) {
  DES dat = allocStates(entries);
  for (int s = 0; s < entries; ++s)
    for (int k = 0; k < perState; ++k) insertTransition(dat[s], static_cast<std::uint16_t>(2 * k + 1), 0);
  return dat;
}

// A row as the screen log keeps it: trailing blanks cut.
std::string trimmed(std::string row) {
  row.erase(row.find_last_not_of(' ') + 1);
  return row;
}

// --- File -------------------------------------------------------------------------------

TEST_F(OutputDialogs, FileDesWritesTheTextListingAndAnAdsThatConvertsBack) {
  createA();
  const test::ConsoleRun run = runConsole(program, " TFEA\rtAL\r\rFEA\r\rAA\r\rXX");
  EXPECT_EQ(run.status, 0) << run.output;
  const DES a = loadUser("A.DES");
  EXPECT_EQ(readFile(program.user("AL.PDS")),
            captureText([&](std::FILE* out) { writeDesListing(out, a, "A", false); }));
  EXPECT_GE(findScreen(run, "A.DES has been copied to AL.PDS"), 0);
  DES back;
  EXPECT_TRUE(parseAdsFile(program.user("AA.ADS"), back).empty());
  EXPECT_EQ(test::describe(back), test::describe(a));
  EXPECT_EQ(findScreen(run, "Warning:"), -1);
  EXPECT_EQ(program.sessionLog(), "");
}

TEST_F(OutputDialogs, FileDesToAdsWarnsWhenFDCannotReadItBack) {
  DES des = test::makeDES(2, {{0, 1, 1}}, {1});
  des[1].vocal = 120; // as Outconsis and Hiconsis make them
  saveUser("V.DES", des, 0);
  const test::ConsoleRun run = runConsole(program, " TFEV\r\rVA\r\rXX");
  EXPECT_EQ(run.status, 0);
  const std::string& screen = screenOf(run, "V.DES has been copied to VA.ADS");
  EXPECT_NE(screen.find("Warning: V has vocal outputs outside 10..99,"), std::string::npos) << screen;
  EXPECT_NE(screen.find("so FD cannot convert VA.ADS back to a DES."), std::string::npos);
  EXPECT_NE(screen.find("For a complete listing, file V as ASCII Text (.PDS)."), std::string::npos);
  EXPECT_TRUE(exists(program.user("VA.ADS")));
}

TEST_F(OutputDialogs, FileDatWritesTextAndPostScriptAndRefusesTheOtherKind) {
  saveUser("D.DAT", makeDAT(80, 3), -1);
  saveUser("X.DES", makeDAT(1, 1), -1); // control data under a DES name
  createA();
  const test::ConsoleRun run = runConsole(program, " TFAD\r\rDT\r\rFAD\rpDP\r\rFEX\r\rFAA\r" + std::string(ESC) + "XX");
  EXPECT_EQ(run.status, 0) << run.output;
  const DES dat = makeDAT(80, 3);
  EXPECT_EQ(readFile(program.user("DT.PDT")), captureText([&](std::FILE* out) { writeDatListing(out, dat, "D"); }));
  EXPECT_GE(findScreen(run, "D.DAT has been copied to DP.PST"), 0);
  const std::string& refusedDat = screenOf(run, "This is a DAT file.");
  EXPECT_EQ(rowOf(refusedDat, 1), "Use file DAT command.");
  // A.DAT does not exist, so FA asks again; A.DES is a DES.
  EXPECT_GE(findScreen(run, "Filename A not in directory!"), 0);

  const std::string gs = findProgram("gs");
  if (gs.empty()) GTEST_SKIP() << "Ghostscript (gs) is not installed";
  const test::RunResult r = test::runBinary(
      gs, {"-q", "-dNOPAUSE", "-dBATCH", "-sDEVICE=nullpage", program.user("DP.PST")}, program.dir.path);
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(r.output, "");
}

// --- Show -------------------------------------------------------------------------------

TEST_F(OutputDialogs, ShowDesPagesJumpsToItsTablesAndGoesBack) {
  std::vector<test::Edge> edges;
  for (int s = 0; s < 30; ++s)
    for (int e = 0; e < 4; ++e) edges.push_back({s, static_cast<std::uint16_t>(2 * e + 1), (s + 1) % 30});
  DES des = test::makeDES(30, edges, {0, 5});
  des[3].vocal = 33;
  saveUser("B.DES", des, 0);
  const test::ConsoleRun run = runConsole(program, " TSEB\rdutvh" + std::string(ESC) + "XX");
  EXPECT_EQ(run.status, 0) << run.output;
  const int first = findScreen(run, " D(own)  U(p)  H(ead)  V(ocal table)  T(ransition table)  Esc (Exit Show)");
  ASSERT_GE(first, 0);
  const auto page = [&](int k) { return run.screens[static_cast<std::size_t>(first + k)]; };
  EXPECT_EQ(rowOf(page(0), 0), "B    # states: 30    state set: 0 ... 29    initial state: 0");
  EXPECT_EQ(rowOf(page(0), 2), "marker states:");
  EXPECT_EQ(rowOf(page(0), 4), "      0        5");
  const DesScreenListing listing = layoutDesScreenListing(des, "B");
  EXPECT_EQ(rowOf(page(1), 0), trimmed(desScreenLine(listing, 22))); // d
  EXPECT_EQ(page(2), page(0));                                       // u
  EXPECT_EQ(rowOf(page(3), 0), "# transitions: 120");                // t
  EXPECT_EQ(rowOf(page(4), 0), "vocal states:");                     // v
  EXPECT_EQ(rowOf(page(4), 2), "[    3,  33]");
  EXPECT_EQ(page(5), page(0)); // h
  // Escape leaves at once, without the Enter pause.
  EXPECT_NE(page(6).find("Procedure desired:"), std::string::npos);
}

TEST_F(OutputDialogs, ShowDesOfOnePageWaitsForEnterAndRefusesControlData) {
  createA();
  saveUser("X.DES", makeDAT(1, 1), -1);
  const test::ConsoleRun run = runConsole(program, " TSEA\r\rSEX\r\rXX");
  EXPECT_EQ(run.status, 0);
  const std::string& shown = screenOf(run, "A    # states: 4");
  EXPECT_EQ(rowOf(shown, 23), "Press <Enter> to return to KAV Procedures");
  EXPECT_NE(shown.find("[    0,  1,    1]  [    0,  3,    3]  [    1,  2,    2]"), std::string::npos);
  const std::string& refused = screenOf(run, "This is a DAT file.");
  EXPECT_EQ(rowOf(refused, 1), "Use show DAT command.");
}

TEST_F(OutputDialogs, ShowDatPagesTheTableAndSaysEmpty) {
  saveUser("D.DAT", makeDAT(30, 7), -1);
  saveUser("E.DAT", allocStates(2), -1);
  const test::ConsoleRun run = runConsole(program, " TSAD\r\r\rSAE\r\rXX");
  EXPECT_EQ(run.status, 0);
  const std::string& first = screenOf(run, "Press <Enter> to page table or <ESC> to cancel");
  EXPECT_EQ(rowOf(first, 4), "D is CONTROLLABLE");
  EXPECT_EQ(rowOf(first, 6), "control data:");
  EXPECT_EQ(rowOf(first, 8), "       0:   1    3    5    7    9   11   13");
  EXPECT_EQ(rowOf(first, 21), "      13:   1    3    5    7    9   11   13");
  const std::string& second = screenOf(run, "      14:");
  EXPECT_EQ(rowOf(second, 0), "      14:   1    3    5    7    9   11   13");
  const std::string& empty = screenOf(run, "E is CONTROLLABLE");
  EXPECT_EQ(rowOf(empty, 8), "empty.");
  EXPECT_EQ(rowOf(empty, 23), "Press <Enter> to return to KAV Procedure");
}

// --- Print ------------------------------------------------------------------------------

TEST_F(OutputDialogs, PrintWithoutPrinterCommandSaysSoAndWritesNothing) {
  createA();
  writeFile(program.user("T.TXT"), "text\n");
  const PathSetting path(program.dir.path + "nowhere");
  const test::ConsoleRun run = runConsole(program, " TPEA\r\r\rPXT\r\rXX");
  EXPECT_EQ(run.status, 0) << run.output;
  const int first = findScreen(run, "No printer command (lpr) is available on this system.");
  ASSERT_GE(first, 0);
  EXPECT_GE(findScreen(run, "No printer command (lpr) is available on this system.", first + 1), 0);
  DIR* dir = ::opendir(program.userDir.c_str());
  int entries = 0;
  while (const dirent* e = ::readdir(dir)) entries += e->d_name[0] != '.';
  ::closedir(dir);
  EXPECT_EQ(entries, 2); // A.DES and T.TXT
}

TEST_F(OutputDialogs, PrintHandsTheListingToLprOrWritesItToAFile) {
  createA();
  saveUser("D.DAT", makeDAT(3, 2), -1);
  writeFile(program.user("T.TXT"), "some text");
  const std::string printed = program.dir.path + "printed";
  script("bin/lpr", "cat \"$1\" >> '" + printed + "'\n");
  // The stand-in comes first; the rest of PATH serves its cat.
  const PathSetting path(program.dir.path + "bin:" + std::getenv("PATH"));
  const test::ConsoleRun run = runConsole(program, " TPEA\ry\rPEA\rnAP\r\rPAD\rnDP\r\rPXT\r\r\rXX");
  EXPECT_EQ(run.status, 0) << run.output;
  const DES a = loadUser("A.DES");
  const std::string listing = captureText([&](std::FILE* out) { writeDesListing(out, a, "A", true); });
  EXPECT_EQ(readFile(printed), listing + "\nsome text\n");
  EXPECT_EQ(readFile(program.user("AP.PDS")), listing);
  const DES dat = makeDAT(3, 2);
  EXPECT_EQ(readFile(program.user("DP.PDT")), captureText([&](std::FILE* out) { writeDatListing(out, dat, "D"); }));
  EXPECT_GE(findScreen(run, "The listing has been sent to the printer."), 0);
  EXPECT_GE(findScreen(run, "Check that printer is online, then press <Enter> to print"), 0);
}

// --- ADS to DES -------------------------------------------------------------------------

// An ADS text: the name line, the size, then the sections as given.
std::string adsText(const std::string& size, const std::string& markers, const std::string& transitions) {
  return "N\nState size\n" + size + "\nMarker states:\n" + markers + "Vocal states:\nTransitions:\n" + transitions;
}

TEST_F(OutputDialogs, ConvertingTheUneditedTemplateListsItsErrors) {
  // The template comes from Create's second option.
  const test::ConsoleRun run = runConsole(program, " T02\rT\r\rFD1\rT\r\r\rXX");
  EXPECT_EQ(run.status, 0) << run.output;
  const std::string& listing = screenOf(run, "Error(s) reading file: ");
  const std::size_t at8 = listing.find("\n  Invalid state number at line 8.\n");
  const std::size_t at14 = listing.find("\n  Invalid state number at line 14.\n");
  const std::size_t at21 = listing.find("\n  Invalid state number at line 21.\n");
  EXPECT_NE(at8, std::string::npos) << listing;
  EXPECT_LT(at8, at14);
  EXPECT_LT(at14, at21);
  EXPECT_NE(at21, std::string::npos);
  EXPECT_FALSE(exists(program.user("T.DES")));
  EXPECT_EQ(program.sessionLog(), "");
}

TEST_F(OutputDialogs, ConvertingANondeterministicPairNamesBothLines) {
  writeFile(program.user("N.ADS"), adsText("3", "", "0 1 1\n0 1 1\n0 1 2\n"));
  const test::ConsoleRun run = runConsole(program, " TFD1\rN\r\r\rXX");
  const std::string& listing = screenOf(run, "Error(s) reading file: ");
  EXPECT_NE(listing.find("\n  Nondeterministic transition at lines 8 and 9.\n"), std::string::npos) << listing;
  EXPECT_EQ(listing.find("line 7"), std::string::npos);
  EXPECT_FALSE(exists(program.user("N.DES")));
}

TEST_F(OutputDialogs, ConvertingOneFileAsksBeforeOverwritingAndLogsTheDES) {
  createDES(program, "M", 1, "", "");
  const std::string before = readFile(program.user("M.DES"));
  writeFile(program.user("M.ADS"), adsText("2", "0\n", "0 1 1\n1 2 0\n"));
  const test::ConsoleRun run = runConsole(program, " TFD1\rM\r\rnM2\r\rXX");
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_GE(findScreen(run, "Filename M already exists.  OK to overwrite?  (*y/n)"), 0);
  EXPECT_GE(findScreen(run, "Enter new name for DES2 ..............."), 0);
  EXPECT_GE(findScreen(run, "M2 has been filed as "), 0);
  EXPECT_EQ(test::describe(loadUser("M2.DES")), "2: 0-1->1 1-2->0 | marked 0");
  EXPECT_EQ(readFile(program.user("M.DES")), before);
  EXPECT_EQ(program.sessionLog(), "M2 = Create(M2,[mark 0],[tran [0,1,1],[1,2,0]])  (2,2)\n\n");
}

TEST_F(OutputDialogs, ConvertingAllFilesListsTheFailures) {
  writeFile(program.user("GOOD.ADS"), adsText("1", "*\n", "0 1 0\n"));
  writeFile(program.user("BAD1.ADS"), adsText("x", "", ""));
  writeFile(program.user("bad2.ads"), adsText("1", "", "0 1 1\n"));
  writeFile(program.user("NOTE.TXT"), "not ADS");
  const test::ConsoleRun run = runConsole(program, " TFD2\r\rXX");
  EXPECT_EQ(run.status, 0) << run.output;
  const std::string& shown = screenOf(run, "Number of successful filings is: 1");
  EXPECT_EQ(rowOf(shown, 6), "Failures:  BAD1.ADS" + std::string(9, ' ') + "bad2.ads");
  EXPECT_EQ(rowOf(shown, 20), "Locate .ADS errors by inspection or by FD/ADS->DES/Option 1.");
  EXPECT_EQ(rowOf(shown, 23), "D=PgDn  U=PgUp  Esc (Exit)");
  EXPECT_EQ(test::describe(loadUser("GOOD.DES")), "1: 0-1->0 | marked 0");
  EXPECT_FALSE(exists(program.user("bad2.DES")));
  EXPECT_EQ(program.sessionLog(), "GOOD = Create(GOOD,[mark 0],[tran [0,1,0]])  (1,1)\n\n");
}

TEST_F(OutputDialogs, TheFailureListPagesForwardAndBack) {
  for (int k = 0; k < 60; ++k) writeFile(program.user("B" + std::to_string(100 + k) + ".ADS"), "");
  const test::ConsoleRun run = runConsole(program, " TFD2\rdu" + std::string(ESC) + "XX");
  EXPECT_EQ(run.status, 0) << run.output;
  const int first = findScreen(run, "Failures:  B100.ADS");
  ASSERT_GE(first, 0);
  const std::string page1 = run.screens[static_cast<std::size_t>(first)];
  // Four names to a row, rows 6 to 18: 52 names on the first page.
  EXPECT_EQ(rowOf(page1, 18), std::string(11, ' ') + "B148.ADS" + std::string(9, ' ') + "B149.ADS" +
                                  std::string(9, ' ') + "B150.ADS" + std::string(9, ' ') + "B151.ADS");
  EXPECT_EQ(rowOf(run.screens[static_cast<std::size_t>(first + 1)], 6).substr(0, 19), "Failures:  B152.ADS");
  EXPECT_EQ(run.screens[static_cast<std::size_t>(first + 2)], page1);
  // Escape ends the list without the Enter pause.
  EXPECT_NE(run.screens[static_cast<std::size_t>(first + 3)].find("Procedure desired:"), std::string::npos);
}

TEST_F(OutputDialogs, ConvertingAllFilesWithoutFailuresSaysNone) {
  writeFile(program.user("ONE.ADS"), adsText("1", "", ""));
  const test::ConsoleRun run = runConsole(program, " TFD2\r\rXX");
  const std::string& shown = screenOf(run, "Number of successful filings is: 1");
  EXPECT_EQ(rowOf(shown, 6), "Failures: 0");
  EXPECT_EQ(rowOf(shown, 23), "Press <Enter> to return to KAV Procedures");
  EXPECT_EQ(program.sessionLog(), "ONE = Create(ONE)  (1,0)\n\n");
}

// --- Pictures ---------------------------------------------------------------------------

TEST_F(OutputDialogs, ConvertMakesThePictureAndDisplayTellsWhereItIsWithoutAViewer) {
  createA();
  script("Graphviz/dot", "while [ \"$1\" != -o ]; do shift; done\nprintf GIF89a > \"$2\"\n");
  const test::ConsoleRun run = runConsole(program, " TCEA\r\r\r\rDEA\r\rXX");
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_GE(findScreen(run, "A.DES successfully converted to A.GIF"), 0);
  EXPECT_GE(findScreen(run, "Call DE to display transition diagram."), 0);
  EXPECT_EQ(readFile(program.user("A.GIF")), "GIF89a");
  const std::string& display = screenOf(run, "No picture viewer is available");
  EXPECT_NE(display.find(program.user("A.GIF")), std::string::npos) << display;
}

TEST_F(OutputDialogs, ConvertWithRealGraphvizUnderANewName) {
  if (findProgram("dot").empty()) GTEST_SKIP() << "Graphviz (dot) is not installed";
  createA();
  const test::ConsoleRun run = runConsole(program, " TCEA\ryPIC\ry\rXX");
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_GE(findScreen(run, "A.DES successfully converted to PIC.GIF"), 0);
  EXPECT_EQ(readFile(program.user("PIC.GIF")).substr(0, 4), "GIF8");
  EXPECT_FALSE(exists(program.user("A.GIF")));
}

TEST_F(OutputDialogs, ConvertWithoutGraphvizSaysWhatIsMissing) {
  createA();
  const PathSetting path(program.dir.path + "nowhere");
  const test::ConsoleRun run = runConsole(program, " TCEA\r\r\r\rXX");
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_GE(findScreen(run, "Conversion failure: Graphviz folder must be placed in workspace!"), 0);
  EXPECT_FALSE(exists(program.user("A.GIF")));
}

// --- The examples -----------------------------------------------------------------------

TEST_F(OutputDialogs, TheFactoryExamplesConvertAndYieldTheKnownSupervisor) {
  for (const char* model : {"MACH1.ADS", "MACH2.ADS", "BUFSPEC.ADS"})
    writeFile(program.user(model), readFile(std::string(KAV_EXAMPLES_DIR) + "/" + model));
  script("Graphviz/dot", "while [ \"$1\" != -o ]; do shift; done\nprintf GIF89a > \"$2\"\n");
  const test::ConsoleRun run = runConsole(program, " TFD2\r\r32\rMACH1\rMACH2\rFACT\r\r5FACT\rBUFSPEC\rSUPER\r\r"
                                                   "7FACT\rSUPER\rSUPDAT\r\rSESUPER\r\rCESUPER\r\ry\rXX");
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_GE(findScreen(run, "Number of successful filings is: 3"), 0);
  const std::string log = program.sessionLog();
  EXPECT_NE(log.find("FACT = Sync(MACH1,MACH2)  (4,8)"), std::string::npos) << log;
  EXPECT_NE(log.find("SUPER = Supcon(FACT,BUFSPEC)  (6,8)"), std::string::npos) << log;
  EXPECT_NE(log.find("SUPDAT = Condat(FACT,SUPER)  Controllable."), std::string::npos) << log;
  EXPECT_GE(findScreen(run, "SUPER    # states: 6"), 0);
  EXPECT_TRUE(exists(program.user("SUPER.GIF")));
}

} // namespace
} // namespace kav
