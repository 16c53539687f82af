// The registry calls on values: query, set, delete and enumerate. Data is
// kept and handed back exactly as it was stored.
#include <algorithm>
#include <atomic>
#include <cstring>

#include "registrykey.h"
#include "vplatform_test.h"
#include "winerror.h"
#include "winreg.h"

using namespace vplat;

namespace {

std::atomic<RegistryWriteHook> g_writeHook{nullptr};

// Hands a value's type and data to the caller's optional outputs: with no
// buffer only the size; with a short one 234 and the size needed.
LONG CopyValueOut(DWORD type, const std::vector<BYTE> &data, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) {
    if (lpType != nullptr) *lpType = type;
    if (lpcbData == nullptr) return ERROR_SUCCESS;
    DWORD size = static_cast<DWORD>(data.size());
    DWORD room = *lpcbData;
    *lpcbData = size;
    if (lpData == nullptr) return ERROR_SUCCESS;
    if (room < size) return ERROR_MORE_DATA;
    if (size > 0) std::memcpy(lpData, data.data(), size);
    return ERROR_SUCCESS;
}

std::u16string ValueName(LPCWSTR lpValueName) { return lpValueName != nullptr ? lpValueName : u""; }

}  // namespace

extern "C" PLATAPI LONG RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, LPDWORD, LPDWORD lpType, LPBYTE lpData,
                                         LPDWORD lpcbData) {
    if (lpData != nullptr && lpcbData == nullptr) return ERROR_INVALID_PARAMETER;
    RegistryKeyCall call(hKey, false);
    if (call.Error() != ERROR_SUCCESS) return call.Finish(call.Error());
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
    bool found = false;
    DWORD err = call.Store().GetValue(call.Key().id, ValueName(lpValueName), &type, &data, &found);
    if (err == ERROR_SUCCESS && !found) err = ERROR_FILE_NOT_FOUND;
    err = call.Finish(err);
    if (err != ERROR_SUCCESS) return err;
    return CopyValueOut(type, data, lpType, lpData, lpcbData);
}

extern "C" PLATAPI LONG RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD, DWORD dwType, const BYTE *lpData,
                                       DWORD cbData) {
    if (lpData == nullptr && cbData != 0) return ERROR_INVALID_PARAMETER;
    RegistryKeyCall call(hKey, true);
    if (call.Error() != ERROR_SUCCESS) return call.Finish(call.Error());
    DWORD err = call.Store().SetValue(call.Key().id, ValueName(lpValueName), dwType, lpData, cbData);
    RegistryWriteHook hook = g_writeHook.load();
    if (err == ERROR_SUCCESS && hook != nullptr) hook();
    return call.Finish(err);
}

PLATAPI void vplat::RegistrySetWriteHook(RegistryWriteHook hook) { g_writeHook.store(hook); }

extern "C" PLATAPI LONG RegDeleteValueW(HKEY hKey, LPCWSTR lpValueName) {
    RegistryKeyCall call(hKey, true);
    if (call.Error() != ERROR_SUCCESS) return call.Finish(call.Error());
    bool found = false;
    DWORD err = call.Store().DeleteValue(call.Key().id, ValueName(lpValueName), &found);
    if (err == ERROR_SUCCESS && !found) err = ERROR_FILE_NOT_FOUND;
    return call.Finish(err);
}

extern "C" PLATAPI LONG RegEnumValueW(HKEY hKey, DWORD dwIndex, LPWSTR lpValueName, LPDWORD lpcchValueName, LPDWORD,
                                      LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) {
    if (lpValueName == nullptr || lpcchValueName == nullptr || (lpData != nullptr && lpcbData == nullptr))
        return ERROR_INVALID_PARAMETER;
    RegistryKeyCall call(hKey, false);
    if (call.Error() != ERROR_SUCCESS) return call.Finish(call.Error());
    std::u16string name;
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
    bool found = false;
    DWORD err = call.Store().ValueAt(call.Key().id, dwIndex, &name, &type, &data, &found);
    if (err == ERROR_SUCCESS && !found) err = ERROR_NO_MORE_ITEMS;
    err = call.Finish(err);
    if (err != ERROR_SUCCESS) return err;
    if (name.size() + 1 > *lpcchValueName) return ERROR_MORE_DATA;
    std::copy(name.begin(), name.end(), lpValueName);
    lpValueName[name.size()] = 0;
    *lpcchValueName = static_cast<DWORD>(name.size());
    return CopyValueOut(type, data, lpType, lpData, lpcbData);
}
