// DAliveCounterStatusData (status kind 4): the data manager's sign of life
// while it works through a long answer. The engine shows the count as
// cycling dots and advances it at each report, so the data manager keeps one
// record and reports it again and again.
#ifndef QV_DALIVECOUNTERSTATUSDATA_H
#define QV_DALIVECOUNTERSTATUSDATA_H

#include <cstdint>

#include "ActiveSyncRecordTypes.h"
#include "DStatusData.h"

class DAliveCounterStatusData : public DStatusData {
public:
    DAliveCounterStatusData() : DStatusData(kStatusTypeAliveCounter), m_count(0) {}
    uint32_t GetCount() const { return m_count; }
    void Advance() { ++m_count; }

private:
    uint32_t m_count;
};

#endif
