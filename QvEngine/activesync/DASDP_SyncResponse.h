// DASDP_SyncResponse: the outcome of a Sync answer for one item type, filled
// by the data manager and read by the engine. The four kinds differ only in
// their type number (6 calendar, 7 contacts, 8 tasks, 9 e-mail; the e-mail
// counts are the mail added, changed and deleted). Plain fields only: the
// record owns nothing.
//
// status: the collection's Sync status; kSyncStatusRestart makes the engine
// start again with Options and FolderSync.
// more available: the server holds more changes.
// reset loop counter: the answer brought a new sync key or carried Commands
// or Responses, so the type's push loop counter restarts.
#ifndef QV_DASDP_SYNCRESPONSE_H
#define QV_DASDP_SYNCRESPONSE_H

#include <cstdint>

#include "ActiveSyncRecordTypes.h"
#include "DClientResponse.h"

constexpr uint32_t kSyncStatusRestart = 8;
// The collection's sync key is not the server's: the collection starts again.
constexpr uint32_t kSyncStatusInvalidKey = 3;
// The folder hierarchy changed: FolderSync starts again from key 0.
constexpr uint32_t kSyncStatusHierarchyChanged = 12;

class DASDP_SyncResponse : public DClientResponse {
public:
    uint32_t GetStatus() const { return m_status; }
    void SetStatus(uint32_t status) { m_status = status; }
    uint8_t GetMoreAvailable() const { return m_moreAvailable; }
    void SetMoreAvailable(uint8_t more) { m_moreAvailable = more; }
    uint8_t GetResetLoopCounter() const { return m_resetLoopCounter; }
    void SetResetLoopCounter(uint8_t reset) { m_resetLoopCounter = reset; }
    uint32_t GetAddedCount() const { return m_added; }
    uint32_t GetChangedCount() const { return m_changed; }
    uint32_t GetDeletedCount() const { return m_deleted; }
    void SetCounts(uint32_t added, uint32_t changed, uint32_t deleted) {
        m_added = added;
        m_changed = changed;
        m_deleted = deleted;
    }

protected:
    explicit DASDP_SyncResponse(uint32_t type)
        : DClientResponse(type), m_status(0), m_moreAvailable(0), m_resetLoopCounter(0), m_added(0), m_changed(0),
          m_deleted(0) {}

private:
    uint32_t m_status;
    uint8_t m_moreAvailable;
    uint8_t m_resetLoopCounter;
    uint32_t m_added;
    uint32_t m_changed;
    uint32_t m_deleted;
};

class DASDP_CalendarSyncResponse : public DASDP_SyncResponse {
public:
    DASDP_CalendarSyncResponse() : DASDP_SyncResponse(kResponseTypeCalendarSync) {}
};

class DASDP_ContactsSyncResponse : public DASDP_SyncResponse {
public:
    DASDP_ContactsSyncResponse() : DASDP_SyncResponse(kResponseTypeContactsSync) {}
};

class DASDP_TasksSyncResponse : public DASDP_SyncResponse {
public:
    DASDP_TasksSyncResponse() : DASDP_SyncResponse(kResponseTypeTasksSync) {}
};

class DASDP_EmailSyncResponse : public DASDP_SyncResponse {
public:
    DASDP_EmailSyncResponse() : DASDP_SyncResponse(kResponseTypeEmailSync) {}
};

#endif
