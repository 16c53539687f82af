// Helpers for tests of windows, messages and timers: test windows whose
// messages go to a handler given at creation, and a way to run a test's
// body on a thread of its own (a fresh queue that ends with the thread).
#ifndef VTEST_PLATFORM_MSGTESTUTIL_H
#define VTEST_PLATFORM_MSGTESTUTIL_H

#include <functional>
#include <map>
#include <mutex>
#include <thread>

#include "windows.h"

using WindowHandler = std::function<LRESULT(HWND, UINT, WPARAM, LPARAM)>;

// Handlers of the test windows, by window; guarded for windows of several threads.
struct HandlerTable {
    std::mutex lock;
    std::map<HWND, WindowHandler> handlers;
    static HandlerTable &Get() {
        static HandlerTable table;
        return table;
    }
};

inline LRESULT TestWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    HandlerTable &table = HandlerTable::Get();
    WindowHandler handler;
    {
        std::lock_guard<std::mutex> guard(table.lock);
        if (message == WM_CREATE) {
            auto *cs = reinterpret_cast<CREATESTRUCTW *>(lParam);
            table.handlers[hwnd] = *static_cast<WindowHandler *>(cs->lpCreateParams);
        }
        auto it = table.handlers.find(hwnd);
        if (it != table.handlers.end()) handler = it->second;
        if (message == WM_DESTROY) table.handlers.erase(hwnd);
    }
    return handler ? handler(hwnd, message, wParam, lParam) : DefWindowProcW(hwnd, message, wParam, lParam);
}

inline const char16_t *TestClassName() {
    static bool registered = [] {
        WNDCLASSW wc = {};
        wc.lpfnWndProc = TestWindowProc;
        wc.lpszClassName = u"VTestWindow";
        return RegisterClassW(&wc) != 0;
    }();
    (void)registered;
    return u"VTestWindow";
}

// A window of the calling thread; handler answers its messages (null: the
// default procedure).
inline HWND MakeWindow(WindowHandler handler = nullptr, const char16_t *title = u"", HWND parent = nullptr) {
    if (!handler) handler = [](HWND h, UINT m, WPARAM w, LPARAM l) { return DefWindowProcW(h, m, w, l); };
    return CreateWindowExW(0, TestClassName(), title, 0, 0, 0, 10, 10, parent, nullptr, nullptr, &handler);
}

// Runs body on a new thread and waits for it.
inline void OnNewThread(const std::function<void()> &body) { std::thread(body).join(); }

// Takes and dispatches every message that can be had now; returns how many.
inline int Pump() {
    int n = 0;
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        DispatchMessageW(&msg);
        ++n;
    }
    return n;
}

#endif
