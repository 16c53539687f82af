// The device's certificate trust store (devicetrust.h).
#include "devicetrust.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>

#include "devicestate.h"
#include "hosterror.h"
#include "winerror.h"

namespace vplat {
namespace {

const char kSystemBundle[] = "/etc/ssl/certs/ca-certificates.crt";
const char kBegin[] = "-----BEGIN CERTIFICATE-----";
const char kEnd[] = "-----END CERTIFICATE-----";

std::mutex &StoreLock() {
    static std::mutex *lock = new std::mutex;  // outlives static destructors
    return *lock;
}

bool Fail(DWORD error) {
    SetLastError(error);
    return false;
}

// Writes the first copy beside the store and renames it into place, so that
// another process never reads a half-written bundle.
bool CreateStore(const std::string &path) {
    std::string system;
    {
        std::ifstream in(kSystemBundle, std::ios::binary);
        if (in) {
            std::ostringstream text;
            text << in.rdbuf();
            system = text.str();
        }
    }
    std::string temp = path + ".new." + std::to_string(getpid());
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out << system;
        if (!out.flush()) return Fail(ERROR_GEN_FAILURE);
    }
    std::error_code ec;
    std::filesystem::rename(temp, path, ec);
    if (ec) {
        std::filesystem::remove(temp, ec);
        return Fail(Win32FromErrno(ec.value()));
    }
    return true;
}

}  // namespace

bool DeviceTrustStorePath(std::string *path) {
    std::string root;
    if (!DeviceCurrentRoot(&root)) return false;
    std::string dir = root + "/certs";
    std::string file = dir + "/trust.pem";
    std::lock_guard<std::mutex> guard(StoreLock());
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (ec) return Fail(Win32FromErrno(ec.value()));
    if (!std::filesystem::exists(file, ec) && !CreateStore(file)) return false;
    *path = file;
    return true;
}

bool DeviceTrustCertificate(const std::string &pem) {
    size_t begin = pem.find(kBegin);
    if (begin == std::string::npos || pem.find(kEnd, begin) == std::string::npos) return Fail(ERROR_INVALID_DATA);
    std::string path;
    if (!DeviceTrustStorePath(&path)) return false;
    // A leading newline keeps the new block apart from a bundle whose last
    // line has none.
    std::string text = "\n" + pem;
    if (text.back() != '\n') text += '\n';
    std::lock_guard<std::mutex> guard(StoreLock());
    int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    if (fd < 0) return Fail(Win32FromErrno(errno));
    const char *p = text.data();
    size_t left = text.size();
    while (left > 0) {
        ssize_t n = write(fd, p, left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            int err = errno;
            close(fd);
            return Fail(Win32FromErrno(err));
        }
        p += n;
        left -= static_cast<size_t>(n);
    }
    close(fd);
    return true;
}

}  // namespace vplat
