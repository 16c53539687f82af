#include <sys/stat.h>

#include <string>

#include "filetestutil.h"
#include "support/TestDevice.h"
#include "windows.h"

using FolderTest = DeviceTest;

TEST_F(FolderTest, AttributesOfFilesAndFolders) {
    ASSERT_TRUE(MakeFile(u"\\Temp\\f.txt", "x"));
    const struct {
        const char16_t *path;
        DWORD attributes;
        DWORD error;
    } cases[] = {
        {u"\\", FILE_ATTRIBUTE_DIRECTORY, 0},
        {u"\\temp", FILE_ATTRIBUTE_DIRECTORY, 0},
        {u"\\Temp\\F.TXT", FILE_ATTRIBUTE_ARCHIVE, 0},
        {u"\\Temp\\missing", INVALID_FILE_ATTRIBUTES, ERROR_FILE_NOT_FOUND},
        {u"\\Missing\\x", INVALID_FILE_ATTRIBUTES, ERROR_PATH_NOT_FOUND},
        {u"\\Temp\\f.txt\\x", INVALID_FILE_ATTRIBUTES, ERROR_PATH_NOT_FOUND},
        {u"\\Temp\\a?", INVALID_FILE_ATTRIBUTES, ERROR_INVALID_NAME},
    };
    for (const auto &c : cases) {
        SetLastError(0);
        EXPECT_EQ(c.attributes, GetFileAttributesW(c.path)) << vplat::Utf16ToUtf8(c.path);
        EXPECT_EQ(c.error, GetLastError()) << vplat::Utf16ToUtf8(c.path);
    }
}

// Read-only is the host's owner-write bit, enforced by the device itself
// (the kernel would let root write anyway).
TEST_F(FolderTest, ReadOnlyFilesRefuseWritingAndDeletion) {
    ASSERT_TRUE(MakeFile(u"\\ro", "keep"));
    ASSERT_TRUE(SetFileAttributesW(u"\\RO", FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(DWORD(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE), GetFileAttributesW(u"\\ro"));
    struct stat st;
    ASSERT_EQ(0, stat(Device().Host(u"\\ro").c_str(), &st));
    EXPECT_EQ(0u, st.st_mode & S_IWUSR);

    const struct {
        DWORD access, disposition;
    } refused[] = {
        {GENERIC_WRITE, OPEN_EXISTING},
        {GENERIC_READ | GENERIC_WRITE, OPEN_ALWAYS},
        {GENERIC_READ, CREATE_ALWAYS},
        {GENERIC_WRITE, TRUNCATE_EXISTING},
    };
    for (const auto &c : refused) {
        EXPECT_EQ(INVALID_HANDLE_VALUE, OpenFile(u"\\ro", c.access, FILE_SHARE_READ, c.disposition));
        EXPECT_EQ(DWORD(ERROR_ACCESS_DENIED), GetLastError());
    }
    EXPECT_FALSE(DeleteFileW(u"\\ro"));
    EXPECT_EQ(DWORD(ERROR_ACCESS_DENIED), GetLastError());
    HANDLE reader = OpenFile(u"\\ro", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    EXPECT_NE(INVALID_HANDLE_VALUE, reader);
    CloseHandle(reader);
    EXPECT_EQ("keep", ReadHost(Device().Host(u"\\ro")));

    // Other attributes are accepted; NORMAL clears read-only.
    EXPECT_TRUE(SetFileAttributesW(u"\\ro", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
    EXPECT_EQ(DWORD(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE), GetFileAttributesW(u"\\ro"));
    ASSERT_TRUE(SetFileAttributesW(u"\\ro", FILE_ATTRIBUTE_NORMAL));
    EXPECT_EQ(DWORD(FILE_ATTRIBUTE_ARCHIVE), GetFileAttributesW(u"\\ro"));
    HANDLE writer = OpenFile(u"\\ro", GENERIC_WRITE, 0, OPEN_EXISTING);
    EXPECT_NE(INVALID_HANDLE_VALUE, writer);
    CloseHandle(writer);
    EXPECT_TRUE(DeleteFileW(u"\\ro"));

    EXPECT_FALSE(SetFileAttributesW(u"\\ro", FILE_ATTRIBUTE_NORMAL));
    EXPECT_EQ(DWORD(ERROR_FILE_NOT_FOUND), GetLastError());
}

TEST_F(FolderTest, CreatingAndRemovingFolders) {
    ASSERT_TRUE(CreateDirectoryW(u"\\Program Files", nullptr));
    ASSERT_TRUE(CreateDirectoryW(u"\\program files\\Vantrel", nullptr));
    ASSERT_TRUE(MakeFile(u"\\Program Files\\Vantrel\\x.log", "x"));
    EXPECT_EQ(DWORD(FILE_ATTRIBUTE_DIRECTORY), GetFileAttributesW(u"\\PROGRAM FILES\\VANTREL"));

    const struct {
        BOOL (*call)(LPCWSTR);
        const char16_t *path;
        DWORD error;
    } refused[] = {
        {[](LPCWSTR p) { return CreateDirectoryW(p, nullptr); }, u"\\PROGRAM FILES", ERROR_ALREADY_EXISTS},
        {[](LPCWSTR p) { return CreateDirectoryW(p, nullptr); }, u"\\Program Files\\Vantrel\\x.log",
         ERROR_ALREADY_EXISTS},
        {[](LPCWSTR p) { return CreateDirectoryW(p, nullptr); }, u"\\Missing\\Sub", ERROR_PATH_NOT_FOUND},
        {[](LPCWSTR p) { return CreateDirectoryW(p, nullptr); }, u"\\", ERROR_ALREADY_EXISTS},
        {RemoveDirectoryW, u"\\Program Files\\Vantrel", ERROR_DIR_NOT_EMPTY},
        {RemoveDirectoryW, u"\\Program Files\\Other", ERROR_FILE_NOT_FOUND},
        {RemoveDirectoryW, u"\\Missing\\Sub", ERROR_PATH_NOT_FOUND},
        {RemoveDirectoryW, u"\\Program Files\\Vantrel\\x.log", ERROR_DIRECTORY},
        {RemoveDirectoryW, u"\\", ERROR_ACCESS_DENIED},
        {DeleteFileW, u"\\Program Files\\Vantrel", ERROR_ACCESS_DENIED},
        {DeleteFileW, u"\\Program Files\\none.txt", ERROR_FILE_NOT_FOUND},
        {DeleteFileW, u"\\Missing\\none.txt", ERROR_PATH_NOT_FOUND},
    };
    for (const auto &c : refused) {
        SetLastError(0);
        EXPECT_FALSE(c.call(c.path)) << vplat::Utf16ToUtf8(c.path);
        EXPECT_EQ(c.error, GetLastError()) << vplat::Utf16ToUtf8(c.path);
    }

    EXPECT_TRUE(DeleteFileW(u"\\program files\\vantrel\\X.LOG"));
    EXPECT_TRUE(RemoveDirectoryW(u"\\Program Files\\VANTREL"));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(u"\\Program Files\\Vantrel"));
    EXPECT_TRUE(RemoveDirectoryW(u"/program files/"));
    EXPECT_FALSE(HostExists(Device().Root() + "/fs/Program Files"));
}

TEST_F(FolderTest, TempPath) {
    WCHAR buf[MAX_PATH];
    EXPECT_EQ(6u, GetTempPathW(MAX_PATH, buf));
    EXPECT_EQ(std::u16string(u"\\Temp\\"), buf);
    // Too small: the size needed, with the terminator; the buffer untouched.
    WCHAR small[6] = {u'#', 0};
    EXPECT_EQ(7u, GetTempPathW(6, small));
    EXPECT_EQ(std::u16string(u"#"), small);
    EXPECT_EQ(7u, GetTempPathW(0, nullptr));
}

TEST_F(FolderTest, TempFileNames) {
    WCHAR name[MAX_PATH];
    // A given number only builds the name.
    const struct {
        const char16_t *path, *prefix;
        UINT unique;
        const char16_t *expected;
    } built[] = {
        {u"\\Temp\\", u"$KWxyz", 0x1A2B, u"\\Temp\\$KW1A2B.TMP"},
        {u"\\Temp", u"ab", 0x7, u"\\Temp\\ab0007.TMP"},
        {u"\\Temp\\", u"", 0x12345, u"\\Temp\\2345.TMP"},
    };
    for (const auto &c : built) {
        EXPECT_EQ(c.unique, GetTempFileNameW(c.path, c.prefix, c.unique, name));
        EXPECT_EQ(std::u16string(c.expected), name);
        EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(name));
    }

    // Number 0: a new empty file each time.
    WCHAR second[MAX_PATH];
    UINT n1 = GetTempFileNameW(u"\\Temp\\", u"$KW", 0, name);
    UINT n2 = GetTempFileNameW(u"\\temp", u"$KW", 0, second);
    ASSERT_NE(0u, n1);
    ASSERT_NE(0u, n2);
    EXPECT_NE(std::u16string(name), std::u16string(second));
    WCHAR expected[MAX_PATH];
    GetTempFileNameW(u"\\Temp\\", u"$KW", n1, expected);
    EXPECT_EQ(std::u16string(expected), name);
    EXPECT_EQ(DWORD(FILE_ATTRIBUTE_ARCHIVE), GetFileAttributesW(name));
    EXPECT_EQ("", ReadHost(Device().Host(name)));
    EXPECT_EQ(DWORD(FILE_ATTRIBUTE_ARCHIVE), GetFileAttributesW(second));

    EXPECT_EQ(0u, GetTempFileNameW(u"\\NoSuchFolder", u"$KW", 0, name));
    EXPECT_EQ(DWORD(ERROR_PATH_NOT_FOUND), GetLastError());
    std::u16string longPath(MAX_PATH - 10, u'a');
    EXPECT_EQ(0u, GetTempFileNameW(longPath.c_str(), u"$KW", 1, name));
    EXPECT_EQ(DWORD(ERROR_BUFFER_OVERFLOW), GetLastError());
}
