// IActiveSyncClient: what the engine calls on its caller. Every caller of
// the engine implements it and owns it; the engine only borrows it. Calls
// come on the caller's own thread. Records handed in are the engine's and
// valid only during the call.
#ifndef QV_IACTIVESYNCCLIENT_H
#define QV_IACTIVESYNCCLIENT_H

#include <cstdint>

#include "DClientResponse.h"
#include "DErrorCode.h"
#include "DStatusData.h"
#include "VString.h"
#include "wintypes.h"

class IActiveSyncClient {
public:
    // Once for each error that ends or interrupts a run; the engine has
    // already logged it and set its status texts.
    virtual DErrorCode ActiveSync_ReportError(DErrorCode code, VString *detail) = 0;
    // Sync responses of each type, the Ping record, connection records, the
    // wipe-complete record; null at the end of every run.
    virtual DErrorCode ActiveSync_ReceivedResponse(DClientResponse *response) = 0;
    // Every status report (major and minor texts, progress, alive).
    virtual DErrorCode ActiveSync_ReportStatus(DStatusData *status) = 0;
    // The caller's four-character tag, compared with the sync-lock owner.
    virtual uint32_t ActiveSync_GetClientID() = 0;
    // Non-zero when a sync may run now; asked before a push run turns into
    // a sync cycle.
    virtual BOOL ActiveSync_PreSyncCheck() = 0;

protected:
    ~IActiveSyncClient() = default;
};

#endif
