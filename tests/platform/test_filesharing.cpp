#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "filetestutil.h"
#include "support/TestDevice.h"
#include "windows.h"

namespace {

const DWORD R = GENERIC_READ, W = GENERIC_WRITE, RW = GENERIC_READ | GENERIC_WRITE;
const DWORD SR = FILE_SHARE_READ, SW = FILE_SHARE_WRITE, SRW = FILE_SHARE_READ | FILE_SHARE_WRITE;

}  // namespace

using FileSharingTest = DeviceTest;

// An open fails with 32 when an earlier open's share mode refuses its
// access, or its share mode refuses an earlier open's access; opens with
// neither read nor write access take no part.
TEST_F(FileSharingTest, ShareModesBetweenHandles) {
    const struct {
        DWORD firstAccess, firstShare, secondAccess, secondShare;
        bool allowed;
    } cases[] = {
        {R, SR, R, SR, true},
        {R, SR, RW, SR, false},    // the first refuses writers
        {R, SR, R, SRW, true},
        {R, 0, R, SRW, false},     // the first refuses readers
        {R, SRW, W, SRW, true},
        {R, SRW, W, SW, false},    // the second refuses the first's reading
        {W, SR, R, SR, false},     // the second refuses the first's writing
        {W, SR | SW, R, SW, true}, // the second refuses readers, the first does not read
        {W, SW, W, SW, true},
        {W, SW, R, SRW, false},
        {RW, SRW, RW, SRW, true},
        {RW, SRW, R, SR, false},
        {RW, 0, 0, 0, true},       // a query open is never refused
        {0, 0, RW, 0, true},       // and refuses nothing
    };
    int i = 0;
    for (const auto &c : cases) {
        SCOPED_TRACE(++i);
        ASSERT_TRUE(MakeFile(u"\\shared", "content"));
        HANDLE first = OpenFile(u"\\shared", c.firstAccess, c.firstShare, OPEN_EXISTING);
        ASSERT_NE(INVALID_HANDLE_VALUE, first);
        HANDLE second = OpenFile(u"\\SHARED", c.secondAccess, c.secondShare, OPEN_EXISTING);
        EXPECT_EQ(c.allowed, second != INVALID_HANDLE_VALUE);
        if (second != INVALID_HANDLE_VALUE) {
            CloseHandle(second);
        } else {
            EXPECT_EQ(DWORD(ERROR_SHARING_VIOLATION), GetLastError());
        }
        CloseHandle(first);
        // Closing the first handle lifts what it refused.
        second = OpenFile(u"\\shared", c.secondAccess, c.secondShare, OPEN_EXISTING);
        EXPECT_NE(INVALID_HANDLE_VALUE, second);
        CloseHandle(second);
    }
}

TEST_F(FileSharingTest, RefusedRecreationLeavesTheContent) {
    ASSERT_TRUE(MakeFile(u"\\keep", "content"));
    HANDLE reader = OpenFile(u"\\keep", R, SR, OPEN_EXISTING);
    ASSERT_NE(INVALID_HANDLE_VALUE, reader);
    for (DWORD disposition : {DWORD(CREATE_ALWAYS), DWORD(TRUNCATE_EXISTING)}) {
        EXPECT_EQ(INVALID_HANDLE_VALUE, OpenFile(u"\\keep", disposition == CREATE_ALWAYS ? R : W, SRW, disposition));
        EXPECT_EQ(DWORD(ERROR_SHARING_VIOLATION), GetLastError());
    }
    EXPECT_EQ("content", ReadHost(Device().Host(u"\\keep")));
    CloseHandle(reader);
}

// The device refuses to delete a file any handle holds open, even one with
// no access and a share mode that allows everything.
TEST_F(FileSharingTest, DeleteWaitsForEveryHandle) {
    ASSERT_TRUE(MakeFile(u"\\open", "x"));
    for (DWORD access : {DWORD(0), R, RW}) {
        HANDLE file = OpenFile(u"\\open", access, SRW, OPEN_EXISTING);
        ASSERT_NE(INVALID_HANDLE_VALUE, file);
        EXPECT_FALSE(DeleteFileW(u"\\OPEN"));
        EXPECT_EQ(DWORD(ERROR_SHARING_VIOLATION), GetLastError());
        EXPECT_TRUE(HostExists(Device().Host(u"\\open")));
        CloseHandle(file);
    }
    EXPECT_TRUE(DeleteFileW(u"\\open"));
    EXPECT_FALSE(HostExists(Device().Host(u"\\open")));
}

// Another process's handle refuses opens and deletion here until it goes.
TEST_F(FileSharingTest, SharingHoldsAcrossProcesses) {
    ASSERT_TRUE(MakeFile(u"\\Cross.txt", "x"));
    int toParent[2], toChild[2];
    ASSERT_EQ(0, pipe(toParent));
    ASSERT_EQ(0, pipe(toChild));
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // Plain calls only, then _exit: no test machinery in the child.
        HANDLE file = OpenFile(u"\\cross.TXT", R, SR, OPEN_EXISTING);
        char status = file != INVALID_HANDLE_VALUE ? 'y' : 'n';
        char release;
        if (write(toParent[1], &status, 1) == 1) (void)!read(toChild[0], &release, 1);
        _exit(0);
    }
    char status = 0;
    ASSERT_EQ(1, read(toParent[0], &status, 1));
    ASSERT_EQ('y', status);

    EXPECT_EQ(INVALID_HANDLE_VALUE, OpenFile(u"\\Cross.txt", RW, SR, OPEN_EXISTING));
    EXPECT_EQ(DWORD(ERROR_SHARING_VIOLATION), GetLastError());
    EXPECT_EQ(INVALID_HANDLE_VALUE, OpenFile(u"\\Cross.txt", R, 0, OPEN_EXISTING));
    EXPECT_EQ(DWORD(ERROR_SHARING_VIOLATION), GetLastError());
    EXPECT_FALSE(DeleteFileW(u"\\Cross.txt"));
    EXPECT_EQ(DWORD(ERROR_SHARING_VIOLATION), GetLastError());
    HANDLE reader = OpenFile(u"\\Cross.txt", R, SR, OPEN_EXISTING);
    EXPECT_NE(INVALID_HANDLE_VALUE, reader);
    CloseHandle(reader);

    ASSERT_EQ(1, write(toChild[1], "x", 1));
    int exitStatus = 0;
    ASSERT_EQ(child, waitpid(child, &exitStatus, 0));
    for (int fd : {toParent[0], toParent[1], toChild[0], toChild[1]}) close(fd);

    HANDLE writer = OpenFile(u"\\Cross.txt", RW, 0, OPEN_EXISTING);
    EXPECT_NE(INVALID_HANDLE_VALUE, writer);
    CloseHandle(writer);
    EXPECT_TRUE(DeleteFileW(u"\\Cross.txt"));
}

// Threads opening one name in different spellings, each refusing all
// sharing: exactly one gets the file, and only one file is made.
TEST_F(FileSharingTest, ConcurrentExclusiveOpensLetOneIn) {
    const std::u16string names[] = {u"\\Race.txt", u"\\RACE.TXT", u"\\race.txt", u"\\rAcE.tXt",
                                    u"/Race.txt",  u"\\RaCe.TxT", u"race.TXT",  u"\\\\race.Txt"};
    const int kThreads = sizeof names / sizeof names[0];
    std::vector<HANDLE> handles(kThreads);
    std::vector<DWORD> errors(kThreads);
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i) {
        threads.emplace_back([&, i] {
            handles[i] = OpenFile(names[i].c_str(), RW, 0, OPEN_ALWAYS);
            errors[i] = GetLastError();
        });
    }
    for (std::thread &t : threads) t.join();
    int opened = 0;
    for (int i = 0; i < kThreads; ++i) {
        if (handles[i] == INVALID_HANDLE_VALUE) {
            EXPECT_EQ(DWORD(ERROR_SHARING_VIOLATION), errors[i]);
        } else {
            ++opened;
            CloseHandle(handles[i]);
        }
    }
    EXPECT_EQ(1, opened);
    int files = 0;
    for (const auto &entry : std::filesystem::directory_iterator(Device().Root() + "/fs"))
        files += entry.is_regular_file() ? 1 : 0;
    EXPECT_EQ(1, files);
}
