#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "DWinMobThreadedSocket.h"
#include "support/TestHttpServer.h"
#include "transfertestutil.h"

namespace {

using Clock = std::chrono::steady_clock;

long MsSince(Clock::time_point start) {
    return long(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

// The owner of a socket, as a request object is: records what reaches it.
// closeOnCancel: whether DoWmCloseTrx really closes the request (a worker
// whose call ignores the close can then only be abandoned).
class SocketOwner : public IThreadedSocketClient {
public:
    void Socket_ReceiveProgress(uint32_t bytes) override {
        progress.push_back({bytes, GetCurrentThreadId()});
        // A slow hand-over of the answer (a write to slow storage) is the
        // worker's own business: the engine's thread must not wait for it.
        if (GetCurrentThreadId() != home) Sleep(3000);
    }
    void Socket_TransferEnded() override { ++ends; }
    void DoWmCloseTrx() override {
        closedAfterMs = MsSince(cancelStart);
        if (closeOnCancel && request != nullptr) {
            InternetCloseHandle(request);
            request = nullptr;
        }
    }

    struct Progress {
        uint32_t bytes;
        DWORD thread;
    };
    std::vector<Progress> progress;
    int ends = 0;
    HINTERNET request = nullptr;
    bool closeOnCancel = true;
    Clock::time_point cancelStart;
    long closedAfterMs = -1;
    DWORD home = GetCurrentThreadId();
};

class ThreadedSocketTest : public TransferTest {
protected:
    void SetUp() override {
        TransferTest::SetUp();
        m_internet = InternetOpenW(u"test", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
        ASSERT_NE(m_internet, nullptr);
        response.SetFileName(u"\\response.bin");
        ASSERT_EQ(response.Create(), kNoError);
        socket.reset(new DWinMobThreadedSocket(&global->log, &global->timers, &owner));
    }
    void TearDown() override {
        socket.reset();
        // Closing a handle twice only fails.
        for (HINTERNET h : m_handles) InternetCloseHandle(h);
        InternetCloseHandle(m_internet);
        TransferTest::TearDown();
    }

    // A new POST request to the loopback server, made the owner's.
    HINTERNET OpenRequest(unsigned short port) {
        HINTERNET connect =
            InternetConnectW(m_internet, u"127.0.0.1", port, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0);
        EXPECT_NE(connect, nullptr);
        m_handles.push_back(connect);
        owner.request = HttpOpenRequestW(connect, u"POST", u"/Microsoft-Server-ActiveSync?Cmd=Ping", nullptr,
                                         nullptr, nullptr, 0, 0);
        EXPECT_NE(owner.request, nullptr);
        m_handles.push_back(owner.request);
        return owner.request;
    }
    // The socket's ForceCancel, timed from its start.
    long TimedCancel() {
        owner.cancelStart = Clock::now();
        EXPECT_EQ(socket->ForceCancel(), kNoError);
        return MsSince(owner.cancelStart);
    }
    bool EndDropped() const { return global->log.Has("DWmSocket: end of a stopped transfer dropped\n"); }

    SocketOwner owner;
    VFile response;
    std::unique_ptr<DWinMobThreadedSocket> socket;

private:
    HINTERNET m_internet = nullptr;
    std::vector<HINTERNET> m_handles;
};

// The first send's end still waits in the engine's queue when the next send
// starts (and may be given the freed transfer's address): it is dropped, and
// the owner hears only the second send's own end, with its results.
TEST_F(ThreadedSocketTest, EndOfAnEarlierSendNeverPassesForTheNext) {
    TestHttpServer server;
    server.Script({200, "OK", {}, "first"});
    TestHttpReply slow{200, "OK", {}, "second"};
    slow.delayMs = 300;
    server.Script(slow);

    ASSERT_EQ(socket->SendAndRecv(OpenRequest(server.Port()), nullptr, &response, 0), kNoError);
    ASSERT_TRUE(socket->ReapWorker(10000));  // the worker is gone; its end is queued
    ASSERT_EQ(response.SetSize(0), kNoError);
    ASSERT_EQ(socket->SendAndRecv(OpenRequest(server.Port()), nullptr, &response, 0), kNoError);

    ASSERT_TRUE(PumpUntil([&] { return owner.ends > 0; }));
    EXPECT_TRUE(EndDropped());
    EXPECT_EQ(owner.ends, 1);
    EXPECT_EQ(socket->GetResult(), kNoError);
    EXPECT_EQ(socket->GetStatusCode(), 200u);
    EXPECT_EQ(socket->GetBytesRead(), 6u);
    EXPECT_EQ(ReadAll(&response), "second");
}

// A cancel closes the request at once: a worker blocked on the network
// returns only then, so waiting for it first would only cost the engine's
// thread the wait. Its end, which still comes, is dropped.
TEST_F(ThreadedSocketTest, CancelClosesTheRequestBeforeItWaits) {
    TestHttpServer server;
    TestHttpReply silent;
    silent.silent = true;
    server.Script(silent);
    ASSERT_EQ(socket->SendAndRecv(OpenRequest(server.Port()), nullptr, &response, 0), kNoError);
    ASSERT_TRUE(server.WaitForRequests(1));

    const long took = TimedCancel();
    // Before any wait: the old order waited 250 ms for the flag first.
    EXPECT_GE(owner.closedAfterMs, 0);
    EXPECT_LT(owner.closedAfterMs, 250);
    EXPECT_LT(took, 2000);
    EXPECT_TRUE(global->log.Has("DWmSocket::ForceCancel(): graceful shutdown\n"));
    ASSERT_TRUE(PumpUntil([&] { return EndDropped(); }));
    EXPECT_EQ(owner.ends, 0);
}

// A worker that neither the cancel flag nor the closed request stops is
// abandoned, without waiting on anything it holds (it is stuck in the
// middle of the answer here). It never reaches its owner again, the socket
// may go while it runs, and when it finally ends it has written nothing
// more and let go of the response file.
TEST_F(ThreadedSocketTest, StuckWorkerIsAbandonedWithoutHoldingUpTheEngine) {
    TestHttpServer server;
    TestHttpReply stalled{200, "OK", {}, std::string(16384, 'x')};
    stalled.cutAfter = 4200;  // the headers and part of the body, then silence
    stalled.stall = true;
    server.Script(stalled);
    owner.closeOnCancel = false;
    ASSERT_EQ(socket->SendAndRecv(OpenRequest(server.Port()), nullptr, &response, 0), kNoError);
    // The progress reaches the owner on the engine's thread only.
    ASSERT_TRUE(PumpUntil([&] { return !owner.progress.empty() && owner.progress.back().bytes >= 4000; }));
    for (const auto &p : owner.progress) EXPECT_EQ(p.thread, GetCurrentThreadId());

    EXPECT_LT(TimedCancel(), 2000);
    EXPECT_TRUE(global->log.Has("DWmSocket::ForceCancel() Graceful shutdown failed, terminate\n"));
    const size_t heard = owner.progress.size();
    RunEngine();
    EXPECT_EQ(owner.ends, 0);
    EXPECT_EQ(owner.progress.size(), heard);

    // The socket goes first; then the worker's call returns.
    socket.reset();
    ASSERT_TRUE(InternetCloseHandle(owner.request));
    // Once the worker ended its handle on the file is closed: the file opens
    // for writing again, holding what was written before the cancel.
    const auto limit = Clock::now() + std::chrono::seconds(10);
    while (response.Open(kVFileReadWrite) != kNoError && Clock::now() < limit) Sleep(5);
    ASSERT_EQ(response.GetOpenMode(), kVFileReadWrite);
    response.Close();
    const std::string body = ReadAll(&response);
    EXPECT_GE(body.size(), owner.progress.back().bytes);
    EXPECT_LT(body.size(), 16384u);
    EXPECT_EQ(body, std::string(body.size(), 'x'));
    RunEngine();
    EXPECT_EQ(owner.ends, 0);
}

}  // namespace
