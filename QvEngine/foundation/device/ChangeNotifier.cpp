#include "ChangeNotifier.h"

#include <atomic>

#include "winerror.h"
#include "winuser.h"

namespace {

std::atomic<UINT> g_changeMessage{0};

DErrorCode LastErrorOr(DWORD fallback) {
    const DWORD err = GetLastError();
    return err != ERROR_SUCCESS ? err : fallback;
}

DErrorCode Broadcast(WPARAM wParam) {
    if (g_changeMessage.load() == 0) {
        if (DErrorCode err = RegisterChangeNotifierMessage()) return err;
    }
    if (!PostMessageW(HWND_BROADCAST, g_changeMessage.load(), wParam, 0)) return LastErrorOr(ERROR_GEN_FAILURE);
    return kNoError;
}

}  // namespace

DErrorCode RegisterChangeNotifierMessage() {
    const UINT id = RegisterWindowMessageW(u"brwNotifierChangeMessage");
    if (id == 0) return LastErrorOr(ERROR_GEN_FAILURE);
    g_changeMessage.store(id);
    return kNoError;
}

DErrorCode BroadcastChangeNotifierBegin() { return Broadcast(0); }

DErrorCode BroadcastChangeNotifierEnd() { return Broadcast(WPARAM(0xFFFFFFFFu)); }
