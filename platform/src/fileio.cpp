// Reading, writing, positioning and sizing an open file handle.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <limits>
#include <memory>
#include <mutex>

#include "fileobject.h"
#include "hosterror.h"
#include "winfile.h"

namespace {

using vplat::FileObject;

BOOL Fail(DWORD err) {
    SetLastError(err);
    return FALSE;
}

// The open file behind a handle with its lock held, or null with the last
// error set to ERROR_INVALID_HANDLE.
class LockedFile {
public:
    explicit LockedFile(HANDLE handle) : m_file(vplat::HandleGet<FileObject>(handle)) {
        if (m_file != nullptr) {
            m_guard = std::unique_lock<std::mutex>(m_file->Lock());
            if (m_file->Fd() < 0) m_file.reset();  // closed while we waited
        }
        if (m_file == nullptr) SetLastError(ERROR_INVALID_HANDLE);
    }
    FileObject *operator->() const { return m_file.get(); }
    explicit operator bool() const { return m_file != nullptr; }

private:
    std::shared_ptr<FileObject> m_file;
    std::unique_lock<std::mutex> m_guard;
};

}  // namespace

// Reading at or past the end succeeds with 0 bytes.
extern "C" PLATAPI BOOL ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead,
                                 LPDWORD lpNumberOfBytesRead, LPOVERLAPPED lpOverlapped) {
    if (lpNumberOfBytesRead != nullptr) *lpNumberOfBytesRead = 0;
    LockedFile file(hFile);
    if (!file) return FALSE;
    if (lpOverlapped != nullptr || (lpBuffer == nullptr && nNumberOfBytesToRead > 0))
        return Fail(ERROR_INVALID_PARAMETER);
    if (!file->CanRead()) return Fail(ERROR_ACCESS_DENIED);
    char *dest = static_cast<char *>(lpBuffer);
    DWORD done = 0;
    while (done < nNumberOfBytesToRead) {
        ssize_t n = read(file->Fd(), dest + done, nNumberOfBytesToRead - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            if (lpNumberOfBytesRead != nullptr) *lpNumberOfBytesRead = done;
            return Fail(vplat::Win32FromErrno(errno));
        }
        if (n == 0) break;
        done += static_cast<DWORD>(n);
    }
    if (lpNumberOfBytesRead != nullptr) *lpNumberOfBytesRead = done;
    return TRUE;
}

extern "C" PLATAPI BOOL WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
                                  LPDWORD lpNumberOfBytesWritten, LPOVERLAPPED lpOverlapped) {
    if (lpNumberOfBytesWritten != nullptr) *lpNumberOfBytesWritten = 0;
    LockedFile file(hFile);
    if (!file) return FALSE;
    if (lpOverlapped != nullptr || (lpBuffer == nullptr && nNumberOfBytesToWrite > 0))
        return Fail(ERROR_INVALID_PARAMETER);
    if (!file->CanWrite()) return Fail(ERROR_ACCESS_DENIED);
    const char *src = static_cast<const char *>(lpBuffer);
    DWORD done = 0;
    while (done < nNumberOfBytesToWrite) {
        ssize_t n = write(file->Fd(), src + done, nNumberOfBytesToWrite - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (lpNumberOfBytesWritten != nullptr) *lpNumberOfBytesWritten = done;
            return Fail(n == 0 ? ERROR_DISK_FULL : vplat::Win32FromErrno(errno));
        }
        done += static_cast<DWORD>(n);
    }
    if (lpNumberOfBytesWritten != nullptr) *lpNumberOfBytesWritten = done;
    return TRUE;
}

// Without lpDistanceToMoveHigh the distance is a signed 32-bit value and the
// new position must fit in 32 bits. Success clears the last error, since
// INVALID_SET_FILE_POINTER can also be a valid low part.
extern "C" PLATAPI DWORD SetFilePointer(HANDLE hFile, LONG lDistanceToMove, PLONG lpDistanceToMoveHigh,
                                        DWORD dwMoveMethod) {
    LockedFile file(hFile);
    if (!file) return INVALID_SET_FILE_POINTER;
    int64_t distance = lpDistanceToMoveHigh == nullptr
                           ? int64_t(lDistanceToMove)
                           : int64_t((uint64_t(uint32_t(*lpDistanceToMoveHigh)) << 32) | uint32_t(lDistanceToMove));
    int64_t base;
    if (dwMoveMethod == FILE_BEGIN) {
        base = 0;
    } else if (dwMoveMethod == FILE_CURRENT || dwMoveMethod == FILE_END) {
        off_t pos;
        struct stat st;
        if (dwMoveMethod == FILE_CURRENT) {
            pos = lseek(file->Fd(), 0, SEEK_CUR);
        } else {
            pos = fstat(file->Fd(), &st) == 0 ? st.st_size : -1;
        }
        if (pos < 0) {
            SetLastError(vplat::Win32FromErrno(errno));
            return INVALID_SET_FILE_POINTER;
        }
        base = pos;
    } else {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_SET_FILE_POINTER;
    }
    int64_t target;
    if (__builtin_add_overflow(base, distance, &target)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_SET_FILE_POINTER;
    }
    if (target < 0) {
        SetLastError(ERROR_NEGATIVE_SEEK);
        return INVALID_SET_FILE_POINTER;
    }
    if (lpDistanceToMoveHigh == nullptr && target > int64_t(std::numeric_limits<uint32_t>::max())) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_SET_FILE_POINTER;
    }
    if (lseek(file->Fd(), target, SEEK_SET) < 0) {
        SetLastError(vplat::Win32FromErrno(errno));
        return INVALID_SET_FILE_POINTER;
    }
    if (lpDistanceToMoveHigh != nullptr) *lpDistanceToMoveHigh = LONG(uint64_t(target) >> 32);
    SetLastError(ERROR_SUCCESS);
    return DWORD(uint64_t(target) & 0xFFFFFFFFu);
}

// Success clears the last error, since INVALID_FILE_SIZE can also be a
// valid low part.
extern "C" PLATAPI DWORD GetFileSize(HANDLE hFile, LPDWORD lpFileSizeHigh) {
    LockedFile file(hFile);
    if (!file) return INVALID_FILE_SIZE;
    struct stat st;
    if (fstat(file->Fd(), &st) != 0) {
        SetLastError(vplat::Win32FromErrno(errno));
        return INVALID_FILE_SIZE;
    }
    uint64_t size = uint64_t(st.st_size);
    if (lpFileSizeHigh != nullptr) *lpFileSizeHigh = DWORD(size >> 32);
    SetLastError(ERROR_SUCCESS);
    return DWORD(size & 0xFFFFFFFFu);
}

// Cuts or extends (with zeros) the file at the handle's position.
extern "C" PLATAPI BOOL SetEndOfFile(HANDLE hFile) {
    LockedFile file(hFile);
    if (!file) return FALSE;
    if (!file->CanWrite()) return Fail(ERROR_ACCESS_DENIED);
    off_t pos = lseek(file->Fd(), 0, SEEK_CUR);
    if (pos < 0 || ftruncate(file->Fd(), pos) != 0) return Fail(vplat::Win32FromErrno(errno));
    return TRUE;
}

extern "C" PLATAPI BOOL FlushFileBuffers(HANDLE hFile) {
    LockedFile file(hFile);
    if (!file) return FALSE;
    if (!file->CanWrite()) return Fail(ERROR_ACCESS_DENIED);
    if (fsync(file->Fd()) != 0) return Fail(vplat::Win32FromErrno(errno));
    return TRUE;
}
