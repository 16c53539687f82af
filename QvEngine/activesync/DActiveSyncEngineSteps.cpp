// The run's step machine: which command follows which, how the command of
// the current step is prepared and sent, and what the engine does with the
// records its data manager hands back.
#include <cstring>

#include "ActiveSyncRecordTypes.h"
#include "DASDP_GetItemEstimateResponse.h"
#include "DASDP_MoveItemResponse.h"
#include "DASDP_PlainResponses.h"
#include "DASDP_SyncResponse.h"
#include "DActiveSyncEngine.h"
#include "DAliveStatusData.h"
#include "DEASFolderInfoStore.h"
#include "DHTTPSession.h"
#include "DHTTPTransaction.h"
#include "ICorvanePreferences.h"
#include "ILogProvider.h"

namespace {


// A data manager whose answers never settle (it says an item waits but has
// none to send) must not spin the engine's thread for ever.
constexpr uint32_t kMaxCanceledSteps = 10000;

const char kRecievedMethod[] = "DActiveSyncEngine::ActiveSyncDataManager_RecievedResponse()";

bool IsKeySet(const char *key) { return key != nullptr && key[0] != '\0' && std::strcmp(key, "0") != 0; }

// Steps without a request need no connection.
bool StepSendsRequest(uint32_t step) {
    return step != EActiveSyncStep_None && step != EActiveSyncStep_Start && step != EActiveSyncStep_PingRestart &&
           step != EActiveSyncStep_RemoteWipe;
}

// What each of calendar, contacts and tasks needs in the shared type rule.
struct TypeRule {
    uint32_t firstStep;    // its first Sync
    uint32_t syncStep;     // its regular Sync
    uint32_t folderType;   // its default folder
    uint16_t localBit;     // its local change bit
};

constexpr TypeRule kCalendarRule = {EActiveSyncStep_FirstCalendarSyncCmd, EActiveSyncStep_CalendarSyncCmd,
                                    kFolderTypeCalendar, kLocalChangeCalendar};
constexpr TypeRule kContactsRule = {EActiveSyncStep_FirstContactsSyncCmd, EActiveSyncStep_ContactsSyncCmd,
                                    kFolderTypeContacts, kLocalChangeContacts};
constexpr TypeRule kTasksRule = {EActiveSyncStep_FirstTasksSyncCmd, EActiveSyncStep_TasksSyncCmd, kFolderTypeTasks,
                                 kLocalChangeTasks};

}  // namespace

// --- Types in the run ---

bool DActiveSyncEngine::IsEMailInRun() { return m_prefs != nullptr && m_prefs->GetEffectiveUserSyncEMail() != 0; }
bool DActiveSyncEngine::IsCalendarInRun() {
    return m_prefs != nullptr && m_prefs->GetEffectiveUserSyncCalendar() != 0;
}
bool DActiveSyncEngine::IsContactsInRun() {
    return m_prefs != nullptr && m_prefs->GetEffectiveUserSyncContacts() != 0;
}
bool DActiveSyncEngine::IsTasksInRun() { return m_prefs != nullptr && m_prefs->GetEffectiveUserSyncTasks() != 0; }

// --- Performing a step ---

DErrorCode DActiveSyncEngine::PerformNextActiveSyncStep() {
    delete m_currentTransaction;
    m_currentTransaction = nullptr;
    for (uint32_t canceled = 0;; ++canceled) {
        if (canceled == kMaxCanceledSteps) return activeSyncErrUnexpectedStep;
        if (StepSendsRequest(m_currentStep) && (m_connectionUp == 0 || m_connectionReady == 0)) {
            m_connectionUp = 1;
            if (m_connectionReady == 0) {
                if (m_httpSession == nullptr) return generalErrNotInitialized;
                DErrorCode err = m_httpSession->OpenConnection();
                if (err != kNoError) return err;
                // The connection record came inside the call and performed
                // the step; or no connection came and the session reported why.
                DInternetConnectEngine *connect = m_httpSession->GetConnectEngine();
                if (m_connectionReady != 0 || connect == nullptr || !connect->IsConnected()) return kNoError;
                // Connected already: the session sends no record.
                m_connectionReady = 1;
            }
        }
        // A task that waits for its own work (or ends the run) sends nothing.
        if (IsActive()) return kNoError;
        DErrorCode err = FinishPerformNextActiveSyncStep();
        if (err != activeSyncErrStepCanceled) return err;
        err = DetermineNextStep();
        if (err != kNoError) return err;
    }
}

DErrorCode DActiveSyncEngine::FinishPerformNextActiveSyncStep() {
    m_moreAvailable = 0;
    const uint32_t step = m_currentStep;
    DErrorCode err = kNoError;
    switch (step) {
    case EActiveSyncStep_None:
        if (m_global != nullptr) m_global->SetMode(0);
        AcknowledgeCompletedSync();
        m_taskStage = kStageRunOver;
        if (m_dataManager != nullptr) {
            Activate();
            err = m_dataManager->EndOfRunCleanup(GetSignal());
        } else {
            ActivateAndSignal();
        }
        if (m_httpSession != nullptr) m_httpSession->CloseConnection();
        return err;
    case EActiveSyncStep_Options:
        ReportMajorStatus(66);
        err = PrepareActiveSyncCommand(step);
        break;
    case EActiveSyncStep_FirstFolderSyncCmd:
    case EActiveSyncStep_FolderSyncCmd:
        ReportMajorStatus(148);
        err = PrepareActiveSyncCommand(step);
        break;
    case EActiveSyncStep_FirstEMailSyncCmd:
        ReportMajorStatus(70);
        err = PrepareActiveSyncCommand((m_options & kRunOptionFetchTruncated) != 0 ? EActiveSyncStep_SyncCmd : step);
        break;
    case EActiveSyncStep_ProvisionCmd:
    case EActiveSyncStep_AcknowledgeProvisionCmd:
    case EActiveSyncStep_FirstNotifyCmd:
    case EActiveSyncStep_SearchCmd:
        err = PrepareActiveSyncCommand(step);
        break;
    case EActiveSyncStep_FirstCalendarSyncCmd:
        ReportMajorStatus(68);
        err = PrepareActiveSyncCommand(step);
        break;
    case EActiveSyncStep_FirstContactsSyncCmd:
        ReportMajorStatus(69);
        err = PrepareActiveSyncCommand(step);
        break;
    case EActiveSyncStep_FirstTasksSyncCmd:
        ReportMajorStatus(115);
        err = PrepareActiveSyncCommand(step);
        break;
    case EActiveSyncStep_GetItemEstimateCmd:
        ReportMajorStatus(71);
        err = PrepareActiveSyncCommand(step);
        break;
    case EActiveSyncStep_EMailSendCmd:
        ReportMajorStatus(75);
        err = PrepareActiveSyncCommand(m_options == kRunOptionSendOutgoing ? EActiveSyncStep_EMailSmartSendCmd : step);
        if (err == generalErrIndexOutOfRange) err = activeSyncErrStepCanceled;
        break;
    case EActiveSyncStep_EMailSendMeetingResponseCmd:
        ReportMajorStatus(74);
        err = PrepareActiveSyncCommand(step);
        if (err == generalErrIndexOutOfRange) err = activeSyncErrStepCanceled;
        break;
    case EActiveSyncStep_EMailSyncCmd:
        ReportMajorStatus(77);
        err = PrepareActiveSyncCommand((m_options & kRunOptionFetchTruncated) != 0 ? EActiveSyncStep_SyncCmd : step);
        break;
    case EActiveSyncStep_EMailGetAttachmentCmd:
        ReportMajorStatus(76);
        err = PrepareActiveSyncCommand(step);
        if (err == generalErrIndexOutOfRange) {
            if (m_dataManager != nullptr) m_dataManager->FinishAttachmentWork();
            err = activeSyncErrStepCanceled;
        }
        break;
    case EActiveSyncStep_CalendarSyncCmd:
        ReportMajorStatus(72);
        err = PrepareActiveSyncCommand(step);
        break;
    case EActiveSyncStep_ContactsSyncCmd:
        ReportMajorStatus(73);
        err = PrepareActiveSyncCommand(step);
        break;
    case EActiveSyncStep_TasksSyncCmd:
        ReportMajorStatus(116);
        err = PrepareActiveSyncCommand(step);
        break;
    case EActiveSyncStep_PingCmd:
        err = PrepareActiveSyncCommand(step);
        LogResourceText(18);
        LogLocalTime();
        break;
    case EActiveSyncStep_PingRestart:
        LogText("FinishPerformNextActiveSyncStep() - Prepare for PING\n");
        m_taskStage = kStageNextStep;
        err = RestartPing();
        return err == activeSyncErrWaitForCallback ? kNoError : err;
    case EActiveSyncStep_RemoteWipe:
        if (m_prefs == nullptr || m_dataManager == nullptr) return generalErrNotInitialized;
        // A wipe cut short by a restart goes on at the phase it had reached.
        if (!IsRemoteWipePending()) m_prefs->SetRemoteWipeState(1);
        m_taskStage = kStageWipeDone;
        m_prefs->SetEngineState(kEngineStateWiping);
        if (m_global != nullptr) m_global->ResetAccount(0, 0);
        Activate();
        err = m_dataManager->StartRemoteWipe(step, GetSignal());
        return err == activeSyncErrWaitForCallback ? kNoError : err;
    case EActiveSyncStep_FolderCreateCmd:
        ReportMajorStatus(67);
        err = PrepareActiveSyncCommand(step);
        break;
    case EActiveSyncStep_MoveCmd:
        ReportMajorStatus(125);
        err = PrepareActiveSyncCommand(step);
        break;
    default:
        LogTextCode("DActiveSyncEngine::FinishPerformNextActiveSyncStep() - Unknown ActiveSync Step : ", step);
        return activeSyncErrUnexpectedStep;
    }
    if (err == kNoError) err = SendStepRequest();
    // The body comes later through the data manager's callback, which sends.
    return err == activeSyncErrWaitForCallback ? kNoError : err;
}

DErrorCode DActiveSyncEngine::SendStepRequest() {
    if (m_currentTransaction == nullptr) return generalErrNotInitialized;
    // PreparePingCommand armed the Ping's time-out and engine state.
    const bool ping = m_currentStep == EActiveSyncStep_PingCmd;
    DErrorCode err = SendCurrentTransaction();
    // The connection came up inside the submit and the step was sent again
    // from there: this transaction is gone.
    if (err == generalErrCanceled) return kNoError;
    if (err != kNoError || !ping) return err;
    DAliveStatusData alive;
    ReportStatus(&alive);
    return kNoError;
}

// --- Choosing the next step ---

DErrorCode DActiveSyncEngine::DetermineNextStep() {
    const uint32_t finished = m_currentStep;
    switch (finished) {
    case EActiveSyncStep_Start:
        return ApplyStartRule();
    case EActiveSyncStep_Options:
        return IsSearchRun() ? DetermineNextSearchStep() : ApplyAfterOptionsRule();
    case EActiveSyncStep_FirstFolderSyncCmd:
    case EActiveSyncStep_FirstEMailSyncCmd:
    case EActiveSyncStep_EMailSendMeetingResponseCmd:
    case EActiveSyncStep_EMailSyncCmd:
    case EActiveSyncStep_EMailGetAttachmentCmd:
        return ApplyEMailRule(finished);
    case EActiveSyncStep_FirstCalendarSyncCmd:
    case EActiveSyncStep_FirstNotifyCmd:
    case EActiveSyncStep_CalendarSyncCmd:
        return ApplyAfterCalendarRule(finished);
    case EActiveSyncStep_FirstContactsSyncCmd:
    case EActiveSyncStep_ContactsSyncCmd:
    case EActiveSyncStep_TasksSyncCmd:
        return ApplyAfterContactsRule(finished);
    case EActiveSyncStep_FirstTasksSyncCmd:
        return ApplyAfterFolderSyncRule();
    case EActiveSyncStep_FolderSyncCmd:
        return m_initial ? ApplyEMailRule(finished) : ApplyAfterFolderSyncRule();
    case EActiveSyncStep_GetItemEstimateCmd:
    case EActiveSyncStep_MoveCmd:
        return ApplyMoveItemsRule();
    case EActiveSyncStep_EMailSendCmd:
        if (m_folderInfoStore != nullptr) m_folderInfoStore->ClearCurrentFolder();
        // A run that only sends goes on while mail waits to go out.
        if (IsSendOnlyRun()) {
            BYTE pending = 0;
            if (m_dataManager != nullptr) m_dataManager->CheckPendingItems(&pending);
            m_currentStep = pending != 0 ? EActiveSyncStep_EMailSendCmd : EActiveSyncStep_None;
            return kNoError;
        }
        return ApplyEMailRule(finished);
    case EActiveSyncStep_PingCmd:
    case EActiveSyncStep_PingRestart:
        return DetermineNextPingStep(finished);
    case EActiveSyncStep_ProvisionCmd:
        m_currentStep = EActiveSyncStep_AcknowledgeProvisionCmd;
        return kNoError;
    case EActiveSyncStep_AcknowledgeProvisionCmd:
        if (m_wipeOrdered) {
            m_currentStep = EActiveSyncStep_RemoteWipe;
            m_savedStep = EActiveSyncStep_None;
        } else {
            m_currentStep = m_savedStep;
        }
        return kNoError;
    case EActiveSyncStep_SearchCmd:
        return DetermineNextSearchStep();
    case EActiveSyncStep_FolderCreateCmd:
        return ApplyAfterOptionsRule();
    default:
        LogTextCode("DActiveSyncEngine::DetermineNextStep() - Unknown ActiveSync Step : ", finished);
        return activeSyncErrUnexpectedStep;
    }
}

DErrorCode DActiveSyncEngine::DetermineNextSearchStep() {
    switch (m_currentStep) {
    case EActiveSyncStep_Options:
        // Protocols before 2.5 have no Search command.
        m_currentStep = m_prefs->GetEASVers() >= 250 ? EActiveSyncStep_SearchCmd : EActiveSyncStep_None;
        return kNoError;
    case EActiveSyncStep_SearchCmd:
        m_currentStep = EActiveSyncStep_None;
        return kNoError;
    default:
        LogText("DetermineNextSearchStep() -  Unknown search step");
        LogText("\n");
        return activeSyncErrUnexpectedStep;
    }
}

DErrorCode DActiveSyncEngine::ApplyStartRule() {
    const bool anyType = IsEMailInRun() || IsCalendarInRun() || IsContactsInRun() || IsTasksInRun();
    if (!anyType && !IsSendOnlyRun()) {
        m_currentStep = EActiveSyncStep_None;
        return kNoError;
    }
    if (!HasFolderList()) {
        m_initial = 1;
        m_currentStep = EActiveSyncStep_Options;
        m_prefs->SetInitiateFirstCmd(0);
        return kNoError;
    }
    BYTE needed = 0;
    if (m_dataManager == nullptr) return generalErrNotInitialized;
    DErrorCode err = m_dataManager->NeedsFirstSync(&needed);
    if (err != kNoError) return err;
    if (needed == 0 && !IsSendOnlyRun()) {
        // Nothing new to set up: the stores' local changes first.
        m_taskStage = kStageContactsCheck;
        return CheckCalendarLocalChanges();
    }
    m_initial = 1;
    if (m_prefs->GetInitiateFirstCmd() == 0 && m_prefs->GetEASVers() <= 250) return ApplyAfterOptionsRule();
    m_folderSyncNeeded = 1;
    m_currentStep = EActiveSyncStep_Options;
    return kNoError;
}

DErrorCode DActiveSyncEngine::ApplyAfterOptionsRule() {
    if (m_folderSyncNeeded && HasFolderList()) {
        // A folder made on the device reaches the server before the
        // hierarchy is synchronised.
        bool found = false;
        DErrorCode err = m_folderInfoStore->NextFlaggedFolder(&found);
        if (err != kNoError) return err;
        if (found) {
            m_currentStep = EActiveSyncStep_FolderCreateCmd;
            return kNoError;
        }
    }
    if (m_folderSyncNeeded) {
        m_currentStep = m_initial ? EActiveSyncStep_FirstFolderSyncCmd : EActiveSyncStep_FolderSyncCmd;
        return kNoError;
    }
    if (m_initial) {
        m_currentStep = EActiveSyncStep_FirstFolderSyncCmd;
        return kNoError;
    }
    return ApplyAfterFolderSyncRule();
}

DErrorCode DActiveSyncEngine::ApplyAfterFolderSyncRule() {
    if (IsSendOnlyRun()) {
        if (m_dataManager == nullptr) return generalErrNotInitialized;
        // The outgoing mail goes once the message store is open.
        Activate();
        m_currentStep = EActiveSyncStep_EMailSendCmd;
        m_taskStage = kStageSendOnly;
        DErrorCode err = m_dataManager->PrepareSendOnly(GetSignal());
        return err != kNoError ? err : activeSyncErrWaitForCallback;
    }
    m_currentStep = EActiveSyncStep_GetItemEstimateCmd;
    if (m_initial) {
        m_initial = 0;
        return kNoError;
    }
    bool keep = false;
    if (m_firstCycle && m_firstPush) {
        bool mailChanged = false;
        if (m_folderInfoStore != nullptr) m_folderInfoStore->IsMailFolderFlagSet(kMailFlagLocalChanges, &mailChanged);
        keep = (IsEMailInRun() && !mailChanged &&
                (m_options & (kRunOptionSendOutgoing | kRunOptionDownloadAttachments)) == 0) ||
               (IsCalendarInRun() && !m_localCalendarChanged) || (IsContactsInRun() && !m_localContactsChanged) ||
               (IsTasksInRun() && !m_localTasksChanged);
    }
    m_firstCycle = 1;
    return keep ? kNoError : ApplyMoveItemsRule();
}

DErrorCode DActiveSyncEngine::ApplyMoveItemsRule() {
    if (IsEMailInRun() && m_movedMailPending && m_folderInfoStore != nullptr && m_dataManager != nullptr) {
        for (;;) {
            DErrorCode err = m_folderInfoStore->NextSyncFolder(true);
            if (err == generalErrItemNotFound) {
                m_movedMailPending = 0;
                break;
            }
            if (err != kNoError) return err;
            BYTE canSend = 0;
            err = m_dataManager->HasMovedMailToSend(&canSend);
            if (err != kNoError) return err;
            if (canSend != 0) {
                m_currentStep = EActiveSyncStep_MoveCmd;
                return kNoError;
            }
        }
    }
    return ApplyEMailRule(EActiveSyncStep_MoveCmd);
}

DErrorCode DActiveSyncEngine::ApplyEMailRule(uint32_t finishedStep) {
    if (!IsEMailInRun() || m_folderInfoStore == nullptr) return ApplyCalendarRule(finishedStep);
    DEASFolderInfoRecord *folder = nullptr;
    if (m_initial) {
        // Each mail folder of the run without a sync key gets its first Sync.
        m_emailFailures = 0;
        m_currentStep = EActiveSyncStep_FirstEMailSyncCmd;
        for (;;) {
            if (m_folderInfoStore->GetCurrentFolder(&folder) == kNoError && folder != nullptr &&
                !IsKeySet(folder->GetString(kFolderFieldSyncKey)))
                return kNoError;
            DErrorCode err = m_folderInfoStore->NextSyncFolder(false);
            if (err == generalErrItemNotFound) break;
            if (err != kNoError) return err;
        }
        LeaveEMailPhase();
        return ApplyCalendarRule(finishedStep);
    }
    if (finishedStep == EActiveSyncStep_EMailSyncCmd) m_emailFailures = 0;
    BYTE sendPending = 0;
    if ((m_options & (kRunOptionFetchTruncated | kRunOptionDownloadAttachments)) == 0 && m_dataManager != nullptr) {
        DErrorCode err = m_dataManager->CheckPendingItems(&sendPending);
        if (err != kNoError) return err;
    }
    if (m_folderInfoStore->GetCurrentFolder(&folder) != kNoError || folder == nullptr) {
        DErrorCode err = m_folderInfoStore->NextSyncFolder(false);
        if (err == generalErrItemNotFound) {
            if (sendPending != 0) {
                m_currentStep = EActiveSyncStep_EMailSendCmd;
                return kNoError;
            }
            LeaveEMailPhase();
            return ApplyCalendarRule(finishedStep);
        }
        if (err != kNoError) return err;
    }
    for (;;) {
        DErrorCode err = m_folderInfoStore->GetCurrentFolder(&folder);
        if (err != kNoError) return err;
        if (folder->IsFlagSet(kMailFlagMeetingResponses)) {
            m_currentStep = EActiveSyncStep_EMailSendMeetingResponseCmd;
            return kNoError;
        }
        if (sendPending != 0) {
            m_currentStep = EActiveSyncStep_EMailSendCmd;
            return kNoError;
        }
        if (folder->IsFlagSet(kMailFlagServerChanges | kMailFlagLocalChanges)) {
            folder->SetFlag(kMailFlagServerChanges, false);
            m_currentStep = EActiveSyncStep_EMailSyncCmd;
            return kNoError;
        }
        if (folder->IsFlagSet(kMailFlagAttachment)) {
            m_currentStep = EActiveSyncStep_EMailGetAttachmentCmd;
            return kNoError;
        }
        err = m_folderInfoStore->NextSyncFolder(false);
        if (err == generalErrItemNotFound) break;
        if (err != kNoError) return err;
    }
    LeaveEMailPhase();
    return ApplyCalendarRule(finishedStep);
}

DErrorCode DActiveSyncEngine::LeaveEMailPhase() {
    m_localChangeFlags &= uint16_t(~(kLocalChangeEMail | kLocalChangeEMailMore));
    return m_prefs != nullptr ? m_prefs->SetEngineNeedsSoap(m_localChangeFlags) : kNoError;
}

DErrorCode DActiveSyncEngine::ApplyCalendarRule(uint32_t finishedStep) {
    return ApplyTypeRule(kResponseTypeCalendarSync, finishedStep);
}

DErrorCode DActiveSyncEngine::ApplyAfterCalendarRule(uint32_t finishedStep) {
    return ApplyTypeRule(kResponseTypeContactsSync, finishedStep);
}

DErrorCode DActiveSyncEngine::ApplyAfterContactsRule(uint32_t finishedStep) {
    return ApplyTypeRule(kResponseTypeTasksSync, finishedStep);
}

// The calendar rule, and the same for contacts (after calendar) and tasks
// (after contacts). A type with nothing to do is passed over as if its Sync
// had run; after tasks the run ends, or a push run goes on to Ping.
DErrorCode DActiveSyncEngine::ApplyTypeRule(uint32_t type, uint32_t finishedStep) {
    const TypeRule &rule =
        type == kResponseTypeCalendarSync ? kCalendarRule : type == kResponseTypeContactsSync ? kContactsRule : kTasksRule;
    const bool inRun = type == kResponseTypeCalendarSync   ? IsCalendarInRun()
                       : type == kResponseTypeContactsSync ? IsContactsInRun()
                                                           : IsTasksInRun();
    uint16_t &failures = type == kResponseTypeCalendarSync   ? m_calendarFailures
                         : type == kResponseTypeContactsSync ? m_contactsFailures
                                                             : m_tasksFailures;
    uint8_t &serverMark = type == kResponseTypeCalendarSync   ? m_serverCalendarChanged
                          : type == kResponseTypeContactsSync ? m_serverContactsChanged
                                                              : m_serverTasksChanged;
    uint8_t &localMark = type == kResponseTypeCalendarSync   ? m_localCalendarChanged
                         : type == kResponseTypeContactsSync ? m_localContactsChanged
                                                             : m_localTasksChanged;
    if (inRun) {
        if (m_initial) {
            failures = 0;
            m_currentStep = rule.firstStep;
            // A folder that has its key already (or is missing) needs no first Sync.
            DEASFolderInfoRecord *folder = nullptr;
            const bool needsFirst = m_folderInfoStore != nullptr &&
                                    m_folderInfoStore->FindFirstFolderOfType(rule.folderType, &folder) == kNoError &&
                                    folder != nullptr && !IsKeySet(folder->GetString(kFolderFieldSyncKey));
            return needsFirst ? kNoError : DetermineNextStep();
        }
        if (finishedStep == rule.syncStep) failures = 0;
        if (serverMark || localMark) {
            serverMark = 0;
            localMark = 0;
            m_currentStep = rule.syncStep;
            return kNoError;
        }
    }
    // Nothing to do for this type.
    m_localChangeFlags &= uint16_t(~rule.localBit);
    if (m_prefs != nullptr) m_prefs->SetEngineNeedsSoap(m_localChangeFlags);
    if (type != kResponseTypeTasksSync) {
        m_currentStep = m_initial ? rule.firstStep : rule.syncStep;
        return DetermineNextStep();
    }
    if (m_initial) {
        m_currentStep = rule.firstStep;
        return DetermineNextStep();
    }
    if ((m_runFlags & kRunFlagPush) != 0 && IsPushEnabledNow()) return PrepareForPing();
    m_currentStep = EActiveSyncStep_None;
    return kNoError;
}

// --- Records from the data manager ---

DErrorCode DActiveSyncEngine::RecoverLostSyncState(uint32_t type, uint32_t status) {
    if (m_folderInfoStore == nullptr) return ASDataManagerErrBadStatus;
    if (status == kSyncStatusHierarchyChanged) {
        LogText("DActiveSyncEngine::RecoverLostSyncState() - folder hierarchy changed, FolderSync from key 0\n");
        DErrorCode err = m_folderInfoStore->ResetFolderSyncKey();
        if (err != kNoError) return err;
        m_folderSyncNeeded = 1;
        m_currentStep = EActiveSyncStep_FirstFolderSyncCmd;
        m_moreAvailable = 1;
        return kNoError;
    }
    DEASFolderInfoRecord *folder = nullptr;
    uint32_t firstStep = EActiveSyncStep_FirstEMailSyncCmd;
    DErrorCode err = kNoError;
    switch (type) {
    case kResponseTypeCalendarSync:
        err = m_folderInfoStore->FindFirstFolderOfType(kFolderTypeCalendar, &folder);
        firstStep = EActiveSyncStep_FirstCalendarSyncCmd;
        break;
    case kResponseTypeContactsSync:
        err = m_folderInfoStore->FindFirstFolderOfType(kFolderTypeContacts, &folder);
        firstStep = EActiveSyncStep_FirstContactsSyncCmd;
        break;
    case kResponseTypeTasksSync:
        err = m_folderInfoStore->FindFirstFolderOfType(kFolderTypeTasks, &folder);
        firstStep = EActiveSyncStep_FirstTasksSyncCmd;
        break;
    default:
        err = m_folderInfoStore->GetCurrentFolder(&folder);
        break;
    }
    if (err != kNoError || folder == nullptr) return ASDataManagerErrBadStatus;
    LogText("DActiveSyncEngine::RecoverLostSyncState() - sync key refused, first Sync of ");
    LogText(folder->GetDisplayName());
    LogText("\n");
    err = folder->SetString(kFolderFieldSyncKey, "0");
    // The mail folder's items follow in a regular Sync once it has a key.
    if (err == kNoError && type == kResponseTypeEmailSync) err = folder->SetFlag(kMailFlagServerChanges, true);
    if (err != kNoError) return err;
    m_currentStep = firstStep;
    m_moreAvailable = 1;
    return kNoError;
}

DErrorCode DActiveSyncEngine::ProcessDataProcessorResponse(DClientResponse *record) {
    const uint32_t type = record->GetType();
    switch (type) {
    case kResponseTypeCalendarSync:
    case kResponseTypeContactsSync:
    case kResponseTypeTasksSync:
    case kResponseTypeEmailSync:
    case kResponseTypeMoveItem: {
        if (m_client != nullptr) m_client->ActiveSync_ReceivedResponse(record);
        uint8_t resetLoops = 0;
        if (type == kResponseTypeMoveItem) {
            resetLoops = static_cast<DASDP_MoveItemResponse *>(record)->GetResetLoopCounter();
        } else {
            auto *sync = static_cast<DASDP_SyncResponse *>(record);
            // A refused collection is judged, never taken as done.
            if (sync->GetStatus() > 1) return ProcessDataProcessorResponseStatus(record);
            if (sync->GetMoreAvailable() != 0) m_moreAvailable = 1;
            resetLoops = sync->GetResetLoopCounter();
        }
        uint32_t again = EActiveSyncStep_EMailSyncCmd;
        // The type's Sync went through: its failures and, when the answer
        // settled the changes, its push loop count start again.
        switch (type) {
        case kResponseTypeCalendarSync:
            m_calendarFailures = 0;
            if (resetLoops) m_calendarLoops = 0;
            again = EActiveSyncStep_CalendarSyncCmd;
            break;
        case kResponseTypeContactsSync:
            m_contactsFailures = 0;
            if (resetLoops) m_contactsLoops = 0;
            again = EActiveSyncStep_ContactsSyncCmd;
            break;
        case kResponseTypeTasksSync:
            m_tasksFailures = 0;
            if (resetLoops) m_tasksLoops = 0;
            again = EActiveSyncStep_TasksSyncCmd;
            break;
        case kResponseTypeEmailSync:
            m_emailFailures = 0;
            if (resetLoops) m_emailLoops = 0;
            break;
        default:
            if (resetLoops) m_emailLoops = 0;
            again = EActiveSyncStep_MoveCmd;
            break;
        }
        if (m_moreAvailable) {
            if (m_folderInfoStore != nullptr && m_folderInfoStore->GetMode() == kDBReadWrite) m_folderInfoStore->Save();
            m_currentStep = again;
            LogText("DActiveSyncEngine::ProcessDataProcessorResponse() -  !!continuing synchronization!!\n");
        } else if (type == kResponseTypeMoveItem && m_dataManager != nullptr) {
            m_dataManager->FinishMovedMail();
        }
        return kNoError;
    }
    case kResponseTypeGetItemEstimate: {
        auto *estimate = static_cast<DASDP_GetItemEstimateResponse *>(record);
        if (estimate->GetStatus() > 1) return ProcessDataProcessorResponseStatus(record);
        m_serverCalendarChanged = estimate->GetCalendarChanges() != 0;
        m_serverContactsChanged = estimate->GetContactsChanges() != 0;
        m_serverTasksChanged = estimate->GetTasksChanges() != 0;
        return kNoError;
    }
    case kResponseTypeFolderSync: {
        // A hierarchy key the server no longer knows: the hierarchy comes
        // again from key 0; any other refusal is the step's failure.
        const uint32_t status = static_cast<DASDP_FolderSyncResponse *>(record)->GetStatus();
        if (status == kFolderSyncStatusInvalidKey) return RecoverLostSyncState(type, kSyncStatusHierarchyChanged);
        return status > 1 ? ASDataManagerErrBadStatus : kNoError;
    }
    case kResponseTypeEMailSend:
    case kResponseTypeEMailGetAttachment:
    case kResponseTypeFolderCreate:
    case kResponseTypeMeetingResponse:
        return kNoError;
    default:
        LogTextCode("DActiveSyncEngine::ProcessDataProcessorResponse() - Unexpected Response Type : ", type);
        return activeSyncErrDataManagerUnexpectedResponse;
    }
}

DErrorCode DActiveSyncEngine::ActiveSyncDataManager_RecievedResponse(DClientResponse *response) {
    if (response == nullptr) return generalErrInvalidParameter;
    const uint32_t type = response->GetType();
    DErrorCode err = kNoError;
    if (type >= kResponseTypeCalendarSync && type <= kResponseTypeMoveItem) {
        err = ProcessDataProcessorResponse(response);
        // While more data waits the same step runs again.
        if (err == kNoError && !m_moreAvailable && m_connectionReady) err = DetermineNextStep();
        if (err == kNoError) err = PerformNextActiveSyncStep();
    } else if (type >= kResponseTypeData && type <= kResponseTypeMoveItemData) {
        err = ProcessDataSupplierResponse(response);
        if (err == kNoError) err = SendStepRequest();
        if (err == activeSyncErrStepCanceled) {
            err = DetermineNextStep();
            if (err == kNoError) err = PerformNextActiveSyncStep();
        }
    } else if (type == kResponseTypeTimeZoneChange) {
        if (m_client != nullptr) m_client->ActiveSync_ReceivedResponse(response);
    } else {
        LogTextCode("DActiveSyncEngine::ActiveSyncDataManager_RecievedResponse() - Unexpected Response Type : ", type);
        err = activeSyncErrDataManagerUnexpectedResponse;
    }
    if (err != kNoError && err != activeSyncErrWaitForCallback) ReportError(err, nullptr, kRecievedMethod);
    return kNoError;
}

DErrorCode DActiveSyncEngine::ActiveSyncDataManager_ReportError(DErrorCode code, VString *detail) {
    if (code != kNoError) ReportError(code, detail, "DActiveSyncEngine::ActiveSyncDataManager_ReportError()");
    return kNoError;
}

DErrorCode DActiveSyncEngine::ActiveSyncDataManager_ReportStatus(DStatusData *status) {
    if (status == nullptr) return generalErrInvalidParameter;
    const uint32_t kind = status->GetType();
    if (kind == kStatusTypeProgress || kind == kStatusTypeAliveCounter) return ReportMinorStatus(status);
    return m_client != nullptr ? m_client->ActiveSync_ReportStatus(status) : kNoError;
}
