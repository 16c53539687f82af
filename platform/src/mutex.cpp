// CreateMutexW and ReleaseMutex; WaitForSingleObject takes a mutex through
// MutexObject::Acquire.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <utility>

#include "devicestate.h"
#include "hosterror.h"
#include "mutexobject.h"
#include "sharelock.h"
#include "winerror.h"
#include "winstr.h"
#include "winthread.h"

namespace vplat {

namespace {

// Each name has two lock bytes in the device's mutex file, spread by a hash
// of the name: the even one is held (write lock) by the owning process, the
// odd one (read lock) by every process that has the name open, so that a
// creator can tell that the mutex exists elsewhere.
constexpr uint64_t kSlotRange = uint64_t(1) << 40;
const char kMutexFile[] = "/run/mutexes";

// The pair of bytes of a name already folded to upper case.
off_t SlotOf(const std::u16string &folded) {
    return static_cast<off_t>((DeviceHash(folded.data(), folded.size() * sizeof(char16_t)) % kSlotRange) * 2);
}


}  // namespace

// The state of one mutex in this process: which thread owns it and how
// often, and for a named one the open mutex file (-1 for an unnamed one).
class MutexState {
public:
    MutexState(int fd, off_t slot) : m_fd(fd), m_slot(slot) {}
    ~MutexState() {
        // Only this process's own descriptor: a forked child's copy shares
        // the parent's locks, and closing it releases nothing of theirs.
        if (m_fd >= 0) close(m_fd);
    }
    MutexState(const MutexState &) = delete;
    MutexState &operator=(const MutexState &) = delete;

    bool Acquire(DWORD timeoutMs);
    bool Release();

private:
    // Takes the device-wide byte for this process, by the deadline.
    bool LockDevice(DWORD timeoutMs, std::chrono::steady_clock::time_point deadline);

    std::mutex m_lock;
    std::condition_variable m_changed;
    DWORD m_owner = 0;   // the owning (or acquiring) thread, 0 when free
    DWORD m_count = 0;   // recursion depth; 0 while the owner still acquires
    int m_fd;
    off_t m_slot;
};

bool MutexState::LockDevice(DWORD timeoutMs, std::chrono::steady_clock::time_point deadline) {
    if (m_fd < 0) return true;
    if (timeoutMs == INFINITE) return LockFileByte(m_fd, F_OFD_SETLKW, F_WRLCK, m_slot) == 0;
    // Another process holds it: try again until the deadline, backing off
    // from 1 to 8 ms so that a short hold costs little.
    auto pause = std::chrono::milliseconds(1);
    for (;;) {
        if (LockFileByte(m_fd, F_OFD_SETLK, F_WRLCK, m_slot) == 0) return true;
        if (errno != EAGAIN && errno != EACCES) return false;
        auto now = std::chrono::steady_clock::now();
        if (now >= deadline) return false;
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(pause, deadline - now));
        pause = std::min(pause * 2, std::chrono::milliseconds(8));
    }
}

bool MutexState::Acquire(DWORD timeoutMs) {
    const DWORD self = GetCurrentThreadId();
    const auto deadline = std::chrono::steady_clock::now() +
                          std::chrono::milliseconds(timeoutMs == INFINITE ? 0 : timeoutMs);
    std::unique_lock<std::mutex> guard(m_lock);
    if (m_owner == self && m_count > 0) {
        ++m_count;
        return true;
    }
    auto free = [this] { return m_owner == 0; };
    if (timeoutMs == INFINITE)
        m_changed.wait(guard, free);
    else if (!m_changed.wait_until(guard, deadline, free))
        return false;
    // This thread acquires for the process; others of it wait on m_owner.
    m_owner = self;
    guard.unlock();
    const bool locked = LockDevice(timeoutMs, deadline);
    guard.lock();
    if (locked) {
        m_count = 1;
        return true;
    }
    m_owner = 0;
    guard.unlock();
    m_changed.notify_all();
    return false;
}

bool MutexState::Release() {
    std::unique_lock<std::mutex> guard(m_lock);
    if (m_owner != GetCurrentThreadId() || m_count == 0) return false;
    if (--m_count > 0) return true;
    if (m_fd >= 0) LockFileByte(m_fd, F_OFD_SETLK, F_UNLCK, m_slot);
    m_owner = 0;
    guard.unlock();
    m_changed.notify_all();
    return true;
}

bool MutexObject::Acquire(DWORD timeoutMs) { return m_state->Acquire(timeoutMs); }
bool MutexObject::Release() { return m_state->Release(); }

namespace {

// This process's named mutexes, by device and folded name; a state lives
// while a handle holds it.
struct NamedTable {
    std::mutex lock;
    pid_t pid = 0;
    std::map<std::pair<std::string, std::u16string>, std::weak_ptr<MutexState>> states;
};

NamedTable &Table() {
    static NamedTable *table = new NamedTable;  // used until the process ends
    return *table;
}

std::u16string Folded(LPCWSTR name) {
    std::u16string folded(name);
    for (char16_t &u : folded) u = towupper16(u);
    return folded;
}

// The state of a named mutex, made on first use in this process.
DWORD NamedState(LPCWSTR name, std::shared_ptr<MutexState> *out, bool *existed) {
    std::string root;
    if (!DeviceCurrentRoot(&root)) return GetLastError();
    NamedTable &table = Table();
    std::lock_guard<std::mutex> guard(table.lock);
    if (table.pid != getpid()) {
        // A forked child makes its own states: the parent's descriptors
        // carry the parent's locks (handles do not cross a fork).
        table.states.clear();
        table.pid = getpid();
    }
    const auto key = std::make_pair(root, Folded(name));
    if (auto state = table.states[key].lock()) {
        *out = state;
        *existed = true;
        return ERROR_SUCCESS;
    }
    const std::string path = root + kMutexFile;
    int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) return Win32FromErrno(errno);
    const off_t slot = SlotOf(key.second);
    // Whether another process has the name open, then this one too.
    struct flock probe = {};
    *existed = LockFileByte(fd, F_OFD_GETLK, F_WRLCK, slot + 1, &probe) == 0 && probe.l_type != F_UNLCK;
    if (LockFileByte(fd, F_OFD_SETLK, F_RDLCK, slot + 1) != 0) {
        DWORD err = Win32FromErrno(errno);
        close(fd);
        return err;
    }
    auto state = std::make_shared<MutexState>(fd, slot);
    table.states[key] = state;
    *out = state;
    return ERROR_SUCCESS;
}

}  // namespace

}  // namespace vplat

extern "C" PLATAPI HANDLE CreateMutexW(LPSECURITY_ATTRIBUTES, BOOL bInitialOwner, LPCWSTR lpName) {
    std::shared_ptr<vplat::MutexState> state;
    bool existed = false;
    if (lpName == nullptr || lpName[0] == 0) {
        state = std::make_shared<vplat::MutexState>(-1, 0);
    } else {
        DWORD err = vplat::NamedState(lpName, &state, &existed);
        if (err != ERROR_SUCCESS) {
            SetLastError(err);
            return nullptr;
        }
    }
    auto object = std::make_shared<vplat::MutexObject>(state);
    // An existing mutex is opened, never taken: the initial owner is only the creator.
    if (bInitialOwner && !existed) object->Acquire(INFINITE);
    HANDLE handle = vplat::HandleInsert(object);
    SetLastError(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return handle;
}

extern "C" PLATAPI BOOL ReleaseMutex(HANDLE hMutex) {
    auto object = vplat::HandleGet<vplat::MutexObject>(hMutex);
    if (object == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!object->Release()) {
        SetLastError(ERROR_NOT_OWNER);
        return FALSE;
    }
    return TRUE;
}
