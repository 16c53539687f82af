// IActiveSyncEngine: the engine's public face, the only way its callers (the
// applications, the messaging transport, the address-list lookup dialog)
// reach it. Made by the engine library's CreateActiveSyncEngine and deleted
// by its caller. Every operation returns at once: the work of a run happens
// in the engine's own task and callbacks on the caller's thread, and its
// outcome reaches the caller through IActiveSyncClient.
#ifndef QV_IACTIVESYNCENGINE_H
#define QV_IACTIVESYNCENGINE_H

#include <cstdint>

#include "DErrorCode.h"
#include "VFile.h"
#include "VString.h"
#include "wintypes.h"

class IActiveSyncClient;
class IGlobalData;

class IActiveSyncEngine {
public:
    virtual ~IActiveSyncEngine() = default;
    // Binds the engine to the caller's global info and callback object;
    // generalErrInvalidParameter when either is null. Again: keeps what it made.
    virtual DErrorCode Initialize(IGlobalData *global, IActiveSyncClient *client) = 0;
    // Ends the run in hand; dropPush also takes the push bit out of the run.
    virtual DErrorCode CancelSync(BOOL dropPush) = 0;
    // Starts a run (flags, options, lock mode and run kind: ActiveSyncEngineConstants.h).
    virtual DErrorCode StartSync(uint32_t runFlags, uint32_t options, uint32_t mode, uint32_t continueRun) = 0;
    // Reserved; answers 0.
    virtual DErrorCode Reserved() = 0;
    // The idle summary text for the caller's status line.
    virtual DErrorCode GetStatusText(VString *out) = 0;
    // Starts a global-address-list search: start must be 0 and rangeEnd below 100.
    virtual DErrorCode StartSearch(VString *storeName, VString *query, int start, uint16_t rangeEnd,
                                   VFile *results) = 0;
};

#endif
