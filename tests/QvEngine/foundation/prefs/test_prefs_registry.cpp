#include <gtest/gtest.h>

#include <string>

#include "PrefsRegistry.h"
#include "prefstestutil.h"

namespace {

using PrefsRegistryTest = PrefsDeviceTest;

TEST_F(PrefsRegistryTest, ReadsCreateMissingValuesFromTheCallersValue) {
    VString text;
    text.AssignCStr("narrow default", kVStringWindows1252);
    ASSERT_EQ(ReadUserRegString(kProductKey, u"Note", &text, 128), kNoError);
    EXPECT_EQ(Raw(kProductKey, u"Note"), TextValue(u"narrow default"));
    EXPECT_EQ(text.GetEncoding(), kVStringWindows1252);  // the write leaves the caller's text as it was

    DWORD number = 42;
    ASSERT_EQ(ReadUserRegDWORD(kProductKey, u"Count", &number), kNoError);
    EXPECT_EQ(Raw(kProductKey, u"Count"), DwordValue(42));

    // Stored values win over the caller's.
    WriteDword(kProductKey, u"Count", 9);
    ASSERT_EQ(ReadUserRegDWORD(kProductKey, u"Count", &number), kNoError);
    EXPECT_EQ(number, 9u);
    ASSERT_EQ(ReadUserRegString(kProductKey, u"Note", &text, 5), kNoError);
    EXPECT_EQ(std::u16string(text.GetWideText()), u"narr");
    EXPECT_EQ(Raw(kProductKey, u"Note"), TextValue(u"narrow default"));

    // A text where a number belongs, and a number where a text belongs.
    WriteRaw(kProductKey, u"Count", TextValue(u"9"));
    ASSERT_EQ(ReadUserRegDWORD(kProductKey, u"Count", &number), kNoError);
    EXPECT_EQ(Raw(kProductKey, u"Count"), DwordValue(9));
    VString none;
    EXPECT_EQ(QueryUserRegString(kProductKey, u"Count", &none, 128), static_cast<DErrorCode>(ERROR_INVALID_DATA));
    EXPECT_EQ(Raw(kProductKey, u"Count"), DwordValue(9));
}

TEST_F(PrefsRegistryTest, MissingKeysFailAndAreNeverCreated) {
    const char16_t *missing = u"Software\\Brellow\\Vantrel\\Nowhere";
    VString text;
    DWORD number = 1;
    const DErrorCode notFound = ERROR_FILE_NOT_FOUND;
    EXPECT_EQ(ReadUserRegString(missing, u"A", &text, 128), notFound);
    EXPECT_EQ(ReadUserRegDWORD(missing, u"A", &number), notFound);
    EXPECT_EQ(WriteUserRegString(missing, u"A", &text), notFound);
    EXPECT_EQ(WriteUserRegDWORD(missing, u"A", 1), notFound);
    HKEY h;
    EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, missing, 0, KEY_ALL_ACCESS, &h), ERROR_FILE_NOT_FOUND);
}

TEST_F(PrefsRegistryTest, FolderIdSettingIsCreatedAsZeroAndKept) {
    DWORD tag = 77;
    ASSERT_EQ(LoadFolderIDSetting(&tag), kNoError);
    EXPECT_EQ(tag, 0u);
    EXPECT_EQ(Raw(kProductKey, u"FolderID"), DwordValue(0));
    ASSERT_EQ(SaveFolderIDSetting(0x80AB0003), kNoError);
    ASSERT_EQ(LoadFolderIDSetting(&tag), kNoError);
    EXPECT_EQ(tag, 0x80AB0003u);
}

}  // namespace
