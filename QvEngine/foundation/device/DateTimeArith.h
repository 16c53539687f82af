// Date-time arithmetic of the engine: adding minutes or days to a FILETIME,
// a date-time record or a SYSTEMTIME, and differences between two records.
// Records and SYSTEMTIMEs go through FILETIME, so month and year ends and
// leap days come out right; a date the platform cannot convert gives the
// platform's last error and leaves the value as it was.
#ifndef QV_DATETIMEARITH_H
#define QV_DATETIMEARITH_H

#include <cstdint>
#include <ctime>

#include "DErrorCode.h"
#include "wintime.h"

// Adds minutes x 600000000 (negative minutes go back); ERROR_INVALID_PARAMETER
// (value unchanged) when the sum leaves the signed 64-bit range.
DErrorCode FileTimeAddMinutes(FILETIME *ft, int32_t minutes);
DErrorCode DateTimeAddMinutes(struct tm *t, int32_t minutes);
DErrorCode SystemTimeAddMinutes(SYSTEMTIME *st, int32_t minutes);
// A day is 1440 minutes.
DErrorCode SystemTimeAddDays(SYSTEMTIME *st, int32_t days);

// *seconds = to - from in whole seconds (towards zero);
// generalErrBufferTooSmall when that does not fit in 32 bits.
DErrorCode DateTimeDiffSeconds(const struct tm *from, const struct tm *to, int32_t *seconds);
// *days = the difference in seconds / 86400 (towards zero).
DErrorCode DateTimeDiffDays(const struct tm *from, const struct tm *to, int32_t *days);

#endif
