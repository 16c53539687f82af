// Thread and process ids are the host's (a thread id is its Linux task id,
// unique among the device's running threads); Sleep waits on real time.
#include <sched.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "winthread.h"

extern "C" PLATAPI DWORD GetCurrentThreadId(void) { return static_cast<DWORD>(gettid()); }

extern "C" PLATAPI DWORD GetCurrentProcessId(void) { return static_cast<DWORD>(getpid()); }

extern "C" PLATAPI void Sleep(DWORD dwMilliseconds) {
    if (dwMilliseconds == 0) {
        sched_yield();  // gives up the rest of the time slice
        return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(dwMilliseconds));
}
