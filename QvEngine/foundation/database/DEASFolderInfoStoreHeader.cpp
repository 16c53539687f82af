#include "DEASFolderInfoStoreHeader.h"

#include <cstring>
#include <new>

#include "ByteOrder.h"

uint32_t DEASFolderInfoStoreHeader::GetSerializedSize() const {
    if (m_pendingKeyLength != 0) return kFixedSize + m_pendingKeyLength;
    return kFixedSize + (m_hasKey ? static_cast<uint32_t>(m_key.size()) + 1 : 0);
}

DErrorCode DEASFolderInfoStoreHeader::SerializeIn(const BYTE *bytes, uint32_t length) {
    m_pendingKeyLength = 0;
    if (bytes == nullptr || length < kFixedSize) return dbFieldSerialzeInError;
    const uint32_t keyLength = GetUInt32(bytes + kKeyFieldsAt);
    if (keyLength > length - kFixedSize) {
        if (keyLength > 0xFFFFFFFFu - kFixedSize) return dbFieldSerialzeInError;
        m_pendingKeyLength = keyLength;
        return dbVariableSizeHeaderSerializeInError;
    }
    const char *key = reinterpret_cast<const char *>(bytes + kFixedSize);
    if (keyLength > 0 && key[keyLength - 1] != 0) return dbFieldSerialzeInError;
    DErrorCode err = DSimpleDBVFileHeader::SerializeIn(bytes, length);
    if (err != kNoError) return err;
    try {
        m_key.assign(keyLength > 0 ? key : "");
    } catch (const std::bad_alloc &) {
        return generalErrMemoryError;
    }
    m_hasKey = keyLength > 0;
    return kNoError;
}

DErrorCode DEASFolderInfoStoreHeader::SerializeOut(BYTE *bytes, uint32_t room) {
    if (bytes == nullptr || room < GetSerializedSize()) return dbFieldSerialzeOutError;
    DErrorCode err = DSimpleDBVFileHeader::SerializeOut(bytes, room);
    if (err != kNoError) return err;
    const uint32_t keyLength = m_hasKey ? static_cast<uint32_t>(m_key.size()) + 1 : 0;
    PutUInt32(bytes + kKeyFieldsAt, keyLength);
    if (keyLength > 0) memcpy(bytes + kFixedSize, m_key.c_str(), keyLength);
    return kNoError;
}

DErrorCode DEASFolderInfoStoreHeader::SetFolderSyncKey(const char *key) {
    m_pendingKeyLength = 0;
    if (key == nullptr) {
        m_key.clear();
        m_hasKey = false;
        return kNoError;
    }
    try {
        m_key.assign(key);
    } catch (const std::bad_alloc &) {
        return generalErrMemoryError;
    }
    m_hasKey = true;
    return kNoError;
}
