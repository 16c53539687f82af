// The message manager's folder binding: keeping the store's folders in step
// with the server's mail folders as FolderSync adds, updates, moves and
// deletes them. A user folder has a store folder only while its parent is
// mirrored (the root, or a mirrored Inbox, Drafts, Sent Items, Outbox or
// user folder); below Deleted Items or a non-mail folder it is flagged
// kMailFolderFlagUnmirrored instead.
#include <new>

#include "DWinMobMessageManager.h"
#include "MailStoreCalls.h"

namespace {

// Folder trees deeper than this are taken to loop.
constexpr uint32_t kMaxFolderDepth = 64;

bool IsSpecialType(uint32_t type) { return type >= kFolderTypeInbox && type <= kFolderTypeOutbox; }

// The store property of a special folder's entry id.
ULONG SpecialFolderTag(uint32_t type) {
    switch (type) {
        case kFolderTypeInbox:
            return PR_CE_IPM_INBOX_ENTRYID;
        case kFolderTypeDrafts:
            return PR_CE_IPM_DRAFTS_ENTRYID;
        case kFolderTypeDeletedItems:
            return PR_IPM_WASTEBASKET_ENTRYID;
        case kFolderTypeSentItems:
            return PR_IPM_SENTMAIL_ENTRYID;
        default:
            return PR_IPM_OUTBOX_ENTRYID;
    }
}

// A folder name as the store keeps it (the server's names are UTF-8).
DErrorCode WideName(const char *name, std::u16string *out) {
    VString text;
    DErrorCode err = text.AssignNarrow(name != nullptr ? name : "", kQvUnknown, kVStringUTF8);
    if (err == kNoError) err = text.ConvertTo(kVStringUTF16LE);
    if (err != kNoError) return err;
    try {
        const WCHAR *wide = text.GetWideText();
        out->assign(wide != nullptr ? wide : u"");
    } catch (const std::bad_alloc &) {
        return generalErrMemoryError;
    }
    return kNoError;
}

std::vector<BYTE> DataOf(const DEASFolderInfoRecord *folder) {
    const BYTE *data = folder->GetData();
    return data != nullptr ? std::vector<BYTE>(data, data + folder->GetDataSize()) : std::vector<BYTE>();
}

// A failed folder call, as the folder operations report it.
DErrorCode FolderFailure(HRESULT hr) { return hr == S_OK ? kNoError : generalErrItemNotFound; }

}  // namespace

// --- Looking at the folder tree ---

bool DWinMobMessageManager::IsParentMirrored(const char *parentServerID) {
    if (parentServerID == nullptr || parentServerID[0] == '\0' || std::string(parentServerID) == "0") return true;
    DEASFolderInfoStore *store = GetFolderStore();
    DEASFolderInfoRecord *parent = nullptr;
    if (store == nullptr || store->FindFolderByServerID(parentServerID, &parent) != kNoError) return false;
    const uint32_t type = parent->GetInt(kFolderFieldType);
    const bool mailParent = type == kFolderTypeInbox || type == kFolderTypeDrafts || type == kFolderTypeSentItems ||
                            type == kFolderTypeOutbox || type == kFolderTypeUserMail;
    return mailParent && !parent->IsFlagSet(kMailFolderFlagUnmirrored);
}

bool DWinMobMessageManager::IsFolderParentMirrored(DEASFolderInfoRecord *folder) {
    const char *parentID = "0";
    folder->GetParentServerID(GetFolderStore(), &parentID);
    return IsParentMirrored(parentID);
}

DErrorCode DWinMobMessageManager::OpenStoreFolder(const BYTE *entryID, uint32_t size, IMAPIFolder **folder) {
    *folder = nullptr;
    if (entryID == nullptr || size == 0) return generalErrItemNotFound;
    return FolderFailure(MailOpenFolder(m_store, std::vector<BYTE>(entryID, entryID + size), folder));
}

DErrorCode DWinMobMessageManager::ReadStoreEntryID(ULONG tag, std::vector<BYTE> *entryID) {
    return FolderFailure(MailGetBinary(m_store, tag, entryID));
}

DErrorCode DWinMobMessageManager::OpenParentStoreFolder(DEASFolderInfoRecord *folder, IMAPIFolder **parent) {
    *parent = nullptr;
    const char *parentID = "0";
    folder->GetParentServerID(GetFolderStore(), &parentID);
    std::vector<BYTE> entryID;
    if (std::string(parentID) == "0") {
        DErrorCode err = ReadStoreEntryID(PR_IPM_SUBTREE_ENTRYID, &entryID);
        if (err != kNoError) return err;
    } else {
        DEASFolderInfoRecord *parentFolder = nullptr;
        DErrorCode err = GetFolderStore()->FindFolderByServerID(parentID, &parentFolder);
        if (err != kNoError) return generalErrItemNotFound;
        entryID = DataOf(parentFolder);
    }
    return OpenStoreFolder(entryID.data(), uint32_t(entryID.size()), parent);
}

// --- Creating store folders ---

DErrorCode DWinMobMessageManager::TagStoreFolder(IMAPIFolder *storeFolder, DEASFolderInfoRecord *folder) {
    if (m_tagFolderID == 0) return kNoError;
    SPropValue value{};
    value.ulPropTag = m_tagFolderID;
    value.Value.ul = folder->GetRecordID();
    HRESULT hr = MailSetProp(storeFolder, &value);
    if (hr == S_OK) storeFolder->SaveChanges(KEEP_OPEN_READWRITE);
    return FolderFailure(hr);
}

DErrorCode DWinMobMessageManager::CreateStoreFolder(DEASFolderInfoRecord *folder) {
    IMAPIFolder *parent = nullptr;
    DErrorCode err = OpenParentStoreFolder(folder, &parent);
    std::u16string name;
    if (err == kNoError) err = WideName(folder->GetDisplayName(), &name);
    IMAPIFolder *created = nullptr;
    if (err == kNoError)
        err = FolderFailure(parent->CreateFolder(FOLDER_GENERIC, const_cast<WCHAR *>(name.c_str()), nullptr, nullptr,
                                                 MAPI_UNICODE | OPEN_IF_EXISTS, &created));
    std::vector<BYTE> entryID;
    if (err == kNoError) err = FolderFailure(MailGetBinary(created, PR_ENTRYID, &entryID));
    if (err == kNoError) err = folder->SetData(entryID.data(), uint32_t(entryID.size()));
    if (err == kNoError) err = TagStoreFolder(created, folder);
    if (created != nullptr) created->Release();
    if (parent != nullptr) parent->Release();
    return err;
}

DErrorCode DWinMobMessageManager::CreateStoreFolderTree(DEASFolderInfoRecord *folder) {
    DErrorCode err = CreateStoreFolder(folder);
    DEASFolderInfoStore *store = GetFolderStore();
    std::vector<DEASFolderInfoRecord *> children;
    for (DEASFolderInfoRecord *child = nullptr; err == kNoError;) {
        if (store->FindNextChild(folder, &child) != kNoError || child == nullptr) break;
        children.push_back(child);
    }
    for (DEASFolderInfoRecord *child : children) {
        if (err != kNoError) break;
        if (child->GetInt(kFolderFieldType) != kFolderTypeUserMail) continue;
        // A child that still has a store folder (it moved with its parent's) keeps it.
        IMAPIFolder *existing = nullptr;
        if (OpenStoreFolder(child->GetData(), child->GetDataSize(), &existing) == kNoError) {
            existing->Release();
            continue;
        }
        if (child->GetData() != nullptr) child->RemoveData();
        err = CreateStoreFolderTree(child);
    }
    return err;
}

// --- Deleting store folders ---

DErrorCode DWinMobMessageManager::DeleteShadowRecordsOfFolder(const std::vector<BYTE> &entryID) {
    if (m_shadow == nullptr || entryID.empty()) return kNoError;
    uint32_t position = 0;
    for (;;) {
        DWinMobShadowRecord record;
        bool found = false;
        DErrorCode err = m_shadow->NextInFolder(entryID, &position, &record, &found);
        if (err != kNoError) return err;
        if (!found) return kNoError;
        err = m_shadow->DeleteRecord(&record);
        if (err != kNoError && err != generalErrItemNotFound) return err;
        // The records behind moved up one place: go on from the same position.
        --position;
    }
}

DErrorCode DWinMobMessageManager::DeleteShadowRecordsOfTree(DEASFolderInfoRecord *folder, uint32_t depth) {
    if (depth > kMaxFolderDepth) return kNoError;
    DErrorCode err = DeleteShadowRecordsOfFolder(DataOf(folder));
    DEASFolderInfoStore *store = GetFolderStore();
    for (DEASFolderInfoRecord *child = nullptr; err == kNoError;) {
        if (store->FindNextChild(folder, &child) != kNoError || child == nullptr) break;
        err = DeleteShadowRecordsOfTree(child, depth + 1);
    }
    return err;
}

DErrorCode DWinMobMessageManager::RemoveStoreFolder(DEASFolderInfoRecord *folder) {
    // The folder is deleted where it is now: under its parent, or wherever
    // the messaging application moved it (Deleted Items). Gone already is done.
    IMAPIFolder *storeFolder = nullptr;
    if (OpenStoreFolder(folder->GetData(), folder->GetDataSize(), &storeFolder) != kNoError) return kNoError;
    std::vector<BYTE> parentID;
    DErrorCode err = FolderFailure(MailGetBinary(storeFolder, PR_PARENT_ENTRYID, &parentID));
    storeFolder->Release();
    IMAPIFolder *parent = nullptr;
    if (err == kNoError) err = OpenStoreFolder(parentID.data(), uint32_t(parentID.size()), &parent);
    if (err == kNoError) {
        const std::vector<BYTE> entryID = DataOf(folder);
        HRESULT hr = parent->DeleteFolder(ULONG(entryID.size()), MailEntryID(entryID), 0, nullptr,
                                          DEL_MESSAGES | DEL_FOLDERS);
        if (hr == MAPI_E_NOT_FOUND) hr = S_OK;
        err = FolderFailure(hr);
        parent->Release();
    }
    return err;
}

DErrorCode DWinMobMessageManager::SetTreeFlag(DEASFolderInfoRecord *folder, uint32_t flag, bool on, uint32_t depth) {
    if (depth > kMaxFolderDepth) return kNoError;
    DErrorCode err = folder->SetFlag(flag, on);
    DEASFolderInfoStore *store = GetFolderStore();
    for (DEASFolderInfoRecord *child = nullptr; err == kNoError;) {
        if (store->FindNextChild(folder, &child) != kNoError || child == nullptr) break;
        err = SetTreeFlag(child, flag, on, depth + 1);
    }
    return err;
}

DErrorCode DWinMobMessageManager::ForgetTreeEntryIDs(DEASFolderInfoRecord *folder, uint32_t depth) {
    if (depth > kMaxFolderDepth) return kNoError;
    if (folder->GetData() != nullptr) folder->RemoveData();
    DEASFolderInfoStore *store = GetFolderStore();
    DErrorCode err = kNoError;
    for (DEASFolderInfoRecord *child = nullptr; err == kNoError;) {
        if (store->FindNextChild(folder, &child) != kNoError || child == nullptr) break;
        err = ForgetTreeEntryIDs(child, depth + 1);
    }
    return err;
}

DErrorCode DWinMobMessageManager::DeleteStoreFolder(const char *serverID) {
    DEASFolderInfoStore *store = GetFolderStore();
    DEASFolderInfoRecord *folder = nullptr;
    if (store == nullptr || serverID == nullptr || store->FindFolderByServerID(serverID, &folder) != kNoError ||
        folder->GetInt(kFolderFieldType) != kFolderTypeUserMail)
        return generalErrItemNotFound;
    DErrorCode err = DeleteShadowRecordsOfTree(folder, 0);
    if (err == kNoError) err = RemoveStoreFolder(folder);
    return err;
}

// --- Moving and renaming ---

DErrorCode DWinMobMessageManager::RenameStoreFolder(DEASFolderInfoRecord *folder, const char *name) {
    std::u16string wide;
    DErrorCode err = WideName(name, &wide);
    IMAPIFolder *storeFolder = nullptr;
    if (err == kNoError) err = OpenStoreFolder(folder->GetData(), folder->GetDataSize(), &storeFolder);
    if (err == kNoError) {
        SPropValue value{};
        value.ulPropTag = PR_DISPLAY_NAME_W;
        value.Value.lpszW = const_cast<WCHAR *>(wide.c_str());
        HRESULT hr = MailSetProp(storeFolder, &value);
        if (hr == S_OK) storeFolder->SaveChanges(KEEP_OPEN_READWRITE);
        err = FolderFailure(hr);
        storeFolder->Release();
    }
    return err != kNoError ? generalErrItemNotFound : kNoError;
}

DErrorCode DWinMobMessageManager::MoveStoreFolder(DEASFolderInfoRecord *folder, DEASFolderInfoRecord *) {
    IMAPIFolder *storeFolder = nullptr;
    if (OpenStoreFolder(folder->GetData(), folder->GetDataSize(), &storeFolder) != kNoError) {
        // Its store folder is gone (the user deleted it): make it anew under the new parent.
        if (folder->GetData() != nullptr) folder->RemoveData();
        return CreateStoreFolderTree(folder);
    }
    std::vector<BYTE> sourceID;
    DErrorCode err = FolderFailure(MailGetBinary(storeFolder, PR_PARENT_ENTRYID, &sourceID));
    storeFolder->Release();
    IMAPIFolder *source = nullptr, *destination = nullptr;
    if (err == kNoError) err = OpenStoreFolder(sourceID.data(), uint32_t(sourceID.size()), &source);
    if (err == kNoError) err = OpenParentStoreFolder(folder, &destination);
    std::vector<BYTE> destinationID;
    if (err == kNoError) err = FolderFailure(MailGetBinary(destination, PR_ENTRYID, &destinationID));
    if (err == kNoError && destinationID != sourceID) {
        const std::vector<BYTE> entryID = DataOf(folder);
        err = FolderFailure(source->CopyFolder(ULONG(entryID.size()), MailEntryID(entryID), nullptr, destination,
                                               nullptr, 0, nullptr, FOLDER_MOVE | MAPI_UNICODE));
    }
    if (source != nullptr) source->Release();
    if (destination != nullptr) destination->Release();
    return err;
}

// --- Open collections ---

void DWinMobMessageManager::RefreshCollections(DEASFolderInfoRecord *folder, uint32_t depth) {
    if (depth > kMaxFolderDepth) return;
    const std::string serverID = folder->GetString(kFolderFieldServerID);
    IMessagingItemCollection *open = nullptr;
    auto *collection = FindOpenCollection(serverID.c_str(), &open) == kNoError
                           ? dynamic_cast<DWinMobOutlookMessageCollection *>(open)
                           : nullptr;
    // Held by their users: re-bound in place, never deleted here.
    if (collection != nullptr && folder->GetData() != nullptr && collection->GetFolderEntryID() != DataOf(folder) &&
        ReinitOutlookItemCollection(folder, collection) == kNoError)
        collection->Open();
    DEASFolderInfoStore *store = GetFolderStore();
    for (DEASFolderInfoRecord *child = nullptr;;) {
        if (store->FindNextChild(folder, &child) != kNoError || child == nullptr) break;
        RefreshCollections(child, depth + 1);
    }
}

// --- FolderSync's changes ---

DErrorCode DWinMobMessageManager::BindMailFolder(DEASFolderInfoRecord *folder) {
    const uint32_t type = folder->GetInt(kFolderFieldType);
    if (!IsSpecialType(type) && type != kFolderTypeUserMail) return generalErrInvalidParameter;
    if (!IsFolderParentMirrored(folder)) {
        if (folder->GetData() != nullptr) folder->RemoveData();
        return folder->SetFlag(kMailFolderFlagUnmirrored, true);
    }
    // It gets a store folder now, so that a later delete finds and removes it.
    if (folder->IsFlagSet(kMailFolderFlagUnmirrored)) {
        DErrorCode err = folder->SetFlag(kMailFolderFlagUnmirrored, false);
        if (err != kNoError) return err;
    }
    if (folder->GetData() != nullptr) {
        IMAPIFolder *existing = nullptr;
        if (OpenStoreFolder(folder->GetData(), folder->GetDataSize(), &existing) == kNoError) {
            existing->Release();
            return kNoError;
        }
        // A store folder deleted on the device: its id is stale for good, so
        // it is forgotten and the folder bound anew.
        folder->RemoveData();
    }
    if (IsSpecialType(type)) {
        std::vector<BYTE> entryID;
        DErrorCode err = ReadStoreEntryID(SpecialFolderTag(type), &entryID);
        if (err == kNoError) err = folder->SetData(entryID.data(), uint32_t(entryID.size()));
        return err;
    }
    return CreateStoreFolder(folder);
}

DErrorCode DWinMobMessageManager::AddMailFolder(const char *serverID, DActiveTaskSignal *request) {
    DEASFolderInfoStore *store = GetFolderStore();
    DEASFolderInfoRecord *folder = nullptr;
    DErrorCode err = store != nullptr && m_store != nullptr ? kNoError : generalErrNotInitialized;
    if (err == kNoError && (serverID == nullptr || store->FindFolderByServerID(serverID, &folder) != kNoError))
        err = generalErrItemNotFound;
    if (err == kNoError) err = BindMailFolder(folder);
    if (err == kNoError) RefreshCollections(folder, 0);
    Complete(request, err);
    return err;
}

DErrorCode DWinMobMessageManager::DeleteFolder(DEASFolderInfoRecord *folder) {
    if (folder->GetInt(kFolderFieldType) != kFolderTypeUserMail) return generalErrItemNotFound;
    if (folder->IsFlagSet(kMailFolderFlagUnmirrored)) return kNoError;
    DErrorCode err = DeleteShadowRecordsOfTree(folder, 0);
    if (err == kNoError) err = RemoveStoreFolder(folder);
    return err;
}

DErrorCode DWinMobMessageManager::DeleteMailFolder(const char *serverID, DActiveTaskSignal *request) {
    DEASFolderInfoStore *store = GetFolderStore();
    DEASFolderInfoRecord *folder = nullptr;
    DErrorCode err = store != nullptr && m_store != nullptr ? kNoError : generalErrNotInitialized;
    if (err == kNoError && (serverID == nullptr || store->FindFolderByServerID(serverID, &folder) != kNoError))
        err = generalErrItemNotFound;
    if (err == kNoError) err = DeleteFolder(folder);
    Complete(request, err);
    return err;
}

DErrorCode DWinMobMessageManager::UpdateFolder(DEASFolderInfoRecord *folder, const char *newParentID,
                                               const char *newDisplayName) {
    if (folder->GetInt(kFolderFieldType) != kFolderTypeUserMail) return generalErrItemNotFound;
    DEASFolderInfoStore *store = GetFolderStore();
    const bool wasMirrored = !folder->IsFlagSet(kMailFolderFlagUnmirrored);
    DErrorCode err = kNoError;
    if (newDisplayName != nullptr) {
        if (wasMirrored && folder->GetData() != nullptr) err = RenameStoreFolder(folder, newDisplayName);
        if (err == kNoError) err = folder->SetString(kFolderFieldDisplayName, newDisplayName);
        if (err != kNoError) return generalErrItemNotFound;
    }
    if (newParentID == nullptr) return kNoError;
    const bool nowMirrored = IsParentMirrored(newParentID);
    if (wasMirrored && !nowMirrored) {
        err = DeleteShadowRecordsOfTree(folder, 0);
        if (err == kNoError) err = RemoveStoreFolder(folder);
        if (err == kNoError) err = ForgetTreeEntryIDs(folder, 0);
        if (err == kNoError) err = folder->SetParentServerID(store, newParentID);
        if (err == kNoError) err = SetTreeFlag(folder, kMailFolderFlagUnmirrored, true, 0);
    } else if (!wasMirrored && nowMirrored) {
        err = folder->SetParentServerID(store, newParentID);
        if (err == kNoError) err = SetTreeFlag(folder, kMailFolderFlagUnmirrored, false, 0);
        if (err == kNoError) err = CreateStoreFolderTree(folder);
        if (err == kNoError) err = folder->SetFlag(kFolderFlagSync, false);
    } else if (wasMirrored) {
        DEASFolderInfoRecord *parent = nullptr;
        store->FindFolderByServerID(newParentID, &parent);
        err = folder->SetParentServerID(store, newParentID);
        if (err == kNoError) err = MoveStoreFolder(folder, parent);
    } else {
        err = folder->SetParentServerID(store, newParentID);
    }
    return err;
}

DErrorCode DWinMobMessageManager::UpdateMailFolder(const char *serverID, const char *newParentID,
                                                   const char *newDisplayName, DActiveTaskSignal *request) {
    DEASFolderInfoStore *store = GetFolderStore();
    DEASFolderInfoRecord *folder = nullptr;
    DErrorCode err = store != nullptr && m_store != nullptr ? kNoError : generalErrNotInitialized;
    if (err == kNoError && (serverID == nullptr || store->FindFolderByServerID(serverID, &folder) != kNoError))
        err = generalErrItemNotFound;
    if (err == kNoError) err = UpdateFolder(folder, newParentID, newDisplayName);
    if (err == kNoError) RefreshCollections(folder, 0);
    Complete(request, err);
    return err;
}

DErrorCode DWinMobMessageManager::ReconcileFolder(DEASFolderInfoRecord *folder) {
    const std::string pending = folder->GetString(kFolderFieldPendingParent);
    DErrorCode err = UpdateFolder(folder, pending.c_str(), nullptr);
    if (err == kNoError) RefreshCollections(folder, 0);
    if (err == kNoError) err = folder->ClearPendingParent();
    return err;
}

DErrorCode DWinMobMessageManager::ReconcileMailFolders(DActiveTaskSignal *request) {
    DEASFolderInfoStore *store = GetFolderStore();
    DErrorCode err = store != nullptr && m_store != nullptr ? kNoError : generalErrNotInitialized;
    for (uint32_t i = 0; err == kNoError; ++i) {
        DEASFolderInfoRecord *folder = nullptr;
        DErrorCode found = store->GetFolderAt(i, &folder);
        if (found != kNoError) break;  // past the last folder
        if (folder->GetInt(kFolderFieldType) == kFolderTypeUserMail && folder->HasPendingParent())
            err = ReconcileFolder(folder);
    }
    Complete(request, err);
    return err;
}
