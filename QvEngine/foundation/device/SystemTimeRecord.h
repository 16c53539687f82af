// Shared steps of the date-time utilities: a date-time record as a
// SYSTEMTIME and back, and a FILETIME as one 64-bit count.
#ifndef QV_SYSTEMTIMERECORD_H
#define QV_SYSTEMTIMERECORD_H

#include <cstdint>
#include <ctime>

#include "DErrorCode.h"
#include "wintime.h"

// False when a field does not fit its SYSTEMTIME field (a negative month,
// a year past 65535 ...); milliseconds 0.
bool TimeRecordToSystemTime(const struct tm &t, SYSTEMTIME *out);
// The seven fields of the record; the others 0.
void SystemTimeToTimeRecord(const SYSTEMTIME &st, struct tm *out);

inline uint64_t FileTimeValue(const FILETIME &ft) { return uint64_t(ft.dwHighDateTime) << 32 | ft.dwLowDateTime; }
inline FILETIME FileTimeFromValue(uint64_t value) {
    FILETIME ft;
    ft.dwLowDateTime = DWORD(value);
    ft.dwHighDateTime = DWORD(value >> 32);
    return ft;
}

// The platform's last error after a failed call (ERROR_INVALID_PARAMETER
// when it left none).
DErrorCode LastPlatformError();

#endif
