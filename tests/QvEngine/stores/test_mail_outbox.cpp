// The Outbox of a server that names none in its folder list: outgoing mail
// the mail program put into the store's own Outbox is still found, sent
// and filed; a server Outbox, once named, is the one used.
#include "MailStoreFixture.h"

namespace {

using MailOutboxTest = MailStoreFixture;

TEST_F(MailOutboxTest, WithoutAServerOutboxTheStoresOwnHoldsTheOutgoingMail) {
    OpenManager();
    // The folders such a server names: no Outbox among them.
    AddFolder(kFolderTypeInbox, "inbox");
    AddFolder(kFolderTypeSentItems, "sent");
    for (const char *id : {"inbox", "sent"}) ASSERT_EQ(manager->AddMailFolder(id, nullptr), kNoError) << id;
    const std::vector<BYTE> outbox = StoreEntryID(PR_IPM_OUTBOX_ENTRYID), sentItems = EntryIDOf("sent");
    const std::vector<BYTE> id = AddMessage(outbox, u"out");
    // As the mail watcher records a message put into the Outbox.
    const CEOID record = AddRecord(outbox, u"s1", kShadowFlagNew, false, id);

    DWinMobOutlookMessageCollection *collection = nullptr;
    ASSERT_EQ(manager->GetOutboxCollection(&collection), kNoError);
    ASSERT_NE(collection, nullptr);
    EXPECT_EQ(collection->GetFolderEntryID(), outbox);
    uint32_t count = 0;
    ASSERT_EQ(collection->GetCount(&count), kNoError);
    EXPECT_EQ(count, 1u);
    // Asked again, the same collection.
    DWinMobOutlookMessageCollection *again = nullptr;
    ASSERT_EQ(manager->GetOutboxCollection(&again), kNoError);
    EXPECT_EQ(again, collection);

    // Sent, it is filed like any other.
    ASSERT_EQ(prefs.SetDeleteSentItemDateRange(0), kNoError);
    IOutlookItem *item = nullptr;
    ASSERT_EQ(collection->GetItem(0, &item), kNoError);
    ASSERT_EQ(manager->FinishSentMessage(collection, dynamic_cast<IOutlookMessage *>(item), &requester.signal),
              kNoError);
    delete item;
    EXPECT_EQ(MessageCount(outbox), 0u);
    EXPECT_EQ(MessageCount(sentItems), 1u);
    EXPECT_FALSE(RecordExists(record));

    // A server Outbox named later is the one used from then on.
    AddFolder(kFolderTypeOutbox, "outbox");
    ASSERT_EQ(manager->AddMailFolder("outbox", nullptr), kNoError);
    ASSERT_EQ(manager->GetOutboxCollection(&collection), kNoError);
    EXPECT_NE(collection, again);
    EXPECT_EQ(collection->GetFolderEntryID(), EntryIDOf("outbox"));
}

TEST_F(MailOutboxTest, WithoutAnOpenStoreThereIsNoOutbox) {
    DWinMobOutlookMessageCollection *collection = nullptr;
    EXPECT_EQ(manager->GetOutboxCollection(&collection), generalErrItemNotFound);
    EXPECT_EQ(collection, nullptr);
}

}  // namespace
