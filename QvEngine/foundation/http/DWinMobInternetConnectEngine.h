// DWinMobInternetConnectEngine: brings up the data connection through the
// Connection Manager (refusing early when the phone's radio is off) and
// opens the WinInet session that requests go over. Runs on the engine's
// thread.
//
// Handles: the Connection Manager connection is held from network ready
// on, the Internet handle while connected. The engine never holds either
// while disconnected: CanConnect lets go of what it holds before it brings
// a new connection up, and every failure releases what was taken.
//
// Re-entrancy: the connection record (type 31) reaches the client inside
// Connect; Connect touches nothing of the engine after sending it.
#ifndef QV_DWINMOBINTERNETCONNECTENGINE_H
#define QV_DWINMOBINTERNETCONNECTENGINE_H

#include "DInternetConnectEngine.h"
#include "ICorvanePreferences.h"
#include "wininet.h"

// Status text number of "connected".
constexpr UINT kConnectedStatusText = 129;

class DWinMobInternetConnectEngine : public DInternetConnectEngine {
public:
    explicit DWinMobInternetConnectEngine(IGlobalData *global);
    // Closes the connection.
    ~DWinMobInternetConnectEngine() override;

    // From disconnected: CanConnect, then the WinInet session. Always 0;
    // failures go to the client's InternetConnect_ReportError.
    DErrorCode Connect() override;
    DErrorCode CloseConnection() override;
    // Brings the data connection up (network ready) or fails; with a signal
    // the result is signalled and 0 returned.
    DErrorCode CanConnect(DActiveTaskSignal *signal) override;
    // State := connected; the client gets the type-31 record.
    DErrorCode ReportConnection() override;
    // The status text of that number as a type-1 status record.
    DErrorCode ReportStatus(UINT textId);

    HINTERNET GetInternetHandle() const { return m_internet; }
    HANDLE GetConnectionHandle() const { return m_connection; }

private:
    DErrorCode BringUpNetwork();
    // Closes the Internet handle and releases the connection, whichever
    // is held.
    void ReleaseHandles();
    void LogText(const char *text);
    void LogHex(const char *text, DErrorCode code);
    void LogLastError(const char *context, DErrorCode code);

    ICorvanePreferences *m_prefs;
    HANDLE m_connection;
    HINTERNET m_internet;
};

#endif
