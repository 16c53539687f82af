// Code-page conversion between UTF-16 and the narrow code pages the system
// uses: 1252 (Western), 10000 (Mac Roman), 932 (Shift-JIS), 936 (GBK),
// 950 (Big5) and 65001 (UTF-8), with the platform's sizing rules.
#ifndef VPLATFORM_WINNLS_H
#define VPLATFORM_WINNLS_H

#include "wintypes.h"

#define CP_ACP 0
#define CP_OEMCP 1
#define CP_MACCP 2
#define CP_UTF8 65001

#define MB_PRECOMPOSED 0x00000001
#define MB_COMPOSITE 0x00000002
#define MB_USEGLYPHCHARS 0x00000004
#define MB_ERR_INVALID_CHARS 0x00000008

#define WC_COMPOSITECHECK 0x00000200
#define WC_DISCARDNS 0x00000010
#define WC_SEPCHARS 0x00000020
#define WC_DEFAULTCHAR 0x00000040
#define WC_ERR_INVALID_CHARS 0x00000080
#define WC_NO_BEST_FIT_CHARS 0x00000400

extern "C" {
// cbMultiByte -1: up to and including the terminator. cchWideChar 0: returns
// the units needed. Returns 0 on failure (GetLastError: 87, 122, 1004, 1113).
PLATAPI int MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCSTR lpMultiByteStr, int cbMultiByte,
                                LPWSTR lpWideCharStr, int cchWideChar);
// cchWideChar -1: up to and including the terminator. cbMultiByte 0: returns
// the bytes needed. Unmappable units become lpDefaultChar (default '?').
PLATAPI int WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWSTR lpWideCharStr, int cchWideChar,
                                LPSTR lpMultiByteStr, int cbMultiByte, LPCSTR lpDefaultChar,
                                LPBOOL lpUsedDefaultChar);
PLATAPI BOOL IsValidCodePage(UINT CodePage);
PLATAPI UINT GetACP(void);
}

#endif
