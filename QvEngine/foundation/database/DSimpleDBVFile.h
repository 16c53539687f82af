// DSimpleDBVFile: a simple database kept in one file (a VFile, not owned).
//
// File form (little-endian): the header (DSimpleDBVFileHeader or a longer
// subclass header), the index right after it, then the records anywhere
// beyond the index at the offsets the index gives; bytes between them are
// dead. Records are rewritten in place while they fit and appended
// otherwise; nothing is compacted, and the file only grows, except that a
// database without records is cut back to its header.
//
// Contract:
// - Read/write (mode 2): the file stays open, exclusively, until Close;
//   records are read from it when first asked for; Save writes what
//   changed and then replaces the read-only snapshot (DSimpleDBSnapshot.h).
// - Read-only (any other mode): the snapshot is loaded whole and closed
//   again; the database then works from memory and Save is refused. A
//   missing snapshot beside an existing database is made first.
// - Everything read from a file is checked against the file's size before
//   it is used: a length, count or offset that runs past it, a record or
//   index entry inside the header and index, or a malformed field is
//   dbFieldSerialzeInError. A failed open leaves the database closed.
// - Record counts and lookups go through the index, not the records in
//   memory.
#ifndef QV_DSIMPLEDBVFILE_H
#define QV_DSIMPLEDBVFILE_H

#include <vector>

#include "DSimpleDB.h"
#include "DSimpleDBVFileHeader.h"
#include "VFile.h"

class DSimpleDBVFile : public DSimpleDB {
public:
    explicit DSimpleDBVFile(VFile *file = nullptr) : m_file(file) {}
    ~DSimpleDBVFile() override;

    // Names the file the database lives in; refused while open.
    DErrorCode SetFile(VFile *file);
    VFile *GetFile() const { return m_file; }

    DErrorCode Open(int mode, bool create) override;
    // Makes a new database file (the file must not exist) with its snapshot,
    // and leaves the database closed.
    DErrorCode Create() override;
    DErrorCode Close() override;
    DErrorCode Save() override;
    // Closes, then deletes the file and its snapshot.
    DErrorCode Delete() override;
    DErrorCode Exists(bool *out) override;
    DErrorCode GetRecordCount(uint32_t *out) override;
    DErrorCode GetRecordAt(uint32_t index, DSimpleDBRecord **out) override;
    DErrorCode FindRecordIndex(uint32_t recordID, uint32_t *index) override;
    DErrorCode CreateRecord(DSimpleDBRecord **out) override;
    DErrorCode RemoveRecordAt(uint32_t index) override;
    bool IsRecordIDInUse(uint32_t recordID) override;

protected:
    // A new header of the database's header class; null when it cannot be made.
    virtual DSimpleDBVFileHeader *NewHeader();
    DSimpleDBVFileHeader *FileHeader() const { return static_cast<DSimpleDBVFileHeader *>(m_header); }

private:
    DErrorCode Begin(int mode);
    DErrorCode OpenReadWrite(bool create);
    DErrorCode OpenReadOnly(bool create);
    // Makes the missing snapshot of an existing database.
    DErrorCode RestoreSnapshot(const std::u16string &snapshot);
    DErrorCode LoadHeaderAndIndex(VFile &file);
    DErrorCode CheckIndex(uint32_t fileSize);
    // Reads the whole record at offset, its length checked against the file.
    DErrorCode ReadRecordBytes(VFile &file, uint32_t offset, std::vector<BYTE> *bytes);
    DErrorCode WriteAt(uint32_t offset, const std::vector<BYTE> &bytes);
    DErrorCode WriteRecord(DSimpleDBRecord *record);
    DErrorCode MoveRecordsBelow(uint32_t end);
    DErrorCode WriteHeaderAndIndex();

    VFile *m_file;
    // Where records are read from: the database file while it is open
    // read/write, the snapshot while it is being loaded, else none.
    VFile *m_source = nullptr;
    // Whether this database opened m_file (and so closes it).
    bool m_fileOpen = false;
};

#endif
