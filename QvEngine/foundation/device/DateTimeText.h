// The date-time text of log lines: "12/05/06 02:07:09 PM" (month/day/
// two-digit year, twelve-hour clock), as Windows-1252 text.
#ifndef QV_DATETIMETEXT_H
#define QV_DATETIMETEXT_H

#include <ctime>

#include "DErrorCode.h"
#include "VString.h"

// At most 31 characters; fields out of their range are written as numbers
// all the same. generalErrInvalidParameter when out is null.
DErrorCode FormatDateTime(struct tm t, VString *out);
// The device's local time now.
DErrorCode FormatCurrentLocalTime(VString *out);

#endif
