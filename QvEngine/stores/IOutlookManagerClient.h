// IOutlookManagerClient: how a store manager hands a status record (the
// progress of a long job) to the engine's client. Implemented by the data
// manager; the record is read only during the call.
#ifndef QV_IOUTLOOKMANAGERCLIENT_H
#define QV_IOUTLOOKMANAGERCLIENT_H

#include <cstdint>

class DStatusData;

class IOutlookManagerClient {
public:
    virtual ~IOutlookManagerClient() = default;
    virtual void OutlookManager_ReportStatus(DStatusData *status, uint32_t extra) = 0;
};

#endif
