// Sync request bodies (states 19-22): the local changes are gathered from the
// store of the command into the work list first, then the Sync tree is built
// with its options and change list and handed to the engine as a type-17
// record. The request states of meeting responses and MoveItems (26, 28) are
// dispatched from here too.
#include <new>
#include <string>
#include <vector>

#include "DActiveSyncDataManager.h"
#include "DOutlookManager.h"
#include "DWinMobOutlookMessageCollection.h"
#include "ICorvanePreferences.h"
#include "IOutlookMessage.h"

namespace {

// EngineNeedsSoap bits of each type's waiting local changes.
constexpr WORD kSoapEMail = 0x02;
constexpr WORD kSoapCalendar = 0x04;
constexpr WORD kSoapContacts = 0x08;
constexpr WORD kSoapTasks = 0x10;

constexpr uint32_t kDefaultWindowSize = 50;

}  // namespace

DErrorCode DActiveSyncDataManager::ItemServerID(IOutlookItem *item, std::string *id) {
    id->clear();
    // Ids of any length: the buffer grows until the id fits.
    for (uint32_t size = 128; size <= 0x10000; size *= 4) {
        std::vector<char> buffer(size);
        DErrorCode err = item->GetID(buffer.data(), size);
        // An item the server never saw has no id.
        if (err == generalErrNotInitialized) return kNoError;
        if (err == generalErrBufferTooSmall) continue;
        if (err != kNoError) return err;
        id->assign(buffer.data());
        return kNoError;
    }
    return generalErrBufferTooSmall;
}

// --- Which folder, and whether local changes go along ---

DErrorCode DActiveSyncDataManager::GetSyncFolder(uint32_t command, DEASFolderInfoRecord **folder) {
    *folder = nullptr;
    if (m_folders == nullptr) return generalErrNotInitialized;
    const char *idText = nullptr;
    const char *keyText = nullptr;
    DErrorCode err = kNoError;
    switch (command) {
        case kCmdFirstEMailSync:
        case kCmdEMailSync:
            err = m_folders->GetCurrentFolder(folder);
            idText = "EMAIL Folder ID : ";
            keyText = "EMAIL Sync Key : ";
            break;
        case kCmdFirstCalendarSync:
        case kCmdCalendarSync:
            err = m_folders->FindFirstFolderOfType(kFolderTypeCalendar, folder);
            idText = "CALENDAR Folder ID : ";
            keyText = "CALENDAR Sync Key : ";
            break;
        case kCmdFirstContactsSync:
        case kCmdContactsSync:
            err = m_folders->FindFirstFolderOfType(kFolderTypeContacts, folder);
            idText = "CONTACTS Folder ID : ";
            keyText = "CONTACTS Sync Key : ";
            break;
        case kCmdFirstTasksSync:
        case kCmdTasksSync:
            err = m_folders->FindFirstFolderOfType(kFolderTypeTasks, folder);
            idText = "TASKS Folder ID : ";
            keyText = "TASKS Sync Key : ";
            break;
        default:
            LogNumber("DActiveSyncDataManager::GetSyncTree_FolderElementContinue() - unexpected mCurrASCommand : ",
                      command);
            return activeSyncErrUnexpectedStep;
    }
    if (err != kNoError) return err;
    if (*folder == nullptr) return generalErrItemNotFound;
    LogLine(idText, (*folder)->GetString(kFolderFieldServerID));
    LogLine(keyText, (*folder)->GetString(kFolderFieldSyncKey));
    return kNoError;
}

bool DActiveSyncDataManager::SyncGathersChanges(uint32_t command, DEASFolderInfoRecord *folder) {
    const WORD soap = m_prefs != nullptr ? m_prefs->GetEngineNeedsSoap() : 0;
    switch (command) {
        case kCmdEMailSync:
            return (soap & kSoapEMail) != 0 || (folder != nullptr && folder->IsFlagSet(kMailFlagLocalChanges));
        case kCmdCalendarSync:
            return m_calChanges != 0 || (soap & kSoapCalendar) != 0;
        case kCmdContactsSync:
            return m_conChanges != 0 || (soap & kSoapContacts) != 0;
        case kCmdTasksSync:
            return m_tskChanges != 0 || (soap & kSoapTasks) != 0;
        default:
            // First Syncs carry no local changes.
            return false;
    }
}

DErrorCode DActiveSyncDataManager::CollectSyncCommandData() {
    if (m_folders == nullptr) return generalErrNotInitialized;
    if (mCurrASCommand == kCmdEMailSyncPartial) {
        // A partial e-mail run gathers the folder's changes for their Fetch requests.
        DEASFolderInfoRecord *current = nullptr;
        DErrorCode err = m_folders->GetCurrentFolder(&current);
        if (err != kNoError) return err;
        current->SetFlag(kMailFlagLocalChanges, true);
        mCurrASCommand = kCmdEMailSync;
    }
    uint32_t state = kDMIdle;
    switch (mCurrASCommand) {
        case kCmdFirstEMailSync:
        case kCmdEMailSync:
            state = kDMBuildEMailSync;
            break;
        case kCmdFirstCalendarSync:
        case kCmdCalendarSync:
            state = kDMBuildCalendarSync;
            break;
        case kCmdFirstContactsSync:
        case kCmdContactsSync:
            state = kDMBuildContactsSync;
            break;
        case kCmdFirstTasksSync:
        case kCmdTasksSync:
            state = kDMBuildTasksSync;
            break;
        default:
            return activeSyncErrUnexpectedStep;
    }
    DEASFolderInfoRecord *folder = nullptr;
    DErrorCode err = GetSyncFolder(mCurrASCommand, &folder);
    if (err != kNoError) return err;
    // A work list left by an earlier command is not this Sync's.
    m_workList.Free();
    if (!SyncGathersChanges(mCurrASCommand, folder)) return GoTo(state);

    IOutlookItemCollection *store = nullptr;
    if (state == kDMBuildEMailSync) {
        DWinMobOutlookMessageCollection *mail = nullptr;
        err = CurrentMailFolder(&mail);
        if (err != kNoError) return err;
        // A fresh scan, so that the list holds the folder's changes of now.
        bool changed = false;
        err = mail->HasChangedItems(&changed, nullptr);
        if (err != kNoError) return err;
        if (!changed) return GoTo(state);
        store = mail;
    } else {
        store = state == kDMBuildCalendarSync ? static_cast<IOutlookItemCollection *>(m_cal)
                : state == kDMBuildContactsSync ? static_cast<IOutlookItemCollection *>(m_con)
                                                : static_cast<IOutlookItemCollection *>(m_tsk);
        if (store == nullptr) return generalErrNotInitialized;
    }
    return GatherWorkList(state, store,
                          [this, store](DActiveTaskSignal *signal) { return store->GetChangedItems(&m_workList, signal); });
}

// --- The Sync tree ---

DErrorCode DActiveSyncDataManager::AddSyncOptions(WBXMLTreeNode *collection, uint32_t command) {
    WBXMLTreeNode *options = nullptr;
    DErrorCode err = AddElement(collection, "0x17_0x00", &options);
    if (err != kNoError) return err;
    switch (command) {
        case kCmdEMailSync:
            err = AddNumberElement(options, "0x18_0x00", m_prefs->GetSyncEMailDateRange());
            if (err == kNoError) err = AddNumberElement(options, "0x19_0x00", m_prefs->GetSyncEMailDataSize());
            break;
        case kCmdCalendarSync:
            err = AddNumberElement(options, "0x18_0x00", m_prefs->GetSyncCalDateRange());
            if (err == kNoError) err = AddTextElement(options, "0x19_0x00", "4");
            if (err == kNoError) err = AddTextElement(options, "0x1A_0x00", "4");
            break;
        case kCmdContactsSync:
            // Contacts are never filtered by date.
            err = AddTextElement(options, "0x19_0x00", "4");
            if (err == kNoError) err = AddTextElement(options, "0x1A_0x00", "4");
            break;
        case kCmdTasksSync:
            err = AddNumberElement(options, "0x18_0x00", m_prefs->GetSyncTasksDateRange());
            if (err == kNoError) err = AddTextElement(options, "0x19_0x00", "4");
            if (err == kNoError) err = AddTextElement(options, "0x1A_0x00", "4");
            break;
        default:
            return activeSyncErrUnexpectedStep;
    }
    if (err == kNoError) err = AddTextElement(options, "0x1B_0x00", "1");
    return err;
}

DErrorCode DActiveSyncDataManager::GetSyncTree_FolderElement(WBXMLTree **tree, DASDS_SyncDataResponse *record) {
    *tree = nullptr;
    if (m_prefs == nullptr) return generalErrNotInitialized;
    const uint32_t command = mCurrASCommand;
    DEASFolderInfoRecord *folder = nullptr;
    DErrorCode err = GetSyncFolder(command, &folder);
    if (err != kNoError) return err;
    const char *className = nullptr;
    switch (command) {
        case kCmdFirstEMailSync:
        case kCmdEMailSync:
            className = "Email";
            break;
        case kCmdFirstCalendarSync:
        case kCmdCalendarSync:
            className = "Calendar";
            break;
        case kCmdFirstContactsSync:
        case kCmdContactsSync:
            className = "Contacts";
            break;
        default:
            className = "Tasks";
            break;
    }
    WBXMLTree *made = nullptr;
    WBXMLTreeNode *root = nullptr;
    err = NewRequestTree("0x05_0x00", &made, &root);
    if (err != kNoError) return err;
    WBXMLTreeNode *collections = nullptr, *collection = nullptr;
    err = AddElement(root, "0x1C_0x00", &collections);
    if (err == kNoError) err = AddElement(collections, "0x0F_0x00", &collection);
    if (err == kNoError) err = AddTextElement(collection, "0x10_0x00", className);
    if (err == kNoError) err = AddTextElement(collection, "0x0B_0x00", folder->GetString(kFolderFieldSyncKey));
    if (err == kNoError) err = AddTextElement(collection, "0x12_0x00", folder->GetString(kFolderFieldServerID));
    if (err == kNoError && command == kCmdFirstContactsSync) err = AddContactsSupported(collection);
    const bool regular = command == kCmdEMailSync || command == kCmdCalendarSync || command == kCmdContactsSync ||
                         command == kCmdTasksSync;
    if (err == kNoError && regular) {
        uint32_t window = m_prefs->GetWindowSize();
        if (window == 0) window = kDefaultWindowSize;
        if (window > kMaxWindowSize) window = kMaxWindowSize;
        err = AddElement(collection, "0x1E_0x00");
        if (err == kNoError) err = AddElement(collection, "0x13_0x00");
        if (err == kNoError) err = AddNumberElement(collection, "0x15_0x00", window);
        if (err == kNoError) err = AddSyncOptions(collection, command);
        if (err == kNoError && m_workList.item != nullptr) {
            if (command == kCmdEMailSync) {
                err = GetSyncTree_EMailChangeList(collection, record);
            } else {
                // Server Adds are looked up from now on: the device holds items of its own.
                if (command == kCmdCalendarSync) m_firstCalendar = 0;
                if (command == kCmdContactsSync) m_firstContacts = 0;
                if (command == kCmdTasksSync) m_firstTasks = 0;
                err = GetSyncTree_ContCalTaskChangeList(collection, record);
            }
        }
    }
    if (err != kNoError) {
        WbxmlDestroyTree(made);
        return err;
    }
    *tree = made;
    return kNoError;
}

DErrorCode DActiveSyncDataManager::GetSyncTree_EMailChangeList(WBXMLTreeNode *collection,
                                                              DASDS_SyncDataResponse *record) {
    WBXMLTreeNode *commands = nullptr;
    DErrorCode err = CreateElementNode(&commands, "0x16_0x00");
    if (err != kNoError) return err;
    uint32_t written = 0;
    bool full = false;
    // Pass 1: read states and deletes.
    for (DListNode<IOutlookItem> *node = &m_workList; node != nullptr && err == kNoError; node = node->next) {
        auto *message = dynamic_cast<IOutlookMessage *>(node->item);
        if (message == nullptr) continue;
        bool readChanged = false, deleted = false;
        std::string id;
        err = message->IsReadChanged(&readChanged);
        if (err == kNoError) err = message->IsDeleted(&deleted);
        if (err == kNoError) err = ItemServerID(message, &id);
        if (err != kNoError) break;
        const bool element = readChanged || (deleted && !id.empty());
        if (element && written == kMaxChangesPerRequest) {
            // This one, and what follows, go in the next request.
            full = true;
            break;
        }
        if (readChanged) {
            bool read = false;
            err = message->IsRead(&read);
            WBXMLTreeNode *change = nullptr, *data = nullptr;
            if (err == kNoError) err = AddElement(commands, "0x08_0x00", &change);
            if (err == kNoError) err = AddTextElement(change, "0x0D_0x00", id.c_str());
            if (err == kNoError) err = AddElement(change, "0x1D_0x00", &data);
            if (err == kNoError) err = AddTextElement(data, "0x15_0x02", read ? "1" : "0");
            if (err != kNoError) break;
            ++written;
            LogText("Send READ\n");
            if (deleted) {
                // The Delete follows in a later request. The message is not
                // marked sent, or the purge after this answer would remove
                // it before its Delete reached the server; its read change
                // is settled now, so that the next request carries the Delete.
                record->SetMore(1);
                err = message->ResetReadStatus();
            } else {
                err = message->SetSent(true);
            }
        } else if (deleted) {
            // A message the server never knew needs no Delete.
            if (!id.empty()) {
                WBXMLTreeNode *remove = nullptr;
                err = AddElement(commands, "0x09_0x00", &remove);
                if (err == kNoError) err = AddTextElement(remove, "0x0D_0x00", id.c_str());
                if (err != kNoError) break;
                ++written;
            }
            LogText("Send DELETED\n");
            err = message->SetSent(true);
        }
        if (err == kNoError) err = message->Commit();
    }
    if (err != kNoError) {
        LogCode("DActiveSyncDataManager::GetSyncTree_EMailChangeList() - doing READ/DELETED requests ERROR: ", err);
        WbxmlDestroyNode(commands);
        return err;
    }
    // Pass 2: the rest of truncated messages.
    for (DListNode<IOutlookItem> *node = &m_workList; node != nullptr && err == kNoError; node = node->next) {
        auto *message = dynamic_cast<IOutlookMessage *>(node->item);
        if (message == nullptr) continue;
        bool deleted = false, remainder = false;
        err = message->IsDeleted(&deleted);
        if (err == kNoError) err = message->IsRemainderRequested(&remainder);
        if (err != kNoError) break;
        if (deleted || !remainder) continue;
        std::string id;
        err = ItemServerID(message, &id);
        if (err != kNoError) break;
        if (id.empty()) continue;
        if (full || written == kMaxChangesPerRequest) {
            full = true;
            break;
        }
        WBXMLTreeNode *fetch = nullptr;
        err = AddElement(commands, "0x0A_0x00", &fetch);
        if (err == kNoError) err = AddTextElement(fetch, "0x0D_0x00", id.c_str());
        if (err != kNoError) break;
        ++written;
        LogText("Send REMAINDER\n");
        err = message->SetSent(true);
        if (err == kNoError) err = message->Commit();
    }
    if (err != kNoError) {
        LogCode("DActiveSyncDataManager::GetSyncTree_EMailChangeList() - doing REMAINDER requests ERROR: ", err);
        WbxmlDestroyNode(commands);
        return err;
    }
    if (full) record->SetMore(1);
    // A Commands element without a change stays out of the request.
    if (written == 0) {
        WbxmlDestroyNode(commands);
        return kNoError;
    }
    err = AppendChildNode(collection, nullptr, commands);
    if (err != kNoError) WbxmlDestroyNode(commands);
    return err;
}

DErrorCode DActiveSyncDataManager::BuildAndDeliverSync() {
    auto *record = new (std::nothrow) DASDS_SyncDataResponse;
    if (record == nullptr) return generalErrMemoryError;
    WBXMLTree *tree = nullptr;
    DErrorCode err = GetSyncTree_FolderElement(&tree, record);
    if (err != kNoError) {
        delete record;
        return err;
    }
    return DeliverRequest(tree, record);
}

// --- The request states ---

DErrorCode DActiveSyncDataManager::RunRequestState(uint32_t state, DErrorCode result) {
    switch (state) {
        case kDMBuildCalendarSync:
        case kDMBuildContactsSync:
        case kDMBuildTasksSync:
        case kDMBuildEMailSync: {
            DErrorCode err = result != kNoError ? result : BuildAndDeliverSync();
            // The gathered items are done with, whatever became of the request.
            m_workList.Free();
            m_currStore = nullptr;
            return err;
        }
        case kDMBuildMeetingResponse:
            if (result != kNoError) {
                m_workList.Free();
                return result;
            }
            return BuildMeetingResponse();
        case kDMBuildMoveItems:
            if (result != kNoError) {
                m_workList.Free();
                return result;
            }
            return BuildMoveItems();
        default:
            return activeSyncErrUnexpectedStep;
    }
}
