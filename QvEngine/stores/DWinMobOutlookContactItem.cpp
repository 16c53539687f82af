// The contact item's binding, change flags, server id and fields; reading,
// writing and deleting the contact are in DWinMobOutlookContactStore.cpp.
#include "DWinMobOutlookContactItem.h"

#include <cstring>
#include <new>

#include "ServerIDText.h"
#include "SystemTimeRecord.h"

namespace {

// The raw property of each string field 1000 to 1045, in id order.
constexpr WORD kFieldProps[] = {
    0x4002, 0x4004, 0,      0x4007, 0x4046, 0x4049, 0x4048, 0x4047, 0x4045, 0x3A24,  // 1000-1009
    0x3A08, 0x3A1E, 0x3A16, 0x3A18, 0x4083, 0x4093, 0x40A3, 0x4013, 0x3A06, 0x3A2F,  // 1010-1019
    0x4041, 0x4044, 0x4043, 0x4042, 0x4040, 0x3A25, 0x3A09, 0x3A17, 0x3A11, 0x4024,  // 1020-1029
    0x3A1C, 0x3A19, 0x404B, 0x404E, 0x404D, 0x404C, 0x404A, 0x4009, 0x3A1D, 0x400A,  // 1030-1039
    0x3A05, 0x4023, 0x4008, 0x4012, 0x4011, 0x4010,                                  // 1040-1045
};
static_assert(sizeof kFieldProps / sizeof kFieldProps[0] == kContactLastString - kContactFirstString + 1,
              "one raw property per string field");

// Lists are kept as their strings joined with this.
const char16_t kListSeparator[] = u", ";
// The longest e-mail address kept, in characters.
constexpr size_t kMaxEmailLength = 1023;

bool IsStringField(uint32_t id) { return id >= kContactFirstString && id <= kContactLastString; }
bool IsEmailField(uint32_t id) { return id >= kContactEmail1 && id <= kContactEmail3; }

DErrorCode ToWide(const VString &text, std::u16string *out) {
    out->clear();
    if (text.GetLength() == 0) return kNoError;
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

DErrorCode FromWide(const std::u16string &text, VString *out) {
    return out->AssignWide(text.c_str(), uint32_t(text.size()), kVStringUTF16LE);
}

// A quoted display name before an address in angle brackets leaves the
// address; a quoted text before "<" without ">" leaves the quoted text.
void CleanEmail(std::u16string *text) {
    if (text->empty() || (*text)[0] != u'"') return;
    const size_t close = text->find(u'"', 1);
    if (close == std::u16string::npos) return;
    const size_t open = text->find(u'<', close + 1);
    if (open == std::u16string::npos) return;
    const size_t end = text->find(u'>', open + 1);
    *text = end != std::u16string::npos ? text->substr(open + 1, end - open - 1) : text->substr(1, close - 1);
}

// At most max UTF-16 units, never half a surrogate pair.
void CutText(std::u16string *text, size_t max) {
    if (text->size() <= max) return;
    size_t keep = max;
    if (keep > 0 && (*text)[keep - 1] >= 0xD800 && (*text)[keep - 1] <= 0xDBFF) --keep;
    text->resize(keep);
}

// Adds one string behind the last filled node of list.
DErrorCode AppendString(StringListNode *list, const std::u16string &text) {
    VString *value = new (std::nothrow) VString;
    if (value == nullptr) return generalErrMemoryError;
    DErrorCode err = FromWide(text, value);
    if (err != kNoError) {
        delete value;
        return err;
    }
    StringListNode *last = list;
    while (last->next != nullptr) last = last->next;
    if (last->value == nullptr) {
        last->value = value;
        return kNoError;
    }
    StringListNode *node = new (std::nothrow) StringListNode{value, nullptr};
    if (node == nullptr) {
        delete value;
        return generalErrMemoryError;
    }
    last->next = node;
    return kNoError;
}

}  // namespace

CEPROPID ContactFieldProperty(uint32_t field) {
    if (!IsStringField(field)) return 0;
    const WORD id = kFieldProps[field - kContactFirstString];
    return id != 0 ? (CEPROPID(id) << 16) | CEVT_LPWSTR : 0;
}

DWinMobOutlookContactItem::DWinMobOutlookContactItem(ILogProvider *log)
    : m_log(log), m_shadow(nullptr), m_app(nullptr), m_database(INVALID_HANDLE_VALUE), m_oid(kContactOidNone) {}

DWinMobOutlookContactItem::~DWinMobOutlookContactItem() { DropUnsavedRecord(); }

DErrorCode DWinMobOutlookContactItem::Load(DWinMobShadowDB *shadow, IPOutlookApp *application, HANDLE database,
                                           LONG objectID) {
    if (shadow == nullptr || application == nullptr) return generalErrInvalidParameter;
    DropUnsavedRecord();
    m_shadow = shadow;
    m_app = application;
    m_database = database;
    m_oid = objectID;
    m_record.reset(new (std::nothrow) DWinMobShadowRecord);
    if (m_record == nullptr) return generalErrMemoryError;
    if (objectID == kContactOidNew) return m_shadow->NewRecord(m_record.get());
    DErrorCode err = m_shadow->FindByObjectID(uint32_t(objectID), m_record.get());
    if (err == generalErrItemNotFound) {
        err = m_shadow->NewRecord(m_record.get());
        if (err == kNoError) err = m_record->SetOutlookObjectID(uint32_t(objectID));
    }
    return err != kNoError ? err : Read();
}

void DWinMobOutlookContactItem::DropUnsavedRecord() {
    // A record made for a contact that never reached the store would stand
    // for nothing, and be counted.
    if (m_oid == kContactOidNew && m_record != nullptr && m_shadow != nullptr) m_shadow->DeleteRecord(m_record.get());
}

DErrorCode DWinMobOutlookContactItem::Open() { return kNoError; }

DErrorCode DWinMobOutlookContactItem::Close() {
    DropUnsavedRecord();
    m_shadow = nullptr;
    m_oid = kContactOidNone;
    m_app = nullptr;
    m_database = INVALID_HANDLE_VALUE;
    return kNoError;
}

DErrorCode DWinMobOutlookContactItem::IsNew(bool *flag) {
    if (flag == nullptr) return generalErrInvalidParameter;
    *flag = false;
    return m_record != nullptr ? m_record->IsNew(flag) : kNoError;
}

DErrorCode DWinMobOutlookContactItem::SetNew(bool flag) {
    return m_record != nullptr ? m_record->SetNew(flag) : generalErrNotInitialized;
}

DErrorCode DWinMobOutlookContactItem::IsDeleted(bool *flag) {
    if (flag == nullptr) return generalErrInvalidParameter;
    *flag = false;
    return m_record != nullptr ? m_record->IsDeleted(flag) : kNoError;
}

DErrorCode DWinMobOutlookContactItem::SetDeleted(bool) { return generalErrNotImplemented; }

DErrorCode DWinMobOutlookContactItem::IsSent(bool *flag) {
    if (flag == nullptr) return generalErrInvalidParameter;
    *flag = false;
    return m_record != nullptr ? m_record->IsSent(flag) : kNoError;
}

DErrorCode DWinMobOutlookContactItem::SetSent(bool flag) {
    return m_record != nullptr ? m_record->SetSent(flag) : generalErrNotInitialized;
}

DErrorCode DWinMobOutlookContactItem::IsKeptNew(bool *flag) {
    if (flag == nullptr) return generalErrInvalidParameter;
    *flag = false;
    return m_record != nullptr ? m_record->IsKeepNew(flag) : kNoError;
}

DErrorCode DWinMobOutlookContactItem::SetKeptNew(bool flag) {
    return m_record != nullptr ? m_record->SetKeepNew(flag) : generalErrNotInitialized;
}

DErrorCode DWinMobOutlookContactItem::IsModified(bool *flag) {
    if (flag == nullptr) return generalErrInvalidParameter;
    *flag = false;
    if (m_record == nullptr) return kNoError;
    bool deleted = false, modified = false;
    DErrorCode err = m_record->IsDeleted(&deleted);
    if (err == kNoError) err = m_record->IsModified(&modified);
    *flag = !deleted && modified;
    return err;
}

DErrorCode DWinMobOutlookContactItem::ClearModified() {
    return m_record != nullptr ? m_record->ClearModified() : generalErrNotInitialized;
}

DErrorCode DWinMobOutlookContactItem::GetID(char *buffer, uint32_t size) {
    if (buffer == nullptr || size == 0) return generalErrInvalidParameter;
    buffer[0] = 0;
    if (!m_serverID.has_value()) return kNoError;
    std::string narrow;
    DErrorCode err = ServerIDToNarrow(m_serverID->c_str(), &narrow);
    if (err != kNoError) return err;
    if (narrow.size() >= size) return generalErrBufferTooSmall;
    std::memcpy(buffer, narrow.c_str(), narrow.size() + 1);
    return kNoError;
}

DErrorCode DWinMobOutlookContactItem::SetID(const char *id) {
    if (id == nullptr) return generalErrInvalidParameter;
    std::u16string wide;
    DErrorCode err = ServerIDToWide(id, &wide);
    if (err != kNoError) return err;
    m_serverID = std::move(wide);
    return kNoError;
}

DErrorCode DWinMobOutlookContactItem::MatchID(const char *, bool *) { return generalErrNotImplemented; }

DErrorCode DWinMobOutlookContactItem::SetDateField(uint32_t which, const struct tm *time) {
    if (time == nullptr) return generalErrInvalidParameter;
    if (which != kContactAnniversary && which != kContactBirthday) return kNoError;
    DATE date = PIM_DATE_NONE;
    if (time->tm_year != 0) {
        if (m_app == nullptr) return generalErrNotInitialized;
        SYSTEMTIME st = {};
        if (!TimeRecordToSystemTime(*time, &st)) return generalErrInvalidParameter;
        const HRESULT hr = m_app->SystemTimeToVariantTime(&st, &date);
        if (FAILED(hr)) return DErrorCode(hr);
    }
    (which == kContactBirthday ? m_birthday : m_anniversary) = date;
    return kNoError;
}

DErrorCode DWinMobOutlookContactItem::GetDateField(uint32_t which, struct tm *time) {
    if (time == nullptr) return generalErrInvalidParameter;
    *time = {};
    if (which != kContactAnniversary && which != kContactBirthday) return kNoError;
    const std::optional<DATE> &date = which == kContactBirthday ? m_birthday : m_anniversary;
    if (!date.has_value() || *date == PIM_DATE_NONE) return kNoError;
    if (m_app == nullptr) return generalErrNotInitialized;
    SYSTEMTIME st = {};
    const HRESULT hr = m_app->VariantTimeToSystemTime(*date, &st);
    if (FAILED(hr)) return DErrorCode(hr);
    SystemTimeToTimeRecord(st, time);
    return kNoError;
}

DErrorCode DWinMobOutlookContactItem::SetListField(uint32_t id, const StringListNode *list) {
    if (id != kContactCategories && id != kContactChildren) return kNoError;
    std::u16string joined;
    for (const StringListNode *node = list; node != nullptr && node->value != nullptr; node = node->next) {
        std::u16string text;
        DErrorCode err = ToWide(*node->value, &text);
        if (err != kNoError) return err;
        try {
            if (node != list) joined += kListSeparator;
            joined += text;
        } catch (const std::bad_alloc &) {
            return generalErrMemoryError;
        }
    }
    (id == kContactCategories ? m_categories : m_children) = std::move(joined);
    return kNoError;
}

DErrorCode DWinMobOutlookContactItem::GetListField(uint32_t id, StringListNode *list) {
    if (list == nullptr) return generalErrInvalidParameter;
    if (id != kContactCategories && id != kContactChildren) return kNoError;
    const std::optional<std::u16string> &text = id == kContactCategories ? m_categories : m_children;
    if (!text.has_value()) return kNoError;
    const std::u16string separator(kListSeparator);
    size_t start = 0;
    while (start <= text->size()) {
        size_t end = text->find(separator, start);
        if (end == std::u16string::npos) end = text->size();
        // An empty piece names nothing.
        if (end > start) {
            DErrorCode err = AppendString(list, text->substr(start, end - start));
            if (err != kNoError) return err;
        }
        start = end + separator.size();
    }
    return kNoError;
}

DErrorCode DWinMobOutlookContactItem::SetStringField(uint32_t id, const VString &text) {
    if (!IsStringField(id)) return kNoError;
    std::u16string wide;
    DErrorCode err = ToWide(text, &wide);
    if (err != kNoError) return err;
    if (IsEmailField(id)) {
        CleanEmail(&wide);
        CutText(&wide, kMaxEmailLength);
    }
    StringSlot(id) = std::move(wide);
    return kNoError;
}

DErrorCode DWinMobOutlookContactItem::GetStringField(uint32_t id, VString *text) {
    if (text == nullptr) return generalErrInvalidParameter;
    text->Clear();
    if (!IsStringField(id)) return kNoError;
    const std::optional<std::u16string> &value = StringSlot(id);
    if (id == kContactBody && (!value.has_value() || value->empty())) {
        bool isNew = false, changed = false;
        DErrorCode err = IsNew(&isNew);
        if (err == kNoError && !isNew) err = IsBodyChanged(&changed);
        if (err != kNoError) return err;
        if (!isNew && changed) return text->AssignWide(u" \r\n", kQvUnknown, kVStringUTF16LE);
    }
    return value.has_value() ? FromWide(*value, text) : kNoError;
}

DErrorCode DWinMobOutlookContactItem::IsBodyChanged(bool *flag) {
    if (flag == nullptr) return generalErrInvalidParameter;
    *flag = false;
    if (m_record == nullptr) return kNoError;
    uint32_t state = 0;
    DErrorCode err = m_record->GetChangeState(&state);
    if (err != kNoError || state == kShadowUnchanged) return err;
    BYTE stored[8] = {}, current[8] = {};
    err = m_record->GetBodyChecksum(stored);
    if (err == kNoError) err = BodyChecksum(current);
    if (err != kNoError) return err;
    const BYTE none[8] = {};
    *flag = std::memcmp(stored, none, 8) == 0 || std::memcmp(stored, current, 8) != 0;
    return kNoError;
}
