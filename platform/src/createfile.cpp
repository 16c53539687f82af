// CreateFileW: opening and creating files of the device, with the
// platform's dispositions, read-only attribute and share modes.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>

#include "devicepath.h"
#include "fileobject.h"
#include "hosterror.h"
#include "sharelock.h"
#include "winfile.h"

namespace {

HANDLE Fail(DWORD err) {
    SetLastError(err);
    return INVALID_HANDLE_VALUE;
}

}  // namespace

// Attributes and flags in dwFlagsAndAttributes, security attributes and
// the template are accepted and not used.
extern "C" PLATAPI HANDLE CreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                                      LPSECURITY_ATTRIBUTES, DWORD dwCreationDisposition, DWORD, HANDLE) {
    using namespace vplat;
    if (dwCreationDisposition < CREATE_NEW || dwCreationDisposition > TRUNCATE_EXISTING)
        return Fail(ERROR_INVALID_PARAMETER);
    ShareRequest request;
    request.read = (dwDesiredAccess & GENERIC_READ) != 0;
    request.write = (dwDesiredAccess & GENERIC_WRITE) != 0;
    request.shareRead = (dwShareMode & FILE_SHARE_READ) != 0;
    request.shareWrite = (dwShareMode & FILE_SHARE_WRITE) != 0;
    if (dwCreationDisposition == TRUNCATE_EXISTING && !request.write) return Fail(ERROR_INVALID_PARAMETER);

    ParsedPath parsed;
    std::string host;
    PathGate gate;
    DWORD err = gate.Enter(lpFileName, &parsed, &host);
    if (err != ERROR_SUCCESS) return Fail(err);

    struct stat st;
    bool exists = stat(host.c_str(), &st) == 0;
    if (!exists) {
        if (errno != ENOENT) return Fail(Win32FromErrno(errno));
        err = MissingPathError(host);
        if (err == ERROR_PATH_NOT_FOUND || dwCreationDisposition == OPEN_EXISTING ||
            dwCreationDisposition == TRUNCATE_EXISTING)
            return Fail(err);
    } else {
        if (!S_ISREG(st.st_mode)) return Fail(ERROR_ACCESS_DENIED);
        if (dwCreationDisposition == CREATE_NEW) return Fail(ERROR_FILE_EXISTS);
    }
    bool truncate =
        exists && (dwCreationDisposition == CREATE_ALWAYS || dwCreationDisposition == TRUNCATE_EXISTING);
    // The read-only attribute is enforced here: the kernel ignores the
    // permission bit for root.
    bool readOnly = exists && (st.st_mode & S_IWUSR) == 0;
    if (readOnly && (request.write || truncate)) return Fail(ERROR_ACCESS_DENIED);

    int flags = O_CLOEXEC | (request.write || truncate ? O_RDWR : O_RDONLY) | (exists ? 0 : O_CREAT | O_EXCL);
    int fd = open(host.c_str(), flags, 0666);
    if (fd < 0) return Fail(errno == EEXIST ? ERROR_FILE_EXISTS : Win32FromErrno(errno));
    auto failOpen = [&](DWORD code) {
        close(fd);
        if (!exists) unlink(host.c_str());  // leave nothing half-made behind
        return Fail(code);
    };
    if (fstat(fd, &st) != 0) return failOpen(Win32FromErrno(errno));
    if (!S_ISREG(st.st_mode)) return failOpen(ERROR_ACCESS_DENIED);

    // Emptying the file is a write, whatever access the handle asks for.
    ShareRequest check = request;
    check.write = check.write || truncate;
    err = ShareAcquire(fd, check, request);
    if (err != ERROR_SUCCESS) return failOpen(err);
    if (truncate && ftruncate(fd, 0) != 0) return failOpen(Win32FromErrno(errno));

    HANDLE handle = HandleInsert(std::make_shared<FileObject>(fd, request.read, request.write));
    bool existed = exists && (dwCreationDisposition == CREATE_ALWAYS || dwCreationDisposition == OPEN_ALWAYS);
    SetLastError(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return handle;
}
