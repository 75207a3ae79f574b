#pragma once

// The batch handlers, one per procedure code; batchHandlers maps codes to
// them. Each reads its lines of orva.prm, loads its inputs, runs its
// operation and saves its outputs, answering with a result code.

#include "engine/batch.h"

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

} // namespace kav
