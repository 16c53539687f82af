// DASDP_PolicyResponse (type 23): the outcome of a Provision exchange: its
// status (kPolicyStatusSuccess when it succeeded), the policy key the server
// handed out (absent when it sent none) and whether the server ordered a
// remote wipe.
//
// Ownership: the record owns its copy of the key and frees it.
#ifndef QV_DASDP_POLICYRESPONSE_H
#define QV_DASDP_POLICYRESPONSE_H

#include <cstdint>

#include "ActiveSyncRecordTypes.h"
#include "DClientResponse.h"
#include "DErrorCode.h"
#include "VString.h"

constexpr uint32_t kPolicyStatusSuccess = 1;

class DASDP_PolicyResponse : public DClientResponse {
public:
    DASDP_PolicyResponse() : DClientResponse(kResponseTypePolicy), m_status(0), m_policyKey(nullptr), m_wipe(0) {}
    ~DASDP_PolicyResponse() override;

    uint32_t GetStatus() const { return m_status; }
    void SetStatus(uint32_t status) { m_status = status; }
    // Null while absent.
    const VString *GetPolicyKey() const { return m_policyKey; }
    // Copies the key; null makes it absent. On failure the key is absent.
    DErrorCode SetPolicyKey(const VString *key);
    uint8_t GetWipe() const { return m_wipe; }
    void SetWipe(uint8_t wipe) { m_wipe = wipe; }

private:
    uint32_t m_status;
    VString *m_policyKey;
    uint8_t m_wipe;
};

#endif
