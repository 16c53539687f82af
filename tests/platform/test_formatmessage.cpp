#include <gtest/gtest.h>

#include <string>

#include "windows.h"
#include "winmsgtext.h"

TEST(FormatMessageTest, SystemTexts) {
    const DWORD flags = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
    WCHAR text[128];
    const DWORD n = FormatMessageW(flags, nullptr, ERROR_FILE_NOT_FOUND, 0, text, 128, nullptr);
    EXPECT_EQ(std::u16string(u"The file cannot be found."), std::u16string(text));
    EXPECT_EQ(std::char_traits<char16_t>::length(text), n);

    const struct {
        DWORD flags;
        DWORD number;
        DWORD size;
        DWORD error;
    } failures[] = {
        {flags, 12029, 128, ERROR_MR_MID_NOT_FOUND},  // no system text
        {flags, ERROR_FILE_NOT_FOUND, n, ERROR_INSUFFICIENT_BUFFER},  // no room for the terminator
        {0x00000100 | flags, ERROR_FILE_NOT_FOUND, 128, ERROR_INVALID_PARAMETER},  // other flags
    };
    for (const auto &f : failures) {
        SetLastError(0);
        EXPECT_EQ(0u, FormatMessageW(f.flags, nullptr, f.number, 0, text, f.size, nullptr)) << f.number;
        EXPECT_EQ(f.error, GetLastError()) << f.number;
    }
}
