// DHTTPSession: what reaches the client: errors, status, response records
// and receive progress.
#include "DHTTPSession.h"

#include <new>

#include "DHTTPResponse.h"
#include "DHTTPTransaction.h"
#include "DProgressStatusData.h"
#include "ILogProvider.h"
#include "winuser.h"

DErrorCode DHTTPSession::ReportError(DErrorCode code, const char *text) {
    if (m_client == nullptr) return generalErrNULLPointer;
    VString detail;
    DErrorCode err = detail.AssignCStr(text != nullptr ? text : "", kVStringWindows1252);
    if (err != kNoError) return err;
    return m_client->HTTP_ReportError(code, &detail);
}

DErrorCode DHTTPSession::InternetConnect_ReportError(DErrorCode code, VString *detail) {
    if (m_client == nullptr) return generalErrNULLPointer;
    return m_client->HTTP_ReportError(code, detail);
}

DErrorCode DHTTPSession::InternetConnect_RecievedResponse(DClientResponse *) {
    return ReportError(httpErrNotImplemented, "DHTTPSession::InternetConnect_RecievedResponse()");
}

DErrorCode DHTTPSession::InternetConnect_ReportStatus(DStatusData *status) {
    if (m_client == nullptr) return generalErrNULLPointer;
    return m_client->HTTP_ReportStatus(status);
}

DErrorCode DHTTPSession::DeliverRecord(DClientResponse *record, const char *failureText) {
    DHTTPTransaction *trx = m_current;
    // Complete first: the client may delete the transaction or submit the
    // next one while it holds the record.
    trx->CancelTransaction();
    if (record == nullptr) return ReportError(generalErrMemoryError, failureText);
    DErrorCode err = m_client != nullptr ? m_client->HTTP_RecievedResponse(record) : generalErrNULLPointer;
    delete record;
    return err;
}

DErrorCode DHTTPSession::ReportSuccess() {
    if (m_current == nullptr) return generalErrNULLPointer;
    return DeliverRecord(new (std::nothrow) DHTTPSuccessResponse(m_current), "DHTTPSession::ReportSuccess()");
}

DErrorCode DHTTPSession::ReportFailure(DErrorCode code) {
    if (m_current == nullptr) return generalErrNULLPointer;
    return DeliverRecord(new (std::nothrow) DHTTPFailureResponse(m_current, code), "DHTTPSession::ReportFailure()");
}

EHTTPTransferOutcome DHTTPSession::ClassifyTransfer(DErrorCode transferResult, uint32_t status) {
    // A status of 0 means none was received: never a success.
    if ((transferResult != kNoError && transferResult != httpErrRequestFailed) || status == 0) return kHTTPTransferError;
    return status >= 200 && status < 300 ? kHTTPTransferSucceeded : kHTTPTransferFailedWithStatus;
}

DErrorCode DHTTPSession::DeliverTransferResult(DErrorCode transferResult, const char *detail) {
    FlushReceiveProgress();
    DHTTPTransaction *trx = m_current;
    if (trx == nullptr) return generalErrNULLPointer;
    switch (ClassifyTransfer(transferResult, trx->GetStatusCode())) {
    case kHTTPTransferSucceeded:
        return ReportSuccess();
    case kHTTPTransferFailedWithStatus:
        return ReportFailure(httpErrRequestFailed);
    case kHTTPTransferError:
        break;
    }
    trx->CancelTransaction();
    return ReportError(transferResult != kNoError ? transferResult : httpErrUnknownResponse, detail);
}

DErrorCode DHTTPSession::ReportReceiveProgress() {
    if (m_current == nullptr) return generalErrNULLPointer;
    if (m_client == nullptr) return generalErrNULLPointer;
    DHTTPProgressStatusRecieveData *record = new (std::nothrow)
        DHTTPProgressStatusRecieveData(m_current->GetContentLength(), m_current->GetBytesReceived());
    if (record == nullptr) {
        ILogProvider *log = m_global != nullptr ? m_global->GetLogger() : nullptr;
        if (log != nullptr)
            log->WriteStringHexLine("DHTTPSession::ReportReceiveProgress() - Failed to report status ERR : ",
                                    int32_t(generalErrMemoryError), 1, kLogAllCategories);
        return generalErrMemoryError;
    }
    DErrorCode err = m_client->HTTP_ReportStatus(record);
    delete record;
    return err;
}

void DHTTPSession::PostReceiveProgress(DHTTPTransaction *trx, uint32_t bytesReceived) {
    {
        std::lock_guard<std::mutex> hold(m_progressLock);
        m_progressTrx = trx;
        m_progressBytes = bytesReceived;
        // One call in the queue at a time carries whatever is latest when
        // it runs.
        if (m_progressPending) return;
        m_progressPending = true;
    }
    std::weak_ptr<int> alive = m_alive;
    if (!vplat::PostThreadCall(m_homeThread, [alive, this] {
            if (!alive.expired()) FlushReceiveProgress();
        })) {
        std::lock_guard<std::mutex> hold(m_progressLock);
        m_progressPending = false;
    }
}

void DHTTPSession::FlushReceiveProgress() {
    DHTTPTransaction *trx = nullptr;
    uint32_t bytes = 0;
    {
        std::lock_guard<std::mutex> hold(m_progressLock);
        if (!m_progressPending) return;
        m_progressPending = false;
        trx = m_progressTrx;
        bytes = m_progressBytes;
    }
    if (m_current == nullptr || trx != m_current) return;
    m_current->m_bytesReceived = bytes;
    ReportReceiveProgress();
}
