#include "msgqueue.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <unordered_map>

#include "window.h"
#include "winthread.h"
#include "wintime.h"

namespace vplat {
namespace {

// Every running thread's queue, by thread id.
struct Registry {
    std::mutex lock;
    std::unordered_map<DWORD, std::shared_ptr<ThreadQueue>> queues;
};

Registry &Queues() {
    static Registry *registry = new Registry;  // outlives static destructors
    return *registry;
}

// The thread ends: its queue leaves the registry, refuses further input,
// answers the sends that still wait, and its windows go.
void TearDown(const std::shared_ptr<ThreadQueue> &queue) {
    {
        Registry &r = Queues();
        std::lock_guard<std::mutex> guard(r.lock);
        auto it = r.queues.find(queue->ThreadId());
        if (it != r.queues.end() && it->second == queue) r.queues.erase(it);
    }
    for (auto &sent : queue->Close()) {
        if (sent->reply) sent->reply(0);
    }
    WindowsForgetThread(queue->ThreadId());
}

struct QueueHolder {
    std::shared_ptr<ThreadQueue> queue;
    ~QueueHolder() {
        if (queue != nullptr && queue->ProcessId() == getpid()) TearDown(queue);
    }
};

thread_local QueueHolder t_holder;

}  // namespace

bool MsgFilter::Matches(HWND h, UINT message) const {
    if (hwnd != nullptr && h != hwnd) return false;
    if (min == 0 && max == 0) return true;
    return min <= message && message <= max;
}

ThreadQueue::ThreadQueue(DWORD threadId) : m_threadId(threadId), m_pid(getpid()) {
    m_wakeFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
}

ThreadQueue::~ThreadQueue() {
    if (m_wakeFd >= 0) close(m_wakeFd);
}

void ThreadQueue::Wake() {
    if (m_wakeFd < 0) return;  // waits then poll on a short period
    uint64_t one = 1;
    ssize_t rc;
    do {
        rc = write(m_wakeFd, &one, sizeof one);
    } while (rc < 0 && errno == EINTR);
}

void ThreadQueue::ClearWake() {
    if (m_wakeFd < 0) return;
    uint64_t count;
    ssize_t rc;
    do {
        rc = read(m_wakeFd, &count, sizeof count);
    } while (rc < 0 && errno == EINTR);
}

void ThreadQueue::WaitForWake(int timeoutMs) {
    if (m_wakeFd < 0) {
        // No descriptor could be had: look again every few milliseconds.
        poll(nullptr, 0, timeoutMs < 0 || timeoutMs > 5 ? 5 : timeoutMs);
        return;
    }
    struct pollfd pfd = {m_wakeFd, POLLIN, 0};
    int rc;
    do {
        rc = poll(&pfd, 1, timeoutMs);
    } while (rc < 0 && errno == EINTR);
}

void ThreadQueue::WaitForWakeOr(int fd, int timeoutMs) {
    struct pollfd pfd[2] = {{fd, POLLIN, 0}, {m_wakeFd, POLLIN, 0}};
    int count = m_wakeFd >= 0 ? 2 : 1;
    if (m_wakeFd < 0 && (timeoutMs < 0 || timeoutMs > 5)) timeoutMs = 5;  // see WaitForWake
    int rc;
    do {
        rc = poll(pfd, nfds_t(count), timeoutMs);
    } while (rc < 0 && errno == EINTR);
}

bool ThreadQueue::EnqueuePosted(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (m_closed) return false;
        Posted p;
        p.msg = MSG{hwnd, message, wParam, lParam, GetTickCount(), {0, 0}};
        m_posted.push_back(std::move(p));
    }
    Wake();
    return true;
}

bool ThreadQueue::EnqueueCall(std::function<void()> fn) {
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (m_closed) return false;
        Posted p;
        p.msg = MSG{nullptr, WM_NULL, 0, 0, 0, {0, 0}};
        p.call = std::move(fn);
        m_posted.push_back(std::move(p));
    }
    Wake();
    return true;
}

bool ThreadQueue::EnqueueSent(std::shared_ptr<SentMessage> sent) {
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (m_closed) return false;
        m_sent.push_back(std::move(sent));
    }
    Wake();
    return true;
}

bool ThreadQueue::SetTimer(HWND hwnd, UINT_PTR id, UINT elapse, TIMERPROC proc) {
    uint64_t due = ClockTickCount64() + elapse;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (m_closed) return false;
        auto it = std::find_if(m_timers.begin(), m_timers.end(),
                               [&](const Timer &t) { return t.hwnd == hwnd && t.id == id; });
        Timer timer{hwnd, id, elapse, proc, due, ++m_timerSeq};
        if (it != m_timers.end()) {
            *it = timer;
        } else {
            m_timers.push_back(timer);
        }
    }
    Wake();  // the owner may be sleeping towards a later deadline
    return true;
}

bool ThreadQueue::KillTimer(HWND hwnd, UINT_PTR id) {
    std::lock_guard<std::mutex> guard(m_lock);
    auto it =
        std::find_if(m_timers.begin(), m_timers.end(), [&](const Timer &t) { return t.hwnd == hwnd && t.id == id; });
    if (it == m_timers.end()) return false;
    m_timers.erase(it);
    return true;
}

bool ThreadQueue::HasTimer(HWND hwnd, UINT_PTR id, TIMERPROC proc) {
    std::lock_guard<std::mutex> guard(m_lock);
    return std::any_of(m_timers.begin(), m_timers.end(),
                       [&](const Timer &t) { return t.hwnd == hwnd && t.id == id && t.proc == proc; });
}

void ThreadQueue::ShiftTimers(int64_t shift) {
    {
        std::lock_guard<std::mutex> guard(m_lock);
        for (Timer &t : m_timers) {
            int64_t due = int64_t(t.due) + shift;
            t.due = due < 0 ? 0 : uint64_t(due);
        }
    }
    Wake();
}

void ThreadQueue::KillWindowTimers(HWND hwnd) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_timers.erase(std::remove_if(m_timers.begin(), m_timers.end(), [&](const Timer &t) { return t.hwnd == hwnd; }),
                   m_timers.end());
}

std::shared_ptr<SentMessage> ThreadQueue::PopSent() {
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_sent.empty()) return nullptr;
    std::shared_ptr<SentMessage> sent = std::move(m_sent.front());
    m_sent.pop_front();
    return sent;
}

ThreadQueue::Fetched ThreadQueue::Fetch(const MsgFilter &filter, bool remove, MSG *msg,
                                        std::function<void()> *call) {
    std::lock_guard<std::mutex> guard(m_lock);
    for (auto it = m_posted.begin(); it != m_posted.end(); ++it) {
        if (it->call) {
            *call = std::move(it->call);
            m_posted.erase(it);
            return Fetched::Call;
        }
        if (filter.Matches(it->msg.hwnd, it->msg.message)) {
            *msg = it->msg;
            if (remove) m_posted.erase(it);
            return Fetched::Message;
        }
    }
    uint64_t now = ClockTickCount64();
    if (m_quit) {
        // Seen whatever the filter, as the platform does.
        *msg = MSG{nullptr, WM_QUIT, static_cast<WPARAM>(static_cast<INT_PTR>(m_exitCode)), 0, DWORD(now), {0, 0}};
        if (remove) m_quit = false;
        return Fetched::Message;
    }
    Timer *first = nullptr;
    for (Timer &t : m_timers) {
        if (t.due > now || !filter.Matches(t.hwnd, WM_TIMER)) continue;
        if (first == nullptr || t.due < first->due || (t.due == first->due && t.seq < first->seq)) first = &t;
    }
    if (first == nullptr) return Fetched::None;
    *msg = MSG{first->hwnd, WM_TIMER, first->id, reinterpret_cast<LPARAM>(first->proc), DWORD(now), {0, 0}};
    // However late, a timer fires once and starts its next period now. A
    // period of 0 waits for the clock to move, so that it cannot starve
    // the loop.
    if (remove) first->due = now + std::max<UINT>(first->period, 1);
    return Fetched::Message;
}

bool ThreadQueue::HasWaiting() {
    std::lock_guard<std::mutex> guard(m_lock);
    if (!m_posted.empty() || m_quit) return true;
    uint64_t now = ClockTickCount64();
    return std::any_of(m_timers.begin(), m_timers.end(), [&](const Timer &t) { return t.due <= now; });
}

void ThreadQueue::PostQuit(int exitCode) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_quit = true;
    m_exitCode = exitCode;
}

void ThreadQueue::DropPostedFor(HWND hwnd) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_posted.erase(std::remove_if(m_posted.begin(), m_posted.end(),
                                  [&](const Posted &p) { return !p.call && p.msg.hwnd == hwnd; }),
                   m_posted.end());
}

int ThreadQueue::WaitTimeout(const MsgFilter &filter) {
    std::lock_guard<std::mutex> guard(m_lock);
    const Timer *first = nullptr;
    for (const Timer &t : m_timers) {
        if (filter.Matches(t.hwnd, WM_TIMER) && (first == nullptr || t.due < first->due)) first = &t;
    }
    if (first == nullptr) return -1;
    uint64_t now = ClockTickCount64();
    if (first->due <= now) return 0;
    if (ClockIsVirtual()) return -1;  // the virtual clock wakes every queue when it moves
    return int(std::min<uint64_t>(first->due - now, INT_MAX));
}

std::deque<std::shared_ptr<SentMessage>> ThreadQueue::Close() {
    std::deque<Posted> dropped;
    std::deque<std::shared_ptr<SentMessage>> waiting;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_closed = true;
        dropped.swap(m_posted);
        waiting.swap(m_sent);
        m_timers.clear();
    }
    return waiting;  // dropped calls are destroyed here, outside the lock
}

std::shared_ptr<ThreadQueue> CurrentQueue() {
    std::shared_ptr<ThreadQueue> queue = CurrentQueueIfAny();
    if (queue != nullptr) return queue;
    queue = std::make_shared<ThreadQueue>(GetCurrentThreadId());
    {
        Registry &r = Queues();
        std::lock_guard<std::mutex> guard(r.lock);
        r.queues[queue->ThreadId()] = queue;
    }
    t_holder.queue = queue;
    return queue;
}

std::shared_ptr<ThreadQueue> CurrentQueueIfAny() {
    // In a child of fork the queue copied from the parent is not this
    // process's: it is set aside, never torn down, and a new one is made.
    if (t_holder.queue != nullptr && t_holder.queue->ProcessId() != getpid()) t_holder.queue.reset();
    return t_holder.queue;
}

std::shared_ptr<ThreadQueue> QueueOfThread(DWORD threadId) {
    Registry &r = Queues();
    std::lock_guard<std::mutex> guard(r.lock);
    auto it = r.queues.find(threadId);
    if (it == r.queues.end() || it->second->ProcessId() != getpid()) return nullptr;
    return it->second;
}

void QueuesOnClockChange(int64_t shift) {
    std::vector<std::shared_ptr<ThreadQueue>> all;
    {
        Registry &r = Queues();
        std::lock_guard<std::mutex> guard(r.lock);
        for (auto &entry : r.queues) all.push_back(entry.second);
    }
    for (auto &queue : all) {
        if (queue->ProcessId() != getpid()) continue;
        if (shift != 0) {
            queue->ShiftTimers(shift);
        } else {
            queue->Wake();
        }
    }
}

}  // namespace vplat
