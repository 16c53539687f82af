// GetDeviceID: the hardware device id as text, as the device's hardware
// layer reports it.
#ifndef QV_DEVICEID_H
#define QV_DEVICEID_H

#include "DErrorCode.h"
#include "VString.h"

// out = every byte of the answer from the preset id on, each as two
// upper-case hexadecimal digits, as Windows-1252 text; "000000000000000"
// (fifteen zeros) when the hardware layer gives no id or needs more than
// the 40-byte record. The result is the string's; generalErrInvalidParameter
// when out is null.
DErrorCode GetDeviceID(VString *out);

#endif
