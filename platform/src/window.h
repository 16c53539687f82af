// The process's windows and window classes, as the platform's message code
// reaches them. One lock guards both tables; window procedures are always
// called outside it.
#ifndef VPLATFORM_WINDOW_H
#define VPLATFORM_WINDOW_H

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "msgqueue.h"
#include "windowdirectory.h"
#include "winuser.h"

namespace vplat {

struct WindowClass {
    std::u16string name;
    HINSTANCE instance = nullptr;
    WNDPROC proc = nullptr;
    UINT style = 0;
    ATOM atom = 0;
};

struct Window {
    std::shared_ptr<ThreadQueue> queue;  // the owner thread's
    DWORD threadId = 0;
    DWORD processId = 0;
    HWND parent = nullptr;
    HINSTANCE instance = nullptr;
    ATOM classAtom = 0;
    std::u16string className;
    std::u16string text;
    WNDPROC proc = nullptr;
    LONG userData = 0;
    bool destroying = false;  // WM_DESTROY is under way
};

struct WindowState {
    std::mutex lock;
    std::map<HWND, Window> windows;  // window handles grow, so this is creation order
    std::vector<WindowClass> classes;
};

WindowState &Windows();

// The owner queue of a window; null when hwnd is no window.
std::shared_ptr<ThreadQueue> WindowQueue(HWND hwnd);
// Posts to the window's owner queue while the window surely exists, so
// that nothing posted after DestroyWindow dropped the window's messages
// is left behind. False when hwnd is no window or its thread has ended.
bool WindowPost(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
// Calls the window's procedure on the calling thread; 0 when hwnd is no
// window.
LRESULT WindowCallProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
// The top-level windows of this process, oldest first.
std::vector<HWND> WindowsTopLevel();
// The windows whose handles carry process number, for the device's
// window directory, oldest first.
std::vector<DirectoryWindow> WindowsListed(uint32_t number);
// The thread ended: its windows are gone, without messages (the thread can
// no longer run their procedures).
void WindowsForgetThread(DWORD threadId);
// A class name argument: a name, or an atom in the pointer's low word.
bool IsClassAtom(LPCWSTR name);
// Under the lock: the class of that name or atom registered by instance,
// else (anyInstance) by any module; null when there is none.
WindowClass *FindClassLocked(WindowState &state, LPCWSTR name, HINSTANCE instance, bool anyInstance);

}  // namespace vplat

#endif
