// The device's folder for temporary files and unique names in it.
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>

#include "winfile.h"

namespace {

constexpr char16_t kTempPath[] = u"\\Temp\\";
constexpr DWORD kTempPathLength = sizeof(kTempPath) / sizeof(kTempPath[0]) - 1;

// Numbers for names picked here: a start that differs between processes,
// so that programs sharing the device rarely try the same names, then one
// apart. The process id is mixed in at each pick, so that processes forked
// from one parent (which share its start) do not walk the same names.
UINT NextUnique() {
    static std::atomic<UINT> next{UINT(std::chrono::steady_clock::now().time_since_epoch().count()) * 2654435761u};
    UINT value;
    do {
        value = (next.fetch_add(1) + UINT(getpid()) * 2654435761u) & 0xFFFF;
    } while (value == 0);
    return value;
}

std::u16string TempName(const std::u16string &base, UINT unique) {
    char hex[8];
    std::snprintf(hex, sizeof hex, "%04X", unique & 0xFFFF);
    std::u16string name = base;
    for (const char *p = hex; *p != 0; ++p) name.push_back(char16_t(*p));
    name += u".TMP";
    return name;
}

}  // namespace

// Returns the length without the terminator, or, when the buffer is too
// small, the size it needs including the terminator (the buffer untouched).
extern "C" PLATAPI DWORD GetTempPathW(DWORD nBufferLength, LPWSTR lpBuffer) {
    if (lpBuffer == nullptr || nBufferLength < kTempPathLength + 1) return kTempPathLength + 1;
    for (DWORD i = 0; i <= kTempPathLength; ++i) lpBuffer[i] = kTempPath[i];
    return kTempPathLength;
}

// lpTempFileName receives path + up to 3 units of the prefix + 4 hex digits
// + ".TMP" (at most MAX_PATH units with the terminator). uUnique 0: picks a
// number whose file does not exist yet and creates that file empty;
// otherwise only builds the name from uUnique's low 16 bits. Returns the
// number used, or 0 on failure.
extern "C" PLATAPI UINT GetTempFileNameW(LPCWSTR lpPathName, LPCWSTR lpPrefixString, UINT uUnique,
                                         LPWSTR lpTempFileName) {
    if (lpPathName == nullptr || lpTempFileName == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::u16string base = lpPathName;
    if (!base.empty() && base.back() != u'\\' && base.back() != u'/') base.push_back(u'\\');
    for (int i = 0; lpPrefixString != nullptr && i < 3 && lpPrefixString[i] != 0; ++i)
        base.push_back(lpPrefixString[i]);
    if (base.size() + 8 > MAX_PATH - 1) {
        SetLastError(ERROR_BUFFER_OVERFLOW);
        return 0;
    }

    std::u16string name;
    UINT result = uUnique;
    if (uUnique != 0) {
        name = TempName(base, uUnique);
    } else {
        DWORD err = ERROR_FILE_EXISTS;
        for (UINT tries = 0; tries < 0xFFFF && err == ERROR_FILE_EXISTS; ++tries) {
            result = NextUnique();
            name = TempName(base, result);
            HANDLE file = CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
            if (file != INVALID_HANDLE_VALUE) {
                CloseHandle(file);
                err = ERROR_SUCCESS;
            } else {
                err = GetLastError();
            }
        }
        if (err != ERROR_SUCCESS) {
            SetLastError(err);
            return 0;
        }
    }
    std::copy(name.begin(), name.end(), lpTempFileName);
    lpTempFileName[name.size()] = 0;
    return result;
}
