// DRegistryKey: holds at most one open registry key and closes it when it
// is replaced, closed or destroyed. Not copyable.
#ifndef QV_DREGISTRYKEY_H
#define QV_DREGISTRYKEY_H

#include "winreg.h"

class DRegistryKey {
public:
    DRegistryKey() = default;
    ~DRegistryKey() { Close(); }
    DRegistryKey(const DRegistryKey &) = delete;
    DRegistryKey &operator=(const DRegistryKey &) = delete;

    // Opens root\subKey with the given access; on success the key held so
    // far is closed and the new one kept, on failure the held key stays.
    // The registry's error number (ERROR_SUCCESS on success).
    LONG Open(HKEY root, LPCWSTR subKey, REGSAM access);
    // Closes the held key, if any.
    void Close();
    // The held key, or null.
    HKEY Get() const { return m_key; }

private:
    HKEY m_key = nullptr;
};

#endif
