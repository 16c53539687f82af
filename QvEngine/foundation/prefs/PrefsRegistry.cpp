// Registry helpers over HKEY_CURRENT_USER: typed reads that store the
// caller's value in place of what cannot be read, and plain writes.
#include "PrefsRegistry.h"

#include <utility>
#include <vector>

#include "winerror.h"
#include "winreg.h"

const WCHAR kVantrelRegKey[] = u"Software\\Brellow\\Vantrel";
const WCHAR kAirSyncConnectionRegKey[] = u"Software\\Microsoft\\AirSync\\Connection";
const WCHAR kITPolicyRegKey[] = u"Software\\Brellow\\Vantrel\\ITPolicy";

namespace {

// One open key of the current user, closed when it goes.
class UserKey {
public:
    explicit UserKey(const WCHAR *subkey) {
        m_error = static_cast<DErrorCode>(RegOpenKeyExW(HKEY_CURRENT_USER, subkey, 0, KEY_ALL_ACCESS, &m_key));
        if (m_error != kNoError) m_key = nullptr;
    }
    ~UserKey() {
        if (m_key != nullptr) RegCloseKey(m_key);
    }
    UserKey(const UserKey &) = delete;
    UserKey &operator=(const UserKey &) = delete;

    DErrorCode Error() const { return m_error; }
    HKEY Get() const { return m_key; }

private:
    HKEY m_key = nullptr;
    DErrorCode m_error;
};

bool IsHighSurrogate(WCHAR c) { return c >= 0xD800 && c <= 0xDBFF; }

// Units of text to keep under the limit.
size_t LimitedUnits(const WCHAR *text, size_t units, uint32_t maxChars) {
    size_t keep = maxChars == 0 ? 0 : maxChars - 1;
    if (units <= keep) return units;
    if (keep > 0 && IsHighSurrogate(text[keep - 1])) --keep;
    return keep;
}

// The value's text (up to its first zero unit), or why there is none.
DErrorCode QueryText(HKEY key, const WCHAR *valueName, std::vector<WCHAR> *out) {
    DWORD type = 0;
    DWORD size = 0;
    std::vector<WCHAR> units;
    LONG rc = ERROR_MORE_DATA;
    // Another process may grow the value between the size and the read.
    for (int attempt = 0; attempt < 3 && rc == ERROR_MORE_DATA; ++attempt) {
        rc = RegQueryValueExW(key, valueName, nullptr, &type, nullptr, &size);
        if (rc != ERROR_SUCCESS) return static_cast<DErrorCode>(rc);
        if (type != REG_SZ && type != REG_EXPAND_SZ) return ERROR_INVALID_DATA;
        units.assign(size / sizeof(WCHAR) + 1, 0);
        rc = RegQueryValueExW(key, valueName, nullptr, &type, reinterpret_cast<BYTE *>(units.data()), &size);
    }
    if (rc != ERROR_SUCCESS) return static_cast<DErrorCode>(rc);
    if ((type != REG_SZ && type != REG_EXPAND_SZ) || size < sizeof(WCHAR) || size % sizeof(WCHAR) != 0 ||
        units[size / sizeof(WCHAR) - 1] != 0)
        return ERROR_INVALID_DATA;
    size_t length = 0;
    while (units[length] != 0) ++length;
    units.resize(length);
    *out = std::move(units);
    return kNoError;
}

DErrorCode QueryDWORD(HKEY key, const WCHAR *valueName, DWORD *out) {
    DWORD type = 0;
    DWORD size = 0;
    LONG rc = RegQueryValueExW(key, valueName, nullptr, &type, nullptr, &size);
    if (rc != ERROR_SUCCESS) return static_cast<DErrorCode>(rc);
    if (type != REG_DWORD || size != sizeof(DWORD)) return ERROR_INVALID_DATA;
    DWORD value = 0;
    rc = RegQueryValueExW(key, valueName, nullptr, &type, reinterpret_cast<BYTE *>(&value), &size);
    if (rc != ERROR_SUCCESS) return static_cast<DErrorCode>(rc);
    *out = value;
    return kNoError;
}

DErrorCode SetText(HKEY key, const WCHAR *valueName, const VString &value) {
    VString wide;
    DErrorCode err = wide.Assign(value);
    if (err == kNoError) err = wide.ConvertTo(kVStringUTF16LE);
    if (err != kNoError) return err;
    // An empty string without a tag has no wide text yet.
    const WCHAR *text = wide.GetLength() == 0 ? u"" : wide.GetWideText();
    DWORD bytes = wide.GetLength() + sizeof(WCHAR);
    return static_cast<DErrorCode>(
        RegSetValueExW(key, valueName, 0, REG_SZ, reinterpret_cast<const BYTE *>(text), bytes));
}

DErrorCode SetDWORD(HKEY key, const WCHAR *valueName, DWORD value) {
    return static_cast<DErrorCode>(
        RegSetValueExW(key, valueName, 0, REG_DWORD, reinterpret_cast<const BYTE *>(&value), sizeof(value)));
}

DErrorCode QueryString(HKEY key, const WCHAR *valueName, VString *value, uint32_t maxChars) {
    std::vector<WCHAR> units;
    DErrorCode err = QueryText(key, valueName, &units);
    if (err != kNoError) return err;
    size_t keep = LimitedUnits(units.data(), units.size(), maxChars);
    return value->AssignWide(units.data(), static_cast<uint32_t>(keep), kVStringUTF16LE);
}

}  // namespace

DErrorCode LimitUserRegText(VString *text, uint32_t maxChars) {
    if (text == nullptr) return generalErrNULLPointer;
    DErrorCode err = text->ConvertTo(kVStringUTF16LE);
    if (err != kNoError) return err;
    size_t units = text->GetLength() / sizeof(WCHAR);
    size_t keep = LimitedUnits(text->GetWideText(), units, maxChars);
    if (keep == units) return kNoError;
    VString cut;
    err = cut.AssignWide(text->GetWideText(), static_cast<uint32_t>(keep), kVStringUTF16LE);
    if (err == kNoError) *text = std::move(cut);
    return err;
}

DErrorCode QueryUserRegString(const WCHAR *subkey, const WCHAR *valueName, VString *value, uint32_t maxChars) {
    if (value == nullptr) return generalErrNULLPointer;
    UserKey key(subkey);
    if (key.Error() != kNoError) return key.Error();
    return QueryString(key.Get(), valueName, value, maxChars);
}

DErrorCode QueryUserRegDWORD(const WCHAR *subkey, const WCHAR *valueName, DWORD *value) {
    if (value == nullptr) return generalErrNULLPointer;
    UserKey key(subkey);
    if (key.Error() != kNoError) return key.Error();
    return QueryDWORD(key.Get(), valueName, value);
}

DErrorCode ReadUserRegString(const WCHAR *subkey, const WCHAR *valueName, VString *value, uint32_t maxChars) {
    if (value == nullptr) return generalErrNULLPointer;
    UserKey key(subkey);
    if (key.Error() != kNoError) return key.Error();
    DErrorCode err = QueryString(key.Get(), valueName, value, maxChars);
    if (err == kNoError) return kNoError;
    // Missing or not a text: what the caller holds becomes the value.
    if (err == ERROR_FILE_NOT_FOUND || err == ERROR_INVALID_DATA) return SetText(key.Get(), valueName, *value);
    return err;
}

DErrorCode ReadUserRegDWORD(const WCHAR *subkey, const WCHAR *valueName, DWORD *value) {
    if (value == nullptr) return generalErrNULLPointer;
    UserKey key(subkey);
    if (key.Error() != kNoError) return key.Error();
    DErrorCode err = QueryDWORD(key.Get(), valueName, value);
    if (err == kNoError) return kNoError;
    if (err == ERROR_FILE_NOT_FOUND || err == ERROR_INVALID_DATA) return SetDWORD(key.Get(), valueName, *value);
    return err;
}

DErrorCode WriteUserRegString(const WCHAR *subkey, const WCHAR *valueName, const VString *value) {
    if (value == nullptr) return generalErrNULLPointer;
    UserKey key(subkey);
    if (key.Error() != kNoError) return key.Error();
    return SetText(key.Get(), valueName, *value);
}

DErrorCode WriteUserRegDWORD(const WCHAR *subkey, const WCHAR *valueName, DWORD value) {
    UserKey key(subkey);
    if (key.Error() != kNoError) return key.Error();
    return SetDWORD(key.Get(), valueName, value);
}

DErrorCode LoadFolderIDSetting(DWORD *folderIdTag) {
    if (folderIdTag == nullptr) return generalErrNULLPointer;
    *folderIdTag = 0;
    return ReadUserRegDWORD(kVantrelRegKey, u"FolderID", folderIdTag);
}

DErrorCode SaveFolderIDSetting(DWORD folderIdTag) {
    return WriteUserRegDWORD(kVantrelRegKey, u"FolderID", folderIdTag);
}

DErrorCode ResetITPolicyRegKeys() {
    VString zero;
    DErrorCode err = zero.AssignWide(u"0", kQvUnknown, kVStringUTF16LE);
    if (err != kNoError) return err;
    UserKey key(kITPolicyRegKey);
    if (key.Error() == ERROR_FILE_NOT_FOUND) return kNoError;
    if (key.Error() != kNoError) return key.Error();
    // Both or neither: a reader never sees one key reset and the other not.
    err = static_cast<DErrorCode>(RegBeginTransaction());
    if (err != kNoError) return err;
    err = SetText(key.Get(), u"RequiredKey", zero);
    if (err == kNoError) err = SetText(key.Get(), u"SatisfiedKey", zero);
    DErrorCode end = static_cast<DErrorCode>(RegEndTransaction(err == kNoError ? TRUE : FALSE));
    return err != kNoError ? err : end;
}
