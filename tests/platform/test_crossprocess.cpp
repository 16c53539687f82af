// Window messages between real processes of one device: the other process
// is the WindowPeer program (tests/modules/WindowPeer.cpp), started afresh
// for each test on the test's device.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "../../platform/src/crossprocess.h"
#include "msgtestutil.h"
#include "support/TestDevice.h"
#include "windows.h"
#include "../modules/WindowPeerMessages.h"

namespace {

// One WindowPeer process; killed and reaped at the end.
class Peer {
public:
    explicit Peer(const char *title) {
        int out[2];
        if (pipe(out) != 0) return;
        m_pid = fork();
        if (m_pid == 0) {
            dup2(out[1], 1);
            close(out[0]);
            close(out[1]);
            execl(WINDOW_PEER_PATH, WINDOW_PEER_PATH, title, static_cast<char *>(nullptr));
            _exit(127);
        }
        close(out[1]);
        FILE *in = fdopen(out[0], "r");
        unsigned long long value = 0;
        if (in != nullptr && fscanf(in, "%llx", &value) == 1) m_hwnd = reinterpret_cast<HWND>(uintptr_t(value));
        if (in != nullptr) fclose(in);
    }
    ~Peer() {
        if (m_pid <= 0) return;
        kill(m_pid, SIGKILL);
        waitpid(m_pid, nullptr, 0);
    }
    HWND Window() const { return m_hwnd; }
    pid_t Pid() const { return m_pid; }
    // Kills the process and waits until it is dead (a zombie, not reaped:
    // its pid still names it).
    void KillAndWait() {
        kill(m_pid, SIGKILL);
        siginfo_t info;
        waitid(P_PID, id_t(m_pid), &info, WEXITED | WNOWAIT);
    }

private:
    pid_t m_pid = -1;
    HWND m_hwnd = nullptr;
};

// Asks the peer until it answers want (its sent messages are handled ahead
// of its posted ones), for at most a few seconds; returns the last answer.
LRESULT AskUntil(HWND peer, WPARAM what, LRESULT want) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    LRESULT got = 0;
    do {
        got = SendMessageW(peer, kAsk, what, 0);
        if (got == want || got == -1) break;
        usleep(2000);
    } while (std::chrono::steady_clock::now() < deadline);
    return got;
}

bool Exists(const std::string &path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

using CrossProcessTest = DeviceTest;

}  // namespace

// Many posts arrive in the order sent; sends are handled by the owner and
// answered; what a foreign window tells comes from its own process.
TEST_F(CrossProcessTest, PostsKeepTheirOrderAndSendsAreAnswered) {
    Peer peer("Peer A");
    HWND h = peer.Window();
    ASSERT_NE(nullptr, h);
    HWND mine = MakeWindow(nullptr, u"Here");
    ASSERT_NE(nullptr, mine);
    // Handles are unique on the device: the process part of each differs.
    EXPECT_NE(vplat::HandleProcessNumber(mine), vplat::HandleProcessNumber(h));

    const WPARAM kPosts = 3000;
    for (WPARAM i = 0; i < kPosts; ++i) ASSERT_TRUE(PostMessageW(h, kSeq, i, 0)) << i;
    EXPECT_EQ(LRESULT(kPosts), AskUntil(h, 0, LRESULT(kPosts)));
    EXPECT_EQ(41, SendMessageW(h, kAsk, 2, 20));
    LRESULT result = 0;
    EXPECT_TRUE(vplat::SendMessageWithin(h, kAsk, 2, -8, 2000, &result));
    EXPECT_EQ(-15, result);

    EXPECT_TRUE(IsWindow(h));
    DWORD pid = 0;
    EXPECT_NE(0u, GetWindowThreadProcessId(h, &pid));
    EXPECT_EQ(DWORD(peer.Pid()), pid);
    pid = 0;
    EXPECT_TRUE(vplat::WindowProcessId(h, &pid));
    EXPECT_EQ(DWORD(peer.Pid()), pid);
    EXPECT_TRUE(vplat::WindowProcessId(mine, &pid));
    EXPECT_EQ(GetCurrentProcessId(), pid);
    WCHAR text[32];
    EXPECT_EQ(6, GetWindowTextW(h, text, 32));
    EXPECT_EQ(std::u16string(u"Peer A"), std::u16string(text));
    DestroyWindow(mine);
}

// FindWindowW and EnumWindows see every process's top-level windows, and
// HWND_BROADCAST reaches them all, posted or sent.
TEST_F(CrossProcessTest, FindEnumerateAndBroadcastAcrossProcesses) {
    Peer a("Peer A"), b("Peer B");
    ASSERT_NE(nullptr, a.Window());
    ASSERT_NE(nullptr, b.Window());
    EXPECT_NE(a.Window(), b.Window());
    int localBroadcasts = 0;
    HWND mine = MakeWindow([&](HWND hw, UINT m, WPARAM wp, LPARAM lp) -> LRESULT {
        if (m == kBroadcast) ++localBroadcasts;
        return DefWindowProcW(hw, m, wp, lp);
    }, u"Here");

    EXPECT_EQ(b.Window(), FindWindowW(nullptr, u"peer b"));
    EXPECT_EQ(a.Window(), FindWindowW(u"VPeerWindow", u"Peer A"));
    EXPECT_EQ(mine, FindWindowW(nullptr, u"Here"));
    EXPECT_EQ(nullptr, FindWindowW(nullptr, u"Peer C"));

    std::vector<HWND> seen;
    EXPECT_TRUE(EnumWindows([](HWND hw, LPARAM lp) -> BOOL {
        reinterpret_cast<std::vector<HWND> *>(lp)->push_back(hw);
        return TRUE;
    }, reinterpret_cast<LPARAM>(&seen)));
    EXPECT_EQ((std::vector<HWND>{mine, a.Window(), b.Window()}), seen);
    int calls = 0;
    EXPECT_FALSE(EnumWindows([](HWND, LPARAM lp) -> BOOL { return ++*reinterpret_cast<int *>(lp) < 2; },
                             reinterpret_cast<LPARAM>(&calls)));
    EXPECT_EQ(2, calls);

    EXPECT_TRUE(PostMessageW(HWND_BROADCAST, kBroadcast, 0, 0));
    SendMessageW(HWND_BROADCAST, kBroadcast, 0, 0);
    Pump();
    EXPECT_EQ(2, localBroadcasts);
    EXPECT_EQ(2, AskUntil(a.Window(), 1, 2));
    EXPECT_EQ(2, AskUntil(b.Window(), 1, 2));
    DestroyWindow(mine);
}

namespace {
// Doubles what the peer notes and drops its second note.
bool DoubleNote(UINT *, WPARAM *, LPARAM *lParam) {
    if (*lParam == 2) return false;
    *lParam *= 2;
    return true;
}
}  // namespace

// A receiver that sends back while its sender waits is served by the
// waiting thread; its posts came first, each through the translator set for
// posts from other processes.
TEST_F(CrossProcessTest, SendBackWhileWaitingAndTranslatedPosts) {
    Peer peer("Peer A");
    ASSERT_NE(nullptr, peer.Window());
    std::vector<std::pair<UINT, LPARAM>> got;
    HWND mine = MakeWindow([&](HWND hw, UINT m, WPARAM wp, LPARAM lp) -> LRESULT {
        if (m == kBack) return 5;
        if (m == kNote || m == kDone) got.push_back({m, lp});
        return DefWindowProcW(hw, m, wp, lp);
    });
    vplat::SetIncomingPostTranslator(kNote, DoubleNote);
    EXPECT_EQ(1005, SendMessageW(peer.Window(), kCallBack, reinterpret_cast<WPARAM>(mine), 0));
    vplat::SetIncomingPostTranslator(kNote, nullptr);
    Pump();
    EXPECT_EQ((std::vector<std::pair<UINT, LPARAM>>{{kNote, 2}, {kNote, 6}, {kDone, 0}}), got);
    // At home the translator has no say.
    got.clear();
    vplat::SetIncomingPostTranslator(kNote, DoubleNote);
    PostMessageW(mine, kNote, 0, 2);
    Pump();
    vplat::SetIncomingPostTranslator(kNote, nullptr);
    EXPECT_EQ((std::vector<std::pair<UINT, LPARAM>>{{kNote, 2}}), got);
    DestroyWindow(mine);
}

// A process that dies while answering leaves its sender with 0 at once; its
// window is dropped from the directory on first contact, and later sends
// and posts fail at once.
TEST_F(CrossProcessTest, DeadProcessIsDroppedAndNeverWaitedFor) {
    Peer peer("Doomed");
    HWND h = peer.Window();
    ASSERT_NE(nullptr, h);
    std::string entry = Device().Root() + "/run/wnd/" + std::to_string(vplat::HandleProcessNumber(h));
    ASSERT_TRUE(Exists(entry));

    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(0, SendMessageW(h, kAsk, 3, 0));  // it kills itself instead of answering
    peer.KillAndWait();
    EXPECT_EQ(0, SendMessageW(h, kAsk, 2, 1));
    EXPECT_EQ(DWORD(ERROR_INVALID_WINDOW_HANDLE), GetLastError());
    EXPECT_FALSE(PostMessageW(h, kSeq, 0, 0));
    LRESULT result = 7;
    EXPECT_FALSE(vplat::SendMessageWithin(h, kAsk, 2, 1, 30000, &result));
    EXPECT_EQ(0, result);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));

    EXPECT_FALSE(Exists(entry));
    EXPECT_FALSE(IsWindow(h));
    EXPECT_EQ(nullptr, FindWindowW(nullptr, u"Doomed"));
}

// A directory entry whose pid now names another process (a live one, with
// another start time), or whose socket is gone, never reaches anyone: it is
// not listed, nothing is delivered, and it is dropped.
TEST_F(CrossProcessTest, StaleEntryIsNeverDeliveredTo) {
    Peer peer("Live");
    ASSERT_NE(nullptr, peer.Window());
    uint32_t live = vplat::HandleProcessNumber(peer.Window());
    std::string root = Device().Root();
    uint64_t peerStart = 0, ownStart = 0;
    ASSERT_TRUE(vplat::ProcessStartTime(peer.Pid(), &peerStart));
    ASSERT_TRUE(vplat::ProcessStartTime(getpid(), &ownStart));

    struct Case {
        uint32_t number;
        DWORD pid;
        uint64_t startTime;
        bool listed;  // alive by pid and start time, though nobody listens
    } cases[] = {
        {live + 100, DWORD(peer.Pid()), peerStart + 1, false},  // the pid was reused by the peer
        {live + 101, DWORD(getpid()), ownStart, true},  // its socket is gone
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.number - live);
        vplat::DirectoryEntry e;
        e.number = c.number;
        e.pid = c.pid;
        e.startTime = c.startTime;
        vplat::DirectoryWindow w;
        w.hwnd = reinterpret_cast<HWND>((uint64_t(c.number) << vplat::kProcessNumberShift) | 4);
        w.className = u"VPeerWindow";
        w.title = u"Ghost";
        e.windows.push_back(w);
        ASSERT_EQ(0u, vplat::WriteDirectoryEntry(root, e));
        std::string path = root + "/run/wnd/" + std::to_string(c.number);

        EXPECT_EQ(c.listed ? w.hwnd : nullptr, FindWindowW(nullptr, u"Ghost"));
        EXPECT_EQ(c.listed, Exists(path));
        EXPECT_FALSE(PostMessageW(w.hwnd, kSeq, 0, 0));
        EXPECT_EQ(0, SendMessageW(w.hwnd, kSeq, 0, 0));
        EXPECT_FALSE(Exists(path));
        EXPECT_EQ(nullptr, FindWindowW(nullptr, u"Ghost"));
    }
    EXPECT_EQ(0, AskUntil(peer.Window(), 0, 0));  // the peer got none of it
}

// A fork's child has none of its parent's windows or sockets: its posts to
// the parent's window travel to the parent, and once a process dies, a
// child it forked does not keep its socket answering connections (a send
// to the dead process's window would then wait for nobody).
TEST_F(CrossProcessTest, ForkedChildStartsAfresh) {
    std::vector<LPARAM> notes;
    HWND mine = MakeWindow([&](HWND hw, UINT m, WPARAM wp, LPARAM lp) -> LRESULT {
        if (m == kNote) notes.push_back(lp);
        return DefWindowProcW(hw, m, wp, lp);
    });
    pid_t poster = fork();
    ASSERT_GE(poster, 0);
    if (poster == 0) {
        bool ok = true;
        for (LPARAM i = 1; i <= 3; ++i) ok = PostMessageW(mine, kNote, 0, i) && ok;
        _exit(ok ? 0 : 1);
    }
    int status = 0;
    waitpid(poster, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (notes.size() < 3 && std::chrono::steady_clock::now() < deadline) {
        Pump();
        usleep(1000);
    }
    EXPECT_EQ((std::vector<LPARAM>{1, 2, 3}), notes);

    // The middle process owns a window and forks a sleeper, then is killed.
    int out[2];
    ASSERT_EQ(0, pipe(out));
    pid_t middle = fork();
    ASSERT_GE(middle, 0);
    if (middle == 0) {
        HWND w = MakeWindow();
        pid_t sleeper = fork();
        if (sleeper == 0) {
            sleep(30);
            _exit(0);
        }
        uint64_t report[2] = {uint64_t(reinterpret_cast<uintptr_t>(w)), uint64_t(sleeper)};
        ssize_t written = write(out[1], report, sizeof report);
        (void)written;
        pause();
        _exit(0);
    }
    close(out[1]);
    uint64_t report[2] = {};
    ASSERT_EQ(ssize_t(sizeof report), read(out[0], report, sizeof report));
    close(out[0]);
    kill(middle, SIGKILL);
    waitpid(middle, nullptr, 0);
    HWND orphan = reinterpret_cast<HWND>(uintptr_t(report[0]));
    auto start = std::chrono::steady_clock::now();
    LRESULT result = 0;
    EXPECT_FALSE(vplat::SendMessageWithin(orphan, kAsk, 2, 1, 3000, &result));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    kill(pid_t(report[1]), SIGKILL);
    waitpid(pid_t(report[1]), nullptr, 0);  // not our child: reaped by init, this just returns
    DestroyWindow(mine);
}
