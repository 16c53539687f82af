#include "DSimpleDBVFileHeader.h"

#include <new>

#include "ByteOrder.h"

DSimpleDBVFileHeader::~DSimpleDBVFileHeader() {
    DSimpleDBIndexEntry *entry;
    for (uint32_t i = 0; m_entries.GetAt(i, &entry) == kNoError; ++i) delete entry;
}

DErrorCode DSimpleDBVFileHeader::SerializeIn(const BYTE *bytes, uint32_t length) {
    if (bytes == nullptr || length < kFileSize) return dbFieldSerialzeInError;
    DErrorCode err = DSimpleDBHeader::SerializeIn(bytes, length);
    if (err == kNoError) m_storedEntryCount = GetUInt32(bytes + kSize);
    return err;
}

DErrorCode DSimpleDBVFileHeader::SerializeOut(BYTE *bytes, uint32_t room) {
    DErrorCode err = DSimpleDBHeader::SerializeOut(bytes, room);
    if (err == kNoError) PutUInt32(bytes + kSize, GetEntryCount());
    return err;
}

DErrorCode DSimpleDBVFileHeader::ReadIndex(const BYTE *bytes, uint32_t count) {
    for (uint32_t i = 0; i < count; ++i) {
        DErrorCode err = AddEntry(GetUInt32(bytes + 8 * i), GetUInt32(bytes + 8 * i + 4));
        if (err != kNoError) return err;
    }
    return kNoError;
}

void DSimpleDBVFileHeader::WriteIndex(BYTE *bytes) {
    DSimpleDBIndexEntry *entry;
    for (uint32_t i = 0; m_entries.GetAt(i, &entry) == kNoError; ++i) {
        PutUInt32(bytes + 8 * i, entry->recordID);
        PutUInt32(bytes + 8 * i + 4, entry->offset);
    }
}

DErrorCode DSimpleDBVFileHeader::AddEntry(uint32_t recordID, uint32_t offset) {
    DSimpleDBIndexEntry *entry = new (std::nothrow) DSimpleDBIndexEntry{recordID, offset};
    if (entry == nullptr) return generalErrMemoryError;
    DErrorCode err = m_entries.AddTail(entry);
    if (err != kNoError) delete entry;
    return err;
}

DErrorCode DSimpleDBVFileHeader::RemoveEntry(uint32_t index) {
    DSimpleDBIndexEntry *entry;
    DErrorCode err = m_entries.GetAt(index, &entry);
    if (err != kNoError) return err;
    m_entries.RemoveAt(index);
    delete entry;
    return kNoError;
}

DErrorCode DSimpleDBVFileHeader::FindEntry(uint32_t recordID, uint32_t *index) {
    DSimpleDBIndexEntry *entry;
    for (uint32_t i = 0; m_entries.GetAt(i, &entry) == kNoError; ++i) {
        if (entry->recordID != recordID) continue;
        if (index != nullptr) *index = i;
        return kNoError;
    }
    return generalErrItemNotFound;
}
