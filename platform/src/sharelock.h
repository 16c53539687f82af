// Share modes and "is this file open?" across every process of the device,
// kept as Linux open-file-description locks so that they vanish with the
// descriptor, even when its process dies.
//
// Each open file descriptor holds shared locks on bytes far beyond any real
// data (the file's content is never locked): an "open" byte, an "access"
// byte for each of read and write it was opened for, and a "deny" byte for
// each its share mode refuses. A new open checks the bytes it conflicts
// with and takes its own while it holds the path's gate: an exclusive lock
// on one byte of the device's gate file, chosen by the path's upper-cased
// device name. The gate lives in its own file (not the data file) because a
// read-only file cannot carry an exclusive lock for a non-root user, and a
// file being created has no descriptor to lock yet.
#ifndef VPLATFORM_SHARELOCK_H
#define VPLATFORM_SHARELOCK_H

#include <sys/types.h>

#include <cstdint>
#include <string>

#include "devicepath.h"
#include "wintypes.h"

struct flock;

namespace vplat {

// Sets, clears or (F_OFD_GETLK) tests an open-file-description lock on one
// byte of fd, again when a signal interrupts it; *out, when given, gets the
// lock structure back (a test's finding). fcntl's result and errno.
int LockFileByte(int fd, int cmd, short type, off_t start, struct flock *out = nullptr);
// FNV-1a over bytes: the same value in every process of the device, to
// spread keys over the lock bytes of a shared file.
uint64_t DeviceHash(const void *bytes, size_t size);

// Holds the gate of one device path, across threads and processes, from
// Acquire until destruction.
class PathGate {
public:
    PathGate() = default;
    ~PathGate();
    PathGate(const PathGate &) = delete;
    PathGate &operator=(const PathGate &) = delete;

    // Waits for the gate of parsed's path. Returns 0 or an error number.
    DWORD Acquire(const ParsedPath &parsed);
    // The gate byte of a path: two paths with one slot share one gate, so a
    // call that needs both takes it once.
    static uint64_t Slot(const ParsedPath &parsed);
    // Parses a named device path, waits for its gate and resolves it to its
    // host path (resolving under the gate, so that two spellings of a new
    // name make one host file). Returns 0 or an error number.
    DWORD Enter(LPCWSTR devicePath, ParsedPath *parsed, std::string *host);

private:
    int m_fd = -1;
};

// What an open asks for and what it lets others do.
struct ShareRequest {
    bool read = false;
    bool write = false;
    bool shareRead = false;
    bool shareWrite = false;
};

// With the path's gate held: checks that an open as request on fd (a fresh
// descriptor of the file, readable) agrees with every other open of the
// file, and records it. check may ask for more than request records (an
// open that truncates is checked as a writer). Returns 0,
// ERROR_SHARING_VIOLATION or another error number.
DWORD ShareAcquire(int fd, const ShareRequest &check, const ShareRequest &request);

// With the path's gate held: whether any descriptor other than fd holds
// the file open. Returns 0 or an error number.
DWORD ShareIsOpen(int fd, bool *open);

}  // namespace vplat

#endif
