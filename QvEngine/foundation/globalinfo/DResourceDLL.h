// DResourceDLL: holds the resource library "QvRes.dll", which carries the
// numbered texts, from its load until the holder is destroyed.
#ifndef QV_DRESOURCEDLL_H
#define QV_DRESOURCEDLL_H

#include "DErrorCode.h"
#include "winuser.h"

// The resource library could not be loaded (a general code without a name).
constexpr DErrorCode kResourceLibraryLoadError = QvErrorCode(0x00, 0x0C);

class DResourceDLL {
public:
    DResourceDLL() = default;
    // Frees the library when it was loaded.
    virtual ~DResourceDLL();
    DResourceDLL(const DResourceDLL &) = delete;
    DResourceDLL &operator=(const DResourceDLL &) = delete;

    // Loads the library by name unless it is loaded; kResourceLibraryLoadError
    // when it cannot be, so that a later call tries again.
    DErrorCode Load();
    HMODULE GetModule() const { return m_module; }

private:
    HMODULE m_module = nullptr;
};

#endif
