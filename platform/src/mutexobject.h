// Mutexes (CreateMutexW): owned by one thread at a time, recursively. A
// named mutex is one lock for every process of the device: in a process,
// every handle of one name shares one state; across processes, the owning
// process holds a lock byte of the device's run/mutexes file, which the
// host releases when that process ends (a killed owner never blocks the
// device). Waits go through WaitForSingleObject.
#ifndef VPLATFORM_MUTEXOBJECT_H
#define VPLATFORM_MUTEXOBJECT_H

#include <memory>

#include "handles.h"

namespace vplat {

class MutexState;

class MutexObject : public KernelObject {
public:
    explicit MutexObject(std::shared_ptr<MutexState> state) : m_state(std::move(state)) {}
    // True once the calling thread owns the mutex, false when timeoutMs of
    // real time passed first (INFINITE: no limit).
    bool Acquire(DWORD timeoutMs);
    // False when the calling thread does not own it.
    bool Release();

private:
    std::shared_ptr<MutexState> m_state;
};

}  // namespace vplat

#endif
