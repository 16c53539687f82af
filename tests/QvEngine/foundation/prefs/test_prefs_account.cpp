#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <map>
#include <string>

#include "DWinMobCorvanePreferences.h"
#include "prefstestutil.h"

namespace {

using Prefs = DWinMobCorvanePreferences;
using Values = std::map<std::u16string, RawValue>;

VString Text(const char16_t *text) {
    VString v;
    v.AssignWide(text, kQvUnknown, kVStringUTF16LE);
    return v;
}

class PrefsAccountTest : public PrefsDeviceTest {
protected:
    // Both keys' values in one map.
    static Values Registry() {
        Values all = Snapshot(kProductKey);
        for (auto &entry : Snapshot(kAccountKey)) all[u"account:" + entry.first] = entry.second;
        return all;
    }
    // The values that differ from before, with their new contents.
    static Values Changed(const Values &before, const Values &after) {
        Values changed;
        for (const auto &entry : after) {
            auto old = before.find(entry.first);
            if (old == before.end() || old->second != entry.second) changed[entry.first] = entry.second;
        }
        for (const auto &entry : before)
            if (after.count(entry.first) == 0) changed[entry.first] = RawValue();
        return changed;
    }
    // An account in use, saved.
    static void SetUpAccount(Prefs &prefs) {
        prefs.SetUser(Text(u"jo"));
        prefs.SetPassword(Text(u"secret"));
        prefs.SetServer(Text(u"mail.example.com"));
        prefs.SetDomain(Text(u"corp"));
        prefs.SetEASPolicyKey(Text(u"3141"));
        prefs.SetQVDeviceID(Text(u"DEV1"));
        prefs.SetQVDeviceType(Text(u"PocketPC"));
        prefs.SetITPolicyEnabled(1);
        prefs.SetEASVers(250);
        prefs.SetPingCounter(3);
        prefs.SetQVHeartbeat(900);
        prefs.SetLastGoodHeartBeat(600);
        prefs.SetShowWizard(0);
        prefs.SetUserSyncEMail(0);
        prefs.SetUserSyncCalendar(0);
        prefs.SetUserSyncContacts(0);
        prefs.SetCleanMailbox(1);
        prefs.SetCleanCalendar(1);
        prefs.SetCleanContacts(1);
        prefs.SetVerboseLogging(1);
        ASSERT_EQ(prefs.SaveAll(), kNoError);
    }
};

TEST_F(PrefsAccountTest, ResetsChangeExactlyTheirValues) {
    const Values accountReset = {
        {u"EASPolicyKey", TextValue(u"0")},   {u"QVDeviceID", TextValue(u"")},
        {u"QVDeviceType", TextValue(u"")},    {u"ITPolicyEnabled", DwordValue(0)},
        {u"EASVers", DwordValue(200)},        {u"PingCounter", DwordValue(30)},
        {u"QVHeartbeat", DwordValue(540)},    {u"LastGoodHeartBeat", DwordValue(540)},
    };
    Values newAccount = accountReset;
    newAccount.insert({
        {u"ShowWizard", DwordValue(1)},
        {u"UserSyncEMail", DwordValue(1)},
        {u"UserSyncCalendar", DwordValue(1)},
        {u"UserSyncContacts", DwordValue(1)},
        {u"Password", TextValue(u"")},
        {u"account:User", TextValue(u"")},
        {u"account:Server", TextValue(u"")},
        {u"account:Domain", TextValue(u"")},
        {u"CleanMailbox", DwordValue(0)},
        {u"CleanCalendar", DwordValue(0)},
        {u"CleanContacts", DwordValue(0)},
    });
    struct Case {
        const char *name;
        std::function<DErrorCode(Prefs &)> reset;
        Values changes;
    } cases[] = {
        // The account reset leaves the save to its caller.
        {"ResetAccount", [](Prefs &p) { DErrorCode e = p.ResetAccount(); return e ? e : p.SaveAll(); },
         accountReset},
        {"ResetToNewAccount", [](Prefs &p) { return p.ResetToNewAccount(); }, newAccount},
    };
    for (const Case &c : cases) {
        Prefs prefs;
        SetUpAccount(prefs);
        Values before = Registry();
        ASSERT_EQ(c.reset(prefs), kNoError) << c.name;
        EXPECT_EQ(Changed(before, Registry()), c.changes) << c.name;
    }
}

TEST_F(PrefsAccountTest, HasAccountSettingsReloadsOnlyWhenSomethingIsMissing) {
    bool has = true;
    Prefs prefs;
    ASSERT_EQ(prefs.HasAccountSettings(&has), kNoError);
    EXPECT_FALSE(has);

    // Complete in memory: answered without reading (the unsaved user stays).
    prefs.SetUser(Text(u"jo"));
    prefs.SetPassword(Text(u"pw"));
    prefs.SetServer(Text(u"srv"));
    ASSERT_EQ(prefs.HasAccountSettings(&has), kNoError);
    EXPECT_TRUE(has);
    VString user;
    prefs.GetUser(&user);
    EXPECT_EQ(std::u16string(user.GetWideText()), u"jo");

    // Incomplete in memory but saved meanwhile by another object: reloaded.
    Prefs late;
    ASSERT_EQ(late.Load(FALSE), kNoError);
    Prefs other;
    SetUpAccount(other);
    ASSERT_EQ(late.HasAccountSettings(&has), kNoError);
    EXPECT_TRUE(has);
}

TEST_F(PrefsAccountTest, CleanRequestsMarkTheirType) {
    Prefs prefs;
    ASSERT_EQ(prefs.SetMaxServerPushFolders(12), kNoError);
    BYTE zone[172];
    memset(zone, 0, sizeof(zone));
    zone[0] = 0x2C;  // a bias of 300 minutes
    ASSERT_EQ(prefs.SetTimeZone(zone), kNoError);
    EXPECT_TRUE(prefs.IsTimeZoneSet());

    ASSERT_EQ(prefs.RequestCleanMailbox(), kNoError);
    EXPECT_EQ(prefs.GetCleanMailbox(), 1);
    EXPECT_EQ(Raw(kProductKey, u"MaxServerPushFolders"), DwordValue(0xFFFFFFFF));

    ASSERT_EQ(prefs.RequestCleanCalendar(), kNoError);
    EXPECT_EQ(prefs.GetCleanCalendar(), 1);
    EXPECT_FALSE(prefs.IsTimeZoneSet());

    ASSERT_EQ(prefs.RequestCleanContacts(), kNoError);
    EXPECT_EQ(prefs.GetCleanContacts(), 1);
    ASSERT_EQ(prefs.RequestCleanTasks(), kNoError);
    EXPECT_EQ(prefs.GetCleanTasks(), 0);
}

TEST_F(PrefsAccountTest, MemoryOnlyValuesKeepTheirDefaultsAndStayPrivate) {
    Prefs prefs;
    EXPECT_EQ(prefs.GetServerSettingsLock(), 0);
    EXPECT_EQ(prefs.GetDisplayDesktopSyncWarning(), 1);
    EXPECT_EQ(prefs.GetSyncLockOwner(), 0u);
    EXPECT_EQ(prefs.GetRemoteWipeState(), 0);
    EXPECT_EQ(prefs.GetWindowSize(), 50);
    EXPECT_FALSE(prefs.IsTimeZoneSet());

    ASSERT_EQ(prefs.SetWindowSize(250), kNoError);
    EXPECT_EQ(prefs.GetWindowSize(), kMaxWindowSize);
    ASSERT_EQ(prefs.SetWindowSize(120), kNoError);
    EXPECT_EQ(prefs.GetWindowSize(), 120);

    Values before = Registry();
    prefs.SetServerSettingsLock(1);
    prefs.SetSyncLockOwner(0x5156574D);
    prefs.SetSyncContactsDateRange(3);
    ASSERT_EQ(prefs.SaveAll(), kNoError);
    EXPECT_EQ(Registry(), before);
    Prefs other;
    EXPECT_EQ(other.GetSyncLockOwner(), 0u);
    EXPECT_EQ(other.GetServerSettingsLock(), 0);
    // The remote-wipe state is stored at once: an ordered wipe outlives a restart.
    ASSERT_EQ(prefs.SetRemoteWipeState(7), kNoError);
    EXPECT_EQ(other.GetRemoteWipeState(), 7);
}

}  // namespace
