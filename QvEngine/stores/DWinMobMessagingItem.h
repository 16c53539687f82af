// DWinMobMessagingItem: the identity of one object of the message store (a
// message, or a mail folder seen as an item): its store entry id and its
// server id, with the opened and changed-id marks and two marks that mirror
// the shadow record's sent and deleted bits.
// - The server id is held as narrow (Windows-1252) text, exactly as the
//   engine passes it; ServerIDText converts it for the store.
// - Setting the entry id replaces the held copy; an opened item re-opens
//   its store object over the new id (ReopenEntry).
// - Every operation returns an error code; none throws.
#ifndef QV_DWINMOBMESSAGINGITEM_H
#define QV_DWINMOBMESSAGINGITEM_H

#include <cstdint>
#include <string>
#include <vector>

#include "DErrorCode.h"
#include "ILogProvider.h"
#include "wintypes.h"

class DWinMobMessagingItem {
public:
    explicit DWinMobMessagingItem(ILogProvider *log = nullptr);
    virtual ~DWinMobMessagingItem();
    DWinMobMessagingItem(const DWinMobMessagingItem &) = delete;
    DWinMobMessagingItem &operator=(const DWinMobMessagingItem &) = delete;

    void SetLogger(ILogProvider *log) { m_itemLog = log; }

    // The store entry id; empty when none.
    const std::vector<BYTE> &GetEntryID() const { return m_entryID; }
    bool HasEntryID() const { return !m_entryID.empty(); }
    // Replaces the held copy (null or 0 bytes: none) and re-opens an opened item.
    DErrorCode SetEntryID(const BYTE *bytes, uint32_t size);
    DErrorCode SetEntryID(const std::vector<BYTE> &entryID) { return SetEntryID(entryID.data(), uint32_t(entryID.size())); }

    // The server id and a terminator into buffer (size counts the
    // terminator): generalErrNotInitialized without an id,
    // generalErrBufferTooSmall when the id's length is not below size.
    DErrorCode GetID(char *buffer, uint32_t size);
    // Keeps a copy and marks the id changed; null forgets the id.
    DErrorCode SetID(const char *id);
    // Equal only when the text equals the held id exactly.
    DErrorCode MatchID(const char *id, bool *equal);
    bool HasServerID() const { return m_hasServerID; }
    const std::string &GetServerIDText() const { return m_serverID; }

    bool IsOpened() const { return m_opened; }
    void SetOpened(bool opened) { m_opened = opened; }
    bool IsIDChanged() const { return m_idChanged; }
    void SetIDChanged(bool changed) { m_idChanged = changed; }
    bool IsSentMark() const { return m_sentMark; }
    void SetSentMark(bool sent) { m_sentMark = sent; }
    bool IsDeletedMark() const { return m_deletedMark; }
    void SetDeletedMark(bool deleted) { m_deletedMark = deleted; }

protected:
    // Opens the item's store object again after its entry id changed.
    virtual DErrorCode ReopenEntry() { return kNoError; }
    void LogItemCode(const char *text, DErrorCode code);

private:
    ILogProvider *m_itemLog;
    std::vector<BYTE> m_entryID;
    std::string m_serverID;
    bool m_hasServerID;
    bool m_opened;
    bool m_idChanged;
    bool m_sentMark;
    bool m_deletedMark;
};

#endif
