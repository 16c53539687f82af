#include "TextHelpers.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <new>
#include <random>
#include <string>

DErrorCode CopyNarrowString(char **dest, uint32_t capacity, const char *src) {
    if (dest == nullptr || src == nullptr) return generalErrInvalidParameter;
    const size_t size = strlen(src) + 1;
    if (*dest == nullptr) {
        char *copy = new (std::nothrow) char[size];
        if (copy == nullptr) return generalErrMemoryError;
        memcpy(copy, src, size);
        *dest = copy;
        return kNoError;
    }
    if (size > capacity) return generalErrBufferTooSmall;
    memmove(*dest, src, size);
    return kNoError;
}

DErrorCode GetNextToken(const char *src, uint16_t *pos, char delimiter, char **out) {
    if (src == nullptr || pos == nullptr || out == nullptr || *out != nullptr) return generalErrInvalidParameter;
    const size_t length = strlen(src);
    const size_t start = *pos;
    if (start >= length) return kNoError;
    const char *found = static_cast<const char *>(memchr(src + start, delimiter, length - start));
    const size_t stop = found != nullptr ? size_t(found - src) : length;
    if (stop > UINT16_MAX) return generalErrIndexOutOfRange;

    char *token = new (std::nothrow) char[stop - start + 1];
    if (token == nullptr) return generalErrMemoryError;
    memcpy(token, src + start, stop - start);
    token[stop - start] = 0;
    *out = token;
    *pos = uint16_t(stop);
    return kNoError;
}

int IsTrueString(const char *s) { return s != nullptr && strcmp(s, "0") != 0 ? 1 : 0; }

int ParseCountedInt(const char *text, uint32_t length) {
    if (text == nullptr) return 0;
    long value;
    try {
        // A copy bounds the conversion to the counted bytes.
        const std::string copy(text, length);
        value = strtol(copy.c_str(), nullptr, 10);
    } catch (const std::bad_alloc &) {
        return 0;
    }
    if (value > INT_MAX) return INT_MAX;
    if (value < INT_MIN) return INT_MIN;
    return int(value);
}

DErrorCode MakeRandomHexString(char *out, uint32_t capacity, uint32_t length) {
    if (out == nullptr) return generalErrInvalidParameter;
    if (capacity > 0) out[0] = 0;
    if (size_t(length) + 1 > capacity) return generalErrBufferTooSmall;
    static const char kDigits[] = "0123456789abcdef";
    try {
        std::random_device entropy;
        std::mt19937 generator(entropy());
        std::uniform_int_distribution<int> digit(0, 15);
        for (uint32_t i = 0; i < length; ++i) out[i] = kDigits[digit(generator)];
    } catch (const std::exception &) {
        out[0] = 0;
        return generalErrUnknownError;  // no entropy source on this host
    }
    out[length] = 0;
    return kNoError;
}
