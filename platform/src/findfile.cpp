// Folder listings: FindFirstFileW, FindNextFileW and FindClose over the
// host folder that a device path names.
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <string>
#include <vector>

#include "device.h"
#include "devicepath.h"
#include "handles.h"
#include "hosterror.h"
#include "winfile.h"
#include "winstr.h"

namespace {

using namespace vplat;

// The entries taken at FindFirstFileW and the next one to hand out.
class FindObject : public KernelObject {
public:
    std::vector<WIN32_FIND_DATAW> entries;
    size_t next = 0;
};

HANDLE FailHandle(DWORD err) {
    SetLastError(err);
    return INVALID_HANDLE_VALUE;
}

// Whether name matches pattern ('*' any run, '?' any one unit), without case.
bool Matches(const std::u16string &pattern, const std::u16string &name) {
    if (pattern == u"*.*") return true;
    size_t p = 0, n = 0, star = std::u16string::npos, resume = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == u'?' || towupper16(pattern[p]) == towupper16(name[n]))) {
            ++p;
            ++n;
        } else if (p < pattern.size() && pattern[p] == u'*') {
            star = p++;
            resume = n;
        } else if (star != std::u16string::npos) {
            p = star + 1;
            n = ++resume;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == u'*') ++p;
    return p == pattern.size();
}

FILETIME FileTimeOf(const struct timespec &t) {
    // 100-ns ticks since 1601-01-01.
    const uint64_t ticks = (uint64_t(t.tv_sec) + 11644473600ull) * 10000000ull + uint64_t(t.tv_nsec) / 100;
    return FILETIME{DWORD(ticks), DWORD(ticks >> 32)};
}

// An entry as GetFileAttributesW reports its file.
WIN32_FIND_DATAW EntryOf(const std::u16string &name, const struct stat &st) {
    WIN32_FIND_DATAW data = {};
    if (S_ISDIR(st.st_mode)) {
        data.dwFileAttributes = FILE_ATTRIBUTE_DIRECTORY;
    } else {
        data.dwFileAttributes = FILE_ATTRIBUTE_ARCHIVE | ((st.st_mode & S_IWUSR) == 0 ? FILE_ATTRIBUTE_READONLY : 0);
        data.nFileSizeHigh = DWORD(uint64_t(st.st_size) >> 32);
        data.nFileSizeLow = DWORD(st.st_size);
    }
    data.ftLastWriteTime = FileTimeOf(st.st_mtim);
    data.ftCreationTime = data.ftLastWriteTime;
    data.ftLastAccessTime = FileTimeOf(st.st_atim);
    std::copy(name.begin(), name.end(), data.cFileName);
    return data;
}

}  // namespace

extern "C" PLATAPI HANDLE FindFirstFileW(LPCWSTR lpFileName, LPWIN32_FIND_DATAW lpFindFileData) {
    if (lpFileName == nullptr || lpFindFileData == nullptr) return FailHandle(ERROR_INVALID_PARAMETER);
    // The folder is an ordinary device path; only the last component is a pattern.
    const std::u16string path = lpFileName;
    const size_t slash = path.find_last_of(u"\\/");
    const std::u16string folder = slash == std::u16string::npos ? u"" : path.substr(0, slash);
    const std::u16string pattern = slash == std::u16string::npos ? path : path.substr(slash + 1);
    if (pattern.empty()) return FailHandle(ERROR_FILE_NOT_FOUND);
    ParsedPath parsed;
    DWORD err = ParseDevicePath(folder.c_str(), &parsed);
    if (err != ERROR_SUCCESS) return FailHandle(err);
    const std::string host = ResolveDevicePath(parsed);

    DIR *dir = opendir(host.c_str());
    if (dir == nullptr)
        return FailHandle(errno == ENOENT || errno == ENOTDIR ? ERROR_PATH_NOT_FOUND : Win32FromErrno(errno));
    auto found = std::make_shared<FindObject>();
    while (struct dirent *entry = readdir(dir)) {
        const std::string hostName = entry->d_name;
        if (hostName == "." || hostName == "..") continue;
        const std::u16string name = Utf8ToUtf16(hostName);
        struct stat st;
        if (name.size() >= MAX_PATH || !Matches(pattern, name) || stat((host + "/" + hostName).c_str(), &st) != 0)
            continue;
        found->entries.push_back(EntryOf(name, st));
    }
    closedir(dir);
    if (found->entries.empty()) return FailHandle(ERROR_FILE_NOT_FOUND);
    std::sort(found->entries.begin(), found->entries.end(),
              [](const WIN32_FIND_DATAW &a, const WIN32_FIND_DATAW &b) {
                  return std::u16string(a.cFileName) < std::u16string(b.cFileName);
              });
    *lpFindFileData = found->entries[found->next++];
    return HandleInsert(found);
}

extern "C" PLATAPI BOOL FindNextFileW(HANDLE hFindFile, LPWIN32_FIND_DATAW lpFindFileData) {
    auto found = HandleGet<FindObject>(hFindFile);
    if (found == nullptr || lpFindFileData == nullptr) {
        SetLastError(found == nullptr ? ERROR_INVALID_HANDLE : ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (found->next >= found->entries.size()) {
        SetLastError(ERROR_NO_MORE_FILES);
        return FALSE;
    }
    *lpFindFileData = found->entries[found->next++];
    return TRUE;
}

extern "C" PLATAPI BOOL FindClose(HANDLE hFindFile) {
    if (HandleGet<FindObject>(hFindFile) == nullptr || !HandleClose(hFindFile)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}
