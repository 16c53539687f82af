#include "TempFileSweep.h"

#include <algorithm>
#include <atomic>
#include <string>

#include "winfile.h"
#include "winstr.h"
#include "winthread.h"

const WCHAR kTempFilePrefix[] = u"$KW";

namespace {

bool IsHexDigit(WCHAR c) { return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F') || (c >= u'a' && c <= u'f'); }

// "$KW" + four hex digits + ".TMP", as the platform makes them (names
// compare without case on the device).
bool IsTempFileName(const std::u16string &name) {
    return name.size() == 11 && _wcsicmp(name.substr(0, 3).c_str(), kTempFilePrefix) == 0 &&
           std::all_of(name.begin() + 3, name.begin() + 7, IsHexDigit) && _wcsicmp(name.c_str() + 7, u".TMP") == 0;
}

}  // namespace

DErrorCode SweepStaleTempFiles(uint32_t *removed) {
    if (removed != nullptr) *removed = 0;
    WCHAR folder[MAX_PATH + 1];
    DWORD length = GetTempPathW(MAX_PATH, folder);
    if (length == 0 || length > MAX_PATH) return vfileErrUnknown;
    const std::u16string base(folder, length);
    WIN32_FIND_DATAW entry;
    HANDLE find = FindFirstFileW((base + kTempFilePrefix + u"????.TMP").c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE) {
        DWORD err = GetLastError();
        return err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND ? kNoError : err;
    }
    do {
        const std::u16string name = entry.cFileName;
        if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 || !IsTempFileName(name)) continue;
        // Refused while any process holds the file: a live process's file stays.
        if (DeleteFileW((base + name).c_str()) && removed != nullptr) ++*removed;
    } while (FindNextFileW(find, &entry));
    FindClose(find);
    return kNoError;
}

void SweepStaleTempFilesOnce() {
    // Kept by process id: a forked child starts as a process of its own.
    static std::atomic<DWORD> sweptIn{0};
    const DWORD self = GetCurrentProcessId();
    if (sweptIn.exchange(self) != self) SweepStaleTempFiles(nullptr);
}
