#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "support/TestDevice.h"
#include "tapi.h"
#include "vplatform_test.h"
#include "windows.h"

namespace {

class TelephonyTest : public DeviceTest {
protected:
    void TearDown() override {
        vplat::TelephonyResetScript();
        DeviceTest::TearDown();
    }

    // Starts an instance as the flight-mode probe does.
    static LONG Start(HLINEAPP *app, DWORD *devices, HANDLE *event = nullptr) {
        LINEINITIALIZEEXPARAMS params = {};
        params.dwTotalSize = sizeof params;
        params.dwOptions = LINEINITIALIZEEXOPTION_USEEVENT;
        DWORD version = 0x20000;
        const LONG result = lineInitializeEx(app, nullptr, nullptr, u"GPRSStatus", devices, &version, &params);
        if (event != nullptr) *event = params.Handles.hEvent;
        return result;
    }
};

// The device has no radio: the service starts with no line devices.
TEST_F(TelephonyTest, DefaultHasNoLines) {
    HLINEAPP app = nullptr;
    DWORD devices = 9;
    HANDLE event = nullptr;
    ASSERT_EQ(0, Start(&app, &devices, &event));
    EXPECT_EQ(0u, devices);
    EXPECT_NE(nullptr, event);
    DWORD version = 0;
    LINEEXTENSIONID ext;
    EXPECT_EQ(LINEERR_BADDEVICEID, lineNegotiateAPIVersion(app, 0, 0x10003, 0x20002, &version, &ext));
    EXPECT_EQ(1u, vplat::TelephonyHeldCount());
    EXPECT_EQ(0, lineShutdown(app));
    EXPECT_EQ(0u, vplat::TelephonyHeldCount());
    EXPECT_EQ(LINEERR_INVALAPPHANDLE, lineShutdown(app));
}

// A scripted line: versions, capabilities with the line's name, opening it
// and its radio's state; shutting down releases the open line too.
TEST_F(TelephonyTest, ScriptedLines) {
    vplat::TelephonyScript script;
    script.lines.push_back({u"Modem", LINEEQUIPSTATE_FULL, 0});
    script.lines.push_back({u"Cellular Line", LINEEQUIPSTATE_MINIMUM, 0});
    vplat::TelephonySetScript(script);

    HLINEAPP app = nullptr;
    DWORD devices = 0;
    ASSERT_EQ(0, Start(&app, &devices));
    ASSERT_EQ(2u, devices);

    DWORD version = 0;
    LINEEXTENSIONID ext;
    EXPECT_EQ(LINEERR_INCOMPATIBLEAPIVERSION, lineNegotiateAPIVersion(app, 1, 0x30000, 0x30001, &version, &ext));
    ASSERT_EQ(0, lineNegotiateAPIVersion(app, 1, 0x10003, 0x20002, &version, &ext));
    EXPECT_EQ(0x20002u, version);
    DWORD extVersion = 0;
    EXPECT_EQ(LINEERR_INCOMPATIBLEEXTVERSION, lineNegotiateExtVersion(app, 1, version, 0x20000, 0x20001, &extVersion));
    ASSERT_EQ(0, lineNegotiateExtVersion(app, 1, version, 0x10000, 0x10001, &extVersion));
    EXPECT_EQ(0x10001u, extVersion);

    // Too small for the name: the fixed part and the size needed.
    LINEDEVCAPS small = {};
    small.dwTotalSize = sizeof small;
    ASSERT_EQ(0, lineGetDevCaps(app, 1, version, extVersion, &small));
    EXPECT_EQ(0u, small.dwLineNameSize);
    EXPECT_EQ(sizeof small + sizeof(u"Cellular Line"), small.dwNeededSize);
    small.dwTotalSize = sizeof small - 1;
    EXPECT_EQ(LINEERR_STRUCTURETOOSMALL, lineGetDevCaps(app, 1, version, extVersion, &small));

    std::vector<DWORD> buffer(1316 / sizeof(DWORD));
    auto *caps = reinterpret_cast<LINEDEVCAPS *>(buffer.data());
    caps->dwTotalSize = 1316;
    ASSERT_EQ(0, lineGetDevCaps(app, 1, version, extVersion, caps));
    ASSERT_EQ(sizeof(u"Cellular Line"), caps->dwLineNameSize);
    EXPECT_EQ(0, memcmp(reinterpret_cast<BYTE *>(caps) + caps->dwLineNameOffset, u"Cellular Line",
                        caps->dwLineNameSize));

    HLINE line = nullptr;
    ASSERT_EQ(0, lineOpen(app, 1, &line, version, extVersion, 0, LINECALLPRIVILEGE_MONITOR | LINECALLPRIVILEGE_OWNER,
                          LINEMEDIAMODE_INTERACTIVEVOICE | LINEMEDIAMODE_DATAMODEM, nullptr));
    DWORD state = 0, radio = 0;
    ASSERT_EQ(0, lineGetEquipmentState(line, &state, &radio));
    EXPECT_EQ(DWORD(LINEEQUIPSTATE_MINIMUM), state);
    EXPECT_EQ(DWORD(LINERADIOSUPPORT_OFF), radio);
    EXPECT_EQ(2u, vplat::TelephonyHeldCount());

    EXPECT_EQ(0, lineShutdown(app));
    EXPECT_EQ(0u, vplat::TelephonyHeldCount());
    EXPECT_EQ(LINEERR_INVALLINEHANDLE, lineGetEquipmentState(line, &state, &radio));
    EXPECT_EQ(LINEERR_INVALLINEHANDLE, lineClose(line));
}

TEST_F(TelephonyTest, ScriptedFailures) {
    vplat::TelephonyScript script;
    script.initializeResult = LINEERR_OPERATIONUNAVAIL;
    vplat::TelephonySetScript(script);
    HLINEAPP app = nullptr;
    DWORD devices = 0;
    EXPECT_EQ(LINEERR_OPERATIONUNAVAIL, Start(&app, &devices));
    EXPECT_EQ(0u, vplat::TelephonyHeldCount());

    script.initializeResult = 0;
    script.lines.push_back({u"Cellular Line", LINEEQUIPSTATE_FULL, LINEERR_RESOURCEUNAVAIL});
    vplat::TelephonySetScript(script);
    ASSERT_EQ(0, Start(&app, &devices));
    HLINE line = nullptr;
    ASSERT_EQ(0, lineOpen(app, 0, &line, 0x20002, 0x10001, 0, LINECALLPRIVILEGE_MONITOR, 0, nullptr));
    DWORD state = 0, radio = 0;
    EXPECT_EQ(LINEERR_RESOURCEUNAVAIL, lineGetEquipmentState(line, &state, &radio));
    EXPECT_EQ(0, lineClose(line));
    EXPECT_EQ(0, lineShutdown(app));
    EXPECT_EQ(0u, vplat::TelephonyHeldCount());
}

}  // namespace
