#include "mapiprops.h"

#include <cstring>

#include "mapix.h"

namespace vplat {
namespace {

HRESULT Count(SqliteDb &db, const char *sql, int64_t id, int64_t *count) {
    SqliteStatement query(db, sql);
    query.BindInt(1, id);
    bool row = false;
    DWORD err = query.Step(&row);
    *count = row ? query.Int(0) : 0;
    return MapiResult(err);
}

MapiValue Binary(ULONG tag, const std::vector<BYTE> &bytes) {
    MapiValue value;
    value.tag = tag;
    value.bytes = bytes;
    return value;
}

MapiValue Number(ULONG tag, int64_t num) {
    MapiValue value;
    value.tag = tag;
    value.num = num;
    return value;
}

}  // namespace

bool MapiStorableType(ULONG type) {
    switch (type) {
        case PT_I2:
        case PT_LONG:
        case PT_BOOLEAN:
        case PT_I8:
        case PT_SYSTIME:
        case PT_STRING8:
        case PT_UNICODE:
        case PT_BINARY:
        case PT_CLSID: return true;
        default: return false;
    }
}

bool MapiBytesType(ULONG type) {
    return type == PT_STRING8 || type == PT_UNICODE || type == PT_BINARY || type == PT_CLSID;
}

bool MapiComputedTag(ULONG tag) {
    switch (tag) {
        case PR_ENTRYID:
        case PR_RECORD_KEY:
        case PR_OBJECT_TYPE:
        case PR_PARENT_ENTRYID:
        case PR_CONTENT_COUNT:
        case PR_SUBFOLDERS:
        case PR_ATTACH_NUM:
        case PR_ROWID: return true;
        default: return false;
    }
}

MapiValue MapiValueFrom(const SPropValue &prop) {
    MapiValue value;
    value.tag = prop.ulPropTag;
    switch (PROP_TYPE(prop.ulPropTag)) {
        case PT_I2: value.num = prop.Value.i; break;
        case PT_LONG: value.num = prop.Value.l; break;
        case PT_BOOLEAN: value.num = prop.Value.b != 0 ? 1 : 0; break;
        case PT_I8: value.num = prop.Value.li; break;
        case PT_SYSTIME:
            value.num = static_cast<int64_t>((static_cast<uint64_t>(prop.Value.ft.dwHighDateTime) << 32) |
                                             prop.Value.ft.dwLowDateTime);
            break;
        case PT_STRING8:
            if (prop.Value.lpszA != nullptr) {
                value.bytes.assign(prop.Value.lpszA, prop.Value.lpszA + std::strlen(prop.Value.lpszA));
            }
            break;
        case PT_UNICODE:
            if (prop.Value.lpszW != nullptr) {
                std::u16string text(prop.Value.lpszW);
                const BYTE *p = reinterpret_cast<const BYTE *>(text.data());
                value.bytes.assign(p, p + text.size() * 2);
            }
            break;
        case PT_BINARY:
            if (prop.Value.bin.lpb != nullptr) {
                value.bytes.assign(prop.Value.bin.lpb, prop.Value.bin.lpb + prop.Value.bin.cb);
            }
            break;
        case PT_CLSID:
            if (prop.Value.lpguid != nullptr) {
                const BYTE *p = reinterpret_cast<const BYTE *>(prop.Value.lpguid);
                value.bytes.assign(p, p + sizeof(GUID));
            }
            break;
        default: break;
    }
    return value;
}

MapiValue MapiMissing(ULONG tag) { return Number(CHANGE_PROP_TYPE(tag, PT_ERROR), MAPI_E_NOT_FOUND); }

HRESULT MapiValueTo(const MapiValue &value, void *parent, SPropValue *out) {
    std::memset(out, 0, sizeof *out);
    out->ulPropTag = value.tag;
    void *buffer = nullptr;
    auto bytes = [&](size_t extra) -> HRESULT {
        SCODE sc = MAPIAllocateMore(static_cast<ULONG>(value.bytes.size() + extra), parent, &buffer);
        if (sc != S_OK) return sc;
        if (!value.bytes.empty()) std::memcpy(buffer, value.bytes.data(), value.bytes.size());
        std::memset(static_cast<BYTE *>(buffer) + value.bytes.size(), 0, extra);
        return S_OK;
    };
    HRESULT hr = S_OK;
    switch (PROP_TYPE(value.tag)) {
        case PT_I2: out->Value.i = static_cast<short>(value.num); break;
        case PT_LONG: out->Value.l = static_cast<LONG>(value.num); break;
        case PT_BOOLEAN: out->Value.b = value.num != 0 ? 1 : 0; break;
        case PT_I8: out->Value.li = value.num; break;
        case PT_ERROR: out->Value.err = static_cast<SCODE>(value.num); break;
        case PT_SYSTIME:
            out->Value.ft.dwLowDateTime = static_cast<DWORD>(static_cast<uint64_t>(value.num));
            out->Value.ft.dwHighDateTime = static_cast<DWORD>(static_cast<uint64_t>(value.num) >> 32);
            break;
        case PT_STRING8:
            hr = bytes(1);
            out->Value.lpszA = static_cast<char *>(buffer);
            break;
        case PT_UNICODE:
            // An odd byte count cannot come from a caller; pad to whole units.
            hr = bytes(2 + (value.bytes.size() & 1));
            out->Value.lpszW = static_cast<WCHAR *>(buffer);
            break;
        case PT_BINARY:
            hr = bytes(0);
            out->Value.bin.cb = static_cast<ULONG>(value.bytes.size());
            out->Value.bin.lpb = static_cast<LPBYTE>(buffer);
            break;
        case PT_CLSID: {
            MapiValue guid = value;
            guid.bytes.resize(sizeof(GUID));
            SCODE sc = MAPIAllocateMore(sizeof(GUID), parent, &buffer);
            if (sc != S_OK) return sc;
            std::memcpy(buffer, guid.bytes.data(), sizeof(GUID));
            out->Value.lpguid = static_cast<GUID *>(buffer);
            break;
        }
        default: break;
    }
    return hr;
}

HRESULT MapiLoadProp(SqliteDb &db, int64_t object, ULONG tag, MapiValue *value, bool *found) {
    SqliteStatement query(db, "SELECT num, size FROM props WHERE object = ?1 AND tag = ?2");
    query.BindInt(1, object);
    query.BindInt(2, tag);
    DWORD err = query.Step(found);
    if (err != ERROR_SUCCESS || !*found) return MapiResult(err);
    value->tag = tag;
    value->num = query.Int(0);
    value->bytes.clear();
    if (!MapiBytesType(PROP_TYPE(tag))) return S_OK;
    value->bytes.reserve(static_cast<size_t>(query.Int(1)));
    SqliteStatement chunks(db, "SELECT data FROM chunks WHERE object = ?1 AND tag = ?2 ORDER BY seq");
    chunks.BindInt(1, object);
    chunks.BindInt(2, tag);
    bool row = false;
    std::vector<BYTE> piece;
    while ((err = chunks.Step(&row)) == ERROR_SUCCESS && row) {
        chunks.Blob(0, &piece);
        value->bytes.insert(value->bytes.end(), piece.begin(), piece.end());
    }
    return MapiResult(err);
}

HRESULT MapiStoredTags(SqliteDb &db, int64_t object, std::vector<ULONG> *tags) {
    tags->clear();
    SqliteStatement query(db, "SELECT tag FROM props WHERE object = ?1 ORDER BY tag");
    query.BindInt(1, object);
    bool row = false;
    DWORD err;
    while ((err = query.Step(&row)) == ERROR_SUCCESS && row) tags->push_back(static_cast<ULONG>(query.Int(0)));
    return MapiResult(err);
}

HRESULT MapiDeleteProp(SqliteDb &db, int64_t object, ULONG tag) {
    SqliteStatement chunks(db, "DELETE FROM chunks WHERE object = ?1 AND tag = ?2");
    chunks.BindInt(1, object);
    chunks.BindInt(2, tag);
    DWORD err = chunks.Run();
    SqliteStatement props(db, "DELETE FROM props WHERE object = ?1 AND tag = ?2");
    props.BindInt(1, object);
    props.BindInt(2, tag);
    if (err == ERROR_SUCCESS) err = props.Run();
    return MapiResult(err);
}

HRESULT MapiStoreProp(SqliteDb &db, int64_t object, const MapiValue &value) {
    HRESULT hr = MapiDeleteProp(db, object, value.tag);
    if (FAILED(hr)) return hr;
    SqliteStatement props(db, "INSERT INTO props(object, tag, num, size) VALUES(?1, ?2, ?3, ?4)");
    props.BindInt(1, object);
    props.BindInt(2, value.tag);
    props.BindInt(3, value.num);
    props.BindInt(4, static_cast<int64_t>(value.bytes.size()));
    DWORD err = props.Run();
    for (size_t at = 0, seq = 0; err == ERROR_SUCCESS && at < value.bytes.size(); at += kMapiChunk, ++seq) {
        SqliteStatement chunk(db, "INSERT INTO chunks(object, tag, seq, data) VALUES(?1, ?2, ?3, ?4)");
        chunk.BindInt(1, object);
        chunk.BindInt(2, value.tag);
        chunk.BindInt(3, static_cast<int64_t>(seq));
        chunk.BindBlob(4, value.bytes.data() + at, std::min(kMapiChunk, value.bytes.size() - at));
        err = chunk.Run();
    }
    return MapiResult(err);
}

HRESULT MapiPropSize(SqliteDb &db, int64_t object, ULONG tag, int64_t *size, bool *found) {
    SqliteStatement query(db, "SELECT size FROM props WHERE object = ?1 AND tag = ?2");
    query.BindInt(1, object);
    query.BindInt(2, tag);
    DWORD err = query.Step(found);
    *size = *found ? query.Int(0) : 0;
    return MapiResult(err);
}

HRESULT MapiCopyProps(SqliteDb &db, int64_t from, int64_t to) {
    SqliteStatement props(db, "INSERT INTO props(object, tag, num, size) SELECT ?2, tag, num, size FROM props WHERE object = ?1");
    props.BindInt(1, from);
    props.BindInt(2, to);
    DWORD err = props.Run();
    SqliteStatement chunks(db, "INSERT INTO chunks(object, tag, seq, data) SELECT ?2, tag, seq, data FROM chunks WHERE object = ?1");
    chunks.BindInt(1, from);
    chunks.BindInt(2, to);
    if (err == ERROR_SUCCESS) err = chunks.Run();
    return MapiResult(err);
}

HRESULT MapiReadProp(SqliteDb &db, const MapiObjectRow &row, ULONG tag, MapiValue *value, bool *found) {
    *found = true;
    bool entry = row.kind != kMapiKindAttach && row.kind != kMapiKindRecipient;
    switch (tag) {
        case PR_ENTRYID:
        case PR_RECORD_KEY:
            if (!entry) break;
            *value = Binary(tag, MapiEntryId(row.store, row.id));
            return S_OK;
        case PR_OBJECT_TYPE: *value = Number(tag, row.kind); return S_OK;
        case PR_PARENT_ENTRYID:
            if (row.kind != kMapiKindFolder && row.kind != kMapiKindMessage) break;
            *value = Binary(tag, MapiEntryId(row.store, row.parent));
            return S_OK;
        case PR_ATTACH_NUM:
            if (row.kind != kMapiKindAttach) break;
            *value = Number(tag, row.num);
            return S_OK;
        case PR_ROWID:
            if (row.kind != kMapiKindRecipient) break;
            *value = Number(tag, row.num);
            return S_OK;
        case PR_CONTENT_COUNT:
        case PR_SUBFOLDERS: {
            if (row.kind != kMapiKindFolder) break;
            int64_t count = 0;
            HRESULT hr = tag == PR_CONTENT_COUNT
                             ? Count(db, "SELECT count(*) FROM objects WHERE parent = ?1 AND kind = 5", row.id, &count)
                             : Count(db, "SELECT count(*) FROM objects WHERE parent = ?1 AND kind = 3", row.id, &count);
            *value = Number(tag, tag == PR_CONTENT_COUNT ? count : (count > 0 ? 1 : 0));
            return hr;
        }
        default: break;
    }
    if (MapiComputedTag(tag)) {
        *found = false;
        return S_OK;
    }
    HRESULT hr = MapiLoadProp(db, row.id, tag, value, found);
    if (FAILED(hr) || *found) return hr;
    // Defaults the store gives where nothing was set.
    *found = true;
    if (tag == PR_MESSAGE_FLAGS && row.kind == kMapiKindMessage) {
        *value = Number(tag, 0);
    } else if (tag == PR_HASATTACH && row.kind == kMapiKindMessage) {
        int64_t count = 0;
        hr = Count(db, "SELECT count(*) FROM objects WHERE parent = ?1 AND kind = 7", row.id, &count);
        *value = Number(tag, count > 0 ? 1 : 0);
    } else if (tag == PR_FOLDER_TYPE && row.kind == kMapiKindFolder) {
        *value = Number(tag, FOLDER_GENERIC);
    } else if (tag == PR_ATTACH_SIZE && row.kind == kMapiKindAttach) {
        int64_t size = 0;
        hr = MapiPropSize(db, row.id, PR_ATTACH_DATA_BIN, &size, found);
        *value = Number(tag, size);
    } else {
        *found = false;
    }
    return hr;
}

HRESULT MapiAllTags(SqliteDb &db, const MapiObjectRow &row, std::vector<ULONG> *tags) {
    HRESULT hr = MapiStoredTags(db, row.id, tags);
    if (FAILED(hr)) return hr;
    std::vector<ULONG> computed;
    switch (row.kind) {
        case kMapiKindStore: computed = {PR_ENTRYID, PR_RECORD_KEY, PR_OBJECT_TYPE}; break;
        case kMapiKindFolder:
            computed = {PR_ENTRYID, PR_RECORD_KEY, PR_OBJECT_TYPE, PR_PARENT_ENTRYID, PR_CONTENT_COUNT, PR_SUBFOLDERS};
            break;
        case kMapiKindMessage: computed = {PR_ENTRYID, PR_RECORD_KEY, PR_OBJECT_TYPE, PR_PARENT_ENTRYID}; break;
        case kMapiKindAttach: computed = {PR_OBJECT_TYPE, PR_ATTACH_NUM}; break;
        case kMapiKindRecipient: computed = {PR_ROWID}; break;
        default: break;
    }
    tags->insert(tags->begin(), computed.begin(), computed.end());
    return S_OK;
}

HRESULT MapiValuesOut(const std::vector<MapiValue> &values, ULONG *count, LPSPropValue *out) {
    void *block = nullptr;
    SCODE sc = MAPIAllocateBuffer(static_cast<ULONG>(sizeof(SPropValue) * (values.empty() ? 1 : values.size())), &block);
    if (sc != S_OK) return sc;
    auto *props = static_cast<LPSPropValue>(block);
    bool errors = false;
    for (size_t i = 0; i < values.size(); ++i) {
        HRESULT hr = MapiValueTo(values[i], block, &props[i]);
        if (FAILED(hr)) {
            MAPIFreeBuffer(block);
            return hr;
        }
        errors = errors || PROP_TYPE(values[i].tag) == PT_ERROR;
    }
    *count = static_cast<ULONG>(values.size());
    *out = props;
    return errors ? MAPI_W_ERRORS_RETURNED : S_OK;
}

HRESULT MapiProblemsOut(const std::vector<SPropProblem> &problems, LPSPropProblemArray *out) {
    if (out == nullptr) return S_OK;
    *out = nullptr;
    if (problems.empty()) return S_OK;
    void *block = nullptr;
    SCODE sc = MAPIAllocateBuffer(
        static_cast<ULONG>(offsetof(SPropProblemArray, aProblem) + problems.size() * sizeof(SPropProblem)), &block);
    if (sc != S_OK) return sc;
    auto *array = static_cast<LPSPropProblemArray>(block);
    array->cProblem = static_cast<ULONG>(problems.size());
    for (size_t i = 0; i < problems.size(); ++i) array->aProblem[i] = problems[i];
    *out = array;
    return S_OK;
}

HRESULT MapiTagsOut(const std::vector<ULONG> &tags, LPSPropTagArray *out) {
    void *block = nullptr;
    SCODE sc = MAPIAllocateBuffer(static_cast<ULONG>(CbNewSPropTagArray(tags.size() == 0 ? 1 : tags.size())), &block);
    if (sc != S_OK) return sc;
    auto *array = static_cast<LPSPropTagArray>(block);
    array->cValues = static_cast<ULONG>(tags.size());
    for (size_t i = 0; i < tags.size(); ++i) array->aulPropTag[i] = tags[i];
    *out = array;
    return S_OK;
}

}  // namespace vplat
