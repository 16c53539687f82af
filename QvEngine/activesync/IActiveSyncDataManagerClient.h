// IActiveSyncDataManagerClient: what the data manager reports to the engine
// that owns it. Calls come on the engine's thread; records are the data
// manager's and valid only during the call, except a request body stream
// that the engine takes over (DASDS_DataResponse::SetBody).
#ifndef QV_IACTIVESYNCDATAMANAGERCLIENT_H
#define QV_IACTIVESYNCDATAMANAGERCLIENT_H

#include "DClientResponse.h"
#include "DErrorCode.h"
#include "DStatusData.h"
#include "VString.h"

class IActiveSyncDataManagerClient {
public:
    // A chain failed with no caller waiting for its signal.
    virtual DErrorCode ActiveSyncDataManager_ReportError(DErrorCode code, VString *detail) = 0;
    // A parsed response (types 6 to 15), a request body (16 to 21) or the
    // time-zone change notice (28).
    virtual DErrorCode ActiveSyncDataManager_RecievedResponse(DClientResponse *response) = 0;
    // Progress: kinds 3 and 4 become the minor status text, others go on
    // to the engine's client unchanged.
    virtual DErrorCode ActiveSyncDataManager_ReportStatus(DStatusData *status) = 0;

protected:
    ~IActiveSyncDataManagerClient() = default;
};

#endif
