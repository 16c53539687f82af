#include "DWinMobMessagingItem.h"

#include <cstring>
#include <new>

namespace {
constexpr unsigned kLogLevel = 1;
}

DWinMobMessagingItem::DWinMobMessagingItem(ILogProvider *log)
    : m_itemLog(log),
      m_hasServerID(false),
      m_opened(false),
      m_idChanged(false),
      m_sentMark(false),
      m_deletedMark(false) {}

DWinMobMessagingItem::~DWinMobMessagingItem() = default;

void DWinMobMessagingItem::LogItemCode(const char *text, DErrorCode code) {
    if (m_itemLog != nullptr) m_itemLog->WriteStringHexLine(text, int32_t(code), kLogLevel, kLogAllCategories);
}

DErrorCode DWinMobMessagingItem::SetEntryID(const BYTE *bytes, uint32_t size) {
    try {
        if (bytes == nullptr || size == 0)
            m_entryID.clear();
        else
            m_entryID.assign(bytes, bytes + size);
    } catch (const std::bad_alloc &) {
        return generalErrMemoryError;
    }
    return m_opened ? ReopenEntry() : kNoError;
}

DErrorCode DWinMobMessagingItem::GetID(char *buffer, uint32_t size) {
    DErrorCode err = kNoError;
    if (!m_hasServerID)
        err = generalErrNotInitialized;
    else if (buffer == nullptr || m_serverID.size() >= size)
        err = generalErrBufferTooSmall;
    if (err != kNoError) {
        LogItemCode("DWinMobMessagingItem::GetID() - Couldn't get Exch ID ", err);
        return err;
    }
    std::memcpy(buffer, m_serverID.c_str(), m_serverID.size() + 1);
    return kNoError;
}

DErrorCode DWinMobMessagingItem::SetID(const char *id) {
    if (id == nullptr) {
        m_serverID.clear();
        m_hasServerID = false;
        m_idChanged = true;
        return kNoError;
    }
    try {
        m_serverID = id;
    } catch (const std::bad_alloc &) {
        LogItemCode("DWinMobMessagingItem::SetID() - Memory error ", generalErrMemoryError);
        LogItemCode("DWinMobMessagingItem::SetID() - Exch ID not set ", generalErrMemoryError);
        return generalErrMemoryError;
    }
    m_hasServerID = true;
    m_idChanged = true;
    return kNoError;
}

DErrorCode DWinMobMessagingItem::MatchID(const char *id, bool *equal) {
    DErrorCode err = kNoError;
    if (!m_hasServerID)
        err = generalErrNotInitialized;
    else if (id == nullptr || equal == nullptr)
        err = generalErrInvalidParameter;
    if (err != kNoError) {
        LogItemCode("DWinMobMessagingItem::MatchID() - Couldn't match Exch ID ", err);
        return err;
    }
    *equal = m_serverID == id;
    return kNoError;
}
