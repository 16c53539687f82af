#include "DWinMobHTTPSession.h"

#include <new>
#include <string>

#include "DActiveTaskManager.h"
#include "DWinMobHTTPTransaction.h"
#include "DWinMobInternetConnectEngine.h"
#include "DWinMobInternetConnectResponse.h"
#include "ILogProvider.h"
#include "PlatformErrorLog.h"

DWinMobHTTPSession *DWinMobHTTPSession::Create(IHTTPClient *client, IGlobalData *global) {
    if (global == nullptr || global->GetTaskManager() == nullptr) return nullptr;
    DWinMobHTTPSession *session = new (std::nothrow) DWinMobHTTPSession(global);
    if (session != nullptr) session->SetClient(client);
    return session;
}

DWinMobHTTPSession::DWinMobHTTPSession(IGlobalData *global)
    : DHTTPSession(global),
      DActiveTask(kActiveTaskDefaultPriority),
      m_internet(nullptr),
      m_connect(nullptr),
      m_taskState(kSessionIdle) {
    global->GetTaskManager()->AddTask(this);
}

DWinMobHTTPSession::~DWinMobHTTPSession() {
    // Its worker must stop reporting to a session that goes; the base then
    // tells the transaction that it has no session any more.
    DWinMobHTTPTransaction *trx = dynamic_cast<DWinMobHTTPTransaction *>(m_current);
    if (trx != nullptr) trx->StopTransfer();
    CloseConnectHandle();
}

void DWinMobHTTPSession::LogText(const char *text) {
    ILogProvider *log = m_global != nullptr ? m_global->GetLogger() : nullptr;
    if (log != nullptr) log->WriteString(text, 1, kLogAllCategories);
}

void DWinMobHTTPSession::CloseConnectHandle() {
    if (m_connect == nullptr) return;
    InternetCloseHandle(m_connect);
    m_connect = nullptr;
}

DErrorCode DWinMobHTTPSession::CreateConnectEngine(DInternetConnectEngine **out) {
    *out = new (std::nothrow) DWinMobInternetConnectEngine(m_global);
    return *out != nullptr ? kNoError : generalErrMemoryError;
}

DErrorCode DWinMobHTTPSession::CreateTransaction(DHTTPTransaction **out) {
    if (out == nullptr) return generalErrNULLPointer;
    *out = new (std::nothrow) DWinMobHTTPTransaction(m_global, this);
    return kNoError;
}

DErrorCode DWinMobHTTPSession::InternetConnect_RecievedResponse(DClientResponse *response) {
    if (response == nullptr || response->GetType() != kResponseTypeInternetConnect) {
        LogText("DWmHttpSess::InternetConnect_RecievedResponse() - Unknown Response Type\n");
        return ReportError(internetConnectErrUnknownResponse,
                           "DWinMobHttpSession::InternetConnect_RecievedResponse()\n");
    }
    LogText("DWmHttpSess::InternetConnect_RecievedResponse() - Connected To Internet\n");
    // A server connection held so far is replaced, not leaked.
    CloseConnectHandle();
    m_internet = static_cast<DWinMobInternetConnectResponse *>(response)->GetPayload();
    m_taskState = kSessionOpenConnection;
    if (m_client == nullptr) return generalErrNULLPointer;
    return m_client->HTTP_RecievedResponse(response);
}

DErrorCode DWinMobHTTPSession::CloseConnection() {
    CloseConnectHandle();
    return DHTTPSession::CloseConnection();
}

DErrorCode DWinMobHTTPSession::CanConnect(DActiveTaskSignal *signal) {
    CloseConnectHandle();
    m_internet = nullptr;
    return DHTTPSession::CanConnect(signal);
}

DErrorCode DWinMobHTTPSession::SubmitTransaction(DHTTPTransaction *trx) {
    if (trx == nullptr) return generalErrNULLPointer;
    const bool resend = trx == m_current;
    if (!resend) {
        // The connection record may reach the client in here; a transaction
        // cancelled or replaced meanwhile is not touched again.
        DErrorCode err = DHTTPSession::SubmitTransaction(trx);
        if (err != kNoError) return err;
    }
    // Not connected: the failure was reported.
    if (!m_engine || !m_engine->IsConnected()) return kNoError;
    // A re-send of the current transaction may find the task still waiting
    // for the transfer that the transaction stopped: it starts over.
    if (resend) Deactivate();
    m_taskState = m_connect != nullptr ? kSessionSendRequest : kSessionOpenConnection;
    DErrorCode err = ActivateAndSignal();
    if (err != kNoError) {
        m_taskState = kSessionIdle;
        ReportError(err, "DWinMobHTTPSession::SubmitTransaction()\n");
    }
    return kNoError;
}

DErrorCode DWinMobHTTPSession::TransactionComplete(DHTTPTransaction *trx) {
    if (trx == nullptr || trx == m_current) Deactivate();
    return DHTTPSession::TransactionComplete(trx);
}

void DWinMobHTTPSession::CancelTask() { m_taskState = kSessionIdle; }

void DWinMobHTTPSession::Fail(DErrorCode code, const char *detail) {
    if (m_current != nullptr)
        DeliverTransferResult(code, detail);
    else
        ReportError(code, detail);
}

DErrorCode DWinMobHTTPSession::RunTask() {
    const DErrorCode code = m_signal.GetCode();
    if (code != kNoError) {
        m_taskState = kSessionIdle;
        Fail(code, "DWinMobHTTPSession::RunTask()\n");
        return kNoError;
    }
    switch (m_taskState) {
    case kSessionOpenConnection:
        return DoOpenSession();
    case kSessionSendRequest:
        return DoSendRequest();
    case kSessionWaitTransfer:
        CompleteTransfer();
        return kNoError;
    default:
        return kNoError;
    }
}

DErrorCode DWinMobHTTPSession::DoOpenSession() {
    DHTTPTransaction *trx = m_current;
    if (trx == nullptr) {
        m_taskState = kSessionIdle;
        return kNoError;
    }
    const std::string server = trx->GetServer();
    const std::u16string wideServer(server.begin(), server.end());
    const INTERNET_PORT port = INTERNET_PORT(trx->GetEffectivePort());
    m_connect = InternetConnectW(m_internet, wideServer.c_str(), port, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0);
    if (m_connect == nullptr) {
        LogPlatformError(m_global != nullptr ? m_global->GetLogger() : nullptr,
                         "DWmHttpSess::DoOpenSession InternetConnect ", internetConnectNetUnavailable);
        m_taskState = kSessionIdle;
        Fail(internetConnectNetUnavailable, "DWinMobHTTPSession::RunTask()\n");
        return kNoError;
    }
    m_taskState = kSessionSendRequest;
    ActivateAndSignal();
    return kNoError;
}

DErrorCode DWinMobHTTPSession::DoSendRequest() {
    DWinMobHTTPTransaction *trx = dynamic_cast<DWinMobHTTPTransaction *>(m_current);
    if (trx == nullptr) {
        m_taskState = kSessionIdle;
        if (m_current != nullptr) Fail(httpErrTransactionNotSupported, "DWinMobHTTPSession::DoSendRequest()\n");
        return kNoError;
    }
    // From now on the task waits for the transaction's signal.
    Activate();
    const DErrorCode err = trx->DoSendWmReq(GetSignal(), m_connect);
    if (err == kNoError) {
        m_taskState = kSessionWaitTransfer;
        return kNoError;
    }
    Deactivate();
    m_taskState = kSessionIdle;
    Fail(err, "DWinMobHTTPSession::DoSendRequest()\n");
    return kNoError;
}

void DWinMobHTTPSession::CompleteTransfer() {
    m_taskState = kSessionIdle;
    DWinMobHTTPTransaction *trx = dynamic_cast<DWinMobHTTPTransaction *>(m_current);
    if (trx == nullptr) return;
    const DErrorCode result = trx->GetTransferResult();
    switch (ClassifyTransfer(result, trx->GetStatusCode())) {
    case kHTTPTransferSucceeded:
        LogText("DWmHttpSess::RunTask() - http trx succeeded\n");
        break;
    case kHTTPTransferFailedWithStatus:
        LogText("DWmHttpSess::RunTask() - Http trx failed\n");
        break;
    case kHTTPTransferError:
        break;
    }
    // The client may delete the transaction or submit the next one in here.
    DeliverTransferResult(result, "DWinMobHttpSession::RunTask() - http trx failed\n");
}
