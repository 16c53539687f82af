#include "StoreResult.h"

namespace {
constexpr uint32_t kStoreFailure = 0x80180000u;
}

HRESULT ResultOutOfMemory() { return HRESULT(kStoreFailure | 0x0008u); }

HRESULT ResultFromError(DErrorCode code) { return HRESULT(kStoreFailure | (code & 0xFFFFu)); }
