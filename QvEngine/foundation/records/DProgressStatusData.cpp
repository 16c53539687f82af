#include "DProgressStatusData.h"

uint32_t DProgressStatusData::GetPercent() const {
    if (m_total == 0) return 0;
    // 64 bits: done * 100 passes 32 bits from about 43 MB on.
    uint64_t percent = uint64_t(m_done) * 100 / m_total;
    return percent > 100 ? 100 : uint32_t(percent);
}
