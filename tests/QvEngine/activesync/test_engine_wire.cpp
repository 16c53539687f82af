// The engine's requests as they arrive at a server: one request through the
// HTTP layer to the loopback test server, checked on the wire (request line,
// headers in their order, query).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "DActiveSyncEngine.h"
#include "TestDataManager.h"
#include "support/TestHttpServer.h"
#include "transfertestutil.h"

namespace {

class WireEngine : public DActiveSyncEngine {
public:
    using DActiveSyncEngine::CreateCommandTransaction;
    using DActiveSyncEngine::SendCurrentTransaction;
    using DActiveSyncEngine::SetDataManager;
    using DActiveSyncEngine::SetHTTPSession;
    using DActiveSyncEngine::SetSessionHeaders;

    DHTTPTransaction *Transaction() const { return m_currentTransaction; }
};

class SilentClient : public IActiveSyncClient {
public:
    DErrorCode ActiveSync_ReportError(DErrorCode, VString *) override { return kNoError; }
    DErrorCode ActiveSync_ReceivedResponse(DClientResponse *) override { return kNoError; }
    DErrorCode ActiveSync_ReportStatus(DStatusData *) override { return kNoError; }
    uint32_t ActiveSync_GetClientID() override { return kClientTagApplication; }
    BOOL ActiveSync_PreSyncCheck() override { return TRUE; }
};

VString Narrow(const char *text) {
    VString s;
    s.AssignCStr(text, kVStringWindows1252);
    return s;
}

// The engine owns the session; the test's recording client hears its
// outcomes, so that only the request side of the engine is at work.
class EngineWireTest : public TransferTest {
protected:
    void SetUp() override {
        TransferTest::SetUp();
        global->prefs.SetUser(Narrow("a&b c"));
        global->prefs.SetPassword(Narrow("pw"));
        global->prefs.SetEASVers(250);
        global->prefs.SetEASPolicyKey(Narrow("4711"));
        global->prefs.SetQVDeviceID(Narrow("ID%2F1"));
        global->prefs.SetQVDeviceType(Narrow("VantrelClient"));
        engine.SetDataManager(new TestDataManager);
        DHTTPSession *owned = session.release();
        engine.SetHTTPSession(owned);
        owned->SetClient(&client);
        ASSERT_EQ(engine.Initialize(global.get(), &engineClient), kNoError);
    }
    void TearDown() override {
        engine.SetHTTPSession(nullptr);
        TransferTest::TearDown();
    }

    SilentClient engineClient;
    WireEngine engine;
};

TEST_F(EngineWireTest, APingArrivesWithItsHeadersInOrderAndItsQueryEscapedOnce) {
    TestHttpServer server;
    server.Script({});
    ASSERT_EQ(engine.SetSessionHeaders(), kNoError);
    ASSERT_EQ(engine.CreateCommandTransaction(EActiveSyncStep_PingCmd, "Ping"), kNoError);
    engine.Transaction()->SetProtocol(kHTTPSchemeHttp);
    engine.Transaction()->SetPort(server.Port());
    ASSERT_EQ(engine.SendCurrentTransaction(), kNoError);
    ASSERT_TRUE(PumpUntilOutcome());
    ASSERT_TRUE(server.WaitForRequests(1));

    const TestHttpRequest request = server.Requests()[0];
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.target,
              "/Microsoft-Server-ActiveSync?User=a%26b%20c&DeviceId=ID%2F1&DeviceType=VantrelClient&Cmd=Ping");
    // The transfer layer writes Host first, as HTTP/1.1 clients do; the
    // engine's headers follow in the engine's order.
    std::vector<std::string> names;
    for (const auto &h : request.headers)
        if (h.first != "Host") names.push_back(h.first);
    const std::vector<std::string> expected = {"Accept-Language", "MS-ASProtocolVersion", "Connection",
                                               "User-Agent",      "Cache-Control",        "Authorization",
                                               "X-MS-PolicyKey",  "Content-Length"};
    EXPECT_EQ(names, expected);
    EXPECT_EQ(request.Header("Host"), "127.0.0.1");
    EXPECT_EQ(request.Header("MS-ASProtocolVersion"), "2.5");
    EXPECT_EQ(request.Header("X-MS-PolicyKey"), "4711");
    EXPECT_EQ(request.Header("User-Agent"), "Vantrel-PocketPC/2.0");
    EXPECT_EQ(request.Header("Authorization"), "Basic dXNlcjpwYXNz");  // the recording client's user:pass
}

}  // namespace
