// Log lines of the WinInet classes: a failed platform call's error text
// ("<context>: GetLastError(<n>) = <text>"), optionally followed by the
// error code the failure became.
#ifndef QV_PLATFORMERRORLOG_H
#define QV_PLATFORMERRORLOG_H

#include "DErrorCode.h"
#include "ILogProvider.h"

// Call right after the failed platform call. Nothing without a logger.
void LogPlatformError(ILogProvider *log, const char *context);
void LogPlatformError(ILogProvider *log, const char *context, DErrorCode code);

#endif
