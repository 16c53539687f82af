// One connection to one of the device's SQLite files, as the device's stores
// use them: write-ahead log (readers and one writer at once, across every
// process of the device), a busy timeout so that writers queue instead of
// failing, and prepared statements kept for reuse. A connection belongs to
// one thread and one process; it is never used on both sides of a fork.
// Every statement is reset when its use ends, so no read stays open between
// calls and each call sees what other connections committed before it.
#ifndef VPLATFORM_SQLITEDB_H
#define VPLATFORM_SQLITEDB_H

#include <sqlite3.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "wintypes.h"

namespace vplat {

// The platform's error number for an SQLite result code.
DWORD Win32FromSqlite(int rc);

class SqliteDb {
public:
    SqliteDb() = default;
    ~SqliteDb();
    SqliteDb(const SqliteDb &) = delete;
    SqliteDb &operator=(const SqliteDb &) = delete;

    // Opens (creating when missing) the file at hostPath in write-ahead-log
    // mode. Returns 0 or an error number.
    DWORD Open(const std::string &hostPath);
    // Forgets the connection without closing it: for a child process that
    // inherited it, where closing would touch the parent's locks.
    void Abandon();
    bool IsOpen() const { return m_db != nullptr; }
    sqlite3 *Handle() const { return m_db; }

    // Runs statements that return no rows. Returns 0 or an error number.
    DWORD Exec(const char *sql);
    // The prepared statement for sql (a literal: it is kept by its address),
    // or null with *err set.
    sqlite3_stmt *Prepare(const char *sql, DWORD *err);

private:
    sqlite3 *m_db = nullptr;
    std::map<const char *, sqlite3_stmt *> m_statements;
};

// One use of a prepared statement: bind, step, read columns; reset when it
// goes out of scope. A failed preparation or bind makes Step return the error.
class SqliteStatement {
public:
    SqliteStatement(SqliteDb &db, const char *sql);
    ~SqliteStatement();
    SqliteStatement(const SqliteStatement &) = delete;
    SqliteStatement &operator=(const SqliteStatement &) = delete;

    void BindInt(int index, int64_t value);
    void BindBlob(int index, const void *data, size_t size);
    void BindUnits(int index, const std::u16string &text) { BindBlob(index, text.data(), text.size() * 2); }

    // Runs the statement one row further: *row tells whether a row came.
    // Returns 0 or an error number.
    DWORD Step(bool *row);
    // Runs a statement that returns no rows. Returns 0 or an error number.
    DWORD Run();

    int64_t Int(int column) const;
    size_t Size(int column) const;
    void Blob(int column, std::vector<BYTE> *out) const;
    std::u16string Units(int column) const;

private:
    sqlite3_stmt *m_stmt;
    DWORD m_err = 0;
};

// A transaction on one connection: a read transaction sees one state of the
// file; a write transaction takes the file's write lock at once (waiting for
// other writers), so that it never has to give up half-way. Rolled back
// unless committed.
class SqliteTransaction {
public:
    SqliteTransaction(SqliteDb &db, bool write);
    ~SqliteTransaction();
    SqliteTransaction(const SqliteTransaction &) = delete;
    SqliteTransaction &operator=(const SqliteTransaction &) = delete;

    // 0 when the transaction began, else its error number.
    DWORD Error() const { return m_err; }
    DWORD Commit();

private:
    SqliteDb &m_db;
    DWORD m_err;
    bool m_open = false;
};

}  // namespace vplat

#endif
