// DProgressStatusData (type 3): total and done counts of a command or bulk
// operation. Its owner may keep one record and update the counts in place
// between reports. DHTTPProgressStatusRecieveData (type 5): the bytes
// received of the running HTTP exchange; total is the transaction's content
// length, 0 while the exchange still runs.
#ifndef QV_DPROGRESSSTATUSDATA_H
#define QV_DPROGRESSSTATUSDATA_H

#include <cstdint>

#include "DStatusData.h"

class DProgressStatusData : public DStatusData {
public:
    DProgressStatusData(uint32_t total, uint32_t done) : DStatusData(kStatusTypeProgress), m_total(total), m_done(done) {}

    // done * 100 / total, computed wide enough for any counts and never
    // above 100; 0 when total is 0.
    virtual uint32_t GetPercent() const;

    uint32_t GetTotal() const { return m_total; }
    uint32_t GetDone() const { return m_done; }
    void SetTotal(uint32_t total) { m_total = total; }
    void SetDone(uint32_t done) { m_done = done; }

protected:
    DProgressStatusData(uint32_t type, uint32_t total, uint32_t done) : DStatusData(type), m_total(total), m_done(done) {}

private:
    uint32_t m_total;
    uint32_t m_done;
};

class DHTTPProgressStatusRecieveData : public DProgressStatusData {
public:
    DHTTPProgressStatusRecieveData(uint32_t total, uint32_t done)
        : DProgressStatusData(kStatusTypeReceiveProgress, total, done) {}
};

#endif
