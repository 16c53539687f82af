// Local time of the device: universal time shifted by the device's time
// zone as it stands at that instant, SetDaylightTime's switch included (UTC
// when the zone cannot be read).
#include "clock.h"
#include "timezone.h"

namespace vplat {

int64_t LocalFromUniversalMs(int64_t utcMs) {
    TIME_ZONE_INFORMATION tz;
    ReadDeviceTimeZoneOrUtc(&tz);
    return utcMs - DeviceBiasAt(tz, utcMs) * 60000;
}

}  // namespace vplat
