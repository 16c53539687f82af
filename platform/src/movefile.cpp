// Moving and renaming files and folders of the device. Both names' gates
// are held for the whole call, so that no open, create or delete of either
// name slips in between the checks and the rename.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "devicepath.h"
#include "hosterror.h"
#include "sharelock.h"
#include "utf8.h"
#include "winfile.h"

namespace {

BOOL Fail(DWORD err) {
    SetLastError(err);
    return FALSE;
}

// Whether any handle of the device holds the host file open (the gate of
// its name must be held).
DWORD HeldOpen(const std::string &host, bool *open) {
    int fd = ::open(host.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return vplat::Win32FromErrno(errno);
    DWORD err = vplat::ShareIsOpen(fd, open);
    close(fd);
    return err;
}

// The checks a replaced file must pass: a plain file, writable, not open.
DWORD CheckReplaceable(const std::string &host, const struct stat &st) {
    if (!S_ISREG(st.st_mode) || (st.st_mode & S_IWUSR) == 0) return ERROR_ACCESS_DENIED;
    bool open = false;
    DWORD err = HeldOpen(host, &open);
    if (err == ERROR_SUCCESS && open) err = ERROR_SHARING_VIOLATION;
    return err;
}

// A file open anywhere on the device keeps its name.
DWORD CheckMovable(const std::string &host, const struct stat &st) {
    if (!S_ISREG(st.st_mode)) return ERROR_SUCCESS;
    bool open = false;
    DWORD err = HeldOpen(host, &open);
    if (err == ERROR_SUCCESS && open) err = ERROR_SHARING_VIOLATION;
    return err;
}

// A new name that differs from the file's own only in case (both gates
// held): the last component takes the new spelling, as the device keeps it.
BOOL RenameCase(const std::string &source, const struct stat &st, const std::u16string &newName) {
    std::string spelling;
    vplat::Utf8Encode(newName.data(), newName.size(), true, &spelling);
    const std::string target = source.substr(0, source.rfind('/') + 1) + spelling;
    if (target == source) return TRUE;  // already spelled so
    // Another host entry of that exact spelling is not this file: keep both.
    struct stat other;
    if (lstat(target.c_str(), &other) == 0) return Fail(ERROR_ALREADY_EXISTS);
    DWORD err = CheckMovable(source, st);
    if (err != ERROR_SUCCESS) return Fail(err);
    if (std::rename(source.c_str(), target.c_str()) != 0) return Fail(vplat::Win32FromErrno(errno));
    return TRUE;
}

}  // namespace

extern "C" PLATAPI BOOL MoveFileW(LPCWSTR lpExistingFileName, LPCWSTR lpNewFileName) {
    return MoveFileExW(lpExistingFileName, lpNewFileName, 0);
}

// rename(2) makes the replace atomic. A read-only file may be moved (the
// attribute guards its content, not its name), but not replaced.
extern "C" PLATAPI BOOL MoveFileExW(LPCWSTR lpExistingFileName, LPCWSTR lpNewFileName, DWORD dwFlags) {
    using namespace vplat;
    if ((dwFlags & ~static_cast<DWORD>(MOVEFILE_REPLACE_EXISTING)) != 0) return Fail(ERROR_INVALID_PARAMETER);
    const bool replace = (dwFlags & MOVEFILE_REPLACE_EXISTING) != 0;

    ParsedPath from, to;
    DWORD err = ParseNamedPath(lpExistingFileName, &from);
    if (err == ERROR_SUCCESS) err = ParseNamedPath(lpNewFileName, &to);
    if (err != ERROR_SUCCESS) return Fail(err);
    if (from.components.empty() || to.components.empty()) return Fail(ERROR_ACCESS_DENIED);

    // Gates are taken in the order of their slots, so two moves of the same
    // pair in opposite directions cannot wait for each other; names that
    // share a slot share its gate, which is taken once.
    const bool sameName = from.key == to.key;
    const uint64_t fromSlot = PathGate::Slot(from);
    const uint64_t toSlot = PathGate::Slot(to);
    PathGate firstGate, secondGate;
    err = firstGate.Acquire(fromSlot < toSlot ? from : to);
    if (err == ERROR_SUCCESS && fromSlot != toSlot) err = secondGate.Acquire(fromSlot < toSlot ? to : from);
    if (err != ERROR_SUCCESS) return Fail(err);
    const std::string source = ResolveDevicePath(from);
    const std::string target = ResolveDevicePath(to);

    struct stat st;
    if (stat(source.c_str(), &st) != 0)
        return Fail(errno == ENOENT ? MissingPathError(source) : Win32FromErrno(errno));
    if (sameName) return RenameCase(source, st, to.components.back());
    err = CheckMovable(source, st);
    if (err != ERROR_SUCCESS) return Fail(err);

    struct stat targetStat;
    if (stat(target.c_str(), &targetStat) == 0) {
        if (!replace) return Fail(ERROR_ALREADY_EXISTS);
        if (!S_ISREG(st.st_mode)) return Fail(ERROR_ACCESS_DENIED);
        err = CheckReplaceable(target, targetStat);
        if (err != ERROR_SUCCESS) return Fail(err);
    } else {
        if (errno != ENOENT) return Fail(Win32FromErrno(errno));
        if (MissingPathError(target) == ERROR_PATH_NOT_FOUND) return Fail(ERROR_PATH_NOT_FOUND);
    }
    if (std::rename(source.c_str(), target.c_str()) != 0) return Fail(Win32FromErrno(errno));
    return TRUE;
}
