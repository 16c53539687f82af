#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "support/TestHttpServer.h"
#include "transfertestutil.h"

namespace {

using TransferLifetimeTest = TransferTest;

// The engine deletes a transaction in its callbacks: while the connection
// comes up inside Submit, and while the transaction's outcome is delivered.
// Nothing touches it afterwards, and the session takes the next one.
TEST_F(TransferLifetimeTest, ClientMayDeleteTheTransactionInsideEitherRecord) {
    TestHttpServer server;
    server.Script({200, "OK", {}, "first"});
    server.Script({200, "OK", {}, "second"});

    DWinMobHTTPTransaction *doomed = NewTransaction(server.Port(), kHTTPVerbGet, "/a").release();
    client.onConnected = [&] {
        delete doomed;
        doomed = nullptr;
    };
    EXPECT_EQ(doomed->Submit(), generalErrCanceled);
    EXPECT_EQ(doomed, nullptr);
    EXPECT_EQ(session->GetCurrentTransaction(), nullptr);
    client.onConnected = nullptr;

    DWinMobHTTPTransaction *trx = NewTransaction(server.Port(), kHTTPVerbGet, "/b").release();
    client.onResponse = [&](DHTTPTransaction *done) {
        EXPECT_EQ(done, trx);
        delete trx;
        trx = nullptr;
    };
    ASSERT_EQ(trx->Submit(), kNoError);
    ASSERT_TRUE(PumpUntilOutcome());
    EXPECT_EQ(trx, nullptr);
    client.onResponse = nullptr;
    EXPECT_EQ(client.Outcomes(), std::vector<std::string>{"response 4 status 200"});
    EXPECT_EQ(session->GetTaskState(), uint32_t(kSessionIdle));

    auto next = NewTransaction(server.Port(), kHTTPVerbGet, "/c");
    ASSERT_EQ(next->Submit(), kNoError);
    ASSERT_TRUE(PumpUntil([this] { return client.Outcomes().size() == 2; }));
    EXPECT_EQ(client.Outcomes().back(), "response 4 status 200");
}

// A session that goes while its transfer runs stops the worker; the
// transaction, deleted later, no longer reaches it.
TEST_F(TransferLifetimeTest, SessionGoingAwayStopsItsTransfer) {
    TestHttpServer server;
    TestHttpReply silent;
    silent.silent = true;
    server.Script(silent);
    auto trx = NewTransaction(server.Port(), kHTTPVerbPost, "/Microsoft-Server-ActiveSync?Cmd=Ping");
    ASSERT_EQ(trx->Submit(), kNoError);
    ASSERT_TRUE(PumpUntil([&] { return server.Requests().size() == 1; }));

    session.reset();
    EXPECT_EQ(trx->GetSession(), nullptr);
    RunEngine();
    trx.reset();
    EXPECT_TRUE(client.Outcomes().empty());
}

// A second Submit while the worker writes the answer stops the running send
// before the response file is emptied, and sends again: the client hears
// one outcome, with the new answer only.
TEST_F(TransferLifetimeTest, SecondSubmitStopsTheRunningSendFirst) {
    TestHttpServer server;
    TestHttpReply stalled{200, "OK", {}, std::string(16384, 'x')};
    stalled.cutAfter = 4200;  // part of the body, then silence
    stalled.stall = true;
    server.Script(stalled);
    server.Script({200, "OK", {}, "resent"});
    auto trx = NewTransaction(server.Port(), kHTTPVerbPost, "/Microsoft-Server-ActiveSync?Cmd=Sync");
    VFile *response = new VFile;
    response->SetFileName(u"\\response.bin");
    ASSERT_EQ(trx->SetResponseData(response), kNoError);
    std::string body;
    CaptureBody(&body);

    ASSERT_EQ(trx->Submit(), kNoError);
    ASSERT_TRUE(PumpUntil([&] { return !client.progress.empty(); }));
    ASSERT_EQ(trx->Submit(), kNoError);
    ASSERT_TRUE(PumpUntilOutcome());
    EXPECT_EQ(client.Outcomes(), std::vector<std::string>{"response 4 status 200"});
    EXPECT_EQ(body, "resent");
    ASSERT_TRUE(PumpUntil([&] { return global->log.Has("DWmSocket: end of a stopped transfer dropped\n"); }));
    EXPECT_EQ(client.Outcomes().size(), 1u);
}

// The response file of a send in flight is not replaced under its worker:
// a new one is refused (and stays the caller's), and the answer lands in the
// file the request was sent with.
TEST_F(TransferLifetimeTest, NewResponseFileIsRefusedWhileTheAnswerIsOnItsWay) {
    TestHttpServer server;
    TestHttpReply late{200, "OK", {}, "late"};
    late.delayMs = 300;
    server.Script(late);
    auto trx = NewTransaction(server.Port(), kHTTPVerbPost, "/Microsoft-Server-ActiveSync?Cmd=Sync");
    std::string body;
    CaptureBody(&body);
    ASSERT_EQ(trx->Submit(), kNoError);
    ASSERT_TRUE(PumpUntil([&] { return server.Requests().size() == 1; }));
    ASSERT_TRUE(trx->IsInFlight());

    std::unique_ptr<VFile> other(new VFile);
    other->SetFileName(u"\\other.bin");
    const DErrorCode refused = trx->SetResponseData(other.get());
    if (refused == kNoError) other.release();  // taken after all
    EXPECT_EQ(refused, activeTaskErrAlreadyActive);
    ASSERT_TRUE(PumpUntilOutcome());
    EXPECT_EQ(client.Outcomes(), std::vector<std::string>{"response 4 status 200"});
    EXPECT_EQ(body, "late");
}

}  // namespace
