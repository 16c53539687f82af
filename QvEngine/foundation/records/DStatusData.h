// DStatusData: a status record that travels up the layers through the
// status callbacks (progress and status text). The type number tells the
// receiver how to read the payload; it numbers independently of the
// response records, so the callback a record arrives on names its family.
// The sender allocates a record, makes one callback and deletes it; a
// receiver reads it only during the call and never keeps or frees it.
#ifndef QV_DSTATUSDATA_H
#define QV_DSTATUSDATA_H

#include <cstdint>

constexpr uint32_t kStatusTypeMainText = 1;
constexpr uint32_t kStatusTypeMinorText = 2;
constexpr uint32_t kStatusTypeProgress = 3;
constexpr uint32_t kStatusTypeReceiveProgress = 5;
// Upload progress (total, done): recognised by the engine; no layer here
// produces it.
constexpr uint32_t kStatusTypeSendProgress = 6;
constexpr uint32_t kStatusTypeAlive = 7;

class DStatusData {
public:
    explicit DStatusData(uint32_t type) : m_type(type) {}
    DStatusData(const DStatusData &) = delete;
    DStatusData &operator=(const DStatusData &) = delete;
    virtual ~DStatusData() = default;
    virtual uint32_t GetType() const { return m_type; }

protected:
    uint32_t m_type;
};

#endif
