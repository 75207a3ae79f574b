#pragma once

// The batch handlers, one per procedure code; batchHandlers maps codes to
// them. Each reads its lines of orva.prm, loads its inputs, runs its
// operation and saves its outputs, answering with a result code.

#include "engine/batch.h"

namespace kav {

BatchOutcome handleCreate(ParamReader& params);     // 0
BatchOutcome handleTrim(ParamReader& params);       // 2
BatchOutcome handleSync(ParamReader& params);       // 3
BatchOutcome handleMeet(ParamReader& params);       // 4
BatchOutcome handleSupcon(ParamReader& params);     // 5
BatchOutcome handleCondat(ParamReader& params);     // 7
BatchOutcome handleMinstate(ParamReader& params);   // 9
BatchOutcome handleBfsRecode(ParamReader& params);  // 29
BatchOutcome handleStatistics(ParamReader& params); // 31

} // namespace kav
