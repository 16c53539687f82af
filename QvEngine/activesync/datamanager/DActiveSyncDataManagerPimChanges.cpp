// The change list of a calendar, contacts or tasks Sync: the store's changed
// items (gathered into the work list) as Delete, Add and Change elements, 50
// at most; what is left goes in the next Sync. Each item is marked sent and
// written back; the store records it as synchronised (its body checksum
// above all) only once the server's answer is applied, never here.
#include <string>

#include "DActiveSyncDataManager.h"
#include "IOutlookContact.h"
#include "IOutlookMeeting.h"
#include "IOutlookTask.h"
#include "TextHelpers.h"

namespace {

const char *const kTagAdd = "0x07_0x00";
const char *const kTagChange = "0x08_0x00";
const char *const kTagDelete = "0x09_0x00";
const char *const kTagClientId = "0x0C_0x00";
const char *const kTagServerId = "0x0D_0x00";
const char *const kTagCommands = "0x16_0x00";
const char *const kTagApplicationData = "0x1D_0x00";

// The length of a new item's client id, in hexadecimal digits.
constexpr uint32_t kClientIdDigits = 32;

}  // namespace

DErrorCode DActiveSyncDataManager::GetSyncTree_ContCalTaskChangeList(WBXMLTreeNode *collection,
                                                                    DASDS_SyncDataResponse *record) {
    // The kind of the Sync in hand decides the mapping.
    uint32_t kind = 0;
    switch (mCurrASCommand) {
        case kCmdCalendarSync:
            kind = kOutlookItemAppointment;
            break;
        case kCmdContactsSync:
            kind = kOutlookItemContact;
            break;
        case kCmdTasksSync:
            kind = kOutlookItemTask;
            break;
        default:
            return activeSyncErrUnexpectedStep;
    }
    // The ApplicationData of one item by its kind.
    auto buildData = [this, kind](WBXMLTreeNode *data, IOutlookItem *item) -> DErrorCode {
        if (kind == kOutlookItemAppointment) {
            auto *meeting = dynamic_cast<IOutlookMeeting *>(item);
            return meeting != nullptr ? BuildMeetingData(data, meeting) : ASDataManagerErrInvalidDataType;
        }
        if (kind == kOutlookItemContact) {
            auto *contact = dynamic_cast<IOutlookContact *>(item);
            return contact != nullptr ? BuildContactData(data, contact) : ASDataManagerErrInvalidDataType;
        }
        auto *task = dynamic_cast<IOutlookTask *>(item);
        return task != nullptr ? BuildTaskData(data, task) : ASDataManagerErrInvalidDataType;
    };

    // 1. Commands, filled until it holds the most one request carries.
    WBXMLTreeNode *commands = nullptr;
    DErrorCode err = CreateElementNode(&commands, kTagCommands);
    if (err != kNoError) return err;
    uint32_t written = 0;
    WBXMLTreeNode *last = nullptr;
    for (DListNode<IOutlookItem> *node = &m_workList; node != nullptr && written < kMaxChangesPerRequest;
         node = node->next) {
        IOutlookItem *item = node->item;
        if (item == nullptr) continue;
        bool isNew = false, deleted = false;
        std::string id;
        err = item->IsNew(&isNew);
        if (err == kNoError) err = item->IsDeleted(&deleted);
        if (err == kNoError) err = ItemServerID(item, &id);
        if (err != kNoError) break;

        // One element, linked only once it is whole.
        WBXMLTreeNode *element = nullptr, *data = nullptr;
        if (deleted) {
            // 2. An item the server never knew needs no Delete.
            LogText("Send DELETED\n");
            if (IsUsableServerID(id)) {
                err = CreateElementNode(&element, kTagDelete);
                if (err == kNoError) err = AddTextElement(element, kTagServerId, id.c_str());
            }
        } else if (isNew) {
            // 3. The client id is the item's id until the server names it.
            LogText("Send NEW\n");
            char clientID[kClientIdDigits + 1];
            err = MakeRandomHexString(clientID, sizeof clientID, kClientIdDigits);
            if (err == kNoError) err = item->SetID(clientID);
            if (err == kNoError) err = CreateElementNode(&element, kTagAdd);
            if (err == kNoError) err = AddTextElement(element, kTagClientId, clientID);
            if (err == kNoError) err = AddElement(element, kTagApplicationData, &data);
        } else {
            // 4. A change of an item the server knows.
            LogText("Send MODIFIED\n");
            if (IsUsableServerID(id)) {
                err = CreateElementNode(&element, kTagChange);
                if (err == kNoError) err = AddTextElement(element, kTagServerId, id.c_str());
                if (err == kNoError) err = AddElement(element, kTagApplicationData, &data);
            } else {
                LogText("DActiveSyncDataManager::GetSyncTree_ContCalTaskChangeList() - changed item without server id, left out\n");
            }
        }
        // 5. Its data by kind.
        if (err == kNoError && data != nullptr) err = buildData(data, item);
        if (err == kNoError && element != nullptr) {
            err = AppendChildNode(commands, last, element);
            if (err == kNoError) {
                last = element;
                element = nullptr;
                ++written;
            }
        }
        if (element != nullptr) WbxmlDestroyNode(element);
        // 6. Whether or not it made an element.
        if (err == kNoError) err = item->SetSent(true);
        if (err == kNoError) err = item->Commit();
        if (err != kNoError) break;
    }
    // 7. A failure ends the list.
    if (err != kNoError) {
        LogCode("DActiveSyncDataManager::GetSyncTree_ContCalTaskChangeList() - doing MODIFIED/DELETED requests ERROR: ",
                err);
        WbxmlDestroyNode(commands);
        return err;
    }
    // 8. A full request leaves the rest for another Sync.
    if (written == kMaxChangesPerRequest && record != nullptr) record->SetMore(1);
    // 9. No change, no Commands.
    if (written == 0) {
        WbxmlDestroyNode(commands);
        return kNoError;
    }
    err = AppendChildNode(collection, nullptr, commands);
    if (err != kNoError) WbxmlDestroyNode(commands);
    return err;
}
