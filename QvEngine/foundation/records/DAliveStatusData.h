// DAliveStatusData (type 7): tells the client that the engine sent a push
// request; its only payload is the constant kAliveStatusValue.
#ifndef QV_DALIVESTATUSDATA_H
#define QV_DALIVESTATUSDATA_H

#include <cstdint>

#include "DStatusData.h"

constexpr uint32_t kAliveStatusValue = 990;

class DAliveStatusData : public DStatusData {
public:
    DAliveStatusData() : DStatusData(kStatusTypeAlive), m_value(kAliveStatusValue) {}
    uint32_t GetValue() const { return m_value; }

private:
    uint32_t m_value;
};

#endif
