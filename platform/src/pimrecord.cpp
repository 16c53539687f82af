#include "pimrecord.h"

namespace vplat {

PimValues PimValuesFromBuffer(const CEPROPVAL *props, WORD count) {
    PimValues values;
    for (WORD i = 0; i < count; ++i) {
        const CEPROPVAL &p = props[i];
        if ((p.wFlags & CEDB_PROPNOTFOUND) != 0) continue;
        PimValue v;
        switch (TypeFromPropID(p.propid)) {
            case CEVT_I2: v.num = p.val.iVal; break;
            case CEVT_UI2: v.num = p.val.uiVal; break;
            case CEVT_I4: v.num = p.val.lVal; break;
            case CEVT_UI4: v.num = p.val.ulVal; break;
            case CEVT_BOOL: v.num = p.val.boolVal; break;
            case CEVT_FILETIME:
                v.num = int64_t((uint64_t(p.val.filetime.dwHighDateTime) << 32) | p.val.filetime.dwLowDateTime);
                break;
            case CEVT_LPWSTR:
                if (p.val.lpwstr != nullptr) v.text = p.val.lpwstr;
                break;
            case CEVT_BLOB:
                if (p.val.blob.lpb != nullptr) v.blob.assign(p.val.blob.lpb, p.val.blob.lpb + p.val.blob.dwCount);
                break;
            default: continue;  // a type the model keeps none of
        }
        values[p.propid] = std::move(v);
    }
    return values;
}

const PimValue *PimRecord::Find(CEPROPID id) const {
    auto pending = m_pending.find(id);
    if (pending != m_pending.end()) return pending->second ? &*pending->second : nullptr;
    auto loaded = m_loaded.find(id);
    return loaded != m_loaded.end() ? &loaded->second : nullptr;
}

std::u16string PimRecord::Text(CEPROPID id) const {
    const PimValue *v = Find(id);
    return v != nullptr ? v->text : std::u16string();
}

int64_t PimRecord::Num(CEPROPID id, int64_t fallback) const {
    const PimValue *v = Find(id);
    return v != nullptr ? v->num : fallback;
}

std::vector<BYTE> PimRecord::Blob(CEPROPID id) const {
    const PimValue *v = Find(id);
    return v != nullptr ? v->blob : std::vector<BYTE>();
}

void PimRecord::PutText(CEPROPID id, const char16_t *text) {
    if (text == nullptr || text[0] == 0) return Remove(id);
    PimValue v;
    v.text = text;
    m_pending[id] = std::move(v);
}

void PimRecord::PutNum(CEPROPID id, int64_t value) {
    PimValue v;
    v.num = value;
    m_pending[id] = std::move(v);
}

void PimRecord::PutBlob(CEPROPID id, std::vector<BYTE> blob) {
    if (blob.empty()) return Remove(id);
    PimValue v;
    v.blob = std::move(blob);
    m_pending[id] = std::move(v);
}

void PimRecord::Remove(CEPROPID id) { m_pending[id] = std::nullopt; }

std::vector<CEPROPVAL> PimRecord::Changes() const {
    std::vector<CEPROPVAL> changes;
    for (const auto &entry : m_pending) {
        CEPROPVAL p = {};
        p.propid = entry.first;
        if (!entry.second) {
            p.wFlags = CEDB_PROPDELETE;
            changes.push_back(p);
            continue;
        }
        const PimValue &v = *entry.second;
        switch (TypeFromPropID(p.propid)) {
            case CEVT_I2: p.val.iVal = SHORT(v.num); break;
            case CEVT_UI2: p.val.uiVal = USHORT(v.num); break;
            case CEVT_I4: p.val.lVal = LONG(v.num); break;
            case CEVT_UI4: p.val.ulVal = ULONG(v.num); break;
            case CEVT_BOOL: p.val.boolVal = BOOL(v.num); break;
            case CEVT_FILETIME:
                p.val.filetime.dwLowDateTime = DWORD(uint64_t(v.num));
                p.val.filetime.dwHighDateTime = DWORD(uint64_t(v.num) >> 32);
                break;
            case CEVT_LPWSTR: p.val.lpwstr = const_cast<LPWSTR>(v.text.c_str()); break;
            case CEVT_BLOB: p.val.blob = {DWORD(v.blob.size()), const_cast<LPBYTE>(v.blob.data())}; break;
        }
        changes.push_back(p);
    }
    return changes;
}

void PimRecord::Commit() {
    for (auto &entry : m_pending) {
        if (entry.second) {
            m_loaded[entry.first] = std::move(*entry.second);
        } else {
            m_loaded.erase(entry.first);
        }
    }
    m_pending.clear();
}

}  // namespace vplat
