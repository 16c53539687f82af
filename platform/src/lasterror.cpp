// The last-error value, one per thread.
#include "winerror.h"

namespace {
thread_local DWORD t_lastError = ERROR_SUCCESS;
}

extern "C" PLATAPI DWORD GetLastError(void) { return t_lastError; }
extern "C" PLATAPI void SetLastError(DWORD dwErrCode) { t_lastError = dwErrCode; }
