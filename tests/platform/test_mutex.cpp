#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <future>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/TestDevice.h"
#include "windows.h"

namespace {

using MutexTest = DeviceTest;

// Runs body in a forked child and returns its exit code (-1 when killed).
template <typename Body>
pid_t Spawn(Body body) {
    pid_t child = fork();
    if (child == 0) _exit(body());
    return child;
}

int Reap(pid_t child) {
    int status = -1;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The owner may take it again; another thread neither releases nor takes it
// until the owner has released it as often as it took it.
TEST_F(MutexTest, OwnerTakesItRecursivelyAndOnlyItReleases) {
    HANDLE m = CreateMutexW(nullptr, TRUE, nullptr);
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(WaitForSingleObject(m, 0), WAIT_OBJECT_0);
    auto other = [m] {
        return std::async(std::launch::async, [m] {
            SetLastError(0);
            BOOL released = ReleaseMutex(m);
            DWORD error = GetLastError();
            DWORD wait = WaitForSingleObject(m, 50);
            if (wait == WAIT_OBJECT_0) ReleaseMutex(m);
            return std::make_pair(released ? 0u : error, wait);
        });
    };
    auto blocked = other().get();
    EXPECT_EQ(blocked.first, DWORD(ERROR_NOT_OWNER));
    EXPECT_EQ(blocked.second, WAIT_TIMEOUT);
    EXPECT_TRUE(ReleaseMutex(m));
    EXPECT_EQ(other().get().second, WAIT_TIMEOUT);  // still held once
    EXPECT_TRUE(ReleaseMutex(m));
    EXPECT_EQ(other().get().second, WAIT_OBJECT_0);
    SetLastError(0);
    EXPECT_FALSE(ReleaseMutex(m));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_NOT_OWNER));
    CloseHandle(m);
}

// Processes that each add to a shared count under one named mutex (read,
// pause, write back) lose no addition.
TEST_F(MutexTest, NamedMutexExcludesOtherProcesses) {
    const std::string counter = Device().Host(u"\\Temp\\count");
    {
        int fd = open(counter.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0600);
        ASSERT_GE(fd, 0);
        int zero = 0;
        ASSERT_EQ(write(fd, &zero, sizeof zero), ssize_t(sizeof zero));
        close(fd);
    }
    constexpr int kProcesses = 4;
    constexpr int kRounds = 150;
    std::vector<pid_t> children;
    for (int p = 0; p < kProcesses; ++p) {
        children.push_back(Spawn([&] {
            HANDLE m = CreateMutexW(nullptr, FALSE, u"Count.Lock");
            int fd = open(counter.c_str(), O_RDWR);
            if (m == nullptr || fd < 0) return 1;
            for (int i = 0; i < kRounds; ++i) {
                if (WaitForSingleObject(m, 10000) != WAIT_OBJECT_0) return 2;
                int value = 0;
                if (pread(fd, &value, sizeof value, 0) != ssize_t(sizeof value)) return 3;
                if (i % 16 == 0) usleep(200);  // widen the window a lost update needs
                ++value;
                if (pwrite(fd, &value, sizeof value, 0) != ssize_t(sizeof value)) return 3;
                if (!ReleaseMutex(m)) return 4;
            }
            return 0;
        }));
    }
    for (pid_t child : children) EXPECT_EQ(Reap(child), 0);
    int fd = open(counter.c_str(), O_RDONLY);
    int value = -1;
    ASSERT_EQ(pread(fd, &value, sizeof value, 0), ssize_t(sizeof value));
    close(fd);
    EXPECT_EQ(value, kProcesses * kRounds);
}

// A second create of a name, from any process and in any case, opens the
// same mutex and says so; a killed owner frees it.
TEST_F(MutexTest, NamedMutexIsOneForTheDeviceAndAKilledOwnerFreesIt) {
    HANDLE mine = CreateMutexW(nullptr, FALSE, u"Shared.Mutex");
    ASSERT_NE(mine, nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_SUCCESS));
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    pid_t owner = Spawn([&] {
        HANDLE m = CreateMutexW(nullptr, TRUE, u"SHARED.mutex");
        const bool existed = GetLastError() == ERROR_ALREADY_EXISTS;
        if (m == nullptr || WaitForSingleObject(m, 0) != WAIT_OBJECT_0) return 1;
        char byte = existed ? 'e' : 'n';
        if (write(ready[1], &byte, 1) != 1) return 1;
        pause();  // holds it until killed
        return 0;
    });
    char byte = 0;
    ASSERT_EQ(read(ready[0], &byte, 1), 1);
    EXPECT_EQ(byte, 'e');
    EXPECT_EQ(WaitForSingleObject(mine, 100), WAIT_TIMEOUT);
    kill(owner, SIGKILL);
    EXPECT_EQ(Reap(owner), -1);
    EXPECT_EQ(WaitForSingleObject(mine, 5000), WAIT_OBJECT_0);
    EXPECT_TRUE(ReleaseMutex(mine));
    CloseHandle(mine);
    close(ready[0]);
    close(ready[1]);

    // Once no process has it open, a create makes it anew.
    HANDLE again = CreateMutexW(nullptr, FALSE, u"Shared.Mutex");
    EXPECT_EQ(GetLastError(), DWORD(ERROR_SUCCESS));
    CloseHandle(again);
}

}  // namespace
