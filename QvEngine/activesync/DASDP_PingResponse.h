// DASDP_PingResponse (type 22): the outcome of a push (Ping) request: its
// status, the server's folder limit and heartbeat, and the ids of the
// folders that changed. The engine also makes one with only a status:
// kPingStatusCycleStart when a Ping cycle starts, kPingStatusChanges when a
// push run starts after a reconnection.
//
// Ownership: the record owns its folder list (each id a copy) and frees it.
// A record without folders has no list: GetFolders gives null.
#ifndef QV_DASDP_PINGRESPONSE_H
#define QV_DASDP_PINGRESPONSE_H

#include <cstdint>

#include "ActiveSyncRecordTypes.h"
#include "DClientResponse.h"
#include "DErrorCode.h"
#include "StringList.h"
#include "VString.h"

constexpr uint32_t kPingStatusCycleStart = 0;
constexpr uint32_t kPingStatusChanges = 2;

class DASDP_PingResponse : public DClientResponse {
public:
    explicit DASDP_PingResponse(uint32_t status = kPingStatusCycleStart);
    ~DASDP_PingResponse() override;

    uint32_t GetStatus() const { return m_status; }
    void SetStatus(uint32_t status) { m_status = status; }
    uint32_t GetFolderLimit() const { return m_folderLimit; }
    void SetFolderLimit(uint32_t limit) { m_folderLimit = limit; }
    // Seconds; 16 bits are enough for any heartbeat a server grants.
    uint16_t GetHeartbeat() const { return m_heartbeat; }
    void SetHeartbeat(uint16_t seconds) { m_heartbeat = seconds; }

    // Appends a copy of the id; on failure the list stays as it was.
    DErrorCode AddFolder(const VString &serverId);
    // The first node of the list in arrival order; null when there are none.
    const StringListNode *GetFolders() const { return m_folders.value != nullptr ? &m_folders : nullptr; }

private:
    uint32_t m_status;
    uint32_t m_folderLimit;
    uint16_t m_heartbeat;
    StringListNode m_folders;
};

#endif
