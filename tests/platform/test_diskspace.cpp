#include <gtest/gtest.h>

#include <fstream>

#include "support/TestDevice.h"
#include "windows.h"

namespace {

class DiskSpaceTest : public DeviceTest {
protected:
    void WriteFakeSpace(const std::string &text) { std::ofstream(Device().Root() + "/freespace") << text; }
};

}  // namespace

TEST_F(DiskSpaceTest, ReportsTheHostFileSystem) {
    ULARGE_INTEGER available = {}, total = {}, free = {};
    ASSERT_TRUE(GetDiskFreeSpaceExW(u"\\", &available, &total, &free));
    EXPECT_GT(total.QuadPart, 0u);
    EXPECT_LE(available.QuadPart, free.QuadPart);
    EXPECT_LE(free.QuadPart, total.QuadPart);
    EXPECT_TRUE(GetDiskFreeSpaceExW(nullptr, &available, nullptr, nullptr));  // the root

    SetLastError(0);
    EXPECT_FALSE(GetDiskFreeSpaceExW(u"\\No Such Folder", &available, &total, &free));
    EXPECT_EQ(DWORD(ERROR_PATH_NOT_FOUND), GetLastError());
}

// The device's "freespace" file fakes the counts, beyond 32 bits too.
TEST_F(DiskSpaceTest, FakedCounts) {
    const struct {
        const char *text;
        BOOL ok;
        ULONGLONG available, total, free;
    } cases[] = {
        {"4296015872\n", TRUE, 4296015872ull, 4296015872ull, 4296015872ull},  // 4 GiB + 1 MiB
        {"1048576 8589934592", TRUE, 1048576, 8589934592ull, 1048576},
        {" 1 2 3 ", TRUE, 1, 2, 3},
        {"", FALSE, 0, 0, 0},
        {"12abc", FALSE, 0, 0, 0},
        {"1 2 3 4", FALSE, 0, 0, 0},
        {"18446744073709551616", FALSE, 0, 0, 0},  // 2^64
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text);
        WriteFakeSpace(c.text);
        ULARGE_INTEGER available = {}, total = {}, free = {};
        EXPECT_EQ(c.ok, GetDiskFreeSpaceExW(u"\\Windows", &available, &total, &free));
        if (!c.ok) continue;
        EXPECT_EQ(c.available, available.QuadPart);
        EXPECT_EQ(c.total, total.QuadPart);
        EXPECT_EQ(c.free, free.QuadPart);
    }
    // A path that does not exist still fails.
    WriteFakeSpace("100");
    ULARGE_INTEGER available;
    EXPECT_FALSE(GetDiskFreeSpaceExW(u"\\No Such Folder", &available, nullptr, nullptr));
}
