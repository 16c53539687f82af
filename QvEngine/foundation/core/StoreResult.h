// Failure results that the device-store code hands back through its COM
// interfaces: the system's error codes folded into one result facility.
#ifndef QV_STORERESULT_H
#define QV_STORERESULT_H

#include "DErrorCode.h"
#include "wintypes.h"

// 0x80180008: out of memory.
HRESULT ResultOutOfMemory();
// 0x80180000 with the low 16 bits of code.
HRESULT ResultFromError(DErrorCode code);

#endif
