// The keys a new device's registry holds before any program runs: keys of
// the platform's own software that programs open (and fill) but never
// create. Run once, when the registry file is made.
#include "registrystore.h"
#include "winerror.h"

namespace vplat {
namespace {

struct DeviceKey {
    RegistryRoot root;
    const WCHAR *path;
};

const DeviceKey kDeviceKeys[] = {
    // The sync account the platform shares with the programs that set it up.
    {kRootCurrentUser, u"Software\\Microsoft\\AirSync\\Connection"},
};

}  // namespace

DWORD SeedDeviceKeys(RegistryStore &store) {
    for (const auto &entry : kDeviceKeys) {
        RegistryKeyRef key;
        bool created;
        DWORD err = store.CreatePath(RegistryRootKey(entry.root), SplitKeyPath(entry.path), &key, &created);
        if (err != ERROR_SUCCESS) return err;
    }
    return ERROR_SUCCESS;
}

}  // namespace vplat
