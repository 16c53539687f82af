#include <dirent.h>

#include <set>
#include <string>

#include "filetestutil.h"
#include "support/TestDevice.h"
#include "windows.h"

using MoveFileTest = DeviceTest;

TEST_F(MoveFileTest, MovesAndReplacesFilesAsThePlatformDoes) {
    const DWORD kReplace = MOVEFILE_REPLACE_EXISTING;
    const struct {
        const char *name;
        bool targetExists;
        DWORD flags;
        DWORD error;  // 0: the move succeeds
    } cases[] = {
        {"to a new name", false, 0, 0},
        {"onto an existing file", true, 0, ERROR_ALREADY_EXISTS},
        {"replacing an existing file", true, kReplace, 0},
        {"replacing where nothing was", false, kReplace, 0},
        {"with an unknown flag", false, 0x2, ERROR_INVALID_PARAMETER},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(MakeFile(u"\\Temp\\from.txt", "new"));
        if (c.targetExists) {
            ASSERT_TRUE(MakeFile(u"\\Temp\\to.txt", "old"));
        }
        SetLastError(0);
        // The source is named in another case: names resolve case-insensitively.
        BOOL ok = MoveFileExW(u"\\TEMP\\From.TXT", u"\\Temp\\to.txt", c.flags);
        EXPECT_EQ(c.error == 0, ok != FALSE);
        EXPECT_EQ(c.error, GetLastError());
        const std::string from = Device().Host(u"\\Temp\\from.txt");
        const std::string to = Device().Host(u"\\Temp\\to.txt");
        if (c.error == 0) {
            EXPECT_FALSE(HostExists(from));
            EXPECT_EQ("new", ReadHost(to));
        } else {
            EXPECT_EQ("new", ReadHost(from));
            EXPECT_EQ(c.targetExists ? "old" : "", ReadHost(to));
        }
        DeleteFileW(u"\\Temp\\from.txt");
        DeleteFileW(u"\\Temp\\to.txt");
    }
    // MoveFileW never replaces.
    ASSERT_TRUE(MakeFile(u"\\Temp\\a.txt", "a"));
    ASSERT_TRUE(MakeFile(u"\\Temp\\b.txt", "b"));
    EXPECT_FALSE(MoveFileW(u"\\Temp\\a.txt", u"\\Temp\\b.txt"));
    EXPECT_EQ(DWORD(ERROR_ALREADY_EXISTS), GetLastError());
    EXPECT_TRUE(MoveFileW(u"\\Temp\\a.txt", u"\\Temp\\c.txt"));
    EXPECT_EQ("a", ReadHost(Device().Host(u"\\Temp\\c.txt")));
}

TEST_F(MoveFileTest, RefusesFilesInUseReadOnlyTargetsAndMissingNames) {
    ASSERT_TRUE(MakeFile(u"\\Temp\\src.txt", "src"));
    ASSERT_TRUE(MakeFile(u"\\Temp\\dst.txt", "dst"));
    ASSERT_TRUE(CreateDirectoryW(u"\\Temp\\dir", nullptr));

    auto expectRefused = [&](LPCWSTR from, LPCWSTR to, DWORD error) {
        SetLastError(0);
        EXPECT_FALSE(MoveFileExW(from, to, MOVEFILE_REPLACE_EXISTING));
        EXPECT_EQ(error, GetLastError());
    };
    {
        SCOPED_TRACE("either file held open, even shared for reading");
        HANDLE held = OpenFile(u"\\Temp\\src.txt", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
        ASSERT_NE(INVALID_HANDLE_VALUE, held);
        expectRefused(u"\\Temp\\src.txt", u"\\Temp\\dst.txt", ERROR_SHARING_VIOLATION);
        expectRefused(u"\\Temp\\dst.txt", u"\\Temp\\src.txt", ERROR_SHARING_VIOLATION);
        CloseHandle(held);
    }
    {
        SCOPED_TRACE("missing names and unsuitable targets");
        expectRefused(u"\\Temp\\none.txt", u"\\Temp\\x.txt", ERROR_FILE_NOT_FOUND);
        expectRefused(u"\\Temp\\src.txt", u"\\NoFolder\\x.txt", ERROR_PATH_NOT_FOUND);
        expectRefused(u"\\Temp\\src.txt", u"\\Temp\\dir", ERROR_ACCESS_DENIED);
        ASSERT_TRUE(SetFileAttributesW(u"\\Temp\\dst.txt", FILE_ATTRIBUTE_READONLY));
        expectRefused(u"\\Temp\\src.txt", u"\\Temp\\dst.txt", ERROR_ACCESS_DENIED);
    }
    EXPECT_EQ("src", ReadHost(Device().Host(u"\\Temp\\src.txt")));
    EXPECT_EQ("dst", ReadHost(Device().Host(u"\\Temp\\dst.txt")));

    // A read-only file may itself be moved, and a folder renamed.
    EXPECT_TRUE(MoveFileW(u"\\Temp\\dst.txt", u"\\Temp\\dir\\dst.txt"));
    EXPECT_EQ("dst", ReadHost(Device().Host(u"\\Temp\\dir\\dst.txt")));
    EXPECT_TRUE(MoveFileW(u"\\Temp\\dir", u"\\Temp\\moved"));
    EXPECT_EQ("dst", ReadHost(Device().Host(u"\\Temp\\moved\\dst.txt")));
}

// A new name that differs only in case renames the file (or folder) to that
// spelling; its content stays, and a file in use keeps its name.
TEST_F(MoveFileTest, CaseOnlyRenameTakesTheNewSpelling) {
    auto hostNames = [&] {
        std::set<std::string> names;
        DIR *dir = opendir(Device().Host(u"\\Temp").c_str());
        while (dirent *entry = dir != nullptr ? readdir(dir) : nullptr) names.insert(entry->d_name);
        if (dir != nullptr) closedir(dir);
        names.erase(".");
        names.erase("..");
        return names;
    };
    ASSERT_TRUE(MakeFile(u"\\Temp\\report.txt", "content"));
    ASSERT_TRUE(CreateDirectoryW(u"\\Temp\\logs", nullptr));

    EXPECT_TRUE(MoveFileW(u"\\temp\\REPORT.txt", u"\\Temp\\Report.TXT"));
    EXPECT_TRUE(MoveFileW(u"\\Temp\\logs", u"\\TEMP\\Logs"));
    EXPECT_EQ(hostNames(), (std::set<std::string>{"Logs", "Report.TXT"}));
    EXPECT_EQ("content", ReadHost(Device().Host(u"\\Temp\\report.txt")));
    EXPECT_TRUE(MoveFileW(u"\\Temp\\Report.TXT", u"\\Temp\\Report.TXT"));  // the same spelling: nothing to do

    HANDLE held = OpenFile(u"\\Temp\\report.txt", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    SetLastError(0);
    EXPECT_FALSE(MoveFileW(u"\\Temp\\Report.TXT", u"\\Temp\\report.txt"));
    EXPECT_EQ(DWORD(ERROR_SHARING_VIOLATION), GetLastError());
    CloseHandle(held);
    EXPECT_EQ(hostNames(), (std::set<std::string>{"Logs", "Report.TXT"}));
}
