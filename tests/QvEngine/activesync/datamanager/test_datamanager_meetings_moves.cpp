// Meeting responses and MoveItems end to end over real messages of the
// provisioned store: each request the data manager builds, the server's
// answer fed back, and the messages' state after each answer.
#include <string>
#include <vector>

#include "DASDP_MoveItemResponse.h"
#include "DataManagerFixture.h"
#include "RequestMailSupport.h"

namespace {

class MeetingsMovesTest : public MailFoldersTest {
protected:
    void OnRecord(DClientResponse *response) override {
        MailFoldersTest::OnRecord(response);
        if (auto *moved = dynamic_cast<DASDP_MoveItemResponse *>(response))
            resetLoop.push_back(moved->GetResetLoopCounter());
    }

    uint32_t MeetingResponseOf(CEOID oid) {
        uint32_t response = 0;
        EXPECT_EQ(ShadowReadUInt(shadow.GetHandle(), oid, kShadowPropMeetingResponse, &response), kNoError);
        return response;
    }
    std::string ServerIDOf(CEOID oid) {
        DWinMobShadowRecord record;
        EXPECT_EQ(shadow.GetRecordByOID(oid, &record), kNoError);
        const WCHAR *id = record.GetServerID();
        if (id == nullptr) return "<none>";
        const std::u16string wide(id);
        return std::string(wide.begin(), wide.end());
    }
    // The inbox message the server knows by that id (empty when none).
    std::string FindInInbox(const char *serverID) {
        DWinMobOutlookMessageCollection *inbox = nullptr;
        EXPECT_EQ(manager->GetMailFolderCollection("inbox", &inbox), kNoError);
        IOutlookItem *item = nullptr;
        if (inbox == nullptr || inbox->GetItemByID(serverID, &item) != kNoError || item == nullptr) return {};
        delete item;
        return serverID;
    }

    std::vector<int> resetLoop;
};

std::string MeetingRequest(const char *response, const char *id) {
    return std::string("<MeetingResponse xmlns=\"MeetingResponse:\"><Request><UserResponse>") + response +
           "</UserResponse><CollectionId>inbox</CollectionId><RequestId>" + id + "</RequestId></Request>" +
           "</MeetingResponse>";
}

std::string MeetingAnswer(const char *id) {
    return std::string("<MeetingResponse xmlns=\"MeetingResponse:\"><Result><RequestId>") + id +
           "</RequestId><Status>1</Status></Result></MeetingResponse>";
}

TEST_F(MeetingsMovesTest, EachMeetingResponseIsSettledByItsOwnAnswer) {
    const uint32_t pending = kShadowFlagMeetingRequest | kShadowFlagMeetingResponsePending;
    const CEOID first = PutMail(u"mr-1", pending);
    const CEOID second = PutMail(u"mr-2", pending);
    ASSERT_EQ(ShadowWriteUInt(shadow.GetHandle(), first, kShadowPropMeetingResponse, 1), kNoError);
    ASSERT_EQ(ShadowWriteUInt(shadow.GetHandle(), second, kShadowPropMeetingResponse, 3), kNoError);
    Folder("inbox")->SetFlag(kMailFlagMeetingResponses, true);

    // One request, for the first item alone.
    EXPECT_TRUE(SameXml(MeetingRequest("1", "mr-1"), Build(kCmdMeetingResponse, kResponseTypeMeetingResponse)));
    EXPECT_NE(ShadowFlags(&shadow, first) & kShadowFlagSent, 0u);
    EXPECT_EQ(ShadowFlags(&shadow, second) & kShadowFlagSent, 0u);
    // Its answer settles the first item only; the engine goes on from the call, without a record.
    const size_t records = client.records.size();
    EXPECT_EQ(Answer(kCmdMeetingResponse, MeetingAnswer("mr-1")), kNoError);
    EXPECT_EQ(client.records.size(), records);
    EXPECT_EQ(MeetingResponseOf(first), 0u);
    EXPECT_EQ(MeetingResponseOf(second), 3u);
    EXPECT_TRUE(Folder("inbox")->IsFlagSet(kMailFlagMeetingResponses));

    // The engine repeats the step: the second item's request, then its answer.
    EXPECT_TRUE(SameXml(MeetingRequest("3", "mr-2"), Build(kCmdMeetingResponse, kResponseTypeMeetingResponse)));
    EXPECT_NE(ShadowFlags(&shadow, second) & kShadowFlagSent, 0u);
    EXPECT_EQ(Answer(kCmdMeetingResponse, MeetingAnswer("mr-2")), kNoError);
    EXPECT_EQ(MeetingResponseOf(first), 0u);
    EXPECT_EQ(MeetingResponseOf(second), 0u);

    // None is left: the record says so and carries no body.
    Build(kCmdMeetingResponse, kResponseTypeMeetingResponse);
    EXPECT_EQ(meetingNone, (std::vector<int>{0, 0, 1}));
    EXPECT_TRUE(bodies.back().empty()) << bodies.back();
    EXPECT_EQ(data->FinishMeetingResponses(), kNoError);
    EXPECT_FALSE(Folder("inbox")->IsFlagSet(kMailFlagMeetingResponses));
    EXPECT_TRUE(client.errors.empty());
    EXPECT_EQ(data->GetState(), kDMIdle);
}

// The answer clears the response value but leaves the record's "response
// pending" flag: every later probe marks the folder again, and a declined
// (deleted) meeting request is neither purged nor sent as a Delete.
TEST_F(MeetingsMovesTest, AnAnsweredResponseIsNoLongerPending) {
    const CEOID only = PutMail(u"mr-1", kShadowFlagMeetingRequest | kShadowFlagMeetingResponsePending);
    ASSERT_EQ(ShadowWriteUInt(shadow.GetHandle(), only, kShadowPropMeetingResponse, 2), kNoError);
    Folder("inbox")->SetFlag(kMailFlagMeetingResponses, true);
    EXPECT_TRUE(SameXml(MeetingRequest("2", "mr-1"), Build(kCmdMeetingResponse, kResponseTypeMeetingResponse)));
    EXPECT_EQ(Answer(kCmdMeetingResponse, MeetingAnswer("mr-1")), kNoError);
    EXPECT_EQ(ShadowFlags(&shadow, only) & kShadowFlagMeetingResponsePending, 0u);
    EXPECT_EQ(RunChain([&](DActiveTaskSignal *signal) { return data->ProbeMeetingResponses(signal); }), kNoError);
    EXPECT_FALSE(Folder("inbox")->IsFlagSet(kMailFlagMeetingResponses));
}

std::string Move(const char *id) {
    return std::string("<Move><SrcMsgId>") + id + "</SrcMsgId><SrcFldId>u1</SrcFldId><DstFldId>inbox</DstFldId></Move>";
}

std::string MoveAnswer(const std::string &responses) { return "<MoveItems xmlns=\"Move:\">" + responses + "</MoveItems>"; }

// Two messages moved on the device from u1 to the inbox, sent in one
// MoveItems; the server takes the first (new id 7:41) and refuses the second.
class MoveAnswerTest : public MeetingsMovesTest {
protected:
    void SendBothAndAnswer() {
        const std::vector<BYTE> from = MailFolderEntryID(&global->folders, "u1");
        taken = PutMail(u"mv-1", kShadowFlagMoved);
        refused = PutMail(u"mv-2", kShadowFlagMoved);
        for (CEOID oid : {taken, refused}) {
            DWinMobShadowRecord record;
            ASSERT_EQ(shadow.GetRecordByOID(oid, &record), kNoError);
            ASSERT_EQ(record.SetPreviousFolderID(from.data(), uint32_t(from.size())), kNoError);
        }
        EXPECT_TRUE(SameXml(MoveAnswer(Move("mv-1") + Move("mv-2")), Build(kCmdMoveItems, kResponseTypeMoveItemData)));
        EXPECT_EQ(client.records.back().more, 0);
        const size_t records = client.records.size();
        EXPECT_EQ(Answer(kCmdMoveItems,
                         MoveAnswer("<Response><SrcMsgId>mv-1</SrcMsgId><Status>3</Status><DstMsgId>7:41</DstMsgId>"
                                    "</Response><Response><SrcMsgId>mv-2</SrcMsgId><Status>7</Status></Response>")),
                  activeSyncErrWaitForCallback);
        ASSERT_EQ(client.records.size(), records + 1);
        EXPECT_EQ(client.records.back().type, kResponseTypeMoveItem);
        EXPECT_EQ(data->GetState(), kDMIdle);
    }
    CEOID taken = 0;
    CEOID refused = 0;
};

TEST_F(MoveAnswerTest, ATakenMoveTakesItsNewIdAndARefusedOneGoesAgain) {
    SendBothAndAnswer();
    // A move the server took starts the push loop count again.
    EXPECT_EQ(resetLoop, (std::vector<int>{1}));
    // The answer gives the taken message its new id.
    EXPECT_EQ(ServerIDOf(taken), "7:41");
    EXPECT_EQ(FindInInbox("7:41"), "7:41");
    EXPECT_EQ(FindInInbox("mv-1"), "");

    EXPECT_EQ(data->FinishMovedMail(), kNoError);
    EXPECT_EQ(ShadowFlags(&shadow, taken) & (kShadowFlagMoved | kShadowFlagKeepNew), 0u);
    // The refused one keeps its id and its mark, kept new.
    EXPECT_EQ(ServerIDOf(refused), "mv-2");
    EXPECT_NE(ShadowFlags(&shadow, refused) & kShadowFlagMoved, 0u);
    EXPECT_NE(ShadowFlags(&shadow, refused) & kShadowFlagKeepNew, 0u);
    // So it goes again, alone.
    BYTE canSend = 0;
    EXPECT_EQ(data->HasMovedMailToSend(&canSend), kNoError);
    EXPECT_EQ(canSend, 1);
    EXPECT_TRUE(SameXml(MoveAnswer(Move("mv-2")), Build(kCmdMoveItems, kResponseTypeMoveItemData)));
    EXPECT_TRUE(client.errors.empty());
}

// FinishMovedMail commits the work list's copies, read before the answer:
// the taken message gets its old id back, one the server no longer knows.
TEST_F(MoveAnswerTest, TheNewIdOutlivesFinishingTheMoves) {
    SendBothAndAnswer();
    EXPECT_EQ(data->FinishMovedMail(), kNoError);
    EXPECT_EQ(ServerIDOf(taken), "7:41");
    EXPECT_EQ(FindInInbox("7:41"), "7:41");
    EXPECT_EQ(FindInInbox("mv-1"), "");
}

// Kept new is never cleared: a move refused once stays moved after the
// server takes it, and goes out again on every run.
TEST_F(MoveAnswerTest, ARefusedMoveIsSettledOnceTheServerTakesIt) {
    SendBothAndAnswer();
    EXPECT_EQ(data->FinishMovedMail(), kNoError);
    EXPECT_TRUE(SameXml(MoveAnswer(Move("mv-2")), Build(kCmdMoveItems, kResponseTypeMoveItemData)));
    EXPECT_EQ(Answer(kCmdMoveItems, MoveAnswer("<Response><SrcMsgId>mv-2</SrcMsgId><Status>3</Status>"
                                               "<DstMsgId>7:42</DstMsgId></Response>")),
              activeSyncErrWaitForCallback);
    EXPECT_EQ(data->FinishMovedMail(), kNoError);
    EXPECT_EQ(ShadowFlags(&shadow, refused) & (kShadowFlagMoved | kShadowFlagKeepNew), 0u);
    BYTE canSend = 1;
    EXPECT_EQ(data->HasMovedMailToSend(&canSend), kNoError);
    EXPECT_EQ(canSend, 0);
}

}  // namespace
