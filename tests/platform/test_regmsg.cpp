#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <string>

#include "support/TestDevice.h"
#include "windows.h"

using RegisteredMessageTest = DeviceTest;

TEST_F(RegisteredMessageTest, OneIdPerName) {
    UINT a = RegisterWindowMessageW(u"QV_WINMSG_ACTIVETASK_ENABLED");
    UINT b = RegisterWindowMessageW(u"brwNotifierChangeMessage");
    EXPECT_GE(a, 0xC000u);
    EXPECT_LE(a, 0xFFFFu);
    EXPECT_GE(b, 0xC000u);
    EXPECT_NE(a, b);
    EXPECT_EQ(a, RegisterWindowMessageW(u"QV_WINMSG_ACTIVETASK_ENABLED"));
    EXPECT_EQ(a, RegisterWindowMessageW(u"qv_winmsg_activetask_enabled"));
    EXPECT_EQ(b, RegisterWindowMessageW(u"BRWNOTIFIERCHANGEMESSAGE"));

    for (const char16_t *bad : {static_cast<const char16_t *>(nullptr), u""}) {
        SetLastError(0);
        EXPECT_EQ(0u, RegisterWindowMessageW(bad));
        EXPECT_EQ(DWORD(ERROR_INVALID_PARAMETER), GetLastError());
    }
}

// Another process of the device gets the same ids: what one registers, the
// other finds, and neither gives an id twice. A table whose last record was
// cut short (a writer that died) keeps what comes before.
TEST_F(RegisteredMessageTest, SameIdsInAnotherProcess) {
    UINT before = RegisterWindowMessageW(u"RegisteredFirst");
    int pipeFds[2];
    ASSERT_EQ(0, pipe(pipeFds));
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // Plain calls only, then _exit: no test machinery in the child.
        UINT ids[2] = {RegisterWindowMessageW(u"FromTheChild"), RegisterWindowMessageW(u"registeredfirst")};
        ssize_t written = write(pipeFds[1], ids, sizeof ids);
        _exit(written == ssize_t(sizeof ids) ? 0 : 1);
    }
    close(pipeFds[1]);
    UINT ids[2] = {};
    ASSERT_EQ(ssize_t(sizeof ids), read(pipeFds[0], ids, sizeof ids));
    close(pipeFds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(before, ids[1]);
    EXPECT_NE(before, ids[0]);

    std::ofstream(Device().Root() + "/wndmsg.tbl", std::ios::app | std::ios::binary) << "\x05\xC0\x09";
    EXPECT_EQ(ids[0], RegisterWindowMessageW(u"FROMTHECHILD"));
    UINT later = RegisterWindowMessageW(u"RegisteredLater");
    EXPECT_NE(0u, later);
    EXPECT_NE(ids[0], later);
    EXPECT_NE(before, later);
}
