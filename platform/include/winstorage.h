// Storage of the device's volumes: how many bytes are free. The device's
// file system is one folder of the host, so every device path reports the
// host file system that holds it.
//
// Tests fake the numbers with a text file "freespace" in the device root
// holding up to three decimal byte counts: the bytes free to the caller,
// then (each defaulting to the first) the total size and the total bytes
// free. Paths must still exist on the device.
#ifndef VPLATFORM_WINSTORAGE_H
#define VPLATFORM_WINSTORAGE_H

#include "wintypes.h"

extern "C" {
// Each out-parameter may be null. A null path is the root "\". FALSE with
// the last error when the path does not exist or cannot be asked.
PLATAPI BOOL GetDiskFreeSpaceExW(LPCWSTR lpDirectoryName, PULARGE_INTEGER lpFreeBytesAvailableToCaller,
                                 PULARGE_INTEGER lpTotalNumberOfBytes, PULARGE_INTEGER lpTotalNumberOfFreeBytes);
}

#endif
