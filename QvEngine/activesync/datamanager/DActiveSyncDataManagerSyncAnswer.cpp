// Sync answers: the answer's status, key and change lists, then each server
// change carried into the store of the command, one item at a time.
#include <cstring>
#include <map>
#include <new>
#include <vector>

#include "Base64.h"
#include "DASDP_SyncResponse.h"
#include "DActiveSyncDataManager.h"
#include "DOutlookManager.h"
#include "ICorvanePreferences.h"
#include "IOutlookContact.h"
#include "IOutlookMeeting.h"
#include "IOutlookTask.h"
#include "TimeZoneBase64.h"

namespace {

// AirSync page (0) and the calendar time zone (page 4).
const char *const kTagAdd = "0x07_0x00";
const char *const kTagChange = "0x08_0x00";
const char *const kTagDelete = "0x09_0x00";
const char *const kTagFetch = "0x0A_0x00";
const char *const kTagSyncKey = "0x0B_0x00";
const char *const kTagClientId = "0x0C_0x00";
const char *const kTagServerId = "0x0D_0x00";
const char *const kTagStatus = "0x0E_0x00";
const char *const kTagMoreAvailable = "0x14_0x00";
const char *const kTagCommands = "0x16_0x00";
const char *const kTagResponses = "0x06_0x00";
const char *const kTagApplicationData = "0x1D_0x00";
const char *const kTagSoftDelete = "0_SoftDelete";
const char *const kTagTimeZone = "0x05_0x04";

// The Sync status text of the log.
constexpr uint32_t kSyncStatusText = 87;
// Asked again once when the server answers this status.
constexpr uint32_t kSyncStatusRetry = 4;
// The record's status for a Status text that is no number (or 0).
constexpr uint32_t kSyncStatusUnreadable = 0xFFFFFFFF;

const char *const kPrefix = "DActiveSyncDataManager::RunTask() - ";

bool IsElement(WBXMLTreeNode *node) { return node != nullptr && WbxmlElementName(node) != nullptr; }

WBXMLTreeNode *FirstElement(WBXMLTreeNode *list) {
    WBXMLTreeNode *node = list != nullptr ? list->children : nullptr;
    while (node != nullptr && !IsElement(node)) node = node->next;
    return node;
}

WBXMLTreeNode *NextElement(WBXMLTreeNode *node) {
    node = node != nullptr ? node->next : nullptr;
    while (node != nullptr && !IsElement(node)) node = node->next;
    return node;
}

uint32_t CountElements(WBXMLTreeNode *list) {
    uint32_t count = 0;
    for (WBXMLTreeNode *node = FirstElement(list); node != nullptr; node = NextElement(node)) ++count;
    return count;
}

uint32_t KindOfCommand(uint32_t command) {
    switch (command) {
        case kCmdFirstEMailSync:
        case kCmdEMailSync:
            return kOutlookItemEmail;
        case kCmdFirstCalendarSync:
        case kCmdCalendarSync:
            return kOutlookItemAppointment;
        case kCmdFirstContactsSync:
        case kCmdContactsSync:
            return kOutlookItemContact;
        case kCmdFirstTasksSync:
        case kCmdTasksSync:
            return kOutlookItemTask;
        default:
            return 0;
    }
}

// A Timezone text that decodes to a whole time-zone record; any other is
// no zone at all.
bool DecodeWholeTimeZone(const std::string &text, BYTE record[kTimeZoneRecordSize]) {
    uint32_t decoded = 0;
    BYTE *bytes = Base64Decode(text.c_str(), uint32_t(text.size()), &decoded);
    const bool whole = bytes != nullptr && decoded == kTimeZoneRecordSize;
    if (whole) std::memcpy(record, bytes, kTimeZoneRecordSize);
    delete[] bytes;
    return whole;
}

// A store call that signalled its completion hands its result to the next
// step; one that failed without signalling fails the step now.
DErrorCode Started(DActiveTaskSignal *signal, DErrorCode err) {
    return err != kNoError && signal->IsReady() ? kNoError : err;
}

// The log words of the command's item kind.
struct KindWords {
    const char *noun;
    const char *mark;
};

KindWords WordsOf(uint32_t kind) {
    switch (kind) {
        case kOutlookItemAppointment:
            return {"meeting", "CAL"};
        case kOutlookItemContact:
            return {"contact", "CON"};
        case kOutlookItemTask:
            return {"task", "TSK"};
        default:
            return {"message", "EM"};
    }
}

}  // namespace

BYTE *DActiveSyncDataManager::FirstByteOfCommand() {
    switch (KindOfCommand(mCurrASCommand)) {
        case kOutlookItemEmail:
            return &m_firstEMail;
        case kOutlookItemAppointment:
            return &m_firstCalendar;
        case kOutlookItemContact:
            return &m_firstContacts;
        case kOutlookItemTask:
            return &m_firstTasks;
        default:
            return nullptr;
    }
}

void DActiveSyncDataManager::ReportChangeProgress() {
    if (m_client != nullptr && m_counter != nullptr) m_client->ActiveSyncDataManager_ReportStatus(m_counter);
}

DErrorCode DActiveSyncDataManager::ProcessSyncCommandAnswer() {
    DASDP_SyncResponse *record = nullptr;
    switch (KindOfCommand(mCurrASCommand)) {
        case kOutlookItemEmail:
            record = new (std::nothrow) DASDP_EmailSyncResponse;
            break;
        case kOutlookItemAppointment:
            record = new (std::nothrow) DASDP_CalendarSyncResponse;
            break;
        case kOutlookItemContact:
            record = new (std::nothrow) DASDP_ContactsSyncResponse;
            break;
        case kOutlookItemTask:
            record = new (std::nothrow) DASDP_TasksSyncResponse;
            break;
        default:
            LogNumber("DActiveSyncDataManager::ProcessSyncCommandAnswer() - unexpected ActiveSync command : ",
                      mCurrASCommand);
            return activeSyncErrUnexpectedStep;
    }
    if (record == nullptr) return generalErrMemoryError;
    m_response = record;
    m_counter = new (std::nothrow) DProgressStatusData(0, 0);
    if (m_counter == nullptr) return generalErrMemoryError;

    // 1. The store of the type (made on first need); an empty one takes
    // server Adds without a search.
    const uint32_t kind = KindOfCommand(mCurrASCommand);
    DErrorCode err = kind == kOutlookItemAppointment ? AllocatePimStore(kind, &m_cal)
                     : kind == kOutlookItemContact   ? AllocatePimStore(kind, &m_con)
                     : kind == kOutlookItemTask      ? AllocatePimStore(kind, &m_tsk)
                                                     : kNoError;
    if (err == kNoError) err = StoreOfCommand(&m_currStore);
    if (err != kNoError) return err;
    bool empty = false;
    err = m_currStore->IsEmpty(&empty);
    if (err != kNoError) return err;
    if (empty) *FirstByteOfCommand() = 1;

    // An empty answer to a regular Sync: nothing changed on the server, and
    // the key stays as it is.
    if (m_tree == nullptr) {
        LogText("No Changes recieved from Server.\n");
        m_retried = 0;
        record->SetStatus(1);
        err = GoTo(kDMLogChanges);
        return err != kNoError ? err : activeSyncErrWaitForCallback;
    }

    // 2, 3. The status: the first in document order.
    WBXMLTreeNode *root = m_tree->root;
    WBXMLTreeNode *statusNode = Find(root, kTagStatus);
    uint32_t status = 1;
    const DErrorCode statusErr = CheckStatus(statusNode, kSyncStatusText, &status);
    LogLine("ProcessSyncCommandAnswer() - Got STATUS : ", TextOf(statusNode).c_str());
    if (statusErr != kNoError) {
        if (status == kSyncStatusRetry && m_retried == 0) {
            LogText("Attempting to Sync Again!\n");
            m_retried = 1;
            // The engine sends the same Sync again: the record asks for
            // that and carries no refusal for the engine to judge.
            record->SetMoreAvailable(1);
            err = GoTo(kDMDeliverParsed);
            return err != kNoError ? err : activeSyncErrWaitForCallback;
        }
        // The engine judges the refusal from the record: a lost sync key or
        // hierarchy is recovered there, anything else ends the run with
        // ASDataManagerErrBadStatus.
        m_retried = 0;
        // A status that is no number must not read as success.
        record->SetStatus(status > 1 ? status : kSyncStatusUnreadable);
        err = GoTo(kDMDeliverParsed);
        return err != kNoError ? err : activeSyncErrWaitForCallback;
    }
    // The fault that made the server refuse is mended.
    m_retried = 0;
    record->SetStatus(status);

    // 4. The key: required; stored once the commands are applied, so that a
    // chain that fails half-way fetches the same changes again.
    WBXMLTreeNode *keyNode = Find(root, kTagSyncKey);
    if (TextOf(keyNode).empty()) {
        LogText("DActiveSyncDataManager::ProcessSyncCommandAnswer() - missing SyncKey\n");
        return ASDataManagerErrMissingData;
    }

    // 5. More on the server.
    if (Find(root, kTagMoreAvailable) != nullptr) {
        LogText("DActiveSyncDataManager::ProcessSyncCommandAnswer() - Detected availabality of more updates.\n");
        record->SetMoreAvailable(1);
    }

    // 6. The server's commands, the answers to the device's first.
    m_commandList = Find(root, kTagCommands);
    m_responseList = Find(root, kTagResponses);
    m_currCommand = nullptr;
    if (m_commandList == nullptr && m_responseList == nullptr) {
        LogText("No Changes recieved from Server.\n");
        err = GoTo(kDMLogChanges);
        return err != kNoError ? err : activeSyncErrWaitForCallback;
    }
    err = CheckServerCommands();
    if (err != kNoError) return err;
    record->SetResetLoopCounter(1);
    const uint32_t total = CountElements(m_responseList) + CountElements(m_commandList);
    m_counter->SetTotal(total);
    LogNumber("Recieved Changes from Server. COUNT : ", total);
    // The calendar's zone is fixed once, from the first answer that names one.
    const bool pickZone = kind == kOutlookItemAppointment && m_prefs != nullptr && !m_prefs->IsTimeZoneSet();
    err = GoTo(pickZone ? kDMPickTimeZone : kDMNextServerChange);
    return err != kNoError ? err : activeSyncErrWaitForCallback;
}

DErrorCode DActiveSyncDataManager::CheckServerCommands() {
    WBXMLTreeNode *lists[2] = {m_responseList, m_commandList};
    for (WBXMLTreeNode *list : lists) {
        for (WBXMLTreeNode *node = FirstElement(list); node != nullptr; node = NextElement(node)) {
            const bool named = IsNamed(node, kTagAdd) || IsNamed(node, kTagChange) || IsNamed(node, kTagDelete) ||
                               IsNamed(node, kTagSoftDelete) || IsNamed(node, kTagFetch);
            if (!named) continue;
            // ServerId is needed only where no ClientId names the device's item.
            if (TextOf(Child(node, kTagClientId)).empty() && TextOf(Child(node, kTagServerId)).empty()) {
                LogText("DActiveSyncDataManager::ProcessSyncCommandAnswer() - server command without ServerId\n");
                return ASDataManagerErrMissingData;
            }
        }
    }
    return kNoError;
}

DErrorCode DActiveSyncDataManager::RunSyncAnswerState(uint32_t state, DErrorCode result) {
    switch (state) {
        case kDMPickTimeZone:
            return PickMajorityTimeZone();
        case kDMNextServerChange:
            return ProcessChangeFromExchange();
        case kDMCommitItem:
            return CommitCurrentItem(result);
        case kDMMeetingExceptions:
            return RunMeetingExceptionsState(result);
        case kDMCloseItem:
            if (result != kNoError && !m_itemNotSupported) return result;
            return CloseCurrentItem();
        case kDMServerChangeDone:
            if (result != kNoError) return result;
            return ProcessChangeFromExchange();
        case kDMLogChanges: {
            // Every command is applied: the server may now forget them.
            DErrorCode err = StoreAnsweredSyncKey();
            if (err == kNoError) err = LogSyncChanges();
            return err != kNoError ? err : GoTo(kDMPurgeDeleted);
        }
        case kDMPurgeDeleted:
            if (result != kNoError) return result;
            return PurgeDeletedAfterSyncProcesssing();
        case kDMClearFlags:
            if (result != kNoError) return result;
            return ClearFlagsAfterSyncProcesssing();
        case kDMNotifyCycleDone:
            if (result != kNoError) return result;
            return NotifyManagerOfSyncCycleCompletion();
        case kDMCheckAdditional:
            if (result != kNoError) return result;
            return CheckIfNeedAdditionalSyncs();
        case kDMAdditionalChanges:
            if (result != kNoError) return result;
            return AdditionalChangesAnswered();
        case kDMDeliverParsed:
            if (result != kNoError) return result;
            ReleaseParseState();
            // The engine reports its own failures with the record.
            Deliver();
            return kNoError;
        case kDMServerDelete:
        case kDMCalendarChange:
        case kDMCalendarAdd:
        case kDMContactChange:
        case kDMContactAdd:
        case kDMTaskChange:
        case kDMTaskAdd:
        case kDMEMailChange:
        case kDMEMailAdd:
            return ItemLookedUp(state, result);
        case kDMCalendarCreated:
        case kDMContactCreated:
        case kDMTaskCreated:
        case kDMEMailCreated: {
            if (result != kNoError) return result;
            const KindWords words = WordsOf(KindOfCommand(mCurrASCommand));
            LogLine(kPrefix, (std::string("set ") + words.noun + " data").c_str());
            m_itemDataSet = 1;
            return SyncCommand_SetItemData();
        }
        default:
            LogNumber("DActiveSyncDataManager::RunTask() - unexpected state : ", state);
            return activeSyncErrUnexpectedStep;
    }
}

DErrorCode DActiveSyncDataManager::PickMajorityTimeZone() {
    // The TimeZone most commands carry; a tie goes to the first seen. A
    // text that is no whole time-zone record has no vote.
    std::vector<std::string> order;
    std::map<std::string, uint32_t> votes;
    BYTE record[kTimeZoneRecordSize];
    WBXMLTreeNode *lists[2] = {m_responseList, m_commandList};
    for (WBXMLTreeNode *list : lists) {
        for (WBXMLTreeNode *node = FirstElement(list); node != nullptr; node = NextElement(node)) {
            const std::string zone = TextOf(Find(node, kTagTimeZone));
            if (zone.empty() || (votes.count(zone) == 0 && !DecodeWholeTimeZone(zone, record))) continue;
            if (votes[zone]++ == 0) order.push_back(zone);
        }
    }
    std::string best;
    uint32_t bestVotes = 0;
    for (const std::string &zone : order) {
        if (votes[zone] > bestVotes) {
            best = zone;
            bestVotes = votes[zone];
        }
    }
    // Kept in the preferences, which marks it fixed: the calendar store
    // compares the device's zone with it when it opens.
    if (!best.empty() && DecodeWholeTimeZone(best, record)) {
        const DErrorCode err = m_prefs->SetTimeZone(record);
        if (err != kNoError) return err;
    }
    return GoTo(kDMNextServerChange);
}

DErrorCode DActiveSyncDataManager::ProcessChangeFromExchange() {
    ReleaseCurrentItem();
    m_itemDataSet = 0;
    m_itemNotSupported = false;
    // The answers to the device's changes first, then the server's commands.
    if (m_currCommand == nullptr) {
        m_currCommand = FirstElement(m_responseList);
        if (m_currCommand == nullptr) m_currCommand = FirstElement(m_commandList);
    } else {
        const bool inResponses = m_responseList != nullptr && m_currCommand->parent == m_responseList;
        m_currCommand = NextElement(m_currCommand);
        if (m_currCommand == nullptr && inResponses) m_currCommand = FirstElement(m_commandList);
    }
    if (m_currCommand == nullptr) return GoTo(kDMLogChanges);

    const uint32_t kind = KindOfCommand(mCurrASCommand);
    const bool regular = mCurrASCommand == kCmdEMailSync || mCurrASCommand == kCmdCalendarSync ||
                         mCurrASCommand == kCmdContactsSync || mCurrASCommand == kCmdTasksSync;
    auto *record = static_cast<DASDP_SyncResponse *>(m_response);
    if (m_counter != nullptr) m_counter->SetDone(m_counter->GetDone() + 1);
    const KindWords words = WordsOf(kind);
    WBXMLTreeNode *node = m_currCommand;
    const bool add = IsNamed(node, kTagAdd), change = IsNamed(node, kTagChange);
    const bool remove = IsNamed(node, kTagDelete) || IsNamed(node, kTagSoftDelete);
    const bool fetch = IsNamed(node, kTagFetch) && kind == kOutlookItemEmail;
    if (!add && !change && !remove && !fetch) {
        const char *name = WbxmlElementName(node);
        LogLine("DActiveSyncDataManager::ProcessChangeFromExchange() - unknown change token : ",
                name != nullptr ? name : "");
        ReportChangeProgress();
        return GoTo(kDMServerChangeDone);
    }
    if (!regular) {
        const char *routine = add      ? "DActiveSyncDataManager::ProcessNewItemFromExchange()"
                              : change ? "DActiveSyncDataManager::ProcessUpdatedItemFromExchange()"
                              : remove ? "DActiveSyncDataManager::ProcessRemovedItemFromExchange()"
                                       : "DActiveSyncDataManager::ProcessFetchItemFromExchange()";
        LogNumber((std::string(routine) + " - unexpected ActiveSync command : ").c_str(), mCurrASCommand);
        return activeSyncErrUnexpectedStep;
    }
    if (add) record->SetCounts(record->GetAddedCount() + 1, record->GetChangedCount(), record->GetDeletedCount());
    if (change) record->SetCounts(record->GetAddedCount(), record->GetChangedCount() + 1, record->GetDeletedCount());
    if (remove) record->SetCounts(record->GetAddedCount(), record->GetChangedCount(), record->GetDeletedCount() + 1);
    ReportChangeProgress();

    // An id the store cannot keep whole is refused for this item alone.
    const std::string serverID = TextOf(Child(node, kTagServerId));
    const std::string clientID = TextOf(Child(node, kTagClientId));
    if ((!serverID.empty() && !IsUsableServerID(serverID)) || (!clientID.empty() && !IsUsableServerID(clientID))) {
        LogText("DActiveSyncDataManager::ProcessChangeFromExchange() - item id too long, item skipped\n");
        return GoTo(kDMServerChangeDone);
    }

    const std::string noun = words.noun;
    if (add) {
        LogText(("got NEW " + noun + "\n").c_str());
        // An answer to a device Add always names an item that exists.
        const bool answersDevice = !TextOf(Child(node, kTagClientId)).empty();
        if (*FirstByteOfCommand() != 0 && !answersDevice) return CreateItemForCommand(
            kind == kOutlookItemEmail ? kDMEMailCreated : kind == kOutlookItemAppointment ? kDMCalendarCreated
            : kind == kOutlookItemContact ? kDMContactCreated : kDMTaskCreated);
        return ProcessChange_ItemFind(kind == kOutlookItemEmail         ? kDMEMailAdd
                                      : kind == kOutlookItemAppointment ? kDMCalendarAdd
                                      : kind == kOutlookItemContact     ? kDMContactAdd
                                                                        : kDMTaskAdd);
    }
    if (change) {
        LogText(("got UPDATED " + noun + "\n").c_str());
        return ProcessChange_ItemFind(kind == kOutlookItemEmail         ? kDMEMailChange
                                      : kind == kOutlookItemAppointment ? kDMCalendarChange
                                      : kind == kOutlookItemContact     ? kDMContactChange
                                                                        : kDMTaskChange);
    }
    if (remove) {
        LogText(("got DELETED " + noun + "\n").c_str());
        return ProcessChange_ItemFind(kDMServerDelete);
    }
    LogText("got REMAINDER message\n");
    return ProcessChange_ItemFind(kDMEMailAdd);
}

DErrorCode DActiveSyncDataManager::ProcessChange_ItemFind(uint32_t nextState) {
    if (KindOfCommand(mCurrASCommand) == 0) {
        LogNumber("DActiveSyncDataManager::ProcessChange_ItemFind() - unexpected ActiveSync command : ",
                  mCurrASCommand);
        return activeSyncErrUnexpectedStep;
    }
    // The answer to a device Add names the device's item by its ClientId
    // and may carry no ServerId at all (a refused Add).
    std::string id = TextOf(Child(m_currCommand, kTagClientId));
    if (id.empty()) id = TextOf(Child(m_currCommand, kTagServerId));
    if (id.empty()) {
        LogText("DActiveSyncDataManager::ProcessChange_ItemFind() - missing ServerId\n");
        return ASDataManagerErrMissingData;
    }
    if (m_currStore == nullptr) return generalErrNotInitialized;
    DErrorCode err = WaitIn(nextState);
    if (err != kNoError) return err;
    IOutlookItem *found = nullptr;
    err = m_currStore->FindItemByID(id.c_str(), &found, GetSignal());
    m_currItem = found;
    return Started(GetSignal(), err);
}

DErrorCode DActiveSyncDataManager::ProcessChange_DeleteItem() {
    if (KindOfCommand(mCurrASCommand) == 0) {
        LogNumber("DActiveSyncDataManager::ProcessChange_DeleteItem() - unexpected ActiveSync command : ",
                  mCurrASCommand);
        return activeSyncErrUnexpectedStep;
    }
    if (m_currStore == nullptr || m_currItem == nullptr) return generalErrNotInitialized;
    DErrorCode err = WaitIn(kDMServerChangeDone);
    if (err != kNoError) return err;
    return Started(GetSignal(), m_currStore->DeleteItem(m_currItem, GetSignal()));
}

DErrorCode DActiveSyncDataManager::ItemLookedUp(uint32_t state, DErrorCode found) {
    // Only "not found" is an answer; any other failure ends the chain.
    if (found != kNoError && found != generalErrItemNotFound) return found;
    const bool notFound = found != kNoError || m_currItem == nullptr;
    const KindWords words = WordsOf(KindOfCommand(mCurrASCommand));
    const std::string mark = words.mark;
    if (state == kDMServerDelete) {
        if (notFound) {
            LogCode("DActiveSyncDataManager::RunTask() - did not find item (D) :", generalErrItemNotFound);
            return GoTo(kDMServerChangeDone);
        }
        LogLine(kPrefix, "found item (D)");
        return ProcessChange_DeleteItem();
    }
    const bool change = state == kDMCalendarChange || state == kDMContactChange || state == kDMTaskChange ||
                        state == kDMEMailChange;
    const uint32_t created = state <= kDMCalendarCreated   ? kDMCalendarCreated
                             : state <= kDMContactCreated  ? kDMContactCreated
                             : state <= kDMTaskCreated     ? kDMTaskCreated
                                                           : kDMEMailCreated;
    if (!notFound) {
        LogLine(kPrefix, ("Found the Item with Same ID(" + mark + (change ? "1" : "2") + ")").c_str());
        return SyncCommand_SetItemData();
    }
    if (change) {
        LogCode((std::string(kPrefix) + "did not find " + words.noun + " (" + mark + ") :").c_str(),
                generalErrItemNotFound);
        // A changed meeting the device lost is made again.
        if (state == kDMCalendarChange) return CreateItemForCommand(created);
        return GoTo(kDMServerChangeDone);
    }
    // The answer to a device Add whose item is gone has no data to make one of.
    if (!TextOf(Child(m_currCommand, kTagClientId)).empty()) {
        LogText("DActiveSyncDataManager::RunTask() - device item of the answer not found, skipped\n");
        return GoTo(kDMServerChangeDone);
    }
    LogLine(kPrefix, ("create new " + std::string(words.noun)).c_str());
    return CreateItemForCommand(created);
}

DErrorCode DActiveSyncDataManager::CreateItemForCommand(uint32_t createdState) {
    const uint32_t kind = KindOfCommand(mCurrASCommand);
    if (kind == 0) return activeSyncErrUnexpectedStep;
    if (m_currStore == nullptr) return generalErrNotInitialized;
    ReleaseCurrentItem();
    DErrorCode err = WaitIn(createdState);
    if (err != kNoError) return err;
    IOutlookItem *made = nullptr;
    err = m_currStore->CreateNewItem(kind, &made, GetSignal());
    m_currItem = made;
    return Started(GetSignal(), err);
}

DErrorCode DActiveSyncDataManager::SyncCommand_SetItemData() {
    if (m_currItem == nullptr) return generalErrNotInitialized;
    WBXMLTreeNode *node = m_currCommand;
    // 1. The item's own status: a refused item goes to the server again.
    const std::string statusText = TextOf(Child(node, kTagStatus));
    uint32_t status = 1;
    bool bad = false;
    if (!statusText.empty() && ParseNumber(statusText, &status))
        bad = (status >= 2 && status <= 6) || (status >= 8 && status <= 11);
    if (bad) {
        LogLine("*Item Node received with Status : ", statusText.c_str());
        std::string id = TextOf(Child(node, kTagClientId));
        if (id.empty()) id = TextOf(Child(node, kTagServerId));
        LogLine("*Item : ", id.c_str());
        if (auto *meeting = dynamic_cast<IOutlookMeeting *>(m_currItem)) LogRejectedMeeting(meeting);
        if (auto *contact = dynamic_cast<IOutlookContact *>(m_currItem)) LogRejectedContact(contact);
        if (auto *task = dynamic_cast<IOutlookTask *>(m_currItem)) LogRejectedTask(task);
    }
    // 2. Marked sent; kept new when refused.
    DErrorCode err = m_currItem->SetSent(true);
    if (err == kNoError && bad) err = m_currItem->SetKeptNew(true);
    if (err != kNoError) return err;
    if (bad) return GoTo(kDMCommitItem);

    // 3. The server id; the answer to a device Add only stores it.
    const std::string serverID = TextOf(Child(node, kTagServerId));
    if (!serverID.empty()) err = m_currItem->SetID(serverID.c_str());
    if (err != kNoError) return err;
    if (!TextOf(Child(node, kTagClientId)).empty()) {
        err = m_currItem->SetNew(false);
        return err != kNoError ? err : GoTo(kDMCommitItem);
    }
    m_meetingException = nullptr;
    err = ApplyServerData(m_currItem, node);
    // 4. An item its mapping cannot take is closed without a commit.
    if (err == ASDataManagerErrItemNotSupported) {
        m_itemNotSupported = true;
        return GoTo(kDMCloseItem);
    }
    if (err != kNoError) return err;
    // A recurring meeting's exceptions come first, one per step.
    return GoTo(m_meetingException != nullptr ? kDMMeetingExceptions : kDMCommitItem);
}

DErrorCode DActiveSyncDataManager::CommitCurrentItem(DErrorCode result) {
    if (result == ASDataManagerErrItemNotSupported) {
        m_itemNotSupported = true;
        return GoTo(kDMCloseItem);
    }
    if (result != kNoError) return result;
    if (m_currItem == nullptr) return generalErrNotInitialized;
    bool keptNew = false;
    DErrorCode err = m_currItem->IsKeptNew(&keptNew);
    if (err == kNoError) err = m_currItem->ClearModified();
    if (err != kNoError) return err;
    if (m_itemDataSet != 0) {
        // Made in this Sync: created in the store.
        err = m_currItem->SetSent(false);
        if (err == kNoError) err = WaitIn(kDMCloseItem);
        if (err != kNoError) return err;
        return Started(GetSignal(), m_currItem->CommitNewItem(GetSignal()));
    }
    err = m_currItem->Commit();
    return err != kNoError ? err : GoTo(kDMCloseItem);
}

DErrorCode DActiveSyncDataManager::CloseCurrentItem() {
    ReleaseCurrentItem();
    m_itemNotSupported = false;
    LogText("--- Item End ---\n\n");
    return GoTo(kDMServerChangeDone);
}
