// Free space of the device's volumes over statvfs of the host folder that
// holds the device path, or the numbers of the device's "freespace" file.
#include <sys/statvfs.h>

#include <cerrno>
#include <fstream>
#include <string>

#include "device.h"
#include "devicestate.h"
#include "hosterror.h"
#include "winerror.h"
#include "winstorage.h"

namespace vplat {
namespace {

constexpr char kFakeSpaceFile[] = "/freespace";

struct SpaceCounts {
    ULONGLONG available = 0, total = 0, free = 0;
};

// A byte count made only of decimal digits.
bool ParseCount(const std::string &word, ULONGLONG *count) {
    if (word.empty() || word.size() > 20) return false;
    ULONGLONG value = 0;
    for (char c : word) {
        if (c < '0' || c > '9') return false;
        const ULONGLONG digit = ULONGLONG(c - '0');
        if (value > (~0ull - digit) / 10) return false;
        value = value * 10 + digit;
    }
    *count = value;
    return true;
}

// The counts of the device's fake-space file: ERROR_FILE_NOT_FOUND when
// there is none, ERROR_GEN_FAILURE when it holds no counts or other text.
DWORD FakeCounts(const std::string &root, SpaceCounts *counts) {
    std::ifstream file(root + kFakeSpaceFile);
    if (!file) return ERROR_FILE_NOT_FOUND;
    ULONGLONG values[3];
    int n = 0;
    std::string word;
    while (file >> word) {
        if (n == 3 || !ParseCount(word, &values[n])) return ERROR_GEN_FAILURE;
        ++n;
    }
    if (n == 0) return ERROR_GEN_FAILURE;
    counts->available = values[0];
    counts->total = n > 1 ? values[1] : values[0];
    counts->free = n > 2 ? values[2] : values[0];
    return ERROR_SUCCESS;
}

DWORD QuerySpace(LPCWSTR devicePath, SpaceCounts *counts) {
    std::string host;
    if (!DeviceMapPath(devicePath != nullptr ? devicePath : u"\\", &host)) return GetLastError();
    struct statvfs vfs;
    if (statvfs(host.c_str(), &vfs) != 0) {
        return errno == ENOENT ? DWORD(ERROR_PATH_NOT_FOUND) : Win32FromErrno(errno);
    }
    std::string root;
    if (!DeviceCurrentRoot(&root)) return GetLastError();
    DWORD err = FakeCounts(root, counts);
    if (err != ERROR_FILE_NOT_FOUND) return err;
    counts->available = ULONGLONG(vfs.f_bavail) * vfs.f_frsize;
    counts->total = ULONGLONG(vfs.f_blocks) * vfs.f_frsize;
    counts->free = ULONGLONG(vfs.f_bfree) * vfs.f_frsize;
    return ERROR_SUCCESS;
}

}  // namespace
}  // namespace vplat

extern "C" PLATAPI BOOL GetDiskFreeSpaceExW(LPCWSTR lpDirectoryName, PULARGE_INTEGER lpFreeBytesAvailableToCaller,
                                            PULARGE_INTEGER lpTotalNumberOfBytes,
                                            PULARGE_INTEGER lpTotalNumberOfFreeBytes) {
    vplat::SpaceCounts counts;
    DWORD err = vplat::QuerySpace(lpDirectoryName, &counts);
    if (err != ERROR_SUCCESS) {
        SetLastError(err);
        return FALSE;
    }
    if (lpFreeBytesAvailableToCaller != nullptr) lpFreeBytesAvailableToCaller->QuadPart = counts.available;
    if (lpTotalNumberOfBytes != nullptr) lpTotalNumberOfBytes->QuadPart = counts.total;
    if (lpTotalNumberOfFreeBytes != nullptr) lpTotalNumberOfFreeBytes->QuadPart = counts.free;
    return TRUE;
}
