#include "MailStoreCalls.h"

#include <new>

namespace {

// Reads one property; *value is a MAPI buffer the caller frees.
HRESULT GetOne(IMAPIProp *object, ULONG tag, LPSPropValue *value) {
    *value = nullptr;
    if (object == nullptr) return MAPI_E_INVALID_PARAMETER;
    SizedSPropTagArray(1, tags) = {1, {tag}};
    ULONG count = 0;
    HRESULT hr = object->GetProps(reinterpret_cast<LPSPropTagArray>(&tags), MAPI_UNICODE, &count, value);
    if (FAILED(hr)) {
        *value = nullptr;
        return hr;
    }
    if (*value == nullptr || count != 1 || (*value)[0].ulPropTag != tag) {
        if (*value != nullptr) MAPIFreeBuffer(*value);
        *value = nullptr;
        return MAPI_E_NOT_FOUND;
    }
    return S_OK;
}

}  // namespace

HRESULT MailOpenFolder(IMsgStore *store, const std::vector<BYTE> &entryID, IMAPIFolder **folder) {
    *folder = nullptr;
    if (store == nullptr || entryID.empty()) return MAPI_E_INVALID_PARAMETER;
    ULONG type = 0;
    LPUNKNOWN unknown = nullptr;
    HRESULT hr = store->OpenEntry(ULONG(entryID.size()), MailEntryID(entryID), &IID_IMAPIFolder, MAPI_MODIFY, &type,
                                  &unknown);
    if (FAILED(hr)) return hr;
    if (unknown == nullptr) return MAPI_E_NOT_FOUND;
    if (type != MAPI_FOLDER) {
        unknown->Release();
        return MAPI_E_INVALID_ENTRYID;
    }
    *folder = static_cast<IMAPIFolder *>(unknown);
    return S_OK;
}

HRESULT MailGetString(IMAPIProp *object, ULONG tag, std::u16string *text) {
    LPSPropValue value = nullptr;
    HRESULT hr = GetOne(object, tag, &value);
    if (hr != S_OK) return hr;
    try {
        text->assign(value->Value.lpszW != nullptr ? value->Value.lpszW : u"");
    } catch (const std::bad_alloc &) {
        hr = MAPI_E_NOT_ENOUGH_MEMORY;
    }
    MAPIFreeBuffer(value);
    return hr;
}

HRESULT MailGetBinary(IMAPIProp *object, ULONG tag, std::vector<BYTE> *bytes) {
    LPSPropValue value = nullptr;
    HRESULT hr = GetOne(object, tag, &value);
    if (hr != S_OK) return hr;
    try {
        const SBinary &bin = value->Value.bin;
        bytes->assign(bin.lpb, bin.lpb + bin.cb);
    } catch (const std::bad_alloc &) {
        hr = MAPI_E_NOT_ENOUGH_MEMORY;
    }
    MAPIFreeBuffer(value);
    return hr;
}

HRESULT MailSetProp(IMAPIProp *object, SPropValue *value) {
    if (object == nullptr) return MAPI_E_INVALID_PARAMETER;
    LPSPropProblemArray problems = nullptr;
    HRESULT hr = object->SetProps(1, value, &problems);
    if (SUCCEEDED(hr) && problems != nullptr && problems->cProblem > 0) hr = problems->aProblem[0].scode;
    if (problems != nullptr) MAPIFreeBuffer(problems);
    return hr;
}
