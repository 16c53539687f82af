// The one mapping between how the form provider stores a composed
// message's kind ("X-QV-SendType": 1 reply or reply-all, 2 forward, 0 any
// other) and how the engine reads it (EMessageSendType: 2 reply, 1 forward,
// 0 plain).
#ifndef QV_SENDTYPEMAPPING_H
#define QV_SENDTYPEMAPPING_H

#include <cstdint>

#include "IOutlookMessage.h"

// Values of "X-QV-SendType" in the store.
constexpr uint32_t kStoredSendTypeReply = 1;
constexpr uint32_t kStoredSendTypeForward = 2;

inline uint32_t SendTypeFromStored(uint32_t stored) {
    switch (stored) {
        case kStoredSendTypeReply: return kMessageSendReply;
        case kStoredSendTypeForward: return kMessageSendForward;
        default: return kMessageSendPlain;
    }
}

inline uint32_t SendTypeToStored(uint32_t type) {
    switch (type) {
        case kMessageSendReply: return kStoredSendTypeReply;
        case kMessageSendForward: return kStoredSendTypeForward;
        default: return 0;
    }
}

#endif
