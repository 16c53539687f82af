#include <filesystem>
#include <string>

#include "filetestutil.h"
#include "support/TestDevice.h"
#include "windows.h"

namespace {

std::string ReadAll(HANDLE file, DWORD max = 64) {
    std::string buf(max, '\0');
    DWORD read = 0;
    if (!ReadFile(file, &buf[0], max, &read, nullptr)) return "<failed>";
    buf.resize(read);
    return buf;
}

DWORD Position(HANDLE file) { return SetFilePointer(file, 0, nullptr, FILE_CURRENT); }

}  // namespace

using FileTest = DeviceTest;

TEST_F(FileTest, NamesResolveCaseInsensitively) {
    ASSERT_TRUE(CreateDirectoryW(u"\\Foo", nullptr));
    ASSERT_TRUE(MakeFile(u"\\Foo\\Bar.TXT", "hello"));

    HANDLE file = OpenFile(u"\\FOO\\bar.txt", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    EXPECT_EQ("hello", ReadAll(file));
    CloseHandle(file);

    // Re-creating under another spelling replaces the file and keeps its name.
    file = OpenFile(u"\\foo\\BAR.txt", GENERIC_WRITE, 0, CREATE_ALWAYS);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    EXPECT_EQ(DWORD(ERROR_ALREADY_EXISTS), GetLastError());
    CloseHandle(file);
    int entries = 0;
    for (const auto &entry : std::filesystem::directory_iterator(Device().Root() + "/fs/Foo")) {
        EXPECT_EQ("Bar.TXT", entry.path().filename().string());
        ++entries;
    }
    EXPECT_EQ(1, entries);
    EXPECT_EQ("", ReadHost(Device().Host(u"\\Foo\\Bar.TXT")));
}

TEST_F(FileTest, DispositionsCreateOpenAndTruncate) {
    const DWORD R = GENERIC_READ, W = GENERIC_WRITE;
    const struct {
        DWORD disposition, access;
        bool exists;
        DWORD error;          // last error after the call (0 or 183 on success)
        bool opens;
        const char *content;  // afterwards; null: no file
    } cases[] = {
        {CREATE_NEW, W, false, 0, true, ""},
        {CREATE_NEW, W, true, ERROR_FILE_EXISTS, false, "old"},
        {CREATE_ALWAYS, W, false, 0, true, ""},
        {CREATE_ALWAYS, W, true, ERROR_ALREADY_EXISTS, true, ""},
        {CREATE_ALWAYS, R, true, ERROR_ALREADY_EXISTS, true, ""},
        {OPEN_EXISTING, R, false, ERROR_FILE_NOT_FOUND, false, nullptr},
        {OPEN_EXISTING, R | W, true, 0, true, "old"},
        {OPEN_ALWAYS, R | W, false, 0, true, ""},
        {OPEN_ALWAYS, R, true, ERROR_ALREADY_EXISTS, true, "old"},
        {TRUNCATE_EXISTING, W, false, ERROR_FILE_NOT_FOUND, false, nullptr},
        {TRUNCATE_EXISTING, W, true, 0, true, ""},
        {TRUNCATE_EXISTING, R, true, ERROR_INVALID_PARAMETER, false, "old"},
        {0, R, true, ERROR_INVALID_PARAMETER, false, "old"},
        {6, R, false, ERROR_INVALID_PARAMETER, false, nullptr},
    };
    int i = 0;
    for (const auto &c : cases) {
        std::u16string name = u"\\case" + std::u16string(1, char16_t(u'a' + i++));
        SCOPED_TRACE(i);
        if (c.exists) {
            ASSERT_TRUE(MakeFile(name.c_str(), "old"));
        }
        SetLastError(1234);
        HANDLE file = OpenFile(name.c_str(), c.access, 0, c.disposition);
        EXPECT_EQ(c.error, GetLastError());
        EXPECT_EQ(c.opens, file != INVALID_HANDLE_VALUE);
        if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
        std::string host = Device().Host(name.c_str());
        EXPECT_EQ(c.content != nullptr, HostExists(host));
        if (c.content != nullptr) {
            EXPECT_EQ(c.content, ReadHost(host));
        }
    }
}

TEST_F(FileTest, PathsThatAreNotFiles) {
    ASSERT_TRUE(MakeFile(u"\\plain", "x"));
    const struct {
        const char16_t *path;
        DWORD disposition;
        DWORD error;
    } cases[] = {
        {u"\\NoSuchFolder\\x", CREATE_NEW, ERROR_PATH_NOT_FOUND},
        {u"\\NoSuchFolder\\x", OPEN_EXISTING, ERROR_PATH_NOT_FOUND},
        {u"\\plain\\x", OPEN_ALWAYS, ERROR_PATH_NOT_FOUND},
        {u"\\Temp", OPEN_EXISTING, ERROR_ACCESS_DENIED},
        {u"\\temp", CREATE_ALWAYS, ERROR_ACCESS_DENIED},
        {u"\\", OPEN_ALWAYS, ERROR_ACCESS_DENIED},
        {u"", OPEN_ALWAYS, ERROR_PATH_NOT_FOUND},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(INVALID_HANDLE_VALUE, OpenFile(c.path, GENERIC_READ, 0, c.disposition));
        EXPECT_EQ(c.error, GetLastError()) << vplat::Utf16ToUtf8(c.path);
    }
    EXPECT_FALSE(HostExists(Device().Host(u"\\NoSuchFolder")));
}

TEST_F(FileTest, CallsNeedTheMatchingAccess) {
    ASSERT_TRUE(MakeFile(u"\\f", "data"));
    HANDLE readOnly = OpenFile(u"\\f", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
    HANDLE writeOnly = OpenFile(u"\\f", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
    HANDLE query = OpenFile(u"\\f", 0, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
    ASSERT_NE(INVALID_HANDLE_VALUE, readOnly);
    ASSERT_NE(INVALID_HANDLE_VALUE, writeOnly);
    ASSERT_NE(INVALID_HANDLE_VALUE, query);
    char buf[4];
    DWORD n = 99;
    for (HANDLE file : {writeOnly, query}) {
        EXPECT_FALSE(ReadFile(file, buf, sizeof buf, &n, nullptr));
        EXPECT_EQ(DWORD(ERROR_ACCESS_DENIED), GetLastError());
        EXPECT_EQ(0u, n);
    }
    for (HANDLE file : {readOnly, query}) {
        EXPECT_FALSE(WriteFile(file, "zz", 2, &n, nullptr));
        EXPECT_EQ(DWORD(ERROR_ACCESS_DENIED), GetLastError());
        EXPECT_FALSE(SetEndOfFile(file));
        EXPECT_EQ(DWORD(ERROR_ACCESS_DENIED), GetLastError());
        EXPECT_FALSE(FlushFileBuffers(file));
        EXPECT_EQ(DWORD(ERROR_ACCESS_DENIED), GetLastError());
    }
    EXPECT_TRUE(WriteText(writeOnly, "DA"));
    EXPECT_TRUE(FlushFileBuffers(writeOnly));
    EXPECT_EQ("DAta", ReadAll(readOnly));
    for (HANDLE file : {readOnly, writeOnly, query}) EXPECT_TRUE(CloseHandle(file));
}

TEST_F(FileTest, ReadsStopAtTheEnd) {
    ASSERT_TRUE(MakeFile(u"\\f", "abcdef"));
    HANDLE file = OpenFile(u"\\f", GENERIC_READ, 0, OPEN_EXISTING);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    EXPECT_EQ("abcd", ReadAll(file, 4));
    EXPECT_EQ("ef", ReadAll(file, 10));
    EXPECT_EQ("", ReadAll(file, 10));  // at the end: success, nothing read
    ASSERT_EQ(20u, SetFilePointer(file, 20, nullptr, FILE_BEGIN));
    EXPECT_EQ("", ReadAll(file, 10));  // past the end too
    CloseHandle(file);
}

TEST_F(FileTest, SetFilePointerMovesWithinAndBeyondTheFile) {
    ASSERT_TRUE(MakeFile(u"\\f", "0123456789"));
    HANDLE file = OpenFile(u"\\f", GENERIC_READ | GENERIC_WRITE, 0, OPEN_EXISTING);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    const struct {
        LONG distance;
        DWORD method;
        DWORD result;
        DWORD error;
    } cases[] = {
        {3, FILE_BEGIN, 3, 0},
        {-2, FILE_CURRENT, 2, 0},
        {-1, FILE_END, 9, 0},
        {5, FILE_END, 15, 0},  // beyond the end is allowed
        {-1, FILE_BEGIN, INVALID_SET_FILE_POINTER, ERROR_NEGATIVE_SEEK},
        {-5, FILE_CURRENT, INVALID_SET_FILE_POINTER, ERROR_NEGATIVE_SEEK},
        {-11, FILE_END, INVALID_SET_FILE_POINTER, ERROR_NEGATIVE_SEEK},
        {0, 3, INVALID_SET_FILE_POINTER, ERROR_INVALID_PARAMETER},
    };
    ASSERT_EQ(4u, SetFilePointer(file, 4, nullptr, FILE_BEGIN));
    for (const auto &c : cases) {
        ASSERT_EQ(4u, SetFilePointer(file, 4, nullptr, FILE_BEGIN));
        SetLastError(1234);
        EXPECT_EQ(c.result, SetFilePointer(file, c.distance, nullptr, c.method)) << c.distance << " " << c.method;
        EXPECT_EQ(c.error, GetLastError());
        if (c.error != 0) {
            EXPECT_EQ(4u, Position(file));  // a failed move leaves the position
        }
    }
    CloseHandle(file);
}

TEST_F(FileTest, GrowingFillsWithZeros) {
    HANDLE file = OpenFile(u"\\f", GENERIC_READ | GENERIC_WRITE, 0, CREATE_NEW);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    ASSERT_TRUE(WriteText(file, "abc"));
    // SetEndOfFile past the end extends with zeros; the position stays.
    ASSERT_EQ(6u, SetFilePointer(file, 6, nullptr, FILE_BEGIN));
    ASSERT_TRUE(SetEndOfFile(file));
    EXPECT_EQ(6u, Position(file));
    // A write past the end fills the gap with zeros.
    ASSERT_EQ(8u, SetFilePointer(file, 2, nullptr, FILE_CURRENT));
    ASSERT_TRUE(WriteText(file, "z"));
    DWORD high = 7;
    EXPECT_EQ(9u, GetFileSize(file, &high));
    EXPECT_EQ(0u, high);
    EXPECT_EQ(std::string("abc\0\0\0\0\0z", 9), ReadHost(Device().Host(u"\\f")));
    // And SetEndOfFile before the end cuts.
    ASSERT_EQ(2u, SetFilePointer(file, 2, nullptr, FILE_BEGIN));
    ASSERT_TRUE(SetEndOfFile(file));
    EXPECT_EQ(2u, GetFileSize(file, nullptr));
    EXPECT_EQ("ab", ReadHost(Device().Host(u"\\f")));
    CloseHandle(file);
}

// Positions and sizes past 4 GB go through the high parts (the file stays sparse).
TEST_F(FileTest, SixtyFourBitPositionsAndSizes) {
    HANDLE file = OpenFile(u"\\big", GENERIC_READ | GENERIC_WRITE, 0, CREATE_NEW);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    LONG high = 1;
    EXPECT_EQ(3u, SetFilePointer(file, 3, &high, FILE_BEGIN));
    EXPECT_EQ(1, high);
    ASSERT_TRUE(SetEndOfFile(file));
    DWORD sizeHigh = 0;
    SetLastError(1234);
    EXPECT_EQ(3u, GetFileSize(file, &sizeHigh));
    EXPECT_EQ(1u, sizeHigh);
    EXPECT_EQ(0u, GetLastError());

    // Without a high part the new position must fit in 32 bits.
    EXPECT_EQ(INVALID_SET_FILE_POINTER, SetFilePointer(file, 0, nullptr, FILE_END));
    EXPECT_EQ(DWORD(ERROR_INVALID_PARAMETER), GetLastError());
    high = -1;
    EXPECT_EQ(0xFFFFFFF3u, SetFilePointer(file, -16, &high, FILE_END));  // 4 GB + 3 - 16
    EXPECT_EQ(0, high);
    // 0xFFFFFFFF is a valid position, told apart by the cleared last error.
    high = 0;
    SetLastError(1234);
    EXPECT_EQ(0xFFFFFFFFu, SetFilePointer(file, LONG(0xFFFFFFFF), &high, FILE_BEGIN));
    EXPECT_EQ(0u, GetLastError());

    high = 0;
    ASSERT_EQ(0u, SetFilePointer(file, 0, &high, FILE_BEGIN));
    ASSERT_TRUE(SetEndOfFile(file));
    EXPECT_EQ(0u, GetFileSize(file, &sizeHigh));
    EXPECT_EQ(0u, sizeHigh);
    CloseHandle(file);
}

TEST_F(FileTest, InvalidHandlesAreRefused) {
    HANDLE closed = OpenFile(u"\\f", GENERIC_READ | GENERIC_WRITE, 0, CREATE_NEW);
    ASSERT_NE(INVALID_HANDLE_VALUE, closed);
    ASSERT_TRUE(CloseHandle(closed));
    char buf[4];
    DWORD n;
    for (HANDLE bad : {HANDLE(nullptr), INVALID_HANDLE_VALUE, closed}) {
        auto expectInvalid = [](bool failed, const char *call) {
            EXPECT_TRUE(failed) << call;
            EXPECT_EQ(DWORD(ERROR_INVALID_HANDLE), GetLastError()) << call;
        };
        expectInvalid(!ReadFile(bad, buf, sizeof buf, &n, nullptr), "ReadFile");
        expectInvalid(!WriteFile(bad, buf, sizeof buf, &n, nullptr), "WriteFile");
        expectInvalid(SetFilePointer(bad, 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER, "SetFilePointer");
        expectInvalid(GetFileSize(bad, nullptr) == INVALID_FILE_SIZE, "GetFileSize");
        expectInvalid(!SetEndOfFile(bad), "SetEndOfFile");
        expectInvalid(!FlushFileBuffers(bad), "FlushFileBuffers");
        expectInvalid(!CloseHandle(bad), "CloseHandle");
    }
}
