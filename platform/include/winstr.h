// Wide-string helpers over UTF-16 (char16_t) text. Case-insensitive
// comparison folds each 16-bit unit to upper case with the Unicode simple
// mapping, independently of the host's locale.
#ifndef VPLATFORM_WINSTR_H
#define VPLATFORM_WINSTR_H

#include "wintypes.h"

extern "C" {
PLATAPI int lstrlenW(LPCWSTR lpString);
PLATAPI LPWSTR lstrcpyW(LPWSTR lpString1, LPCWSTR lpString2);
// Copies at most iMaxLength - 1 units and always terminates (iMaxLength > 0).
PLATAPI LPWSTR lstrcpynW(LPWSTR lpString1, LPCWSTR lpString2, int iMaxLength);
PLATAPI LPWSTR lstrcatW(LPWSTR lpString1, LPCWSTR lpString2);
PLATAPI int lstrcmpW(LPCWSTR lpString1, LPCWSTR lpString2);
PLATAPI int lstrcmpiW(LPCWSTR lpString1, LPCWSTR lpString2);
PLATAPI int _wcsicmp(LPCWSTR lpString1, LPCWSTR lpString2);
PLATAPI int _wcsnicmp(LPCWSTR lpString1, LPCWSTR lpString2, size_t count);
// One unit to upper / lower case (units outside the mapping come back as they are).
PLATAPI WCHAR towupper16(WCHAR c);
PLATAPI WCHAR towlower16(WCHAR c);
}

#endif
