#include "devicepath.h"

#include <dirent.h>
#include <sys/stat.h>

#include "device.h"
#include "devicestate.h"
#include "utf8.h"
#include "winerror.h"
#include "winstr.h"

namespace vplat {
namespace {

bool IsSeparator(WCHAR c) { return c == u'\\' || c == u'/'; }

// Characters a CE file name cannot hold.
bool IsInvalidNameChar(WCHAR c) {
    if (c < 0x20) return true;
    switch (c) {
        case u'<':
        case u'>':
        case u':':
        case u'"':
        case u'|':
        case u'?':
        case u'*': return true;
        default: return false;
    }
}

// The host's UTF-8 spelling of a component; false for an unpaired surrogate,
// which has no UTF-8 form of its own (replacing it would let two device
// names share one host file).
bool HostName(const std::u16string &component, std::string *name) {
    name->clear();
    return Utf8Encode(component.data(), component.size(), true, name);
}

// The host entry of folder dir that names component case-insensitively;
// empty when there is none. Among several, the smallest host name wins so
// that the choice does not depend on the folder's order.
std::string FindEntry(const std::string &dir, const std::u16string &component) {
    std::string found;
    DIR *d = opendir(dir.c_str());
    if (d == nullptr) return found;
    while (struct dirent *entry = readdir(d)) {
        std::string name = entry->d_name;
        if (name == "." || name == "..") continue;
        std::u16string wide = Utf8ToUtf16(name);
        if (_wcsicmp(wide.c_str(), component.c_str()) == 0 && (found.empty() || name < found)) found = name;
    }
    closedir(d);
    return found;
}

}  // namespace

DWORD ParseDevicePath(LPCWSTR devicePath, ParsedPath *parsed) {
    if (devicePath == nullptr) return ERROR_INVALID_PARAMETER;
    size_t length = 0;
    while (devicePath[length] != 0) ++length;
    if (length > MAX_PATH - 1) return ERROR_FILENAME_EXCED_RANGE;

    parsed->components.clear();
    parsed->key.clear();
    std::u16string current;
    for (size_t i = 0; i <= length; ++i) {
        WCHAR c = devicePath[i];
        if (c == 0 || IsSeparator(c)) {
            if (current.empty()) continue;
            if (current == u"." || current == u"..") return ERROR_INVALID_NAME;
            std::string unused;
            if (!HostName(current, &unused)) return ERROR_INVALID_NAME;
            parsed->key.push_back(u'\\');
            for (WCHAR u : current) parsed->key.push_back(towupper16(u));
            parsed->components.push_back(std::move(current));
            current.clear();
            continue;
        }
        if (IsInvalidNameChar(c)) return ERROR_INVALID_NAME;
        current.push_back(c);
    }

    std::string root;
    if (!DeviceCurrentRoot(&root)) return GetLastError();
    parsed->deviceRoot = root;
    parsed->fsRoot = root + "/fs";
    return ERROR_SUCCESS;
}

DWORD ParseNamedPath(LPCWSTR devicePath, ParsedPath *parsed) {
    DWORD err = ParseDevicePath(devicePath, parsed);
    if (err == ERROR_SUCCESS && devicePath[0] == 0) err = ERROR_PATH_NOT_FOUND;
    return err;
}

std::string ResolveDevicePath(const ParsedPath &parsed) {
    std::string host = parsed.fsRoot;
    bool exists = true;  // does host (the part resolved so far) exist?
    for (const std::u16string &component : parsed.components) {
        std::string given;
        HostName(component, &given);
        if (exists) {
            struct stat st;
            std::string exact = host + "/" + given;
            if (lstat(exact.c_str(), &st) == 0) {
                host = exact;
                continue;
            }
            std::string entry = FindEntry(host, component);
            if (!entry.empty()) {
                host += "/" + entry;
                continue;
            }
            exists = false;
        }
        host += "/" + given;
    }
    return host;
}

DWORD MissingPathError(const std::string &hostPath) {
    std::string parent = hostPath.substr(0, hostPath.rfind('/'));
    struct stat st;
    if (stat(parent.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return ERROR_FILE_NOT_FOUND;
    return ERROR_PATH_NOT_FOUND;
}

PLATAPI bool DeviceMapPath(LPCWSTR devicePath, std::string *hostPath) {
    ParsedPath parsed;
    DWORD err = hostPath != nullptr ? ParseDevicePath(devicePath, &parsed) : ERROR_INVALID_PARAMETER;
    if (err != ERROR_SUCCESS) {
        SetLastError(err);
        return false;
    }
    *hostPath = ResolveDevicePath(parsed);
    return true;
}

}  // namespace vplat
