// The device's handle table: every kernel object a platform call hands out
// (files now; threads, events and others later) sits behind a HANDLE that
// CloseHandle releases. Safe to use from any thread.
#ifndef VPLATFORM_HANDLES_H
#define VPLATFORM_HANDLES_H

#include <memory>

#include "wintypes.h"

namespace vplat {

// Base of every object behind a handle. Close runs once, when its handle is
// closed; the object itself lives on while a call still holds it.
class KernelObject {
public:
    virtual ~KernelObject() = default;
    virtual void Close() {}
};

// Adds an object and returns its new handle (never null, never
// INVALID_HANDLE_VALUE); handle values are not reused while the process runs.
HANDLE HandleInsert(std::shared_ptr<KernelObject> object);
// The object behind a handle, or null.
std::shared_ptr<KernelObject> HandleLookup(HANDLE handle);
// Removes the handle and closes its object; false when the handle is unknown.
bool HandleClose(HANDLE handle);

template <class T>
std::shared_ptr<T> HandleGet(HANDLE handle) {
    return std::dynamic_pointer_cast<T>(HandleLookup(handle));
}

}  // namespace vplat

#endif
