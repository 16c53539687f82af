#include "DASDP_PingResponse.h"

#include <new>

DASDP_PingResponse::DASDP_PingResponse(uint32_t status)
    : DClientResponse(kResponseTypePing), m_status(status), m_folderLimit(0), m_heartbeat(0), m_folders{nullptr, nullptr} {}

DASDP_PingResponse::~DASDP_PingResponse() { FreeStringList(&m_folders); }

DErrorCode DASDP_PingResponse::AddFolder(const VString &serverId) {
    VString *copy = new (std::nothrow) VString();
    if (copy == nullptr) return generalErrMemoryError;
    DErrorCode err = copy->Assign(serverId);
    if (err != kNoError) {
        delete copy;
        return err;
    }
    // The first id lives in the record's own node.
    if (m_folders.value == nullptr) {
        m_folders.value = copy;
        return kNoError;
    }
    StringListNode *node = new (std::nothrow) StringListNode{copy, nullptr};
    if (node == nullptr) {
        delete copy;
        return generalErrMemoryError;
    }
    StringListNode *last = &m_folders;
    while (last->next != nullptr) last = last->next;
    last->next = node;
    return kNoError;
}
