// FolderSync answers: the server's folder changes into the folder-info store
// and, for mail folders, the message store (states 1 to 4).
//
// The answer is checked whole first: a refused status, a missing Changes or
// a change without its required elements applies nothing. Changes that would
// corrupt the hierarchy (a folder its own ancestor, a ServerId added twice,
// an id the stores cannot hold) are refused one by one and logged; the rest
// go on. The new FolderSync key is stored only once every change is in, so a
// chain that fails half-way is asked for the same changes again.
#include <new>
#include <string>
#include <unordered_set>

#include "DASDP_PlainResponses.h"
#include "DActiveSyncDataManager.h"
#include "DWinMobMessageManager.h"
#include "ICorvanePreferences.h"

namespace {

// FolderHierarchy (page 7).
const char *const kDisplayName = "0x07_0x07";
const char *const kServerId = "0x08_0x07";
const char *const kParentId = "0x09_0x07";
const char *const kType = "0x0A_0x07";
const char *const kStatus = "0x0C_0x07";
const char *const kChanges = "0x0E_0x07";
const char *const kAdd = "0x0F_0x07";
const char *const kDelete = "0x10_0x07";
const char *const kUpdate = "0x11_0x07";
const char *const kSyncKey = "0x12_0x07";
const char *const kCount = "0x17_0x07";

const char *const kAddRoutine = "DActiveSyncDataManager::ProcessAddFolderCommandData() - ";
const char *const kUpdateRoutine = "DActiveSyncDataManager::ProcessUpdateFolderCommandData() - ";
const char *const kDeleteRoutine = "DActiveSyncDataManager::ProcessDeleteFolderCommandData() - ";

// Pending-parent flags: of a new folder, and of a moved one.
constexpr uint32_t kFolderFlagPendingAdd = 0x200;
constexpr uint32_t kFolderFlagPendingUpdate = 0x100;

std::string NameOf(WBXMLTreeNode *node) {
    const char *name = WbxmlElementName(node);
    return name != nullptr ? std::string(name) : std::string();
}

bool IsRoot(const std::string &parent) { return parent.empty() || parent == "0"; }

// The default folders sync unless the user turns them off.
bool SyncsByDefault(uint32_t type) {
    return type == kFolderTypeInbox || (type >= kFolderTypeTasks && type <= kFolderTypeJournal);
}

}  // namespace

DErrorCode DActiveSyncDataManager::ProcessFolderSyncAnswer() {
    WBXMLTreeNode *root = m_tree->root;
    if (m_folders == nullptr) return generalErrNotInitialized;
    auto *record = new (std::nothrow) DASDP_FolderSyncResponse;
    if (record == nullptr) return generalErrMemoryError;
    m_response = record;
    m_foldersChanged = 0;
    m_commandList = nullptr;
    m_currCommand = nullptr;
    uint32_t status = 1;
    if (CheckStatus(Child(root, kStatus), 85, &status) != kNoError) {
        // A status that is no number (or 0) would read as success.
        if (status == 0) return ASDataManagerErrBadStatus;
        // Nothing is applied; the record takes the status to the engine,
        // which fetches the hierarchy again from key 0 after status 9.
        record->SetStatus(status);
        DErrorCode err = GoTo(kDMFolderSyncDone);
        return err != kNoError ? err : activeSyncErrWaitForCallback;
    }
    WBXMLTreeNode *changes = Child(root, kChanges);
    if (changes == nullptr) {
        LogText("DActiveSyncDataManager::ProcessFolderSyncAnswer() - no Changes\n");
        return ASDataManagerErrMissingData;
    }
    const std::string key = TextOf(Child(root, kSyncKey));
    if (key == "0" || key.find('\0') != std::string::npos) {
        LogLine("DActiveSyncDataManager::ProcessFolderSyncAnswer() - unusable SyncKey : ", key.c_str());
        return ASDataManagerErrMissingData;
    }
    DErrorCode err = ValidateFolderChanges(changes);
    if (err != kNoError) return err;
    m_commandList = changes;
    err = GoTo(kDMFolderSyncNext);
    return err != kNoError ? err : activeSyncErrWaitForCallback;
}

DErrorCode DActiveSyncDataManager::ValidateFolderChanges(WBXMLTreeNode *changes) {
    std::unordered_set<std::string> added;
    try {
        for (WBXMLTreeNode *node = changes->children; node != nullptr;) {
            WBXMLTreeNode *next = node->next;
            if (node->type != WBXML_TREE_ELEMENT_NODE) {
                node = next;
                continue;
            }
            const std::string name = NameOf(node);
            bool complete = true;
            if (name == kAdd || name == kUpdate) {
                complete = Child(node, kServerId) != nullptr && Child(node, kDisplayName) != nullptr &&
                           Child(node, kParentId) != nullptr && Child(node, kType) != nullptr;
            } else if (name == kDelete) {
                complete = Child(node, kServerId) != nullptr;
            } else if (name != kCount) {
                LogLine("DActiveSyncDataManager::ProcessFolderSyncAnswer() - unknown folder change : ", name.c_str());
                return ASDataManagerErrBadStatus;
            }
            if (!complete) {
                LogLine("DActiveSyncDataManager::ProcessFolderSyncAnswer() - incomplete folder change : ",
                        name.c_str());
                return ASDataManagerErrMissingData;
            }
            if (name == kAdd && !added.insert(TextOf(Child(node, kServerId))).second) {
                // The first Add of the id stands; a second would silently rewrite it.
                LogLine("DActiveSyncDataManager::ProcessFolderSyncAnswer() - ServerId added twice, refused : ",
                        TextOf(Child(node, kServerId)).c_str());
                if (node->prev != nullptr)
                    node->prev->next = next;
                else
                    changes->children = next;
                if (next != nullptr) next->prev = node->prev;
                node->next = node->prev = nullptr;
                node->parent = nullptr;
                WbxmlDestroyNode(node);
            }
            node = next;
        }
    } catch (const std::bad_alloc &) {
        return generalErrMemoryError;
    }
    return kNoError;
}

DErrorCode DActiveSyncDataManager::RunFolderSyncState(uint32_t state, DErrorCode result) {
    if (result != kNoError) return result;
    switch (state) {
        case kDMFolderSyncNext:
            return ProcessFolderSyncCommandNext();
        case kDMFolderCommandDone: {
            DErrorCode err = FinishFolderCommand();
            return err != kNoError ? err : ProcessFolderSyncCommandNext();
        }
        case kDMFolderSyncReload:
            return ReloadMailFolders();
        default:
            return ProcessFolderSyncDone();
    }
}

DErrorCode DActiveSyncDataManager::ProcessFolderSyncCommandNext() {
    if (m_commandList == nullptr) return ASDataManagerErrMissingData;
    for (;;) {
        m_currCommand = m_currCommand == nullptr ? m_commandList->children : m_currCommand->next;
        if (m_currCommand == nullptr) return GoTo(kDMFolderSyncReload);
        if (m_currCommand->type != WBXML_TREE_ELEMENT_NODE) continue;
        const std::string name = NameOf(m_currCommand);
        m_folderTag.clear();
        bool waits = false;
        DErrorCode err = kNoError;
        if (name == kCount) {
            uint32_t count = 0;
            ParseNumber(TextOf(m_currCommand), &count);
            LogNumber("DActiveSyncManager::ProcessFolderSyncCommandNext() - folder change count = ", count);
        } else if (name == kAdd) {
            err = ProcessAddFolderCommandData(m_currCommand, &waits);
        } else if (name == kDelete) {
            err = ProcessDeleteFolderCommandData(m_currCommand, &waits);
        } else if (name == kUpdate) {
            err = ProcessUpdateFolderCommandData(m_currCommand, &waits);
        }
        if (err != kNoError || waits) return err;
    }
}

// --- The folder tree ---

std::string DActiveSyncDataManager::FolderParentOf(DEASFolderInfoRecord *folder) {
    if (folder->HasPendingParent()) return folder->GetString(kFolderFieldPendingParent);
    const char *parent = "0";
    folder->GetParentServerID(m_folders, &parent);
    return parent;
}

bool DActiveSyncDataManager::WouldBeOwnAncestor(const std::string &id, const std::string &parent) {
    uint32_t count = 0;
    m_folders->GetRecordCount(&count);
    std::string at = parent;
    // Each step climbs one folder: more steps than folders means the links
    // already loop, and no folder may join such a loop either.
    for (uint32_t steps = 0; !IsRoot(at); ++steps) {
        if (at == id || steps > count) return true;
        DEASFolderInfoRecord *folder = nullptr;
        if (m_folders->FindFolderByServerID(at.c_str(), &folder) != kNoError) return false;
        at = FolderParentOf(folder);
    }
    return false;
}

DErrorCode DActiveSyncDataManager::SetFolderParent(DEASFolderInfoRecord *folder, const std::string &parent,
                                                   uint32_t pendingFlag) {
    DEASFolderInfoRecord *known = nullptr;
    if (!IsRoot(parent) && m_folders->FindFolderByServerID(parent.c_str(), &known) != kNoError) {
        DErrorCode err = folder->SetInt(kFolderFieldParentRecordID, kQvUnknown);
        if (err == kNoError) err = folder->SetString(kFolderFieldPendingParent, parent.c_str());
        if (err == kNoError) err = folder->SetFlag(pendingFlag, true);
        return err;
    }
    DErrorCode err = folder->SetParentServerID(m_folders, IsRoot(parent) ? "0" : parent.c_str());
    if (err == kNoError && (folder->HasPendingParent() || folder->IsFlagSet(kFolderFlagPendingParentMask)))
        err = folder->ClearPendingParent();
    return err;
}

// --- Add, Delete, Update ---

DErrorCode DActiveSyncDataManager::ProcessAddFolderCommandData(WBXMLTreeNode *node, bool *waits) {
    *waits = false;
    const std::string id = TextOf(Child(node, kServerId));
    const std::string name = TextOf(Child(node, kDisplayName));
    const std::string parent = TextOf(Child(node, kParentId));
    uint32_t type = 0;
    const char *refusal = nullptr;
    if (!IsUsableServerID(id) || (!IsRoot(parent) && !IsUsableServerID(parent)))
        refusal = "unusable folder id, refused : ";
    else if (!ParseNumber(TextOf(Child(node, kType)), &type))
        refusal = "unusable folder type, refused : ";
    else if (WouldBeOwnAncestor(id, parent))
        refusal = "folder would be its own ancestor, refused : ";
    if (refusal != nullptr) {
        LogLine((std::string(kAddRoutine) + refusal).c_str(), id.substr(0, 127).c_str());
        return kNoError;
    }
    DEASFolderInfoRecord *folder = nullptr;
    DErrorCode err = m_folders->FindFolderByServerID(id.c_str(), &folder);
    if (err == generalErrItemNotFound)
        err = m_folders->AddFolder(&folder, type, id.c_str(), name.c_str(), nullptr, nullptr, 0, kQvUnknown, 0);
    if (err == kNoError) err = folder->SetInt(kFolderFieldType, type);
    if (err == kNoError) err = folder->SetString(kFolderFieldDisplayName, name.c_str());
    if (err == kNoError) err = SetFolderParent(folder, parent, kFolderFlagPendingAdd);
    if (err == kNoError && SyncsByDefault(type)) err = folder->SetFlag(kFolderFlagSync, true);
    if (err != kNoError) return err;
    LogText("DActiveSyncDataManager::ProcessAddFolderCommandData() - Found Folder\n");
    LogLine("Name : ", name.c_str());
    LogNumber("Type : ", type);
    LogLine("ParentID : ", parent.c_str());
    LogLine("FolderID : ", id.c_str());
    m_folderTag = kAdd;
    m_folderServerID = id;
    if (!IsMailFolderType(type)) return kNoError;
    err = OpenMessageStore();
    if (err != kNoError) return err;
    m_foldersChanged = 1;
    err = WaitIn(kDMFolderCommandDone);
    if (err != kNoError) return err;
    *waits = true;
    return StoreOpStarted(m_msg->AddMailFolder(id.c_str(), GetSignal()));
}

DErrorCode DActiveSyncDataManager::ProcessDeleteFolderCommandData(WBXMLTreeNode *node, bool *waits) {
    *waits = false;
    const std::string id = TextOf(Child(node, kServerId));
    DEASFolderInfoRecord *folder = nullptr;
    if (!IsUsableServerID(id) || m_folders->FindFolderByServerID(id.c_str(), &folder) != kNoError) {
        // A folder the device never had is gone already.
        LogLine((std::string(kDeleteRoutine) + "unknown folder : ").c_str(), id.substr(0, 127).c_str());
        return kNoError;
    }
    LogText("DActiveSyncDataManager::ProcessDeleteFolderCommandData() - Found Folder\n");
    LogLine("FolderID : ", id.c_str());
    m_folderTag = kDelete;
    m_folderServerID = id;
    if (folder->GetInt(kFolderFieldType) != kFolderTypeUserMail) return FinishFolderCommand();
    DErrorCode err = OpenMessageStore();
    if (err != kNoError) return err;
    m_foldersChanged = 1;
    err = WaitIn(kDMFolderCommandDone);
    if (err != kNoError) return err;
    *waits = true;
    return StoreOpStarted(m_msg->DeleteMailFolder(id.c_str(), GetSignal()));
}

DErrorCode DActiveSyncDataManager::ProcessUpdateFolderCommandData(WBXMLTreeNode *node, bool *waits) {
    *waits = false;
    const std::string id = TextOf(Child(node, kServerId));
    const std::string name = TextOf(Child(node, kDisplayName));
    const std::string parent = TextOf(Child(node, kParentId));
    uint32_t type = 0;
    DEASFolderInfoRecord *folder = nullptr;
    const char *refusal = nullptr;
    if (!IsUsableServerID(id) || (!IsRoot(parent) && !IsUsableServerID(parent)))
        refusal = "unusable folder id, refused : ";
    else if (m_folders->FindFolderByServerID(id.c_str(), &folder) != kNoError)
        refusal = "unknown folder, refused : ";
    else if (WouldBeOwnAncestor(id, parent))
        refusal = "folder would be its own ancestor, refused : ";
    if (refusal != nullptr) {
        LogLine((std::string(kUpdateRoutine) + refusal).c_str(), id.substr(0, 127).c_str());
        return kNoError;
    }
    ParseNumber(TextOf(Child(node, kType)), &type);
    LogText("DActiveSyncDataManager::ProcessUpdateFolderCommandData() - Found Folder\n");
    LogLine("FolderID : ", id.c_str());
    LogNumber("Type : ", type);
    LogLine("New Name : ", name.c_str());
    LogLine("New ParentID : ", parent.c_str());
    m_folderTag = kUpdate;
    m_folderServerID = id;
    m_folderName = name;
    m_folderParent = parent;
    const std::string oldParent = FolderParentOf(folder);
    const bool nameChanged = name != folder->GetDisplayName();
    const bool parentChanged = (IsRoot(parent) ? std::string("0") : parent) != (IsRoot(oldParent) ? "0" : oldParent);
    if (folder->GetInt(kFolderFieldType) != kFolderTypeUserMail || (!nameChanged && !parentChanged))
        return FinishFolderCommand();
    DErrorCode err = OpenMessageStore();
    if (err != kNoError) return err;
    m_foldersChanged = 1;
    err = WaitIn(kDMFolderCommandDone);
    if (err != kNoError) return err;
    *waits = true;
    return StoreOpStarted(m_msg->UpdateMailFolder(id.c_str(), parentChanged ? parent.c_str() : nullptr,
                                                  nameChanged ? name.c_str() : nullptr, GetSignal()));
}

DErrorCode DActiveSyncDataManager::FinishFolderCommand() {
    if (m_folderTag.empty()) return ASDataManagerErrBadStatus;
    DEASFolderInfoRecord *folder = nullptr;
    DErrorCode err = m_folders->FindFolderByServerID(m_folderServerID.c_str(), &folder);
    if (m_folderTag == kAdd) {
        // The store bound the new folder; nothing more to write.
        err = kNoError;
    } else if (m_folderTag == kDelete) {
        // Gone already is done.
        if (err == kNoError) err = m_folders->RemoveFolderTree(folder);
        if (err == generalErrItemNotFound) err = kNoError;
    } else if (m_folderTag == kUpdate) {
        if (err == kNoError) err = folder->SetString(kFolderFieldDisplayName, m_folderName.c_str());
        if (err == kNoError && m_folderParent != FolderParentOf(folder))
            err = SetFolderParent(folder, m_folderParent, kFolderFlagPendingUpdate);
    } else {
        err = ASDataManagerErrBadStatus;
    }
    m_folderTag.clear();
    return err;
}

// --- The end of the answer ---

DErrorCode DActiveSyncDataManager::ReloadMailFolders() {
    // Every change is in: the new key may be stored now.
    const std::string key = m_tree != nullptr ? TextOf(Child(m_tree->root, kSyncKey)) : std::string();
    if (!key.empty()) {
        DErrorCode err = m_folders->SetFolderSyncKey(key.c_str());
        if (err != kNoError) return err;
    }
    const bool reload = m_foldersChanged != 0 && m_msg != nullptr;
    m_foldersChanged = 0;
    if (!reload) return GoTo(kDMFolderSyncDone);
    DErrorCode err = WaitIn(kDMFolderSyncDone);
    if (err != kNoError) return err;
    return StoreOpStarted(m_msg->ReconcileMailFolders(GetSignal()));
}

DErrorCode DActiveSyncDataManager::ProcessFolderSyncDone() {
    auto *record = static_cast<DASDP_FolderSyncResponse *>(m_response);
    const bool accepted = record == nullptr || record->GetStatus() == 1;
    if (accepted) {
        LogText("DActiveSyncDataManager::RunTask() - finished folder sync command");
        LogText("\n");
    }
    ICorvanePreferences *prefs = Prefs();
    if (accepted && mCurrASCommand == kCmdFirstFolderSync && prefs != nullptr) {
        const struct {
            bool on;
            uint32_t type;
            const char *text;
            DErrorCode code;
        } checks[] = {
            {prefs->GetUserSyncEMail() != 0, kFolderTypeInbox,
             "DActiveSyncDataManager::ProcessFolderSyncDone() - failed to find inbox\n", ASDataManagerErrInboxNotFound},
            {prefs->GetUserSyncCalendar() != 0, kFolderTypeCalendar,
             "DActiveSyncDataManager::ProcessFolderSyncDone() - failed to find calendar\n",
             ASDataManagerErrCalendarNotFound},
            {prefs->GetUserSyncContacts() != 0, kFolderTypeContacts,
             "DActiveSyncDataManager::ProcessFolderSyncDone() - failed to find contacts\n",
             ASDataManagerErrContactsNotFound},
            {prefs->GetUserSyncTasks() != 0, kFolderTypeTasks,
             "DActiveSyncDataManager::ProcessFolderSyncDone() - failed to find tasks\n",
             ASDataManagerErrContactsNotFound},
        };
        for (const auto &check : checks) {
            DEASFolderInfoRecord *folder = nullptr;
            if (check.on && m_folders->FindFirstFolderOfType(check.type, &folder) != kNoError) {
                LogText(check.text);
                return check.code;
            }
        }
    }
    ReleaseParseState();
    return Deliver();
}
