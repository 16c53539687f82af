// IHTTPClient: what the HTTP session reports to its user (the engine).
// Every call is made on the engine's thread. Records handed in are the
// session's: the client reads them only during the call. A response
// record's transaction may be deleted by the client inside the call; the
// session never touches it afterwards.
#ifndef QV_IHTTPCLIENT_H
#define QV_IHTTPCLIENT_H

#include "DClientResponse.h"
#include "DErrorCode.h"
#include "DStatusData.h"
#include "VString.h"

class IHTTPClient {
public:
    // A connection or transfer failed; detail names where.
    virtual DErrorCode HTTP_ReportError(DErrorCode code, VString *detail) = 0;
    // An exchange finished (types 4 and 5) or the connection came up (31).
    virtual DErrorCode HTTP_RecievedResponse(DClientResponse *response) = 0;
    virtual DErrorCode HTTP_ReportStatus(DStatusData *status) = 0;
    // Fills in the account's user name and password.
    virtual DErrorCode HTTP_GetCredentials(VString *user, VString *password) = 0;

protected:
    ~IHTTPClient() = default;
};

#endif
