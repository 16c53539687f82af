#include "sharelock.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <limits>

#include "hosterror.h"
#include "winerror.h"

namespace vplat {
namespace {

// Lock bytes of a data file, at the top of the 64-bit offset range.
constexpr off_t kLockBase = std::numeric_limits<off_t>::max() - 7;
enum LockByte : off_t { kOpen = 0, kAccessRead = 1, kAccessWrite = 2, kDenyRead = 3, kDenyWrite = 4 };

// Gate bytes are spread over this range of the gate file by a hash of the
// path; two paths sharing a byte only wait for each other.
constexpr uint64_t kGateRange = uint64_t(1) << 40;

const char kGateFile[] = "/run/filegate";

// Whether another open file description holds a lock on the byte.
DWORD Held(int fd, LockByte byte, bool *held) {
    struct flock fl;
    if (LockFileByte(fd, F_OFD_GETLK, F_WRLCK, kLockBase + byte, &fl) < 0) return Win32FromErrno(errno);
    *held = fl.l_type != F_UNLCK;
    return ERROR_SUCCESS;
}

}  // namespace

uint64_t DeviceHash(const void *bytes, size_t size) {
    uint64_t h = 14695981039346656037ull;
    for (size_t i = 0; i < size; ++i) h = (h ^ static_cast<const unsigned char *>(bytes)[i]) * 1099511628211ull;
    return h;
}

int LockFileByte(int fd, int cmd, short type, off_t start, struct flock *out) {
    struct flock fl = {};
    fl.l_type = type;
    fl.l_whence = SEEK_SET;
    fl.l_start = start;
    fl.l_len = 1;
    int rc;
    do {
        rc = fcntl(fd, cmd, &fl);
    } while (rc < 0 && errno == EINTR);
    if (out != nullptr) *out = fl;
    return rc;
}

PathGate::~PathGate() {
    if (m_fd >= 0) close(m_fd);  // closing releases the gate
}

DWORD PathGate::Acquire(const ParsedPath &parsed) {
    std::string gatePath = parsed.deviceRoot + kGateFile;
    int fd = open(gatePath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) return Win32FromErrno(errno);
    if (LockFileByte(fd, F_OFD_SETLKW, F_WRLCK, static_cast<off_t>(Slot(parsed))) < 0) {
        DWORD err = Win32FromErrno(errno);
        close(fd);
        return err;
    }
    if (m_fd >= 0) close(m_fd);
    m_fd = fd;
    return ERROR_SUCCESS;
}

// The same byte in every program of the device for one device path.
uint64_t PathGate::Slot(const ParsedPath &parsed) {
    return DeviceHash(parsed.key.data(), parsed.key.size() * sizeof(char16_t)) % kGateRange;
}

DWORD PathGate::Enter(LPCWSTR devicePath, ParsedPath *parsed, std::string *host) {
    DWORD err = ParseNamedPath(devicePath, parsed);
    if (err == ERROR_SUCCESS) err = Acquire(*parsed);
    if (err == ERROR_SUCCESS) *host = ResolveDevicePath(*parsed);
    return err;
}

DWORD ShareAcquire(int fd, const ShareRequest &check, const ShareRequest &request) {
    // Each pair: a byte this open would conflict with, and whether it does.
    const struct {
        LockByte byte;
        bool conflicts;
    } checks[] = {
        {kDenyRead, check.read},
        {kDenyWrite, check.write},
        {kAccessRead, (check.read || check.write) && !check.shareRead},
        {kAccessWrite, (check.read || check.write) && !check.shareWrite},
    };
    for (const auto &c : checks) {
        if (!c.conflicts) continue;
        bool held = false;
        DWORD err = Held(fd, c.byte, &held);
        if (err != ERROR_SUCCESS) return err;
        if (held) return ERROR_SHARING_VIOLATION;
    }

    // An open with neither read nor write access takes no part in sharing.
    bool data = request.read || request.write;
    const struct {
        LockByte byte;
        bool take;
    } takes[] = {
        {kOpen, true},
        {kAccessRead, request.read},
        {kAccessWrite, request.write},
        {kDenyRead, data && !request.shareRead},
        {kDenyWrite, data && !request.shareWrite},
    };
    for (const auto &t : takes) {
        if (t.take && LockFileByte(fd, F_OFD_SETLK, F_RDLCK, kLockBase + t.byte) < 0) return Win32FromErrno(errno);
    }
    return ERROR_SUCCESS;
}

DWORD ShareIsOpen(int fd, bool *open) { return Held(fd, kOpen, open); }

}  // namespace vplat
