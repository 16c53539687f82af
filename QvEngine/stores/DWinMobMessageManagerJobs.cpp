// The message manager's work over the e-mail shadow database: moved
// messages, the end-of-run clean-up, and the jobs that complete and purge
// the messages of a Sync round or empty the folders.
#include "DWinMobMessageManager.h"
#include "MailStoreCalls.h"
#include "ServerIDText.h"

namespace {

// A record still marked as being written, with no server id, is what a
// process stopped while it made a server message left: the message it names
// (not yet whole, or whole without its server id) and the record go, and the
// server's next answer brings the message again. A mark beside a server id
// is the remains of a rewrite stopped half-way: the message stays, and its
// changes are recorded again.
DErrorCode DropUnfinishedMessages(DWinMobShadowDB *shadow, IMsgStore *store) {
    // Only marked records are loaded whole: the others cost one read of their flags.
    uint32_t position = 0;
    DErrorCode err = kNoError;
    while (err == kNoError) {
        DWinMobShadowRecord record;
        bool found = false;
        err = shadow->NextUnfinished(&position, &record, &found);
        if (err != kNoError || !found) break;
        if (record.HasServerID()) {
            err = record.SetIgnoringChanges(false);
            continue;
        }
        std::vector<BYTE> folderID;
        std::vector<BYTE> localID;
        IMAPIFolder *folder = nullptr;
        if (store != nullptr && record.GetLocalID(&localID) == kNoError && !localID.empty() &&
            record.GetFolderID(&folderID) == kNoError && MailOpenFolder(store, folderID, &folder) == S_OK) {
            SBinary id = {ULONG(localID.size()), localID.data()};
            ENTRYLIST list = {1, &id};
            folder->DeleteMessages(&list, 0, nullptr, 0);
            folder->Release();
        }
        // The records behind move up one place.
        err = shadow->DeleteRecord(&record);
        --position;
    }
    return err;
}

}  // namespace

// --- Questions and clean-up ---

DErrorCode DWinMobMessageManager::HasMovedItems(bool *result, DActiveTaskSignal *request) {
    DErrorCode err = result != nullptr ? kNoError : generalErrInvalidParameter;
    DEASFolderInfoStore *store = GetFolderStore();
    if (err == kNoError && (store == nullptr || m_shadow == nullptr)) err = generalErrNotInitialized;
    if (result != nullptr) *result = false;
    for (uint32_t index = 0; err == kNoError; ++index) {
        DWinMobShadowRecord record;
        if (m_shadow->GetRecordAt(index, &record) != kNoError) break;  // the end
        bool moved = false;
        if (record.IsMoved(&moved) != kNoError || !moved) continue;
        *result = true;
        std::vector<BYTE> folderID;
        DEASFolderInfoRecord *folder = nullptr;
        if (record.GetFolderID(&folderID) != kNoError ||
            store->FindFolderByData(folderID.data(), uint32_t(folderID.size()), &folder) != kNoError)
            continue;
        err = folder->SetFlag(kMailFolderFlagMovedInto, true);
        if (err == kNoError && !folder->IsFlagSet(kFolderFlagSync)) err = folder->SetFlag(kMailFolderFlagDiscard, true);
    }
    Complete(request, err);
    return err;
}

DErrorCode DWinMobMessageManager::CleanUpStore(DActiveTaskSignal *request) {
    DErrorCode result = kNoError;
    // (1) Old sent items.
    DWinMobOutlookMessageCollection *sent = nullptr;
    if (GetSentItemsCollection(&sent) == kNoError) result = sent->ClearSentItems(GetDeleteSentItemDateRange());
    // (2) The contents of unsynchronised folders that messages were moved into.
    DEASFolderInfoStore *store = GetFolderStore();
    bool changed = false;
    for (uint32_t i = 0; store != nullptr; ++i) {
        DEASFolderInfoRecord *folder = nullptr;
        if (store->GetFolderAt(i, &folder) != kNoError) break;
        if (folder->GetInt(kFolderFieldType) != kFolderTypeUserMail || folder->IsFlagSet(kFolderFlagSync) ||
            !folder->IsFlagSet(kMailFolderFlagDiscard) || folder->GetData() == nullptr)
            continue;
        folder->SetFlag(kMailFolderFlagDiscard, false);
        changed = true;
        const std::string serverID = folder->GetString(kFolderFieldServerID);
        IMessagingItemCollection *found = nullptr;
        DWinMobOutlookMessageCollection *collection = nullptr;
        if (GetFolderCollection(serverID.c_str(), &found) == kNoError)
            collection = dynamic_cast<DWinMobOutlookMessageCollection *>(found);
        if (collection == nullptr) continue;
        DErrorCode err = collection->ClearAllMessageFromMAPIFolder();
        if (err == kNoError) err = collection->DeleteShadowRecords();
        if (result == kNoError) result = err;
    }
    // (3) Keep the flags.
    if (changed && store->GetMode() == kDBReadWrite) {
        DErrorCode err = store->Save();
        if (result == kNoError) result = err;
    }
    Complete(request, result);
    return result;
}

// --- Jobs ---

DErrorCode DWinMobMessageManager::StartCompleteTask(DActiveTaskSignal *request) {
    DErrorCode err = DOutlookManager::StartCompleteTask(request);
    if (err != kNoError) return err;
    DWinMobOutlookMessageCollection *current = nullptr;
    GetCurrentMailFolderCollection(&current);
    m_collection = current;
    return kNoError;
}

DErrorCode DWinMobMessageManager::StartPurgeTask(DActiveTaskSignal *request) {
    DErrorCode err = CheckIdle();
    // A purge starts between the engine's own writes: a mark now is no write
    // in hand. Once per purge, not per step: the walk covers every record.
    if (err == kNoError && m_shadow != nullptr) err = DropUnfinishedMessages(m_shadow, m_store);
    if (err == kNoError) err = DOutlookManager::StartPurgeTask(request);
    // The purge walks the shadow database from its start, not the folders.
    if (err == kNoError) m_position = 0;
    return err;
}

DErrorCode DWinMobMessageManager::CompleteSentItems() {
    if (m_shadow == nullptr) return FinishTask(generalErrNotInitialized, kJobCompleteSentItems);
    for (;;) {
        DWinMobShadowRecord record;
        bool found = false;
        DErrorCode err = m_shadow->NextSent(&m_position, &record, &found);
        if (err != kNoError) return err;
        if (!found) break;
        // A record that fails is left; the walk goes on.
        if (record.SetSent(false) != kNoError) continue;
        if (m_collection != nullptr && record.HasServerID()) {
            std::string serverID;
            IOutlookItem *message = nullptr;
            if (ServerIDToNarrow(record.GetServerID(), &serverID) == kNoError &&
                m_collection->GetItemByID(serverID.c_str(), &message) == kNoError) {
                message->ClearModified();
                delete message;
            }
        }
        bool keepNew = false;
        if (record.IsKeepNew(&keepNew) == kNoError && !keepNew) record.SetNew(false);
    }
    return FinishTask(kNoError, kJobCompleteSentItems);
}

DErrorCode DWinMobMessageManager::PurgeDeletedItems() {
    if (m_shadow == nullptr) return FinishTask(generalErrNotInitialized, kJobPurgeDeletedItems);
    DEASFolderInfoStore *store = GetFolderStore();
    for (;;) {
        DWinMobShadowRecord record;
        bool found = false;
        DErrorCode err = m_shadow->NextSent(&m_position, &record, &found);
        if (err != kNoError) return err;
        if (!found) break;
        uint32_t flags = 0;
        if (record.GetFlags(&flags) != kNoError || (flags & kShadowFlagDeleted) == 0 ||
            (flags & kShadowFlagMeetingResponsePending) != 0)
            continue;
        // The message goes through its folder's collection; a record whose
        // folder or message is gone goes on its own.
        IOutlookItem *message = nullptr;
        IMessagingItemCollection *collection = nullptr;
        std::vector<BYTE> folderID;
        DEASFolderInfoRecord *folder = nullptr;
        std::string serverID;
        if (store != nullptr && record.GetFolderID(&folderID) == kNoError &&
            store->FindFolderByData(folderID.data(), uint32_t(folderID.size()), &folder) == kNoError &&
            GetFolderCollection(folder->GetString(kFolderFieldServerID), &collection) == kNoError &&
            record.HasServerID() && ServerIDToNarrow(record.GetServerID(), &serverID) == kNoError)
            collection->GetItemByID(serverID.c_str(), &message);
        if (message != nullptr) {
            err = collection->DeleteItem(message, nullptr);
            delete message;
        } else {
            err = m_shadow->DeleteRecord(&record);
        }
        if (err != kNoError && err != generalErrItemNotFound) return err;
        // The records behind moved up one place: go on from the same position.
        DWinMobShadowRecord check;
        if (m_shadow->GetRecordByOID(record.GetObjectID(), &check) != kNoError) --m_position;
    }
    return FinishTask(kNoError, kJobPurgeDeletedItems);
}

DErrorCode DWinMobMessageManager::DeleteAllInCurrFolder() {
    const uint32_t type = GetCurrentFolderType();
    if (type != kFolderTypeDrafts && type != kFolderTypeSentItems && type != kFolderTypeDeletedItems)
        return DMessageManager::DeleteAllInCurrFolder();
    // These folders keep no shadow records: their messages go at once.
    DWinMobOutlookMessageCollection *collection = dynamic_cast<DWinMobOutlookMessageCollection *>(m_collection);
    if (collection != nullptr) collection->ClearAllMessageFromMAPIFolder();
    m_position = 0;
    return FinishTask(kNoError, kJobDeleteExistingItems);
}

DErrorCode DWinMobMessageManager::FinishTask(DErrorCode result, uint32_t job) {
    if (job == kJobDeleteExistingItems && result == kNoError) {
        if (GetFolderStep() == kFolderStepFinished) {
            if (m_shadow != nullptr) m_shadow->DeleteAll();
        } else if (DWinMobOutlookMessageCollection *collection =
                       dynamic_cast<DWinMobOutlookMessageCollection *>(m_collection)) {
            collection->ClearAllMessageFromMAPIFolder();
        }
    }
    return DMessageManager::FinishTask(result, job);
}
