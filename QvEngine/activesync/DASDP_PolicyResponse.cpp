#include "DASDP_PolicyResponse.h"

#include <new>

DASDP_PolicyResponse::~DASDP_PolicyResponse() { delete m_policyKey; }

DErrorCode DASDP_PolicyResponse::SetPolicyKey(const VString *key) {
    if (key != nullptr && key == m_policyKey) return kNoError;
    delete m_policyKey;
    m_policyKey = nullptr;
    if (key == nullptr) return kNoError;
    VString *copy = new (std::nothrow) VString();
    if (copy == nullptr) return generalErrMemoryError;
    DErrorCode err = copy->Assign(*key);
    if (err != kNoError) {
        delete copy;
        return err;
    }
    m_policyKey = copy;
    return kNoError;
}
