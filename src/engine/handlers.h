#pragma once

// The procedures, one pair of functions per code. A handler reads its lines
// of orva.prm into a ProcedureRequest, naming files of the user directory by
// their paths, runs it with performProcedure and turns the outcome into the
// child's result; a runner does the work on the paths it is given, for the
// batch child and the command line alike. batchHandlers and
// procedureRunners map codes to them.

#include "engine/batch.h"
#include "engine/procedures.h"
#include "model/userfiles.h"

namespace kav {

BatchOutcome handleCreate(ParamReader& params);     // 0
BatchOutcome handleSelfloop(ParamReader& params);   // 1
BatchOutcome handleTrim(ParamReader& params);       // 2
BatchOutcome handleSync(ParamReader& params);       // 3
BatchOutcome handleMeet(ParamReader& params);       // 4
BatchOutcome handleSupcon(ParamReader& params);     // 5
BatchOutcome handleMutex(ParamReader& params);      // 6
BatchOutcome handleCondat(ParamReader& params);     // 7
BatchOutcome handleSupreduce(ParamReader& params);  // 8
BatchOutcome handleMinstate(ParamReader& params);   // 9
BatchOutcome handleComplement(ParamReader& params); // 10
BatchOutcome handleLocalize(ParamReader& params);   // 11
BatchOutcome handleForce(ParamReader& params);      // 12
BatchOutcome handleProject(ParamReader& params);    // 13
BatchOutcome handleRelabel(ParamReader& params);    // 14
BatchOutcome handleVocalize(ParamReader& params);   // 15
BatchOutcome handleOutconsis(ParamReader& params);  // 16
BatchOutcome handleHiconsis(ParamReader& params);   // 17
BatchOutcome handleHigen(ParamReader& params);      // 18
BatchOutcome handleAllevents(ParamReader& params);  // 19
BatchOutcome handleSupnorm(ParamReader& params);    // 20
BatchOutcome handleSupscop(ParamReader& params);    // 21
BatchOutcome handleSupconrobs(ParamReader& params); // 22
BatchOutcome handleSupqc(ParamReader& params);      // 23
BatchOutcome handleIsomorph(ParamReader& params);   // 24
BatchOutcome handleNonconflict(ParamReader& params); // 25
BatchOutcome handleObservable(ParamReader& params); // 26
BatchOutcome handleNatobs(ParamReader& params);     // 27
BatchOutcome handleSuprobs(ParamReader& params);    // 28
BatchOutcome handleBfsRecode(ParamReader& params);  // 29
BatchOutcome handleGraphviz(ParamReader& params);   // 30
BatchOutcome handleStatistics(ParamReader& params); // 31
BatchOutcome handleUncertmod(ParamReader& params);  // 32

using ProcedureRunner = void (*)(const ProcedureRequest& request, ProcedureOutcome& outcome);
extern const ProcedureRunner procedureRunners[PROCEDURE_COUNT];

void runCreate(const ProcedureRequest& r, ProcedureOutcome& o);
void runSelfloop(const ProcedureRequest& r, ProcedureOutcome& o);
void runTrim(const ProcedureRequest& r, ProcedureOutcome& o);
void runSync(const ProcedureRequest& r, ProcedureOutcome& o);
void runMeet(const ProcedureRequest& r, ProcedureOutcome& o);
void runSupcon(const ProcedureRequest& r, ProcedureOutcome& o);
void runMutex(const ProcedureRequest& r, ProcedureOutcome& o);
void runCondat(const ProcedureRequest& r, ProcedureOutcome& o);
void runSupreduce(const ProcedureRequest& r, ProcedureOutcome& o);
void runMinstate(const ProcedureRequest& r, ProcedureOutcome& o);
void runComplement(const ProcedureRequest& r, ProcedureOutcome& o);
void runLocalize(const ProcedureRequest& r, ProcedureOutcome& o);
void runForce(const ProcedureRequest& r, ProcedureOutcome& o);
void runProject(const ProcedureRequest& r, ProcedureOutcome& o);
void runRelabel(const ProcedureRequest& r, ProcedureOutcome& o);
void runVocalize(const ProcedureRequest& r, ProcedureOutcome& o);
void runOutconsis(const ProcedureRequest& r, ProcedureOutcome& o);
void runHiconsis(const ProcedureRequest& r, ProcedureOutcome& o);
void runHigen(const ProcedureRequest& r, ProcedureOutcome& o);
void runAllevents(const ProcedureRequest& r, ProcedureOutcome& o);
void runSupnorm(const ProcedureRequest& r, ProcedureOutcome& o);
void runSupscop(const ProcedureRequest& r, ProcedureOutcome& o);
void runSupconrobs(const ProcedureRequest& r, ProcedureOutcome& o);
void runSupqc(const ProcedureRequest& r, ProcedureOutcome& o);
void runIsomorph(const ProcedureRequest& r, ProcedureOutcome& o);
void runNonconflict(const ProcedureRequest& r, ProcedureOutcome& o);
void runObservable(const ProcedureRequest& r, ProcedureOutcome& o);
void runNatobs(const ProcedureRequest& r, ProcedureOutcome& o);
void runSuprobs(const ProcedureRequest& r, ProcedureOutcome& o);
void runBfsRecode(const ProcedureRequest& r, ProcedureOutcome& o);
void runGraphviz(const ProcedureRequest& r, ProcedureOutcome& o);
void runStatistics(const ProcedureRequest& r, ProcedureOutcome& o);
void runUncertmod(const ProcedureRequest& r, ProcedureOutcome& o);

// --- The pieces runners are built from ---------------------------------------

// Sets the outcome's code (and the file to blame) and answers false, so
// that `return fail(o, ...)` ends a step.
bool fail(ProcedureOutcome& o, int code, const std::string& path = {});

// Loads an input. `init` selects .DAT (-1) or .DES on entry and holds the
// file's value afterwards. A missing file is an empty DES (init unchanged);
// an unreadable one fails with RESULT_UNREADABLE_INPUT.
[[nodiscard]] bool loadFrom(const std::string& path, std::int64_t& init, DES& des, ProcedureOutcome& o);
[[nodiscard]] bool loadDESFrom(const std::string& path, DES& des, ProcedureOutcome& o);
// The same for an input the computation cannot do without: a missing
// file fails with RESULT_NO_RESULT.
[[nodiscard]] bool loadRequired(const std::string& path, DES& des, ProcedureOutcome& o);

// Saves output k: RESULT_TOO_MANY_TRANSITIONS when an operation hit the
// per-state limit on the way, RESULT_WRITE_FAILED when the file could not
// be written; on success its figures join o.results. The failure is in o,
// so a runner whose last step this is need not look at the answer, which
// lets a runner with more to do stop.
bool saveTo(const ProcedureRequest& r, std::size_t k, const DES& des, std::int64_t init,
                          ProcedureOutcome& o);

// The batch side: a request whose inputs and outputs are user-directory
// names, resolved to paths (".DES", or ".DAT" for the kinds given).
std::string desPath(const std::string& name);
// performProcedure, and the outcome as the child answers it: its code;
// RESULT_CHILD_FAILED ends the child with its message and status 1,
// RESULT_NO_RESULT ends it silently without orva.rst. An output that
// could not be written is named on the console in debug mode. Sets the
// request's minimizer to the one the parameters chose.
BatchOutcome performForBatch(ProcedureRequest& request, ProcedureOutcome& o);
BatchOutcome performForBatch(ProcedureRequest& request);

} // namespace kav
