#include "synthesis/localize.h"

#include <strings.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>

#include "model/desfile.h"
#include "model/safefile.h"
#include "model/userfiles.h"
#include "ops/isomorph.h"
#include "ops/minimize.h"
#include "ops/product.h"
#include "ops/trim.h"
#include "synthesis/supreduce.h"

namespace kav {

namespace {

// A directory of the user directory that no typed name can reach (its name
// starts with a dot and carries a random part), removed with everything in
// it when the object goes.
struct PrivateDirectory {
  std::string path; // ends in '/'; empty when it could not be created

  explicit PrivateDirectory(const std::string& parent) {
    std::string pattern = temporaryPattern(parent, "localize");
    if (::mkdtemp(pattern.data())) path = pattern + "/";
  }
  ~PrivateDirectory() {
    if (path.empty()) return;
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
  }
  PrivateDirectory(const PrivateDirectory&) = delete;
  PrivateDirectory& operator=(const PrivateDirectory&) = delete;
};

bool sameFileName(std::string_view a, std::string_view b) {
  a = trimNameBlanks(a);
  b = trimNameBlanks(b);
  return a.size() == b.size() && ::strncasecmp(a.data(), b.data(), a.size()) == 0;
}

std::string pathOfName(const LocalizePaths& pathOf, const std::string& name) {
  return pathOf ? pathOf(name) : userPath(name, ".DES");
}

bool loadNamed(const LocalizePaths& pathOf, const std::string& name, DES& des) {
  std::int64_t init = 0;
  return loadDESFile(pathOfName(pathOf, name), des, init) == LOAD_OK;
}

bool saveNamed(const LocalizePaths& pathOf, const std::string& name, const DES& des) {
  return saveDESFile(pathOfName(pathOf, name), des, 0, sizeof(void*) >= 8 ? 2 : 1) == SAVE_OK;
}

// SUPER's control data on PLANT restricted to `events`: record x lists
// every event of `events` that PLANT offers at some plant state g while
// the product is at (g, x) and that the product does not offer there.
DES localControlData(const DES& plant, const DES& supervisor, const DES& product,
                     const std::vector<std::int64_t>& pairOf, const EventList& events) {
  DES data = allocStates(supervisor.size());
  const std::int64_t plantSize = plant.size();
  for (std::int64_t s = 0; s < product.size(); ++s) {
    const std::int64_t g = pairOf[static_cast<std::size_t>(s)] % plantSize;
    const std::int64_t x = pairOf[static_cast<std::size_t>(s)] / plantSize;
    for (const Transition& t : transitionsOf(plant[g]))
      // Target 0 only: one transition per label, far below the limit.
      if (findEvent(events, t.event) && !hasEvent(product[s], t.event)) insertTransition(data[x], t.event, 0);
  }
  return data;
}

int layoutVersion() { return sizeof(void*) >= 8 ? 2 : 1; }

} // namespace

bool isControllerNameTaken(const LocalizeRequest& request, std::size_t index, std::string_view name) {
  if (sameFileName(name, request.plant) || sameFileName(name, request.supervisor)) return true;
  for (const std::string& component : request.components)
    if (sameFileName(name, component)) return true;
  for (std::size_t k = 0; k < index && k < request.controllers.size(); ++k)
    if (sameFileName(name, request.controllers[k])) return true;
  return false;
}

int localize(const LocalizeRequest& request, std::vector<std::int64_t>& sizes, const LocalizeConsole& console,
             const LocalizePaths& pathOf) {
  sizes.clear();
  const auto say = [&console](const std::string& text) {
    if (console) console(text);
  };
  const std::size_t n = request.components.size(), m = request.controllers.size();
  if (n == 0 || m > n) return LOCALIZE_FAILED;
  for (std::size_t k = 0; k < m; ++k)
    if (isControllerNameTaken(request, k, request.controllers[k])) return LOCALIZE_FAILED;

  DES plant;
  if (!loadNamed(pathOf, request.plant, plant)) return LOCALIZE_FAILED;
  std::vector<EventList> alphabets(n);
  for (std::size_t i = 0; i < n; ++i) {
    DES component;
    if (!loadNamed(pathOf, request.components[i], component)) return LOCALIZE_FAILED;
    collectEvents(component, alphabets[i]);
  }
  DES supervisor;
  if (!loadNamed(pathOf, request.supervisor, supervisor)) return LOCALIZE_FAILED;
  DES product;
  std::vector<std::int64_t> pairOf;
  if (!plant.empty() && !meetDES(plant, supervisor, product, pairOf)) return LOCALIZE_FAILED;

  PrivateDirectory scratch(directoryOf(pathOfName(pathOf, m > 0 ? request.controllers[0] : request.plant)));
  if (scratch.path.empty()) return LOCALIZE_FAILED;
  const auto dataPath = [&scratch](std::size_t k) { return scratch.path + "LOC" + std::to_string(k + 1) + ".DAT"; };
  const std::string plantPath = pathOfName(pathOf, request.plant);
  const std::string supervisorPath = pathOfName(pathOf, request.supervisor);

  for (std::size_t k = 0; k < m; ++k) {
    const std::string& name = request.controllers[k];
    {
      const DES data = localControlData(plant, supervisor, product, pairOf, alphabets[k]);
      if (saveDESFile(dataPath(k), data, -1, layoutVersion()) != SAVE_OK) return LOCALIZE_WRITE_FAILED;
    }
    say("Generating " + name + ".DES...");
    std::int64_t bound = 0, size = 0;
    float ratio = 0.0f;
    const int code =
        supreduceFiles(plantPath, supervisorPath, dataPath(k), pathOfName(pathOf, name), false, bound, ratio, &size);
    if (code == REDUCE_EMPTY_INPUT) {
      size = 0;
      if (!saveNamed(pathOf, name, DES{})) return LOCALIZE_WRITE_FAILED;
    } else if (code == REDUCE_NOTHING_TO_REDUCE) {
      size = supervisor.size();
      if (!saveNamed(pathOf, name, supervisor)) return LOCALIZE_WRITE_FAILED;
    } else if (code == REDUCE_RESULT_NOT_OPENED || code == REDUCE_RESULT_INCOMPLETE) {
      // PLANT and SUPER loaded above, so a 1 here is the result file.
      say("\n" + name + ".DES cannot be written.\n");
      return LOCALIZE_WRITE_FAILED;
    } else if (code != REDUCE_OK) {
      say("\n" + name + ".DES cannot be generated: possible error in data entry.\n");
      return LOCALIZE_FAILED;
    }
    if (console) {
      if (!fileExists(pathOfName(pathOf, name))) {
        say("\n" + name + ".DES cannot be generated: possible error in data entry.\n");
        return LOCALIZE_FAILED;
      }
      say(name + ".DES generated.\n");
    }
    sizes.push_back(size);
  }

  if (request.skipCleanUp || n == 1 || m < 1) return LOCALIZE_OK;
  for (std::size_t k = 0; k < m; ++k) {
    // The files were written moments ago; without them the clean-up would
    // take every self-loop for idle.
    EventList disabled;
    DES data, controller;
    std::int64_t init = -1;
    if (loadDESFile(dataPath(k), data, init) != LOAD_OK || !loadNamed(pathOf, request.controllers[k], controller))
      return LOCALIZE_FAILED;
    collectEvents(data, disabled);
    std::remove(dataPath(k).c_str());
    if (removeIdleSelfloops(controller, disabled) > 0 && !saveNamed(pathOf, request.controllers[k], controller))
      return LOCALIZE_WRITE_FAILED;
  }
  return LOCALIZE_OK;
}

bool controlEquivalent(std::span<const DES> components, std::span<const DES> controllers, const DES& supervisor,
                       Minimizer minimizer) {
  EventList events;
  collectEvents(supervisor, events);
  DES all = allocStates(1);
  all[0].marked = 1;
  for (std::uint16_t e : events) insertTransition(all[0], e, 0); // one per label

  DES met;
  bool first = true;
  const auto meetWith = [&](const DES& part) {
    EventList labels = events;
    collectEvents(part, labels);
    DES synced;
    std::vector<std::int64_t> pairOf;
    if (!syncDES(part, all, labels, false, synced, pairOf)) return false;
    if (first) {
      met = std::move(synced);
      first = false;
      return true;
    }
    DES next;
    if (!meetDES(met, synced, next, pairOf)) return false;
    met = std::move(next);
    return true;
  };
  for (const DES& part : components)
    if (!meetWith(part)) return false;
  for (const DES& part : controllers)
    if (!meetWith(part)) return false;
  if (met.empty()) return supervisor.empty();
  return sameAfterMinimization(met, supervisor, minimizer);
}

bool sameAfterMinimization(const DES& a, const DES& b, Minimizer minimizer) {
  std::vector<std::int64_t> map;
  if (isomorphicDES(a, b, map)) return true;
  DES x = copyDES(a), y = copyDES(b);
  reachDES(x);
  reachDES(y);
  minimizeDES(x, minimizer);
  minimizeDES(y, minimizer);
  return isomorphicDES(x, y, map);
}

} // namespace kav
