// DWinMobActiveTaskManagerDriver: drives a task manager from a window's
// message loop. It creates and owns the manager. When work becomes ready it
// posts its message (messageId, 0, 0) to the window once; further ready
// notices post nothing until the manager says no task is ready. The owner's
// handler of that message runs turns (RunNextTask) while IsPosted() holds.
//
// The thread that makes the driver is the owner thread: it gets its queue
// here, so that work finished on other threads can be carried to it.
#ifndef QV_DWINMOBACTIVETASKMANAGERDRIVER_H
#define QV_DWINMOBACTIVETASKMANAGERDRIVER_H

#include "DActiveTaskManager.h"
#include "DErrorCode.h"
#include "IActiveTaskManagerDriver.h"
#include "winuser.h"

class DWinMobActiveTaskManagerDriver : public IActiveTaskManagerDriver {
public:
    // window may be null: the flags still say when work is ready.
    DWinMobActiveTaskManagerDriver(HWND window, UINT messageId);
    DWinMobActiveTaskManagerDriver(const DWinMobActiveTaskManagerDriver &) = delete;
    DWinMobActiveTaskManagerDriver &operator=(const DWinMobActiveTaskManagerDriver &) = delete;

    // Clears both flags.
    void NoTaskReady() override;
    // Sets the ready flag; posts the message unless one is posted already.
    void TaskReady(int priority) override;
    // Deletes the manager.
    ~DWinMobActiveTaskManagerDriver() override;
    // One turn of the manager.
    virtual DErrorCode RunNextTask();

    DActiveTaskManager *GetTaskManager() const { return m_manager; }
    bool IsReady() const { return m_ready; }
    bool IsPosted() const { return m_posted; }
    HWND GetWindow() const { return m_window; }
    UINT GetMessageId() const { return m_messageId; }
    DWORD GetOwnerThread() const { return m_ownerThread; }

private:
    DActiveTaskManager *m_manager;
    bool m_ready;
    bool m_posted;
    HWND m_window;
    UINT m_messageId;
    DWORD m_ownerThread;
};

#endif
