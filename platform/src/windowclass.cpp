// Window classes of the process: a name (case-insensitive) and the module
// that registered it, with the procedure its windows start with. Each class
// gets an atom in 0xC000-0xFFFF that also names it.
#include <cstdint>

#include "window.h"
#include "winerror.h"
#include "winstr.h"

namespace vplat {
namespace {

constexpr ATOM kFirstAtom = 0xC000;

// The lowest atom no class holds; 0 when all are taken.
ATOM FreeAtomLocked(const WindowState &state) {
    for (uint32_t atom = kFirstAtom; atom <= 0xFFFF; ++atom) {
        bool taken = false;
        for (const WindowClass &c : state.classes) taken = taken || c.atom == atom;
        if (!taken) return ATOM(atom);
    }
    return 0;
}

bool SameClass(const WindowClass &c, LPCWSTR name) {
    if (IsClassAtom(name)) return c.atom == ATOM(reinterpret_cast<uintptr_t>(name));
    return _wcsicmp(c.name.c_str(), name) == 0;
}

}  // namespace

bool IsClassAtom(LPCWSTR name) { return reinterpret_cast<uintptr_t>(name) <= 0xFFFF; }

WindowClass *FindClassLocked(WindowState &state, LPCWSTR name, HINSTANCE instance, bool anyInstance) {
    if (name == nullptr) return nullptr;
    WindowClass *other = nullptr;
    for (WindowClass &c : state.classes) {
        if (!SameClass(c, name)) continue;
        if (c.instance == instance) return &c;
        if (other == nullptr) other = &c;
    }
    return anyInstance ? other : nullptr;
}

}  // namespace vplat

extern "C" PLATAPI ATOM RegisterClassW(const WNDCLASSW *lpWndClass) {
    if (lpWndClass == nullptr || vplat::IsClassAtom(lpWndClass->lpszClassName) ||
        lpWndClass->lpszClassName[0] == 0 || lpWndClass->lpfnWndProc == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    vplat::WindowState &state = vplat::Windows();
    std::lock_guard<std::mutex> guard(state.lock);
    if (vplat::FindClassLocked(state, lpWndClass->lpszClassName, lpWndClass->hInstance, false) != nullptr) {
        SetLastError(ERROR_CLASS_ALREADY_EXISTS);
        return 0;
    }
    vplat::WindowClass c;
    c.atom = vplat::FreeAtomLocked(state);
    if (c.atom == 0) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
    c.name = lpWndClass->lpszClassName;
    c.instance = lpWndClass->hInstance;
    c.proc = lpWndClass->lpfnWndProc;
    c.style = lpWndClass->style;
    state.classes.push_back(c);
    return c.atom;
}

extern "C" PLATAPI BOOL UnregisterClassW(LPCWSTR lpClassName, HINSTANCE hInstance) {
    vplat::WindowState &state = vplat::Windows();
    std::lock_guard<std::mutex> guard(state.lock);
    vplat::WindowClass *c = vplat::FindClassLocked(state, lpClassName, hInstance, false);
    if (c == nullptr) {
        SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
        return FALSE;
    }
    for (const auto &entry : state.windows) {
        if (entry.second.classAtom == c->atom) {
            SetLastError(ERROR_CLASS_HAS_WINDOWS);
            return FALSE;
        }
    }
    state.classes.erase(state.classes.begin() + (c - state.classes.data()));
    return TRUE;
}
