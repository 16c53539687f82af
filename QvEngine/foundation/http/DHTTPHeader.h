// DHTTPHeader: one HTTP header, an owned name and an owned value. A header
// may have no value at all (distinct from an empty one): a request header
// without a value tells the request to leave out the session header of its
// name.
//
// Names and values end up in a CR LF separated block, so a CR, LF or NUL in
// either is refused with generalErrInvalidParameter when it is set, and the
// header keeps what it had.
#ifndef QV_DHTTPHEADER_H
#define QV_DHTTPHEADER_H

#include <cstdint>
#include <string>

#include "DErrorCode.h"

// Value length meaning "up to the terminator".
constexpr int32_t kHTTPHeaderToTerminator = -1;

class DHTTPHeader {
public:
    DHTTPHeader() = default;
    DHTTPHeader(const DHTTPHeader &) = delete;
    DHTTPHeader &operator=(const DHTTPHeader &) = delete;
    virtual ~DHTTPHeader() = default;

    // A null or empty name is generalErrInvalidParameter.
    DErrorCode SetName(const char *name);
    // length bytes of value, or kHTTPHeaderToTerminator. A null value
    // leaves the header without one; any other negative length is
    // generalErrInvalidParameter.
    DErrorCode SetValue(const char *value, int32_t length);

    const char *GetName() const { return m_name.c_str(); }
    uint32_t GetNameLength() const { return uint32_t(m_name.size()); }
    // Null when the header has no value.
    const char *GetValue() const { return m_hasValue ? m_value.c_str() : nullptr; }
    uint32_t GetValueLength() const { return uint32_t(m_value.size()); }
    bool HasValue() const { return m_hasValue; }

    // True when text (length bytes) can stand in a header line.
    static bool IsSafeText(const char *text, size_t length);

private:
    std::string m_name;
    std::string m_value;
    bool m_hasValue = false;
};

#endif
