// DActiveTask: one cooperative task of the engine. A task never blocks its
// thread: it advances by one short step (RunTask) each time its manager picks
// it. Attached to a manager it waits until activated; an active task runs
// once its signal record is set. A turn moves the picked task back to waiting
// before its step, so a step that wants another turn activates the task again.
//
// DActiveTaskSignal: the completion record embedded in every task. Whoever
// finishes work for the task (a store, a transfer, a timer) calls Signal(code)
// with its result, which makes the task runnable. Tasks and their manager
// belong to one thread (the manager's owner thread); a Signal made on another
// thread is carried to that thread through its queue and applied there, and
// is dropped if the task is destroyed meanwhile, or deactivated (Deactivate:
// the work it waited for was given up), so that it never completes a later
// activation. A turn's own move to waiting gives nothing up: a signal made
// before the step that activates the task again still counts.
#ifndef QV_DACTIVETASK_H
#define QV_DACTIVETASK_H

#include <atomic>
#include <cstdint>
#include <memory>

#include "DErrorCode.h"
#include "wintypes.h"

class DActiveTask;
class DActiveTaskManager;

// Priorities run from 0 to 5; 5 is the highest.
constexpr int kActiveTaskPriorityCount = 6;
constexpr int kActiveTaskHighestPriority = 5;
// The priority of every task of the engine library.
constexpr int kActiveTaskDefaultPriority = 3;

class DActiveTaskSignal {
public:
    explicit DActiveTaskSignal(DActiveTask *owner);
    DActiveTaskSignal(const DActiveTaskSignal &) = delete;
    DActiveTaskSignal &operator=(const DActiveTaskSignal &) = delete;

    // Ready := 1 and the code stored; an attached owner tells its manager's
    // driver that work is ready. Safe from any thread.
    void Signal(DErrorCode code);

    bool IsReady() const { return m_ready != 0; }
    DErrorCode GetCode() const { return m_code; }
    DActiveTask *GetOwner() const { return m_owner; }

private:
    friend class DActiveTask;

    // Signal on the owner's thread.
    void Apply(DErrorCode code);
    void Clear() {
        m_ready = 0;
        m_code = 0;
    }

    uint8_t m_ready;
    DErrorCode m_code;
    DActiveTask *m_owner;
};

class DActiveTask {
public:
    // A priority outside 0 to 5 is brought to the nearest one.
    explicit DActiveTask(int priority);
    DActiveTask(const DActiveTask &) = delete;
    DActiveTask &operator=(const DActiveTask &) = delete;
    // Detaches the task from its manager.
    virtual ~DActiveTask();
    // One step.
    virtual DErrorCode RunTask() = 0;
    // Drops per-run state; called when the task is deactivated.
    virtual void CancelTask() = 0;

    // Clears the signal and moves the task to its ready list, where it waits
    // for its signal. activeTaskErrAlreadyActive when it is active or has no
    // manager.
    DErrorCode Activate();
    // Activate, then signal with 0: the task runs at the next turn. Nothing is
    // signalled when Activate fails.
    DErrorCode ActivateAndSignal();
    // Back to waiting, then CancelTask; signals still being carried from
    // other threads are dropped. 0 when the task was not active.
    DErrorCode Deactivate();

    DActiveTaskSignal *GetSignal() { return &m_signal; }
    int GetPriority() const { return m_priority; }
    bool IsActive() const { return m_active; }
    DActiveTaskManager *GetManager() const { return m_manager; }
    // The thread that signals are carried to: the manager's owner thread
    // once attached, before that the thread that made the task.
    DWORD GetHomeThread() const { return m_homeThread.load(); }

protected:
    DActiveTaskSignal m_signal;

private:
    friend class DActiveTaskManager;
    friend class DActiveTaskSignal;

    int m_priority;
    bool m_active;
    DActiveTaskManager *m_manager;
    DActiveTask *m_next;
    DActiveTask *m_prev;
    std::atomic<DWORD> m_homeThread;
    // Signals carried from other threads hold a weak copy and apply only
    // while the task still exists.
    std::shared_ptr<int> m_alive;
    // Counts deactivations; a carried signal applies only while the count
    // is the one it was made under. Read by signalling threads.
    std::atomic<uint32_t> m_generation;
};

#endif
