#include "registrystore.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>

#include "devicestate.h"
#include "hosterror.h"
#include "winerror.h"
#include "winstr.h"

namespace vplat {
namespace {

// user_version of a registry whose tables, roots and device keys are made.
const int kSchemaVersion = 1;

const char kSchema[] =
    "CREATE TABLE keys("
    " id INTEGER PRIMARY KEY AUTOINCREMENT,"  // never reused
    " root INTEGER NOT NULL,"
    " parent INTEGER,"                        // null for a root
    " name BLOB NOT NULL,"                    // UTF-16 units as created
    " folded BLOB NOT NULL);"                 // the same, upper-cased
    "CREATE UNIQUE INDEX keys_by_name ON keys(parent, folded);"
    "CREATE TABLE vals("
    " id INTEGER PRIMARY KEY,"                // grows with each new value: creation order
    " key INTEGER NOT NULL,"
    " name BLOB NOT NULL,"
    " folded BLOB NOT NULL,"
    " type INTEGER NOT NULL,"
    " data BLOB NOT NULL);"
    "CREATE UNIQUE INDEX vals_by_name ON vals(key, folded);";

// Every key of the subtree rooted at ?1.
#define SUBTREE "WITH RECURSIVE tree(id) AS (SELECT ?1 UNION ALL SELECT keys.id FROM keys JOIN tree ON keys.parent = tree.id) "

// This thread's connection; one that came through a fork is abandoned.
struct ThreadRegistry {
    RegistryStore *store = nullptr;
    void Drop() {
        if (store == nullptr) return;
        if (!store->OpenedHere()) store->Abandon();
        delete store;
        store = nullptr;
    }
    ~ThreadRegistry() { Drop(); }
};
thread_local ThreadRegistry t_registry;

}  // namespace

std::vector<std::u16string> SplitKeyPath(const WCHAR *path) {
    std::vector<std::u16string> names;
    if (path == nullptr) return names;
    std::u16string name;
    for (const WCHAR *p = path;; ++p) {
        if (*p == u'\\' || *p == 0) {
            if (!name.empty()) names.push_back(name);
            name.clear();
            if (*p == 0) break;
        } else {
            name.push_back(*p);
        }
    }
    return names;
}

std::u16string FoldName(const std::u16string &name) {
    std::u16string folded(name);
    for (auto &unit : folded) unit = towupper16(unit);
    return folded;
}

DWORD RegistryStore::Open(const std::string &deviceRoot) {
    m_deviceRoot = deviceRoot;
    m_path = deviceRoot + "/registry.db";
    m_pid = getpid();
    DWORD err = m_db.Open(m_path);
    if (err == ERROR_SUCCESS) err = MakeSchema();
    if (err != ERROR_SUCCESS) return err;
    struct stat st;
    if (stat(m_path.c_str(), &st) != 0) return Win32FromErrno(errno);
    m_fileDevice = st.st_dev;
    m_fileInode = st.st_ino;
    return ERROR_SUCCESS;
}

bool RegistryStore::OpenedHere() const { return m_pid == getpid(); }

void RegistryStore::Abandon() {
    // Its rollback would write through the parent's connection.
    (void)m_callerTx.release();
    m_db.Abandon();
}

DWORD RegistryStore::BeginCallerTransaction() {
    if (m_callerTx != nullptr) return ERROR_BUSY;
    auto tx = std::make_unique<SqliteTransaction>(m_db, true);
    if (tx->Error() != ERROR_SUCCESS) return tx->Error();
    m_callerTx = std::move(tx);
    return ERROR_SUCCESS;
}

DWORD RegistryStore::EndCallerTransaction(bool commit) {
    if (m_callerTx == nullptr) return ERROR_INVALID_FUNCTION;
    DWORD err = commit ? m_callerTx->Commit() : ERROR_SUCCESS;
    m_callerTx.reset();  // rolls back what was not committed
    return err;
}

bool RegistryStore::Serves(const std::string &deviceRoot) const {
    if (!m_db.IsOpen() || !OpenedHere() || deviceRoot != m_deviceRoot) return false;
    struct stat st;
    return stat(m_path.c_str(), &st) == 0 && st.st_dev == m_fileDevice && st.st_ino == m_fileInode;
}

DWORD RegistryStore::SchemaVersion(int64_t *version) {
    SqliteStatement query(m_db, "PRAGMA user_version");
    bool row;
    DWORD err = query.Step(&row);
    *version = err == ERROR_SUCCESS && row ? query.Int(0) : 0;
    return err;
}

// Makes the tables, the roots and the device's own keys of a new file, once
// for all processes: the write lock orders racing first opens. A made file
// is only read, so that opening it never waits for another's write.
DWORD RegistryStore::MakeSchema() {
    int64_t version = 0;
    DWORD err = SchemaVersion(&version);
    if (err != ERROR_SUCCESS || version >= kSchemaVersion) return err;
    SqliteTransaction tx(m_db, true);
    if (tx.Error() != ERROR_SUCCESS) return tx.Error();
    err = SchemaVersion(&version);
    if (err != ERROR_SUCCESS) return err;
    if (version >= kSchemaVersion) return tx.Commit();

    err = m_db.Exec(kSchema);
    for (int root = 0; root < kRootCount && err == ERROR_SUCCESS; ++root) {
        SqliteStatement insert(m_db, "INSERT INTO keys(id, root, parent, name, folded) VALUES(?1, ?2, NULL, x'', x'')");
        insert.BindInt(1, RegistryRootKey(root).id);
        insert.BindInt(2, root);
        err = insert.Run();
    }
    if (err == ERROR_SUCCESS) err = SeedDeviceKeys(*this);
    if (err == ERROR_SUCCESS) err = m_db.Exec(("PRAGMA user_version=" + std::to_string(kSchemaVersion)).c_str());
    if (err != ERROR_SUCCESS) return err;
    return tx.Commit();
}

DWORD RegistryStore::KeyExists(int64_t id, bool *exists) {
    SqliteStatement query(m_db, "SELECT 1 FROM keys WHERE id = ?1");
    query.BindInt(1, id);
    return query.Step(exists);
}

DWORD RegistryStore::FindPath(RegistryKeyRef from, const std::vector<std::u16string> &names, RegistryKeyRef *key,
                              bool *found) {
    RegistryKeyRef at = from;
    for (const auto &name : names) {
        SqliteStatement query(m_db, "SELECT id FROM keys WHERE parent = ?1 AND folded = ?2");
        query.BindInt(1, at.id);
        query.BindUnits(2, FoldName(name));
        DWORD err = query.Step(found);
        if (err != ERROR_SUCCESS || !*found) return err;
        at.id = query.Int(0);
    }
    *found = true;
    *key = at;
    return ERROR_SUCCESS;
}

DWORD RegistryStore::CreatePath(RegistryKeyRef from, const std::vector<std::u16string> &names, RegistryKeyRef *key,
                                bool *created) {
    RegistryKeyRef at = from;
    *created = false;
    for (const auto &name : names) {
        std::vector<std::u16string> one(1, name);
        bool found;
        DWORD err = FindPath(at, one, &at, &found);
        if (err != ERROR_SUCCESS) return err;
        *created = !found;
        if (found) continue;
        SqliteStatement insert(m_db, "INSERT INTO keys(root, parent, name, folded) VALUES(?1, ?2, ?3, ?4)");
        insert.BindInt(1, at.root);
        insert.BindInt(2, at.id);
        insert.BindUnits(3, name);
        insert.BindUnits(4, FoldName(name));
        err = insert.Run();
        if (err != ERROR_SUCCESS) return err;
        at.id = sqlite3_last_insert_rowid(m_db.Handle());
    }
    *key = at;
    return ERROR_SUCCESS;
}

DWORD RegistryStore::DeleteTree(int64_t id) {
    SqliteStatement values(m_db, SUBTREE "DELETE FROM vals WHERE key IN (SELECT id FROM tree)");
    values.BindInt(1, id);
    DWORD err = values.Run();
    if (err != ERROR_SUCCESS) return err;
    SqliteStatement keys(m_db, SUBTREE "DELETE FROM keys WHERE id IN (SELECT id FROM tree)");
    keys.BindInt(1, id);
    return keys.Run();
}

DWORD RegistryStore::SubKeyAt(int64_t id, DWORD index, std::u16string *name, bool *found) {
    SqliteStatement query(m_db, "SELECT name FROM keys WHERE parent = ?1 ORDER BY id LIMIT 1 OFFSET ?2");
    query.BindInt(1, id);
    query.BindInt(2, index);
    DWORD err = query.Step(found);
    if (err == ERROR_SUCCESS && *found) *name = query.Units(0);
    return err;
}

DWORD RegistryStore::GetInfo(int64_t id, RegistryKeyInfo *info) {
    SqliteStatement keys(m_db, "SELECT count(*), coalesce(max(length(name)), 0) FROM keys WHERE parent = ?1");
    keys.BindInt(1, id);
    bool row;
    DWORD err = keys.Step(&row);
    if (err != ERROR_SUCCESS) return err;
    info->subKeys = static_cast<DWORD>(keys.Int(0));
    info->maxSubKeyLen = static_cast<DWORD>(keys.Int(1) / 2);
    SqliteStatement values(m_db,
                           "SELECT count(*), coalesce(max(length(name)), 0), coalesce(max(length(data)), 0) "
                           "FROM vals WHERE key = ?1");
    values.BindInt(1, id);
    err = values.Step(&row);
    if (err != ERROR_SUCCESS) return err;
    info->values = static_cast<DWORD>(values.Int(0));
    info->maxValueNameLen = static_cast<DWORD>(values.Int(1) / 2);
    info->maxValueLen = static_cast<DWORD>(values.Int(2));
    return ERROR_SUCCESS;
}

DWORD RegistryStore::GetValue(int64_t id, const std::u16string &name, DWORD *type, std::vector<BYTE> *data,
                              bool *found) {
    SqliteStatement query(m_db, "SELECT type, data FROM vals WHERE key = ?1 AND folded = ?2");
    query.BindInt(1, id);
    query.BindUnits(2, FoldName(name));
    DWORD err = query.Step(found);
    if (err != ERROR_SUCCESS || !*found) return err;
    *type = static_cast<DWORD>(query.Int(0));
    query.Blob(1, data);
    return ERROR_SUCCESS;
}

// A value keeps its place and its name's spelling when it is replaced.
DWORD RegistryStore::SetValue(int64_t id, const std::u16string &name, DWORD type, const BYTE *data, DWORD size) {
    SqliteStatement upsert(m_db,
                           "INSERT INTO vals(key, name, folded, type, data) VALUES(?1, ?2, ?3, ?4, ?5) "
                           "ON CONFLICT(key, folded) DO UPDATE SET type = excluded.type, data = excluded.data");
    upsert.BindInt(1, id);
    upsert.BindUnits(2, name);
    upsert.BindUnits(3, FoldName(name));
    upsert.BindInt(4, type);
    upsert.BindBlob(5, data, size);
    return upsert.Run();
}

DWORD RegistryStore::DeleteValue(int64_t id, const std::u16string &name, bool *found) {
    SqliteStatement remove(m_db, "DELETE FROM vals WHERE key = ?1 AND folded = ?2");
    remove.BindInt(1, id);
    remove.BindUnits(2, FoldName(name));
    DWORD err = remove.Run();
    *found = err == ERROR_SUCCESS && sqlite3_changes(m_db.Handle()) > 0;
    return err;
}

DWORD RegistryStore::ValueAt(int64_t id, DWORD index, std::u16string *name, DWORD *type, std::vector<BYTE> *data,
                             bool *found) {
    SqliteStatement query(m_db, "SELECT name, type, data FROM vals WHERE key = ?1 ORDER BY id LIMIT 1 OFFSET ?2");
    query.BindInt(1, id);
    query.BindInt(2, index);
    DWORD err = query.Step(found);
    if (err != ERROR_SUCCESS || !*found) return err;
    *name = query.Units(0);
    *type = static_cast<DWORD>(query.Int(1));
    query.Blob(2, data);
    return ERROR_SUCCESS;
}

DWORD RegistryStore::Checkpoint() {
    int rc = sqlite3_wal_checkpoint_v2(m_db.Handle(), nullptr, SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
    // Busy: another connection is checkpointing already.
    return (rc & 0xff) == SQLITE_BUSY ? ERROR_SUCCESS : Win32FromSqlite(rc);
}

DWORD RegistryForThread(RegistryStore **store) {
    std::string root;
    if (!DeviceCurrentRoot(&root)) return GetLastError();
    ThreadRegistry &mine = t_registry;
    // A caller's open transaction keeps its connection to the end.
    bool keep = mine.store != nullptr && mine.store->InCallerTransaction() && mine.store->OpenedHere();
    if (!keep && (mine.store == nullptr || !mine.store->Serves(root))) {
        mine.Drop();
        auto fresh = std::make_unique<RegistryStore>();
        DWORD err = fresh->Open(root);
        if (err != ERROR_SUCCESS) return err;
        mine.store = fresh.release();
    }
    *store = mine.store;
    return ERROR_SUCCESS;
}

}  // namespace vplat
