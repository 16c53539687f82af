// Where a module named by its device name lives on the host. A bare name
// ("QvRes.dll") stands for "\Windows\<name>"; a name without an extension
// gets ".dll". The library is the device file itself when the device holds
// it (an installer copies libraries in under their device names), else the
// project's built "lib<Name>.so" (Name without ".dll", ".cpl" or ".exe",
// matched case-insensitively) in the module folders: those of
// VANTREL_MODULE_PATH when it is set, else the folder of the platform
// library, where the build puts every library.
#ifndef VPLATFORM_MODULEPATH_H
#define VPLATFORM_MODULEPATH_H

#include <string>

#include "winmodule.h"

namespace vplat {

struct ModuleName {
    std::u16string devicePath;  // normalised: "\Windows\QvRes.dll"
    std::u16string key;         // devicePath upper-cased: one per device file
    std::string hostPath;       // the library to load; empty when none was found
};

// Names the module and looks for its library. Returns 0 (hostPath may still
// be empty) or the error of a name the device cannot hold.
DWORD ResolveModuleName(LPCWSTR name, ModuleName *module);

// The running program's device path.
std::u16string ProgramDevicePath();

}  // namespace vplat

#endif
