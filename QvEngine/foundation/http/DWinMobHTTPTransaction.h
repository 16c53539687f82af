// DWinMobHTTPTransaction: a DHTTPTransaction sent over WinInet. It opens the
// request on the session's server connection, adds the merged header text,
// and hands the transfer to its worker (DWinMobThreadedSocket), which it
// owns and reuses for every send. When the worker's end reaches the
// engine's thread, the transaction's own task copies the results in and
// signals the session's task.
//
// The request handle stays open until the next send or the transaction's
// deletion, so response headers can be read while the outcome is delivered.
// Everything runs on the engine's thread.
#ifndef QV_DWINMOBHTTPTRANSACTION_H
#define QV_DWINMOBHTTPTRANSACTION_H

#include <memory>
#include <string>

#include "DActiveTask.h"
#include "DHTTPTransaction.h"
#include "DWinMobThreadedSocket.h"
#include "IThreadedSocketClient.h"
#include "wininet.h"

// The flags every request is opened with; INTERNET_FLAG_SECURE is added
// when the account uses SSL.
constexpr DWORD kWinMobRequestFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_KEEP_CONNECTION |
                                      INTERNET_FLAG_NO_AUTO_REDIRECT | INTERNET_FLAG_NO_COOKIES |
                                      INTERNET_FLAG_NO_AUTH | INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTP |
                                      INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTPS | INTERNET_FLAG_NO_UI;

class DWinMobHTTPTransaction : public DHTTPTransaction, public DActiveTask, public IThreadedSocketClient {
public:
    DWinMobHTTPTransaction(IGlobalData *global, DHTTPSession *session);
    // Cancels a transfer in flight, closes the request, deletes the worker.
    ~DWinMobHTTPTransaction() override;

    // Stops the worker, then ends the transaction (the session forgets it,
    // the response file is closed). Nothing of a stopped transfer reaches
    // the session afterwards.
    DErrorCode CancelTransaction() override;
    // Stops the worker; nothing of its transfer reaches the session any
    // more. The transaction stays the session's current one.
    void StopTransfer() override;
    // Refused (activeTaskErrAlreadyActive, file stays the caller's) while a
    // send is in flight: its outcome belongs to the file it was sent with.
    DErrorCode SetResponseData(VFile *file) override;
    // A header of the last response, as Windows-1252 bytes.
    DErrorCode GetHTTPResponseHeader(const char *name, std::string *value) override;

    // Opens and sends the request on connect; signal is fired with 0 once
    // the transfer ended. A failure starts nothing.
    DErrorCode DoSendWmReq(DActiveTaskSignal *signal, HINTERNET connect);
    // The worker's result of the last send.
    DErrorCode GetTransferResult() const { return m_transferResult; }
    bool IsInFlight() const { return m_inFlight; }
    HINTERNET GetRequestHandle() const { return m_requestHandle; }
    DWinMobThreadedSocket *GetSocket() { return m_socket.get(); }

    DErrorCode RunTask() override;
    void CancelTask() override;

    // IThreadedSocketClient.
    void Socket_ReceiveProgress(uint32_t bytesReceived) override;
    void Socket_TransferEnded() override;
    void DoWmCloseTrx() override;

private:
    DErrorCode PrepWmReq(HINTERNET connect);
    DErrorCode SendWmReq();
    bool UsesSSL() const;
    ILogProvider *Logger() const;

    bool m_inFlight;
    DActiveTaskSignal *m_sessionSignal;
    std::u16string m_headerText;
    HINTERNET m_requestHandle;
    std::unique_ptr<DWinMobThreadedSocket> m_socket;
    uint32_t m_taskState;
    DErrorCode m_transferResult;
    // Where the worker's progress goes; set before each worker starts.
    DHTTPSession *m_progressSession;
};

#endif
