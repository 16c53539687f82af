// One connection to one file of property databases: the object store
// (<device root>/objectstore.db) or a mounted volume. The file holds the
// databases, their records, the records' properties, the notification
// requests of open handles and one counter of object ids, so that ids are
// never reused in the file. Each thread of each process has its own
// connection per file (CeDbFileForThread); nothing is cached between calls
// except the statements. Writes run in one write transaction each, retried
// with a bound while another process holds the file.
#ifndef VPLATFORM_CEDBFILE_H
#define VPLATFORM_CEDBFILE_H

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "sqlitedb.h"
#include "windbase.h"

namespace vplat {

// One notice a write makes: its type (DB_CEOID_*) and the object it names.
struct CeDbNotice {
    UINT type = 0;
    CEOID oid = 0;
};

// The notices of one write, all about one database.
struct CeDbNotices {
    CEOID database = 0;
    std::vector<CeDbNotice> notices;
};

class CeDbFile {
public:
    // Opens (making the tables of a new or empty file) the file at
    // hostPath. ERROR_INVALID_DATA for a file that is not a database file
    // of the device (corrupt, or another program's SQLite file).
    DWORD Open(const std::string &hostPath);
    // Whether this connection still serves hostPath in this process (not a
    // parent's across a fork, not a file since removed or replaced).
    bool Serves(const std::string &hostPath) const;
    bool OpenedHere() const;
    void Abandon();
    SqliteDb &Db() { return m_db; }
    const std::string &Path() const { return m_path; }
    // Distinguishes connections over the life of the process.
    uint64_t Serial() const { return m_serial; }

    // Changes whenever another connection commits to the file or this one
    // changes which records a database holds or their sort keys: what a
    // handle's cached order depends on.
    DWORD OrderStamp(uint64_t *stamp);
    void OrderChanged() { ++m_orderEpoch; }
    uint64_t OrderEpoch() const { return m_orderEpoch; }

    // Runs body in a write transaction (retrying, within a bound, while the
    // file is busy) and then delivers the notices body listed to the
    // database's requesters, in commit order across the device; volume is
    // the GUID the notices name.
    DWORD Write(const CEGUID &volume, const std::function<DWORD(CeDbNotices *)> &body);
    // Runs body in a read transaction: one state of the file.
    DWORD Read(const std::function<DWORD()> &body);

    // Next object id of the file (inside a write): never 0, 0x7FFF7FFF, -1,
    // -2 or -3, never handed out twice.
    DWORD AllocateOid(CEOID *oid);

private:
    DWORD MakeSchema();

    SqliteDb m_db;
    std::string m_path;
    pid_t m_pid = 0;
    dev_t m_fileDevice = 0;
    ino_t m_fileInode = 0;
    uint64_t m_serial = 0;
    uint64_t m_orderEpoch = 0;
};

// This thread's connection to the file at hostPath, opened (or reopened
// after a fork or a replaced file) as needed.
DWORD CeDbFileForThread(const std::string &hostPath, CeDbFile **file);

// The object store's host path of the open device.
DWORD CeDbObjectStorePath(std::string *hostPath);

// The current time as the stores keep it (100 ns units since 1601).
int64_t CeDbNow();

}  // namespace vplat

#endif
