// Helpers for tests of the record database files: byte strings in the
// file's little-endian form and a fixture over one database file.
#ifndef VTEST_SIMPLEDBTESTUTIL_H
#define VTEST_SIMPLEDBTESTUTIL_H

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "VFile.h"
#include "support/TestDevice.h"

// Builds file bytes: Le().u32(16).u16(1).text("ab") ...
class Le {
public:
    Le &u32(uint32_t v) {
        for (int i = 0; i < 4; ++i) m_bytes += static_cast<char>((v >> (8 * i)) & 0xFF);
        return *this;
    }
    Le &u16(uint16_t v) {
        m_bytes += static_cast<char>(v & 0xFF);
        m_bytes += static_cast<char>(v >> 8);
        return *this;
    }
    // Raw bytes (a NUL is only written when given, as "ab\0" with its size).
    Le &raw(const std::string &bytes) {
        m_bytes += bytes;
        return *this;
    }
    Le &zeros(size_t count) {
        m_bytes.append(count, '\0');
        return *this;
    }
    operator std::string() const { return m_bytes; }

private:
    std::string m_bytes;
};

constexpr WCHAR kDBPath[] = u"\\Temp\\test.brw";
constexpr WCHAR kSnapshotPath[] = u"\\Temp\\test.ro";

class SimpleDBTest : public DeviceTest {
protected:
    void SetUp() override {
        DeviceTest::SetUp();
        ASSERT_EQ(m_file.SetFileName(kDBPath), kNoError);
    }
    std::string HostPath(const WCHAR *path) { return Device().Host(path); }
    std::string Get(const WCHAR *path) {
        std::ifstream in(HostPath(path), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    void Put(const WCHAR *path, const std::string &bytes) {
        std::ofstream(HostPath(path), std::ios::binary) << bytes;
    }
    bool HostExists(const WCHAR *path) { return std::filesystem::exists(HostPath(path)); }

    VFile m_file;
};

// Byte strings print as hex in failure messages.
inline std::string Hex(const std::string &bytes) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : bytes) {
        if (!out.empty()) out += ' ';
        out += kDigits[c >> 4];
        out += kDigits[c & 0xF];
    }
    return out;
}

#endif
