// A run's start and end as the client sees them: StartSync, CancelSync and
// StartSearch, the busy-cleared notice and the task's reset, the timers, the
// start of a run (task stage 3), the acknowledgement of a completed run and
// the end of a run. The sync lock is in DActiveSyncEngineLock.cpp, the status
// reports in DActiveSyncEngineStatus.cpp.
#include <cstdio>

#include "DASDP_PlainResponses.h"
#include "DActiveSyncEngine.h"
#include "DEASFolderInfoStore.h"
#include "DHTTPSession.h"
#include "DHTTPTransaction.h"
#include "DateTimeConvert.h"
#include "DateTimeText.h"
#include "FolderStoreWrite.h"
#include "ICorvanePreferences.h"
#include "ILogProvider.h"
#include "TimeRecord.h"
#include "VersionString.h"

namespace {

constexpr uint32_t kYieldPollMs = 2000;
constexpr uint16_t kSearchRangeLimit = 100;  // the range end stays below it
constexpr uint16_t kWipeStateDone = 7;

// The program version written into the preferences.
constexpr WORD kProgramMajor = kEngineVersionMajor;
constexpr WORD kProgramMinor = kEngineVersionMinor;
constexpr WORD kProgramBuild = kEngineVersionBuild;


const char kTimerMethod[] = "DActiveSyncEngine::TimerCallback()";

}  // namespace

DErrorCode DActiveSyncEngine::StartSync(uint32_t runFlags, uint32_t options, uint32_t mode, uint32_t continueRun) {
    if (m_global == nullptr || m_client == nullptr || m_prefs == nullptr) return generalErrNotInitialized;
    // Refused before anything changes, so that the run in hand goes on as it
    // was. Only a push run may replace this client's own Ping.
    if (IsOwnStepInHand() && !(IsPinging() && (runFlags & kRunFlagPush) != 0)) return activeSyncErrAlreadyActive;
    Deactivate();
    m_runKind = continueRun;
    m_runFlags = runFlags;
    m_mode = mode;
    m_options = options;
    m_firstPush = 1;
    ResetBackOff();
    if (m_runKind == kRunKindUser) m_emailLoops = m_contactsLoops = m_tasksLoops = m_calendarLoops = 0;
    m_taskStage = kStageStart;
    if (IsRemoteWipePending()) {
        // Nothing may hold a wipe off.
        m_mode = kLockModeAskToYield;
        m_runKind = kRunKindUser;
    }
    StopRetryTimer();
    bool proceed = false;
    DErrorCode err = ApplyLockRule(&proceed);
    if (err != kNoError) return err;
    m_runOpen = 1;
    // A run that waits for the lock is woken by the lock wait.
    if (proceed && !IsActive()) ActivateAndSignal();
    m_global->SetMode(1);
    ReportMajorStatus(20);
    return kNoError;
}

DErrorCode DActiveSyncEngine::CancelSync(BOOL dropPush) {
    if (dropPush) m_runFlags &= ~kRunFlagPush;
    if (m_prefs != nullptr && m_client != nullptr && m_prefs->GetSyncLockOwner() == m_client->ActiveSync_GetClientID())
        m_prefs->SetEngineState(kEngineStateCancelled);
    // A store busy with work that must not be cut (a wipe) ends the run
    // when it is done: EngineBusyCleared.
    if (m_global != nullptr && m_global->GetCallbackFlag()) {
        m_global->SetCallbackObject(this);
        m_global->SetMode(0);
        return kNoError;
    }
    LogText("DActiveSyncEngine::CancelSync()\n\n");
    Deactivate();
    return EndRun();
}

DErrorCode DActiveSyncEngine::StartSearch(VString *storeName, VString *query, int start, uint16_t rangeEnd,
                                          VFile *results) {
    if (storeName == nullptr || query == nullptr || results == nullptr || start != 0 || rangeEnd >= kSearchRangeLimit)
        return generalErrInvalidParameter;
    if (m_global == nullptr || m_client == nullptr || m_prefs == nullptr) return generalErrNotInitialized;
    if (IsOwnStepInHand()) return activeSyncErrAlreadyActive;
    DErrorCode err = m_prefs->Load(TRUE);
    if (err == kNoError) err = OpenFolderStoreForWriting();
    if (err == kNoError) err = m_searchStore.Assign(*storeName);
    if (err == kNoError) err = m_searchStore.ConvertTo(kVStringUTF8);
    if (err == kNoError) err = m_searchQuery.Assign(*query);
    if (err == kNoError) err = m_searchQuery.ConvertTo(kVStringUTF8);
    if (err != kNoError) return err;
    Deactivate();
    m_searchStart = uint32_t(start);
    m_searchRange = rangeEnd;
    m_searchResults = results;
    m_runFlags = kRunFlagSearch;
    m_mode = kLockModeAskToYield;
    m_taskStage = kStageSearchCheck;
    m_connectionUp = 0;
    m_connectionReady = 0;
    m_runOpen = 1;
    return ActivateAndSignal();
}

void DActiveSyncEngine::EngineBusyCleared() {
    LogText("DActiveSyncEngine::EngineBusyCleared()\n\n");
    Deactivate();
    m_taskStage = kStageEndRun;
    ActivateAndSignal();
}

// The task's reset (every deactivation of an active task) ends the run; a
// run that has ended already is left alone.
void DActiveSyncEngine::CancelTask() {
    if (m_runOpen) EndRun();
}

DErrorCode DActiveSyncEngine::TimerCallback(uint32_t id, void *) {
    DErrorCode err = kNoError;
    // Each timer is one-shot: its id is spent once it calls back.
    if (id == m_lockWaitTimer) {
        m_lockWaitTimer = kNoTimerId;
        err = LockWait();
    } else if (id == m_lockRefreshTimer) {
        m_lockRefreshTimer = kNoTimerId;
        err = RefreshSyncLock();
    } else if (id == m_retryTimer) {
        m_retryTimer = kNoTimerId;
        err = RetryTimerFired();
    } else if (id == m_yieldPollTimer) {
        m_yieldPollTimer = kNoTimerId;
        err = YieldPoll();
    } else {
        LogTextCode("TimerCallback() - Bad timerID: ", DErrorCode(id));
        LogTextCode("!!!UNEXPECTED TIMER ID: ", DErrorCode(id));
        return kNoError;
    }
    if (err != kNoError && err != activeSyncErrWaitForCallback) ReportError(err, nullptr, kTimerMethod);
    return kNoError;
}

DErrorCode DActiveSyncEngine::StartTimer(uint32_t ms, uint32_t *id) {
    if (id == nullptr) return generalErrInvalidParameter;
    StopTimer(id);
    ITimerManager *timers = m_global != nullptr ? m_global->GetTimerManager() : nullptr;
    if (timers == nullptr) return generalErrNotInitialized;
    uint32_t started = kNoTimerId;
    DErrorCode err = timers->StartTimer(ms, this, nullptr, &started);
    if (err == kNoError) *id = started;
    return err;
}

DErrorCode DActiveSyncEngine::OpenFolderStoreForWriting() {
    if (m_folderInfoStore == nullptr) return generalErrNotInitialized;
    const int mode = m_folderInfoStore->GetMode();
    if (mode == kDBReadWrite) return kNoError;
    if (mode == kDBReadOnly) {
        DErrorCode err = DBClose(m_folderInfoStore);
        if (err != kNoError) return err;
    }
    return DBOpenReadWrite(m_folderInfoStore);
}

// Task stage 3: the run takes the lock and prepares the stores; the data
// manager's signal brings stage 4.
DErrorCode DActiveSyncEngine::StartRun() {
    if (m_prefs == nullptr || m_dataManager == nullptr || m_client == nullptr) return generalErrNotInitialized;
    // 1. The run's choice of types.
    DErrorCode err = m_prefs->Load(TRUE);
    if (err != kNoError) return err;
    m_prefs->SetUserSyncEMailOverride((m_runFlags & kRunFlagEMail) ? 1 : 0);
    m_prefs->SetUserSyncCalendarOverride((m_runFlags & kRunFlagCalendar) ? 1 : 0);
    m_prefs->SetUserSyncContactsOverride((m_runFlags & kRunFlagContacts) ? 1 : 0);
    m_prefs->SetUserSyncTasksOverride((m_runFlags & kRunFlagTasks) ? 1 : 0);
    const bool anyType = m_prefs->GetEffectiveUserSyncEMail() || m_prefs->GetEffectiveUserSyncCalendar() ||
                         m_prefs->GetEffectiveUserSyncContacts() || m_prefs->GetEffectiveUserSyncTasks();
    if (!anyType && !IsSendOnlyRun()) return activeSyncErrNoDataTypeSetToSync;
    // 2. and 3.
    err = OpenFolderStoreForWriting();
    if (err != kNoError) return err;
    if (IsSendOnlyRun() && m_prefs->GetQVMaj() == 0) m_prefs->SetVersion(kProgramMajor, kProgramMinor, kProgramBuild);
    // 4.
    err = TakeSyncLock(kEngineStateSyncing);
    if (err != kNoError) return err;
    // 5. A partial e-mail run goes straight to its mail folders.
    m_initial = 0;
    if (m_options & (kRunOptionSendOutgoing | kRunOptionFetchTruncated | kRunOptionDownloadAttachments)) {
        m_folderSyncNeeded = 0;
        m_emptyPing = 1;
    }
    m_folderInfoStore->SetMailFolderFlag(kMailFlagLocalChanges, (m_options & kRunOptionFetchTruncated) != 0);
    m_folderInfoStore->SetMailFolderFlag(kMailFlagAttachment, (m_options & kRunOptionDownloadAttachments) != 0);
    m_folderInfoStore->SetMailFolderFlag(kMailFlagMeetingResponses, false);
    m_folderInfoStore->SetMailFolderFlag(kMailFlagServerChanges, false);
    // 6.
    m_taskStage = kStageReadyForSync;
    m_localCalendarChanged = m_localContactsChanged = m_localTasksChanged = 0;
    m_serverCalendarChanged = m_serverContactsChanged = m_serverTasksChanged = 0;
    m_movedMailPending = 0;
    m_connectionUp = 0;
    m_connectionReady = 0;
    m_currentStep = EActiveSyncStep_Start;
    // 7. A scheduled push run takes over the local changes the scheduler saw.
    if (IsPushEnabledNow() && m_runKind == kRunKindScheduled) {
        m_localChangeFlags = uint16_t(m_prefs->GetPushNeedsSoap() | m_prefs->GetEngineNeedsSoap());
        m_prefs->SetEngineNeedsSoap(m_localChangeFlags);
        if (m_localChangeFlags != 0) m_firstCycle = 0;
    } else {
        m_firstCycle = 1;
        m_localChangeFlags = 0;
        m_prefs->SetEngineNeedsSoap(0);
    }
    m_prefs->SetPushNeedsSoap(0);
    // 8. and 9.
    LogStartOfRun();
    err = SetSessionHeaders();
    if (err == kNoError) err = StartTimer(kYieldPollMs, &m_yieldPollTimer);
    if (err != kNoError) return err;
    if (!IsActive()) Activate();
    ReportMajorStatus(20);
    err = m_dataManager->PrepareForSync(GetSignal());
    if (err == kNoError) err = StartTimer(kLockRefreshMs, &m_lockRefreshTimer);
    return err;
}

DErrorCode DActiveSyncEngine::AcknowledgeCompletedSync() {
    if (m_prefs == nullptr || m_global == nullptr) return generalErrNotInitialized;
    m_lastResult = kNoError;
    m_folderSyncNeeded = 1;
    ResetBackOff();
    DErrorCode err = m_prefs->SetVersion(kProgramMajor, kProgramMinor, kProgramBuild);
    if (err == kNoError) err = m_prefs->SaveAll();
    if (err == kNoError && m_folderInfoStore != nullptr && m_folderInfoStore->GetMode() == kDBReadWrite)
        err = m_folderInfoStore->Save();
    if (err != kNoError) {
        LogTextCode("DActiveSyncDataManager::AcknowledgeCompletedSync() - failed to commit Preferences : ", err);
        return err;
    }
    LogText("DActiveSyncDataManager::AcknowledgeCompletedSync() - Commited preferences\n");
    // Only a Ping restart goes on after this; every other caller ends the
    // run here, and its lock timers must not outlive it.
    if (m_currentStep != EActiveSyncStep_PingRestart) {
        StopLockTimers();
        m_runOpen = 0;
    }
    if (IsSearchRun()) return kNoError;
    m_prefs->SetEngineState(kEngineStateCompleted);
    struct tm now = {};
    if (GetLocalDateTime(&now) == kNoError) {
        struct tm last = m_prefs->GetLastSyncTime();
        if (IsTimeRecordEmpty(&last)) m_prefs->SetFirstSyncTime(now);
        m_prefs->SetLastSyncTime(now);
    }
    if (m_global->GetMode() == 0) ReleaseSyncLock();
    return m_prefs->SaveAll();
}

// Task stage 5, CancelSync, the reset and the replacement of a Ping run.
DErrorCode DActiveSyncEngine::EndRun() {
    const bool wasOpen = m_runOpen != 0;
    m_runOpen = 0;
    m_currentStep = EActiveSyncStep_None;
    m_taskStage = kStageIdle;
    m_folderSyncNeeded = 1;
    if (m_currentTransaction != nullptr) {
        VFile *body = nullptr;
        bool open = false;
        uint32_t size = 0;
        if (m_currentTransaction->GetResponseData(&body) == kNoError && body != nullptr &&
            body->IsOpen(&open) == kNoError && open && body->GetSize(&size) == kNoError && size != 0)
            body->SetSize(0);
        delete m_currentTransaction;
        m_currentTransaction = nullptr;
    }
    if (m_dataManager != nullptr) m_dataManager->CancelAndReset();
    if (m_httpSession != nullptr) m_httpSession->CloseConnection();

    if (m_prefs != nullptr && m_client != nullptr) {
        const DWORD owner = m_prefs->GetSyncLockOwner();
        if (owner == 0 || owner == m_client->ActiveSync_GetClientID()) {
            ReleaseSyncLock();
            // The run's outcome (EngineState) is saved before the reload
            // takes up what other processes stored, or it would be lost.
            m_prefs->SaveAll();
            m_prefs->Load(TRUE);
            if (m_global != nullptr) m_global->SetMode(0);
        }
    }
    StopLockTimers();

    // Push reconnection: once per run; a run without push leaves no retry.
    bool account = false;
    if (m_prefs != nullptr) m_prefs->HasAccountSettings(&account);
    if (!(account && IsPushEnabledNow())) {
        StopRetryTimer();
    } else if (m_retryScheduled) {
        m_retryScheduled = 0;
    } else if (wasOpen) {
        StartRetryTimer(kNoTimerId);
    }

    if (m_prefs != nullptr && m_prefs->GetRemoteWipeState() == kWipeStateDone) {
        m_prefs->SetRemoteWipeState(0);
        DASDP_WipeCompleteResponse done;
        if (m_client != nullptr) m_client->ActiveSync_ReceivedResponse(&done);
    }
    m_emptyPing = 0;
    return kNoError;
}

// Resource text 61 and the engine version, then the local time with the
// kind of run and its local change flags.
DErrorCode DActiveSyncEngine::LogStartOfRun() {
    if (m_logger == nullptr) return kNoError;
    LogResourceText(61);
    VString version;
    if (GetEngineVersionString(nullptr, &version) == kNoError) m_logger->WriteVString(version, 1, kLogAllCategories);
    m_logger->NewLine(1, kLogAllCategories);
    VString now;
    if (FormatCurrentLocalTime(&now) == kNoError) m_logger->WriteVString(now, 1, kLogAllCategories);
    if (m_runKind == kRunKindScheduled) LogText("--Scheduled sync");
    else if (m_runKind == kRunKindFullScheduled) LogText("--Full scheduled sync");
    if (m_localChangeFlags != 0) {
        char tail[40];
        snprintf(tail, sizeof tail, ". Change Type: %u\n", unsigned(m_localChangeFlags));
        LogText(tail);
    } else {
        LogText(".\n");
    }
    return kNoError;
}

// The device's local time as "%m/%d/%y %I:%M:%S %p", on a line of its own.
void DActiveSyncEngine::LogLocalTime() {
    if (m_logger == nullptr) return;
    VString now;
    if (FormatCurrentLocalTime(&now) != kNoError) return;
    m_logger->WriteVString(now, 1, kLogAllCategories);
    m_logger->NewLine(1, kLogAllCategories);
}
