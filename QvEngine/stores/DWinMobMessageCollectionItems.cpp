// The message folder collection's messages: fetching them over their shadow
// records, creating, deleting and finding them, and moving sent mail to
// Sent Items.
#include <new>

#include "DWinMobOutlookMessage.h"
#include "DWinMobOutlookMessageCollection.h"
#include "MailStoreCalls.h"
#include "ServerIDText.h"

namespace {

void Complete(DActiveTaskSignal *request, DErrorCode code) {
    if (request != nullptr) request->Signal(code);
}

// A record that stands for a stored one (not unset, new or deleted).
bool IsStoredRecord(const DWinMobShadowRecord *record) {
    if (record == nullptr) return false;
    const CEOID oid = record->GetObjectID();
    return oid != 0 && oid != kShadowOidNone && oid != kShadowOidNew && oid != kShadowOidDeleted;
}

// Deletes the message's own record object, so that the message knows it is
// gone and does not delete it again when it closes. Gone already is done.
DErrorCode DeleteMessageRecord(DWinMobShadowDB *shadow, DWinMobOutlookMessage *message) {
    DWinMobShadowRecord *record = message->GetShadowRecord();
    if (shadow == nullptr || !IsStoredRecord(record)) return kNoError;
    DErrorCode err = shadow->DeleteRecord(record);
    return err == generalErrItemNotFound ? kNoError : err;
}

}  // namespace

DErrorCode DWinMobOutlookMessageCollection::MessageFromRecord(DWinMobShadowRecord *record, IOutlookItem **item) {
    DWinMobOutlookMessage *message = new (std::nothrow) DWinMobOutlookMessage(this, m_log);
    if (message == nullptr) return generalErrMemoryError;
    // No entry id given: the message takes its record's local id.
    DErrorCode err = message->Init(record, nullptr);
    if (err != kNoError) {
        delete message;
        return err;
    }
    *item = message;
    return kNoError;
}

DErrorCode DWinMobOutlookMessageCollection::GetItem(uint32_t index, IOutlookItem **item) {
    if (item == nullptr) return generalErrInvalidParameter;
    *item = nullptr;
    LogText("Entering DWinMobOutlookMessageCollection::GetItem()----->\n");
    DWinMobShadowRecord record;
    DErrorCode err = m_shadow != nullptr ? FolderRecordAt(index, &record) : generalErrNotImplemented;
    if (err == generalErrIndexOutOfRange)
        LogCount("DWinMobOutlookMessageCollection::GetItem() - Requested msg index is too large ", index);
    if (err == kNoError) err = MessageFromRecord(&record, item);
    if (err != kNoError) LogCode("DWinMobOutlookMessageCollection::GetItem() - Couldn't get item ", err);
    LogText("<----- Leaving DWinMobOutlookMessageCollection::GetItem().\n");
    return err;
}

DErrorCode DWinMobOutlookMessageCollection::FolderRecordAt(uint32_t index, DWinMobShadowRecord *record) {
    const std::vector<BYTE> &folder = GetFolderEntryID();
    uint32_t next = 0, position = 0;
    if (index >= m_walkNext && m_walkNext > 0) {
        DWinMobShadowRecord last;
        if (m_shadow->GetRecordAt(m_walkPosition - 1, &last) == kNoError && last.GetObjectID() == m_walkOid) {
            next = m_walkNext;
            position = m_walkPosition;
        }
    }
    m_walkNext = 0;
    for (;; ++next) {
        bool found = false;
        DErrorCode err = m_shadow->NextInFolder(folder, &position, record, &found);
        if (err != kNoError) return err;
        if (!found) return generalErrIndexOutOfRange;
        if (next == index) break;
    }
    m_walkNext = index + 1;
    m_walkPosition = position;
    m_walkOid = record->GetObjectID();
    return kNoError;
}

DErrorCode DWinMobOutlookMessageCollection::GetItemByID(const char *serverID, IOutlookItem **item) {
    if (serverID == nullptr || item == nullptr) return generalErrInvalidParameter;
    *item = nullptr;
    LogText("Entering DWinMobOutlookMessageCollection::GetItemByID()----->\n");
    uint32_t count = 0;
    DErrorCode err = m_shadow != nullptr ? GetCount(&count) : generalErrItemNotFound;
    std::u16string wanted;
    if (err == kNoError) err = count == 0 ? generalErrItemNotFound : ServerIDToWide(serverID, &wanted);
    if (err == kNoError) {
        DWinMobShadowRecord record;
        uint32_t position = 0;
        bool found = false;
        for (;;) {
            err = m_shadow->NextInFolder(GetFolderEntryID(), &position, &record, &found);
            if (err != kNoError || !found) break;
            if (record.HasServerID() && wanted == record.GetServerID()) break;
        }
        if (err == kNoError) err = found ? MessageFromRecord(&record, item) : generalErrItemNotFound;
    }
    if (err != kNoError) LogCode("DWinMobOutlookMessageCollection::GetItemByID() - Couldn't get item ", err);
    LogText("<----- Leaving DWinMobOutlookMessageCollection::GetItemByID().\n");
    return err;
}

DErrorCode DWinMobOutlookMessageCollection::FindItemByID(const char *serverID, IOutlookItem **item,
                                                         DActiveTaskSignal *completion) {
    DErrorCode err = GetItemByID(serverID, item);
    Complete(completion, err);
    // Not found is an answer, told through the completion.
    return err == generalErrItemNotFound ? kNoError : err;
}

DErrorCode DWinMobOutlookMessageCollection::SetupNewMessageObject(DWinMobOutlookMessage **message) {
    *message = new (std::nothrow) DWinMobOutlookMessage(this, m_log);
    if (*message == nullptr) {
        LogCode("DWinMobOutlookMessageCollection::SetupNewMessageObject() - failed to allocate memory for pMessage ",
                generalErrMemoryError);
        return generalErrMemoryError;
    }
    // Without a record the message makes its own in this folder.
    DErrorCode err = (*message)->Init(nullptr, nullptr);
    if (err != kNoError) {
        delete *message;
        *message = nullptr;
    }
    return err;
}

DErrorCode DWinMobOutlookMessageCollection::CreateNewItem(uint32_t kind, IOutlookItem **item,
                                                          DActiveTaskSignal *completion) {
    if (item == nullptr) {
        Complete(completion, generalErrInvalidParameter);
        return generalErrInvalidParameter;
    }
    *item = nullptr;
    DErrorCode err = kNoError;
    if (kind == kOutlookItemEmail) {
        DWinMobOutlookMessage *message = nullptr;
        err = SetupNewMessageObject(&message);
        if (err == kNoError) {
            message->SetOpened(true);
            message->SetIDChanged(true);
            *item = message;
        }
    } else if (kind == 1) {
        err = messageManagerErrUnsupportedType;
    }
    if (err != kNoError) LogCode("DWinMobOutlookMessageCollection::CreateNewItem() - Couldn't create new item ", err);
    Complete(completion, err);
    return err;
}

DErrorCode DWinMobOutlookMessageCollection::DeleteItem(IOutlookItem *item, DActiveTaskSignal *completion) {
    DWinMobOutlookMessage *message = dynamic_cast<DWinMobOutlookMessage *>(item);
    DErrorCode err = message != nullptr ? kNoError : generalErrInvalidParameter;
    // A message never created in the store has no entry id: only its record goes.
    if (err == kNoError && message->HasEntryID()) {
        std::vector<std::vector<BYTE>> ids;
        try {
            ids.push_back(message->GetEntryID());
        } catch (const std::bad_alloc &) {
            err = generalErrMemoryError;
        }
        if (err == kNoError) err = DeleteMessages(ids);
        // Gone already (the user deleted it): the record still goes.
        if (err == DErrorCode(MAPI_E_NOT_FOUND)) err = kNoError;
    }
    if (err == kNoError) err = DeleteMessageRecord(m_shadow, message);
    if (err != kNoError) LogCode("DWinMobOutlookMessageCollection::DeleteItem() - Failed to delete item ", err);
    Complete(completion, kNoError);
    return err;
}

DErrorCode DWinMobOutlookMessageCollection::MoveToSentItems(IOutlookMessage *item, DActiveTaskSignal *completion) {
    DWinMobOutlookMessage *message = dynamic_cast<DWinMobOutlookMessage *>(item);
    DErrorCode err = message != nullptr && message->HasEntryID() ? OpenFolder() : generalErrInvalidParameter;
    std::vector<BYTE> sentID;
    if (err == kNoError) {
        HRESULT hr = MailGetBinary(m_store, PR_IPM_SENTMAIL_ENTRYID, &sentID);
        if (hr != S_OK) {
            err = DErrorCode(hr);
            LogCode("DWinMobOutlookMessageCollection::MoveToSentItems() - Failed to find Sent Items folder ", err);
        }
    }
    IMAPIFolder *sent = nullptr;
    if (err == kNoError) {
        HRESULT hr = MailOpenFolder(m_store, sentID, &sent);
        if (hr != S_OK) {
            err = DErrorCode(hr);
            LogCode("DWinMobOutlookMessageCollection::MoveToSentItems() - Failed to find Open Sent Items folder ",
                    err);
        }
    }
    if (err == kNoError) {
        const std::vector<BYTE> &id = message->GetEntryID();
        SBinary entry{ULONG(id.size()), const_cast<BYTE *>(id.data())};
        ENTRYLIST list{1, &entry};
        HRESULT hr = m_folder->CopyMessages(&list, nullptr, sent, 0, nullptr, MESSAGE_MOVE);
        if (FAILED(hr)) err = DErrorCode(hr);
    }
    if (sent != nullptr) sent->Release();
    // Sent Items keeps no shadow records.
    if (err == kNoError) err = DeleteMessageRecord(m_shadow, message);
    if (err != kNoError) LogCode("DWinMobOutlookMessageCollection::MoveToSentItems() - Failed to move item ", err);
    Complete(completion, kNoError);
    return err;
}

DErrorCode DWinMobOutlookMessageCollection::DeleteShadowRecords() {
    if (m_shadow == nullptr) return kNoError;
    uint32_t position = 0;
    for (;;) {
        DWinMobShadowRecord record;
        bool found = false;
        DErrorCode err = m_shadow->NextInFolder(GetFolderEntryID(), &position, &record, &found);
        if (err != kNoError) return err;
        if (!found) return kNoError;
        err = m_shadow->DeleteRecord(&record);
        if (err != kNoError && err != generalErrItemNotFound) return err;
        // The records behind moved up one place: go on from the same position.
        --position;
    }
}
