// The mail store's manager base: the mail folders as a collection, and
// emptying every mail folder (special folders message by message, user
// folders as a whole) over a fake message store.
#include <gtest/gtest.h>

#include <map>
#include <memory>

#include "DEASFolderInfoStore.h"
#include "DMessageManager.h"
#include "QvEngine/foundation/FakeGlobalData.h"
#include "VFile.h"
#include "storefakes.h"
#include "support/TestDevice.h"

namespace {

// One mail folder's collection over the fake store folder's messages.
class FakeFolder : public FakeCollectionOps<IMessagingItemCollection> {
public:
    FakeFolder(FakeStore *messages, std::string *closed) : FakeCollectionOps(messages), m_closed(closed) {}
    ~FakeFolder() override { *m_closed += m_id + ";"; }

    DErrorCode SetID(const char *id) override {
        m_id = id;
        return kNoError;
    }
    DErrorCode MatchID(const char *id, bool *equal) override {
        *equal = m_id == id;
        return kNoError;
    }
    DErrorCode GetID(char *, uint32_t) override { return generalErrNotImplemented; }
    DErrorCode Commit() override { return generalErrNotImplemented; }
    DErrorCode CommitNewItem(DActiveTaskSignal *) override { return generalErrNotImplemented; }
    DErrorCode IsNew(bool *) override { return generalErrNotImplemented; }
    DErrorCode SetNew(bool) override { return generalErrNotImplemented; }
    DErrorCode IsDeleted(bool *) override { return generalErrNotImplemented; }
    DErrorCode SetDeleted(bool) override { return generalErrNotImplemented; }
    DErrorCode IsSent(bool *) override { return generalErrNotImplemented; }
    DErrorCode SetSent(bool) override { return generalErrNotImplemented; }
    DErrorCode IsKeptNew(bool *) override { return generalErrNotImplemented; }
    DErrorCode SetKeptNew(bool) override { return generalErrNotImplemented; }
    DErrorCode IsModified(bool *) override { return generalErrNotImplemented; }
    DErrorCode ClearModified() override { return generalErrNotImplemented; }
    DErrorCode HasMovedItems(bool *, DActiveTaskSignal *) override { return generalErrNotImplemented; }
    DErrorCode GetMovedItems(DListNode<IOutlookItem> *, DActiveTaskSignal *) override {
        return generalErrNotImplemented;
    }
    DErrorCode GetDownloadAttachmentItems(DListNode<IOutlookItem> *, DActiveTaskSignal *) override {
        return generalErrNotImplemented;
    }
    DErrorCode HasDownloadAttachmentItems(bool *, DActiveTaskSignal *) override { return generalErrNotImplemented; }
    DErrorCode GetMeetingRequestResponseItems(DListNode<IOutlookItem> *, DActiveTaskSignal *) override {
        return generalErrNotImplemented;
    }
    DErrorCode HasMeetingRequestResponseItems(bool *, DActiveTaskSignal *) override {
        return generalErrNotImplemented;
    }
    DErrorCode MoveToSentItems(IOutlookMessage *, DActiveTaskSignal *) override { return generalErrNotImplemented; }
    DErrorCode RunTask() override { return kNoError; }
    void CancelTask() override {}

private:
    std::string *m_closed;
    std::string m_id;
};

// A message store of store folders by server id; what it did goes to ops.
class FakeMessageManager : public DMessageManager {
public:
    std::map<std::string, FakeStore> storeFolders;
    std::string ops;
    // Server ids of the collections deleted.
    std::string closed;
    int allocations = 0;
    DErrorCode deleteFolderError = kNoError;
    // The platform may drop the folder's record too.
    bool dropRecord = false;

    ~FakeMessageManager() override { DeleteAllCollections(); }
    void DropCollections() { DeleteAllCollections(); }

    DErrorCode Open() override { return kNoError; }
    DErrorCode Close() override { return kNoError; }
    DErrorCode Reopen() override { return kNoError; }
    DErrorCode GetName(VString *) override { return generalErrNotImplemented; }
    DErrorCode Reserved() override { return generalErrNotImplemented; }
    DErrorCode CreateNewItem(uint32_t, IOutlookItem **, DActiveTaskSignal *) override {
        return generalErrNotImplemented;
    }
    DErrorCode DeleteItem(IOutlookItem *, DActiveTaskSignal *) override { return generalErrNotImplemented; }
    DErrorCode FindItemByID(const char *, IOutlookItem **, DActiveTaskSignal *) override {
        return generalErrNotImplemented;
    }
    DErrorCode GetChangedItems(DListNode<IOutlookItem> *, DActiveTaskSignal *) override {
        return generalErrNotImplemented;
    }
    DErrorCode HasChangedItems(bool *, DActiveTaskSignal *) override { return generalErrNotImplemented; }

protected:
    DErrorCode AllocateOutlookItemCollection(DEASFolderInfoRecord *folder,
                                             IMessagingItemCollection **collection) override {
        auto found = storeFolders.find(folder->GetString(kFolderFieldServerID));
        if (found == storeFolders.end()) return generalErrItemNotFound;
        ++allocations;
        *collection = new FakeFolder(&found->second, &closed);
        return kNoError;
    }
    DErrorCode GetInboxCollection(IMessagingItemCollection **c) override {
        return GetFolderCollectionOfType(kFolderTypeInbox, c);
    }
    DErrorCode GetOutboxCollection(IMessagingItemCollection **c) override {
        return GetFolderCollectionOfType(kFolderTypeOutbox, c);
    }
    DErrorCode GetDraftsCollection(IMessagingItemCollection **c) override {
        return GetFolderCollectionOfType(kFolderTypeDrafts, c);
    }
    DErrorCode GetSentItemsCollection(IMessagingItemCollection **c) override {
        return GetFolderCollectionOfType(kFolderTypeSentItems, c);
    }
    DErrorCode GetDeletedItemsCollection(IMessagingItemCollection **c) override {
        return GetFolderCollectionOfType(kFolderTypeDeletedItems, c);
    }
    DErrorCode DeleteStoreFolder(const char *serverID) override {
        ops += std::string("drop ") + serverID + ";";
        if (deleteFolderError != kNoError) return deleteFolderError;
        storeFolders.erase(serverID);
        if (dropRecord) {
            DEASFolderInfoRecord *folder = nullptr;
            if (GetFolderStore()->FindFolderByServerID(serverID, &folder) == kNoError)
                GetFolderStore()->RemoveFolderTree(folder);
        }
        return kNoError;
    }
    DErrorCode CompleteSentItems() override { return FinishTask(kNoError, kJobCompleteSentItems); }
    DErrorCode PurgeDeletedItems() override { return FinishTask(kNoError, kJobPurgeDeletedItems); }
};

class MailContext : public FakeGlobalData {
public:
    MailContext(ILogProvider *log, DActiveTaskManager *tasks, DEASFolderInfoStore *folders)
        : FakeGlobalData(log, tasks), m_folders(folders) {}
    DEASFolderInfoStore *GetFolderInfoStore() override { return m_folders; }

private:
    DEASFolderInfoStore *m_folders;
};

class MessageManagerTest : public DeviceTest {
protected:
    MessageManagerTest() : tasks(nullptr), folders(&file), context(&log, &tasks, &folders), requester(&tasks) {}
    void SetUp() override {
        DeviceTest::SetUp();
        ASSERT_EQ(file.SetFileName(u"\\FolderInfo.brw"), kNoError);
        ASSERT_EQ(folders.Open(kDBReadWrite, true), kNoError);
        ASSERT_EQ(manager.InitForSync(&context, &client), kNoError);
    }
    void TearDown() override {
        folders.Close();
        DeviceTest::TearDown();
    }
    void AddFolder(uint32_t type, const char *serverID) {
        DEASFolderInfoRecord *folder = nullptr;
        ASSERT_EQ(folders.AddFolder(&folder, type, serverID, serverID, nullptr, nullptr, 0, kQvUnknown, 0), kNoError);
    }
    // A store folder with messages for the folder.
    void AddStoreFolder(const char *serverID, std::vector<std::string> messages) {
        manager.storeFolders[serverID] = FakeStore(std::move(messages));
    }
    std::string IdOf(IOutlookItem *item) {
        for (const char *id : {"inbox", "user1", "sent", "calendar", "contacts"}) {
            bool equal = false;
            if (item->MatchID(id, &equal) == kNoError && equal) return id;
        }
        return "?";
    }

    MemoryLog log;
    DActiveTaskManager tasks;
    VFile file;
    DEASFolderInfoStore folders;
    MailContext context;
    RecordingClient client;
    RequesterTask requester;
    FakeMessageManager manager;
};

TEST_F(MessageManagerTest, CountsAndListsTheMailFoldersOnly) {
    AddFolder(kFolderTypeCalendar, "calendar");
    AddFolder(kFolderTypeInbox, "inbox");
    AddFolder(kFolderTypeContacts, "contacts");
    AddFolder(kFolderTypeUserMail, "user1");
    AddFolder(kFolderTypeUserCalendar, "usercal");
    AddFolder(kFolderTypeSentItems, "sent");
    for (const char *id : {"calendar", "inbox", "contacts", "user1", "sent"}) AddStoreFolder(id, {});

    uint32_t count = 0;
    ASSERT_EQ(manager.GetCount(&count), kNoError);
    EXPECT_EQ(count, 3u);
    // Every index below the count is a mail folder, in store order.
    const char *expected[] = {"inbox", "user1", "sent"};
    for (uint32_t i = 0; i < count; ++i) {
        IOutlookItem *item = nullptr;
        ASSERT_EQ(manager.GetItem(i, &item), kNoError);
        EXPECT_EQ(IdOf(item), expected[i]);
    }
    IOutlookItem *item = nullptr;
    EXPECT_EQ(manager.GetItem(count, &item), generalErrIndexOutOfRange);
    EXPECT_EQ(item, nullptr);

    // One collection per folder, kept by the manager.
    IOutlookItem *again = nullptr;
    ASSERT_EQ(manager.GetItem(0, &item), kNoError);
    ASSERT_EQ(manager.GetItemByID("inbox", &again), kNoError);
    EXPECT_EQ(item, again);
    EXPECT_EQ(manager.allocations, 3);
    EXPECT_EQ(manager.GetItemByID("nowhere", &again), generalErrItemNotFound);
    EXPECT_EQ(manager.GetItem(0, nullptr), generalErrInvalidParameter);
}

TEST_F(MessageManagerTest, DeleteExistingItemsEmptiesTheSpecialFoldersThenDropsTheUserFolders) {
    AddFolder(kFolderTypeUserMail, "user1");
    AddFolder(kFolderTypeInbox, "inbox");
    AddFolder(kFolderTypeOutbox, "outbox");
    AddFolder(kFolderTypeSentItems, "sent");  // no Drafts folder at all
    AddFolder(kFolderTypeDeletedItems, "trash");
    AddFolder(kFolderTypeUserMail, "unmirrored");  // no store folder
    AddFolder(kFolderTypeCalendar, "calendar");
    AddFolder(kFolderTypeUserMail, "user2");
    AddStoreFolder("inbox", {"i1", "i2"});
    AddStoreFolder("outbox", {"o1"});
    AddStoreFolder("sent", {});
    AddStoreFolder("trash", {"t1"});
    AddStoreFolder("user1", {"u1", "u2"});
    AddStoreFolder("user2", {});

    ASSERT_EQ(manager.DeleteExistingItems(requester.GetSignal()), kNoError);
    RunTurns(tasks);

    EXPECT_EQ(requester.completions, 1);
    EXPECT_EQ(requester.code, kNoError);
    EXPECT_EQ(manager.GetFolderStep(), kFolderStepFinished);
    EXPECT_EQ(manager.GetJob(), kJobIdle);
    for (const char *id : {"inbox", "outbox", "sent", "trash"}) {
        SCOPED_TRACE(id);
        ASSERT_EQ(manager.storeFolders.count(id), 1u);
        EXPECT_EQ(manager.storeFolders[id].Ids(), "");
    }
    EXPECT_EQ(manager.storeFolders["inbox"].ops, "del i2;del i1;");
    // The user folders go whole, their messages with them, and their
    // collections with them.
    EXPECT_EQ(manager.ops, "drop user1;drop user2;");
    EXPECT_EQ(manager.storeFolders.count("user1") + manager.storeFolders.count("user2"), 0u);
    EXPECT_EQ(manager.closed, "user1;user2;");
    // Progress per message folder: Inbox, Outbox, Deleted Items.
    EXPECT_EQ(client.reports, (std::vector<std::string>{"1/2 left 1", "2/2 left 0", "1/1 left 0", "1/1 left 0"}));

    const char *steps[] = {
        "DMessageManager::DeleteExistingItems() From INBOX\n",
        "DMessageManager::DeleteExistingItems() need to delete all messages :2\n",
        "DMessageManager::DeleteExistingItems() From OUTBOX\n",
        "DMessageManager::DeleteExistingItems() From DRAFTS\n",
        "DMessageManager::DeleteExistingItems() need to delete all messages :0\n",
        "DMessageManager::DeleteExistingItems() From SENT\n",
        "DMessageManager::DeleteExistingItems() from TRASH\n",
        "DMessageManager::DeleteExistingItems() - FINISHED\n",
    };
    size_t at = 0;
    for (const char *step : steps) {
        size_t found = log.text.find(step, at);
        EXPECT_NE(found, std::string::npos) << step << "\n" << log.text;
        if (found != std::string::npos) at = found;
    }
}

TEST_F(MessageManagerTest, UserFoldersAreAllVisitedWhateverTheirDeletionDoes) {
    const struct {
        const char *label;
        DErrorCode deleteError;
        bool dropRecord;
    } cases[] = {
        {"the store drops only the store folder", kNoError, false},
        {"the store drops the folder's record too", kNoError, true},
        {"the deletion fails: logged, and the walk goes on", 0x80004005, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.label);
        ASSERT_EQ(folders.RemoveAllFolders(), kNoError);
        AddFolder(kFolderTypeInbox, "inbox");
        for (const char *id : {"a", "b", "c"}) {
            AddFolder(kFolderTypeUserMail, id);
            AddStoreFolder(id, {"m"});
        }
        manager.ops.clear();
        manager.deleteFolderError = c.deleteError;
        manager.dropRecord = c.dropRecord;
        log.text.clear();
        RequesterTask waiter(&tasks);

        ASSERT_EQ(manager.DeleteExistingItems(waiter.GetSignal()), kNoError);
        RunTurns(tasks);
        EXPECT_EQ(manager.ops, "drop a;drop b;drop c;");
        EXPECT_EQ(waiter.completions, 1);
        EXPECT_EQ(waiter.code, kNoError);
        if (c.deleteError != kNoError) {
            EXPECT_TRUE(
                log.Has("DMessageManager::DeleteAllInCurrFolder() failed to delete a folder (ERR) : 0x80004005\n"))
                << log.text;
            // A folder that stayed keeps its messages: nothing went one by one.
            EXPECT_EQ(manager.storeFolders["b"].Ids(), "m");
        }
        // The open collections go with the store folders they were over.
        manager.DropCollections();
        manager.storeFolders.clear();
    }
}

TEST_F(MessageManagerTest, AFolderPassThatCannotStartEndsTheJobAndTellsTheRequester) {
    AddFolder(kFolderTypeInbox, "inbox");
    AddFolder(kFolderTypeOutbox, "outbox");
    AddStoreFolder("inbox", {"i1"});
    AddStoreFolder("outbox", {"o1"});
    manager.storeFolders["outbox"].countError = 0x80004005;

    ASSERT_EQ(manager.DeleteExistingItems(requester.GetSignal()), kNoError);
    RunTurns(tasks);
    EXPECT_EQ(requester.completions, 1);
    EXPECT_EQ(requester.code, DErrorCode(0x80004005));
    EXPECT_EQ(manager.GetJob(), kJobIdle);
    EXPECT_EQ(manager.storeFolders["inbox"].Ids(), "");
    EXPECT_EQ(manager.storeFolders["outbox"].Ids(), "o1");

    // The first pass failing is the caller's answer, and nothing starts.
    manager.storeFolders["inbox"].countError = 0x80070005;
    manager.storeFolders["inbox"].records.push_back(FakeRecord{"i2"});
    EXPECT_EQ(manager.DeleteExistingItems(requester.GetSignal()), DErrorCode(0x80070005));
    EXPECT_EQ(manager.GetJob(), kJobIdle);
    RunTurns(tasks);
    EXPECT_EQ(requester.completions, 1);
}

}  // namespace
