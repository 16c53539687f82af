// The message store object and what every object shares: opening an
// object by entry id, comparing ids, and the small writes of saves.
#include "mapistoreobjects.h"

namespace vplat {

HRESULT MapiOpenEntry(int64_t store, ULONG cbEntryID, LPENTRYID lpEntryID, ULONG *lpulObjType, LPUNKNOWN *lppUnk) {
    if (lppUnk == nullptr) return MAPI_E_INVALID_PARAMETER;
    *lppUnk = nullptr;
    int64_t object = 0;
    MapiObjectRow row;
    HRESULT hr = MapiRead([&](SqliteDb &db) -> HRESULT {
        if (lpEntryID == nullptr) {
            // No id: the store's root folder.
            std::vector<int64_t> roots;
            HRESULT result = MapiChildren(db, store, kMapiKindFolder, &roots);
            if (FAILED(result)) return result;
            if (roots.empty()) return MAPI_E_NOT_FOUND;
            object = roots.front();
        } else {
            int64_t idStore = 0;
            HRESULT result = MapiParseEntryId(cbEntryID, reinterpret_cast<const BYTE *>(lpEntryID), &idStore, &object);
            if (FAILED(result)) return result;
            if (idStore != store) return MAPI_E_NOT_FOUND;
        }
        return MapiLoadObject(db, object, &row);
    });
    if (FAILED(hr)) return hr;
    IUnknown *opened = nullptr;
    switch (row.kind) {
        case kMapiKindStore: opened = new MapiStore(store); break;
        case kMapiKindFolder: opened = static_cast<IMAPIFolder *>(new MapiFolder(store, object)); break;
        case kMapiKindMessage: opened = static_cast<IMessage *>(new MapiMessage(store, object)); break;
        default: return MAPI_E_NOT_FOUND;  // attachments and recipients have no entry id
    }
    if (lpulObjType != nullptr) *lpulObjType = row.kind;
    *lppUnk = opened;
    return S_OK;
}

HRESULT MapiCompareEntryIds(ULONG cb1, LPENTRYID id1, ULONG cb2, LPENTRYID id2, ULONG *result) {
    if (result == nullptr) return MAPI_E_INVALID_PARAMETER;
    int64_t store1 = 0, object1 = 0, store2 = 0, object2 = 0;
    HRESULT hr = MapiParseEntryId(cb1, reinterpret_cast<const BYTE *>(id1), &store1, &object1);
    if (SUCCEEDED(hr)) hr = MapiParseEntryId(cb2, reinterpret_cast<const BYTE *>(id2), &store2, &object2);
    if (FAILED(hr)) return hr;
    *result = store1 == store2 && object1 == object2 ? TRUE : FALSE;
    return S_OK;
}

HRESULT MapiStore::Advise(ULONG cbEntryID, LPENTRYID lpEntryID, ULONG ulEventMask, LPMAPIADVISESINK lpAdviseSink,
                          ULONG *lpulConnection) {
    if (lpAdviseSink == nullptr || lpulConnection == nullptr) return MAPI_E_INVALID_PARAMETER;
    if (lpEntryID == nullptr) return MapiAdviseAdd(m_core.Store(), nullptr, 0, ulEventMask, lpAdviseSink, lpulConnection);
    int64_t store = 0, object = 0;
    HRESULT hr = MapiParseEntryId(cbEntryID, reinterpret_cast<const BYTE *>(lpEntryID), &store, &object);
    if (FAILED(hr)) return hr;
    if (store != m_core.Store()) return MAPI_E_NOT_FOUND;
    // The store's own id watches the whole store.
    if (object == store) return MapiAdviseAdd(store, nullptr, 0, ulEventMask, lpAdviseSink, lpulConnection);
    return MapiAdviseAdd(store, reinterpret_cast<const BYTE *>(lpEntryID), cbEntryID, ulEventMask, lpAdviseSink,
                         lpulConnection);
}

HRESULT MapiStore::Unadvise(ULONG ulConnection) { return MapiAdviseRemove(ulConnection); }

HRESULT MapiStore::CompareEntryIDs(ULONG cbEntryID1, LPENTRYID lpEntryID1, ULONG cbEntryID2, LPENTRYID lpEntryID2,
                                   ULONG, ULONG *lpulResult) {
    return MapiCompareEntryIds(cbEntryID1, lpEntryID1, cbEntryID2, lpEntryID2, lpulResult);
}

HRESULT MapiStore::OpenEntry(ULONG cbEntryID, LPENTRYID lpEntryID, LPCIID, ULONG, ULONG *lpulObjType,
                             LPUNKNOWN *lppUnk) {
    return MapiOpenEntry(m_core.Store(), cbEntryID, lpEntryID, lpulObjType, lppUnk);
}

HRESULT MapiRenameFolder(SqliteDb &db, int64_t folder, const std::u16string &name) {
    if (name.empty()) return MAPI_E_INVALID_PARAMETER;
    SqliteStatement update(db, "UPDATE objects SET folded = ?2 WHERE id = ?1");
    update.BindInt(1, folder);
    update.BindUnits(2, MapiFoldName(name));
    DWORD err = update.Run();
    if (err != ERROR_SUCCESS && (sqlite3_extended_errcode(db.Handle()) & 0xff) == SQLITE_CONSTRAINT)
        return MAPI_E_COLLISION;
    return MapiResult(err);
}

HRESULT MapiMarkSaved(SqliteDb &db, int64_t message) {
    SqliteStatement update(db, "UPDATE objects SET saved = 1 WHERE id = ?1");
    update.BindInt(1, message);
    DWORD err = update.Run();
    SqliteStatement unsaved(db, "DELETE FROM unsaved WHERE object = ?1");
    unsaved.BindInt(1, message);
    if (err == ERROR_SUCCESS) err = unsaved.Run();
    return MapiResult(err);
}

HRESULT MapiAttachmentChanged(SqliteDb &db, const MapiObjectRow &attach, std::vector<MapiObjectEvent> *events) {
    MapiObjectRow message;
    HRESULT hr = MapiLoadObject(db, attach.parent, &message);
    if (hr == MAPI_E_NOT_FOUND) return MAPI_E_OBJECT_DELETED;
    if (FAILED(hr) || !message.saved) return hr;
    MapiObjectEvent event;
    event.eventType = fnevObjectModified;
    event.objType = MAPI_MESSAGE;
    event.entryID = MapiEntryId(message.store, message.id);
    event.parentID = MapiEntryId(message.store, message.parent);
    event.changedTags.push_back(PR_HASATTACH);
    events->push_back(event);
    return S_OK;
}

}  // namespace vplat
