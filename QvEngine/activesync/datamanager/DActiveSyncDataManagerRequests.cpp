// Request bodies built at once: FolderSync, FolderCreate, AirNotify,
// GetItemEstimate, Ping, Provision and Search. Each is handed to the engine
// as a type-16 record inside the call.
#include <new>
#include <string>

#include "DActiveSyncDataManager.h"
#include "ICorvanePreferences.h"
#include "IResourceManager.h"

namespace {

const char *const kPolicyType = "MS-WAP-Provisioning-XML";

// The text as UTF-8 ("" when it cannot be converted).
std::string Utf8Of(const VString &text) {
    VString copy;
    if (copy.Assign(text) != kNoError || copy.ConvertTo(kVStringUTF8) != kNoError) return {};
    const char *narrow = copy.GetNarrowText();
    return narrow != nullptr ? std::string(narrow) : std::string();
}

}  // namespace

DErrorCode DActiveSyncDataManager::DeliverImmediateRequest(WBXMLTree *tree) {
    return DeliverRequest(tree, new (std::nothrow) DASDS_DataResponse);
}

// --- FolderSync, FolderCreate, AirNotify ---

DErrorCode DActiveSyncDataManager::BuildFolderSyncRequest() {
    if (m_folders == nullptr) return generalErrNotInitialized;
    const char *key = nullptr;
    DErrorCode err = m_folders->GetFolderSyncKey(&key);
    if (err != kNoError) return err;
    LogLine("Current global state: ", key);
    WBXMLTree *tree = nullptr;
    WBXMLTreeNode *root = nullptr;
    err = NewRequestTree("0x16_0x07", &tree, &root);
    if (err != kNoError) return err;
    // A store without a key text sends the root alone.
    if (key != nullptr && key[0] != '\0') err = AddTextElement(root, "0x12_0x07", key);
    if (err != kNoError) {
        WbxmlDestroyTree(tree);
        return err;
    }
    return DeliverImmediateRequest(tree);
}

DErrorCode DActiveSyncDataManager::BuildFolderCreateRequest() {
    if (m_folders == nullptr) return generalErrNotInitialized;
    DEASFolderInfoRecord *folder = nullptr;
    DErrorCode err = m_folders->GetCurrentFlaggedFolder(&folder);
    if (err != kNoError) return err;
    const char *key = nullptr;
    err = m_folders->GetFolderSyncKey(&key);
    const char *parent = nullptr;
    if (err == kNoError) err = folder->GetParentServerID(m_folders, &parent);
    if (err != kNoError) return err;
    WBXMLTree *tree = nullptr;
    WBXMLTreeNode *root = nullptr;
    err = NewRequestTree("0x13_0x07", &tree, &root);
    if (err != kNoError) return err;
    err = AddTextElement(root, "0x12_0x07", key);
    if (err == kNoError) err = AddTextElement(root, "0x09_0x07", parent);
    if (err == kNoError) err = AddTextElement(root, "0x07_0x07", folder->GetDisplayName());
    if (err == kNoError) err = AddNumberElement(root, "0x0A_0x07", folder->GetInt(kFolderFieldType));
    if (err != kNoError) {
        WbxmlDestroyTree(tree);
        return err;
    }
    return DeliverImmediateRequest(tree);
}

DErrorCode DActiveSyncDataManager::BuildAirNotifyRequest() {
    WBXMLTree *tree = nullptr;
    WBXMLTreeNode *root = nullptr;
    DErrorCode err = NewRequestTree("0x05_0x03", &tree, &root);
    if (err != kNoError) return err;
    err = AddElement(root, "0x09_0x03");
    if (err != kNoError) {
        WbxmlDestroyTree(tree);
        return err;
    }
    return DeliverImmediateRequest(tree);
}

// --- GetItemEstimate ---

DErrorCode DActiveSyncDataManager::AddEstimateCollection(WBXMLTreeNode *collections, DEASFolderInfoRecord *folder,
                                                         const char *className, uint32_t filterType) {
    WBXMLTreeNode *collection = nullptr;
    DErrorCode err = AddElement(collections, "0x08_0x06", &collection);
    if (err == kNoError) err = AddTextElement(collection, "0x09_0x06", className);
    if (err == kNoError) err = AddTextElement(collection, "0x0A_0x06", folder->GetString(kFolderFieldServerID));
    if (err == kNoError) err = AddNumberElement(collection, "0x18_0x00", filterType);
    if (err == kNoError) err = AddTextElement(collection, "0x0B_0x00", folder->GetString(kFolderFieldSyncKey));
    return err;
}

DErrorCode DActiveSyncDataManager::BuildGetItemEstimateRequest() {
    if (m_folders == nullptr || m_prefs == nullptr) return generalErrNotInitialized;
    WBXMLTree *tree = nullptr;
    WBXMLTreeNode *root = nullptr;
    DErrorCode err = NewRequestTree("0x05_0x06", &tree, &root);
    if (err != kNoError) return err;
    WBXMLTreeNode *collections = nullptr;
    err = AddElement(root, "0x07_0x06", &collections);
    const struct {
        BYTE on;
        uint32_t type;
        const char *className;
        uint32_t filterType;
    } pim[] = {
        {m_prefs->GetEffectiveUserSyncCalendar(), kFolderTypeCalendar, "Calendar", m_prefs->GetSyncCalDateRange()},
        {m_prefs->GetEffectiveUserSyncContacts(), kFolderTypeContacts, "Contacts",
         m_prefs->GetSyncContactsDateRange()},
        {m_prefs->GetEffectiveUserSyncTasks(), kFolderTypeTasks, "Tasks", m_prefs->GetSyncTasksDateRange()},
    };
    for (const auto &type : pim) {
        if (err != kNoError) break;
        DEASFolderInfoRecord *folder = nullptr;
        // A type without its folder has nothing to estimate.
        if (type.on == 0 || m_folders->FindFirstFolderOfType(type.type, &folder) != kNoError) continue;
        err = AddEstimateCollection(collections, folder, type.className, type.filterType);
    }
    if (err == kNoError && m_prefs->GetEffectiveUserSyncEMail() != 0) {
        const uint32_t mailFilter = m_prefs->GetSyncEMailDateRange();
        DEASFolderInfoRecord *folder = nullptr;
        if (m_folders->FindFirstFolderOfType(kFolderTypeInbox, &folder) == kNoError)
            err = AddEstimateCollection(collections, folder, "Email", mailFilter);
        folder = nullptr;
        while (err == kNoError && m_folders->FindNextFolderOfType(kFolderTypeUserMail, &folder) == kNoError &&
               folder != nullptr) {
            if (folder->IsFlagSet(kFolderFlagSync)) err = AddEstimateCollection(collections, folder, "Email", mailFilter);
        }
    }
    if (err != kNoError) {
        WbxmlDestroyTree(tree);
        return err;
    }
    return DeliverImmediateRequest(tree);
}

// --- Ping ---

DErrorCode DActiveSyncDataManager::AddPingFolder(WBXMLTreeNode *folders, DEASFolderInfoRecord *folder,
                                                 const char *className, const char *logText, uint32_t max,
                                                 uint32_t *wanted, uint32_t *added) {
    ++*wanted;
    // Folders beyond the server's limit are counted, not sent.
    if (*added >= max) return kNoError;
    const char *serverID = folder->GetString(kFolderFieldServerID);
    LogLine(logText, serverID);
    WBXMLTreeNode *node = nullptr;
    DErrorCode err = AddElement(folders, "0x0A_0x0D", &node);
    if (err == kNoError) err = AddTextElement(node, "0x0B_0x0D", serverID);
    if (err == kNoError) err = AddTextElement(node, "0x0C_0x0D", className);
    if (err == kNoError) ++*added;
    return err;
}

void DActiveSyncDataManager::LogCountText(uint32_t textId, uint32_t number) {
    IResourceManager *strings = m_global != nullptr ? m_global->GetResourceManager() : nullptr;
    if (strings == nullptr) return;
    VString *text = nullptr;
    if (strings->GetString(UINT(textId), &text) == kNoError && text != nullptr &&
        text->ConvertTo(kVStringWindows1252) == kNoError && text->GetNarrowText() != nullptr) {
        std::string line = text->GetNarrowText();
        const size_t mark = line.find('%');
        if (mark != std::string::npos) line.replace(mark, 1, std::to_string(number));
        LogText(line.c_str());
    }
    delete text;
}

DErrorCode DActiveSyncDataManager::BuildPingRequest() {
    if (m_folders == nullptr || m_prefs == nullptr) return generalErrNotInitialized;
    const uint32_t heartbeat = m_prefs->GetQVHeartbeat();
    const uint32_t max = m_prefs->GetMaxServerPushFolders();
    LogText("Heartbeat Interval (Sec) : \n");
    LogNumber("", heartbeat);
    WBXMLTree *tree = nullptr;
    WBXMLTreeNode *root = nullptr;
    DErrorCode err = NewRequestTree("0x05_0x0D", &tree, &root);
    if (err != kNoError) return err;
    WBXMLTreeNode *folders = nullptr;
    err = AddNumberElement(root, "0x08_0x0D", heartbeat);
    if (err == kNoError) err = AddElement(root, "0x09_0x0D", &folders);
    uint32_t wanted = 0, added = 0;
    const struct {
        BYTE on;
        uint32_t type;
        const char *className;
        const char *logText;
    } pim[] = {
        {m_prefs->GetUserSyncCalendar(), kFolderTypeCalendar, "Calendar", "Ping CALENDAR Folder ID : "},
        {m_prefs->GetUserSyncContacts(), kFolderTypeContacts, "Contacts", "Ping CONTACTS Folder ID : "},
        {m_prefs->GetUserSyncTasks(), kFolderTypeTasks, "Tasks", "Ping TASKS Folder ID : "},
    };
    for (const auto &type : pim) {
        if (err != kNoError) break;
        DEASFolderInfoRecord *folder = nullptr;
        if (type.on == 0 || m_folders->FindFirstFolderOfType(type.type, &folder) != kNoError) continue;
        err = AddPingFolder(folders, folder, type.className, type.logText, max, &wanted, &added);
    }
    if (err == kNoError && m_prefs->GetUserSyncEMail() != 0) {
        DEASFolderInfoRecord *folder = nullptr;
        if (m_folders->FindFirstFolderOfType(kFolderTypeInbox, &folder) == kNoError)
            err = AddPingFolder(folders, folder, "Email", "Ping EMAIL Folder ID : ", max, &wanted, &added);
        // The whole sync-folder walk, from its start; its end leaves no folder current.
        m_folders->ClearCurrentFolder();
        while (err == kNoError) {
            DErrorCode walked = m_folders->NextSyncFolder(false);
            if (walked == generalErrItemNotFound) break;
            folder = nullptr;
            if (walked == kNoError) walked = m_folders->GetCurrentFolder(&folder);
            if (walked != kNoError) {
                m_folders->ClearCurrentFolder();
                err = walked;
                break;
            }
            if (folder->GetInt(kFolderFieldType) == kFolderTypeInbox) continue;
            err = AddPingFolder(folders, folder, "Email", "Ping EMAIL Folder ID : ", max, &wanted, &added);
        }
    }
    if (err == kNoError && wanted > added) {
        LogResourceText(149);
        LogCountText(150, wanted);
        LogCountText(152, wanted - added);
    }
    if (err == kNoError && added == 0) {
        LogText("DActiveSyncEngine::BuildPingFoldersNode(): No pCurrFolderNode ");
        err = ASDataManagerErrNoPushTypeSpecified;
    }
    if (err != kNoError) {
        WbxmlDestroyTree(tree);
        return err;
    }
    return DeliverImmediateRequest(tree);
}

// --- Provision ---

DErrorCode DActiveSyncDataManager::BuildProvisionRequest(uint32_t step) {
    if (m_prefs == nullptr) return generalErrNotInitialized;
    const bool acknowledge = step == kCmdProvisionAck;
    std::string key;
    if (acknowledge) {
        VString stored;
        DErrorCode err = m_prefs->GetEASPolicyKey(&stored);
        if (err != kNoError) return err;
        key = Utf8Of(stored);
        // An acknowledgement names the key it accepts.
        if (key.empty()) return generalErrInvalidParameter;
    }
    WBXMLTree *tree = nullptr;
    WBXMLTreeNode *root = nullptr;
    DErrorCode err = NewRequestTree("0x05_0x0E", &tree, &root);
    if (err != kNoError) return err;
    WBXMLTreeNode *policies = nullptr, *policy = nullptr;
    err = AddElement(root, "0x06_0x0E", &policies);
    if (err == kNoError) err = AddElement(policies, "0x07_0x0E", &policy);
    if (err == kNoError) err = AddTextElement(policy, "0x08_0x0E", kPolicyType);
    if (err == kNoError && acknowledge) {
        err = AddTextElement(policy, "0x09_0x0E", key.c_str());
        if (err == kNoError) err = AddTextElement(policy, "0x0B_0x0E", "1");
    }
    const bool wipe = acknowledge && m_wipeOrdered != 0;
    if (err == kNoError && wipe) {
        WBXMLTreeNode *remoteWipe = nullptr;
        err = AddElement(root, "0x0C_0x0E", &remoteWipe);
        if (err == kNoError) err = AddTextElement(remoteWipe, "0x0B_0x0E", "1");
    }
    if (err != kNoError) {
        WbxmlDestroyTree(tree);
        return err;
    }
    err = DeliverImmediateRequest(tree);
    // The wipe is acknowledged once.
    if (err == kNoError && wipe) m_wipeOrdered = 0;
    return err;
}

// --- Search ---

DErrorCode DActiveSyncDataManager::BuildSearchRequest() {
    const std::string name = Utf8Of(m_searchStore);
    const std::string query = Utf8Of(m_searchQuery);
    const std::string range = std::to_string(m_searchFirst) + "-" + std::to_string(m_searchLast);
    if (name.empty() || query.empty()) return DErrorCode(1);
    WBXMLTree *tree = nullptr;
    WBXMLTreeNode *root = nullptr;
    DErrorCode err = NewRequestTree("Search", &tree, &root);
    if (err != kNoError) return err;
    WBXMLTreeNode *store = nullptr, *options = nullptr;
    err = AddElement(root, "Store", &store);
    if (err == kNoError) err = AddTextElement(store, "Name", name.c_str());
    if (err == kNoError) err = AddTextElement(store, "Query", query.c_str());
    if (err == kNoError) err = AddElement(store, "Options", &options);
    if (err == kNoError) err = AddTextElement(options, "Range", range.c_str());
    if (err != kNoError) {
        WbxmlDestroyTree(tree);
        return err;
    }
    return DeliverImmediateRequest(tree);
}
