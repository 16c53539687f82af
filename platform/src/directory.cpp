// Creating and removing folders of the device.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "devicepath.h"
#include "hosterror.h"
#include "sharelock.h"
#include "winfile.h"

namespace {

BOOL Fail(DWORD err) {
    SetLastError(err);
    return FALSE;
}

}  // namespace

// Creates one folder; its parent must exist.
extern "C" PLATAPI BOOL CreateDirectoryW(LPCWSTR lpPathName, LPSECURITY_ATTRIBUTES) {
    using namespace vplat;
    // The gate keeps two creators of one name in different cases from
    // making two host folders.
    ParsedPath parsed;
    std::string host;
    PathGate gate;
    DWORD err = gate.Enter(lpPathName, &parsed, &host);
    if (err != ERROR_SUCCESS) return Fail(err);

    struct stat st;
    if (stat(host.c_str(), &st) == 0) return Fail(ERROR_ALREADY_EXISTS);
    if (errno != ENOENT) return Fail(Win32FromErrno(errno));
    if (MissingPathError(host) == ERROR_PATH_NOT_FOUND) return Fail(ERROR_PATH_NOT_FOUND);
    if (mkdir(host.c_str(), 0777) != 0) return Fail(Win32FromErrno(errno));
    return TRUE;
}

// Removes one empty folder; the device's "\" cannot be removed.
extern "C" PLATAPI BOOL RemoveDirectoryW(LPCWSTR lpPathName) {
    using namespace vplat;
    ParsedPath parsed;
    DWORD err = ParseNamedPath(lpPathName, &parsed);
    if (err != ERROR_SUCCESS) return Fail(err);
    if (parsed.components.empty()) return Fail(ERROR_ACCESS_DENIED);
    std::string host = ResolveDevicePath(parsed);

    struct stat st;
    if (stat(host.c_str(), &st) != 0)
        return Fail(errno == ENOENT ? MissingPathError(host) : Win32FromErrno(errno));
    if (!S_ISDIR(st.st_mode)) return Fail(ERROR_DIRECTORY);
    if (rmdir(host.c_str()) != 0) return Fail(errno == EEXIST ? ERROR_DIR_NOT_EMPTY : Win32FromErrno(errno));
    return TRUE;
}
