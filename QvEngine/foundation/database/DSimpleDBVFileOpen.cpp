// Opening, making and repairing the database file of a DSimpleDBVFile.
#include <atomic>
#include <string>

#include "DSimpleDBFileIO.h"
#include "DSimpleDBSnapshot.h"
#include "DSimpleDBVFile.h"
#include "DSimpleDBWriteHook.h"
#include "winfile.h"
#include "winthread.h"

namespace {

// What a file that is no database gives when it is read.
bool IsFormatError(DErrorCode err) {
    return err == dbFieldSerialzeInError || err == dbFieldInvalidTypeError || err == generalErrBufferTooSmall;
}

DErrorCode FullName(const VFile &file, std::u16string *name) {
    WCHAR path[MAX_PATH + 1];
    DErrorCode err = file.GetFileName(path, MAX_PATH + 1, nullptr, 0);
    if (err != kNoError) return err;
    if (path[0] == 0) return vfileErrFileNotFound;
    try {
        *name = path;
    } catch (const std::bad_alloc &) {
        return generalErrMemoryError;
    }
    return kNoError;
}

// The name Create writes a new database under before renaming it into
// place: beside the database, and its own for each process and call.
DErrorCode NewFileName(const VFile &database, std::u16string *name) {
    static std::atomic<uint32_t> s_calls{0};
    DErrorCode err = FullName(database, name);
    if (err != kNoError) return err;
    try {
        const std::string suffix =
            "." + std::to_string(GetCurrentProcessId()) + "." + std::to_string(++s_calls) + ".new";
        name->append(suffix.begin(), suffix.end());
    } catch (const std::bad_alloc &) {
        return generalErrMemoryError;
    }
    return kNoError;
}

}  // namespace

DErrorCode DSimpleDBVFile::Open(int mode, bool create) {
    if (m_open) return dbErrDatabaseAlreadyOpen;
    if (m_file == nullptr) return generalErrNULLPointer;
    DErrorCode err = mode == kDBReadWrite ? OpenReadWrite(create) : OpenReadOnly(create);
    if (err != kNoError) Close();
    return err;
}

DErrorCode DSimpleDBVFile::OpenReadWrite(bool create) {
    bool exists = false;
    m_file->Exists(&exists);
    if (!exists) {
        if (!create) return vfileErrFileNotFound;
        DErrorCode err = Create();
        // Another process may have made it meanwhile: then it is opened.
        if (err != kNoError && err != dbErrDatabaseAlreadyExists) return err;
    }
    m_mode = kDBReadWrite;
    DErrorCode err = DBOpenWithRetries(*m_file, kVFileReadWrite);
    if (err != kNoError) return err;
    m_fileOpen = true;
    m_source = m_file;
    err = LoadFromFile();
    if (IsFormatError(err)) err = Repair(create, err);
    if (err != kNoError) return err;

    // A save stopped before its snapshot, or one whose snapshot a reader
    // held, left the snapshot behind the file; the next save tries again
    // when this cannot bring it up to date.
    std::u16string snapshotName;
    bool current = true;
    if (DBSnapshotName(*m_file, &snapshotName) == kNoError &&
        DBSnapshotIsCurrent(*m_file, snapshotName, &current) == kNoError && !current)
        DBWriteSnapshot(*m_file, snapshotName);
    return kNoError;
}

DErrorCode DSimpleDBVFile::LoadFromFile() {
    DErrorCode err = ResetMemory();
    if (err == kNoError) err = LoadHeaderAndIndex(*m_file);
    if (err == kNoError) err = LoadRecords();
    if (err == kNoError) err = NoteStoredOffsets();
    return err;
}

DErrorCode DSimpleDBVFile::Repair(bool create, DErrorCode loadError) {
    std::u16string snapshotName;
    std::vector<BYTE> bytes;
    DErrorCode err = DBSnapshotName(*m_file, &snapshotName);
    if (err == kNoError) err = LoadSnapshotInto(snapshotName, &bytes);
    if (err == kNoError) {
        // Memory holds the snapshot's state; the file takes its bytes in one
        // write (a process stopped before it leaves a file to repair again).
        err = m_file->SetSize(0);
        if (err == kNoError) DBAfterWrite();
        if (err == kNoError) err = WriteAt(0, bytes);
        if (err == kNoError) Log("Record database unreadable: rebuilt from its snapshot");
        return err;
    }
    if (!IsFormatError(err) && err != vfileErrFileNotFound) return err;
    if (!create) return loadError;
    // Nothing to rebuild from: the database begins again, empty.
    err = ResetMemory();
    if (err == kNoError) err = m_file->SetSize(0);
    if (err == kNoError) DBAfterWrite();
    if (err == kNoError) err = WriteHeaderAndIndex();
    if (err == kNoError) Log("Record database unreadable and without a usable snapshot: begun again empty");
    return err;
}

DErrorCode DSimpleDBVFile::LoadSnapshotInto(const std::u16string &snapshotName, std::vector<BYTE> *bytes) {
    VFile snapshot;
    bool exists = false;
    DErrorCode err = snapshot.SetFileName(snapshotName.c_str());
    if (err == kNoError) snapshot.Exists(&exists);
    if (err == kNoError && !exists) err = vfileErrFileNotFound;
    if (err == kNoError) err = DBOpenWithRetries(snapshot, kVFileRead);
    if (err == kNoError) err = ResetMemory();
    if (err == kNoError) {
        m_source = &snapshot;
        err = LoadHeaderAndIndex(snapshot);
        if (err == kNoError) err = LoadRecords();
        m_source = m_file;
    }
    const uint32_t size = DBFileSize(snapshot);
    if (err == kNoError) err = DBZeroed(bytes, size);
    if (err == kNoError) err = DBReadAt(snapshot, 0, size, bytes->data());
    if (err == kNoError) err = NoteStoredOffsets();
    snapshot.Close();
    return err;
}

void DSimpleDBVFile::Log(const char *text) {
    if (m_log != nullptr) m_log->WriteLine(text, 1, kLogAllCategories);
}

DErrorCode DSimpleDBVFile::OpenReadOnly(bool create) {
    bool exists = false;
    m_file->Exists(&exists);
    if (!exists && create) {
        DErrorCode err = Create();
        if (err != kNoError && err != dbErrDatabaseAlreadyExists) return err;
        exists = true;
    }
    std::u16string snapshotName;
    VFile snapshot;
    DErrorCode err = DBSnapshotName(*m_file, &snapshotName);
    if (err == kNoError) err = snapshot.SetFileName(snapshotName.c_str());
    if (err != kNoError) return err;
    bool snapshotExists = false;
    snapshot.Exists(&snapshotExists);
    if (!snapshotExists) {
        if (!exists) return vfileErrFileNotFound;
        err = RestoreSnapshot(snapshotName);
        if (err != kNoError) return err;
    }

    err = DBOpenWithRetries(snapshot, kVFileRead);
    if (err == kNoError) err = Begin(kDBReadOnly);
    if (err == kNoError) {
        m_source = &snapshot;
        err = LoadHeaderAndIndex(snapshot);
        if (err == kNoError) err = LoadRecords();
        m_source = nullptr;
    }
    snapshot.Close();
    return err;
}

// A crash between a save's write and its snapshot leaves the database
// without one. The database is held exclusively, as a writer holds it, so
// that two readers never make it at once and no writer is saving meanwhile.
DErrorCode DSimpleDBVFile::RestoreSnapshot(const std::u16string &snapshotName) {
    DErrorCode err = DBOpenWithRetries(*m_file, kVFileReadWrite);
    if (err != kNoError) return err;
    VFile snapshot;
    bool made = false;
    err = snapshot.SetFileName(snapshotName.c_str());
    if (err == kNoError) snapshot.Exists(&made);
    if (err == kNoError && !made) err = DBWriteSnapshot(*m_file, snapshotName);
    m_file->Close();
    return err;
}

DErrorCode DSimpleDBVFile::Create() {
    if (m_open) return dbErrDatabaseAlreadyOpen;
    if (m_file == nullptr) return generalErrNULLPointer;
    bool exists = false;
    m_file->Exists(&exists);
    if (exists) return dbErrDatabaseAlreadyExists;

    // The fresh header (no entries, next id 1), whole in a file of its own.
    std::u16string name, newName;
    std::vector<BYTE> bytes;
    DErrorCode err = FullName(*m_file, &name);
    if (err == kNoError) err = NewFileName(*m_file, &newName);
    if (err != kNoError) return err;
    DSimpleDBVFileHeader *header = NewHeader();
    if (header == nullptr) return generalErrMemoryError;
    err = DBZeroed(&bytes, header->GetSerializedSize());
    if (err == kNoError) err = header->SerializeOut(bytes.data(), static_cast<uint32_t>(bytes.size()));
    delete header;
    VFile made;
    if (err == kNoError) err = made.SetFileName(newName.c_str());
    if (err == kNoError) err = made.Create();
    if (err == kNoError) err = made.Open(kVFileReadWrite);
    if (err == kNoError) err = made.Write(static_cast<uint32_t>(bytes.size()), bytes.data(), nullptr);
    if (err == kNoError) DBAfterWrite();
    made.Close();

    // The rename never replaces a file: one another process made first wins.
    if (err == kNoError && !MoveFileExW(newName.c_str(), name.c_str(), 0)) {
        const DWORD moveErr = GetLastError();
        err = moveErr == ERROR_ALREADY_EXISTS || moveErr == ERROR_FILE_EXISTS ? dbErrDatabaseAlreadyExists
              : moveErr != 0                                                 ? moveErr
                                                                             : vfileErrCantCreateFile;
    }
    if (err != kNoError) {
        made.Delete();  // only the file this call made
        return err;
    }
    DBAfterWrite();

    // The snapshot, made as a writer makes it. The database stands without
    // it: whoever opens it next makes a missing one.
    if (DBOpenWithRetries(*m_file, kVFileReadWrite) == kNoError) {
        std::u16string snapshotName;
        if (DBSnapshotName(*m_file, &snapshotName) == kNoError) DBWriteSnapshot(*m_file, snapshotName);
        m_file->Close();
    }
    return kNoError;
}
