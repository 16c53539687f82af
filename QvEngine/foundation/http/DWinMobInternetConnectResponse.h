// DWinMobInternetConnectResponse (type 31): the connection engine opened its
// Internet session. The handle stays the connection engine's, which closes
// it when the connection closes; a receiver only copies it (to open server
// connections with).
#ifndef QV_DWINMOBINTERNETCONNECTRESPONSE_H
#define QV_DWINMOBINTERNETCONNECTRESPONSE_H

#include "DClientResponse.h"
#include "wininet.h"

class DWinMobInternetConnectResponse : public DClientResponse {
public:
    explicit DWinMobInternetConnectResponse(HINTERNET internet)
        : DClientResponse(kResponseTypeInternetConnect), m_internet(internet) {}
    virtual HINTERNET GetPayload() const { return m_internet; }

private:
    HINTERNET m_internet;
};

#endif
