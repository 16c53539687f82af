// A thread's message queue: the messages, calls and sent messages that
// other threads hand to the thread, its quit flag and its timers.
//
// Inbound entry points (posting, sending, timer changes) are safe from any
// thread and assume nothing of the sender, so that a later listener can
// feed them for other processes. Everything else is the owner thread's.
//
// The owner waits by polling an eventfd that every inbound change and every
// clock change writes. An fd rather than a condition variable lets that one
// wait also watch other descriptors, such as a socket that carries posts
// and sends from other processes.
#ifndef VPLATFORM_MSGQUEUE_H
#define VPLATFORM_MSGQUEUE_H

#include <sys/types.h>

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "winuser.h"

namespace vplat {

// Which messages a retrieval takes: one window (null: any) and a range of
// message ids (0, 0: all).
struct MsgFilter {
    HWND hwnd = nullptr;
    UINT min = 0;
    UINT max = 0;
    bool Matches(HWND h, UINT message) const;
};

// A message sent to a window of the thread, awaiting its answer. reply runs
// once, on the owner thread, with the window procedure's result (0 when the
// window is gone or the thread ends first).
struct SentMessage {
    HWND hwnd = nullptr;
    UINT message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
    std::function<void(LRESULT)> reply;
};

class ThreadQueue {
public:
    explicit ThreadQueue(DWORD threadId);
    ~ThreadQueue();
    ThreadQueue(const ThreadQueue &) = delete;
    ThreadQueue &operator=(const ThreadQueue &) = delete;

    DWORD ThreadId() const { return m_threadId; }
    pid_t ProcessId() const { return m_pid; }

    // Inbound, any thread. False once the thread has ended.
    bool EnqueuePosted(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    bool EnqueueCall(std::function<void()> fn);
    bool EnqueueSent(std::shared_ptr<SentMessage> sent);
    // Starts or (same window and id) restarts a timer due elapse ms from now.
    bool SetTimer(HWND hwnd, UINT_PTR id, UINT elapse, TIMERPROC proc);
    bool KillTimer(HWND hwnd, UINT_PTR id);
    // Whether a live timer of this queue has that window, id and procedure.
    bool HasTimer(HWND hwnd, UINT_PTR id, TIMERPROC proc);
    // Moves every due time by shift ms (a switch between clocks) and wakes.
    void ShiftTimers(int64_t shift);
    void Wake();

    // Owner thread.
    std::shared_ptr<SentMessage> PopSent();
    enum class Fetched { None, Call, Message };
    // The next thing to retrieve, in this order: a call or a matching posted
    // message, whichever comes first in the queue (a call is always taken
    // out); WM_QUIT once no matching message is posted; WM_TIMER of the
    // matching timer due first. A taken timer is rescheduled from now.
    Fetched Fetch(const MsgFilter &filter, bool remove, MSG *msg, std::function<void()> *call);
    // Whether anything is posted, the quit flag is set or a timer is due.
    bool HasWaiting();
    void PostQuit(int exitCode);
    void DropPostedFor(HWND hwnd);
    void KillWindowTimers(HWND hwnd);
    // How long a wait may sleep before a matching timer is due (-1: until
    // woken; a virtual clock wakes the queue when it moves).
    int WaitTimeout(const MsgFilter &filter);
    // Clears pending wake-ups; call before checking for work.
    void ClearWake();
    // Sleeps until woken or timeoutMs passed (-1: no limit).
    void WaitForWake(int timeoutMs);
    // The same, also waking when fd can be read (or has hung up).
    void WaitForWakeOr(int fd, int timeoutMs);
    // The thread ends: refuses further input and hands back the sends that
    // still wait for an answer.
    std::deque<std::shared_ptr<SentMessage>> Close();

private:
    struct Posted {
        MSG msg;
        std::function<void()> call;  // set for a thread call
    };
    struct Timer {
        HWND hwnd;
        UINT_PTR id;
        UINT period;
        TIMERPROC proc;
        uint64_t due;
        uint64_t seq;  // start order, for timers due at the same time
    };

    const DWORD m_threadId;
    const pid_t m_pid;
    int m_wakeFd = -1;
    std::mutex m_lock;
    bool m_closed = false;
    bool m_quit = false;
    int m_exitCode = 0;
    std::deque<Posted> m_posted;
    std::deque<std::shared_ptr<SentMessage>> m_sent;
    std::vector<Timer> m_timers;
    uint64_t m_timerSeq = 0;
};

// The calling thread's queue, made on first use; it lives until the thread
// ends, and then the thread's windows and timers go with it.
std::shared_ptr<ThreadQueue> CurrentQueue();
// The calling thread's queue if it has one.
std::shared_ptr<ThreadQueue> CurrentQueueIfAny();
// The queue of a running thread of this process, or null.
std::shared_ptr<ThreadQueue> QueueOfThread(DWORD threadId);
// The clock moved (shift 0) or changed between real and virtual (shift:
// how far every due time moves): every queue re-checks its timers.
void QueuesOnClockChange(int64_t shift);

}  // namespace vplat

#endif
