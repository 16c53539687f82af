#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "WinInetErrorText.h"
#include "support/TestHttpServer.h"
#include "transfertestutil.h"
#include "winfile.h"

namespace {

using TransferFailureTest = TransferTest;

TEST(WinInetErrorTextTest, FailuresMapToTheirTextAndCode) {
    struct Case {
        DWORD error;
        const char *text;
        DErrorCode code;
    } cases[] = {
        {0, "No error", httpErrUnknownResponse},
        {ERROR_INTERNET_TIMEOUT, "Connection timed out", httpErrTransactionTimedOut},
        {ERROR_INTERNET_NAME_NOT_RESOLVED, "Server name could not be resolved", httpErrServerConnectFailed},
        {ERROR_INTERNET_CANNOT_CONNECT, "Server unreachable", httpErrServerConnectFailed},
        {ERROR_INTERNET_CONNECTION_ABORTED, "Connection terminated", internetConnectErrConnectionLost},
        {ERROR_INTERNET_CONNECTION_RESET, "Connection terminated", internetConnectErrConnectionLost},
        {ERROR_INTERNET_OPERATION_CANCELLED, "Connection terminated", internetConnectErrConnectionLost},
        {ERROR_INTERNET_INVALID_CA, "Invalid or missing certificate", internetConnectSSLError},
        {ERROR_INTERNET_SEC_CERT_REVOKED, "Invalid or missing certificate", internetConnectSSLError},
        {ERROR_INTERNET_SEC_CERT_DATE_INVALID, "Expired certificate or date incorrect on device",
         internetConnectSSLError},
        {ERROR_INTERNET_DISCONNECTED, "Disconnected", httpErrTransactionDisconnected},
        {ERROR_INTERNET_SECURITY_CHANNEL_ERROR, "Unknown internet error", httpErrRequestFailed},
    };
    for (const Case &c : cases) {
        const WinInetErrorEntry entry = MapWinInetError(c.error);
        EXPECT_STREQ(entry.text, c.text) << c.error;
        EXPECT_EQ(entry.code, c.code) << c.error;
    }
    EXPECT_EQ(FormatWinInetError("-HttpSendRequest error", 12029, "Server unreachable"),
              "-HttpSendRequest error: GetLastError(12029) = Server unreachable");
}

// Each way a transfer fails ends in one error report with the mapped code,
// never in a success record.
TEST_F(TransferFailureTest, TransportFailuresEndInOneErrorReport) {
    const std::string body(200000, 'x');
    struct Case {
        const char *name;
        bool refused;
        TestHttpReply reply;
        DErrorCode code;
    } cases[] = {
        {"refused", true, {}, httpErrServerConnectFailed},
        {"closed before answering", false, [] { TestHttpReply r; r.cutAfter = 0; return r; }(),
         internetConnectErrConnectionLost},
        {"reset midway", false,
         [&] { TestHttpReply r; r.body = body; r.cutAfter = 5000; r.reset = true; return r; }(),
         internetConnectErrConnectionLost},
        // 12152, which reads as a time-out, not as a bad URL.
        {"not HTTP", false, [] { TestHttpReply r; r.raw = "garbage\r\n\r\n"; return r; }(),
         httpErrTransactionTimedOut},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        // Each server is new: so is the connection to it.
        session->CloseConnection();
        client.events.clear();
        TestHttpServer server;
        server.Script(c.reply);
        auto trx = NewTransaction(c.refused ? TestHttpServer::ClosedPort() : server.Port(), kHTTPVerbPost,
                                  "/Microsoft-Server-ActiveSync?Cmd=Ping");
        ASSERT_EQ(trx->Submit(), kNoError);
        ASSERT_TRUE(PumpUntilOutcome());
        EXPECT_EQ(client.Outcomes(), std::vector<std::string>{"error " + HexCode(c.code)});
        EXPECT_FALSE(global->log.Has("Invalid URL"));
        EXPECT_EQ(trx->GetStatusCode(), 0u);
        EXPECT_EQ(session->GetCurrentTransaction(), nullptr);
    }
}

TEST_F(TransferFailureTest, SilentServerIsEndedByTheWatchdogOnce) {
    TestHttpServer server;
    TestHttpReply silent;
    silent.silent = true;
    server.Script(silent);
    auto trx = NewTransaction(server.Port(), kHTTPVerbPost, "/Microsoft-Server-ActiveSync?Cmd=Ping");
    trx->SetTimeout(30);
    ASSERT_EQ(trx->Submit(), kNoError);
    ASSERT_TRUE(PumpUntil([&] { return server.Requests().size() == 1; }));
    EXPECT_EQ(trx->GetSocket()->GetTimeout(), 30u);
    EXPECT_TRUE(trx->GetSocket()->IsWatchdogRunning());

    // Short of the time-out nothing happens.
    vplat::ClockAdvance(29999);
    RunEngine();
    EXPECT_TRUE(client.Outcomes().empty());
    vplat::ClockAdvance(1);
    ASSERT_TRUE(PumpUntilOutcome());
    EXPECT_EQ(client.Outcomes(), std::vector<std::string>{"error " + HexCode(httpErrTransactionTimedOut)});
    EXPECT_TRUE(global->log.Has("DWmSocket: time out expired, cancelling thread\n"));

    // The stopped worker's own end still comes, and is dropped.
    ASSERT_TRUE(PumpUntil([&] { return global->log.Has("DWmSocket: end of a stopped transfer dropped\n"); }));
    vplat::ClockAdvance(60000);
    RunEngine();
    EXPECT_EQ(client.Outcomes().size(), 1u);
}

// The time-out counts silence: data that arrives late restarts it.
TEST_F(TransferFailureTest, WatchdogMeasuresSilenceNotTheWholeExchange) {
    TestHttpServer server;
    TestHttpReply stalled{200, "OK", {}, std::string(16384, 'x')};
    stalled.delayMs = 500;    // the answer starts once the clock has moved on
    stalled.cutAfter = 4200;  // two whole 2 KB reads, then nothing more
    stalled.stall = true;
    server.Script(stalled);
    auto trx = NewTransaction(server.Port(), kHTTPVerbPost, "/Microsoft-Server-ActiveSync?Cmd=Ping");
    trx->SetTimeout(10);
    ASSERT_EQ(trx->Submit(), kNoError);
    ASSERT_TRUE(PumpUntil([&] { return server.Requests().size() == 1; }));

    vplat::ClockAdvance(6000);  // data arrives at 6 s
    ASSERT_TRUE(PumpUntil([&] { return client.progress.size() > 0; }));
    EXPECT_TRUE(client.Outcomes().empty());

    // 12 s after the start but only 6 s of silence: still running.
    vplat::ClockAdvance(6000);
    RunEngine();
    EXPECT_FALSE(global->log.Has("DWmSocket: time out expired, cancelling thread\n"));
    EXPECT_TRUE(client.Outcomes().empty());
    EXPECT_TRUE(trx->GetSocket()->IsWatchdogRunning());

    // 10 s of silence ends it.
    vplat::ClockAdvance(4001);
    ASSERT_TRUE(PumpUntilOutcome());
    EXPECT_EQ(client.Outcomes(), std::vector<std::string>{"error " + HexCode(httpErrTransactionTimedOut)});
}

TEST_F(TransferFailureTest, CancelWhileTheWorkerBlocksEndsItQuietly) {
    TestHttpServer server;
    TestHttpReply silent;
    silent.silent = true;
    server.Script(silent);
    server.Script({200, "OK", {}, "next"});
    auto trx = NewTransaction(server.Port(), kHTTPVerbPost, "/Microsoft-Server-ActiveSync?Cmd=Ping");
    ASSERT_EQ(trx->Submit(), kNoError);
    ASSERT_TRUE(PumpUntil([&] { return server.Requests().size() == 1; }));

    ASSERT_EQ(trx->CancelTransaction(), kNoError);
    EXPECT_FALSE(trx->IsInFlight());
    EXPECT_EQ(session->GetCurrentTransaction(), nullptr);
    EXPECT_TRUE(global->log.Has("DWmSocket::ForceCancel() Force shutdown\n"));
    RunEngine();
    EXPECT_TRUE(client.Outcomes().empty());
    trx.reset();

    // The session takes the next request as usual.
    auto next = NewTransaction(server.Port(), kHTTPVerbGet, "/next");
    ASSERT_EQ(next->Submit(), kNoError);
    ASSERT_TRUE(PumpUntilOutcome());
    EXPECT_EQ(client.Outcomes(), std::vector<std::string>{"response 4 status 200"});
}

TEST_F(TransferFailureTest, UnreadableBodyIsReportedAndNothingIsSent) {
    TestHttpServer server;
    server.Script({});
    auto trx = NewTransaction(server.Port(), kHTTPVerbPost, "/Microsoft-Server-ActiveSync?Cmd=Sync");
    VFile *body = new VFile;
    body->SetFileName(u"\\gone.bin");
    body->Create();
    ASSERT_EQ(body->Open(kVFileReadWrite), kNoError);
    uint32_t written = 0;
    body->Write(5, "hello", &written);
    body->Close();
    ASSERT_EQ(trx->SetRequestData(body), kNoError);
    body->Close();
    ASSERT_TRUE(DeleteFileW(u"\\gone.bin"));

    ASSERT_EQ(trx->Submit(), kNoError);
    ASSERT_TRUE(PumpUntilOutcome());
    // The body's file is gone: its error, and no worker.
    EXPECT_EQ(client.Outcomes(), std::vector<std::string>{"error " + HexCode(vfileErrFileNotFound)});
    EXPECT_FALSE(global->log.Has("DWmSocket::SendAndRecv(): Created thread"));
    EXPECT_TRUE(server.Requests().empty());
}

}  // namespace
