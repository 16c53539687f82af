// DClientResponse: a response record, telling a client that an exchange
// finished. The type number tells the receiver how to read the payload; it
// numbers independently of the status records. The foundation's kinds are
// 4, 5 and 31; 6 to 30 belong to the engine's records on this same base.
// The sender allocates a record, makes one callback and deletes it; a
// receiver reads it and its payload only during the call and never keeps or
// frees either.
#ifndef QV_DCLIENTRESPONSE_H
#define QV_DCLIENTRESPONSE_H

#include <cstdint>

constexpr uint32_t kResponseTypeHTTPSuccess = 4;
constexpr uint32_t kResponseTypeHTTPFailure = 5;
constexpr uint32_t kResponseTypeInternetConnect = 31;

class DClientResponse {
public:
    explicit DClientResponse(uint32_t type) : m_type(type) {}
    DClientResponse(const DClientResponse &) = delete;
    DClientResponse &operator=(const DClientResponse &) = delete;
    virtual ~DClientResponse() = default;
    virtual uint32_t GetType() const { return m_type; }

protected:
    uint32_t m_type;
};

#endif
