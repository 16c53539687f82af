#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "DWinMobResourceManager.h"
#include "support/ScopedEnv.h"
#include "support/TestDevice.h"
#include "winmodule.h"

namespace {

std::u16string Text(const VString &s) { return s.GetWideText() != nullptr ? s.GetWideText() : u"(narrow)"; }

class ResourceManagerTest : public DeviceTest {
protected:
    // The built resource library from its usual folder.
    ScopedEnv m_modulePath{VANTREL_MODULE_PATH_ENV, nullptr};
};

TEST_F(ResourceManagerTest, KnownTextsComeAsUtf16) {
    DWinMobResourceManager manager;
    VString *made = nullptr;
    ASSERT_EQ(kNoError, manager.GetString(129, &made));
    std::unique_ptr<VString> owned(made);
    ASSERT_NE(nullptr, made);
    EXPECT_EQ(kVStringUTF16LE, made->GetEncoding());
    EXPECT_EQ(u"Connected", Text(*made));

    // The caller's own string is filled in place.
    VString mine;
    ASSERT_EQ(kNoError, mine.AssignCStr("old", kVStringWindows1252));
    VString *given = &mine;
    ASSERT_EQ(kNoError, manager.GetString(39, &given));
    EXPECT_EQ(&mine, given);
    EXPECT_EQ(kVStringUTF16LE, mine.GetEncoding());
    EXPECT_EQ(u"Last sync: ", Text(mine));
}

TEST_F(ResourceManagerTest, MissingTextsLeaveTheCallersPointerAlone) {
    DWinMobResourceManager manager;
    VString *made = nullptr;
    EXPECT_EQ(generalErrUnknownError, manager.GetString(60000, &made));
    EXPECT_EQ(nullptr, made);  // the string made for the call was freed again

    VString mine;
    ASSERT_EQ(kNoError, mine.AssignWide(u"kept", kQvUnknown, kVStringUTF16LE));
    VString *given = &mine;
    EXPECT_EQ(generalErrUnknownError, manager.GetString(0, &given));
    EXPECT_EQ(&mine, given);
    EXPECT_EQ(u"kept", Text(mine));

    EXPECT_EQ(generalErrInvalidParameter, manager.GetString(129, nullptr));
}

TEST_F(ResourceManagerTest, AMissingLibraryIsTriedAgainByTheNextCall) {
    std::string empty = Device().Root() + "/no-modules";
    std::filesystem::create_directories(empty);
    DWinMobResourceManager manager;
    VString *text = nullptr;
    {
        ScopedEnv path(VANTREL_MODULE_PATH_ENV, empty.c_str());
        EXPECT_EQ(DErrorCode(0x0737000C), manager.GetString(129, &text));
        EXPECT_EQ(nullptr, text);
        EXPECT_EQ(nullptr, GetModuleHandleW(u"QvRes.dll"));
    }
    ASSERT_EQ(kNoError, manager.GetString(129, &text));
    std::unique_ptr<VString> owned(text);
    EXPECT_EQ(u"Connected", Text(*text));
    EXPECT_NE(nullptr, GetModuleHandleW(u"QvRes.dll"));
}

TEST_F(ResourceManagerTest, TheManagerHoldsTheLibraryUntilItIsDestroyed) {
    {
        DWinMobResourceManager manager;
        EXPECT_EQ(nullptr, GetModuleHandleW(u"QvRes.dll"));  // loaded on first use only
        VString *text = nullptr;
        ASSERT_EQ(kNoError, manager.GetString(40, &text));
        delete text;
        EXPECT_NE(nullptr, GetModuleHandleW(u"QvRes.dll"));
    }
    EXPECT_EQ(nullptr, GetModuleHandleW(u"QvRes.dll"));
}

}  // namespace
