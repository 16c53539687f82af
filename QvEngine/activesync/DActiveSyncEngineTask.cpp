// The engine's own task: one stage of a run per turn. The stages check the
// connection, start the run, ask the stores for local changes folder by
// folder, send, end the run, and reconnect a push run after a lost network.
#include <cstring>

#include "DActiveSyncEngine.h"
#include "DEASFolderInfoStore.h"
#include "DHTTPSession.h"
#include "ICorvanePreferences.h"
#include "ILogProvider.h"

namespace {

const char kRunTaskMethod[] = "DActiveSyncEngine::RunTask()";

// Remote-wipe states 1 to 6 are the phases of a wipe in progress; 7 means
// done and waiting to be confirmed to the client.
constexpr uint16_t kWipeStateDone = 7;
// A search asked for while the device is being wiped.
constexpr DErrorCode kSearchRefusedDuringWipe = 0x07370D10;

// Folders whose sync key shows whether a first Sync is still needed.
bool IsKeySet(const char *key) { return key != nullptr && std::strcmp(key, "0") != 0 && key[0] != '\0'; }

}  // namespace

// Per-folder probes of stages 11, 12 and 24.
enum EMailProbe : uint32_t {
    kMailProbeChanges = 0,
    kMailProbeAttachments = 1,
    kMailProbeMeetings = 2,
};

DErrorCode DActiveSyncEngine::RunTask() {
    const DErrorCode code = m_signal.GetCode();
    const uint32_t stage = m_taskStage;
    // Between runs a stray signal has nothing to do.
    if (stage == kStageIdle) return kNoError;
    // A reconnection judges the connection check's answer itself.
    if (stage == kStageReconnect) {
        const DErrorCode err = ReconnectPush();
        if (err != kNoError && err != activeSyncErrWaitForCallback) {
            LogTextCode("DActiveSyncEngine::RunTask() -  ERROR: ", err);
            ReportError(err, nullptr, kRunTaskMethod);
        }
        return kNoError;
    }
    DErrorCode err = code;
    if (err == kNoError || err == activeSyncErrWaitForCallback) err = RunStage(stage);
    if (err != kNoError && err != activeSyncErrWaitForCallback) {
        LogTextCode("DActiveSyncEngine::RunTask() -  ERROR: ", err);
        ReportError(err, nullptr, kRunTaskMethod);
    }
    return kNoError;
}

DErrorCode DActiveSyncEngine::RunStage(uint32_t stage) {
    DErrorCode err = kNoError;
    switch (stage) {
    case kStageLockWait:
    case kStageStart:
        if (IsRemoteWipePending()) {
            // A wipe that did not complete (the device was restarted) goes on
            // before anything else; nobody may hold it off.
            m_taskStage = kStageRemoteWipe;
            m_runKind = kRunKindUser;
            m_mode = kLockModeAskToYield;
            m_wipeOrdered = 1;
            return ActivateAndSignal();
        }
        return CanConnectToInternet(kStageStartRun);
    case kStageStartRun:
        return StartRun();
    case kStageReadyForSync:
        LogText("DActiveSyncEngine::RunTask() -  Ready for StartSync\n");
        m_connectionUp = 1;
        err = DetermineNextStep();
        return err != kNoError ? err : PerformNextActiveSyncStep();
    case kStageEndRun:
        // The end goes on whatever fails in it: reporting the failure would
        // only end the run again.
        err = EndRun();
        if (err != kNoError) LogTextCode("DActiveSyncEngine::RunTask() - end of run failed: ", err);
        // The client hears that the run is over in the next stage.
        m_taskStage = kStageRunOver;
        if (!IsActive()) ActivateAndSignal();
        return kNoError;
    case kStageRunOver:
        LogResourceText(60);
        LogLocalTime();
        LogSeparator();
        // A run that ended normally holds no lock any more: its timers stop.
        StopLockTimers();
        m_taskStage = kStageIdle;
        m_currentStep = EActiveSyncStep_None;
        if (m_client != nullptr) m_client->ActiveSync_ReceivedResponse(nullptr);
        return kNoError;
    case kStagePrepareCycle:
        if (m_dataManager == nullptr) return generalErrNotInitialized;
        m_taskStage = kStageAttachmentProbe;
        if (m_folderInfoStore != nullptr) m_folderInfoStore->ClearCurrentFolder();
        Activate();
        return m_dataManager->PrepareForSync(GetSignal());
    case kStageContactsCheck:
        if (IsCalendarInRun() && !UsePushLocalFlags() && m_localCalendarChanged) LogText("--Local calendar changes\n");
        return CheckContactsLocalChanges();
    case kStageTasksCheck:
        if (IsContactsInRun() && !UsePushLocalFlags() && m_localContactsChanged) LogText("--Local contact changes\n");
        return CheckTasksLocalChanges();
    case kStageEMailCheck: {
        DEASFolderInfoRecord *current = nullptr;
        const bool first = m_folderInfoStore == nullptr || m_folderInfoStore->GetCurrentFolder(&current) != kNoError;
        if (first && IsTasksInRun() && !UsePushLocalFlags() && m_localTasksChanged) LogText("--Local task changes\n");
        return CheckEMailLocalChanges(kStageAttachmentProbe);
    }
    case kStageAttachmentProbe:
        return ProbeNextMailFolder(kMailProbeAttachments, kStageMeetingProbe);
    case kStageMeetingProbe:
        return ProbeNextMailFolder(kMailProbeMeetings, kStageMovedMailProbe);
    case kStageMovedMailProbe:
        m_taskStage = kStageFirstCommand;
        if (!IsEMailInRun() || m_dataManager == nullptr) return ActivateAndSignal();
        Activate();
        return m_dataManager->ProbeMovedMail(GetSignal(), &m_movedMailPending);
    case kStageFirstCommand:
        if (m_prefs->GetInitiateFirstCmd() != 0 || m_prefs->GetEASVers() > 250)
            m_currentStep = EActiveSyncStep_Options;
        else
            err = ApplyAfterOptionsRule();
        return err != kNoError ? err : PerformNextActiveSyncStep();
    case kStageNextStep:
        err = DetermineNextStep();
        return err != kNoError ? err : PerformNextActiveSyncStep();
    case kStagePerformStep:
    case kStageSendOnly:
        return PerformNextActiveSyncStep();
    case kStageReconnectCheck:
        return CanConnectToInternet(kStageReconnect);
    case kStageRemoteWipe:
        if (m_dataManager == nullptr) return generalErrNotInitialized;
        m_taskStage = kStageWipeAcknowledge;
        ReportMajorStatus(20);
        Activate();
        return m_dataManager->PrepareForSync(GetSignal());
    case kStageWipeAcknowledge:
        // The acknowledgement is behind us: the wipe itself follows.
        m_currentStep = EActiveSyncStep_AcknowledgeProvisionCmd;
        err = DetermineNextStep();
        m_connectionUp = 1;
        return err != kNoError ? err : PerformNextActiveSyncStep();
    case kStageWipeDone:
        m_taskStage = kStageEndRun;
        ActivateAndSignal();
        AcknowledgeCompletedSync();
        LogResourceText(60);
        LogLocalTime();
        LogSeparator();
        return kNoError;
    case kStageSearchCheck: {
        if (IsRemoteWipePending()) return kSearchRefusedDuringWipe;
        bool account = false;
        err = m_prefs->HasAccountSettings(&account);
        if (err != kNoError) return err;
        if (!account) return activeSyncErrSearchPrefsNotReady;
        BYTE needed = 0;
        if (HasFolderList() && m_dataManager != nullptr) err = m_dataManager->NeedsFirstSync(&needed);
        if (err != kNoError) return err;
        if (!HasFolderList() || needed != 0) return activeSyncErrSearchFirstTimeSync;
        return CanConnectToInternet(kStageSearchStart);
    }
    case kStageSearchStart:
        if (m_dataManager == nullptr) return generalErrNotInitialized;
        err = m_dataManager->LoadLanguageTable();
        if (err == kNoError) err = SetSessionHeaders();
        if (err != kNoError) return err;
        m_connectionUp = 1;
        m_currentStep = m_prefs->GetEASVers() < 250 ? EActiveSyncStep_Options : EActiveSyncStep_SearchCmd;
        m_taskStage = kStagePerformStep;
        return ActivateAndSignal();
    case kStagePushEMailProbe:
        return ProbeNextMailFolder(kMailProbeMeetings, kStageNextStep);
    default:
        LogTextCode("DActiveSyncEngine::RunTask() -  Unknown run task stage: ", stage);
        return activeSyncErrUnexpectedStep;
    }
}

DErrorCode DActiveSyncEngine::CanConnectToInternet(uint32_t nextStage) {
    LogText("CanConnectToInternet() - Checking Connection.\n");
    if (m_httpSession == nullptr) return generalErrNotInitialized;
    m_taskStage = nextStage;
    Activate();
    return m_httpSession->CanConnect(GetSignal());
}

bool DActiveSyncEngine::IsRemoteWipePending() {
    if (m_prefs == nullptr) return false;
    const uint16_t state = m_prefs->GetRemoteWipeState();
    return state != 0 && state != kWipeStateDone;
}

bool DActiveSyncEngine::HasFolderList() {
    if (m_folderInfoStore == nullptr || !m_folderInfoStore->IsOpen()) return false;
    uint32_t count = 0;
    if (m_folderInfoStore->GetRecordCount(&count) != kNoError || count == 0) return false;
    const char *key = nullptr;
    return m_folderInfoStore->GetFolderSyncKey(&key) == kNoError && IsKeySet(key);
}

// Start rule (3): the calendar's local changes, then stages 8 to 14.
DErrorCode DActiveSyncEngine::CheckCalendarLocalChanges() {
    if (!IsCalendarInRun()) {
        ActivateAndSignal();
        return activeSyncErrWaitForCallback;
    }
    ReportMajorStatus(79);
    if (UsePushLocalFlags()) {
        m_localCalendarChanged = (m_localChangeFlags & kLocalChangeCalendar) != 0;
        if (m_localCalendarChanged) LogText("--Local PUSH calendar changes\n");
        ActivateAndSignal();
        return activeSyncErrWaitForCallback;
    }
    if (m_dataManager == nullptr) return generalErrNotInitialized;
    m_localCalendarChanged = 0;
    Activate();
    DErrorCode err = m_dataManager->ProbeCalendarChanges(GetSignal(), &m_localCalendarChanged);
    return err != kNoError ? err : activeSyncErrWaitForCallback;
}

DErrorCode DActiveSyncEngine::CheckContactsLocalChanges() {
    m_taskStage = kStageTasksCheck;
    if (!IsContactsInRun()) return ActivateAndSignal();
    if (UsePushLocalFlags()) {
        m_localContactsChanged = (m_localChangeFlags & kLocalChangeContacts) != 0;
        if (m_localContactsChanged) LogText("--Local PUSH contact changes\n");
        return ActivateAndSignal();
    }
    if (m_dataManager == nullptr) return generalErrNotInitialized;
    ReportMajorStatus(58);
    m_localContactsChanged = 0;
    Activate();
    return m_dataManager->ProbeContactsChanges(GetSignal(), &m_localContactsChanged);
}

DErrorCode DActiveSyncEngine::CheckTasksLocalChanges() {
    m_taskStage = kStageEMailCheck;
    // The mail probes that follow walk every folder from the first.
    if (m_folderInfoStore != nullptr) m_folderInfoStore->ClearCurrentFolder();
    if (!IsTasksInRun()) return ActivateAndSignal();
    if (UsePushLocalFlags()) {
        m_localTasksChanged = (m_localChangeFlags & kLocalChangeTasks) != 0;
        if (m_localTasksChanged) LogText("--Local PUSH tasks changes\n");
        return ActivateAndSignal();
    }
    if (m_dataManager == nullptr) return generalErrNotInitialized;
    ReportMajorStatus(119);
    m_localTasksChanged = 0;
    Activate();
    return m_dataManager->ProbeTasksChanges(GetSignal(), &m_localTasksChanged);
}

// Folder by folder: each probe's signal brings the task back here for the
// next folder; the walk's end moves on to nextStage.
DErrorCode DActiveSyncEngine::CheckEMailLocalChanges(uint32_t nextStage) {
    const uint16_t emailBits = kLocalChangeEMail | kLocalChangeEMailMore;
    if (!IsEMailInRun() || (m_options & (kRunOptionFetchTruncated | kRunOptionDownloadAttachments)) != 0 ||
        m_folderInfoStore == nullptr) {
        m_taskStage = nextStage;
        return ActivateAndSignal();
    }
    DEASFolderInfoRecord *current = nullptr;
    const bool first = m_folderInfoStore->GetCurrentFolder(&current) != kNoError;
    if (first) ReportMajorStatus(59);
    if (UsePushLocalFlags()) {
        if ((m_localChangeFlags & emailBits) == 0) {
            m_taskStage = nextStage;
            return ActivateAndSignal();
        }
        if (first) LogText("--Local PUSH e-mail changes\n");
    }
    return ProbeNextMailFolder(kMailProbeChanges, nextStage);
}

DErrorCode DActiveSyncEngine::ProbeNextMailFolder(uint32_t probe, uint32_t nextStage) {
    if (m_folderInfoStore == nullptr || m_dataManager == nullptr || !IsEMailInRun()) {
        m_taskStage = nextStage;
        return ActivateAndSignal();
    }
    DErrorCode err = m_folderInfoStore->NextSyncFolder(false);
    if (err == generalErrItemNotFound) {
        m_taskStage = nextStage;
        return ActivateAndSignal();
    }
    if (err != kNoError) return err;
    Activate();
    switch (probe) {
    case kMailProbeAttachments:
        return m_dataManager->ProbeAttachmentDownloads(GetSignal());
    case kMailProbeMeetings:
        return m_dataManager->ProbeMeetingResponses(GetSignal());
    default:
        return m_dataManager->ProbeEMailChanges(GetSignal());
    }
}

// Stage 17: the connection check's answer decides.
DErrorCode DActiveSyncEngine::ReconnectPush() {
    if (m_signal.GetCode() != kNoError) {
        LogText("No connection yet; continue waiting.\n");
        StopRetryTimer();
        ResetBackOff();
        return StartRetryTimer(kNoTimerId);
    }
    LogText("Connection reestablished; starting sync\n");
    StopRetryTimer();
    SendPingRecord(2);
    m_prefs->SetEngineNeedsSoap(0);
    m_runFlags = kRunFlagsAll;
    DErrorCode err = StartRun();
    if (m_global != nullptr) m_global->SetMode(1);
    return err;
}
