#include "DSimpleDBVFile.h"

#include <algorithm>
#include <new>

#include "ByteOrder.h"
#include "DSimpleDBSnapshot.h"

namespace {

DErrorCode Zeroed(std::vector<BYTE> *bytes, uint32_t size) {
    try {
        bytes->assign(size, 0);
    } catch (const std::bad_alloc &) {
        return generalErrMemoryError;
    }
    return kNoError;
}

// Reads count bytes at offset; a short file is a malformed database.
DErrorCode ReadAt(VFile &file, uint32_t offset, uint32_t count, BYTE *dest) {
    if (count == 0) return kNoError;
    DErrorCode err = file.SetPosition(offset);
    if (err == kNoError) err = file.Read(count, dest, nullptr);
    return err == vfileErrEOF ? dbFieldSerialzeInError : err;
}

uint32_t FileSize(const VFile &file) {
    uint32_t size = 0;
    file.GetSize(&size);
    return size;
}

}  // namespace

DSimpleDBVFile::~DSimpleDBVFile() { DSimpleDBVFile::Close(); }

DErrorCode DSimpleDBVFile::SetFile(VFile *file) {
    if (m_open) return dbErrDatabaseAlreadyOpen;
    m_file = file;
    return kNoError;
}

DSimpleDBVFileHeader *DSimpleDBVFile::NewHeader() { return new (std::nothrow) DSimpleDBVFileHeader(this); }

DErrorCode DSimpleDBVFile::Begin(int mode) {
    m_header = NewHeader();
    if (m_header == nullptr) return generalErrMemoryError;
    m_open = true;
    m_mode = mode;
    return kNoError;
}

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
    DErrorCode err = Begin(kDBReadWrite);
    if (err == kNoError) err = DBOpenWithRetries(*m_file, kVFileReadWrite);
    if (err != kNoError) return err;
    m_fileOpen = true;
    m_source = m_file;
    return LoadHeaderAndIndex(*m_file);
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
        const uint32_t count = FileHeader()->GetEntryCount();
        for (uint32_t i = 0; i < count && err == kNoError; ++i) {
            DSimpleDBRecord *record;
            err = GetRecordAt(i, &record);
        }
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

    DErrorCode err = m_file->Create();
    if (err == kNoError) err = m_file->Open(kVFileReadWrite);
    if (err == kNoError) {
        m_fileOpen = true;
        err = Begin(kDBReadWrite);
    }
    if (err == kNoError) err = WriteHeaderAndIndex();
    std::u16string snapshotName;
    if (err == kNoError) err = DBSnapshotName(*m_file, &snapshotName);
    if (err == kNoError) err = DBWriteSnapshot(*m_file, snapshotName);
    Close();
    if (err != kNoError) m_file->Delete();  // no half-made database stays behind
    return err;
}

DErrorCode DSimpleDBVFile::Close() {
    m_source = nullptr;
    if (m_fileOpen && m_file != nullptr) m_file->Close();
    m_fileOpen = false;
    return DSimpleDB::Close();
}

DErrorCode DSimpleDBVFile::Delete() {
    Close();
    if (m_file == nullptr) return generalErrNULLPointer;
    std::u16string snapshotName;
    DErrorCode nameErr = DBSnapshotName(*m_file, &snapshotName);
    DErrorCode err = m_file->Delete();
    DErrorCode snapshotErr = nameErr != kNoError ? nameErr : DBDeleteSnapshot(snapshotName);
    return err != kNoError ? err : snapshotErr;
}

DErrorCode DSimpleDBVFile::Exists(bool *out) {
    if (out == nullptr) return generalErrInvalidParameter;
    *out = false;
    if (m_file == nullptr) return generalErrNULLPointer;
    return m_file->Exists(out);
}

DErrorCode DSimpleDBVFile::GetRecordCount(uint32_t *out) {
    if (out == nullptr) return generalErrInvalidParameter;
    *out = 0;
    if (!m_open) return dbIsNotReadyError;
    *out = FileHeader()->GetEntryCount();
    return kNoError;
}

DErrorCode DSimpleDBVFile::FindRecordIndex(uint32_t recordID, uint32_t *index) {
    if (!m_open) return dbIsNotReadyError;
    return FileHeader()->FindEntry(recordID, index);
}

bool DSimpleDBVFile::IsRecordIDInUse(uint32_t recordID) {
    return m_open && FileHeader()->FindEntry(recordID, nullptr) == kNoError;
}

DErrorCode DSimpleDBVFile::GetRecordAt(uint32_t index, DSimpleDBRecord **out) {
    if (out == nullptr) return generalErrInvalidParameter;
    *out = nullptr;
    if (!m_open) return dbIsNotReadyError;
    DSimpleDBIndexEntry *entry;
    DErrorCode err = FileHeader()->GetEntry(index, &entry);
    if (err != kNoError) return err;
    if (DSimpleDBRecord *cached = FindCachedRecord(entry->recordID)) {
        *out = cached;
        return kNoError;
    }

    DSimpleDBRecord *record = NewRecord(entry->recordID);
    if (record == nullptr) return generalErrMemoryError;
    if (entry->offset != kQvUnknown) {
        // A read-only database was loaded whole at open.
        std::vector<BYTE> bytes;
        err = m_source != nullptr ? ReadRecordBytes(*m_source, entry->offset, &bytes) : dbIsNotReadyError;
        if (err == kNoError) err = record->SerializeIn(bytes.data(), static_cast<uint32_t>(bytes.size()));
    }
    if (err == kNoError) err = CacheRecord(record);
    if (err != kNoError) {
        delete record;
        return err;
    }
    *out = record;
    return kNoError;
}

DErrorCode DSimpleDBVFile::CreateRecord(DSimpleDBRecord **out) {
    if (out != nullptr) *out = nullptr;
    if (!m_open) return dbIsNotReadyError;
    uint32_t id = 0;
    DErrorCode err = m_header->GetNewRecordID(&id);
    if (err != kNoError) return err;
    DSimpleDBRecord *record = NewRecord(id);
    if (record == nullptr) return generalErrMemoryError;
    DSimpleDBVFileHeader *header = FileHeader();
    err = header->AddEntry(id, kQvUnknown);
    if (err == kNoError) {
        err = CacheRecord(record);
        if (err != kNoError) header->RemoveEntry(header->GetEntryCount() - 1);
    }
    if (err != kNoError) {
        delete record;
        return err;
    }
    if (out != nullptr) *out = record;
    return kNoError;
}

DErrorCode DSimpleDBVFile::RemoveRecordAt(uint32_t index) {
    if (!m_open) return dbIsNotReadyError;
    DSimpleDBIndexEntry *entry;
    DErrorCode err = FileHeader()->GetEntry(index, &entry);
    if (err != kNoError) return err;
    const uint32_t id = entry->recordID;
    DeleteCachedRecord(id);
    FileHeader()->RemoveEntry(index);
    RecordRemoved(index, id);
    return kNoError;
}

DErrorCode DSimpleDBVFile::Save() {
    if (!m_open || m_mode != kDBReadWrite) return dbIsNotReadyError;
    DSimpleDBVFileHeader *header = FileHeader();

    // New records that never got any content are dropped.
    for (uint32_t i = header->GetEntryCount(); i-- > 0;) {
        DSimpleDBIndexEntry *entry;
        header->GetEntry(i, &entry);
        if (entry->offset != kQvUnknown) continue;
        DSimpleDBRecord *record = FindCachedRecord(entry->recordID);
        if (record == nullptr || !record->IsModified()) RemoveRecordAt(i);
    }
    DErrorCode err = kNoError;
    if (header->GetEntryCount() == 0) {
        err = m_file->SetSize(header->GetSerializedSize());
        header->SetNextRecordID(1);
    }
    for (uint32_t i = 0; i < GetCachedCount() && err == kNoError; ++i) {
        DSimpleDBRecord *record;
        GetCachedAt(i, &record);
        if (!record->IsModified()) continue;
        err = WriteRecord(record);
        if (err == kNoError) record->ClearModified();
    }
    if (err == kNoError) err = WriteHeaderAndIndex();
    std::u16string snapshotName;
    if (err == kNoError) err = DBSnapshotName(*m_file, &snapshotName);
    if (err == kNoError) err = DBWriteSnapshot(*m_file, snapshotName);
    return err;
}

DErrorCode DSimpleDBVFile::LoadHeaderAndIndex(VFile &file) {
    DSimpleDBVFileHeader *header = FileHeader();
    const uint32_t size = FileSize(file);
    std::vector<BYTE> bytes;
    // A header that learns from its first bytes that it is longer asks for
    // one more read of its full size.
    uint32_t want = header->GetSerializedSize();
    for (int pass = 0;; ++pass) {
        if (want > size) return dbFieldSerialzeInError;
        DErrorCode err = Zeroed(&bytes, want);
        if (err == kNoError) err = ReadAt(file, 0, want, bytes.data());
        if (err == kNoError) err = header->SerializeIn(bytes.data(), want);
        if (err == dbVariableSizeHeaderSerializeInError && pass == 0) {
            want = header->GetSerializedSize();
            continue;
        }
        if (err == dbVariableSizeHeaderSerializeInError) return dbFieldSerialzeInError;
        if (err != kNoError) return err;
        break;
    }

    const uint32_t length = header->GetCurrentLength();
    const uint32_t count = header->GetStoredEntryCount();
    if (length < want || length > size || count > (size - length) / 8) return dbFieldSerialzeInError;
    DErrorCode err = Zeroed(&bytes, count * 8);
    if (err == kNoError) err = ReadAt(file, length, count * 8, bytes.data());
    if (err == kNoError) err = header->ReadIndex(bytes.data(), count);
    if (err == kNoError) err = CheckIndex(size);
    if (err == kNoError) header->UpdateStoredLength();
    return err;
}

// Every written record lies beyond the index and leaves room for its
// length; no two entries share an id.
DErrorCode DSimpleDBVFile::CheckIndex(uint32_t fileSize) {
    DSimpleDBVFileHeader *header = FileHeader();
    const uint32_t indexEnd = header->GetCurrentLength() + 8 * header->GetEntryCount();
    std::vector<uint32_t> ids;
    try {
        ids.reserve(header->GetEntryCount());
    } catch (const std::bad_alloc &) {
        return generalErrMemoryError;
    }
    DSimpleDBIndexEntry *entry;
    for (uint32_t i = 0; header->GetEntry(i, &entry) == kNoError; ++i) {
        if (entry->offset != kQvUnknown &&
            (entry->offset < indexEnd || entry->offset > fileSize || fileSize - entry->offset < 4))
            return dbFieldSerialzeInError;
        ids.push_back(entry->recordID);
    }
    std::sort(ids.begin(), ids.end());
    return std::adjacent_find(ids.begin(), ids.end()) == ids.end() ? kNoError : dbFieldSerialzeInError;
}

DErrorCode DSimpleDBVFile::ReadRecordBytes(VFile &file, uint32_t offset, std::vector<BYTE> *bytes) {
    const uint32_t size = FileSize(file);
    if (offset > size || size - offset < 4) return dbFieldSerialzeInError;
    BYTE prefix[4];
    DErrorCode err = ReadAt(file, offset, 4, prefix);
    if (err != kNoError) return err;
    const uint32_t length = GetUInt32(prefix);
    if (length < 4 || length > size - offset) return dbFieldSerialzeInError;
    err = Zeroed(bytes, length);
    return err != kNoError ? err : ReadAt(file, offset, length, bytes->data());
}

DErrorCode DSimpleDBVFile::WriteAt(uint32_t offset, const std::vector<BYTE> &bytes) {
    if (static_cast<uint64_t>(offset) + bytes.size() > 0xFFFFFFFFu) return vfileErrOutOfStorageSpace;
    DErrorCode err = m_file->SetPosition(offset);  // beyond the end: the file grows
    return err != kNoError ? err : m_file->Write(static_cast<uint32_t>(bytes.size()), bytes.data(), nullptr);
}

// In place while the record fits below the next record above it (or the end
// of the file); otherwise, like a record never written, at the end.
DErrorCode DSimpleDBVFile::WriteRecord(DSimpleDBRecord *record) {
    DSimpleDBVFileHeader *header = FileHeader();
    uint32_t index = 0;
    DErrorCode err = header->FindEntry(record->GetRecordID(), &index);
    DSimpleDBIndexEntry *entry = nullptr;
    if (err == kNoError) err = header->GetEntry(index, &entry);
    if (err != kNoError) return err;

    const uint32_t size = record->GetSerializedSize();
    std::vector<BYTE> bytes;
    err = Zeroed(&bytes, size);
    if (err == kNoError) err = record->SerializeOut(bytes.data(), size);
    if (err != kNoError) return err;

    const uint32_t fileSize = FileSize(*m_file);
    uint32_t target = fileSize;
    if (entry->offset != kQvUnknown) {
        uint32_t limit = fileSize;
        DSimpleDBIndexEntry *other;
        for (uint32_t i = 0; header->GetEntry(i, &other) == kNoError; ++i)
            if (other != entry && other->offset != kQvUnknown && other->offset > entry->offset)
                limit = std::min(limit, other->offset);
        if (entry->offset <= limit && size <= limit - entry->offset) target = entry->offset;
    }
    err = WriteAt(target, bytes);
    if (err == kNoError) entry->offset = target;
    return err;
}

// Moves every record that starts below end (lowest first) to the end of
// the file, and never to a place below end: the file may end inside the
// area that the grown index is about to take.
DErrorCode DSimpleDBVFile::MoveRecordsBelow(uint32_t end) {
    DSimpleDBVFileHeader *header = FileHeader();
    for (;;) {
        DSimpleDBIndexEntry *lowest = nullptr;
        DSimpleDBIndexEntry *entry;
        for (uint32_t i = 0; header->GetEntry(i, &entry) == kNoError; ++i)
            if (entry->offset != kQvUnknown && entry->offset < end &&
                (lowest == nullptr || entry->offset < lowest->offset))
                lowest = entry;
        if (lowest == nullptr) return kNoError;
        std::vector<BYTE> bytes;
        DErrorCode err = ReadRecordBytes(*m_file, lowest->offset, &bytes);
        const uint32_t target = std::max(FileSize(*m_file), end);
        if (err == kNoError) err = WriteAt(target, bytes);
        if (err != kNoError) return err;
        lowest->offset = target;
    }
}

DErrorCode DSimpleDBVFile::WriteHeaderAndIndex() {
    DSimpleDBVFileHeader *header = FileHeader();
    const uint32_t headerSize = header->GetSerializedSize();
    const uint64_t length = uint64_t(headerSize) + 8ull * header->GetEntryCount();
    if (length > 0xFFFFFFFFu) return vfileErrOutOfStorageSpace;
    const uint32_t stored = header->GetStoredLength();
    DErrorCode err = kNoError;
    if (stored == kQvUnknown || stored < length) err = MoveRecordsBelow(static_cast<uint32_t>(length));
    std::vector<BYTE> bytes;
    if (err == kNoError) err = Zeroed(&bytes, static_cast<uint32_t>(length));
    if (err == kNoError) err = header->SerializeOut(bytes.data(), headerSize);
    if (err != kNoError) return err;
    header->WriteIndex(bytes.data() + headerSize);
    err = WriteAt(0, bytes);
    if (err == kNoError) header->UpdateStoredLength();
    return err;
}
