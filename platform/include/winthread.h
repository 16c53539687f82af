// Threads and processes as the system sees them (ids, sleeping).
#ifndef VPLATFORM_WINTHREAD_H
#define VPLATFORM_WINTHREAD_H

#include "wintypes.h"

extern "C" {
PLATAPI DWORD GetCurrentThreadId(void);
PLATAPI DWORD GetCurrentProcessId(void);
// Sleeps on the real clock (the virtual clock of tests does not shorten it).
PLATAPI void Sleep(DWORD dwMilliseconds);
}

#endif
