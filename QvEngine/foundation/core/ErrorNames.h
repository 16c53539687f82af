// Short English names of error codes, for log lines and error reports.
// Both lookups always write a zero-terminated text of at most 51 characters
// into the caller's buffer of kErrorNameBufferSize bytes; they never fail.
#ifndef QV_ERRORNAMES_H
#define QV_ERRORNAMES_H

#include "DErrorCode.h"

constexpr unsigned kErrorNameBufferSize = 64;

// Names codes of the general library groups, platform errors and 0.
void GetGeneralErrorName(char *out, unsigned code);
// Names codes of the sync layers (Internet connection, HTTP, ActiveSync,
// active task, message manager, data manager); hands any other code to
// GetGeneralErrorName, so it serves every code of the system.
void GetActiveSyncErrorName(char *out, unsigned code);

#endif
