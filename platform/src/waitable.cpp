// Waiting on threads, events and mutexes.
#include "waitable.h"

#include <chrono>

#include "mutexobject.h"
#include "winerror.h"
#include "winthread.h"

namespace vplat {

bool WaitableObject::Wait(DWORD timeoutMs) {
    std::unique_lock<std::mutex> guard(m_lock);
    auto signalled = [this] { return IsSignalledLocked(); };
    bool ok;
    if (timeoutMs == INFINITE) {
        m_changed.wait(guard, signalled);
        ok = true;
    } else {
        ok = m_changed.wait_for(guard, std::chrono::milliseconds(timeoutMs), signalled);
    }
    if (ok) OnAcquiredLocked();
    return ok;
}

}  // namespace vplat

extern "C" PLATAPI DWORD WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
    if (auto mutex = vplat::HandleGet<vplat::MutexObject>(hHandle))
        return mutex->Acquire(dwMilliseconds) ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
    auto object = vplat::HandleGet<vplat::WaitableObject>(hHandle);
    if (object == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return WAIT_FAILED;
    }
    return object->Wait(dwMilliseconds) ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
}
