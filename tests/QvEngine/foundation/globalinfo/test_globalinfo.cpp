#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "DEASFolderInfoStore.h"
#include "DLogProviderVFile.h"
#include "DWinMobActiveTaskManagerDriver.h"
#include "DWinMobCorvaneGlobalInfo.h"
#include "DWinMobCorvanePreferences.h"
#include "FolderStoreWrite.h"
#include "prefstestutil.h"
#include "winfile.h"

namespace {

constexpr WCHAR kInstallDir[] = u"\\Program Files\\Vantrel\\";
constexpr WCHAR kLogsDir[] = u"\\Program Files\\Vantrel\\Logs";
constexpr WCHAR kStorePath[] = u"\\Program Files\\Vantrel\\Logs\\FolderInfo.brw";
constexpr WCHAR kLogPath[] = u"\\Temp\\engine.log";
constexpr WCHAR kPolicyKey[] = u"Software\\Brellow\\Vantrel\\ITPolicy";

void MakeKey(const WCHAR *key) {
    HKEY h;
    DWORD disposition = 0;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, key, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h, &disposition),
              ERROR_SUCCESS);
    RegCloseKey(h);
}

// A device with the program installed under kInstallDir.
class GlobalInfoTest : public PrefsDeviceTest {
protected:
    void SetUp() override {
        PrefsDeviceTest::SetUp();
        ASSERT_TRUE(CreateDirectoryW(u"\\Program Files", nullptr));
        ASSERT_TRUE(CreateDirectoryW(u"\\Program Files\\Vantrel", nullptr));
    }
    void SetInstallDirectory(const std::u16string &dir) { WriteRaw(kProductKey, u"InstallDirectory", TextValue(dir)); }
    DErrorCode Init() { return m_info.Init(kLogPath, nullptr, 0); }
    std::string HostFile(const WCHAR *path) {
        std::ifstream in(Device().Host(path), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    // The engine log as text (UTF-16LE after its byte-order mark).
    std::u16string LogText() {
        std::string bytes = HostFile(kLogPath);
        std::u16string text;
        for (size_t i = 2; i + 1 < bytes.size(); i += 2)
            text += static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                          (static_cast<unsigned char>(bytes[i + 1]) << 8));
        return text;
    }
    std::u16string StoreFileName() {
        WCHAR name[MAX_PATH];
        EXPECT_EQ(m_info.GetFolderInfoStore()->GetFile()->GetFileName(name, MAX_PATH, nullptr, 0), kNoError);
        return name;
    }
    DEASFolderInfoStore *Store() { return m_info.GetFolderInfoStore(); }
    DWinMobCorvanePreferences *Prefs() { return static_cast<DWinMobCorvanePreferences *>(m_info.GetPreferences()); }

    DWinMobCorvaneGlobalInfo m_info;
};

// Initialised, with a store that holds a folder of each kind the resets
// treat apart, and FolderSync key "9", open read-only as its users keep it.
class GlobalInfoStoreTest : public GlobalInfoTest {
protected:
    void SetUp() override {
        GlobalInfoTest::SetUp();
        SetInstallDirectory(kInstallDir);
        ASSERT_EQ(Init(), kNoError);
        uint32_t nesting = 0;
        ASSERT_EQ(BeginFolderStoreWrite(Store(), &nesting), kNoError);
        for (uint32_t type : {kFolderTypeInbox, kFolderTypeUserMail, kFolderTypeCalendar, kFolderTypeContacts,
                              kFolderTypeTasks, kFolderTypeNotes}) {
            DEASFolderInfoRecord *folder = nullptr;
            std::string id = std::to_string(type);
            ASSERT_EQ(Store()->AddFolder(&folder, type, id.c_str(), id.c_str(), "5", nullptr, 0, kQvUnknown, 0),
                      kNoError);
        }
        ASSERT_EQ(Store()->SetFolderSyncKey("9"), kNoError);
        ASSERT_EQ(EndFolderStoreWrite(Store(), &nesting), kNoError);
        ASSERT_EQ(Store()->GetMode(), kDBReadOnly);
    }
    // What a reader of the saved file sees: "<type>:<sync key>" per folder,
    // then "| <FolderSync key>".
    std::string Saved() {
        VFile file;
        EXPECT_EQ(file.SetFileName(kStorePath), kNoError);
        DEASFolderInfoStore reader(&file);
        EXPECT_EQ(DBOpenReadOnly(&reader), kNoError);
        std::string out;
        DEASFolderInfoRecord *folder = nullptr;
        for (uint32_t i = 0; reader.GetFolderAt(i, &folder) == kNoError; ++i)
            out += std::to_string(folder->GetInt(kFolderFieldType)) + ":" + folder->GetString(kFolderFieldSyncKey) +
                   " ";
        const char *key = nullptr;
        reader.GetFolderSyncKey(&key);
        return out + "| " + (key != nullptr ? key : "?");
    }
};

TEST_F(GlobalInfoTest, CreatedWithoutInitHasNothingAndRefusesWork) {
    auto info = std::make_unique<DWinMobCorvaneGlobalInfo>();
    EXPECT_EQ(info->GetLogger(), nullptr);
    EXPECT_EQ(info->GetPreferences(), nullptr);
    EXPECT_EQ(info->GetResourceManager(), nullptr);
    EXPECT_EQ(info->GetTaskManager(), nullptr);
    EXPECT_EQ(info->GetTimerManager(), nullptr);
    EXPECT_EQ(info->GetFolderInfoStore(), nullptr);
    EXPECT_EQ(info->GetTaskManagerDriver(), nullptr);
    EXPECT_EQ(info->GetMode(), 0u);
    EXPECT_EQ(info->GetGlobalData(), info.get());
    EXPECT_EQ(info->Reserved(), 0u);
    EXPECT_EQ(info->ResetAllSyncData(), generalErrNotInitialized);
    EXPECT_EQ(info->ResetMailSyncData(), generalErrNotInitialized);
    EXPECT_EQ(info->ResetTasksSyncData(), generalErrNotInitialized);
    EXPECT_EQ(info->ResetAccount(1, 0), generalErrNotInitialized);
    EXPECT_EQ(info->OpenLogFile(), generalErrNotInitialized);
}

TEST_F(GlobalInfoTest, InitNamesTheStoreInTheInstallDirectorysLogsFolder) {
    // With and without the closing backslash.
    for (const WCHAR *dir : {u"\\Program Files\\Vantrel\\", u"\\Program Files\\Vantrel"}) {
        SCOPED_TRACE(Narrow(dir));
        std::filesystem::remove_all(Device().Host(kLogsDir));
        SetInstallDirectory(dir);
        DWinMobCorvaneGlobalInfo info;
        const UINT message = 0xC123;
        HWND window = reinterpret_cast<HWND>(0x1234);
        ASSERT_EQ(info.Init(u"\\Program Files\\Vantrel\\Logs\\engine.log", window, message), kNoError);

        WCHAR name[MAX_PATH];
        ASSERT_EQ(info.GetFolderInfoStore()->GetFile()->GetFileName(name, MAX_PATH, nullptr, 0), kNoError);
        EXPECT_EQ(std::u16string(name), kStorePath);
        EXPECT_TRUE(std::filesystem::is_directory(Device().Host(kLogsDir)));
        EXPECT_EQ(info.GetFolderInfoStore()->GetMode(), kDBClosed);
        // The log opened there, wide.
        EXPECT_EQ(HostFile(u"\\Program Files\\Vantrel\\Logs\\engine.log"), std::string("\xFF\xFE"));

        ASSERT_NE(info.GetTaskManagerDriver(), nullptr);
        EXPECT_EQ(info.GetTaskManagerDriver()->GetWindow(), window);
        EXPECT_EQ(info.GetTaskManagerDriver()->GetMessageId(), message);
        EXPECT_EQ(info.GetTaskManager(), info.GetTaskManagerDriver()->GetTaskManager());
        EXPECT_NE(info.GetResourceManager(), nullptr);
        EXPECT_NE(info.GetTimerManager(), nullptr);
        EXPECT_NE(info.GetPreferences(), nullptr);
    }
}

TEST_F(GlobalInfoTest, InitFailsAndLogsWhenTheInstallDirectoryIsNotSet) {
    struct Case {
        const char *what;
        const WCHAR *stored;  // null: no value, so the default is stored
    };
    for (const Case &c : {Case{"default", u"**default**"}, Case{"empty", u""}, Case{"missing", nullptr}}) {
        SCOPED_TRACE(c.what);
        HKEY h;
        ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, kProductKey, 0, KEY_ALL_ACCESS, &h), ERROR_SUCCESS);
        RegDeleteValueW(h, u"InstallDirectory");
        RegCloseKey(h);
        if (c.stored != nullptr) SetInstallDirectory(c.stored);
        std::filesystem::remove(Device().Host(kLogPath));

        DWinMobCorvaneGlobalInfo info;
        EXPECT_EQ(info.Init(kLogPath, nullptr, 0), generalErrNotInitialized);
        EXPECT_NE(LogText().find(u"InstallDirectory is not set"), std::u16string::npos);
        EXPECT_FALSE(std::filesystem::exists(Device().Host(u"\\Logs")));
    }
}

TEST_F(GlobalInfoTest, OpenLogFileStartsTheLogAgain) {
    SetInstallDirectory(kInstallDir);
    ASSERT_EQ(Init(), kNoError);
    ASSERT_EQ(m_info.GetLogger()->WriteLine("a line", 1, kLogAllCategories), kNoError);
    ASSERT_GT(HostFile(kLogPath).size(), 2u);
    ASSERT_EQ(m_info.OpenLogFile(), kNoError);
    EXPECT_EQ(HostFile(kLogPath), std::string("\xFF\xFE"));
    auto *logger = static_cast<DLogProviderVFile *>(m_info.GetLogger());
    EXPECT_EQ(logger->GetMaxFileSize(), 0x10000u);
}

// Records the busy-cleared notices it gets.
struct Waiter : IBusyClearedNotify {
    void EngineBusyCleared() override { ++calls; }
    int calls = 0;
};

TEST_F(GlobalInfoTest, TheBusyFlagCallsItsWaiterOnceWhenItClears) {
    DWinMobCorvaneGlobalInfo info;
    Waiter waiter;
    // Nothing is busy: an object is not held.
    info.SetCallbackObject(&waiter);
    EXPECT_FALSE(info.HasCallbackObject());

    info.SetCallbackFlag(true);
    info.SetCallbackObject(&waiter);
    EXPECT_TRUE(info.HasCallbackObject());
    info.SetCallbackFlag(true);
    info.SetMode(0);
    EXPECT_EQ(waiter.calls, 0);
    EXPECT_TRUE(info.HasCallbackObject());

    info.SetCallbackFlag(false);
    EXPECT_EQ(waiter.calls, 1);
    EXPECT_FALSE(info.HasCallbackObject());
    EXPECT_FALSE(info.GetCallbackFlag());
    info.SetCallbackFlag(true);
    info.SetCallbackFlag(false);
    EXPECT_EQ(waiter.calls, 1);

    // A non-zero mode drops the waiter without a call and clears the flag.
    info.SetCallbackFlag(true);
    info.SetCallbackObject(&waiter);
    info.SetMode(2);
    EXPECT_EQ(info.GetMode(), 2u);
    EXPECT_FALSE(info.HasCallbackObject());
    EXPECT_FALSE(info.GetCallbackFlag());
    EXPECT_EQ(waiter.calls, 1);
}

TEST_F(GlobalInfoTest, ResetITPolicyKeysWritesZeroesWhereThePolicyKeyExists) {
    SetInstallDirectory(kInstallDir);
    ASSERT_EQ(Init(), kNoError);
    EXPECT_EQ(m_info.ResetITPolicyKeys(), kNoError);
    RawValue unused;
    EXPECT_EQ(ReadRaw(kPolicyKey, u"RequiredKey", &unused), ERROR_FILE_NOT_FOUND);

    MakeKey(kPolicyKey);
    WriteRaw(kPolicyKey, u"RequiredKey", TextValue(u"123"));
    EXPECT_EQ(m_info.ResetITPolicyKeys(), kNoError);
    EXPECT_EQ(Raw(kPolicyKey, u"RequiredKey"), TextValue(u"0"));
    EXPECT_EQ(Raw(kPolicyKey, u"SatisfiedKey"), TextValue(u"0"));
}

TEST_F(GlobalInfoStoreTest, ResetAccountEmptiesTheStoreOnlyWhenAsked) {
    const std::string before = Saved();
    ASSERT_EQ(m_info.ResetAccount(0, 0), kNoError);
    EXPECT_EQ(Saved(), before);
    EXPECT_EQ(Raw(kProductKey, u"ShowWizard"), DwordValue(1));

    ASSERT_EQ(m_info.ResetAccount(1, 0), kNoError);
    EXPECT_EQ(Saved(), "| 0");
    uint32_t count = kQvUnknown;
    EXPECT_EQ(Store()->GetRecordCount(&count), kNoError);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(Store()->GetMode(), kDBReadOnly);
}

TEST_F(GlobalInfoStoreTest, ResetsOfOneTypeAndOfAllSaveTheirStoreChanges) {
    ASSERT_EQ(m_info.ResetMailSyncData(), kNoError);
    // Mail folders stay with no sync key; the FolderSync key starts again.
    EXPECT_EQ(Saved(), "2:0 12:0 8:5 9:5 7:5 10:5 | 0");
    EXPECT_EQ(Prefs()->GetCleanMailbox(), 1);

    ASSERT_EQ(m_info.ResetCalendarSyncData(), kNoError);
    EXPECT_EQ(Saved(), "2:0 12:0 9:5 7:5 10:5 | 0");
    EXPECT_EQ(Prefs()->GetCleanCalendar(), 1);

    ASSERT_EQ(m_info.ResetAllSyncData(), kNoError);
    EXPECT_EQ(Saved(), "2:0 12:0 | 0");
    EXPECT_EQ(Prefs()->GetCleanContacts(), 1);
    EXPECT_EQ(Store()->GetMode(), kDBReadOnly);
}

TEST_F(GlobalInfoStoreTest, AResetWhoseStepFailsStillEndsItsWrite) {
    // Without the product key the mail reset's clean request cannot be stored.
    ASSERT_EQ(RegDeleteKeyW(HKEY_CURRENT_USER, kProductKey), ERROR_SUCCESS);
    EXPECT_EQ(m_info.ResetMailSyncData(), static_cast<DErrorCode>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(Store()->GetMode(), kDBReadOnly);

    // The whole reset got as far as the FolderSync key, and that is saved.
    EXPECT_EQ(m_info.ResetAllSyncData(), static_cast<DErrorCode>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(Store()->GetMode(), kDBReadOnly);
    EXPECT_EQ(Saved(), "2:5 12:5 8:5 9:5 7:5 10:5 | 0");

    // The next write is the outermost again and saves.
    MakeKey(kProductKey);
    ASSERT_EQ(m_info.ResetCalendarSyncData(), kNoError);
    EXPECT_EQ(Saved(), "2:5 12:5 9:5 7:5 10:5 | 0");
}

}  // namespace
