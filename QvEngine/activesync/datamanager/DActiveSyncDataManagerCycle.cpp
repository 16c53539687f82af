// The bookkeeping around each Sync: the folder's next sync key, the stores'
// end-of-cycle work, one more look for device changes, and the change log.
#include <string>

#include "DASDP_SyncResponse.h"
#include "DActiveSyncDataManager.h"
#include "DOutlookManager.h"
#include "DWinMobMessageManager.h"
#include "DWinMobOutlookMessageCollection.h"

namespace {

const char *const kTagSyncKey = "0x0B_0x00";

enum ECycleOperation : uint32_t {
    kCyclePurge = 0,
    kCycleClearFlags = 1,
    kCycleComplete = 2,
};

DErrorCode Started(DActiveTaskSignal *signal, DErrorCode err) {
    return err != kNoError && signal->IsReady() ? kNoError : err;
}

bool IsFirstSync(uint32_t command) { return command >= kCmdFirstEMailSync && command <= kCmdFirstTasksSync; }

}  // namespace

DErrorCode DActiveSyncDataManager::FolderOfCommand(DEASFolderInfoRecord **folder) {
    *folder = nullptr;
    if (m_folders == nullptr) return generalErrNotInitialized;
    switch (mCurrASCommand) {
        case kCmdFirstEMailSync:
        case kCmdEMailSync:
            return m_folders->GetCurrentFolder(folder);
        case kCmdFirstCalendarSync:
        case kCmdCalendarSync:
            return m_folders->FindFirstFolderOfType(kFolderTypeCalendar, folder);
        case kCmdFirstContactsSync:
        case kCmdContactsSync:
            return m_folders->FindFirstFolderOfType(kFolderTypeContacts, folder);
        case kCmdFirstTasksSync:
        case kCmdTasksSync:
            return m_folders->FindFirstFolderOfType(kFolderTypeTasks, folder);
        default:
            return activeSyncErrUnexpectedStep;
    }
}

DErrorCode DActiveSyncDataManager::SetNextSyncSessionID(const char *key) {
    const char *words = nullptr;
    switch (mCurrASCommand) {
        case kCmdFirstEMailSync:
        case kCmdEMailSync:
            words = "Next EMAIL Sync Key : ";
            break;
        case kCmdFirstCalendarSync:
        case kCmdCalendarSync:
            words = "Next CALENDAR Sync Key : ";
            break;
        case kCmdFirstContactsSync:
        case kCmdContactsSync:
            words = "Next CONTACTS Sync Key : ";
            break;
        case kCmdFirstTasksSync:
        case kCmdTasksSync:
            words = "Next TASKS Sync Key : ";
            break;
        default:
            LogNumber("DActiveSyncDataManager::SetNextSyncSessionID() - unexpected ActiveSync command : ",
                      mCurrASCommand);
            return activeSyncErrUnexpectedStep;
    }
    if (key == nullptr) return generalErrInvalidParameter;
    DEASFolderInfoRecord *folder = nullptr;
    DErrorCode err = FolderOfCommand(&folder);
    if (err != kNoError) return err;
    if (folder == nullptr) return generalErrItemNotFound;
    const char *stored = folder->GetString(kFolderFieldSyncKey);
    // The server took the last exchange: the type's push loop count restarts.
    auto *record = dynamic_cast<DASDP_SyncResponse *>(m_response);
    if (record != nullptr && (stored == nullptr || std::string(stored) != key)) record->SetResetLoopCounter(1);
    err = folder->SetString(kFolderFieldSyncKey, key);
    if (err == kNoError) LogLine(words, key);
    return err;
}

DErrorCode DActiveSyncDataManager::StoreAnsweredSyncKey() {
    // An empty answer (nothing changed) keeps the key.
    if (m_tree == nullptr) return kNoError;
    const std::string key = m_tree != nullptr ? TextOf(Find(m_tree->root, kTagSyncKey)) : std::string();
    if (key.empty()) return ASDataManagerErrMissingData;
    // "0" names no state the server keeps.
    if (key == "0") return kNoError;
    return SetNextSyncSessionID(key.c_str());
}

DErrorCode DActiveSyncDataManager::StartCycleOperation(uint32_t which, uint32_t next, const char *routine) {
    // First Syncs bring no items: nothing to purge, clear or complete.
    if (IsFirstSync(mCurrASCommand)) return GoTo(next);
    DOutlookManager *store = nullptr;
    switch (mCurrASCommand) {
        case kCmdEMailSync:
            store = m_msg;
            break;
        case kCmdCalendarSync:
            store = m_cal;
            break;
        case kCmdContactsSync:
            store = m_con;
            break;
        case kCmdTasksSync:
            store = m_tsk;
            break;
        default:
            LogNumber((std::string(routine) + " - unexpected ActiveSync command : ").c_str(), mCurrASCommand);
            return activeSyncErrUnexpectedStep;
    }
    if (store == nullptr) return generalErrNotInitialized;
    DErrorCode err = WaitIn(next);
    if (err != kNoError) return err;
    if (which == kCyclePurge)
        err = store->StartPurgeTask(GetSignal());
    else if (which == kCycleClearFlags)
        err = store->StartCompleteTask(GetSignal());
    else
        err = store->SyncCycleCompleted(GetSignal());
    return Started(GetSignal(), err);
}

DErrorCode DActiveSyncDataManager::PurgeDeletedAfterSyncProcesssing() {
    return StartCycleOperation(kCyclePurge, kDMClearFlags, "DActiveSyncDataManager::PurgeDeletedAfterSyncProcesssing()");
}

DErrorCode DActiveSyncDataManager::ClearFlagsAfterSyncProcesssing() {
    return StartCycleOperation(kCycleClearFlags, kDMNotifyCycleDone,
                               "DActiveSyncDataManager::ClearFlagsAfterSyncProcesssing()");
}

DErrorCode DActiveSyncDataManager::NotifyManagerOfSyncCycleCompletion() {
    return StartCycleOperation(kCycleComplete, kDMCheckAdditional,
                               "DActiveSyncDataManager::NotifyManagerOfSyncCycleCompletion()");
}

DErrorCode DActiveSyncDataManager::CheckIfNeedAdditionalSyncs() {
    auto *record = dynamic_cast<DASDP_SyncResponse *>(m_response);
    BYTE *first = FirstByteOfCommand();
    if (record == nullptr || first == nullptr) {
        LogNumber("DActiveSyncDataManager::CheckIfNeedAdditionalSyncs() - unexpected ActiveSync command : ",
                  mCurrASCommand);
        return activeSyncErrUnexpectedStep;
    }
    // The next answer goes on where this one stopped: its Adds are new.
    if (record->GetMoreAvailable() != 0) {
        *first = 1;
        return GoTo(kDMDeliverParsed);
    }
    if (IsFirstSync(mCurrASCommand)) return GoTo(kDMDeliverParsed);
    bool changed = false;
    DErrorCode err = kNoError;
    if (mCurrASCommand == kCmdEMailSync) {
        DEASFolderInfoRecord *folder = nullptr;
        err = m_folders != nullptr ? m_folders->GetCurrentFolder(&folder) : generalErrNotInitialized;
        if (err != kNoError) return err;
        if (!folder->IsFlagSet(kMailFlagRecheckLocal)) {
            err = folder->SetFlag(kMailFlagLocalChanges, false);
            return err != kNoError ? err : GoTo(kDMDeliverParsed);
        }
        err = folder->SetFlag(kMailFlagRecheckLocal, false);
        DWinMobOutlookMessageCollection *collection = nullptr;
        if (err == kNoError) err = CurrentMailFolder(&collection);
        if (err == kNoError) err = WaitIn(kDMAdditionalChanges);
        if (err != kNoError) return err;
        err = collection->HasChangedItems(&changed, GetSignal());
        m_probe = changed ? 1 : 0;
        return Started(GetSignal(), err);
    }
    BYTE *wanted = mCurrASCommand == kCmdCalendarSync   ? &m_calWanted
                   : mCurrASCommand == kCmdContactsSync ? &m_conWanted
                                                        : &m_tskWanted;
    if (*wanted == 0) return GoTo(kDMDeliverParsed);
    *wanted = 0;
    IOutlookItemCollection *store = nullptr;
    err = StoreOfCommand(&store);
    if (err == kNoError) err = WaitIn(kDMAdditionalChanges);
    if (err != kNoError) return err;
    err = store->HasChangedItems(&changed, GetSignal());
    m_probe = changed ? 1 : 0;
    return Started(GetSignal(), err);
}

DErrorCode DActiveSyncDataManager::AdditionalChangesAnswered() {
    auto *record = dynamic_cast<DASDP_SyncResponse *>(m_response);
    if (record == nullptr) return generalErrNotInitialized;
    const bool more = m_probe != 0;
    // Device changes wait: the engine runs the same Sync again to send them.
    record->SetMoreAvailable(more ? 1 : 0);
    DErrorCode err = kNoError;
    switch (mCurrASCommand) {
        case kCmdEMailSync: {
            DEASFolderInfoRecord *folder = nullptr;
            err = m_folders != nullptr ? m_folders->GetCurrentFolder(&folder) : generalErrNotInitialized;
            if (err == kNoError) err = folder->SetFlag(kMailFlagLocalChanges, more);
            if (err == kNoError && more) LogText("DActiveSyncDataManager::RunTask() - More Device E-Mail Changes Detected\n");
            if (err == kNoError && !more) err = folder->SetFlag(kMailFlagRecheckLocal, false);
            break;
        }
        case kCmdCalendarSync:
            m_calChanges = more ? 1 : 0;
            if (!more) m_calWanted = 0;
            if (more) LogText("DActiveSyncDataManager::RunTask() - More Device Calendar Changes Detected\n");
            break;
        case kCmdContactsSync:
            m_conChanges = more ? 1 : 0;
            if (!more) m_conWanted = 0;
            if (more) LogText("DActiveSyncDataManager::RunTask() - More Device Contacts Changes Detected\n");
            break;
        case kCmdTasksSync:
            m_tskChanges = more ? 1 : 0;
            if (!more) m_tskWanted = 0;
            if (more) LogText("DActiveSyncDataManager::RunTask() - More Device Task Changes Detected\n");
            break;
        default:
            return activeSyncErrUnexpectedStep;
    }
    return err != kNoError ? err : GoTo(kDMDeliverParsed);
}

DErrorCode DActiveSyncDataManager::LogSyncChanges() {
    auto *record = dynamic_cast<DASDP_SyncResponse *>(m_response);
    uint32_t texts[3] = {0, 0, 0};
    switch (mCurrASCommand) {
        case kCmdFirstEMailSync:
        case kCmdEMailSync:
            texts[0] = 99;
            texts[1] = 100;
            texts[2] = 101;
            break;
        case kCmdFirstCalendarSync:
        case kCmdCalendarSync:
            texts[0] = 95;
            texts[2] = 96;
            break;
        case kCmdFirstContactsSync:
        case kCmdContactsSync:
            texts[0] = 97;
            texts[2] = 98;
            break;
        case kCmdFirstTasksSync:
        case kCmdTasksSync:
            texts[0] = 112;
            texts[2] = 113;
            break;
        default:
            LogNumber("DActiveSyncDataManager::LogSyncChanges() - unexpected ActiveSync command : ", mCurrASCommand);
            return activeSyncErrUnexpectedStep;
    }
    if (record == nullptr) return kNoError;
    // Mail tells adds and changes apart; the other types log them together.
    uint32_t counts[3] = {record->GetAddedCount(), record->GetChangedCount(), record->GetDeletedCount()};
    if (texts[1] == 0) counts[0] += counts[1];
    for (int i = 0; i < 3; ++i) {
        if (texts[i] == 0) continue;
        LogResourceText(texts[i]);
        LogNumber(" ", counts[i]);
    }
    return kNoError;
}
