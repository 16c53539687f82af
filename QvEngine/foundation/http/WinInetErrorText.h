// The WinInet error table of the transfer worker: a platform last error
// after a failed Internet call becomes a text for the log and the error
// code the transfer ends with.
#ifndef QV_WININETERRORTEXT_H
#define QV_WININETERRORTEXT_H

#include <string>

#include "DErrorCode.h"
#include "wintypes.h"

struct WinInetErrorEntry {
    const char *text;
    DErrorCode code;
};

// The entry of one last error; "Unknown internet error" with
// httpErrRequestFailed for a number the table does not hold.
WinInetErrorEntry MapWinInetError(DWORD lastError);

// "<context>: GetLastError(<n>) = <text>", the line the worker logs.
std::string FormatWinInetError(const char *context, DWORD lastError, const char *text);

#endif
