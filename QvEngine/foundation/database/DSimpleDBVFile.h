// DSimpleDBVFile: a simple database kept in one file (a VFile, not owned).
//
// File form (little-endian): the header (DSimpleDBVFileHeader or a longer
// subclass header), the index right after it, then the records anywhere
// beyond the index at the offsets the index gives; bytes between them are
// dead. Nothing is compacted, except that a database without records is
// cut back to its header.
//
// Contract:
// - Read/write (mode 2): the file stays open, exclusively, until Close;
//   every record is read and checked at open. A file that cannot be read
//   as a database (empty, cut short, malformed) is rebuilt from its
//   snapshot when that reads well; otherwise, with create, it is begun
//   afresh, and without, the open fails with the file's error. Either
//   repair is logged. An open also brings an out-of-date snapshot up to
//   date (as after a save that was stopped before it).
// - Save is atomic: changed records go to dead bytes or the end of the
//   file, never over what the stored index names, and one write of header
//   and index switches to the new state; a process stopped at any point
//   leaves the old state or the new one. Then the snapshot is replaced
//   (DSimpleDBSnapshot.h). A failed save returns its error, leaves the
//   stored state and the changes in memory as they were, and the next save
//   writes them again.
// - Read-only (any other mode): the snapshot is loaded whole and closed
//   again; the database then works from memory and Save is refused. A
//   missing snapshot beside an existing database is made first.
// - Create writes the new file under a name of its own and renames it into
//   place, so the database file is never seen half made and a file another
//   process made first is never replaced or deleted.
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
#include "ILogProvider.h"
#include "VFile.h"

class DBFileSpace;

class DSimpleDBVFile : public DSimpleDB {
public:
    explicit DSimpleDBVFile(VFile *file = nullptr) : m_file(file) {}
    ~DSimpleDBVFile() override;

    // Names the file the database lives in; refused while open.
    DErrorCode SetFile(VFile *file);
    VFile *GetFile() const { return m_file; }
    // Where repairs of the file are reported (not owned); null: nowhere.
    void SetLog(ILogProvider *log) { m_log = log; }

    DErrorCode Open(int mode, bool create) override;
    // Makes a new database file (the file must not exist) with its snapshot,
    // and leaves the database closed; dbErrDatabaseAlreadyExists when the
    // file exists, or another process made it first.
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
    // With the file open read/write: empties memory and loads header,
    // index and every record from the file.
    DErrorCode LoadFromFile();
    // With the file open read/write and unreadable (loadError): see the
    // class contract.
    DErrorCode Repair(bool create, DErrorCode loadError);
    // Drops the header and the records in memory and starts a new header.
    DErrorCode ResetMemory();
    // Loads the snapshot into memory, with its bytes; leaves m_source on
    // the database file.
    DErrorCode LoadSnapshotInto(const std::u16string &snapshot, std::vector<BYTE> *bytes);
    void Log(const char *text);
    DErrorCode LoadHeaderAndIndex(VFile &file);
    DErrorCode LoadRecords();
    DErrorCode CheckIndex(uint32_t fileSize);
    // Reads the whole record at offset, its length checked against the file.
    DErrorCode ReadRecordBytes(VFile &file, uint32_t offset, std::vector<BYTE> *bytes);
    // Remembers the offsets the stored index names.
    DErrorCode NoteStoredOffsets();

    DErrorCode WriteAt(uint32_t offset, const std::vector<BYTE> &bytes);
    // Writes every changed record where the stored state does not lie,
    // listing them in written.
    DErrorCode WriteChanges(std::vector<DSimpleDBRecord *> *written);
    // Reserves the stored header, index and records.
    DErrorCode ReserveStored(DBFileSpace *space);
    DErrorCode WriteRecord(DSimpleDBRecord *record, DBFileSpace *space);
    DErrorCode MoveRecordsBelow(uint32_t end);
    DErrorCode WriteHeaderAndIndex();

    VFile *m_file;
    // Where records are read from: the database file while it is open
    // read/write, the snapshot while it is being loaded, else none.
    VFile *m_source = nullptr;
    // Whether this database opened m_file (and so closes it).
    bool m_fileOpen = false;
    // The record offsets the file's stored index names: what a save must
    // not write over until its new index is written.
    std::vector<uint32_t> m_storedOffsets;
    ILogProvider *m_log = nullptr;
};

#endif
