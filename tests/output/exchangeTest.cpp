#include "output/exchange.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <random>
#include <string>
#include <vector>

#include "model/desfile.h"
#include "output/graphviz.h"
#include "output/listing.h"
#include "support/testSupport.h"

namespace kav {
namespace {

struct Workspace {
  test::TempDir dir;
  std::string path(const std::string& name) const { return dir.path + name; }
  void write(const std::string& name, const std::string& text) const { test::writeFile(path(name), text); }
  std::string read(const std::string& name) const { return test::readFile(path(name)); }
  bool has(const std::string& name) const { return test::exists(path(name)); }
  void save(const std::string& name, const DES& des) const { ASSERT_EQ(saveDESFile(path(name), des, 0, 2), SAVE_OK); }
  ConvertResult convert(const std::string& in, const std::string& out, const ConvertOptions& o = {}) const {
    return convertModel(path(in), path(out), o);
  }
  std::string describe(const std::string& name) const {
    DES des;
    std::int64_t init = 0;
    return loadDESFile(path(name), des, init) == LOAD_OK ? test::describe(des) : "unreadable";
  }
};

ConvertOptions withMaps(const Workspace& w) {
  ConvertOptions o;
  o.eventMap = w.path("EVENTS.MAP");
  o.stateMap = w.path("STATES.MAP");
  return o;
}

TEST(ConvertModel, RoundTripsRandomDESThroughEachFormatByteForByte) {
  for (std::uint32_t seed = 1; seed <= 40; ++seed) {
    SCOPED_TRACE(seed);
    std::mt19937 rng(seed);
    const bool deterministic = rng() % 2 == 0;
    const auto size = static_cast<std::int64_t>(rng() % 9);
    DES des = test::randomDES(rng, size, static_cast<int>(rng() % 30), 1000, 3, deterministic);
    const bool silent = size > 0 && rng() % 3 == 0;
    if (silent) insertTransition(des[static_cast<std::int64_t>(rng() % size)], EPSILON_LABEL, 0);
    SCOPED_TRACE(test::describe(des));
    Workspace w;
    w.save("IN.DES", des);
    // Some labels and states carry names, the others go by their numbers.
    std::string events, states;
    EventList used;
    collectEvents(des, used);
    for (const std::uint16_t e : used)
      if (e != EPSILON_LABEL && rng() % 2 == 0) events += std::to_string(e) + " ev#" + std::to_string(e) + "\n";
    for (std::int64_t s = 0; s < size; ++s)
      if (rng() % 2 == 0) states += std::to_string(s) + " s" + std::to_string(rng()) + "\n";
    for (const char* format : {"fsm", "gen", "ADS"}) {
      SCOPED_TRACE(format);
      ConvertOptions o = std::string(format) == "ADS" ? ConvertOptions{} : withMaps(w);
      if (o.eventMap.empty() && (silent || !deterministic)) continue;
      // Names with blanks only where the format can carry them.
      std::string eventNames = events;
      std::replace(eventNames.begin(), eventNames.end(), '#', std::string(format) == "gen" ? ' ' : '_');
      w.write("EVENTS.MAP", eventNames);
      w.write("STATES.MAP", states);
      if (silent) o.silentName = "tau";
      const std::string middle = std::string("M.") + format;
      ASSERT_EQ(w.convert("IN.DES", middle, o).message, "");
      ASSERT_EQ(w.convert(middle, "OUT.DES", o).message, "");
      EXPECT_EQ(w.read("OUT.DES"), w.read("IN.DES"));
    }
  }
}

TEST(ConvertModel, WritesFsmAndGenWithNamesAttributesAndTheSilentEvent) {
  Workspace w;
  w.save("IN.DES", test::makeDES(2, {{0, 1, 1}, {0, 2, 0}, {1, EPSILON_LABEL, 0}}, {1}));
  w.write("EVENTS.MAP", "1 start\n");
  ConvertOptions o;
  o.eventMap = w.path("EVENTS.MAP");
  o.unobservable = {2};
  o.silentName = "tau";
  ASSERT_EQ(w.convert("IN.DES", "OUT.fsm", o).status, CONVERT_OK);
  EXPECT_EQ(w.read("OUT.fsm"), "2\n\n0\t0\t2\nstart\t1\tc\to\n2\t0\tuc\tuo\n\n1\t1\t1\ntau\t0\tuc\tuo\n");
  w.write("STATES.MAP", "1 busy\n");
  o.stateMap = w.path("STATES.MAP");
  ASSERT_EQ(w.convert("IN.DES", "OUT.gen", o).status, CONVERT_OK);
  EXPECT_EQ(w.read("OUT.gen"), test::golden("OUT.gen"));
  // Exports only read the maps.
  EXPECT_EQ(w.read("EVENTS.MAP"), "1 start\n");
}

TEST(ConvertModel, WritesTheDotTextOfThePictureConversion) {
  Workspace w;
  DES des = test::makeDES(2, {{0, 3, 1}, {1, 4, 0}}, {1});
  w.save("M.DES", des);
  const std::time_t before = std::time(nullptr);
  ASSERT_EQ(w.convert("M.DES", "M.dot").status, CONVERT_OK);
  const std::string text = w.read("M.dot");
  const auto dot = [&](std::time_t when) {
    return captureText([&](std::FILE* out) { writeDot(out, des, "M", false, when); });
  };
  EXPECT_TRUE(text == dot(before) || text == dot(std::time(nullptr))) << text;
}

// A plant and its legal language imported one after the other share labels.
TEST(ConvertModel, SharesLabelsAcrossImportsThroughTheEventMap) {
  Workspace w;
  ConvertOptions o = withMaps(w);
  // Blank lines may be missing or doubled, fields split by blanks or tabs.
  w.write("PLANT.fsm", test::golden("PLANT.fsm"));
  const ConvertResult plant = w.convert("PLANT.fsm", "PLANT.DES", o);
  EXPECT_EQ(plant.status, CONVERT_OK);
  EXPECT_EQ(plant.message, "note: KAV keeps no observability; give --unobservable 0 when exporting again");
  // "4" keeps its number; the others take the smallest free label of
  // their parity, in the file's order.
  EXPECT_EQ(w.describe("PLANT.DES"), "3: 0-0->0 0-1->1 1-2->0 1-4->1 1-6->2 | marked 0");
  EXPECT_EQ(w.read("EVENTS.MAP"), "0 reset\n1 start\n2 done\n4 4\n6 halt\n");
  EXPECT_EQ(w.read("STATES.MAP"), "0 idle\n1 busy\n2 broken\n");

  // The legal language's initial state is declared last; "3" is
  // uncontrollable, so it cannot keep its odd number, and "010" is no number.
  w.write("SPEC.gen", test::golden("SPEC.gen"));
  ASSERT_EQ(w.convert("SPEC.gen", "SPEC.DES", o).status, CONVERT_OK);
  EXPECT_EQ(w.describe("SPEC.DES"), "2: 0-1->1 0-8->0 1-2->0 1-3->1 1-10->1 | marked");
  EXPECT_EQ(w.read("EVENTS.MAP"), "0 reset\n1 start\n2 done\n3 stop\n4 4\n6 halt\n8 3\n10 010\n");

  // No new names: the map is left as it stands.
  w.write("EVENTS.MAP", "4 4\n0 reset\n1 start\n2 done\n6 halt\n");
  ASSERT_EQ(w.convert("PLANT.fsm", "PLANT.DES", o).status, CONVERT_OK);
  EXPECT_EQ(w.read("EVENTS.MAP"), "4 4\n0 reset\n1 start\n2 done\n6 halt\n");

  // An integer name keeps its number behind an event that needs a free label.
  Workspace fresh;
  fresh.write("Z.fsm", "1\n\ns 1 2\na s uc o\n0 s uc o\n");
  ASSERT_EQ(fresh.convert("Z.fsm", "Z.DES", withMaps(fresh)).status, CONVERT_OK);
  EXPECT_EQ(fresh.read("EVENTS.MAP"), "0 0\n2 a\n");
}

TEST(ConvertModel, ReadsGenCommentsQuotedNamesIntegerStatesAndRanges) {
  Workspace w;
  ConvertOptions o = withMaps(w);
  w.write("M.gen", test::golden("M.gen"));
  ASSERT_EQ(w.convert("M.gen", "M.DES", o).status, CONVERT_OK);
  EXPECT_EQ(w.describe("M.DES"), "4: 0-1->1 1-0->2 2-2->3 3-5->0 | marked 0 2 3");
  EXPECT_EQ(w.read("EVENTS.MAP"), "0 fin\n1 start work\n2 brk\n5 5\n");
  EXPECT_EQ(w.read("STATES.MAP"), "0 idle\n1 1\n2 2\n3 3\n");
  // A name with a blank cannot go into FSM text; the others go straight
  // there, the unobservable event included.
  EXPECT_EQ(w.convert("M.gen", "M.fsm").message,
            w.path("M.fsm") + ": FSM text cannot carry the name \"start work\" of event 1");
  std::string text = w.read("M.gen");
  text.replace(text.find("\"start work\""), 12, "go");
  text.replace(text.find("\"start work\""), 12, "go");
  w.write("N.gen", text);
  ASSERT_EQ(w.convert("N.gen", "N.fsm").status, CONVERT_OK);
  EXPECT_EQ(w.read("N.fsm"), test::golden("N.fsm"));
}

TEST(ConvertModel, OverridesControllabilityGivenOnTheCommandLine) {
  Workspace w;
  // Published models often mark nothing and list controllable events apart.
  w.write("M.fsm", "1\ns 0 4\nx s uc o\nx s c o\ny s c o\nz s c o\n");
  ConvertOptions o;
  o.controllable = {"x", "unused"};
  o.uncontrollable = {"y"};
  ASSERT_EQ(w.convert("M.fsm", "M.DES", o).status, CONVERT_OK);
  EXPECT_EQ(w.describe("M.DES"), "1: 0-0->0 0-1->0 0-3->0 | marked");
  o.uncontrollable = {"x"};
  EXPECT_EQ(w.convert("M.fsm", "M.DES", o).status, CONVERT_BAD_OPTIONS);
}

struct Refusal {
  std::string file;
  std::string text;
  std::string message; // after "<path>: "
};

TEST(ConvertModel, RefusesWhatKavCannotHoldNamingFileAndLine) {
  std::string manyEvents = "<Generator>\n<Alphabet>\n";
  for (int k = 0; k <= 1000; ++k) manyEvents += "e" + std::to_string(k) + (k < 501 ? " +C+\n" : "\n");
  const std::string controllable = manyEvents.substr(0, manyEvents.find("e501"));
  // One state with every pair of 1000 events and 66 targets but a few.
  std::string crowded = "66\ns0 0 65536\n";
  for (int k = 0; k < 65536; ++k)
    crowded += "e" + std::to_string(k % 1000) + " s" + std::to_string(k / 1000) + (k % 2 ? " c o\n" : " uc o\n");
  for (int k = 1; k < 66; ++k) crowded += "s" + std::to_string(k) + " 0 0\n";
  const std::string rest = "</Alphabet>\n<States></States><TransRel></TransRel><InitStates></InitStates>"
                           "<MarkedStates></MarkedStates></Generator>\n";
  const std::string gen = "<Generator> g\n<Alphabet> a b </Alphabet>\n<States> s t 5 </States>\n";
  const std::vector<Refusal> cases = {
      {"A.gen", gen + "<TransRel></TransRel>\n<InitStates> s\n5 t </InitStates><MarkedStates/></Generator>",
       "line 6: more than one initial state (\"s\", \"5\", \"t\")"},
      {"B.fsm", "2\na 0 2\nx b c o\ny b uc o\nb 0 1\nx a uc uo\n",
       "line 6: event \"x\" is uncontrollable here but controllable on line 3"},
      {"C.gen", "<Generator><Alphabet> a +C+\nb +C+\na +c+ b </Alphabet>" + rest.substr(12),
       "line 3: event \"a\" is uncontrollable here but controllable on line 1"},
      {"D.gen", manyEvents + rest, "line 1003: more than 1000 events"},
      {"E.gen", controllable + rest,
       "line 503: event \"e500\" finds no free controllable label (all 500 odd labels are taken)"},
      {"F.fsm", "1\na 0 1\nx zz c o\n", "line 3: transition to undeclared state \"zz\""},
      {"G.gen", gen + "<TransRel> s a zz </TransRel>" + rest.substr(50),
       "line 4: transition to state \"zz\" is not declared"},
      {"H.gen", gen + "<TransRel> s c t </TransRel>" + rest.substr(50),
       "line 4: transition with event \"c\", which the alphabet lacks"},
      {"I.fsm", "1\na 0 1\nx a maybe o\n", "line 3: expected \"EVENT TARGET C OBS\" with C c or uc and OBS o or uo"},
      {"J.fsm", "2\na 1 0\n", "line 2: unexpected end of file: 2 states announced, 1 found"},
      {"K.fsm", "1\na 1 2\nx a c o\n", "line 3: unexpected end of file: state \"a\" misses 1 of its transitions"},
      {"L.gen", gen + "<TransRel> \"s a t </TransRel>", "line 4: unterminated string"},
      // Cut off inside a tag of the alphabet: the line of the tag, not of the end.
      {"U.gen", "<Generator><Alphabet> a <b\n\n\n", "line 1: unterminated tag"},
      // Cut off inside an element that is skipped: parsing stops there.
      {"V.gen", "<Generator><Alphabet> a <x> b\n", "line 2: unexpected end of file inside <x>"},
      {"W.gen", "<Generator><Alphabet/><States> s <x> t\n", "line 2: unexpected end of file inside <x>"},
      {"M.gen", gen + "<TransRel></TransRel>\n</Generator>", "line 5: section <InitStates> is missing"},
      {"N.gen", "<Generator><Alphabet/><States> 5 \"5\" </States>" + rest.substr(29),
       "line 1: state 5 is declared on line 1 already"},
      {"P.gen",
       gen + "<TransRel></TransRel>\n<InitStates> s </InitStates>\n<MarkedStates> s zz </MarkedStates></Generator>",
       "line 6: marked state \"zz\" is not declared"},
      {"Q.gen", gen + "<TransRel></TransRel>\n<InitStates> 7 </InitStates><MarkedStates/></Generator>",
       "line 5: initial state \"7\" is not declared"},
      {"R.gen", "<Generator><Alphabet/><States>\n<Consecutive> 3 x </Consecutive></States>" + rest.substr(29),
       "line 2: expected \"<Consecutive> FIRST LAST </Consecutive>\""},
      {"T.fsm", crowded, "line 2: state \"s0\" has more than 65535 transitions"},
      {"S.fsm", "", "line 1: unexpected end of file: expected the number of states"},
      {"O.ADS", "# no state size\nO\nState size\n\nMarker states:\n", "line 5: Invalid state number"},
  };
  for (const Refusal& c : cases) {
    SCOPED_TRACE(c.file);
    Workspace w;
    w.write(c.file, c.text);
    ConvertOptions o;
    if (c.file.back() != 'S') o = withMaps(w);
    const ConvertResult r = w.convert(c.file, "OUT.DES", o);
    EXPECT_EQ(r.status, CONVERT_REFUSED);
    EXPECT_EQ(r.message, w.path(c.file) + ": " + c.message);
    EXPECT_FALSE(w.has("OUT.DES") || w.has("EVENTS.MAP") || w.has("STATES.MAP"));
  }
}

TEST(ConvertModel, RefusesWhatTheTargetCannotCarry) {
  Workspace w;
  DES vocal = test::makeDES(2, {{0, 1, 1}}, {});
  vocal[1].vocal = 12;
  w.save("VOCAL.DES", vocal);
  w.save("SILENT.DES", test::makeDES(1, {{0, EPSILON_LABEL, 0}}, {}));
  w.save("NONDET.DES", test::makeDES(2, {{0, 2, 0}, {0, 2, 1}, {1, 1, 0}}, {}));
  w.write("EVENTS.MAP", "1 2\n");
  w.write("STATES.MAP", "1 0\n");
  const auto message = [&](const std::string& in, const std::string& out, const ConvertOptions& o) {
    const ConvertResult r = w.convert(in, out, o);
    EXPECT_FALSE(w.has(out));
    return r.status == CONVERT_REFUSED ? r.message : "status " + std::to_string(r.status);
  };
  EXPECT_EQ(message("VOCAL.DES", "V.fsm", {}),
            w.path("VOCAL.DES") + ": state 1 has a vocal output, which FSM text cannot hold");
  EXPECT_EQ(message("SILENT.DES", "S.gen", {}),
            w.path("SILENT.DES") +
                ": uses the silent event 1000, which a .gen file has no counterpart for; name it with --silent NAME");
  EXPECT_EQ(message("SILENT.DES", "S.ADS", {}), w.path("SILENT.DES") + ": ADS cannot hold the silent event 1000");
  EXPECT_EQ(message("NONDET.DES", "N.ADS", {}),
            w.path("NONDET.DES") + ": ADS cannot hold nondeterministic transitions");
  ConvertOptions o = withMaps(w);
  EXPECT_EQ(message("NONDET.DES", "N.fsm", o), w.path("N.fsm") + ": events 1 and 2 would both be named \"2\"");
  w.write("EVENTS.MAP", "");
  EXPECT_EQ(message("NONDET.DES", "N.gen", o), w.path("N.gen") + ": states 0 and 1 would both be named \"0\"");
  w.write("EVENTS.MAP", "7\tgo\n12x go\n");
  EXPECT_EQ(message("NONDET.DES", "N.gen", o), w.path("EVENTS.MAP") + ": line 2: expected \"LABEL NAME\"");
  w.write("EVENTS.MAP", "");
  w.write("STATES.MAP", "0 a\n\n1 a\n");
  EXPECT_EQ(message("NONDET.DES", "N.gen", o),
            w.path("STATES.MAP") + ": line 3: name \"a\" is given on line 1 already");
}

TEST(ConvertModel, RefusesOptionsThatDoNotApplyAndWritesNothingOnFailure) {
  Workspace w;
  w.save("M.DES", test::makeDES(1, {}, {}));
  w.write("M.fsm", "1\ns 0 0\n");
  ConvertOptions o;
  o.controllable = {"a"};
  EXPECT_EQ(w.convert("M.DES", "M.fsm", o).message,
            "--controllable and --uncontrollable apply only when reading .fsm or .gen");
  o = {};
  o.unobservable = {2};
  EXPECT_EQ(w.convert("M.fsm", "M.ADS", o).message, "--unobservable applies only when writing .fsm or .gen");
  o = {};
  o.eventMap = w.path("EVENTS.MAP");
  EXPECT_EQ(w.convert("M.DES", "M.ADS", o).message,
            "--events, --states and --silent apply only to .fsm and .gen files");
  o = {};
  o.silentName = "a b";
  EXPECT_EQ(w.convert("M.DES", "M.fsm", o).message, "--silent: FSM text cannot carry the name \"a b\"");
  EXPECT_EQ(w.convert("M.dot", "M.DES").message, w.path("M.dot") + ": .dot files are written, not read");
  EXPECT_EQ(w.convert("M", "M.DES").message,
            w.path("M") + ": cannot tell the format; give --from des, ads, fsm or gen");
  o = {};
  o.to = "svg";
  EXPECT_EQ(w.convert("M.DES", "M.OUT", o).status, CONVERT_BAD_OPTIONS);
  o.to = "FSM";
  EXPECT_EQ(w.convert("M.DES", "M.OUT", o).status, CONVERT_OK);

  o = {};
  o.stateMap = w.path("M.DES");
  EXPECT_EQ(w.convert("M.fsm", "M.DES", o).message, "a map would overwrite the output " + w.path("M.DES"));
  o = withMaps(w);
  EXPECT_EQ(w.convert("M.fsm", "missing/M.DES", o).status, CONVERT_NOT_WRITTEN);
  EXPECT_FALSE(w.has("EVENTS.MAP") || w.has("STATES.MAP"));
}

} // namespace
} // namespace kav
