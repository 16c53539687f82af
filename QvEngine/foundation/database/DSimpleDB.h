// DSimpleDB: a small database of typed records addressed by 32-bit record
// ids. This base keeps what every form of it shares: the header, the
// records in memory (owned), the open flag and the mode; DSimpleDBVFile
// keeps it in a file.
//
// Contract:
// - Open (mode 2 read/write, any other mode read-only) and Create work on a
//   closed database; every other operation but Close, Exists and Delete on a
//   closed one is dbIsNotReadyError.
// - Records belong to the database until they are removed or it is closed;
//   callers never delete them. A removal deletes the record object.
// - RecordRemoved tells subclasses of every removal, so that anything they
//   keep by index or id can follow.
#ifndef QV_DSIMPLEDB_H
#define QV_DSIMPLEDB_H

#include <cstdint>

#include "DErrorCode.h"
#include "DPtrList.h"
#include "DSimpleDBHeader.h"
#include "DSimpleDBRecord.h"

enum DSimpleDBMode : int { kDBClosed = 0, kDBReadOnly = 1, kDBReadWrite = 2 };

class DSimpleDB {
public:
    DSimpleDB() = default;
    virtual ~DSimpleDB();
    DSimpleDB(const DSimpleDB &) = delete;
    DSimpleDB &operator=(const DSimpleDB &) = delete;

    virtual DErrorCode Open(int mode, bool create) = 0;
    virtual DErrorCode Create() = 0;
    // Deletes the header and every record in memory.
    virtual DErrorCode Close();
    virtual DErrorCode Save() = 0;
    virtual DErrorCode Delete() = 0;
    virtual DErrorCode Exists(bool *out) = 0;
    DErrorCode GetVersion(uint32_t *out);
    virtual DErrorCode GetRecordCount(uint32_t *out) = 0;
    virtual DErrorCode GetRecordAt(uint32_t index, DSimpleDBRecord **out) = 0;
    DErrorCode GetRecordByID(uint32_t recordID, DSimpleDBRecord **out);
    // generalErrItemNotFound when no record has the id.
    virtual DErrorCode FindRecordIndex(uint32_t recordID, uint32_t *index) = 0;
    // A new record with a fresh id; it stays unmodified until it gets a
    // field or is marked, and an unmodified new record is dropped at save.
    virtual DErrorCode CreateRecord(DSimpleDBRecord **out) = 0;
    virtual DErrorCode RemoveRecordAt(uint32_t index) = 0;
    DErrorCode RemoveRecordByID(uint32_t recordID);
    // Asked by the header's new-id search.
    virtual bool IsRecordIDInUse(uint32_t recordID) = 0;

    bool IsOpen() const { return m_open; }
    // kDBClosed, kDBReadOnly or kDBReadWrite.
    int GetMode() const { return m_open ? m_mode : kDBClosed; }

protected:
    // A new record object of the database's record class; null when it
    // cannot be made.
    virtual DSimpleDBRecord *NewRecord(uint32_t recordID);
    // Called after the record at index (with that id) was removed.
    virtual void RecordRemoved(uint32_t index, uint32_t recordID);

    DSimpleDBRecord *FindCachedRecord(uint32_t recordID);
    DErrorCode CacheRecord(DSimpleDBRecord *record);
    // Deletes the record in memory with the id, if any.
    void DeleteCachedRecord(uint32_t recordID);
    uint32_t GetCachedCount() const { return m_cache.GetCount(); }
    DErrorCode GetCachedAt(uint32_t index, DSimpleDBRecord **out) { return m_cache.GetAt(index, out); }

    DSimpleDBHeader *m_header = nullptr;
    bool m_open = false;
    int m_mode = kDBClosed;

private:
    DPtrList m_cache;
};

#endif
