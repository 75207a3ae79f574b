#include "engine/handlers.h"

namespace kav {

const BatchHandler batchHandlers[PROCEDURE_COUNT] = {
    /*  0 */ handleCreate,
    /*  1 */ nullptr,
    /*  2 */ handleTrim,
    /*  3 */ handleSync,
    /*  4 */ handleMeet,
    /*  5 */ handleSupcon,
    /*  6 */ nullptr,
    /*  7 */ handleCondat,
    /*  8 */ nullptr,
    /*  9 */ handleMinstate,
    /* 10 */ nullptr,
    /* 11 */ nullptr,
    /* 12 */ nullptr,
    /* 13 */ nullptr,
    /* 14 */ nullptr,
    /* 15 */ nullptr,
    /* 16 */ nullptr,
    /* 17 */ nullptr,
    /* 18 */ nullptr,
    /* 19 */ nullptr,
    /* 20 */ nullptr,
    /* 21 */ nullptr,
    /* 22 */ nullptr,
    /* 23 */ nullptr,
    /* 24 */ nullptr,
    /* 25 */ nullptr,
    /* 26 */ nullptr,
    /* 27 */ nullptr,
    /* 28 */ nullptr,
    /* 29 */ handleBfsRecode,
    /* 30 */ nullptr,
    /* 31 */ handleStatistics,
    /* 32 */ nullptr,
};

} // namespace kav
