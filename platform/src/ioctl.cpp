// The hardware layer's control codes: the device identifier, taken from
// the device's configuration or the host.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <random>
#include <new>
#include <string>
#include <vector>

#include "devicestate.h"
#include "winerror.h"
#include "winioctl.h"

namespace {

constexpr char kConfiguredIdFile[] = "/deviceid";
constexpr char kHostIdFile[] = "/etc/machine-id";
constexpr size_t kHostIdBytes = 16;
// Larger files are no id text.
constexpr std::streamsize kMaxIdFileSize = 4096;

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The bytes of a text of hexadecimal digit pairs; white space is ignored.
// False for any other character or an odd number of digits.
bool ParseHexBytes(const std::string &text, std::vector<BYTE> *bytes) {
    bytes->clear();
    int high = -1;
    for (char c : text) {
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n') continue;
        int v = HexValue(c);
        if (v < 0) return false;
        if (high < 0) {
            high = v;
        } else {
            bytes->push_back(BYTE(high << 4 | v));
            high = -1;
        }
    }
    return high < 0;
}

// False when the file cannot be opened; *tooLarge when it holds more than
// an id text can.
bool ReadSmallFile(const std::string &path, std::string *text, bool *tooLarge) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    text->assign(kMaxIdFileSize + 1, '\0');
    in.read(&(*text)[0], kMaxIdFileSize + 1);
    text->resize(size_t(in.gcount()));
    *tooLarge = in.gcount() > kMaxIdFileSize;
    return true;
}

// A host without a machine id: the device makes a random id once and keeps
// it as its configured id, so it never reports the all-zero id. When another
// process made one first, that one is taken.
DWORD MakeConfiguredId(const std::string &path, std::vector<BYTE> *id) {
    std::random_device random;
    std::string text;
    for (size_t i = 0; i < kHostIdBytes; ++i) {
        char digits[3];
        snprintf(digits, sizeof digits, "%02x", unsigned(random() & 0xFF));
        text += digits;
    }
    // Written aside and linked into place: a reader never sees half an id,
    // and the first id linked wins.
    std::string aside = path + "." + std::to_string(getpid()) + "." + std::to_string(random()) + ".tmp";
    int fd = open(aside.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return ERROR_GEN_FAILURE;
    bool written = write(fd, text.data(), text.size()) == ssize_t(text.size());
    close(fd);
    bool linked = written && (link(aside.c_str(), path.c_str()) == 0 || errno == EEXIST);
    unlink(aside.c_str());
    bool tooLarge = false;
    if (!linked || !ReadSmallFile(path, &text, &tooLarge) || tooLarge) return ERROR_GEN_FAILURE;
    return ParseHexBytes(text, id) ? ERROR_SUCCESS : ERROR_GEN_FAILURE;
}

// The device's id bytes, or the platform error that says why there are none.
DWORD DeviceIdBytes(std::vector<BYTE> *id) {
    std::string root;
    if (!vplat::DeviceCurrentRoot(&root)) return GetLastError();
    std::string text;
    bool tooLarge = false;
    if (ReadSmallFile(root + kConfiguredIdFile, &text, &tooLarge)) {
        // A configured id that cannot be read as one is an error, not a
        // reason to fall back to the host's.
        return !tooLarge && ParseHexBytes(text, id) ? ERROR_SUCCESS : ERROR_GEN_FAILURE;
    }
    if (ReadSmallFile(kHostIdFile, &text, &tooLarge) && !tooLarge && ParseHexBytes(text, id) &&
        id->size() == kHostIdBytes)
        return ERROR_SUCCESS;
    return MakeConfiguredId(root + kConfiguredIdFile, id);
}

BOOL Fail(DWORD error, LPDWORD bytesReturned) {
    if (bytesReturned != nullptr) *bytesReturned = 0;
    SetLastError(error);
    return FALSE;
}

BOOL GetDeviceIdRecord(LPVOID out, DWORD outSize, LPDWORD bytesReturned) {
    if (out == nullptr) return Fail(ERROR_INVALID_PARAMETER, bytesReturned);
    std::vector<BYTE> id;
    DWORD err = DeviceIdBytes(&id);
    if (err != ERROR_SUCCESS) return Fail(err, bytesReturned);

    // The id goes in as the preset id right after the header; there is no
    // platform id.
    DEVICE_ID header;
    header.dwPresetIDOffset = sizeof(DEVICE_ID);
    header.dwPresetIDBytes = DWORD(id.size());
    header.dwPlatformIDOffset = DWORD(sizeof(DEVICE_ID) + id.size());
    header.dwPlatformIDBytes = 0;
    header.dwSize = header.dwPlatformIDOffset;
    if (outSize < header.dwSize) {
        if (outSize >= sizeof(DWORD)) memcpy(out, &header.dwSize, sizeof(DWORD));
        return Fail(ERROR_INSUFFICIENT_BUFFER, bytesReturned);
    }
    BYTE *record = static_cast<BYTE *>(out);
    memcpy(record, &header, sizeof header);
    if (!id.empty()) memcpy(record + sizeof header, id.data(), id.size());
    if (bytesReturned != nullptr) *bytesReturned = header.dwSize;
    return TRUE;
}

}  // namespace

extern "C" PLATAPI BOOL KernelIoControl(DWORD dwIoControlCode, LPVOID lpInBuf, DWORD nInBufSize, LPVOID lpOutBuf,
                                        DWORD nOutBufSize, LPDWORD lpBytesReturned) {
    (void)lpInBuf;
    (void)nInBufSize;
    if (dwIoControlCode != IOCTL_HAL_GET_DEVICEID) return Fail(ERROR_NOT_SUPPORTED, lpBytesReturned);
    try {
        return GetDeviceIdRecord(lpOutBuf, nOutBufSize, lpBytesReturned);
    } catch (const std::bad_alloc &) {
        return Fail(ERROR_NOT_ENOUGH_MEMORY, lpBytesReturned);
    }
}
