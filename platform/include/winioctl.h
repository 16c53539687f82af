// Control codes of the device's hardware layer: the device identifier.
#ifndef VPLATFORM_WINIOCTL_H
#define VPLATFORM_WINIOCTL_H

#include "wintypes.h"

#define IOCTL_HAL_GET_DEVICEID 0x01010054

// The answer to IOCTL_HAL_GET_DEVICEID: this header, then the id's bytes at
// the offsets it names (offsets from the start of the record).
typedef struct _DEVICE_ID {
    DWORD dwSize;  // bytes of the whole answer
    DWORD dwPresetIDOffset;
    DWORD dwPresetIDBytes;
    DWORD dwPlatformIDOffset;
    DWORD dwPlatformIDBytes;
} DEVICE_ID, *PDEVICE_ID;

extern "C" {
// IOCTL_HAL_GET_DEVICEID fills lpOutBuf with a DEVICE_ID record and the id
// and sets *lpBytesReturned to its size. The id is the device's configured
// id (the file "deviceid" in the device root: hexadecimal digits, white
// space ignored), else the host's machine id. A buffer too small for the
// whole answer fails with ERROR_INSUFFICIENT_BUFFER and, when it holds a
// DWORD, dwSize set to the size needed. Other codes fail with
// ERROR_NOT_SUPPORTED.
PLATAPI BOOL KernelIoControl(DWORD dwIoControlCode, LPVOID lpInBuf, DWORD nInBufSize, LPVOID lpOutBuf,
                             DWORD nOutBufSize, LPDWORD lpBytesReturned);
}

#endif
