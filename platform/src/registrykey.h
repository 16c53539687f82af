// Open registry keys as the registry calls see them: the predefined roots,
// handles of opened keys (objects of the device's handle table that remember
// their key's row and device), and one call's access to a key inside a
// transaction, which fails with ERROR_KEY_DELETED once the key is gone.
#ifndef VPLATFORM_REGISTRYKEY_H
#define VPLATFORM_REGISTRYKEY_H

#include <optional>
#include <string>

#include "handles.h"
#include "registrystore.h"
#include "winreg.h"

namespace vplat {

// An opened key: its row, and the device whose registry holds it.
class RegistryKeyObject : public KernelObject {
public:
    RegistryKeyObject(RegistryKeyRef key, std::string deviceRoot) : m_key(key), m_deviceRoot(std::move(deviceRoot)) {}
    RegistryKeyRef Key() const { return m_key; }
    const std::string &DeviceRoot() const { return m_deviceRoot; }

private:
    const RegistryKeyRef m_key;
    const std::string m_deviceRoot;
};

// Whether hKey is one of the predefined roots (and which).
bool IsPredefinedKey(HKEY hKey, int *root);
// A new handle for a key of the store's device.
HKEY NewKeyHandle(const RegistryStore &store, RegistryKeyRef key);

// One registry call on the key behind a handle: the thread's registry
// connection, a read or write transaction (none of its own inside the
// caller's transaction), and the check that the key still exists. Error()
// is 0 when all three are in place.
class RegistryKeyCall {
public:
    RegistryKeyCall(HKEY hKey, bool write);
    DWORD Error() const { return m_err; }
    RegistryStore &Store() { return *m_store; }
    RegistryKeyRef Key() const { return m_key; }
    // Ends the call: commits when err is 0 (returning the commit's error),
    // else rolls back and returns err.
    DWORD Finish(DWORD err);

private:
    RegistryStore *m_store = nullptr;
    RegistryKeyRef m_key;
    std::optional<SqliteTransaction> m_tx;
    DWORD m_err;
};

}  // namespace vplat

#endif
