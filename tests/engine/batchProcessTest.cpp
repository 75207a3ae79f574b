// The batch child as a process: orva.prm in, result code and files out.

#include <sys/stat.h>

#include <gtest/gtest.h>

#include "engine/params.h"
#include "engine/protocol.h"
#include "model/desfile.h"
#include "support/testSupport.h"

namespace kav {
namespace {

using namespace test;

// One run of the child: the lines after the procedure code, what it leaves
// in orva.rst ("none" when nothing) and, optionally, describe() of a file
// afterwards ("unreadable" when it is not there).
struct Row {
  int code;
  const char* params;
  const char* result;
  const char* file = nullptr;
  const char* content = nullptr;
};

// The rows run in this order in one user directory; failures write to NO,
// which must never appear.
const Row ROWS[] = {
    // Create, Trim, BFS-recode, Statistics
    {PROC_CREATE, "C4\n4\n2\n-1\n0 1 1\n1 2 2\n0 3 3\n", "0\n", "C4.DES", "4: 0-1->1 0-3->3 1-2->2 | marked 2"},
    {PROC_STATISTICS, "C4\n0\n", "0\n4\n3\n1\n0\n\n"},
    {PROC_CREATE, "ONE\n1\n-1\n", "0\n"},
    {PROC_STATISTICS, "ONE\n0\n", "0\n1\n0\n1\n0\n\n"},
    // A silent transition makes a DES nondeterministic.
    {PROC_CREATE, "EPS\n2\n-1\n0 1000 1\n", "0\n"},
    {PROC_STATISTICS, "EPS\n0\n", "0\n2\n1\n0\n0\n\n"},
    {PROC_STATISTICS, "SD\n-1\n", "0\n2\n2\n1\n1\n\n"},
    {PROC_CREATE, "G\n3\n0\n-1\n0 1 1\n1 2\n", "0\n", "G.DES", "3: 0-1->1 | marked 0"}, // incomplete group dropped
    {PROC_CREATE, "R\n8\n6\n-1\n0 3 7\n0 1 4\n7 2 6\n4 2 5\n6 1 0\n1 1 1\n", "0\n"},
    {PROC_BFS_RECODE, "R\nR2\n", "0\n", "R2.DES", "5: 0-1->1 0-3->2 1-2->3 2-2->4 4-1->0 | marked 4"},
    {PROC_TRIM, "MISSING\nE\n", "0\n", "E.DES", "0: | marked"},
    {PROC_TRIM, "", "2\n"},
    {PROC_TRIM, "A\n", "2\n"},
    {PROC_TRIM, "A\n\n", "2\n"},
    {PROC_TRIM, "A\n../NO\n", "2\n"},
    {PROC_CREATE, "NO\n3\n3\n-1\n", "2\n"},         // marker out of range
    {PROC_CREATE, "NO\n3\n-1\n0 1001 1\n", "2\n"},  // label out of range
    {PROC_CREATE, "NO\n3\n-1\n0 1 3\n", "2\n"},     // target out of range
    {PROC_CREATE, "NO\n3\n-1\n3 1 0\n", "2\n"},     // source out of range
    {PROC_CREATE, "NO\n3\n-1\n0 one 1\n", "2\n"},
    {PROC_CREATE, "NO\n-4\n-1\n", "2\n"},
    {PROC_STATISTICS, "A\n5\n", "2\n"},
    {77, "A\nNO\n", "0\n"},
    {-1, "A\nNO\n", "0\n"},
    {PROC_TRIM, "BAD\nNO\n", "7\n"},
    {PROC_TRIM, "A\nDIR\n", "8\n"},
    {PROC_TRIM, "HUGE\nNO\n", "3\n"}, // a tiny file that names 2^50 states

    // Sync, Meet, Supcon, Condat, Minstate. 5 is used by neither SA nor SB:
    // it loops through the first step and SC then decides it.
    {PROC_SYNC, "S\n3\nSA\nSB\nSC\n", "0\n", "S.DES",
     "8: 0-1->1 0-3->2 0-5->3 1-3->4 1-5->5 2-1->4 2-5->6 3-1->5 3-3->6 3-5->3 4-5->7 5-3->7 5-5->5 6-1->7 6-5->6 "
     "7-5->7 | marked 4 7"},
    {PROC_SYNC, "S\n1\nSC\n", "0\n", "S.DES", "2: 0-5->1 1-5->1 | marked 0 1"},
    {PROC_SYNC, "S\n3\nSA\nMISSING\nSB\n", "0\n", "S.DES", "0: | marked"},
    {PROC_SYNC, "NO\n2\nA\n", "2\n"},
    {PROC_SYNC, "NO\n0\n", "2\n"},
    {PROC_SYNC, "NO\n21\nA\n", "2\n"},
    {PROC_MEET, "NO\nA\n", "2\n"},
    {PROC_MEET, "NO\n", "2\n"},
    {PROC_SUPCON, "A\nA\n", "2\n"},
    {PROC_CONDAT, "A\n", "2\n"},
    {PROC_MINSTATE, "A\n", "2\n"},
    {PROC_SYNC, "NO\n2\nA\nBAD\n", "7\n"},
    {PROC_MEET, "NO\n2\nBAD\nA\n", "7\n"},
    {PROC_SUPCON, "A\nBAD\nNO\n", "7\n"},
    {PROC_CONDAT, "BAD\nA\nNO\n", "7\n"},
    {PROC_MINSTATE, "BAD\nNO\n", "7\n"},
    {PROC_SYNC, "DIR\n2\nA\nA\n", "8\n"},
    {PROC_MINSTATE, "A\nDIR\n", "8\n"},
    // 256 targets of one label on each side: 65,536 transitions at (0, 0).
    {PROC_SYNC, "NO\n2\nFAN\nFAN\n", "9\n"},
    {PROC_MEET, "NO\n2\nFAN\nFAN\n", "9\n"},
    {PROC_SUPCON, "FAN\nFAN\nNO\n", "9\n"},

    // Selfloop, Mutex, Complement, Project, Relabel, Allevents, Isomorph,
    // Nonconflict
    {PROC_SELFLOOP, "A\nNO\n1001\n", "2\n"},
    // (2, 0) is cut, and (1, 0) with it; pairs beyond the operands and an
    // incomplete last pair are ignored.
    {PROC_MUTEX, "M1\nM2\nX\n2 0\n9 9\n1\n", "0\n", "X.DES", "4: 0-5->1 1-1->2 2-2->3 | marked 3"},
    {PROC_MUTEX, "M1\nM2\nNO\n-2 0\n", "2\n"},
    {PROC_MUTEX, "M1\nM2\n", "2\n"},
    {PROC_COMPLEMENT, "MISSING\nX\n1\n2\n", "0\n", "X.DES", "1: 0-1->0 0-2->0 | marked 0"},
    {PROC_PROJECT, "A\n", "2\n"},
    // Projected only when the labels collide.
    {PROC_RELABEL, "RL\nX\n1 3\n", "0\n", "X.DES", "4: 0-3->1 1-5->2 1-7->3 2-5->2 3-7->3 | marked"},
    {PROC_RELABEL, "RL\nNO\n1 1001\n", "2\n"},
    {PROC_ALLEVENTS, "AD\nX\n2\n", "0\n", "X.DES", "1: 0-2->0 0-6->0 | marked 0"},
    // In mode 3 the first line is not a name and may hold anything.
    {PROC_ALLEVENTS, "not/a name\nX\n3\n7\n3\n7\n", "0\n", "X.DES", "1: 0-3->0 0-7->0 | marked 0"},
    {PROC_ALLEVENTS, "\nX\n3\n", "0\n", "X.DES", "1: | marked 0"},
    {PROC_ALLEVENTS, "not/a name\nNO\n1\n", "2\n"},
    {PROC_ALLEVENTS, "A\nNO\n4\n", "2\n"},
    {PROC_ISOMORPH, "IA\nIC\n", "0\n0\n0\n-1\n -1\n -1\n "},
    {PROC_ISOMORPH, "IA\nA\n", "0\n0\n0\n"},
    {PROC_ISOMORPH, "IA\nMISSING\n", "0\n0\n0\n"},
    {PROC_ISOMORPH, "MISSING\nNOTHING\n", "0\n1\n1\n"},
    {PROC_ISOMORPH, "IA\n", "2\n"},
    {PROC_NONCONFLICT, "NA\nMISSING\n", "0\n1\n\n"},
    {PROC_SELFLOOP, "BAD\nNO\n", "7\n"},
    {PROC_MUTEX, "A\nBAD\nNO\n", "7\n"},
    {PROC_COMPLEMENT, "BAD\nNO\n", "7\n"},
    {PROC_PROJECT, "BAD\nNO\n", "7\n"},
    {PROC_RELABEL, "BAD\nNO\n", "7\n"},
    {PROC_ALLEVENTS, "BAD\nNO\n1\n", "7\n"},
    {PROC_ISOMORPH, "A\nBAD\n", "7\n"},
    {PROC_NONCONFLICT, "BAD\nA\n", "7\n"},
    {PROC_PROJECT, "A\nDIR\n1\n", "8\n"},
    {PROC_SELFLOOP, "FULL\nNO\n1000\n", "9\n"}, // 65,535 transitions at 0 take no more
    {PROC_COMPLEMENT, "FULL\nNO\n1000\n", "9\n"},

    // Force, Vocalize, Outconsis, Hiconsis, Higen: forcible up to -1, then
    // preemptable; ending right after -1 changes nothing.
    {PROC_FORCE, "FA\nX\n9\n1\n-1\n", "0\n", "X.DES", "3: 0-1->1 0-2->0 0-4->2 | marked 1"},
    {PROC_FORCE, "FA\nNO\n1001\n1\n-1\n", "2\n"},
    {PROC_FORCE, "FA\nNO\n", "2\n"},
    {PROC_VOCALIZE, "VA\nX\n0 1 1 10\n0 3 1 20\n", "0\n", "X.DES",
     "3: 0-1->1 0-3->2 1-5->0 2-5->0 | marked 1 2 | vocal 1:10 2:20"},
    {PROC_VOCALIZE, "VA\nX\n0 0 1 99\n", "0\n", "X.DES", "2: 0-1->1 0-3->1 1-5->0 | marked 1"}, // no such move
    {PROC_VOCALIZE, "VA\nNO\n0 1 2 10\n", "2\n"}, // states outside DES1
    {PROC_VOCALIZE, "VA\nNO\n0 1 1 100\n", "2\n"},
    {PROC_VOCALIZE, "VA\nNO\n0 1 1 9\n", "2\n"},
    {PROC_VOCALIZE, "VA\nNO\n0 x 1 10\n", "2\n"},
    {PROC_OUTCONSIS, "V0\nNO\n", "6\n"},
    {PROC_HICONSIS, "V0\nNO\n0\n", "6\n"},
    {PROC_HIGEN, "V0\nNO\n", "6\n"},
    {PROC_FORCE, "MISSING\nX\n9\n1\n-1\n2\n", "0\n", "X.DES", "0: | marked"},
    {PROC_VOCALIZE, "MISSING\nX\n4 1 7 10\n", "0\n", "X.DES", "0: | marked"},
    {PROC_OUTCONSIS, "MISSING\nX\n", "0\n", "X.DES", "0: | marked"},
    {PROC_HICONSIS, "MISSING\nX\n1\n", "0\n", "X.DES", "0: | marked"},
    {PROC_HIGEN, "MISSING\nX\n", "0\n", "X.DES", "0: | marked"},
    {PROC_OUTCONSIS, "OA\nX\n", "0\n", "X.DES", "3: 0-1->2 0-2->1 | marked | vocal 1:100 2:101"},
    // A controllable fork between outputs 10 and 20 gets output 111.
    {PROC_HICONSIS, "HF\nX\n0\n", "0\n", "X.DES", "4: 0-1->1 1-2->2 1-4->3 | marked | vocal 1:111 2:100 3:200"},
    {PROC_HICONSIS, "HF\nNO\n2\n", "2\n"},
    {PROC_HICONSIS, "HFULL\nNO\n1\n", "5\n"}, // outputs 10..99 all in use
    {PROC_HIGEN, "HG\nX\n", "0\n", "X.DES", "2: 0-10->1 1-20->0 | marked 1"},

    // Supnorm, Supscop, Supconrobs, Sup(s)qc, (S)Observable, Natobs,
    // Suprobs, Uncertmod. Those that need their inputs leave no result
    // when one is missing.
    {PROC_SUPQC, "1\nQD\nX\n2\n", "0\n0\n 1\n 2\n 3\n 3\n ", "X.DES",
     "4: 0-1->2 0-3->2 0-1000->1 1-1->2 2-5->3 3-1->3 | marked 2"},
    {PROC_SUPQC, "1\nEMPTY\nX\n", "0\n", "X.DES", "0: | marked"},
    {PROC_SUPQC, "1\nQD\n", "2\n"},
    {PROC_SUPQC, "3\nQD\nNO\n", "2\n"},
    {PROC_SUPQC, "1\nQD\nNO\nx\n", "2\n"},
    {PROC_SUPQC, "1\nMISSING\nNO\n", "none"},
    {PROC_SUPQC, "1\nBAD\nNO\n", "7\n"},
    {PROC_SUPQC, "1\nQD\nDIR\n", "8\n"},
    {PROC_OBSERVABLE, "1\nA\n", "2\n"},
    {PROC_OBSERVABLE, "0\nA\nA\n", "2\n"},
    {PROC_OBSERVABLE, "1\nA\nMISSING\n", "none"},
    {PROC_OBSERVABLE, "1\nBAD\nA\n", "7\n"},
    {PROC_NATOBS, "ND\nX\nY\n1\n3\n5\n", "0\n", "X.DES", "3: 0-1->2 0-2->1 0-3->2 1-1->2 2-5->0 | marked 2"},
    {PROC_NATOBS, "ND\nX\nY\n1\n3\n5\n", "0\n", "Y.DES", "1: 0-1->0 0-2->0 0-3->0 0-5->0 | marked 0"},
    {PROC_NATOBS, "ND\nNO\n", "2\n"},
    {PROC_NATOBS, "MISSING\nNO\nNO\n1\n", "none"},
    {PROC_SUPROBS, "RG\nRE\nNO\n0\n2\n", "0\n"}, // computed only for flag 1
    {PROC_SUPROBS, "RG\nRE\nNO\n", "2\n"},
    {PROC_SUPROBS, "RG\nMISSING\nNO\n1\n", "none"},
    {PROC_SUPROBS, "BAD\nRE\nNO\n1\n", "7\n"},
    {PROC_SUPNORM, "A\nUB\nX\n", "0\n", "X.DES", "2: 0-1->1 | marked 1"},
    {PROC_SUPNORM, "A\nMISSING\nX\n", "0\n", "X.DES", "0: | marked"},
    {PROC_UNCERTMOD, "MISSING\nX\n", "0\n", "X.DES", "0: | marked"},
    {PROC_SUPNORM, "A\nBAD\nNO\n", "7\n"},
    {PROC_SUPNORM, "A\nA\n", "2\n"},
    {PROC_SUPNORM, "A\nA\nNO\n1001\n", "2\n"},
    {PROC_SUPSCOP, "A\nBAD\nNO\n", "7\n"},
    {PROC_SUPSCOP, "A\nA\n", "2\n"},
    {PROC_SUPSCOP, "A\nA\nNO\n1001\n", "2\n"},
    {PROC_UNCERTMOD, "BAD\nNO\n", "7\n"},
    {PROC_UNCERTMOD, "A\n", "2\n"},
    // The legal part forbids 4 and, since 2 is erased, cannot tell what
    // happened; with 4 legal (and its end marked) nothing needs to go.
    {PROC_SUPCONROBS, "CG\nCE\nX\n", "0\n", "X.DES", "1: | marked 0"},
    {PROC_SUPCONROBS, "CG4\nCG4\nX\n2\n", "0\n", "X.DES", "4: 0-1->1 1-2->2 1-4->3 2-3->0 | marked 0 2 3"},
    {PROC_SUPCONROBS, "A\nA\n", "2\n"},
    {PROC_SUPCONROBS, "A\nMISSING\nNO\n", "none"},
    {PROC_SUPCONROBS, "A\nBAD\nNO\n", "7\n"},

    // Supreduce: the bound and the compression ratio; Localize
    {PROC_SUPREDUCE, "EMPTY\nCS\nCD\nX\n1\n1\n", "0\n0 0.000000\n", "X.DES", "0: | marked"},
    // A one-row supervisor is copied and bounded only when asked.
    {PROC_SUPREDUCE, "CP\nONELOOP\nCD\nX\n1\n1\n", "0\n1 1.000000\n", "X.DES", "1: 0-1->0 | marked 0"},
    {PROC_SUPREDUCE, "CP\nONELOOP\nCD\nX\n1\n0\n", "0\n0 1.000000\n"},
    {PROC_SUPREDUCE, "CP\nCS\nD3\nNO\n1\n1\n", "4\n"}, // control data of a three-state supervisor
    {PROC_SUPREDUCE, "CP\nBAD\nCD\nNO\n1\n1\n", "4\n"},
    {PROC_SUPREDUCE, "MISSING\nCS\nCD\nNO\n1\n1\n", "4\n"},
    {PROC_SUPREDUCE, "CP\nCS\nCD\nNO\n1\n", "2\n"},
    {PROC_SUPREDUCE, "CP\nCS\nCD\n", "2\n"},
    {PROC_SUPREDUCE, "CP\nCS\nCD\nNO\n1\n2\n", "2\n"},
    {PROC_SUPREDUCE, "CP\nCS\nCD\nNO\n7\n1\n", "2\n"},
    {PROC_LOCALIZE, "PLANT\nSUPER\n2\nM1L\nM2L\n2\nLOC1\nLOC2\n", "0\n", "LOC1.DES", "2: 0-1->0 0-2->1 1-3->0 | marked 0"},
    {PROC_LOCALIZE, "PLANT\nSUPER\n2\nM1L\nM2L\n2\nLOC3\nLOC4\n", "0\n", "LOC4.DES", "2: 0-2->1 1-3->0 | marked 0"},
    {PROC_LOCALIZE, "PLANT\nSUPER\n2\nM1L\nM2L\n2\nNO\n", "2\n"},
    {PROC_LOCALIZE, "PLANT\nSUPER\n2\nM1L\n", "2\n"},
    {PROC_LOCALIZE, "PLANT\nSUPER\n2\nM1L\nM2L\n3\nNO\nNO1\nNO2\n", "2\n"},
    {PROC_LOCALIZE, "PLANT\nSUPER\n2\nM1L\nM2L\n2\nNO\nM1L\n", "2\n"}, // would overwrite an input
    {PROC_LOCALIZE, "PLANT\nSUPER\n2\nM1L\nM2L\n2\nsuper\nNO\n", "2\n"},
    {PROC_LOCALIZE, "PLANT\nMISSING\n2\nM1L\nM2L\n2\nNO\nNO1\n", "none"},
};

class BatchChild : public ::testing::Test {
protected:
  ProgramDir program;
};

TEST_F(BatchChild, AnswersEveryProcedureAsItsTableSays) {
  const auto save = [this](const std::string& file, const DES& des) {
    program.save(file, des, file.ends_with(".DAT") ? -1 : 0);
  };
  const auto vocal = [](DES d, std::initializer_list<std::pair<std::int64_t, int>> outputs) {
    for (const auto& [s, v] : outputs) d[s].vocal = static_cast<std::int16_t>(v);
    return d;
  };
  save("A.DES", makeDES(2, {{0, 1, 1}}, {1}));
  writeFile(program.user("BAD.DES"), "KAV DES file\x1aZ8^0L;2 truncated");
  ::mkdir(program.user("DIR.DES").c_str(), 0755);
  save("EMPTY.DES", DES{});
  save("SD.DAT", makeDES(2, {{1, 3, 0}, {1, 5, 0}}));
  std::string huge = std::string("KAV DES file. Version 1.0\x1aZ8^0L;2\x55\xaa\x00\xff", 37) + std::string(8, '\0');
  for (std::uint64_t v : {1ull << 50, 0ull, ~0ull, ~0ull, ~0ull})
    for (int k = 0; k < 8; ++k) huge += static_cast<char>(v >> (8 * k));
  writeFile(program.user("HUGE.DES"), huge);
  std::vector<test::Edge> fan;
  for (std::int64_t t = 0; t < 256; ++t) fan.push_back({0, 1, t});
  save("FAN.DES", makeDES(256, fan, {}));
  std::vector<test::Edge> full;
  for (std::uint16_t e = 0; e <= 1000 && full.size() < 65535; ++e)
    for (std::int64_t t = 0; t < 66 && full.size() < 65535; ++t) full.push_back({0, e, t});
  save("FULL.DES", makeDES(66, full, {}));
  save("SA.DES", makeDES(2, {{0, 1, 1}}, {1}));
  save("SB.DES", makeDES(2, {{0, 3, 1}}, {1}));
  save("SC.DES", makeDES(2, {{0, 5, 1}, {1, 5, 1}}, {0, 1}));
  save("M1.DES", makeDES(3, {{0, 1, 1}, {1, 2, 2}}, {2}));
  save("M2.DES", makeDES(2, {{0, 5, 1}}, {1}));
  save("RL.DES", makeDES(3, {{0, 1, 1}, {0, 3, 2}, {1, 5, 1}, {2, 7, 2}}, {}));
  save("AD.DAT", makeDES(3, {{1, 2, 0}, {2, 6, 0}, {2, 2, 0}}, {}));
  save("IA.DES", makeDES(3, {{0, 1, 1}, {0, 2, 2}, {1, 3, 0}}, {1}));
  save("IC.DES", makeDES(3, {{0, 1, 2}, {0, 2, 1}, {2, 3, 0}}, {1}));
  save("NA.DES", makeDES(3, {{0, 1, 1}, {1, 2, 2}}, {0, 2}));
  save("FA.DES", makeDES(3, {{0, 1, 1}, {0, 2, 0}, {0, 4, 2}}, {1}));
  save("VA.DES", makeDES(2, {{0, 1, 1}, {0, 3, 1}, {1, 5, 0}}, {1}));
  save("V0.DES", vocal(makeDES(2, {{0, 1, 1}}, {}), {{0, 10}}));
  save("OA.DES", vocal(makeDES(2, {{0, 1, 1}, {0, 2, 1}}, {}), {{1, 10}}));
  save("HF.DES", vocal(makeDES(4, {{0, 1, 1}, {1, 2, 2}, {1, 4, 3}}, {}), {{2, 10}, {3, 20}}));
  std::vector<test::Edge> chain;
  for (std::int64_t s = 0; s < 90; ++s) chain.push_back({s, 2, s + 1});
  DES outputs = makeDES(91, chain, {});
  for (std::int64_t s = 1; s <= 90; ++s) outputs[s].vocal = static_cast<std::int16_t>(9 + s);
  save("HFULL.DES", outputs);
  save("HG.DES", vocal(makeDES(4, {{0, 1, 1}, {1, 2, 2}, {2, 3, 3}, {3, 4, 0}}, {2}), {{1, 10}, {3, 20}}));
  // Silent 2 between two cells of the quasi-congruence; 3 and 4 merge.
  save("QD.DES", makeDES(5, {{0, 1, 2}, {0, 3, 2}, {0, 2, 1}, {1, 1, 2}, {2, 5, 3}, {3, 2, 4}, {4, 1, 3}}, {2}));
  save("ND.DES", makeDES(3, {{0, 1, 2}, {0, 3, 2}, {0, 2, 1}, {1, 1, 2}, {2, 5, 0}}, {2}));
  save("RG.DES", makeDES(4, {{0, 2, 1}, {0, 1, 2}, {1, 1, 3}}, {0, 1, 2, 3}));
  save("RE.DES", makeDES(4, {{0, 2, 1}, {0, 1, 2}}, {0, 1, 2, 3}));
  save("UB.DES", makeDES(3, {{0, 1, 1}, {0, 2, 2}, {2, 1, 1}}, {1}));
  save("CG.DES", makeDES(4, {{0, 1, 1}, {1, 2, 2}, {1, 4, 3}, {2, 3, 0}}, {0, 2}));
  save("CE.DES", makeDES(3, {{0, 1, 1}, {1, 2, 2}, {2, 3, 0}}, {0, 2}));
  save("CG4.DES", makeDES(4, {{0, 1, 1}, {1, 2, 2}, {1, 4, 3}, {2, 3, 0}}, {0, 2, 3}));
  // A four-cycle supervisor that reduces to two states, its plant and
  // empty control data.
  save("CP.DES", makeDES(4, {{0, 1, 1}, {1, 3, 2}, {2, 1, 3}, {3, 3, 0}}));
  save("CS.DES", makeDES(4, {{0, 1, 1}, {1, 3, 2}, {2, 1, 3}, {3, 3, 0}}, {0, 2}));
  save("CD.DAT", allocStates(4));
  save("D3.DAT", allocStates(3));
  save("ONELOOP.DES", makeDES(1, {{0, 1, 0}}, {0}));
  test::saveTwoMachines(program, "M1L", "M2L");

  for (const Row& row : ROWS) {
    SCOPED_TRACE(testing::Message() << "code " << row.code << ":\n" << row.params);
    EXPECT_EQ(test::runProcedure(program, row.code, row.params), row.result);
    EXPECT_FALSE(exists(program.user("orva.prm")));
    if (row.file) {
      EXPECT_EQ(program.describeFile(row.file), row.content) << row.file;
    }
  }
  for (const char* never : {"NO.DES", "NO.DAT", "$$$$$$.DES"}) EXPECT_FALSE(exists(program.user(never)));
}

TEST_F(BatchChild, AnswersOneWithoutAParameterFileAndTwoForABadHeader) {
  EXPECT_EQ(test::runBinary(program.binary, {"-cmdline"}, program.dir.path).status, 0);
  EXPECT_EQ(readFile(program.user("orva.rst")), "1\n");
  writeFile(program.user("orva.prm"), "0\nx\n2\nA\nB\n");
  test::runBinary(program.binary, {"-cmdline"}, program.dir.path);
  EXPECT_EQ(readFile(program.user("orva.rst")), "2\n");
}

TEST_F(BatchChild, MoreThanSixteenBitsOfTransitionsAtOneStateIsNine) {
  // 1001 labels times 66 targets: 66,066 transitions from state 0.
  std::string body = "BIG\n66\n-1\n";
  for (int target = 0; target < 66; ++target)
    for (int event = 0; event <= 1000; ++event) body += "0 " + std::to_string(event) + " " + std::to_string(target) + "\n";
  EXPECT_EQ(test::runProcedure(program, PROC_CREATE, body), "9\n");
  EXPECT_FALSE(exists(program.user("BIG.DES")));
}

TEST_F(BatchChild, ExhaustedMemoryEndsWithThreeAndStatusZero) {
  if (test::sanitizedBuild()) GTEST_SKIP() << "the sanitizer's allocator never reaches the new-handler";
  // 50 million states need 800 MB; the child gets 256 MB of address space.
  EXPECT_EQ(test::runProcedure(program, PROC_CREATE, "HUGE\n50000000\n0\n-1\n", 256ull << 20), "3\n");
  EXPECT_FALSE(exists(program.user("HUGE.DES")));
}

TEST_F(BatchChild, EndsWithStatusOneAndNoResultWhenNoFreshLabelIsLeft) {
  // Every label below 1023 is in use at 0; relabelling 4 as 5 makes
  // duplicates at 0 and at 1. The first takes the freed label 4, the
  // second finds none. Higen cannot renumber a thousand labels below 1000.
  std::vector<test::Edge> edges{{1, 4, 0}, {1, 5, 1}}, many;
  for (std::uint16_t e = 0; e < 1023; ++e) edges.push_back({0, e, e == 5 ? 1 : 0});
  for (std::uint16_t e = 0; e < 1000; ++e) many.push_back({0, e, 0});
  program.save("FULL.DES", makeDES(2, edges, {}));
  program.save("MANY.DES", makeDES(1, many, {}));
  const std::pair<int, const char*> cases[] = {
      {PROC_RELABEL, "FULL\nR\n4 5\n"}, {PROC_HIGEN, "MANY\nR\n"}};
  const char* messages[] = {"Excessed maximum - fix semi-deterministism has fail\n",
                            "Excessed maximum - re-map events has fail\n"};
  for (int k = 0; k < 2; ++k) {
    const test::RunResult r = runBatchChild(program, cases[k].first, cases[k].second);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find(messages[k]), std::string::npos) << r.output;
    EXPECT_FALSE(exists(program.user("orva.rst")));
    EXPECT_FALSE(exists(program.user("R.DES")));
  }
  // The interactive side sees a failed child.
  ParameterLines lines;
  addName(lines, "FULL");
  addName(lines, "R");
  addPair(lines, 4, 5);
  EXPECT_EQ(runBatchProcedure(PROC_RELABEL, lines), RESULT_CHILD_FAILED);
}

TEST_F(BatchChild, SupconrobsWhoseNestedSupconCannotWriteLeavesNoResult) {
  program.save("G.DES", makeDES(2, {{0, 1, 1}}, {1}));
  ASSERT_EQ(::mkdir(program.user("$$$$$$.DES").c_str(), 0700), 0);
  ASSERT_EQ(::mkdir(program.user("$$$$$$.DES/x").c_str(), 0700), 0);
  EXPECT_EQ(test::runProcedure(program, PROC_SUPCONROBS, "G\nG\nR\n"), "none");
  EXPECT_FALSE(exists(program.user("R.DES")));
}

TEST_F(BatchChild, ObservabilityReaderLoadsAndDeletesTheReport) {
  program.save("P.DES", makeDES(3, {{0, 2, 1}, {0, 1, 2}, {1, 1, 2}}, {0, 1}));
  program.save("K.DES", makeDES(3, {{0, 2, 1}, {0, 1, 2}}, {0}));
  ParameterLines lines;
  addNumber(lines, 1);
  addName(lines, "P");
  addName(lines, "K");
  addNumber(lines, 2);
  long verdict = -1;
  DES report;
  EXPECT_EQ(runBatchProcedure(PROC_OBSERVABLE, lines, [&] { return readObservabilityResult(verdict, report); }),
            RESULT_OK);
  EXPECT_EQ(verdict, 0);
  EXPECT_EQ(test::describe(report), "3: 1-1->0 1-1001->0 | marked");
  EXPECT_FALSE(exists(program.user("$$$.DES")));
  EXPECT_FALSE(exists(program.user("orva.rst")));
  // A result naming a report that is not there.
  writeFile(program.user("orva.rst"), "0\n1\nNOREPORT\n\n");
  EXPECT_EQ(readObservabilityResult(verdict, report), RESULT_NO_REPORT);
  EXPECT_FALSE(exists(program.user("orva.rst")));
  writeFile(program.user("orva.rst"), "3\n");
  EXPECT_EQ(readObservabilityResult(verdict, report), RESULT_OUT_OF_MEMORY);
  EXPECT_EQ(readObservabilityResult(verdict, report), RESULT_NO_RESULT);
}

TEST_F(BatchChild, DebugModeShowsProgressAndLeavesNoOutputFiles) {
  writeFile(program.user("orva.prm"), "1\n1\n0\nD\n2\n1\n-1\n0 1 1\n");
  test::runBinary(program.binary, {"-cmdline"}, program.dir.path);
  writeFile(program.user("orva.prm"), "1\n1\n2\nD\nD2\n");
  const test::RunResult r = test::runBinary(program.binary, {"-cmdline"}, program.dir.path);
  EXPECT_NE(r.output.find("B_REACH: 0"), std::string::npos) << r.output;
  EXPECT_FALSE(exists(program.user("orva.out")));
  EXPECT_EQ(readFile(program.user("orva.rst")), "0\n");
}

// The minimizer is chosen by the selector line of orva.prm and handed down
// to every minimization a procedure makes, also inside project and the
// observation procedures. The two minimizers give the same DES, so the
// choice shows only in the progress lines of debug mode: the pairwise one
// starts at "MINIMIZE: 0 n", partition refinement never reports 0 classes.
TEST(MinimizerChoice, ReachesEveryMinimizationOfTheBatchChild) {
  const std::pair<int, const char*> cases[] = {
      {PROC_MINSTATE, "D\nX\n"},
      {PROC_PROJECT, "D\nX\n7\n"}, // label 7 does not occur: reach and minimize
      {PROC_SUPNORM, "D\nD\nX\n1\n"},
  };
  ProgramDir program;
  program.save("D.DES", makeDES(5, {{0, 1, 1}, {0, 3, 3}, {1, 2, 2}, {3, 2, 2}, {2, 5, 4}}, {4}));
  for (const auto& [code, parameters] : cases) {
    for (int selector : {0, 1}) {
      SCOPED_TRACE(std::to_string(code) + " with selector " + std::to_string(selector));
      writeFile(program.user("orva.prm"),
                "1\n" + std::to_string(selector) + "\n" + std::to_string(code) + "\n" + parameters);
      const RunResult r = runBinary(program.binary, {"-cmdline"}, program.dir.path);
      EXPECT_EQ(readFile(program.user("orva.rst")), "0\n");
      EXPECT_EQ(r.output.find("MINIMIZE: 0 ") != std::string::npos, selector == 0) << r.output;
    }
  }
}

TEST(ProgramEntry, TypesOutAFileAnswersHelpAndVersionAndRefusesAutotestWithoutScript) {
  ProgramDir program;
  writeFile(program.dir.path + "note.txt", std::string("shown\x1ahidden", 12));
  const test::RunResult r = test::runBinary(program.binary, {program.dir.path + "note.txt"}, program.dir.path);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.output, std::string("shown\x1a", 6));
  const test::RunResult help = test::runBinary(program.binary, {"--help"}, program.dir.path);
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.output.find("-cmdline"), std::string::npos);
  EXPECT_EQ(test::runBinary(program.binary, {"--version"}, program.dir.path).output, "KAV 2017.05.01\n");
  EXPECT_EQ(test::runBinary(program.binary, {"-autotest", "none.txt"}, program.dir.path).output,
            "Error reading none.txt\n");
}

} // namespace
} // namespace kav
