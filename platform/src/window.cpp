// Creating and destroying windows. A window belongs to the thread that
// created it: only that thread runs its procedure and may destroy it.
//
// Window handles are unique on the device: they carry the process's number
// in the device's window directory (number << 34 | serial << 2), which no
// other process of the device gets, so that the process owning any window
// can be told from its handle alone.
#include <pthread.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>

#include "crossprocess.h"
#include "window.h"
#include "winerror.h"
#include "winthread.h"

namespace vplat {
namespace {

static_assert(sizeof(HWND) == 8, "window handles carry the process number in their high bits");

HWND NewWindowHandle() {
    static std::atomic<uint64_t> serial{0};
    uint64_t n = (++serial) & ((uint64_t(1) << (kProcessNumberShift - 2)) - 1);
    return reinterpret_cast<HWND>((uint64_t(OwnProcessNumber()) << kProcessNumberShift) | (n << 2));
}

// A fork's child owns none of its parent's windows: it starts with none
// (the parent's are left behind, never torn down here).
void BeforeFork() { Windows().lock.lock(); }
void AfterForkParent() { Windows().lock.unlock(); }
std::map<HWND, Window> *g_parentWindows = nullptr;  // kept reachable, never used
void AfterForkChild() {
    WindowState &state = Windows();
    g_parentWindows = new std::map<HWND, Window>;
    g_parentWindows->swap(state.windows);
    state.lock.unlock();
}
[[maybe_unused]] const int g_forkHandlers = pthread_atfork(BeforeFork, AfterForkParent, AfterForkChild);

// Sends WM_DESTROY and forgets the window, its children first having gone
// the same way.
void Destroy(HWND hwnd) {
    WindowCallProc(hwnd, WM_DESTROY, 0, 0);
    std::vector<HWND> children;
    std::shared_ptr<ThreadQueue> queue;
    {
        WindowState &state = Windows();
        std::lock_guard<std::mutex> guard(state.lock);
        for (auto &entry : state.windows) {
            if (entry.second.parent != hwnd) continue;
            if (entry.second.threadId == GetCurrentThreadId()) {
                children.push_back(entry.first);
            } else {
                entry.second.parent = nullptr;  // another thread's window outlives its parent
            }
        }
    }
    for (HWND child : children) DestroyWindow(child);
    {
        WindowState &state = Windows();
        std::lock_guard<std::mutex> guard(state.lock);
        auto it = state.windows.find(hwnd);
        if (it == state.windows.end()) return;
        queue = it->second.queue;
        state.windows.erase(it);
    }
    // Posted after the window went, nothing more reaches it.
    queue->KillWindowTimers(hwnd);
    queue->DropPostedFor(hwnd);
    PublishWindows();
}

}  // namespace

WindowState &Windows() {
    static WindowState *state = new WindowState;  // outlives static destructors
    return *state;
}

std::shared_ptr<ThreadQueue> WindowQueue(HWND hwnd) {
    WindowState &state = Windows();
    std::lock_guard<std::mutex> guard(state.lock);
    auto it = state.windows.find(hwnd);
    return it == state.windows.end() ? nullptr : it->second.queue;
}

bool WindowPost(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    WindowState &state = Windows();
    std::lock_guard<std::mutex> guard(state.lock);
    auto it = state.windows.find(hwnd);
    return it != state.windows.end() && it->second.queue->EnqueuePosted(hwnd, message, wParam, lParam);
}

LRESULT WindowCallProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    WNDPROC proc;
    {
        WindowState &state = Windows();
        std::lock_guard<std::mutex> guard(state.lock);
        auto it = state.windows.find(hwnd);
        if (it == state.windows.end()) return 0;
        proc = it->second.proc;
    }
    return proc != nullptr ? proc(hwnd, message, wParam, lParam) : DefWindowProcW(hwnd, message, wParam, lParam);
}

std::vector<HWND> WindowsTopLevel() {
    std::vector<HWND> result;
    WindowState &state = Windows();
    std::lock_guard<std::mutex> guard(state.lock);
    for (const auto &entry : state.windows) {
        if (entry.second.parent == nullptr) result.push_back(entry.first);
    }
    return result;
}

std::vector<DirectoryWindow> WindowsListed(uint32_t number) {
    std::vector<DirectoryWindow> result;
    WindowState &state = Windows();
    std::lock_guard<std::mutex> guard(state.lock);
    for (const auto &entry : state.windows) {
        if (HandleProcessNumber(entry.first) != number) continue;  // made on another device
        DirectoryWindow w;
        w.hwnd = entry.first;
        w.parent = entry.second.parent;
        w.threadId = entry.second.threadId;
        w.className = entry.second.className;
        w.title = entry.second.text;
        result.push_back(std::move(w));
    }
    return result;
}

void WindowsForgetThread(DWORD threadId) {
    bool forgot = false;
    {
        WindowState &state = Windows();
        std::lock_guard<std::mutex> guard(state.lock);
        for (auto it = state.windows.begin(); it != state.windows.end();) {
            if (it->second.threadId == threadId) {
                it = state.windows.erase(it);
                forgot = true;
            } else {
                ++it;
            }
        }
    }
    if (forgot) PublishWindows();
}

}  // namespace vplat

extern "C" PLATAPI HWND CreateWindowExW(DWORD dwExStyle, LPCWSTR lpClassName, LPCWSTR lpWindowName, DWORD dwStyle,
                                        int X, int Y, int nWidth, int nHeight, HWND hWndParent, HMENU hMenu,
                                        HINSTANCE hInstance, LPVOID lpParam) {
    std::shared_ptr<vplat::ThreadQueue> queue = vplat::CurrentQueue();
    HWND hwnd = vplat::NewWindowHandle();
    {
        vplat::WindowState &state = vplat::Windows();
        std::lock_guard<std::mutex> guard(state.lock);
        vplat::WindowClass *c = vplat::FindClassLocked(state, lpClassName, hInstance, true);
        if (c == nullptr) {
            SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
            return nullptr;
        }
        if (hWndParent != nullptr && state.windows.count(hWndParent) == 0) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return nullptr;
        }
        vplat::Window w;
        w.queue = queue;
        w.threadId = queue->ThreadId();
        w.processId = GetCurrentProcessId();
        w.parent = hWndParent;
        w.instance = hInstance;
        w.classAtom = c->atom;
        w.className = c->name;
        if (lpWindowName != nullptr) w.text = lpWindowName;
        w.proc = c->proc;
        state.windows.emplace(hwnd, std::move(w));
    }
    CREATESTRUCTW cs = {lpParam, hInstance, hMenu, hWndParent, nHeight, nWidth, Y, X,
                        static_cast<LONG>(dwStyle), lpWindowName, lpClassName, dwExStyle};
    if (vplat::WindowCallProc(hwnd, WM_CREATE, 0, reinterpret_cast<LPARAM>(&cs)) == -1) {
        DestroyWindow(hwnd);
        return nullptr;
    }
    if (!IsWindow(hwnd)) return nullptr;  // WM_CREATE destroyed it
    vplat::PublishWindows();
    return hwnd;
}

extern "C" PLATAPI BOOL DestroyWindow(HWND hWnd) {
    {
        vplat::WindowState &state = vplat::Windows();
        std::lock_guard<std::mutex> guard(state.lock);
        auto it = state.windows.find(hWnd);
        if (it == state.windows.end()) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return FALSE;
        }
        if (it->second.threadId != GetCurrentThreadId()) {
            SetLastError(ERROR_ACCESS_DENIED);
            return FALSE;
        }
        if (it->second.destroying) return TRUE;  // asked again from its own WM_DESTROY
        it->second.destroying = true;
    }
    vplat::Destroy(hWnd);
    return TRUE;
}

extern "C" PLATAPI LRESULT DefWindowProcW(HWND hWnd, UINT Msg, WPARAM, LPARAM) {
    if (Msg == WM_CLOSE) DestroyWindow(hWnd);
    return 0;
}

// A window of another process of the device counts while its process lives.
extern "C" PLATAPI BOOL IsWindow(HWND hWnd) {
    {
        vplat::WindowState &state = vplat::Windows();
        std::lock_guard<std::mutex> guard(state.lock);
        if (state.windows.count(hWnd) != 0) return TRUE;
    }
    vplat::DirectoryWindow w;
    DWORD pid = 0;
    return vplat::ForeignWindow(hWnd, &w, &pid) ? TRUE : FALSE;
}
