// The running checksum that marks a changed item body: the device stores
// keep it (8 bytes) with each item and compare it with the checksum of the
// current body.
#ifndef QV_CHECKSUM_H
#define QV_CHECKSUM_H

#include <cstdint>

#include "DErrorCode.h"

struct DChecksumState {
    uint32_t sum;
    uint32_t count;  // non-zero bytes taken in
};
static_assert(sizeof(DChecksumState) == 8, "stored as an 8-byte value");

// Takes length bytes into state; the byte at index i has position
// start + 1 + i. Each non-zero byte b adds position x b to the sum (32-bit,
// wrapping), then the sum's lowest and highest bytes change places and a sum
// of 0 becomes 1. Zero bytes are skipped but still take a position.
// generalErrNULLPointer without a state, or without data when length > 0.
DErrorCode AccumulateChecksum(const uint8_t *data, uint32_t length, DChecksumState *state, uint32_t start);

#endif
