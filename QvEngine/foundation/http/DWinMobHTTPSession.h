// DWinMobHTTPSession: the session over WinInet. It opens the connection to
// the server once the connection engine reported the Internet session, and
// drives each submitted transaction as steps of its own task on the
// engine's thread: open the server connection, send the request (the
// transaction hands the transfer to its worker), then, once the transfer
// ended, deliver the outcome (DHTTPSession::DeliverTransferResult).
//
// Task states: 0 idle, 1 open the server connection, 3 send the request,
// 4 wait for the transfer. Registered with the engine's task manager from
// construction on.
#ifndef QV_DWINMOBHTTPSESSION_H
#define QV_DWINMOBHTTPSESSION_H

#include "DActiveTask.h"
#include "DHTTPSession.h"
#include "wininet.h"

// The session task: 0 -> 1 -> 3 -> 4 -> 0 for the first request, 0 -> 3 -> 4 -> 0 on an open connection.
enum EWinMobSessionState : uint32_t {
    kSessionIdle = 0,            // no transaction in hand; waits for a submit, then to OpenConnection or SendRequest
    kSessionOpenConnection = 1,  // opens the server connection, then to SendRequest
    kSessionSendRequest = 3,     // opens the request and starts the worker, then to WaitTransfer
    kSessionWaitTransfer = 4,    // waits for the transaction's completion signal, delivers the outcome, then to Idle
};

class DWinMobHTTPSession : public DHTTPSession, public DActiveTask {
public:
    // The session bound to client, or null when it cannot be made (no
    // memory, no task manager).
    static DWinMobHTTPSession *Create(IHTTPClient *client, IGlobalData *global);

    // A current transaction's transfer is stopped first (the transaction
    // outlives the session without it); then the server connection is
    // closed.
    ~DWinMobHTTPSession() override;

    // Type 31: the Internet session to open server connections on; the
    // record goes on to the client. Other types are an error.
    DErrorCode InternetConnect_RecievedResponse(DClientResponse *response) override;
    // Closes the server connection, then the data connection.
    DErrorCode CloseConnection() override;
    // A held server connection is closed first: the connection engine lets
    // go of its Internet session here.
    DErrorCode CanConnect(DActiveTaskSignal *signal) override;
    // Makes trx current (connecting on first use) and starts the task; a
    // task still busy with trx (a re-send) starts over.
    DErrorCode SubmitTransaction(DHTTPTransaction *trx) override;
    // The session task stops waiting for trx when it is the current one.
    DErrorCode TransactionComplete(DHTTPTransaction *trx) override;
    // A DWinMobHTTPTransaction.
    DErrorCode CreateTransaction(DHTTPTransaction **out) override;

    DErrorCode RunTask() override;
    // State := idle.
    void CancelTask() override;

    uint32_t GetTaskState() const { return m_taskState; }
    HINTERNET GetConnectHandle() const { return m_connect; }

protected:
    explicit DWinMobHTTPSession(IGlobalData *global);
    DErrorCode CreateConnectEngine(DInternetConnectEngine **out) override;

private:
    DErrorCode DoOpenSession();
    DErrorCode DoSendRequest();
    void CompleteTransfer();
    // Ends the current transaction with an error report of code (or just
    // reports it when there is none).
    void Fail(DErrorCode code, const char *detail);
    void CloseConnectHandle();
    void LogText(const char *text);

    HINTERNET m_internet;
    HINTERNET m_connect;
    uint32_t m_taskState;
};

#endif
