// DWinMobOutlookMessage: writing a message into the store (Commit,
// CommitNewItem) with its body, properties, recipients and new attachment
// records.
#include <algorithm>
#include <cstring>
#include <new>

#include "DWinMobOutlookMessage.h"
#include "DWinMobOutlookMessageCollection.h"
#include "MAPIPropertyHelpers.h"
#include "MessageText.h"
#include "MessageTime.h"
#include "ServerIDText.h"

namespace {

constexpr unsigned kLogLevel = 1;
// Characters of the body written per stream write.
constexpr size_t kBodyChunkChars = 4096;
const WCHAR kClassMeetingRequest[] = u"IPM.Schedule.Meeting.Request";
const WCHAR kClassNote[] = u"IPM.NOTE";

// The global object id every meeting-request message carries.
const BYTE kMeetingGlobalObjID[56] = {
    0x04, 0x00, 0x00, 0x00, 0x82, 0x00, 0xE0, 0x00, 0x74, 0xC5, 0xB7, 0x10, 0x1A, 0x82, 0xE0, 0x08,  // class id
    0x00, 0x00, 0x00, 0x00,                                                                          //
    0x70, 0xE0, 0x40, 0xE5, 0x95, 0x94, 0xC6, 0x01,                                                  //
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,                                                  //
    0x10, 0x00, 0x00, 0x00,                                                                          // length 16
    0xB2, 0x17, 0x84, 0xE2, 0xAE, 0x7B, 0xDE, 0x43, 0x87, 0xAA, 0xB6, 0x32, 0xED, 0x4E, 0x9C, 0x03,
};

SPropValue LongProp(ULONG tag, ULONG value) {
    SPropValue p = {};
    p.ulPropTag = tag;
    p.Value.ul = value;
    return p;
}

SPropValue BoolProp(ULONG tag, bool value) {
    SPropValue p = {};
    p.ulPropTag = tag;
    p.Value.b = value ? 1 : 0;
    return p;
}

// The text must outlive the property array.
SPropValue TextProp(ULONG tag, const std::u16string &text) {
    SPropValue p = {};
    p.ulPropTag = tag;
    p.Value.lpszW = const_cast<WCHAR *>(text.c_str());
    return p;
}

SPropValue TimeProp(ULONG tag, const FILETIME &time) {
    SPropValue p = {};
    p.ulPropTag = tag;
    p.Value.ft = time;
    return p;
}

}  // namespace

DErrorCode DWinMobOutlookMessage::SetPropsLogged(std::vector<SPropValue> &props, const char *who) {
    if (props.empty()) return kNoError;
    LPSPropProblemArray problems = nullptr;
    HRESULT hr = m_message->SetProps(ULONG(props.size()), props.data(), &problems);
    DErrorCode err = FAILED(hr) ? DErrorCode(hr) : kNoError;
    if (err == kNoError && problems != nullptr && problems->cProblem > 0) {
        LogSubject();
        for (ULONG i = 0; i < problems->cProblem; ++i) {
            LogCode(who, uint32_t(problems->aProblem[i].scode));
            LogCode("Property: ", problems->aProblem[i].ulPropTag);
        }
        err = generalErrUnknownError;
    }
    MAPIFreeBuffer(problems);
    return err;
}

// --- CommitNewItem ---

DErrorCode DWinMobOutlookMessage::SetInitialMAPIProps() {
    std::vector<SPropValue> props;
    FILETIME date = {};
    try {
        props.push_back(LongProp(PR_IMPORTANCE, m_importance <= 2 ? m_importance : 1));
        // PR_OBJECT_TYPE is the store's own (a message is MAPI_MESSAGE): it refuses a write of it.
        props.push_back(LongProp(PR_MESSAGE_FLAGS, MSGFLAG_UNMODIFIED));
        props.push_back(LongProp(PR_MSG_STATUS, 0x20000));
        if (m_date.held && MessageTimeToFileTime(m_date.value, &date) == kNoError)
            props.push_back(TimeProp(PR_MESSAGE_DELIVERY_TIME, date));
    } catch (const std::bad_alloc &) {
        return generalErrMemoryError;
    }
    DErrorCode err =
        SetPropsLogged(props, "DWinMobOutlookMessage::SetInitialMAPIProps() - Failure to set props with code ");
    if (err == kNoError) {
        m_messageFlags = MSGFLAG_UNMODIFIED;
        m_msgStatus = 0x20000;
    }
    return err;
}

DErrorCode DWinMobOutlookMessage::CommitNewItem(DActiveTaskSignal *completion) {
    // A new message is normal unless the server said otherwise.
    if (!m_importanceHeld) m_importance = 1;
    DErrorCode err = kNoError;
    if (HasEntryID()) {
        err = Commit();
        if (completion != nullptr) completion->Signal(err);
        return err;
    }
    LogSubject();
    if (m_record != nullptr) m_record->SetIgnoringChanges(true);
    IMAPIFolder *folder = m_collection != nullptr ? m_collection->GetMAPIFolder() : nullptr;
    LPMESSAGE created = nullptr;
    HRESULT hr = S_OK;
    if (folder == nullptr)
        err = generalErrNotInitialized;
    else if (FAILED(hr = folder->CreateMessage(&IID_IMessage, 0, &created)) || created == nullptr)
        err = FAILED(hr) ? DErrorCode(hr) : generalErrUnknownError;
    if (err != kNoError) {
        LogFailure("DWinMobOutlookMessage::CommitNewItem() - Failed to set create newmessage ", err);
    } else {
        ReleaseMessage();
        m_message = created;
    }
    std::vector<BYTE> entryID;
    if (err == kNoError) {
        SizedSPropTagArray(1, tags) = {1, {PR_ENTRYID}};
        ULONG count = 0;
        LPSPropValue values = nullptr;
        hr = m_message->GetProps(reinterpret_cast<LPSPropTagArray>(&tags), 0, &count, &values);
        if (FAILED(hr)) {
            err = DErrorCode(hr);
        } else if (values == nullptr || count != 1 || values[0].ulPropTag != PR_ENTRYID ||
                   values[0].Value.bin.cb == 0) {
            err = generalErrItemNotFound;
        } else {
            try {
                entryID.assign(values[0].Value.bin.lpb, values[0].Value.bin.lpb + values[0].Value.bin.cb);
            } catch (const std::bad_alloc &) {
                err = generalErrMemoryError;
            }
        }
        MAPIFreeBuffer(values);
        if (err != kNoError) LogFailure("DWinMobOutlookMessage::CommitNewItem() - Couldn't get message ID ", err);
    }
    if (err == kNoError) {
        m_creating = true;
        err = SetEntryID(entryID);
        m_creating = false;
    }
    if (err == kNoError && m_record != nullptr) err = m_record->SetLocalID(entryID.data(), uint32_t(entryID.size()));
    // The record names the new message at once, so that the remains of a
    // process stopped before the message is whole can be found and removed.
    if (err == kNoError && m_record != nullptr) {
        DWinMobShadowDB *db = m_collection != nullptr ? m_collection->GetShadowDB() : nullptr;
        err = db != nullptr ? db->WriteRecord(m_record.get()) : generalErrNotInitialized;
    }
    if (err == kNoError) err = SetInitialMAPIProps();
    // The writing mark stays until Commit has stored the server id.
    if (err != kNoError) {
        LogFailure("DWinMobOutlookMessage::CommitNewItem() - Failed to commit NEW message ", err);
    } else {
        err = Commit();
    }
    if (err == kNoError) {
        m_orphanRecord = false;
    } else if (m_message != nullptr && !entryID.empty()) {
        // The store keeps a message from its creation on: a failed one is
        // removed again, so that no message stays without its record.
        ReleaseMessage();
        SBinary id = {ULONG(entryID.size()), entryID.data()};
        ENTRYLIST list = {1, &id};
        folder->DeleteMessages(&list, 0, nullptr, 0);
        m_creating = true;
        SetEntryID(nullptr, 0);
        m_creating = false;
        if (m_record != nullptr) m_record->SetLocalID(nullptr, 0);
    }
    if (completion != nullptr) completion->Signal(err);
    return err;
}

// --- Commit ---

DErrorCode DWinMobOutlookMessage::Commit() {
    LogText("Entering DWinMobOutlookMessage::Commit()->\n");
    LogSubject();
    DErrorCode err = kNoError;
    if (m_message != nullptr) {
        if (m_record != nullptr) m_record->SetIgnoringChanges(true);
        err = SetAllMAPIProperties();
        if (err == kNoError) {
            HRESULT hr = m_message->SaveChanges(KEEP_OPEN_READWRITE);
            if (FAILED(hr)) err = DErrorCode(hr);
        }
        if (err == kNoError && m_record != nullptr && HasServerID()) {
            std::u16string wide;
            err = ServerIDToWide(GetServerIDText().c_str(), &wide);
            if (err == kNoError) err = m_record->SetServerID(wide.c_str());
        }
    }
    if (err == kNoError && m_record != nullptr) {
        DWinMobShadowDB *db = m_collection != nullptr ? m_collection->GetShadowDB() : nullptr;
        err = db != nullptr ? db->WriteRecord(m_record.get()) : generalErrNotInitialized;
    }
    // Cleared only once the record holds the saved message's server id; a
    // failed write stays marked for the purge to mend.
    if (err == kNoError && m_message != nullptr && m_record != nullptr) err = m_record->SetIgnoringChanges(false);
    if (err != kNoError) LogFailure("DWinMobOutlookMessage::Commit() - Failed to commit message ", err);
    if (m_log != nullptr) m_log->WriteLine("<-DWinMobOutlookMessage::Commit() Leaving", kLogLevel, kLogAllCategories);
    return err;
}

DErrorCode DWinMobOutlookMessage::WriteBody() {
    std::u16string text;
    DErrorCode err = MessageTextToWide(m_body, &text);
    if (err != kNoError) return err;
    // The written copy carries the line end of a truncated body; the held
    // body stays as it came, so each write adds it once.
    if (m_bodyTruncated) {
        try {
            text += u"\r\n";
        } catch (const std::bad_alloc &) {
            return generalErrMemoryError;
        }
    }
    LPUNKNOWN unknown = nullptr;
    HRESULT hr = m_message->OpenProperty(PR_BODY_W, &IID_IStream, STGM_CREATE | STGM_WRITE, MAPI_CREATE | MAPI_MODIFY,
                                         &unknown);
    if (FAILED(hr) || unknown == nullptr) return FAILED(hr) ? DErrorCode(hr) : generalErrUnknownError;
    IStream *stream = static_cast<IStream *>(unknown);
    for (size_t at = 0; at < text.size() && err == kNoError;) {
        const size_t chars = std::min(kBodyChunkChars, text.size() - at);
        ULONG written = 0;
        hr = stream->Write(text.data() + at, ULONG(chars * sizeof(WCHAR)), &written);
        if (FAILED(hr))
            err = DErrorCode(hr);
        else if (written != chars * sizeof(WCHAR))
            err = DErrorCode(STG_E_MEDIUMFULL);
        at += chars;
    }
    if (err == kNoError) {
        hr = stream->Commit(STGC_DEFAULT);
        if (FAILED(hr)) err = DErrorCode(hr);
    }
    stream->Release();
    if (err == kNoError) m_bodyDirty = false;
    return err;
}

DErrorCode DWinMobOutlookMessage::SetAllMAPIProperties() {
    DErrorCode err = kNoError;
    if (m_bodyHeld && m_bodyDirty) err = WriteBody();
    if (err != kNoError) {
        LogFailure("DWinMobOutlookMessage::SetAllMAPIProperties() - Failed to write body ", err);
        return err;
    }

    bool meeting = false;
    if (m_record != nullptr) m_record->IsMeetingRequest(&meeting);
    // The texts the property array points into.
    std::u16string serverID, subject, from, where;
    std::vector<SPropValue> props;
    ULONG messageFlags = 0, msgStatus = 0;
    try {
        m_messageClass = meeting ? kClassMeetingRequest : kClassNote;
        props.push_back(TextProp(PR_MESSAGE_CLASS_W, m_messageClass));
        ULONG tag = 0;
        if (HasServerID()) {
            err = GetCustomMAPIPropertyID(kPropNameServerID, &tag);
            if (err == kNoError) err = ServerIDToWide(GetServerIDText().c_str(), &serverID);
            if (err == kNoError) props.push_back(TextProp(tag, serverID));
        }
        if (err == kNoError && m_subjectHeld) {
            err = MessageTextToWide(m_subject, &subject);
            if (err == kNoError) props.push_back(TextProp(PR_SUBJECT_W, subject));
        }
        if (err == kNoError && m_fromHeld) {
            err = MessageTextToWide(m_from, &from);
            if (err == kNoError) props.push_back(TextProp(PR_SENDER_EMAIL_ADDRESS_W, from));
        }
        if (err == kNoError) {
            props.push_back(LongProp(PR_IMPORTANCE, m_importance <= 2 ? m_importance : 1));
            props.push_back(BoolProp(PR_HASATTACH, m_hasAttachments));
        }
        FILETIME time = {};
        if (err == kNoError && m_date.held && MessageTimeToFileTime(m_date.value, &time) == kNoError)
            props.push_back(TimeProp(PR_MESSAGE_DELIVERY_TIME, time));
        if (err == kNoError && meeting) {
            if (m_start.held && MessageTimeToFileTime(m_start.value, &time) == kNoError)
                props.push_back(TimeProp(PR_START_DATE, time));
            if (m_end.held && MessageTimeToFileTime(m_end.value, &time) == kNoError)
                props.push_back(TimeProp(PR_END_DATE, time));
            if (m_locationHeld) {
                err = GetCustomMAPIPropertyID(kPropNameWhere, &tag);
                if (err == kNoError) err = MessageTextToWide(m_location, &where);
                if (err == kNoError) props.push_back(TextProp(tag, where));
            }
            if (err == kNoError) {
                props.push_back(BoolProp(PR_RESPONSE_REQUESTED, true));
                err = GetCustomMAPIPropertyID(kPropNameGlobalObjID, &tag);
            }
            if (err == kNoError) {
                SPropValue p = {};
                p.ulPropTag = tag;
                p.Value.bin.cb = sizeof(kMeetingGlobalObjID);
                p.Value.bin.lpb = const_cast<BYTE *>(kMeetingGlobalObjID);
                props.push_back(p);
            }
        }
        messageFlags = (m_messageFlags & ~ULONG(MSGFLAG_READ | MSGFLAG_HASATTACH)) | (m_read ? MSGFLAG_READ : 0) |
                       (m_hasAttachments ? MSGFLAG_HASATTACH : 0);
        msgStatus = (m_msgStatus & ~(kMsgStatusBodyTruncated | kMsgStatusRemainderRequested |
                                     kMsgStatusAttachmentRequested)) |
                    (m_bodyTruncated ? kMsgStatusBodyTruncated : 0) |
                    (m_remainderRequested ? kMsgStatusRemainderRequested : 0) |
                    (m_attachmentRequested ? kMsgStatusAttachmentRequested : 0);
        if (err == kNoError) {
            props.push_back(LongProp(PR_MESSAGE_FLAGS, messageFlags));
            props.push_back(LongProp(PR_MSG_STATUS, msgStatus));
        }
    } catch (const std::bad_alloc &) {
        err = generalErrMemoryError;
    }
    if (err == kNoError)
        err = SetPropsLogged(props, "DWinMobOutlookMessage::SetAllMAPIProperties() - Failure to set props with code ");
    if (err == kNoError) {
        m_messageFlags = messageFlags;
        m_msgStatus = msgStatus;
    }
    if (err == kNoError && m_recipientsDirty) err = SetMAPIMessageRecipients();
    if (err == kNoError && m_attachments.Count() > 0) err = SetMAPIAttachments();
    return err;
}

DErrorCode DWinMobOutlookMessage::SetMAPIMessageRecipients() {
    const size_t total = m_to.size() + m_cc.size() + m_bcc.size();
    LPADRLIST list = nullptr;
    if (MAPIAllocateBuffer(ULONG(CbNewADRLIST(total > 0 ? total : 1)), reinterpret_cast<LPVOID *>(&list)) != S_OK ||
        list == nullptr)
        return generalErrMemoryError;
    std::memset(list, 0, CbNewADRLIST(total > 0 ? total : 1));
    DErrorCode err = kNoError;
    const struct {
        const std::vector<std::u16string> *addresses;
        ULONG type;
    } lists[] = {{&m_to, MAPI_TO}, {&m_cc, MAPI_CC}, {&m_bcc, MAPI_BCC}};
    for (const auto &l : lists) {
        for (const std::u16string &address : *l.addresses) {
            ADRENTRY &entry = list->aEntries[list->cEntries];
            LPSPropValue props = nullptr;
            if (MAPIAllocateBuffer(2 * sizeof(SPropValue), reinterpret_cast<LPVOID *>(&props)) != S_OK ||
                props == nullptr) {
                err = generalErrMemoryError;
                break;
            }
            std::memset(props, 0, 2 * sizeof(SPropValue));
            entry.rgPropVals = props;
            entry.cValues = 2;
            ++list->cEntries;
            WCHAR *text = nullptr;
            const ULONG bytes = ULONG((address.size() + 1) * sizeof(WCHAR));
            if (MAPIAllocateMore(bytes, props, reinterpret_cast<LPVOID *>(&text)) != S_OK || text == nullptr) {
                err = generalErrMemoryError;
                break;
            }
            std::memcpy(text, address.c_str(), bytes);
            props[0].ulPropTag = PR_RECIPIENT_TYPE;
            props[0].Value.ul = l.type;
            props[1].ulPropTag = PR_EMAIL_ADDRESS_W;
            props[1].Value.lpszW = text;
        }
        if (err != kNoError) break;
    }
    if (err == kNoError) {
        HRESULT hr = m_message->ModifyRecipients(0, list);  // replaces the whole list
        if (FAILED(hr)) err = DErrorCode(hr);
    }
    FreePadrlist(list);
    if (err == kNoError) {
        m_recipientsDirty = false;
        m_recipientsLoaded = true;
    } else {
        LogFailure("DWinMobOutlookMessage::SetMAPIMessageRecipients() - Failed ", err);
    }
    return err;
}

DErrorCode DWinMobOutlookMessage::SetMAPIAttachments() {
    DErrorCode err = kNoError;
    for (DListNode<DAttachmentData> *node = &m_attachments; node != nullptr && err == kNoError; node = node->next) {
        DAttachmentData *attachment = node->item;
        if (attachment == nullptr) continue;
        std::u16string fileName, pathName;
        err = MessageTextToWide(attachment->DisplayName(), &fileName);
        if (err == kNoError) err = MessageTextToWide(attachment->Name(), &pathName);
        ULONG number = 0;
        LPATTACH attach = nullptr;
        if (err == kNoError) {
            HRESULT hr = m_message->CreateAttach(nullptr, 0, &number, &attach);
            if (FAILED(hr) || attach == nullptr) err = FAILED(hr) ? DErrorCode(hr) : generalErrUnknownError;
        }
        if (err == kNoError) {
            SPropValue props[5] = {};
            props[0] = LongProp(PR_ATTACH_SIZE, attachment->GetSize());
            props[1] = LongProp(PR_MESSAGE_FLAGS, 0);
            props[2] = LongProp(PR_MSG_STATUS, kAttachStatusPending | (attachment->IsMarked() ? kAttachStatusMarked : 0));
            props[3] = TextProp(PR_ATTACH_FILENAME_W, fileName);
            props[4] = TextProp(PR_ATTACH_PATHNAME_W, pathName);
            LPSPropProblemArray problems = nullptr;
            HRESULT hr = attach->SetProps(5, props, &problems);
            if (FAILED(hr))
                err = DErrorCode(hr);
            else if (problems != nullptr && problems->cProblem > 0)
                err = generalErrUnknownError;
            MAPIFreeBuffer(problems);
            if (err == kNoError) {
                hr = attach->SaveChanges(0);
                if (FAILED(hr)) err = DErrorCode(hr);
            }
        }
        if (attach != nullptr) attach->Release();
    }
    if (err != kNoError) {
        LogFailure("DWinMobOutlookMessage::SetMAPIAttachments() - Failed ", err);
        return err;
    }
    // Written once: a later commit must not add them again.
    m_attachments.Free();
    return kNoError;
}
