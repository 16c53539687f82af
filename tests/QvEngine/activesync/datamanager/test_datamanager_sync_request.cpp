// Request bodies built from the device stores: Sync per type with its
// options and the e-mail change list (from real messages and their shadow
// records in the provisioned store), meeting responses one per item, and
// MoveItems.
#include "DataManagerFixture.h"
#include "RequestMailSupport.h"

namespace {

class SyncRequestTest : public MailFoldersTest {
protected:
    void InboxChanged() { Folder("inbox")->SetFlag(kMailFlagLocalChanges, true); }
    static size_t Count(const std::string &text, const std::string &what) {
        size_t n = 0;
        for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
        return n;
    }
};

std::string SyncOf(const std::string &collection) {
    return "<Sync xmlns=\"AirSync:\"><Collections><Collection>" + collection + "</Collection></Collections></Sync>";
}

TEST_F(SyncRequestTest, EachTypeSyncsItsFolderWithItsOptions) {
    AddFolder(kFolderTypeCalendar, "cal", "k-c");
    AddFolder(kFolderTypeContacts, "con", "k-n");
    AddFolder(kFolderTypeTasks, "tsk", "0");
    Prefs().SetSyncCalDateRange(4);
    Prefs().SetSyncEMailDateRange(2);
    Prefs().SetSyncEMailDataSize(1);
    const std::string regular = "<DeletesAsMoves/><GetChanges/><WindowSize>50</WindowSize>";
    struct Case {
        uint32_t step, type;
        std::string collection;
    } cases[] = {
        {17, kResponseTypeSyncData,
         "<Class>Calendar</Class><SyncKey>k-c</SyncKey><CollectionId>cal</CollectionId>" + regular +
             "<Options><FilterType>4</FilterType><Truncation>4</Truncation><RTFTruncation>4</RTFTruncation>"
             "<Conflict>1</Conflict></Options>"},
        // Contacts are never filtered by date.
        {18, kResponseTypeSyncData,
         "<Class>Contacts</Class><SyncKey>k-n</SyncKey><CollectionId>con</CollectionId>" + regular +
             "<Options><Truncation>4</Truncation><RTFTruncation>4</RTFTruncation><Conflict>1</Conflict></Options>"},
        {19, kResponseTypeSyncData,
         "<Class>Tasks</Class><SyncKey>0</SyncKey><CollectionId>tsk</CollectionId>" + regular +
             "<Options><FilterType>0</FilterType><Truncation>4</Truncation><RTFTruncation>4</RTFTruncation>"
             "<Conflict>1</Conflict></Options>"},
        // E-mail without local changes: no Commands.
        {14, kResponseTypeSyncData,
         "<Class>Email</Class><SyncKey>k-i</SyncKey><CollectionId>inbox</CollectionId>" + regular +
             "<Options><FilterType>2</FilterType><Truncation>1</Truncation><Conflict>1</Conflict></Options>"},
        // First Syncs carry neither options nor changes.
        {5, kResponseTypeSyncData, "<Class>Calendar</Class><SyncKey>k-c</SyncKey><CollectionId>cal</CollectionId>"},
        {4, kResponseTypeSyncData, "<Class>Email</Class><SyncKey>k-i</SyncKey><CollectionId>inbox</CollectionId>"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.step);
        EXPECT_TRUE(SameXml(SyncOf(c.collection), Build(c.step, c.type)));
        EXPECT_EQ(client.records.back().more, 0);
    }
    EXPECT_NE(Log().find("CALENDAR Folder ID : cal"), std::string::npos);
    EXPECT_NE(Log().find("EMAIL Sync Key : k-i"), std::string::npos);
}

// The device's own contacts store lists the fields it keeps; the first
// contacts Sync names them, so the server leaves the others alone.
TEST_F(SyncRequestTest, TheFirstContactsSyncListsTheFieldsTheStoreKeeps) {
    AddFolder(kFolderTypeContacts, "con", "0");
    Prefs().SetQVMaj(3);
    Prefs().SetUserSyncContacts(1);
    Prefs().SetUserSyncContactsOverride(kNoUserSyncOverride);
    ASSERT_EQ(RunChain([this](DActiveTaskSignal *s) { return data->PrepareForSync(s); }), kNoError);
    const std::string body = Build(6, kResponseTypeSyncData);
    const size_t open = body.find("<Supported>"), close = body.find("</Supported>");
    ASSERT_NE(open, std::string::npos) << body;
    const std::string supported = body.substr(open, close - open);
    // The 46 texts, the two dates and the two lists; Body among the texts.
    EXPECT_EQ(Count(supported, "/>"), 50u) << supported;
    for (const char *tag : {"<Anniversary ", "<Birthday ", "<Categories ", "<Children ", "<Email1Address ",
                            "<YomiLastName ", "<Body "})
        EXPECT_NE(supported.find(tag), std::string::npos) << tag << "\n" << supported;
    EXPECT_EQ(Count(body, "<Options>"), 0u);
}

TEST_F(SyncRequestTest, PimChangesWithoutTheirStoreAreRefused) {
    AddFolder(kFolderTypeContacts, "con", "k-n");
    Prefs().SetEngineNeedsSoap(0x08);
    EXPECT_EQ(data->CollectCommandData(18), generalErrNotInitialized);
    PumpEngineUntil(*global, [] { return true; });
    EXPECT_EQ(data->GetState(), kDMIdle);
    EXPECT_TRUE(client.records.empty());
    EXPECT_TRUE(client.errors.empty());
}

TEST_F(SyncRequestTest, MailChangeListSendsReadsDeletesAndFetches) {
    Prefs().SetSyncEMailDateRange(3);
    Prefs().SetSyncEMailDataSize(1);
    const CEOID read = PutMail(u"m-read", kShadowFlagReadChanged, true);
    const CEOID gone = PutMail(u"m-gone", kShadowFlagDeleted);
    const CEOID both = PutMail(u"m-both", kShadowFlagReadChanged | kShadowFlagDeleted);
    const CEOID fetch = PutMail(u"m-fetch", kShadowFlagRemainderRequested);
    const CEOID local = PutMail(nullptr, kShadowFlagDeleted);
    InboxChanged();
    EXPECT_TRUE(SameXml(
        SyncOf("<Class>Email</Class><SyncKey>k-i</SyncKey><CollectionId>inbox</CollectionId><DeletesAsMoves/>"
               "<GetChanges/><WindowSize>50</WindowSize><Options><FilterType>3</FilterType>"
               "<Truncation>1</Truncation><Conflict>1</Conflict></Options><Commands>"
               "<Change><ServerId>m-read</ServerId><ApplicationData><Read xmlns=\"Email:\">1</Read>"
               "</ApplicationData></Change>"
               "<Delete><ServerId>m-gone</ServerId></Delete>"
               "<Change><ServerId>m-both</ServerId><ApplicationData><Read xmlns=\"Email:\">0</Read>"
               "</ApplicationData></Change>"
               "<Fetch><ServerId>m-fetch</ServerId></Fetch></Commands>"),
        Build(14, kResponseTypeSyncData)));
    // The Delete of the message read and deleted goes next time.
    EXPECT_EQ(client.records.back().more, 1);
    EXPECT_NE(ShadowFlags(&shadow, read) & kShadowFlagSent, 0u);
    EXPECT_NE(ShadowFlags(&shadow, gone) & kShadowFlagSent, 0u);
    EXPECT_NE(ShadowFlags(&shadow, fetch) & kShadowFlagSent, 0u);
    // A message the server never knew is done with, without a Delete.
    EXPECT_NE(ShadowFlags(&shadow, local) & kShadowFlagSent, 0u);
    // Not sent, so the purge after this answer keeps it for its Delete.
    const uint32_t bothFlags = ShadowFlags(&shadow, both);
    EXPECT_EQ(bothFlags & (kShadowFlagSent | kShadowFlagReadChanged), 0u);
    EXPECT_NE(bothFlags & kShadowFlagDeleted, 0u);
    EXPECT_NE(Log().find("Send READ\n"), std::string::npos);
    EXPECT_NE(Log().find("Send DELETED\n"), std::string::npos);
    EXPECT_NE(Log().find("Send REMAINDER\n"), std::string::npos);

    InboxChanged();
    const std::string next = Build(14, kResponseTypeSyncData);
    EXPECT_NE(next.find("<Delete><ServerId>m-both</ServerId></Delete>"), std::string::npos) << next;
    EXPECT_EQ(next.find("<ServerId>m-both</ServerId><ApplicationData>"), std::string::npos) << next;
}

TEST_F(SyncRequestTest, FiftyChangesFitOneRequestAndTheRestWaits) {
    for (int i = 0; i < 51; ++i) {
        const std::u16string id = u"m" + std::u16string(1, char16_t(u'A' + i / 26)) +
                                  std::u16string(1, char16_t(u'a' + i % 26));
        PutMail(id.c_str(), kShadowFlagReadChanged, true);
    }
    InboxChanged();
    const std::string first = Build(14, kResponseTypeSyncData);
    EXPECT_EQ(Count(first, "<Change>"), 50u);
    EXPECT_EQ(client.records.back().more, 1);
    EXPECT_EQ(first.find("<ServerId>mBy</ServerId>"), std::string::npos);
}

TEST_F(SyncRequestTest, PartialMailRunGathersTheFolderForItsFetches) {
    PutMail(u"m-fetch", kShadowFlagRemainderRequested);
    const std::string body = Build(15, kResponseTypeSyncData);
    EXPECT_NE(body.find("<Fetch><ServerId>m-fetch</ServerId></Fetch>"), std::string::npos) << body;
    EXPECT_TRUE(Folder("inbox")->IsFlagSet(kMailFlagLocalChanges));
}

TEST_F(SyncRequestTest, MeetingResponsesGoOnePerItemUntilNoneIsLeft) {
    const CEOID first = PutMail(u"mr-1", kShadowFlagMeetingRequest | kShadowFlagMeetingResponsePending);
    const CEOID second = PutMail(u"mr-2", kShadowFlagMeetingRequest | kShadowFlagMeetingResponsePending);
    ASSERT_EQ(ShadowWriteUInt(shadow.GetHandle(), first, kShadowPropMeetingResponse, 1), kNoError);
    ASSERT_EQ(ShadowWriteUInt(shadow.GetHandle(), second, kShadowPropMeetingResponse, 2), kNoError);
    Folder("inbox")->SetFlag(kMailFlagMeetingResponses, true);
    auto request = [](const char *response, const char *id) {
        return std::string("<MeetingResponse xmlns=\"MeetingResponse:\"><Request><UserResponse>") + response +
               "</UserResponse><CollectionId>inbox</CollectionId><RequestId>" + id + "</RequestId></Request>" +
               "</MeetingResponse>";
    };
    EXPECT_TRUE(SameXml(request("1", "mr-1"), Build(13, kResponseTypeMeetingResponse)));
    EXPECT_NE(ShadowFlags(&shadow, first) & kShadowFlagSent, 0u);
    EXPECT_EQ(ShadowFlags(&shadow, second) & kShadowFlagSent, 0u);
    // The answer to the first settles its response; the next request is the second's.
    ASSERT_EQ(ShadowWriteUInt(shadow.GetHandle(), first, kShadowPropMeetingResponse, 0), kNoError);
    EXPECT_TRUE(SameXml(request("2", "mr-2"), Build(13, kResponseTypeMeetingResponse)));
    ASSERT_EQ(ShadowWriteUInt(shadow.GetHandle(), second, kShadowPropMeetingResponse, 0), kNoError);
    Build(13, kResponseTypeMeetingResponse);
    EXPECT_EQ(meetingNone, (std::vector<int>{0, 0, 1}));
    // None left: the engine moves on from the folder.
    EXPECT_EQ(data->FinishMeetingResponses(), kNoError);
    EXPECT_FALSE(Folder("inbox")->IsFlagSet(kMailFlagMeetingResponses));
}

TEST_F(SyncRequestTest, MovedMailGoesInMoveItemsAndIsSettledAfterwards) {
    BYTE canSend = 1;
    EXPECT_EQ(data->HasMovedMailToSend(&canSend), kNoError);
    EXPECT_EQ(canSend, 0);
    EXPECT_EQ(data->CollectCommandData(27), generalErrIndexOutOfRange);

    const CEOID moved = PutMail(u"mv-1", kShadowFlagMoved);
    const std::vector<BYTE> from = MailFolderEntryID(&global->folders, "u1");
    DWinMobShadowRecord record;
    ASSERT_EQ(shadow.GetRecordByOID(moved, &record), kNoError);
    ASSERT_EQ(record.SetPreviousFolderID(from.data(), uint32_t(from.size())), kNoError);
    EXPECT_EQ(data->HasMovedMailToSend(&canSend), kNoError);
    EXPECT_EQ(canSend, 1);
    EXPECT_TRUE(SameXml("<MoveItems xmlns=\"Move:\"><Move><SrcMsgId>mv-1</SrcMsgId><SrcFldId>u1</SrcFldId>"
                        "<DstFldId>inbox</DstFldId></Move></MoveItems>",
                        Build(27, kResponseTypeMoveItemData)));
    EXPECT_EQ(client.records.back().more, 0);
    EXPECT_NE(Log().find("Send Move Item\n"), std::string::npos);
    EXPECT_EQ(data->FinishMovedMail(), kNoError);
    EXPECT_EQ(ShadowFlags(&shadow, moved) & kShadowFlagMoved, 0u);
    EXPECT_EQ(data->HasMovedMailToSend(&canSend), kNoError);
    EXPECT_EQ(canSend, 0);
}

}  // namespace
