// Small helpers for tests of the device's file calls.
#ifndef VTEST_PLATFORM_FILETESTUTIL_H
#define VTEST_PLATFORM_FILETESTUTIL_H

#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>

#include "device.h"
#include "windows.h"

inline HANDLE OpenFile(const char16_t *path, DWORD access, DWORD share, DWORD disposition) {
    return CreateFileW(path, access, share, nullptr, disposition, 0, nullptr);
}

inline bool WriteText(HANDLE file, const std::string &text) {
    DWORD written = 0;
    return WriteFile(file, text.data(), DWORD(text.size()), &written, nullptr) && written == text.size();
}

// Makes a device file holding text; false when it could not.
inline bool MakeFile(const char16_t *path, const std::string &text) {
    HANDLE file = OpenFile(path, GENERIC_WRITE, 0, CREATE_ALWAYS);
    if (file == INVALID_HANDLE_VALUE) return false;
    bool ok = WriteText(file, text);
    return CloseHandle(file) && ok;
}

inline bool HostExists(const std::string &host) {
    struct stat st;
    return stat(host.c_str(), &st) == 0;
}

inline std::string ReadHost(const std::string &host) {
    std::ifstream in(host, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

#endif
