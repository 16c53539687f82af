#include <gtest/gtest.h>

#include "ConnectivityProbes.h"
#include "DRegistryKey.h"
#include "support/TestDevice.h"
#include "vplatform_test.h"
#include "windows.h"

namespace {

class ProbeTest : public DeviceTest {
protected:
    void TearDown() override {
        vplat::TelephonyResetScript();
        DeviceTest::TearDown();
    }
};

// The device as it comes: no cellular line and no Wi-Fi, so never flight mode.
TEST_F(ProbeTest, Defaults) {
    EXPECT_FALSE(HasCellularLine());
    EXPECT_FALSE(IsRadioOff());
    EXPECT_FALSE(HasWiFiSupport());
    EXPECT_EQ(0u, vplat::TelephonyHeldCount());
}

TEST_F(ProbeTest, CellularLineAndRadio) {
    const struct {
        const char *name;
        std::vector<vplat::TelephonyLine> lines;
        LONG initializeResult;
        BOOL hasLine, radioOff;
    } cases[] = {
        {"radio off", {{u"Cellular Line", LINEEQUIPSTATE_MINIMUM, 0}}, 0, TRUE, TRUE},
        {"radio on, name in another case", {{u"CELLULAR line", LINEEQUIPSTATE_FULL, 0}}, 0, TRUE, FALSE},
        {"second device", {{u"Modem", LINEEQUIPSTATE_MINIMUM, 0}, {u"Cellular Line", LINEEQUIPSTATE_FULL, 0}},
         0, TRUE, FALSE},
        {"radio cannot say", {{u"Cellular Line", LINEEQUIPSTATE_MINIMUM, LINEERR_RESOURCEUNAVAIL}}, 0, TRUE, FALSE},
        {"longer name", {{u"Cellular Line 2", LINEEQUIPSTATE_MINIMUM, 0}}, 0, FALSE, FALSE},
        {"shorter name", {{u"Cell", LINEEQUIPSTATE_MINIMUM, 0}}, 0, FALSE, FALSE},
        {"empty name", {{u"", LINEEQUIPSTATE_MINIMUM, 0}}, 0, FALSE, FALSE},
        {"no telephony", {{u"Cellular Line", LINEEQUIPSTATE_MINIMUM, 0}}, LINEERR_OPERATIONUNAVAIL, FALSE, FALSE},
    };
    for (const auto &c : cases) {
        vplat::TelephonyScript script;
        script.lines = c.lines;
        script.initializeResult = c.initializeResult;
        vplat::TelephonySetScript(script);
        EXPECT_EQ(c.hasLine, HasCellularLine()) << c.name;
        EXPECT_EQ(c.radioOff, IsRadioOff()) << c.name;
        // Line and telephony instance are released again.
        EXPECT_EQ(0u, vplat::TelephonyHeldCount()) << c.name;
    }
}

TEST_F(ProbeTest, WiFiSupportAndRegistryKey) {
    HKEY created = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Microsoft\\WZCSVC", 0, nullptr, 0,
                                             KEY_ALL_ACCESS, nullptr, &created, nullptr));
    RegCloseKey(created);
    EXPECT_TRUE(HasWiFiSupport());

    // A failed open keeps the key held; a successful one replaces it.
    DRegistryKey key;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, key.Open(HKEY_LOCAL_MACHINE, u"Software\\Missing", KEY_READ));
    EXPECT_EQ(nullptr, key.Get());
    ASSERT_EQ(ERROR_SUCCESS, key.Open(HKEY_LOCAL_MACHINE, u"Software\\Microsoft", KEY_READ));
    HKEY first = key.Get();
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, key.Open(HKEY_LOCAL_MACHINE, u"Software\\Missing", KEY_READ));
    EXPECT_EQ(first, key.Get());
    ASSERT_EQ(ERROR_SUCCESS, key.Open(HKEY_LOCAL_MACHINE, u"Software\\Microsoft\\WZCSVC", KEY_READ));
    EXPECT_NE(nullptr, key.Get());
    key.Close();
    EXPECT_EQ(nullptr, key.Get());
    key.Close();
}

}  // namespace
