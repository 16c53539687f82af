// What a window tells about itself: its owner, its text, its long values;
// and finding windows by class and title.
//
// A window procedure is a 64-bit pointer and does not fit the 32-bit value
// of GWL_WNDPROC: GetWindowLongW hands out a cookie that stands for the
// procedure, and SetWindowLongW takes back only such cookies, so that a
// procedure read earlier can be put back.
#include <algorithm>
#include <cstdint>

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

}  // namespace
}  // namespace vplat

extern "C" PLATAPI DWORD GetWindowThreadProcessId(HWND hWnd, LPDWORD lpdwProcessId) {
    vplat::WindowState &state = vplat::Windows();
    std::lock_guard<std::mutex> guard(state.lock);
    vplat::Window *w = vplat::KnownWindowLocked(state, hWnd);
    if (w == nullptr) return 0;
    if (lpdwProcessId != nullptr) *lpdwProcessId = w->processId;
    return w->threadId;
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
    vplat::WindowState &state = vplat::Windows();
    std::lock_guard<std::mutex> guard(state.lock);
    vplat::Window *w = vplat::KnownWindowLocked(state, hWnd);
    if (w == nullptr) return 0;
    if (lpString == nullptr || nMaxCount <= 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const std::u16string &text = w->text;
    size_t n = std::min(text.size(), size_t(nMaxCount - 1));
    text.copy(lpString, n);
    lpString[n] = 0;
    return int(n);
}

// The newest matching top-level window, as the topmost one would be.
extern "C" PLATAPI HWND FindWindowW(LPCWSTR lpClassName, LPCWSTR lpWindowName) {
    vplat::WindowState &state = vplat::Windows();
    std::lock_guard<std::mutex> guard(state.lock);
    for (auto it = state.windows.rbegin(); it != state.windows.rend(); ++it) {
        if (it->second.parent == nullptr && vplat::Matches(it->second, lpClassName, lpWindowName)) return it->first;
    }
    return nullptr;
}
