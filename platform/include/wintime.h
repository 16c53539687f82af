// The device's clock: milliseconds since start-up and the date and time.
// One clock stands behind GetTickCount, GetSystemTime, GetLocalTime and the
// timers of the message queues; tests replace it with a virtual clock that
// moves only when they advance it.
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

typedef struct _FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
} FILETIME, *LPFILETIME;

extern "C" {
PLATAPI DWORD GetTickCount(void);
// Universal time.
PLATAPI void GetSystemTime(LPSYSTEMTIME lpSystemTime);
// The device's local time (universal time shifted by the device's time
// zone; until the device has one, universal time).
PLATAPI void GetLocalTime(LPSYSTEMTIME lpSystemTime);
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
}  // namespace vplat

#endif
