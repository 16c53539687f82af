// The device's time zone: kept in the registry as the 172-byte record
// (HKEY_LOCAL_MACHINE\Time, "TimeZoneInformation"), read on every use so
// that a change made by any program of the device is followed at once.
// The record is stored in the host's byte order, little-endian on every
// host the device runs on. Also the one rule engine that tells standard
// from daylight time, and the daylight switch of SetDaylightTime.
#include "timezone.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <mutex>
#include <string>

#include "calendar.h"
#include "clock.h"
#include "devicestate.h"
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

// Universal time minus the wall clock at each transition: daylight time
// starts by the standard clock and ends by the daylight clock.
int64_t DaylightStartOffsetMs(const TIME_ZONE_INFORMATION &tz) { return (int64_t(tz.Bias) + tz.StandardBias) * 60000; }
int64_t DaylightEndOffsetMs(const TIME_ZONE_INFORMATION &tz) { return (int64_t(tz.Bias) + tz.DaylightBias) * 60000; }

// A dated record whose daylight date leaves out the year takes the
// standard date's.
SYSTEMTIME DaylightDateOf(const TIME_ZONE_INFORMATION &tz) {
    SYSTEMTIME date = tz.DaylightDate;
    if (tz.StandardDate.wYear != 0 && date.wYear == 0) date.wYear = tz.StandardDate.wYear;
    return date;
}

// The year as the standard-time wall clock reads it at a universal time.
int64_t StandardYearAt(const TIME_ZONE_INFORMATION &tz, int64_t utcMs) {
    int64_t year;
    int month, day;
    CivilFromDays(FloorDiv(utcMs - DaylightStartOffsetMs(tz), kMsPerDay), &year, &month, &day);
    return year;
}

// The instants around a universal time at which the zone's rule may change
// its answer: *from the last at or before it, *to the first after it (the
// ends of the range when there is none). A dated record also changes at
// the ends of its year, outside which it has no daylight time.
void RulePeriodAt(const TIME_ZONE_INFORMATION &tz, int64_t utcMs, int64_t *from, int64_t *to) {
    *from = std::numeric_limits<int64_t>::min();
    *to = std::numeric_limits<int64_t>::max();
    auto consider = [&](int64_t instant) {
        if (instant <= utcMs)
            *from = std::max(*from, instant);
        else
            *to = std::min(*to, instant);
    };
    const SYSTEMTIME daylightDate = DaylightDateOf(tz);
    const bool dated = tz.StandardDate.wYear != 0;
    const int64_t year = dated ? tz.StandardDate.wYear : StandardYearAt(tz, utcMs);
    if (dated) {
        consider(DaysFromCivil(year, 1, 1) * kMsPerDay + DaylightStartOffsetMs(tz));
        consider(DaysFromCivil(year + 1, 1, 1) * kMsPerDay + DaylightStartOffsetMs(tz));
    }
    for (int64_t y = dated ? year : year - 1; y <= year + (dated ? 0 : 1); ++y) {
        int64_t local;
        if (TransitionLocalMs(daylightDate, y, &local)) consider(local + DaylightStartOffsetMs(tz));
        if (TransitionLocalMs(tz.StandardDate, y, &local)) consider(local + DaylightEndOffsetMs(tz));
    }
}

int64_t BiasForId(const TIME_ZONE_INFORMATION &tz, DWORD id) {
    switch (id) {
        case TIME_ZONE_ID_DAYLIGHT: return int64_t(tz.Bias) + tz.DaylightBias;
        case TIME_ZONE_ID_STANDARD: return int64_t(tz.Bias) + tz.StandardBias;
        default: return tz.Bias;
    }
}

// The state SetDaylightTime chose against the rules, for one device and
// zone. It stands until the rules' own answer could next change, as the
// handheld's clock switches its daylight state at each transition.
// Kept per process: the switch brackets one conversion, and other programs
// of the device keep reading their clocks by the rules meanwhile.
struct DaylightSwitch {
    bool set = false;
    std::string root;
    TIME_ZONE_INFORMATION zone = {};
    DWORD id = TIME_ZONE_ID_UNKNOWN;
    int64_t from = 0, to = 0;
};

std::mutex g_switchMutex;
DaylightSwitch g_switch;

void ClearDaylightSwitch() {
    std::lock_guard<std::mutex> lock(g_switchMutex);
    g_switch.set = false;
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
    const int64_t year = StandardYearAt(tz, utcMs);
    const bool dated = tz.StandardDate.wYear != 0;
    int64_t start, end;
    if (!TransitionLocalMs(DaylightDateOf(tz), year, &start) || !TransitionLocalMs(tz.StandardDate, year, &end))
        return TIME_ZONE_ID_UNKNOWN;
    start += DaylightStartOffsetMs(tz);
    end += DaylightEndOffsetMs(tz);

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

int64_t TimeZoneBiasAt(const TIME_ZONE_INFORMATION &tz, int64_t utcMs) { return BiasForId(tz, TimeZoneIdAt(tz, utcMs)); }

DWORD DeviceZoneIdAt(const TIME_ZONE_INFORMATION &tz, int64_t utcMs) {
    const DWORD id = TimeZoneIdAt(tz, utcMs);
    if (id == TIME_ZONE_ID_UNKNOWN) return id;
    std::string root;
    std::lock_guard<std::mutex> lock(g_switchMutex);
    if (!g_switch.set || !DeviceRootIfOpen(&root) || root != g_switch.root ||
        memcmp(&tz, &g_switch.zone, sizeof tz) != 0 || utcMs < g_switch.from || utcMs >= g_switch.to)
        return id;
    return g_switch.id;
}

int64_t DeviceBiasAt(const TIME_ZONE_INFORMATION &tz, int64_t utcMs) { return BiasForId(tz, DeviceZoneIdAt(tz, utcMs)); }

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
    return vplat::DeviceZoneIdAt(*lpTimeZoneInformation, vplat::ClockUtcMs());
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
    // A new zone brings its own daylight state.
    vplat::ClearDaylightSwitch();
    return TRUE;
}

extern "C" PLATAPI void SetDaylightTime(DWORD dst) {
    using namespace vplat;
    TIME_ZONE_INFORMATION tz;
    std::string root;
    if (ReadDeviceTimeZone(&tz) != ERROR_SUCCESS || !DeviceCurrentRoot(&root)) return;
    const int64_t now = ClockUtcMs();
    const DWORD ruled = TimeZoneIdAt(tz, now);
    const DWORD wanted = dst != 0 ? TIME_ZONE_ID_DAYLIGHT : TIME_ZONE_ID_STANDARD;
    std::lock_guard<std::mutex> lock(g_switchMutex);
    g_switch.set = false;
    // A zone without daylight time has nothing to switch; the state the
    // rules give now puts the device back on its rules.
    if (ruled == TIME_ZONE_ID_UNKNOWN || ruled == wanted) return;
    g_switch.set = true;
    g_switch.root = root;
    g_switch.zone = tz;
    g_switch.id = wanted;
    RulePeriodAt(tz, now, &g_switch.from, &g_switch.to);
}
