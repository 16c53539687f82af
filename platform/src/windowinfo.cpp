// What a window tells about itself: its owner, its text, its long values;
// and finding windows by class and title. Owner, text and finding reach the
// windows of the device's other processes through its window directory.
//
// A window procedure is a 64-bit pointer and does not fit the 32-bit value
// of GWL_WNDPROC: GetWindowLongW hands out a cookie that stands for the
// procedure, and SetWindowLongW takes back only such cookies, so that a
// procedure read earlier can be put back.
#include <algorithm>
#include <cstdint>

#include "crossprocess.h"
#include "window.h"
#include "winerror.h"
#include "winstr.h"

namespace vplat {
namespace {

constexpr LONG kProcCookieBase = 0x7A000000;
constexpr size_t kProcCookieLimit = 0x100000;

// Procedures that have a cookie, by index; guarded by the window lock.
std::vector<WNDPROC> &ProcCookies() {
    static std::vector<WNDPROC> *procs = new std::vector<WNDPROC>;
    return *procs;
}

// The cookie of proc; 0 when none can be given.
LONG CookieForLocked(WNDPROC proc) {
    std::vector<WNDPROC> &procs = ProcCookies();
    size_t i = 0;
    while (i < procs.size() && procs[i] != proc) ++i;
    if (i == procs.size()) {
        if (i == kProcCookieLimit) return 0;
        procs.push_back(proc);
    }
    return kProcCookieBase + LONG(i * 16);
}

bool ProcForCookieLocked(LONG cookie, WNDPROC *proc) {
    const std::vector<WNDPROC> &procs = ProcCookies();
    int64_t offset = int64_t(cookie) - kProcCookieBase;
    if (offset < 0 || offset % 16 != 0 || size_t(offset / 16) >= procs.size()) return false;
    *proc = procs[size_t(offset / 16)];
    return true;
}

// Null matches any; a class may also be named by its atom.
bool Matches(const Window &w, LPCWSTR className, LPCWSTR title) {
    if (className != nullptr) {
        if (IsClassAtom(className)) {
            if (w.classAtom != ATOM(reinterpret_cast<uintptr_t>(className))) return false;
        } else if (_wcsicmp(w.className.c_str(), className) != 0) {
            return false;
        }
    }
    return title == nullptr || _wcsicmp(w.text.c_str(), title) == 0;
}

// The window behind a handle, with the window table locked by the caller;
// null, with the platform's error, for a handle that names no window.
Window *KnownWindowLocked(WindowState &state, HWND hWnd) {
    auto it = state.windows.find(hWnd);
    if (it == state.windows.end()) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    return &it->second;
}

bool MatchesForeign(const DirectoryWindow &w, LPCWSTR className, LPCWSTR title) {
    if (w.parent != nullptr || (className != nullptr && IsClassAtom(className))) return false;
    if (className != nullptr && _wcsicmp(w.className.c_str(), className) != 0) return false;
    return title == nullptr || _wcsicmp(w.title.c_str(), title) == 0;
}

// A window of this process: its owner thread and process; false when hwnd
// is none of this process's.
bool LocalOwner(HWND hWnd, DWORD *threadId, DWORD *processId) {
    WindowState &state = Windows();
    std::lock_guard<std::mutex> guard(state.lock);
    auto it = state.windows.find(hWnd);
    if (it == state.windows.end()) return false;
    *threadId = it->second.threadId;
    *processId = it->second.processId;
    return true;
}

}  // namespace

PLATAPI bool WindowProcessId(HWND hwnd, DWORD *pid) {
    DWORD threadId = 0;
    if (LocalOwner(hwnd, &threadId, pid)) return true;
    DirectoryWindow w;
    return ForeignWindow(hwnd, &w, pid);
}

}  // namespace vplat

// A window of another process answers its host process id and the owner's
// thread id in that process.
extern "C" PLATAPI DWORD GetWindowThreadProcessId(HWND hWnd, LPDWORD lpdwProcessId) {
    DWORD threadId = 0, processId = 0;
    vplat::DirectoryWindow foreign;
    if (vplat::LocalOwner(hWnd, &threadId, &processId)) {
    } else if (vplat::ForeignWindow(hWnd, &foreign, &processId)) {
        threadId = foreign.threadId;
    } else {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    if (lpdwProcessId != nullptr) *lpdwProcessId = processId;
    return threadId;
}

extern "C" PLATAPI LONG GetWindowLongW(HWND hWnd, int nIndex) {
    vplat::WindowState &state = vplat::Windows();
    std::lock_guard<std::mutex> guard(state.lock);
    vplat::Window *w = vplat::KnownWindowLocked(state, hWnd);
    if (w == nullptr) return 0;
    if (nIndex == GWL_USERDATA) return w->userData;
    if (nIndex == GWL_WNDPROC) {
        LONG cookie = vplat::CookieForLocked(w->proc);
        if (cookie == 0) SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return cookie;
    }
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
}

// Returns the previous value; like the platform, it leaves the last error
// alone on success, so a caller that must tell a previous 0 from a failure
// clears it first.
extern "C" PLATAPI LONG SetWindowLongW(HWND hWnd, int nIndex, LONG dwNewLong) {
    vplat::WindowState &state = vplat::Windows();
    std::lock_guard<std::mutex> guard(state.lock);
    vplat::Window *w = vplat::KnownWindowLocked(state, hWnd);
    if (w == nullptr) return 0;
    if (nIndex == GWL_USERDATA) {
        LONG previous = w->userData;
        w->userData = dwNewLong;
        return previous;
    }
    WNDPROC proc;
    if (nIndex == GWL_WNDPROC && vplat::ProcForCookieLocked(dwNewLong, &proc)) {
        LONG previous = vplat::CookieForLocked(w->proc);
        if (previous == 0) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return 0;
        }
        w->proc = proc;
        return previous;
    }
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
}

extern "C" PLATAPI int GetWindowTextW(HWND hWnd, LPWSTR lpString, int nMaxCount) {
    std::u16string text;
    bool local = false;
    {
        vplat::WindowState &state = vplat::Windows();
        std::lock_guard<std::mutex> guard(state.lock);
        auto it = state.windows.find(hWnd);
        if (it != state.windows.end()) {
            text = it->second.text;
            local = true;
        }
    }
    vplat::DirectoryWindow foreign;
    DWORD pid = 0;
    if (!local) {
        if (!vplat::ForeignWindow(hWnd, &foreign, &pid)) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return 0;
        }
        text = foreign.title;
    }
    if (lpString == nullptr || nMaxCount <= 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    size_t n = std::min(text.size(), size_t(nMaxCount - 1));
    text.copy(lpString, n);
    lpString[n] = 0;
    return int(n);
}

// The newest matching top-level window, as the topmost one would be: this
// process's first, then the newest process's of the device.
extern "C" PLATAPI HWND FindWindowW(LPCWSTR lpClassName, LPCWSTR lpWindowName) {
    {
        vplat::WindowState &state = vplat::Windows();
        std::lock_guard<std::mutex> guard(state.lock);
        for (auto it = state.windows.rbegin(); it != state.windows.rend(); ++it) {
            if (it->second.parent == nullptr && vplat::Matches(it->second, lpClassName, lpWindowName))
                return it->first;
        }
    }
    std::vector<vplat::DirectoryEntry> others = vplat::ForeignProcesses();
    for (auto p = others.rbegin(); p != others.rend(); ++p) {
        for (auto w = p->windows.rbegin(); w != p->windows.rend(); ++w) {
            if (vplat::MatchesForeign(*w, lpClassName, lpWindowName)) return w->hwnd;
        }
    }
    return nullptr;
}

// The windows are listed first and the procedure called after, so that it
// may create, destroy or message windows.
extern "C" PLATAPI BOOL EnumWindows(WNDENUMPROC lpEnumFunc, LPARAM lParam) {
    if (lpEnumFunc == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::vector<HWND> all = vplat::WindowsTopLevel();
    for (const vplat::DirectoryEntry &p : vplat::ForeignProcesses()) {
        for (const vplat::DirectoryWindow &w : p.windows) {
            if (w.parent == nullptr) all.push_back(w.hwnd);
        }
    }
    for (HWND h : all) {
        if (!lpEnumFunc(h, lParam)) return FALSE;
    }
    return TRUE;
}
