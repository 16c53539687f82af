// SendMessageW. To a window of the calling thread it is a direct call. To a
// window of another thread it is queued to the owner as a sent message; the
// sender waits for the answer and meanwhile handles messages sent to its
// own windows, so two threads that send to each other do not deadlock.
#include <atomic>

#include "sendmessage.h"
#include "window.h"
#include "winerror.h"

namespace vplat {
namespace {

LRESULT SendTo(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    std::shared_ptr<ThreadQueue> target = WindowQueue(hwnd);
    if (target == nullptr) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    std::shared_ptr<ThreadQueue> own = CurrentQueue();
    if (target == own) return WindowCallProc(hwnd, message, wParam, lParam);

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
        return 0;
    }
    for (;;) {
        own->ClearWake();
        HandleSentMessages(*own);
        if (answer->done.load()) return answer->result;
        own->WaitForWake(-1);
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

}  // namespace vplat

// HWND_BROADCAST sends to every top-level window of the process in turn
// and answers 0.
extern "C" PLATAPI LRESULT SendMessageW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    if (hWnd == HWND_BROADCAST) {
        for (HWND h : vplat::WindowsTopLevel()) vplat::SendTo(h, Msg, wParam, lParam);
        return 0;
    }
    return vplat::SendTo(hWnd, Msg, wParam, lParam);
}
