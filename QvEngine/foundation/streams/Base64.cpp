#include "Base64.h"

#include <cstddef>
#include <new>

namespace {

const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

constexpr int kWhiteSpace = -2;
constexpr int kOutside = -1;

// The 6-bit value of an alphabet character, kWhiteSpace or kOutside.
int DigitValue(unsigned char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f') return kWhiteSpace;
    return kOutside;
}

}  // namespace

char *Base64Encode(const BYTE *data, uint32_t length, uint32_t *outLength) {
    if (outLength != nullptr) *outLength = 0;
    if (data == nullptr) length = 0;
    const size_t size = (size_t(length) / 3 + 4) * 4;
    char *out = new (std::nothrow) char[size]();
    if (out == nullptr) return nullptr;

    size_t n = 0;
    uint32_t i = 0;
    for (; length - i >= 3; i += 3) {
        const uint32_t v = uint32_t(data[i]) << 16 | uint32_t(data[i + 1]) << 8 | data[i + 2];
        out[n++] = kAlphabet[v >> 18];
        out[n++] = kAlphabet[(v >> 12) & 0x3F];
        out[n++] = kAlphabet[(v >> 6) & 0x3F];
        out[n++] = kAlphabet[v & 0x3F];
    }
    const uint32_t rest = length - i;
    if (rest > 0) {
        const uint32_t v = uint32_t(data[i]) << 16 | (rest == 2 ? uint32_t(data[i + 1]) << 8 : 0);
        out[n++] = kAlphabet[v >> 18];
        out[n++] = kAlphabet[(v >> 12) & 0x3F];
        out[n++] = rest == 2 ? kAlphabet[(v >> 6) & 0x3F] : '=';
        out[n++] = '=';
    }
    if (outLength != nullptr) *outLength = uint32_t(n);
    return out;
}

BYTE *Base64Decode(const char *text, uint32_t length, uint32_t *outLength) {
    if (outLength != nullptr) *outLength = 0;
    if (text == nullptr) length = 0;
    BYTE *out = new (std::nothrow) BYTE[size_t(length) + 1]();
    if (out == nullptr) return nullptr;

    size_t n = 0;
    uint32_t bits = 0;
    int count = 0;  // characters in the current group
    for (uint32_t i = 0; i < length; ++i) {
        const int v = DigitValue(static_cast<unsigned char>(text[i]));
        if (v == kWhiteSpace) continue;
        if (v == kOutside) break;  // "=" or anything else ends the data
        bits = bits << 6 | uint32_t(v);
        if (++count == 4) {
            out[n++] = BYTE(bits >> 16);
            out[n++] = BYTE(bits >> 8);
            out[n++] = BYTE(bits);
            bits = 0;
            count = 0;
        }
    }
    // A partial group: two characters carry one byte, three carry two.
    if (count == 2) {
        out[n++] = BYTE(bits >> 4);
    } else if (count == 3) {
        out[n++] = BYTE(bits >> 10);
        out[n++] = BYTE(bits >> 2);
    }
    if (outLength != nullptr) *outLength = uint32_t(n);
    return out;
}
