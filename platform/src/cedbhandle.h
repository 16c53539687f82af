// An open database: the file and volume it lives in, the database's object
// id, its sort orders and the one the handle walks by, the handle's
// position, and the order of the records as last read (kept while neither
// another connection's commit nor this connection's change of records or
// sort keys can have changed it). Usable from any thread; one lock guards
// the position and the cached order.
#ifndef VPLATFORM_CEDBHANDLE_H
#define VPLATFORM_CEDBHANDLE_H

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "cedbfile.h"
#include "cedbprops.h"
#include "handles.h"
#include "windbase.h"

namespace vplat {

// A database's row: what creating it fixed.
struct CeDbInfo {
    CEOID oid = 0;
    std::u16string name;
    DWORD type = 0;
    DWORD flags = 0;
    int64_t modified = 0;
    std::vector<SORTORDERSPECEX> sorts;
};

// Loads a database's row by object id or (oid 0) by name; *found false
// when there is none.
DWORD CeDbLoadInfo(CeDbFile &file, CEOID oid, const std::u16string &name, CeDbInfo *info, bool *found);
// Whether a write of propid can move records in one of the database's orders.
bool CeDbIsSortProp(const CeDbInfo &info, CEPROPID propid);
// ERROR_ALREADY_EXISTS when record's key in a unique sort order repeats
// another record's (inside the write).
DWORD CeDbCheckUnique(CeDbFile &file, const CeDbInfo &info, CEOID record);

// One record's sort key while ordering.
struct CeDbKeyed {
    CEOID oid = 0;
    CeDbValue values[CEDB_MAXSORTPROP];
    bool present[CEDB_MAXSORTPROP] = {false, false, false};
};

class CeDbHandle : public KernelObject {
public:
    std::string hostPath;
    CEGUID volume{};
    CeDbInfo info;
    bool sorted = false;  // walks by sort; else by object id
    SORTORDERSPECEX sort{};
    DWORD openFlags = 0;
    bool requested = false;  // a notification request is recorded
    uint64_t self = 0;       // the handle's value, which the request records

    std::mutex lock;
    bool positioned = false;  // a seek or read has placed the handle
    CEOID current = 0;        // 0: past the end
    DWORD index = 0;

    // The record order inside a transaction on file; ERROR_INVALID_HANDLE
    // when the database is gone. Call with lock held.
    DWORD Order(CeDbFile &file, const std::vector<CEOID> **order);
    // This handle's own write just added, changed the sort key of, or
    // (removed) deleted record, and nothing else changed the file since
    // stampBefore / epochBefore were read: the cached order takes the one
    // record in place instead of being read whole again at the next use.
    void NoteOwnChange(CeDbFile &file, CEOID record, bool removed, uint64_t stampBefore, uint64_t epochBefore);
    // The position of the current record in order (it may have moved), or
    // the old index when it is gone.
    DWORD CurrentIndex(const std::vector<CEOID> &order) const;

    void Close() override;

private:
    uint64_t m_cacheSerial = 0;
    uint64_t m_cacheStamp = 0;
    bool m_cacheValid = false;
    std::vector<CEOID> m_order;
};

}  // namespace vplat

#endif
