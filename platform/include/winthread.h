// Threads, processes and the objects threads wait on and share: thread and
// event handles (closed with CloseHandle), critical sections and interlocked
// counters.
//
// Threads run on host threads. There is no safe way to kill a host thread,
// so TerminateThread does not: it fails with ERROR_NOT_SUPPORTED. A caller
// stops a worker cooperatively (a flag the worker polls, or closing what it
// blocks on) and, when it will not stop, abandons it: closes its handle
// without freeing what the worker still uses. Closing a running thread's
// handle only drops the handle; the thread runs on.
#ifndef VPLATFORM_WINTHREAD_H
#define VPLATFORM_WINTHREAD_H

#include "wintypes.h"

typedef DWORD (*LPTHREAD_START_ROUTINE)(LPVOID lpThreadParameter);
typedef LPTHREAD_START_ROUTINE PTHREAD_START_ROUTINE;

#define INFINITE 0xFFFFFFFFUL
#define WAIT_OBJECT_0 0x00000000UL
#define WAIT_TIMEOUT 258UL
#define WAIT_FAILED 0xFFFFFFFFUL
#define STILL_ACTIVE 259UL

// Thread priorities of the handheld: 0 is the highest, 7 the lowest. A
// priority is kept for the thread and read back; the host schedules all
// threads alike.
#define THREAD_PRIORITY_TIME_CRITICAL 0
#define THREAD_PRIORITY_HIGHEST 1
#define THREAD_PRIORITY_ABOVE_NORMAL 2
#define THREAD_PRIORITY_NORMAL 3
#define THREAD_PRIORITY_BELOW_NORMAL 4
#define THREAD_PRIORITY_LOWEST 5
#define THREAD_PRIORITY_ABOVE_IDLE 6
#define THREAD_PRIORITY_IDLE 7
#define THREAD_PRIORITY_ERROR_RETURN 0x7FFFFFFF

// A lock that the owning thread may take again (each Enter needs a Leave).
// Its storage is the record itself, so one that is never deleted leaks
// nothing; it must not be copied or moved while initialised.
typedef struct _CRITICAL_SECTION {
    alignas(16) unsigned char opaque[64];
} CRITICAL_SECTION, *LPCRITICAL_SECTION;

extern "C" {
// A thread's id is never given to another thread of the process, even
// after the thread has ended.
PLATAPI DWORD GetCurrentThreadId(void);
PLATAPI DWORD GetCurrentProcessId(void);
// Sleeps on the real clock (the virtual clock of tests does not shorten it).
PLATAPI void Sleep(DWORD dwMilliseconds);

// Starts lpStartAddress(lpParameter) on a new thread and returns its handle
// (null on failure, last error set). Attributes and stack size are ignored;
// dwCreationFlags must be 0. The handle is signalled once the thread has
// ended and its message queue, windows and timers are gone.
PLATAPI HANDLE CreateThread(LPSECURITY_ATTRIBUTES lpThreadAttributes, DWORD dwStackSize,
                            LPTHREAD_START_ROUTINE lpStartAddress, LPVOID lpParameter, DWORD dwCreationFlags,
                            LPDWORD lpThreadId);
// The start routine's return value once the thread ended, STILL_ACTIVE before.
PLATAPI BOOL GetExitCodeThread(HANDLE hThread, LPDWORD lpExitCode);
// Never kills the thread: FALSE with ERROR_NOT_SUPPORTED for a thread
// handle (ERROR_INVALID_HANDLE for anything else).
PLATAPI BOOL TerminateThread(HANDLE hThread, DWORD dwExitCode);
PLATAPI int GetThreadPriority(HANDLE hThread);
PLATAPI BOOL SetThreadPriority(HANDLE hThread, int nPriority);
// Thread and event handles are closed as every handle is (also in winfile.h).
PLATAPI BOOL CloseHandle(HANDLE hObject);

// Waits for a thread to end, an event to be set or a mutex to be free (and
// takes it), up to dwMilliseconds of real time (INFINITE: no limit; 0: a
// test). Waiting on an auto-reset event resets it. WAIT_OBJECT_0,
// WAIT_TIMEOUT, or WAIT_FAILED with the last error.
PLATAPI DWORD WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds);

// An unnamed event (lpName must be null). A manual-reset event stays set
// until ResetEvent; an auto-reset one releases one waiter and resets.
PLATAPI HANDLE CreateEventW(LPSECURITY_ATTRIBUTES lpEventAttributes, BOOL bManualReset, BOOL bInitialState,
                            LPCWSTR lpName);
PLATAPI BOOL SetEvent(HANDLE hEvent);
PLATAPI BOOL ResetEvent(HANDLE hEvent);

// A mutex, owned by one thread at a time; its owner may wait on it again
// and releases it as often. A named one (names compare without case) is
// one mutex for every process of the device: a second create opens it,
// with ERROR_ALREADY_EXISTS as last error (and bInitialOwner ignored). A
// process that ends while it owns one releases it. WaitForSingleObject
// takes it; ReleaseMutex fails with ERROR_NOT_OWNER for another thread.
// Handles do not cross a fork: a child creates its own.
PLATAPI HANDLE CreateMutexW(LPSECURITY_ATTRIBUTES lpMutexAttributes, BOOL bInitialOwner, LPCWSTR lpName);
PLATAPI BOOL ReleaseMutex(HANDLE hMutex);

PLATAPI void InitializeCriticalSection(LPCRITICAL_SECTION lpCriticalSection);
PLATAPI void DeleteCriticalSection(LPCRITICAL_SECTION lpCriticalSection);
PLATAPI void EnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection);
PLATAPI void LeaveCriticalSection(LPCRITICAL_SECTION lpCriticalSection);

// Atomic on every thread; Increment and Decrement return the new value,
// Exchange the old one.
PLATAPI LONG InterlockedIncrement(LONG volatile *lpAddend);
PLATAPI LONG InterlockedDecrement(LONG volatile *lpAddend);
PLATAPI LONG InterlockedExchange(LONG volatile *Target, LONG Value);
}

#endif
