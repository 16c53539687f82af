#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>

#include "IActiveSyncEngine.h"
#include "IGlobalData.h"
#include "support/TestDevice.h"
#include "windows.h"

namespace {

typedef DErrorCode (*CreateQvGlobalInfoProc)(IGlobalData **out);
typedef DErrorCode (*CreateActiveSyncEngineProc)(IActiveSyncEngine **out);

class EngineLibraryTest : public DeviceTest {};

TEST_F(EngineLibraryTest, LoadedByNameItMakesAGlobalInfoThatInitialises) {
    HKEY h;
    DWORD disposition = 0;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, u"Software\\Brellow\\Vantrel", 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &h, &disposition),
              ERROR_SUCCESS);
    const char16_t dir[] = u"\\Temp\\";
    ASSERT_EQ(RegSetValueExW(h, u"InstallDirectory", 0, REG_SZ, reinterpret_cast<const BYTE *>(dir), sizeof(dir)),
              ERROR_SUCCESS);
    RegCloseKey(h);

    HMODULE engine = LoadLibraryW(u"QvEngine.dll");
    ASSERT_NE(engine, nullptr) << "error " << GetLastError();
    auto create = reinterpret_cast<CreateQvGlobalInfoProc>(
        reinterpret_cast<void (*)()>(GetProcAddressW(engine, u"CreateQvGlobalInfo")));
    ASSERT_NE(create, nullptr);

    IGlobalData *info = nullptr;
    ASSERT_EQ(create(&info), 0u);
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->Init(u"\\Temp\\Logs\\engine.log", nullptr, 0), kNoError);
    EXPECT_EQ(info->GetGlobalData(), info);
    EXPECT_NE(info->GetFolderInfoStore(), nullptr);
    delete info;
    EXPECT_TRUE(FreeLibrary(engine));
}

// The engine's factory gives a new engine (or 1 and null without an out-pointer).
TEST_F(EngineLibraryTest, LoadedByNameItMakesAnEngine) {
    HMODULE engine = LoadLibraryW(u"QvEngine.dll");
    ASSERT_NE(engine, nullptr) << "error " << GetLastError();
    auto create = reinterpret_cast<CreateActiveSyncEngineProc>(
        reinterpret_cast<void (*)()>(GetProcAddressW(engine, u"CreateActiveSyncEngine")));
    ASSERT_NE(create, nullptr);
    EXPECT_EQ(create(nullptr), 1u);
    IActiveSyncEngine *made = nullptr;
    ASSERT_EQ(create(&made), 0u);
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(made->Reserved(), kNoError);
    EXPECT_EQ(made->Initialize(nullptr, nullptr), generalErrInvalidParameter);
    delete made;
    EXPECT_TRUE(FreeLibrary(engine));
}

// libwbxml's functions are the engine's exports too, forwarded or its own.
TEST_F(EngineLibraryTest, ItExportsTheWbxmlFunctions) {
    HMODULE engine = LoadLibraryW(u"QvEngine.dll");
    ASSERT_NE(engine, nullptr) << "error " << GetLastError();
    EXPECT_NE(GetProcAddressW(engine, u"wbxml_tree_create"), nullptr) << "error " << GetLastError();
    EXPECT_NE(GetProcAddressW(engine, u"wbxml_tree_from_wbxml_file"), nullptr) << "error " << GetLastError();
    EXPECT_TRUE(FreeLibrary(engine));
}

TEST(EngineLibraryExports, OnlyTheEntryPointsAreVisible) {
    FILE *pipe = popen("nm -D --defined-only --format=posix '" QVENGINE_LIBRARY_FILE "'", "r");
    ASSERT_NE(pipe, nullptr);
    std::set<std::string> names;
    char line[4096];
    while (fgets(line, sizeof(line), pipe) != nullptr) {
        std::string text(line);
        names.insert(text.substr(0, text.find(' ')));
    }
    ASSERT_EQ(pclose(pipe), 0);
    EXPECT_EQ(names, (std::set<std::string>{"CreateActiveSyncEngine", "CreateQvGlobalInfo", "DllMain",
                                            "VPlatformExportForwards", "wbxml_tree_from_wbxml_file"}));
}

}  // namespace
