// The platform error text of log lines: "<context>: GetLastError(<n>) =
// <the system's text for n>", or "<No description returned>" in place of
// the text when the system has none.
#ifndef QV_LASTERRORTEXT_H
#define QV_LASTERRORTEXT_H

#include "DErrorCode.h"
#include "VString.h"

// Reads the calling thread's last error first, so call it right after the
// failed platform call. out becomes Windows-1252 text; a null context reads
// as "". generalErrInvalidParameter when out is null.
DErrorCode FormatLastErrorText(const char *context, VString *out);

#endif
