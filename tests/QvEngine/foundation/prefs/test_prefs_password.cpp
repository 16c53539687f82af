#include <gtest/gtest.h>

#include <string>

#include "DWinMobCorvanePreferences.h"
#include "PasswordScramble.h"
#include "prefstestutil.h"

namespace {

using PrefsPasswordTest = PrefsDeviceTest;

TEST(PasswordScrambleTest, EveryByteSurvivesTwoRoundsAndNoneBecomesZero) {
    std::string all;
    for (int b = 1; b < 256; ++b) all += static_cast<char>(b);
    VString text;
    ASSERT_EQ(text.AssignNarrow(all.data(), static_cast<uint32_t>(all.size()), kVStringWindows1252), kNoError);
    ASSERT_EQ(ScramblePassword(&text), kNoError);
    ASSERT_EQ(text.GetLength(), all.size());  // no zero byte cut it short
    EXPECT_NE(std::string(text.GetNarrowText()), all);
    ASSERT_EQ(ScramblePassword(&text), kNoError);
    EXPECT_EQ(std::string(text.GetNarrowText()), all);

    VString empty;
    EXPECT_EQ(ScramblePassword(&empty), kNoError);
    EXPECT_EQ(empty.GetLength(), 0u);
}

TEST_F(PrefsPasswordTest, StoredScrambledAndReadBack) {
    struct Case {
        const char16_t *password;
        std::u16string stored;  // the Windows-1252 bytes as UTF-16
    } cases[] = {
        {u"abc", u"\u00F7e\u00BC"},
        {u"abR", u"\u00F7e\u008D"},
    };
    for (const Case &c : cases) {
        DWinMobCorvanePreferences writer;
        VString password;
        password.AssignWide(c.password, kQvUnknown, kVStringUTF16LE);
        ASSERT_EQ(writer.SetPassword(password), kNoError);
        ASSERT_EQ(writer.SaveAll(), kNoError);
        EXPECT_EQ(Raw(kProductKey, u"Password"), TextValue(c.stored));

        DWinMobCorvanePreferences reader;
        VString back;
        ASSERT_EQ(reader.GetPassword(&back), kNoError);
        EXPECT_EQ(std::u16string(back.GetWideText()), c.password);
    }
}

TEST_F(PrefsPasswordTest, SaveLeavesThePasswordInMemoryWhole) {
    // Characters outside Windows-1252 cannot be stored, but the object keeps them.
    DWinMobCorvanePreferences prefs;
    VString password;
    password.AssignWide(u"\u043F\u0430\u0440\u043E\u043B\u044C-\u20AC", kQvUnknown, kVStringUTF16LE);
    ASSERT_EQ(prefs.SetPassword(password), kNoError);
    ASSERT_EQ(prefs.SaveAll(), kNoError);
    ASSERT_EQ(prefs.SaveAll(), kNoError);
    VString back;
    prefs.GetPassword(&back);
    EXPECT_EQ(std::u16string(back.GetWideText()), u"\u043F\u0430\u0440\u043E\u043B\u044C-\u20AC");

    // A missing stored password is created scrambled from memory.
    DWinMobCorvanePreferences second;
    VString plain;
    plain.AssignWide(u"abc", kQvUnknown, kVStringUTF16LE);
    ASSERT_EQ(second.SetPassword(plain), kNoError);
    HKEY h;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, kProductKey, 0, KEY_ALL_ACCESS, &h), ERROR_SUCCESS);
    ASSERT_EQ(RegDeleteValueW(h, u"Password"), ERROR_SUCCESS);
    RegCloseKey(h);
    ASSERT_EQ(second.Load(TRUE), kNoError);
    EXPECT_EQ(Raw(kProductKey, u"Password"), TextValue(u"\u00F7e\u00BC"));
    second.GetPassword(&back);
    EXPECT_EQ(std::u16string(back.GetWideText()), u"abc");
}

}  // namespace
