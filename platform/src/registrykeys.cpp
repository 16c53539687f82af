// The registry calls on keys: open, create, delete, enumerate, describe,
// close and flush, and the caller's transaction over them.
#include <algorithm>

#include "registrykey.h"
#include "winerror.h"
#include "winreg.h"

using namespace vplat;

namespace {

void ClearClass(LPWSTR lpClass, LPDWORD lpcchClass) {
    if (lpClass != nullptr && lpcchClass != nullptr && *lpcchClass > 0) lpClass[0] = 0;
    if (lpcchClass != nullptr) *lpcchClass = 0;
}

void ClearTime(LPFILETIME time) {
    if (time != nullptr) *time = FILETIME{0, 0};
}

}  // namespace

extern "C" PLATAPI LONG RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD, REGSAM, PHKEY phkResult) {
    if (phkResult == nullptr) return ERROR_INVALID_PARAMETER;
    *phkResult = nullptr;
    std::vector<std::u16string> names = SplitKeyPath(lpSubKey);
    int root;
    if (names.empty() && IsPredefinedKey(hKey, &root)) {
        *phkResult = hKey;
        return ERROR_SUCCESS;
    }
    RegistryKeyCall call(hKey, false);
    if (call.Error() != ERROR_SUCCESS) return call.Finish(call.Error());
    RegistryKeyRef key;
    bool found = false;
    DWORD err = call.Store().FindPath(call.Key(), names, &key, &found);
    if (err == ERROR_SUCCESS && !found) err = ERROR_FILE_NOT_FOUND;
    err = call.Finish(err);
    if (err == ERROR_SUCCESS) *phkResult = NewKeyHandle(call.Store(), key);
    return err;
}

extern "C" PLATAPI LONG RegCreateKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD, LPWSTR, DWORD, REGSAM,
                                        LPSECURITY_ATTRIBUTES, PHKEY phkResult, LPDWORD lpdwDisposition) {
    if (phkResult == nullptr || lpSubKey == nullptr) return ERROR_INVALID_PARAMETER;
    *phkResult = nullptr;
    std::vector<std::u16string> names = SplitKeyPath(lpSubKey);
    int root;
    if (names.empty() && IsPredefinedKey(hKey, &root)) {
        *phkResult = hKey;
        if (lpdwDisposition != nullptr) *lpdwDisposition = REG_OPENED_EXISTING_KEY;
        return ERROR_SUCCESS;
    }
    RegistryKeyCall call(hKey, true);
    if (call.Error() != ERROR_SUCCESS) return call.Finish(call.Error());
    RegistryKeyRef key;
    bool created = false;
    DWORD err = call.Finish(call.Store().CreatePath(call.Key(), names, &key, &created));
    if (err != ERROR_SUCCESS) return err;
    *phkResult = NewKeyHandle(call.Store(), key);
    if (lpdwDisposition != nullptr) *lpdwDisposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    return ERROR_SUCCESS;
}

// An empty sub-key deletes the opened key itself; a root cannot go.
extern "C" PLATAPI LONG RegDeleteKeyW(HKEY hKey, LPCWSTR lpSubKey) {
    if (lpSubKey == nullptr) return ERROR_INVALID_PARAMETER;
    std::vector<std::u16string> names = SplitKeyPath(lpSubKey);
    int root;
    if (names.empty() && IsPredefinedKey(hKey, &root)) return ERROR_ACCESS_DENIED;
    RegistryKeyCall call(hKey, true);
    if (call.Error() != ERROR_SUCCESS) return call.Finish(call.Error());
    RegistryKeyRef key;
    bool found = false;
    DWORD err = call.Store().FindPath(call.Key(), names, &key, &found);
    if (err == ERROR_SUCCESS && !found) err = ERROR_FILE_NOT_FOUND;
    if (err == ERROR_SUCCESS) err = call.Store().DeleteTree(key.id);
    return call.Finish(err);
}

extern "C" PLATAPI LONG RegEnumKeyExW(HKEY hKey, DWORD dwIndex, LPWSTR lpName, LPDWORD lpcchName, LPDWORD,
                                      LPWSTR lpClass, LPDWORD lpcchClass, LPFILETIME lpftLastWriteTime) {
    if (lpName == nullptr || lpcchName == nullptr) return ERROR_INVALID_PARAMETER;
    RegistryKeyCall call(hKey, false);
    if (call.Error() != ERROR_SUCCESS) return call.Finish(call.Error());
    std::u16string name;
    bool found = false;
    DWORD err = call.Store().SubKeyAt(call.Key().id, dwIndex, &name, &found);
    if (err == ERROR_SUCCESS && !found) err = ERROR_NO_MORE_ITEMS;
    err = call.Finish(err);
    if (err != ERROR_SUCCESS) return err;
    if (name.size() + 1 > *lpcchName) return ERROR_MORE_DATA;
    std::copy(name.begin(), name.end(), lpName);
    lpName[name.size()] = 0;
    *lpcchName = static_cast<DWORD>(name.size());
    ClearClass(lpClass, lpcchClass);
    ClearTime(lpftLastWriteTime);
    return ERROR_SUCCESS;
}

extern "C" PLATAPI LONG RegQueryInfoKeyW(HKEY hKey, LPWSTR lpClass, LPDWORD lpcchClass, LPDWORD,
                                         LPDWORD lpcSubKeys, LPDWORD lpcbMaxSubKeyLen, LPDWORD lpcbMaxClassLen,
                                         LPDWORD lpcValues, LPDWORD lpcbMaxValueNameLen, LPDWORD lpcbMaxValueLen,
                                         LPDWORD lpcbSecurityDescriptor, LPFILETIME lpftLastWriteTime) {
    RegistryKeyCall call(hKey, false);
    if (call.Error() != ERROR_SUCCESS) return call.Finish(call.Error());
    RegistryKeyInfo info;
    DWORD err = call.Finish(call.Store().GetInfo(call.Key().id, &info));
    if (err != ERROR_SUCCESS) return err;
    ClearClass(lpClass, lpcchClass);
    const struct {
        LPDWORD out;
        DWORD value;
    } outputs[] = {
        {lpcSubKeys, info.subKeys},
        {lpcbMaxSubKeyLen, info.maxSubKeyLen},
        {lpcbMaxClassLen, 0},
        {lpcValues, info.values},
        {lpcbMaxValueNameLen, info.maxValueNameLen},
        {lpcbMaxValueLen, info.maxValueLen},
        {lpcbSecurityDescriptor, 0},
    };
    for (const auto &output : outputs) {
        if (output.out != nullptr) *output.out = output.value;
    }
    ClearTime(lpftLastWriteTime);
    return ERROR_SUCCESS;
}

extern "C" PLATAPI LONG RegCloseKey(HKEY hKey) {
    int root;
    if (IsPredefinedKey(hKey, &root)) return ERROR_SUCCESS;
    if (HandleGet<RegistryKeyObject>(hKey) == nullptr || !HandleClose(hKey)) return ERROR_INVALID_HANDLE;
    return ERROR_SUCCESS;
}

extern "C" PLATAPI LONG RegFlushKey(HKEY hKey) {
    RegistryKeyCall call(hKey, false);
    DWORD err = call.Finish(call.Error());
    if (err != ERROR_SUCCESS) return err;
    return call.Store().Checkpoint();
}

extern "C" PLATAPI LONG RegBeginTransaction(void) {
    RegistryStore *store = nullptr;
    DWORD err = RegistryForThread(&store);
    return err != ERROR_SUCCESS ? err : store->BeginCallerTransaction();
}

extern "C" PLATAPI LONG RegEndTransaction(BOOL commit) {
    RegistryStore *store = nullptr;
    DWORD err = RegistryForThread(&store);
    return err != ERROR_SUCCESS ? err : store->EndCallerTransaction(commit != FALSE);
}
