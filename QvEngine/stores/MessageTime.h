// The message store's times (FILETIME, UTC) as the engine holds them:
// broken-down calendar times (year from 1900, month from 0).
#ifndef QV_MESSAGETIME_H
#define QV_MESSAGETIME_H

#include <ctime>

#include "DErrorCode.h"
#include "wintime.h"

// generalErrInvalidParameter for a time the calendar does not have.
DErrorCode MessageTimeToFileTime(const struct tm &time, FILETIME *out);
DErrorCode MessageTimeFromFileTime(const FILETIME &time, struct tm *out);

#endif
