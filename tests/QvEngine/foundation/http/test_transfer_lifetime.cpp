#include <gtest/gtest.h>

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
    PumpPending();
    while (global->driver.IsPosted()) global->driver.RunNextTask();
    trx.reset();
    EXPECT_TRUE(client.Outcomes().empty());
}

}  // namespace
