#include "cedbfile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <map>
#include <memory>

#include "cedbnotify.h"
#include "devicestate.h"
#include "hosterror.h"

namespace vplat {
namespace {

// Marks a file as the device's database file ("CEDB").
const int64_t kApplicationId = 0x43454442;
const int kSchemaVersion = 1;

const char kSchema[] =
    "CREATE TABLE counters(name TEXT PRIMARY KEY, next INTEGER NOT NULL);"
    "INSERT INTO counters VALUES('oid', 1);"
    "CREATE TABLE dbs("
    " oid INTEGER PRIMARY KEY,"
    " name BLOB NOT NULL,"                  // UTF-16 units as created
    " folded BLOB NOT NULL UNIQUE,"         // upper-cased, for lookups
    " type INTEGER NOT NULL,"
    " flags INTEGER NOT NULL,"
    " sorts BLOB NOT NULL,"                 // the SORTORDERSPECEX array
    " modified INTEGER NOT NULL);"
    "CREATE TABLE recs(oid INTEGER PRIMARY KEY, db INTEGER NOT NULL);"
    "CREATE INDEX recs_by_db ON recs(db);"
    "CREATE TABLE props("
    " rec INTEGER NOT NULL,"
    " propid INTEGER NOT NULL,"             // id and type
    " num INTEGER,"                         // integer, boolean and time values
    " data BLOB,"                           // text, blob and double values
    " PRIMARY KEY(rec, propid)) WITHOUT ROWID;"
    "CREATE INDEX props_by_value ON props(propid, num, data);"
    "CREATE TABLE requests("
    " id INTEGER PRIMARY KEY,"
    " db INTEGER NOT NULL,"
    " hwnd INTEGER NOT NULL,"
    " pid INTEGER NOT NULL,"
    " started INTEGER NOT NULL,"            // the process's start time: a reused pid is another process
    " handle INTEGER NOT NULL,"
    " flags INTEGER NOT NULL,"
    " param INTEGER NOT NULL);"
    "CREATE INDEX requests_by_db ON requests(db);"
    "CREATE TABLE volumes(id INTEGER PRIMARY KEY AUTOINCREMENT, path BLOB NOT NULL UNIQUE);";

// Bound on retrying a write that found the file busy beyond SQLite's own
// wait (a busy snapshot, a lock held through a checkpoint).
const int kWriteAttempts = 50;
const int kRetrySleepMs = 20;

std::atomic<uint64_t> g_serial{0};

// This thread's connections, by host path; one that came through a fork is
// abandoned, never closed.
struct ThreadFiles {
    std::map<std::string, std::unique_ptr<CeDbFile>> files;
    ~ThreadFiles() {
        for (auto &entry : files) {
            if (!entry.second->OpenedHere()) entry.second->Abandon();
        }
    }
};
thread_local ThreadFiles t_files;

bool IsForeign(DWORD err) { return err == ERROR_GEN_FAILURE; }

DWORD Pragma(SqliteDb &db, const char *sql, int64_t *value) {
    SqliteStatement query(db, sql);
    bool row;
    DWORD err = query.Step(&row);
    *value = err == ERROR_SUCCESS && row ? query.Int(0) : 0;
    return err;
}

}  // namespace

DWORD CeDbFile::Open(const std::string &hostPath) {
    m_path = hostPath;
    m_pid = getpid();
    m_serial = ++g_serial;
    DWORD err = m_db.Open(hostPath);
    if (err == ERROR_SUCCESS) err = MakeSchema();
    // SQLite calls a file that is no database (or a damaged one) a generic
    // failure: to the caller it is data it cannot use.
    if (IsForeign(err)) err = ERROR_INVALID_DATA;
    if (err != ERROR_SUCCESS) return err;
    struct stat st;
    if (stat(hostPath.c_str(), &st) != 0) return Win32FromErrno(errno);
    m_fileDevice = st.st_dev;
    m_fileInode = st.st_ino;
    return ERROR_SUCCESS;
}

bool CeDbFile::OpenedHere() const { return m_pid == getpid(); }

void CeDbFile::Abandon() { m_db.Abandon(); }

bool CeDbFile::Serves(const std::string &hostPath) const {
    if (!m_db.IsOpen() || !OpenedHere() || hostPath != m_path) return false;
    struct stat st;
    return stat(m_path.c_str(), &st) == 0 && st.st_dev == m_fileDevice && st.st_ino == m_fileInode;
}

// Makes the tables of a new file once for all processes: the write lock
// orders racing first opens. A file with tables of another kind is refused.
DWORD CeDbFile::MakeSchema() {
    int64_t app = 0, version = 0;
    DWORD err = Pragma(m_db, "PRAGMA application_id", &app);
    if (err == ERROR_SUCCESS) err = Pragma(m_db, "PRAGMA user_version", &version);
    if (err != ERROR_SUCCESS) return err;
    if (app == kApplicationId && version >= kSchemaVersion) return ERROR_SUCCESS;
    SqliteTransaction tx(m_db, true);
    if (tx.Error() != ERROR_SUCCESS) return tx.Error();
    int64_t tables = 0;
    err = Pragma(m_db, "PRAGMA application_id", &app);
    if (err == ERROR_SUCCESS) err = Pragma(m_db, "PRAGMA user_version", &version);
    if (err == ERROR_SUCCESS) err = Pragma(m_db, "SELECT count(*) FROM sqlite_master", &tables);
    if (err != ERROR_SUCCESS) return err;
    if (app == kApplicationId && version >= kSchemaVersion) return tx.Commit();
    if (app != 0 || tables != 0) return ERROR_INVALID_DATA;
    err = m_db.Exec(kSchema);
    if (err == ERROR_SUCCESS) {
        std::string stamp = "PRAGMA application_id=" + std::to_string(kApplicationId) +
                            ";PRAGMA user_version=" + std::to_string(kSchemaVersion);
        err = m_db.Exec(stamp.c_str());
    }
    if (err != ERROR_SUCCESS) return err;
    return tx.Commit();
}

DWORD CeDbFile::OrderStamp(uint64_t *stamp) {
    int64_t version = 0;
    DWORD err = Pragma(m_db, "PRAGMA data_version", &version);
    *stamp = (static_cast<uint64_t>(version) << 32) ^ m_orderEpoch;
    return err;
}

DWORD CeDbFile::AllocateOid(CEOID *oid) {
    int64_t next = 0;
    DWORD err = Pragma(m_db, "SELECT next FROM counters WHERE name = 'oid'", &next);
    if (err != ERROR_SUCCESS) return err;
    // Values callers use as markers are skipped for good.
    while (next == 0 || next == 0x7FFF7FFF || next >= 0xFFFFFFFDLL) {
        if (next >= 0xFFFFFFFDLL) return ERROR_DISK_FULL;  // every id was handed out
        ++next;
    }
    SqliteStatement update(m_db, "UPDATE counters SET next = ?1 WHERE name = 'oid'");
    update.BindInt(1, next + 1);
    err = update.Run();
    if (err == ERROR_SUCCESS) *oid = static_cast<CEOID>(next);
    return err;
}

DWORD CeDbFile::Write(const CEGUID &volume, const std::function<DWORD(CeDbNotices *)> &body) {
    DWORD err = ERROR_BUSY;
    for (int attempt = 0; attempt < kWriteAttempts && err == ERROR_BUSY; ++attempt) {
        if (attempt > 0) usleep(kRetrySleepMs * 1000);
        SqliteTransaction tx(m_db, true);
        err = tx.Error();
        if (err != ERROR_SUCCESS) continue;
        CeDbNotices notices;
        err = body(&notices);
        std::vector<CeDbRequest> requests;
        if (err == ERROR_SUCCESS && !notices.notices.empty()) {
            err = CeDbLoadRequests(*this, notices.database, &requests);
        }
        if (err != ERROR_SUCCESS) continue;  // rolled back
        if (requests.empty()) {
            err = tx.Commit();
            continue;
        }
        std::vector<int64_t> gone;
        {
            CeDbNoticeGate gate;
            err = gate.Acquire(m_path);
            if (err == ERROR_SUCCESS) err = tx.Commit();
            if (err == ERROR_SUCCESS) CeDbPostNotices(notices, volume, requests, &gone);
        }
        // The write stands whatever cleaning up the dead requests gives.
        if (err == ERROR_SUCCESS && !gone.empty()) CeDbDropRequests(*this, gone);
    }
    return err;
}

DWORD CeDbFile::Read(const std::function<DWORD()> &body) {
    DWORD err = ERROR_BUSY;
    for (int attempt = 0; attempt < kWriteAttempts && err == ERROR_BUSY; ++attempt) {
        if (attempt > 0) usleep(kRetrySleepMs * 1000);
        SqliteTransaction tx(m_db, false);
        err = tx.Error();
        if (err == ERROR_SUCCESS) err = body();
        if (err == ERROR_SUCCESS) err = tx.Commit();
    }
    return err;
}

DWORD CeDbFileForThread(const std::string &hostPath, CeDbFile **file) {
    std::unique_ptr<CeDbFile> &mine = t_files.files[hostPath];
    if (mine == nullptr || !mine->Serves(hostPath)) {
        if (mine != nullptr && !mine->OpenedHere()) mine->Abandon();
        mine.reset();
        auto fresh = std::make_unique<CeDbFile>();
        DWORD err = fresh->Open(hostPath);
        if (err != ERROR_SUCCESS) {
            t_files.files.erase(hostPath);
            return err;
        }
        mine = std::move(fresh);
    }
    *file = mine.get();
    return ERROR_SUCCESS;
}

DWORD CeDbObjectStorePath(std::string *hostPath) {
    std::string root;
    if (!DeviceCurrentRoot(&root)) return GetLastError();
    *hostPath = root + "/objectstore.db";
    return ERROR_SUCCESS;
}

int64_t CeDbNow() {
    SYSTEMTIME now;
    GetSystemTime(&now);
    FILETIME ft{};
    SystemTimeToFileTime(&now, &ft);
    return (static_cast<int64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

}  // namespace vplat
