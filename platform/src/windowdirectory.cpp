// The window directory's files: the process counter, the entries and the
// socket names. An entry is written to a temporary name and renamed over
// the old one; it is read with every length checked, so that a damaged
// file is skipped, never trusted.
#include "windowdirectory.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <algorithm>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>

#include "hosterror.h"
#include "sharelock.h"
#include "winerror.h"

namespace vplat {
namespace {

const char kMagic[4] = {'V', 'W', 'D', '1'};
constexpr size_t kMaxEntryBytes = 16 << 20;

std::string Folder(const std::string &root) { return root + "/run/wnd"; }
std::string EntryPath(const std::string &root, uint32_t number) {
    return Folder(root) + "/" + std::to_string(number);
}

void Put(std::string *out, const void *data, size_t size) { out->append(static_cast<const char *>(data), size); }
template <typename T>
void PutValue(std::string *out, T value) {
    Put(out, &value, sizeof value);
}
void PutUnits(std::string *out, const std::u16string &text) {
    PutValue(out, uint32_t(text.size()));
    Put(out, text.data(), text.size() * sizeof(char16_t));
}

// Reads values off a byte string; once a read overruns, every later one fails.
class Reader {
public:
    explicit Reader(const std::string &bytes) : m_bytes(bytes) {}
    template <typename T>
    bool Value(T *value) {
        if (m_bytes.size() - m_at < sizeof *value) return false;
        memcpy(value, m_bytes.data() + m_at, sizeof *value);
        m_at += sizeof *value;
        return true;
    }
    bool Units(std::u16string *text) {
        uint32_t length = 0;
        if (!Value(&length) || (m_bytes.size() - m_at) / sizeof(char16_t) < length) return false;
        text->resize(length);
        memcpy(&(*text)[0], m_bytes.data() + m_at, length * sizeof(char16_t));
        m_at += length * sizeof(char16_t);
        return true;
    }
    bool AtEnd() const { return m_at == m_bytes.size(); }

private:
    const std::string &m_bytes;
    size_t m_at = 0;
};

bool ParseEntry(const std::string &bytes, DirectoryEntry *entry) {
    if (bytes.size() < sizeof kMagic || memcmp(bytes.data(), kMagic, sizeof kMagic) != 0) return false;
    Reader r(bytes);
    char magic[sizeof kMagic];
    uint32_t count = 0;
    if (!r.Value(&magic) || !r.Value(&entry->number) || !r.Value(&entry->pid) || !r.Value(&entry->startTime) ||
        !r.Value(&count))
        return false;
    entry->windows.clear();
    for (uint32_t i = 0; i < count; ++i) {
        DirectoryWindow w;
        uint64_t hwnd = 0, parent = 0;
        if (!r.Value(&hwnd) || !r.Value(&parent) || !r.Value(&w.threadId) || !r.Units(&w.className) ||
            !r.Units(&w.title))
            return false;
        w.hwnd = reinterpret_cast<HWND>(uintptr_t(hwnd));
        w.parent = reinterpret_cast<HWND>(uintptr_t(parent));
        entry->windows.push_back(std::move(w));
    }
    return r.AtEnd();
}

bool ReadFile(const std::string &path, std::string *bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream text;
    text << in.rdbuf();
    *bytes = text.str();
    return bytes->size() <= kMaxEntryBytes;
}

// Reads and checks one entry: false when it is missing or damaged; *alive
// tells whether its process still runs.
bool LoadEntry(const std::string &root, uint32_t number, DirectoryEntry *entry, bool *alive) {
    std::string bytes;
    if (!ReadFile(EntryPath(root, number), &bytes) || !ParseEntry(bytes, entry) || entry->number != number)
        return false;
    uint64_t started = 0;
    *alive = ProcessStartTime(pid_t(entry->pid), &started) && started == entry->startTime;
    return true;
}

// The socket's address; a name too long for sun_path goes through a
// descriptor of the folder (*dirFd, closed by the caller).
bool SocketAddress(const std::string &root, uint32_t number, sockaddr_un *addr, int *dirFd) {
    memset(addr, 0, sizeof *addr);
    addr->sun_family = AF_UNIX;
    std::string name = std::to_string(number) + ".sock";
    std::string path = Folder(root) + "/" + name;
    *dirFd = -1;
    if (path.size() >= sizeof addr->sun_path) {
        *dirFd = open(Folder(root).c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        if (*dirFd < 0) return false;
        path = "/proc/self/fd/" + std::to_string(*dirFd) + "/" + name;
    }
    memcpy(addr->sun_path, path.c_str(), path.size() + 1);
    return true;
}

int OnSocket(const std::string &root, uint32_t number, int sock, bool bindIt) {
    sockaddr_un addr;
    int dirFd = -1;
    if (!SocketAddress(root, number, &addr, &dirFd)) return errno;
    int rc;
    if (bindIt) {
        unlink(addr.sun_path);  // a name left by an earlier boot's process of this number
        rc = bind(sock, reinterpret_cast<sockaddr *>(&addr), sizeof addr);
    } else {
        do {
            rc = connect(sock, reinterpret_cast<sockaddr *>(&addr), sizeof addr);
        } while (rc < 0 && errno == EINTR);
    }
    int err = rc < 0 ? errno : 0;
    if (dirFd >= 0) close(dirFd);
    return err;
}

}  // namespace

bool ProcessStartTime(pid_t pid, uint64_t *startTime) {
    std::string bytes;
    if (!ReadFile("/proc/" + std::to_string(pid) + "/stat", &bytes)) return false;
    // The command name may hold anything, spaces and parentheses too: the
    // fields that follow start after its last ')'.
    size_t close = bytes.rfind(')');
    if (close == std::string::npos) return false;
    std::istringstream fields(bytes.substr(close + 1));
    std::string field;
    for (int i = 3; i <= 22 && fields >> field; ++i) {
        if (i == 3 && (field == "Z" || field == "X")) return false;  // dead, not yet reaped
        if (i == 22) {
            *startTime = strtoull(field.c_str(), nullptr, 10);
            return true;
        }
    }
    return false;
}

DWORD AllocateProcessNumber(const std::string &root, uint32_t *number) {
    if (mkdir(Folder(root).c_str(), 0777) < 0 && errno != EEXIST) return Win32FromErrno(errno);
    int fd = open((Folder(root) + "/next").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) return Win32FromErrno(errno);
    const int rc = LockFileByte(fd, F_OFD_SETLKW, F_WRLCK, 0);  // the counter's only lock
    DWORD err = ERROR_SUCCESS;
    uint32_t next = 0;
    if (rc < 0 || pread(fd, &next, sizeof next, 0) < 0) err = Win32FromErrno(errno);
    if (err == ERROR_SUCCESS && (next == 0 || next >= kUnlistedProcessBase)) {
        // A fresh device starts at a random number, so that a handle kept
        // from another device is unlikely to name a window of this one.
        std::random_device random;
        next = 1 + random() % (uint32_t(1) << 24);
    }
    uint32_t after = next + 1;
    if (err == ERROR_SUCCESS && pwrite(fd, &after, sizeof after, 0) != ssize_t(sizeof after))
        err = Win32FromErrno(errno);
    close(fd);  // releases the lock
    if (err == ERROR_SUCCESS) *number = next;
    return err;
}

DWORD WriteDirectoryEntry(const std::string &root, const DirectoryEntry &entry) {
    std::string bytes;
    Put(&bytes, kMagic, sizeof kMagic);
    PutValue(&bytes, entry.number);
    PutValue(&bytes, entry.pid);
    PutValue(&bytes, entry.startTime);
    PutValue(&bytes, uint32_t(entry.windows.size()));
    for (const DirectoryWindow &w : entry.windows) {
        PutValue(&bytes, uint64_t(reinterpret_cast<uintptr_t>(w.hwnd)));
        PutValue(&bytes, uint64_t(reinterpret_cast<uintptr_t>(w.parent)));
        PutValue(&bytes, w.threadId);
        PutUnits(&bytes, w.className);
        PutUnits(&bytes, w.title);
    }
    std::string path = EntryPath(root, entry.number);
    std::string temp = path + ".new";
    int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) return Win32FromErrno(errno);
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            DWORD err = Win32FromErrno(errno);
            close(fd);
            unlink(temp.c_str());
            return err;
        }
        done += size_t(n);
    }
    close(fd);
    if (rename(temp.c_str(), path.c_str()) < 0) return Win32FromErrno(errno);
    return ERROR_SUCCESS;
}

std::vector<DirectoryEntry> ReadDirectory(const std::string &root, uint32_t skip) {
    std::vector<uint32_t> numbers;
    if (DIR *dir = opendir(Folder(root).c_str())) {
        while (dirent *d = readdir(dir)) {
            const char *name = d->d_name;
            if (name[0] < '1' || name[0] > '9' || strspn(name, "0123456789") != strlen(name) || strlen(name) > 9)
                continue;
            uint32_t number = uint32_t(strtoul(name, nullptr, 10));
            if (number != skip) numbers.push_back(number);
        }
        closedir(dir);
    }
    std::sort(numbers.begin(), numbers.end());
    std::vector<DirectoryEntry> entries;
    for (uint32_t number : numbers) {
        DirectoryEntry entry;
        if (ReadDirectoryEntry(root, number, &entry)) entries.push_back(std::move(entry));
    }
    return entries;
}

bool ReadDirectoryEntry(const std::string &root, uint32_t number, DirectoryEntry *entry) {
    bool alive = false;
    if (!LoadEntry(root, number, entry, &alive)) return false;
    if (!alive) DropDirectoryEntry(root, number);
    return alive;
}

void DropDirectoryEntry(const std::string &root, uint32_t number) {
    std::string path = EntryPath(root, number);
    unlink(path.c_str());
    unlink((path + ".sock").c_str());
}

int BindDirectorySocket(const std::string &root, uint32_t number, int sock) {
    if (mkdir(Folder(root).c_str(), 0777) < 0 && errno != EEXIST) return errno;
    return OnSocket(root, number, sock, true);
}

int ConnectDirectorySocket(const std::string &root, uint32_t number, int sock) {
    return OnSocket(root, number, sock, false);
}

}  // namespace vplat
