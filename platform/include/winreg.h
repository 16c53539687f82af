// The device's registry: keys under the predefined roots, each holding
// typed values. Key and value names are case-insensitive and keep the case
// they were created with; a sub-key path is a backslash-separated list of
// names (leading, trailing and repeated backslashes are ignored). Every call
// reads or writes the device's registry at once, so a write is seen by every
// process of the device as soon as the call returns. The calls return their
// error number (they do not set the last error).
#ifndef VPLATFORM_WINREG_H
#define VPLATFORM_WINREG_H

#include "wintypes.h"
#include "wintime.h"

struct HKEY__;
typedef struct HKEY__ *HKEY;
typedef HKEY *PHKEY;
typedef DWORD REGSAM;

#define HKEY_CLASSES_ROOT ((HKEY)(ULONG_PTR)((LONG)0x80000000))
#define HKEY_CURRENT_USER ((HKEY)(ULONG_PTR)((LONG)0x80000001))
#define HKEY_LOCAL_MACHINE ((HKEY)(ULONG_PTR)((LONG)0x80000002))
#define HKEY_USERS ((HKEY)(ULONG_PTR)((LONG)0x80000003))

// Value types.
#define REG_NONE 0
#define REG_SZ 1
#define REG_EXPAND_SZ 2
#define REG_BINARY 3
#define REG_DWORD 4
#define REG_MULTI_SZ 7

// Access masks: accepted, not enforced.
#define KEY_QUERY_VALUE 0x0001
#define KEY_SET_VALUE 0x0002
#define KEY_CREATE_SUB_KEY 0x0004
#define KEY_ENUMERATE_SUB_KEYS 0x0008
#define KEY_NOTIFY 0x0010
#define KEY_CREATE_LINK 0x0020
#define KEY_READ 0x20019
#define KEY_WRITE 0x20006
#define KEY_EXECUTE 0x20019
#define KEY_ALL_ACCESS 0xF003F

// Key options (every key is kept).
#define REG_OPTION_NON_VOLATILE 0x00000000L

// Dispositions of RegCreateKeyExW.
#define REG_CREATED_NEW_KEY 0x00000001L
#define REG_OPENED_EXISTING_KEY 0x00000002L

extern "C" {
// Opens an existing key (2 when it is missing). An empty sub-key opens
// hKey again (a predefined root comes back as itself).
PLATAPI LONG RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD ulOptions, REGSAM samDesired, PHKEY phkResult);
// Opens a key, creating every missing key of the path; the disposition
// tells whether the last key was created or already there.
PLATAPI LONG RegCreateKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD Reserved, LPWSTR lpClass, DWORD dwOptions,
                             REGSAM samDesired, LPSECURITY_ATTRIBUTES lpSecurityAttributes, PHKEY phkResult,
                             LPDWORD lpdwDisposition);
// Reads a value as stored: its type and its bytes (a text's terminator
// included when it was stored with one). A null or empty name is the key's
// default value. With no data buffer, *lpcbData gets the size; with a short
// one, 234 and the size. 2 when the value is missing.
PLATAPI LONG RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData,
                              LPDWORD lpcbData);
// Stores exactly cbData bytes under the type given, replacing a value of
// that name whatever its type.
PLATAPI LONG RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD Reserved, DWORD dwType, const BYTE *lpData,
                            DWORD cbData);
PLATAPI LONG RegDeleteValueW(HKEY hKey, LPCWSTR lpValueName);
// Deletes a key with all its sub-keys and values.
PLATAPI LONG RegDeleteKeyW(HKEY hKey, LPCWSTR lpSubKey);
// The dwIndex-th sub-key (in creation order); 259 past the last, 234 when
// the name buffer (*lpcchName characters, terminator included) is short.
// On success *lpcchName is the name's length without the terminator.
PLATAPI LONG RegEnumKeyExW(HKEY hKey, DWORD dwIndex, LPWSTR lpName, LPDWORD lpcchName, LPDWORD lpReserved,
                           LPWSTR lpClass, LPDWORD lpcchClass, LPFILETIME lpftLastWriteTime);
// The dwIndex-th value (in creation order) with its type and data, as
// RegEnumKeyExW for the name and RegQueryValueExW for the data.
PLATAPI LONG RegEnumValueW(HKEY hKey, DWORD dwIndex, LPWSTR lpValueName, LPDWORD lpcchValueName,
                           LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData);
// Counts of sub-keys and values and their longest names (in characters,
// without the terminator) and longest data (in bytes). Keys have no class.
PLATAPI LONG RegQueryInfoKeyW(HKEY hKey, LPWSTR lpClass, LPDWORD lpcchClass, LPDWORD lpReserved,
                              LPDWORD lpcSubKeys, LPDWORD lpcbMaxSubKeyLen, LPDWORD lpcbMaxClassLen,
                              LPDWORD lpcValues, LPDWORD lpcbMaxValueNameLen, LPDWORD lpcbMaxValueLen,
                              LPDWORD lpcbSecurityDescriptor, LPFILETIME lpftLastWriteTime);
// Closing a predefined root does nothing.
PLATAPI LONG RegCloseKey(HKEY hKey);
// Every write is already kept when its call returns; this also pushes the
// registry's log into its main file.
PLATAPI LONG RegFlushKey(HKEY hKey);

// Groups this thread's registry calls, from RegBeginTransaction to
// RegEndTransaction, into one change: other threads and processes see all
// of it or none, and a process that ends inside it changes nothing. It
// holds the registry's write lock throughout (other writers wait), so keep
// it short. Begin: 170 when this thread has one open already. End: commits
// when commit is TRUE (returning the commit's error), else discards every
// change since Begin; 1 when none is open.
PLATAPI LONG RegBeginTransaction(void);
PLATAPI LONG RegEndTransaction(BOOL commit);
}

#endif
