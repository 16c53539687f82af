// Answers applied at once: FolderCreate, GetItemEstimate, Ping, Provision,
// Search and MeetingResponse. Each is checked whole before anything is
// written, so that a refused answer leaves the stores as they were.
//
// How each record reaches the engine: Ping, Provision and Search hand it back
// in *record. FolderCreate and GetItemEstimate deliver theirs from a chain
// step (state 45) and answer activeSyncErrWaitForCallback, since the engine
// goes on from the callback and would otherwise determine its next step
// twice. The meeting-response answer hands nothing over: a type-20 record in
// the callback is read as a request body, so the engine goes on from this
// call's kNoError.
#include <new>
#include <string>

#include "DASDP_GetItemEstimateResponse.h"
#include "DASDP_PingResponse.h"
#include "DASDP_PlainResponses.h"
#include "DASDP_PolicyResponse.h"
#include "DASDP_SearchResponse.h"
#include "DASPolicyDocument.h"
#include "DActiveSyncDataManager.h"
#include "IOutlookMessage.h"

namespace {

// FolderHierarchy (page 7).
const char *const kFhStatus = "0x0C_0x07";
const char *const kFhServerId = "0x08_0x07";
const char *const kFhSyncKey = "0x12_0x07";
// GetItemEstimate (page 6).
const char *const kGieResponse = "0x0D_0x06";
const char *const kGieStatus = "0x0E_0x06";
const char *const kGieCollection = "0x08_0x06";
const char *const kGieClass = "0x09_0x06";
const char *const kGieCollectionId = "0x0A_0x06";
const char *const kGieEstimate = "0x0C_0x06";
// MeetingResponse (page 8).
const char *const kMrStatus = "0x0B_0x08";
// Ping (page 13).
const char *const kPingStatus = "0x07_0x0D";
const char *const kPingHeartbeat = "0x08_0x0D";
const char *const kPingFolders = "0x09_0x0D";
const char *const kPingFolder = "0x0A_0x0D";
const char *const kPingMaxFolders = "0x0D_0x0D";
// Provision (page 14).
const char *const kProvPolicies = "0x06_0x0E";
const char *const kProvPolicy = "0x07_0x0E";
const char *const kProvPolicyKey = "0x09_0x0E";
const char *const kProvData = "0x0A_0x0E";
const char *const kProvStatus = "0x0B_0x0E";
const char *const kProvRemoteWipe = "0x0C_0x0E";
// Search (page 15).
const char *const kSearchStatus = "Status";

uint32_t SaturatingAdd(uint32_t a, uint32_t b) { return a > 0xFFFFFFFFu - b ? 0xFFFFFFFFu : a + b; }

}  // namespace

DErrorCode DActiveSyncDataManager::DeliverFromChain() {
    DErrorCode err = GoTo(kDMDeliverMoves);
    return err != kNoError ? err : activeSyncErrWaitForCallback;
}

DErrorCode DActiveSyncDataManager::StoreOpStarted(DErrorCode started) {
    // The store signals its result; only a call that never signalled fails here.
    if (started != kNoError && !m_signal.IsReady()) return started;
    return kNoError;
}

// --- FolderCreate ---

DErrorCode DActiveSyncDataManager::ProcessFolderCreateAnswer() {
    WBXMLTreeNode *root = m_tree->root;
    uint32_t status = 0;
    DErrorCode err = CheckStatus(Child(root, kFhStatus), 120, &status);
    if (err != kNoError) return err;
    const std::string key = TextOf(Child(root, kFhSyncKey));
    const std::string serverID = TextOf(Child(root, kFhServerId));
    if (key.empty() || key.find('\0') != std::string::npos || !IsUsableServerID(serverID)) {
        LogText("DActiveSyncDataManager::ProcessFolderCreateAnswer() - missing or unusable SyncKey or ServerId\n");
        return ASDataManagerErrMissingData;
    }
    if (m_folders == nullptr) return generalErrNotInitialized;
    DEASFolderInfoRecord *folder = nullptr;
    err = m_folders->GetCurrentFlaggedFolder(&folder);
    if (err != kNoError) return err;
    // An id another folder already has would make two folders one.
    DEASFolderInfoRecord *holder = nullptr;
    if (m_folders->FindFolderByServerID(serverID.c_str(), &holder) == kNoError && holder != folder) {
        LogLine("DActiveSyncDataManager::ProcessFolderCreateAnswer() - ServerId already in use : ", serverID.c_str());
        return ASDataManagerErrMissingData;
    }
    auto *record = new (std::nothrow) DASDP_FolderCreateResponse;
    if (record == nullptr) return generalErrMemoryError;
    m_response = record;
    err = m_folders->SetFolderSyncKey(key.c_str());
    if (err == kNoError) err = folder->SetString(kFolderFieldServerID, serverID.c_str());
    if (err == kNoError) err = folder->SetFlag(kFolderFlagWalk, false);
    if (err != kNoError) return err;
    return DeliverFromChain();
}

// --- GetItemEstimate ---

DErrorCode DActiveSyncDataManager::ProcessGetItemEstimateAnswer() {
    WBXMLTreeNode *root = m_tree->root;
    auto *record = new (std::nothrow) DASDP_GetItemEstimateResponse;
    if (record == nullptr) return generalErrMemoryError;
    m_response = record;
    record->SetStatus(1);
    // First the whole answer is checked: a refused status applies nothing,
    // and the engine judges the status it finds in the record.
    bool any = false;
    for (WBXMLTreeNode *node = root != nullptr ? root->children : nullptr; node != nullptr; node = node->next) {
        if (!IsNamed(node, kGieResponse)) continue;
        any = true;
        uint32_t status = 1;
        if (CheckStatus(Child(node, kGieStatus), 86, &status) != kNoError) {
            // A status that is no number (or 0) would read as success.
            if (status == 0) return ASDataManagerErrBadStatus;
            record->SetStatus(status);
            return DeliverFromChain();
        }
        WBXMLTreeNode *collection = Child(node, kGieCollection);
        if (collection == nullptr || Child(collection, kGieEstimate) == nullptr) return ASDataManagerErrMissingData;
    }
    if (!any) return ASDataManagerErrMissingData;

    for (WBXMLTreeNode *node = root->children; node != nullptr; node = node->next) {
        if (!IsNamed(node, kGieResponse)) continue;
        WBXMLTreeNode *collection = Child(node, kGieCollection);
        const std::string cls = TextOf(Child(collection, kGieClass));
        const std::string text = TextOf(Child(collection, kGieEstimate));
        uint32_t estimate = 0;
        // A count the server garbled counts as none.
        if (!ParseNumber(text, &estimate)) estimate = 0;
        LogLine("DActiveSyncDataManager::ProcessGetItemEstimateAnswer() - Class : ", cls.c_str());
        LogNumber(" GetItemEstimates updates count : ", estimate);
        if (cls == "Email") {
            record->SetEmailEstimate(SaturatingAdd(record->GetEmailEstimate(), estimate));
            const std::string id = TextOf(Child(collection, kGieCollectionId));
            DEASFolderInfoRecord *folder = nullptr;
            if (m_folders != nullptr && IsUsableServerID(id) &&
                m_folders->FindFolderByServerID(id.c_str(), &folder) == kNoError &&
                IsMailFolderType(folder->GetInt(kFolderFieldType))) {
                DErrorCode err = folder->SetFlag(kMailFlagServerChanges, estimate != 0);
                if (err != kNoError) return err;
            }
        } else if (cls == "Calendar") {
            record->SetCalendarChanges(estimate);
        } else if (cls == "Contacts") {
            record->SetContactsChanges(estimate);
        } else if (cls == "Tasks") {
            record->SetTasksChanges(estimate);
        }
    }
    return DeliverFromChain();
}

// --- Ping ---

DErrorCode DActiveSyncDataManager::ProcessPingAnswer(DClientResponse **record) {
    WBXMLTreeNode *root = m_tree->root;
    WBXMLTreeNode *statusNode = Child(root, kPingStatus);
    const std::string text = TextOf(statusNode);
    if (statusNode == nullptr || text.empty()) return ASDataManagerErrMissingData;
    uint32_t status = 0;
    // A status that is no number is one the engine does not know.
    if (!ParseNumber(text, &status)) status = 0;
    LogLine("PING Status : ", text.c_str());
    auto *ping = new (std::nothrow) DASDP_PingResponse(status);
    if (ping == nullptr) return generalErrMemoryError;
    DErrorCode err = kNoError;
    uint32_t number = 0;
    if (status == 2) {
        for (WBXMLTreeNode *node = Child(root, kPingFolders) != nullptr ? Child(root, kPingFolders)->children : nullptr;
             node != nullptr && err == kNoError; node = node->next) {
            if (!IsNamed(node, kPingFolder)) continue;
            const std::string id = TextOf(node);
            if (!IsUsableServerID(id)) {
                LogText("DActiveSyncDataManager::ProcessPingAnswer() - unusable folder id skipped\n");
                continue;
            }
            VString value;
            err = value.AssignNarrow(id.c_str(), uint32_t(id.size()), kVStringUTF8);
            if (err == kNoError) err = ping->AddFolder(value);
        }
    } else if (status == 5) {
        // A heartbeat beyond 16 bits is none the engine could use.
        if (ParseNumber(TextOf(Child(root, kPingHeartbeat)), &number) && number <= 0xFFFF)
            ping->SetHeartbeat(uint16_t(number));
    } else if (status == 6) {
        if (ParseNumber(TextOf(Child(root, kPingMaxFolders)), &number)) ping->SetFolderLimit(number);
    }
    if (err != kNoError) {
        delete ping;
        return err;
    }
    if (record == nullptr) {
        delete ping;
        return generalErrInvalidParameter;
    }
    *record = ping;
    return status == 1 || status == 2 ? kNoError : ASDataManagerErrBadStatus;
}

// --- Provision ---

DErrorCode DActiveSyncDataManager::ProcessProvisionAnswer(DClientResponse **record) {
    if (record == nullptr) return generalErrInvalidParameter;
    WBXMLTreeNode *root = m_tree->root;
    WBXMLTreeNode *statusNode = Find(root, kProvStatus);
    const std::string text = TextOf(statusNode);
    if (text.empty()) return ASDataManagerErrMissingData;
    uint32_t status = 0;
    if (!ParseNumber(text, &status)) status = 0;
    auto *policy = new (std::nothrow) DASDP_PolicyResponse;
    if (policy == nullptr) return generalErrMemoryError;
    policy->SetStatus(status);
    *record = policy;
    // The engine judges any other status from the record.
    if (status != kPolicyStatusSuccess) return kNoError;
    if (Find(root, kProvRemoteWipe) != nullptr) policy->SetWipe(1);
    WBXMLTreeNode *entry = Child(Child(root, kProvPolicies), kProvPolicy);
    WBXMLTreeNode *keyNode = Child(entry, kProvPolicyKey);
    if (keyNode == nullptr) return kNoError;
    const std::string keyText = TextOf(keyNode);
    VString key;
    DErrorCode err = key.AssignNarrow(keyText.c_str(), uint32_t(keyText.size()), kVStringUTF8);
    if (err == kNoError) err = policy->SetPolicyKey(&key);
    WBXMLTreeNode *data = Child(entry, kProvData);
    if (err == kNoError && data != nullptr) {
        const std::string documentText = TextOf(data);
        VString document;
        err = document.AssignNarrow(documentText.c_str(), uint32_t(documentText.size()), kVStringUTF8);
        if (err == kNoError) err = DASPolicyDocument(m_prefs, m_log).ParsePolicy(document, key);
    }
    return err;
}

// --- Search ---

DErrorCode DActiveSyncDataManager::ProcessSearchAnswer(DClientResponse **record) {
    if (record == nullptr) return generalErrInvalidParameter;
    const std::string text = TextOf(Find(m_tree->root, kSearchStatus));
    if (text.empty()) return ASDataManagerErrMissingData;
    uint32_t status = 0;
    if (!ParseNumber(text, &status)) status = 0;
    auto *search = new (std::nothrow) DASDP_SearchResponse;
    if (search == nullptr) return generalErrMemoryError;
    search->SetStatus(status);
    *record = search;
    if (status != kSearchStatusSuccess) return ASDataManagerErrBadStatus;
    char *xml = nullptr;
    unsigned length = 0;
    if (WbxmlTreeToXml(m_tree, kWbxmlXmlCanonical, &xml, &length) != kWbxmlOk || xml == nullptr) {
        WbxmlFreeBytes(reinterpret_cast<unsigned char *>(xml));
        return generalErrMemoryError;
    }
    VString result;
    DErrorCode err = result.AssignNarrow(xml, length, kVStringUTF8);
    WbxmlFreeBytes(reinterpret_cast<unsigned char *>(xml));
    if (err == kNoError) err = search->SetResult(result);
    return err;
}

// --- MeetingResponse ---

DErrorCode DActiveSyncDataManager::ProcessMeetingResponseAnswer() {
    WBXMLTreeNode *statusNode = Find(m_tree->root, kMrStatus);
    LogLine("Meeting Responce Status : ", TextOf(statusNode).c_str());
    // One request went out, for the head of the work list: only that item's
    // response is settled, whatever the server thought of it, so that it is
    // not sent again and again.
    IOutlookItem *head = m_workList.item;
    if (head == nullptr) {
        LogText("DActiveSyncDataManager::ProcessMeetingResponseAnswer() - no meeting response in hand\n");
        return kNoError;
    }
    auto *message = dynamic_cast<IOutlookMessage *>(head);
    DErrorCode err = message != nullptr ? message->SetMeetingResponse(0) : generalErrInvalidParameter;
    if (err == kNoError) err = head->Commit();
    if (m_workList.item != nullptr) m_workList.item->Close();
    m_workList.DropFirst();
    return err;
}
