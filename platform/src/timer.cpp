// Timers. A window timer is named by its window and the caller's id; a
// thread timer gets a new id from one counter of the process (increasing,
// never 0 nor 0x7FFF7FFF, which callers use for "no timer", and never
// reused). Either lives in its owner thread's queue and fires there.
#include <atomic>

#include "msgqueue.h"
#include "window.h"
#include "winerror.h"

namespace vplat {
namespace {

// A new thread timer id; 0 once every 32-bit id has been given out.
UINT_PTR NewThreadTimerId() {
    static std::atomic<uint64_t> last{0};
    for (;;) {
        uint64_t id = ++last;
        if (id > 0xFFFFFFFFu) {
            last = 0xFFFFFFFFu;  // stays exhausted
            return 0;
        }
        if (id != 0x7FFF7FFFu) return UINT_PTR(id);
    }
}

UINT_PTR StartThreadTimer(const std::shared_ptr<ThreadQueue> &queue, UINT elapse, TIMERPROC proc) {
    if (queue == nullptr) {
        SetLastError(ERROR_INVALID_THREAD_ID);
        return 0;
    }
    UINT_PTR id = NewThreadTimerId();
    if (id == 0) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
    if (!queue->SetTimer(nullptr, id, elapse, proc)) {  // the thread has ended
        SetLastError(ERROR_INVALID_THREAD_ID);
        return 0;
    }
    return id;
}

// The queue of a window of the calling thread; null (last error set) for
// no window or another thread's.
std::shared_ptr<ThreadQueue> OwnWindowQueue(HWND hwnd) {
    std::shared_ptr<ThreadQueue> queue = WindowQueue(hwnd);
    if (queue == nullptr) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    if (queue != CurrentQueueIfAny()) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    return queue;
}

// A window timer asked for with id 0 lives under this id, out of the range
// of the small constants callers name their timers with: SetTimer answers
// it and WM_TIMER carries it, so that the answer is what KillTimer takes.
constexpr UINT_PTR kWindowTimerIdForZero = 0x80000000u;

UINT_PTR WindowTimerId(UINT_PTR id) { return id != 0 ? id : kWindowTimerIdForZero; }

}  // namespace

PLATAPI UINT_PTR SetThreadTimerFor(DWORD threadId, UINT uElapse, TIMERPROC lpTimerFunc) {
    return StartThreadTimer(QueueOfThread(threadId), uElapse, lpTimerFunc);
}

PLATAPI BOOL KillThreadTimerFor(DWORD threadId, UINT_PTR uIDEvent) {
    std::shared_ptr<ThreadQueue> queue = QueueOfThread(threadId);
    if (queue == nullptr) {
        SetLastError(ERROR_INVALID_THREAD_ID);
        return FALSE;
    }
    if (!queue->KillTimer(nullptr, uIDEvent)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return TRUE;
}

}  // namespace vplat

// A window timer answers with its id (never 0: see kWindowTimerIdForZero);
// setting an id the window already has restarts that timer.
extern "C" PLATAPI UINT_PTR SetTimer(HWND hWnd, UINT_PTR nIDEvent, UINT uElapse, TIMERPROC lpTimerFunc) {
    if (hWnd == nullptr) return vplat::StartThreadTimer(vplat::CurrentQueue(), uElapse, lpTimerFunc);
    std::shared_ptr<vplat::ThreadQueue> queue = vplat::OwnWindowQueue(hWnd);
    if (queue == nullptr) return 0;
    UINT_PTR id = vplat::WindowTimerId(nIDEvent);
    queue->SetTimer(hWnd, id, uElapse, lpTimerFunc);
    return id;
}

// A window's timer set with id 0 is killed by that id or by the id SetTimer answered.
extern "C" PLATAPI BOOL KillTimer(HWND hWnd, UINT_PTR uIDEvent) {
    std::shared_ptr<vplat::ThreadQueue> queue =
        hWnd == nullptr ? vplat::CurrentQueueIfAny() : vplat::OwnWindowQueue(hWnd);
    if (hWnd != nullptr && queue == nullptr) return FALSE;
    if (hWnd != nullptr) uIDEvent = vplat::WindowTimerId(uIDEvent);
    if (queue == nullptr || !queue->KillTimer(hWnd, uIDEvent)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return TRUE;
}
