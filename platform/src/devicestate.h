// The process's open device, as the platform's own calls reach it. Every
// platform call that touches the device asks here for its root; the first
// such call opens the default device when the program opened none.
#ifndef VPLATFORM_DEVICESTATE_H
#define VPLATFORM_DEVICESTATE_H

#include <string>

namespace vplat {

// The absolute host path of the open device's root, opening the default
// device when none is open. False (last error set) when none can be opened.
bool DeviceCurrentRoot(std::string *root);
// The open device's root; false, opening nothing, while none is open.
bool DeviceRootIfOpen(std::string *root);

}  // namespace vplat

#endif
