// Calendar arithmetic on the proleptic Gregorian calendar, for the date
// conversions and the time-zone rules: whole days since 1970-01-01 and back,
// without the host's time functions (their range stops short of the
// platform's years 1601 to 30828).
#ifndef VPLATFORM_CALENDAR_H
#define VPLATFORM_CALENDAR_H

#include <cstdint>

#include "wintime.h"

namespace vplat {

constexpr int64_t kMsPerDay = 86400000;
constexpr int64_t kTicksPerMs = 10000;  // FILETIME units
// 1970-01-01 as a FILETIME.
constexpr int64_t kFileTimeOf1970 = 116444736000000000;

bool IsLeapYear(int64_t year);
int DaysInMonth(int64_t year, int month);
int64_t DaysFromCivil(int64_t year, int month, int day);
void CivilFromDays(int64_t days, int64_t *year, int *month, int *day);
// 0 = Sunday.
int WeekdayOfDays(int64_t days);
// x / y rounded down (y > 0).
int64_t FloorDiv(int64_t x, int64_t y);

// Milliseconds since 1970 of a date and time whose fields are in range.
int64_t MsFromSystemTime(const SYSTEMTIME &st);
// A date and time (day of week filled) of milliseconds since 1970; false
// when the year does not fit the record.
bool SystemTimeFromMsChecked(int64_t ms, SYSTEMTIME *st);

}  // namespace vplat

#endif
