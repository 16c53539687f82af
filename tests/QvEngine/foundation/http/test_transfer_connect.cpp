#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "DWinMobInternetConnectEngine.h"
#include "transfertestutil.h"

namespace {

class TransferConnectTest : public TransferTest {
protected:
    DWinMobInternetConnectEngine *Engine() {
        EXPECT_EQ(session->CanConnect(nullptr), kNoError);
        return static_cast<DWinMobInternetConnectEngine *>(session->GetConnectEngine());
    }
};

TEST_F(TransferConnectTest, ServerThatCannotFormAUrlFailsBeforeTheConnectionManagerIsAsked) {
    for (const char *server : {"", "mail.example.com/owa", "two words", "user@mail"}) {
        SCOPED_TRACE(server);
        client.events.clear();
        vplat::ConnMgrResetScript();
        SetServer(server);
        DHTTPTransaction *trx = nullptr;
        ASSERT_EQ(session->CreateTransaction(&trx), kNoError);
        std::unique_ptr<DHTTPTransaction> hold(trx);
        trx->SetServer("127.0.0.1");
        ASSERT_EQ(trx->Submit(), kNoError);
        EXPECT_EQ(client.events, std::vector<std::string>{"error " + HexCode(internetConnectNetUnavailable)});
        EXPECT_EQ(vplat::ConnMgrGetCounters().establishCalls, 0u);
        EXPECT_TRUE(session->GetConnectEngine()->IsDisconnected());
    }
}

TEST_F(TransferConnectTest, FlightModeIsRefusedUnlessTheDeviceHasWiFi) {
    vplat::TelephonyScript phone;
    phone.lines = {{u"Cellular Line", LINEEQUIPSTATE_MINIMUM, 0}};
    vplat::TelephonySetScript(phone);
    ASSERT_EQ(session->CanConnect(nullptr), internetConnectFlightMode);
    DInternetConnectEngine *engine = session->GetConnectEngine();
    EXPECT_EQ(vplat::ConnMgrGetCounters().establishCalls, 0u);

    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Microsoft\\WZCSVC", 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_EQ(engine->CanConnect(nullptr), kNoError);
    EXPECT_TRUE(engine->IsNetworkReady());
}

// The engine never holds a connection it no longer counts as its own.
TEST_F(TransferConnectTest, ConnectingAgainOrFailingReleasesWhatIsHeld) {
    DWinMobInternetConnectEngine *engine = Engine();
    ASSERT_TRUE(engine->IsNetworkReady());
    ASSERT_EQ(engine->Connect(), kNoError);
    ASSERT_TRUE(engine->IsConnected());
    ASSERT_NE(engine->GetInternetHandle(), nullptr);
    EXPECT_EQ(client.events, (std::vector<std::string>{"status 1", "response 31"}));
    EXPECT_EQ(vplat::ConnMgrGetCounters().heldConnections, 1u);

    // Connecting again on a connected engine only repeats the record.
    ASSERT_EQ(engine->Connect(), kNoError);
    EXPECT_EQ(client.events.back(), "response 31");
    EXPECT_EQ(vplat::ConnMgrGetCounters().heldConnections, 1u);

    // A second CanConnect replaces the connection instead of leaking it.
    EXPECT_EQ(engine->CanConnect(nullptr), kNoError);
    EXPECT_TRUE(engine->IsNetworkReady());
    EXPECT_EQ(engine->GetInternetHandle(), nullptr);
    EXPECT_EQ(vplat::ConnMgrGetCounters().heldConnections, 1u);

    struct Case {
        const char *name;
        vplat::ConnMgrScript script;
        DErrorCode code;
    } cases[] = {
        {"establish fails", [] { vplat::ConnMgrScript s; s.establishResult = E_FAIL; return s; }(),
         internetConnectNetUnavailable},
        {"status fails", [] { vplat::ConnMgrScript s; s.statusResult = E_FAIL; return s; }(),
         internetConnectNetUnavailable},
        {"never ready", [] { vplat::ConnMgrScript s; s.ready = false; return s; }(), internetConnectNoConnection},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        vplat::ConnMgrResetScript();
        ASSERT_EQ(engine->CanConnect(nullptr), kNoError);
        ASSERT_EQ(engine->Connect(), kNoError);
        ASSERT_TRUE(engine->IsConnected());
        vplat::ConnMgrSetScript(c.script);
        DActiveTask *task = session.get();
        ASSERT_EQ(engine->CanConnect(task->GetSignal()), kNoError);
        EXPECT_EQ(task->GetSignal()->GetCode(), c.code);
        EXPECT_TRUE(engine->IsDisconnected());
        EXPECT_EQ(engine->GetInternetHandle(), nullptr);
        EXPECT_EQ(engine->GetConnectionHandle(), nullptr);
        EXPECT_EQ(vplat::ConnMgrGetCounters().heldConnections, 0u);
    }
}

}  // namespace
