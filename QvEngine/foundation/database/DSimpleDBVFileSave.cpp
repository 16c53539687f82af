// Saving a DSimpleDBVFile: changed records go where the stored state does
// not lie, then one write of header and index switches the file to the new
// state, then the snapshot follows.
#include <algorithm>

#include "ByteOrder.h"
#include "DBFileSpace.h"
#include "DSimpleDBFileIO.h"
#include "DSimpleDBSnapshot.h"
#include "DSimpleDBVFile.h"
#include "DSimpleDBWriteHook.h"

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

    // What memory goes back to when the save fails before its switch.
    std::vector<uint32_t> offsets;
    std::vector<DSimpleDBRecord *> written;
    DSimpleDBIndexEntry *entry;
    try {
        for (uint32_t i = 0; header->GetEntry(i, &entry) == kNoError; ++i) offsets.push_back(entry->offset);
    } catch (const std::bad_alloc &) {
        return generalErrMemoryError;
    }
    const uint32_t nextID = header->GetNextRecordID();
    if (header->GetEntryCount() == 0) header->SetNextRecordID(1);

    DErrorCode err = WriteChanges(&written);
    // The records are on the storage before the switch names them, and the
    // switch before anything overwrites what the old index named: a power
    // cut at any point leaves the old state or the new one.
    if (err == kNoError) err = m_file->Flush();
    if (err == kNoError) err = WriteHeaderAndIndex();
    if (err == kNoError) err = m_file->Flush();
    if (err != kNoError) {
        // The stored state is whole; the changes stay to be written again.
        for (uint32_t i = 0; header->GetEntry(i, &entry) == kNoError; ++i) entry->offset = offsets[i];
        header->SetNextRecordID(nextID);
        return err;
    }
    for (DSimpleDBRecord *record : written) record->ClearModified();
    err = NoteStoredOffsets();
    // Only once no stored index names the records may they go.
    if (err == kNoError && header->GetEntryCount() == 0) {
        err = m_file->SetSize(header->GetStoredLength());
        if (err == kNoError) DBAfterWrite();
    }
    std::u16string snapshotName;
    if (err == kNoError) err = DBSnapshotName(*m_file, &snapshotName);
    if (err == kNoError) err = DBWriteSnapshot(*m_file, snapshotName);
    return err;
}

DErrorCode DSimpleDBVFile::WriteChanges(std::vector<DSimpleDBRecord *> *written) {
    DBFileSpace space;
    DErrorCode err = ReserveStored(&space);
    for (uint32_t i = 0; i < GetCachedCount() && err == kNoError; ++i) {
        DSimpleDBRecord *record;
        GetCachedAt(i, &record);
        if (!record->IsModified()) continue;
        err = WriteRecord(record, &space);
        if (err == kNoError) {
            try {
                written->push_back(record);
            } catch (const std::bad_alloc &) {
                err = generalErrMemoryError;
            }
        }
    }
    return err;
}

DErrorCode DSimpleDBVFile::ReserveStored(DBFileSpace *space) {
    const uint32_t stored = FileHeader()->GetStoredLength();
    DErrorCode err = stored != kQvUnknown ? space->Reserve(0, stored) : kNoError;
    const uint32_t size = DBFileSize(*m_file);
    for (uint32_t offset : m_storedOffsets) {
        if (err != kNoError) return err;
        if (offset >= size) continue;
        BYTE prefix[4];
        uint32_t length = size - offset;
        if (length >= 4) {
            err = DBReadAt(*m_file, offset, 4, prefix);
            if (err != kNoError) return err;
            // A length the file cannot hold keeps all after it.
            if (GetUInt32(prefix) >= 4 && GetUInt32(prefix) <= length) length = GetUInt32(prefix);
        }
        err = space->Reserve(offset, length);
    }
    return err;
}

DErrorCode DSimpleDBVFile::WriteAt(uint32_t offset, const std::vector<BYTE> &bytes) {
    if (static_cast<uint64_t>(offset) + bytes.size() > 0xFFFFFFFFu) return vfileErrOutOfStorageSpace;
    DErrorCode err = m_file->SetPosition(offset);  // beyond the end: the file grows
    if (err == kNoError) err = m_file->Write(static_cast<uint32_t>(bytes.size()), bytes.data(), nullptr);
    if (err == kNoError) DBAfterWrite();
    return err;
}

DErrorCode DSimpleDBVFile::WriteRecord(DSimpleDBRecord *record, DBFileSpace *space) {
    DSimpleDBVFileHeader *header = FileHeader();
    uint32_t index = 0;
    DErrorCode err = header->FindEntry(record->GetRecordID(), &index);
    DSimpleDBIndexEntry *entry = nullptr;
    if (err == kNoError) err = header->GetEntry(index, &entry);
    if (err != kNoError) return err;

    const uint32_t size = record->GetSerializedSize();
    std::vector<BYTE> bytes;
    uint32_t target = 0;
    err = DBZeroed(&bytes, size);
    if (err == kNoError) err = record->SerializeOut(bytes.data(), size);
    if (err == kNoError) err = space->Place(size, &target);
    if (err == kNoError) err = WriteAt(target, bytes);
    if (err == kNoError) entry->offset = target;
    return err;
}

// Moves every record that starts below end (lowest first) to the end of
// the file, and never to a place below end: the file may end inside the
// area that the grown index is about to take. The old copies stay until
// the new index is written.
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
        const uint32_t target = std::max(DBFileSize(*m_file), end);
        if (err == kNoError) err = WriteAt(target, bytes);
        if (err != kNoError) return err;
        lowest->offset = target;
    }
}

// The switch: header and index in one write from offset 0.
DErrorCode DSimpleDBVFile::WriteHeaderAndIndex() {
    DSimpleDBVFileHeader *header = FileHeader();
    const uint32_t headerSize = header->GetSerializedSize();
    const uint64_t length = uint64_t(headerSize) + 8ull * header->GetEntryCount();
    if (length > 0xFFFFFFFFu) return vfileErrOutOfStorageSpace;
    const uint32_t stored = header->GetStoredLength();
    DErrorCode err = kNoError;
    if (stored == kQvUnknown || stored < length) err = MoveRecordsBelow(static_cast<uint32_t>(length));
    std::vector<BYTE> bytes;
    if (err == kNoError) err = DBZeroed(&bytes, static_cast<uint32_t>(length));
    if (err == kNoError) err = header->SerializeOut(bytes.data(), headerSize);
    if (err != kNoError) return err;
    header->WriteIndex(bytes.data() + headerSize);
    err = WriteAt(0, bytes);
    if (err == kNoError) header->UpdateStoredLength();
    return err;
}
