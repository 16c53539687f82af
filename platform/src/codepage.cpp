// MultiByteToWideChar and WideCharToMultiByte: the argument checks and
// two-pass sizing rules every page shares, then the page's own conversion.
// The whole result is made first, so an output buffer that is too small is
// left untouched.
#include <climits>
#include <cstring>
#include <new>
#include <string>

#include "codepage.h"
#include "utf8.h"
#include "winerror.h"
#include "winnls.h"

namespace {

// The device's ANSI code page.
constexpr UINT kAnsiCodePage = 1252;

enum class PageKind { Unknown, SingleByte, DoubleByte, Utf8 };

UINT Resolve(UINT codePage) { return codePage == CP_ACP ? kAnsiCodePage : codePage; }

PageKind KindOf(UINT codePage) {
    if (codePage == CP_UTF8) return PageKind::Utf8;
    if (vplat::SingleByteHighTable(codePage) != nullptr) return PageKind::SingleByte;
    if (vplat::IsDoubleBytePage(codePage)) return PageKind::DoubleByte;
    return PageKind::Unknown;
}

int Fail(DWORD error) {
    SetLastError(error);
    return 0;
}

// Returns the size of a finished result (sizing pass) or copies it out.
template <class String, class Char>
int Deliver(const String &result, Char *output, int outputSize) {
    if (result.size() > static_cast<size_t>(INT_MAX)) return Fail(ERROR_NOT_ENOUGH_MEMORY);
    int size = static_cast<int>(result.size());
    if (outputSize == 0) return size;
    if (size > outputSize) return Fail(ERROR_INSUFFICIENT_BUFFER);
    std::memcpy(output, result.data(), result.size() * sizeof(Char));
    return size;
}

}  // namespace

extern "C" PLATAPI int MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCSTR lpMultiByteStr, int cbMultiByte,
                                           LPWSTR lpWideCharStr, int cchWideChar) {
    if (lpMultiByteStr == nullptr || cbMultiByte == 0 || cbMultiByte < -1 || cchWideChar < 0 ||
        (cchWideChar > 0 && lpWideCharStr == nullptr) ||
        static_cast<const void *>(lpMultiByteStr) == static_cast<const void *>(lpWideCharStr))
        return Fail(ERROR_INVALID_PARAMETER);
    UINT codePage = Resolve(CodePage);
    PageKind kind = KindOf(codePage);
    if (kind == PageKind::Unknown) return Fail(ERROR_INVALID_PARAMETER);
    DWORD allowed = kind == PageKind::Utf8 ? MB_ERR_INVALID_CHARS : (MB_PRECOMPOSED | MB_ERR_INVALID_CHARS);
    if ((dwFlags & ~allowed) != 0) return Fail(ERROR_INVALID_FLAGS);
    bool strict = (dwFlags & MB_ERR_INVALID_CHARS) != 0;

    size_t length = cbMultiByte == -1 ? std::strlen(lpMultiByteStr) + 1 : static_cast<size_t>(cbMultiByte);
    std::u16string wide;
    try {
        switch (kind) {
            case PageKind::SingleByte:
                vplat::SingleByteDecode(codePage, lpMultiByteStr, length, &wide);
                break;
            case PageKind::DoubleByte: {
                bool unavailable = false;
                if (!vplat::DoubleByteDecode(codePage, lpMultiByteStr, length, strict, &wide, &unavailable))
                    return Fail(unavailable ? ERROR_INVALID_PARAMETER : ERROR_NO_UNICODE_TRANSLATION);
                break;
            }
            case PageKind::Utf8:
                if (!vplat::Utf8Decode(lpMultiByteStr, length, strict, &wide))
                    return Fail(ERROR_NO_UNICODE_TRANSLATION);
                break;
            case PageKind::Unknown:
                break;
        }
    } catch (const std::bad_alloc &) {
        return Fail(ERROR_NOT_ENOUGH_MEMORY);
    }
    return Deliver(wide, lpWideCharStr, cchWideChar);
}

extern "C" PLATAPI int WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWSTR lpWideCharStr, int cchWideChar,
                                           LPSTR lpMultiByteStr, int cbMultiByte, LPCSTR lpDefaultChar,
                                           LPBOOL lpUsedDefaultChar) {
    if (lpWideCharStr == nullptr || cchWideChar == 0 || cchWideChar < -1 || cbMultiByte < 0 ||
        (cbMultiByte > 0 && lpMultiByteStr == nullptr) ||
        static_cast<const void *>(lpWideCharStr) == static_cast<const void *>(lpMultiByteStr))
        return Fail(ERROR_INVALID_PARAMETER);
    UINT codePage = Resolve(CodePage);
    PageKind kind = KindOf(codePage);
    if (kind == PageKind::Unknown) return Fail(ERROR_INVALID_PARAMETER);
    if (kind == PageKind::Utf8) {
        if ((dwFlags & ~static_cast<DWORD>(WC_ERR_INVALID_CHARS)) != 0) return Fail(ERROR_INVALID_FLAGS);
        // UTF-8 maps every character: it takes no default character.
        if (lpDefaultChar != nullptr || lpUsedDefaultChar != nullptr) return Fail(ERROR_INVALID_PARAMETER);
    } else if ((dwFlags & ~static_cast<DWORD>(WC_NO_BEST_FIT_CHARS)) != 0) {
        // No best fit is ever made, so asking for none changes nothing.
        return Fail(ERROR_INVALID_FLAGS);
    }

    size_t length = cchWideChar == -1 ? std::char_traits<char16_t>::length(lpWideCharStr) + 1
                                      : static_cast<size_t>(cchWideChar);
    char defaultChar = lpDefaultChar != nullptr ? *lpDefaultChar : '?';
    bool usedDefault = false;
    std::string narrow;
    try {
        switch (kind) {
            case PageKind::SingleByte:
                vplat::SingleByteEncode(codePage, lpWideCharStr, length, defaultChar, &usedDefault, &narrow);
                break;
            case PageKind::DoubleByte:
                if (!vplat::DoubleByteEncode(codePage, lpWideCharStr, length, defaultChar, &usedDefault, &narrow))
                    return Fail(ERROR_INVALID_PARAMETER);
                break;
            case PageKind::Utf8:
                if (!vplat::Utf8Encode(lpWideCharStr, length, (dwFlags & WC_ERR_INVALID_CHARS) != 0, &narrow))
                    return Fail(ERROR_NO_UNICODE_TRANSLATION);
                break;
            case PageKind::Unknown:
                break;
        }
    } catch (const std::bad_alloc &) {
        return Fail(ERROR_NOT_ENOUGH_MEMORY);
    }
    if (lpUsedDefaultChar != nullptr) *lpUsedDefaultChar = usedDefault ? TRUE : FALSE;
    return Deliver(narrow, lpMultiByteStr, cbMultiByte);
}

extern "C" PLATAPI BOOL IsValidCodePage(UINT CodePage) {
    switch (KindOf(CodePage)) {
        case PageKind::SingleByte:
        case PageKind::Utf8:
            return TRUE;
        case PageKind::DoubleByte:
            return vplat::DoubleByteAvailable(CodePage) ? TRUE : FALSE;
        case PageKind::Unknown:
            break;
    }
    return FALSE;
}

extern "C" PLATAPI UINT GetACP(void) { return kAnsiCodePage; }
