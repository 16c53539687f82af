#include "pimobject.h"

namespace vplat {

bool PimRecordSeconds(const PimRecord &record, CEPROPID id, int64_t *seconds) {
    if (!record.Has(id)) return false;
    *seconds = PimTicksToSeconds(uint64_t(record.Num(id)));
    return true;
}

HRESULT PimPutSeconds(PimRecord &record, CEPROPID id, int64_t seconds) {
    int64_t ticks;
    if (!PimSecondsToTicks(seconds, &ticks)) return E_INVALIDARG;
    record.PutNum(id, ticks);
    return S_OK;
}

HRESULT PimItemCore::Load(CEOID oid) {
    PimValues values;
    DWORD err = m_store->Read(m_kind, oid, &values);
    if (err != ERROR_SUCCESS) return PimResult(err);
    m_record.SetLoaded(std::move(values));
    m_oid = oid;
    return S_OK;
}

HRESULT PimItemCore::Usable() const {
    if (m_deleted) return PIM_E_NOTFOUND;
    return m_store->IsOpen() ? S_OK : PIM_E_NOTLOGGEDON;
}

HRESULT PimItemCore::Save() {
    HRESULT hr = Usable();
    if (FAILED(hr)) return hr;
    std::vector<CEPROPVAL> changes = m_record.Changes();
    CEOID written = 0;
    DWORD err = m_store->Write(m_kind, m_oid, changes, &written);
    if (err != ERROR_SUCCESS) return PimResult(err);
    m_record.Commit();
    m_oid = written;
    return S_OK;
}

HRESULT PimItemCore::Delete() {
    HRESULT hr = Usable();
    if (FAILED(hr)) return hr;
    if (m_oid != 0) {
        DWORD err = m_store->Delete(m_kind, m_oid);
        if (err != ERROR_SUCCESS) return PimResult(err);
    }
    m_oid = 0;
    m_deleted = true;
    return S_OK;
}

HRESULT PimItemCore::GetText(CEPROPID id, std::u16string *text) const {
    if (text == nullptr) return E_POINTER;
    *text = m_record.Text(id);
    return S_OK;
}

HRESULT PimItemCore::PutText(CEPROPID id, LPCWSTR text) {
    m_record.PutText(id, text);
    return S_OK;
}

HRESULT PimItemCore::GetDate(CEPROPID id, DATE *date) const {
    if (date == nullptr) return E_POINTER;
    int64_t seconds;
    if (!PimRecordSeconds(m_record, id, &seconds) || !PimSecondsToDate(seconds, date)) *date = PIM_DATE_NONE;
    return S_OK;
}

HRESULT PimItemCore::PutDate(CEPROPID id, DATE date) {
    int64_t seconds;
    if (!PimDateToSeconds(date, &seconds)) return E_INVALIDARG;
    if (seconds == PimNoDateSeconds()) {
        m_record.Remove(id);
        return S_OK;
    }
    return PimPutSeconds(m_record, id, seconds);
}

HRESULT PimItemCore::GetNum(CEPROPID id, LONG *value) const {
    if (value == nullptr) return E_POINTER;
    *value = LONG(m_record.Num(id));
    return S_OK;
}

HRESULT PimItemCore::PutNum(CEPROPID id, LONG value) {
    m_record.PutNum(id, value);
    return S_OK;
}

HRESULT PimItemCore::GetBool(CEPROPID id, VARIANT_BOOL *value) const {
    if (value == nullptr) return E_POINTER;
    *value = m_record.Num(id) != 0 ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
}

HRESULT PimItemCore::PutBool(CEPROPID id, VARIANT_BOOL value) {
    m_record.PutNum(id, value != 0 ? TRUE : FALSE);
    return S_OK;
}

}  // namespace vplat
