#include "DSimpleDBHeader.h"

#include "ByteOrder.h"
#include "DSimpleDB.h"

DErrorCode DSimpleDBHeader::SerializeIn(const BYTE *bytes, uint32_t length) {
    if (bytes == nullptr || length < kSize) return dbFieldSerialzeInError;
    m_currentLength = m_storedLength = GetUInt32(bytes);
    m_version = GetUInt32(bytes + 4);
    m_nextRecordID = GetUInt32(bytes + 8);
    if (IsReservedRecordID(m_nextRecordID)) m_nextRecordID = 1;
    return kNoError;
}

DErrorCode DSimpleDBHeader::SerializeOut(BYTE *bytes, uint32_t room) {
    const uint32_t size = GetSerializedSize();
    if (bytes == nullptr || room < size) return dbFieldSerialzeOutError;
    PutUInt32(bytes, size);
    PutUInt32(bytes + 4, m_version);
    PutUInt32(bytes + 8, m_nextRecordID);
    m_currentLength = size;
    return kNoError;
}

DErrorCode DSimpleDBHeader::GetNewRecordID(uint32_t *out) {
    if (out == nullptr) return generalErrInvalidParameter;
    const uint32_t start = IsReservedRecordID(m_nextRecordID) ? 1 : m_nextRecordID;
    uint32_t id = start;
    while (IsReservedRecordID(id) || (m_database != nullptr && m_database->IsRecordIDInUse(id))) {
        if (++id == start) return dbRecordIDLimitReachedError;
    }
    *out = id;
    m_nextRecordID = id + 1;  // a reserved id here is skipped at the next call
    return kNoError;
}
