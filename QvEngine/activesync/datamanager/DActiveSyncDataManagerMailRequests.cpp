// Meeting responses (state 26) and MoveItems (state 28): the current mail
// folder's items are gathered into the work list, then the request is built.
// A meeting response goes one request per item: the item sent stays at the
// head of the work list until its answer removes it.
#include <new>
#include <string>
#include <vector>

#include "DActiveSyncDataManager.h"
#include "DWinMobOutlookMessageCollection.h"
#include "IOutlookMessage.h"

namespace {

// A folder server id the message names (through read), of any length.
template <class Read>
DErrorCode ReadFolderID(Read read, std::string *id) {
    id->clear();
    for (uint32_t size = 128; size <= 0x10000; size *= 4) {
        std::vector<char> buffer(size);
        DErrorCode err = read(buffer.data(), size);
        if (err == generalErrBufferTooSmall) continue;
        if (err != kNoError) return err;
        id->assign(buffer.data());
        return kNoError;
    }
    return generalErrBufferTooSmall;
}

// The meeting response the user chose (1 accept, 2 tentative, 3 decline);
// 0 when none waits.
uint32_t PendingResponse(IOutlookItem *item) {
    auto *message = dynamic_cast<IOutlookMessage *>(item);
    uint32_t response = 0;
    if (message == nullptr || message->GetMeetingResponse(&response) != kNoError) return 0;
    return response;
}

}  // namespace

// --- Meeting responses ---

DErrorCode DActiveSyncDataManager::CollectMeetingResponse() {
    DWinMobOutlookMessageCollection *folder = nullptr;
    DErrorCode err = CurrentMailFolder(&folder);
    if (err != kNoError) return err;
    // The list of now: responses answered since the last request are gone from it.
    m_workList.Free();
    bool waiting = false;
    err = folder->HasMeetingRequestResponseItems(&waiting, nullptr);
    if (err != kNoError) return err;
    return GatherWorkList(kDMBuildMeetingResponse, folder, [this, folder](DActiveTaskSignal *signal) {
        return folder->GetMeetingRequestResponseItems(&m_workList, signal);
    });
}

DErrorCode DActiveSyncDataManager::BuildMeetingResponse() {
    m_currStore = nullptr;
    std::string requestID;
    // Items whose response is no longer pending leave the list, and so do
    // meeting requests the server never named (they cannot be answered).
    while (m_workList.item != nullptr) {
        if (PendingResponse(m_workList.item) != 0) {
            DErrorCode err = ItemServerID(m_workList.item, &requestID);
            if (err != kNoError) return err;
            if (!requestID.empty()) break;
            LogText("DActiveSyncDataManager::BuildMeetingResponse() - meeting request without server id skipped\n");
        }
        m_workList.DropFirst();
    }
    if (m_workList.item == nullptr) {
        auto *none = new (std::nothrow) DASDS_GetMeetingResponseDataResponse;
        if (none == nullptr) return generalErrMemoryError;
        none->SetNone(1);
        DropResponse();
        m_response = none;
        return Deliver();
    }
    IOutlookMessage *message = dynamic_cast<IOutlookMessage *>(m_workList.item);
    const uint32_t response = PendingResponse(message);
    DEASFolderInfoRecord *folder = nullptr;
    DErrorCode err = m_folders != nullptr ? m_folders->GetCurrentFolder(&folder) : generalErrNotInitialized;
    if (err != kNoError) return err;

    WBXMLTree *tree = nullptr;
    WBXMLTreeNode *root = nullptr;
    err = NewRequestTree("0x07_0x08", &tree, &root);
    if (err != kNoError) return err;
    WBXMLTreeNode *request = nullptr;
    err = AddElement(root, "0x09_0x08", &request);
    if (err == kNoError) err = AddTextElement(request, "0x0C_0x08", response == 1 ? "1" : response == 2 ? "2" : "3");
    // The collection is the folder the meeting request lies in.
    if (err == kNoError) err = AddTextElement(request, "0x06_0x08", folder->GetString(kFolderFieldServerID));
    if (err == kNoError) err = AddTextElement(request, "0x08_0x08", requestID.c_str());
    if (err != kNoError) {
        WbxmlDestroyTree(tree);
        return err;
    }
    err = DeliverRequest(tree, new (std::nothrow) DASDS_GetMeetingResponseDataResponse);
    // Marked only once the body exists; the engine sends it after this step.
    return err == kNoError ? message->SetSent(true) : err;
}

DErrorCode DActiveSyncDataManager::FinishMeetingResponses() {
    m_workList.Free();
    // None is left in the current folder: the engine moves on from it.
    DEASFolderInfoRecord *folder = nullptr;
    if (m_folders != nullptr && m_folders->GetCurrentFolder(&folder) == kNoError && folder != nullptr)
        return folder->SetFlag(kMailFlagMeetingResponses, false);
    return kNoError;
}

// --- MoveItems ---

DErrorCode DActiveSyncDataManager::HasMovedMailToSend(BYTE *canSend) {
    if (canSend == nullptr) return generalErrInvalidParameter;
    *canSend = 0;
    DEASFolderInfoRecord *current = nullptr;
    if (m_folders == nullptr || m_folders->GetCurrentFolder(&current) != kNoError || current == nullptr)
        return kNoError;
    DWinMobOutlookMessageCollection *folder = nullptr;
    DErrorCode err = CurrentMailFolder(&folder);
    if (err != kNoError) return err;
    bool moved = false;
    err = folder->HasMovedItems(&moved, nullptr);
    if (err == kNoError) *canSend = moved ? 1 : 0;
    return err;
}

DErrorCode DActiveSyncDataManager::CollectMoveItems() {
    DWinMobOutlookMessageCollection *folder = nullptr;
    DErrorCode err = CurrentMailFolder(&folder);
    if (err != kNoError) return err;
    m_workList.Free();
    bool moved = false;
    err = folder->HasMovedItems(&moved, nullptr);
    if (err != kNoError) return err;
    // Nothing to send for this step.
    if (!moved) return generalErrIndexOutOfRange;
    return GatherWorkList(kDMBuildMoveItems, folder, [this, folder](DActiveTaskSignal *signal) {
        return folder->GetMovedItems(&m_workList, signal);
    });
}

DErrorCode DActiveSyncDataManager::BuildMoveItems() {
    m_currStore = nullptr;
    auto *record = new (std::nothrow) DASDS_MoveItemDataResponse;
    if (record == nullptr) return generalErrMemoryError;
    WBXMLTree *tree = nullptr;
    WBXMLTreeNode *root = nullptr;
    DErrorCode err = NewRequestTree("0x05_0x05", &tree, &root);
    if (err != kNoError) {
        delete record;
        return err;
    }
    uint32_t written = 0;
    for (DListNode<IOutlookItem> *node = &m_workList; node != nullptr && err == kNoError; node = node->next) {
        auto *message = dynamic_cast<IOutlookMessage *>(node->item);
        if (message == nullptr) continue;
        std::string messageID, from, to;
        err = ItemServerID(message, &messageID);
        if (err != kNoError) break;
        // A message the server never saw has no move to tell it.
        if (messageID.empty()) continue;
        err = ReadFolderID([&](char *b, uint32_t s) { return message->GetPreviousFolderServerID(b, s); }, &from);
        if (err == kNoError)
            err = ReadFolderID([&](char *b, uint32_t s) { return message->GetFolderServerID(b, s); }, &to);
        // A folder the folder-info store no longer knows cannot be named.
        if (err == generalErrItemNotFound) {
            LogText("DActiveSyncDataManager::GetMoveItemsTree_MovedChangeList() - folder unknown, move skipped\n");
            err = kNoError;
            continue;
        }
        if (err != kNoError) break;
        if (written == kMaxChangesPerRequest) {
            record->SetMore(1);
            break;
        }
        WBXMLTreeNode *move = nullptr;
        err = AddElement(root, "0x06_0x05", &move);
        if (err == kNoError) err = AddTextElement(move, "0x07_0x05", messageID.c_str());
        if (err == kNoError) err = AddTextElement(move, "0x08_0x05", from.c_str());
        if (err == kNoError) err = AddTextElement(move, "0x09_0x05", to.c_str());
        if (err != kNoError) break;
        ++written;
        err = message->SetSent(true);
        LogText("Send Move Item\n");
        if (err == kNoError) err = message->Commit();
    }
    if (err == kNoError && written == 0) err = generalErrIndexOutOfRange;
    if (err != kNoError) {
        LogCode("DActiveSyncDataManager::GetMoveItemsTree_MovedChangeList() - doing MOVE ERROR: ", err);
        WbxmlDestroyTree(tree);
        delete record;
        return err;
    }
    // The moved messages stay in the work list until the move work is finished.
    return DeliverRequest(tree, record);
}

DErrorCode DActiveSyncDataManager::FinishMovedMail() {
    DErrorCode result = kNoError;
    for (DListNode<IOutlookItem> *node = &m_workList; node != nullptr; node = node->next) {
        auto *message = dynamic_cast<IOutlookMessage *>(node->item);
        bool sent = false, keptNew = false;
        if (message == nullptr || message->IsSent(&sent) != kNoError || !sent) continue;
        // A move the server refused keeps its mark, to be tried again.
        if (message->IsKeptNew(&keptNew) != kNoError || keptNew) continue;
        // Both marks go straight to the change record; a Commit of this copy,
        // read before the answer, would put back the server id the move replaced.
        DErrorCode err = message->SetMoved(false);
        if (err == kNoError) err = message->SetPreviousFolderID(nullptr);
        if (err != kNoError && result == kNoError) result = err;
    }
    m_workList.Free();
    return result;
}
