#include "DActiveTaskPump.h"

#include <utility>

#include "DWinMobActiveTaskManagerDriver.h"
#include "winuser.h"

DActiveTaskPump::DActiveTaskPump(DWinMobActiveTaskManagerDriver *driver, IdleHandler idle)
    : m_driver(driver), m_idle(std::move(idle)) {}

DErrorCode DActiveTaskPump::Run(bool *outQuit) {
    if (outQuit != nullptr) *outQuit = false;
    if (m_driver == nullptr) return generalErrNULLPointer;
    for (;;) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                PostQuitMessage(static_cast<int>(msg.wParam));
                if (outQuit != nullptr) *outQuit = true;
                return kNoError;
            }
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        if (m_idle) {
            for (long count = 0; m_idle(count); ++count) {
            }
        }
        if (!m_driver->IsPosted()) return kNoError;
        // A failed step is the task's to report; the next turn that finds
        // nothing ready clears the driver's flags.
        m_driver->RunNextTask();
    }
}
