// Posting and retrieving messages. A retrieval first handles the messages
// sent to the thread's windows, then runs the thread calls queued ahead of
// the first matching posted message (never handing them to the caller),
// then takes that message; only when none is posted does it report WM_QUIT
// (whatever the filter) and after that a due timer as WM_TIMER.
#include "crossprocess.h"
#include "sendmessage.h"
#include "window.h"
#include "winerror.h"
#include "wintime.h"

namespace vplat {
namespace {

// One retrieval; false when nothing matches.
bool Retrieve(ThreadQueue &queue, const MsgFilter &filter, bool remove, MSG *msg) {
    for (;;) {
        HandleSentMessages(queue);
        std::function<void()> call;
        switch (queue.Fetch(filter, remove, msg, &call)) {
            case ThreadQueue::Fetched::Call:
                call();
                break;  // and look again: the call may have changed the queue
            case ThreadQueue::Fetched::Message:
                return true;
            case ThreadQueue::Fetched::None:
                return false;
        }
    }
}

// Checks the arguments GetMessageW and PeekMessageW share.
bool ValidRetrieval(LPMSG msg, HWND hwnd) {
    if (msg == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    if (hwnd != nullptr && !IsWindow(hwnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return false;
    }
    return true;
}

}  // namespace

PLATAPI bool PostThreadCall(DWORD threadId, std::function<void()> fn) {
    if (!fn) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    std::shared_ptr<ThreadQueue> queue = QueueOfThread(threadId);
    if (queue == nullptr || !queue->EnqueueCall(std::move(fn))) {
        SetLastError(ERROR_INVALID_THREAD_ID);
        return false;
    }
    return true;
}

PLATAPI void EnsureThreadQueue(void) { CurrentQueue(); }

}  // namespace vplat

// A null window posts to the calling thread; HWND_BROADCAST posts to every
// top-level window of the device, this process's first. A post to a window
// of another process succeeds once that process has it: should the window
// be gone there, the post is dropped, as it would be here.
extern "C" PLATAPI BOOL PostMessageW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    if (hWnd == nullptr) return vplat::CurrentQueue()->EnqueuePosted(nullptr, Msg, wParam, lParam) ? TRUE : FALSE;
    if (hWnd == HWND_BROADCAST) {
        for (HWND h : vplat::WindowsTopLevel()) vplat::WindowPost(h, Msg, wParam, lParam);
        vplat::ForeignBroadcastPost(Msg, wParam, lParam);
        return TRUE;
    }
    if (!vplat::WindowPost(hWnd, Msg, wParam, lParam)) {
        if (vplat::WindowQueue(hWnd) == nullptr && vplat::IsForeignHandle(hWnd))
            return vplat::ForeignPost(hWnd, Msg, wParam, lParam) ? TRUE : FALSE;
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    return TRUE;
}

extern "C" PLATAPI BOOL PostThreadMessageW(DWORD idThread, UINT Msg, WPARAM wParam, LPARAM lParam) {
    std::shared_ptr<vplat::ThreadQueue> queue = vplat::QueueOfThread(idThread);
    if (queue == nullptr || !queue->EnqueuePosted(nullptr, Msg, wParam, lParam)) {
        SetLastError(ERROR_INVALID_THREAD_ID);
        return FALSE;
    }
    return TRUE;
}

extern "C" PLATAPI void PostQuitMessage(int nExitCode) { vplat::CurrentQueue()->PostQuit(nExitCode); }

extern "C" PLATAPI BOOL GetMessageW(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax) {
    if (!vplat::ValidRetrieval(lpMsg, hWnd)) return -1;
    std::shared_ptr<vplat::ThreadQueue> queue = vplat::CurrentQueue();
    vplat::MsgFilter filter{hWnd, wMsgFilterMin, wMsgFilterMax};
    for (;;) {
        queue->ClearWake();
        if (vplat::Retrieve(*queue, filter, true, lpMsg)) return lpMsg->message == WM_QUIT ? FALSE : TRUE;
        queue->WaitForWake(queue->WaitTimeout(filter));
    }
}

extern "C" PLATAPI BOOL PeekMessageW(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax,
                                     UINT wRemoveMsg) {
    if (!vplat::ValidRetrieval(lpMsg, hWnd)) return FALSE;
    std::shared_ptr<vplat::ThreadQueue> queue = vplat::CurrentQueue();
    vplat::MsgFilter filter{hWnd, wMsgFilterMin, wMsgFilterMax};
    return vplat::Retrieve(*queue, filter, (wRemoveMsg & PM_REMOVE) != 0, lpMsg) ? TRUE : FALSE;
}

// Returns once anything can be retrieved (at once when something already
// can), handling sent messages meanwhile.
extern "C" PLATAPI BOOL WaitMessage(void) {
    std::shared_ptr<vplat::ThreadQueue> queue = vplat::CurrentQueue();
    for (;;) {
        queue->ClearWake();
        vplat::HandleSentMessages(*queue);
        if (queue->HasWaiting()) return TRUE;
        queue->WaitForWake(queue->WaitTimeout(vplat::MsgFilter{}));
    }
}

// Nothing to translate: the device has no keyboard messages here.
extern "C" PLATAPI BOOL TranslateMessage(const MSG *) { return FALSE; }

// A WM_TIMER that names a procedure calls it only while that timer of the
// calling thread is alive: a killed timer never delivers, and a forged
// message cannot make the thread jump to an arbitrary address.
extern "C" PLATAPI LRESULT DispatchMessageW(const MSG *lpMsg) {
    if (lpMsg == nullptr) return 0;
    std::shared_ptr<vplat::ThreadQueue> own = vplat::CurrentQueueIfAny();
    if (lpMsg->message == WM_TIMER && lpMsg->lParam != 0) {
        TIMERPROC proc = reinterpret_cast<TIMERPROC>(lpMsg->lParam);
        if (own != nullptr && own->HasTimer(lpMsg->hwnd, lpMsg->wParam, proc)) {
            proc(lpMsg->hwnd, WM_TIMER, lpMsg->wParam, GetTickCount());
        }
        return 0;
    }
    if (lpMsg->hwnd == nullptr) return 0;
    std::shared_ptr<vplat::ThreadQueue> owner = vplat::WindowQueue(lpMsg->hwnd);
    if (owner == nullptr || owner != own) {  // gone, or another thread's
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    return vplat::WindowCallProc(lpMsg->hwnd, lpMsg->message, lpMsg->wParam, lpMsg->lParam);
}
