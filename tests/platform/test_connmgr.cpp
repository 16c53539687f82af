#include <gtest/gtest.h>

#include "connmgr.h"
#include "device.h"
#include "support/TestDevice.h"
#include "vplatform_test.h"
#include "windows.h"

namespace {

class ConnMgrTest : public DeviceTest {
protected:
    void TearDown() override {
        vplat::ConnMgrResetScript();
        DeviceTest::TearDown();
    }

    static CONNMGR_CONNECTIONINFO Request() {
        CONNMGR_CONNECTIONINFO info = {};
        info.cbSize = sizeof info;
        info.dwParams = CONNMGR_PARAM_GUIDDESTNET;
        info.dwFlags = CONNMGR_FLAG_PROXY_HTTP;
        info.dwPriority = CONNMGR_PRIORITY_USERINTERACTIVE;
        info.guidDestNet = IID_DestNetInternet;
        return info;
    }
};

// The defaults: ready, mapped to the Internet, connected over the host's
// network (loopback is enough), and the connection held until released.
TEST_F(ConnMgrTest, DefaultConnectsOverLoopback) {
    HANDLE ready = ConnMgrApiReadyEvent();
    ASSERT_NE(nullptr, ready);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(ready, 0));
    EXPECT_TRUE(CloseHandle(ready));

    GUID net = {};
    DWORD index = 7;
    ASSERT_EQ(S_OK, ConnMgrMapURL(u"https://mail.example.com/Microsoft-Server-ActiveSync", &net, &index));
    EXPECT_TRUE(IsEqualGUID(IID_DestNetInternet, net));
    EXPECT_EQ(0u, index);

    CONNMGR_CONNECTIONINFO info = Request();
    info.guidDestNet = net;
    HANDLE connection = nullptr;
    DWORD status = 0;
    ASSERT_EQ(S_OK, ConnMgrEstablishConnectionSync(&info, &connection, 25000, &status));
    EXPECT_EQ(DWORD(CONNMGR_STATUS_CONNECTED), status);
    ASSERT_NE(nullptr, connection);
    EXPECT_EQ(1u, vplat::ConnMgrGetCounters().heldConnections);

    status = 0;
    EXPECT_EQ(S_OK, ConnMgrConnectionStatus(connection, &status));
    EXPECT_EQ(DWORD(CONNMGR_STATUS_CONNECTED), status);
    EXPECT_EQ(S_OK, ConnMgrReleaseConnection(connection, 1));
    EXPECT_EQ(0u, vplat::ConnMgrGetCounters().heldConnections);
    EXPECT_EQ(1u, vplat::ConnMgrGetCounters().establishCalls);

    // A released connection is gone.
    EXPECT_EQ(E_INVALIDARG, ConnMgrReleaseConnection(connection, 0));
    EXPECT_EQ(E_INVALIDARG, ConnMgrConnectionStatus(connection, &status));
}

TEST_F(ConnMgrTest, MapsOnlyHttpUrlsWithAHost) {
    const struct {
        const char16_t *url;
        HRESULT expected;
    } cases[] = {
        {u"http://server", S_OK},     {u"HTTPS://server:443/x", S_OK}, {u"http://", E_INVALIDARG},
        {u"https:///path", E_INVALIDARG}, {u"ftp://server", E_INVALIDARG}, {u"http:server", E_INVALIDARG},
        {u"", E_INVALIDARG},          {nullptr, E_INVALIDARG},
    };
    for (const auto &c : cases) {
        GUID net = {};
        EXPECT_EQ(c.expected, ConnMgrMapURL(c.url, &net, nullptr)) << (c.url ? vplat::Utf16ToUtf8(c.url) : "null");
    }
    EXPECT_EQ(E_INVALIDARG, ConnMgrMapURL(u"http://server", nullptr, nullptr));
}

// Each scripted failure shows at the call it names and nowhere earlier.
TEST_F(ConnMgrTest, ScriptedFailures) {
    enum Step { kReadyEvent, kReady, kMap, kEstablish, kStatus };
    const struct {
        const char *name;
        vplat::ConnMgrScript script;
        Step failsAt;
        HRESULT result;
        DWORD status;
    } cases[] = {
        {"no ready event", [] { vplat::ConnMgrScript s; s.readyEventAvailable = false; return s; }(), kReadyEvent,
         S_OK, 0},
        {"never ready", [] { vplat::ConnMgrScript s; s.ready = false; return s; }(), kReady, S_OK, 0},
        {"map fails", [] { vplat::ConnMgrScript s; s.mapResult = E_FAIL; return s; }(), kMap, E_FAIL, 0},
        {"radio off", [] {
             vplat::ConnMgrScript s;
             s.establishResult = E_FAIL;
             s.establishStatus = CONNMGR_STATUS_PHONEOFF;
             return s;
         }(),
         kEstablish, E_FAIL, CONNMGR_STATUS_PHONEOFF},
        {"no interface up", [] { vplat::ConnMgrScript s; s.networkUp = 0; return s; }(), kEstablish, E_FAIL,
         CONNMGR_STATUS_NOPATHTODESTINATION},
        {"status fails", [] { vplat::ConnMgrScript s; s.statusResult = E_UNEXPECTED; return s; }(), kStatus,
         E_UNEXPECTED, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        vplat::ConnMgrResetScript();
        vplat::ConnMgrSetScript(c.script);

        HANDLE ready = ConnMgrApiReadyEvent();
        if (c.failsAt == kReadyEvent) {
            EXPECT_EQ(nullptr, ready);
            continue;
        }
        ASSERT_NE(nullptr, ready);
        const DWORD wait = WaitForSingleObject(ready, 0);
        CloseHandle(ready);
        if (c.failsAt == kReady) {
            EXPECT_EQ(WAIT_TIMEOUT, wait);
            continue;
        }
        EXPECT_EQ(WAIT_OBJECT_0, wait);

        GUID net = {};
        const HRESULT mapped = ConnMgrMapURL(u"http://server", &net, nullptr);
        if (c.failsAt == kMap) {
            EXPECT_EQ(c.result, mapped);
            continue;
        }
        ASSERT_EQ(S_OK, mapped);

        CONNMGR_CONNECTIONINFO info = Request();
        HANDLE connection = nullptr;
        DWORD status = 0;
        const HRESULT established = ConnMgrEstablishConnectionSync(&info, &connection, 25000, &status);
        if (c.failsAt == kEstablish) {
            EXPECT_EQ(c.result, established);
            EXPECT_EQ(c.status, status);
            EXPECT_EQ(nullptr, connection);
            EXPECT_EQ(0u, vplat::ConnMgrGetCounters().heldConnections);
            continue;
        }
        ASSERT_EQ(S_OK, established);
        EXPECT_EQ(c.result, ConnMgrConnectionStatus(connection, &status));
        EXPECT_EQ(S_OK, ConnMgrReleaseConnection(connection, 1));
        EXPECT_EQ(0u, vplat::ConnMgrGetCounters().heldConnections);
    }
}

TEST_F(ConnMgrTest, RefusesBadRequests) {
    HANDLE connection = nullptr;
    DWORD status = 0;
    CONNMGR_CONNECTIONINFO info = Request();
    info.cbSize = 64 - 1;
    EXPECT_EQ(E_INVALIDARG, ConnMgrEstablishConnectionSync(&info, &connection, 25000, &status));
    info = Request();
    EXPECT_EQ(E_INVALIDARG, ConnMgrEstablishConnectionSync(&info, nullptr, 25000, &status));
    // Only the Internet exists on this device.
    info.guidDestNet.Data1 ^= 1;
    EXPECT_EQ(E_FAIL, ConnMgrEstablishConnectionSync(&info, &connection, 25000, &status));
    EXPECT_EQ(DWORD(CONNMGR_STATUS_NOPATHTODESTINATION), status);
    EXPECT_EQ(0u, vplat::ConnMgrGetCounters().heldConnections);
}

}  // namespace
