#include <gtest/gtest.h>
#include <unistd.h>

#include <future>
#include <string>
#include <vector>

#include "msgtestutil.h"

namespace {

LRESULT PlainProc(HWND h, UINT m, WPARAM w, LPARAM l) { return DefWindowProcW(h, m, w, l); }

LRESULT RefusingProc(HWND h, UINT m, WPARAM w, LPARAM l) {
    return m == WM_CREATE ? -1 : DefWindowProcW(h, m, w, l);
}

WNDCLASSW ClassOf(const char16_t *name, WNDPROC proc, HINSTANCE instance = nullptr) {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = proc;
    wc.hInstance = instance;
    wc.lpszClassName = name;
    return wc;
}

}  // namespace

TEST(WindowClassTest, RegisterAndUnregister) {
    HINSTANCE other = reinterpret_cast<HINSTANCE>(0x1000);
    WNDCLASSW plain = ClassOf(u"VTestPlain", PlainProc);
    ATOM atom = RegisterClassW(&plain);
    ASSERT_NE(0, atom);
    EXPECT_GE(atom, 0xC000);

    WNDCLASSW again = ClassOf(u"vtestPLAIN", PlainProc);
    EXPECT_EQ(0, RegisterClassW(&again));
    EXPECT_EQ(DWORD(ERROR_CLASS_ALREADY_EXISTS), GetLastError());
    WNDCLASSW otherModule = ClassOf(u"VTestPlain", PlainProc, other);  // another module may
    EXPECT_NE(0, RegisterClassW(&otherModule));
    EXPECT_TRUE(UnregisterClassW(u"VTestPlain", other));

    for (const char16_t *bad : {static_cast<const char16_t *>(nullptr), u""}) {
        WNDCLASSW wc = ClassOf(bad, PlainProc);
        EXPECT_EQ(0, RegisterClassW(&wc));
        EXPECT_EQ(DWORD(ERROR_INVALID_PARAMETER), GetLastError());
    }

    // A class with windows stays; by atom or by name it goes once they have.
    HWND w = CreateWindowExW(0, reinterpret_cast<LPCWSTR>(uintptr_t(atom)), u"t", 0, 0, 0, 1, 1, nullptr, nullptr,
                             nullptr, nullptr);
    ASSERT_NE(nullptr, w);
    EXPECT_FALSE(UnregisterClassW(u"VTestPlain", nullptr));
    EXPECT_EQ(DWORD(ERROR_CLASS_HAS_WINDOWS), GetLastError());
    DestroyWindow(w);
    EXPECT_TRUE(UnregisterClassW(u"VTESTPLAIN", nullptr));
    EXPECT_FALSE(UnregisterClassW(u"VTestPlain", nullptr));
    EXPECT_EQ(DWORD(ERROR_CLASS_DOES_NOT_EXIST), GetLastError());
    EXPECT_EQ(nullptr,
              CreateWindowExW(0, u"VTestPlain", u"", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(DWORD(ERROR_CLASS_DOES_NOT_EXIST), GetLastError());
}

// WM_CREATE carries the creation's arguments; an answer of -1 fails it.
TEST(WindowTest, CreateSendsWmCreate) {
    CREATESTRUCTW seen = {};
    std::u16string name;
    HWND w = MakeWindow([&](HWND h, UINT m, WPARAM wp, LPARAM lp) -> LRESULT {
        if (m == WM_CREATE) {
            seen = *reinterpret_cast<CREATESTRUCTW *>(lp);
            name = seen.lpszName;
            EXPECT_TRUE(IsWindow(h));  // usable from WM_CREATE on
        }
        return DefWindowProcW(h, m, wp, lp);
    }, u"Created");
    ASSERT_NE(nullptr, w);
    EXPECT_EQ(u"Created", name);
    EXPECT_EQ(10, seen.cx);
    DestroyWindow(w);

    WNDCLASSW refusing = ClassOf(u"VTestRefusing", RefusingProc);
    ASSERT_NE(0, RegisterClassW(&refusing));
    EXPECT_EQ(nullptr, CreateWindowExW(0, u"VTestRefusing", u"", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(nullptr, FindWindowW(u"VTestRefusing", nullptr));
    UnregisterClassW(u"VTestRefusing", nullptr);
}

TEST(WindowTest, WhatAWindowTells) {
    HWND w = MakeWindow(nullptr, u"Vantrel");
    HWND child = MakeWindow(nullptr, u"Vantrel", w);
    ASSERT_TRUE(w && child);

    DWORD pid = 0;
    EXPECT_EQ(GetCurrentThreadId(), GetWindowThreadProcessId(w, &pid));
    EXPECT_EQ(GetCurrentProcessId(), pid);

    WCHAR text[8];
    const struct {
        int max;
        int length;
        std::u16string text;
    } reads[] = {{8, 7, u"Vantrel"}, {4, 3, u"Van"}, {1, 0, u""}};
    for (const auto &r : reads) {
        EXPECT_EQ(r.length, GetWindowTextW(w, text, r.max));
        EXPECT_EQ(r.text, std::u16string(text));
    }

    // Top-level windows only, class and title without regard to case.
    EXPECT_EQ(w, FindWindowW(nullptr, u"VANTREL"));
    EXPECT_EQ(w, FindWindowW(u"vtestwindow", u"vantrel"));
    EXPECT_EQ(nullptr, FindWindowW(u"VTestWindow", u"Other"));

    EXPECT_EQ(0, SetWindowLongW(w, GWL_USERDATA, 1234));
    EXPECT_EQ(1234, SetWindowLongW(w, GWL_USERDATA, 99));
    EXPECT_EQ(99, GetWindowLongW(w, GWL_USERDATA));

    // The procedure read back can be put back; nothing else is taken.
    LONG proc = GetWindowLongW(w, GWL_WNDPROC);
    ASSERT_NE(0, proc);
    EXPECT_EQ(proc, SetWindowLongW(child, GWL_WNDPROC, proc));
    EXPECT_EQ(0, SetWindowLongW(w, GWL_WNDPROC, 0x12345678));
    EXPECT_EQ(DWORD(ERROR_INVALID_PARAMETER), GetLastError());
    EXPECT_EQ(proc, GetWindowLongW(w, GWL_WNDPROC));

    // A window goes with its parent.
    DestroyWindow(w);
    EXPECT_FALSE(IsWindow(w));
    EXPECT_FALSE(IsWindow(child));
    EXPECT_EQ(0u, GetWindowThreadProcessId(w, nullptr));
}

// DestroyWindow sends WM_DESTROY and drops what was posted to the window;
// only its own thread may destroy it. WM_CLOSE's default
// destroys the window.
TEST(WindowTest, DestroyDropsItsMessages) {
    OnNewThread([] {
        std::vector<UINT> seen;
        auto note = [&](HWND h, UINT m, WPARAM wp, LPARAM lp) -> LRESULT {
            if (m == WM_DESTROY || m >= WM_USER) seen.push_back(m);
            return DefWindowProcW(h, m, wp, lp);
        };
        HWND doomed = MakeWindow(note), kept = MakeWindow(note);
        PostMessageW(doomed, WM_USER + 1, 0, 0);
        PostMessageW(kept, WM_USER + 2, 0, 0);
        PostMessageW(doomed, WM_USER + 3, 0, 0);

        std::thread([doomed] {
            EXPECT_FALSE(DestroyWindow(doomed));
            EXPECT_EQ(DWORD(ERROR_ACCESS_DENIED), GetLastError());
        }).join();
        ASSERT_TRUE(DestroyWindow(doomed));
        EXPECT_EQ(std::vector<UINT>{WM_DESTROY}, seen);
        EXPECT_EQ(1, Pump());
        EXPECT_EQ((std::vector<UINT>{WM_DESTROY, WM_USER + 2}), seen);

        SendMessageW(kept, WM_CLOSE, 0, 0);
        EXPECT_FALSE(IsWindow(kept));
        EXPECT_FALSE(DestroyWindow(kept));
        EXPECT_EQ(DWORD(ERROR_INVALID_WINDOW_HANDLE), GetLastError());
    });
}

// Windows die with their thread.
TEST(WindowTest, ThreadEndTakesItsWindows) {
    HWND w = nullptr;
    std::thread([&] { w = MakeWindow(nullptr, u"Short-lived"); }).join();
    EXPECT_FALSE(IsWindow(w));
    EXPECT_EQ(nullptr, FindWindowW(nullptr, u"Short-lived"));
}

// HWND_BROADCAST reaches every top-level window of the process, of any
// thread, and no child window.
TEST(WindowTest, Broadcast) {
    std::vector<std::pair<HWND, UINT>> seen;  // touched on this thread only
    auto note = [&](HWND h, UINT m, WPARAM wp, LPARAM lp) -> LRESULT {
        if (m >= WM_USER) seen.push_back({h, m});
        return DefWindowProcW(h, m, wp, lp);
    };
    HWND first = MakeWindow(note), second = MakeWindow(note), child = MakeWindow(note, u"", first);

    std::promise<void> ready, done;
    std::atomic<int> foreignSeen{0};
    DWORD foreignThread = 0;
    std::thread other([&] {
        foreignThread = GetCurrentThreadId();
        HWND w = MakeWindow([&](HWND h, UINT m, WPARAM wp, LPARAM lp) -> LRESULT {
            if (m >= WM_USER) ++foreignSeen;
            return DefWindowProcW(h, m, wp, lp);
        });
        ready.set_value();
        MSG msg;
        while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
        DestroyWindow(w);
    });
    ready.get_future().wait();

    EXPECT_TRUE(PostMessageW(HWND_BROADCAST, WM_USER + 1, 0, 0));
    SendMessageW(HWND_BROADCAST, WM_USER + 2, 0, 0);  // handled here before the posts
    Pump();
    const std::vector<std::pair<HWND, UINT>> expected = {
        {first, WM_USER + 2}, {second, WM_USER + 2}, {first, WM_USER + 1}, {second, WM_USER + 1}};
    EXPECT_EQ(expected, seen);

    PostThreadMessageW(foreignThread, WM_QUIT, 0, 0);
    other.join();
    EXPECT_EQ(2, foreignSeen.load());
    (void)child;
    DestroyWindow(first);
    DestroyWindow(second);
}
