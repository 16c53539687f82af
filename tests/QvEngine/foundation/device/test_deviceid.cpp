#include <gtest/gtest.h>

#include <cctype>
#include <fstream>
#include <string>

#include "DeviceId.h"
#include "DeviceIdText.h"
#include "support/TestDevice.h"

namespace {

class DeviceIdTest : public DeviceTest {
protected:
    void Configure(const std::string &text) { std::ofstream(Device().Root() + "/deviceid") << text; }
};

// The host's id as the hardware layer gives it: 32 upper-case digits, or
// empty when the host has none.
std::string HostId() {
    std::ifstream in("/etc/machine-id");
    std::string line;
    std::getline(in, line);
    if (line.size() != 32) return std::string();
    for (char &c : line) c = char(toupper(static_cast<unsigned char>(c)));
    return line;
}

TEST_F(DeviceIdTest, ConfiguredIdGivesEveryForm) {
    const std::string twenty(40, 'b');  // the most the 40-byte record holds
    const struct {
        std::string configured;
        std::string id, hex, id32;
    } cases[] = {
        {"0a1B2c3D\n", "0A1B2C3D", "0A1B2C3D", "0A1B2C3D0A1B2C3D0A1B2C3D0A1B2C3D"},
        {"00 ff", "00FF", "00FF", "00FF00FF00FF00FF00FF00FF00FF00FF"},
        {twenty, std::string(40, 'B'), std::string(32, 'B'), std::string(32, 'B')},
        {"", "", "12345", std::string(32, '0')},
        // The hardware layer cannot answer in 40 bytes, or has no valid id.
        {twenty + "cc", "000000000000000", "000000000000000", "00000000000000000000000000000000"},
        {"0g", "000000000000000", "000000000000000", "00000000000000000000000000000000"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.configured);
        Configure(c.configured);
        VString id, hex, id32;
        ASSERT_EQ(GetDeviceID(&id), kNoError);
        ASSERT_EQ(MakeDeviceIdHex(&hex), kNoError);
        ASSERT_EQ(MakeDeviceId32(&id32), kNoError);
        EXPECT_EQ(id.GetEncoding(), kVStringWindows1252);
        EXPECT_EQ(id.GetNarrowText(), c.id);
        EXPECT_EQ(hex.GetNarrowText(), c.hex);
        EXPECT_EQ(id32.GetNarrowText(), c.id32);
    }
}

TEST_F(DeviceIdTest, WithoutConfiguredIdTheHostIdIsUsed) {
    const std::string host = HostId();
    if (host.empty()) GTEST_SKIP() << "the host has no machine id";
    VString id, hex;
    ASSERT_EQ(GetDeviceID(&id), kNoError);
    ASSERT_EQ(MakeDeviceIdHex(&hex), kNoError);
    EXPECT_EQ(id.GetNarrowText(), host);
    EXPECT_EQ(hex.GetNarrowText(), host);
}

TEST(DeviceIdTextTest, HexFormKeepsHexDigitsOnly) {
    const struct {
        const char *id;
        const char *hex;
    } cases[] = {
        {"ab-cd:EF", "ABCDEF"},
        {"xyz", "12345"},
        {"0123456789abcdef0123456789abcdef0123", "0123456789ABCDEF0123456789ABCDEF"},
    };
    for (const auto &c : cases) {
        VString out;
        ASSERT_EQ(FormatDeviceIdHex(c.id, &out), kNoError);
        EXPECT_STREQ(out.GetNarrowText(), c.hex) << c.id;
    }
}

TEST(DeviceIdTextTest, Form32StopsAtExactlyThirtyTwo) {
    const struct {
        const char *start;  // out's text before the call
        const char *id;
        const char *id32;
    } cases[] = {
        {"", "g1", "67167167167167167167167167167167"},
        {"", "-", "2d2d2d2d2d2d2d2d2d2d2d2d2d2d2d2d"},
        // A two-digit code that does not fit the last place keeps its first digit.
        {"", "0123456789abcdef0123456789abcdeZ", "0123456789ABCDEF0123456789ABCDE5"},
        {"", "Zabc", "5aABC5aABC5aABC5aABC5aABC5aABC5a"},
        // Appends until out holds 32 characters.
        {"XY", "a", "XYAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA"},
        {"0123456789012345678901234567890123", "a", "0123456789012345678901234567890123"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.id);
        VString out;
        out.AssignCStr(c.start, kVStringWindows1252);
        ASSERT_EQ(FormatDeviceId32(c.id, &out), kNoError);
        EXPECT_STREQ(out.GetNarrowText(), c.id32);
    }
}

}  // namespace
