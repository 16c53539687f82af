// DTimerManagerWin: the timer manager over the platform's windowless thread
// timers. Each timer is a platform thread timer of the owner thread (the
// thread that made the manager); when it fires, the owner's loop calls the
// manager's timer procedure, which kills it, forgets it and calls back once.
//
// Several managers may live in one process, on one thread or on several:
// a process-wide table routes each firing to the manager that started the
// timer, and a manager going away takes only its own timers with it.
//
// Start and stop are safe from any thread (a worker restarts its watchdog):
// the platform timer is made or killed at once, so its id is known at once and
// a stopped timer never fires, while the manager's list of timers is updated
// on the owner thread through its queue.
#ifndef QV_DTIMERMANAGERWIN_H
#define QV_DTIMERMANAGERWIN_H

#include <cstdint>
#include <memory>
#include <vector>

#include "ITimerManager.h"
#include "winuser.h"

class DTimerManagerWin : public ITimerManager {
public:
    DTimerManagerWin();
    DTimerManagerWin(const DTimerManagerWin &) = delete;
    DTimerManagerWin &operator=(const DTimerManagerWin &) = delete;

    DErrorCode StartTimer(uint32_t ms, ITimerManagerCallback *callback, void *cookie, uint32_t *outId) override;
    DErrorCode StartTimerProc(uint32_t ms, TimerCallbackProc fn, void *cookie, uint32_t *outId) override;
    DErrorCode StopTimer(uint32_t id) override;
    DErrorCode IsTimerActive(uint32_t id, bool *out) override;
    // Stops every timer of this manager.
    ~DTimerManagerWin() override;

    DWORD GetOwnerThread() const { return m_ownerThread; }

private:
    struct Entry {
        uint32_t id;
        TimerCallbackProc fn;
        ITimerManagerCallback *callback;
        void *cookie;
    };

    DErrorCode Start(uint32_t ms, const Entry &what, uint32_t *outId);
    bool OnOwnerThread() const;
    void KillPlatformTimer(uint32_t id) const;
    // On the owner thread: the list takes a timer started elsewhere, unless
    // it was stopped meanwhile.
    void AddStartedElsewhere(const Entry &entry);
    void Forget(uint32_t id);
    std::vector<Entry>::iterator Find(uint32_t id);

    static void CALLBACK TimerProc(HWND window, UINT message, UINT_PTR id, DWORD time);

    // The timers in start order; touched only on the owner thread.
    std::vector<Entry> m_entries;
    DWORD m_ownerThread;
    // Updates carried to the owner hold a weak copy and apply only while the
    // manager still exists.
    std::shared_ptr<int> m_alive;
};

#endif
