// Another process of the device for the cross-process message tests. It
// opens the device its parent opened (the environment names it), makes one
// top-level window titled argv[1], prints the window's handle on stdout and
// runs its message loop until the window is closed.
//
// Its window keeps count of what came:
//   kSeq (posted)        wParam must be 0, 1, 2 ... in turn
//   kBroadcast (posted)  counted
//   kAsk (sent)          wParam 0: posts taken in order (-1 once one came out
//                        of order); 1: broadcasts; 2: lParam * 2 + 1;
//                        3: the process kills itself before answering
//   kCallBack (sent)     wParam is a window of the caller's: three kNote
//                        posts (lParam 1, 2, 3) and a kDone post go to it,
//                        then kBack is sent to it; answers that answer + 1000
#include <signal.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>

#include "device.h"
#include "windows.h"
#include "WindowPeerMessages.h"

namespace {

WPARAM g_expected = 0;
bool g_disorder = false;
LRESULT g_broadcasts = 0;

LRESULT CALLBACK PeerProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case kSeq:
            if (wParam == g_expected) {
                ++g_expected;
            } else {
                g_disorder = true;
            }
            return 0;
        case kBroadcast:
            ++g_broadcasts;
            return 0;
        case kAsk:
            if (wParam == 0) return g_disorder ? -1 : LRESULT(g_expected);
            if (wParam == 1) return g_broadcasts;
            if (wParam == 2) return lParam * 2 + 1;
            if (wParam == 3) kill(getpid(), SIGKILL);
            return 0;
        case kCallBack: {
            HWND caller = reinterpret_cast<HWND>(wParam);
            for (LPARAM i = 1; i <= 3; ++i) PostMessageW(caller, kNote, 0, i);
            PostMessageW(caller, kDone, 0, 0);
            return SendMessageW(caller, kBack, 0, 0) + 1000;
        }
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

}  // namespace

int main(int argc, char **argv) {
    if (argc != 2 || !DeviceOpen(nullptr)) return 2;
    WNDCLASSW wc = {};
    wc.lpfnWndProc = PeerProc;
    wc.lpszClassName = u"VPeerWindow";
    if (RegisterClassW(&wc) == 0) return 3;
    std::u16string title = vplat::Utf8ToUtf16(argv[1]);
    HWND hwnd = CreateWindowExW(0, u"VPeerWindow", title.c_str(), 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    if (hwnd == nullptr) return 4;
    printf("%llx\n", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(hwnd)));
    fflush(stdout);
    MSG m;
    while (GetMessageW(&m, nullptr, 0, 0) > 0) DispatchMessageW(&m);
    return 0;
}
