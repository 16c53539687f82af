// SendMessageW. To a window of the calling thread it is a direct call. To a
// window of another thread it is queued to the owner as a sent message; the
// sender waits for the answer and meanwhile handles messages sent to its
// own windows, so two threads that send to each other do not deadlock. To a
// window of another process it goes over that process's socket, with the
// same wait.
#include <atomic>
#include <chrono>

#include "crossprocess.h"
#include "sendmessage.h"
#include "window.h"
#include "winerror.h"

namespace vplat {
namespace {

// timeoutMs < 0 waits as long as the receiver lives. False, with the last
// error set and *result 0, when no answer came.
bool SendTo(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, int timeoutMs, LRESULT *result) {
    *result = 0;
    std::shared_ptr<ThreadQueue> target = WindowQueue(hwnd);
    if (target == nullptr) {
        if (IsForeignHandle(hwnd)) return ForeignSend(hwnd, message, wParam, lParam, timeoutMs, result);
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return false;
    }
    std::shared_ptr<ThreadQueue> own = CurrentQueue();
    if (target == own) {
        *result = WindowCallProc(hwnd, message, wParam, lParam);
        return true;
    }

    struct Answer {
        std::atomic<bool> done{false};
        LRESULT result = 0;
    };
    auto answer = std::make_shared<Answer>();
    auto sent = std::make_shared<SentMessage>();
    sent->hwnd = hwnd;
    sent->message = message;
    sent->wParam = wParam;
    sent->lParam = lParam;
    sent->reply = [answer, own](LRESULT result) {
        answer->result = result;
        answer->done.store(true);
        own->Wake();
    };
    if (!target->EnqueueSent(sent)) {  // the owner thread has ended
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return false;
    }
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
    for (;;) {
        own->ClearWake();
        HandleSentMessages(*own);
        if (answer->done.load()) {
            *result = answer->result;
            return true;
        }
        int waitMs = -1;
        if (timeoutMs >= 0) {
            auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) {
                SetLastError(ERROR_TIMEOUT);  // the answer, when it comes, goes nowhere
                return false;
            }
            waitMs = int(left.count()) + 1;
        }
        own->WaitForWake(waitMs);
    }
}

}  // namespace

void HandleSentMessages(ThreadQueue &queue) {
    while (std::shared_ptr<SentMessage> sent = queue.PopSent()) {
        LRESULT result = 0;
        if (WindowQueue(sent->hwnd).get() == &queue) {
            result = WindowCallProc(sent->hwnd, sent->message, sent->wParam, sent->lParam);
        }
        sent->reply(result);
    }
}

PLATAPI bool SendMessageWithin(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, DWORD timeoutMs,
                               LRESULT *result) {
    LRESULT ignored;
    if (result == nullptr) result = &ignored;
    int bound = timeoutMs > DWORD(INT32_MAX) ? INT32_MAX : int(timeoutMs);
    return SendTo(hwnd, msg, wParam, lParam, bound, result);
}

}  // namespace vplat

// HWND_BROADCAST sends to every top-level window of the process in turn,
// then to those of the device's other processes (each with a bound, so that
// one hung process cannot hold the sender for good), and answers 0.
extern "C" PLATAPI LRESULT SendMessageW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    if (hWnd == HWND_BROADCAST) {
        for (HWND h : vplat::WindowsTopLevel()) vplat::SendTo(h, Msg, wParam, lParam, -1, &result);
        vplat::ForeignBroadcastSend(Msg, wParam, lParam);
        return 0;
    }
    vplat::SendTo(hWnd, Msg, wParam, lParam, -1, &result);
    return result;
}
