// Device paths: parsing a path the system gives ("\Program Files\x.log",
// '/' accepted, repeated separators collapsed, relative paths taken from
// "\") and resolving it to a host path under the device's fs/ folder.
// Parsing refuses what the device cannot name, so that no path reaches
// outside fs/; resolving matches each existing component case-insensitively.
#ifndef VPLATFORM_DEVICEPATH_H
#define VPLATFORM_DEVICEPATH_H

#include <string>
#include <vector>

#include "wintypes.h"

namespace vplat {

struct ParsedPath {
    std::string deviceRoot;                   // host path of the device's root
    std::string fsRoot;                       // host path of the device's "\"
    std::vector<std::u16string> components;   // empty for "\" itself
    std::u16string key;                       // upper-cased "\A\B": one per device file
};

// Splits and checks a device path of the open (or default) device.
// Returns 0, ERROR_INVALID_NAME (bad character, "." or ".." component),
// ERROR_FILENAME_EXCED_RANGE (more than MAX_PATH - 1 units) or the error of
// opening the device.
DWORD ParseDevicePath(LPCWSTR devicePath, ParsedPath *parsed);

// ParseDevicePath for a call that names a file or folder: an empty path
// names nothing (ERROR_PATH_NOT_FOUND).
DWORD ParseNamedPath(LPCWSTR devicePath, ParsedPath *parsed);

// Host path of a parsed path: each component that exists is spelled as the
// host spells it (an exact match preferred); the rest keep the given spelling.
std::string ResolveDevicePath(const ParsedPath &parsed);

// The error for a host path that does not exist: ERROR_FILE_NOT_FOUND when
// its parent folder exists, else ERROR_PATH_NOT_FOUND.
DWORD MissingPathError(const std::string &hostPath);

}  // namespace vplat

#endif
