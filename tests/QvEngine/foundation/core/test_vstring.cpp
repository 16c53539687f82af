#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "VString.h"

namespace {

constexpr VStringEncoding kTag8 = 8;  // multibyte tag without a code page

VString Narrow(const std::string &bytes, VStringEncoding tag) {
    VString s;
    EXPECT_EQ(kNoError, s.AssignNarrow(bytes.data(), static_cast<uint32_t>(bytes.size()), tag));
    return s;
}

VString Wide(const std::u16string &units, VStringEncoding tag) {
    VString s;
    EXPECT_EQ(kNoError, s.AssignWide(units.data(), static_cast<uint32_t>(units.size()), tag));
    return s;
}

VString Converted(VString s, VStringEncoding tag) {
    EXPECT_EQ(kNoError, s.ConvertTo(tag));
    return s;
}

std::string Bytes(const VString &s) {
    const char *p = VString::IsWideEncoding(s.GetEncoding()) ? reinterpret_cast<const char *>(s.GetWideText())
                                                               : s.GetNarrowText();
    return std::string(p, s.GetLength());
}

std::u16string Units(const VString &s) { return std::u16string(s.GetWideText(), s.GetLength() / 2); }

}  // namespace

TEST(VString, EmptyStringsReadAsEmptyTextNeverNull) {
    VString fresh;
    VString cleared = Narrow("abc", kVStringWindows1252);
    cleared.Clear();
    VString clearedWide = Wide(u"abc", kVStringUTF16LE);
    clearedWide.Clear();
    for (const VString *s : {&fresh, &cleared, &clearedWide}) {
        ASSERT_NE(nullptr, s->GetNarrowText());
        EXPECT_STREQ("", s->GetNarrowText());
        ASSERT_NE(nullptr, s->GetWideText());
        EXPECT_EQ(0, s->GetWideText()[0]);
        EXPECT_EQ(0u, s->GetLength());
        EXPECT_EQ(0u, s->GetCharCount());
    }
    EXPECT_EQ(kVStringNoEncoding, fresh.GetEncoding());
    EXPECT_EQ(kVStringUTF16LE, clearedWide.GetEncoding());  // Clear keeps the tag
}

TEST(VString, AssignMeasuresCopiesAndCounts) {
    struct Case {
        const char *name;
        std::string bytes;
        uint32_t length;
        VStringEncoding tag;
        std::string text;
        uint32_t charCount;
    };
    const Case cases[] = {
        {"single byte", "abc", kQvUnknown, kVStringWindows1252, "abc", 3},
        {"UTF-8 ASCII", "abc", kQvUnknown, kVStringUTF8, "abc", 3},
        {"UTF-8 two-byte", "\xC3\xA9x", kQvUnknown, kVStringUTF8, "\xC3\xA9x", 2},
        {"UTF-8 outside the BMP counts UTF-16 units", "\xF0\x9F\x98\x80", kQvUnknown, kVStringUTF8,
         "\xF0\x9F\x98\x80", 2},
        {"Shift-JIS", "\x93\xFA\x96\x7B", kQvUnknown, kVStringShiftJIS, "\x93\xFA\x96\x7B", 2},
        {"no code page counts bytes", "\xC3\xA9", kQvUnknown, kTag8, "\xC3\xA9", 2},
        {"explicit length", "abcdef", 3, kVStringWindows1252, "abc", 3},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        VString s;
        ASSERT_EQ(kNoError, s.AssignNarrow(c.bytes.c_str(), c.length, c.tag));
        EXPECT_EQ(c.text, Bytes(s));
        EXPECT_EQ(c.text.size(), s.GetLength());
        EXPECT_EQ(c.tag, s.GetEncoding());
        EXPECT_EQ(c.charCount, s.GetCharCount());
        EXPECT_EQ(nullptr, s.GetWideText());
    }

    VString wide;
    ASSERT_EQ(kNoError, wide.AssignWide(u"abcdef", 2, kVStringUTF16LE));
    EXPECT_EQ(u"ab", Units(wide));
    EXPECT_EQ(4u, wide.GetLength());
    EXPECT_EQ(2u, wide.GetCharCount());
    EXPECT_EQ(nullptr, wide.GetNarrowText());
}

TEST(VString, MissingTagFallsBackToDefaultThenWindows1252) {
    VString s;
    ASSERT_EQ(kNoError, s.AssignCStr("abc", kVStringNoEncoding));
    EXPECT_EQ(kVStringWindows1252, s.GetEncoding());

    ASSERT_EQ(kNoError, s.AssignCStr("abc", kVStringUTF8));
    ASSERT_EQ(kNoError, s.AssignCStr("xyz", kVStringNoEncoding));
    EXPECT_EQ(kVStringUTF8, s.GetEncoding());
    ASSERT_EQ(kNoError, s.AssignCStr("xyz", 99));
    EXPECT_EQ(kVStringUTF8, s.GetEncoding());

    VString appended;
    ASSERT_EQ(kNoError, appended.AppendNarrow("abc", kVStringNoEncoding));
    EXPECT_EQ(kVStringWindows1252, appended.GetEncoding());
    EXPECT_EQ("abc", Bytes(appended));
}

TEST(VString, TextOfTheWrongWidthIsRefused) {
    VString s = Narrow("keep", kVStringWindows1252);
    EXPECT_EQ(vstringErrWrongEncodingUsed, s.AssignWide(u"abc", kQvUnknown, kVStringWindows1252));
    EXPECT_EQ(0u, s.GetLength());
    // No tag: the default tag is Windows-1252 from the assign above, still narrow.
    EXPECT_EQ(vstringErrWrongEncodingUsed, s.AssignWide(u"abc", kQvUnknown, kVStringNoEncoding));
    EXPECT_EQ(vstringErrWrongEncodingUsed, s.AssignNarrow("abc", kQvUnknown, kVStringUTF16LE));
    EXPECT_EQ(0u, s.GetLength());
    EXPECT_EQ(kVStringUTF16LE, s.GetEncoding());
}

TEST(VString, AppendingTextOfTheWrongWidthLeavesTheStringAlone) {
    VString wide = Wide(u"ab", kVStringUTF16LE);
    EXPECT_EQ(vstringErrWrongEncodingUsed, wide.AppendNarrow("cd", kVStringNoEncoding));
    EXPECT_EQ(u"ab", Units(wide));
    VString narrow = Narrow("ab", kVStringWindows1252);
    EXPECT_EQ(vstringErrWrongEncodingUsed, narrow.AppendWide(u"cd", kVStringNoEncoding));
    EXPECT_EQ("ab", Bytes(narrow));
}

TEST(VString, AssignFromItsOwnTextAndFromItself) {
    VString s = Narrow("abc", kVStringWindows1252);
    ASSERT_EQ(kNoError, s.AssignCStr(s.GetNarrowText() + 1, kVStringWindows1252));
    EXPECT_EQ("bc", Bytes(s));
    ASSERT_EQ(kNoError, s.Assign(s));
    EXPECT_EQ("bc", Bytes(s));
    ASSERT_EQ(kNoError, s.AppendNarrow(s.GetNarrowText(), kVStringWindows1252));
    EXPECT_EQ("bcbc", Bytes(s));
    ASSERT_EQ(kNoError, s.Append(s));
    EXPECT_EQ("bcbcbcbc", Bytes(s));

    VString copy;
    VString wide = Wide(u"\u00e9t\u00e9", kVStringUTF16BE);
    ASSERT_EQ(kNoError, copy.Assign(wide));
    EXPECT_EQ(kVStringUTF16BE, copy.GetEncoding());
    EXPECT_EQ(Bytes(wide), Bytes(copy));
    EXPECT_EQ(3u, copy.GetCharCount());
}

TEST(VString, MoveLeavesTheSourceNew) {
    VString source = Narrow("abc", kVStringUTF8);
    VString target = Narrow("old", kVStringWindows1252);
    target = std::move(source);
    EXPECT_EQ("abc", Bytes(target));
    EXPECT_EQ(kVStringUTF8, target.GetEncoding());
    EXPECT_EQ(0u, source.GetLength());
    EXPECT_EQ(kVStringNoEncoding, source.GetEncoding());
    EXPECT_STREQ("", source.GetNarrowText());

    VString constructed(std::move(target));
    EXPECT_EQ("abc", Bytes(constructed));
    EXPECT_EQ(0u, target.GetLength());
}

TEST(VString, ConvertsBetweenEncodings) {
    struct Case {
        std::string from;
        VStringEncoding fromTag;
        VStringEncoding toTag;
        std::string to;
        uint32_t charCount;
    };
    const Case cases[] = {
        {"abc", kVStringWindows1252, kVStringUTF16LE, std::string("a\0b\0c\0", 6), 3},
        {std::string("a\0b\0", 4), kVStringUTF16LE, kVStringUTF16BE, std::string("\0a\0b", 4), 2},
        {std::string("\0a\0b", 4), kVStringUTF16BE, kVStringUTF16LE, std::string("a\0b\0", 4), 2},
        {std::string("\0a\0b", 4), kVStringUTF16BE, kVStringWindows1252, "ab", 2},
        {"ab", kVStringWindows1252, kVStringUTF16BE, std::string("\0a\0b", 4), 2},
        {"\xC3\xA9", kVStringUTF8, kVStringWindows1252, "\xE9", 1},
        {"\xE9", kVStringWindows1252, kVStringUTF8, "\xC3\xA9", 1},
        {"\x80", kVStringWindows1252, kVStringUTF8, "\xE2\x82\xAC", 1},
        {"\x8E", kVStringMacRoman, kVStringWindows1252, "\xE9", 1},
        {"\x93\xFA\x96\x7B", kVStringShiftJIS, kVStringUTF8, "\xE6\x97\xA5\xE6\x9C\xAC", 2},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.fromTag << " -> " << c.toTag);
        VString s = VString::IsWideEncoding(c.fromTag)
                        ? Wide(std::u16string(reinterpret_cast<const char16_t *>(c.from.data()), c.from.size() / 2),
                               c.fromTag)
                        : Narrow(c.from, c.fromTag);
        ASSERT_EQ(kNoError, s.ConvertTo(c.toTag));
        EXPECT_EQ(c.toTag, s.GetEncoding());
        EXPECT_EQ(c.to, Bytes(s));
        EXPECT_EQ(c.charCount, s.GetCharCount());
        ASSERT_EQ(kNoError, s.ConvertTo(c.fromTag));
        EXPECT_EQ(c.from, Bytes(s));
    }
}

TEST(VString, EmptyStringConvertsByTagAlone) {
    VString s;
    ASSERT_EQ(kNoError, s.AssignCStr("", kVStringWindows1252));
    ASSERT_EQ(kNoError, s.ConvertTo(kVStringUTF16LE));
    EXPECT_EQ(kVStringUTF16LE, s.GetEncoding());
    EXPECT_EQ(0u, s.GetLength());
    EXPECT_EQ(0, s.GetWideText()[0]);
    // No code page is needed to convert nothing.
    EXPECT_EQ(kNoError, s.ConvertTo(kTag8));
    EXPECT_EQ(kTag8, s.GetEncoding());
}

TEST(VString, FailedConversionKeepsTextAndTag) {
    struct Case {
        VStringEncoding fromTag;
        VStringEncoding toTag;
    };
    const Case cases[] = {
        {kTag8, kVStringUTF16LE}, {kVStringWindows1252, kTag8}, {kVStringUTF8, 12},
        {kVStringWindows1252, kVStringNoEncoding}, {kVStringWindows1252, 13},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.fromTag << " -> " << c.toTag);
        VString s = Narrow("abc", c.fromTag);
        EXPECT_EQ(vstringErrNoCodePageForEncoding, s.ConvertTo(c.toTag));
        EXPECT_EQ(c.fromTag, s.GetEncoding());
        EXPECT_EQ("abc", Bytes(s));
    }
}

TEST(VString, AppendJoinsTextAndCounts) {
    VString s = Narrow("ab", kVStringWindows1252);
    ASSERT_EQ(kNoError, s.AppendNarrow("cd", kVStringNoEncoding));
    ASSERT_EQ(kNoError, s.AppendNarrowChar('e', kVStringWindows1252));
    EXPECT_EQ("abcde", Bytes(s));
    EXPECT_EQ(5u, s.GetCharCount());

    // Different encodings meet in UTF-16LE.
    VString utf8 = Narrow("\xC3\xA9", kVStringUTF8);
    ASSERT_EQ(kNoError, s.Append(utf8));
    EXPECT_EQ(kVStringUTF16LE, s.GetEncoding());
    EXPECT_EQ(u"abcde\u00e9", Units(s));
    EXPECT_EQ(6u, s.GetCharCount());
    ASSERT_EQ(kNoError, s.AppendNarrow("\xE9", kVStringWindows1252));
    ASSERT_EQ(kNoError, s.AppendWide(u"!", kVStringUTF16LE));
    EXPECT_EQ(u"abcde\u00e9\u00e9!", Units(s));
    EXPECT_EQ(8u, s.GetCharCount());

    // Known multibyte counts add up.
    VString twice = Narrow("\xC3\xA9", kVStringUTF8);
    ASSERT_EQ(1u, twice.GetCharCount());
    ASSERT_EQ(kNoError, twice.Append(utf8));
    EXPECT_EQ("\xC3\xA9\xC3\xA9", Bytes(twice));
    EXPECT_EQ(2u, twice.GetCharCount());

    // An empty string takes a copy of the other.
    VString empty;
    ASSERT_EQ(kNoError, empty.Append(utf8));
    EXPECT_EQ(kVStringUTF8, empty.GetEncoding());
    EXPECT_EQ("\xC3\xA9", Bytes(empty));
}

TEST(VString, FindReportsTheFirstMatchInUnitsOfThisString) {
    struct Case {
        const char *name;
        VString text;
        VString what;
        BOOL caseSensitive;
        int index;
    };
    const int kAbsent = static_cast<int>(kQvUnknown);
    Case cases[] = {
        {"case-insensitive", Narrow("abc", kVStringWindows1252), Narrow("B", kVStringWindows1252), FALSE, 1},
        {"case-sensitive", Narrow("abc", kVStringWindows1252), Narrow("B", kVStringWindows1252), TRUE, kAbsent},
        {"first of two", Narrow("abab", kVStringWindows1252), Narrow("ab", kVStringWindows1252), TRUE, 0},
        {"at the end", Narrow("abcd", kVStringWindows1252), Narrow("cd", kVStringWindows1252), TRUE, 2},
        {"longer than text", Narrow("ab", kVStringWindows1252), Narrow("abc", kVStringWindows1252), TRUE, kAbsent},
        {"empty what", Narrow("abc", kVStringWindows1252), VString(), TRUE, kAbsent},
        {"empty wide text", Wide(u"", kVStringUTF16LE), Narrow("a", kVStringWindows1252), TRUE, kAbsent},
        {"1252 accent folded", Narrow("x\xE9", kVStringWindows1252), Narrow("\xC9", kVStringWindows1252), FALSE, 1},
        {"UTF-8 byte offset", Narrow("\xC3\xA9" "b", kVStringUTF8), Narrow("b", kVStringWindows1252), TRUE, 2},
        {"wide from narrow", Wide(u"x\u00e9Bc", kVStringUTF16LE), Narrow("\xE9" "bC", kVStringWindows1252), FALSE, 1},
        {"big-endian folded", Converted(Wide(u"xAb", kVStringUTF16LE), kVStringUTF16BE), Wide(u"aB", kVStringUTF16LE),
         FALSE, 1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        std::string before = Bytes(c.what);
        int index = 0;
        ASSERT_EQ(kNoError, c.text.Find(c.what, c.caseSensitive, &index));
        EXPECT_EQ(c.index, index);
        EXPECT_EQ(before, Bytes(c.what));
    }
    VString s = Narrow("abc", kVStringWindows1252);
    EXPECT_EQ(vstringErrInvalidParam, s.Find(s, TRUE, nullptr));
}

TEST(VString, ReplaceWorksInUtf16Characters) {
    struct Case {
        const char *name;
        VString text;
        uint32_t position;
        VString with;
        uint32_t count;
        DErrorCode result;
        std::string after;
    };
    Case cases[] = {
        {"middle", Narrow("abcdef", kVStringWindows1252), 1, Narrow("XY", kVStringWindows1252), 2, kNoError,
         "aXYdef"},
        {"to the end", Narrow("abcdef", kVStringWindows1252), 4, Narrow("XY", kVStringWindows1252), 2, kNoError,
         "abcdXY"},
        {"insert", Narrow("abc", kVStringWindows1252), 0, Narrow("X", kVStringWindows1252), 0, kNoError, "Xabc"},
        {"delete", Narrow("abc", kVStringWindows1252), 1, Narrow("", kVStringWindows1252), 1, kNoError, "ac"},
        {"UTF-8 position in characters", Narrow("\xC3\xA9" "a", kVStringUTF8), 1, Narrow("\xC3\xA8", kVStringUTF8),
         1, kNoError, "\xC3\xA9\xC3\xA8"},
        {"position at the length", Narrow("abc", kVStringWindows1252), 3, Narrow("X", kVStringWindows1252), 0,
         vstringErrSizeComputationErr, "abc"},
        {"count past the end", Narrow("abc", kVStringWindows1252), 1, Narrow("X", kVStringWindows1252), 3,
         vstringErrSizeComputationErr, "abc"},
        {"count that wraps around", Narrow("abc", kVStringWindows1252), 1, Narrow("X", kVStringWindows1252),
         0xFFFFFFFF, vstringErrSizeComputationErr, "abc"},
        {"narrow of another tag", Narrow("abc", kVStringWindows1252), 0, Narrow("X", kVStringUTF8), 1,
         vstringErrWrongEncodingUsed, "abc"},
        {"no code page", Narrow("abc", kTag8), 0, Narrow("X", kTag8), 1, vstringErrNoCodePageForEncoding, "abc"},
    };
    for (Case &c : cases) {
        SCOPED_TRACE(c.name);
        VStringEncoding tag = c.text.GetEncoding();
        EXPECT_EQ(c.result, c.text.Replace(c.position, c.with, c.count));
        EXPECT_EQ(c.after, Bytes(c.text));
        EXPECT_EQ(tag, c.text.GetEncoding());
    }

    // A UTF-16LE string takes text of any tag.
    VString wide = Wide(u"a-c", kVStringUTF16LE);
    ASSERT_EQ(kNoError, wide.Replace(1, Narrow("\xC3\xA9", kVStringUTF8), 1));
    EXPECT_EQ(u"a\u00e9c", Units(wide));
    EXPECT_EQ(3u, wide.GetCharCount());
}

TEST(VString, IsEqualComparesWholeTextsOfOneTag) {
    struct Case {
        const char *name;
        VString a;
        VString b;
        BOOL caseSensitive;
        BOOL equal;
    };
    const Case cases[] = {
        {"same", Narrow("abc", kVStringWindows1252), Narrow("abc", kVStringWindows1252), TRUE, TRUE},
        {"case differs", Narrow("abc", kVStringWindows1252), Narrow("ABC", kVStringWindows1252), TRUE, FALSE},
        {"case ignored", Narrow("abc", kVStringWindows1252), Narrow("ABC", kVStringWindows1252), FALSE, TRUE},
        {"prefix", Narrow("abc", kVStringWindows1252), Narrow("abcd", kVStringWindows1252), FALSE, FALSE},
        {"other tag", Narrow("abc", kVStringWindows1252), Narrow("abc", kVStringUTF8), TRUE, FALSE},
        {"both empty", Narrow("", kVStringUTF8), Narrow("", kVStringUTF8), TRUE, TRUE},
        {"UTF-8 last byte", Narrow("\xC3\xA9" "a", kVStringUTF8), Narrow("\xC3\xA9" "b", kVStringUTF8), TRUE, FALSE},
        {"UTF-8 last byte folded", Narrow("\xC3\xA9" "a", kVStringUTF8), Narrow("\xC3\xA9" "b", kVStringUTF8), FALSE,
         FALSE},
        {"UTF-8 accent folded", Narrow("\xC3\xA9" "a", kVStringUTF8), Narrow("\xC3\x89" "A", kVStringUTF8), FALSE,
         TRUE},
        {"1252 accent folded", Narrow("\xE9", kVStringWindows1252), Narrow("\xC9", kVStringWindows1252), FALSE, TRUE},
        {"wide folded", Wide(u"\u00e9A", kVStringUTF16LE), Wide(u"\u00c9a", kVStringUTF16LE), FALSE, TRUE},
        {"no code page folded", Narrow("aB", kTag8), Narrow("Ab", kTag8), FALSE, TRUE},
        {"no code page differs", Narrow("aB", kTag8), Narrow("Ac", kTag8), FALSE, FALSE},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.equal, c.a.IsEqual(c.b, c.caseSensitive));
        EXPECT_EQ(c.equal, c.b.IsEqual(c.a, c.caseSensitive));
    }
}
