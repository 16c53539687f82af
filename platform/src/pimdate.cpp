#include "pimdate.h"

#include <cmath>

#include "calendar.h"

namespace vplat {
namespace {

// 1899-12-30, day 0 of DATE, in seconds since 1970.
int64_t DateEpoch() { return DaysFromCivil(1899, 12, 30) * kPimSecondsPerDay; }
int64_t FirstSecond() { return DaysFromCivil(100, 1, 1) * kPimSecondsPerDay; }
int64_t LastSecond() { return DaysFromCivil(10000, 1, 1) * kPimSecondsPerDay - 1; }

}  // namespace

bool PimDateToSeconds(DATE date, int64_t *seconds) {
    if (!std::isfinite(date) || date < -700000.0 || date > 3000000.0) return false;
    const double whole = std::trunc(date);
    // The time of day runs forward on both sides of day 0.
    const int64_t timeOfDay = std::llround(std::fabs(date - whole) * double(kPimSecondsPerDay));
    const int64_t result = DateEpoch() + int64_t(whole) * kPimSecondsPerDay + timeOfDay;
    if (result < FirstSecond() || result > LastSecond()) return false;
    *seconds = result;
    return true;
}

bool PimSecondsToDate(int64_t seconds, DATE *date) {
    if (seconds < FirstSecond() || seconds > LastSecond()) return false;
    const int64_t since = seconds - DateEpoch();
    const int64_t day = FloorDiv(since, kPimSecondsPerDay);
    const double fraction = double(since - day * kPimSecondsPerDay) / double(kPimSecondsPerDay);
    *date = day >= 0 ? double(day) + fraction : double(day) - fraction;
    return true;
}

bool PimSystemTimeToSeconds(const SYSTEMTIME &time, int64_t *seconds) {
    if (time.wYear < 100 || time.wYear > 9999 || time.wMonth < 1 || time.wMonth > 12 || time.wDay < 1 ||
        time.wDay > DaysInMonth(time.wYear, time.wMonth) || time.wHour > 23 || time.wMinute > 59 ||
        time.wSecond > 59 || time.wMilliseconds > 999) {
        return false;
    }
    const int64_t result = DaysFromCivil(time.wYear, time.wMonth, time.wDay) * kPimSecondsPerDay +
                           (int64_t(time.wHour) * 60 + time.wMinute) * 60 + time.wSecond +
                           (time.wMilliseconds >= 500 ? 1 : 0);
    if (result > LastSecond()) return false;
    *seconds = result;
    return true;
}

bool PimSecondsToSystemTime(int64_t seconds, SYSTEMTIME *time) {
    if (seconds < FirstSecond() || seconds > LastSecond()) return false;
    return SystemTimeFromMsChecked(seconds * 1000, time);
}

bool PimSecondsToTicks(int64_t seconds, int64_t *ticks) {
    const int64_t since1601 = seconds + kFileTimeOf1970 / (kTicksPerMs * 1000);
    if (since1601 < 0 || since1601 > INT64_MAX / (kTicksPerMs * 1000)) return false;
    *ticks = since1601 * kTicksPerMs * 1000;
    return true;
}

int64_t PimTicksToSeconds(uint64_t ticks) {
    const uint64_t perSecond = kTicksPerMs * 1000;
    const uint64_t since1601 = ticks / perSecond + (ticks % perSecond >= perSecond / 2 ? 1 : 0);
    return int64_t(since1601) - kFileTimeOf1970 / int64_t(perSecond);
}

int64_t PimDayOf(int64_t seconds) { return FloorDiv(seconds, kPimSecondsPerDay); }

int64_t PimNoDateSeconds() { return DaysFromCivil(4501, 1, 1) * kPimSecondsPerDay; }

}  // namespace vplat
