// The message folder collection: the change questions over the folder's
// shadow records, fetching, creating and deleting messages, and clearing
// Sent Items by age.
#include <gtest/gtest.h>

#include "DWinMobOutlookMessage.h"
#include "MailStoreFixture.h"
#include "wintime.h"

namespace {

class MailCollectionTest : public MailStoreFixture {
protected:
    void SetUp() override {
        MailStoreFixture::SetUp();
        OpenManager();
        BindSpecialFolders();
        ASSERT_EQ(manager->GetInboxCollection(&inbox), kNoError);
        inboxID = EntryIDOf("inbox");
    }

    // The server id of the shadow record the message stands on.
    std::string ServerIDOf(IOutlookItem *item) {
        auto *message = dynamic_cast<DWinMobOutlookMessage *>(item);
        DWinMobShadowRecord *record = message != nullptr ? message->GetShadowRecord() : nullptr;
        if (record == nullptr || !record->HasServerID()) return "";
        const std::u16string id = record->GetServerID();
        return std::string(id.begin(), id.end());
    }

    DWinMobOutlookMessageCollection *inbox = nullptr;
    std::vector<BYTE> inboxID;
};

struct QuestionCase {
    uint32_t flags;
    bool changed, moved, response, download;
};

TEST_F(MailCollectionTest, QuestionsAdmitRecordsByTheirFlags) {
    const QuestionCase cases[] = {
        {0, false, false, false, false},
        {kShadowFlagReadChanged, true, false, false, false},
        {kShadowFlagRemainderRequested, true, false, false, false},
        {kShadowFlagDeleted, true, false, false, false},
        // A pending meeting response is its own question, never a change.
        {kShadowFlagMeetingResponsePending, false, false, true, false},
        {kShadowFlagMeetingResponsePending | kShadowFlagReadChanged, false, false, true, false},
        {kShadowFlagDeleted | kShadowFlagMeetingResponsePending, false, false, true, false},
        {kShadowFlagMoved, false, true, false, false},
        {kShadowFlagAttachmentRequested, false, false, false, true},
        {kShadowFlagAttachmentRequested | kShadowFlagDeleted, true, false, false, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << "flags 0x" << std::hex << c.flags);
        ASSERT_EQ(shadow.DeleteAll(), kNoError);
        AddRecord(inboxID, u"m1", c.flags);
        AddRecord(EntryIDOf("outbox"), u"elsewhere", kShadowFlagReadChanged | kShadowFlagMoved);  // not this folder
        bool changed = !c.changed, moved = !c.moved, response = !c.response, download = !c.download;
        EXPECT_EQ(inbox->HasChangedItems(&changed, &requester.signal), kNoError);
        EXPECT_EQ(requester.signal.GetCode(), kNoError);
        EXPECT_EQ(inbox->HasMovedItems(&moved, nullptr), kNoError);
        EXPECT_EQ(inbox->HasMeetingRequestResponseItems(&response, nullptr), kNoError);
        EXPECT_EQ(inbox->HasDownloadAttachmentItems(&download, nullptr), kNoError);
        EXPECT_EQ(changed, c.changed);
        EXPECT_EQ(moved, c.moved);
        EXPECT_EQ(response, c.response);
        EXPECT_EQ(download, c.download);
    }
}

TEST_F(MailCollectionTest, GetChangedItemsAnswersFromTheScanOfHasChangedItems) {
    const CEOID first = AddRecord(inboxID, u"a", kShadowFlagReadChanged);
    AddRecord(inboxID, u"quiet", 0, false);
    AddRecord(inboxID, u"b", kShadowFlagDeleted);
    bool changed = false;
    ASSERT_EQ(inbox->HasChangedItems(&changed, nullptr), kNoError);
    EXPECT_TRUE(changed);
    // The scan picked the changed records up.
    uint32_t state = 0;
    ASSERT_EQ(ShadowReadUInt(shadow.GetHandle(), first, kShadowPropState, &state), kNoError);
    EXPECT_EQ(state, uint32_t(kShadowPickedUp));
    // A change after the scan waits for the next one.
    AddRecord(inboxID, u"late", kShadowFlagReadChanged);
    DListNode<IOutlookItem> list;
    ASSERT_EQ(inbox->GetChangedItems(&list, &requester.signal), kNoError);
    EXPECT_EQ(requester.signal.GetCode(), kNoError);
    std::vector<std::string> ids;
    for (DListNode<IOutlookItem> *node = &list; node != nullptr; node = node->next)
        if (node->item != nullptr) ids.push_back(ServerIDOf(node->item));
    list.Free();
    EXPECT_EQ(ids, (std::vector<std::string>{"a", "b"}));
}

TEST_F(MailCollectionTest, ItemsAreTheFoldersShadowRecordsInOrder) {
    // Emptiness: another folder's record (first in order) is none of the Inbox's.
    bool empty = false;
    ASSERT_EQ(inbox->IsEmpty(&empty), kNoError);
    EXPECT_TRUE(empty);
    AddRecord(EntryIDOf("outbox"), u"first", 0, false);
    ASSERT_EQ(inbox->IsEmpty(&empty), kNoError);
    EXPECT_TRUE(empty);
    AddRecord(inboxID, u"x", 0, false);
    AddRecord(EntryIDOf("outbox"), u"other", 0, false);
    AddRecord(inboxID, u"y", 0, false);
    ASSERT_EQ(inbox->IsEmpty(&empty), kNoError);
    EXPECT_FALSE(empty);
    uint32_t count = 0;
    ASSERT_EQ(inbox->GetCount(&count), kNoError);
    EXPECT_EQ(count, 2u);
    IOutlookItem *item = nullptr;
    ASSERT_EQ(inbox->GetItem(1, &item), kNoError);
    EXPECT_EQ(ServerIDOf(item), "y");
    delete item;
    EXPECT_EQ(inbox->GetItem(2, &item), generalErrIndexOutOfRange);
    EXPECT_TRUE(log.Has("DWinMobOutlookMessageCollection::GetItem() - Requested msg index is too large 2"));
    EXPECT_EQ(inbox->GetItemByID("other", &item), generalErrItemNotFound);
    // FindItemByID tells "not found" through the completion only.
    EXPECT_EQ(inbox->FindItemByID("other", &item, &requester.signal), kNoError);
    EXPECT_EQ(requester.signal.GetCode(), generalErrItemNotFound);
    EXPECT_EQ(item, nullptr);
    VString name;
    ASSERT_EQ(inbox->GetName(&name), kNoError);
    EXPECT_GT(name.GetLength(), 0u);
    EXPECT_EQ(inbox->Reserved(), messageManagerErrAccessDenied);
}

// A sweep by ascending index goes on from where the last GetItem left off,
// unless a record before that point went meanwhile (another process's
// delete in another folder moves every position after it, but no index).
TEST_F(MailCollectionTest, SweepsStayOnTheIndexthRecordWhenRecordsGo) {
    AddRecord(inboxID, u"a", 0, false);
    const CEOID other = AddRecord(EntryIDOf("outbox"), u"other", 0, false);
    for (const char16_t *id : {u"b", u"c", u"d"}) AddRecord(inboxID, id, 0, false);
    const auto at = [&](uint32_t index) {
        IOutlookItem *item = nullptr;
        EXPECT_EQ(inbox->GetItem(index, &item), kNoError) << index;
        std::string id = item != nullptr ? ServerIDOf(item) : "";
        delete item;
        return id;
    };
    EXPECT_EQ(at(0), "a");
    EXPECT_EQ(at(1), "b");
    DWinMobShadowRecord gone;
    ASSERT_EQ(shadow.LoadRecord(&gone, other), kNoError);
    ASSERT_EQ(shadow.DeleteRecord(&gone), kNoError);
    EXPECT_EQ(at(2), "c");
    EXPECT_EQ(at(3), "d");
    EXPECT_EQ(at(0), "a");
}

TEST_F(MailCollectionTest, DeleteItemOfAMessageAlreadyGoneStillDeletesItsRecord) {
    const std::vector<BYTE> id = AddMessage(inboxID, u"gone");
    const CEOID record = AddRecord(inboxID, u"g1", 0, false, id);
    IOutlookItem *item = nullptr;
    ASSERT_EQ(inbox->GetItemByID("g1", &item), kNoError);
    // The user deleted it for good meanwhile.
    IMAPIFolder *folder = OpenFolder(inboxID);
    SBinary entry{ULONG(id.size()), const_cast<BYTE *>(id.data())};
    ENTRYLIST list{1, &entry};
    ASSERT_EQ(folder->DeleteMessages(&list, 0, nullptr, 0), S_OK);
    folder->Release();
    EXPECT_EQ(inbox->DeleteItem(item, &requester.signal), kNoError);
    EXPECT_EQ(requester.signal.GetCode(), kNoError);
    delete item;
    EXPECT_FALSE(RecordExists(record));
}

TEST_F(MailCollectionTest, CreateNewItemMakesOneRecordThatGoesWithTheMessage) {
    const CEOID other = AddRecord(inboxID, u"keep", 0, false);
    IOutlookItem *item = nullptr;
    EXPECT_EQ(inbox->CreateNewItem(1, &item, &requester.signal), messageManagerErrUnsupportedType);
    EXPECT_EQ(requester.signal.GetCode(), messageManagerErrUnsupportedType);
    EXPECT_EQ(item, nullptr);
    EXPECT_EQ(inbox->CreateNewItem(kOutlookItemContact, &item, nullptr), kNoError);
    EXPECT_EQ(item, nullptr);
    EXPECT_EQ(RecordCount(), 1u);

    // Created, then deleted before it was ever written: its record goes once.
    ASSERT_EQ(inbox->CreateNewItem(kOutlookItemEmail, &item, nullptr), kNoError);
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(RecordCount(), 2u);
    EXPECT_EQ(inbox->DeleteItem(item, nullptr), kNoError);
    delete item;
    EXPECT_EQ(RecordCount(), 1u);
    EXPECT_TRUE(RecordExists(other));
    // Created and dropped: no orphan is left.
    ASSERT_EQ(inbox->CreateNewItem(kOutlookItemEmail, &item, nullptr), kNoError);
    delete item;
    EXPECT_EQ(RecordCount(), 1u);
    EXPECT_TRUE(RecordExists(other));
}

TEST_F(MailCollectionTest, MoveToSentItemsMovesTheMessageAndDropsItsRecord) {
    const std::vector<BYTE> outboxID = EntryIDOf("outbox");
    DWinMobOutlookMessageCollection *outbox = nullptr;
    ASSERT_EQ(manager->GetOutboxCollection(&outbox), kNoError);
    const std::vector<BYTE> id = AddMessage(outboxID, u"done");
    const CEOID record = AddRecord(outboxID, u"o1", 0, false, id);
    IOutlookItem *item = nullptr;
    ASSERT_EQ(outbox->GetItemByID("o1", &item), kNoError);
    EXPECT_EQ(outbox->MoveToSentItems(dynamic_cast<IOutlookMessage *>(item), &requester.signal), kNoError);
    EXPECT_EQ(requester.signal.GetCode(), kNoError);
    delete item;
    EXPECT_EQ(MessageCount(outboxID), 0u);
    EXPECT_EQ(MessageCount(EntryIDOf("sent")), 1u);
    EXPECT_FALSE(RecordExists(record));
}

// --- Clearing Sent Items by age ---

class SentItemsAgeTest : public MailCollectionTest {
protected:
    void SetUp() override {
        vplat::ClockUseVirtual(0, kStartMs);
        MailCollectionTest::SetUp();
        ASSERT_EQ(manager->GetSentItemsCollection(&sent), kNoError);
        sentID = EntryIDOf("sent");
    }
    void TearDown() override {
        MailCollectionTest::TearDown();
        vplat::ClockUseReal();
    }

    // Messages written at the times given (hours after the start), then the
    // clock moved to "now" (hours after the start).
    void Fill(const std::vector<uint64_t> &hours, uint64_t nowHours) {
        uint64_t at = 0;
        for (uint64_t h : hours) {
            vplat::ClockAdvance((h - at) * kHourMs);
            at = h;
            AddMessage(sentID, u"sent");
        }
        vplat::ClockAdvance((nowHours - at) * kHourMs);
    }

    static constexpr int64_t kStartMs = 1700000000000;
    static constexpr uint64_t kHourMs = 3600000;
    DWinMobOutlookMessageCollection *sent = nullptr;
    std::vector<BYTE> sentID;
};

TEST_F(SentItemsAgeTest, ThreeDaysIsTheLimitOfSettingTwo) {
    // 12 messages exactly 3 days old at the end, 13 that are 2 days 23 hours
    // old: 25 rows, read ten at a time.
    std::vector<uint64_t> hours(12, 0);
    hours.insert(hours.end(), 13, 1);
    Fill(hours, 72);
    uint32_t count = 0;
    ASSERT_EQ(sent->GetCount(&count), kNoError);
    ASSERT_EQ(count, 25u);
    EXPECT_EQ(sent->ClearSentItems(2), kNoError);
    EXPECT_EQ(MessageCount(sentID), 13u);
    EXPECT_TRUE(log.Has("Num. of Sent items: 25"));
    EXPECT_TRUE(log.Has("Delete sent item count 12"));
}

TEST_F(SentItemsAgeTest, SettingsAllNoneAndOutOfRange) {
    std::vector<uint64_t> hours(25, 0);
    Fill(hours, 1);
    for (uint32_t range : {0u, 6u, 0xFFFFu}) {
        EXPECT_EQ(sent->ClearSentItems(range), kNoError) << range;
        EXPECT_EQ(MessageCount(sentID), 25u) << range;
    }
    EXPECT_TRUE(log.Has("DeleteSentItemDateRange"));
    EXPECT_EQ(sent->ClearSentItems(1), kNoError);
    EXPECT_EQ(MessageCount(sentID), 0u);
}

TEST_F(SentItemsAgeTest, ClearAllEmptiesAFolderOfManyMessages) {
    std::vector<uint64_t> hours(25, 0);
    Fill(hours, 0);
    EXPECT_EQ(sent->ClearAllMessageFromMAPIFolder(), kNoError);
    EXPECT_EQ(MessageCount(sentID), 0u);
    EXPECT_TRUE(log.Has("Delete messages item count 25"));
}

}  // namespace
