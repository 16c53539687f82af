// DSimpleDBVFileHeader: the header of a database file: the 12 bytes of
// DSimpleDBHeader, the u32 number of index entries, and the index itself,
// one {u32 record id, u32 file offset} per record (offset kQvUnknown: the
// record is not written yet), which the database reads and writes right
// after the header.
//
// Contract:
// - The entries are owned and kept in index order.
// - SerializeIn only learns the entry count (GetStoredEntryCount); the
//   database then hands the index bytes to ReadIndex.
// - The stored length is the header length + 8 x entries.
#ifndef QV_DSIMPLEDBVFILEHEADER_H
#define QV_DSIMPLEDBVFILEHEADER_H

#include "DPtrList.h"
#include "DSimpleDBHeader.h"

struct DSimpleDBIndexEntry {
    uint32_t recordID;
    uint32_t offset;
};

class DSimpleDBVFileHeader : public DSimpleDBHeader {
public:
    explicit DSimpleDBVFileHeader(DSimpleDB *database) : DSimpleDBHeader(database) {}
    ~DSimpleDBVFileHeader() override;

    uint32_t GetSerializedSize() const override { return kFileSize; }
    DErrorCode SerializeIn(const BYTE *bytes, uint32_t length) override;
    DErrorCode SerializeOut(BYTE *bytes, uint32_t room) override;
    void UpdateStoredLength() override { m_storedLength = m_currentLength + 8 * GetEntryCount(); }

    uint32_t GetStoredEntryCount() const { return m_storedEntryCount; }
    // Appends count entries read from 8 x count bytes.
    DErrorCode ReadIndex(const BYTE *bytes, uint32_t count);
    // Writes the entries into 8 x GetEntryCount() bytes.
    void WriteIndex(BYTE *bytes);

    uint32_t GetEntryCount() const { return m_entries.GetCount(); }
    DErrorCode GetEntry(uint32_t index, DSimpleDBIndexEntry **out) { return m_entries.GetAt(index, out); }
    DErrorCode AddEntry(uint32_t recordID, uint32_t offset);
    DErrorCode RemoveEntry(uint32_t index);
    // generalErrItemNotFound when no entry has the id.
    DErrorCode FindEntry(uint32_t recordID, uint32_t *index);

protected:
    static constexpr uint32_t kFileSize = 16;

private:
    DPtrList m_entries;
    uint32_t m_storedEntryCount = 0;
};

#endif
