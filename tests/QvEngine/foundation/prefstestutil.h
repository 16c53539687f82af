// Registry access for the preferences tests: the raw values under the
// product and account keys, written and read as another process would.
#ifndef VTEST_PREFSTESTUTIL_H
#define VTEST_PREFSTESTUTIL_H

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "support/TestDevice.h"
#include "winerror.h"
#include "winreg.h"

inline const char16_t *const kProductKey = u"Software\\Brellow\\Vantrel";
inline const char16_t *const kAccountKey = u"Software\\Microsoft\\AirSync\\Connection";

// One stored value: its type and bytes.
struct RawValue {
    DWORD type = REG_NONE;
    std::vector<BYTE> bytes;
    bool operator==(const RawValue &o) const { return type == o.type && bytes == o.bytes; }
    bool operator!=(const RawValue &o) const { return !(*this == o); }
};

inline void PrintTo(const RawValue &v, std::ostream *os) {
    *os << "type " << v.type << ":";
    char hex[4];
    for (BYTE b : v.bytes) {
        snprintf(hex, sizeof(hex), " %02X", b);
        *os << hex;
    }
}

inline RawValue DwordValue(DWORD v) {
    RawValue r;
    r.type = REG_DWORD;
    const BYTE *p = reinterpret_cast<const BYTE *>(&v);
    r.bytes.assign(p, p + sizeof(v));
    return r;
}

// A REG_SZ with its terminator.
inline RawValue TextValue(const std::u16string &text) {
    RawValue r;
    r.type = REG_SZ;
    const BYTE *p = reinterpret_cast<const BYTE *>(text.c_str());
    r.bytes.assign(p, p + (text.size() + 1) * sizeof(char16_t));
    return r;
}

inline std::u16string Wide(const std::string &ascii) { return std::u16string(ascii.begin(), ascii.end()); }

// ASCII names for messages.
inline std::string Narrow(const std::u16string &text) {
    std::string out;
    for (char16_t c : text) out += c < 0x80 ? static_cast<char>(c) : '?';
    return out;
}

// LONG result of the raw read; *out untouched unless it succeeds.
inline LONG ReadRaw(const char16_t *key, const char16_t *name, RawValue *out) {
    HKEY h;
    LONG rc = RegOpenKeyExW(HKEY_CURRENT_USER, key, 0, KEY_ALL_ACCESS, &h);
    if (rc != ERROR_SUCCESS) return rc;
    DWORD type = 0, size = 0;
    rc = RegQueryValueExW(h, name, nullptr, &type, nullptr, &size);
    if (rc == ERROR_SUCCESS) {
        out->type = type;
        out->bytes.assign(size, 0);
        rc = RegQueryValueExW(h, name, nullptr, &type, out->bytes.data(), &size);
    }
    RegCloseKey(h);
    return rc;
}

inline RawValue Raw(const char16_t *key, const char16_t *name) {
    RawValue r;
    EXPECT_EQ(ReadRaw(key, name, &r), ERROR_SUCCESS) << "reading a value of the key";
    return r;
}

inline void WriteRaw(const char16_t *key, const char16_t *name, const RawValue &v) {
    HKEY h;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, key, 0, KEY_ALL_ACCESS, &h), ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExW(h, name, 0, v.type, v.bytes.data(), static_cast<DWORD>(v.bytes.size())),
              ERROR_SUCCESS);
    RegCloseKey(h);
}

inline void WriteDword(const char16_t *key, const char16_t *name, DWORD v) { WriteRaw(key, name, DwordValue(v)); }

// The names of a key's values in the order they were created.
inline std::vector<std::u16string> ValueNames(const char16_t *key) {
    std::vector<std::u16string> names;
    HKEY h;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, key, 0, KEY_ALL_ACCESS, &h) != ERROR_SUCCESS) return names;
    for (DWORD i = 0;; ++i) {
        char16_t name[256];
        DWORD nameLength = 256;
        if (RegEnumValueW(h, i, name, &nameLength, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        names.emplace_back(name, nameLength);
    }
    RegCloseKey(h);
    return names;
}

// Every value of a key by name.
inline std::map<std::u16string, RawValue> Snapshot(const char16_t *key) {
    std::map<std::u16string, RawValue> all;
    HKEY h;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, key, 0, KEY_ALL_ACCESS, &h) != ERROR_SUCCESS) return all;
    for (DWORD i = 0;; ++i) {
        char16_t name[256];
        DWORD nameLength = 256;
        DWORD type = 0, size = 0;
        if (RegEnumValueW(h, i, name, &nameLength, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) break;
        RawValue v;
        ReadRaw(key, name, &v);
        all[std::u16string(name, nameLength)] = v;
    }
    RegCloseKey(h);
    return all;
}

// A device as setup leaves it: the product key exists, still empty.
class PrefsDeviceTest : public DeviceTest {
protected:
    void SetUp() override {
        DeviceTest::SetUp();
        HKEY h;
        DWORD disposition = 0;
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kProductKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h,
                                  &disposition),
                  ERROR_SUCCESS);
        RegCloseKey(h);
    }
};

#endif
