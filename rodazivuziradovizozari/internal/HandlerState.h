// What the handler keeps beyond its model, its output and its expression switch: the
// state of its Reads and of its last Write. The exported class holds it by a pointer, so
// that it may change without changing the class's layout. Internal to the handler.
#ifndef RIZEROZ_HANDLERSTATE_H
#define RIZEROZ_HANDLERSTATE_H

#include "RODAzivUzirAdovIzozari.h"

class SVFReadObserver;

struct SVFHandlerState
{
    int nWriteError = 0;             // errno of the last Write's first failed write, flush or close; 0 when none
    SVFReadLimits readLimits = {};   // as set; 0 fields stand for the defaults
    unsigned long long nExpressionBytes = 0;   // bytes expression rows have added in the current Read
    SVFReadObserver* pWarnings = nullptr;      // during a Read, its warnings (an observer that does nothing when off)
    SVFReadHook* pReadHook = nullptr;          // not owned, or null
    // A failure on its way up the walk that no one has reported yet (SVF_ERR_SKIP, which
    // the level that meets it passes on unreported): the first level above reports it as
    // where it arose, the others as repeats.
    bool bUnreportedFailure = false;
};

#endif
