#include "mapidb.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <memory>

#include "devicestate.h"
#include "windowdirectory.h"
#include "winerror.h"
#include "winstr.h"
#include "wintime.h"

namespace vplat {
namespace {

const char kSchema[] =
    "CREATE TABLE IF NOT EXISTS objects("
    " id INTEGER PRIMARY KEY AUTOINCREMENT,"  // never reused: entry ids stay unique
    " store INTEGER NOT NULL,"
    " parent INTEGER,"                        // null for a store
    " kind INTEGER NOT NULL,"                 // the object type
    " folded BLOB,"                           // a folder's name, upper-cased
    " num INTEGER NOT NULL DEFAULT 0,"        // attachment number, recipient row id
    " next_attach INTEGER NOT NULL DEFAULT 0,"
    " next_row INTEGER NOT NULL DEFAULT 1,"
    " saved INTEGER NOT NULL DEFAULT 0);"
    "CREATE INDEX IF NOT EXISTS objects_by_parent ON objects(parent, kind);"
    "CREATE UNIQUE INDEX IF NOT EXISTS folders_by_name ON objects(parent, folded) WHERE folded IS NOT NULL;"
    "CREATE TABLE IF NOT EXISTS props("
    " object INTEGER NOT NULL,"
    " tag INTEGER NOT NULL,"
    " num INTEGER NOT NULL DEFAULT 0,"        // integer types
    " size INTEGER NOT NULL DEFAULT 0,"       // other types: bytes in chunks
    " PRIMARY KEY(object, tag)) WITHOUT ROWID;"
    "CREATE TABLE IF NOT EXISTS chunks("
    " object INTEGER NOT NULL,"
    " tag INTEGER NOT NULL,"
    " seq INTEGER NOT NULL,"
    " data BLOB NOT NULL,"
    " PRIMARY KEY(object, tag, seq));"
    "CREATE TABLE IF NOT EXISTS names("
    " store INTEGER NOT NULL,"
    " name BLOB NOT NULL,"                    // property set, kind, and the name or number
    " id INTEGER NOT NULL,"
    " PRIMARY KEY(store, name));"
    "CREATE UNIQUE INDEX IF NOT EXISTS names_by_id ON names(store, id);"
    // A new message exists only once saved: until then it is listed here
    // with the process that made it, and goes when that process is gone.
    "CREATE TABLE IF NOT EXISTS unsaved("
    " object INTEGER PRIMARY KEY,"
    " pid INTEGER NOT NULL,"
    " started INTEGER NOT NULL);";

const BYTE kMark[4] = {'V', 'M', 'S', '1'};
const size_t kEntryIdSize = 4 + 4 + 8 + 8;

const int kWriteAttempts = 50;
const int kRetrySleepMs = 20;

// This thread's connection; one that came through a fork is abandoned.
struct ThreadConnection {
    std::unique_ptr<SqliteDb> db;
    std::string path;
    pid_t pid = 0;
    dev_t device = 0;
    ino_t inode = 0;
    ~ThreadConnection() {
        if (db != nullptr && pid != getpid()) db->Abandon();
    }
};
thread_local ThreadConnection t_connection;

bool SameFile(const std::string &path, dev_t device, ino_t inode) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && st.st_dev == device && st.st_ino == inode;
}

// Makes the tables once for all processes; the write lock orders racing
// first opens, and a made file is only read.
DWORD MakeSchema(SqliteDb &db) {
    bool made = false;
    {
        // The newest table: a file made by an earlier version gets it too.
        SqliteStatement query(db, "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = 'unsaved'");
        DWORD err = query.Step(&made);
        if (err != ERROR_SUCCESS) return err;
    }
    if (made) return ERROR_SUCCESS;
    SqliteTransaction tx(db, true);
    if (tx.Error() != ERROR_SUCCESS) return tx.Error();
    DWORD err = db.Exec(kSchema);
    if (err == ERROR_SUCCESS) err = db.Exec(kMapiNoticeSchema);
    return err == ERROR_SUCCESS ? tx.Commit() : err;
}

void PutInt(std::vector<BYTE> *out, int64_t value) {
    for (int i = 0; i < 8; ++i) out->push_back(static_cast<BYTE>(static_cast<uint64_t>(value) >> (8 * i)));
}

int64_t GetInt(const BYTE *in) {
    uint64_t value = 0;
    for (int i = 7; i >= 0; --i) value = (value << 8) | in[i];
    return static_cast<int64_t>(value);
}

}  // namespace

HRESULT MapiResult(DWORD err) {
    switch (err) {
        case ERROR_SUCCESS: return S_OK;
        case ERROR_NOT_ENOUGH_MEMORY:
        case ERROR_OUTOFMEMORY: return MAPI_E_NOT_ENOUGH_MEMORY;
        case ERROR_DISK_FULL: return MAPI_E_NOT_ENOUGH_DISK;
        case ERROR_ACCESS_DENIED: return MAPI_E_NO_ACCESS;
        default: return MAPI_E_CALL_FAILED;
    }
}

HRESULT MapiDbForThread(SqliteDb **db) {
    std::string root;
    if (!DeviceCurrentRoot(&root)) return MAPI_E_CALL_FAILED;
    std::string path = root + "/mapi.db";
    ThreadConnection &c = t_connection;
    if (c.db != nullptr && c.pid == getpid() && c.path == path && SameFile(path, c.device, c.inode)) {
        *db = c.db.get();
        return S_OK;
    }
    if (c.db != nullptr && c.pid != getpid()) c.db->Abandon();
    c.db.reset();
    auto fresh = std::make_unique<SqliteDb>();
    DWORD err = fresh->Open(path);
    if (err == ERROR_SUCCESS) err = MakeSchema(*fresh);
    struct stat st;
    if (err == ERROR_SUCCESS && stat(path.c_str(), &st) != 0) err = ERROR_PATH_NOT_FOUND;
    if (err != ERROR_SUCCESS) return MapiResult(err);
    c.db = std::move(fresh);
    c.path = path;
    c.pid = getpid();
    c.device = st.st_dev;
    c.inode = st.st_ino;
    *db = c.db.get();
    return S_OK;
}

HRESULT MapiWrite(int64_t store, const std::function<HRESULT(SqliteDb &, std::vector<MapiObjectEvent> *)> &body) {
    SqliteDb *db = nullptr;
    HRESULT hr = MapiDbForThread(&db);
    if (FAILED(hr)) return hr;
    std::vector<MapiObjectEvent> events;
    MapiPublication publication;
    DWORD err = ERROR_BUSY;
    for (int attempt = 0; attempt < kWriteAttempts && err == ERROR_BUSY; ++attempt) {
        if (attempt > 0) usleep(kRetrySleepMs * 1000);
        events.clear();
        SqliteTransaction tx(*db, true);
        err = tx.Error();
        if (err != ERROR_SUCCESS) continue;
        hr = body(*db, &events);
        // A failed body rolls back whatever it wrote.
        if (FAILED(hr)) return hr;
        // The notices for other threads and processes commit with the write.
        MapiPublishPrepare(*db, store, events, &publication);
        err = tx.Commit();
    }
    if (err != ERROR_SUCCESS) return MapiResult(err);
    MapiPublishDeliver(publication);
    return hr;
}

HRESULT MapiRead(const std::function<HRESULT(SqliteDb &)> &body) {
    SqliteDb *db = nullptr;
    HRESULT hr = MapiDbForThread(&db);
    if (FAILED(hr)) return hr;
    SqliteTransaction tx(*db, false);
    if (tx.Error() != ERROR_SUCCESS) return MapiResult(tx.Error());
    return body(*db);
}

std::vector<BYTE> MapiEntryId(int64_t store, int64_t object) {
    std::vector<BYTE> id(8, 0);
    std::memcpy(id.data() + 4, kMark, sizeof kMark);
    PutInt(&id, store);
    PutInt(&id, object);
    return id;
}

HRESULT MapiParseEntryId(ULONG cb, const BYTE *bytes, int64_t *store, int64_t *object) {
    if (bytes == nullptr || cb != kEntryIdSize || std::memcmp(bytes + 4, kMark, 4) != 0) return MAPI_E_INVALID_ENTRYID;
    *store = GetInt(bytes + 8);
    *object = GetInt(bytes + 16);
    if (*store <= 0 || *object <= 0) return MAPI_E_INVALID_ENTRYID;
    return S_OK;
}

HRESULT MapiLoadObject(SqliteDb &db, int64_t id, MapiObjectRow *row) {
    SqliteStatement query(db, "SELECT store, parent, kind, num, saved FROM objects WHERE id = ?1");
    query.BindInt(1, id);
    bool found = false;
    DWORD err = query.Step(&found);
    if (err != ERROR_SUCCESS) return MapiResult(err);
    if (!found) return MAPI_E_NOT_FOUND;
    row->id = id;
    row->store = query.Int(0);
    row->parent = query.Int(1);
    row->kind = static_cast<ULONG>(query.Int(2));
    row->num = query.Int(3);
    row->saved = query.Int(4) != 0;
    return S_OK;
}

HRESULT MapiInsertObject(SqliteDb &db, const MapiObjectRow &row, const std::u16string *folderName, int64_t *id) {
    SqliteStatement insert(db, "INSERT INTO objects(store, parent, kind, folded, num) VALUES(?1, ?2, ?3, ?4, ?5)");
    insert.BindInt(1, row.store);
    if (row.parent != 0) insert.BindInt(2, row.parent);
    insert.BindInt(3, row.kind);
    if (folderName != nullptr) insert.BindUnits(4, MapiFoldName(*folderName));
    insert.BindInt(5, row.num);
    bool unused;
    DWORD err = insert.Step(&unused);
    if (err != ERROR_SUCCESS) {
        // The one constraint a caller can break: a sibling folder's name.
        if ((sqlite3_extended_errcode(db.Handle()) & 0xff) == SQLITE_CONSTRAINT) return MAPI_E_COLLISION;
        return MapiResult(err);
    }
    *id = sqlite3_last_insert_rowid(db.Handle());
    return S_OK;
}

HRESULT MapiSubtree(SqliteDb &db, int64_t id, std::vector<MapiObjectRow> *rows) {
    rows->clear();
    // Breadth first: a parent is listed before its children.
    std::vector<int64_t> level(1, id);
    while (!level.empty()) {
        std::vector<int64_t> next;
        for (int64_t parent : level) {
            SqliteStatement query(db, "SELECT id, store, kind, num, saved FROM objects WHERE parent = ?1 ORDER BY id");
            query.BindInt(1, parent);
            bool row = false;
            DWORD err;
            while ((err = query.Step(&row)) == ERROR_SUCCESS && row) {
                MapiObjectRow r;
                r.id = query.Int(0);
                r.store = query.Int(1);
                r.parent = parent;
                r.kind = static_cast<ULONG>(query.Int(2));
                r.num = query.Int(3);
                r.saved = query.Int(4) != 0;
                rows->push_back(r);
                next.push_back(r.id);
            }
            if (err != ERROR_SUCCESS) return MapiResult(err);
        }
        level.swap(next);
    }
    return S_OK;
}

HRESULT MapiChildren(SqliteDb &db, int64_t id, ULONG kind, std::vector<int64_t> *ids) {
    ids->clear();
    SqliteStatement query(db, "SELECT id FROM objects WHERE parent = ?1 AND (?2 = 0 OR kind = ?2) ORDER BY id");
    query.BindInt(1, id);
    query.BindInt(2, kind);
    bool row = false;
    DWORD err;
    while ((err = query.Step(&row)) == ERROR_SUCCESS && row) ids->push_back(query.Int(0));
    return MapiResult(err);
}

HRESULT MapiDeleteTree(SqliteDb &db, int64_t id) {
    std::vector<MapiObjectRow> rows;
    HRESULT hr = MapiSubtree(db, id, &rows);
    if (FAILED(hr)) return hr;
    std::vector<int64_t> ids(1, id);
    for (const auto &r : rows) ids.push_back(r.id);
    for (int64_t one : ids) {
        SqliteStatement chunks(db, "DELETE FROM chunks WHERE object = ?1");
        chunks.BindInt(1, one);
        DWORD err = chunks.Run();
        SqliteStatement props(db, "DELETE FROM props WHERE object = ?1");
        props.BindInt(1, one);
        if (err == ERROR_SUCCESS) err = props.Run();
        SqliteStatement object(db, "DELETE FROM objects WHERE id = ?1");
        object.BindInt(1, one);
        if (err == ERROR_SUCCESS) err = object.Run();
        SqliteStatement unsaved(db, "DELETE FROM unsaved WHERE object = ?1");
        unsaved.BindInt(1, one);
        if (err == ERROR_SUCCESS) err = unsaved.Run();
        if (err != ERROR_SUCCESS) return MapiResult(err);
    }
    return S_OK;
}

HRESULT MapiNoteUnsaved(SqliteDb &db, int64_t message) {
    uint64_t started = 0;
    if (!ProcessStartTime(getpid(), &started)) started = 0;
    SqliteStatement insert(db, "INSERT OR REPLACE INTO unsaved(object, pid, started) VALUES(?1, ?2, ?3)");
    insert.BindInt(1, message);
    insert.BindInt(2, getpid());
    insert.BindInt(3, int64_t(started));
    return MapiResult(insert.Run());
}

HRESULT MapiDropAbandoned(SqliteDb &db) {
    std::vector<int64_t> abandoned;
    {
        SqliteStatement query(db, "SELECT object, pid, started FROM unsaved");
        bool row = false;
        DWORD err;
        while ((err = query.Step(&row)) == ERROR_SUCCESS && row) {
            uint64_t started = 0;
            const bool lives = ProcessStartTime(pid_t(query.Int(1)), &started) && int64_t(started) == query.Int(2);
            if (!lives) abandoned.push_back(query.Int(0));
        }
        if (err != ERROR_SUCCESS) return MapiResult(err);
    }
    for (int64_t message : abandoned) {
        const HRESULT hr = MapiDeleteTree(db, message);
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}

HRESULT MapiTakeAttachNumber(SqliteDb &db, int64_t message, int64_t *number) {
    SqliteStatement query(db, "SELECT next_attach FROM objects WHERE id = ?1");
    query.BindInt(1, message);
    bool found = false;
    DWORD err = query.Step(&found);
    if (err != ERROR_SUCCESS) return MapiResult(err);
    if (!found) return MAPI_E_OBJECT_DELETED;
    *number = query.Int(0);
    SqliteStatement update(db, "UPDATE objects SET next_attach = next_attach + 1 WHERE id = ?1");
    update.BindInt(1, message);
    return MapiResult(update.Run());
}

int64_t MapiNow() {
    SYSTEMTIME now;
    GetSystemTime(&now);
    FILETIME ft{};
    SystemTimeToFileTime(&now, &ft);
    return (static_cast<int64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

std::u16string MapiFoldName(const std::u16string &name) {
    std::u16string folded(name);
    for (auto &unit : folded) unit = towupper16(unit);
    return folded;
}

}  // namespace vplat
