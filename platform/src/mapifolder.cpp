// A folder of the message store: its tables, new messages and subfolders,
// and the copies, moves and deletions of what it holds. Each call that
// changes the file is one write transaction.
#include <memory>

#include "mapistoreobjects.h"
#include "mapitable.h"

namespace vplat {
namespace {

MapiObjectEvent Event(ULONG type, const MapiObjectRow &row, int64_t parent) {
    MapiObjectEvent event;
    event.eventType = type;
    event.objType = row.kind;
    event.entryID = MapiEntryId(row.store, row.id);
    event.parentID = MapiEntryId(row.store, parent);
    return event;
}

// The folder that a caller's destination pointer names, or null.
MapiFolder *Destination(LPVOID lpDestFolder) {
    if (lpDestFolder == nullptr) return nullptr;
    return dynamic_cast<MapiFolder *>(static_cast<IMAPIFolder *>(lpDestFolder));
}

// A child of folder of the kind that the entry id names: MAPI_E_NOT_FOUND
// when it is none (gone, elsewhere, another kind).
HRESULT ChildById(SqliteDb &db, int64_t store, int64_t folder, ULONG kind, const SBinary &id, MapiObjectRow *row) {
    int64_t idStore = 0, object = 0;
    HRESULT hr = MapiParseEntryId(id.cb, id.lpb, &idStore, &object);
    if (FAILED(hr)) return hr;
    if (idStore != store) return MAPI_E_NOT_FOUND;
    hr = MapiLoadObject(db, object, row);
    if (FAILED(hr)) return hr;
    return row->parent == folder && row->kind == kind ? S_OK : MAPI_E_NOT_FOUND;
}

// The deletion events of an object and all it holds, before it is removed.
HRESULT DeletionEvents(SqliteDb &db, const MapiObjectRow &top, std::vector<MapiObjectEvent> *events) {
    std::vector<MapiObjectRow> rows;
    HRESULT hr = MapiSubtree(db, top.id, &rows);
    if (FAILED(hr)) return hr;
    for (auto it = rows.rbegin(); it != rows.rend(); ++it) {
        if (it->kind == kMapiKindFolder || it->kind == kMapiKindMessage)
            events->push_back(Event(fnevObjectDeleted, *it, it->parent));
    }
    events->push_back(Event(fnevObjectDeleted, top, top.parent));
    return S_OK;
}

// Copies from (with all it holds; subfolders of the top only when
// subfolders) under parent; a new name for the top when newName is given.
HRESULT CopyTree(SqliteDb &db, int64_t from, int64_t parent, bool subfolders, const std::u16string *newName,
                 int64_t *copy) {
    {
        // Reset before the children's copies use the same statement.
        SqliteStatement insert(db,
                               "INSERT INTO objects(store, parent, kind, folded, num, next_attach, next_row, saved)"
                               " SELECT store, ?2, kind, coalesce(?3, folded), num, next_attach, next_row, saved"
                               " FROM objects WHERE id = ?1");
        insert.BindInt(1, from);
        insert.BindInt(2, parent);
        if (newName != nullptr) insert.BindUnits(3, MapiFoldName(*newName));
        DWORD err = insert.Run();
        if (err != ERROR_SUCCESS) {
            if ((sqlite3_extended_errcode(db.Handle()) & 0xff) == SQLITE_CONSTRAINT) return MAPI_E_COLLISION;
            return MapiResult(err);
        }
    }
    *copy = sqlite3_last_insert_rowid(db.Handle());
    HRESULT hr = MapiCopyProps(db, from, *copy);
    if (SUCCEEDED(hr) && newName != nullptr) {
        MapiValue name;
        name.tag = PR_DISPLAY_NAME_W;
        const BYTE *p = reinterpret_cast<const BYTE *>(newName->data());
        name.bytes.assign(p, p + newName->size() * 2);
        hr = MapiStoreProp(db, *copy, name);
    }
    std::vector<int64_t> children;
    if (SUCCEEDED(hr)) hr = MapiChildren(db, from, 0, &children);
    for (size_t i = 0; i < children.size() && SUCCEEDED(hr); ++i) {
        MapiObjectRow child;
        hr = MapiLoadObject(db, children[i], &child);
        if (FAILED(hr) || (child.kind == kMapiKindFolder && !subfolders)) continue;
        int64_t unused = 0;
        hr = CopyTree(db, children[i], *copy, true, nullptr, &unused);
    }
    return hr;
}

// Whether folder lies in the subtree of top (or is top).
HRESULT InSubtree(SqliteDb &db, int64_t top, int64_t folder, bool *inside) {
    *inside = false;
    for (int64_t at = folder; at != 0;) {
        if (at == top) {
            *inside = true;
            return S_OK;
        }
        MapiObjectRow row;
        HRESULT hr = MapiLoadObject(db, at, &row);
        if (FAILED(hr)) return hr;
        at = row.parent;
    }
    return S_OK;
}

// The result of a call over a list of which found were there.
HRESULT ListResult(size_t found, size_t asked) {
    if (found == asked) return S_OK;
    return found == 0 ? MAPI_E_NOT_FOUND : MAPI_W_ERRORS_RETURNED;
}

}  // namespace

bool MapiFolder::Implements(REFIID riid) const { return IsEqualGUID(riid, IID_IMAPIFolder) != FALSE; }

HRESULT MapiFolder::GetContentsTable(ULONG, LPMAPITABLE *lppTable) {
    if (lppTable == nullptr) return MAPI_E_INVALID_PARAMETER;
    std::vector<int64_t> ids;
    HRESULT hr = MapiRead([&](SqliteDb &db) { return MapiChildren(db, Id(), kMapiKindMessage, &ids); });
    if (FAILED(hr)) return hr;
    return MapiObjectTable(std::move(ids),
                           {PR_ENTRYID, PR_SUBJECT_W, PR_MESSAGE_FLAGS, PR_LAST_MODIFICATION_TIME}, lppTable);
}

HRESULT MapiFolder::GetHierarchyTable(ULONG, LPMAPITABLE *lppTable) {
    if (lppTable == nullptr) return MAPI_E_INVALID_PARAMETER;
    std::vector<int64_t> ids;
    HRESULT hr = MapiRead([&](SqliteDb &db) { return MapiChildren(db, Id(), kMapiKindFolder, &ids); });
    if (FAILED(hr)) return hr;
    return MapiObjectTable(std::move(ids), {PR_ENTRYID, PR_DISPLAY_NAME_W, PR_CONTENT_COUNT, PR_SUBFOLDERS},
                           lppTable);
}

HRESULT MapiFolder::OpenEntry(ULONG cbEntryID, LPENTRYID lpEntryID, LPCIID, ULONG, ULONG *lpulObjType,
                              LPUNKNOWN *lppUnk) {
    return MapiOpenEntry(Store(), cbEntryID, lpEntryID, lpulObjType, lppUnk);
}

HRESULT MapiFolder::CreateMessage(LPCIID, ULONG, LPMESSAGE *lppMessage) {
    if (lppMessage == nullptr) return MAPI_E_INVALID_PARAMETER;
    *lppMessage = nullptr;
    int64_t id = 0;
    HRESULT hr = MapiWrite(Store(), [&](SqliteDb &db, std::vector<MapiObjectEvent> *) -> HRESULT {
        MapiObjectRow folder;
        HRESULT result = MapiLoadObject(db, Id(), &folder);
        if (result == MAPI_E_NOT_FOUND) return MAPI_E_OBJECT_DELETED;
        if (FAILED(result)) return result;
        MapiObjectRow row;
        row.store = Store();
        row.parent = Id();
        row.kind = kMapiKindMessage;
        result = MapiInsertObject(db, row, nullptr, &id);
        return SUCCEEDED(result) ? MapiNoteUnsaved(db, id) : result;
    });
    if (FAILED(hr)) return hr;
    *lppMessage = new MapiMessage(Store(), id);
    return S_OK;
}

HRESULT MapiFolder::CopyMessages(LPENTRYLIST lpMsgList, LPCIID, LPVOID lpDestFolder, ULONG, LPMAPIPROGRESS,
                                 ULONG ulFlags) {
    MapiFolder *dest = Destination(lpDestFolder);
    if (lpMsgList == nullptr || dest == nullptr) return MAPI_E_INVALID_PARAMETER;
    if (dest->Store() != Store()) return MAPI_E_NO_SUPPORT;
    bool move = (ulFlags & MESSAGE_MOVE) != 0;
    size_t found = 0;
    HRESULT hr = MapiWrite(Store(), [&](SqliteDb &db, std::vector<MapiObjectEvent> *events) -> HRESULT {
        found = 0;
        MapiObjectRow target;
        HRESULT result = MapiLoadObject(db, dest->Id(), &target);
        if (FAILED(result)) return result == MAPI_E_NOT_FOUND ? MAPI_E_OBJECT_DELETED : result;
        for (ULONG i = 0; i < lpMsgList->cValues; ++i) {
            MapiObjectRow message;
            result = ChildById(db, Store(), Id(), kMapiKindMessage, lpMsgList->lpbin[i], &message);
            if (result == MAPI_E_NOT_FOUND || result == MAPI_E_INVALID_ENTRYID) continue;
            if (FAILED(result)) return result;
            ++found;
            MapiObjectEvent event;
            if (move) {
                // A move keeps the id: only the parent changes.
                SqliteStatement update(db, "UPDATE objects SET parent = ?2 WHERE id = ?1");
                update.BindInt(1, message.id);
                update.BindInt(2, dest->Id());
                result = MapiResult(update.Run());
                event = Event(fnevObjectMoved, message, dest->Id());
            } else {
                int64_t copy = 0;
                result = CopyTree(db, message.id, dest->Id(), true, nullptr, &copy);
                MapiObjectRow copied = message;
                copied.id = copy;
                event = Event(fnevObjectCopied, copied, dest->Id());
            }
            if (FAILED(result)) return result;
            event.oldID = MapiEntryId(Store(), message.id);
            event.oldParentID = MapiEntryId(Store(), Id());
            events->push_back(event);
        }
        return S_OK;
    });
    if (FAILED(hr)) return hr;
    return ListResult(found, lpMsgList->cValues);
}

HRESULT MapiFolder::DeleteMessages(LPENTRYLIST lpMsgList, ULONG, LPMAPIPROGRESS, ULONG) {
    if (lpMsgList == nullptr) return MAPI_E_INVALID_PARAMETER;
    size_t found = 0;
    HRESULT hr = MapiWrite(Store(), [&](SqliteDb &db, std::vector<MapiObjectEvent> *events) -> HRESULT {
        found = 0;
        for (ULONG i = 0; i < lpMsgList->cValues; ++i) {
            MapiObjectRow message;
            HRESULT result = ChildById(db, Store(), Id(), kMapiKindMessage, lpMsgList->lpbin[i], &message);
            if (result == MAPI_E_NOT_FOUND || result == MAPI_E_INVALID_ENTRYID) continue;
            if (SUCCEEDED(result)) result = MapiDeleteTree(db, message.id);
            if (FAILED(result)) return result;
            ++found;
            events->push_back(Event(fnevObjectDeleted, message, Id()));
        }
        return S_OK;
    });
    if (FAILED(hr)) return hr;
    return ListResult(found, lpMsgList->cValues);
}

HRESULT MapiFolder::CreateFolder(ULONG, LPTSTR lpszFolderName, LPTSTR, LPCIID, ULONG ulFlags,
                                 IMAPIFolder **lppFolder) {
    if (lppFolder == nullptr || lpszFolderName == nullptr || *lpszFolderName == 0) return MAPI_E_INVALID_PARAMETER;
    *lppFolder = nullptr;
    std::u16string name(lpszFolderName);
    int64_t id = 0;
    HRESULT hr = MapiWrite(Store(), [&](SqliteDb &db, std::vector<MapiObjectEvent> *events) -> HRESULT {
        MapiObjectRow parent;
        HRESULT result = MapiLoadObject(db, Id(), &parent);
        if (FAILED(result)) return result == MAPI_E_NOT_FOUND ? MAPI_E_OBJECT_DELETED : result;
        SqliteStatement query(db, "SELECT id FROM objects WHERE parent = ?1 AND folded = ?2");
        query.BindInt(1, Id());
        query.BindUnits(2, MapiFoldName(name));
        bool exists = false;
        DWORD err = query.Step(&exists);
        if (err != ERROR_SUCCESS) return MapiResult(err);
        if (exists) {
            if ((ulFlags & OPEN_IF_EXISTS) == 0) return MAPI_E_COLLISION;
            id = query.Int(0);
            return S_OK;
        }
        MapiObjectRow row;
        row.store = Store();
        row.parent = Id();
        row.kind = kMapiKindFolder;
        result = MapiInsertObject(db, row, &name, &id);
        if (FAILED(result)) return result;
        MapiValue display;
        display.tag = PR_DISPLAY_NAME_W;
        const BYTE *p = reinterpret_cast<const BYTE *>(name.data());
        display.bytes.assign(p, p + name.size() * 2);
        result = MapiStoreProp(db, id, display);
        row.id = id;
        events->push_back(Event(fnevObjectCreated, row, Id()));
        return result;
    });
    if (FAILED(hr)) return hr;
    *lppFolder = new MapiFolder(Store(), id);
    return S_OK;
}

HRESULT MapiFolder::CopyFolder(ULONG cbEntryID, LPENTRYID lpEntryID, LPCIID, LPVOID lpDestFolder,
                               LPTSTR lpszNewFolderName, ULONG, LPMAPIPROGRESS, ULONG ulFlags) {
    MapiFolder *dest = Destination(lpDestFolder);
    if (lpEntryID == nullptr || dest == nullptr) return MAPI_E_INVALID_PARAMETER;
    if (dest->Store() != Store()) return MAPI_E_NO_SUPPORT;
    std::u16string newName;
    if (lpszNewFolderName != nullptr) newName = lpszNewFolderName;
    const std::u16string *renamed = newName.empty() ? nullptr : &newName;
    bool move = (ulFlags & FOLDER_MOVE) != 0;
    SBinary id{cbEntryID, reinterpret_cast<LPBYTE>(lpEntryID)};
    return MapiWrite(Store(), [&](SqliteDb &db, std::vector<MapiObjectEvent> *events) -> HRESULT {
        MapiObjectRow folder;
        HRESULT hr = ChildById(db, Store(), Id(), kMapiKindFolder, id, &folder);
        if (FAILED(hr)) return hr;
        MapiObjectRow target;
        hr = MapiLoadObject(db, dest->Id(), &target);
        if (FAILED(hr)) return hr == MAPI_E_NOT_FOUND ? MAPI_E_OBJECT_DELETED : hr;
        bool cycle = false;
        hr = InSubtree(db, folder.id, dest->Id(), &cycle);
        if (FAILED(hr)) return hr;
        if (cycle && (move || (ulFlags & COPY_SUBFOLDERS) != 0)) return MAPI_E_FOLDER_CYCLE;
        MapiObjectEvent event;
        if (move) {
            // The new name applies at the target: only its siblings there count.
            SqliteStatement update(db, "UPDATE objects SET parent = ?2, folded = coalesce(?3, folded) WHERE id = ?1");
            update.BindInt(1, folder.id);
            update.BindInt(2, dest->Id());
            if (renamed != nullptr) update.BindUnits(3, MapiFoldName(newName));
            DWORD err = update.Run();
            if (err != ERROR_SUCCESS) {
                if ((sqlite3_extended_errcode(db.Handle()) & 0xff) == SQLITE_CONSTRAINT) return MAPI_E_COLLISION;
                return MapiResult(err);
            }
            if (renamed != nullptr) {
                MapiValue display;
                display.tag = PR_DISPLAY_NAME_W;
                const BYTE *p = reinterpret_cast<const BYTE *>(newName.data());
                display.bytes.assign(p, p + newName.size() * 2);
                hr = MapiStoreProp(db, folder.id, display);
                if (FAILED(hr)) return hr;
            }
            event = Event(fnevObjectMoved, folder, dest->Id());
        } else {
            int64_t copy = 0;
            hr = CopyTree(db, folder.id, dest->Id(), (ulFlags & COPY_SUBFOLDERS) != 0, renamed, &copy);
            if (FAILED(hr)) return hr;
            MapiObjectRow copied = folder;
            copied.id = copy;
            event = Event(fnevObjectCopied, copied, dest->Id());
        }
        event.oldID = MapiEntryId(Store(), folder.id);
        event.oldParentID = MapiEntryId(Store(), Id());
        events->push_back(event);
        return S_OK;
    });
}

HRESULT MapiFolder::DeleteFolder(ULONG cbEntryID, LPENTRYID lpEntryID, ULONG, LPMAPIPROGRESS, ULONG ulFlags) {
    if (lpEntryID == nullptr) return MAPI_E_INVALID_PARAMETER;
    SBinary id{cbEntryID, reinterpret_cast<LPBYTE>(lpEntryID)};
    return MapiWrite(Store(), [&](SqliteDb &db, std::vector<MapiObjectEvent> *events) -> HRESULT {
        MapiObjectRow folder;
        HRESULT hr = ChildById(db, Store(), Id(), kMapiKindFolder, id, &folder);
        if (FAILED(hr)) return hr;
        std::vector<int64_t> held;
        hr = MapiChildren(db, folder.id, kMapiKindMessage, &held);
        if (FAILED(hr)) return hr;
        if (!held.empty() && (ulFlags & DEL_MESSAGES) == 0) return MAPI_E_HAS_MESSAGES;
        hr = MapiChildren(db, folder.id, kMapiKindFolder, &held);
        if (FAILED(hr)) return hr;
        if (!held.empty() && (ulFlags & DEL_FOLDERS) == 0) return MAPI_E_HAS_FOLDERS;
        // With both flags the subfolders go with everything they hold.
        hr = DeletionEvents(db, folder, events);
        if (SUCCEEDED(hr)) hr = MapiDeleteTree(db, folder.id);
        return hr;
    });
}

HRESULT MapiFolder::EmptyFolder(ULONG, LPMAPIPROGRESS, ULONG) {
    return MapiWrite(Store(), [&](SqliteDb &db, std::vector<MapiObjectEvent> *events) -> HRESULT {
        MapiObjectRow folder;
        HRESULT hr = MapiLoadObject(db, Id(), &folder);
        if (FAILED(hr)) return hr == MAPI_E_NOT_FOUND ? MAPI_E_OBJECT_DELETED : hr;
        std::vector<int64_t> children;
        hr = MapiChildren(db, Id(), 0, &children);
        for (size_t i = 0; i < children.size() && SUCCEEDED(hr); ++i) {
            MapiObjectRow child;
            hr = MapiLoadObject(db, children[i], &child);
            if (SUCCEEDED(hr)) hr = DeletionEvents(db, child, events);
            if (SUCCEEDED(hr)) hr = MapiDeleteTree(db, child.id);
        }
        return hr;
    });
}

}  // namespace vplat
