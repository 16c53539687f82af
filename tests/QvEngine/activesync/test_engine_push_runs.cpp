// Whole runs of the engine on an account that has been synced before: a push
// run whose Pings expire, get cut and report changes; a run that only sends
// mail; a directory search; provisioning that the server demands in the
// middle of a run. Each starts as a client starts it and checks the requests
// that reached the loopback server, in order, and what the client and the
// preferences kept.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "EngineRunFixture.h"
#include "FakeOutgoingMessage.h"
#include "VFile.h"

namespace {

const char kNoChanges[] =
    "<FolderSync xmlns=\"FolderHierarchy:\"><Status>1</Status><SyncKey>2</SyncKey><Changes><Count>0</Count>"
    "</Changes></FolderSync>";

std::string PingAnswer(int status, const char *folder = nullptr) {
    return std::string("<Ping xmlns=\"Ping:\"><Status>") + std::to_string(status) + "</Status>" +
           (folder != nullptr ? std::string("<Folders><Folder>") + folder + "</Folder></Folders>" : "") + "</Ping>";
}

std::string PingBody(int heartbeat) {
    return "<Ping xmlns=\"Ping:\"><HeartbeatInterval>" + std::to_string(heartbeat) +
           "</HeartbeatInterval><Folders><Folder><Id>INBOX</Id><Class>Email</Class></Folder></Folders></Ping>";
}

// A Provision answer: the policy's status and key.
std::string PolicyAnswer(const char *key) {
    return std::string("<Provision xmlns=\"Provision:\"><Status>1</Status><Policies><Policy><PolicyType>"
                       "MS-WAP-Provisioning-XML</PolicyType><Status>1</Status><PolicyKey>") +
           key + "</PolicyKey></Policy></Policies></Provision>";
}

class EngineAccountRunTest : public EngineRunTest {
protected:
    void SetUp() override {
        EngineRunTest::SetUp();
        SeedFolders();
    }
    ICorvanePreferences &Prefs() { return global->prefs; }
    std::string PolicyKeyPref() {
        VString key;
        Prefs().GetEASPolicyKey(&key);
        return NarrowText(key);
    }
    // Pumps until the server has seen n requests in all.
    bool PumpUntilRequests(size_t n) {
        return PumpEngineUntil(*global, [this, n] { return server.Requests().size() >= n; });
    }
};

// Push on an account that agreed protocol 2.5: the heartbeat grows past 30
// completed Pings, a Ping cut by the network lowers it and is retried once
// the minimum heartbeat has passed since the last good one, and a change
// report of the Inbox becomes a Sync of the Inbox before the next Ping.
TEST_F(EngineAccountRunTest, APushRunAdaptsItsHeartbeatRetriesACutPingAndSyncsWhatChanged) {
    Prefs().SetEASVers(250);
    Prefs().SetPushAvailable(1);
    Prefs().SetPeakPushSyncEnabled(1);
    Prefs().SetOffPeakPushSyncEnabled(1);
    Prefs().SetQVHeartbeat(540);
    Prefs().SetLastGoodHeartBeat(540);
    Prefs().SetPingCounter(29);
    ASSERT_EQ(Prefs().SaveAll(), kNoError);
    server.Script(ActiveSyncReply(kNoChanges));
    server.Script(ActiveSyncReply(EstimateAnswer("INBOX", 0)));
    for (int i = 0; i < 3; ++i) server.Script(ActiveSyncReply(PingAnswer(1)));
    TestHttpReply cut;
    cut.delayMs = 300;  // long enough for the test to move the clock while it is out
    cut.cutAfter = 0;
    cut.reset = true;
    server.Script(cut);

    ASSERT_EQ(engine->StartSync(kRunFlagsAll, 0, kLockModeWait, kRunKindUser), kNoError);
    ASSERT_TRUE(PumpUntilRequests(6));
    // The fourth Ping went out after three expired: the second and third
    // completed Pings past 30 raised the heartbeat by 30 s, then 60 s.
    EXPECT_EQ(Prefs().GetPingCounter(), 32);
    EXPECT_EQ(Prefs().GetQVHeartbeat(), 630u);
    EXPECT_EQ(Prefs().GetLastGoodHeartBeat(), 570);
    // It is cut 100 s after the last good Ping ended.
    vplat::ClockAdvance(100000);
    ASSERT_TRUE(RunToEnd());
    EXPECT_TRUE(client.errors.empty());
    EXPECT_EQ(Prefs().GetPingCounter(), 0);
    EXPECT_EQ(Prefs().GetQVHeartbeat(), 570u);
    EXPECT_EQ(Prefs().GetLastGoodHeartBeat(), Prefs().GetMinimumHeartBeat());

    // The retry comes when the minimum heartbeat (480 s) has passed since
    // then: 380 s after the cut, not earlier.
    server.Script(ActiveSyncReply(kNoChanges));
    server.Script(ActiveSyncReply(PingAnswer(2, "INBOX")));
    server.Script(ActiveSyncReply(SyncAnswer("Email", "INBOX", "2")));
    TestHttpReply held;
    held.silent = true;
    server.Script(held);
    vplat::ClockAdvance(379000);
    PumpEngineUntil(*global, [] { return true; });
    EXPECT_EQ(engine->TaskStage(), uint32_t(kStageIdle));
    EXPECT_EQ(server.Requests().size(), 6u);
    vplat::ClockAdvance(1000);
    ASSERT_TRUE(PumpUntilRequests(10));
    ASSERT_EQ(engine->CancelSync(TRUE), kNoError);
    ASSERT_TRUE(PumpEngineUntil(*global, [this] { return engine->TaskStage() == kStageIdle; }));

    const std::vector<std::string> expected = {"FolderSync", "GetItemEstimate", "Ping", "Ping", "Ping", "Ping",
                                               "FolderSync", "Ping", "Sync", "Ping"};
    EXPECT_EQ(Commands(), expected);
    const std::vector<TestHttpRequest> requests = server.Requests();
    ASSERT_EQ(requests.size(), expected.size());
    // A Ping carries its body when the heartbeat changed or after a
    // reconnection; after an expiry or a change report the server reuses it.
    const std::vector<std::pair<size_t, std::string>> bodies = {
        {2, PingBody(540)}, {3, ""}, {4, PingBody(570)}, {5, PingBody(630)}, {7, PingBody(570)}, {9, ""}};
    for (const auto &b : bodies) {
        SCOPED_TRACE(b.first);
        if (b.second.empty())
            EXPECT_TRUE(requests[b.first].body.empty());
        else
            EXPECT_TRUE(SameXml(b.second, XmlFromWbxml(requests[b.first].body)));
        EXPECT_EQ(requests[b.first].Header("X-MS-PolicyKey"), "0");
    }
    EXPECT_TRUE(SameXml("<Sync xmlns=\"AirSync:\"><Collections><Collection><Class>Email</Class><SyncKey>1</SyncKey>"
                        "<CollectionId>INBOX</CollectionId><DeletesAsMoves/><GetChanges/><WindowSize>5</WindowSize>"
                        "</Collection></Collections></Sync>",
                        XmlFromWbxml(requests[8].body)));
    EXPECT_EQ(data->FolderKey(kFolderTypeInbox), "2");
    EXPECT_TRUE(client.errors.empty());
}

// A run that only sends: the hierarchy first, then each waiting message
// (a plain one as SendMail, a reply as SmartReply naming its parent) until
// the store says none waits; the empty answers of the sends are the
// server's acceptance.
TEST_F(EngineAccountRunTest, ASendOnlyRunSendsEachWaitingMessageAndNothingElse) {
    Prefs().SetQVMaj(0);
    ASSERT_EQ(Prefs().SaveAll(), kNoError);
    FakeOutgoingMessage reply;
    reply.sendType = kMessageSendReply;
    reply.parentId = "INBOX:7";
    reply.parentFolder = "INBOX";
    const std::string plain = "Subject: one\r\nTo: bob@example.com\r\n\r\nfirst\r\n";
    const std::string answer = "Subject: RE: two\r\nTo: bob@example.com\r\n\r\nsecond\r\n";
    data->outbox.push_back({plain, nullptr});
    data->outbox.push_back({answer, &reply});
    server.Script(ActiveSyncReply(kNoChanges));
    server.Script(TestHttpReply{});
    server.Script(TestHttpReply{});

    ASSERT_EQ(engine->StartSync(kRunFlagSendOnly, 0, kLockModeWait, kRunKindUser), kNoError);
    ASSERT_TRUE(RunToEnd());

    const std::vector<TestHttpRequest> requests = server.Requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(ParseQuery(requests[0]).cmd, "FolderSync");
    EXPECT_EQ(ParseQuery(requests[1]).cmd, "SendMail");
    EXPECT_EQ(ParseQuery(requests[1]).all.at("SaveInSent"), "T");
    EXPECT_EQ(ParseQuery(requests[2]).cmd, "SmartReply");
    EXPECT_EQ(ParseQuery(requests[2]).all.at("ItemId"), "INBOX:7");
    EXPECT_EQ(ParseQuery(requests[2]).all.at("CollectionId"), "INBOX");
    for (size_t i = 1; i < 3; ++i) {
        EXPECT_EQ(requests[i].Header("Content-Type"), "message/rfc822");
        EXPECT_EQ(requests[i].body, i == 1 ? plain : answer);
    }
    EXPECT_TRUE(data->outbox.empty());
    EXPECT_EQ(data->sentAnswers.size(), 2u);
    EXPECT_TRUE(client.errors.empty());
    EXPECT_EQ(Prefs().GetEngineState(), kEngineStateCompleted);
    EXPECT_EQ(Prefs().GetQVMaj(), 2);
}

class EngineSearchRunTest : public EngineAccountRunTest {
protected:
    void SetUp() override {
        EngineAccountRunTest::SetUp();
        results.SetFileName(u"\\GALResults.dat");
        ASSERT_EQ(results.Create(), kNoError);
        ASSERT_EQ(results.Open(kVFileReadWrite), kNoError);
        uint32_t written = 0;
        const std::string old = "results of an earlier search, longer than the new ones";
        ASSERT_EQ(results.Write(uint32_t(old.size()), old.data(), &written), kNoError);
        results.Close();
    }
    DErrorCode Search() {
        VString store = RunText("GAL"), query = RunText("bo");
        return engine->StartSearch(&store, &query, 0, 99, &results);
    }
    std::string Results() {
        std::string out;
        if (results.Open(kVFileRead) != kNoError) return out;
        uint32_t size = 0, read = 0;
        results.GetSize(&size);
        out.resize(size);
        if (size != 0) results.Read(size, &out[0], &read);
        out.resize(read);
        results.Close();
        return out;
    }

    VFile results;
};

TEST_F(EngineSearchRunTest, ASearchAsksForTheProtocolThenSearchesAndFillsTheResults) {
    const std::string found =
        "<Search xmlns=\"Search:\"><Status>1</Status><Response><Store><Status>1</Status><Result><Properties>"
        "<DisplayName xmlns=\"GAL:\">Bob Smith</DisplayName><EmailAddress xmlns=\"GAL:\">bob@example.com"
        "</EmailAddress></Properties></Result><Range>0-0</Range><Total>1</Total></Store></Response></Search>";
    server.Script(OptionsReply());
    server.Script(ActiveSyncReply(found));

    ASSERT_EQ(Search(), kNoError);
    ASSERT_TRUE(RunToEnd());

    EXPECT_EQ(Commands(), (std::vector<std::string>{"OPTIONS", "Search"}));
    const std::vector<TestHttpRequest> requests = server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[1].Header("MS-ASProtocolVersion"), "2.5");
    EXPECT_TRUE(SameXml("<Search xmlns=\"Search:\"><Store><Name>GAL</Name><Query>bo</Query><Options><Range>0-99"
                        "</Range></Options></Store></Search>",
                        XmlFromWbxml(requests[1].body)));
    // The answer's text replaces what the file held.
    ASSERT_FALSE(data->answers.empty());
    EXPECT_EQ(Results(), data->answers.back());
    EXPECT_NE(Results().find("bob@example.com"), std::string::npos);
    EXPECT_TRUE(client.errors.empty());
}

TEST_F(EngineSearchRunTest, AServerWithoutProtocol25IsNotAskedToSearch) {
    server.Script(OptionsReply("2.0,2.1"));

    ASSERT_EQ(Search(), kNoError);
    ASSERT_TRUE(RunToEnd());

    EXPECT_EQ(Commands(), (std::vector<std::string>{"OPTIONS"}));
    EXPECT_EQ(Prefs().GetEASVers(), 210);
    EXPECT_EQ(Results(), "results of an earlier search, longer than the new ones");
    EXPECT_TRUE(client.errors.empty());
}

// A 449 in the middle of a run: the policy request, the acknowledgement of
// the temporary key, then the interrupted command again with the final key,
// and the run goes on to its end.
TEST_F(EngineAccountRunTest, ProvisioningDemandedMidRunResumesTheStepWithTheFinalKey) {
    Prefs().SetEASVers(250);
    ASSERT_EQ(Prefs().SaveAll(), kNoError);
    server.Script(ActiveSyncReply(kNoChanges));
    server.Script(Status449());
    server.Script(ActiveSyncReply(PolicyAnswer("1111")));
    server.Script(ActiveSyncReply(PolicyAnswer("2222")));
    server.Script(ActiveSyncReply(EstimateAnswer("INBOX", 0)));

    ASSERT_EQ(engine->StartSync(kRunFlagsAll, 0, kLockModeWait, kRunKindUser), kNoError);
    ASSERT_TRUE(RunToEnd());

    const std::vector<std::string> expected = {"FolderSync", "GetItemEstimate", "Provision", "Provision",
                                               "GetItemEstimate"};
    EXPECT_EQ(Commands(), expected);
    const std::vector<TestHttpRequest> requests = server.Requests();
    ASSERT_EQ(requests.size(), expected.size());
    const char *keys[] = {"0", "0", "0", "1111", "2222"};
    for (size_t i = 0; i < requests.size(); ++i) EXPECT_EQ(requests[i].Header("X-MS-PolicyKey"), keys[i]) << i;
    EXPECT_TRUE(SameXml("<Provision xmlns=\"Provision:\"><Policies><Policy><PolicyType>MS-WAP-Provisioning-XML"
                        "</PolicyType></Policy></Policies></Provision>",
                        XmlFromWbxml(requests[2].body)));
    EXPECT_TRUE(SameXml("<Provision xmlns=\"Provision:\"><Policies><Policy><PolicyType>MS-WAP-Provisioning-XML"
                        "</PolicyType><PolicyKey>1111</PolicyKey><Status>1</Status></Policy></Policies></Provision>",
                        XmlFromWbxml(requests[3].body)));
    EXPECT_EQ(requests[4].body, requests[1].body);
    EXPECT_EQ(PolicyKeyPref(), "2222");
    EXPECT_TRUE(client.errors.empty());
    EXPECT_EQ(Prefs().GetEngineState(), kEngineStateCompleted);
}

TEST_F(EngineAccountRunTest, ASecond449ForTheResumedStepEndsTheRun) {
    Prefs().SetEASVers(250);
    ASSERT_EQ(Prefs().SaveAll(), kNoError);
    server.Script(ActiveSyncReply(kNoChanges));
    server.Script(Status449());
    server.Script(ActiveSyncReply(PolicyAnswer("1111")));
    server.Script(ActiveSyncReply(PolicyAnswer("2222")));
    server.Script(Status449());

    ASSERT_EQ(engine->StartSync(kRunFlagsAll, 0, kLockModeWait, kRunKindUser), kNoError);
    ASSERT_TRUE(RunToEnd());

    EXPECT_EQ(Commands(), (std::vector<std::string>{"FolderSync", "GetItemEstimate", "Provision", "Provision",
                                                    "GetItemEstimate"}));
    EXPECT_EQ(client.errors, (std::vector<DErrorCode>{activeSyncErrTransactionFailed}));
    EXPECT_EQ(Prefs().GetEngineState(), kEngineStateFailed);
    EXPECT_EQ(PolicyKeyPref(), "2222");
}

}  // namespace
