#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "FakeGlobalData.h"
#include "httptestutil.h"
#include "support/TestDevice.h"
#include "tasktestutil.h"

namespace {

typedef std::vector<std::string> Events;

class HTTPSessionTest : public DeviceTest {
protected:
    void SetUp() override {
        DeviceTest::SetUp();
        session = std::make_unique<FakeSession>(&global);
        session->SetClient(&client);
    }
    void TearDown() override {
        session.reset();
        DeviceTest::TearDown();
    }
    DHTTPTransaction *Make() {
        DHTTPTransaction *trx = nullptr;
        session->CreateTransaction(&trx);
        return trx;
    }

    FakeGlobalData global{nullptr, nullptr};
    RecordingClient client;
    std::unique_ptr<FakeSession> session;
};

}  // namespace

TEST_F(HTTPSessionTest, ConnectsOnceAndDeliversEachOutcome) {
    // Success only with a received status of 200 to 299; a transfer that got
    // no status is an error with its code, never a success.
    const struct {
        DErrorCode result;
        uint32_t status;
        const char *event;
    } cases[] = {
        {kNoError, 200, "response 4 status 200"},
        {httpErrRequestFailed, 204, "response 4 status 204"},
        {httpErrRequestFailed, 401, "response 5 status 401 code 0x07370C09"},
        {httpErrRequestFailed, 449, "response 5 status 449 code 0x07370C09"},
        {kNoError, 302, "response 5 status 302 code 0x07370C09"},
        {httpErrRequestFailed, 0, "error 0x07370C09 FakeSession::Finish()"},
        {kNoError, 0, "error 0x07370C05 FakeSession::Finish()"},
        {internetConnectErrConnectionLost, 0, "error 0x07370B03 FakeSession::Finish()"},
        {httpErrServerConnectFailed, 0, "error 0x07370C06 FakeSession::Finish()"},
        {httpErrTransactionTimedOut, 200, "error 0x07370C07 FakeSession::Finish()"},
        {0x07370C0A, 100, "error 0x07370C0A FakeSession::Finish()"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.event);
        client.events.clear();
        std::unique_ptr<DHTTPTransaction> trx(Make());
        ASSERT_EQ(trx->Submit(), kNoError);
        EXPECT_EQ(session->GetCurrentTransaction(), trx.get());
        ASSERT_EQ(session->Finish(c.result, c.status), kNoError);
        // Every outcome ends the transaction first.
        EXPECT_EQ(session->GetCurrentTransaction(), nullptr);
        const Events expected = &c == cases ? Events{"response 31", c.event} : Events{c.event};
        EXPECT_EQ(client.events, expected);
    }
    EXPECT_EQ(session->Engine()->connects, 1);
    EXPECT_EQ(session->Engine()->closes, 0);
}

TEST_F(HTTPSessionTest, ReconnectsAfterTheConnectionWasLost) {
    std::unique_ptr<DHTTPTransaction> trx(Make());
    ASSERT_EQ(trx->Submit(), kNoError);
    session->Engine()->Drop();
    ASSERT_EQ(session->Finish(kNoError, 200), kNoError);
    EXPECT_EQ(session->Engine()->closes, 1);

    ASSERT_EQ(trx->Submit(), kNoError);
    EXPECT_EQ(session->Engine()->connects, 2);
    EXPECT_EQ(client.events, (Events{"response 31", "response 4 status 200", "response 31"}));

    // A connection that cannot be made is reported once, as an error.
    trx->CancelTransaction();
    session->Engine()->Drop();
    session->Engine()->failWith = internetConnectNetUnavailable;
    client.events.clear();
    trx->Submit();
    EXPECT_EQ(client.events, (Events{"error 0x07370B09 FakeConnectEngine::Connect()"}));
}

TEST_F(HTTPSessionTest, ClientMayDeleteAndSubmitInsideEveryCallback) {
    // Inside the connection record: the engine deletes the transaction it
    // submitted, or submits another; the outer submit then takes no part.
    for (bool submitAnother : {false, true}) {
        SCOPED_TRACE(submitAnother);
        session = std::make_unique<FakeSession>(&global);
        session->SetClient(&client);
        DHTTPTransaction *first = Make();
        std::unique_ptr<DHTTPTransaction> second(Make());
        client.onResponse = [&](DClientResponse *response) {
            if (response->GetType() != kResponseTypeInternetConnect) return;
            client.onResponse = nullptr;
            delete first;
            if (submitAnother) {
                EXPECT_EQ(second->Submit(), kNoError);
            }
        };
        EXPECT_EQ(first->Submit(), generalErrCanceled);
        EXPECT_EQ(session->GetCurrentTransaction(), submitAnother ? second.get() : nullptr);
        second.reset();
        EXPECT_EQ(session->GetCurrentTransaction(), nullptr);
    }

    // Inside the response record: the engine deletes the finished
    // transaction and submits the next one, which stays current.
    DHTTPTransaction *done = Make();
    std::unique_ptr<DHTTPTransaction> next(Make());
    ASSERT_EQ(done->Submit(), kNoError);
    client.onResponse = [&](DClientResponse *response) {
        EXPECT_EQ(static_cast<DHTTPSuccessResponse *>(response)->GetPayload(), done);
        client.onResponse = nullptr;
        delete done;
        EXPECT_EQ(next->Submit(), kNoError);
    };
    ASSERT_EQ(session->Finish(kNoError, 200), kNoError);
    EXPECT_EQ(session->GetCurrentTransaction(), next.get());

    // A session deleted before its transaction leaves it nothing to call.
    session.reset();
    next.reset();
}

TEST_F(HTTPSessionTest, WorkerProgressArrivesCoalescedOnTheEngineThread) {
    std::unique_ptr<DHTTPTransaction> trx(Make());
    ASSERT_EQ(trx->Submit(), kNoError);
    client.events.clear();

    std::thread worker([&] {
        for (uint32_t bytes = 2048; bytes <= 2048 * 100; bytes += 2048) session->PostReceiveProgress(trx.get(), bytes);
    });
    worker.join();
    EXPECT_TRUE(client.events.empty());  // nothing on the worker's thread
    PumpPending();
    EXPECT_EQ(client.events, (Events{"status 5 204800/0"}));
    EXPECT_EQ(trx->GetBytesReceived(), 204800u);

    // Progress still waiting goes out before the outcome; a value for
    // another transaction, or one posted after the end, is dropped.
    client.events.clear();
    std::unique_ptr<DHTTPTransaction> other(Make());
    session->PostReceiveProgress(other.get(), 1);
    PumpPending();
    session->PostReceiveProgress(trx.get(), 300000);
    ASSERT_EQ(session->Finish(httpErrRequestFailed, 500, 0, 300000), kNoError);
    session->PostReceiveProgress(trx.get(), 400000);
    PumpPending();
    EXPECT_EQ(client.events, (Events{"status 5 300000/0", "response 5 status 500 code 0x07370C09"}));
}
