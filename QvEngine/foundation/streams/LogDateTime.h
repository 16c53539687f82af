// A date-time record as one log line: month/day/year  hour:minute:second
// +-bias, the year as stored (years since 1900), numbers in decimal without
// padding, written at level 1 for all categories.
#ifndef QV_LOGDATETIME_H
#define QV_LOGDATETIME_H

#include <ctime>

#include "DErrorCode.h"

class ILogProvider;

DErrorCode LogWriteDateTime(ILogProvider *log, const struct tm *t, int bias);

#endif
