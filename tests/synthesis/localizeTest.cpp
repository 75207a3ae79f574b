// Localization on files of a user directory: the local controllers, the
// clean-up, the refused names, the private control data, and ControlEqu
// on plants of independent random components.

#include <gtest/gtest.h>

#include "model/desfile.h"
#include "ops/supcon.h"
#include "support/languageOracle.h"
#include "synthesis/localize.h"

namespace kav {
namespace {

using namespace test;

class Localize : public ::testing::Test {
protected:
  test::ProgramDir program;

  void save(const std::string& name, const DES& des) { program.save(name + ".DES", des); }
  DES load(const std::string& name) { return program.load(name + ".DES"); }
  std::vector<std::string> files() const { return program.files(); }
  void saveTwoMachines() { test::saveTwoMachines(program); }
  LocalizeRequest twoMachines() const { return {"PLANT", "SUPER", {"M1", "M2"}, {"LOC1", "LOC2"}, false}; }
  bool equivalent(const LocalizeRequest& r) {
    std::vector<DES> components, controllers;
    for (const std::string& n : r.components) components.push_back(load(n));
    for (const std::string& n : r.controllers) controllers.push_back(load(n));
    return controlEquivalent(components, controllers, load(r.supervisor));
  }
};

TEST_F(Localize, SplitsTheSupervisorIntoControllersThatTogetherAreEquivalent) {
  saveTwoMachines();
  std::vector<std::string> messages;
  std::vector<std::int64_t> sizes;
  ASSERT_EQ(localize(twoMachines(), sizes, [&](const std::string& t) { messages.push_back(t); }), LOCALIZE_OK);
  EXPECT_EQ(sizes, (std::vector<std::int64_t>{2, 2}));
  // Controller 1 only says when machine 1 may start: the buffer's state.
  // The self-loops of 4 (never disabled by it, never moving) are gone;
  // those of 1 (disabled when the buffer is full) stay. Controller 2
  // disables 3 while the buffer is empty and keeps no self-loop.
  EXPECT_EQ(describe(load("LOC1")), "2: 0-1->0 0-2->1 1-3->0 | marked 0");
  EXPECT_EQ(describe(load("LOC2")), "2: 0-2->1 1-3->0 | marked 0");
  EXPECT_EQ(messages, (std::vector<std::string>{"Generating LOC1.DES...", "LOC1.DES generated.\n",
                                                "Generating LOC2.DES...", "LOC2.DES generated.\n"}));
  EXPECT_TRUE(equivalent(twoMachines()));
  // Nothing but the inputs and the controllers is left behind.
  EXPECT_EQ(files(), (std::vector<std::string>{"LOC1.DES", "LOC2.DES", "M1.DES", "M2.DES", "PLANT.DES", "SUPER.DES"}));
}

TEST_F(Localize, WithOneComponentTheCleanUpNeverRuns) {
  const DES m = makeDES(2, {{0, 1, 1}, {1, 2, 0}, {0, 4, 0}}, {0});
  save("M", m);
  // The supervisor never lets 1 happen twice: 1, 2, then only 4.
  const DES spec = makeDES(2, {{0, 1, 1}, {0, 2, 0}, {0, 4, 0}, {1, 2, 1}, {1, 4, 1}}, {0, 1});
  DES super;
  ASSERT_TRUE(supconDES(m, spec, super));
  save("SUPER", super);
  std::vector<std::int64_t> sizes;
  ASSERT_EQ(localize({"M", "SUPER", {"M"}, {"LOC"}, false}, sizes), LOCALIZE_OK);
  // The idle self-loop of 4 stays.
  const DES loc = load("LOC");
  EXPECT_TRUE(hasEvent(loc[0], 4)) << describe(loc);
  EXPECT_TRUE(equivalent({"M", "SUPER", {"M"}, {"LOC"}, false}));
  EXPECT_EQ(files(), (std::vector<std::string>{"LOC.DES", "M.DES", "SUPER.DES"}));
}

TEST_F(Localize, ASupervisorWithNothingToReduceIsEveryControllerAndAnEmptyOneGivesEmptyControllers) {
  saveTwoMachines();
  const DES one = makeDES(1, {{0, 1, 0}}, {0});
  save("SUPER", one);
  LocalizeRequest request = twoMachines();
  request.skipCleanUp = true;
  std::vector<std::int64_t> sizes;
  ASSERT_EQ(localize(request, sizes), LOCALIZE_OK);
  EXPECT_EQ(sizes, (std::vector<std::int64_t>{1, 1}));
  EXPECT_EQ(describe(load("LOC1")), describe(one));
  EXPECT_EQ(describe(load("LOC2")), describe(one));
  save("SUPER", DES{});
  ASSERT_EQ(localize(twoMachines(), sizes), LOCALIZE_OK);
  EXPECT_EQ(sizes, (std::vector<std::int64_t>{0, 0}));
  EXPECT_EQ(load("LOC1").size(), 0);
}

TEST_F(Localize, AComponentWhoseEventsAreNeverDisabledMergesAsFarAsMarkingAllows) {
  saveTwoMachines();
  // A third machine that runs freely: nothing of it is ever disabled.
  const DES m3 = makeDES(2, {{0, 5, 1}, {1, 6, 0}}, {0});
  save("M3", m3);
  const DES m1 = load("M1"), m2 = load("M2");
  const DES plant = referenceSync({&m1, &m2, &m3}, {1, 2, 3, 4, 5, 6});
  const DES spec = makeDES(2, {{0, 1, 0}, {0, 2, 1}, {0, 4, 0}, {0, 5, 0}, {0, 6, 0}, {1, 1, 1}, {1, 3, 0}, {1, 4, 1},
                               {1, 5, 1}, {1, 6, 1}},
                           {0});
  DES super;
  ASSERT_TRUE(supconDES(plant, spec, super));
  save("PLANT3", plant);
  save("SUPER3", super);
  const LocalizeRequest request{"PLANT3", "SUPER3", {"M1", "M2", "M3"}, {"LOC1", "LOC2", "LOC3"}, false};
  std::vector<std::int64_t> sizes;
  ASSERT_EQ(localize(request, sizes), LOCALIZE_OK);
  // Nothing of machine 3 is disabled, so only the marking keeps states
  // apart: the supervisor leaves unmarked what the plant marks while the
  // buffer is full. Two cells, and no self-loop survives the clean-up.
  EXPECT_EQ(sizes[2], 2);
  EXPECT_EQ(describe(load("LOC3")), "2: 0-2->1 1-3->0 | marked 0");
  EXPECT_TRUE(equivalent(request));
}

TEST_F(Localize, RefusesControllerNamesThatWouldOverwriteAnInput) {
  saveTwoMachines();
  const std::vector<std::string> taken{"PLANT", "super", "  M2", "LOC1"};
  for (const std::string& name : taken) {
    LocalizeRequest request = twoMachines();
    request.controllers[1] = name;
    std::vector<std::int64_t> sizes;
    EXPECT_EQ(localize(request, sizes), LOCALIZE_FAILED) << name;
    EXPECT_TRUE(isControllerNameTaken(request, 1, name)) << name;
  }
  // Only two leading blanks are dropped from a typed name.
  EXPECT_FALSE(isControllerNameTaken(twoMachines(), 1, "LOC2"));
  EXPECT_FALSE(isControllerNameTaken(twoMachines(), 1, "   M2"));
  EXPECT_EQ(files().size(), 4u);
  EXPECT_EQ(describe(load("SUPER")).substr(0, 2), "6:");
}

TEST_F(Localize, ControlEquDetectsAControllerThatAllowsTooMuch) {
  saveTwoMachines();
  std::vector<std::int64_t> sizes;
  ASSERT_EQ(localize(twoMachines(), sizes), LOCALIZE_OK);
  // A first controller that never stops machine 1 lets the buffer overflow.
  save("LOC1", makeDES(1, {{0, 1, 0}, {0, 2, 0}}, {0}));
  EXPECT_FALSE(equivalent(twoMachines()));
  // Without any controller the plant does more than SUPER, too.
  LocalizeRequest none = twoMachines();
  none.controllers.clear();
  EXPECT_FALSE(equivalent(none));
  std::vector<DES> empty(1);
  EXPECT_TRUE(controlEquivalent(empty, {}, DES{}));
}

// Random components over disjoint alphabets (component i uses labels
// 10 i .. 10 i + 5), a random legal DES over all of them that never
// restricts an uncontrollable label, and their Supcon: the local
// controllers must pass ControlEqu.
TEST_F(Localize, ControllersOfIndependentRandomComponentsPassControlEqu) {
  std::mt19937 rng(7);
  int runs = 0;
  for (int round = 0; round < 40; ++round) {
    const int n = 2 + static_cast<int>(rng() % 2);
    std::vector<DES> parts;
    LocalizeRequest request{"PLANT", "SUPER", {}, {}, round % 3 == 0};
    for (int i = 0; i < n; ++i) {
      DES part = test::randomDES(rng, 2 + rng() % 3, 8, 6, 2, true);
      for (StateRecord& s : part.states)
        for (Transition& t : transitionsOf(s)) t.event = static_cast<std::uint16_t>(t.event + 10 * i);
      part[0].marked = 1;
      request.components.push_back("M" + std::to_string(i + 1));
      request.controllers.push_back("LOC" + std::to_string(i + 1));
      save(request.components.back(), part);
      parts.push_back(std::move(part));
    }
    std::vector<const DES*> pointers;
    EventList labels;
    for (const DES& p : parts) pointers.push_back(&p), collectEvents(p, labels);
    const DES plant = referenceSync(pointers, labels);
    labels.clear();
    collectEvents(plant, labels);
    const std::int64_t specSize = 2 + rng() % 4;
    DES spec = allocStates(specSize);
    for (std::int64_t x = 0; x < specSize; ++x) {
      for (std::uint16_t e : labels) {
        const std::uint32_t draw = rng() % 3;
        if (e % 2 == 1 && draw == 0) continue;
        insertTransition(spec[x], e, draw == 1 ? x : static_cast<std::int64_t>(rng() % specSize));
      }
      spec[x].marked = x == 0 || rng() % 2;
    }
    DES super;
    ASSERT_TRUE(supconDES(plant, spec, super));
    if (super.size() < 2) continue;
    ++runs;
    save("PLANT", plant);
    save("SUPER", super);
    SCOPED_TRACE("round " + std::to_string(round) + "\nplant " + describe(plant) + "\nsuper " + describe(super));
    std::vector<std::int64_t> sizes;
    ASSERT_EQ(localize(request, sizes), LOCALIZE_OK);
    EXPECT_TRUE(equivalent(request));
  }
  EXPECT_GT(runs, 20);
}

} // namespace
} // namespace kav
