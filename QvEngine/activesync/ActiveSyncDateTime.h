// The date-time text of ActiveSync: "2006-12-09T07:46:47.000Z", or
// "20061209T074647Z" compact; an offset from UTC other than 0 is written
// "+hh:mm" / "-hh:mm" ("+hhmm" compact) instead of "Z". Written into Sync
// requests and read from answers.
//
// Reading is lenient about separators and fractions, as servers vary, but
// strict about values: a field out of its range (month 1-12, a day the month
// has, hour below 24, minute and second below 60, offset below 24 hours), a
// text without a whole date, or anything left after the text is an error,
// and the caller leaves its field unset. A text that ends after the date or
// inside the time leaves the fields not read at 0.
#ifndef QV_ACTIVESYNCDATETIME_H
#define QV_ACTIVESYNCDATETIME_H

#include <cstdint>
#include <ctime>
#include <string>

#include "DErrorCode.h"

// t as text with the offset (seconds east of UTC). A year below 1900 counts
// from 1900 (as struct tm keeps it). generalErrInvalidParameter for a null
// out or a field out of range.
DErrorCode WriteActiveSyncDateTime(const struct tm &t, int32_t offsetSeconds, bool compact, std::string *out);

// The text's fields into *t (tm_mon 0-based, tm_year from 1900, the rest of
// *t zeroed) and its offset in seconds (negative west of UTC).
// generalErrInvalidParameter for a null argument, ASDataManagerErrInvalidDataType for a
// text that is not a valid date-time.
DErrorCode ReadActiveSyncDateTime(const char *text, struct tm *t, int32_t *offsetSeconds);

#endif
