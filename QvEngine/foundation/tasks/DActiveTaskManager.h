// DActiveTaskManager: keeps the attached tasks, one ready list per priority
// and a waiting list, and runs one step of the next ready task per turn. The
// highest priority with a ready task wins, but a priority of 2 or more that
// has been picked five times in a row lets the ready tasks below it run once,
// so no priority starves. Within a priority the task nearest the head of its
// list wins; lists are appended at the tail.
//
// Everything runs on the owner thread (the thread that made the manager);
// signals from other threads are carried there first (DActiveTaskSignal).
// The manager tells its driver when work becomes ready and when none is left.
#ifndef QV_DACTIVETASKMANAGER_H
#define QV_DACTIVETASKMANAGER_H

#include "DActiveTask.h"
#include "DErrorCode.h"
#include "IActiveTaskManagerDriver.h"

class DActiveTaskManager {
public:
    // driver may be null: then nobody is told of ready work.
    explicit DActiveTaskManager(IActiveTaskManagerDriver *driver);
    DActiveTaskManager(const DActiveTaskManager &) = delete;
    DActiveTaskManager &operator=(const DActiveTaskManager &) = delete;
    // Tasks still attached are detached (they stay alive).
    virtual ~DActiveTaskManager();
    // The task to run next, or null; counts the pick towards fairness.
    virtual DActiveTask *PickNextTask();

    // The task that PickNextTask would pick now, changing nothing.
    DActiveTask *PeekNextTask() const;

    // Appends the task to the waiting list. A task attached anywhere already
    // gives generalErrItemAlreadyExists.
    DErrorCode AddTask(DActiveTask *task);
    // Waiting list -> tail of its ready list; tells the driver when the task
    // is signalled already. activeTaskErrNotFound when it is not waiting here.
    DErrorCode ActivateTask(DActiveTask *task);
    // Ready list -> head of the waiting list; outside a turn, tells the driver
    // when no ready list holds a task any more. activeTaskErrNotFound when not
    // in its list.
    DErrorCode DeactivateTask(DActiveTask *task);
    // Deactivates (without CancelTask) and detaches the task.
    DErrorCode RemoveTask(DActiveTask *task);
    // One turn: pick, move the pick to waiting, run its step, then tell the
    // driver whether another task is ready. The first error is returned at
    // once, and the driver then keeps the flags it had.
    DErrorCode RunNextTask();

    IActiveTaskManagerDriver *GetDriver() const { return m_driver; }
    DWORD GetOwnerThread() const { return m_ownerThread; }
    // Picks counted at a priority since a higher one last ran.
    unsigned GetRunCount(int priority) const;

private:
    friend class DActiveTask;
    friend class DActiveTaskSignal;

    // A signal reached an attached task.
    void NotifyReady(int priority);
    bool AnyReadyTask() const;

    static void Append(DActiveTask *&head, DActiveTask *task);
    static void PushFront(DActiveTask *&head, DActiveTask *task);
    static void Unlink(DActiveTask *&head, DActiveTask *task);
    static bool Contains(const DActiveTask *head, const DActiveTask *task);
    static void DetachAll(DActiveTask *&head);

    IActiveTaskManagerDriver *m_driver;
    DActiveTask *m_ready[kActiveTaskPriorityCount];
    DActiveTask *m_waiting;
    unsigned m_runCount[kActiveTaskPriorityCount];
    DWORD m_ownerThread;
    // Turns under way (a step may run a nested loop that runs turns).
    int m_turnDepth;
};

#endif
