// The engine's date-time conversions: the current time as a date-time
// record (the runtime's tm: seconds, minutes, hours, day, month 0 to 11,
// years since 1900, weekday 0 = Sunday), and conversions between that
// record, the platform's SYSTEMTIME and FILETIME (100-ns units).
//
// Failed platform conversions return the platform's last error (for a date
// the platform refuses, ERROR_INVALID_PARAMETER); missing arguments
// generalErrNULLPointer.
#ifndef QV_DATETIMECONVERT_H
#define QV_DATETIMECONVERT_H

#include <ctime>

#include "DErrorCode.h"
#include "wintime.h"

// The device's local time and universal time; the record's other fields
// (day of the year, daylight flag) are 0.
DErrorCode GetLocalDateTime(struct tm *out);
DErrorCode GetUniversalDateTime(struct tm *out);

// Through SYSTEMTIME with milliseconds 0; the record's weekday is ignored.
DErrorCode DateTimeToFileTime(const struct tm *t, FILETIME *out);
// Fills the weekday; the other fields beyond the seven are 0.
DErrorCode FileTimeToDateTime(const FILETIME *ft, struct tm *out);

// *out = the given date and time, normalised through FILETIME so that the
// day of the week is right.
DErrorCode MakeSystemTime(SYSTEMTIME *out, WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second,
                          WORD milliseconds);
// -1, 0 or 1 as a is earlier than, equal to or later than b; 0 when either
// cannot be converted.
int CompareSystemTimes(const SYSTEMTIME *a, const SYSTEMTIME *b);

#endif
