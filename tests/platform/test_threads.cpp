#include <fcntl.h>
#include <sched.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "windows.h"

namespace {

// What a worker of these tests is given: it makes its message queue,
// reports its id, sets `ready`, waits for `release`, sets `done` and
// returns `exitCode`.
struct Worker {
    HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    DWORD exitCode = 0;
    DWORD seenId = 0;
    ~Worker() {
        CloseHandle(ready);
        CloseHandle(release);
        CloseHandle(done);
    }
};

DWORD WorkerMain(LPVOID param) {
    auto *w = static_cast<Worker *>(param);
    MSG msg;
    PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);
    w->seenId = GetCurrentThreadId();
    SetEvent(w->ready);
    WaitForSingleObject(w->release, INFINITE);
    DWORD code = w->exitCode;
    SetEvent(w->done);  // w may be gone from here on
    return code;
}

// A thread that makes its message queue, notes its id and host task id,
// and (when `release` is set) waits for it and then notes whether WM_USER
// was posted to it.
struct Noted {
    DWORD id = 0;
    pid_t task = 0;
    HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE release = nullptr;
    bool gotPost = false;
    ~Noted() {
        CloseHandle(ready);
        if (release != nullptr) CloseHandle(release);
    }
};

DWORD NotingMain(LPVOID param) {
    auto *n = static_cast<Noted *>(param);
    MSG msg;
    PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);
    n->id = GetCurrentThreadId();
    n->task = gettid();
    SetEvent(n->ready);
    if (n->release == nullptr) return 0;
    WaitForSingleObject(n->release, INFINITE);
    n->gotPost = PeekMessageW(&msg, nullptr, WM_USER, WM_USER, PM_REMOVE) != FALSE;
    return 0;
}

// Runs a noting thread to its end, releasing it (when it waits) after
// `meanwhile`; false when the thread could not be had.
bool RunNoting(Noted *n, const std::function<void()> &meanwhile = nullptr) {
    HANDLE thread = CreateThread(nullptr, 0, NotingMain, n, 0, nullptr);
    if (thread == nullptr) return false;
    WaitForSingleObject(n->ready, INFINITE);
    if (meanwhile) meanwhile();
    if (n->release != nullptr) SetEvent(n->release);
    WaitForSingleObject(thread, INFINITE);
    return CloseHandle(thread) != FALSE;
}

// Exit codes of the id reuse scenario.
enum ReuseOutcome { kReusePass = 0, kReuseFail = 1, kReuseCannotSet = 77 };

// Runs as the first process of a pid namespace of its own, where it alone
// makes tasks and may choose the next task id: a thread ends, a new thread
// gets the ended one's host task id, and a post to the ended thread's id
// must still fail and must not reach the new thread.
int ReuseScenario() {
    Noted first;
    if (!RunNoting(&first)) return kReuseFail;
    // Its handle is signalled just before the host task goes; the task id
    // is free once the task is.
    for (int i = 0; i < 5000 && syscall(SYS_tgkill, getpid(), first.task, 0) == 0; ++i) Sleep(1);

    int fd = open("/proc/sys/kernel/ns_last_pid", O_WRONLY);
    std::string last = std::to_string(first.task - 1);
    bool set = fd >= 0 && write(fd, last.data(), last.size()) == ssize_t(last.size());
    if (fd >= 0) close(fd);
    if (!set) return kReuseCannotSet;

    Noted second;
    second.release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    BOOL posted = TRUE;
    DWORD error = 0;
    if (!RunNoting(&second, [&] {
            posted = PostThreadMessageW(first.id, WM_USER, 0, 0);
            error = GetLastError();
        })) {
        return kReuseFail;
    }
    if (second.task != first.task) return kReuseCannotSet;
    if (posted || error != ERROR_INVALID_THREAD_ID || second.gotPost || second.id == first.id) {
        fprintf(stderr, "the ended thread's id %lu reached the thread that took its task id\n",
                static_cast<unsigned long>(first.id));
        return kReuseFail;
    }
    return kReusePass;
}

}  // namespace

// A thread runs, is still active while it waits, cannot be terminated, and
// once ended reports its exit code and no longer takes messages.
TEST(ThreadTest, RunsEndsAndReportsItsExitCode) {
    Worker w;
    w.exitCode = 0xC0DE;
    DWORD id = 0;
    HANDLE thread = CreateThread(nullptr, 0, WorkerMain, &w, 0, &id);
    ASSERT_NE(nullptr, thread);
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(w.ready, INFINITE));
    EXPECT_EQ(w.seenId, id);

    DWORD code = 0;
    ASSERT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(STILL_ACTIVE, code);
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(thread, 0));
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(thread, 20));
    EXPECT_FALSE(TerminateThread(thread, 1));
    EXPECT_EQ(DWORD(ERROR_NOT_SUPPORTED), GetLastError());
    EXPECT_TRUE(PostThreadMessageW(id, WM_USER, 0, 0));

    SetEvent(w.release);
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread, INFINITE));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread, 0));  // stays signalled
    ASSERT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(0xC0DEu, code);
    EXPECT_FALSE(PostThreadMessageW(id, WM_USER, 0, 0));  // its queue ended with it

    EXPECT_TRUE(CloseHandle(thread));
    EXPECT_FALSE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(DWORD(ERROR_INVALID_HANDLE), GetLastError());
}

// The host gives an ended thread's task id to a later thread; a thread id
// must not follow it there. The scenario runs in a pid namespace of its
// own, so that it can pick the next task id without touching other
// processes; without the rights to make one the test is skipped.
TEST(ThreadTest, EndedThreadsIdReachesNoLaterThread) {
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (unshare(CLONE_NEWPID) != 0 && unshare(CLONE_NEWUSER | CLONE_NEWPID) != 0) _exit(kReuseCannotSet);
        pid_t init = fork();  // the namespace's first process
        if (init < 0) _exit(kReuseCannotSet);
        if (init == 0) _exit(ReuseScenario());
        int status = 0;
        if (waitpid(init, &status, 0) != init || !WIFEXITED(status)) _exit(kReuseFail);
        _exit(WEXITSTATUS(status));
    }
    int status = 0;
    ASSERT_EQ(child, waitpid(child, &status, 0));
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == kReuseCannotSet) GTEST_SKIP() << "cannot choose host task ids here";
    EXPECT_EQ(kReusePass, WEXITSTATUS(status));
}

// Closing the handle of a running thread leaves the thread running.
TEST(ThreadTest, ClosingTheHandleLeavesTheThreadRunning) {
    Worker w;
    HANDLE thread = CreateThread(nullptr, 0, WorkerMain, &w, 0, nullptr);
    ASSERT_NE(nullptr, thread);
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(w.ready, INFINITE));
    EXPECT_TRUE(CloseHandle(thread));
    SetEvent(w.release);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(w.done, INFINITE));
}

TEST(ThreadTest, PriorityIsKept) {
    Worker w;
    HANDLE thread = CreateThread(nullptr, 0, WorkerMain, &w, 0, nullptr);
    ASSERT_NE(nullptr, thread);
    EXPECT_EQ(THREAD_PRIORITY_NORMAL, GetThreadPriority(thread));
    EXPECT_TRUE(SetThreadPriority(thread, THREAD_PRIORITY_IDLE));
    EXPECT_EQ(THREAD_PRIORITY_IDLE, GetThreadPriority(thread));
    EXPECT_FALSE(SetThreadPriority(thread, THREAD_PRIORITY_IDLE + 1));
    EXPECT_EQ(DWORD(ERROR_INVALID_PARAMETER), GetLastError());
    SetEvent(w.release);
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread, INFINITE));
    CloseHandle(thread);
}

TEST(ThreadTest, CallsOnHandlesThatAreNoThreadOrEventFail) {
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE bogus = reinterpret_cast<HANDLE>(uintptr_t(0x7FFFFFF0));
    DWORD code;
    for (HANDLE h : {bogus, static_cast<HANDLE>(nullptr)}) {
        EXPECT_EQ(WAIT_FAILED, WaitForSingleObject(h, 0));
        EXPECT_EQ(DWORD(ERROR_INVALID_HANDLE), GetLastError());
        EXPECT_FALSE(SetEvent(h));
        EXPECT_EQ(DWORD(ERROR_INVALID_HANDLE), GetLastError());
    }
    // An event is no thread.
    EXPECT_FALSE(GetExitCodeThread(event, &code));
    EXPECT_EQ(THREAD_PRIORITY_ERROR_RETURN, GetThreadPriority(event));
    EXPECT_FALSE(TerminateThread(event, 0));
    EXPECT_EQ(DWORD(ERROR_INVALID_HANDLE), GetLastError());
    EXPECT_EQ(nullptr, CreateThread(nullptr, 0, nullptr, nullptr, 0, nullptr));
    EXPECT_EQ(DWORD(ERROR_INVALID_PARAMETER), GetLastError());
    CloseHandle(event);
}

TEST(EventTest, ManualAndAutoReset) {
    const struct {
        BOOL manual;
        BOOL initial;
        DWORD afterFirstWait;  // a second wait right after a successful one
    } cases[] = {
        {TRUE, FALSE, WAIT_OBJECT_0},
        {TRUE, TRUE, WAIT_OBJECT_0},
        {FALSE, FALSE, WAIT_TIMEOUT},
        {FALSE, TRUE, WAIT_TIMEOUT},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << "manual " << c.manual << " initial " << c.initial);
        HANDLE event = CreateEventW(nullptr, c.manual, c.initial, nullptr);
        ASSERT_NE(nullptr, event);
        EXPECT_EQ(c.initial ? WAIT_OBJECT_0 : WAIT_TIMEOUT, WaitForSingleObject(event, 0));
        EXPECT_TRUE(SetEvent(event));
        EXPECT_TRUE(SetEvent(event));  // setting twice releases no more waits
        EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(event, 0));
        EXPECT_EQ(c.afterFirstWait, WaitForSingleObject(event, 0));
        EXPECT_TRUE(SetEvent(event));
        EXPECT_TRUE(ResetEvent(event));
        EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(event, 0));
        EXPECT_TRUE(CloseHandle(event));
    }
    EXPECT_EQ(nullptr, CreateEventW(nullptr, TRUE, FALSE, u"named"));
}

// An auto-reset event releases exactly one of several blocked waiters per set.
TEST(EventTest, AutoResetReleasesOneWaiterPerSet) {
    struct Shared {
        HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
        LONG released = 0;
    } shared;
    auto waiter = [](LPVOID p) -> DWORD {
        auto *s = static_cast<Shared *>(p);
        WaitForSingleObject(s->event, INFINITE);
        InterlockedIncrement(&s->released);
        return 0;
    };
    HANDLE threads[3];
    for (HANDLE &t : threads) t = CreateThread(nullptr, 0, waiter, &shared, 0, nullptr);
    for (LONG expected = 1; expected <= 3; ++expected) {
        SetEvent(shared.event);
        // Wait for the one released thread, whichever it is.
        LONG now = 0;
        for (; now < expected; Sleep(1)) now = __atomic_load_n(&shared.released, __ATOMIC_SEQ_CST);
        EXPECT_EQ(expected, now);
    }
    for (HANDLE t : threads) {
        EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(t, INFINITE));
        CloseHandle(t);
    }
    CloseHandle(shared.event);
}

// A critical section may be entered again by its owner and keeps other
// threads out until every entry is left.
TEST(CriticalSectionTest, RecursiveAndExclusive) {
    struct Shared {
        CRITICAL_SECTION lock;
        long counter = 0;  // guarded by lock, deliberately not atomic
        LONG atomicCounter = 0;
    } shared;
    InitializeCriticalSection(&shared.lock);
    auto worker = [](LPVOID p) -> DWORD {
        auto *s = static_cast<Shared *>(p);
        for (int i = 0; i < 20000; ++i) {
            EnterCriticalSection(&s->lock);
            EnterCriticalSection(&s->lock);
            ++s->counter;
            LeaveCriticalSection(&s->lock);
            LeaveCriticalSection(&s->lock);
            InterlockedIncrement(&s->atomicCounter);
            InterlockedDecrement(&s->atomicCounter);
            InterlockedIncrement(&s->atomicCounter);
        }
        return 0;
    };
    HANDLE threads[4];
    for (HANDLE &t : threads) t = CreateThread(nullptr, 0, worker, &shared, 0, nullptr);
    for (HANDLE t : threads) {
        ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(t, INFINITE));
        CloseHandle(t);
    }
    EXPECT_EQ(80000, shared.counter);
    EXPECT_EQ(80000, shared.atomicCounter);
    EXPECT_EQ(80000, InterlockedExchange(&shared.atomicCounter, 5));
    EXPECT_EQ(5, shared.atomicCounter);
    DeleteCriticalSection(&shared.lock);
}
