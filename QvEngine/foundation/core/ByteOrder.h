// Byte-order helpers of the file formats: values at any byte address,
// most significant byte first (GetBigEndian32) or in the device's
// little-endian order (the others), whatever the host's order.
#ifndef QV_BYTEORDER_H
#define QV_BYTEORDER_H

#include <cstdint>

#include "wintypes.h"

inline uint32_t GetBigEndian32(const BYTE *p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}

inline uint32_t GetUInt32(const BYTE *p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

inline void PutUInt32(BYTE *p, uint32_t value) {
    p[0] = BYTE(value);
    p[1] = BYTE(value >> 8);
    p[2] = BYTE(value >> 16);
    p[3] = BYTE(value >> 24);
}

inline uint16_t GetUInt16(const BYTE *p) { return uint16_t(p[0] | p[1] << 8); }

inline void PutUInt16(BYTE *p, uint16_t value) {
    p[0] = BYTE(value);
    p[1] = BYTE(value >> 8);
}

#endif
