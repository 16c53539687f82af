// Push: what a push run does with each Ping answer (a quiet expiry, server
// changes that turn the run into a sync cycle, or one of the server's
// complaints), a new push cycle, the step after a Ping, and the loop guard
// and Ping restart at the end of a push run's sync cycle. The heartbeat and
// the retries are in DActiveSyncEngineHeartbeat.cpp.
#include <string>

#include "DASDP_PingResponse.h"
#include "DActiveSyncEngine.h"
#include "DEASFolderInfoStore.h"
#include "FolderStoreWrite.h"
#include "ICorvanePreferences.h"
#include "ILogProvider.h"
#include "wintime.h"

namespace {

// The outcomes of a Ping answer's status besides success.
constexpr DErrorCode kPingErrServerError = 0x07372F01;           // status 8
constexpr DErrorCode kPingErrFolderHierarchyChanged = 0x07372F02;  // status 7
constexpr DErrorCode kPingErrHeartbeatOutOfRange = 0x07372F03;   // status 5
constexpr DErrorCode kPingErrTooManyFolders = 0x07372F04;        // status 6

constexpr uint32_t kPingStatusExpired = 1;
constexpr uint32_t kPingStatusMissingParameters = 3;


// A type whose changes were reported this many times without a Sync that
// settled them trips the loop guard.
constexpr uint16_t kMaxUnsettledChangeReports = 4;

constexpr uint16_t kPushVersionWithPing = 250;

bool AnyMailFolderFlag(DEASFolderInfoStore *store, uint32_t mask) {
    bool set = false;
    return store != nullptr && store->IsMailFolderFlagSet(mask, &set) == kNoError && set;
}

// The server id of the first folder of the type; empty when there is none.
std::string FirstFolderServerID(DEASFolderInfoStore *store, uint32_t type) {
    DEASFolderInfoRecord *folder = nullptr;
    if (store->FindFirstFolderOfType(type, &folder) != kNoError || folder == nullptr) return std::string();
    const char *id = folder->GetString(kFolderFieldServerID);
    return id != nullptr ? std::string(id) : std::string();
}

bool SameID(const char *id, const std::string &known) { return !known.empty() && known == id; }

void LogTextNumber(ILogProvider *logger, const char *text, int32_t value) {
    if (logger == nullptr) return;
    logger->WriteString(text, 1, kLogAllCategories);
    logger->WriteNumber(value, 1, kLogAllCategories);
    logger->NewLine(1, kLogAllCategories);
}

}  // namespace

bool DActiveSyncEngine::IsPushEnabledNow() {
    return m_prefs != nullptr && (m_runFlags & kRunFlagPush) != 0 && m_prefs->IsPushEnabledNow() != 0;
}

DErrorCode DActiveSyncEngine::JudgePingStatus(DASDP_PingResponse *ping) {
    if (ping == nullptr) return generalErrInvalidParameter;
    const uint32_t status = ping->GetStatus();
    switch (status) {
    case 1:
    case 2:
        return kNoError;
    case 3:
    case 4:
        return ASDataManagerErrBadStatus;
    case 5:
        LogResourceText(63);
        return kPingErrHeartbeatOutOfRange;
    case 6:
        LogResourceText(64);
        return kPingErrTooManyFolders;
    case 7:
        LogResourceText(65);
        return kPingErrFolderHierarchyChanged;
    case 8:
        LogResourceText(62);
        return kPingErrServerError;
    default:
        LogTextNumber(m_logger, "Unknown Ping Status : ", int32_t(status));
        return ASDataManagerErrBadStatus;
    }
}

// The Ping answer, which the client hears first. A quiet expiry, or a
// complaint the engine can follow (heartbeat, folder count, an empty Ping the
// server cannot reuse), leaves the step at 20 for DetermineNextPingStep;
// changes or a new folder hierarchy start a push cycle in the task
// (activeSyncErrWaitForCallback); anything else is a push error, returned
// for the error report.
DErrorCode DActiveSyncEngine::ProcessPingCommandData(DASDP_PingResponse *ping) {
    if (ping == nullptr || m_prefs == nullptr) return generalErrInvalidParameter;
    DErrorCode err = OpenFolderStoreForWriting();
    if (err != kNoError) return err;
    if (m_client != nullptr) m_client->ActiveSync_ReceivedResponse(ping);
    err = JudgePingStatus(ping);
    if (err == kNoError && ping->GetStatus() == kPingStatusExpired) {
        m_emailLoops = m_contactsLoops = m_tasksLoops = m_calendarLoops = 0;
        LogResourceText(80);
        m_emptyPing = 1;
        SuccessfulHeartbeat();
        return PingQuietEnd();
    }
    if (err == kNoError) return ProcessPingChanges(ping);
    if (err == kPingErrFolderHierarchyChanged) {
        m_folderSyncNeeded = 1;
        LogResourceText(81);
        return StartNewPushCycle(EActiveSyncStep_Options);
    }
    if (err == kPingErrHeartbeatOutOfRange) {
        // A server that names no heartbeat, or the one just refused, would be
        // asked the same question for ever: that is a push error.
        const uint16_t heartbeat = ping->GetHeartbeat();
        if (heartbeat != 0 && heartbeat != m_prefs->GetQVHeartbeat()) {
            LogResourceText(82);
            m_prefs->SetQVHeartbeat(heartbeat);
            m_prefs->SetLastGoodHeartBeat(heartbeat);
            m_prefs->SetPingCounter(0);
            return PingQuietEnd();
        }
    } else if (err == kPingErrTooManyFolders) {
        const uint32_t limit = ping->GetFolderLimit();
        if (limit != 0 && limit != m_prefs->GetMaxServerPushFolders()) {
            m_prefs->SetMaxServerPushFolders(limit);
            return PingQuietEnd();
        }
    } else if (ping->GetStatus() == kPingStatusMissingParameters && m_lastPingEmpty) {
        // The server no longer holds the folder list an empty Ping reuses:
        // the same Ping again, with its body.
        LogText("ProcessPingCommandData() - Empty Ping refused; sending the folder list again\n");
        m_emptyPing = 0;
        return PingQuietEnd();
    }
    LogTextCode("!!Push error.", err);
    return err;
}

DErrorCode DActiveSyncEngine::ProcessPingChanges(DASDP_PingResponse *ping) {
    m_emptyPing = 1;
    LogResourceText(84);
    LogText("\n");
    DEASFolderInfoStore *store = m_folderInfoStore;
    bool fullSync = false;
    const StringListNode *node = ping->GetFolders();
    if (node == nullptr) {
        LogText("!!No Folder List on Ping. Full Sync.\n");
        fullSync = true;
    } else if (node->value == nullptr || node->value->GetLength() == 0) {
        LogText("!!No Folder List ITEM on Ping. Full Sync.\n");
        fullSync = true;
    } else {
        const std::string calendarID = FirstFolderServerID(store, kFolderTypeCalendar);
        const std::string contactsID = FirstFolderServerID(store, kFolderTypeContacts);
        const std::string tasksID = FirstFolderServerID(store, kFolderTypeTasks);
        bool mailChanged = false;
        for (; node != nullptr && !fullSync; node = node->next) {
            VString id;
            if (node->value == nullptr || id.Assign(*node->value) != kNoError ||
                id.ConvertTo(kVStringWindows1252) != kNoError || id.GetNarrowText() == nullptr) {
                fullSync = true;
                break;
            }
            const char *text = id.GetNarrowText();
            if (SameID(text, calendarID)) {
                LogText("ProcessPingCommandData() - Detected CALENDAR changes\n");
                m_serverCalendarChanged = 1;
                ++m_calendarLoops;
            } else if (SameID(text, contactsID)) {
                LogText("ProcessPingCommandData() - Detected CONTACTS changes\n");
                m_serverContactsChanged = 1;
                ++m_contactsLoops;
            } else if (SameID(text, tasksID)) {
                LogText("ProcessPingCommandData() - Detected TASKS changes\n");
                m_serverTasksChanged = 1;
                ++m_tasksLoops;
            } else {
                DEASFolderInfoRecord *folder = nullptr;
                if (store->FindFolderByServerID(text, &folder) != kNoError || folder == nullptr) {
                    LogText("!!Folder ID Error on Ping. Full Sync.\n");
                    fullSync = true;
                    break;
                }
                DErrorCode err = folder->SetFlag(kMailFlagServerChanges, true);
                if (err != kNoError) return err;
                LogText("ProcessPingCommandData() - Detected EMAIL changes in ");
                LogText(folder->GetDisplayName());
                LogText("\n");
                mailChanged = true;
            }
        }
        if (mailChanged) ++m_emailLoops;
    }
    if (fullSync) {
        DErrorCode err = MarkFullSync();
        if (err != kNoError) return err;
    }

    m_runFlags = kRunFlagPush;
    if (AnyMailFolderFlag(store, kMailFlagServerChanges)) m_runFlags |= kRunFlagEMail;
    if (m_serverCalendarChanged) m_runFlags |= kRunFlagCalendar;
    if (m_serverContactsChanged) m_runFlags |= kRunFlagContacts;
    if (m_serverTasksChanged) m_runFlags |= kRunFlagTasks;

    // The scheduler's local change bits are taken over; only once they are
    // kept by the engine are the scheduler's cleared.
    const uint16_t flags = uint16_t(m_prefs->GetPushNeedsSoap() | m_prefs->GetEngineNeedsSoap());
    m_localChangeFlags = flags;
    if (m_prefs->SetEngineNeedsSoap(flags) == kNoError) m_prefs->SetPushNeedsSoap(0);
    if (flags & kLocalChangeCalendar) m_localCalendarChanged = 1;
    if (flags & kLocalChangeContacts) m_localContactsChanged = 1;
    if (flags & kLocalChangeTasks) m_localTasksChanged = 1;
    if (flags & (kLocalChangeEMail | kLocalChangeEMailMore)) {
        DErrorCode err = store->SetMailFolderFlag(kMailFlagLocalChanges, true);
        if (err != kNoError) return err;
    }
    if (flags & kLocalChangeEMailMore) m_emptyPing = 0;
    // A full sync asks the server for the folder hierarchy first.
    return StartNewPushCycle(fullSync ? EActiveSyncStep_Options : EActiveSyncStep_PingCmd);
}

DErrorCode DActiveSyncEngine::MarkFullSync() {
    if (m_folderInfoStore == nullptr) return generalErrNotInitialized;
    DErrorCode err = m_folderInfoStore->SetMailFolderFlag(kMailFlagServerChanges, true);
    m_serverCalendarChanged = m_serverContactsChanged = m_serverTasksChanged = 1;
    m_folderSyncNeeded = 1;
    m_emptyPing = 0;
    return err;
}

// The Ping ended without changes to sync: the step stays 20, so the step
// machine's DetermineNextPingStep decides what follows.
DErrorCode DActiveSyncEngine::PingQuietEnd() {
    DEASFolderInfoStore *store = m_folderInfoStore;
    DErrorCode err = store != nullptr ? store->SetMailFolderFlag(kMailFlagServerChanges, false) : kNoError;
    m_serverCalendarChanged = m_serverContactsChanged = m_serverTasksChanged = 0;
    // Kept at once: the cleared flags must not come back with a later reopen.
    if (err == kNoError && store != nullptr && store->GetMode() == kDBReadWrite) err = store->Save();
    return err;
}

// A push cycle starts at the step given (2 when the folder hierarchy must be
// fetched first, 20 otherwise) and goes on in the task (stage 24, then 15)
// once the data manager has prepared the stores.
DErrorCode DActiveSyncEngine::StartNewPushCycle(uint32_t step) {
    if (m_prefs == nullptr || m_dataManager == nullptr) return generalErrNotInitialized;
    DErrorCode err = SetSessionHeaders();
    if (err == kNoError) err = m_prefs->Load(TRUE);
    if (err != kNoError) return err;
    m_prefs->SetEngineState(kEngineStateSyncing);
    m_localChangeFlags = 0;
    ReportMajorStatus(20);
    m_taskStage = kStagePushEMailProbe;
    m_currentStep = step;
    // The data manager's signal continues the task.
    if (!IsActive()) Activate();
    err = m_dataManager->PrepareForSync(GetSignal());
    return err != kNoError ? err : activeSyncErrWaitForCallback;
}

DErrorCode DActiveSyncEngine::DetermineNextPingStep(uint32_t finishedStep) {
    if (finishedStep != EActiveSyncStep_PingCmd && finishedStep != EActiveSyncStep_PingRestart) {
        LogText("DetermineNextPingStep() -  Unknown sync step\n");
        return activeSyncErrUnexpectedStep;
    }
    if (m_prefs == nullptr) return generalErrNotInitialized;
    DEASFolderInfoStore *store = m_folderInfoStore;
    bool account = false;
    if (m_prefs->HasAccountSettings(&account) != kNoError || !account) {
        // The next run syncs every mail folder.
        m_currentStep = EActiveSyncStep_None;
        m_taskStage = kStageRunOver;
        if (store != nullptr) {
            store->SetMailFolderFlag(kMailFlagServerChanges, false);
            store->SetMailFolderFlag(kMailFlagLocalChanges, true);
        }
        m_serverCalendarChanged = m_serverContactsChanged = m_serverTasksChanged = 0;
        m_localCalendarChanged = m_localContactsChanged = m_localTasksChanged = 0;
        LogResourceText(19);
        return kNoError;
    }
    if (finishedStep == EActiveSyncStep_PingRestart) {
        m_pingStartTime = GetTickCount();
        m_retryScheduled = 0;
        SendPingRecord(kPingStatusCycleStart);
        m_currentStep = EActiveSyncStep_PingCmd;
        return kNoError;
    }
    const bool changes = AnyMailFolderFlag(store, kMailFlagServerChanges) || m_serverCalendarChanged ||
                         m_serverContactsChanged || m_serverTasksChanged;
    if (changes) {
        if (m_client == nullptr || m_client->ActiveSync_PreSyncCheck()) return ApplyEMailRule(finishedStep);
        m_currentStep = EActiveSyncStep_None;
        m_taskStage = kStageRunOver;
        if (store != nullptr) store->SetMailFolderFlag(kMailFlagServerChanges | kMailFlagLocalChanges, false);
        m_serverCalendarChanged = m_serverContactsChanged = m_serverTasksChanged = 0;
        m_localCalendarChanged = m_localContactsChanged = m_localTasksChanged = 0;
        return kNoError;
    }
    if (m_prefs->GetEASVers() >= kPushVersionWithPing && m_prefs->GetPushAvailable() != 0 && IsPushEnabledNow()) {
        m_currentStep = EActiveSyncStep_PingCmd;
    } else {
        m_currentStep = EActiveSyncStep_None;
        m_taskStage = kStageRunOver;
    }
    return kNoError;
}

// The loop guard and the next push cycle, at the end of a push run's sync
// cycle: local changes start another sync cycle (through task stage 7,
// activeSyncErrWaitForCallback), none start a new Ping cycle (step 21).
DErrorCode DActiveSyncEngine::PrepareForPing() {
    if (m_prefs == nullptr || m_dataManager == nullptr) return generalErrNotInitialized;
    m_currentStep = EActiveSyncStep_None;
    if (m_emailLoops > kMaxUnsettledChangeReports || m_contactsLoops > kMaxUnsettledChangeReports ||
        m_tasksLoops > kMaxUnsettledChangeReports || m_calendarLoops > kMaxUnsettledChangeReports) {
        LogText("*** Detected an \"Infinite Sync Loop\" problem.  Switching to scheduled sync to conserver battery "
                "and data.***\n");
        m_prefs->SetPushEnabledNow(0);
        m_prefs->SetCurrentSyncSchedule(kSyncScheduleEvery15Minutes);
        m_prefs->SaveAll();
        m_emailLoops = m_contactsLoops = m_tasksLoops = m_calendarLoops = 0;
        return activeSyncErrInfiniteSyncLoop;
    }

    DEASFolderInfoStore *store = m_folderInfoStore;
    uint16_t flags = m_prefs->GetPushNeedsSoap();
    m_localChangeFlags = flags;
    if (flags == 0) {
        // Nothing local waits: a new Ping cycle that watches every type.
        m_runFlags = kRunFlagsAll;
        m_prefs->SetUserSyncEMailOverride(1);
        m_prefs->SetUserSyncCalendarOverride(1);
        m_prefs->SetUserSyncContactsOverride(1);
        m_prefs->SetUserSyncTasksOverride(1);
        m_currentStep = EActiveSyncStep_PingRestart;
        return kNoError;
    }
    flags = uint16_t(flags | m_prefs->GetEngineNeedsSoap());
    m_localChangeFlags = flags;
    DErrorCode err = m_prefs->SetEngineNeedsSoap(flags);
    if (err != kNoError) return err;
    m_serverCalendarChanged = m_serverContactsChanged = m_serverTasksChanged = 0;
    m_localCalendarChanged = m_localContactsChanged = m_localTasksChanged = 0;
    if (store != nullptr) store->SetMailFolderFlag(kMailFlagLocalChanges, false);
    if (IsTasksInRun() && (flags & kLocalChangeTasks)) m_localTasksChanged = 1;
    if (IsContactsInRun() && (flags & kLocalChangeContacts)) m_localContactsChanged = 1;
    if (IsCalendarInRun() && (flags & kLocalChangeCalendar)) m_localCalendarChanged = 1;
    bool mail = false;
    if (IsEMailInRun() && (flags & (kLocalChangeEMail | kLocalChangeEMailMore))) {
        if (store == nullptr) return generalErrNotInitialized;
        err = store->SetMailFolderFlag(kMailFlagLocalChanges, true);
        if (err != kNoError) return err;
        mail = true;
        if (flags & kLocalChangeEMailMore) m_emptyPing = 0;
    }
    if (!mail && !m_localTasksChanged && !m_localContactsChanged && !m_localCalendarChanged)
        return activeSyncErrPushLocalChangeError;

    // Another sync cycle sends the local changes before the next Ping.
    if (store != nullptr && store->GetMode() == kDBReadWrite) {
        err = store->Save();
        if (err != kNoError) return err;
    }
    err = m_prefs->SaveAll();
    if (err == kNoError) err = m_prefs->SetPushNeedsSoap(0);
    if (err != kNoError) return err;
    m_firstCycle = 0;
    m_currentStep = EActiveSyncStep_GetItemEstimateCmd;
    m_taskStage = kStagePrepareCycle;
    if (!IsActive()) Activate();
    err = m_dataManager->EndOfRunCleanup(GetSignal());
    return err != kNoError ? err : activeSyncErrWaitForCallback;
}

// Step 21 performed: the sync cycle is acknowledged as a completed run, the
// lock is taken again for the Ping, and once the stores are cleaned up the
// task goes on (stage 15: DetermineNextPingStep, then the Ping).
DErrorCode DActiveSyncEngine::RestartPing() {
    if (m_prefs == nullptr || m_dataManager == nullptr || m_global == nullptr) return generalErrNotInitialized;
    m_global->SetMode(0);
    m_runKind = kRunKindScheduled;
    AcknowledgeCompletedSync();
    DErrorCode err = TakeSyncLock(kEngineStatePinging);
    if (err == kNoError) err = StartTimer(kLockRefreshMs, &m_lockRefreshTimer);
    if (err != kNoError) return err;
    m_taskStage = kStageNextStep;
    if (!IsActive()) Activate();
    err = m_dataManager->EndOfRunCleanup(GetSignal());
    return err != kNoError ? err : activeSyncErrWaitForCallback;
}
