// Code-page conversion: the single-byte tables, the double-byte pages, UTF-8,
// and the sizing and error rules they share.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "windows.h"

namespace {

// Converts with a sizing pass first, as callers do; fails the test when
// either pass fails or the two disagree.
std::u16string ToWide(UINT codePage, const std::string &bytes, DWORD flags = 0) {
    int units = MultiByteToWideChar(codePage, flags, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    EXPECT_GT(units, 0) << "sizing failed, error " << GetLastError();
    if (units <= 0) return u"<failed>";
    std::u16string wide(units, u'\0');
    EXPECT_EQ(units, MultiByteToWideChar(codePage, flags, bytes.data(), static_cast<int>(bytes.size()), &wide[0], units));
    return wide;
}

std::string ToNarrow(UINT codePage, const std::u16string &wide, BOOL *usedDefault = nullptr,
                     const char *defaultChar = nullptr) {
    int size = WideCharToMultiByte(codePage, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, defaultChar,
                                   usedDefault);
    EXPECT_GT(size, 0) << "sizing failed, error " << GetLastError();
    if (size <= 0) return "<failed>";
    std::string bytes(size, '\0');
    EXPECT_EQ(size, WideCharToMultiByte(codePage, 0, wide.data(), static_cast<int>(wide.size()), &bytes[0], size,
                                        defaultChar, usedDefault));
    return bytes;
}

std::string Hex(const std::string &bytes) {
    std::string out;
    const char *digits = "0123456789ABCDEF";
    for (unsigned char b : bytes) {
        out += digits[b >> 4];
        out += digits[b & 15];
        out += ' ';
    }
    return out;
}

TEST(CodePageTest, SingleByteTablesFollowWindows) {
    struct Case {
        UINT codePage;
        unsigned char byte;
        char16_t unit;
    } cases[] = {
        {1252, 0x80, 0x20AC}, {1252, 0x81, 0x0081}, {1252, 0x8D, 0x008D}, {1252, 0x8F, 0x008F},
        {1252, 0x90, 0x0090}, {1252, 0x9D, 0x009D}, {1252, 0x9F, 0x0178}, {1252, 0xE9, 0x00E9},
        {10000, 0x80, 0x00C4}, {10000, 0xA5, 0x2022}, {10000, 0xBD, 0x2126}, {10000, 0xC6, 0x2206},
        {10000, 0xDB, 0x00A4}, {10000, 0xF0, 0xF8FF}, {10000, 0xFF, 0x02C7}, {CP_ACP, 0x80, 0x20AC},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.codePage << " byte " << std::hex << static_cast<int>(c.byte));
        EXPECT_EQ(std::u16string(1, c.unit), ToWide(c.codePage, std::string(1, static_cast<char>(c.byte))));
        EXPECT_EQ(std::string(1, static_cast<char>(c.byte)), ToNarrow(c.codePage, std::u16string(1, c.unit)));
    }
    EXPECT_EQ(1252u, GetACP());
}

TEST(CodePageTest, SingleByteRoundTripOfEveryByte) {
    for (UINT codePage : {1252u, 10000u}) {
        std::string all;
        for (int b = 1; b <= 0xFF; ++b) all += static_cast<char>(b);
        std::u16string wide = ToWide(codePage, all);
        ASSERT_EQ(all.size(), wide.size()) << codePage;
        BOOL usedDefault = TRUE;
        EXPECT_EQ(Hex(all), Hex(ToNarrow(codePage, wide, &usedDefault))) << codePage;
        EXPECT_FALSE(usedDefault) << codePage;
    }
}

TEST(CodePageTest, UnmappableUnitsBecomeTheDefaultCharacter) {
    struct Case {
        UINT codePage;
        std::u16string wide;
        const char *defaultChar;
        std::string expected;
    } cases[] = {
        // U+0100 would best-fit to 'A'; U+03A9 and U+20AC are Apple's, not Windows', Mac Roman.
        {1252, u"a€\u0100Z", nullptr, "a\x80?Z"},
        {1252, u"a\u0100", "*", "a*"},
        {1252, u"\U0001F600", nullptr, "??"},  // each unit of the pair
        {10000, u"\u03A9\u20AC", nullptr, "??"},
        {932, u"\u00A5\u00E9", nullptr, "??"},  // not the best fit 0x5C for the yen sign
        {936, u"中\U0001F600", "#", "\xD6\xD0##"},
        {950, u"\u00E9x", nullptr, "?x"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.codePage << " case " << (&c - cases));
        BOOL usedDefault = FALSE;
        EXPECT_EQ(Hex(c.expected), Hex(ToNarrow(c.codePage, c.wide, &usedDefault, c.defaultChar)));
        EXPECT_TRUE(usedDefault);
    }
    BOOL usedDefault = TRUE;
    ToNarrow(1252, u"plain", &usedDefault);
    EXPECT_FALSE(usedDefault);
}

TEST(CodePageTest, SizingPassThenConversionPass) {
    // -1: the terminator is counted and written.
    int units = MultiByteToWideChar(1252, 0, "h\xE9llo", -1, nullptr, 0);
    ASSERT_EQ(6, units);
    WCHAR wide[8];
    for (WCHAR &unit : wide) unit = u'#';
    ASSERT_EQ(6, MultiByteToWideChar(1252, 0, "h\xE9llo", -1, wide, units));
    EXPECT_EQ(std::u16string(u"héllo"), wide);

    // Explicit length: no terminator, nothing written past the count.
    for (WCHAR &unit : wide) unit = u'#';
    ASSERT_EQ(5, MultiByteToWideChar(1252, 0, "h\xE9llo", 5, wide, 8));
    EXPECT_EQ(std::u16string(u"héllo##"), std::u16string(wide, 7));

    int bytes = WideCharToMultiByte(CP_UTF8, 0, u"héllo", -1, nullptr, 0, nullptr, nullptr);
    ASSERT_EQ(7, bytes);
    char narrow[10];
    ASSERT_EQ(7, WideCharToMultiByte(CP_UTF8, 0, u"héllo", -1, narrow, bytes, nullptr, nullptr));
    EXPECT_EQ(std::string("h\xC3\xA9llo"), narrow);
    std::memset(narrow, '#', sizeof(narrow));
    ASSERT_EQ(6, WideCharToMultiByte(CP_UTF8, 0, u"héllo", 5, narrow, 10, nullptr, nullptr));
    EXPECT_EQ(std::string("h\xC3\xA9llo####"), std::string(narrow, 10));
}

TEST(CodePageTest, BufferTooSmallFailsAndWritesNothing) {
    WCHAR wide[4] = {u'#', u'#', u'#', u'#'};
    SetLastError(0);
    EXPECT_EQ(0, MultiByteToWideChar(1252, 0, "hello", -1, wide, 4));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
    EXPECT_EQ(u'#', wide[0]);

    char narrow[4] = {'#', '#', '#', '#'};
    SetLastError(0);
    EXPECT_EQ(0, WideCharToMultiByte(CP_UTF8, 0, u"日本", 2, narrow, 4, nullptr, nullptr));  // needs 6
    EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
    EXPECT_EQ('#', narrow[0]);
}

TEST(CodePageTest, RejectedArguments) {
    static WCHAR wide[8];
    static char narrow[8];
    static char shared[16] = "abc";
    static const char x = 'x';
    static BOOL used = FALSE;
    struct Case {
        const char *what;
        int (*call)();
        DWORD error;
    } cases[] = {
        {"null input", [] { return MultiByteToWideChar(1252, 0, nullptr, 3, wide, 8); }, ERROR_INVALID_PARAMETER},
        {"zero length", [] { return MultiByteToWideChar(1252, 0, "abc", 0, wide, 8); }, ERROR_INVALID_PARAMETER},
        {"length -2", [] { return MultiByteToWideChar(1252, 0, "abc", -2, wide, 8); }, ERROR_INVALID_PARAMETER},
        {"negative size", [] { return MultiByteToWideChar(1252, 0, "abc", 3, wide, -1); }, ERROR_INVALID_PARAMETER},
        {"size without buffer", [] { return MultiByteToWideChar(1252, 0, "abc", 3, nullptr, 8); },
         ERROR_INVALID_PARAMETER},
        {"input is output",
         [] { return MultiByteToWideChar(1252, 0, shared, 3, reinterpret_cast<LPWSTR>(shared), 8); },
         ERROR_INVALID_PARAMETER},
        {"unknown page", [] { return MultiByteToWideChar(437, 0, "abc", 3, wide, 8); }, ERROR_INVALID_PARAMETER},
        {"composite", [] { return MultiByteToWideChar(1252, MB_COMPOSITE, "abc", 3, wide, 8); },
         ERROR_INVALID_FLAGS},
        {"utf-8 precomposed", [] { return MultiByteToWideChar(CP_UTF8, MB_PRECOMPOSED, "abc", 3, wide, 8); },
         ERROR_INVALID_FLAGS},
        {"w null input", [] { return WideCharToMultiByte(1252, 0, nullptr, 3, narrow, 8, nullptr, nullptr); },
         ERROR_INVALID_PARAMETER},
        {"w zero length", [] { return WideCharToMultiByte(1252, 0, u"abc", 0, narrow, 8, nullptr, nullptr); },
         ERROR_INVALID_PARAMETER},
        {"w length -2", [] { return WideCharToMultiByte(1252, 0, u"abc", -2, narrow, 8, nullptr, nullptr); },
         ERROR_INVALID_PARAMETER},
        {"w negative size", [] { return WideCharToMultiByte(1252, 0, u"abc", 3, narrow, -1, nullptr, nullptr); },
         ERROR_INVALID_PARAMETER},
        {"w size without buffer",
         [] { return WideCharToMultiByte(1252, 0, u"abc", 3, nullptr, 8, nullptr, nullptr); },
         ERROR_INVALID_PARAMETER},
        {"w input is output",
         [] {
             return WideCharToMultiByte(1252, 0, reinterpret_cast<LPCWSTR>(shared), 1, shared, 8, nullptr, nullptr);
         },
         ERROR_INVALID_PARAMETER},
        {"w unknown page", [] { return WideCharToMultiByte(1200, 0, u"abc", 3, narrow, 8, nullptr, nullptr); },
         ERROR_INVALID_PARAMETER},
        {"w strict outside utf-8",
         [] { return WideCharToMultiByte(1252, WC_ERR_INVALID_CHARS, u"abc", 3, narrow, 8, nullptr, nullptr); },
         ERROR_INVALID_FLAGS},
        {"w composite check",
         [] { return WideCharToMultiByte(1252, WC_COMPOSITECHECK, u"abc", 3, narrow, 8, nullptr, nullptr); },
         ERROR_INVALID_FLAGS},
        {"w utf-8 best fit",
         [] { return WideCharToMultiByte(CP_UTF8, WC_NO_BEST_FIT_CHARS, u"abc", 3, narrow, 8, nullptr, nullptr); },
         ERROR_INVALID_FLAGS},
        {"w utf-8 default char", [] { return WideCharToMultiByte(CP_UTF8, 0, u"abc", 3, narrow, 8, &x, nullptr); },
         ERROR_INVALID_PARAMETER},
        {"w utf-8 used default",
         [] { return WideCharToMultiByte(CP_UTF8, 0, u"abc", 3, narrow, 8, nullptr, &used); },
         ERROR_INVALID_PARAMETER},
    };
    for (const Case &c : cases) {
        SetLastError(0);
        EXPECT_EQ(0, c.call()) << c.what;
        EXPECT_EQ(c.error, GetLastError()) << c.what;
    }
    // Flags each page does take.
    EXPECT_EQ(3, MultiByteToWideChar(1252, MB_PRECOMPOSED | MB_ERR_INVALID_CHARS, "abc", 3, wide, 8));
    EXPECT_EQ(3, WideCharToMultiByte(932, WC_NO_BEST_FIT_CHARS, u"abc", 3, narrow, 8, nullptr, nullptr));
}

TEST(CodePageTest, ValidCodePages) {
    struct Case {
        UINT codePage;
        BOOL valid;
    } cases[] = {{1252, TRUE}, {10000, TRUE}, {932, TRUE}, {936, TRUE}, {950, TRUE},
                 {65001, TRUE}, {CP_ACP, FALSE}, {437, FALSE}, {1200, FALSE}, {65000, FALSE}};
    for (const Case &c : cases) EXPECT_EQ(c.valid, IsValidCodePage(c.codePage)) << c.codePage;
}

TEST(CodePageTest, Utf8InvalidSequencesBecomeReplacementOrFailWhenStrict) {
    struct Case {
        const char *what;
        std::string bytes;
        std::u16string lenient;
    } cases[] = {
        {"lone continuation", "a\x80z", u"a\uFFFDz"},
        {"truncated", "a\xE6\x97", u"a\uFFFD"},
        {"truncated then ASCII", "\xE6\x97z", u"\uFFFDz"},
        {"overlong", "\xC0\xAF", u"\uFFFD\uFFFD"},
        {"encoded surrogate", "\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(c.lenient, ToWide(CP_UTF8, c.bytes));
        WCHAR wide[8];
        SetLastError(0);
        EXPECT_EQ(0, MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, c.bytes.data(),
                                         static_cast<int>(c.bytes.size()), wide, 8));
        EXPECT_EQ(static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION), GetLastError());
    }

    EXPECT_EQ("a\xEF\xBF\xBD", ToNarrow(CP_UTF8, u"a\xD800"));
    char narrow[8];
    SetLastError(0);
    EXPECT_EQ(0, WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, u"a\xD800", 2, narrow, 8, nullptr, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION), GetLastError());
}

TEST(CodePageTest, Utf8SurrogatePairIsOneFourByteSequence) {
    const std::u16string pair = u"\xD83D\xDE00";  // U+1F600
    EXPECT_EQ(Hex("\xF0\x9F\x98\x80"), Hex(ToNarrow(CP_UTF8, pair)));
    EXPECT_EQ(pair, ToWide(CP_UTF8, "\xF0\x9F\x98\x80", MB_ERR_INVALID_CHARS));
}

TEST(CodePageTest, DoubleBytePagesRoundTrip) {
    struct Case {
        UINT codePage;
        std::u16string wide;
        std::string bytes;
    } cases[] = {
        {932, u"日本", "\x93\xFA\x96\x7B"},
        {932, u"aｱ\\~", "a\xB1\\~"},                    // half-width katakana; 0x5C and 0x7E stay ASCII
        {932, u"\u2460\u7E8A", "\x87\x40\xFA\x5C"},    // Windows' own extensions
        {932, u"\u0080\uF8F0\uF8F3", "\x80\xA0\xFF"},  // single bytes of Windows' table
        {936, u"中文", "\xD6\xD0\xCE\xC4"},
        {936, u"€\uF8F5", "\x80\xFF"},
        {950, u"中文", "\xA4\xA4\xA4\xE5"},
        {950, u"€", "\xA3\xE1"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.codePage << " case " << (&c - cases));
        EXPECT_EQ(c.wide, ToWide(c.codePage, c.bytes, MB_ERR_INVALID_CHARS));
        BOOL usedDefault = TRUE;
        EXPECT_EQ(Hex(c.bytes), Hex(ToNarrow(c.codePage, c.wide, &usedDefault)));
        EXPECT_FALSE(usedDefault);
    }
}

TEST(CodePageTest, DoubleByteBadInputBecomesThePageDefaultOrFailsWhenStrict) {
    struct Case {
        UINT codePage;
        std::string bytes;
        std::u16string lenient;
    } cases[] = {
        {932, "\x82\x20", u"\u30FB "},  // lead byte, then a byte that cannot trail
        {932, "a\x82", u"a\u30FB"},     // cut off after a lead byte
        {932, "\x85\x40z", u"\u30FBz"}, // a well-formed pair the page leaves unassigned
        {936, "\x81\x20", u"? "},
        {950, "x\xA4", u"x?"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.codePage << " " << Hex(c.bytes));
        EXPECT_EQ(c.lenient, ToWide(c.codePage, c.bytes));
        WCHAR wide[8];
        SetLastError(0);
        EXPECT_EQ(0, MultiByteToWideChar(c.codePage, MB_ERR_INVALID_CHARS, c.bytes.data(),
                                         static_cast<int>(c.bytes.size()), wide, 8));
        EXPECT_EQ(static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION), GetLastError());
    }
}

}  // namespace
