#include "engine/handlers.h"

namespace kav {

const BatchHandler batchHandlers[PROCEDURE_COUNT] = {
    /*  0 */ handleCreate,
    /*  1 */ handleSelfloop,
    /*  2 */ handleTrim,
    /*  3 */ handleSync,
    /*  4 */ handleMeet,
    /*  5 */ handleSupcon,
    /*  6 */ handleMutex,
    /*  7 */ handleCondat,
    /*  8 */ handleSupreduce,
    /*  9 */ handleMinstate,
    /* 10 */ handleComplement,
    /* 11 */ handleLocalize,
    /* 12 */ handleForce,
    /* 13 */ handleProject,
    /* 14 */ handleRelabel,
    /* 15 */ handleVocalize,
    /* 16 */ handleOutconsis,
    /* 17 */ handleHiconsis,
    /* 18 */ handleHigen,
    /* 19 */ handleAllevents,
    /* 20 */ handleSupnorm,
    /* 21 */ handleSupscop,
    /* 22 */ handleSupconrobs,
    /* 23 */ handleSupqc,
    /* 24 */ handleIsomorph,
    /* 25 */ handleNonconflict,
    /* 26 */ handleObservable,
    /* 27 */ handleNatobs,
    /* 28 */ handleSuprobs,
    /* 29 */ handleBfsRecode,
    /* 30 */ handleGraphviz,
    /* 31 */ handleStatistics,
    /* 32 */ handleUncertmod,
};

const ProcedureRunner procedureRunners[PROCEDURE_COUNT] = {
    runCreate,     runSelfloop,  runTrim,        runSync,        runMeet,       runSupcon,       runMutex,
    runCondat,     runSupreduce, runMinstate,    runComplement,  runLocalize,   runForce,        runProject,
    runRelabel,    runVocalize,  runOutconsis,   runHiconsis,    runHigen,      runAllevents,    runSupnorm,
    runSupscop,    runSupconrobs, runSupqc,      runIsomorph,    runNonconflict, runObservable,  runNatobs,
    runSuprobs,    runBfsRecode, runGraphviz,    runStatistics,  runUncertmod,
};

} // namespace kav
