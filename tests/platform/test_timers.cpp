#include <gtest/gtest.h>

#include <future>
#include <vector>

#include "msgtestutil.h"

namespace {

// Timer procedures cannot carry state: they note what fired here.
struct Fired {
    UINT_PTR id;
    DWORD thread;
};
std::vector<Fired> &FiredLog() {
    static std::vector<Fired> log;
    return log;
}
std::mutex g_firedLock;

void NoteTimer(HWND, UINT, UINT_PTR id, DWORD) {
    std::lock_guard<std::mutex> guard(g_firedLock);
    FiredLog().push_back({id, GetCurrentThreadId()});
}

std::vector<UINT_PTR> FiredIds() {
    std::lock_guard<std::mutex> guard(g_firedLock);
    std::vector<UINT_PTR> ids;
    for (const Fired &f : FiredLog()) ids.push_back(f.id);
    FiredLog().clear();
    return ids;
}

// Every test runs on the virtual clock, from tick 1000.
class QueueTimerTest : public ::testing::Test {
protected:
    void SetUp() override {
        vplat::ClockUseVirtual(1000, 1100000000000);
        FiredIds();
    }
    void TearDown() override { vplat::ClockUseReal(); }
};

}  // namespace

// Due timers fire at retrieval, first due first, each once however late,
// and start their next period then.
TEST_F(QueueTimerTest, FireInDueOrderOncePerRetrieval) {
    OnNewThread([] {
        UINT_PTR slow = SetTimer(nullptr, 0, 30, NoteTimer);
        UINT_PTR fast = SetTimer(nullptr, 0, 10, NoteTimer);
        UINT_PTR mid = SetTimer(nullptr, 0, 20, NoteTimer);
        EXPECT_EQ(0, Pump());
        vplat::ClockAdvance(9);
        EXPECT_EQ(0, Pump());
        vplat::ClockAdvance(21);  // at 30: all due, the fast one twice over
        EXPECT_EQ(3, Pump());
        EXPECT_EQ((std::vector<UINT_PTR>{fast, mid, slow}), FiredIds());

        vplat::ClockAdvance(9);  // next periods run from 30
        EXPECT_EQ(0, Pump());
        vplat::ClockAdvance(1);
        EXPECT_EQ(1, Pump());
        EXPECT_EQ(std::vector<UINT_PTR>{fast}, FiredIds());
        for (UINT_PTR id : {slow, fast, mid}) EXPECT_TRUE(KillTimer(nullptr, id));
    });
}

// A posted message or call goes before a due timer; WM_TIMER carries the
// id, the procedure and the tick count.
TEST_F(QueueTimerTest, TimerMessageComesAfterPosts) {
    OnNewThread([] {
        UINT_PTR id = SetTimer(nullptr, 0, 5, NoteTimer);
        vplat::ClockAdvance(5);
        PostThreadMessageW(GetCurrentThreadId(), WM_USER, 0, 0);
        MSG msg;
        ASSERT_TRUE(GetMessageW(&msg, nullptr, 0, 0));
        EXPECT_EQ(UINT(WM_USER), msg.message);
        EXPECT_EQ(1005u, msg.time);
        ASSERT_TRUE(GetMessageW(&msg, nullptr, 0, 0));
        EXPECT_EQ(UINT(WM_TIMER), msg.message);
        EXPECT_EQ(id, msg.wParam);
        EXPECT_EQ(reinterpret_cast<LPARAM>(NoteTimer), msg.lParam);
        EXPECT_EQ(1005u, msg.time);
        KillTimer(nullptr, id);
    });
}

// A killed timer never delivers, not even a WM_TIMER already taken out;
// nor does a WM_TIMER that names no live timer.
TEST_F(QueueTimerTest, KilledTimerNeverDelivers) {
    OnNewThread([] {
        UINT_PTR id = SetTimer(nullptr, 0, 10, NoteTimer);
        vplat::ClockAdvance(10);
        MSG msg;
        ASSERT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
        EXPECT_TRUE(KillTimer(nullptr, id));
        DispatchMessageW(&msg);
        PostThreadMessageW(GetCurrentThreadId(), WM_TIMER, id + 1000, reinterpret_cast<LPARAM>(NoteTimer));
        vplat::ClockAdvance(100);
        EXPECT_EQ(1, Pump());  // only the posted one
        EXPECT_TRUE(FiredIds().empty());
        EXPECT_FALSE(KillTimer(nullptr, id));
    });
}

// A window timer is the window's id: setting it again restarts it; it goes
// to the window procedure and dies with the window.
TEST_F(QueueTimerTest, WindowTimers) {
    OnNewThread([] {
        std::vector<WPARAM> ticks;
        HWND w = MakeWindow([&](HWND h, UINT m, WPARAM wp, LPARAM lp) -> LRESULT {
            if (m == WM_TIMER) ticks.push_back(wp);
            return DefWindowProcW(h, m, wp, lp);
        });
        EXPECT_EQ(7u, SetTimer(w, 7, 100, nullptr));
        vplat::ClockAdvance(50);
        EXPECT_EQ(7u, SetTimer(w, 7, 20, nullptr));  // replaces: due at 70 from start
        EXPECT_EQ(9u, SetTimer(w, 9, 30, nullptr));
        vplat::ClockAdvance(20);
        EXPECT_EQ(1, Pump());
        vplat::ClockAdvance(60);  // at 130 the first 100 ms timer would also be due
        EXPECT_EQ(2, Pump());
        EXPECT_EQ((std::vector<WPARAM>{7, 9, 7}), ticks);

        // Only the owner thread sets the window's timers.
        std::thread([w] {
            EXPECT_EQ(0u, SetTimer(w, 8, 10, nullptr));
            EXPECT_EQ(DWORD(ERROR_ACCESS_DENIED), GetLastError());
        }).join();

        EXPECT_TRUE(KillTimer(w, 9));
        DestroyWindow(w);
        vplat::ClockAdvance(1000);
        EXPECT_EQ(0, Pump());
    });
}

// A window timer asked for with id 0 answers an id that WM_TIMER carries
// and KillTimer takes; setting 0 again restarts that one timer, and the
// window's timer 1 is another.
TEST_F(QueueTimerTest, WindowTimerWithIdZero) {
    OnNewThread([] {
        std::vector<WPARAM> ticks;
        HWND w = MakeWindow([&](HWND h, UINT m, WPARAM wp, LPARAM lp) -> LRESULT {
            if (m == WM_TIMER) ticks.push_back(wp);
            return DefWindowProcW(h, m, wp, lp);
        });
        UINT_PTR id = SetTimer(w, 0, 10, nullptr);
        ASSERT_NE(0u, id);
        EXPECT_EQ(1u, SetTimer(w, 1, 10, nullptr));
        EXPECT_EQ(id, SetTimer(w, 0, 10, nullptr));  // the same timer, restarted
        vplat::ClockAdvance(10);
        EXPECT_EQ(2, Pump());
        EXPECT_EQ((std::vector<WPARAM>{1, id}), ticks);

        EXPECT_TRUE(KillTimer(w, id));
        EXPECT_FALSE(KillTimer(w, 0));  // already gone
        ticks.clear();
        vplat::ClockAdvance(10);
        EXPECT_EQ(1, Pump());
        EXPECT_EQ(std::vector<WPARAM>{1}, ticks);

        // Killed by 0 as well, and a procedure gets the same id.
        EXPECT_EQ(id, SetTimer(w, 0, 10, NoteTimer));
        vplat::ClockAdvance(10);
        Pump();
        EXPECT_EQ(std::vector<UINT_PTR>{id}, FiredIds());
        EXPECT_TRUE(KillTimer(w, 0));
        EXPECT_TRUE(KillTimer(w, 1));
        DestroyWindow(w);
    });
}

// Thread timer ids grow and are never given again, killed or not.
TEST_F(QueueTimerTest, ThreadTimerIdsIncrease) {
    OnNewThread([] {
        UINT_PTR last = 0;
        for (int i = 0; i < 50; ++i) {
            UINT_PTR id = SetTimer(nullptr, last, 10, nullptr);  // an existing id asks for nothing
            EXPECT_GT(id, last);
            EXPECT_NE(0x7FFF7FFFu, id);
            if (i % 2 == 0) KillTimer(nullptr, id);
            last = id;
        }
    });
}

// A timer of another thread, started and killed from here, fires on that
// thread; a thread blocked in GetMessageW waiting for a timer wakes when the
// virtual clock reaches it, never waiting on real time.
TEST_F(QueueTimerTest, ForeignThreadTimerFiresOnOwner) {
    std::promise<DWORD> started;
    std::thread owner([&] {
        UINT_PTR own = SetTimer(nullptr, 0, 600000, nullptr);  // ten minutes of real time
        started.set_value(GetCurrentThreadId());
        MSG msg;
        while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
            if (msg.message == WM_TIMER && msg.wParam == own) break;
            DispatchMessageW(&msg);
        }
    });
    DWORD ownerId = started.get_future().get();
    UINT_PTR foreign = vplat::SetThreadTimerFor(ownerId, 100, NoteTimer);
    UINT_PTR killed = vplat::SetThreadTimerFor(ownerId, 50, NoteTimer);
    ASSERT_NE(0u, foreign);
    EXPECT_TRUE(vplat::KillThreadTimerFor(ownerId, killed));
    vplat::ClockAdvance(100);
    vplat::ClockAdvance(600000);
    owner.join();

    std::lock_guard<std::mutex> guard(g_firedLock);
    ASSERT_FALSE(FiredLog().empty());
    for (const Fired &f : FiredLog()) {
        EXPECT_EQ(foreign, f.id);
        EXPECT_EQ(ownerId, f.thread);
    }
}

// A timer keeps what it had left to wait when the clock is switched.
TEST_F(QueueTimerTest, ClockSwitchKeepsRemainingWait) {
    OnNewThread([] {
        UINT_PTR id = SetTimer(nullptr, 0, 100, NoteTimer);
        vplat::ClockAdvance(40);
        vplat::ClockUseVirtual(50000, 0);
        vplat::ClockAdvance(59);
        EXPECT_EQ(0, Pump());
        vplat::ClockAdvance(1);
        EXPECT_EQ(1, Pump());
        KillTimer(nullptr, id);
    });
}
