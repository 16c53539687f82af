// The process's loaded modules as the platform's other module calls reach
// them (the string lookup reads a module's exported table).
#ifndef VPLATFORM_MODULETABLE_H
#define VPLATFORM_MODULETABLE_H

#include "winuser.h"

namespace vplat {

// The address of a symbol that the module itself exports (a null module or
// the program's own handle: the running program's export); *symbol null when
// it exports none. ERROR_INVALID_HANDLE for a module that is not loaded.
DWORD ModuleSymbol(HMODULE module, const char *name, void **symbol);

}  // namespace vplat

#endif
