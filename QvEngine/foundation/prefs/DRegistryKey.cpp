#include "DRegistryKey.h"

#include "winerror.h"

LONG DRegistryKey::Open(HKEY root, LPCWSTR subKey, REGSAM access) {
    HKEY key = nullptr;
    const LONG err = RegOpenKeyExW(root, subKey, 0, access, &key);
    if (err != ERROR_SUCCESS) return err;
    Close();
    m_key = key;
    return ERROR_SUCCESS;
}

void DRegistryKey::Close() {
    if (m_key == nullptr) return;
    RegCloseKey(m_key);
    m_key = nullptr;
}
