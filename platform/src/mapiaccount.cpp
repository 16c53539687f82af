// The mail account service's side of the message store: making an
// account's store with its folder tree, and removing it. One write
// transaction each, so racing processes make one store.
#include "mapistoreobjects.h"
#include "vplatform_mail.h"

namespace vplat {
namespace {

MapiValue Text(ULONG tag, const std::u16string &text) {
    MapiValue value;
    value.tag = tag;
    const BYTE *p = reinterpret_cast<const BYTE *>(text.data());
    value.bytes.assign(p, p + text.size() * 2);
    return value;
}

// The store whose display name is name exactly; 0 when none.
HRESULT FindStore(SqliteDb &db, const std::u16string &name, int64_t *store) {
    *store = 0;
    std::vector<int64_t> ids;
    {
        SqliteStatement query(db, "SELECT id FROM objects WHERE kind = 1 ORDER BY id");
        bool row = false;
        DWORD err;
        while ((err = query.Step(&row)) == ERROR_SUCCESS && row) ids.push_back(query.Int(0));
        if (err != ERROR_SUCCESS) return MapiResult(err);
    }
    MapiValue wanted = Text(PR_DISPLAY_NAME_W, name);
    for (int64_t id : ids) {
        MapiValue value;
        bool found = false;
        HRESULT hr = MapiLoadProp(db, id, PR_DISPLAY_NAME_W, &value, &found);
        if (FAILED(hr)) return hr;
        if (found && value.bytes == wanted.bytes) {
            *store = id;
            return S_OK;
        }
    }
    return S_OK;
}

// A folder of the new store under parent; nameless for the root.
HRESULT MakeFolder(SqliteDb &db, int64_t store, int64_t parent, const std::u16string *name, int64_t *id) {
    MapiObjectRow row;
    row.store = store;
    row.parent = parent;
    row.kind = kMapiKindFolder;
    HRESULT hr = MapiInsertObject(db, row, name, id);
    if (SUCCEEDED(hr) && name != nullptr) hr = MapiStoreProp(db, *id, Text(PR_DISPLAY_NAME_W, *name));
    return hr;
}

HRESULT MakeStore(SqliteDb &db, const std::u16string &name) {
    MapiObjectRow row;
    row.kind = kMapiKindStore;
    int64_t store = 0;
    HRESULT hr = MapiInsertObject(db, row, nullptr, &store);
    if (FAILED(hr)) return hr;
    // A store is its own store.
    SqliteStatement own(db, "UPDATE objects SET store = id WHERE id = ?1");
    own.BindInt(1, store);
    hr = MapiResult(own.Run());
    if (SUCCEEDED(hr)) hr = MapiStoreProp(db, store, Text(PR_DISPLAY_NAME_W, name));
    int64_t root = 0, subtree = 0;
    if (SUCCEEDED(hr)) hr = MakeFolder(db, store, store, nullptr, &root);
    if (SUCCEEDED(hr)) hr = MakeFolder(db, store, root, &name, &subtree);
    MapiValue subtreeId;
    subtreeId.tag = PR_IPM_SUBTREE_ENTRYID;
    subtreeId.bytes = MapiEntryId(store, subtree);
    if (SUCCEEDED(hr)) hr = MapiStoreProp(db, store, subtreeId);
    const struct {
        const char16_t *name;
        ULONG tag;
    } kSpecial[] = {
        {u"Inbox", PR_CE_IPM_INBOX_ENTRYID},         {u"Outbox", PR_IPM_OUTBOX_ENTRYID},
        {u"Drafts", PR_CE_IPM_DRAFTS_ENTRYID},       {u"Sent Items", PR_IPM_SENTMAIL_ENTRYID},
        {u"Deleted Items", PR_IPM_WASTEBASKET_ENTRYID},
    };
    for (const auto &special : kSpecial) {
        if (FAILED(hr)) break;
        std::u16string folderName(special.name);
        int64_t folder = 0;
        hr = MakeFolder(db, store, subtree, &folderName, &folder);
        MapiValue id;
        id.tag = special.tag;
        id.bytes = MapiEntryId(store, folder);
        if (SUCCEEDED(hr)) hr = MapiStoreProp(db, store, id);
    }
    return hr;
}

}  // namespace

HRESULT MailAccountProvision(const WCHAR *displayName) {
    if (displayName == nullptr || *displayName == 0) return MAPI_E_INVALID_PARAMETER;
    std::u16string name(displayName);
    return MapiWrite(0, [&](SqliteDb &db, std::vector<MapiObjectEvent> *) -> HRESULT {
        int64_t store = 0;
        HRESULT hr = FindStore(db, name, &store);
        if (FAILED(hr) || store != 0) return hr;
        return MakeStore(db, name);
    });
}

HRESULT MailAccountRemove(const WCHAR *displayName) {
    if (displayName == nullptr || *displayName == 0) return MAPI_E_INVALID_PARAMETER;
    std::u16string name(displayName);
    return MapiWrite(0, [&](SqliteDb &db, std::vector<MapiObjectEvent> *) -> HRESULT {
        int64_t store = 0;
        HRESULT hr = FindStore(db, name, &store);
        if (FAILED(hr)) return hr;
        if (store == 0) return MAPI_E_NOT_FOUND;
        SqliteStatement names(db, "DELETE FROM names WHERE store = ?1");
        names.BindInt(1, store);
        hr = MapiResult(names.Run());
        return SUCCEEDED(hr) ? MapiDeleteTree(db, store) : hr;
    });
}

}  // namespace vplat
