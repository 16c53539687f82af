// What the engine does with each outcome of its HTTP session: connection
// records, a command's success or failure (a 449 asks for provisioning
// first), a dial-up connection, errors and progress of the transfer. Every
// error ends in the error report (DActiveSyncEngineReport.cpp).
#include <string>

#include "ActiveSyncRecordTypes.h"
#include "DASDP_GetItemEstimateResponse.h"
#include "DASDP_PingResponse.h"
#include "DASDP_PolicyResponse.h"
#include "DASDP_SearchResponse.h"
#include "DASDP_SyncResponse.h"
#include "DActiveSyncEngine.h"
#include "DHTTPResponse.h"
#include "DHTTPTransaction.h"
#include "ICorvanePreferences.h"
#include "ILogProvider.h"

namespace {

// Records of the connection layer that tell the engine a connection is up.
constexpr uint32_t kResponseTypeConnectionUp = 2;
constexpr uint32_t kResponseTypeConnectionOpened = 24;
constexpr uint32_t kResponseTypeConnectionReady = 26;
// The connection came up over dial-up: too dear to hold a Ping open.
constexpr uint32_t kResponseTypeDialUp = 32;

constexpr uint32_t kHTTPStatusProvisionNeeded = 449;
constexpr uint32_t kMaxLoggedBodyBytes = 16383;

const char kReceivedMethod[] = "DActiveSyncEngine::HTTP_RecievedResponse()";
const char kPerformMethod[] = "DActiveSyncEngine::HTTP_RecievedResponse() - Performing Next Step";

bool IsProvisionStep(uint32_t step) {
    return step == EActiveSyncStep_ProvisionCmd || step == EActiveSyncStep_AcknowledgeProvisionCmd;
}

}  // namespace

DErrorCode DActiveSyncEngine::HTTP_RecievedResponse(DClientResponse *response) {
    if (response == nullptr) return generalErrInvalidParameter;
    DErrorCode err = kNoError;
    bool perform = false;
    switch (response->GetType()) {
    case kResponseTypeConnectionUp:
    case kResponseTypeConnectionOpened:
    case kResponseTypeConnectionReady:
    case kResponseTypeInternetConnect:
        if (m_client != nullptr) m_client->ActiveSync_ReceivedResponse(response);
        m_connectionReady = 1;
        perform = true;
        break;
    case kResponseTypeHTTPSuccess: {
        const uint32_t step = m_currentStep;
        err = ProcessCurrentCommandResponse(step, 0);
        if (err == kNoError) {
            // The answer to the acknowledgement resumes the saved step; a
            // success of any other command ends that resumption.
            if (step == EActiveSyncStep_AcknowledgeProvisionCmd) m_resumedAfterProvision = 1;
            else if (!IsProvisionStep(step)) m_resumedAfterProvision = 0;
            // While more data waits the same step runs again.
            if (m_moreAvailable) m_moreAvailable = 0;
            else err = DetermineNextStep();
            perform = err == kNoError;
        }
        VString key;
        if (m_prefs != nullptr && m_prefs->GetEASPolicyKey(&key) == kNoError &&
            key.ConvertTo(kVStringWindows1252) == kNoError && key.GetNarrowText() != nullptr &&
            std::string(key.GetNarrowText()) == "0")
            m_prefs->SetITPolicyEnabled(0);
        break;
    }
    case kResponseTypeHTTPFailure:
        err = ProcessHTTPFailure(static_cast<DHTTPFailureResponse *>(response), &perform);
        break;
    case kResponseTypeDialUp:
        LogText("DActiveSyncEngine::HTTP_RecievedResponse() - DIALUP : disabling Push for this sync\n");
        m_runFlags &= ~kRunFlagPush;
        break;
    default:
        LogText("DActiveSyncEngine::HTTP_RecievedResponse() - Unknown Response Type\n");
        err = httpErrUnknownResponse;
        break;
    }
    if (err != kNoError) {
        if (err != activeSyncErrWaitForCallback) ReportError(err, nullptr, kReceivedMethod);
        return kNoError;
    }
    if (perform) {
        err = PerformNextActiveSyncStep();
        if (err != kNoError && err != activeSyncErrWaitForCallback) ReportError(err, nullptr, kPerformMethod);
    }
    return kNoError;
}

DErrorCode DActiveSyncEngine::ProcessHTTPFailure(DHTTPFailureResponse *failure, bool *perform) {
    DHTTPTransaction *transaction = failure->GetPayload();
    const uint32_t status = transaction != nullptr ? transaction->GetStatusCode() : 0;
    const uint32_t step = m_currentStep;
    if (status == kHTTPStatusProvisionNeeded && m_prefs != nullptr && m_prefs->GetEASVers() > 249) {
        // Provisioning answered with another 449, or the resumed step asked
        // again: the server will not take this device's policy key.
        if (IsProvisionStep(step) || (m_resumedAfterProvision && step == m_savedStep)) {
            LogText("DActiveSyncEngine::HTTP_RecievedResponse() - 449 again after provisioning\n");
            m_resumedAfterProvision = 0;
            return activeSyncErrTransactionFailed;
        }
        m_savedStep = step;
        m_currentStep = EActiveSyncStep_ProvisionCmd;
        *perform = true;
        return kNoError;
    }
    LogText("DActiveSyncEngine::HTTP_RecievedResponse() - HTTP Transaction Failed\n");
    LogResourceText(43);
    if (m_logger != nullptr) {
        m_logger->WriteNumber(int32_t(status), 1, kLogAllCategories);
        m_logger->NewLine(1, kLogAllCategories);
    }
    // No HTTP status at all: the transfer itself failed, and its code says why.
    if (status == 0) return failure->GetErrorCode();
    const DErrorCode err = ProcessCurrentCommandResponse(step, status);
    if (err == DErrorCode(status)) return activeSyncErrTransactionFailed;
    if (err != kNoError) return err;
    DErrorCode next = DetermineNextStep();
    *perform = next == kNoError;
    return next;
}

DErrorCode DActiveSyncEngine::HTTP_ReportError(DErrorCode code, VString *detail) {
    if (code == internetConnectErrCancel) {
        CancelSync(FALSE);
        if (m_client != nullptr) m_client->ActiveSync_ReceivedResponse(nullptr);
        return kNoError;
    }
    if (code != kNoError) ReportError(code, detail, "DActiveSyncEngine::HTTP_ReportError()");
    return kNoError;
}

DErrorCode DActiveSyncEngine::HTTP_ReportStatus(DStatusData *status) {
    if (status == nullptr) return generalErrInvalidParameter;
    const uint32_t kind = status->GetType();
    if (kind == kStatusTypeReceiveProgress ||
        (kind == kStatusTypeSendProgress && m_currentStep == EActiveSyncStep_EMailSendCmd))
        return ReportMinorStatus(status);
    if (kind == kStatusTypeSendProgress) return kNoError;
    return m_client != nullptr ? m_client->ActiveSync_ReportStatus(status) : kNoError;
}

DErrorCode DActiveSyncEngine::ProcessCurrentCommandResponse(uint32_t step, uint32_t status) {
    LogText("DActiveSyncEngine::ProcessCurrentCommandResponse() : ");
    LogText(GetActiveSyncStepName(step));
    LogText("\n");
    // A send the server failed with 500 is settled by the data manager first
    // (a plain send stays queued, a smart one goes plainly next time); the
    // step still fails with the status.
    if (status == 500 && (step == EActiveSyncStep_EMailSendCmd || step == EActiveSyncStep_EMailSmartSendCmd) &&
        m_dataManager != nullptr) {
        DClientResponse *record = nullptr;
        VFile *body = nullptr;
        if (m_currentTransaction != nullptr) m_currentTransaction->GetResponseData(&body);
        m_dataManager->ProcessCommandData(step, m_currentTransaction, body, &record);
        delete record;
    }
    // No command handles an HTTP failure of its own: the status goes back.
    if (status != 0) return DErrorCode(status);
    switch (step) {
    case EActiveSyncStep_Options:
        return ProcessOptionsCommandFinish(m_currentTransaction);
    case EActiveSyncStep_FirstNotifyCmd:
        return kNoError;
    case EActiveSyncStep_EMailSyncCmd:
    case EActiveSyncStep_CalendarSyncCmd:
    case EActiveSyncStep_ContactsSyncCmd:
    case EActiveSyncStep_TasksSyncCmd:
        ReportMajorStatus(78);
        break;
    case EActiveSyncStep_MoveCmd:
        ReportMajorStatus(126);
        break;
    default:
        break;
    }
    DClientResponse *record = nullptr;
    DErrorCode err = ProcessCurrentCommandData(&record);
    // A Ping answer judges its own status: a refused heartbeat or folder
    // count is followed, not only reported.
    const bool ping = step == EActiveSyncStep_PingCmd && record != nullptr && record->GetType() == kResponseTypePing;
    if (ping && (err == kNoError || err == ASDataManagerErrBadStatus)) {
        err = ProcessPingCommandData(static_cast<DASDP_PingResponse *>(record));
    } else if (err == ASDataManagerErrBadStatus && record != nullptr) {
        err = ProcessDataProcessorResponseStatus(record);
        // Judged a success, a Search answer still fills the results.
        if (err == kNoError && step == EActiveSyncStep_SearchCmd) err = ProcessSearchResponse(record);
    } else if (err == kNoError && record != nullptr) {
        if (IsProvisionStep(step))
            err = ProcessProvisionResponse(record);
        else if (step == EActiveSyncStep_SearchCmd)
            err = ProcessSearchResponse(record);
    }
    delete record;
    return err;
}

DErrorCode DActiveSyncEngine::ProcessCurrentCommandData(DClientResponse **record) {
    *record = nullptr;
    VFile *body = nullptr;
    uint32_t size = 0;
    const bool haveBody = m_currentTransaction != nullptr && m_currentTransaction->GetResponseData(&body) == kNoError &&
                          body != nullptr && body->GetSize(&size) == kNoError && size != 0;
    // A server accepts a message with an empty answer: the data manager
    // files it as sent. Failing the step would leave it queued to go again.
    // An attachment may be empty too: its answer is the attachment itself.
    // A regular Sync may be answered with no body when nothing changed.
    const bool bodyNeeded =
        m_currentStep != EActiveSyncStep_EMailSendCmd && m_currentStep != EActiveSyncStep_EMailGetAttachmentCmd &&
        m_currentStep != EActiveSyncStep_EMailSyncCmd && m_currentStep != EActiveSyncStep_CalendarSyncCmd &&
        m_currentStep != EActiveSyncStep_ContactsSyncCmd && m_currentStep != EActiveSyncStep_TasksSyncCmd;
    if (m_currentTransaction == nullptr || (!haveBody && bodyNeeded)) {
        LogText("DActiveSyncEngine::ProcessCurrentCommandData() - No data returned for command : ");
        LogText(GetActiveSyncStepName(m_currentStep));
        LogText("\n");
        return activeSyncErrMissingHTTPResponse;
    }
    if (haveBody &&
        (m_currentStep == EActiveSyncStep_EMailSendCmd || m_currentStep == EActiveSyncStep_EMailGetAttachmentCmd))
        LogResponseBody(body, size);
    if (m_dataManager == nullptr) return generalErrNotInitialized;
    return m_dataManager->ProcessCommandData(m_currentStep, m_currentTransaction, body, record);
}

// The first 16383 bytes of a send or attachment answer go to the log.
void DActiveSyncEngine::LogResponseBody(VFile *body, uint32_t size) {
    bool open = false;
    body->IsOpen(&open);
    if (!open && body->Open(kVFileRead) != kNoError) return;
    std::string text(size < kMaxLoggedBodyBytes ? size : kMaxLoggedBodyBytes, '\0');
    uint32_t read = 0;
    if (body->Seek(kVFileSeekStart, 0) == kNoError && body->Read(uint32_t(text.size()), &text[0], &read) == kNoError) {
        text.resize(read);
        LogText(text.c_str());
        LogText("\n");
    }
    body->Seek(kVFileSeekStart, 0);
    if (!open) body->Close();
}

// Provision answers. The policy request's answer carries the temporary key,
// which the acknowledgement then sends; the acknowledgement's answer carries
// the final key, which is stored and not acknowledged again (the step
// machine goes on with the saved step, or the wipe).
DErrorCode DActiveSyncEngine::ProcessProvisionResponse(DClientResponse *record) {
    if (record->GetType() != kResponseTypePolicy) return activeSyncErrDataManagerUnexpectedResponse;
    auto *policy = static_cast<DASDP_PolicyResponse *>(record);
    if (policy->GetStatus() != kPolicyStatusSuccess) return activeSyncErrPolicyStatusError;
    // A wipe order reaches the registry before the acknowledgement goes out,
    // so that a restart after it still wipes; it stands until the wipe is done.
    if (policy->GetWipe() && m_prefs != nullptr && m_prefs->GetRemoteWipeState() == 0) {
        const DErrorCode stored = m_prefs->SetRemoteWipeState(1);
        if (stored != kNoError) return stored;
    }
    m_wipeOrdered = policy->GetWipe() || IsRemoteWipePending();
    const VString *key = policy->GetPolicyKey();
    if (key == nullptr || m_prefs == nullptr) return kNoError;
    VString stored;
    DErrorCode err = m_prefs->GetEASPolicyKey(&stored);
    if (err == kNoError && !stored.IsEqual(*key, TRUE)) err = m_prefs->SetEASPolicyKey(*key);
    return err;
}

// A Search answer: its result text replaces the results file's content.
DErrorCode DActiveSyncEngine::ProcessSearchResponse(DClientResponse *record) {
    if (record->GetType() != kResponseTypeSearch) return activeSyncErrDataManagerUnexpectedResponse;
    auto *search = static_cast<DASDP_SearchResponse *>(record);
    if (search->GetStatus() != kSearchStatusSuccess) return ASDataManagerErrBadStatus;
    if (m_searchResults == nullptr) return generalErrNotInitialized;
    VString text;
    DErrorCode err = text.Assign(search->GetResult());
    if (err == kNoError) err = text.ConvertTo(kVStringUTF8);
    bool open = false;
    m_searchResults->IsOpen(&open);
    if (err == kNoError && !open) err = m_searchResults->Open(kVFileReadWrite);
    if (err == kNoError) err = m_searchResults->SetSize(0);
    if (err == kNoError) err = m_searchResults->SetPosition(0);
    uint32_t written = 0;
    const char *bytes = text.GetNarrowText();
    if (err == kNoError && bytes != nullptr && text.GetLength() != 0)
        err = m_searchResults->Write(text.GetLength(), bytes, &written);
    if (!open) m_searchResults->Close();
    return err;
}

// A record whose status the data manager refused. A server that lost this
// device's sync state (Sync status 8, GetItemEstimate status 2) starts the
// run again from Options and FolderSync; a Ping status is the heartbeat's.
DErrorCode DActiveSyncEngine::ProcessDataProcessorResponseStatus(DClientResponse *record) {
    const uint32_t type = record->GetType();
    uint32_t status = 0;
    switch (type) {
    case kResponseTypeCalendarSync:
    case kResponseTypeContactsSync:
    case kResponseTypeTasksSync:
    case kResponseTypeEmailSync:
        status = static_cast<DASDP_SyncResponse *>(record)->GetStatus();
        // A sync key or folder hierarchy the server no longer knows.
        if (status == kSyncStatusInvalidKey || status == kSyncStatusHierarchyChanged)
            return RecoverLostSyncState(type, status);
        if (status != 8) return ASDataManagerErrBadStatus;
        break;
    case kResponseTypeGetItemEstimate:
        status = static_cast<DASDP_GetItemEstimateResponse *>(record)->GetStatus();
        if (status != 2) return ASDataManagerErrBadStatus;
        break;
    case kResponseTypePing:
        return JudgePingStatus(static_cast<DASDP_PingResponse *>(record));
    case kResponseTypeSearch:
        return static_cast<DASDP_SearchResponse *>(record)->GetStatus() == kSearchStatusSuccess
                   ? kNoError
                   : ASDataManagerErrBadStatus;
    default:
        LogTextCode("DActiveSyncEngine::ProcessDataProcessorResponseStatus() - Unexpected Response Type : ",
                    DErrorCode(type));
        return activeSyncErrDataManagerUnexpectedResponse;
    }
    m_currentStep = EActiveSyncStep_Options;
    m_folderSyncNeeded = 1;
    LogResourceText(65);
    return kNoError;
}
