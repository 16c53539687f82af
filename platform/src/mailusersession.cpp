#include "mailusersession.h"

namespace vplat {
namespace {

// The value of tag in a row, null when the row lacks it.
const SPropValue *Column(const SRow &row, ULONG tag) {
    for (ULONG i = 0; i < row.cValues; ++i) {
        if (row.lpProps[i].ulPropTag == tag) return &row.lpProps[i];
    }
    return nullptr;
}

LPENTRYID EntryId(const std::vector<BYTE> &id) {
    return reinterpret_cast<LPENTRYID>(const_cast<BYTE *>(id.data()));
}

}  // namespace

MailUserSession::~MailUserSession() {
    if (m_store != nullptr) m_store->Release();
    if (m_session != nullptr) {
        m_session->Logoff(0, 0, 0);
        m_session->Release();
    }
    if (m_initialized) MAPIUninitialize();
}

HRESULT MailUserSession::Open(const std::u16string &storeName) {
    HRESULT hr = MAPIInitialize(nullptr);
    if (FAILED(hr)) return hr;
    m_initialized = true;
    hr = MAPILogonEx(0, nullptr, nullptr, 0, &m_session);
    if (FAILED(hr)) return hr;
    MapiRef<IMAPITable> table;
    hr = m_session->GetMsgStoresTable(0, table.Out());
    if (FAILED(hr)) return hr;
    SizedSPropTagArray(2, columns) = {2, {PR_DISPLAY_NAME_W, PR_ENTRYID}};
    hr = table->SetColumns(reinterpret_cast<LPSPropTagArray>(&columns), 0);
    if (FAILED(hr)) return hr;
    for (;;) {
        LPSRowSet rows = nullptr;
        hr = table->QueryRows(1, 0, &rows);
        if (FAILED(hr)) return hr;
        if (rows == nullptr || rows->cRows == 0) {
            FreeProws(rows);
            return MAPI_E_NOT_FOUND;
        }
        const SPropValue *name = Column(rows->aRow[0], PR_DISPLAY_NAME_W);
        const SPropValue *id = Column(rows->aRow[0], PR_ENTRYID);
        if (name != nullptr && id != nullptr && name->Value.lpszW != nullptr && storeName == name->Value.lpszW) {
            hr = m_session->OpenMsgStore(0, id->Value.bin.cb, reinterpret_cast<LPENTRYID>(id->Value.bin.lpb), nullptr,
                                         MAPI_BEST_ACCESS, &m_store);
            FreeProws(rows);
            return FAILED(hr) ? hr : (m_store == nullptr ? MAPI_E_CALL_FAILED : S_OK);
        }
        FreeProws(rows);
    }
}

HRESULT MailUserSession::OpenEntry(const std::vector<BYTE> &id, ULONG expectedType, IUnknown **object) {
    *object = nullptr;
    if (id.empty()) return MAPI_E_INVALID_ENTRYID;
    ULONG type = 0;
    HRESULT hr = m_store->OpenEntry(static_cast<ULONG>(id.size()), EntryId(id), nullptr, MAPI_MODIFY, &type, object);
    if (FAILED(hr)) return hr;
    if (*object == nullptr) return MAPI_E_NOT_FOUND;
    if (type != expectedType) {
        (*object)->Release();
        *object = nullptr;
        return MAPI_E_INVALID_ENTRYID;
    }
    return S_OK;
}

HRESULT MailUserSession::OpenFolder(const std::vector<BYTE> &id, MapiRef<IMAPIFolder> *folder) {
    IUnknown *object = nullptr;
    HRESULT hr = OpenEntry(id, MAPI_FOLDER, &object);
    if (SUCCEEDED(hr)) *folder->Out() = static_cast<IMAPIFolder *>(object);
    return hr;
}

HRESULT MailUserSession::OpenMessage(const std::vector<BYTE> &id, MapiRef<IMessage> *message) {
    IUnknown *object = nullptr;
    HRESULT hr = OpenEntry(id, MAPI_MESSAGE, &object);
    if (SUCCEEDED(hr)) *message->Out() = static_cast<IMessage *>(object);
    return hr;
}

HRESULT MailUserSession::BinaryProp(IMAPIProp *object, ULONG tag, std::vector<BYTE> *value) {
    SizedSPropTagArray(1, tags) = {1, {tag}};
    ULONG count = 0;
    LPSPropValue props = nullptr;
    HRESULT hr = object->GetProps(reinterpret_cast<LPSPropTagArray>(&tags), 0, &count, &props);
    if (FAILED(hr)) return hr;
    if (count != 1 || props == nullptr || props[0].ulPropTag != tag) {
        MAPIFreeBuffer(props);
        return MAPI_E_NOT_FOUND;
    }
    value->assign(props[0].Value.bin.lpb, props[0].Value.bin.lpb + props[0].Value.bin.cb);
    MAPIFreeBuffer(props);
    return S_OK;
}

bool MailUserSession::Same(const std::vector<BYTE> &a, const std::vector<BYTE> &b) {
    if (a.empty() || b.empty()) return false;
    ULONG result = 0;
    HRESULT hr = m_store->CompareEntryIDs(static_cast<ULONG>(a.size()), EntryId(a), static_cast<ULONG>(b.size()),
                                          EntryId(b), 0, &result);
    return SUCCEEDED(hr) && result != 0;
}

}  // namespace vplat
