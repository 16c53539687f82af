#include "sqlitedb.h"

#include <cstring>

#include "winerror.h"

namespace vplat {
namespace {

// How long a call waits for another connection's write to end.
const int kBusyTimeoutMs = 10000;
const int kRetrySleepMs = 10;

// Switches the file to write-ahead logging. The switch needs the file to
// itself, so a connection that races another one's first open may find it
// busy (the pragma then reports the old mode): wait and try again.
DWORD UseWriteAheadLog(sqlite3 *db) {
    for (int waited = 0;; waited += kRetrySleepMs) {
        sqlite3_stmt *stmt = nullptr;
        int rc = sqlite3_prepare_v2(db, "PRAGMA journal_mode=WAL", -1, &stmt, nullptr);
        bool wal = false;
        if (rc == SQLITE_OK) {
            rc = sqlite3_step(stmt);
            if (rc == SQLITE_ROW) {
                const unsigned char *mode = sqlite3_column_text(stmt, 0);
                wal = mode != nullptr && std::strcmp(reinterpret_cast<const char *>(mode), "wal") == 0;
                rc = SQLITE_OK;
            }
        }
        sqlite3_finalize(stmt);
        if (wal) return ERROR_SUCCESS;
        int primary = rc & 0xff;
        if (primary != SQLITE_OK && primary != SQLITE_BUSY && primary != SQLITE_LOCKED) return Win32FromSqlite(rc);
        if (waited >= kBusyTimeoutMs) return ERROR_BUSY;
        sqlite3_sleep(kRetrySleepMs);
    }
}

}  // namespace

DWORD Win32FromSqlite(int rc) {
    switch (rc & 0xff) {
        case SQLITE_OK:
        case SQLITE_ROW:
        case SQLITE_DONE: return ERROR_SUCCESS;
        case SQLITE_BUSY:
        case SQLITE_LOCKED: return ERROR_BUSY;
        case SQLITE_NOMEM: return ERROR_NOT_ENOUGH_MEMORY;
        case SQLITE_FULL: return ERROR_DISK_FULL;
        case SQLITE_READONLY:
        case SQLITE_PERM:
        case SQLITE_AUTH: return ERROR_ACCESS_DENIED;
        case SQLITE_CANTOPEN: return ERROR_PATH_NOT_FOUND;
        case SQLITE_TOOBIG: return ERROR_INVALID_PARAMETER;
        default: return ERROR_GEN_FAILURE;
    }
}

SqliteDb::~SqliteDb() {
    for (auto &entry : m_statements) sqlite3_finalize(entry.second);
    if (m_db != nullptr) sqlite3_close_v2(m_db);
}

DWORD SqliteDb::Open(const std::string &hostPath) {
    int rc = sqlite3_open_v2(hostPath.c_str(), &m_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                             nullptr);
    DWORD err = Win32FromSqlite(rc);
    if (err == ERROR_SUCCESS) {
        sqlite3_busy_timeout(m_db, kBusyTimeoutMs);
        err = UseWriteAheadLog(m_db);
    }
    // A commit survives the crash of any process at once; a checkpoint
    // (which syncs) makes it survive the host's crash too.
    if (err == ERROR_SUCCESS) err = Exec("PRAGMA synchronous=NORMAL");
    if (err != ERROR_SUCCESS) {
        sqlite3_close_v2(m_db);
        m_db = nullptr;
    }
    return err;
}

void SqliteDb::Abandon() {
    m_statements.clear();
    m_db = nullptr;
}

DWORD SqliteDb::Exec(const char *sql) {
    if (m_db == nullptr) return ERROR_INVALID_HANDLE;
    return Win32FromSqlite(sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr));
}

sqlite3_stmt *SqliteDb::Prepare(const char *sql, DWORD *err) {
    if (m_db == nullptr) {
        *err = ERROR_INVALID_HANDLE;
        return nullptr;
    }
    auto it = m_statements.find(sql);
    if (it != m_statements.end()) return it->second;
    sqlite3_stmt *stmt = nullptr;
    int rc = sqlite3_prepare_v3(m_db, sql, -1, SQLITE_PREPARE_PERSISTENT, &stmt, nullptr);
    if (rc != SQLITE_OK) {
        sqlite3_finalize(stmt);
        *err = Win32FromSqlite(rc);
        return nullptr;
    }
    m_statements.emplace(sql, stmt);
    return stmt;
}

SqliteStatement::SqliteStatement(SqliteDb &db, const char *sql) : m_stmt(db.Prepare(sql, &m_err)) {}

SqliteStatement::~SqliteStatement() {
    if (m_stmt == nullptr) return;
    sqlite3_reset(m_stmt);
    sqlite3_clear_bindings(m_stmt);
}

void SqliteStatement::BindInt(int index, int64_t value) {
    if (m_err != ERROR_SUCCESS) return;
    m_err = Win32FromSqlite(sqlite3_bind_int64(m_stmt, index, value));
}

void SqliteStatement::BindBlob(int index, const void *data, size_t size) {
    if (m_err != ERROR_SUCCESS) return;
    // A null pointer would bind NULL; an empty value is an empty blob.
    static const char kEmpty = 0;
    m_err = Win32FromSqlite(
        sqlite3_bind_blob64(m_stmt, index, size == 0 ? &kEmpty : data, size, SQLITE_TRANSIENT));
}

DWORD SqliteStatement::Step(bool *row) {
    *row = false;
    if (m_err != ERROR_SUCCESS) return m_err;
    int rc = sqlite3_step(m_stmt);
    if (rc == SQLITE_ROW) {
        *row = true;
        return ERROR_SUCCESS;
    }
    if (rc == SQLITE_DONE) return ERROR_SUCCESS;
    m_err = Win32FromSqlite(rc);
    return m_err;
}

DWORD SqliteStatement::Run() {
    bool row;
    return Step(&row);
}

int64_t SqliteStatement::Int(int column) const { return sqlite3_column_int64(m_stmt, column); }

size_t SqliteStatement::Size(int column) const { return static_cast<size_t>(sqlite3_column_bytes(m_stmt, column)); }

void SqliteStatement::Blob(int column, std::vector<BYTE> *out) const {
    const BYTE *data = static_cast<const BYTE *>(sqlite3_column_blob(m_stmt, column));
    size_t size = Size(column);
    if (data == nullptr) size = 0;
    out->assign(data, data + size);
}

std::u16string SqliteStatement::Units(int column) const {
    const void *data = sqlite3_column_blob(m_stmt, column);
    size_t size = Size(column);
    std::u16string text;
    if (data == nullptr) return text;
    text.resize(size / 2);
    std::memcpy(&text[0], data, text.size() * 2);
    return text;
}

SqliteTransaction::SqliteTransaction(SqliteDb &db, bool write) : m_db(db) {
    SqliteStatement begin(db, write ? "BEGIN IMMEDIATE" : "BEGIN");
    m_err = begin.Run();
    m_open = m_err == ERROR_SUCCESS;
}

SqliteTransaction::~SqliteTransaction() {
    if (!m_open) return;
    SqliteStatement rollback(m_db, "ROLLBACK");
    rollback.Run();
}

DWORD SqliteTransaction::Commit() {
    if (!m_open) return m_err != ERROR_SUCCESS ? m_err : ERROR_INVALID_HANDLE;
    SqliteStatement commit(m_db, "COMMIT");
    DWORD err = commit.Run();
    if (err == ERROR_SUCCESS) m_open = false;
    return err;
}

}  // namespace vplat
