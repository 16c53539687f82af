#include "DEASFolderInfoStore.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "DEASFolderInfoStoreHeader.h"

namespace {

bool IsMailType(uint32_t type) { return type == kFolderTypeInbox || type == kFolderTypeUserMail; }

// The default folders that always sync after a reset.
bool SyncsByDefault(uint32_t type) {
    return type == kFolderTypeInbox || (type >= kFolderTypeTasks && type <= kFolderTypeJournal);
}

}  // namespace

DSimpleDBRecord *DEASFolderInfoStore::NewRecord(uint32_t recordID) {
    return new (std::nothrow) DEASFolderInfoRecord(this, recordID);
}

DSimpleDBVFileHeader *DEASFolderInfoStore::NewHeader() { return new (std::nothrow) DEASFolderInfoStoreHeader(this); }

DErrorCode DEASFolderInfoStore::GetFolderSyncKey(const char **key) {
    if (key == nullptr) return generalErrInvalidParameter;
    *key = "0";
    if (!m_open) return dbIsNotReadyError;
    *key = static_cast<DEASFolderInfoStoreHeader *>(m_header)->GetFolderSyncKey();
    return kNoError;
}

DErrorCode DEASFolderInfoStore::SetFolderSyncKey(const char *key) {
    if (!m_open) return dbIsNotReadyError;
    return static_cast<DEASFolderInfoStoreHeader *>(m_header)->SetFolderSyncKey(key);
}

DErrorCode DEASFolderInfoStore::GetFolderAt(uint32_t index, DEASFolderInfoRecord **out) {
    if (out == nullptr) return generalErrInvalidParameter;
    DSimpleDBRecord *record = nullptr;
    DErrorCode err = GetRecordAt(index, &record);
    *out = static_cast<DEASFolderInfoRecord *>(record);
    return err;
}

DErrorCode DEASFolderInfoStore::IndexOf(DEASFolderInfoRecord *folder, uint32_t *index) {
    return FindRecordIndex(folder->GetRecordID(), index);
}

DErrorCode DEASFolderInfoStore::AddFolder(DEASFolderInfoRecord **out, uint32_t type, const char *serverID,
                                          const char *displayName, const char *syncKey, const void *data,
                                          uint32_t dataLength, uint32_t parentRecordID, uint32_t flags) {
    if (out != nullptr) *out = nullptr;
    DSimpleDBRecord *record = nullptr;
    DErrorCode err = CreateRecord(&record);
    if (err != kNoError) return err;
    DEASFolderInfoRecord *folder = static_cast<DEASFolderInfoRecord *>(record);
    err = folder->SetInt(kFolderFieldType, type);
    if (err == kNoError) err = folder->SetString(kFolderFieldServerID, serverID);
    if (err == kNoError) err = folder->SetInt(kFolderFieldParentRecordID, parentRecordID);
    if (err == kNoError) err = folder->SetString(kFolderFieldDisplayName, displayName != nullptr ? displayName : "");
    if (err == kNoError) err = folder->SetString(kFolderFieldSyncKey, syncKey != nullptr ? syncKey : "0");
    if (err == kNoError && data != nullptr && dataLength != 0) err = folder->SetData(data, dataLength);
    if (err == kNoError) err = folder->SetInt(kFolderFieldFlags, flags);
    if (err != kNoError) {
        RemoveRecordByID(folder->GetRecordID());
        return err;
    }
    if (out != nullptr) *out = folder;
    return kNoError;
}

DErrorCode DEASFolderInfoStore::FindFolderByServerID(const char *serverID, DEASFolderInfoRecord **out) {
    if (out == nullptr || serverID == nullptr) return generalErrInvalidParameter;
    *out = nullptr;
    if (!m_open) return dbIsNotReadyError;
    DEASFolderInfoRecord *folder;
    for (uint32_t i = 0;; ++i) {
        DErrorCode err = GetFolderAt(i, &folder);
        if (err == generalErrIndexOutOfRange) return generalErrItemNotFound;
        if (err != kNoError) return err;
        if (strcmp(folder->GetString(kFolderFieldServerID), serverID) == 0) {
            *out = folder;
            return kNoError;
        }
    }
}

DErrorCode DEASFolderInfoStore::FindFolderByData(const void *bytes, uint32_t length, DEASFolderInfoRecord **out) {
    if (out == nullptr || (bytes == nullptr && length != 0)) return generalErrInvalidParameter;
    *out = nullptr;
    if (!m_open) return dbIsNotReadyError;
    DEASFolderInfoRecord *folder;
    for (uint32_t i = 0;; ++i) {
        DErrorCode err = GetFolderAt(i, &folder);
        if (err == generalErrIndexOutOfRange) return generalErrItemNotFound;
        if (err != kNoError) return err;
        if (folder->GetData() != nullptr && folder->GetDataSize() == length &&
            (length == 0 || memcmp(folder->GetData(), bytes, length) == 0)) {
            *out = folder;
            return kNoError;
        }
    }
}

DErrorCode DEASFolderInfoStore::FindFolderIndexByType(uint32_t type, uint32_t *index) {
    if (index == nullptr) return generalErrInvalidParameter;
    if (!m_open) return dbIsNotReadyError;
    DEASFolderInfoRecord *folder;
    for (uint32_t i = *index == kQvUnknown ? 0 : *index + 1;; ++i) {
        DErrorCode err = GetFolderAt(i, &folder);
        if (err == generalErrIndexOutOfRange) break;
        if (err != kNoError) return err;
        if (folder->GetInt(kFolderFieldType) == type) {
            *index = i;
            return kNoError;
        }
    }
    *index = kQvUnknown;
    return generalErrItemNotFound;
}

DErrorCode DEASFolderInfoStore::FindNextFolderOfType(uint32_t type, DEASFolderInfoRecord **folder) {
    if (folder == nullptr) return generalErrInvalidParameter;
    uint32_t index = kQvUnknown;
    DErrorCode err = *folder != nullptr ? IndexOf(*folder, &index) : kNoError;
    *folder = nullptr;
    if (err == kNoError) err = FindFolderIndexByType(type, &index);
    if (err == kNoError) err = GetFolderAt(index, folder);
    return err;
}

DErrorCode DEASFolderInfoStore::FindFirstFolderOfType(uint32_t type, DEASFolderInfoRecord **out) {
    if (out == nullptr) return generalErrInvalidParameter;
    *out = nullptr;
    return FindNextFolderOfType(type, out);
}

bool DEASFolderInfoStore::IsChildOf(DEASFolderInfoRecord *folder, DEASFolderInfoRecord *parent) {
    // A reserved id is a link's "none"; a record that carries one (from an
    // older file) is nobody's parent by id.
    if (!DSimpleDBHeader::IsReservedRecordID(parent->GetRecordID()) &&
        folder->FindField(kFolderFieldParentRecordID) != nullptr &&
        folder->GetInt(kFolderFieldParentRecordID) == parent->GetRecordID())
        return true;
    // "0" is the server's word for no folder: every top-level folder has it
    // as its parent, so it names no one's parent.
    const char *parentServerID = parent->GetString(kFolderFieldServerID);
    if (strcmp(parentServerID, "0") == 0) return false;
    const char *linked = nullptr;
    if (folder->GetParentServerID(this, &linked) == kNoError && strcmp(linked, parentServerID) == 0) return true;
    return folder->HasPendingParent() && strcmp(folder->GetString(kFolderFieldPendingParent), parentServerID) == 0;
}

DErrorCode DEASFolderInfoStore::FindNextChild(DEASFolderInfoRecord *parent, DEASFolderInfoRecord **child) {
    if (parent == nullptr || child == nullptr) return generalErrInvalidParameter;
    if (!m_open) return dbIsNotReadyError;
    uint32_t index = kQvUnknown;
    DErrorCode err = *child != nullptr ? IndexOf(*child, &index) : kNoError;
    *child = nullptr;
    if (err != kNoError) return err;
    DEASFolderInfoRecord *folder;
    for (uint32_t i = index == kQvUnknown ? 0 : index + 1;; ++i) {
        err = GetFolderAt(i, &folder);
        if (err == generalErrIndexOutOfRange) return generalErrItemNotFound;
        if (err != kNoError) return err;
        if (folder != parent && IsChildOf(folder, parent)) {
            *child = folder;
            return kNoError;
        }
    }
}

DErrorCode DEASFolderInfoStore::RemoveFolderTree(DEASFolderInfoRecord *folder) {
    if (folder == nullptr) return generalErrInvalidParameter;
    if (!m_open) return dbIsNotReadyError;
    // The tree's record ids, each parent before its children; a folder
    // already in it is not taken again.
    std::vector<uint32_t> tree;
    try {
        tree.push_back(folder->GetRecordID());
        for (size_t i = 0; i < tree.size(); ++i) {
            DSimpleDBRecord *record = nullptr;
            DErrorCode err = GetRecordByID(tree[i], &record);
            if (err != kNoError) return err;
            DEASFolderInfoRecord *parent = static_cast<DEASFolderInfoRecord *>(record);
            DEASFolderInfoRecord *child = nullptr;
            while ((err = FindNextChild(parent, &child)) == kNoError) {
                if (std::find(tree.begin(), tree.end(), child->GetRecordID()) == tree.end())
                    tree.push_back(child->GetRecordID());
            }
            if (err != generalErrItemNotFound) return err;
        }
    } catch (const std::bad_alloc &) {
        return generalErrMemoryError;
    }
    // Children go before their parents.
    for (auto it = tree.rbegin(); it != tree.rend(); ++it) {
        DErrorCode err = RemoveRecordByID(*it);
        if (err != kNoError) return err;
    }
    return kNoError;
}

DErrorCode DEASFolderInfoStore::RemoveAllFolders() {
    uint32_t count = 0;
    DErrorCode err = GetRecordCount(&count);
    for (uint32_t i = 0; i < count && err == kNoError; ++i) err = RemoveRecordAt(0);
    return err;
}

DErrorCode DEASFolderInfoStore::ResetAllSyncKeys() {
    if (!m_open) return dbIsNotReadyError;
    DEASFolderInfoRecord *folder;
    for (uint32_t i = 0;; ++i) {
        DErrorCode err = GetFolderAt(i, &folder);
        if (err == generalErrIndexOutOfRange) return kNoError;
        if (err == kNoError) err = folder->SetString(kFolderFieldSyncKey, "0");
        if (err != kNoError) return err;
    }
}

DErrorCode DEASFolderInfoStore::ResetFoldersOfTypes(const uint32_t *types, uint32_t count, bool remove) {
    if (types == nullptr && count != 0) return generalErrInvalidParameter;
    if (!m_open) return dbIsNotReadyError;
    DEASFolderInfoRecord *folder;
    for (uint32_t i = 0;;) {
        DErrorCode err = GetFolderAt(i, &folder);
        if (err == generalErrIndexOutOfRange) return kNoError;
        if (err != kNoError) return err;
        const uint32_t type = folder->GetInt(kFolderFieldType);
        if (std::find(types, types + count, type) == types + count) {
            ++i;
            continue;
        }
        err = folder->SetString(kFolderFieldSyncKey, "0");
        if (err == kNoError) err = folder->SetInt(kFolderFieldFlags, SyncsByDefault(type) ? kFolderFlagSync : 0);
        if (err == kNoError) {
            if (remove)
                err = RemoveRecordAt(i);
            else
                ++i;
        }
        if (err != kNoError) return err;
    }
}

DErrorCode DEASFolderInfoStore::ResetMailFolders(bool remove) {
    static const uint32_t kTypes[] = {kFolderTypeInbox,     kFolderTypeDrafts, kFolderTypeDeletedItems,
                                      kFolderTypeSentItems, kFolderTypeOutbox, kFolderTypeUserMail};
    return ResetFoldersOfTypes(kTypes, 6, remove);
}

DErrorCode DEASFolderInfoStore::ResetCalendarFolders(bool remove) {
    static const uint32_t kTypes[] = {kFolderTypeCalendar, kFolderTypeUserCalendar};
    return ResetFoldersOfTypes(kTypes, 2, remove);
}

DErrorCode DEASFolderInfoStore::ResetContactFolders(bool remove) {
    static const uint32_t kTypes[] = {kFolderTypeContacts, kFolderTypeUserContacts};
    return ResetFoldersOfTypes(kTypes, 2, remove);
}

DErrorCode DEASFolderInfoStore::ResetTaskFolders(bool remove) {
    static const uint32_t kTypes[] = {kFolderTypeTasks, kFolderTypeUserTasks};
    return ResetFoldersOfTypes(kTypes, 2, remove);
}

DErrorCode DEASFolderInfoStore::ResetNoteFolders(bool remove) {
    static const uint32_t kTypes[] = {kFolderTypeNotes, kFolderTypeUserNotes};
    return ResetFoldersOfTypes(kTypes, 2, remove);
}

DErrorCode DEASFolderInfoStore::ResetJournalFolders(bool remove) {
    static const uint32_t kTypes[] = {kFolderTypeJournal, kFolderTypeUserJournal};
    return ResetFoldersOfTypes(kTypes, 2, remove);
}

DErrorCode DEASFolderInfoStore::ResetGenericFolders(bool remove) {
    static const uint32_t kTypes[] = {kFolderTypeGeneric};
    return ResetFoldersOfTypes(kTypes, 1, remove);
}

DErrorCode DEASFolderInfoStore::SetMailFolderFlag(uint32_t mask, bool on) {
    if (!m_open) return dbIsNotReadyError;
    DEASFolderInfoRecord *folder;
    for (uint32_t i = 0;; ++i) {
        DErrorCode err = GetFolderAt(i, &folder);
        if (err == generalErrIndexOutOfRange) return kNoError;
        if (err == kNoError && IsMailType(folder->GetInt(kFolderFieldType))) err = folder->SetFlag(mask, on);
        if (err != kNoError) return err;
    }
}

DErrorCode DEASFolderInfoStore::IsMailFolderFlagSet(uint32_t mask, bool *out) {
    if (out == nullptr) return generalErrInvalidParameter;
    *out = false;
    if (!m_open) return dbIsNotReadyError;
    DEASFolderInfoRecord *folder;
    for (uint32_t i = 0;; ++i) {
        DErrorCode err = GetFolderAt(i, &folder);
        if (err == generalErrIndexOutOfRange) return kNoError;
        if (err != kNoError) return err;
        if (IsMailType(folder->GetInt(kFolderFieldType)) && folder->IsFlagSet(mask)) {
            *out = true;
            return kNoError;
        }
    }
}
