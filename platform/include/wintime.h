// The device's clock: milliseconds since start-up and the date and time.
// One clock stands behind GetTickCount, GetSystemTime, GetLocalTime and the
// timers of the message queues; tests replace it with a virtual clock that
// moves only when they advance it. Also the date conversions, the
// device's time zone, which is kept in the device's registry, not taken
// from the host, and conversions under any zone record.
#ifndef VPLATFORM_WINTIME_H
#define VPLATFORM_WINTIME_H

#include <cstdint>

#include "wintypes.h"

typedef struct _SYSTEMTIME {
    WORD wYear;
    WORD wMonth;  // 1 to 12
    WORD wDayOfWeek;  // 0 = Sunday
    WORD wDay;
    WORD wHour;
    WORD wMinute;
    WORD wSecond;
    WORD wMilliseconds;
} SYSTEMTIME, *LPSYSTEMTIME;

// 100-nanosecond intervals since 1601-01-01 00:00.
typedef struct _FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
} FILETIME, *PFILETIME, *LPFILETIME;

// A time zone: local time = UTC - (Bias + StandardBias or DaylightBias)
// minutes. The two dates say when daylight time starts (DaylightDate, in
// local standard time) and ends (StandardDate, in local daylight time);
// wMonth 0 means no daylight time. With wYear 0 a date is a rule: wDay is
// the week of the month (1-4, 5 = the last) of the weekday wDayOfWeek; with
// a year it is that one date.
typedef struct _TIME_ZONE_INFORMATION {
    LONG Bias;
    WCHAR StandardName[32];
    SYSTEMTIME StandardDate;
    LONG StandardBias;
    WCHAR DaylightName[32];
    SYSTEMTIME DaylightDate;
    LONG DaylightBias;
} TIME_ZONE_INFORMATION, *PTIME_ZONE_INFORMATION, *LPTIME_ZONE_INFORMATION;
static_assert(sizeof(TIME_ZONE_INFORMATION) == 172, "the time-zone record is 172 bytes");

#define TIME_ZONE_ID_UNKNOWN 0
#define TIME_ZONE_ID_STANDARD 1
#define TIME_ZONE_ID_DAYLIGHT 2
#define TIME_ZONE_ID_INVALID ((DWORD)0xFFFFFFFF)

extern "C" {
PLATAPI DWORD GetTickCount(void);
// Universal time.
PLATAPI void GetSystemTime(LPSYSTEMTIME lpSystemTime);
// The device's local time: universal time shifted by the device's time
// zone as it stands at that moment.
PLATAPI void GetLocalTime(LPSYSTEMTIME lpSystemTime);

// FALSE with ERROR_INVALID_PARAMETER for a date out of range (years 1601 to
// 30827) or a field out of range (a day past the month's last included);
// the day of the week is ignored.
PLATAPI BOOL SystemTimeToFileTime(const SYSTEMTIME *lpSystemTime, LPFILETIME lpFileTime);
// Fills the day of the week; FALSE with ERROR_INVALID_PARAMETER past
// 0x7FFFFFFFFFFFFFFF.
PLATAPI BOOL FileTimeToSystemTime(const FILETIME *lpFileTime, LPSYSTEMTIME lpSystemTime);
// -1, 0 or 1 as the first time is earlier than, equal to or later than the second.
PLATAPI LONG CompareFileTime(const FILETIME *lpFileTime1, const FILETIME *lpFileTime2);
// Shift by the device's bias as it stands now (standard or daylight), not
// by the bias at the time converted.
PLATAPI BOOL FileTimeToLocalFileTime(const FILETIME *lpFileTime, LPFILETIME lpLocalFileTime);
PLATAPI BOOL LocalFileTimeToFileTime(const FILETIME *lpLocalFileTime, LPFILETIME lpFileTime);
// The device's time zone (UTC without daylight time until one is set) and
// whether it is now in standard or daylight time (TIME_ZONE_ID_UNKNOWN when
// the zone has no daylight time).
PLATAPI DWORD GetTimeZoneInformation(LPTIME_ZONE_INFORMATION lpTimeZoneInformation);
// Keeps the zone in the device's registry; every program of the device
// follows it at once. Drops a switch made by SetDaylightTime.
PLATAPI BOOL SetTimeZoneInformation(const TIME_ZONE_INFORMATION *lpTimeZoneInformation);
// Puts the device in daylight (dst not 0) or standard time now, whatever
// its rules say: GetTimeZoneInformation, GetLocalTime and the two local
// FILETIME shifts follow. The switch stands until the rules' next
// transition, a new zone or the next call; it holds for the calling
// program only, and a zone without daylight time ignores it.
PLATAPI void SetDaylightTime(DWORD dst);
}

namespace vplat {
// Switches the process to a virtual clock that stands at tickCount
// milliseconds since start-up and at utcMs milliseconds since 1970-01-01 UTC,
// and moves only through ClockAdvance.
PLATAPI void ClockUseVirtual(uint64_t tickCount, int64_t utcMs);
// Moves the virtual clock forward; threads waiting for a timer re-check.
PLATAPI void ClockAdvance(uint64_t milliseconds);
// Back to the real clock.
PLATAPI void ClockUseReal(void);
PLATAPI bool ClockIsVirtual(void);
// Milliseconds since start-up, 64-bit (GetTickCount is its low 32 bits).
PLATAPI uint64_t ClockTickCount64(void);
// Milliseconds since 1970-01-01 UTC.
PLATAPI int64_t ClockUtcMs(void);

// Conversions under a given zone record, the device's own zone and state
// playing no part: the zone's rule (a date with wYear 0 every year, a dated
// one in its year only, none without a daylight date) is applied at the
// instant converted. A local time that the daylight start skips or the
// daylight end repeats reads as standard time. False with
// ERROR_INVALID_PARAMETER for a date out of range, in or out.
PLATAPI bool UtcToZoneLocal(const TIME_ZONE_INFORMATION &tz, const FILETIME &utc, FILETIME *local);
PLATAPI bool ZoneLocalToUtc(const TIME_ZONE_INFORMATION &tz, const FILETIME &local, FILETIME *utc);
PLATAPI bool UtcToZoneLocal(const TIME_ZONE_INFORMATION &tz, const SYSTEMTIME &utc, SYSTEMTIME *local);
PLATAPI bool ZoneLocalToUtc(const TIME_ZONE_INFORMATION &tz, const SYSTEMTIME &local, SYSTEMTIME *utc);
}  // namespace vplat

#endif
