// Deleting files and reading or setting their attributes. The read-only
// attribute is the host file's owner-write bit; every ordinary file also
// reports FILE_ATTRIBUTE_ARCHIVE, as the device marks files it has written.
#include <fcntl.h>
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

// The host path of a device path that names an existing file or folder.
DWORD ExistingPath(LPCWSTR name, std::string *host, struct stat *st) {
    vplat::ParsedPath parsed;
    DWORD err = vplat::ParseNamedPath(name, &parsed);
    if (err != ERROR_SUCCESS) return err;
    *host = vplat::ResolveDevicePath(parsed);
    if (stat(host->c_str(), st) != 0)
        return errno == ENOENT ? vplat::MissingPathError(*host) : vplat::Win32FromErrno(errno);
    return ERROR_SUCCESS;
}

}  // namespace

// Refuses folders, read-only files and files that any handle of the device
// holds open (the host would unlink an open file; the device does not).
extern "C" PLATAPI BOOL DeleteFileW(LPCWSTR lpFileName) {
    using namespace vplat;
    ParsedPath parsed;
    std::string host;
    PathGate gate;
    DWORD err = gate.Enter(lpFileName, &parsed, &host);
    if (err != ERROR_SUCCESS) return Fail(err);

    struct stat st;
    if (stat(host.c_str(), &st) != 0)
        return Fail(errno == ENOENT ? MissingPathError(host) : Win32FromErrno(errno));
    if (!S_ISREG(st.st_mode) || (st.st_mode & S_IWUSR) == 0) return Fail(ERROR_ACCESS_DENIED);

    int fd = open(host.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return Fail(Win32FromErrno(errno));
    bool open = false;
    err = ShareIsOpen(fd, &open);
    if (err == ERROR_SUCCESS && open) err = ERROR_SHARING_VIOLATION;
    if (err == ERROR_SUCCESS && unlink(host.c_str()) != 0) err = Win32FromErrno(errno);
    close(fd);
    return err == ERROR_SUCCESS ? TRUE : Fail(err);
}

extern "C" PLATAPI DWORD GetFileAttributesW(LPCWSTR lpFileName) {
    std::string host;
    struct stat st;
    DWORD err = ExistingPath(lpFileName, &host, &st);
    if (err != ERROR_SUCCESS) {
        SetLastError(err);
        return INVALID_FILE_ATTRIBUTES;
    }
    if (S_ISDIR(st.st_mode)) return FILE_ATTRIBUTE_DIRECTORY;
    DWORD attributes = FILE_ATTRIBUTE_ARCHIVE;
    if ((st.st_mode & S_IWUSR) == 0) attributes |= FILE_ATTRIBUTE_READONLY;
    return attributes;
}

// Only FILE_ATTRIBUTE_READONLY is kept, and only on files: it is set when
// given and cleared otherwise (FILE_ATTRIBUTE_NORMAL clears it). Open
// handles keep the access they were opened with.
extern "C" PLATAPI BOOL SetFileAttributesW(LPCWSTR lpFileName, DWORD dwFileAttributes) {
    std::string host;
    struct stat st;
    DWORD err = ExistingPath(lpFileName, &host, &st);
    if (err != ERROR_SUCCESS) return Fail(err);
    if (!S_ISREG(st.st_mode)) return TRUE;
    mode_t mode = st.st_mode & 07777;
    mode = (dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0 ? (mode & ~S_IWUSR) : (mode | S_IWUSR);
    if (mode != (st.st_mode & 07777) && chmod(host.c_str(), mode) != 0) return Fail(vplat::Win32FromErrno(errno));
    return TRUE;
}
