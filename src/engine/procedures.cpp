#include "engine/procedures.h"

#include <cstdio>

#include "engine/handlers.h"
#include "model/desfile.h"
#include "model/session.h"
#include "model/userfiles.h"

namespace kav {

namespace {

// The layout this build writes: version 2 on 64-bit builds.
int layoutVersion() { return sizeof(void*) >= 8 ? 2 : 1; }

} // namespace

void performProcedure(const ProcedureRequest& request, ProcedureOutcome& outcome) {
  outcome = ProcedureOutcome{};
  if (request.code < 0 || request.code >= PROCEDURE_COUNT || !procedureRunners[request.code]) return;
  procedureRunners[request.code](request, outcome);
}

ResultFile figuresOf(const std::string& path, const DES& des, std::int64_t init) {
  ResultFile f;
  f.path = path;
  f.states = des.size();
  f.transitions = countTransitions(des);
  for (const StateRecord& s : des.states) f.marked += s.marked;
  f.deterministic = isStrictlyDeterministic(des);
  f.controllable = allEventsControllable(des);
  f.isControlData = init == -1;
  return f;
}

EventList labelsOfPaths(const std::vector<std::string>& paths, std::int64_t init) {
  EventList labels;
  for (const std::string& path : paths) {
    DES des;
    std::int64_t fileInit = init;
    if (loadDESFile(path, des, fileInit) == LOAD_OK) collectEvents(des, labels);
  }
  return labels;
}

bool fail(ProcedureOutcome& o, int code, const std::string& path) {
  o.code = code;
  o.failedPath = path;
  return false;
}

bool loadFrom(const std::string& path, std::int64_t& init, DES& des, ProcedureOutcome& o) {
  const std::int64_t wanted = init;
  switch (loadDESFile(path, des, init)) {
  case LOAD_OK: return true;
  case LOAD_MISSING: init = wanted; return true;
  case LOAD_MALFORMED: break;
  }
  return fail(o, RESULT_UNREADABLE_INPUT, path);
}

bool loadDESFrom(const std::string& path, DES& des, ProcedureOutcome& o) {
  std::int64_t init = 0;
  return loadFrom(path, init, des, o);
}

bool loadRequired(const std::string& path, DES& des, ProcedureOutcome& o) {
  std::int64_t init = 0;
  switch (loadDESFile(path, des, init)) {
  case LOAD_OK: return true;
  case LOAD_MISSING: return fail(o, RESULT_NO_RESULT, path);
  case LOAD_MALFORMED: break;
  }
  return fail(o, RESULT_UNREADABLE_INPUT, path);
}

bool saveTo(const ProcedureRequest& r, std::size_t k, const DES& des, std::int64_t init, ProcedureOutcome& o) {
  if (k >= r.outputs.size()) return fail(o, RESULT_INCOMPLETE_PARAMETERS);
  if (saveDESFile(r.outputs[k], des, init, layoutVersion()) != SAVE_OK)
    return fail(o, RESULT_WRITE_FAILED, r.outputs[k]);
  o.results.push_back(figuresOf(r.outputs[k], des, init));
  return true;
}

std::string desPath(const std::string& name) { return userPath(name, ".DES"); }

BatchOutcome performForBatch(ProcedureRequest& request, ProcedureOutcome& o) {
  // The batch child's minimizer is the one its parameters chose.
  request.minimizer = minimizerOf(session.minimizerSelector);
  performProcedure(request, o);
  switch (o.code) {
  case RESULT_CHILD_FAILED: return endWithoutResult(o.message.c_str());
  case RESULT_NO_RESULT: {
    BatchOutcome silent;
    silent.writeResult = false;
    return silent;
  }
  case RESULT_WRITE_FAILED:
    if (session.debugMode) std::printf("Could not create file: %s\n", o.failedPath.c_str());
    break;
  default: break;
  }
  return outcome(o.code);
}

BatchOutcome performForBatch(ProcedureRequest& request) {
  ProcedureOutcome o;
  return performForBatch(request, o);
}

} // namespace kav
