#include "DSimpleDBVFile.h"

#include <algorithm>
#include <new>

#include "ByteOrder.h"
#include "DSimpleDBFileIO.h"
#include "DSimpleDBSnapshot.h"

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

DErrorCode DSimpleDBVFile::ResetMemory() {
    const int mode = m_mode;
    DSimpleDB::Close();
    m_storedOffsets.clear();
    return Begin(mode);
}

DErrorCode DSimpleDBVFile::Close() {
    m_source = nullptr;
    if (m_fileOpen && m_file != nullptr) m_file->Close();
    m_fileOpen = false;
    m_storedOffsets.clear();
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
        // Every stored record was loaded at open.
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

DErrorCode DSimpleDBVFile::LoadHeaderAndIndex(VFile &file) {
    DSimpleDBVFileHeader *header = FileHeader();
    const uint32_t size = DBFileSize(file);
    std::vector<BYTE> bytes;
    // A header that learns from its first bytes that it is longer asks for
    // one more read of its full size.
    uint32_t want = header->GetSerializedSize();
    for (int pass = 0;; ++pass) {
        if (want > size) return dbFieldSerialzeInError;
        DErrorCode err = DBZeroed(&bytes, want);
        if (err == kNoError) err = DBReadAt(file, 0, want, bytes.data());
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
    DErrorCode err = DBZeroed(&bytes, count * 8);
    if (err == kNoError) err = DBReadAt(file, length, count * 8, bytes.data());
    if (err == kNoError) err = header->ReadIndex(bytes.data(), count);
    if (err == kNoError) err = CheckIndex(size);
    if (err == kNoError) header->UpdateStoredLength();
    return err;
}

DErrorCode DSimpleDBVFile::LoadRecords() {
    const uint32_t count = FileHeader()->GetEntryCount();
    DErrorCode err = kNoError;
    for (uint32_t i = 0; i < count && err == kNoError; ++i) {
        DSimpleDBRecord *record;
        err = GetRecordAt(i, &record);
    }
    return err;
}

DErrorCode DSimpleDBVFile::NoteStoredOffsets() {
    m_storedOffsets.clear();
    DSimpleDBIndexEntry *entry;
    try {
        for (uint32_t i = 0; FileHeader()->GetEntry(i, &entry) == kNoError; ++i)
            if (entry->offset != kQvUnknown) m_storedOffsets.push_back(entry->offset);
    } catch (const std::bad_alloc &) {
        return generalErrMemoryError;
    }
    return kNoError;
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
    const uint32_t size = DBFileSize(file);
    if (offset > size || size - offset < 4) return dbFieldSerialzeInError;
    BYTE prefix[4];
    DErrorCode err = DBReadAt(file, offset, 4, prefix);
    if (err != kNoError) return err;
    const uint32_t length = GetUInt32(prefix);
    if (length < 4 || length > size - offset) return dbFieldSerialzeInError;
    err = DBZeroed(bytes, length);
    return err != kNoError ? err : DBReadAt(file, offset, length, bytes->data());
}
