#include "DMessageManager.h"

#include <algorithm>
#include <new>

#include "DEASFolderInfoStore.h"

DMessageManager::DMessageManager()
    : m_folderStep(kFolderStepInbox),
      m_folderType(0),
      m_userFolderRecordID(kQvUnknown),
      m_userFolderIndex(kQvUnknown) {}

DMessageManager::~DMessageManager() { DeleteAllCollections(); }

DEASFolderInfoStore *DMessageManager::GetFolderStore() const {
    return m_context != nullptr ? m_context->GetFolderInfoStore() : nullptr;
}

// --- The mail folders as a collection ---

DErrorCode DMessageManager::GetCount(uint32_t *count) {
    if (count == nullptr) return generalErrInvalidParameter;
    *count = 0;
    DEASFolderInfoStore *store = GetFolderStore();
    if (store == nullptr) return generalErrNotInitialized;
    for (uint32_t i = 0;; ++i) {
        DEASFolderInfoRecord *folder = nullptr;
        DErrorCode err = store->GetFolderAt(i, &folder);
        if (err == generalErrIndexOutOfRange) return kNoError;
        if (err != kNoError) return err;
        if (IsMailFolderType(folder->GetInt(kFolderFieldType))) ++*count;
    }
}

DErrorCode DMessageManager::GetItem(uint32_t index, IOutlookItem **item) {
    if (item == nullptr) return generalErrInvalidParameter;
    *item = nullptr;
    DEASFolderInfoStore *store = GetFolderStore();
    if (store == nullptr) return generalErrNotInitialized;
    // Counts the folders GetCount counts, so that every index below the
    // count names a mail folder.
    uint32_t seen = 0;
    for (uint32_t i = 0;; ++i) {
        DEASFolderInfoRecord *folder = nullptr;
        DErrorCode err = store->GetFolderAt(i, &folder);
        if (err != kNoError) return err;  // past the last folder: generalErrIndexOutOfRange
        if (!IsMailFolderType(folder->GetInt(kFolderFieldType))) continue;
        if (seen++ == index) {
            const std::string serverID = folder->GetString(kFolderFieldServerID);
            return GetItemByID(serverID.c_str(), item);
        }
    }
}

DErrorCode DMessageManager::GetItemByID(const char *serverID, IOutlookItem **item) {
    if (item == nullptr) return generalErrInvalidParameter;
    *item = nullptr;
    IMessagingItemCollection *collection = nullptr;
    DErrorCode err = GetFolderCollection(serverID, &collection);
    if (err == kNoError) *item = collection;
    return err;
}

// --- The open collections ---

DErrorCode DMessageManager::FindOpenCollection(const char *serverID, IMessagingItemCollection **collection) {
    if (serverID == nullptr || collection == nullptr) return generalErrInvalidParameter;
    *collection = nullptr;
    for (IMessagingItemCollection *open : m_collections) {
        bool equal = false;
        if (open->MatchID(serverID, &equal) == kNoError && equal) {
            *collection = open;
            return kNoError;
        }
    }
    return generalErrItemNotFound;
}

DErrorCode DMessageManager::GetFolderCollection(const char *serverID, IMessagingItemCollection **collection) {
    if (serverID == nullptr || collection == nullptr) return generalErrInvalidParameter;
    if (FindOpenCollection(serverID, collection) == kNoError) return kNoError;
    DEASFolderInfoStore *store = GetFolderStore();
    if (store == nullptr) return generalErrNotInitialized;
    DEASFolderInfoRecord *folder = nullptr;
    DErrorCode err = store->FindFolderByServerID(serverID, &folder);
    if (err != kNoError) return err;
    IMessagingItemCollection *made = nullptr;
    err = AllocateOutlookItemCollection(folder, &made);
    if (err == kNoError && made == nullptr) err = generalErrItemNotFound;
    if (err == kNoError) err = made->SetID(serverID);
    if (err == kNoError) {
        try {
            m_collections.push_back(made);
        } catch (const std::bad_alloc &) {
            err = generalErrMemoryError;
        }
    }
    if (err != kNoError) {
        delete made;
        return err;
    }
    *collection = made;
    return kNoError;
}

DErrorCode DMessageManager::GetFolderCollectionOfType(uint32_t type, IMessagingItemCollection **collection) {
    if (collection == nullptr) return generalErrInvalidParameter;
    *collection = nullptr;
    DEASFolderInfoStore *store = GetFolderStore();
    if (store == nullptr) return generalErrNotInitialized;
    DEASFolderInfoRecord *folder = nullptr;
    DErrorCode err = store->FindFirstFolderOfType(type, &folder);
    if (err != kNoError) return err;
    const std::string serverID = folder->GetString(kFolderFieldServerID);
    return GetFolderCollection(serverID.c_str(), collection);
}

DErrorCode DMessageManager::ForgetCollection(IMessagingItemCollection *collection) {
    auto found = std::find(m_collections.begin(), m_collections.end(), collection);
    if (collection == nullptr || found == m_collections.end()) return generalErrItemNotFound;
    m_collections.erase(found);
    if (m_collection == collection) m_collection = nullptr;
    delete collection;
    return kNoError;
}

void DMessageManager::DeleteAllCollections() {
    std::vector<IMessagingItemCollection *> collections;
    collections.swap(m_collections);
    for (IMessagingItemCollection *collection : collections) {
        if (m_collection == collection) m_collection = nullptr;
        delete collection;
    }
}

// --- Job 3 over the mail folders ---

DErrorCode DMessageManager::DeleteExistingItems(DActiveTaskSignal *completion) {
    DErrorCode err = CheckIdle();
    if (err != kNoError) return err;
    m_folderStep = kFolderStepInbox;
    m_userFolderRecordID = kQvUnknown;
    m_userFolderIndex = kQvUnknown;
    return StartFolderPass(completion);
}

DErrorCode DMessageManager::StartFolderPass(DActiveTaskSignal *requester) {
    DErrorCode err = DOutlookManager::DeleteExistingItems(requester);
    if (err != kNoError) return err;
    IMessagingItemCollection *collection = nullptr;
    err = TakeNextFolder(&collection);
    uint32_t count = 0;
    if (err == kNoError && collection != nullptr) err = collection->GetCount(&count);
    if (err != kNoError) {
        Deactivate();
        ClearJob();
        return err;
    }
    m_collection = collection;
    m_position = count;
    m_progress->SetTotal(count);
    LogCount("DMessageManager::DeleteExistingItems() need to delete all messages :", count);
    return kNoError;
}

DErrorCode DMessageManager::TakeNextFolder(IMessagingItemCollection **collection) {
    *collection = nullptr;
    m_folderType = 0;
    m_folderServerID.clear();
    DErrorCode err = kNoError;
    switch (m_folderStep) {
        case kFolderStepInbox:
            LogText("DMessageManager::DeleteExistingItems() From INBOX\n");
            m_folderStep = kFolderStepOutbox;
            m_folderType = kFolderTypeInbox;
            err = GetInboxCollection(collection);
            break;
        case kFolderStepOutbox:
            LogText("DMessageManager::DeleteExistingItems() From OUTBOX\n");
            m_folderStep = kFolderStepDrafts;
            m_folderType = kFolderTypeOutbox;
            err = GetOutboxCollection(collection);
            break;
        case kFolderStepDrafts:
            LogText("DMessageManager::DeleteExistingItems() From DRAFTS\n");
            m_folderStep = kFolderStepSentItems;
            m_folderType = kFolderTypeDrafts;
            err = GetDraftsCollection(collection);
            break;
        case kFolderStepSentItems:
            LogText("DMessageManager::DeleteExistingItems() From SENT\n");
            m_folderStep = kFolderStepDeletedItems;
            m_folderType = kFolderTypeSentItems;
            err = GetSentItemsCollection(collection);
            break;
        case kFolderStepDeletedItems:
            LogText("DMessageManager::DeleteExistingItems() from TRASH\n");
            m_folderStep = kFolderStepSpecialDone;
            m_folderType = kFolderTypeDeletedItems;
            err = GetDeletedItemsCollection(collection);
            break;
        case kFolderStepSpecialDone:
            m_folderStep = kFolderStepUserFolders;
            [[fallthrough]];
        case kFolderStepUserFolders:
            err = TakeNextUserFolder(collection);
            if (err == generalErrItemNotFound) {
                LogText("DMessageManager::DeleteExistingItems() - FINISHED\n");
                m_folderStep = kFolderStepFinished;
            }
            break;
        default:
            // Finished: a pass over no folder, which ends the job.
            break;
    }
    // An opening that finds nothing leaves nothing to empty.
    if (err == generalErrItemNotFound) {
        *collection = nullptr;
        err = kNoError;
    }
    if (*collection == nullptr) m_folderType = 0;
    return err;
}

DErrorCode DMessageManager::TakeNextUserFolder(IMessagingItemCollection **collection) {
    DEASFolderInfoStore *store = GetFolderStore();
    if (store == nullptr) return generalErrNotInitialized;
    // After the folder taken last; when that folder is gone from the store,
    // the one that followed it has moved to its index.
    uint32_t start = 0;
    if (m_userFolderRecordID != kQvUnknown) {
        uint32_t index = 0;
        start = store->FindRecordIndex(m_userFolderRecordID, &index) == kNoError ? index + 1 : m_userFolderIndex;
    }
    for (uint32_t i = start;; ++i) {
        DEASFolderInfoRecord *folder = nullptr;
        DErrorCode err = store->GetFolderAt(i, &folder);
        if (err == generalErrIndexOutOfRange) return generalErrItemNotFound;
        if (err != kNoError) return err;
        if (folder->GetInt(kFolderFieldType) != kFolderTypeUserMail) continue;
        m_userFolderRecordID = folder->GetRecordID();
        m_userFolderIndex = i;
        const std::string serverID = folder->GetString(kFolderFieldServerID);
        // A folder without a store folder (or one deleted with its parent)
        // opens no collection and has nothing to empty.
        if (GetFolderCollection(serverID.c_str(), collection) == kNoError && *collection != nullptr) {
            m_folderType = kFolderTypeUserMail;
            m_folderServerID = serverID;
            return kNoError;
        }
        *collection = nullptr;
    }
}

DErrorCode DMessageManager::DeleteAllInCurrFolder() {
    if (m_folderType != kFolderTypeUserMail || m_collection == nullptr)
        return DOutlookManager::DeleteAllInCurrFolder();
    // The store folder goes as a whole, with its messages and subfolders:
    // nothing is left to delete one by one.
    m_position = 0;
    DErrorCode err = DeleteStoreFolder(m_folderServerID.c_str());
    if (err != kNoError) {
        LogCode("DMessageManager::DeleteAllInCurrFolder() failed to delete a folder (ERR) : ", err);
    } else {
        IMessagingItemCollection *collection = nullptr;
        if (FindOpenCollection(m_folderServerID.c_str(), &collection) == kNoError) ForgetCollection(collection);
    }
    // A failure leaves the folder and goes on: the next step ends the pass.
    m_collection = nullptr;
    return ActivateAndSignal();
}

DErrorCode DMessageManager::FinishTask(DErrorCode result, uint32_t job) {
    if (job == kJobDeleteExistingItems && result == kNoError && m_folderStep != kFolderStepFinished) {
        // The pass is over, not the job: the next folder follows, for the
        // same requester.
        DActiveTaskSignal *requester = m_requester;
        Deactivate();
        ClearJob();
        DErrorCode err = StartFolderPass(requester);
        if (err != kNoError && requester != nullptr) requester->Signal(err);
        return kNoError;
    }
    m_folderType = 0;
    m_folderServerID.clear();
    return DOutlookManager::FinishTask(result, job);
}

void DMessageManager::CancelTask() {
    DOutlookManager::CancelTask();
    m_folderType = 0;
    m_folderServerID.clear();
}
