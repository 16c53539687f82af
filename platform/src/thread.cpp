// Thread ids are our own, not the host's task ids: the host hands a dead
// thread's task id to a later thread, so a message posted to a thread that
// has ended could reach a stranger. Ours count up from 1 per process and are
// never handed out twice (a fork's child goes on from its parent's count).
// The process id is the host's; Sleep waits on real time.
#include <sched.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "winthread.h"

namespace {

std::atomic<DWORD> g_lastThreadId{0};
thread_local DWORD t_threadId = 0;  // 0 until the thread first asks

DWORD NewThreadId() {
    // 0 means "no thread" to callers. Past 2^32 - 1 threads the count
    // would wrap; no process of the device lives that long.
    DWORD id;
    do {
        id = ++g_lastThreadId;
    } while (id == 0);
    return id;
}

}  // namespace

extern "C" PLATAPI DWORD GetCurrentThreadId(void) {
    if (t_threadId == 0) t_threadId = NewThreadId();
    return t_threadId;
}

extern "C" PLATAPI DWORD GetCurrentProcessId(void) { return static_cast<DWORD>(getpid()); }

extern "C" PLATAPI void Sleep(DWORD dwMilliseconds) {
    if (dwMilliseconds == 0) {
        sched_yield();  // gives up the rest of the time slice
        return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(dwMilliseconds));
}
