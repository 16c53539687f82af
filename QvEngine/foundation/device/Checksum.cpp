#include "Checksum.h"

DErrorCode AccumulateChecksum(const uint8_t *data, uint32_t length, DChecksumState *state, uint32_t start) {
    if (state == nullptr || (data == nullptr && length > 0)) return generalErrNULLPointer;
    for (uint32_t i = 0; i < length; ++i) {
        if (data[i] == 0) continue;
        uint32_t sum = state->sum + (start + 1 + i) * uint32_t(data[i]);
        sum = (sum & 0x00FFFF00u) | (sum >> 24) | (sum << 24);
        state->sum = sum == 0 ? 1 : sum;
        ++state->count;
    }
    return kNoError;
}
