// Conversions between dates (SYSTEMTIME) and FILETIME counts, with the
// platform's checks, and the local-time forms of a FILETIME.
#include "calendar.h"
#include "clock.h"
#include "timezone.h"
#include "winerror.h"
#include "wintime.h"

namespace vplat {
namespace {

constexpr uint64_t kMaxFileTime = 0x7FFFFFFFFFFFFFFFull;

uint64_t TicksOf(const FILETIME &ft) { return uint64_t(ft.dwHighDateTime) << 32 | ft.dwLowDateTime; }

void SetTicks(uint64_t ticks, FILETIME *ft) {
    ft->dwLowDateTime = DWORD(ticks);
    ft->dwHighDateTime = DWORD(ticks >> 32);
}

bool ValidSystemTime(const SYSTEMTIME &st) {
    return st.wYear >= 1601 && st.wYear <= 30827 && st.wMonth >= 1 && st.wMonth <= 12 && st.wDay >= 1 &&
           st.wDay <= DaysInMonth(st.wYear, st.wMonth) && st.wHour < 24 && st.wMinute < 60 && st.wSecond < 60 &&
           st.wMilliseconds < 1000;
}

BOOL Invalid() {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
}

// Moves a FILETIME by the device's bias as it stands now (SetDaylightTime's
// switch included); sign +1 turns local into universal time, -1 universal
// into local.
BOOL ShiftByCurrentBias(const FILETIME *in, FILETIME *out, int sign) {
    if (in == nullptr || out == nullptr) return Invalid();
    TIME_ZONE_INFORMATION tz;
    ReadDeviceTimeZoneOrUtc(&tz);
    const int64_t shift = sign * int64_t(DeviceBiasAt(tz, ClockUtcMs())) * 60000 * kTicksPerMs;
    const uint64_t ticks = TicksOf(*in);
    if (ticks > kMaxFileTime) return Invalid();
    const int64_t moved = int64_t(ticks) + shift;  // no overflow: both far below the int64 range
    if (moved < 0 || uint64_t(moved) > kMaxFileTime) return Invalid();
    SetTicks(uint64_t(moved), out);
    return TRUE;
}

}  // namespace
}  // namespace vplat

extern "C" PLATAPI BOOL SystemTimeToFileTime(const SYSTEMTIME *lpSystemTime, LPFILETIME lpFileTime) {
    using namespace vplat;
    if (lpSystemTime == nullptr || lpFileTime == nullptr || !ValidSystemTime(*lpSystemTime)) return Invalid();
    SetTicks(uint64_t(MsFromSystemTime(*lpSystemTime) * kTicksPerMs + kFileTimeOf1970), lpFileTime);
    return TRUE;
}

extern "C" PLATAPI BOOL FileTimeToSystemTime(const FILETIME *lpFileTime, LPSYSTEMTIME lpSystemTime) {
    using namespace vplat;
    if (lpFileTime == nullptr || lpSystemTime == nullptr) return Invalid();
    const uint64_t ticks = TicksOf(*lpFileTime);
    if (ticks > kMaxFileTime) return Invalid();
    const int64_t ms = int64_t(ticks / kTicksPerMs) - kFileTimeOf1970 / kTicksPerMs;
    if (!SystemTimeFromMsChecked(ms, lpSystemTime)) return Invalid();
    return TRUE;
}

extern "C" PLATAPI LONG CompareFileTime(const FILETIME *lpFileTime1, const FILETIME *lpFileTime2) {
    const uint64_t a = vplat::TicksOf(*lpFileTime1), b = vplat::TicksOf(*lpFileTime2);
    return a < b ? -1 : (a > b ? 1 : 0);
}

extern "C" PLATAPI BOOL FileTimeToLocalFileTime(const FILETIME *lpFileTime, LPFILETIME lpLocalFileTime) {
    return vplat::ShiftByCurrentBias(lpFileTime, lpLocalFileTime, -1);
}

extern "C" PLATAPI BOOL LocalFileTimeToFileTime(const FILETIME *lpLocalFileTime, LPFILETIME lpFileTime) {
    return vplat::ShiftByCurrentBias(lpLocalFileTime, lpFileTime, +1);
}
