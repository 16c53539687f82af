#include "registrykey.h"

#include <memory>

#include "winerror.h"

namespace vplat {

bool IsPredefinedKey(HKEY hKey, int *root) {
    const HKEY roots[kRootCount] = {HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_USERS};
    for (int i = 0; i < kRootCount; ++i) {
        if (hKey == roots[i]) {
            *root = i;
            return true;
        }
    }
    return false;
}

HKEY NewKeyHandle(const RegistryStore &store, RegistryKeyRef key) {
    return static_cast<HKEY>(HandleInsert(std::make_shared<RegistryKeyObject>(key, store.DeviceRoot())));
}

RegistryKeyCall::RegistryKeyCall(HKEY hKey, bool write) {
    int root;
    std::shared_ptr<RegistryKeyObject> object;
    if (IsPredefinedKey(hKey, &root)) {
        m_key = RegistryRootKey(root);
    } else {
        object = HandleGet<RegistryKeyObject>(hKey);
        if (object == nullptr) {
            m_err = ERROR_INVALID_HANDLE;
            return;
        }
        m_key = object->Key();
    }
    m_err = RegistryForThread(&m_store);
    if (m_err != ERROR_SUCCESS) return;
    // A key opened on another device names nothing here.
    if (object != nullptr && object->DeviceRoot() != m_store->DeviceRoot()) {
        m_err = ERROR_INVALID_HANDLE;
        return;
    }
    // Inside the caller's transaction the call is one step of it.
    if (!m_store->InCallerTransaction()) {
        m_tx.emplace(m_store->Db(), write);
        m_err = m_tx->Error();
        if (m_err != ERROR_SUCCESS) return;
    }
    bool exists = false;
    m_err = m_store->KeyExists(m_key.id, &exists);
    if (m_err == ERROR_SUCCESS && !exists) m_err = ERROR_KEY_DELETED;
}

DWORD RegistryKeyCall::Finish(DWORD err) {
    if (!m_tx) return err;
    if (err == ERROR_SUCCESS) err = m_tx->Commit();
    m_tx.reset();
    return err;
}

}  // namespace vplat
