// Registered window messages: one id in 0xC000-0xFFFF per name, compared
// case-insensitively, for the whole device. The names live in the device's
// "wndmsg.tbl", shared by every process under an open-file-description
// lock; each process keeps what it has read in a cache per device.
//
// The table is a run of records, each the id, the name's length in units
// and the name's UTF-16 units, every number 16-bit little-endian. Ids are
// given in order, so record n holds 0xC000 + n. A damaged tail (a writer
// that died mid-record) ends the table and is overwritten by the next
// registration.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "devicestate.h"
#include "hosterror.h"
#include "winerror.h"
#include "winstr.h"
#include "winuser.h"

namespace vplat {
namespace {

constexpr UINT kFirstId = 0xC000;
constexpr UINT kIdCount = 0x4000;
constexpr size_t kMaxNameLength = 255;  // as the platform's atom names
const char kTableFile[] = "/wndmsg.tbl";

using NameIds = std::map<std::u16string, UINT>;  // upper-cased name -> id

struct Cache {
    std::mutex lock;
    std::map<std::string, NameIds> byRoot;
};

Cache &TheCache() {
    static Cache *cache = new Cache;  // outlives static destructors
    return *cache;
}

std::u16string Key(const std::u16string &name) {
    std::u16string key = name;
    for (char16_t &u : key) u = towupper16(u);
    return key;
}

// Holds an exclusive lock on the open table file until destruction.
class TableFile {
public:
    ~TableFile() {
        if (m_fd >= 0) close(m_fd);  // closing releases the lock
    }
    DWORD Open(const std::string &path) {
        m_fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
        if (m_fd < 0) return Win32FromErrno(errno);
        struct flock fl = {};
        fl.l_type = F_WRLCK;
        fl.l_whence = SEEK_SET;  // whole file
        int rc;
        do {
            rc = fcntl(m_fd, F_OFD_SETLKW, &fl);
        } while (rc < 0 && errno == EINTR);
        return rc < 0 ? Win32FromErrno(errno) : ERROR_SUCCESS;
    }
    DWORD ReadAll(std::vector<unsigned char> *bytes) {
        bytes->clear();
        unsigned char buf[4096];
        off_t at = 0;
        for (;;) {
            ssize_t n = pread(m_fd, buf, sizeof buf, at);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) return Win32FromErrno(errno);
            if (n == 0) return ERROR_SUCCESS;
            bytes->insert(bytes->end(), buf, buf + n);
            at += n;
        }
    }
    // Writes bytes at offset and ends the file there.
    DWORD WriteAt(const std::vector<unsigned char> &bytes, off_t offset) {
        size_t done = 0;
        while (done < bytes.size()) {
            ssize_t n = pwrite(m_fd, bytes.data() + done, bytes.size() - done, offset + off_t(done));
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) return Win32FromErrno(errno);
            done += size_t(n);
        }
        if (ftruncate(m_fd, offset + off_t(done)) < 0) return Win32FromErrno(errno);
        return ERROR_SUCCESS;
    }

private:
    int m_fd = -1;
};

unsigned Word(const std::vector<unsigned char> &b, size_t at) { return unsigned(b[at]) | (unsigned(b[at + 1]) << 8); }

void PutWord(std::vector<unsigned char> *b, unsigned w) {
    b->push_back(static_cast<unsigned char>(w & 0xFF));
    b->push_back(static_cast<unsigned char>(w >> 8));
}

// Parses the table into names; returns the size of its sound part and the
// number of records in it.
size_t ParseTable(const std::vector<unsigned char> &b, NameIds *names, UINT *count) {
    size_t at = 0;
    *count = 0;
    while (at + 4 <= b.size()) {
        unsigned id = Word(b, at);
        size_t length = Word(b, at + 2);
        if (id != kFirstId + *count || length == 0 || length > kMaxNameLength || at + 4 + 2 * length > b.size())
            break;
        std::u16string name;
        for (size_t i = 0; i < length; ++i) name.push_back(char16_t(Word(b, at + 4 + 2 * i)));
        names->emplace(Key(name), id);
        at += 4 + 2 * length;
        ++*count;
    }
    return at;
}

// Finds or adds the name in the device's table; every name read goes into
// names.
DWORD RegisterInTable(const std::string &root, const std::u16string &name, NameIds *names, UINT *id) {
    TableFile file;
    DWORD err = file.Open(root + kTableFile);
    std::vector<unsigned char> bytes;
    if (err == ERROR_SUCCESS) err = file.ReadAll(&bytes);
    if (err != ERROR_SUCCESS) return err;
    UINT count = 0;
    size_t end = ParseTable(bytes, names, &count);
    auto found = names->find(Key(name));
    if (found != names->end()) {
        *id = found->second;
        return ERROR_SUCCESS;
    }
    if (count == kIdCount) return ERROR_NOT_ENOUGH_MEMORY;
    std::vector<unsigned char> record;
    PutWord(&record, kFirstId + count);
    PutWord(&record, unsigned(name.size()));
    for (char16_t u : name) PutWord(&record, u);
    err = file.WriteAt(record, off_t(end));
    if (err != ERROR_SUCCESS) return err;
    *id = kFirstId + count;
    names->emplace(Key(name), *id);
    return ERROR_SUCCESS;
}

}  // namespace
}  // namespace vplat

extern "C" PLATAPI UINT RegisterWindowMessageW(LPCWSTR lpString) {
    if (lpString == nullptr || lpString[0] == 0 || size_t(lstrlenW(lpString)) > vplat::kMaxNameLength) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::string root;
    if (!vplat::DeviceCurrentRoot(&root)) return 0;
    std::u16string name(lpString);

    vplat::Cache &cache = vplat::TheCache();
    std::lock_guard<std::mutex> guard(cache.lock);
    vplat::NameIds &names = cache.byRoot[root];
    auto found = names.find(vplat::Key(name));
    if (found != names.end()) return found->second;
    UINT id = 0;
    DWORD err = vplat::RegisterInTable(root, name, &names, &id);
    if (err != ERROR_SUCCESS) {
        SetLastError(err);
        return 0;
    }
    return id;
}
