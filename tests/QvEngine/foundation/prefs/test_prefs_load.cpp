#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "DWinMobCorvanePreferences.h"
#include "prefstestutil.h"

namespace {

struct StoredDefault {
    const char16_t *key;
    const char16_t *name;
    RawValue value;
};

// What a first load leaves in the registry, in the order it is created.
std::vector<StoredDefault> FreshDefaults() {
    const char16_t *P = kProductKey;
    const char16_t *A = kAccountKey;
    return {
        {P, u"QVMaj", DwordValue(0)},
        {P, u"QVMin", DwordValue(0)},
        {P, u"QVBui", DwordValue(0)},
        {A, u"Server", TextValue(u"")},
        {A, u"User", TextValue(u"")},
        {A, u"Domain", TextValue(u"")},
        {A, u"UseSSL", DwordValue(1)},
        {P, u"Password", TextValue(u"")},
        {P, u"EASPolicyKey", TextValue(u"0")},
        {P, u"QVDeviceID", TextValue(u"")},
        {P, u"QVDeviceType", TextValue(u"")},
        {P, u"QVHeartbeat", DwordValue(480)},
        {P, u"UserSyncEMail", DwordValue(1)},
        {P, u"UserSyncContacts", DwordValue(1)},
        {P, u"UserSyncCalendar", DwordValue(1)},
        {P, u"PeakSyncSchedule", DwordValue(6)},
        {P, u"OffPeakSyncSchedule", DwordValue(6)},
        {P, u"PeakPushSyncEnabled", DwordValue(1)},
        {P, u"OffPeakPushSyncEnabled", DwordValue(0)},
        {P, u"RoamingSyncSchedule", DwordValue(0)},
        {P, u"RoamingOverride", DwordValue(0)},
        {P, u"SendOutgoingImmediately", DwordValue(1)},
        {P, u"PeakStartTime-min", DwordValue(0)},
        {P, u"PeakStartTime-hour", DwordValue(8)},
        {P, u"PeakEndTime-min", DwordValue(0)},
        {P, u"PeakEndTime-hour", DwordValue(18)},
        {P, u"PeakWeekdayFlags", DwordValue(0x3E)},
        {P, u"PushAvailable", DwordValue(0)},
        {P, u"EASVers", DwordValue(200)},
        {P, u"CleanMailbox", DwordValue(0)},
        {P, u"CleanCalendar", DwordValue(0)},
        {P, u"CleanContacts", DwordValue(0)},
        {P, u"InitiateFirstCmd", DwordValue(0)},
        {P, u"PushNeedsSoap", DwordValue(0)},
        {P, u"EngineState", DwordValue(0)},
        {P, u"EngineNeedsSoap", DwordValue(0)},
        {P, u"SyncScheduleEMail", DwordValue(0)},
        {P, u"SyncScheduleCalendar", DwordValue(0)},
        {P, u"SyncScheduleContacts", DwordValue(0)},
        {P, u"SyncEMailDateRange", DwordValue(2)},
        {P, u"SyncEMailDataSize", DwordValue(1)},
        {P, u"DeleteSentItemDateRange", DwordValue(4)},
        {P, u"AttachOwnVCard", DwordValue(0)},
        {P, u"ReplyWithHistory", DwordValue(1)},
        {P, u"EMailSignature", RawValue()},  // checked on its own
        {P, u"InstallDirectory", TextValue(u"**default**")},
        {P, u"AttachSig", DwordValue(1)},
        {P, u"SyncCalDateRange", DwordValue(4)},
        {P, u"VerboseLogging", DwordValue(0)},
        {P, u"ShowWizard", DwordValue(1)},
        {P, u"ITPolicyEnabled", DwordValue(0)},
        {P, u"MaxServerPushFolders", DwordValue(0xFFFFFFFF)},
        {P, u"MinimumHeartBeat", DwordValue(480)},
        {P, u"MaximumHeartBeat", DwordValue(1920)},
        {P, u"LastGoodHeartBeat", DwordValue(540)},
        {P, u"PingCounter", DwordValue(30)},
    };
}

using PrefsLoadTest = PrefsDeviceTest;

TEST_F(PrefsLoadTest, FirstLoadCreatesEveryValueWithItsTypeAndDefaultInOrder) {
    DWinMobCorvanePreferences prefs;
    ASSERT_EQ(prefs.Load(FALSE), kNoError);

    std::vector<std::u16string> productOrder, accountOrder;
    for (const StoredDefault &row : FreshDefaults()) {
        (row.key == kProductKey ? productOrder : accountOrder).push_back(row.name);
        if (row.value.type == REG_NONE) continue;
        EXPECT_EQ(Raw(row.key, row.name), row.value) << Narrow(row.name);
    }
    // Nothing else is created: "ITPNum" and "FolderID" are kept on their own.
    EXPECT_EQ(ValueNames(kProductKey), productOrder);
    EXPECT_EQ(ValueNames(kAccountKey), accountOrder);

    RawValue signature = Raw(kProductKey, u"EMailSignature");
    EXPECT_EQ(signature.type, static_cast<DWORD>(REG_SZ));
    ASSERT_EQ(signature.bytes.size(), (212u + 1) * 2);
    std::u16string text(reinterpret_cast<const char16_t *>(signature.bytes.data()), 212);
    EXPECT_EQ(text.substr(0, 5), u"*****");
    VString inMemory;
    ASSERT_EQ(prefs.GetEMailSignature(&inMemory), kNoError);
    EXPECT_EQ(std::u16string(inMemory.GetWideText()), text);
}

TEST_F(PrefsLoadTest, UnreadableValuesBecomeTheirDefaultAndLongTextsAreCutNotReplaced) {
    RawValue unterminated;
    unterminated.type = REG_SZ;
    unterminated.bytes = {'a', 0, 'b', 0};
    RawValue oddLength = TextValue(u"ab");
    oddLength.bytes.pop_back();
    RawValue binary;
    binary.type = REG_BINARY;
    binary.bytes = {1, 2, 3, 4};
    const std::u16string longServer(200, u'x');
    const std::u16string longSignature(3000, u's');

    struct Case {
        const char16_t *key;
        const char16_t *name;
        RawValue stored;
        RawValue afterLoad;
    } cases[] = {
        {kAccountKey, u"Server", DwordValue(5), TextValue(u"")},
        {kAccountKey, u"User", unterminated, TextValue(u"")},
        {kAccountKey, u"Domain", oddLength, TextValue(u"")},
        {kAccountKey, u"UseSSL", binary, DwordValue(1)},
        {kProductKey, u"EASVers", TextValue(u"250"), DwordValue(200)},
        {kProductKey, u"InstallDirectory", DwordValue(1), TextValue(u"**default**")},
        // Well-typed but long: kept as stored.
        {kAccountKey, u"Server", TextValue(longServer), TextValue(longServer)},
        {kProductKey, u"EMailSignature", TextValue(longSignature), TextValue(longSignature)},
        {kProductKey, u"QVDeviceType", {REG_EXPAND_SZ, TextValue(u"PocketPC").bytes},
         {REG_EXPAND_SZ, TextValue(u"PocketPC").bytes}},
    };
    for (const Case &c : cases) {
        WriteRaw(c.key, c.name, c.stored);
        DWinMobCorvanePreferences prefs;
        EXPECT_EQ(prefs.Load(FALSE), kNoError);
        EXPECT_EQ(Raw(c.key, c.name), c.afterLoad);
    }

    // What the objects above read: long texts cut to the limit less the terminator.
    DWinMobCorvanePreferences prefs;
    VString server, signature, user, type;
    prefs.GetServer(&server);
    prefs.GetEMailSignature(&signature);
    prefs.GetUser(&user);
    prefs.GetQVDeviceType(&type);
    EXPECT_EQ(std::u16string(server.GetWideText()), longServer.substr(0, 127));
    EXPECT_EQ(std::u16string(signature.GetWideText()), longSignature.substr(0, 2047));
    EXPECT_EQ(std::u16string(user.GetWideText()), u"");
    EXPECT_EQ(std::u16string(type.GetWideText()), u"PocketPC");
    EXPECT_EQ(prefs.GetEASVers(), 200);
}

TEST_F(PrefsLoadTest, SettersCutTextsToTheReadLimit) {
    DWinMobCorvanePreferences prefs;
    VString text;
    // 127 characters then a surrogate pair that does not fit whole.
    std::u16string server(126, u'a');
    server += u"\U0001F600";
    text.AssignWide(server.c_str(), kQvUnknown, kVStringUTF16LE);
    ASSERT_EQ(prefs.SetServer(text), kNoError);
    VString out;
    prefs.GetServer(&out);
    EXPECT_EQ(std::u16string(out.GetWideText()), std::u16string(126, u'a'));

    std::string narrow(2100, 'n');
    text.AssignCStr(narrow.c_str(), kVStringWindows1252);
    ASSERT_EQ(prefs.SetEMailSignature(text), kNoError);
    prefs.GetEMailSignature(&out);
    EXPECT_EQ(out.GetEncoding(), kVStringUTF16LE);
    EXPECT_EQ(out.GetLength() / 2, 2047u);
}

TEST_F(PrefsLoadTest, MissingKeyFailsTheLoadOnceAndLeavesDefaults) {
    HKEY h;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\Brellow", 0, KEY_ALL_ACCESS, &h), ERROR_SUCCESS);
    ASSERT_EQ(RegDeleteKeyW(h, u"Vantrel"), ERROR_SUCCESS);
    RegCloseKey(h);

    DWinMobCorvanePreferences prefs;
    EXPECT_EQ(prefs.Load(FALSE), static_cast<DErrorCode>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(prefs.Load(FALSE), kNoError);  // loaded, even so
    EXPECT_EQ(prefs.GetEASVers(), 200);
    EXPECT_EQ(prefs.GetPeakWeekdayFlags(), 0x3E);
    EXPECT_EQ(prefs.GetMaxServerPushFolders(), 0xFFFFFFFFu);
    EXPECT_TRUE(ValueNames(kAccountKey).empty());
}

TEST_F(PrefsLoadTest, OldTextHeartbeatIsMigratedToANumber) {
    struct Case {
        DWORD major, minor, build;
        const char16_t *text;
        DWORD heartbeat;
    } cases[] = {
        {2, 6, 29, u"900", 900}, {1, 0, 0, u"600", 600},  {2, 6, 30, u"900", 480},
        {2, 7, 0, u"900", 480},  {3, 0, 0, u"900", 480},  {0, 0, 0, u"900", 480},
        {2, 0, 0, u"abc", 480},
    };
    for (const Case &c : cases) {
        WriteDword(kProductKey, u"QVMaj", c.major);
        WriteDword(kProductKey, u"QVMin", c.minor);
        WriteDword(kProductKey, u"QVBui", c.build);
        WriteRaw(kProductKey, u"QVHeartbeat", TextValue(c.text));
        DWinMobCorvanePreferences prefs;
        EXPECT_EQ(prefs.Load(FALSE), kNoError);
        EXPECT_EQ(prefs.GetQVHeartbeat(), c.heartbeat) << c.major << "." << c.minor << "." << c.build;
        EXPECT_EQ(Raw(kProductKey, u"QVHeartbeat"), DwordValue(c.heartbeat));
    }
}

}  // namespace
