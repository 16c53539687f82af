// MoveItems answers (states 41 to 45 and 61): each Response names a message
// of the current mail folder by its old server id; a move the server took
// gives the message its new id, any other status keeps it new so that the
// move goes out again.
#include <new>
#include <string>

#include "DASDP_MoveItemResponse.h"
#include "DActiveSyncDataManager.h"
#include "DWinMobOutlookMessageCollection.h"

namespace {

// Move (page 5).
const char *const kResponse = "0x0A_0x05";
const char *const kSrcMsgId = "0x07_0x05";
const char *const kStatus = "0x0B_0x05";
const char *const kDstMsgId = "0x0C_0x05";

constexpr uint32_t kMoveStatusSuccess = 3;

}  // namespace

DErrorCode DActiveSyncDataManager::ProcessMoveItemsAnswer() {
    WBXMLTreeNode *root = m_tree->root;
    // Every Response must name its message and carry a status before any
    // message is touched.
    uint32_t count = 0;
    for (WBXMLTreeNode *node = root != nullptr ? root->children : nullptr; node != nullptr; node = node->next) {
        if (!IsNamed(node, kResponse)) continue;
        if (Child(node, kSrcMsgId) == nullptr || Child(node, kStatus) == nullptr) return ASDataManagerErrMissingData;
        ++count;
    }
    if (count == 0) return ASDataManagerErrMissingData;
    DWinMobOutlookMessageCollection *folder = nullptr;
    DErrorCode err = CurrentMailFolder(&folder);
    if (err != kNoError) return err;
    auto *record = new (std::nothrow) DASDP_MoveItemResponse;
    auto *counter = new (std::nothrow) DProgressStatusData(count, 0);
    if (record == nullptr || counter == nullptr) {
        delete record;
        delete counter;
        return generalErrMemoryError;
    }
    m_response = record;
    m_counter = counter;
    m_currStore = folder;
    m_responseList = root;
    m_currCommand = nullptr;
    m_movesDone = 0;
    err = GoTo(kDMNextMoveAnswer);
    return err != kNoError ? err : activeSyncErrWaitForCallback;
}

DErrorCode DActiveSyncDataManager::RunMoveAnswerState(uint32_t state, DErrorCode result) {
    switch (state) {
        case kDMNextMoveAnswer:
        case kDMMoveAnswerDone:
            if (result != kNoError) return result;
            return ProcessNextMoveAnswer();
        case kDMMovedMessageFound:
            return ProcessMovedMessageFound(result);
        case kDMCommitMoved:
            return CommitMovedMessage(result);
        case kDMFinishMoved:
            if (result != kNoError) return result;
            return FinishMovedMessage();
        default:
            // 45 delivers the record of any answer applied before it.
            if (result != kNoError) return result;
            ReleaseParseState();
            return Deliver();
    }
}

DErrorCode DActiveSyncDataManager::ProcessNextMoveAnswer() {
    ReleaseCurrentItem();
    if (m_responseList == nullptr) return ASDataManagerErrMissingData;
    do {
        m_currCommand = m_currCommand == nullptr ? m_responseList->children : m_currCommand->next;
    } while (m_currCommand != nullptr && !IsNamed(m_currCommand, kResponse));
    if (m_currCommand == nullptr) {
        LogNumber("DActiveSyncDataManager::ProcessNextMoveAnswer() - move answers processed : ", m_movesDone);
        if (m_movesDone != 0) LogResourceText(127);
        return GoTo(kDMDeliverMoves);
    }
    ++m_movesDone;
    if (m_counter != nullptr && m_client != nullptr) {
        m_counter->SetDone(m_movesDone);
        m_client->ActiveSyncDataManager_ReportStatus(m_counter);
    }
    const std::string source = TextOf(Child(m_currCommand, kSrcMsgId));
    if (!IsUsableServerID(source) || m_currStore == nullptr) {
        LogLine("DActiveSyncDataManager::RunTask() - did not find message (EM3) :", source.c_str());
        return GoTo(kDMMoveAnswerDone);
    }
    DErrorCode err = WaitIn(kDMMovedMessageFound);
    if (err != kNoError) return err;
    return StoreOpStarted(m_currStore->FindItemByID(source.c_str(), &m_currItem, GetSignal()));
}

DErrorCode DActiveSyncDataManager::ProcessMovedMessageFound(DErrorCode found) {
    if (found == generalErrItemNotFound || (found == kNoError && m_currItem == nullptr)) {
        LogCode("DActiveSyncDataManager::RunTask() - did not find message (EM3) :", found);
        return GoTo(kDMMoveAnswerDone);
    }
    if (found != kNoError) return found;
    LogText("DActiveSyncDataManager::RunTask() - Found the Item with Same ID(EM3)\n");
    const std::string statusText = TextOf(Child(m_currCommand, kStatus));
    const std::string destination = TextOf(Child(m_currCommand, kDstMsgId));
    uint32_t status = 0;
    const bool moved = ParseNumber(statusText, &status) && status == kMoveStatusSuccess;
    if (moved && IsUsableServerID(destination)) {
        LogLine("Exhange ID: ", destination.c_str());
        DErrorCode err = m_currItem->SetID(destination.c_str());
        // A move refused before is settled now.
        if (err == kNoError) err = m_currItem->SetKeptNew(false);
        if (err != kNoError) return err;
        // The server took a move: the push loop count starts again.
        static_cast<DASDP_MoveItemResponse *>(m_response)->SetResetLoopCounter(1);
        return GoTo(kDMCommitMoved);
    }
    LogResourceText(147);
    LogLine("ProcessMoveCommandAnswer() - Got STATUS : ", statusText.c_str());
    if (moved) LogText("ProcessMoveCommandAnswer() - no usable DstMsgId\n");
    // Kept new, the message goes out in the next MoveItems again.
    DErrorCode err = m_currItem->SetKeptNew(true);
    if (err != kNoError) return err;
    return GoTo(kDMFinishMoved);
}

DErrorCode DActiveSyncDataManager::CommitMovedMessage(DErrorCode result) {
    if (result == ASDataManagerErrItemNotSupported) return GoTo(kDMFinishMoved);
    if (result != kNoError) return result;
    DErrorCode err = m_currItem != nullptr ? m_currItem->Commit() : kNoError;
    return err != kNoError ? err : GoTo(kDMFinishMoved);
}

DErrorCode DActiveSyncDataManager::FinishMovedMessage() {
    ReleaseCurrentItem();
    LogText("--- Item End ---\n\n");
    return GoTo(kDMMoveAnswerDone);
}
