#include "DHTTPHeader.h"

#include <cstring>
#include <new>

bool DHTTPHeader::IsSafeText(const char *text, size_t length) {
    for (size_t i = 0; i < length; ++i)
        if (text[i] == '\r' || text[i] == '\n' || text[i] == '\0') return false;
    return true;
}

DErrorCode DHTTPHeader::SetName(const char *name) {
    if (name == nullptr || *name == '\0') return generalErrInvalidParameter;
    const size_t length = std::strlen(name);
    if (!IsSafeText(name, length)) return generalErrInvalidParameter;
    try {
        m_name.assign(name, length);
    } catch (const std::bad_alloc &) {
        return generalErrMemoryError;
    }
    return kNoError;
}

DErrorCode DHTTPHeader::SetValue(const char *value, int32_t length) {
    if (value == nullptr) {
        m_value.clear();
        m_value.shrink_to_fit();
        m_hasValue = false;
        return kNoError;
    }
    if (length < 0 && length != kHTTPHeaderToTerminator) return generalErrInvalidParameter;
    const size_t size = length == kHTTPHeaderToTerminator ? std::strlen(value) : size_t(length);
    if (!IsSafeText(value, size)) return generalErrInvalidParameter;
    try {
        m_value.assign(value, size);
    } catch (const std::bad_alloc &) {
        return generalErrMemoryError;
    }
    m_hasValue = true;
    return kNoError;
}
