#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <future>
#include <vector>

#include "msgtestutil.h"

namespace {

struct Seen {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
};

}  // namespace

// Posted messages come out first in, first out; a filter takes the first
// message it matches and leaves the others in their order.
TEST(MessageQueueTest, PostedMessagesInOrderAndFilters) {
    OnNewThread([] {
        HWND a = MakeWindow(), b = MakeWindow();
        ASSERT_TRUE(a && b);
        ASSERT_TRUE(PostMessageW(a, WM_USER + 1, 1, 0));
        ASSERT_TRUE(PostMessageW(b, WM_USER + 2, 2, 0));
        ASSERT_TRUE(PostThreadMessageW(GetCurrentThreadId(), WM_USER + 3, 3, 0));
        ASSERT_TRUE(PostMessageW(nullptr, WM_APP, 4, 0));  // a null window posts to the thread
        ASSERT_TRUE(PostMessageW(a, WM_USER + 5, 5, 0));

        const struct {
            HWND hwnd;
            UINT min, max;
            UINT expected;  // 0: nothing matches
        } peeks[] = {
            {nullptr, 0, 0, WM_USER + 1},
            {b, 0, 0, WM_USER + 2},
            {a, WM_USER + 2, WM_APP, WM_USER + 5},
            {nullptr, WM_USER + 3, WM_USER + 4, WM_USER + 3},
            {nullptr, WM_APP, WM_APP, WM_APP},
            {a, WM_USER + 2, WM_USER + 4, 0},
            {nullptr, WM_TIMER, WM_TIMER, 0},
        };
        for (const auto &p : peeks) {
            SCOPED_TRACE(p.expected);
            MSG msg = {};
            BOOL got = PeekMessageW(&msg, p.hwnd, p.min, p.max, PM_NOREMOVE);
            EXPECT_EQ(p.expected != 0, got != FALSE);
            if (got) {
                EXPECT_EQ(p.expected, msg.message);
            }
        }

        MSG msg = {};
        ASSERT_TRUE(PeekMessageW(&msg, b, 0, 0, PM_REMOVE));
        EXPECT_EQ(WM_USER + 2, msg.message);
        EXPECT_EQ(b, msg.hwnd);
        const UINT rest[] = {WM_USER + 1, WM_USER + 3, WM_APP, WM_USER + 5};
        for (UINT expected : rest) {
            ASSERT_EQ(TRUE, GetMessageW(&msg, nullptr, 0, 0));
            EXPECT_EQ(expected, msg.message);
        }
        EXPECT_FALSE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
        DestroyWindow(a);
        DestroyWindow(b);
    });
}

// A handler may run its own loop (a modal loop) and return; each message
// is handled once, in the order posted.
TEST(MessageQueueTest, NestedLoopInsideHandler) {
    OnNewThread([] {
        std::vector<Seen> seen;
        int depth = 0, deepest = 0;
        HWND w = MakeWindow([&](HWND h, UINT m, WPARAM wp, LPARAM lp) -> LRESULT {
            if (m < WM_USER) return DefWindowProcW(h, m, wp, lp);
            seen.push_back({h, m, wp});
            deepest = std::max(deepest, ++depth);
            if (wp == 1) {
                PostMessageW(h, WM_USER, 4, 0);  // posted from inside: comes after the others
                MSG msg;
                while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
            }
            --depth;
            return 0;
        });
        for (WPARAM i = 1; i <= 3; ++i) PostMessageW(w, WM_USER, i, 0);
        EXPECT_EQ(1, Pump());  // the first; the nested loop took the rest
        ASSERT_EQ(4u, seen.size());
        for (size_t i = 0; i < seen.size(); ++i) EXPECT_EQ(WPARAM(i + 1), seen[i].wParam);
        EXPECT_EQ(2, deepest);
        DestroyWindow(w);
    });
}

// WM_QUIT comes once nothing is posted ahead of it, whatever the filter,
// and ends GetMessageW with the exit code; PM_NOREMOVE leaves it in place.
TEST(MessageQueueTest, QuitEndsGetMessage) {
    OnNewThread([] {
        MSG msg;
        vplat::EnsureThreadQueue();
        ASSERT_TRUE(PostThreadMessageW(GetCurrentThreadId(), WM_USER, 1, 0));
        PostQuitMessage(7);
        PostThreadMessageW(GetCurrentThreadId(), WM_USER, 2, 0);  // after the quit, yet before it
        for (WPARAM expected : {WPARAM(1), WPARAM(2)}) {
            ASSERT_EQ(TRUE, GetMessageW(&msg, nullptr, 0, 0));
            EXPECT_EQ(expected, msg.wParam);
        }
        EXPECT_TRUE(WaitMessage());  // the quit is waiting
        ASSERT_TRUE(PeekMessageW(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE));
        EXPECT_EQ(UINT(WM_QUIT), msg.message);
        EXPECT_EQ(FALSE, GetMessageW(&msg, nullptr, 0, 0));
        EXPECT_EQ(UINT(WM_QUIT), msg.message);
        EXPECT_EQ(7, int(msg.wParam));
        EXPECT_FALSE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));  // once only

        // A posted WM_QUIT ends GetMessageW in its turn too.
        PostThreadMessageW(GetCurrentThreadId(), WM_QUIT, 3, 0);
        EXPECT_EQ(FALSE, GetMessageW(&msg, nullptr, 0, 0));
        EXPECT_EQ(WPARAM(3), msg.wParam);
    });
}

TEST(MessageQueueTest, BadArguments) {
    OnNewThread([] {
        MSG msg;
        HWND gone = MakeWindow();
        DestroyWindow(gone);
        EXPECT_EQ(-1, GetMessageW(nullptr, nullptr, 0, 0));
        EXPECT_EQ(DWORD(ERROR_INVALID_PARAMETER), GetLastError());
        EXPECT_EQ(-1, GetMessageW(&msg, gone, 0, 0));
        EXPECT_EQ(DWORD(ERROR_INVALID_WINDOW_HANDLE), GetLastError());
        EXPECT_FALSE(PeekMessageW(&msg, gone, 0, 0, PM_REMOVE));
        EXPECT_EQ(DWORD(ERROR_INVALID_WINDOW_HANDLE), GetLastError());
        EXPECT_FALSE(PostMessageW(gone, WM_USER, 0, 0));
        EXPECT_EQ(DWORD(ERROR_INVALID_WINDOW_HANDLE), GetLastError());
        EXPECT_EQ(0, SendMessageW(gone, WM_USER, 0, 0));
        EXPECT_EQ(DWORD(ERROR_INVALID_WINDOW_HANDLE), GetLastError());
        EXPECT_FALSE(TranslateMessage(&msg));
    });

    // Threads with no queue: one that never asked for it, one that ended.
    DWORD ended = 0, idle = 0;
    std::thread([&] {
        ended = GetCurrentThreadId();
        vplat::EnsureThreadQueue();
    }).join();
    std::promise<void> release;
    std::promise<DWORD> idleId;
    std::thread idler([&] {
        idleId.set_value(GetCurrentThreadId());
        release.get_future().wait();
    });
    idle = idleId.get_future().get();
    for (DWORD id : {ended, idle}) {
        SetLastError(0);
        EXPECT_FALSE(PostThreadMessageW(id, WM_USER, 0, 0));
        EXPECT_EQ(DWORD(ERROR_INVALID_THREAD_ID), GetLastError());
        EXPECT_FALSE(vplat::PostThreadCall(id, [] {}));
        EXPECT_EQ(DWORD(ERROR_INVALID_THREAD_ID), GetLastError());
        EXPECT_EQ(0u, vplat::SetThreadTimerFor(id, 10, nullptr));
    }
    release.set_value();
    idler.join();
}

// A send to a window of another thread is handled by the owner inside its
// message loop; while the sender waits it handles what is sent to its own
// windows, so two threads sending to each other do not deadlock.
TEST(MessageQueueTest, SendAcrossThreads) {
    std::promise<HWND> ownerWindow;
    std::atomic<DWORD> ownerThread{0}, handledOn{0};
    std::thread owner([&] {
        ownerThread = GetCurrentThreadId();
        HWND w = MakeWindow([&](HWND h, UINT m, WPARAM wp, LPARAM lp) -> LRESULT {
            if (m != WM_USER) return DefWindowProcW(h, m, wp, lp);
            handledOn = GetCurrentThreadId();
            HWND back = reinterpret_cast<HWND>(lp);  // the sender's window: a send back to it
            return LRESULT(wp * 2) + SendMessageW(back, WM_USER + 1, 1, 0);
        });
        ownerWindow.set_value(w);
        MSG msg;
        while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
        DestroyWindow(w);
    });
    HWND target = ownerWindow.get_future().get();

    DWORD backOn = 0;
    HWND mine = MakeWindow([&](HWND h, UINT m, WPARAM wp, LPARAM lp) -> LRESULT {
        if (m != WM_USER + 1) return DefWindowProcW(h, m, wp, lp);
        backOn = GetCurrentThreadId();
        return LRESULT(100 + wp);
    });
    EXPECT_EQ(5 * 2 + 101, SendMessageW(target, WM_USER, 5, reinterpret_cast<LPARAM>(mine)));
    EXPECT_EQ(ownerThread.load(), handledOn.load());
    EXPECT_EQ(GetCurrentThreadId(), backOn);
    EXPECT_EQ(101, SendMessageW(mine, WM_USER + 1, 1, 0));  // to its own window: a direct call

    PostThreadMessageW(ownerThread, WM_QUIT, 0, 0);
    owner.join();
    DestroyWindow(mine);
}

// A window destroyed before its owner gets to a message sent to it answers
// 0, and its procedure never sees the message.
TEST(MessageQueueTest, SendToWindowDestroyedBeforeHandled) {
    std::promise<HWND> created;
    std::promise<void> sendQueued;
    std::atomic<bool> handled{false};
    std::thread owner([&] {
        HWND w = MakeWindow([&](HWND h, UINT m, WPARAM wp, LPARAM lp) -> LRESULT {
            if (m == WM_USER) handled = true;
            return DefWindowProcW(h, m, wp, lp);
        });
        created.set_value(w);
        sendQueued.get_future().wait();
        DestroyWindow(w);
        Pump();
    });
    HWND target = created.get_future().get();

    std::promise<HWND> senderWindow;
    std::thread sender([&] {
        // Handled only inside the wait below, so after the send is queued.
        HWND ping = MakeWindow([&](HWND h, UINT m, WPARAM wp, LPARAM lp) -> LRESULT {
            if (m == WM_USER + 1) sendQueued.set_value();
            return DefWindowProcW(h, m, wp, lp);
        });
        senderWindow.set_value(ping);
        EXPECT_EQ(0, SendMessageW(target, WM_USER, 0, 0));
        DestroyWindow(ping);
    });
    SendMessageW(senderWindow.get_future().get(), WM_USER + 1, 0, 0);
    sender.join();
    owner.join();
    EXPECT_FALSE(handled);
}

// Calls handed to a thread from many threads all run on it, each sender's
// in the order given and in order with the messages it posted.
TEST(MessageQueueTest, ThreadCallsFromManyThreads) {
    constexpr int kSenders = 8, kEach = 300;
    std::promise<DWORD> ownerId;
    std::vector<std::vector<int>> order(kSenders);  // touched only by the owner
    std::atomic<int> wrongThread{0};
    std::thread owner([&] {
        vplat::EnsureThreadQueue();
        ownerId.set_value(GetCurrentThreadId());
        // Calls run inside GetMessageW and never come out of it.
        MSG msg;
        while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
            ASSERT_EQ(UINT(WM_USER), msg.message);
            order[msg.wParam].push_back(-int(msg.lParam));
        }
    });
    DWORD target = ownerId.get_future().get();
    std::vector<std::thread> senders;
    for (int s = 0; s < kSenders; ++s) {
        senders.emplace_back([&, s] {
            for (int i = 1; i <= kEach; ++i) {
                EXPECT_TRUE(vplat::PostThreadCall(target, [&, s, i, target] {
                    if (GetCurrentThreadId() != target) ++wrongThread;
                    order[s].push_back(i);
                }));
                EXPECT_TRUE(PostThreadMessageW(target, WM_USER, WPARAM(s), LPARAM(i)));
            }
        });
    }
    for (auto &t : senders) t.join();
    PostThreadMessageW(target, WM_QUIT, 0, 0);  // after everything the senders queued
    owner.join();
    EXPECT_EQ(0, wrongThread.load());
    for (int s = 0; s < kSenders; ++s) {
        SCOPED_TRACE(s);
        ASSERT_EQ(size_t(kEach * 2), order[s].size());
        for (int i = 0; i < kEach; ++i) {
            EXPECT_EQ(i + 1, order[s][2 * i]);
            EXPECT_EQ(-(i + 1), order[s][2 * i + 1]);
        }
    }
}
