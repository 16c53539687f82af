#include "DASDP_SearchResponse.h"

DErrorCode DASDP_SearchResponse::SetResult(const VString &result) {
    if (&result == &m_result) return kNoError;
    DErrorCode err = m_result.Assign(result);
    if (err != kNoError) m_result.Clear();
    return err;
}
