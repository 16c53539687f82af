// Opening and closing the device: one root per process, shared by every
// thread; the root's folders are created on open.
#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <set>
#include <string>
#include <system_error>

#include "device.h"
#include "devicestate.h"
#include "hosterror.h"
#include "winerror.h"

namespace vplat {
namespace {

struct DeviceState {
    std::mutex lock;
    const std::string *root = nullptr;  // null while no device is open
    // Every root ever opened, kept for the process's life so that the
    // pointer DeviceRootPath hands out never dangles.
    std::set<std::string> roots;
};

DeviceState &State() {
    static DeviceState *state = new DeviceState;  // outlives static destructors
    return *state;
}

std::string NonEmptyEnv(const char *name) {
    const char *value = std::getenv(name);
    return value != nullptr ? std::string(value) : std::string();
}

// The default root: the environment's, else under the user's data folder.
bool DefaultRoot(std::string *root) {
    std::string env = NonEmptyEnv(VANTREL_DEVICE_ENV);
    if (!env.empty()) {
        *root = env;
        return true;
    }
    std::string data = NonEmptyEnv("XDG_DATA_HOME");
    if (data.empty() || data[0] != '/') {  // a relative value is to be ignored
        std::string home = NonEmptyEnv("HOME");
        if (home.empty()) {
            struct passwd pw, *found = nullptr;
            char buf[4096];
            if (getpwuid_r(getuid(), &pw, buf, sizeof buf, &found) == 0 && found != nullptr &&
                found->pw_dir != nullptr)
                home = found->pw_dir;
        }
        if (home.empty()) return false;
        data = home + "/.local/share";
    }
    *root = data + "/vantrel/device";
    return true;
}

// Opens the device at rootPath (null: the default); the caller holds the lock.
DWORD OpenLocked(DeviceState &state, const char *rootPath) {
    std::string given;
    if (rootPath != nullptr) {
        given = rootPath;
    } else if (!DefaultRoot(&given)) {
        return ERROR_PATH_NOT_FOUND;
    }
    if (given.empty()) return ERROR_PATH_NOT_FOUND;

    std::error_code ec;
    std::filesystem::path root = std::filesystem::absolute(given, ec).lexically_normal();
    if (ec) return Win32FromErrno(ec.value());
    std::string text = root.string();
    while (text.size() > 1 && text.back() == '/') text.pop_back();

    for (const char *sub : {"fs/Temp", "fs/Windows", "run"}) {
        std::filesystem::create_directories(std::filesystem::path(text) / sub, ec);
        if (ec) return Win32FromErrno(ec.value());
    }
    // Programs started from here share this device.
    setenv(VANTREL_DEVICE_ENV, text.c_str(), 1);
    state.root = &*state.roots.insert(text).first;
    return ERROR_SUCCESS;
}

}  // namespace

bool DeviceCurrentRoot(std::string *root) {
    DeviceState &state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    if (state.root == nullptr) {
        DWORD err = OpenLocked(state, nullptr);
        if (err != ERROR_SUCCESS) {
            SetLastError(err);
            return false;
        }
    }
    *root = *state.root;
    return true;
}

bool DeviceRootIfOpen(std::string *root) {
    DeviceState &state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    if (state.root == nullptr) return false;
    *root = *state.root;
    return true;
}

}  // namespace vplat

extern "C" PLATAPI BOOL DeviceOpen(const char *rootPath) {
    vplat::DeviceState &state = vplat::State();
    std::lock_guard<std::mutex> guard(state.lock);
    DWORD err = vplat::OpenLocked(state, rootPath);
    if (err != ERROR_SUCCESS) {
        SetLastError(err);
        return FALSE;
    }
    return TRUE;
}

extern "C" PLATAPI void DeviceClose(void) {
    vplat::DeviceState &state = vplat::State();
    std::lock_guard<std::mutex> guard(state.lock);
    state.root = nullptr;
}

extern "C" PLATAPI const char *DeviceRootPath(void) {
    vplat::DeviceState &state = vplat::State();
    std::lock_guard<std::mutex> guard(state.lock);
    if (state.root == nullptr && vplat::OpenLocked(state, nullptr) != ERROR_SUCCESS) return "";
    return state.root->c_str();
}
