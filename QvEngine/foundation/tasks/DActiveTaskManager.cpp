#include "DActiveTaskManager.h"

#include "winthread.h"

namespace {
// Picks in a row after which a priority of 2 or more yields once.
constexpr unsigned kTurnLimit = 5;
}  // namespace

DActiveTaskManager::DActiveTaskManager(IActiveTaskManagerDriver *driver)
    : m_driver(driver), m_ready{}, m_waiting(nullptr), m_runCount{}, m_ownerThread(GetCurrentThreadId()), m_turnDepth(0) {}

DActiveTaskManager::~DActiveTaskManager() {
    // The driver may be mid-destruction (it owns this manager): tell it nothing.
    for (DActiveTask *&head : m_ready) DetachAll(head);
    DetachAll(m_waiting);
}

DActiveTask *DActiveTaskManager::PeekNextTask() const {
    DActiveTask *candidate[kActiveTaskPriorityCount] = {};
    for (int p = kActiveTaskHighestPriority; p >= 0; --p) {
        DActiveTask *head = m_ready[p];
        if (head == nullptr) continue;
        DActiveTask *task = head;
        DActiveTask *found = nullptr;
        do {
            if (task->m_signal.IsReady()) {
                found = task;
                break;
            }
            task = task->m_next;
        } while (task != head);
        if (found == nullptr) continue;
        if (m_runCount[p] < kTurnLimit || p <= 1) return found;
        candidate[p] = found;
    }
    for (DActiveTask *task : candidate)
        if (task != nullptr) return task;  // the lowest priority that reached the limit
    return nullptr;
}

DActiveTask *DActiveTaskManager::PickNextTask() {
    DActiveTask *pick = PeekNextTask();
    if (pick != nullptr) {
        int p = pick->m_priority;
        for (int higher = p + 1; higher < kActiveTaskPriorityCount; ++higher) m_runCount[higher] = 0;
        ++m_runCount[p];
    }
    return pick;
}

DErrorCode DActiveTaskManager::AddTask(DActiveTask *task) {
    if (task == nullptr) return generalErrNULLPointer;
    if (task->m_manager != nullptr) return generalErrItemAlreadyExists;
    Append(m_waiting, task);
    task->m_manager = this;
    task->m_active = false;
    task->m_homeThread.store(m_ownerThread);
    return kNoError;
}

DErrorCode DActiveTaskManager::ActivateTask(DActiveTask *task) {
    if (task == nullptr) return generalErrNULLPointer;
    if (task->m_manager != this || task->m_active || !Contains(m_waiting, task)) return activeTaskErrNotFound;
    Unlink(m_waiting, task);
    Append(m_ready[task->m_priority], task);
    task->m_active = true;
    if (task->m_signal.IsReady()) NotifyReady(task->m_priority);
    return kNoError;
}

DErrorCode DActiveTaskManager::DeactivateTask(DActiveTask *task) {
    if (task == nullptr) return generalErrNULLPointer;
    if (task->m_manager != this || !Contains(m_ready[task->m_priority], task)) return activeTaskErrNotFound;
    Unlink(m_ready[task->m_priority], task);
    task->m_active = false;
    PushFront(m_waiting, task);
    if (m_turnDepth == 0 && !AnyReadyTask() && m_driver != nullptr) m_driver->NoTaskReady();
    return kNoError;
}

DErrorCode DActiveTaskManager::RemoveTask(DActiveTask *task) {
    if (task == nullptr) return generalErrNULLPointer;
    if (task->m_manager != this) return activeTaskErrNotFound;
    if (task->m_active) {
        // CancelTask is not called: a task's destructor comes here, when its
        // own part is gone already.
        DErrorCode err = DeactivateTask(task);
        if (err != kNoError) return err;
    }
    if (!Contains(m_waiting, task)) return activeTaskErrNotFound;
    Unlink(m_waiting, task);
    task->m_manager = nullptr;
    return kNoError;
}

DErrorCode DActiveTaskManager::RunNextTask() {
    DActiveTask *task = PickNextTask();
    if (task != nullptr) {
        // The driver keeps its flags through the turn and hears at its end
        // whether work is left: clearing them when the picked task leaves its
        // list would post one more message for each step of a task that runs
        // again, each of them starting another pump inside the running one.
        ++m_turnDepth;
        DErrorCode err = DeactivateTask(task);
        if (err == kNoError) err = task->RunTask();
        --m_turnDepth;
        if (err != kNoError) return err;
    }
    // A look only: the task that runs next is counted when it is picked.
    DActiveTask *next = PeekNextTask();
    if (m_driver != nullptr) {
        if (next != nullptr)
            m_driver->TaskReady(next->m_priority);
        else
            m_driver->NoTaskReady();
    }
    return kNoError;
}

unsigned DActiveTaskManager::GetRunCount(int priority) const {
    if (priority < 0 || priority >= kActiveTaskPriorityCount) return 0;
    return m_runCount[priority];
}

void DActiveTaskManager::NotifyReady(int priority) {
    if (m_driver != nullptr) m_driver->TaskReady(priority);
}

bool DActiveTaskManager::AnyReadyTask() const {
    for (const DActiveTask *head : m_ready)
        if (head != nullptr) return true;
    return false;
}

void DActiveTaskManager::Append(DActiveTask *&head, DActiveTask *task) {
    if (head == nullptr) {
        task->m_next = task;
        task->m_prev = task;
        head = task;
        return;
    }
    DActiveTask *tail = head->m_prev;
    task->m_prev = tail;
    task->m_next = head;
    tail->m_next = task;
    head->m_prev = task;
}

void DActiveTaskManager::PushFront(DActiveTask *&head, DActiveTask *task) {
    Append(head, task);
    head = task;
}

void DActiveTaskManager::Unlink(DActiveTask *&head, DActiveTask *task) {
    if (task->m_next == task) {
        head = nullptr;
    } else {
        task->m_prev->m_next = task->m_next;
        task->m_next->m_prev = task->m_prev;
        if (head == task) head = task->m_next;
    }
    task->m_next = nullptr;
    task->m_prev = nullptr;
}

bool DActiveTaskManager::Contains(const DActiveTask *head, const DActiveTask *task) {
    if (head == nullptr) return false;
    const DActiveTask *walk = head;
    do {
        if (walk == task) return true;
        walk = walk->m_next;
    } while (walk != head);
    return false;
}

void DActiveTaskManager::DetachAll(DActiveTask *&head) {
    while (head != nullptr) {
        DActiveTask *task = head;
        Unlink(head, task);
        task->m_active = false;
        task->m_manager = nullptr;
    }
}
