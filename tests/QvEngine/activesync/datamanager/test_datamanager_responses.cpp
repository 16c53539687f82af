// Answers applied at once, one table per command: what each record carries,
// how it reaches the engine, and that a broken or hostile answer ends in its
// error with the stores unchanged.
#include <string>
#include <vector>

#include "DASDP_GetItemEstimateResponse.h"
#include "DASDP_PingResponse.h"
#include "DASDP_PolicyResponse.h"
#include "DASDP_SearchResponse.h"
#include "DataManagerFixture.h"

namespace {

std::string Narrow(const VString *text) {
    if (text == nullptr) return "<none>";
    VString copy;
    copy.Assign(*text);
    copy.ConvertTo(kVStringUTF8);
    return copy.GetNarrowText() != nullptr ? copy.GetNarrowText() : "";
}

class ResponsesTest : public DataManagerTest {
protected:
    void SetUp() override {
        DataManagerTest::SetUp();
        client.onRecord = [this](DClientResponse *record) {
            if (record->GetType() == kResponseTypeGetItemEstimate) {
                auto *e = static_cast<DASDP_GetItemEstimateResponse *>(record);
                estimates.push_back({e->GetStatus(), e->GetEmailEstimate(), e->GetCalendarChanges(),
                                     e->GetContactsChanges(), e->GetTasksChanges()});
            }
        };
    }
    std::vector<std::vector<uint32_t>> estimates;
};

std::string Estimate(const std::string &status, const std::string &cls, const std::string &id,
                     const std::string &estimate) {
    return "<Response><Status>" + status + "</Status><Collection><Class>" + cls + "</Class><CollectionId>" + id +
           "</CollectionId><Estimate>" + estimate + "</Estimate></Collection></Response>";
}

TEST_F(ResponsesTest, GetItemEstimateSumsMailAndMarksItsFolders) {
    AddFolder(kFolderTypeInbox, "1");
    AddFolder(kFolderTypeUserMail, "12", "0", kMailFlagServerChanges);
    AddFolder(kFolderTypeCalendar, "2", "0", 0);
    const std::string xml = "<GetItemEstimate xmlns=\"GetItemEstimate:\">" + Estimate("1", "Email", "1", "3") +
                            Estimate("1", "Email", "12", "0") + Estimate("1", "Calendar", "2", "4") +
                            Estimate("1", "Contacts", "3", "0") + Estimate("1", "Tasks", "4", "5") +
                            Estimate("1", "Notes", "2", "7") + Estimate("1", "Email", "nowhere", "2") +
                            "</GetItemEstimate>";
    ASSERT_EQ(Answer(kCmdGetItemEstimate, xml), activeSyncErrWaitForCallback);
    ASSERT_EQ(estimates.size(), 1u);
    EXPECT_EQ(estimates[0], (std::vector<uint32_t>{1, 5, 4, 0, 5}));
    EXPECT_TRUE(Folder("1")->IsFlagSet(kMailFlagServerChanges));
    EXPECT_FALSE(Folder("12")->IsFlagSet(kMailFlagServerChanges));
    // Another class's folder is no mail folder to mark.
    EXPECT_FALSE(Folder("2")->IsFlagSet(kMailFlagServerChanges));
}

TEST_F(ResponsesTest, BrokenGetItemEstimateAnswersChangeNoFolder) {
    AddFolder(kFolderTypeInbox, "1");
    const std::string good = Estimate("1", "Email", "1", "3");
    const struct {
        const char *name;
        std::string body;
        DErrorCode result;
        int status;  // delivered status, -1: no record
    } cases[] = {
        // The engine judges the status it finds (2: the run starts again).
        {"status 2 after a good one", good + Estimate("2", "Email", "1", "1"), activeSyncErrWaitForCallback, 2},
        {"status no number", good + Estimate("x", "Email", "1", "1"), ASDataManagerErrBadStatus, -1},
        {"no Collection", good + "<Response><Status>1</Status></Response>", ASDataManagerErrMissingData, -1},
        {"no Estimate", good + "<Response><Status>1</Status><Collection><Class>Email</Class></Collection></Response>",
         ASDataManagerErrMissingData, -1},
        {"no Response", "", ASDataManagerErrMissingData, -1},
        {"Response nested too deep", "<Response>" + good + "</Response>", ASDataManagerErrMissingData, -1},
    };
    for (const auto &c : cases) {
        estimates.clear();
        client.records.clear();
        EXPECT_EQ(Answer(kCmdGetItemEstimate, "<GetItemEstimate xmlns=\"GetItemEstimate:\">" + c.body +
                                                "</GetItemEstimate>"),
                  c.result)
            << c.name;
        if (c.status < 0) {
            EXPECT_TRUE(client.records.empty()) << c.name;
        } else {
            ASSERT_EQ(estimates.size(), 1u) << c.name;
            EXPECT_EQ(estimates[0][0], uint32_t(c.status)) << c.name;
        }
        EXPECT_FALSE(Folder("1")->IsFlagSet(kMailFlagServerChanges)) << c.name;
    }
}

TEST_F(ResponsesTest, PingAnswersCarryWhatTheirStatusNames) {
    const struct {
        const char *name;
        std::string body;
        DErrorCode result;
        uint32_t status;
        std::vector<std::string> folders;
        uint16_t heartbeat;
        uint32_t limit;
    } cases[] = {
        {"expired", "<Status>1</Status>", kNoError, 1, {}, 0, 0},
        {"changes", "<Status>2</Status><Folders><Folder>5</Folder><Folder>a b</Folder></Folders>", kNoError, 2,
         {"5", "a b"}, 0, 0},
        {"changes without folders", "<Status>2</Status><Folders/>", kNoError, 2, {}, 0, 0},
        {"heartbeat", "<Status>5</Status><HeartbeatInterval>600</HeartbeatInterval>", ASDataManagerErrBadStatus, 5,
         {}, 600, 0},
        {"heartbeat beyond 16 bits", "<Status>5</Status><HeartbeatInterval>70000</HeartbeatInterval>",
         ASDataManagerErrBadStatus, 5, {}, 0, 0},
        {"too many folders", "<Status>6</Status><MaxFolders>10</MaxFolders>", ASDataManagerErrBadStatus, 6, {}, 0, 10},
        {"hierarchy changed", "<Status>7</Status>", ASDataManagerErrBadStatus, 7, {}, 0, 0},
        {"status no number", "<Status>two</Status>", ASDataManagerErrBadStatus, 0, {}, 0, 0},
    };
    for (const auto &c : cases) {
        DClientResponse *record = nullptr;
        EXPECT_EQ(Answer(kCmdPing, "<Ping xmlns=\"Ping:\">" + c.body + "</Ping>", &record), c.result) << c.name;
        ASSERT_NE(record, nullptr) << c.name;
        ASSERT_EQ(record->GetType(), kResponseTypePing) << c.name;
        auto *ping = static_cast<DASDP_PingResponse *>(record);
        EXPECT_EQ(ping->GetStatus(), c.status) << c.name;
        std::vector<std::string> folders;
        for (const StringListNode *node = ping->GetFolders(); node != nullptr; node = node->next)
            folders.push_back(Narrow(node->value));
        EXPECT_EQ(folders, c.folders) << c.name;
        EXPECT_EQ(ping->GetHeartbeat(), c.heartbeat) << c.name;
        EXPECT_EQ(ping->GetFolderLimit(), c.limit) << c.name;
        delete record;
    }
    DClientResponse *record = nullptr;
    EXPECT_EQ(Answer(kCmdPing, "<Ping xmlns=\"Ping:\"><Folders/></Ping>", &record), ASDataManagerErrMissingData);
    EXPECT_EQ(record, nullptr);
    EXPECT_TRUE(client.records.empty());
}

TEST_F(ResponsesTest, ProvisionAnswersCarryKeyStatusAndWipe) {
    const struct {
        const char *name;
        std::string body;
        DErrorCode result;
        uint32_t status;
        const char *key;
        int wipe;
    } cases[] = {
        {"final key", "<Status>1</Status><Policies><Policy><PolicyType>MS-WAP-Provisioning-XML</PolicyType>"
                      "<Status>1</Status><PolicyKey>4711</PolicyKey></Policy></Policies>",
         kNoError, 1, "4711", 0},
        {"wipe ordered", "<Status>1</Status><RemoteWipe/>", kNoError, 1, "<none>", 1},
        // The engine judges a refusal from the record; the policy's own status comes second.
        {"refused", "<Status>2</Status><Policies><Policy><Status>1</Status><PolicyKey>1</PolicyKey></Policy>"
                    "</Policies><RemoteWipe/>",
         kNoError, 2, "<none>", 0},
        {"key nested too deep", "<Status>1</Status><Policies><PolicyKey>9</PolicyKey></Policies>", kNoError, 1,
         "<none>", 0},
    };
    for (const auto &c : cases) {
        DClientResponse *record = nullptr;
        EXPECT_EQ(Answer(kCmdProvisionAck, "<Provision xmlns=\"Provision:\">" + c.body + "</Provision>", &record),
                  c.result)
            << c.name;
        ASSERT_NE(record, nullptr) << c.name;
        auto *policy = static_cast<DASDP_PolicyResponse *>(record);
        EXPECT_EQ(policy->GetStatus(), c.status) << c.name;
        EXPECT_EQ(Narrow(policy->GetPolicyKey()), c.key) << c.name;
        EXPECT_EQ(policy->GetWipe(), c.wipe) << c.name;
        delete record;
    }
    DClientResponse *record = nullptr;
    EXPECT_EQ(Answer(kCmdProvision, "<Provision xmlns=\"Provision:\"><Policies/></Provision>", &record),
              ASDataManagerErrMissingData);
    EXPECT_EQ(record, nullptr);
}

TEST_F(ResponsesTest, SearchKeepsTheWholeAnswerAsCanonicalXml) {
    DClientResponse *record = nullptr;
    ASSERT_EQ(Answer(kCmdSearch,
                   "<Search xmlns=\"Search:\"><Status>1</Status><Response><Store><Status>1</Status><Result>"
                   "<Properties><DisplayName xmlns=\"GAL:\">Ann\tLee</DisplayName></Properties></Result><Total>1"
                   "</Total></Store></Response></Search>",
                   &record),
              kNoError);
    ASSERT_NE(record, nullptr);
    auto *search = static_cast<DASDP_SearchResponse *>(record);
    EXPECT_EQ(search->GetStatus(), 1u);
    const std::string xml = Narrow(&search->GetResult());
    EXPECT_NE(xml.find("<Total>1</Total>"), std::string::npos) << xml;
    // Canonical: the tab survives as a reference.
    EXPECT_NE(xml.find("Ann&#9;Lee"), std::string::npos) << xml;
    delete record;

    record = nullptr;
    EXPECT_EQ(Answer(kCmdSearch, "<Search xmlns=\"Search:\"><Status>3</Status></Search>", &record),
              ASDataManagerErrBadStatus);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(static_cast<DASDP_SearchResponse *>(record)->GetStatus(), 3u);
    EXPECT_EQ(static_cast<DASDP_SearchResponse *>(record)->GetResult().GetLength(), 0u);
    delete record;
    record = nullptr;
    EXPECT_EQ(Answer(kCmdSearch, "<Search xmlns=\"Search:\"><Response/></Search>", &record),
              ASDataManagerErrMissingData);
    EXPECT_EQ(record, nullptr);
}

TEST_F(ResponsesTest, FolderCreateGivesTheWaitingFolderItsIdAndKey) {
    ASSERT_EQ(global->folders.SetFolderSyncKey("K1"), kNoError);
    AddFolder(kFolderTypeUserMail, "taken");
    DEASFolderInfoRecord *waiting = AddFolder(kFolderTypeUserMail, "0", "0", kFolderFlagWalk | kFolderFlagSync);
    bool found = false;
    ASSERT_EQ(global->folders.NextFlaggedFolder(&found), kNoError);
    ASSERT_TRUE(found);
    const struct {
        const char *name;
        std::string body;
        DErrorCode result;
    } refused[] = {
        {"status", "<Status>5</Status><SyncKey>K2</SyncKey><ServerId>77</ServerId>", ASDataManagerErrBadStatus},
        {"no ServerId", "<Status>1</Status><SyncKey>K2</SyncKey>", ASDataManagerErrMissingData},
        {"no SyncKey", "<Status>1</Status><ServerId>77</ServerId>", ASDataManagerErrMissingData},
        {"id of another folder", "<Status>1</Status><SyncKey>K2</SyncKey><ServerId>taken</ServerId>",
         ASDataManagerErrMissingData},
        {"id too long", "<Status>1</Status><SyncKey>K2</SyncKey><ServerId>" + std::string(128, 'x') + "</ServerId>",
         ASDataManagerErrMissingData},
    };
    for (const auto &c : refused) {
        EXPECT_EQ(Answer(kCmdFolderCreate, "<FolderCreate xmlns=\"FolderHierarchy:\">" + c.body + "</FolderCreate>"),
                  c.result)
            << c.name;
        const char *key = nullptr;
        global->folders.GetFolderSyncKey(&key);
        EXPECT_STREQ(key, "K1") << c.name;
        EXPECT_STREQ(waiting->GetString(kFolderFieldServerID), "0") << c.name;
        EXPECT_TRUE(waiting->IsFlagSet(kFolderFlagWalk)) << c.name;
    }
    EXPECT_NE(Log().find("[text 120]"), std::string::npos);
    EXPECT_TRUE(client.records.empty());

    EXPECT_EQ(Answer(kCmdFolderCreate, "<FolderCreate xmlns=\"FolderHierarchy:\"><Status>1</Status><SyncKey>K2"
                                     "</SyncKey><ServerId>77</ServerId></FolderCreate>"),
              activeSyncErrWaitForCallback);
    const char *key = nullptr;
    global->folders.GetFolderSyncKey(&key);
    EXPECT_STREQ(key, "K2");
    EXPECT_STREQ(waiting->GetString(kFolderFieldServerID), "77");
    EXPECT_FALSE(waiting->IsFlagSet(kFolderFlagWalk));
    EXPECT_TRUE(waiting->IsFlagSet(kFolderFlagSync));
    ASSERT_EQ(client.records.size(), 1u);
    EXPECT_EQ(client.records[0].type, kResponseTypeFolderCreate);
    EXPECT_EQ(data->GetState(), kDMIdle);
}

TEST_F(ResponsesTest, AMeetingResponseAnswerWithoutItsItemHandsNothingOver) {
    // The engine goes on from the call itself: a type-20 record would read as a request body.
    EXPECT_EQ(Answer(kCmdMeetingResponse,
                   "<MeetingResponse xmlns=\"MeetingResponse:\"><Result><Status>1</Status></Result></MeetingResponse>"),
              kNoError);
    EXPECT_TRUE(client.records.empty());
    EXPECT_NE(Log().find("Meeting Responce Status : 1"), std::string::npos);
}

TEST_F(ResponsesTest, BrokenMoveItemsAnswersTouchNoMessage) {
    AddFolder(kFolderTypeInbox, "1");
    const struct {
        const char *name;
        std::string body;
        DErrorCode result;
    } cases[] = {
        {"no Response", "", ASDataManagerErrMissingData},
        {"no SrcMsgId", "<Response><Status>3</Status><DstMsgId>9</DstMsgId></Response>", ASDataManagerErrMissingData},
        {"no Status", "<Response><SrcMsgId>1:1</SrcMsgId></Response>", ASDataManagerErrMissingData},
        // Complete, but no mail folder is current.
        {"no current folder", "<Response><SrcMsgId>1:1</SrcMsgId><Status>3</Status></Response>",
         generalErrNULLPointer},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(Answer(kCmdMoveItems, "<MoveItems xmlns=\"Move:\">" + c.body + "</MoveItems>"), c.result) << c.name;
        EXPECT_TRUE(client.records.empty()) << c.name;
        EXPECT_EQ(data->GetState(), kDMIdle) << c.name;
    }
}

}  // namespace
