// Free storage: the bytes free to the caller on the device's main volume
// ("\" on a Pocket PC, "\Storage" on a Smartphone).
#ifndef QV_FREESTORAGE_H
#define QV_FREESTORAGE_H

#include <cstdint>

#include "DErrorCode.h"

// *bytes = the free bytes, 0xFFFFFFFF when there are more; left unchanged
// when the platform cannot say. Returns 0 (generalErrNULLPointer without
// bytes). The first argument is not used.
DErrorCode GetFreeStorageSpace(const void *reserved, uint32_t *bytes);

#endif
