// Universal and local time under any zone record (an item's own zone as
// much as the device's), with the zone's rule applied at the instant
// converted. Pure: neither the device's zone nor its daylight switch plays a
// part, so a conversion never disturbs what other code reads meanwhile.
#include "calendar.h"
#include "timezone.h"
#include "winerror.h"
#include "wintime.h"

namespace vplat {
namespace {

constexpr int64_t kMsPerMinute = 60000;
constexpr uint64_t kMaxFileTime = 0x7FFFFFFFFFFFFFFFull;

int64_t TicksOf(const FILETIME &ft) { return int64_t(uint64_t(ft.dwHighDateTime) << 32 | ft.dwLowDateTime); }

bool Invalid() {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
}

// Milliseconds since 1970 of a FILETIME (rounded down: transitions fall on
// whole milliseconds, so the rule answers the same for every tick of one).
int64_t MsOfTicks(int64_t ticks) { return FloorDiv(ticks - kFileTimeOf1970, kTicksPerMs); }

// The universal time of a local one. Read as standard time first; it is
// daylight time only when that reading lands in daylight time and the
// daylight reading does too. In the skipped hour neither reading holds, in
// the repeated hour both do: either way standard time wins.
int64_t UtcMsOfLocal(const TIME_ZONE_INFORMATION &tz, int64_t localMs) {
    const int64_t asStandard = localMs + (int64_t(tz.Bias) + tz.StandardBias) * kMsPerMinute;
    switch (TimeZoneIdAt(tz, asStandard)) {
        case TIME_ZONE_ID_UNKNOWN: return localMs + int64_t(tz.Bias) * kMsPerMinute;
        case TIME_ZONE_ID_STANDARD: return asStandard;
        default: break;
    }
    const int64_t asDaylight = localMs + (int64_t(tz.Bias) + tz.DaylightBias) * kMsPerMinute;
    return TimeZoneIdAt(tz, asDaylight) == TIME_ZONE_ID_DAYLIGHT ? asDaylight : asStandard;
}

// Moves a FILETIME by whole milliseconds, within the FILETIME range.
bool Shift(const FILETIME &in, int64_t byMs, FILETIME *out) {
    const int64_t ticks = TicksOf(in) + byMs * kTicksPerMs;  // no overflow: both far below the int64 range
    if (ticks < 0 || uint64_t(ticks) > kMaxFileTime) return Invalid();
    out->dwLowDateTime = DWORD(uint64_t(ticks));
    out->dwHighDateTime = DWORD(uint64_t(ticks) >> 32);
    return true;
}

}  // namespace

PLATAPI bool UtcToZoneLocal(const TIME_ZONE_INFORMATION &tz, const FILETIME &utc, FILETIME *local) {
    if (local == nullptr || uint64_t(TicksOf(utc)) > kMaxFileTime) return Invalid();
    return Shift(utc, -TimeZoneBiasAt(tz, MsOfTicks(TicksOf(utc))) * kMsPerMinute, local);
}

PLATAPI bool ZoneLocalToUtc(const TIME_ZONE_INFORMATION &tz, const FILETIME &local, FILETIME *utc) {
    if (utc == nullptr || uint64_t(TicksOf(local)) > kMaxFileTime) return Invalid();
    const int64_t localMs = MsOfTicks(TicksOf(local));
    return Shift(local, UtcMsOfLocal(tz, localMs) - localMs, utc);
}

PLATAPI bool UtcToZoneLocal(const TIME_ZONE_INFORMATION &tz, const SYSTEMTIME &utc, SYSTEMTIME *local) {
    if (local == nullptr) return Invalid();
    FILETIME in, out;
    if (!SystemTimeToFileTime(&utc, &in) || !UtcToZoneLocal(tz, in, &out)) return false;
    return FileTimeToSystemTime(&out, local) != FALSE;
}

PLATAPI bool ZoneLocalToUtc(const TIME_ZONE_INFORMATION &tz, const SYSTEMTIME &local, SYSTEMTIME *utc) {
    if (utc == nullptr) return Invalid();
    FILETIME in, out;
    if (!SystemTimeToFileTime(&local, &in) || !ZoneLocalToUtc(tz, in, &out)) return false;
    return FileTimeToSystemTime(&out, utc) != FALSE;
}

}  // namespace vplat
