// Named properties of a store: each (property set, name) gets an
// identifier from 0x8000 up, kept in the file so that every process and
// every later open sees the same one. Identifiers are given inside a write
// transaction, so two processes naming one property at once agree.
#include <algorithm>
#include <cstring>

#include "mapiprop.h"

namespace vplat {
namespace {

const int64_t kFirstNamedId = 0x8000;
const int64_t kLastNamedId = 0xFFFE;

// The store's own Drafts and Inbox properties use these.
bool Reserved(int64_t id) { return id == 0x8104 || id == 0x8106; }

// The stored key of a name: the set, the kind, then the number or the
// string's units. False for a name the store cannot hold.
bool NameKey(const MAPINAMEID *name, std::vector<BYTE> *key) {
    if (name == nullptr || name->lpguid == nullptr) return false;
    const BYTE *guid = reinterpret_cast<const BYTE *>(name->lpguid);
    key->assign(guid, guid + sizeof(GUID));
    key->push_back(static_cast<BYTE>(name->ulKind));
    if (name->ulKind == MNID_ID) {
        for (int i = 0; i < 4; ++i) key->push_back(static_cast<BYTE>(static_cast<ULONG>(name->Kind.lID) >> (8 * i)));
        return true;
    }
    if (name->ulKind != MNID_STRING || name->Kind.lpwstrName == nullptr) return false;
    std::u16string text(name->Kind.lpwstrName);
    const BYTE *p = reinterpret_cast<const BYTE *>(text.data());
    key->insert(key->end(), p, p + text.size() * 2);
    return true;
}

HRESULT Lookup(SqliteDb &db, int64_t store, const std::vector<BYTE> &key, int64_t *id, bool *found) {
    SqliteStatement query(db, "SELECT id FROM names WHERE store = ?1 AND name = ?2");
    query.BindInt(1, store);
    query.BindBlob(2, key.data(), key.size());
    DWORD err = query.Step(found);
    *id = *found ? query.Int(0) : 0;
    return MapiResult(err);
}

HRESULT Create(SqliteDb &db, int64_t store, const std::vector<BYTE> &key, int64_t *id) {
    SqliteStatement last(db, "SELECT max(id) FROM names WHERE store = ?1");
    last.BindInt(1, store);
    bool row = false;
    DWORD err = last.Step(&row);
    if (err != ERROR_SUCCESS) return MapiResult(err);
    // No name yet reads as 0.
    int64_t next = std::max<int64_t>(kFirstNamedId, row ? last.Int(0) + 1 : 0);
    while (Reserved(next)) ++next;
    if (next > kLastNamedId) return MAPI_E_NOT_ENOUGH_RESOURCES;
    SqliteStatement insert(db, "INSERT INTO names(store, name, id) VALUES(?1, ?2, ?3)");
    insert.BindInt(1, store);
    insert.BindBlob(2, key.data(), key.size());
    insert.BindInt(3, next);
    err = insert.Run();
    *id = next;
    return MapiResult(err);
}

}  // namespace

HRESULT MapiResolveNames(int64_t store, ULONG cPropNames, LPMAPINAMEID *lppPropNames, ULONG ulFlags,
                         LPSPropTagArray *lppPropTags) {
    if (lppPropTags == nullptr || lppPropNames == nullptr || cPropNames == 0) return MAPI_E_INVALID_PARAMETER;
    *lppPropTags = nullptr;
    std::vector<ULONG> tags(cPropNames, PROP_TAG(PT_ERROR, 0));
    std::vector<std::vector<BYTE>> keys(cPropNames);
    std::vector<bool> valid(cPropNames);
    for (ULONG i = 0; i < cPropNames; ++i) valid[i] = NameKey(lppPropNames[i], &keys[i]);
    bool missing = false;
    auto resolve = [&](SqliteDb &db, bool create) -> HRESULT {
        missing = false;
        for (ULONG i = 0; i < cPropNames; ++i) {
            if (!valid[i]) continue;
            int64_t id = 0;
            bool found = false;
            HRESULT hr = Lookup(db, store, keys[i], &id, &found);
            if (SUCCEEDED(hr) && !found && create) {
                hr = Create(db, store, keys[i], &id);
                found = SUCCEEDED(hr);
            }
            if (FAILED(hr)) return hr;
            if (found)
                tags[i] = PROP_TAG(PT_UNSPECIFIED, id);
            else
                missing = true;
        }
        return S_OK;
    };
    HRESULT hr = MapiRead([&](SqliteDb &db) { return resolve(db, false); });
    // Only a name still missing needs the write lock.
    if (SUCCEEDED(hr) && missing && (ulFlags & MAPI_CREATE) != 0) {
        hr = MapiWrite(store, [&](SqliteDb &db, std::vector<MapiObjectEvent> *) { return resolve(db, true); });
    }
    if (FAILED(hr)) return hr;
    hr = MapiTagsOut(tags, lppPropTags);
    if (FAILED(hr)) return hr;
    for (ULONG tag : tags) {
        if (PROP_TYPE(tag) == PT_ERROR) return MAPI_W_ERRORS_RETURNED;
    }
    return S_OK;
}

}  // namespace vplat
