// Wide-string helpers over 16-bit units. Case folding uses the Unicode
// simple case mapping of glibc's C.UTF-8 locale, made once, so that results
// never depend on the locale the host process runs in.
#include <locale.h>
#include <wctype.h>

#include "winstr.h"

namespace {

// The folding locale, or null when the host has no C.UTF-8 (then only ASCII
// letters fold). Never freed: it serves every thread until the process ends.
locale_t FoldLocale() {
    static locale_t locale = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
    return locale;
}

bool IsSurrogate(wint_t c) { return c >= 0xD800 && c <= 0xDFFF; }

// Applies a mapping result only when it is again one BMP unit.
WCHAR Keep(WCHAR original, wint_t mapped) {
    if (mapped > 0xFFFF || IsSurrogate(mapped)) return original;
    return static_cast<WCHAR>(mapped);
}

int Sign(int difference) { return difference < 0 ? -1 : (difference > 0 ? 1 : 0); }

// Null strings sort before every string, and two nulls are equal.
bool NullOrder(LPCWSTR a, LPCWSTR b, int *result) {
    if (a != nullptr && b != nullptr) return false;
    *result = (a == b) ? 0 : (a == nullptr ? -1 : 1);
    return true;
}

// Ordinal comparison of at most count units after mapping each unit.
template <class Map>
int CompareUnits(LPCWSTR a, LPCWSTR b, size_t count, Map map) {
    for (size_t i = 0; i < count; ++i) {
        WCHAR ca = map(a[i]);
        WCHAR cb = map(b[i]);
        if (ca != cb) return Sign(static_cast<int>(ca) - static_cast<int>(cb));
        if (ca == 0) return 0;
    }
    return 0;
}

WCHAR Same(WCHAR c) { return c; }

}  // namespace

extern "C" PLATAPI WCHAR towupper16(WCHAR c) {
    if (IsSurrogate(c)) return c;
    locale_t locale = FoldLocale();
    if (locale == static_cast<locale_t>(0)) return (c >= u'a' && c <= u'z') ? static_cast<WCHAR>(c - 0x20) : c;
    return Keep(c, towupper_l(c, locale));
}

extern "C" PLATAPI WCHAR towlower16(WCHAR c) {
    if (IsSurrogate(c)) return c;
    locale_t locale = FoldLocale();
    if (locale == static_cast<locale_t>(0)) return (c >= u'A' && c <= u'Z') ? static_cast<WCHAR>(c + 0x20) : c;
    return Keep(c, towlower_l(c, locale));
}

extern "C" PLATAPI int lstrlenW(LPCWSTR lpString) {
    if (lpString == nullptr) return 0;
    int length = 0;
    while (lpString[length] != 0) ++length;
    return length;
}

extern "C" PLATAPI LPWSTR lstrcpyW(LPWSTR lpString1, LPCWSTR lpString2) {
    if (lpString1 == nullptr || lpString2 == nullptr) return nullptr;
    LPWSTR d = lpString1;
    while ((*d++ = *lpString2++) != 0) {
    }
    return lpString1;
}

extern "C" PLATAPI LPWSTR lstrcpynW(LPWSTR lpString1, LPCWSTR lpString2, int iMaxLength) {
    if (lpString1 == nullptr || lpString2 == nullptr) return nullptr;
    // A length of 0 or less leaves the destination untouched.
    if (iMaxLength <= 0) return lpString1;
    int i = 0;
    for (; i < iMaxLength - 1 && lpString2[i] != 0; ++i) lpString1[i] = lpString2[i];
    lpString1[i] = 0;
    return lpString1;
}

extern "C" PLATAPI LPWSTR lstrcatW(LPWSTR lpString1, LPCWSTR lpString2) {
    if (lpString1 == nullptr || lpString2 == nullptr) return nullptr;
    lstrcpyW(lpString1 + lstrlenW(lpString1), lpString2);
    return lpString1;
}

extern "C" PLATAPI int lstrcmpW(LPCWSTR lpString1, LPCWSTR lpString2) {
    int result;
    if (NullOrder(lpString1, lpString2, &result)) return result;
    return CompareUnits(lpString1, lpString2, static_cast<size_t>(-1), Same);
}

extern "C" PLATAPI int lstrcmpiW(LPCWSTR lpString1, LPCWSTR lpString2) {
    int result;
    if (NullOrder(lpString1, lpString2, &result)) return result;
    return CompareUnits(lpString1, lpString2, static_cast<size_t>(-1), towupper16);
}

extern "C" PLATAPI int _wcsicmp(LPCWSTR lpString1, LPCWSTR lpString2) { return lstrcmpiW(lpString1, lpString2); }

extern "C" PLATAPI int _wcsnicmp(LPCWSTR lpString1, LPCWSTR lpString2, size_t count) {
    if (count == 0) return 0;
    int result;
    if (NullOrder(lpString1, lpString2, &result)) return result;
    return CompareUnits(lpString1, lpString2, count, towupper16);
}
