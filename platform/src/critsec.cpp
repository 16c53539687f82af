// Critical sections (a recursive host mutex kept inside the caller's record)
// and interlocked counters.
#include <pthread.h>

#include <new>

#include "winthread.h"

namespace {

static_assert(sizeof(pthread_mutex_t) <= sizeof(CRITICAL_SECTION::opaque), "critical section too small");
static_assert(alignof(pthread_mutex_t) <= alignof(CRITICAL_SECTION), "critical section misaligned");

pthread_mutex_t *MutexOf(LPCRITICAL_SECTION section) {
    return std::launder(reinterpret_cast<pthread_mutex_t *>(section->opaque));
}

}  // namespace

extern "C" PLATAPI void InitializeCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
    pthread_mutexattr_t attr;
    pthread_mutexattr_init(&attr);
    pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutex_init(new (lpCriticalSection->opaque) pthread_mutex_t, &attr);
    pthread_mutexattr_destroy(&attr);
}

extern "C" PLATAPI void DeleteCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
    pthread_mutex_destroy(MutexOf(lpCriticalSection));
}

extern "C" PLATAPI void EnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
    pthread_mutex_lock(MutexOf(lpCriticalSection));
}

extern "C" PLATAPI void LeaveCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
    pthread_mutex_unlock(MutexOf(lpCriticalSection));
}

extern "C" PLATAPI LONG InterlockedIncrement(LONG volatile *lpAddend) {
    return __atomic_add_fetch(lpAddend, 1, __ATOMIC_SEQ_CST);
}

extern "C" PLATAPI LONG InterlockedDecrement(LONG volatile *lpAddend) {
    return __atomic_sub_fetch(lpAddend, 1, __ATOMIC_SEQ_CST);
}

extern "C" PLATAPI LONG InterlockedExchange(LONG volatile *Target, LONG Value) {
    return __atomic_exchange_n(Target, Value, __ATOMIC_SEQ_CST);
}
