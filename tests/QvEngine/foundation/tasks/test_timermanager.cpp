#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "DTimerManagerWin.h"
#include "tasktestutil.h"
#include "winthread.h"
#include "wintime.h"

namespace {

struct Firing {
    uint32_t id;
    void *cookie;
    DWORD thread;
};

// Records every callback; optionally starts one more timer from inside it.
class RecordingCallback : public ITimerManagerCallback {
public:
    DErrorCode TimerCallback(uint32_t id, void *cookie) override {
        firings.push_back({id, cookie, GetCurrentThreadId()});
        if (restartWith != nullptr) {
            ITimerManager *manager = restartWith;
            restartWith = nullptr;
            manager->StartTimer(100, this, cookie, &restartedId);
        }
        return 0;
    }
    std::vector<Firing> firings;
    ITimerManager *restartWith = nullptr;
    uint32_t restartedId = kNoTimerId;
};

std::vector<Firing> g_procFirings;
int RecordingProc(uint32_t id, void *cookie) {
    g_procFirings.push_back({id, cookie, GetCurrentThreadId()});
    return 0;
}

class TimerTest : public ::testing::Test {
protected:
    void SetUp() override {
        vplat::ClockUseVirtual(1000, 1700000000000);
        g_procFirings.clear();
    }
    void TearDown() override { vplat::ClockUseReal(); }
    static void Advance(uint64_t ms) {
        vplat::ClockAdvance(ms);
        PumpPending();
    }
    static bool Active(ITimerManager &manager, uint32_t id) {
        bool active = false;
        EXPECT_EQ(0u, manager.IsTimerActive(id, &active));
        return active;
    }
};

int g_cookie;

TEST_F(TimerTest, FiresOnceWhenDueAndMayRestartFromItsCallback) {
    DTimerManagerWin timers;
    RecordingCallback callback;
    uint32_t id = kNoTimerId;
    ASSERT_EQ(0u, timers.StartTimer(250, &callback, &g_cookie, &id));
    EXPECT_NE(kNoTimerId, id);
    EXPECT_TRUE(Active(timers, id));

    Advance(249);
    EXPECT_TRUE(callback.firings.empty());
    callback.restartWith = &timers;
    Advance(1);
    ASSERT_EQ(1u, callback.firings.size());
    EXPECT_EQ(id, callback.firings[0].id);
    EXPECT_EQ(&g_cookie, callback.firings[0].cookie);
    EXPECT_FALSE(Active(timers, id));

    // The timer started inside the callback is a new one and fires once too.
    ASSERT_NE(kNoTimerId, callback.restartedId);
    EXPECT_NE(id, callback.restartedId);
    Advance(100);
    Advance(1000);
    ASSERT_EQ(2u, callback.firings.size());
    EXPECT_EQ(callback.restartedId, callback.firings[1].id);
}

TEST_F(TimerTest, PlainFunctionTimersFireWithIdAndCookie) {
    DTimerManagerWin timers;
    uint32_t id = kNoTimerId;
    ASSERT_EQ(0u, timers.StartTimerProc(10, &RecordingProc, &g_cookie, &id));
    Advance(10);
    Advance(10);
    ASSERT_EQ(1u, g_procFirings.size());
    EXPECT_EQ(id, g_procFirings[0].id);
    EXPECT_EQ(&g_cookie, g_procFirings[0].cookie);
}

TEST_F(TimerTest, RefusesMissingArguments) {
    DTimerManagerWin timers;
    RecordingCallback callback;
    uint32_t id = kNoTimerId;
    EXPECT_EQ(timerErrInvalidParam, timers.StartTimer(10, nullptr, nullptr, &id));
    EXPECT_EQ(timerErrInvalidParam, timers.StartTimerProc(10, nullptr, nullptr, &id));
    EXPECT_EQ(timerErrInvalidParam, timers.StartTimer(10, &callback, nullptr, nullptr));
    EXPECT_EQ(timerErrInvalidParam, timers.IsTimerActive(1, nullptr));
    EXPECT_EQ(kNoTimerId, id);
    Advance(10);
    EXPECT_TRUE(callback.firings.empty());
}

TEST_F(TimerTest, StoppedTimersNeverFireAndStaleIdsStopNothing) {
    DTimerManagerWin timers;
    RecordingCallback callback;
    uint32_t stopped, old, newer;
    ASSERT_EQ(0u, timers.StartTimer(50, &callback, nullptr, &stopped));
    ASSERT_EQ(0u, timers.StartTimer(50, &callback, nullptr, &old));
    EXPECT_EQ(0u, timers.StopTimer(stopped));
    EXPECT_FALSE(Active(timers, stopped));
    Advance(50);
    ASSERT_EQ(1u, callback.firings.size());
    EXPECT_EQ(old, callback.firings[0].id);

    ASSERT_EQ(0u, timers.StartTimer(50, &callback, nullptr, &newer));
    EXPECT_EQ(0u, timers.StopTimer(old));
    EXPECT_EQ(0u, timers.StopTimer(stopped));
    EXPECT_EQ(0u, timers.StopTimer(kNoTimerId));
    EXPECT_TRUE(Active(timers, newer));
    Advance(50);
    ASSERT_EQ(2u, callback.firings.size());
    EXPECT_EQ(newer, callback.firings[1].id);
}

TEST_F(TimerTest, EachManagerGetsItsOwnTimersAndTakesOnlyThoseAway) {
    auto first = std::make_unique<DTimerManagerWin>();
    DTimerManagerWin second;
    RecordingCallback a, b;
    uint32_t idA, idB;
    ASSERT_EQ(0u, first->StartTimer(100, &a, nullptr, &idA));
    ASSERT_EQ(0u, second.StartTimer(100, &b, nullptr, &idB));
    // One manager neither sees nor stops the other's timers.
    EXPECT_FALSE(Active(second, idA));
    EXPECT_EQ(0u, second.StopTimer(idA));
    Advance(100);
    ASSERT_EQ(1u, a.firings.size());
    ASSERT_EQ(1u, b.firings.size());
    EXPECT_EQ(idA, a.firings[0].id);
    EXPECT_EQ(idB, b.firings[0].id);

    ASSERT_EQ(0u, first->StartTimer(100, &a, nullptr, &idA));
    ASSERT_EQ(0u, second.StartTimer(100, &b, nullptr, &idB));
    first.reset();
    Advance(100);
    EXPECT_EQ(1u, a.firings.size());
    ASSERT_EQ(2u, b.firings.size());
    EXPECT_EQ(idB, b.firings[1].id);
}

TEST_F(TimerTest, OtherThreadsStartAndStopTimersThatFireOnTheOwner) {
    DTimerManagerWin timers;
    RecordingCallback callback;
    uint32_t byOwner, byWorker = kNoTimerId;
    bool activeAtOnce = false;
    ASSERT_EQ(0u, timers.StartTimer(100, &callback, nullptr, &byOwner));
    std::thread worker([&] {
        EXPECT_EQ(0u, timers.StopTimer(byOwner));
        EXPECT_EQ(0u, timers.StartTimer(100, &callback, &g_cookie, &byWorker));
        timers.IsTimerActive(byWorker, &activeAtOnce);
    });
    worker.join();
    EXPECT_TRUE(activeAtOnce);
    // Due before the owner has taken the worker's updates.
    vplat::ClockAdvance(100);
    PumpPending();
    ASSERT_EQ(1u, callback.firings.size());
    EXPECT_EQ(byWorker, callback.firings[0].id);
    EXPECT_EQ(&g_cookie, callback.firings[0].cookie);
    EXPECT_EQ(GetCurrentThreadId(), callback.firings[0].thread);
    EXPECT_FALSE(Active(timers, byOwner));
    EXPECT_FALSE(Active(timers, byWorker));

    // A manager gone before the worker's update arrives takes the timer along.
    auto doomed = std::make_unique<DTimerManagerWin>();
    std::thread starter([&] { doomed->StartTimer(10, &callback, nullptr, &byWorker); });
    starter.join();
    doomed.reset();
    Advance(10);
    EXPECT_EQ(1u, callback.firings.size());
}

TEST_F(TimerTest, WorkerRestartingAWatchdogLeavesOnlyItsLastTimer) {
    constexpr int kRestarts = 1000;
    DTimerManagerWin timers;
    RecordingCallback callback;
    std::vector<uint32_t> ids(kRestarts, kNoTimerId);
    std::atomic<bool> finished(false);
    std::thread worker([&] {
        uint32_t current = kNoTimerId;
        for (int i = 0; i < kRestarts; ++i) {
            if (current != kNoTimerId) timers.StopTimer(current);
            timers.StartTimer(30000, &callback, nullptr, &current);
            ids[i] = current;
        }
        finished.store(true);
    });
    while (!finished.load()) {
        PumpPending();
        std::this_thread::yield();
    }
    worker.join();
    PumpPending();
    for (int i = 0; i + 1 < kRestarts; ++i) ASSERT_FALSE(Active(timers, ids[i])) << i;
    EXPECT_TRUE(Active(timers, ids.back()));
    Advance(30000);
    Advance(30000);
    ASSERT_EQ(1u, callback.firings.size());
    EXPECT_EQ(ids.back(), callback.firings[0].id);
}

}  // namespace
