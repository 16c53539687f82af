#include <string>
#include <vector>

#include "filetestutil.h"
#include "support/TestDevice.h"
#include "windows.h"

namespace {

using FindFileTest = DeviceTest;

// Every name FindFirstFileW / FindNextFileW give for a pattern, in order;
// the error of the first call when it fails.
std::vector<std::u16string> Find(const char16_t *pattern, DWORD *error = nullptr) {
    std::vector<std::u16string> names;
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW(pattern, &data);
    if (error != nullptr) *error = find == INVALID_HANDLE_VALUE ? GetLastError() : 0;
    if (find == INVALID_HANDLE_VALUE) return names;
    do {
        names.emplace_back(data.cFileName);
    } while (FindNextFileW(find, &data));
    EXPECT_EQ(DWORD(ERROR_NO_MORE_FILES), GetLastError());
    EXPECT_TRUE(FindClose(find));
    return names;
}

TEST_F(FindFileTest, ListsTheNamesThatMatchInNameOrder) {
    for (const char16_t *name : {u"\\Temp\\$KW01AF.TMP", u"\\Temp\\$kw2000.tmp", u"\\Temp\\$KW1.TMP",
                                 u"\\Temp\\notes.txt", u"\\Temp\\x$KW0000.TMP"})
        ASSERT_TRUE(MakeFile(name, "1234"));
    ASSERT_TRUE(CreateDirectoryW(u"\\Temp\\Sub", nullptr));
    using Names = std::vector<std::u16string>;
    const struct {
        const char16_t *pattern;
        Names names;
    } cases[] = {
        {u"\\temp\\$KW*.TMP", {u"$KW01AF.TMP", u"$KW1.TMP", u"$kw2000.tmp"}},
        {u"\\Temp\\$KW????.TMP", {u"$KW01AF.TMP", u"$kw2000.tmp"}},
        {u"\\Temp\\*.*", {u"$KW01AF.TMP", u"$KW1.TMP", u"$kw2000.tmp", u"Sub", u"notes.txt", u"x$KW0000.TMP"}},
        {u"/Temp/NOTES.TXT", {u"notes.txt"}},
        {u"\\Temp\\*s*", {u"Sub", u"notes.txt"}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.pattern, c.pattern + std::char_traits<char16_t>::length(c.pattern)));
        EXPECT_EQ(Find(c.pattern), c.names);
    }

    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW(u"\\Temp\\notes.txt", &data);
    ASSERT_NE(INVALID_HANDLE_VALUE, find);
    EXPECT_EQ(4u, data.nFileSizeLow);
    EXPECT_EQ(DWORD(FILE_ATTRIBUTE_ARCHIVE), data.dwFileAttributes);
    EXPECT_NE(0u, data.ftLastWriteTime.dwHighDateTime);
    FindClose(find);
    ASSERT_NE(INVALID_HANDLE_VALUE, find = FindFirstFileW(u"\\Temp\\Sub", &data));
    EXPECT_EQ(DWORD(FILE_ATTRIBUTE_DIRECTORY), data.dwFileAttributes);
    FindClose(find);

    DWORD error = 0;
    EXPECT_TRUE(Find(u"\\Temp\\*.log", &error).empty());
    EXPECT_EQ(DWORD(ERROR_FILE_NOT_FOUND), error);
    EXPECT_TRUE(Find(u"\\Missing\\*", &error).empty());
    EXPECT_EQ(DWORD(ERROR_PATH_NOT_FOUND), error);
    EXPECT_FALSE(FindClose(INVALID_HANDLE_VALUE));
}

}  // namespace
