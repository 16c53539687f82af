// Local time of the device. The device has no time zone yet, so local time
// is universal time.
#include "clock.h"

namespace vplat {

int64_t LocalFromUniversalMs(int64_t utcMs) { return utcMs; }

}  // namespace vplat
