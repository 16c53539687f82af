#include "DaylightTime.h"

#include "SystemTimeRecord.h"

namespace {

constexpr int64_t kUnitsPerMinute = 600000000;
constexpr int64_t kUnitsPerDay = kUnitsPerMinute * 1440;

bool IsValidRule(const SYSTEMTIME &rule) {
    return rule.wMonth >= 1 && rule.wMonth <= 12 && rule.wDay >= 1 && rule.wDay <= 5 && rule.wDayOfWeek <= 6;
}

// The instant (FILETIME units, local) a transition names in a year.
DErrorCode TransitionTime(const SYSTEMTIME &date, WORD year, int64_t *out) {
    FILETIME ft;
    if (date.wYear != 0) {
        if (!SystemTimeToFileTime(&date, &ft)) return LastPlatformError();
        *out = int64_t(FileTimeValue(ft));
        return kNoError;
    }
    if (!IsValidRule(date)) return generalErrInvalidParameter;
    // The week-5 rule walks back from the first of the next month, the others
    // forward from the first of the rule's month.
    const bool last = date.wDay == 5;
    SYSTEMTIME first = {};
    first.wYear = last && date.wMonth == 12 ? WORD(year + 1) : year;
    first.wMonth = last ? WORD(date.wMonth % 12 + 1) : date.wMonth;
    first.wDay = 1;
    first.wHour = date.wHour;
    first.wMinute = date.wMinute;
    SYSTEMTIME named;
    if (!SystemTimeToFileTime(&first, &ft) || !FileTimeToSystemTime(&ft, &named)) return LastPlatformError();
    int64_t when = int64_t(FileTimeValue(ft));
    const int weekday = named.wDayOfWeek;
    if (last) {
        // The last day of the month, then back to the weekday.
        when -= kUnitsPerDay * (1 + (weekday + 6 - date.wDayOfWeek) % 7);
    } else {
        when += kUnitsPerDay * ((date.wDayOfWeek - weekday + 7) % 7 + 7 * (date.wDay - 1));
    }
    *out = when;
    return kNoError;
}

}  // namespace

DErrorCode IsDaylightTime(const SYSTEMTIME *utc, const TIME_ZONE_INFORMATION *tz, BYTE *daylight) {
    if (utc == nullptr || tz == nullptr || daylight == nullptr) return generalErrNULLPointer;
    *daylight = 0;
    if (tz->StandardDate.wMonth == 0) return kNoError;

    FILETIME ft;
    if (!SystemTimeToFileTime(utc, &ft)) return LastPlatformError();
    const int64_t t = int64_t(FileTimeValue(ft));

    WORD startYear = utc->wYear;
    WORD endYear = utc->wYear;
    if (tz->StandardDate.wYear == 0 && tz->StandardDate.wMonth < tz->DaylightDate.wMonth) {
        if (utc->wMonth < 7)
            --startYear;
        else
            ++endYear;
    }
    int64_t start = 0;
    int64_t end = 0;
    if (DErrorCode err = TransitionTime(tz->DaylightDate, startYear, &start)) return err;
    if (DErrorCode err = TransitionTime(tz->StandardDate, endYear, &end)) return err;
    start += (int64_t(tz->Bias) + tz->StandardBias) * kUnitsPerMinute;
    end += (int64_t(tz->Bias) + tz->DaylightBias) * kUnitsPerMinute;
    *daylight = start <= t && t < end ? 1 : 0;
    return kNoError;
}

int IsDateTimeInDaylightTime(const struct tm *t, const TIME_ZONE_INFORMATION *tz) {
    SYSTEMTIME st;
    BYTE daylight = 0;
    if (t == nullptr || !TimeRecordToSystemTime(*t, &st) || IsDaylightTime(&st, tz, &daylight) != kNoError) return 0;
    return daylight;
}
