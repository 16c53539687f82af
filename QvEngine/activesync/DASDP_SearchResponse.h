// DASDP_SearchResponse (type 29): the outcome of a directory search: its
// status (kSearchStatusSuccess when it succeeded) and the result text.
//
// Ownership: the record owns its copy of the text and frees it.
#ifndef QV_DASDP_SEARCHRESPONSE_H
#define QV_DASDP_SEARCHRESPONSE_H

#include <cstdint>

#include "ActiveSyncRecordTypes.h"
#include "DClientResponse.h"
#include "DErrorCode.h"
#include "VString.h"

constexpr uint32_t kSearchStatusSuccess = 1;

class DASDP_SearchResponse : public DClientResponse {
public:
    DASDP_SearchResponse() : DClientResponse(kResponseTypeSearch), m_status(0) {}

    uint32_t GetStatus() const { return m_status; }
    void SetStatus(uint32_t status) { m_status = status; }
    const VString &GetResult() const { return m_result; }
    // Copies the text; on failure the result is empty.
    DErrorCode SetResult(const VString &result);

private:
    uint32_t m_status;
    VString m_result;
};

#endif
