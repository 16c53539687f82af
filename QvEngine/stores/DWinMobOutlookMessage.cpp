// DWinMobOutlookMessage: construction, Init, opening and closing, the log
// lines, and the operations that go through the shadow record.
#include "DWinMobOutlookMessage.h"

#include <new>
#include <string_view>

#include "DWinMobOutlookMessageCollection.h"
#include "MAPIPropertyHelpers.h"
#include "ServerIDText.h"

namespace {

constexpr unsigned kLogLevel = 1;
const WCHAR kClassMeetingRequest[] = u"IPM.Schedule.Meeting.Request";
const WCHAR kClassNote[] = u"IPM.NOTE";

}  // namespace

DWinMobOutlookMessage::DWinMobOutlookMessage(DWinMobOutlookMessageCollection *collection, ILogProvider *log)
    : DWinMobMessagingItem(log),
      m_collection(collection),
      m_log(log),
      m_message(nullptr),
      m_orphanRecord(false),
      m_creating(false),
      m_subjectHeld(false),
      m_fromHeld(false),
      m_bodyHeld(false),
      m_bodyDirty(false),
      m_bodySize(0),
      m_recipientsLoaded(false),
      m_recipientsDirty(false),
      m_locationHeld(false),
      m_importance(1),
      m_importanceHeld(false),
      m_messageFlags(0),
      m_msgStatus(0),
      m_read(false),
      m_hasAttachments(false),
      m_unsent(false),
      m_fromDevice(false),
      m_bodyTruncated(false),
      m_remainderRequested(false),
      m_attachmentRequested(false),
      m_tagServerID(0),
      m_tagParentServerID(0),
      m_tagSendType(0),
      m_tagGlobalObjID(0),
      m_tagWhere(0) {}

DWinMobOutlookMessage::~DWinMobOutlookMessage() { Close(); }

// --- Log lines ---

void DWinMobOutlookMessage::LogText(const char *text) {
    if (m_log != nullptr) m_log->WriteString(text, kLogLevel, kLogAllCategories);
}

void DWinMobOutlookMessage::LogCode(const char *text, DErrorCode code) {
    if (m_log != nullptr) m_log->WriteStringHexLine(text, int32_t(code), kLogLevel, kLogAllCategories);
}

void DWinMobOutlookMessage::LogSubject() {
    if (m_log == nullptr || !m_subjectHeld || m_subject.GetLength() == 0) return;
    VString subject;
    if (subject.Assign(m_subject) != kNoError) return;
    subject.ConvertTo(kVStringWindows1252);  // a subject that does not convert is written as it is
    m_log->WriteString("Message \"", kLogLevel, kLogAllCategories);
    m_log->WriteVString(subject, kLogLevel, kLogAllCategories);
    m_log->WriteString("\"", kLogLevel, kLogAllCategories);
    m_log->NewLine(kLogLevel, kLogAllCategories);
}

void DWinMobOutlookMessage::LogFailure(const char *text, DErrorCode code) {
    LogSubject();
    LogCode(text, code);
}

// --- Init, Open, Close ---

DErrorCode DWinMobOutlookMessage::Init(DWinMobShadowRecord *record, const SBinary *entryID) {
    LogText("Entering DWinMobOutlookMessage::Init() Shadow-->\n");
    DErrorCode err = kNoError;
    DWinMobShadowDB *db = m_collection != nullptr ? m_collection->GetShadowDB() : nullptr;
    if (m_collection == nullptr) err = generalErrNotInitialized;
    if (err == kNoError && (record != nullptr || db != nullptr)) {
        m_record.reset(new (std::nothrow) DWinMobShadowRecord);
        if (m_record == nullptr) err = generalErrMemoryError;
    }
    if (err == kNoError && record != nullptr) {
        // Loaded again: the caller's view may be older than the database.
        err = db != nullptr ? db->GetRecordByOID(record->GetObjectID(), m_record.get()) : generalErrNotInitialized;
    } else if (err == kNoError && db != nullptr) {
        // Without a stored message the record waits for CommitNewItem; closed before it, it goes again.
        const bool orphan = entryID == nullptr || entryID->cb == 0;
        // Such a record is born marked as being written, and stays so until
        // the message is stored with its server id: what a process stopped
        // in between leaves is known as such and dropped by the next purge.
        err = db->NewRecord(m_record.get(), orphan ? kShadowFlagIgnoreChanges : 0);
        const std::vector<BYTE> &folder = m_collection->GetFolderEntryID();
        if (err == kNoError) m_orphanRecord = orphan;
        if (err == kNoError) err = m_record->SetFolderID(folder.data(), uint32_t(folder.size()));
        // A record made for a stored message names it at once.
        if (err == kNoError && !m_orphanRecord) err = m_record->SetLocalID(entryID->lpb, entryID->cb);
        if (err == kNoError) err = db->WriteRecord(m_record.get());
    }
    LogText("<--Leaving DWinMobOutlookMessage::Init() Shadow-->\n");

    if (err == kNoError && m_record != nullptr) {
        bool flag = false;
        if (m_record->IsSent(&flag) == kNoError) SetSentMark(flag);
        if (m_record->IsDeleted(&flag) == kNoError) SetDeletedMark(flag);
    }
    if (err == kNoError) {
        if (entryID != nullptr && entryID->cb > 0)
            err = SetEntryID(entryID->lpb, entryID->cb);
        else if (m_record != nullptr && !m_record->LocalID().empty())
            err = SetEntryID(m_record->LocalID());
    }
    if (err == kNoError) {
        if (HasEntryID()) {
            err = OpenMessageInFolder();
        } else {
            bool meeting = false;
            if (m_record != nullptr) m_record->IsMeetingRequest(&meeting);
            try {
                m_messageClass = meeting ? kClassMeetingRequest : kClassNote;
            } catch (const std::bad_alloc &) {
                err = generalErrMemoryError;
            }
        }
    }
    if (err == kNoError) {
        LogCode("DWinMobOutlookMessage::Init() message inited ", err);
    } else {
        LogFailure("DWinMobOutlookMessage::Init() - Failed to Init message ", err);
    }
    if (HasServerID() && m_log != nullptr) {
        m_log->WriteString("Exch ID: ", kLogLevel, kLogAllCategories);
        m_log->WriteLine(GetServerIDText().c_str(), kLogLevel, kLogAllCategories);
    }
    return err;
}

IMAPIProp *DWinMobOutlookMessage::NamedPropertySource() const {
    IMsgStore *store = m_collection != nullptr ? m_collection->GetMsgStore() : nullptr;
    if (store != nullptr) return store;
    return m_message;
}

DErrorCode DWinMobOutlookMessage::OpenMessageInFolder() {
    ReleaseMessage();
    IMsgStore *store = m_collection != nullptr ? m_collection->GetMsgStore() : nullptr;
    DErrorCode err = store == nullptr ? generalErrNotInitialized : kNoError;
    if (err == kNoError) {
        std::vector<BYTE> id = GetEntryID();
        ULONG type = 0;
        LPUNKNOWN unknown = nullptr;
        HRESULT hr = store->OpenEntry(ULONG(id.size()), reinterpret_cast<LPENTRYID>(id.data()), &IID_IMessage,
                                      MAPI_BEST_ACCESS | MAPI_MODIFY, &type, &unknown);
        if (FAILED(hr) || unknown == nullptr) {
            err = FAILED(hr) ? DErrorCode(hr) : generalErrItemNotFound;
        } else if (type != MAPI_MESSAGE) {
            unknown->Release();
            err = generalErrItemNotFound;
        } else {
            m_message = static_cast<IMessage *>(unknown);
        }
        if (err != kNoError) {
            LogFailure("DWinMobOutlookMessage::OpenMessageInFolder() - Couldn't find message ", err);
            return err;
        }
    }
    if (err == kNoError) {
        std::u16string messageClass;
        if (GetMAPIMessageStringProprty(m_message, PR_MESSAGE_CLASS_W, &messageClass, nullptr) != kNoError)
            messageClass = kClassNote;
        m_messageClass.swap(messageClass);
        ULONG value = 0;
        m_messageFlags = GetMAPIMessageULONGProprty(m_message, PR_MESSAGE_FLAGS, &value, nullptr) == kNoError ? value : 0;
        m_msgStatus = GetMAPIMessageULONGProprty(m_message, PR_MSG_STATUS, &value, nullptr) == kNoError ? value : 0;
        m_read = (m_messageFlags & MSGFLAG_READ) != 0;
        m_hasAttachments = (m_messageFlags & MSGFLAG_HASATTACH) != 0;
        m_unsent = (m_messageFlags & MSGFLAG_UNSENT) != 0;
        m_fromDevice = (m_messageFlags & MSGFLAG_FROMME) != 0;
        m_bodyTruncated = (m_msgStatus & kMsgStatusBodyTruncated) != 0;
        m_remainderRequested = (m_msgStatus & kMsgStatusRemainderRequested) != 0;
        m_attachmentRequested = (m_msgStatus & kMsgStatusAttachmentRequested) != 0;
    }
    if (err == kNoError && !m_unsent && !m_fromDevice) {
        ULONG importance = 1;
        if (GetMAPIMessageULONGProprty(m_message, PR_IMPORTANCE, &importance, nullptr) == kNoError) {
            m_importance = importance;
            m_importanceHeld = true;
        }
        ULONG tag = 0;
        std::u16string wide;
        std::string narrow;
        DErrorCode idErr = GetCustomMAPIPropertyID(kPropNameServerID, &tag);
        if (idErr == kNoError) idErr = GetMAPIMessageStringProprty(m_message, tag, &wide, nullptr);
        if (idErr == kNoError) idErr = ServerIDToNarrow(wide.c_str(), &narrow);
        if (idErr == kNoError) idErr = DWinMobMessagingItem::SetID(narrow.c_str());
        if (idErr == kNoError) {
            SetIDChanged(false);  // read, not changed
        } else {
            LogFailure("DWinMobOutlookMessage::OpenMessageInFolder() - Couldn't find ServerID ", idErr);
        }
    }
    if (err == kNoError && !HasServerID() && m_record != nullptr && m_record->HasServerID()) {
        bool deleted = false;
        m_record->IsDeleted(&deleted);
        std::string narrow;
        if (deleted && ServerIDToNarrow(m_record->GetServerID(), &narrow) == kNoError &&
            DWinMobMessagingItem::SetID(narrow.c_str()) == kNoError)
            SetIDChanged(false);
    }
    if (err != kNoError) LogFailure("DWinMobOutlookMessage::OpenMessageInFolder() - Failed ", err);
    return err;
}

DErrorCode DWinMobOutlookMessage::ReopenEntry() {
    // Only a message that was open follows its new id; a message being
    // created keeps the object it made.
    if (m_message == nullptr || m_creating) return kNoError;
    ReleaseMessage();
    if (!HasEntryID()) return kNoError;
    IMsgStore *store = m_collection != nullptr ? m_collection->GetMsgStore() : nullptr;
    if (store == nullptr) return generalErrNotInitialized;
    std::vector<BYTE> id = GetEntryID();
    ULONG type = 0;
    LPUNKNOWN unknown = nullptr;
    HRESULT hr = store->OpenEntry(ULONG(id.size()), reinterpret_cast<LPENTRYID>(id.data()), &IID_IMessage,
                                  MAPI_BEST_ACCESS | MAPI_MODIFY, &type, &unknown);
    if (FAILED(hr) || unknown == nullptr) return FAILED(hr) ? DErrorCode(hr) : generalErrItemNotFound;
    if (type != MAPI_MESSAGE) {
        unknown->Release();
        return generalErrItemNotFound;
    }
    m_message = static_cast<IMessage *>(unknown);
    return kNoError;
}

void DWinMobOutlookMessage::ReleaseMessage() {
    if (m_message != nullptr) m_message->Release();
    m_message = nullptr;
}

void DWinMobOutlookMessage::FreeFields() {
    m_subject.Clear();
    m_subjectHeld = false;
    m_from.Clear();
    m_fromHeld = false;
    m_body.Clear();
    m_bodyHeld = false;
    m_bodyDirty = false;
    m_bodySize = 0;
    m_to.clear();
    m_cc.clear();
    m_bcc.clear();
    m_recipientsLoaded = false;
    m_recipientsDirty = false;
    m_location.Clear();
    m_locationHeld = false;
    m_messageClass.clear();
    m_date = HeldTime();
    m_start = HeldTime();
    m_end = HeldTime();
    m_attachments.Free();
}

DErrorCode DWinMobOutlookMessage::DeleteOrphanRecord() {
    if (!m_orphanRecord || m_record == nullptr) return kNoError;
    m_orphanRecord = false;
    DWinMobShadowDB *db = m_collection != nullptr ? m_collection->GetShadowDB() : nullptr;
    if (db == nullptr) return generalErrNotInitialized;
    return db->DeleteRecord(m_record.get());
}

DErrorCode DWinMobOutlookMessage::Open() {
    SetOpened(true);
    return kNoError;
}

DErrorCode DWinMobOutlookMessage::Close() {
    ReleaseMessage();
    FreeFields();
    DropTempFiles();
    // A new message that never reached the store leaves no record behind.
    DErrorCode err = DeleteOrphanRecord();
    m_record.reset();
    SetOpened(false);
    return err;
}

// --- Named properties ---

DErrorCode DWinMobOutlookMessage::GetCustomMAPIPropertyID(const WCHAR *name, ULONG *tag) {
    if (name == nullptr || tag == nullptr) return generalErrInvalidParameter;
    const struct {
        const WCHAR *name;
        ULONG type;
        ULONG *cache;
    } names[] = {
        {kPropNameServerID, PT_UNICODE, &m_tagServerID},
        {kPropNameParentServerID, PT_UNICODE, &m_tagParentServerID},
        {kPropNameSendType, PT_LONG, &m_tagSendType},
        {kPropNameGlobalObjID, PT_BINARY, &m_tagGlobalObjID},
        {kPropNameWhere, PT_UNICODE, &m_tagWhere},
    };
    DErrorCode err = generalErrInvalidParameter;
    for (const auto &n : names) {
        if (std::u16string_view(n.name) != std::u16string_view(name)) continue;
        if (*n.cache != 0) {
            *tag = *n.cache;
            return kNoError;
        }
        IMAPIProp *source = NamedPropertySource();
        err = source == nullptr ? generalErrNotInitialized
                                : GetMAPIPropertyIDFromName(source, n.name, n.type, n.cache, m_log);
        if (err == kNoError) *tag = *n.cache;
        break;
    }
    if (err != kNoError) LogFailure("DWinMobOutlookMessage::GetCustomMAPIPropertyID() - Failed ", err);
    return err;
}

// --- The shadow record ---

#define QV_RECORD_OR_FAIL() \
    if (m_record == nullptr) return generalErrNotInitialized

DErrorCode DWinMobOutlookMessage::IsNew(bool *flag) {
    QV_RECORD_OR_FAIL();
    return m_record->IsNew(flag);
}
DErrorCode DWinMobOutlookMessage::SetNew(bool flag) {
    QV_RECORD_OR_FAIL();
    return m_record->SetNew(flag);
}
DErrorCode DWinMobOutlookMessage::IsDeleted(bool *flag) {
    QV_RECORD_OR_FAIL();
    return m_record->IsDeleted(flag);
}
DErrorCode DWinMobOutlookMessage::SetDeleted(bool flag) {
    QV_RECORD_OR_FAIL();
    DErrorCode err = m_record->SetDeleted(flag);
    if (err == kNoError) SetDeletedMark(flag);
    return err;
}
DErrorCode DWinMobOutlookMessage::IsSent(bool *flag) {
    QV_RECORD_OR_FAIL();
    return m_record->IsSent(flag);
}
DErrorCode DWinMobOutlookMessage::SetSent(bool flag) {
    QV_RECORD_OR_FAIL();
    DErrorCode err = m_record->SetSent(flag);
    if (err == kNoError) SetSentMark(flag);
    return err;
}
DErrorCode DWinMobOutlookMessage::IsKeptNew(bool *flag) {
    QV_RECORD_OR_FAIL();
    return m_record->IsKeepNew(flag);
}
DErrorCode DWinMobOutlookMessage::SetKeptNew(bool flag) {
    QV_RECORD_OR_FAIL();
    return m_record->SetKeepNew(flag);
}
DErrorCode DWinMobOutlookMessage::SetMeetingRequest(bool flag) {
    QV_RECORD_OR_FAIL();
    return m_record->SetMeetingRequest(flag);
}
DErrorCode DWinMobOutlookMessage::IsMeetingRequest(bool *flag) {
    QV_RECORD_OR_FAIL();
    return m_record->IsMeetingRequest(flag);
}
DErrorCode DWinMobOutlookMessage::GetMeetingResponse(uint32_t *response) {
    QV_RECORD_OR_FAIL();
    return m_record->GetMeetingResponse(response);
}
DErrorCode DWinMobOutlookMessage::SetMeetingResponse(uint32_t response) {
    QV_RECORD_OR_FAIL();
    DErrorCode err = m_record->SetMeetingResponse(response);
    // A response is pending exactly while one is set: once the server has
    // it (0), the change questions and the purge no longer hold the message.
    return err == kNoError ? m_record->SetMeetingResponsePending(response != 0) : err;
}
DErrorCode DWinMobOutlookMessage::IsReadChanged(bool *flag) {
    QV_RECORD_OR_FAIL();
    return m_record->IsReadChanged(flag);
}
DErrorCode DWinMobOutlookMessage::IsMoved(bool *flag) {
    QV_RECORD_OR_FAIL();
    return m_record->IsMoved(flag);
}
DErrorCode DWinMobOutlookMessage::SetMoved(bool flag) {
    QV_RECORD_OR_FAIL();
    return m_record->SetMoved(flag);
}

DErrorCode DWinMobOutlookMessage::IsModified(bool *flag) {
    if (flag == nullptr) return generalErrInvalidParameter;
    QV_RECORD_OR_FAIL();
    bool readChanged = false, meeting = false;
    uint32_t response = 0;
    DErrorCode err = m_record->IsReadChanged(&readChanged);
    if (err == kNoError) err = m_record->IsMeetingRequest(&meeting);
    if (err == kNoError && meeting) err = m_record->GetMeetingResponse(&response);
    if (err == kNoError) *flag = readChanged || (meeting && response != 0);
    return err;
}

DErrorCode DWinMobOutlookMessage::ResetReadStatus() {
    QV_RECORD_OR_FAIL();
    bool read = false;
    DErrorCode err = IsRead(&read);
    if (err == kNoError) err = m_record->SetRead(read);
    if (err == kNoError) err = m_record->SetReadChanged(false);
    LogText("RESET READ STATUS\n");
    return err;
}

DErrorCode DWinMobOutlookMessage::ClearModified() {
    QV_RECORD_OR_FAIL();
    bool readChanged = false, deleted = false;
    DErrorCode err = m_record->IsReadChanged(&readChanged);
    if (err == kNoError) err = m_record->IsDeleted(&deleted);
    if (err == kNoError) err = ResetReadStatus();
    if (err == kNoError) err = m_record->SetRemainderRequested(false);
    if (err == kNoError) m_remainderRequested = false;
    // Only a change of exactly one kind is done with: a message read and
    // deleted (or waiting for an attachment) keeps its change state.
    if (err == kNoError && readChanged != deleted && !m_attachmentRequested) err = m_record->ClearModified();
    return err;
}

#undef QV_RECORD_OR_FAIL
