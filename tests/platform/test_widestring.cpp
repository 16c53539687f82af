// Wide-string helpers: copying with bounds, ordinal comparison, and case
// folding that does not depend on the host's locale.
#include <gtest/gtest.h>

#include <clocale>
#include <string>

#include "windows.h"

namespace {

int SignOf(int v) { return v < 0 ? -1 : (v > 0 ? 1 : 0); }

// Runs the folding checks under the plain "C" locale, in which the host's own
// wide-character functions know no letters beyond ASCII.
class WideStringTest : public ::testing::Test {
protected:
    void SetUp() override {
        const char *current = std::setlocale(LC_ALL, nullptr);
        m_saved = current != nullptr ? current : "C";
        std::setlocale(LC_ALL, "C");
    }
    void TearDown() override { std::setlocale(LC_ALL, m_saved.c_str()); }

private:
    std::string m_saved;
};

TEST_F(WideStringTest, CopyConcatenateAndLength) {
    WCHAR buffer[16];
    EXPECT_EQ(buffer, lstrcpyW(buffer, u"abc"));
    EXPECT_EQ(buffer, lstrcatW(buffer, u"déf"));
    EXPECT_EQ(std::u16string(u"abcdéf"), buffer);
    EXPECT_EQ(6, lstrlenW(buffer));
    EXPECT_EQ(0, lstrlenW(u""));
    EXPECT_EQ(0, lstrlenW(nullptr));
    EXPECT_EQ(nullptr, lstrcpyW(buffer, nullptr));
    EXPECT_EQ(nullptr, lstrcatW(nullptr, u"x"));
}

TEST_F(WideStringTest, BoundedCopyAlwaysTerminates) {
    struct Case {
        int maxLength;
        const char16_t *expected;  // null: the destination is untouched
    } cases[] = {
        {4, u"abc"}, {1, u""}, {7, u"abcdef"}, {50, u"abcdef"}, {0, nullptr}, {-1, nullptr},
    };
    for (const Case &c : cases) {
        WCHAR buffer[8];
        for (WCHAR &unit : buffer) unit = u'#';
        EXPECT_EQ(buffer, lstrcpynW(buffer, u"abcdef", c.maxLength)) << c.maxLength;
        if (c.expected != nullptr) {
            EXPECT_EQ(std::u16string(c.expected), buffer) << c.maxLength;
        } else {
            EXPECT_EQ(u'#', buffer[0]) << c.maxLength;
        }
        EXPECT_EQ(u'#', buffer[7]) << "wrote past the bound, maxLength " << c.maxLength;
    }
}

TEST_F(WideStringTest, ComparisonsOrderAsDocumented) {
    struct Case {
        const char16_t *a;
        const char16_t *b;
        int exact;        // lstrcmpW
        int ignoreCase;   // lstrcmpiW and _wcsicmp
    } cases[] = {
        {u"abc", u"abc", 0, 0},
        {u"abc", u"ABC", 1, 0},
        {u"abc", u"abd", -1, -1},
        {u"ab", u"abc", -1, -1},
        {u"é", u"É", 1, 0},
        {u"École", u"éCOLE", -1, 0},
        {u"привет", u"ПРИВЕТ", 1, 0},
        {u"σοφία", u"ΣΟΦΊΑ", 1, 0},
        {u"ÿ", u"Ÿ", -1, 0},  // U+00FF folds to U+0178, outside Latin-1
        // Folding to upper case: '_' (0x5F) sorts after 'A' (0x41), not before 'a'.
        {u"_", u"a", -1, 1},
        {u"\xD83D\xDE00", u"\xD83D\xDE01", -1, -1},  // surrogates compare as they are
        {nullptr, u"a", -1, -1},
        {u"a", nullptr, 1, 1},
        {nullptr, nullptr, 0, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << "case " << (&c - cases));
        EXPECT_EQ(c.exact, SignOf(lstrcmpW(c.a, c.b)));
        EXPECT_EQ(c.ignoreCase, SignOf(lstrcmpiW(c.a, c.b)));
        EXPECT_EQ(c.ignoreCase, SignOf(_wcsicmp(c.a, c.b)));
        EXPECT_EQ(c.ignoreCase, SignOf(_wcsnicmp(c.a, c.b, 100)));
    }
}

TEST_F(WideStringTest, BoundedCaseInsensitiveCompareStopsAtCount) {
    EXPECT_EQ(0, _wcsnicmp(u"ÉCOLE", u"écolex", 5));
    EXPECT_GT(0, _wcsnicmp(u"ÉCOLE", u"écolex", 6));
    EXPECT_EQ(0, _wcsnicmp(u"a", u"b", 0));
    EXPECT_EQ(0, _wcsnicmp(u"ab", u"AB", 10));  // the terminator ends it early
}

TEST_F(WideStringTest, SingleUnitCaseMapping) {
    struct Case {
        WCHAR c;
        WCHAR upper;
        WCHAR lower;
    } cases[] = {
        {u'a', u'A', u'a'},
        {u'Z', u'Z', u'z'},
        {u'é', u'É', u'é'},
        {u'Ж', u'Ж', u'ж'},
        {u'ω', u'Ω', u'ω'},
        {u'ß', u'ß', u'ß'},          // full mapping "SS" is two units: not applied
        {u'ǅ', u'Ǆ', u'ǆ'},          // title-case digraph
        {u'1', u'1', u'1'},
        {0xD83D, 0xD83D, 0xD83D},    // a surrogate stays as it is
        {0xDE00, 0xDE00, 0xDE00},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(c.upper, towupper16(c.c)) << std::hex << static_cast<int>(c.c);
        EXPECT_EQ(c.lower, towlower16(c.c)) << std::hex << static_cast<int>(c.c);
    }
}

}  // namespace
