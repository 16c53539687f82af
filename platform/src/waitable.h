// Kernel objects that a thread can wait on (threads, events): a signalled
// state under a lock, and a wait that takes it.
#ifndef VPLATFORM_WAITABLE_H
#define VPLATFORM_WAITABLE_H

#include <condition_variable>
#include <mutex>

#include "handles.h"

namespace vplat {

class WaitableObject : public KernelObject {
public:
    // Waits until the object is signalled, up to timeoutMs of real time
    // (INFINITE: no limit). True when it was signalled; the wait then takes
    // the signal (OnAcquiredLocked).
    bool Wait(DWORD timeoutMs);

protected:
    virtual bool IsSignalledLocked() const = 0;
    // A wait was satisfied (an auto-reset event resets here).
    virtual void OnAcquiredLocked() {}
    // Changes the state under the lock and wakes every waiter.
    template <class F>
    void Update(F change) {
        {
            std::lock_guard<std::mutex> guard(m_lock);
            change();
        }
        m_changed.notify_all();
    }

    mutable std::mutex m_lock;

private:
    std::condition_variable m_changed;
};

}  // namespace vplat

#endif
