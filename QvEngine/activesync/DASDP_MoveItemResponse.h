// DASDP_MoveItemResponse (type 15): a MoveItems answer was processed. Its
// reset loop counter byte means what the Sync records' does. Plain fields
// only.
#ifndef QV_DASDP_MOVEITEMRESPONSE_H
#define QV_DASDP_MOVEITEMRESPONSE_H

#include <cstdint>

#include "ActiveSyncRecordTypes.h"
#include "DClientResponse.h"

class DASDP_MoveItemResponse : public DClientResponse {
public:
    DASDP_MoveItemResponse() : DClientResponse(kResponseTypeMoveItem), m_resetLoopCounter(0) {}
    uint8_t GetResetLoopCounter() const { return m_resetLoopCounter; }
    void SetResetLoopCounter(uint8_t reset) { m_resetLoopCounter = reset; }

private:
    uint8_t m_resetLoopCounter;
};

#endif
