// IInternetConnectClient: what a connection engine reports to its owner
// (the HTTP session), on the engine's thread. The connection record
// (type 31) arrives synchronously inside the engine's Connect.
#ifndef QV_IINTERNETCONNECTCLIENT_H
#define QV_IINTERNETCONNECTCLIENT_H

#include "DClientResponse.h"
#include "DErrorCode.h"
#include "DStatusData.h"
#include "VString.h"

class IInternetConnectClient {
public:
    virtual DErrorCode InternetConnect_ReportError(DErrorCode code, VString *detail) = 0;
    virtual DErrorCode InternetConnect_RecievedResponse(DClientResponse *response) = 0;
    virtual DErrorCode InternetConnect_ReportStatus(DStatusData *status) = 0;

protected:
    ~IInternetConnectClient() = default;
};

#endif
