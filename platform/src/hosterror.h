// Host (errno) failures as the platform's error numbers.
#ifndef VPLATFORM_HOSTERROR_H
#define VPLATFORM_HOSTERROR_H

#include "wintypes.h"

namespace vplat {

// The platform's error number for a host errno value.
DWORD Win32FromErrno(int err);

}  // namespace vplat

#endif
