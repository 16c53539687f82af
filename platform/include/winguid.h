// Globally unique identifiers as the platform's interfaces pass them.
#ifndef VPLATFORM_WINGUID_H
#define VPLATFORM_WINGUID_H

#include <cstring>

#include "wintypes.h"

#ifndef VPLATFORM_GUID_DEFINED
#define VPLATFORM_GUID_DEFINED
typedef struct _GUID {
    DWORD Data1;
    WORD Data2;
    WORD Data3;
    BYTE Data4[8];
} GUID, *LPGUID;
typedef const GUID *LPCGUID;
#endif

inline BOOL IsEqualGUID(const GUID &a, const GUID &b) { return memcmp(&a, &b, sizeof(GUID)) == 0 ? TRUE : FALSE; }

#endif
