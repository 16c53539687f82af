// The device's one clock, as the platform's own code reaches it: the real
// clock (the host's monotonic and wall clocks) or, in tests, a virtual clock
// that moves only when told.
#ifndef VPLATFORM_CLOCK_H
#define VPLATFORM_CLOCK_H

#include <cstdint>

#include "wintime.h"

namespace vplat {

// The device's local time for a universal time, both in milliseconds since
// 1970-01-01. Every local time of the platform goes through here, so that
// the device's time zone has one place to plug in.
int64_t LocalFromUniversalMs(int64_t utcMs);

// A count of milliseconds since 1970-01-01 as a calendar date and time.
void SystemTimeFromMs(int64_t ms, SYSTEMTIME *out);

}  // namespace vplat

#endif
