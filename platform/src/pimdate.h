// The object model's dates: DATE (OLE days since 1899-12-30; before it the
// whole part counts days back and the fraction still runs forward through
// the day), the records' FILETIMEs and SYSTEMTIMEs, all through one count of
// whole seconds since 1970 (local time), so every conversion rounds to the
// second.
#ifndef VPLATFORM_PIMDATE_H
#define VPLATFORM_PIMDATE_H

#include <cstdint>

#include "vplatform_pim.h"

namespace vplat {

constexpr int64_t kPimSecondsPerDay = 86400;

// False for a date outside 100-01-01 to 9999-12-31 or not a number.
bool PimDateToSeconds(DATE date, int64_t *seconds);
bool PimSecondsToDate(int64_t seconds, DATE *date);
// False for a field out of range (the day of the week is ignored);
// milliseconds round to the nearest second.
bool PimSystemTimeToSeconds(const SYSTEMTIME &time, int64_t *seconds);
bool PimSecondsToSystemTime(int64_t seconds, SYSTEMTIME *time);
// FILETIME ticks (as one 64-bit count) and back, to the nearest second;
// false before 1601.
bool PimSecondsToTicks(int64_t seconds, int64_t *ticks);
int64_t PimTicksToSeconds(uint64_t ticks);
// The day (days since 1970) a time in seconds falls on.
int64_t PimDayOf(int64_t seconds);
// The seconds of "no date", 4501-01-01 00:00.
int64_t PimNoDateSeconds();

}  // namespace vplat

#endif
