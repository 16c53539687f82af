#include "DTimerManagerWin.h"

#include <mutex>
#include <new>
#include <unordered_map>

#include "winthread.h"

namespace {

// Which manager started each live platform timer of the process. Managers
// live on several threads (the application's and a service's), and workers
// start and stop timers, so this table has its own lock; it is never held
// while a callback runs.
struct TimerRoutes {
    std::mutex lock;
    std::unordered_map<UINT_PTR, DTimerManagerWin *> owner;
};

TimerRoutes &Routes() {
    // Never destroyed: timers may be stopped by objects that outlive statics.
    static TimerRoutes *routes = new TimerRoutes;
    return *routes;
}

}  // namespace

DTimerManagerWin::DTimerManagerWin() : m_ownerThread(0), m_alive(std::make_shared<int>(0)) {
    vplat::EnsureThreadQueue();
    m_ownerThread = GetCurrentThreadId();
}

DTimerManagerWin::~DTimerManagerWin() {
    TimerRoutes &routes = Routes();
    std::lock_guard<std::mutex> hold(routes.lock);
    for (auto it = routes.owner.begin(); it != routes.owner.end();) {
        if (it->second == this) {
            KillPlatformTimer(static_cast<uint32_t>(it->first));
            it = routes.owner.erase(it);
        } else {
            ++it;
        }
    }
}

DErrorCode DTimerManagerWin::StartTimer(uint32_t ms, ITimerManagerCallback *callback, void *cookie, uint32_t *outId) {
    if (callback == nullptr) return timerErrInvalidParam;
    return Start(ms, Entry{0, nullptr, callback, cookie}, outId);
}

DErrorCode DTimerManagerWin::StartTimerProc(uint32_t ms, TimerCallbackProc fn, void *cookie, uint32_t *outId) {
    if (fn == nullptr) return timerErrInvalidParam;
    return Start(ms, Entry{0, fn, nullptr, cookie}, outId);
}

DErrorCode DTimerManagerWin::Start(uint32_t ms, const Entry &what, uint32_t *outId) {
    if (outId == nullptr) return timerErrInvalidParam;
    bool owner = OnOwnerThread();
    Entry entry = what;
    TimerRoutes &routes = Routes();
    {
        // Held from the platform's start to the route, so that the owner's
        // timer procedure cannot meet a timer nobody claims yet.
        std::lock_guard<std::mutex> hold(routes.lock);
        UINT_PTR id = owner ? SetTimer(nullptr, 0, ms, &TimerProc)
                            : vplat::SetThreadTimerFor(m_ownerThread, ms, &TimerProc);
        if (id == 0) return timerErrCouldNotStart;
        entry.id = static_cast<uint32_t>(id);
        try {
            routes.owner[id] = this;
            if (owner) m_entries.push_back(entry);
        } catch (const std::bad_alloc &) {
            routes.owner.erase(id);
            KillPlatformTimer(entry.id);
            return timerErrMemoryError;
        }
    }
    if (!owner) {
        // The owner's queue delivers this before the timer can fire: timers
        // come only when the queue is otherwise empty.
        std::weak_ptr<int> alive = m_alive;
        bool posted = vplat::PostThreadCall(m_ownerThread, [alive, this, entry] {
            if (!alive.expired()) AddStartedElsewhere(entry);
        });
        if (!posted) {
            {
                std::lock_guard<std::mutex> hold(routes.lock);
                routes.owner.erase(entry.id);
            }
            KillPlatformTimer(entry.id);
            return timerErrCouldNotStart;
        }
    }
    *outId = entry.id;
    return kNoError;
}

DErrorCode DTimerManagerWin::StopTimer(uint32_t id) {
    bool owner = OnOwnerThread();
    TimerRoutes &routes = Routes();
    {
        std::lock_guard<std::mutex> hold(routes.lock);
        auto it = routes.owner.find(id);
        // Not ours (another manager's, fired, stopped or never started).
        if (it == routes.owner.end() || it->second != this) return kNoError;
        routes.owner.erase(it);
        if (owner) Forget(id);
    }
    KillPlatformTimer(id);
    if (!owner) {
        std::weak_ptr<int> alive = m_alive;
        vplat::PostThreadCall(m_ownerThread, [alive, this, id] {
            if (!alive.expired()) Forget(id);
        });
    }
    return kNoError;
}

DErrorCode DTimerManagerWin::IsTimerActive(uint32_t id, bool *out) {
    if (out == nullptr) return timerErrInvalidParam;
    TimerRoutes &routes = Routes();
    std::lock_guard<std::mutex> hold(routes.lock);
    auto it = routes.owner.find(id);
    *out = it != routes.owner.end() && it->second == this;
    return kNoError;
}

bool DTimerManagerWin::OnOwnerThread() const { return GetCurrentThreadId() == m_ownerThread; }

void DTimerManagerWin::KillPlatformTimer(uint32_t id) const {
    if (OnOwnerThread())
        KillTimer(nullptr, id);
    else
        vplat::KillThreadTimerFor(m_ownerThread, id);
}

void DTimerManagerWin::AddStartedElsewhere(const Entry &entry) {
    TimerRoutes &routes = Routes();
    std::lock_guard<std::mutex> hold(routes.lock);
    auto it = routes.owner.find(entry.id);
    if (it == routes.owner.end() || it->second != this) return;
    try {
        m_entries.push_back(entry);
    } catch (const std::bad_alloc &) {
        routes.owner.erase(it);
        KillPlatformTimer(entry.id);
    }
}

void DTimerManagerWin::Forget(uint32_t id) {
    auto it = Find(id);
    if (it != m_entries.end()) m_entries.erase(it);
}

std::vector<DTimerManagerWin::Entry>::iterator DTimerManagerWin::Find(uint32_t id) {
    for (auto it = m_entries.begin(); it != m_entries.end(); ++it)
        if (it->id == id) return it;
    return m_entries.end();
}

void CALLBACK DTimerManagerWin::TimerProc(HWND, UINT, UINT_PTR id, DWORD) {
    Entry entry{};
    {
        TimerRoutes &routes = Routes();
        std::lock_guard<std::mutex> hold(routes.lock);
        auto it = routes.owner.find(id);
        if (it == routes.owner.end()) {
            // Nobody's timer any more: only killed.
            KillTimer(nullptr, id);
            return;
        }
        // This runs on the manager's owner thread, the only one that touches
        // its list.
        DTimerManagerWin *manager = it->second;
        auto found = manager->Find(static_cast<uint32_t>(id));
        // Started on another thread and not yet in the list: the platform
        // timer keeps running and comes again once the list has it.
        if (found == manager->m_entries.end()) return;
        entry = *found;
        manager->m_entries.erase(found);
        routes.owner.erase(it);
        KillTimer(nullptr, id);
    }
    if (entry.fn != nullptr)
        entry.fn(entry.id, entry.cookie);
    else if (entry.callback != nullptr)
        entry.callback->TimerCallback(entry.id, entry.cookie);
}
