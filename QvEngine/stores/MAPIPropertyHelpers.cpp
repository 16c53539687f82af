#include "MAPIPropertyHelpers.h"

#include <algorithm>
#include <new>

namespace {

constexpr unsigned kLogLevel = 1;
// Characters of the body read per stream read.
constexpr ULONG kBodyChunkChars = 4096;
// Recipient rows read per table query.
constexpr LONG kRecipientRows = 50;

void LogHex(ILogProvider *log, const char *text, uint32_t value) {
    if (log != nullptr) log->WriteStringHexLine(text, int32_t(value), kLogLevel, kLogAllCategories);
}

void LogLine(ILogProvider *log, const char *text) {
    if (log != nullptr) log->WriteLine(text, kLogLevel, kLogAllCategories);
}

// The value of tag in a row, or null.
const SPropValue *FindColumn(const SRow &row, ULONG tag) {
    for (ULONG i = 0; i < row.cValues; ++i)
        if (row.lpProps[i].ulPropTag == tag) return &row.lpProps[i];
    return nullptr;
}

// One property read: its value in *values (the caller frees it), or the
// failure. whoProperty/whoError/whoNotFound are the caller's log texts.
DErrorCode ReadOne(IMAPIProp *object, ULONG tag, LPSPropValue *values, ILogProvider *log, const char *whoProperty,
                   const char *whoError, const char *whoNotFound) {
    *values = nullptr;
    if (object == nullptr) return generalErrInvalidParameter;
    SizedSPropTagArray(1, tags) = {1, {tag}};
    ULONG count = 0;
    HRESULT hr = object->GetProps(reinterpret_cast<LPSPropTagArray>(&tags), MAPI_UNICODE, &count, values);
    if (FAILED(hr)) {
        LogHex(log, whoProperty, tag);
        LogHex(log, whoError, uint32_t(hr));
        MAPIFreeBuffer(*values);
        *values = nullptr;
        return DErrorCode(hr);
    }
    if (*values == nullptr || count < 1 || (*values)[0].ulPropTag != tag) {
        LogHex(log, whoNotFound, tag);
        MAPIFreeBuffer(*values);
        *values = nullptr;
        return generalErrItemNotFound;
    }
    return kNoError;
}

}  // namespace

const WCHAR kPropNameServerID[] = u"X-QV-ServerID";
const WCHAR kPropNameParentServerID[] = u"X-QV-SmartReply-ParentServerID";
const WCHAR kPropNameSendType[] = u"X-QV-SendType";
const WCHAR kPropNameGlobalObjID[] = u"PR_SPLUS_GLOBAL_OBJID";
const WCHAR kPropNameWhere[] = u"PR_SPLUS_WHERE";
const WCHAR kPropNameFolderID[] = u"X-QV-BRWFolderID";

DErrorCode GetMAPIPropertyIDFromName(IMAPIProp *store, const WCHAR *name, ULONG type, ULONG *tag, ILogProvider *) {
    if (store == nullptr || name == nullptr || tag == nullptr) return generalErrInvalidParameter;
    std::u16string nameCopy;
    try {
        nameCopy = name;
    } catch (const std::bad_alloc &) {
        return generalErrMemoryError;
    }
    GUID set = PS_MAPI;
    MAPINAMEID nameID = {};
    nameID.lpguid = &set;
    nameID.ulKind = MNID_STRING;
    nameID.Kind.lpwstrName = &nameCopy[0];
    LPMAPINAMEID names[1] = {&nameID};
    LPSPropTagArray tags = nullptr;
    HRESULT hr = store->GetIDsFromNames(1, names, MAPI_CREATE, &tags);
    if (FAILED(hr)) {
        MAPIFreeBuffer(tags);
        return DErrorCode(hr);
    }
    DErrorCode err = generalErrItemNotFound;
    if (tags != nullptr && tags->cValues == 1 && PROP_TYPE(tags->aulPropTag[0]) != PT_ERROR &&
        PROP_ID(tags->aulPropTag[0]) != 0) {
        *tag = PROP_TAG(type, PROP_ID(tags->aulPropTag[0]));
        err = kNoError;
    }
    MAPIFreeBuffer(tags);
    return err;
}

DErrorCode GetMAPIMessageStringProprty(IMAPIProp *object, ULONG tag, std::u16string *text, ILogProvider *log) {
    if (text == nullptr) return generalErrInvalidParameter;
    LPSPropValue values = nullptr;
    DErrorCode err = ReadOne(object, tag, &values, log, "GetMAPIMessageStringProprty() - Property ",
                             "GetMAPIMessageStringProprty() - GetProps error ",
                             "GetMAPIMessageStringProprty() - Property not found ");
    if (err != kNoError) return err;
    try {
        const WCHAR *value = values[0].Value.lpszW;
        if (value != nullptr)
            text->assign(value);
        else
            text->clear();
    } catch (const std::bad_alloc &) {
        err = generalErrMemoryError;
    }
    MAPIFreeBuffer(values);
    return err;
}

DErrorCode GetMAPIMessageULONGProprty(IMAPIProp *object, ULONG tag, ULONG *value, ILogProvider *log) {
    if (value == nullptr) return generalErrInvalidParameter;
    LPSPropValue values = nullptr;
    DErrorCode err = ReadOne(object, tag, &values, log, "GetMAPIMessageULONGProprty() - Property ",
                             "GetMAPIMessageULONGProprty() - GetProps error ",
                             "GetMAPIMessageULONGProprty() - Property not found ");
    if (err != kNoError) return err;
    *value = values[0].Value.ul;
    MAPIFreeBuffer(values);
    return kNoError;
}

DErrorCode SetMAPIMessageULONGProprty(IMAPIProp *object, ULONG tag, ULONG value, ILogProvider *log) {
    if (object == nullptr) return generalErrInvalidParameter;
    SPropValue prop = {};
    prop.ulPropTag = tag;
    prop.Value.ul = value;
    LPSPropProblemArray problems = nullptr;
    HRESULT hr = object->SetProps(1, &prop, &problems);
    DErrorCode err = kNoError;
    if (FAILED(hr)) {
        err = DErrorCode(hr);
    } else if (problems != nullptr && problems->cProblem > 0) {
        LogHex(log, "SetMAPIMessageULONGProprty::SetMAPIMessageULONGProprty() - Failure to set props with code ",
               uint32_t(problems->aProblem[0].scode));
        err = generalErrUnknownError;
    }
    MAPIFreeBuffer(problems);
    if (err != kNoError) {
        LogHex(log, "SetMAPIMessageULONGProprty::SetMAPIMessageULONGProprty() - Property not set ", err);
        LogHex(log, "Property: ", tag);
    }
    return err;
}

DErrorCode GetMAPIMessageBody(IMessage *message, VString *body, ILogProvider *log) {
    if (message == nullptr || body == nullptr) return generalErrInvalidParameter;
    LPUNKNOWN unknown = nullptr;
    HRESULT hr = message->OpenProperty(PR_BODY_W, &IID_IStream, STGM_READ, 0, &unknown);
    if (FAILED(hr) || unknown == nullptr) return FAILED(hr) ? DErrorCode(hr) : generalErrItemNotFound;
    IStream *stream = static_cast<IStream *>(unknown);
    STATSTG stat = {};
    hr = stream->Stat(&stat, STATFLAG_NONAME);
    if (FAILED(hr)) {
        stream->Release();
        return DErrorCode(hr);
    }
    DErrorCode err = kNoError;
    std::u16string text;
    try {
        // The size is the store's word: the text grows as it is read, never beyond what arrived.
        ULONGLONG remaining = stat.cbSize.QuadPart / sizeof(WCHAR);
        std::u16string chunk(kBodyChunkChars, u'\0');
        while (remaining > 0) {
            const ULONG want = ULONG(std::min<ULONGLONG>(remaining, kBodyChunkChars));
            ULONG read = 0;
            hr = stream->Read(&chunk[0], want * sizeof(WCHAR), &read);
            if (FAILED(hr)) {
                LogHex(log, "GetMAPIMessageBody() - Failed to read body ", uint32_t(hr));
                err = DErrorCode(hr);
                break;
            }
            const ULONG chars = std::min<ULONG>(read / sizeof(WCHAR), want);
            if (chars == 0) {
                LogLine(log, "GetMAPIMessageBody() - No body");
                break;
            }
            text.append(chunk, 0, chars);
            remaining -= chars;
        }
    } catch (const std::bad_alloc &) {
        err = generalErrMemoryError;
    }
    stream->Release();
    if (err != kNoError) return err;
    // A terminator stored with the text is not part of it.
    while (!text.empty() && text.back() == u'\0') text.pop_back();
    return body->AssignWide(text.data(), uint32_t(text.size()), kVStringUTF16LE);
}

namespace {

// One recipient row into the list of its type.
DErrorCode AddRecipient(const SRow &row, std::vector<std::u16string> *to, std::vector<std::u16string> *cc,
                        std::vector<std::u16string> *bcc, ILogProvider *log) {
    const SPropValue *type = FindColumn(row, PR_RECIPIENT_TYPE);
    const SPropValue *address = FindColumn(row, PR_EMAIL_ADDRESS_W);
    if (type == nullptr || address == nullptr) return generalErrItemNotFound;
    std::vector<std::u16string> *list = nullptr;
    switch (type->Value.ul) {
        case MAPI_TO: list = to; break;
        case MAPI_CC: list = cc; break;
        case MAPI_BCC: list = bcc; break;
        default:
            LogHex(log, "GetMAPIMessageRecipients() - Unsupported addrType ", type->Value.ul);
            return generalErrInvalidParameter;
    }
    try {
        list->emplace_back(address->Value.lpszW != nullptr ? address->Value.lpszW : u"");
    } catch (const std::bad_alloc &) {
        return generalErrMemoryError;
    }
    return kNoError;
}

}  // namespace

DErrorCode WalkMAPITable(IMAPITable *table, LPSPropTagArray columns, LONG batch,
                         const std::function<DErrorCode(const SRow *rows, ULONG count, bool *stop)> &visit) {
    if (table == nullptr || columns == nullptr || batch <= 0) return generalErrInvalidParameter;
    HRESULT hr = table->SetColumns(columns, 0);
    if (SUCCEEDED(hr)) hr = table->SeekRow(BOOKMARK_BEGINNING, 0, nullptr);
    if (FAILED(hr)) return DErrorCode(hr);
    for (;;) {
        LPSRowSet rows = nullptr;
        hr = table->QueryRows(batch, 0, &rows);
        if (FAILED(hr)) return DErrorCode(hr);
        const ULONG count = rows != nullptr ? rows->cRows : 0;
        bool stop = false;
        DErrorCode err = visit(count > 0 ? rows->aRow : nullptr, count, &stop);
        FreeProws(rows);
        if (err != kNoError || stop || count == 0) return err;
    }
}

DErrorCode GetMAPIMessageRecipients(IMessage *message, std::vector<std::u16string> *to,
                                    std::vector<std::u16string> *cc, std::vector<std::u16string> *bcc,
                                    ILogProvider *log) {
    if (message == nullptr || to == nullptr || cc == nullptr || bcc == nullptr) return generalErrInvalidParameter;
    LPMAPITABLE table = nullptr;
    HRESULT hr = message->GetRecipientTable(MAPI_UNICODE, &table);
    DErrorCode err = FAILED(hr) ? DErrorCode(hr) : kNoError;
    SizedSPropTagArray(2, columns) = {2, {PR_RECIPIENT_TYPE, PR_EMAIL_ADDRESS_W}};
    if (err == kNoError) {
        err = WalkMAPITable(table, reinterpret_cast<LPSPropTagArray>(&columns), kRecipientRows,
                            [&](const SRow *rows, ULONG count, bool *stop) -> DErrorCode {
                                for (ULONG r = 0; r < count; ++r) {
                                    DErrorCode rc = AddRecipient(rows[r], to, cc, bcc, log);
                                    if (rc != kNoError) return rc;
                                }
                                *stop = count == 0;
                                return kNoError;
                            });
    }
    if (table != nullptr) table->Release();
    if (err != kNoError) LogHex(log, "GetMAPIMessageRecipients() - Failed ", err);
    return err;
}
