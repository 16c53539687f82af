#include "DWinMobActiveTaskManagerDriver.h"

#include <new>

#include "winthread.h"

DWinMobActiveTaskManagerDriver::DWinMobActiveTaskManagerDriver(HWND window, UINT messageId)
    : m_manager(nullptr), m_ready(false), m_posted(false), m_window(window), m_messageId(messageId), m_ownerThread(0) {
    vplat::EnsureThreadQueue();
    m_ownerThread = GetCurrentThreadId();
    m_manager = new (std::nothrow) DActiveTaskManager(this);
}

DWinMobActiveTaskManagerDriver::~DWinMobActiveTaskManagerDriver() { delete m_manager; }

void DWinMobActiveTaskManagerDriver::NoTaskReady() {
    m_ready = false;
    m_posted = false;
}

void DWinMobActiveTaskManagerDriver::TaskReady(int) {
    m_ready = true;
    if (m_posted) return;
    m_posted = true;
    if (m_window != nullptr) PostMessageW(m_window, m_messageId, 0, 0);
}

DErrorCode DWinMobActiveTaskManagerDriver::RunNextTask() {
    if (m_manager == nullptr) return generalErrMemoryError;
    return m_manager->RunNextTask();
}
