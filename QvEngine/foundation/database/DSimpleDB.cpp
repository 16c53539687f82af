#include "DSimpleDB.h"

#include <new>

DSimpleDB::~DSimpleDB() { DSimpleDB::Close(); }

DErrorCode DSimpleDB::Close() {
    DSimpleDBRecord *record;
    for (uint32_t i = 0; m_cache.GetAt(i, &record) == kNoError; ++i) delete record;
    m_cache.RemoveAll();
    delete m_header;
    m_header = nullptr;
    m_open = false;
    m_mode = kDBClosed;
    return kNoError;
}

DErrorCode DSimpleDB::GetVersion(uint32_t *out) {
    if (out == nullptr) return generalErrInvalidParameter;
    if (!m_open) return dbIsNotReadyError;
    *out = m_header->GetVersion();
    return kNoError;
}

DErrorCode DSimpleDB::GetRecordByID(uint32_t recordID, DSimpleDBRecord **out) {
    if (out == nullptr) return generalErrInvalidParameter;
    *out = nullptr;
    uint32_t index = 0;
    DErrorCode err = FindRecordIndex(recordID, &index);
    return err != kNoError ? err : GetRecordAt(index, out);
}

DErrorCode DSimpleDB::RemoveRecordByID(uint32_t recordID) {
    uint32_t index = 0;
    DErrorCode err = FindRecordIndex(recordID, &index);
    return err != kNoError ? err : RemoveRecordAt(index);
}

DSimpleDBRecord *DSimpleDB::NewRecord(uint32_t recordID) { return new (std::nothrow) DSimpleDBRecord(this, recordID); }

void DSimpleDB::RecordRemoved(uint32_t, uint32_t) {}

DSimpleDBRecord *DSimpleDB::FindCachedRecord(uint32_t recordID) {
    DSimpleDBRecord *record;
    for (uint32_t i = 0; m_cache.GetAt(i, &record) == kNoError; ++i)
        if (record->GetRecordID() == recordID) return record;
    return nullptr;
}

DErrorCode DSimpleDB::CacheRecord(DSimpleDBRecord *record) { return m_cache.AddTail(record); }

void DSimpleDB::DeleteCachedRecord(uint32_t recordID) {
    DSimpleDBRecord *record;
    for (uint32_t i = 0; m_cache.GetAt(i, &record) == kNoError; ++i) {
        if (record->GetRecordID() != recordID) continue;
        m_cache.RemoveAt(i);
        delete record;
        return;
    }
}
