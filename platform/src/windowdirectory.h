// The device's window directory: which processes of the device own windows,
// how to reach them, and which windows they own. It lives in <root>/run/wnd/:
//   next        the next process number (device-wide counter, OFD-locked)
//   <n>         process n's entry: its host pid and start time, its windows
//   <n>.sock    process n's message socket
// A process number is handed out once per device boot, so an entry or a
// socket left by a dead process can never be taken for a live one even when
// the host reuses the pid: a socket name reaches only the process that bound
// it, and an entry counts only while its pid still runs with the same start
// time.
//
// (ProcessStartTime and WriteDirectoryEntry are exported for tests that
// forge entries.)
//
// Window handles carry the owner's process number (number << 34 |
// serial << 2), so that a handle alone tells where a message must go.
#ifndef VPLATFORM_WINDOWDIRECTORY_H
#define VPLATFORM_WINDOWDIRECTORY_H

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

#include "winuser.h"

namespace vplat {

// Process numbers below this come from the device's counter; the range
// above stands for a process that could not get one (it has no socket).
constexpr uint32_t kUnlistedProcessBase = uint32_t(1) << 29;
constexpr int kProcessNumberShift = 34;

inline uint32_t HandleProcessNumber(HWND hwnd) {
    return uint32_t(reinterpret_cast<uintptr_t>(hwnd) >> kProcessNumberShift);
}

struct DirectoryWindow {
    HWND hwnd = nullptr;
    HWND parent = nullptr;
    DWORD threadId = 0;
    std::u16string className;
    std::u16string title;
};

struct DirectoryEntry {
    uint32_t number = 0;
    DWORD pid = 0;
    uint64_t startTime = 0;  // the host's start time of pid, in clock ticks since boot
    std::vector<DirectoryWindow> windows;  // oldest first
};

// The host's start time of a running process; false when pid is gone or a
// zombie.
PLATAPI bool ProcessStartTime(pid_t pid, uint64_t *startTime);
// Takes the next process number of the device at root. Returns 0 or an
// error number.
DWORD AllocateProcessNumber(const std::string &root, uint32_t *number);
// Replaces the process's entry at once (readers see the old or the new).
PLATAPI DWORD WriteDirectoryEntry(const std::string &root, const DirectoryEntry &entry);
// The entries of live processes other than skip; entries of dead processes
// are dropped on the way. Ordered by process number.
std::vector<DirectoryEntry> ReadDirectory(const std::string &root, uint32_t skip);
// Process number's entry while that process lives; a dead one's is dropped.
bool ReadDirectoryEntry(const std::string &root, uint32_t number, DirectoryEntry *entry);
// Removes process number's entry and socket (it was found dead).
void DropDirectoryEntry(const std::string &root, uint32_t number);
// A Unix socket of the device: binds (listen) or connects sock to process
// number's socket name. Returns 0 or the errno value.
int BindDirectorySocket(const std::string &root, uint32_t number, int sock);
int ConnectDirectorySocket(const std::string &root, uint32_t number, int sock);

}  // namespace vplat

#endif
