// DHTTPSession: the engine's HTTP client. It keeps the headers sent with
// every request (Basic authentication, protocol version, policy key), the
// connection engine (made on first use), and the one transaction in flight
// (the current one), and reports outcomes to its client (IHTTPClient).
// A platform class does the network work over this base: it creates the
// connection engine and transactions, drives each submitted transaction,
// and ends it with DeliverTransferResult.
//
// Re-entrancy: the connection record reaches the client synchronously
// inside OpenConnection and SubmitTransaction, and a response record is
// delivered to the client, which may delete the transaction or submit the
// next one inside the callback. The session never touches a transaction
// after delivering its record, and a submit whose transaction was cancelled
// or superseded during the connection callback does not make it current.
//
// Threads: everything runs on the engine's thread (the thread that made the
// session) except PostReceiveProgress, which any thread may call.
#ifndef QV_DHTTPSESSION_H
#define QV_DHTTPSESSION_H

#include <cstdint>
#include <memory>
#include <mutex>

#include "DActiveTask.h"
#include "DErrorCode.h"
#include "DHTTPHeaderList.h"
#include "DInternetConnectEngine.h"
#include "IGlobalData.h"
#include "IHTTPClient.h"
#include "IInternetConnectClient.h"

class DHTTPTransaction;

// How a finished transfer ends (ClassifyTransfer).
enum EHTTPTransferOutcome {
    // A status of 200 to 299 was received: a success record.
    kHTTPTransferSucceeded,
    // Another status was received: a failure record carrying it.
    kHTTPTransferFailedWithStatus,
    // No usable status (the transfer failed): an error report.
    kHTTPTransferError,
};

class DHTTPSession : public IInternetConnectClient {
public:
    explicit DHTTPSession(IGlobalData *global);
    DHTTPSession(const DHTTPSession &) = delete;
    DHTTPSession &operator=(const DHTTPSession &) = delete;

    // IInternetConnectClient: errors and status go on to the client. Base
    // response: httpErrNotImplemented is reported.
    DErrorCode InternetConnect_ReportError(DErrorCode code, VString *detail) override;
    DErrorCode InternetConnect_RecievedResponse(DClientResponse *response) override;
    DErrorCode InternetConnect_ReportStatus(DStatusData *status) override;

    // Deletes the connection engine; a current transaction forgets the
    // session.
    virtual ~DHTTPSession();
    // 0 when the connection engine is connected, else its Connect.
    virtual DErrorCode OpenConnection();
    // The connection engine's CloseConnection; the flag word := 0.
    virtual DErrorCode CloseConnection();
    virtual DErrorCode CanConnect(DActiveTaskSignal *signal);
    // The flag word := 1.
    virtual void SetFlag();
    // Opens the connection and makes trx current. generalErrCanceled when
    // trx was cancelled or deleted, or another transaction was submitted,
    // while the connection came up: trx is then not current and the caller
    // must not touch it.
    virtual DErrorCode SubmitTransaction(DHTTPTransaction *trx);
    // When trx is null or current: forgets it, and closes the connection
    // when the engine is no longer connected.
    virtual DErrorCode TransactionComplete(DHTTPTransaction *trx);
    // A new transaction bound to this session (null when memory is short).
    // Base: a plain DHTTPTransaction.
    virtual DErrorCode CreateTransaction(DHTTPTransaction **out);

    void SetClient(IHTTPClient *client) { m_client = client; }
    IHTTPClient *GetClient() const { return m_client; }
    // Sets the session header of that id, or removes it for a null value.
    DErrorCode SetHeader(uint32_t id, const char *value, int32_t length);
    // Authorization := "Basic " and the Base64 form of user:password
    // (Windows-1252), with the credentials asked of the client.
    DErrorCode SetBasicAuthorization();
    DHTTPHeaderList *GetHeaders() { return &m_headers; }
    DHTTPTransaction *GetCurrentTransaction() const { return m_current; }
    DInternetConnectEngine *GetConnectEngine() const { return m_engine.get(); }
    uint32_t GetFlag() const { return m_flag; }

    // The text, as Windows-1252, to the client's HTTP_ReportError.
    DErrorCode ReportError(DErrorCode code, const char *text);
    // Completes the current transaction, then delivers a success record, or
    // a failure record carrying code, for it.
    DErrorCode ReportSuccess();
    DErrorCode ReportFailure(DErrorCode code);
    // A receive-progress record for the current transaction (total: its
    // content length, done: its bytes received).
    DErrorCode ReportReceiveProgress();

    // Success only when transferResult is 0 or httpErrRequestFailed and a
    // status of 200 to 299 was received; any other received status is a
    // failure; no status, or another result, is an error.
    static EHTTPTransferOutcome ClassifyTransfer(DErrorCode transferResult, uint32_t status);
    // Ends the current transaction by its outcome: a success or failure
    // record, or (completing it first) an error report of transferResult
    // (httpErrUnknownResponse when that is 0) with detail. The client may
    // delete the transaction and submit the next one inside the call;
    // nothing of the ended transaction is touched afterwards.
    DErrorCode DeliverTransferResult(DErrorCode transferResult, const char *detail);

    // From any thread (the transfer worker): trx's bytes received so far.
    // Only the latest value is kept; it reaches the client as one
    // receive-progress record on the engine's thread, at the next turn of
    // its queue, or before the transaction's outcome at the latest. A value
    // for a transaction that is no longer current is dropped.
    void PostReceiveProgress(DHTTPTransaction *trx, uint32_t bytesReceived);

protected:
    // Makes the connection engine. Base: a plain DInternetConnectEngine.
    virtual DErrorCode CreateConnectEngine(DInternetConnectEngine **out);
    // The engine, made and given this session as client on first use.
    DErrorCode EnsureConnectEngine();
    // Sends the posted progress, when some is pending (engine thread).
    void FlushReceiveProgress();

    IGlobalData *m_global;
    IHTTPClient *m_client;
    std::unique_ptr<DInternetConnectEngine> m_engine;
    uint32_t m_flag;
    DHTTPHeaderList m_headers;
    DHTTPTransaction *m_current;

private:
    // A submit waiting for its connection; chained for nested submits.
    struct PendingSubmit {
        DHTTPTransaction *trx;
        bool gone;
        PendingSubmit *outer;
    };

    DErrorCode DeliverRecord(DClientResponse *record, const char *failureText);

    PendingSubmit *m_pending;
    // Counts the transactions made current.
    uint32_t m_submitCount;
    DWORD m_homeThread;
    // Progress posted by the worker, waiting for the engine's thread.
    std::mutex m_progressLock;
    DHTTPTransaction *m_progressTrx;
    uint32_t m_progressBytes;
    bool m_progressPending;
    // Posted progress calls hold a weak copy and run only while the session
    // exists.
    std::shared_ptr<int> m_alive;
};

#endif
