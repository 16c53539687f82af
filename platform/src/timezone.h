// The device's time zone as the platform's own code reads it, and the rule
// that tells standard from daylight time.
//
// Daylight time starts at DaylightDate read as local standard time
// (universal = DaylightDate + Bias + StandardBias) and ends at StandardDate
// read as local daylight time (universal = StandardDate + Bias +
// DaylightBias), so each transition is the instant the wall clock shows.
#ifndef VPLATFORM_TIMEZONE_H
#define VPLATFORM_TIMEZONE_H

#include <cstdint>

#include "wintime.h"

namespace vplat {

// The zone kept in the device's registry (all zero, UTC without daylight
// time, when none is kept). 0 or the registry's error number; on an error
// *tz is still UTC.
DWORD ReadDeviceTimeZone(TIME_ZONE_INFORMATION *tz);
// As above, taking UTC on any error.
void ReadDeviceTimeZoneOrUtc(TIME_ZONE_INFORMATION *tz);
// TIME_ZONE_ID_UNKNOWN (no daylight rule, or one that cannot be read),
// TIME_ZONE_ID_STANDARD or TIME_ZONE_ID_DAYLIGHT at a universal time
// (milliseconds since 1970).
DWORD TimeZoneIdAt(const TIME_ZONE_INFORMATION &tz, int64_t utcMs);
// Minutes that local time lies behind universal time at that instant.
int64_t TimeZoneBiasAt(const TIME_ZONE_INFORMATION &tz, int64_t utcMs);
// The same for the device's own clock: the zone's rules, unless
// SetDaylightTime switched this process's device to the other state for
// the zone and the rule period that hold at utcMs.
DWORD DeviceZoneIdAt(const TIME_ZONE_INFORMATION &tz, int64_t utcMs);
int64_t DeviceBiasAt(const TIME_ZONE_INFORMATION &tz, int64_t utcMs);

}  // namespace vplat

#endif
