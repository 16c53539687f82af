// The daylight-saving test for a time-zone record: does a universal time
// lie in the record's daylight time?
//
// Daylight time starts at DaylightDate read as local standard time
// (universal = DaylightDate + Bias + StandardBias) and ends at StandardDate
// read as local daylight time (universal = StandardDate + Bias +
// DaylightBias). A record with a year names those two instants; a rule (year
// 0) names the week (1-4, 5 = the last) of a weekday in a month, taken in the
// year of the time tested. Where daylight time spans the new year (the
// standard month comes first), the start belongs to the previous year before
// July and the end to the next year from July on.
#ifndef QV_DAYLIGHTTIME_H
#define QV_DAYLIGHTTIME_H

#include <ctime>

#include "DErrorCode.h"
#include "wintime.h"

// *daylight = 1 when start <= utc < end, else 0 (also for a record without
// daylight time, StandardDate.wMonth 0). generalErrInvalidParameter (and 0)
// for a rule that names no day; the platform's last error when a time
// cannot be converted.
DErrorCode IsDaylightTime(const SYSTEMTIME *utc, const TIME_ZONE_INFORMATION *tz, BYTE *daylight);
// The same for a date-time record; 1 or 0 (0 on any error).
int IsDateTimeInDaylightTime(const struct tm *t, const TIME_ZONE_INFORMATION *tz);

#endif
