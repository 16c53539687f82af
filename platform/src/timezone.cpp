// The device's time zone: kept in the registry as the 172-byte record
// (HKEY_LOCAL_MACHINE\Time, "TimeZoneInformation"), read on every use so
// that a change made by any program of the device is followed at once.
// The record is stored in the host's byte order, little-endian on every
// host the device runs on.
#include "timezone.h"

#include <cstring>

#include "calendar.h"
#include "clock.h"
#include "winerror.h"
#include "winreg.h"

namespace vplat {
namespace {

const WCHAR kTimeKey[] = u"Time";
const WCHAR kTimeZoneValue[] = u"TimeZoneInformation";

// A transition's wall-clock time in a year, in milliseconds since 1970;
// false when the date cannot be read. A rule (wYear 0) names the week of the
// month (5: the last) of a weekday; a dated one names its own day and year.
bool TransitionLocalMs(const SYSTEMTIME &date, int64_t year, int64_t *localMs) {
    if (date.wMonth < 1 || date.wMonth > 12 || date.wHour > 23 || date.wMinute > 59 || date.wSecond > 59 ||
        date.wMilliseconds > 999)
        return false;
    int day;
    if (date.wYear != 0) {
        year = date.wYear;
        if (date.wDay < 1 || date.wDay > DaysInMonth(year, date.wMonth)) return false;
        day = date.wDay;
    } else {
        if (date.wDayOfWeek > 6 || date.wDay < 1 || date.wDay > 5) return false;
        const int firstWeekday = WeekdayOfDays(DaysFromCivil(year, date.wMonth, 1));
        day = 1 + (date.wDayOfWeek - firstWeekday + 7) % 7 + (date.wDay - 1) * 7;
        while (day > DaysInMonth(year, date.wMonth)) day -= 7;
    }
    *localMs = DaysFromCivil(year, date.wMonth, day) * kMsPerDay +
               ((int64_t(date.wHour) * 60 + date.wMinute) * 60 + date.wSecond) * 1000 + date.wMilliseconds;
    return true;
}

}  // namespace

DWORD ReadDeviceTimeZone(TIME_ZONE_INFORMATION *tz) {
    memset(tz, 0, sizeof *tz);
    HKEY key;
    LONG err = RegOpenKeyExW(HKEY_LOCAL_MACHINE, kTimeKey, 0, KEY_QUERY_VALUE, &key);
    if (err == ERROR_FILE_NOT_FOUND) return ERROR_SUCCESS;
    if (err != ERROR_SUCCESS) return DWORD(err);
    TIME_ZONE_INFORMATION stored;
    DWORD type = REG_NONE, size = sizeof stored;
    err = RegQueryValueExW(key, kTimeZoneValue, nullptr, &type, reinterpret_cast<BYTE *>(&stored), &size);
    RegCloseKey(key);
    // A value that is missing or is no zone record leaves the device on UTC.
    if (err == ERROR_SUCCESS && type == REG_BINARY && size == sizeof stored) {
        *tz = stored;
        return ERROR_SUCCESS;
    }
    return err == ERROR_SUCCESS || err == ERROR_FILE_NOT_FOUND || err == ERROR_MORE_DATA ? ERROR_SUCCESS : DWORD(err);
}

void ReadDeviceTimeZoneOrUtc(TIME_ZONE_INFORMATION *tz) {
    if (ReadDeviceTimeZone(tz) != ERROR_SUCCESS) memset(tz, 0, sizeof *tz);
}

DWORD TimeZoneIdAt(const TIME_ZONE_INFORMATION &tz, int64_t utcMs) {
    if (tz.StandardDate.wMonth == 0 || tz.DaylightDate.wMonth == 0) return TIME_ZONE_ID_UNKNOWN;
    const int64_t startOffset = (int64_t(tz.Bias) + tz.StandardBias) * 60000;
    const int64_t endOffset = (int64_t(tz.Bias) + tz.DaylightBias) * 60000;
    // The year as the standard-time wall clock reads it.
    int64_t year;
    int month, day;
    CivilFromDays(FloorDiv(utcMs - startOffset, kMsPerDay), &year, &month, &day);

    const bool dated = tz.StandardDate.wYear != 0;
    SYSTEMTIME daylightDate = tz.DaylightDate;
    if (dated && daylightDate.wYear == 0) daylightDate.wYear = tz.StandardDate.wYear;
    int64_t start, end;
    if (!TransitionLocalMs(daylightDate, year, &start) || !TransitionLocalMs(tz.StandardDate, year, &end))
        return TIME_ZONE_ID_UNKNOWN;
    start += startOffset;
    end += endOffset;

    bool daylight;
    if (start <= end) {
        daylight = start <= utcMs && utcMs < end;
    } else {
        // Daylight time spans the new year (southern hemisphere): it runs
        // from the start of the year to its end date, and again from its
        // start date on. A dated record covers its own year only.
        daylight = (utcMs < end || utcMs >= start) && (!dated || year == tz.StandardDate.wYear);
    }
    return daylight ? TIME_ZONE_ID_DAYLIGHT : TIME_ZONE_ID_STANDARD;
}

int64_t TimeZoneBiasAt(const TIME_ZONE_INFORMATION &tz, int64_t utcMs) {
    switch (TimeZoneIdAt(tz, utcMs)) {
        case TIME_ZONE_ID_DAYLIGHT: return int64_t(tz.Bias) + tz.DaylightBias;
        case TIME_ZONE_ID_STANDARD: return int64_t(tz.Bias) + tz.StandardBias;
        default: return tz.Bias;
    }
}

}  // namespace vplat

extern "C" PLATAPI DWORD GetTimeZoneInformation(LPTIME_ZONE_INFORMATION lpTimeZoneInformation) {
    if (lpTimeZoneInformation == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return TIME_ZONE_ID_INVALID;
    }
    DWORD err = vplat::ReadDeviceTimeZone(lpTimeZoneInformation);
    if (err != ERROR_SUCCESS) {
        SetLastError(err);
        return TIME_ZONE_ID_INVALID;
    }
    return vplat::TimeZoneIdAt(*lpTimeZoneInformation, vplat::ClockUtcMs());
}

extern "C" PLATAPI BOOL SetTimeZoneInformation(const TIME_ZONE_INFORMATION *lpTimeZoneInformation) {
    if (lpTimeZoneInformation == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    HKEY key;
    LONG err = RegCreateKeyExW(HKEY_LOCAL_MACHINE, vplat::kTimeKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE,
                               nullptr, &key, nullptr);
    if (err == ERROR_SUCCESS) {
        err = RegSetValueExW(key, vplat::kTimeZoneValue, 0, REG_BINARY,
                             reinterpret_cast<const BYTE *>(lpTimeZoneInformation), sizeof *lpTimeZoneInformation);
        RegCloseKey(key);
    }
    if (err != ERROR_SUCCESS) {
        SetLastError(DWORD(err));
        return FALSE;
    }
    return TRUE;
}
