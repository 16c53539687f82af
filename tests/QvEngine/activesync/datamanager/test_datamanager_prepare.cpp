// The data manager before and after a run: the preparation of the folder
// marks and the stores (resets, a store that cannot be made, a time-zone
// change), the local-change probes, the first-sync check, the end-of-run
// clean-up and the remote wipe.
#include "DWinMobMessageManager.h"
#include "DataManagerFixture.h"
#include "PimStoreFakes.h"

namespace {

class PrepareTest : public DataManagerTest {
protected:
    void SetUp() override {
        DataManagerTest::SetUp();
        // Settings written by this version: no calendar upgrade reset.
        Prefs().SetQVMaj(3);
        SetTypes(true, false, false, false);
    }
    void SetTypes(bool email, bool calendar, bool contacts, bool tasks) {
        Prefs().SetUserSyncEMail(email);
        Prefs().SetUserSyncCalendar(calendar);
        Prefs().SetUserSyncContacts(contacts);
        Prefs().SetUserSyncTasks(tasks);
        for (auto set : {&ICorvanePreferences::SetUserSyncEMailOverride, &ICorvanePreferences::SetUserSyncCalendarOverride,
                         &ICorvanePreferences::SetUserSyncContactsOverride,
                         &ICorvanePreferences::SetUserSyncTasksOverride})
            (Prefs().*set)(kNoUserSyncOverride);
    }
    DErrorCode Prepare() {
        return RunChain([this](DActiveTaskSignal *s) { return data->PrepareForSync(s); });
    }
    DErrorCode CleanUp(uint32_t *firstState = nullptr) {
        return RunChain([&](DActiveTaskSignal *s) {
            DErrorCode err = data->EndOfRunCleanup(s);
            if (firstState != nullptr) *firstState = data->GetState();
            return err;
        });
    }
    bool Has(const char *text) const { return Log().find(text) != std::string::npos; }
    // A user mail folder with a store folder of its own, as FolderSync leaves it.
    void AddBoundUserFolder(const char *serverID, uint32_t flags) {
        AddFolder(kFolderTypeUserMail, serverID, "7", flags);
        DWinMobMessageManager *manager = nullptr;
        ASSERT_EQ(AllocateMessageManager(&manager, global.get(), data.get()), kNoError);
        ASSERT_EQ(manager->Open(nullptr), kNoError);
        ASSERT_EQ(manager->AddMailFolder(serverID, nullptr), kNoError);
        delete manager;
    }
};

constexpr uint32_t kRecheck = kMailFlagRecheckLocal;

TEST_F(PrepareTest, MailFoldersAreMarkedForOneMoreCheckUnlessNeverSynced) {
    const struct {
        bool email;
        bool inbox, synced, newFolder, notSyncEnabled;
    } cases[] = {
        // Mail in the run: folders that never synced have nothing to check again.
        {true, false, true, false, true},
        // Mail not in the run: every mail folder keeps the mark.
        {false, true, true, true, true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.email ? "mail on" : "mail off");
        ASSERT_EQ(global->folders.RemoveAllFolders(), kNoError);
        AddFolder(kFolderTypeInbox, "inbox", "0");
        AddFolder(kFolderTypeUserMail, "synced", "12", kFolderFlagSync);
        AddFolder(kFolderTypeUserMail, "new", "0", kFolderFlagSync);
        AddFolder(kFolderTypeUserMail, "off", "0");
        DEASFolderInfoRecord *calendar = AddFolder(kFolderTypeCalendar, "cal", "0", kRecheck);
        SetTypes(c.email, false, false, false);
        ASSERT_EQ(Prepare(), kNoError);
        EXPECT_EQ(Folder("inbox")->IsFlagSet(kRecheck), c.inbox);
        EXPECT_EQ(Folder("synced")->IsFlagSet(kRecheck), c.synced);
        EXPECT_EQ(Folder("new")->IsFlagSet(kRecheck), c.newFolder);
        EXPECT_EQ(Folder("off")->IsFlagSet(kRecheck), c.notSyncEnabled);
        // Only mail folders carry the mark.
        EXPECT_TRUE(calendar->IsFlagSet(kRecheck));
        DEASFolderInfoRecord *current = nullptr;
        EXPECT_NE(global->folders.GetCurrentFolder(&current), kNoError);
    }
}

TEST_F(PrepareTest, ATypeInTheRunWithoutAStoreFailsThePreparationAndSignalsIt) {
    const struct {
        bool calendar, contacts, tasks;
        const char *logged;
    } cases[] = {
        {true, false, false, "DActiveSyncDataManager::RunTask() - prepare for Calendar Sync Failed!\n"},
        {false, true, false, "DActiveSyncDataManager::RunTask() - prepare for Contacts Sync Failed!\n"},
        {false, false, true, "DActiveSyncDataManager::RunTask() - prepare for Tasks Sync Failed!\n"},
    };
    // A build whose stores of these kinds cannot be made.
    for (uint32_t kind : {kOutlookItemAppointment, kOutlookItemContact, kOutlookItemTask})
        data->SetPimStoreAllocator(kind, nullptr);
    for (const auto &c : cases) {
        SCOPED_TRACE(c.logged);
        global->log.text.clear();
        SetTypes(true, c.calendar, c.contacts, c.tasks);
        // The chain ends by signalling the caller: RunChain would report a hang.
        EXPECT_EQ(Prepare(), generalErrNotImplemented);
        EXPECT_TRUE(Has(c.logged));
        EXPECT_EQ(data->GetState(), kDMIdle);
    }
    // A reset of a type the user does not sync waits for a store: no failure.
    SetTypes(true, false, false, false);
    Prefs().SetCleanCalendar(1);
    EXPECT_EQ(Prepare(), kNoError);
    EXPECT_EQ(Prefs().GetCleanCalendar(), 1);
}

TEST_F(PrepareTest, AResetEmptiesTheStoreWithItsStatusTextAndIsThenDone) {
    const struct {
        uint32_t kind;
        DErrorCode (ICorvanePreferences::*request)();
        BYTE (ICorvanePreferences::*pending)();
        const char *logged;
        UINT text;
    } cases[] = {
        {kOutlookItemAppointment, &ICorvanePreferences::RequestCleanCalendar,
         &ICorvanePreferences::GetCleanCalendar,
         "DActiveSyncDataManager::FinishPrepareForCalendarSync() - deleteing all old appointments\n", 25},
        {kOutlookItemContact, &ICorvanePreferences::RequestCleanContacts,
         &ICorvanePreferences::GetCleanContacts,
         "DActiveSyncDataManager::FinishPrepareForContactsSync() - deleteing all old contacts\n", 26},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.logged);
        FakePimBench bench;
        bench.records = {{"a", {}}, {"b", {}}, {"c", {}}};
        UseFakePimStore(*data, c.kind, &bench);
        SetTypes(true, c.kind == kOutlookItemAppointment, c.kind == kOutlookItemContact, false);
        ASSERT_EQ((Prefs().*c.request)(), kNoError);
        global->strings.asked.clear();
        ASSERT_EQ(Prepare(), kNoError);
        EXPECT_TRUE(bench.records.empty());
        EXPECT_TRUE(Has(c.logged));
        EXPECT_NE(std::find(global->strings.asked.begin(), global->strings.asked.end(), c.text),
                  global->strings.asked.end());
        EXPECT_EQ((Prefs().*c.pending)(), 0);
        // Without a reset request the items stay.
        bench.records = {{"d", {}}};
        ASSERT_EQ(Prepare(), kNoError);
        EXPECT_EQ(bench.records.size(), 1u);
    }
}

TEST_F(PrepareTest, ATimeZoneChangeGoesOnAndTheCleanUpStartsWithTheMailReset) {
    FakePimBench calendar;
    calendar.openResult = ASDataManagerErrTimeZoneChanged;
    UseFakePimStore(*data, kOutlookItemAppointment, &calendar);
    SetTypes(true, true, false, false);
    ASSERT_EQ(Prepare(), kNoError);
    // The client hears of the change; the held time zone is dropped.
    ASSERT_FALSE(client.records.empty());
    EXPECT_EQ(client.records.back().type, kResponseTypeTimeZoneChange);
    EXPECT_FALSE(Prefs().IsTimeZoneSet());

    uint32_t first = 0;
    EXPECT_EQ(CleanUp(&first), kNoError);
    EXPECT_EQ(first, kDMResetAfterTimeZone);
    EXPECT_EQ(calendar.cleanUps, 1);
    // Once only: the next clean-up is the plain one.
    EXPECT_EQ(CleanUp(&first), kNoError);
    EXPECT_EQ(first, kDMCleanCalendar);
    EXPECT_EQ(calendar.cleanUps, 2);
}

TEST_F(PrepareTest, CleanUpRunsForStoresInTheRunAndSavesTheFolderStore) {
    FakePimBench calendar, contacts;
    UseFakePimStore(*data, kOutlookItemAppointment, &calendar);
    UseFakePimStore(*data, kOutlookItemContact, &contacts);
    SetTypes(true, true, true, false);
    ASSERT_EQ(Prepare(), kNoError);
    // Contacts went out of the run meanwhile: their store is left alone.
    SetTypes(true, true, false, false);
    AddFolder(kFolderTypeUserMail, "late", "3", kFolderFlagSync);
    EXPECT_EQ(CleanUp(), kNoError);
    EXPECT_EQ(calendar.cleanUps, 1);
    EXPECT_EQ(contacts.cleanUps, 0);
    EXPECT_EQ(data->GetState(), kDMIdle);
    // What the run changed in the folder store is on disk.
    VFile file;
    file.SetFileName(u"\\FolderInfo.brw");
    DEASFolderInfoStore saved(&file);
    ASSERT_EQ(saved.Open(kDBReadOnly, false), kNoError);
    DEASFolderInfoRecord *late = nullptr;
    EXPECT_EQ(saved.FindFolderByServerID("late", &late), kNoError);
    saved.Close();
}

TEST_F(PrepareTest, TypeProbesAnswerFromTheStoreAndWithoutOneAnswerNo) {
    FakePimBench calendar;
    UseFakePimStore(*data, kOutlookItemAppointment, &calendar);
    SetTypes(true, true, false, false);
    ASSERT_EQ(Prepare(), kNoError);
    for (bool changed : {true, false}) {
        calendar.changed = changed;
        BYTE answer = 7;
        EXPECT_EQ(RunChain([&](DActiveTaskSignal *s) { return data->ProbeCalendarChanges(s, &answer); }), kNoError);
        EXPECT_EQ(answer, changed ? 1 : 0);
    }
    // No contacts store was made (contacts are off): no changes, no hang.
    BYTE answer = 7;
    EXPECT_EQ(RunChain([&](DActiveTaskSignal *s) { return data->ProbeContactsChanges(s, &answer); }), kNoError);
    EXPECT_EQ(answer, 0);
    BYTE moved = 7;
    EXPECT_EQ(RunChain([&](DActiveTaskSignal *s) { return data->ProbeMovedMail(s, &moved); }), kNoError);
    EXPECT_EQ(moved, 0);
}

TEST_F(PrepareTest, MailFolderProbesWriteTheCurrentFoldersFlags) {
    const uint32_t all = kMailFlagLocalChanges | kRecheck | kMailFlagAttachment | kMailFlagMeetingResponses;
    AddBoundUserFolder("work", kFolderFlagSync | all);
    ASSERT_EQ(Prepare(), kNoError);
    ASSERT_EQ(Folder("work")->SetFlag(all, true), kNoError);
    // Without a current folder nothing is asked and nothing changes.
    global->folders.ClearCurrentFolder();
    EXPECT_EQ(RunChain([&](DActiveTaskSignal *s) { return data->ProbeEMailChanges(s); }), kNoError);
    EXPECT_EQ(Folder("work")->GetInt(kFolderFieldFlags) & all, all);

    ASSERT_EQ(global->folders.NextSyncFolder(false), kNoError);
    DEASFolderInfoRecord *current = nullptr;
    ASSERT_EQ(global->folders.GetCurrentFolder(&current), kNoError);
    ASSERT_STREQ(current->GetString(kFolderFieldServerID), "work");
    // The empty folder answers no to each question.
    EXPECT_EQ(RunChain([&](DActiveTaskSignal *s) { return data->ProbeEMailChanges(s); }), kNoError);
    EXPECT_TRUE(Has("Looking for changes in work"));
    EXPECT_FALSE(current->IsFlagSet(kMailFlagLocalChanges | kRecheck));
    EXPECT_TRUE(current->IsFlagSet(kMailFlagAttachment));
    EXPECT_EQ(RunChain([&](DActiveTaskSignal *s) { return data->ProbeAttachmentDownloads(s); }), kNoError);
    EXPECT_FALSE(current->IsFlagSet(kMailFlagAttachment));
    EXPECT_TRUE(current->IsFlagSet(kMailFlagMeetingResponses));
    EXPECT_EQ(RunChain([&](DActiveTaskSignal *s) { return data->ProbeMeetingResponses(s); }), kNoError);
    EXPECT_FALSE(current->IsFlagSet(kMailFlagMeetingResponses));
}

TEST_F(PrepareTest, FirstSyncIsNeededForATypeInTheRunThatNeverSynced) {
    const struct {
        const char *label;
        bool email, calendar;
        const char *inboxKey;   // null: no inbox
        const char *userKey;    // null: no user folder
        bool userSyncEnabled;
        const char *calendarKey;  // null: no calendar folder
        BYTE needed;
    } cases[] = {
        {"all synced", true, true, "1", "2", true, "3", 0},
        {"no inbox", true, false, nullptr, nullptr, false, nullptr, 1},
        {"inbox never synced", true, false, "0", nullptr, false, nullptr, 1},
        {"sync-enabled user folder never synced", true, false, "1", "0", true, nullptr, 1},
        {"user folder not synced is no reason", true, false, "1", "0", false, nullptr, 0},
        {"calendar in the run without its folder", true, true, "1", nullptr, false, nullptr, 1},
        {"calendar in the run never synced", false, true, nullptr, nullptr, false, "0", 1},
        {"calendar out of the run", true, false, "1", nullptr, false, "0", 0},
        {"mail out of the run", false, false, "0", nullptr, false, nullptr, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.label);
        ASSERT_EQ(global->folders.RemoveAllFolders(), kNoError);
        if (c.inboxKey != nullptr) AddFolder(kFolderTypeInbox, "inbox", c.inboxKey);
        if (c.userKey != nullptr) AddFolder(kFolderTypeUserMail, "user", c.userKey, c.userSyncEnabled ? kFolderFlagSync : 0);
        if (c.calendarKey != nullptr) AddFolder(kFolderTypeCalendar, "cal", c.calendarKey);
        SetTypes(c.email, c.calendar, false, false);
        BYTE needed = 7;
        EXPECT_EQ(data->NeedsFirstSync(&needed), kNoError);
        EXPECT_EQ(needed, c.needed);
    }
}

TEST_F(PrepareTest, EveryStoredWipeStateEndsAsAWipeDoneWithTheFolderStoreSaved) {
    for (WORD stored : {1, 2, 3, 5, 6, 0, 9}) {
        SCOPED_TRACE(stored);
        global->callbackFlag = false;
        Prefs().SetRemoteWipeState(stored);
        const std::string id = "w" + std::to_string(stored);
        AddFolder(kFolderTypeUserMail, id.c_str());
        EXPECT_EQ(RunChain([&](DActiveTaskSignal *s) { return data->StartRemoteWipe(24, s); }), kNoError);
        EXPECT_EQ(Prefs().GetRemoteWipeState(), 7);
        EXPECT_TRUE(global->callbackFlag);
        EXPECT_EQ(data->GetState(), kDMIdle);
        VFile file;
        file.SetFileName(u"\\FolderInfo.brw");
        DEASFolderInfoStore saved(&file);
        ASSERT_EQ(saved.Open(kDBReadOnly, false), kNoError);
        DEASFolderInfoRecord *folder = nullptr;
        EXPECT_EQ(saved.FindFolderByServerID(id.c_str(), &folder), kNoError);
        saved.Close();
    }
}

TEST_F(PrepareTest, NoOutgoingMailWaitsWithoutAnOutbox) {
    BYTE pending = 7;
    EXPECT_EQ(data->CheckPendingItems(&pending), kNoError);
    EXPECT_EQ(pending, 0);
    ASSERT_EQ(Prepare(), kNoError);
    pending = 7;
    EXPECT_EQ(data->CheckPendingItems(&pending), kNoError);
    EXPECT_EQ(pending, 0);
    EXPECT_EQ(RunChain([&](DActiveTaskSignal *s) { return data->PrepareSendOnly(s); }), kNoError);
}

}  // namespace
