// DWinMobOutlookMessage: the fields' getters and setters. Getters read the
// store on first use; setters hold the value until Commit.
#include <new>

#include "DWinMobOutlookMessage.h"
#include "MAPIPropertyHelpers.h"
#include "MessageText.h"
#include "MessageTime.h"

namespace {

constexpr unsigned kLogLevel = 1;

// One property of the message as the store gives it: *found false when absent.
DErrorCode ReadProp(IMessage *message, ULONG tag, SPropValue *value, bool *found) {
    *found = false;
    SizedSPropTagArray(1, tags) = {1, {tag}};
    ULONG count = 0;
    LPSPropValue values = nullptr;
    HRESULT hr = message->GetProps(reinterpret_cast<LPSPropTagArray>(&tags), MAPI_UNICODE, &count, &values);
    if (FAILED(hr)) {
        MAPIFreeBuffer(values);
        return DErrorCode(hr);
    }
    if (values != nullptr && count == 1 && values[0].ulPropTag == tag) {
        *value = values[0];  // plain values only: nothing that points into the buffer
        *found = true;
    }
    MAPIFreeBuffer(values);
    return kNoError;
}

}  // namespace

DErrorCode MessageTextToWide(const VString &text, std::u16string *out) {
    if (out == nullptr) return generalErrInvalidParameter;
    VString copy;
    DErrorCode err = copy.Assign(text);
    if (err == kNoError && copy.GetEncoding() != kVStringUTF16LE) err = copy.ConvertTo(kVStringUTF16LE);
    if (err != kNoError) return err;
    try {
        out->assign(copy.GetWideText(), copy.GetLength() / sizeof(WCHAR));
    } catch (const std::bad_alloc &) {
        return generalErrMemoryError;
    }
    return kNoError;
}

DErrorCode DWinMobOutlookMessage::LoadString(ULONG tag, VString *text, bool *held) {
    std::u16string value;
    DErrorCode err = GetMAPIMessageStringProprty(m_message, tag, &value, nullptr);
    if (err == generalErrItemNotFound) {
        value.clear();  // a missing text reads as empty
        err = kNoError;
    }
    if (err == kNoError) err = text->AssignWide(value.data(), uint32_t(value.size()), kVStringUTF16LE);
    if (err == kNoError) *held = true;
    return err;
}

// --- Texts ---

DErrorCode DWinMobOutlookMessage::SetSubject(const VString &text) {
    DErrorCode err = m_subject.Assign(text);
    m_subjectHeld = err == kNoError;
    return err;
}

DErrorCode DWinMobOutlookMessage::GetSubject(VString *text) {
    if (text == nullptr) return generalErrInvalidParameter;
    if (!m_subjectHeld && m_message != nullptr) {
        DErrorCode err = LoadString(PR_SUBJECT_W, &m_subject, &m_subjectHeld);
        if (err != kNoError) return err;
    }
    return text->Assign(m_subject);
}

DErrorCode DWinMobOutlookMessage::SetFrom(const VString &text) {
    DErrorCode err = m_from.Assign(text);
    m_fromHeld = err == kNoError;
    return err;
}

DErrorCode DWinMobOutlookMessage::GetFrom(VString *text) {
    if (text == nullptr) return generalErrInvalidParameter;
    if (!m_fromHeld && m_message != nullptr && !m_fromDevice) {
        DErrorCode err = LoadString(PR_SENDER_EMAIL_ADDRESS_W, &m_from, &m_fromHeld);
        if (err != kNoError) return err;
    }
    if (!m_fromHeld) return text->AssignWide(u"", 0, kVStringUTF16LE);
    return text->Assign(m_from);
}

DErrorCode DWinMobOutlookMessage::SetLocation(const VString &text) {
    DErrorCode err = m_location.Assign(text);
    m_locationHeld = err == kNoError;
    return err;
}

// --- Body ---

DErrorCode DWinMobOutlookMessage::LoadBody() {
    VString body;
    DErrorCode err = GetMAPIMessageBody(m_message, &body, m_log);
    if (err == DErrorCode(MAPI_E_NOT_FOUND)) err = body.AssignWide(u"", 0, kVStringUTF16LE);  // no body: empty
    if (err != kNoError) {
        LogFailure("DWinMobOutlookMessage::GetBody() - Failed - ", err);
        return err;
    }
    m_body = std::move(body);
    m_bodyHeld = true;
    m_bodyDirty = false;
    m_bodySize = m_body.GetCharCount();
    return kNoError;
}

DErrorCode DWinMobOutlookMessage::SetBody(const VString &text) {
    DErrorCode err = m_body.Assign(text);
    m_bodyHeld = err == kNoError;
    m_bodyDirty = m_bodyHeld;
    if (m_bodyHeld) m_bodySize = m_body.GetCharCount();
    return err;
}

DErrorCode DWinMobOutlookMessage::GetBody(VString *text) {
    if (text == nullptr) return generalErrInvalidParameter;
    if (!m_bodyHeld && m_message != nullptr) {
        DErrorCode err = LoadBody();
        if (err != kNoError) return err;
    }
    return text->Assign(m_body);
}

DErrorCode DWinMobOutlookMessage::SetBodySize(uint32_t size) {
    m_bodySize = size;
    return kNoError;
}

DErrorCode DWinMobOutlookMessage::GetBodySize(uint32_t *size) {
    if (size == nullptr) return generalErrInvalidParameter;
    if (!m_bodyHeld && m_message != nullptr) {
        DErrorCode err = LoadBody();
        if (err != kNoError) return err;
    }
    *size = m_bodySize;
    return kNoError;
}

DErrorCode DWinMobOutlookMessage::SetBodyTruncated(bool flag) {
    m_bodyTruncated = flag;
    return kNoError;
}

DErrorCode DWinMobOutlookMessage::IsBodyTruncated(bool *flag) {
    if (flag == nullptr) return generalErrInvalidParameter;
    *flag = m_bodyTruncated;
    return kNoError;
}

// --- Recipients ---

DErrorCode DWinMobOutlookMessage::GetWinMobMessageRecipients() {
    std::vector<std::u16string> to, cc, bcc;
    DErrorCode err = GetMAPIMessageRecipients(m_message, &to, &cc, &bcc, m_log);
    if (err != kNoError) return err;
    m_to.swap(to);
    m_cc.swap(cc);
    m_bcc.swap(bcc);
    m_recipientsLoaded = true;
    return kNoError;
}

DErrorCode DWinMobOutlookMessage::SetList(std::vector<std::u16string> *held, const StringListNode *list) {
    // The recipients are rewritten as a whole: the lists not set keep what the store holds.
    if (!m_recipientsLoaded && !m_recipientsDirty && m_message != nullptr) {
        DErrorCode err = GetWinMobMessageRecipients();
        if (err != kNoError) return err;
    }
    std::vector<std::u16string> copy;
    for (const StringListNode *node = list; node != nullptr && node->value != nullptr; node = node->next) {
        std::u16string address;
        DErrorCode err = MessageTextToWide(*node->value, &address);
        if (err != kNoError) return err;
        try {
            copy.push_back(std::move(address));
        } catch (const std::bad_alloc &) {
            return generalErrMemoryError;
        }
    }
    held->swap(copy);
    m_recipientsDirty = true;
    return kNoError;
}

DErrorCode DWinMobOutlookMessage::GetList(const std::vector<std::u16string> &held, StringListNode *list) {
    if (list == nullptr) return generalErrInvalidParameter;
    StringListNode *last = nullptr;
    for (const std::u16string &address : held) {
        VString *value = new (std::nothrow) VString;
        if (value == nullptr) return generalErrMemoryError;
        DErrorCode err = value->AssignWide(address.data(), uint32_t(address.size()), kVStringUTF16LE);
        if (err != kNoError) {
            delete value;
            return err;
        }
        if (last == nullptr && list->value == nullptr) {
            list->value = value;
            last = list;
            continue;
        }
        if (last == nullptr)
            for (last = list; last->next != nullptr;) last = last->next;
        StringListNode *node = new (std::nothrow) StringListNode{value, nullptr};
        if (node == nullptr) {
            delete value;
            return generalErrMemoryError;
        }
        last->next = node;
        last = node;
    }
    return kNoError;
}

#define QV_LOAD_RECIPIENTS()                                                           \
    if (!m_recipientsLoaded && !m_recipientsDirty && m_message != nullptr) {           \
        DErrorCode loadErr = GetWinMobMessageRecipients();                             \
        if (loadErr != kNoError) return loadErr;                                       \
    }

DErrorCode DWinMobOutlookMessage::SetTo(const StringListNode *list) { return SetList(&m_to, list); }
DErrorCode DWinMobOutlookMessage::SetCc(const StringListNode *list) { return SetList(&m_cc, list); }
DErrorCode DWinMobOutlookMessage::SetBcc(const StringListNode *list) { return SetList(&m_bcc, list); }

DErrorCode DWinMobOutlookMessage::GetTo(StringListNode *list) {
    QV_LOAD_RECIPIENTS();
    return GetList(m_to, list);
}
DErrorCode DWinMobOutlookMessage::GetCc(StringListNode *list) {
    QV_LOAD_RECIPIENTS();
    return GetList(m_cc, list);
}
DErrorCode DWinMobOutlookMessage::GetBcc(StringListNode *list) {
    QV_LOAD_RECIPIENTS();
    return GetList(m_bcc, list);
}

#undef QV_LOAD_RECIPIENTS

// --- Numbers and flags ---

DErrorCode DWinMobOutlookMessage::SetImportance(uint32_t importance) {
    if (importance > 2) {
        if (m_log != nullptr)
            m_log->WriteStringHexLine("DWinMobOutlookMessage::SetImportance() - Unrecognized importance ",
                                      int32_t(importance), kLogLevel, kLogAllCategories);
        importance = 1;
    }
    m_importance = importance;
    m_importanceHeld = true;
    return kNoError;
}

DErrorCode DWinMobOutlookMessage::GetImportance(uint32_t *importance) {
    if (importance == nullptr) return generalErrInvalidParameter;
    if (m_importance > 2) {
        if (m_log != nullptr)
            m_log->WriteStringHexLine("DWinMobOutlookMessage::GetImportance() - Unrecognized importance ",
                                      int32_t(m_importance), kLogLevel, kLogAllCategories);
        *importance = 1;
        return kNoError;
    }
    *importance = m_importance;
    return kNoError;
}

DErrorCode DWinMobOutlookMessage::SetRemainderRequested(bool flag) {
    m_remainderRequested = flag;
    return kNoError;
}

DErrorCode DWinMobOutlookMessage::IsRemainderRequested(bool *flag) {
    if (flag == nullptr) return generalErrInvalidParameter;
    *flag = m_remainderRequested;
    return kNoError;
}

DErrorCode DWinMobOutlookMessage::SetRead(bool flag) {
    m_read = flag;
    return kNoError;
}

DErrorCode DWinMobOutlookMessage::IsRead(bool *flag) {
    if (flag == nullptr) return generalErrInvalidParameter;
    *flag = m_read;
    return kNoError;
}

DErrorCode DWinMobOutlookMessage::SetHasAttachments(bool flag) {
    m_hasAttachments = flag;
    return kNoError;
}

DErrorCode DWinMobOutlookMessage::HasAttachments(bool *flag) {
    if (flag == nullptr) return generalErrInvalidParameter;
    if (m_message != nullptr && m_fromDevice && m_unsent) {
        SPropValue value = {};
        bool found = false;
        DErrorCode err = ReadProp(m_message, PR_HASATTACH, &value, &found);
        if (err != kNoError) return err;
        m_hasAttachments = found && value.Value.b != 0;
    }
    *flag = m_hasAttachments;
    return kNoError;
}

// --- Times ---

namespace {

// A year given in full (above 1899) is kept counted from 1900.
void HoldTime(const struct tm *from, bool *held, struct tm *to) {
    *held = from != nullptr;
    if (from == nullptr) return;
    *to = *from;
    if (to->tm_year > 1899) to->tm_year -= 1900;
}

}  // namespace

DErrorCode DWinMobOutlookMessage::SetMeetingTimes(const struct tm *start, const struct tm *end) {
    HoldTime(start, &m_start.held, &m_start.value);
    HoldTime(end, &m_end.held, &m_end.value);
    return kNoError;
}

DErrorCode DWinMobOutlookMessage::SetDate(const struct tm *date) {
    if (date == nullptr) return generalErrInvalidParameter;
    HoldTime(date, &m_date.held, &m_date.value);
    return kNoError;
}

DErrorCode DWinMobOutlookMessage::LoadDate() {
    const ULONG tag = m_unsent ? PR_LAST_MODIFICATION_TIME : PR_MESSAGE_DELIVERY_TIME;
    SPropValue value = {};
    bool found = false;
    DErrorCode err = ReadProp(m_message, tag, &value, &found);
    if (err == kNoError && !found) err = generalErrItemNotFound;
    if (err == kNoError) err = MessageTimeFromFileTime(value.Value.ft, &m_date.value);
    if (err == kNoError) m_date.held = true;
    return err;
}

DErrorCode DWinMobOutlookMessage::GetDate(struct tm *date) {
    if (date == nullptr) return generalErrInvalidParameter;
    if (!m_date.held) {
        DErrorCode err = m_message != nullptr ? LoadDate() : generalErrItemNotFound;
        if (err != kNoError) return err;
    }
    *date = m_date.value;
    return kNoError;
}
