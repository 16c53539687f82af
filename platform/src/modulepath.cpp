#include "modulepath.h"

#include <dirent.h>
#include <dlfcn.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include "device.h"
#include "devicepath.h"
#include "winerror.h"
#include "winstr.h"

namespace vplat {
namespace {

bool IsSeparator(WCHAR c) { return c == u'\\' || c == u'/'; }

bool IsRegularFile(const std::string &path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool HasExtension(const std::u16string &fileName, const char16_t *extension) {
    size_t n = std::char_traits<char16_t>::length(extension);
    return fileName.size() >= n && _wcsicmp(fileName.c_str() + fileName.size() - n, extension) == 0;
}

// The file name without the extension the device gives its libraries and programs.
std::u16string LibraryStem(const std::u16string &fileName) {
    for (const char16_t *extension : {u".dll", u".cpl", u".exe"})
        if (HasExtension(fileName, extension)) return fileName.substr(0, fileName.size() - 4);
    return fileName;
}

// Something of this library whose address names the library's own file.
int g_anchor;

std::vector<std::string> ModuleFolders() {
    std::vector<std::string> folders;
    if (const char *env = std::getenv(VANTREL_MODULE_PATH_ENV)) {
        std::string list = env;
        size_t start = 0;
        while (start <= list.size()) {
            size_t end = std::min(list.find(':', start), list.size());
            if (end > start) folders.push_back(list.substr(start, end - start));
            start = end + 1;
        }
        return folders;
    }
    Dl_info info;
    if (dladdr(&g_anchor, &info) != 0 && info.dli_fname != nullptr) {
        std::filesystem::path self(info.dli_fname);
        folders.push_back(self.has_parent_path() ? self.parent_path().string() : std::string("."));
    }
    return folders;
}

// The file of folder that names fileName: the exact spelling first, else a
// case-insensitive match (the smallest such host name, so that the choice
// does not depend on the folder's order).
std::string FindInFolder(const std::string &folder, const std::u16string &fileName) {
    std::string exact = folder + "/" + Utf16ToUtf8(fileName.c_str());
    if (IsRegularFile(exact)) return exact;
    std::string found;
    DIR *d = opendir(folder.c_str());
    if (d == nullptr) return found;
    while (struct dirent *entry = readdir(d)) {
        std::string name = entry->d_name;
        if (_wcsicmp(Utf8ToUtf16(name).c_str(), fileName.c_str()) == 0 && (found.empty() || name < found) &&
            IsRegularFile(folder + "/" + name))
            found = name;
    }
    closedir(d);
    return found.empty() ? found : folder + "/" + found;
}

}  // namespace

DWORD ResolveModuleName(LPCWSTR name, ModuleName *module) {
    if (name == nullptr || name[0] == 0 || module == nullptr) return ERROR_INVALID_PARAMETER;
    std::u16string path(name);
    if (std::none_of(path.begin(), path.end(), IsSeparator)) path = u"\\Windows\\" + path;
    auto lastSeparator = std::find_if(path.rbegin(), path.rend(), IsSeparator);
    std::u16string fileName(lastSeparator.base(), path.end());
    if (!fileName.empty() && fileName.find(u'.') == std::u16string::npos) path += u".dll";

    ParsedPath parsed;
    DWORD err = ParseDevicePath(path.c_str(), &parsed);
    if (err != ERROR_SUCCESS) return err;
    if (parsed.components.empty()) return ERROR_INVALID_NAME;

    module->devicePath.clear();
    for (const std::u16string &component : parsed.components) module->devicePath += u"\\" + component;
    module->key = parsed.key;
    module->hostPath.clear();

    std::string deviceFile = ResolveDevicePath(parsed);
    if (IsRegularFile(deviceFile)) {
        module->hostPath = deviceFile;
        return ERROR_SUCCESS;
    }
    std::u16string library = u"lib" + LibraryStem(parsed.components.back()) + u".so";
    for (const std::string &folder : ModuleFolders()) {
        module->hostPath = FindInFolder(folder, library);
        if (!module->hostPath.empty()) break;
    }
    return ERROR_SUCCESS;
}

std::u16string ProgramDevicePath() {
    const char *env = std::getenv(VANTREL_PROGRAM_PATH_ENV);
    if (env != nullptr && env[0] != 0) return Utf8ToUtf16(env);
    std::error_code ec;
    std::string file = std::filesystem::read_symlink("/proc/self/exe", ec).filename().string();
    if (ec || file.empty()) file = program_invocation_short_name;
    std::u16string name = Utf8ToUtf16(file);
    if (!HasExtension(name, u".exe")) name += u".exe";
    return u"\\Windows\\" + name;
}

}  // namespace vplat
