#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>

#include "DWinMobCorvanePreferences.h"
#include "prefstestutil.h"
#include "vplatform_test.h"

namespace {

using PrefsSaveTest = PrefsDeviceTest;
using Prefs = DWinMobCorvanePreferences;

VString Text(const char16_t *text) {
    VString v;
    v.AssignWide(text, kQvUnknown, kVStringUTF16LE);
    return v;
}

TEST_F(PrefsSaveTest, RefreshingGettersSeeWhatAnotherProcessWrote) {
    struct Case {
        const char16_t *name;
        std::function<DWORD(Prefs &)> get;
    } cases[] = {
        {u"QVHeartbeat", [](Prefs &p) { return p.GetQVHeartbeat(); }},
        {u"RoamingOverride", [](Prefs &p) { return p.GetRoamingOverride(); }},
        {u"PushNeedsSoap", [](Prefs &p) { return p.GetPushNeedsSoap(); }},
        {u"EngineNeedsSoap", [](Prefs &p) { return p.GetEngineNeedsSoap(); }},
        {u"ShowWizard", [](Prefs &p) { return p.GetShowWizard(); }},
        {u"ITPNum", [](Prefs &p) { return p.GetITPNum(); }},
        {u"MaxServerPushFolders", [](Prefs &p) { return p.GetMaxServerPushFolders(); }},
        {u"MinimumHeartBeat", [](Prefs &p) { return p.GetMinimumHeartBeat(); }},
        {u"MaximumHeartBeat", [](Prefs &p) { return p.GetMaximumHeartBeat(); }},
        {u"LastGoodHeartBeat", [](Prefs &p) { return p.GetLastGoodHeartBeat(); }},
        {u"PingCounter", [](Prefs &p) { return p.GetPingCounter(); }},
    };
    Prefs prefs;
    ASSERT_EQ(prefs.Load(FALSE), kNoError);
    for (const Case &c : cases) {
        WriteDword(kProductKey, c.name, 7);
        EXPECT_EQ(c.get(prefs), 7u) << Narrow(c.name);
    }

    WriteRaw(kProductKey, u"InstallDirectory", TextValue(u"\\Program Files\\Vantrel\\"));
    VString dir;
    prefs.GetInstallDirectory(&dir);
    EXPECT_EQ(std::u16string(dir.GetWideText()), u"\\Program Files\\Vantrel\\");

    // Any other value is what this object loaded, until it reloads.
    WriteDword(kProductKey, u"EngineState", 3);
    WriteDword(kProductKey, u"VerboseLogging", 1);
    EXPECT_EQ(prefs.GetEngineState(), 0);
    EXPECT_EQ(prefs.GetVerboseLogging(), 0);
    ASSERT_EQ(prefs.Load(TRUE), kNoError);
    EXPECT_EQ(prefs.GetEngineState(), 3);
    EXPECT_EQ(prefs.GetVerboseLogging(), 1);
}

TEST_F(PrefsSaveTest, ImmediateSettersWriteAtOnceOthersWaitForSaveAll) {
    Prefs prefs;
    ASSERT_EQ(prefs.SetShowWizard(0), kNoError);
    ASSERT_EQ(prefs.SetVerboseLogging(1), kNoError);
    ASSERT_EQ(prefs.SetITPolicyEnabled(1), kNoError);
    ASSERT_EQ(prefs.SetVersion(2, 7, 67), kNoError);
    ASSERT_EQ(prefs.SetInstallDirectory(Text(u"\\Vantrel\\")), kNoError);
    EXPECT_EQ(Raw(kProductKey, u"ShowWizard"), DwordValue(0));
    EXPECT_EQ(Raw(kProductKey, u"ITPolicyEnabled"), DwordValue(1));
    EXPECT_EQ(Raw(kProductKey, u"QVMaj"), DwordValue(2));
    EXPECT_EQ(Raw(kProductKey, u"QVMin"), DwordValue(7));
    EXPECT_EQ(Raw(kProductKey, u"QVBui"), DwordValue(67));
    EXPECT_EQ(Raw(kProductKey, u"InstallDirectory"), TextValue(u"\\Vantrel\\"));
    EXPECT_EQ(Raw(kProductKey, u"VerboseLogging"), DwordValue(0));

    ASSERT_EQ(prefs.SaveAll(), kNoError);
    EXPECT_EQ(Raw(kProductKey, u"VerboseLogging"), DwordValue(1));
}

TEST_F(PrefsSaveTest, SaveAllBeforeAnyUseWritesNothing) {
    Prefs prefs;
    EXPECT_EQ(prefs.SaveAll(), kNoError);
    EXPECT_TRUE(ValueNames(kProductKey).empty());
    EXPECT_TRUE(ValueNames(kAccountKey).empty());
}

TEST_F(PrefsSaveTest, SaveAllKeepsWhatAnotherProcessWroteMeanwhile) {
    Prefs engine, scheduler, settings;
    ASSERT_EQ(engine.Load(FALSE), kNoError);
    ASSERT_EQ(scheduler.Load(FALSE), kNoError);
    ASSERT_EQ(settings.Load(FALSE), kNoError);

    // The scheduler records local changes; the settings screen changes the
    // schedule; the engine meanwhile only moves its own state.
    ASSERT_EQ(scheduler.SetPushNeedsSoap(0x04), kNoError);
    ASSERT_EQ(settings.SetOffPeakSyncSchedule(kSyncScheduleHourly), kNoError);
    ASSERT_EQ(settings.SaveAll(), kNoError);
    ASSERT_EQ(engine.SetEngineState(2), kNoError);
    ASSERT_EQ(engine.SaveAll(), kNoError);

    auto before = Snapshot(kProductKey);
    EXPECT_EQ(before[u"PushNeedsSoap"], DwordValue(0x04));
    EXPECT_EQ(before[u"OffPeakSyncSchedule"], DwordValue(3));
    EXPECT_EQ(before[u"EngineState"], DwordValue(2));

    // A second save with nothing changed writes nothing.
    WriteDword(kProductKey, u"EngineState", 5);
    ASSERT_EQ(engine.SaveAll(), kNoError);
    EXPECT_EQ(Raw(kProductKey, u"EngineState"), DwordValue(5));

    // A reload takes up the others' values and the next save keeps them.
    ASSERT_EQ(engine.Load(TRUE), kNoError);
    ASSERT_EQ(engine.SetVerboseLogging(1), kNoError);
    ASSERT_EQ(engine.SaveAll(), kNoError);
    EXPECT_EQ(engine.GetOffPeakSyncSchedule(), kSyncScheduleHourly);
    EXPECT_EQ(Raw(kProductKey, u"PushNeedsSoap"), DwordValue(0x04));
    EXPECT_EQ(Raw(kProductKey, u"VerboseLogging"), DwordValue(1));
}

TEST_F(PrefsSaveTest, NumbersKeepTheirWidthAndTimesTheirTwoValues) {
    Prefs prefs;
    ASSERT_EQ(prefs.SetUseSSL(0), kNoError);
    ASSERT_EQ(prefs.SetEASVers(250), kNoError);
    struct tm start = {};
    start.tm_hour = 7;
    start.tm_min = 30;
    ASSERT_EQ(prefs.SetPeakStartTime(start), kNoError);
    ASSERT_EQ(prefs.SaveAll(), kNoError);
    EXPECT_EQ(Raw(kAccountKey, u"UseSSL"), DwordValue(0));
    EXPECT_EQ(Raw(kProductKey, u"PeakStartTime-hour"), DwordValue(7));
    EXPECT_EQ(Raw(kProductKey, u"PeakStartTime-min"), DwordValue(30));

    // Wider stored numbers are cut to the width in memory.
    WriteDword(kProductKey, u"EASVers", 0x100FA);
    WriteDword(kProductKey, u"PeakWeekdayFlags", 0x17F);
    ASSERT_EQ(prefs.Load(TRUE), kNoError);
    EXPECT_EQ(prefs.GetEASVers(), 250);
    EXPECT_EQ(prefs.GetPeakWeekdayFlags(), 0x7F);
    EXPECT_EQ(prefs.GetPeakStartTime().tm_hour, 7);
    EXPECT_EQ(prefs.GetPeakStartTime().tm_min, 30);
}

// A save killed at any of its writes leaves the registry as it was: never
// part old and part new (the hour of one save with the minute of another).
int g_writesBeforeKill = 0;
void KillAtWrite() {
    if (--g_writesBeforeKill == 0) _exit(3);
}

TEST_F(PrefsSaveTest, SaveKilledAtAnyWriteLeavesTheOldValues) {
    Prefs prefs;
    ASSERT_EQ(prefs.Load(FALSE), kNoError);
    const auto oldProduct = Snapshot(kProductKey);
    const auto oldAccount = Snapshot(kAccountKey);
    struct tm start = {};
    start.tm_hour = 6;
    start.tm_min = 45;
    struct tm end = {};
    end.tm_hour = 20;
    end.tm_min = 15;
    ASSERT_EQ(prefs.SetServer(Text(u"mail.example.org")), kNoError);
    ASSERT_EQ(prefs.SetPassword(Text(u"secret")), kNoError);
    ASSERT_EQ(prefs.SetPeakStartTime(start), kNoError);
    ASSERT_EQ(prefs.SetPeakEndTime(end), kNoError);
    ASSERT_EQ(prefs.SetEngineState(4), kNoError);
    ASSERT_EQ(prefs.SetVerboseLogging(1), kNoError);

    int killAt = 1;
    for (;; ++killAt) {
        ASSERT_LT(killAt, 100) << "the save never completed";
        pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            g_writesBeforeKill = killAt;
            vplat::RegistrySetWriteHook(KillAtWrite);
            _exit(prefs.SaveAll() == kNoError ? 0 : 1);
        }
        int status = -1;
        ASSERT_EQ(child, waitpid(child, &status, 0));
        ASSERT_TRUE(WIFEXITED(status));
        if (WEXITSTATUS(status) != 3) {
            ASSERT_EQ(WEXITSTATUS(status), 0);
            break;
        }
        ASSERT_EQ(Snapshot(kProductKey), oldProduct) << "killed at write " << killAt;
        ASSERT_EQ(Snapshot(kAccountKey), oldAccount) << "killed at write " << killAt;
    }
    EXPECT_GT(killAt, 8);  // every value of the save was a kill point
    EXPECT_EQ(Raw(kAccountKey, u"Server"), TextValue(u"mail.example.org"));
    EXPECT_EQ(Raw(kProductKey, u"PeakStartTime-hour"), DwordValue(6));
    EXPECT_EQ(Raw(kProductKey, u"PeakStartTime-min"), DwordValue(45));
    EXPECT_EQ(Raw(kProductKey, u"PeakEndTime-hour"), DwordValue(20));
    EXPECT_EQ(Raw(kProductKey, u"EngineState"), DwordValue(4));
}

// A failing write undoes the whole save and is returned; the next save
// writes every value again.
TEST_F(PrefsSaveTest, FailedSaveStoresNothingAndTheNextSaveStoresAll) {
    Prefs prefs;
    ASSERT_EQ(prefs.Load(FALSE), kNoError);
    const RawValue oldServer = Raw(kAccountKey, u"Server");
    ASSERT_EQ(prefs.SetServer(Text(u"mail.example.org")), kNoError);  // account key, written first
    ASSERT_EQ(prefs.SetVerboseLogging(1), kNoError);                 // product key
    ASSERT_EQ(RegDeleteKeyW(HKEY_CURRENT_USER, kProductKey), ERROR_SUCCESS);

    EXPECT_EQ(prefs.SaveAll(), DErrorCode(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(Raw(kAccountKey, u"Server"), oldServer);

    HKEY h;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kProductKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(h);
    ASSERT_EQ(prefs.SaveAll(), kNoError);
    EXPECT_EQ(Raw(kAccountKey, u"Server"), TextValue(u"mail.example.org"));
    EXPECT_EQ(Raw(kProductKey, u"VerboseLogging"), DwordValue(1));
}

}  // namespace
