// The device: a directory that holds everything the handheld would keep
// (fs/ for its file system, registry and stores, run/ for per-boot state).
// Every program and test opens it through DeviceOpen; platform calls made
// before that open the device named by the environment.
#ifndef VPLATFORM_DEVICE_H
#define VPLATFORM_DEVICE_H

#include <string>

#include "wintypes.h"

// The environment variable that names the device root.
#define VANTREL_DEVICE_ENV "VANTREL_DEVICE_ROOT"

extern "C" {
// Opens (creating where missing) the device at rootPath; a null rootPath
// takes the environment variable, else "$XDG_DATA_HOME/vantrel/device"
// (~/.local/share/vantrel/device). The environment variable is set to the
// opened root so that programs started from here share the device.
PLATAPI BOOL DeviceOpen(const char *rootPath);
// Forgets the open device (its handles must be closed first).
PLATAPI void DeviceClose(void);
// The host path of the open device's root, opening the default device first
// when none is open. Empty when no device can be opened.
PLATAPI const char *DeviceRootPath(void);
}

namespace vplat {
// Maps a device path to its host path under fs/, resolving each existing
// component case-insensitively; components that do not exist keep the
// spelling given. Returns false for a name the device cannot hold.
PLATAPI bool DeviceMapPath(LPCWSTR devicePath, std::string *hostPath);
// UTF-8 form of a UTF-16 text and back (for the platform's host calls).
PLATAPI std::string Utf16ToUtf8(LPCWSTR text);
PLATAPI std::u16string Utf8ToUtf16(const std::string &text);
}  // namespace vplat

#endif
