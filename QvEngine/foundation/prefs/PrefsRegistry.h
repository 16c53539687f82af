// The registry helpers over HKEY_CURRENT_USER that the preferences, the
// IT-policy store and the applications share. They open existing keys only
// (a missing key fails with the platform's error, 2) and return platform
// errors unchanged.
//
// The Read helpers create what they cannot read: a missing value, or one of
// the wrong type or shape, is replaced by the caller's current value (so a
// default becomes stored) and the result of that write is returned. A text
// must be REG_SZ or REG_EXPAND_SZ, of even length and zero-terminated; a
// number must be a four-byte REG_DWORD. Anything else counts as
// ERROR_INVALID_DATA.
#ifndef QV_PREFSREGISTRY_H
#define QV_PREFSREGISTRY_H

#include <cstdint>

#include "DErrorCode.h"
#include "VString.h"
#include "wintypes.h"

// The product's key and the platform's account key.
extern const WCHAR kVantrelRegKey[];
extern const WCHAR kAirSyncConnectionRegKey[];
// The IT-policy store's key.
extern const WCHAR kITPolicyRegKey[];

// Reads a text as UTF-16LE. maxChars counts characters with the
// terminator: a longer text is cut to maxChars - 1 characters (never inside
// a surrogate pair) and left as stored.
DErrorCode ReadUserRegString(const WCHAR *subkey, const WCHAR *valueName, VString *value, uint32_t maxChars);
DErrorCode ReadUserRegDWORD(const WCHAR *subkey, const WCHAR *valueName, DWORD *value);

// The text as UTF-16LE REG_SZ with its terminator; value keeps its own tag.
DErrorCode WriteUserRegString(const WCHAR *subkey, const WCHAR *valueName, const VString *value);
DErrorCode WriteUserRegDWORD(const WCHAR *subkey, const WCHAR *valueName, DWORD value);

// Reads a text without ever writing: 2 when missing, ERROR_INVALID_DATA
// when it is no well-formed text. The same limit as ReadUserRegString.
DErrorCode QueryUserRegString(const WCHAR *subkey, const WCHAR *valueName, VString *value, uint32_t maxChars);
// The same for a number: 2 when missing, ERROR_INVALID_DATA when it is no
// four-byte REG_DWORD; *value untouched unless it succeeds.
DErrorCode QueryUserRegDWORD(const WCHAR *subkey, const WCHAR *valueName, DWORD *value);

// Brings text to UTF-16LE and cuts it to maxChars - 1 characters (the
// limit counts the terminator), never inside a surrogate pair.
DErrorCode LimitUserRegText(VString *text, uint32_t maxChars);

// The product key's "FolderID" (the property tag of the engine's folder-id
// property on message folders); a missing value is created as 0.
DErrorCode LoadFolderIDSetting(DWORD *folderIdTag);
DErrorCode SaveFolderIDSetting(DWORD folderIdTag);

// "0" into the IT-policy key's "RequiredKey" and "SatisfiedKey", both in one
// registry transaction; a device without the key has nothing to reset. The
// one reset behind the global info's and the IT-policy store's.
DErrorCode ResetITPolicyRegKeys();

#endif
