// The two forms of the device id that the engine sends to the server, made
// from the hardware device id text (GetDeviceID). The Format calls make the
// same forms of a given id text.
#ifndef QV_DEVICEIDTEXT_H
#define QV_DEVICEIDTEXT_H

#include "DErrorCode.h"
#include "VString.h"

// out = the id's hexadecimal digits (a to f upper-cased), at most 32;
// "12345" when it has none.
DErrorCode MakeDeviceIdHex(VString *out);
DErrorCode FormatDeviceIdHex(const char *deviceId, VString *out);

// Appends to out until it holds exactly 32 characters, cycling over the id:
// a hexadecimal digit is kept (a to f upper-cased), any other character is
// written as the two lower-case hexadecimal digits of its code (only the
// first of them when one place is left). An empty id gives "0"s.
DErrorCode MakeDeviceId32(VString *out);
DErrorCode FormatDeviceId32(const char *deviceId, VString *out);

#endif
