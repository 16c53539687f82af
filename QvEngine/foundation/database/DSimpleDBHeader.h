// DSimpleDBHeader: the header of a simple database as kept in memory:
// header length, format version and next record id, stored as three u32
// values (12 bytes); the file form and its subclasses append to it.
//
// Contract:
// - A new header has both lengths kQvUnknown, next record id 1, version 1.
// - GetSerializedSize is what the header writes, and what it wants to read.
// - SerializeIn never reads past the bytes given (dbFieldSerialzeInError)
//   and sets both lengths to the header length read; SerializeOut sets the
//   current length to the size written.
// - UpdateStoredLength records, once header (and index) are written, how
//   many bytes the file now holds for them.
// - GetNewRecordID asks the owning database which ids are in use, and never
//   hands out 0 or kQvUnknown: callers keep those as "no record" (a parent
//   link of kQvUnknown, a missing link field that reads 0). A stored next id
//   that is one of them is read as 1.
#ifndef QV_DSIMPLEDBHEADER_H
#define QV_DSIMPLEDBHEADER_H

#include <cstdint>

#include "DErrorCode.h"
#include "wintypes.h"

class DSimpleDB;

class DSimpleDBHeader {
public:
    explicit DSimpleDBHeader(DSimpleDB *database) : m_database(database) {}
    virtual ~DSimpleDBHeader() = default;
    DSimpleDBHeader(const DSimpleDBHeader &) = delete;
    DSimpleDBHeader &operator=(const DSimpleDBHeader &) = delete;

    virtual uint32_t GetSerializedSize() const { return kSize; }
    virtual DErrorCode SerializeIn(const BYTE *bytes, uint32_t length);
    virtual DErrorCode SerializeOut(BYTE *bytes, uint32_t room);
    virtual void UpdateStoredLength() { m_storedLength = m_currentLength; }

    // Takes the next free id (wrapping at 2^32, skipping the reserved ids);
    // dbRecordIDLimitReachedError when every id is in use.
    DErrorCode GetNewRecordID(uint32_t *out);
    // 0 and kQvUnknown, which no new record gets.
    static bool IsReservedRecordID(uint32_t id) { return id == 0 || id == kQvUnknown; }

    uint32_t GetCurrentLength() const { return m_currentLength; }
    uint32_t GetStoredLength() const { return m_storedLength; }
    uint32_t GetNextRecordID() const { return m_nextRecordID; }
    void SetNextRecordID(uint32_t id) { m_nextRecordID = id; }
    uint32_t GetVersion() const { return m_version; }

protected:
    static constexpr uint32_t kSize = 12;
    uint32_t m_currentLength = kQvUnknown;
    uint32_t m_storedLength = kQvUnknown;

private:
    DSimpleDB *m_database;
    uint32_t m_nextRecordID = 1;
    uint32_t m_version = 1;
};

#endif
