#include "DActiveTask.h"

#include <algorithm>

#include "DActiveTaskManager.h"
#include "winthread.h"
#include "winuser.h"

DActiveTaskSignal::DActiveTaskSignal(DActiveTask *owner) : m_ready(0), m_code(0), m_owner(owner) {}

void DActiveTaskSignal::Signal(DErrorCode code) {
    if (m_owner != nullptr) {
        DWORD home = m_owner->GetHomeThread();
        if (home != 0 && home != GetCurrentThreadId()) {
            // The task's state belongs to its home thread: apply it there,
            // unless the task is gone by then.
            std::weak_ptr<int> alive = m_owner->m_alive;
            DActiveTaskSignal *self = this;
            const uint32_t generation = m_owner->m_generation.load();
            if (vplat::PostThreadCall(home, [alive, self, code, generation] {
                    if (!alive.expired() && self->m_owner->m_generation.load() == generation) self->Apply(code);
                }))
                return;
            // The home thread has no queue: nothing could carry the signal.
        }
    }
    Apply(code);
}

void DActiveTaskSignal::Apply(DErrorCode code) {
    m_ready = 1;
    m_code = code;
    if (m_owner != nullptr && m_owner->m_manager != nullptr) m_owner->m_manager->NotifyReady(m_owner->m_priority);
}

DActiveTask::DActiveTask(int priority)
    : m_signal(this),
      m_priority(std::clamp(priority, 0, kActiveTaskHighestPriority)),
      m_active(false),
      m_manager(nullptr),
      m_next(nullptr),
      m_prev(nullptr),
      m_homeThread(GetCurrentThreadId()),
      m_alive(std::make_shared<int>(0)),
      m_generation(0) {}

DActiveTask::~DActiveTask() {
    if (m_manager != nullptr) m_manager->RemoveTask(this);
}

DErrorCode DActiveTask::Activate() {
    if (m_active || m_manager == nullptr) return activeTaskErrAlreadyActive;
    m_signal.Clear();
    return m_manager->ActivateTask(this);
}

DErrorCode DActiveTask::ActivateAndSignal() {
    DErrorCode err = Activate();
    if (err != kNoError) return err;
    m_signal.m_ready = 1;
    m_signal.m_code = 0;
    m_manager->NotifyReady(m_priority);
    return kNoError;
}

DErrorCode DActiveTask::Deactivate() {
    if (!m_active || m_manager == nullptr) return kNoError;
    DErrorCode err = m_manager->DeactivateTask(this);
    if (err != kNoError) return err;
    // The work of this activation is given up: signals for it still on
    // their way from other threads must not complete a later one.
    ++m_generation;
    CancelTask();
    return kNoError;
}
