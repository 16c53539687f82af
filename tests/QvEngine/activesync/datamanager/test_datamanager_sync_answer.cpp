// Sync answers: e-mail answers applied to the provisioned message store's
// Inbox, the answer's status, key and MoreAvailable, hostile answers, and a
// calendar answer against a fake store for the lookups and bookkeeping.
#include "DASDP_SyncResponse.h"
#include "DataManagerFixture.h"
#include "DWinMobMessageManager.h"
#include "IOutlookMessage.h"
#include "MeetingFake.h"
#include "PimStoreFakes.h"

namespace {

std::string Narrow(VString &text) {
    text.ConvertTo(kVStringUTF8);
    return text.GetNarrowText() != nullptr ? text.GetNarrowText() : "";
}

// What the Inbox holds for one server id, read through a manager of its own.
struct MessageFacts {
    bool found = false;
    std::string subject, from, to;
    bool read = false, isNew = false, keptNew = false;
    uint32_t importance = 99;
    struct tm date = {};
    bool hasDate = false;
};

std::string Collection(const std::string &key, const std::string &inner, const std::string &status = "1") {
    return "<Sync xmlns=\"AirSync:\"><Collections><Collection><Class>Email</Class><SyncKey>" + key +
           "</SyncKey><CollectionId>inbox</CollectionId><Status>" + status + "</Status>" + inner +
           "</Collection></Collections></Sync>";
}

std::string MailAdd(const std::string &id, const std::string &subject, const std::string &extra = "") {
    return "<Add><ServerId>" + id + "</ServerId><ApplicationData><Subject xmlns=\"Email:\">" + subject +
           "</Subject>" + extra + "</ApplicationData></Add>";
}

class SyncAnswerTest : public DataManagerTest {
protected:
    void SetUp() override {
        DataManagerTest::SetUp();
        AddFolder(kFolderTypeInbox, "inbox", "K1", kFolderFlagSync);
        // Bind the Inbox to the store as FolderSync does.
        DWinMobMessageManager *binder = nullptr;
        ASSERT_EQ(AllocateMessageManager(&binder, global.get(), &managerClient), kNoError);
        ASSERT_EQ(binder->Open(nullptr), kNoError);
        ASSERT_EQ(binder->AddMailFolder("inbox", nullptr), kNoError);
        delete binder;
        ASSERT_EQ(global->folders.NextSyncFolder(false), kNoError);
        client.onRecord = [this](DClientResponse *r) {
            if (auto *sync = dynamic_cast<DASDP_SyncResponse *>(r)) {
                status = sync->GetStatus();
                more = sync->GetMoreAvailable();
                resetLoop = sync->GetResetLoopCounter();
                added = sync->GetAddedCount();
                changed = sync->GetChangedCount();
                deleted = sync->GetDeletedCount();
            }
        };
    }

    MessageFacts Read(const char *serverID) {
        MessageFacts facts;
        DWinMobMessageManager *reader = nullptr;
        if (AllocateMessageManager(&reader, global.get(), &managerClient) != kNoError) return facts;
        DWinMobOutlookMessageCollection *inbox = nullptr;
        IOutlookItem *item = nullptr;
        if (reader->Open(nullptr) == kNoError && reader->GetMailFolderCollection("inbox", &inbox) == kNoError &&
            inbox->GetItemByID(serverID, &item) == kNoError) {
            auto *message = dynamic_cast<IOutlookMessage *>(item);
            facts.found = message != nullptr;
            VString text;
            if (message->GetSubject(&text) == kNoError) facts.subject = Narrow(text);
            if (message->GetFrom(&text) == kNoError) facts.from = Narrow(text);
            StringListNode list = {nullptr, nullptr};
            if (message->GetTo(&list) == kNoError) {
                VString joined;
                JoinStringList(&joined, &list, "|");
                facts.to = Narrow(joined);
            }
            FreeStringList(&list);
            message->IsRead(&facts.read);
            message->IsNew(&facts.isNew);
            message->IsKeptNew(&facts.keptNew);
            message->GetImportance(&facts.importance);
            facts.hasDate = message->GetDate(&facts.date) == kNoError;
        }
        delete item;
        delete reader;
        return facts;
    }
    uint32_t InboxCount() {
        DWinMobMessageManager *reader = nullptr;
        uint32_t count = 0;
        DWinMobOutlookMessageCollection *inbox = nullptr;
        if (AllocateMessageManager(&reader, global.get(), &managerClient) == kNoError &&
            reader->Open(nullptr) == kNoError && reader->GetMailFolderCollection("inbox", &inbox) == kNoError)
            inbox->GetCount(&count);
        delete reader;
        return count;
    }
    std::string InboxKey() { return Folder("inbox")->GetString(kFolderFieldSyncKey); }
    DErrorCode Mail(const std::string &xml) { return Answer(kCmdEMailSync, xml); }

    SilentManagerClient managerClient;
    uint32_t status = 0, added = 0, changed = 0, deleted = 0;
    int more = -1, resetLoop = -1;
};

TEST_F(SyncAnswerTest, AddsCreateMessagesWithTheirHeaders) {
    const std::string extra =
        "<From xmlns=\"Email:\">Ann Smith &lt;ann@example.test&gt;</From>"
        "<To xmlns=\"Email:\">\"Lee, Bo\" &lt;bo@example.test&gt;, Cy &lt;cy@example.test&gt;, bare@example.test</To>"
        "<DateReceived xmlns=\"Email:\">2009-03-04T05:06:07.000Z</DateReceived>"
        "<Importance xmlns=\"Email:\">2</Importance><Read xmlns=\"Email:\">1</Read>";
    ASSERT_EQ(Mail(Collection("K2", "<Commands>" + MailAdd("1:1", "Hello", extra) + MailAdd("1:2", "Second") +
                                        "</Commands>")),
              activeSyncErrWaitForCallback);
    ASSERT_EQ(client.records.size(), 1u);
    EXPECT_EQ(client.records[0].type, kResponseTypeEmailSync);
    EXPECT_EQ(added, 2u);
    EXPECT_EQ(resetLoop, 1);
    EXPECT_EQ(InboxCount(), 2u);
    const MessageFacts first = Read("1:1");
    ASSERT_TRUE(first.found);
    EXPECT_EQ(first.subject, "Hello");
    EXPECT_EQ(first.from, "\"Ann Smith\" <ann@example.test>");
    // The quoted comma does not split; the bare address stays a recipient as it is.
    // The display name keeps the blank after the separator.
    EXPECT_EQ(first.to, "\"Lee, Bo\" <bo@example.test>|\" Cy\" <cy@example.test>|bare@example.test");
    EXPECT_TRUE(first.read);
    EXPECT_EQ(first.importance, 2u);
    ASSERT_TRUE(first.hasDate);
    EXPECT_EQ(first.date.tm_year, 109);
    EXPECT_EQ(first.date.tm_hour, 5);
    EXPECT_FALSE(Read("1:2").read);
    // The key is the answer's once the commands are in.
    EXPECT_EQ(InboxKey(), "K2");
    EXPECT_NE(Log().find("Next EMAIL Sync Key : K2"), std::string::npos);
}

TEST_F(SyncAnswerTest, ChangeDeleteSoftDeleteAndFetchReachTheirMessages) {
    ASSERT_EQ(Mail(Collection("K2", "<Commands>" + MailAdd("a", "A") + MailAdd("b", "B") + MailAdd("c", "C") +
                                        MailAdd("d", "D") + "</Commands>")),
              activeSyncErrWaitForCallback);
    ASSERT_EQ(InboxCount(), 4u);
    client.records.clear();
    const std::string inner =
        "<Commands><Change><ServerId>a</ServerId><ApplicationData><Read xmlns=\"Email:\">1</Read>"
        "</ApplicationData></Change><Delete><ServerId>b</ServerId></Delete>"
        "<SoftDelete><ServerId>c</ServerId></SoftDelete>"
        "<Fetch><ServerId>d</ServerId><ApplicationData><Subject xmlns=\"Email:\">D whole</Subject>"
        "</ApplicationData></Fetch>"
        "<Change><ServerId>gone</ServerId></Change><Delete><ServerId>gone</ServerId></Delete></Commands>";
    ASSERT_EQ(Mail(Collection("K3", inner)), activeSyncErrWaitForCallback);
    ASSERT_EQ(client.records.size(), 1u);
    EXPECT_EQ(changed, 2u);
    EXPECT_EQ(deleted, 3u);
    EXPECT_TRUE(Read("a").read);
    EXPECT_EQ(Read("a").subject, "A");
    EXPECT_FALSE(Read("b").found);
    EXPECT_FALSE(Read("c").found);
    EXPECT_EQ(Read("d").subject, "D whole");
    EXPECT_EQ(InboxCount(), 2u);
    // A later run finds the Inbox holding items: an Add is looked up first.
    data = std::make_unique<DActiveSyncDataManager>(&client, global.get());
    ASSERT_EQ(Mail(Collection("K4", "<Commands>" + MailAdd("a", "A again") + "</Commands>")),
              activeSyncErrWaitForCallback);
    EXPECT_EQ(InboxCount(), 2u);
    EXPECT_EQ(Read("a").subject, "A again");
    EXPECT_NE(Log().find("Found the Item with Same ID(EM2)"), std::string::npos);
    // Unknown items are skipped, not made.
    EXPECT_FALSE(Read("gone").found);
    EXPECT_NE(Log().find("did not find item (D) :"), std::string::npos);
    EXPECT_EQ(InboxKey(), "K4");
}

TEST_F(SyncAnswerTest, AnswersToDeviceAddsFindTheItemByClientId) {
    ASSERT_EQ(Mail(Collection("K2", "<Commands>" + MailAdd("x", "Mine") + MailAdd("y", "Refused") + "</Commands>")),
              activeSyncErrWaitForCallback);
    // The server answers two device Adds: one accepted with its new id, one
    // refused: ClientId and Status only, no ServerId.
    const std::string inner =
        "<Responses><Add><ClientId>x</ClientId><ServerId>srv-x</ServerId><Status>1</Status></Add>"
        "<Add><ClientId>y</ClientId><Status>6</Status></Add></Responses>";
    ASSERT_EQ(Mail(Collection("K3", inner)), activeSyncErrWaitForCallback);
    EXPECT_EQ(InboxCount(), 2u);
    const MessageFacts accepted = Read("srv-x");
    ASSERT_TRUE(accepted.found);
    EXPECT_EQ(accepted.subject, "Mine");
    EXPECT_FALSE(accepted.isNew);
    // The refused item stays to go again.
    const MessageFacts refused = Read("y");
    ASSERT_TRUE(refused.found);
    EXPECT_TRUE(refused.keptNew);
    EXPECT_NE(Log().find("*Item Node received with Status : 6"), std::string::npos);
    EXPECT_EQ(InboxKey(), "K3");
}

TEST_F(SyncAnswerTest, StatusFourIsTriedOnceThenRefused) {
    ASSERT_EQ(Mail(Collection("K2", "", "4")), activeSyncErrWaitForCallback);
    ASSERT_EQ(client.records.size(), 1u);
    // The retry is asked for, not judged a refusal.
    EXPECT_EQ(more, 1);
    EXPECT_LE(status, 1u);
    EXPECT_NE(Log().find("Attempting to Sync Again!\n"), std::string::npos);
    ASSERT_EQ(Mail(Collection("K2", "", "4")), activeSyncErrWaitForCallback);
    ASSERT_EQ(client.records.size(), 2u);
    EXPECT_EQ(status, 4u);
    EXPECT_EQ(more, 0);
    EXPECT_EQ(InboxKey(), "K1");
    // A success in between mends the fault: the next 4 is tried again.
    ASSERT_EQ(Mail(Collection("K2", "")), activeSyncErrWaitForCallback);
    ASSERT_EQ(Mail(Collection("K3", "", "4")), activeSyncErrWaitForCallback);
    EXPECT_EQ(more, 1);
}

TEST_F(SyncAnswerTest, RefusedStatusesReachTheEngineWithNothingApplied) {
    for (const char *code : {"3", "8", "12", "x"}) {
        SCOPED_TRACE(code);
        client.records.clear();
        ASSERT_EQ(Mail(Collection("K9", "<Commands>" + MailAdd("n", "N") + "</Commands>", code)),
                  activeSyncErrWaitForCallback);
        ASSERT_EQ(client.records.size(), 1u);
        EXPECT_GT(status, 1u);
        EXPECT_EQ(InboxKey(), "K1");
        EXPECT_EQ(InboxCount(), 0u);
    }
    EXPECT_NE(Log().find("[text 87]"), std::string::npos);
}

TEST_F(SyncAnswerTest, MoreAvailableMarksTheNextAnswerAsNewItems) {
    ASSERT_EQ(Mail(Collection("K2", "<Commands>" + MailAdd("m1", "One") + "</Commands><MoreAvailable/>")),
              activeSyncErrWaitForCallback);
    EXPECT_EQ(more, 1);
    EXPECT_NE(Log().find("Detected availabality of more updates."), std::string::npos);
    EXPECT_EQ(InboxKey(), "K2");
}

TEST_F(SyncAnswerTest, AnswerWithoutCommandsRunsTheCleanUpAndAsksForDeviceChanges) {
    // Flag 0x40: one more look for device changes is due.
    Folder("inbox")->SetFlag(kMailFlagRecheckLocal, true);
    Folder("inbox")->SetFlag(kMailFlagLocalChanges, true);
    ASSERT_EQ(Mail(Collection("K1", "")), activeSyncErrWaitForCallback);
    ASSERT_EQ(client.records.size(), 1u);
    EXPECT_NE(Log().find("No Changes recieved from Server.\n"), std::string::npos);
    // Nothing waits: both flags go.
    EXPECT_FALSE(Folder("inbox")->IsFlagSet(kMailFlagRecheckLocal));
    EXPECT_FALSE(Folder("inbox")->IsFlagSet(kMailFlagLocalChanges));
    EXPECT_EQ(more, 0);
    // The same key is no new exchange.
    EXPECT_EQ(resetLoop, 0);
    EXPECT_EQ(data->GetState(), uint32_t(kDMIdle));
}

TEST_F(SyncAnswerTest, UnknownTokensAndOverLongIdsAreSkipped) {
    const std::string longID(128, 'z');
    const std::string inner = "<Commands><Class>odd</Class>" + MailAdd(longID, "Long") + MailAdd("ok", "Fine") +
                              "</Commands>";
    ASSERT_EQ(Mail(Collection("K2", inner)), activeSyncErrWaitForCallback);
    EXPECT_NE(Log().find("unknown change token : "), std::string::npos);
    EXPECT_EQ(InboxCount(), 1u);
    EXPECT_TRUE(Read("ok").found);
    EXPECT_FALSE(Read(longID.substr(0, 127).c_str()).found);
}

TEST_F(SyncAnswerTest, HostileAnswersAreRefusedBeforeAnyChange) {
    struct Case {
        const char *what;
        std::string xml;
        DErrorCode expected;
    } cases[] = {
        {"no SyncKey",
         "<Sync xmlns=\"AirSync:\"><Collections><Collection><Status>1</Status><Commands>" + MailAdd("h", "H") +
             "</Commands></Collection></Collections></Sync>",
         ASDataManagerErrMissingData},
        {"empty SyncKey", Collection("", "<Commands>" + MailAdd("h", "H") + "</Commands>"),
         ASDataManagerErrMissingData},
        // The first command is fine; the second names no item: nothing is applied.
        {"no ServerId", Collection("K5", "<Commands>" + MailAdd("h", "H") +
                                             "<Delete><Class>Email</Class></Delete></Commands>"),
         ASDataManagerErrMissingData},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(Mail(c.xml), c.expected);
        EXPECT_EQ(InboxCount(), 0u);
        EXPECT_EQ(InboxKey(), "K1");
        EXPECT_TRUE(client.records.empty());
    }
}

TEST_F(SyncAnswerTest, ABadDateLeavesTheDateUnset) {
    ASSERT_EQ(Mail(Collection("K2", "<Commands>" +
                                        MailAdd("d1", "Dated",
                                                "<DateReceived xmlns=\"Email:\">2009-13-45T99:00:00Z</DateReceived>"
                                                "<Importance xmlns=\"Email:\">5</Importance>") +
                                        "</Commands>")),
              activeSyncErrWaitForCallback);
    const MessageFacts facts = Read("d1");
    ASSERT_TRUE(facts.found);
    EXPECT_EQ(facts.subject, "Dated");
    // Unset in the store: not the bad text's fields.
    EXPECT_FALSE(facts.hasDate && facts.date.tm_mon == 12);
    EXPECT_EQ(facts.importance, 1u);
    EXPECT_NE(Log().find("unrecognized importance : 5"), std::string::npos);
}

// --- A calendar answer against a fake store ---

class CalendarAnswerTest : public DataManagerTest {
protected:
    void SetUp() override {
        DataManagerTest::SetUp();
        AddFolder(kFolderTypeCalendar, "cal", "C1", kFolderFlagSync);
        UseFakePimStore(*data, kOutlookItemAppointment, &calendar);
        UseFakeMeetings(&calendar);
    }
    static std::string Calendar(const std::string &key, const std::string &inner) {
        return "<Sync xmlns=\"AirSync:\"><Collections><Collection><Class>Calendar</Class><SyncKey>" + key +
               "</SyncKey><CollectionId>cal</CollectionId><Status>1</Status>" + inner +
               "</Collection></Collections></Sync>";
    }
    // The calendar store's items and the operations asked of it.
    FakePimBench calendar;
};

TEST_F(CalendarAnswerTest, LookupsCreatesDeletesAndTheCycleReachTheStore) {
    // The first answer meets an empty store: Adds are made without a search,
    // mapped and created in the store with one commit.
    ASSERT_EQ(Answer(kCmdCalendarSync,
                     Calendar("C2", "<Commands><Add><ServerId>e1</ServerId><ApplicationData>"
                                    "<Subject xmlns=\"Calendar:\">Meet</Subject></ApplicationData></Add>"
                                    "</Commands>")),
              activeSyncErrWaitForCallback);
    ASSERT_EQ(calendar.made, 1);
    EXPECT_EQ(calendar.ops, "create;purge;complete;cycle;changes?;");
    ASSERT_EQ(calendar.records.count("e1"), 1u);
    EXPECT_EQ(calendar.records["e1"].commits, 1);
    EXPECT_EQ(MeetingOf(calendar, "e1").subject, "Meet");
    EXPECT_EQ(Folder("cal")->GetString(kFolderFieldSyncKey), std::string("C2"));

    // Changes are looked up; a Delete removes.
    calendar.records.clear();
    calendar.records["e1"] = PimRecord{};
    calendar.records["e2"] = PimRecord{};
    calendar.ops.clear();
    calendar.changed = true;
    ASSERT_EQ(Answer(kCmdCalendarSync,
                     Calendar("C3", "<Commands><Change><ServerId>e1</ServerId></Change>"
                                    "<Delete><ServerId>e2</ServerId></Delete></Commands>")),
              activeSyncErrWaitForCallback);
    // *wanted was used by the first answer: no more look for changes.
    EXPECT_EQ(calendar.ops, "find e1;find e2;delete e2;purge;complete;cycle;");
    EXPECT_EQ(calendar.records.count("e2"), 0u);
    // Both answers went to the one store.
    EXPECT_EQ(calendar.made, 1);
    EXPECT_NE(Log().find("Found the Item with Same ID(CAL1)"), std::string::npos);
}

TEST_F(CalendarAnswerTest, AnswerToADeviceAddOnlyStoresTheServerId) {
    ASSERT_EQ(Answer(kCmdCalendarSync, Calendar("C2", "")), activeSyncErrWaitForCallback);
    ASSERT_EQ(calendar.made, 1);
    calendar.records["local1"] = PimRecord{true};
    calendar.ops.clear();
    ASSERT_EQ(Answer(kCmdCalendarSync,
                     Calendar("C3", "<Responses><Add><ClientId>local1</ClientId><ServerId>s1</ServerId>"
                                    "<Status>1</Status></Add></Responses>")),
              activeSyncErrWaitForCallback);
    EXPECT_EQ(calendar.ops.rfind("find local1;", 0), 0u);
    ASSERT_EQ(calendar.records.count("local1"), 0u);
    const PimRecord &record = calendar.records["s1"];
    EXPECT_FALSE(record.isNew);
    EXPECT_TRUE(record.sent);
    EXPECT_EQ(record.commits, 1);
}

}  // namespace
