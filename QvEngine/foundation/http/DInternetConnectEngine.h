// DInternetConnectEngine: holds the state of the data connection that HTTP
// requests go over, and reports to its client (the session). This base
// brings no connection up: Connect and CloseConnection are not implemented
// and CanConnect answers yes at once. A platform engine overrides them.
//
// States: disconnected -> network ready (a data connection is up, no
// Internet handle yet) -> connected -> closing -> disconnected.
#ifndef QV_DINTERNETCONNECTENGINE_H
#define QV_DINTERNETCONNECTENGINE_H

#include <cstdint>

#include "DActiveTask.h"
#include "DErrorCode.h"
#include "IGlobalData.h"
#include "IInternetConnectClient.h"

// The connection's life: 0 -> 2 -> 1 while it comes up, 1 -> 3 -> 0 when it closes.
enum EInternetConnectState : uint32_t {
    kConnectStateDisconnected = 0,  // holds nothing; waits for a connect request, then to NetworkReady
    kConnectStateConnected = 1,     // the Internet session is open; waits for CloseConnection, then to Closing
    kConnectStateNetworkReady = 2,  // the data connection is up; opens the Internet session, then to Connected
    kConnectStateClosing = 3,       // releasing the session and the connection, then to Disconnected
};

class DInternetConnectEngine {
public:
    explicit DInternetConnectEngine(IGlobalData *global);
    DInternetConnectEngine(const DInternetConnectEngine &) = delete;
    DInternetConnectEngine &operator=(const DInternetConnectEngine &) = delete;
    virtual ~DInternetConnectEngine() = default;

    virtual void SetClient(IInternetConnectClient *client);
    virtual bool IsConnected() const { return m_state == kConnectStateConnected; }
    virtual bool IsDisconnected() const { return m_state == kConnectStateDisconnected; }
    virtual bool IsNetworkReady() const { return m_state == kConnectStateNetworkReady; }
    virtual bool IsClosing() const { return m_state == kConnectStateClosing; }
    // Base: internetConnectErrNotImplemented.
    virtual DErrorCode Connect();
    virtual DErrorCode CloseConnection();
    // Whether a connection can be made. Base: signals 0 at once (when given
    // a signal) and returns 0.
    virtual DErrorCode CanConnect(DActiveTaskSignal *signal);
    virtual void SetOption(uint32_t option);
    // Does nothing; returns 0.
    virtual DErrorCode Reserved();
    // Base: state := connected.
    virtual DErrorCode ReportConnection();
    // CloseConnection.
    virtual DErrorCode Disconnect();

    uint32_t GetState() const { return m_state; }
    uint32_t GetOption() const { return m_option; }
    IInternetConnectClient *GetClient() const { return m_client; }

protected:
    // The text, as Windows-1252, to the client's InternetConnect_ReportError.
    DErrorCode ReportError(DErrorCode code, const char *detail);

    IGlobalData *m_global;
    IInternetConnectClient *m_client;
    uint32_t m_state;
    uint32_t m_option;
};

#endif
