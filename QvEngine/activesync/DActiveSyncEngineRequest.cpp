// The engine's requests: the session headers, one transaction per command
// (verb, scheme, server, policy key), the request path and query, the
// command text of each step and the request body the data manager built.
#include <new>
#include <string>

#include "ActiveSyncRequestPath.h"
#include "DASDS_DataResponse.h"
#include "DActiveSyncEngine.h"
#include "DHTTPSession.h"
#include "DHTTPTransaction.h"
#include "DeviceIdText.h"
#include "ICorvanePreferences.h"
#include "ILogProvider.h"
#include "IOutlookMessage.h"

namespace {

#ifdef VANTREL_EDITION_SMARTPHONE
const char kUserAgent[] = "Vantrel-Smartphone/2.0";
#else
const char kUserAgent[] = "Vantrel-PocketPC/2.0";
#endif

// The protocol version from which the policy key travels with the requests.
constexpr WORD kFirstPolicyKeyVersion = 250;
// Server ids asked of a message are at most this long (terminator included).
constexpr uint32_t kServerIdSize = 128;

const char kSendMailCommand[] = "SendMail&SaveInSent=T";

}  // namespace

DErrorCode DActiveSyncEngine::SetProtocolVersionHeader() {
    if (m_httpSession == nullptr || m_prefs == nullptr) return generalErrNotInitialized;
    const char *version = m_prefs->GetEASVers() == 250 ? "2.5" : "2.0";
    return m_httpSession->SetHeader(kHTTPHeaderMSASProtocolVersion, version, kHTTPHeaderToTerminator);
}

DErrorCode DActiveSyncEngine::SetSessionHeaders() {
    if (m_httpSession == nullptr || m_prefs == nullptr) return generalErrNotInitialized;
    DErrorCode err = m_httpSession->SetHeader(kHTTPHeaderAcceptLanguage, "en-us", kHTTPHeaderToTerminator);
    if (err == kNoError) err = SetProtocolVersionHeader();
    if (err == kNoError) err = m_httpSession->SetHeader(kHTTPHeaderConnection, "Keep-Alive", kHTTPHeaderToTerminator);
    if (err == kNoError) err = m_httpSession->SetHeader(kHTTPHeaderUserAgent, kUserAgent, kHTTPHeaderToTerminator);
    if (err == kNoError) err = m_httpSession->SetHeader(kHTTPHeaderCacheControl, "no-cache", kHTTPHeaderToTerminator);
    VString server;
    std::string host;
    if (err == kNoError) err = m_prefs->GetServer(&server);
    if (err == kNoError) err = ToWindows1252Text(server, &host);
    if (err == kNoError) err = m_httpSession->SetHeader(kHTTPHeaderHost, host.c_str(), int32_t(host.size()));
    if (err == kNoError) err = m_httpSession->SetBasicAuthorization();
    return err;
}

const char *DActiveSyncEngine::GetCommandText(uint32_t step) {
    switch (step) {
    case EActiveSyncStep_Options:
        return "";
    case EActiveSyncStep_FirstFolderSyncCmd:
    case EActiveSyncStep_FolderSyncCmd:
        return "FolderSync";
    case EActiveSyncStep_FirstNotifyCmd:
        return "Notify";
    case EActiveSyncStep_GetItemEstimateCmd:
        return "GetItemEstimate";
    case EActiveSyncStep_EMailSendCmd:
    case EActiveSyncStep_EMailSmartSendCmd:
        return kSendMailCommand;
    case EActiveSyncStep_EMailSendMeetingResponseCmd:
        return "MeetingResponse";
    case EActiveSyncStep_EMailGetAttachmentCmd:
        return "GetAttachment";
    case EActiveSyncStep_PingCmd:
        return "Ping";
    case EActiveSyncStep_ProvisionCmd:
    case EActiveSyncStep_AcknowledgeProvisionCmd:
        return "Provision";
    case EActiveSyncStep_SearchCmd:
        return "Search";
    case EActiveSyncStep_FolderCreateCmd:
        return "FolderCreate";
    case EActiveSyncStep_MoveCmd:
        return "MoveItems";
    case EActiveSyncStep_FirstEMailSyncCmd:
    case EActiveSyncStep_FirstCalendarSyncCmd:
    case EActiveSyncStep_FirstContactsSyncCmd:
    case EActiveSyncStep_FirstTasksSyncCmd:
    case EActiveSyncStep_EMailSyncCmd:
    case EActiveSyncStep_SyncCmd:
    case EActiveSyncStep_CalendarSyncCmd:
    case EActiveSyncStep_ContactsSyncCmd:
    case EActiveSyncStep_TasksSyncCmd:
        return "Sync";
    default:
        return nullptr;
    }
}

DErrorCode DActiveSyncEngine::GetDeviceIdentity(VString *deviceId, VString *deviceType) {
    DErrorCode err = m_prefs->GetQVDeviceID(deviceId);
    if (err == kNoError) err = m_prefs->GetQVDeviceType(deviceType);
    if (err != kNoError) return err;
    if (deviceId->GetLength() != 0 && deviceType->GetLength() != 0) return kNoError;
    // An empty one is made and stored first; the program version tells
    // which form this device has always sent.
    const bool hexForm = m_prefs->GetQVMaj() != 0;
    if (deviceId->GetLength() == 0) {
        err = hexForm ? MakeDeviceIdHex(deviceId) : MakeDeviceId32(deviceId);
        if (err == kNoError) err = m_prefs->SetQVDeviceID(*deviceId);
    }
    if (err == kNoError && deviceType->GetLength() == 0) {
        err = deviceType->AssignCStr(hexForm ? "VantrelClient" : "SmartPhone", kVStringWindows1252);
        if (err == kNoError) err = m_prefs->SetQVDeviceType(*deviceType);
    }
    return err;
}

DErrorCode DActiveSyncEngine::BuildRequestPath(const char *command, std::string *path) {
    if (m_prefs == nullptr) return generalErrNotInitialized;
    VString user;
    VString deviceId;
    VString deviceType;
    DErrorCode err = m_prefs->GetUser(&user);
    if (err == kNoError) err = GetDeviceIdentity(&deviceId, &deviceType);
    if (err == kNoError) err = BuildActiveSyncRequestPath(user, deviceId, deviceType, command, path);
    return err;
}

DErrorCode DActiveSyncEngine::CreateCommandTransaction(uint32_t step, const char *command) {
    if (m_httpSession == nullptr || m_prefs == nullptr) return generalErrNotInitialized;
    delete m_currentTransaction;
    m_currentTransaction = nullptr;
    DHTTPTransaction *trx = nullptr;
    DErrorCode err = m_httpSession->CreateTransaction(&trx);
    if (err == kNoError && trx == nullptr) err = generalErrMemoryError;
    if (err != kNoError) return err;
    m_currentTransaction = trx;
    trx->SetVerb(step == EActiveSyncStep_Options ? kHTTPVerbOptions : kHTTPVerbPost);
    trx->SetProtocol(m_prefs->GetUseSSL() != 0 ? kHTTPSchemeHttps : kHTTPSchemeHttp);
    VString server;
    std::string host;
    err = m_prefs->GetServer(&server);
    if (err == kNoError) err = ToWindows1252Text(server, &host);
    // A server set as "host:port" keeps its port.
    int32_t port = kHTTPSchemeDefaultPort;
    if (err == kNoError) SplitServerAddress(std::string(host), &host, &port);
    if (err == kNoError) err = trx->SetServer(host.c_str());
    if (err == kNoError) err = trx->SetPort(port);
    if (err == kNoError) err = SetCommandPath(command);
    // The policy key goes with every command of protocol 2.5 but OPTIONS,
    // Ping included: a server that enforces policies refuses a Ping
    // without it.
    if (err == kNoError && step != EActiveSyncStep_Options && m_prefs->GetEASVers() >= kFirstPolicyKeyVersion) {
        VString key;
        std::string keyText;
        err = m_prefs->GetEASPolicyKey(&key);
        if (err == kNoError) err = ToWindows1252Text(key, &keyText);
        if (err == kNoError)
            err = trx->SetRequestHeader(kHTTPHeaderXMSPolicyKey, keyText.c_str(), int32_t(keyText.size()));
    }
    return err;
}

DErrorCode DActiveSyncEngine::SetCommandPath(const char *command) {
    if (m_currentTransaction == nullptr) return generalErrNotInitialized;
    std::string path;
    DErrorCode err = BuildRequestPath(command, &path);
    return err != kNoError ? err : m_currentTransaction->SetPath(path.c_str());
}

DErrorCode DActiveSyncEngine::CollectRequestBody(uint32_t step) {
    if (m_dataManager == nullptr) return generalErrNotInitialized;
    DErrorCode err = m_dataManager->CollectCommandData(step);
    return err != kNoError ? err : activeSyncErrWaitForCallback;
}

DErrorCode DActiveSyncEngine::PrepareActiveSyncCommand(uint32_t step) {
    if (m_logger != nullptr) {
        m_logger->WriteString("DActiveSyncEngine::PrepareActiveSyncCommand() : ", 1, kLogAllCategories);
        m_logger->WriteLine(GetActiveSyncStepName(step), 1, kLogAllCategories);
    }
    switch (step) {
    case EActiveSyncStep_Options:
        return PrepareOptionsCommand();
    case EActiveSyncStep_FirstFolderSyncCmd:
    case EActiveSyncStep_FolderSyncCmd:
        return PrepareFolderSyncCommand(step);
    case EActiveSyncStep_FirstNotifyCmd:
        return PrepareNotifyCommand();
    case EActiveSyncStep_GetItemEstimateCmd:
        return PrepareGetItemEstimateCommand();
    case EActiveSyncStep_EMailSendCmd:
    case EActiveSyncStep_EMailSmartSendCmd:
        return PrepareSendMailCommand(step);
    case EActiveSyncStep_EMailSendMeetingResponseCmd:
        return PrepareMeetingResponseCommand();
    case EActiveSyncStep_EMailGetAttachmentCmd:
        return PrepareGetAttachmentCommand();
    case EActiveSyncStep_PingCmd:
        return PreparePingCommand();
    case EActiveSyncStep_ProvisionCmd:
    case EActiveSyncStep_AcknowledgeProvisionCmd:
        return PrepareProvisionCommand(step);
    case EActiveSyncStep_SearchCmd:
        return PrepareSearchCommand();
    case EActiveSyncStep_FolderCreateCmd:
        return PrepareFolderCreateCommand();
    case EActiveSyncStep_MoveCmd:
        return PrepareMoveItemsCommand();
    default:
        if (GetCommandText(step) != nullptr) return PrepareSyncCommand(step);
        LogTextCode("DActiveSyncEngine::PrepareActiveSyncCommand() - Unknown ActiveSync Step : ", step);
        return activeSyncErrUnexpectedStep;
    }
}

DErrorCode DActiveSyncEngine::PrepareOptionsCommand() {
    LogText("DActiveSyncEngine::PrepareOptionsCommand() : \n");
    return CreateCommandTransaction(EActiveSyncStep_Options, nullptr);
}

DErrorCode DActiveSyncEngine::PrepareFolderSyncCommand(uint32_t step) {
    LogText("DActiveSyncEngine::PrepareFolderSyncCommand() : \n");
    DErrorCode err = CreateCommandTransaction(step, GetCommandText(step));
    return err != kNoError ? err : CollectRequestBody(step);
}

DErrorCode DActiveSyncEngine::PrepareNotifyCommand() {
    LogText("DActiveSyncEngine::PrepareNotifyCommand() : \n");
    DErrorCode err = CreateCommandTransaction(EActiveSyncStep_FirstNotifyCmd, "Notify");
    return err != kNoError ? err : CollectRequestBody(EActiveSyncStep_FirstNotifyCmd);
}

DErrorCode DActiveSyncEngine::PrepareGetItemEstimateCommand() {
    LogText("DActiveSyncEngine::PrepareGetItemEstimateCommand() : \n");
    DErrorCode err = CreateCommandTransaction(EActiveSyncStep_GetItemEstimateCmd, "GetItemEstimate");
    return err != kNoError ? err : CollectRequestBody(EActiveSyncStep_GetItemEstimateCmd);
}

// SendMail until the body record tells whether it is a reply or a forward
// (ProcessDataSupplierResponse rewrites the command then).
DErrorCode DActiveSyncEngine::PrepareSendMailCommand(uint32_t step) {
    LogText("DActiveSyncEngine::PrepareSendMailCommand() : \n");
    DErrorCode err = CreateCommandTransaction(step, kSendMailCommand);
    return err != kNoError ? err : CollectRequestBody(step);
}

DErrorCode DActiveSyncEngine::PrepareMeetingResponseCommand() {
    LogText("DActiveSyncEngine::PrepareMeetingResponseCommand() : \n");
    DErrorCode err = CreateCommandTransaction(EActiveSyncStep_EMailSendMeetingResponseCmd, "MeetingResponse");
    return err != kNoError ? err : CollectRequestBody(EActiveSyncStep_EMailSendMeetingResponseCmd);
}

// The attachment's name joins the command when its record arrives.
DErrorCode DActiveSyncEngine::PrepareGetAttachmentCommand() {
    LogText("DActiveSyncEngine::PrepareGetAttachmentCommand() : \n");
    DErrorCode err = CreateCommandTransaction(EActiveSyncStep_EMailGetAttachmentCmd, "GetAttachment");
    return err != kNoError ? err : CollectRequestBody(EActiveSyncStep_EMailGetAttachmentCmd);
}

DErrorCode DActiveSyncEngine::PrepareSyncCommand(uint32_t step) {
    LogText("DActiveSyncEngine::PrepareSyncCommand() : \n");
    DErrorCode err = CreateCommandTransaction(step, "Sync");
    return err != kNoError ? err : CollectRequestBody(step);
}

// With *empty Ping* set the request goes without a body (the server reuses
// the previous folder list and heartbeat); the byte is cleared either way.
DErrorCode DActiveSyncEngine::PreparePingCommand() {
    LogText("DActiveSyncEngine::PreparePingCommand() : \n");
    DErrorCode err = CreateCommandTransaction(EActiveSyncStep_PingCmd, "Ping");
    // The server holds the Ping for the heartbeat: the transfer waits 80 s more.
    if (err == kNoError) err = m_currentTransaction->SetTimeout(m_prefs->GetQVHeartbeat() + 80);
    if (err != kNoError) return err;
    m_firstPush = 0;
    m_firstCycle = 0;
    m_prefs->SetEngineState(kEngineStatePinging);
    const bool empty = m_emptyPing != 0;
    m_emptyPing = 0;
    m_lastPingEmpty = empty ? 1 : 0;
    return empty ? kNoError : CollectRequestBody(EActiveSyncStep_PingCmd);
}

// The acknowledgement tells the data manager first whether a wipe was
// ordered, so that it carries the order's answer.
DErrorCode DActiveSyncEngine::PrepareProvisionCommand(uint32_t step) {
    LogText("DActiveSyncEngine::PrepareProvisionCommand() : \n");
    DErrorCode err = CreateCommandTransaction(step, "Provision");
    if (err == kNoError && step == EActiveSyncStep_AcknowledgeProvisionCmd)
        err = m_dataManager != nullptr ? m_dataManager->SetWipeOrdered(m_wipeOrdered) : generalErrNotInitialized;
    return err != kNoError ? err : CollectRequestBody(step);
}

DErrorCode DActiveSyncEngine::PrepareSearchCommand() {
    LogText("DActiveSyncEngine::PrepareSearchCommand() : \n");
    if (m_dataManager == nullptr) return generalErrNotInitialized;
    DErrorCode err = m_dataManager->SetSearchParameters(m_searchStore, m_searchQuery, m_searchStart, m_searchRange);
    if (err == kNoError) err = CreateCommandTransaction(EActiveSyncStep_SearchCmd, "Search");
    return err != kNoError ? err : CollectRequestBody(EActiveSyncStep_SearchCmd);
}

DErrorCode DActiveSyncEngine::PrepareFolderCreateCommand() {
    LogText("DActiveSyncEngine::PrepareFolderCreateCommand() : \n");
    DErrorCode err = CreateCommandTransaction(EActiveSyncStep_FolderCreateCmd, "FolderCreate");
    return err != kNoError ? err : CollectRequestBody(EActiveSyncStep_FolderCreateCmd);
}

DErrorCode DActiveSyncEngine::PrepareMoveItemsCommand() {
    LogText("DActiveSyncEngine::PrepareMoveItemsCommand() : \n");
    DErrorCode err = CreateCommandTransaction(EActiveSyncStep_MoveCmd, "MoveItems");
    return err != kNoError ? err : CollectRequestBody(EActiveSyncStep_MoveCmd);
}

DErrorCode DActiveSyncEngine::BuildSendCommand(DASDS_SendDataResponse *record, std::string *command) {
    try {
        command->assign(kSendMailCommand);
        IOutlookMessage *message = record != nullptr ? record->GetMessage() : nullptr;
        uint32_t sendType = kMessageSendPlain;
        if (message == nullptr || message->GetSendType(&sendType) != kNoError ||
            (sendType != kMessageSendReply && sendType != kMessageSendForward))
            return kNoError;
        char parentId[kServerIdSize] = {};
        char folderId[kServerIdSize] = {};
        bool known = message->GetParentMessageID(parentId, sizeof parentId) == kNoError && parentId[0] != '\0';
        if (known) {
            // The folder that holds the parent names the collection.
            IOutlookMessage *parent = nullptr;
            known = message->GetParentMessage(&parent) == kNoError && parent != nullptr &&
                    parent->GetFolderServerID(folderId, sizeof folderId) == kNoError && folderId[0] != '\0';
            if (parent != nullptr) {
                parent->Close();
                delete parent;
            }
        }
        if (!known) {
            LogText("Detected Reply/Forward to a message without Exchange ID! sending as a regular message.\n");
            return kNoError;
        }
        std::string itemValue;
        std::string collectionValue;
        DErrorCode err = EscapeHTTPQueryValue(parentId, &itemValue);
        if (err == kNoError) err = EscapeHTTPQueryValue(folderId, &collectionValue);
        if (err != kNoError) return err;
        *command = std::string(sendType == kMessageSendReply ? "SmartReply" : "SmartForward") + "&ItemId=" +
                   itemValue + "&CollectionId=" + collectionValue + "&SaveInSent=T";
    } catch (const std::bad_alloc &) {
        return generalErrMemoryError;
    }
    return kNoError;
}

DErrorCode DActiveSyncEngine::SetRequestBody(DASDS_DataResponse *record) {
    if (m_currentTransaction == nullptr) return generalErrNotInitialized;
    const char *type = record->GetContentType();
    DErrorCode err = kNoError;
    if (type != nullptr && type[0] != '\0')
        err = m_currentTransaction->SetRequestHeader(kHTTPHeaderContentType, type, kHTTPHeaderToTerminator);
    // The transaction owns the stream from here on, whatever the result.
    VFile *body = record->GetBody();
    record->SetBody(nullptr);
    DErrorCode bodyErr = m_currentTransaction->SetRequestData(body);
    return err != kNoError ? err : bodyErr;
}

DErrorCode DActiveSyncEngine::SendCurrentTransaction() {
    if (m_currentTransaction == nullptr) return generalErrNotInitialized;
    return m_currentTransaction->Submit();
}
