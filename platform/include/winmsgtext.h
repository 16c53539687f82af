// The system's message texts for its error numbers (FormatMessageW).
#ifndef VPLATFORM_WINMSGTEXT_H
#define VPLATFORM_WINMSGTEXT_H

#include <cstdarg>

#include "wintypes.h"

#define FORMAT_MESSAGE_IGNORE_INSERTS 0x00000200
#define FORMAT_MESSAGE_FROM_SYSTEM 0x00001000

// FormatMessageW found no text for the number.
#ifndef ERROR_MR_MID_NOT_FOUND
#define ERROR_MR_MID_NOT_FOUND 317L
#endif

extern "C" {
// With FORMAT_MESSAGE_FROM_SYSTEM (FORMAT_MESSAGE_IGNORE_INSERTS may be
// added; no other flag is taken): writes the system's text for the error
// number dwMessageId, zero-terminated, into lpBuffer of nSize characters and
// returns its length. 0 with ERROR_MR_MID_NOT_FOUND when the system has no
// text for the number, ERROR_INSUFFICIENT_BUFFER when the text does not fit,
// ERROR_INVALID_PARAMETER for other flags or no buffer. The texts are
// English whatever dwLanguageId asks; lpSource and Arguments are unused.
PLATAPI DWORD FormatMessageW(DWORD dwFlags, LPCVOID lpSource, DWORD dwMessageId, DWORD dwLanguageId,
                             LPWSTR lpBuffer, DWORD nSize, va_list *Arguments);
}

#endif
