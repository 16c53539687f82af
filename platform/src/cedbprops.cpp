#include "cedbprops.h"

#include <algorithm>
#include <cstring>

#include "winstr.h"

namespace vplat {
namespace {

// Strings and blobs in a read's buffer start on this boundary.
const size_t kAlign = 8;

size_t Aligned(size_t n) { return (n + kAlign - 1) & ~(kAlign - 1); }

// Bytes a value takes after the CEPROPVAL array.
size_t DataSize(const CeDbValue &value) {
    switch (TypeFromPropID(value.propid)) {
        case CEVT_LPWSTR: return Aligned(value.data.size() + sizeof(WCHAR));
        case CEVT_BLOB: return Aligned(value.data.size());
        default: return 0;
    }
}

int CompareUnits(const std::vector<BYTE> &a, const std::vector<BYTE> &b, bool fold) {
    size_t na = a.size() / 2, nb = b.size() / 2;
    for (size_t i = 0; i < na && i < nb; ++i) {
        WCHAR ca, cb;
        std::memcpy(&ca, &a[i * 2], 2);
        std::memcpy(&cb, &b[i * 2], 2);
        if (fold) {
            ca = towupper16(ca);
            cb = towupper16(cb);
        }
        if (ca != cb) return ca < cb ? -1 : 1;
    }
    return na == nb ? 0 : (na < nb ? -1 : 1);
}

}  // namespace

bool CeDbIsNumeric(CEPROPID propid) {
    switch (TypeFromPropID(propid)) {
        case CEVT_I2:
        case CEVT_UI2:
        case CEVT_I4:
        case CEVT_UI4:
        case CEVT_BOOL:
        case CEVT_FILETIME: return true;
        default: return false;
    }
}

DWORD CeDbCheckValue(const CEPROPVAL &val) {
    switch (TypeFromPropID(val.propid)) {
        case CEVT_I2:
        case CEVT_UI2:
        case CEVT_I4:
        case CEVT_UI4:
        case CEVT_BOOL:
        case CEVT_FILETIME:
        case CEVT_R8: return ERROR_SUCCESS;
        case CEVT_LPWSTR:
            if ((val.wFlags & CEDB_PROPDELETE) != 0) return ERROR_SUCCESS;
            if (val.val.lpwstr == nullptr) return ERROR_INVALID_PARAMETER;
            return size_t(lstrlenW(val.val.lpwstr)) * 2 > CEDB_MAXPROPDATASIZE ? ERROR_INVALID_PARAMETER
                                                                               : ERROR_SUCCESS;
        case CEVT_BLOB:
            if ((val.wFlags & CEDB_PROPDELETE) != 0) return ERROR_SUCCESS;
            if (val.val.blob.dwCount > CEDB_MAXPROPDATASIZE) return ERROR_INVALID_PARAMETER;
            return val.val.blob.dwCount != 0 && val.val.blob.lpb == nullptr ? ERROR_INVALID_PARAMETER
                                                                              : ERROR_SUCCESS;
        default: return ERROR_INVALID_PARAMETER;
    }
}

CeDbValue CeDbEncode(const CEPROPVAL &val) {
    CeDbValue value;
    value.propid = val.propid;
    switch (TypeFromPropID(val.propid)) {
        case CEVT_I2: value.num = val.val.iVal; break;
        case CEVT_UI2: value.num = val.val.uiVal; break;
        case CEVT_I4: value.num = val.val.lVal; break;
        case CEVT_UI4: value.num = val.val.ulVal; break;
        case CEVT_BOOL: value.num = val.val.boolVal; break;
        case CEVT_FILETIME:
            value.num = static_cast<int64_t>((static_cast<uint64_t>(val.val.filetime.dwHighDateTime) << 32) |
                                             val.val.filetime.dwLowDateTime);
            break;
        case CEVT_R8:
            value.data.resize(sizeof(double));
            std::memcpy(value.data.data(), &val.val.dblVal, sizeof(double));
            break;
        case CEVT_LPWSTR: {
            size_t units = size_t(lstrlenW(val.val.lpwstr));
            value.data.resize(units * 2);
            if (units != 0) std::memcpy(value.data.data(), val.val.lpwstr, units * 2);
            break;
        }
        case CEVT_BLOB:
            value.data.assign(val.val.blob.lpb, val.val.blob.lpb + val.val.blob.dwCount);
            break;
    }
    return value;
}

DWORD CeDbLoadValues(CeDbFile &file, CEOID record, std::vector<CeDbValue> *values) {
    SqliteStatement query(file.Db(), "SELECT propid, num, data FROM props WHERE rec = ?1 ORDER BY propid");
    query.BindInt(1, record);
    values->clear();
    for (;;) {
        bool row;
        DWORD err = query.Step(&row);
        if (err != ERROR_SUCCESS || !row) return err;
        CeDbValue value;
        value.propid = static_cast<CEPROPID>(query.Int(0));
        value.num = query.Int(1);
        query.Blob(2, &value.data);
        values->push_back(std::move(value));
    }
}

DWORD CeDbStoreValue(CeDbFile &file, CEOID record, const CeDbValue &value) {
    SqliteStatement upsert(file.Db(),
                           "INSERT INTO props(rec, propid, num, data) VALUES(?1, ?2, ?3, ?4) "
                           "ON CONFLICT(rec, propid) DO UPDATE SET num = excluded.num, data = excluded.data");
    upsert.BindInt(1, record);
    upsert.BindInt(2, value.propid);
    // The other column stays NULL, so that equal values are equal rows.
    if (CeDbIsNumeric(value.propid)) {
        upsert.BindInt(3, value.num);
    } else {
        upsert.BindBlob(4, value.data.data(), value.data.size());
    }
    return upsert.Run();
}

DWORD CeDbDeleteValue(CeDbFile &file, CEOID record, CEPROPID propid) {
    SqliteStatement remove(file.Db(), "DELETE FROM props WHERE rec = ?1 AND propid = ?2");
    remove.BindInt(1, record);
    remove.BindInt(2, propid);
    return remove.Run();
}

int CeDbCompare(const CeDbValue *a, const CeDbValue *b, DWORD flags) {
    if (a == nullptr || b == nullptr) {
        if (a == b) return 0;
        int missingFirst = (flags & CEDB_SORT_UNKNOWNFIRST) != 0 ? -1 : 1;
        return a == nullptr ? missingFirst : -missingFirst;
    }
    int order = 0;
    switch (TypeFromPropID(a->propid)) {
        case CEVT_FILETIME: {
            uint64_t x = static_cast<uint64_t>(a->num), y = static_cast<uint64_t>(b->num);
            order = x == y ? 0 : (x < y ? -1 : 1);
            break;
        }
        case CEVT_R8: {
            double x = 0, y = 0;
            if (a->data.size() == sizeof x) std::memcpy(&x, a->data.data(), sizeof x);
            if (b->data.size() == sizeof y) std::memcpy(&y, b->data.data(), sizeof y);
            order = x == y ? 0 : (x < y ? -1 : 1);
            break;
        }
        case CEVT_LPWSTR: order = CompareUnits(a->data, b->data, (flags & CEDB_SORT_CASEINSENSITIVE) != 0); break;
        case CEVT_BLOB: {
            size_t n = std::min(a->data.size(), b->data.size());
            order = n == 0 ? 0 : std::memcmp(a->data.data(), b->data.data(), n);
            if (order == 0 && a->data.size() != b->data.size()) order = a->data.size() < b->data.size() ? -1 : 1;
            order = order < 0 ? -1 : (order > 0 ? 1 : 0);
            break;
        }
        default: order = a->num == b->num ? 0 : (a->num < b->num ? -1 : 1); break;
    }
    return (flags & CEDB_SORT_DESCENDING) != 0 ? -order : order;
}

size_t CeDbLayoutSize(const std::vector<const CeDbValue *> &values) {
    size_t size = Aligned(values.size() * sizeof(CEPROPVAL));
    for (const CeDbValue *value : values) {
        if (value != nullptr) size += DataSize(*value);
    }
    return size;
}

void CeDbLayout(const std::vector<const CeDbValue *> &values, const std::vector<CEPROPID> &ids, BYTE *buffer) {
    auto *props = reinterpret_cast<CEPROPVAL *>(buffer);
    BYTE *data = buffer + Aligned(values.size() * sizeof(CEPROPVAL));
    for (size_t i = 0; i < values.size(); ++i) {
        CEPROPVAL &out = props[i];
        std::memset(&out, 0, sizeof out);
        const CeDbValue *value = values[i];
        if (value == nullptr) {
            out.propid = ids[i];
            out.wFlags = CEDB_PROPNOTFOUND;
            continue;
        }
        out.propid = value->propid;
        switch (TypeFromPropID(value->propid)) {
            case CEVT_I2: out.val.iVal = static_cast<SHORT>(value->num); break;
            case CEVT_UI2: out.val.uiVal = static_cast<USHORT>(value->num); break;
            case CEVT_I4: out.val.lVal = static_cast<LONG>(value->num); break;
            case CEVT_UI4: out.val.ulVal = static_cast<ULONG>(value->num); break;
            case CEVT_BOOL: out.val.boolVal = static_cast<BOOL>(value->num); break;
            case CEVT_FILETIME:
                out.val.filetime.dwLowDateTime = static_cast<DWORD>(static_cast<uint64_t>(value->num));
                out.val.filetime.dwHighDateTime = static_cast<DWORD>(static_cast<uint64_t>(value->num) >> 32);
                break;
            case CEVT_R8:
                if (value->data.size() == sizeof(double)) std::memcpy(&out.val.dblVal, value->data.data(), 8);
                break;
            case CEVT_LPWSTR: {
                out.val.lpwstr = reinterpret_cast<LPWSTR>(data);
                if (!value->data.empty()) std::memcpy(data, value->data.data(), value->data.size());
                std::memset(data + value->data.size(), 0, sizeof(WCHAR));
                out.wLenData = static_cast<WORD>(std::min<size_t>(value->data.size() + 2, 0xFFFF));
                data += DataSize(*value);
                break;
            }
            case CEVT_BLOB:
                out.val.blob.dwCount = static_cast<DWORD>(value->data.size());
                out.val.blob.lpb = value->data.empty() ? nullptr : data;
                if (!value->data.empty()) std::memcpy(data, value->data.data(), value->data.size());
                out.wLenData = static_cast<WORD>(std::min<size_t>(value->data.size(), 0xFFFF));
                data += DataSize(*value);
                break;
        }
    }
}

}  // namespace vplat
