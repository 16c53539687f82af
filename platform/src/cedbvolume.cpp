#include "cedbvolume.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <map>
#include <mutex>

#include "cedbfile.h"
#include "device.h"
#include "devicepath.h"
#include "hosterror.h"

namespace vplat {
namespace {

// Tells a volume GUID of this platform from any other value ("VDBV").
const DWORD kMarker = 0x56444256;

struct Mount {
    std::string hostPath;
    int count = 0;
};

struct MountTable {
    std::mutex lock;
    std::map<DWORD, Mount> mounts;
};

MountTable &Mounts() {
    static MountTable *table = new MountTable;  // outlives static destructors
    return *table;
}

bool IsObjectStore(const CEGUID *guid) {
    return guid == nullptr || CHECK_INVALIDGUID(guid) || CHECK_SYSTEMGUID(guid);
}

bool Exists(const std::string &path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

// Removes a volume file with its log, for a disposition that starts afresh.
DWORD RemoveVolumeFile(const std::string &path) {
    for (const char *suffix : {"-wal", "-shm", ""}) {
        std::string file = path + suffix;
        if (unlink(file.c_str()) != 0 && errno != ENOENT) return Win32FromErrno(errno);
    }
    return ERROR_SUCCESS;
}

// The number of a volume path in the object store's table, made on first use.
DWORD VolumeNumber(const std::string &canonical, DWORD *number) {
    std::string store;
    DWORD err = CeDbObjectStorePath(&store);
    CeDbFile *file = nullptr;
    if (err == ERROR_SUCCESS) err = CeDbFileForThread(store, &file);
    if (err != ERROR_SUCCESS) return err;
    return file->Write(CeDbVolumeGuid(0), [&](CeDbNotices *) {
        SqliteStatement insert(file->Db(), "INSERT OR IGNORE INTO volumes(path) VALUES(?1)");
        insert.BindBlob(1, canonical.data(), canonical.size());
        DWORD e = insert.Run();
        if (e != ERROR_SUCCESS) return e;
        SqliteStatement query(file->Db(), "SELECT id FROM volumes WHERE path = ?1");
        query.BindBlob(1, canonical.data(), canonical.size());
        bool row;
        e = query.Step(&row);
        if (e == ERROR_SUCCESS && !row) e = ERROR_GEN_FAILURE;
        // Notices carry 24 bits of it.
        if (e == ERROR_SUCCESS && query.Int(0) > 0xFFFFFF) e = ERROR_DISK_FULL;
        if (e == ERROR_SUCCESS) *number = static_cast<DWORD>(query.Int(0));
        return e;
    });
}

}  // namespace

CEGUID CeDbVolumeGuid(DWORD volume) {
    CEGUID guid{0, 0, 0, 0};
    if (volume != 0) guid = CEGUID{volume, kMarker, 0, kMarker};
    return guid;
}

DWORD CeDbVolumeNumber(const CEGUID &guid) { return IsObjectStore(&guid) ? 0 : guid.Data1; }

DWORD CeDbResolveVolume(const CEGUID *guid, std::string *hostPath, CEGUID *canonical) {
    if (IsObjectStore(guid)) {
        *canonical = CeDbVolumeGuid(0);
        return CeDbObjectStorePath(hostPath);
    }
    if (guid->Data2 != kMarker || guid->Data3 != 0 || guid->Data4 != kMarker) return ERROR_INVALID_PARAMETER;
    MountTable &table = Mounts();
    std::lock_guard<std::mutex> guard(table.lock);
    auto it = table.mounts.find(guid->Data1);
    if (it == table.mounts.end()) return ERROR_INVALID_PARAMETER;
    *hostPath = it->second.hostPath;
    *canonical = *guid;
    return ERROR_SUCCESS;
}

DWORD CeDbMount(LPCWSTR devicePath, DWORD disposition, CEGUID *guid) {
    std::string host;
    if (devicePath == nullptr || guid == nullptr) return ERROR_INVALID_PARAMETER;
    if (!DeviceMapPath(devicePath, &host)) return GetLastError();
    bool exists = Exists(host);
    DWORD err = ERROR_SUCCESS;
    switch (disposition) {
        case CREATE_NEW:
            if (exists) return ERROR_FILE_EXISTS;
            break;
        case OPEN_EXISTING:
            if (!exists) return MissingPathError(host);
            break;
        case OPEN_ALWAYS:
            break;
        case CREATE_ALWAYS:
        case TRUNCATE_EXISTING:
            if (!exists && disposition == TRUNCATE_EXISTING) return MissingPathError(host);
            if (exists) {
                char real[PATH_MAX];
                if (realpath(host.c_str(), real) != nullptr) {
                    MountTable &table = Mounts();
                    std::lock_guard<std::mutex> guard(table.lock);
                    for (const auto &m : table.mounts) {
                        if (m.second.hostPath == real) return ERROR_SHARING_VIOLATION;
                    }
                }
                err = RemoveVolumeFile(host);
            }
            break;
        default:
            return ERROR_INVALID_PARAMETER;
    }
    if (err != ERROR_SUCCESS) return err;
    if (!exists && !Exists(host.substr(0, host.find_last_of('/')))) return ERROR_PATH_NOT_FOUND;
    CeDbFile *file = nullptr;
    err = CeDbFileForThread(host, &file);  // makes the tables of a new volume, refuses a foreign file
    if (err != ERROR_SUCCESS) return err;
    char real[PATH_MAX];
    if (realpath(host.c_str(), real) == nullptr) return Win32FromErrno(errno);
    std::string canonical(real);
    DWORD number = 0;
    err = VolumeNumber(canonical, &number);
    if (err != ERROR_SUCCESS) return err;
    MountTable &table = Mounts();
    std::lock_guard<std::mutex> guard(table.lock);
    Mount &mount = table.mounts[number];
    mount.hostPath = canonical;
    ++mount.count;
    *guid = CeDbVolumeGuid(number);
    return ERROR_SUCCESS;
}

DWORD CeDbUnmount(const CEGUID &guid) {
    if (IsObjectStore(&guid) || guid.Data2 != kMarker) return ERROR_INVALID_PARAMETER;
    MountTable &table = Mounts();
    std::lock_guard<std::mutex> guard(table.lock);
    auto it = table.mounts.find(guid.Data1);
    if (it == table.mounts.end()) return ERROR_INVALID_PARAMETER;
    if (--it->second.count == 0) table.mounts.erase(it);
    return ERROR_SUCCESS;
}

}  // namespace vplat
