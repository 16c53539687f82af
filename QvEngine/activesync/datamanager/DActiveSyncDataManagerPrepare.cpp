// Preparation for a run (states 5 to 13): the folder marks of the run, then
// each store made and opened in turn, emptied first when the user asked for
// that type to start again from scratch.
#include <cstring>

#include "DASDP_PlainResponses.h"
#include "DActiveSyncDataManager.h"
#include "DOutlookManager.h"
#include "DWinMobMessageManager.h"
#include "ICorvanePreferences.h"

namespace {

// What differs between the calendar, contacts and tasks preparations.
struct PimType {
    uint32_t kind;
    const char *prepareName;
    const char *deleting;
    const char *failed;
    uint32_t statusText;
    uint32_t finishState;
    uint32_t nextState;
    BYTE (ICorvanePreferences::*on)();
    BYTE (ICorvanePreferences::*clean)();
    DErrorCode (ICorvanePreferences::*setClean)(BYTE);
};

const PimType kPimTypes[] = {
    {kOutlookItemAppointment, "DActiveSyncDataManager::PrepareForCalendarSync()\n",
     "DActiveSyncDataManager::FinishPrepareForCalendarSync() - deleteing all old appointments\n",
     "DActiveSyncDataManager::RunTask() - prepare for Calendar Sync Failed!\n", 25, kDMFinishCalendar,
     kDMPrepareContacts, &ICorvanePreferences::GetEffectiveUserSyncCalendar, &ICorvanePreferences::GetCleanCalendar,
     &ICorvanePreferences::SetCleanCalendar},
    {kOutlookItemContact, "DActiveSyncDataManager::PrepareForContactsSync()\n",
     "DActiveSyncDataManager::FinishPrepareForContactsSync() - deleteing all old contacts\n",
     "DActiveSyncDataManager::RunTask() - prepare for Contacts Sync Failed!\n", 26, kDMFinishContacts,
     kDMPrepareTasks, &ICorvanePreferences::GetEffectiveUserSyncContacts, &ICorvanePreferences::GetCleanContacts,
     &ICorvanePreferences::SetCleanContacts},
    {kOutlookItemTask, "DActiveSyncDataManager::PrepareForTasksSync()\n",
     "DActiveSyncDataManager::FinishPrepareForTasksSync() - deleteing all old tasks\n",
     "DActiveSyncDataManager::RunTask() - prepare for Tasks Sync Failed!\n", 118, kDMFinishTasks, kDMPrepareEMail,
     &ICorvanePreferences::GetEffectiveUserSyncTasks, &ICorvanePreferences::GetCleanTasks,
     &ICorvanePreferences::SetCleanTasks},
};

const char *const kEMailFailed = "DActiveSyncDataManager::RunTask() - prepare for E-Mail Sync Failed!\n";

bool IsMailFolder(DEASFolderInfoRecord *folder) {
    const uint32_t type = folder->GetInt(kFolderFieldType);
    return type == kFolderTypeInbox || type == kFolderTypeUserMail;
}

}  // namespace

DErrorCode DActiveSyncDataManager::PrepareForSync(DActiveTaskSignal *signal) {
    if (m_prefs == nullptr) return generalErrNotInitialized;
    DErrorCode err = LoadLanguageTable();
    if (err != kNoError) return err;
    // Whatever the stores change from here on starts from what is on disk.
    if (m_folders != nullptr && m_folders->GetMode() == kDBReadWrite) {
        err = m_folders->Save();
        if (err != kNoError) return err;
    }
    m_calWanted = m_conWanted = m_tskWanted = 1;
    m_firstEMail = m_firstContacts = m_firstTasks = m_firstCalendar = 0;
    m_calChanges = m_conChanges = m_tskChanges = 0;
    m_timeZoneChanged = 0;
    // A repeat after status 4 is allowed once per Sync of a run, not once ever.
    m_retried = 0;

    const bool email = m_prefs->GetEffectiveUserSyncEMail() != 0;
    if (m_folders != nullptr && m_folders->GetMode() != kDBClosed) {
        uint32_t count = 0;
        err = m_folders->GetRecordCount(&count);
        for (uint32_t i = 0; err == kNoError && i < count; ++i) {
            DEASFolderInfoRecord *folder = nullptr;
            err = m_folders->GetFolderAt(i, &folder);
            if (err == kNoError && IsMailFolder(folder)) err = folder->SetFlag(kMailFlagRecheckLocal, true);
        }
        m_folders->ClearCurrentFolder();
        // A mail folder that never synced has nothing to check again.
        for (uint32_t i = 0; email && err == kNoError && i < count; ++i) {
            DEASFolderInfoRecord *folder = nullptr;
            err = m_folders->GetFolderAt(i, &folder);
            if (err != kNoError || HasSyncKey(folder)) continue;
            const uint32_t type = folder->GetInt(kFolderFieldType);
            if (type == kFolderTypeInbox || (type == kFolderTypeUserMail && folder->IsFlagSet(kFolderFlagSync)))
                err = folder->SetFlag(kMailFlagRecheckLocal, false);
        }
        if (err != kNoError) return err;
    }
    const WORD pending = m_prefs->GetEngineNeedsSoap();
    m_calChanges = (pending & 0x04) != 0;
    m_conChanges = (pending & 0x08) != 0;
    m_tskChanges = (pending & 0x10) != 0;
    // A type never synced (or without its folder) has nothing to check again.
    const struct {
        uint32_t type;
        BYTE *wanted;
    } defaults[] = {{kFolderTypeCalendar, &m_calWanted}, {kFolderTypeContacts, &m_conWanted},
                    {kFolderTypeTasks, &m_tskWanted}};
    for (const auto &d : defaults) {
        DEASFolderInfoRecord *folder = nullptr;
        if (m_folders == nullptr || m_folders->FindFirstFolderOfType(d.type, &folder) != kNoError ||
            !HasSyncKey(folder))
            *d.wanted = 0;
    }
    m_callerSignal = signal;
    m_callerByte = nullptr;
    err = GoTo(kDMPrepareCalendar);
    if (err != kNoError) m_callerSignal = nullptr;
    return err;
}

DErrorCode DActiveSyncDataManager::RunPrepareState(uint32_t state, DErrorCode result) {
    switch (state) {
        case kDMPrepareCalendar:
            return PrepareForCalendarSync();
        case kDMFinishCalendar:
            return FinishPrepareForCalendarSync(result);
        case kDMPrepareContacts:
            return PrepareForContactsSync(result);
        case kDMFinishContacts:
            return FinishPrepareForContactsSync(result);
        case kDMPrepareTasks:
            return PrepareForTasksSync(result);
        case kDMFinishTasks:
            return FinishPrepareForTasksSync(result);
        case kDMPrepareEMail:
            return PrepareForEMailSync(result);
        case kDMFinishEMail:
            return FinishPrepareForEMailSync(result);
        case kDMPrepareDone:
            return PrepareDone(result);
        case kDMCalendarProbeDone:
        case kDMContactsProbeDone:
        case kDMTasksProbeDone:
        case kDMEMailProbeDone:
        case kDMMovedProbeDone:
        case kDMAttachmentProbeDone:
        case kDMMeetingProbeDone:
            return ProbeDone(state, result);
        case kDMCleanCalendar:
        case kDMCleanContacts:
        case kDMCleanTasks:
        case kDMCleanEMail:
        case kDMResetAfterTimeZone:
        case kDMWipe:
            return CleanUpStep(state, result);
        case kDMSaveFolderInfo:
            return SaveFolderInfo(result);
        default:
            LogNumber("DActiveSyncDataManager::RunTask() - unexpected state : ", state);
            return activeSyncErrUnexpectedStep;
    }
}

DErrorCode DActiveSyncDataManager::StoreStarted(DErrorCode started) {
    if (started == kNoError || m_signal.IsReady()) return kNoError;
    return started;
}

DOutlookManager **DActiveSyncDataManager::PimStoreSlot(uint32_t index) {
    return index == 0 ? &m_cal : index == 1 ? &m_con : &m_tsk;
}

// States 5, 7 and 9: the type's store made and opened, or dropped when the
// type is off and no reset waits.
DErrorCode DActiveSyncDataManager::PreparePimStore(uint32_t index) {
    const PimType &pim = kPimTypes[index];
    DOutlookManager **store = PimStoreSlot(index);
    LogText(pim.prepareName);
    const bool on = (m_prefs->*pim.on)() != 0;
    if (!on && (m_prefs->*pim.clean)() == 0) {
        delete *store;
        *store = nullptr;
        return GoTo(pim.nextState);
    }
    DErrorCode err = AllocatePimStore(pim.kind, store);
    if (err != kNoError) {
        LogText(pim.failed);
        // The reset of a type the user does not sync waits for a store.
        return on ? err : GoTo(pim.nextState);
    }
    if (index == 0 && m_prefs->GetQVMaj() < 2 && m_global != nullptr) {
        // Calendar records written before version 2 are taken again from the server.
        err = m_global->ResetCalendarSyncData();
        if (err != kNoError) return err;
    }
    err = WaitIn(pim.finishState);
    if (err != kNoError) return err;
    return StoreStarted((*store)->OpenAsync(GetSignal()));
}

// States 6, 8 and 10: the open store emptied when a reset was asked for.
DErrorCode DActiveSyncDataManager::FinishPimStore(uint32_t index, DErrorCode result) {
    const PimType &pim = kPimTypes[index];
    DOutlookManager **store = PimStoreSlot(index);
    if (index == 0 && result == ASDataManagerErrTimeZoneChanged) {
        TimeZoneChanged();
        result = kNoError;
    }
    if (result != kNoError) {
        LogText(pim.failed);
        if ((m_prefs->*pim.on)() != 0) return result;
        delete *store;
        *store = nullptr;
        return GoTo(pim.nextState);
    }
    if ((m_prefs->*pim.clean)() == 0) return GoTo(pim.nextState);
    uint32_t count = 0;
    DErrorCode err = (*store)->GetCount(&count);
    if (err != kNoError) return err;
    if (count == 0) return GoTo(pim.nextState);
    LogText(pim.deleting);
    ReportStatus(pim.statusText);
    err = WaitIn(pim.nextState);
    if (err != kNoError) return err;
    return StoreStarted((*store)->DeleteExistingItems(GetSignal()));
}

// States 7, 9 and 11 (their first half): the type is ready, or the run fails.
DErrorCode DActiveSyncDataManager::PimStorePrepared(uint32_t index, DErrorCode result) {
    const PimType &pim = kPimTypes[index];
    if (result != kNoError) {
        LogText(pim.failed);
        return result;
    }
    // A store that exists took the reset (or had nothing to reset).
    if (*PimStoreSlot(index) != nullptr && (m_prefs->*pim.clean)() != 0) return (m_prefs->*pim.setClean)(0);
    return kNoError;
}

void DActiveSyncDataManager::TimeZoneChanged() {
    m_timeZoneChanged = 1;
    // The calendar's held time zone no longer is the device's: the next
    // calendar answer fixes it again.
    BYTE none[172];
    std::memset(none, 0, sizeof none);
    m_prefs->SetTimeZone(none);
    if (m_log != nullptr) m_log->NewLine(1, kLogAllCategories);
    LogResourceText(31);
    LogResourceText(32);
    if (m_log != nullptr) m_log->NewLine(1, kLogAllCategories);
    DASDM_QVMessage_TimeZoneChange record;
    if (m_client != nullptr) m_client->ActiveSyncDataManager_RecievedResponse(&record);
}

DErrorCode DActiveSyncDataManager::PrepareForCalendarSync() { return PreparePimStore(0); }

DErrorCode DActiveSyncDataManager::FinishPrepareForCalendarSync(DErrorCode result) { return FinishPimStore(0, result); }

DErrorCode DActiveSyncDataManager::PrepareForContactsSync(DErrorCode result) {
    DErrorCode err = PimStorePrepared(0, result);
    return err != kNoError ? err : PreparePimStore(1);
}

DErrorCode DActiveSyncDataManager::FinishPrepareForContactsSync(DErrorCode result) { return FinishPimStore(1, result); }

DErrorCode DActiveSyncDataManager::PrepareForTasksSync(DErrorCode result) {
    DErrorCode err = PimStorePrepared(1, result);
    return err != kNoError ? err : PreparePimStore(2);
}

DErrorCode DActiveSyncDataManager::FinishPrepareForTasksSync(DErrorCode result) { return FinishPimStore(2, result); }

// State 11: the message store made and opened.
DErrorCode DActiveSyncDataManager::PrepareForEMailSync(DErrorCode result) {
    DErrorCode err = PimStorePrepared(2, result);
    if (err != kNoError) return err;
    LogText("DActiveSyncDataManager::PrepareForEMailSync()\n");
    const bool wanted = m_prefs->GetEffectiveUserSyncEMail() != 0 || m_prefs->GetCleanMailbox() != 0;
    err = AllocateMessageStore();
    if (err != kNoError) {
        LogText(kEMailFailed);
        return wanted ? err : GoTo(kDMPrepareDone);
    }
    err = WaitIn(wanted ? kDMFinishEMail : kDMPrepareDone);
    if (err != kNoError) return err;
    return StoreStarted(m_msg->OpenAsync(GetSignal()));
}

// State 12: the message store emptied when a reset was asked for; mail the
// server refused in an earlier run may go again.
DErrorCode DActiveSyncDataManager::FinishPrepareForEMailSync(DErrorCode result) {
    if (result != kNoError) return result;
    DErrorCode err = ReleaseRefusedMessages();
    if (err != kNoError) return err;
    if (m_prefs->GetCleanMailbox() == 0) return GoTo(kDMPrepareDone);
    uint32_t count = 0;
    err = m_msg->GetCount(&count);
    if (err != kNoError) return err;
    if (count == 0) return GoTo(kDMPrepareDone);
    LogText("DActiveSyncDataManager::FinishPrepareForEMailSync() - deleteing all old messages\n");
    ReportStatus(29);
    err = WaitIn(kDMPrepareDone);
    if (err != kNoError) return err;
    return StoreStarted(m_msg->DeleteExistingItems(GetSignal()));
}

// State 13: every store is ready; the caller goes on.
DErrorCode DActiveSyncDataManager::PrepareDone(DErrorCode result) {
    const bool wanted = m_prefs->GetEffectiveUserSyncEMail() != 0 || m_prefs->GetCleanMailbox() != 0;
    if (result != kNoError) {
        LogText(kEMailFailed);
        if (wanted) return result;
        // Mail is not synced: a message store that cannot open is no failure of the run.
        delete m_msg;
        m_msg = nullptr;
    }
    if (m_msg != nullptr && m_prefs->GetCleanMailbox() != 0) {
        DErrorCode err = m_prefs->SetCleanMailbox(0);
        if (err != kNoError) return err;
    }
    FinishCaller(kNoError);
    return kNoError;
}
