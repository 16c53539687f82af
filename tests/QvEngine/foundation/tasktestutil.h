// Helpers shared by the task, pump and timer tests: a task that logs its
// steps, a pass over the thread's queue, and a window whose procedure the
// test sets.
#ifndef VTEST_TASKTESTUTIL_H
#define VTEST_TASKTESTUTIL_H

#include <functional>
#include <string>

#include "DActiveTask.h"
#include "winuser.h"

// Logs its name on each step; asks for `again` more steps, each by
// activating and signalling itself, then returns `result`.
class LoggingTask : public DActiveTask {
public:
    LoggingTask(int priority, char name, std::string *log, int again, DErrorCode result = kNoError)
        : DActiveTask(priority), m_name(name), m_log(log), m_again(again), m_result(result) {}

    DErrorCode RunTask() override {
        if (m_log != nullptr) *m_log += m_name;
        ++runs;
        lastCode = m_signal.GetCode();
        if (onStep) onStep();
        if (m_again > 0) {
            --m_again;
            ActivateAndSignal();
        }
        return m_result;
    }
    void CancelTask() override { ++cancels; }

    int runs = 0;
    int cancels = 0;
    DErrorCode lastCode = 0;
    std::function<void()> onStep;

private:
    char m_name;
    std::string *m_log;
    int m_again;
    DErrorCode m_result;
};

// Handles every message waiting in the thread's queue (and due timers).
inline void PumpPending() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

// A top-level window of this thread whose messages go to `handler`
// (messages it leaves, by answering false, go to DefWindowProcW).
class TestWindow {
public:
    typedef std::function<bool(UINT message, WPARAM wParam, LPARAM lParam)> Handler;

    explicit TestWindow(Handler handler) : m_handler(std::move(handler)) {
        WNDCLASSW wc = {};
        wc.lpfnWndProc = &Proc;
        wc.lpszClassName = u"VantrelTaskTestWindow";
        RegisterClassW(&wc);  // already there after the first test
        s_current = this;
        m_window = CreateWindowExW(0, u"VantrelTaskTestWindow", u"", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr,
                                   nullptr);
    }
    ~TestWindow() {
        if (m_window != nullptr) DestroyWindow(m_window);
        s_current = nullptr;
    }
    HWND Get() const { return m_window; }

private:
    static LRESULT Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        if (s_current != nullptr && s_current->m_handler && s_current->m_handler(message, wParam, lParam)) return 0;
        return DefWindowProcW(window, message, wParam, lParam);
    }

    static inline TestWindow *s_current = nullptr;
    Handler m_handler;
    HWND m_window = nullptr;
};

#endif
