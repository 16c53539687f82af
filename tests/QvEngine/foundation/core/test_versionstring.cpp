#include <gtest/gtest.h>

#include <string>

#include "VersionString.h"

namespace {

TEST(VersionStringTest, FormatsTheNumbers) {
    const struct {
        uint32_t major, minor, build;
        const char *text;
    } cases[] = {
        {2, 7, 67, " 2.007 (67)"},
        {2, 123, 67, " 2.123 (67)"},
        {10, 1234, 0, " 10.1234 (0)"},
    };
    for (const auto &c : cases) {
        VString out;
        ASSERT_EQ(FormatVersionString(c.major, c.minor, c.build, nullptr, &out), kNoError);
        EXPECT_STREQ(out.GetNarrowText(), c.text);
        EXPECT_EQ(out.GetEncoding(), kVStringWindows1252);
    }
}

TEST(VersionStringTest, PrefixAndOutputKeepTheirEncodings) {
    VString wide;
    wide.AssignWide(u"Engine", kQvUnknown, kVStringUTF16LE);
    VString out;
    out.AssignCStr("old", kVStringWindows1252);
    ASSERT_EQ(FormatVersionString(2, 7, 67, &wide, &out), kNoError);
    ASSERT_EQ(out.GetEncoding(), kVStringUTF16LE);
    EXPECT_EQ(std::u16string(out.GetWideText()), u"Engine 2.007 (67)");

    // Without a prefix the text takes the encoding out already has.
    VString wideOut;
    wideOut.AssignWide(u"x", kQvUnknown, kVStringUTF16LE);
    ASSERT_EQ(FormatVersionString(2, 7, 67, nullptr, &wideOut), kNoError);
    ASSERT_EQ(wideOut.GetEncoding(), kVStringUTF16LE);
    EXPECT_EQ(std::u16string(wideOut.GetWideText()), u" 2.007 (67)");

    // The prefix may be out itself.
    VString self;
    self.AssignCStr("v", kVStringUTF8);
    ASSERT_EQ(FormatVersionString(1, 2, 3, &self, &self), kNoError);
    EXPECT_EQ(self.GetEncoding(), kVStringUTF8);
    EXPECT_STREQ(self.GetNarrowText(), "v 1.002 (3)");

    EXPECT_EQ(FormatVersionString(1, 2, 3, nullptr, nullptr), generalErrInvalidParameter);
}

TEST(VersionStringTest, EngineVersionOfThisEdition) {
    VString out;
    ASSERT_EQ(GetEngineVersionString(nullptr, &out), kNoError);
#ifdef VANTREL_EDITION_SMARTPHONE
    EXPECT_STREQ(out.GetNarrowText(), " 2.007 (69)");
#else
    EXPECT_STREQ(out.GetNarrowText(), " 2.007 (67)");
#endif
}

}  // namespace
