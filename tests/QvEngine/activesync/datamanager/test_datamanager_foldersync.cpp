// FolderSync answers: the server's folder changes into the folder-info store
// and the message store's folders; refused answers (bad status, missing
// elements) leave both as they were; hostile changes (loops, duplicates,
// unusable ids) are refused one by one; the first FolderSync's default folders.
#include <string>
#include <vector>

#include "DASDP_PlainResponses.h"
#include "DataManagerFixture.h"
#include "DWinMobMessageManager.h"
#include "MailStoreCalls.h"

namespace {

std::string FolderSyncXml(const std::string &status, const std::string &key, const std::string &changes,
                          bool withChanges = true) {
    std::string xml = "<FolderSync xmlns=\"FolderHierarchy:\"><Status>" + status + "</Status>";
    if (!key.empty()) xml += "<SyncKey>" + key + "</SyncKey>";
    if (withChanges) xml += "<Changes>" + changes + "</Changes>";
    return xml + "</FolderSync>";
}

std::string Add(const std::string &id, const std::string &parent, const std::string &name, int type) {
    return "<Add><ServerId>" + id + "</ServerId><ParentId>" + parent + "</ParentId><DisplayName>" + name +
           "</DisplayName><Type>" + std::to_string(type) + "</Type></Add>";
}

std::string Update(const std::string &id, const std::string &parent, const std::string &name, int type) {
    return "<Update><ServerId>" + id + "</ServerId><ParentId>" + parent + "</ParentId><DisplayName>" + name +
           "</DisplayName><Type>" + std::to_string(type) + "</Type></Update>";
}

std::string Delete(const std::string &id) { return "<Delete><ServerId>" + id + "</ServerId></Delete>"; }

class FolderSyncTest : public DataManagerTest {
protected:
    void SetUp() override {
        DataManagerTest::SetUp();
        client.onRecord = [this](DClientResponse *record) {
            if (record->GetType() == kResponseTypeFolderSync)
                statuses.push_back(static_cast<DASDP_FolderSyncResponse *>(record)->GetStatus());
        };
    }

    std::string Key() {
        const char *key = nullptr;
        global->folders.GetFolderSyncKey(&key);
        return key != nullptr ? key : "";
    }
    uint32_t Count() {
        uint32_t count = 0;
        global->folders.GetRecordCount(&count);
        return count;
    }
    std::string ParentOf(const char *id) {
        DEASFolderInfoRecord *folder = Folder(id);
        const char *parent = "?";
        if (folder != nullptr) folder->GetParentServerID(&global->folders, &parent);
        return parent;
    }
    // The display name of the folder's store folder ("" when it has none).
    std::u16string StoreName(const char *id) {
        DEASFolderInfoRecord *folder = Folder(id);
        if (folder == nullptr || folder->GetData() == nullptr) return u"";
        DWinMobMessageManager *manager = nullptr;
        if (AllocateMessageManager(&manager, global.get(), nullptr) != kNoError) return u"";
        std::u16string name;
        IMAPIFolder *store = nullptr;
        if (manager->Open(nullptr) == kNoError &&
            MailOpenFolder(manager->GetMsgStore(),
                           std::vector<BYTE>(folder->GetData(), folder->GetData() + folder->GetDataSize()),
                           &store) == S_OK) {
            MailGetString(store, PR_DISPLAY_NAME_W, &name);
            store->Release();
        }
        delete manager;
        return name;
    }

    std::vector<uint32_t> statuses;
};

TEST_F(FolderSyncTest, AddsUpdatesAndDeletesReachBothStores) {
    const std::string adds = "<Count>5</Count>" + Add("1", "0", "Inbox", 2) + Add("2", "0", "Calendar", 8) +
                             Add("10", "1", "Projects", 12) + Add("11", "10", "Old", 12) + Add("12", "0", "Keep", 12);
    ASSERT_EQ(Answer(kCmdFolderSync, FolderSyncXml("1", "K1", adds)), activeSyncErrWaitForCallback);
    EXPECT_EQ(statuses, std::vector<uint32_t>{1});
    EXPECT_TRUE(client.errors.empty());
    EXPECT_EQ(Key(), "K1");
    ASSERT_EQ(Count(), 5u);
    EXPECT_EQ(Folder("1")->GetInt(kFolderFieldType), uint32_t(kFolderTypeInbox));
    EXPECT_TRUE(Folder("1")->IsFlagSet(kFolderFlagSync));
    EXPECT_TRUE(Folder("2")->IsFlagSet(kFolderFlagSync));
    EXPECT_FALSE(Folder("10")->IsFlagSet(kFolderFlagSync));
    EXPECT_EQ(ParentOf("11"), "10");
    // Mail folders got their store folders; the calendar none.
    EXPECT_NE(Folder("1")->GetData(), nullptr);
    EXPECT_EQ(StoreName("10"), u"Projects");
    EXPECT_EQ(StoreName("11"), u"Old");
    EXPECT_EQ(Folder("2")->GetData(), nullptr);
    EXPECT_NE(Log().find("DActiveSyncDataManager::ProcessAddFolderCommandData() - Found Folder\n"), std::string::npos);
    EXPECT_NE(Log().find("DActiveSyncDataManager::RunTask() - finished folder sync command"), std::string::npos);

    // The subfolder moves out before its parent goes; the parent takes its
    // remaining subtree with it.
    const std::string changes = Update("11", "1", "Renamed", 12) + Update("2", "0", "Diary", 8) + Delete("10") +
                                Delete("unknown");
    ASSERT_EQ(Answer(kCmdFolderSync, FolderSyncXml("1", "K2", changes)), activeSyncErrWaitForCallback);
    EXPECT_TRUE(client.errors.empty());
    EXPECT_EQ(Key(), "K2");
    EXPECT_EQ(Folder("10"), nullptr);
    ASSERT_NE(Folder("11"), nullptr);
    EXPECT_STREQ(Folder("11")->GetDisplayName(), "Renamed");
    EXPECT_EQ(ParentOf("11"), "1");
    EXPECT_EQ(StoreName("11"), u"Renamed");
    EXPECT_STREQ(Folder("2")->GetDisplayName(), "Diary");
    EXPECT_EQ(StoreName("12"), u"Keep");
    EXPECT_EQ(statuses.size(), 2u);
}

TEST_F(FolderSyncTest, RefusedAnswersApplyNothing) {
    AddFolder(kFolderTypeCalendar, "2");
    ASSERT_EQ(global->folders.SetFolderSyncKey("K1"), kNoError);
    const std::string changes = Add("5", "0", "New", 1) + Delete("2");
    const struct {
        const char *name;
        std::string xml;
        DErrorCode result;
        int deliveredStatus;  // -1: no record
    } cases[] = {
        // The record takes the status to the engine (9: hierarchy again from key 0).
        {"status 9", FolderSyncXml("9", "K2", changes), activeSyncErrWaitForCallback, 9},
        {"status 9 without Changes", FolderSyncXml("9", "", "", false), activeSyncErrWaitForCallback, 9},
        {"status 12", FolderSyncXml("12", "K2", changes), activeSyncErrWaitForCallback, 12},
        {"status no number", FolderSyncXml("x", "K2", changes), ASDataManagerErrBadStatus, -1},
        {"missing Changes", FolderSyncXml("1", "K2", "", false), ASDataManagerErrMissingData, -1},
        {"key 0", FolderSyncXml("1", "0", changes), ASDataManagerErrMissingData, -1},
        // A later change that lacks an element refuses the earlier ones too.
        {"incomplete Add", FolderSyncXml("1", "K2", changes + "<Add><ServerId>6</ServerId><Type>1</Type></Add>"),
         ASDataManagerErrMissingData, -1},
        {"Update without ParentId",
         FolderSyncXml("1", "K2", changes + "<Update><ServerId>2</ServerId><DisplayName>x</DisplayName><Type>8</Type>"
                                            "</Update>"),
         ASDataManagerErrMissingData, -1},
        {"Delete without ServerId", FolderSyncXml("1", "K2", changes + "<Delete/>"), ASDataManagerErrMissingData, -1},
        {"unknown change", FolderSyncXml("1", "K2", changes + "<Folder><ServerId>7</ServerId></Folder>"),
         ASDataManagerErrBadStatus, -1},
    };
    for (const auto &c : cases) {
        statuses.clear();
        client.records.clear();
        EXPECT_EQ(Answer(kCmdFolderSync, c.xml), c.result) << c.name;
        if (c.deliveredStatus < 0) {
            EXPECT_TRUE(client.records.empty()) << c.name;
        } else {
            EXPECT_EQ(statuses, std::vector<uint32_t>{uint32_t(c.deliveredStatus)}) << c.name;
        }
        EXPECT_EQ(Key(), "K1") << c.name;
        EXPECT_EQ(Count(), 1u) << c.name;
        EXPECT_NE(Folder("2"), nullptr) << c.name;
        EXPECT_EQ(data->GetState(), kDMIdle) << c.name;
    }
    EXPECT_NE(Log().find("[text 85]"), std::string::npos);
}

// A hostile server's hierarchy: each change that would loop the tree, add an
// id twice or carry an id the stores cannot hold is refused; the others apply.
TEST_F(FolderSyncTest, HostileChangesAreRefusedOneByOne) {
    const std::string longID(200, 'z');
    const std::string changes = Add("a", "0", "A", 13) + Add("b", "a", "B", 13) +
                                Add("self", "self", "Self", 13) +         // its own parent
                                Add("a", "0", "Second A", 13) +           // the same id again
                                Add(longID, "0", "Long", 13) +            // too long to hold
                                Add("c", "far", "C", 13) +                // parent not known yet: pending
                                Add("far", "c", "Far", 13) +              // would close a loop through c
                                Update("a", "b", "A", 13) +               // would be its own grandparent
                                Add("d", "0", "D", 13);
    ASSERT_EQ(Answer(kCmdFolderSync, FolderSyncXml("1", "K1", changes)), activeSyncErrWaitForCallback);
    EXPECT_TRUE(client.errors.empty());
    EXPECT_EQ(Key(), "K1");
    EXPECT_EQ(Count(), 4u);  // a, b, c, d
    ASSERT_NE(Folder("a"), nullptr);
    EXPECT_STREQ(Folder("a")->GetDisplayName(), "A");
    EXPECT_EQ(ParentOf("a"), "0");
    EXPECT_EQ(ParentOf("b"), "a");
    EXPECT_EQ(Folder("self"), nullptr);
    EXPECT_EQ(Folder("far"), nullptr);
    ASSERT_NE(Folder("c"), nullptr);
    EXPECT_STREQ(Folder("c")->GetString(kFolderFieldPendingParent), "far");
    EXPECT_TRUE(Folder("c")->IsFlagSet(0x200));
    EXPECT_NE(Folder("d"), nullptr);
    EXPECT_NE(Log().find("ServerId added twice, refused : a"), std::string::npos);
    EXPECT_NE(Log().find("folder would be its own ancestor, refused : self"), std::string::npos);
    EXPECT_NE(Log().find("folder would be its own ancestor, refused : far"), std::string::npos);
    EXPECT_NE(Log().find("DActiveSyncDataManager::ProcessUpdateFolderCommandData() - folder would be its own "
                         "ancestor, refused : a"),
              std::string::npos);
    EXPECT_NE(Log().find("unusable folder id, refused : "), std::string::npos);

    // The pending parent arrives later; a move under an unknown parent is kept pending too.
    ASSERT_EQ(
        Answer(kCmdFolderSync, FolderSyncXml("1", "K2", Add("far", "0", "Far", 13) + Update("d", "gone", "D", 13))),
        activeSyncErrWaitForCallback);
    EXPECT_NE(Folder("far"), nullptr);
    EXPECT_STREQ(Folder("d")->GetString(kFolderFieldPendingParent), "gone");
    EXPECT_TRUE(Folder("d")->IsFlagSet(0x100));
    // Deleting the pending parent takes its pending child along.
    ASSERT_EQ(Answer(kCmdFolderSync, FolderSyncXml("1", "K3", Delete("far"))), activeSyncErrWaitForCallback);
    EXPECT_EQ(Folder("c"), nullptr);
}

TEST_F(FolderSyncTest, FirstFolderSyncNeedsTheDefaultFoldersOfTheTypesOn) {
    Prefs().SetUserSyncEMail(1);
    Prefs().SetUserSyncCalendar(1);
    Prefs().SetUserSyncContacts(1);
    Prefs().SetUserSyncTasks(1);
    const std::string inbox = Add("1", "0", "Inbox", 2), calendar = Add("2", "0", "Calendar", 8),
                      contacts = Add("3", "0", "Contacts", 9), tasks = Add("4", "0", "Tasks", 7);
    const struct {
        const char *name;
        std::string adds;
        DErrorCode error;
        const char *text;
    } cases[] = {
        {"no calendar, no inbox: the inbox first", contacts + tasks, ASDataManagerErrInboxNotFound,
         "DActiveSyncDataManager::ProcessFolderSyncDone() - failed to find inbox\n"},
        {"no calendar", inbox + contacts + tasks, ASDataManagerErrCalendarNotFound,
         "DActiveSyncDataManager::ProcessFolderSyncDone() - failed to find calendar\n"},
        {"no contacts", inbox + calendar + tasks, ASDataManagerErrContactsNotFound,
         "DActiveSyncDataManager::ProcessFolderSyncDone() - failed to find contacts\n"},
        {"no tasks", inbox + calendar + contacts, ASDataManagerErrContactsNotFound,
         "DActiveSyncDataManager::ProcessFolderSyncDone() - failed to find tasks\n"},
        {"all there", inbox + calendar + contacts + tasks, kNoError, nullptr},
    };
    for (const auto &c : cases) {
        global->folders.RemoveAllFolders();
        client.errors.clear();
        client.records.clear();
        global->log.text.clear();
        EXPECT_EQ(Answer(kCmdFirstFolderSync, FolderSyncXml("1", "K1", c.adds)), activeSyncErrWaitForCallback)
            << c.name;
        if (c.error == kNoError) {
            EXPECT_TRUE(client.errors.empty()) << c.name;
            EXPECT_EQ(client.records.size(), 1u) << c.name;
        } else {
            EXPECT_EQ(client.errors, std::vector<DErrorCode>{c.error}) << c.name;
            EXPECT_TRUE(client.records.empty()) << c.name;
            EXPECT_NE(Log().find(c.text), std::string::npos) << c.name;
        }
    }
    // A later FolderSync checks nothing.
    global->folders.RemoveAllFolders();
    client.errors.clear();
    EXPECT_EQ(Answer(kCmdFolderSync, FolderSyncXml("1", "K2", contacts)), activeSyncErrWaitForCallback);
    EXPECT_TRUE(client.errors.empty());
}

}  // namespace
