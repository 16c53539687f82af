// Whole runs of the engine with its own data manager against the loopback
// test server, on the virtual clock: the requests that reach the server in
// order, and what the device's stores hold afterwards.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "DActiveSyncEngine.h"
#include "DWinMobMessageManager.h"
#include "DeviceInbox.h"
#include "EngineDeviceTest.h"
#include "EngineTestSupport.h"
#include "IOutlookMessage.h"
#include "QvEngine/foundation/prefstestutil.h"
#include "support/ActiveSyncWire.h"
#include "support/TestHttpServer.h"
#include "vplatform_mail.h"
#include "vplatform_test.h"

namespace {

#ifdef VANTREL_EDITION_SMARTPHONE
const char16_t *const kMailStore = u"Vantrel E-Mail";
#else
const char16_t *const kMailStore = u"Vantrel";
#endif

const char kFolders[] =
    "<FolderSync xmlns=\"FolderHierarchy:\"><Status>1</Status><SyncKey>F1</SyncKey><Changes><Count>4</Count>"
    "<Add><ServerId>INBOX</ServerId><ParentId>0</ParentId><DisplayName>Inbox</DisplayName><Type>2</Type></Add>"
    "<Add><ServerId>Sent</ServerId><ParentId>0</ParentId><DisplayName>Sent</DisplayName><Type>5</Type></Add>"
    "<Add><ServerId>Projects</ServerId><ParentId>0</ParentId><DisplayName>Projects</DisplayName><Type>12</Type></Add>"
    "<Add><ServerId>Alpha</ServerId><ParentId>Projects</ParentId><DisplayName>Alpha</DisplayName><Type>12</Type>"
    "</Add></Changes></FolderSync>";

const char kNoFolderChanges[] =
    "<FolderSync xmlns=\"FolderHierarchy:\"><Status>1</Status><SyncKey>F1</SyncKey><Changes><Count>0</Count>"
    "</Changes></FolderSync>";

std::string InboxSync(const std::string &key, const std::string &commands, bool more = false) {
    return "<Sync xmlns=\"AirSync:\" xmlns:E=\"Email:\"><Collections><Collection><Class>Email</Class><SyncKey>" + key +
           "</SyncKey><CollectionId>INBOX</CollectionId><Status>1</Status>" + (more ? "<MoreAvailable/>" : "") +
           (commands.empty() ? "" : "<Commands>" + commands + "</Commands>") + "</Collection></Collections></Sync>";
}

std::string MailAdd(int uid, const std::string &subject) {
    return "<Add><ServerId>" + std::to_string(uid) +
           "</ServerId><ApplicationData><E:To>alice@example.test</E:To><E:From>bob@example.test</E:From>"
           "<E:Subject>" + subject + "</E:Subject><E:DateReceived>2026-12-01T10:00:00.000Z</E:DateReceived>"
           "<E:Importance>1</E:Importance><E:Read>0</E:Read></ApplicationData></Add>";
}

std::string Estimate(int count) {
    return "<GetItemEstimate xmlns=\"GetItemEstimate:\"><Response><Status>1</Status><Collection><Class>Email</Class>"
           "<CollectionId>INBOX</CollectionId><Estimate>" +
           std::to_string(count) + "</Estimate></Collection></Response></GetItemEstimate>";
}

class DataManagerRunTest : public EngineDeviceTest {
protected:
    void SetUp() override {
        EngineDeviceTest::SetUp();
#ifdef VANTREL_EDITION_SMARTPHONE
        ASSERT_TRUE(CreateDirectoryW(u"\\Storage", nullptr));
#endif
        ASSERT_EQ(vplat::MailAccountProvision(kMailStore), S_OK);
        global = std::make_unique<EngineGlobal>();
        SetTestAccount(global->prefs, "127.0.0.1:" + std::to_string(server.Port()), "alice", "secret1", false, false);
        engine = std::make_unique<DActiveSyncEngine>();
        ASSERT_EQ(engine->Initialize(global.get(), &client), kNoError);
    }
    void TearDown() override {
        engine.reset();
        global.reset();
        EngineDeviceTest::TearDown();
    }

    void RunEMail() {
        ASSERT_EQ(engine->StartSync(kRunFlagEMail, 0, kLockModeWait, kRunKindUser), kNoError);
        ASSERT_TRUE(PumpEngineUntil(*global, [this] { return client.RunOver(); })) << global->log.text;
    }

    std::vector<std::string> InboxSubjects() { return DeviceInboxSubjects(global.get()); }

    // Another run on the same device, with a new engine as a new process would make.
    void RunEMailAgain() {
        client = RecordingClient();
        engine = std::make_unique<DActiveSyncEngine>();
        ASSERT_EQ(engine->Initialize(global.get(), &client), kNoError);
        RunEMail();
    }

    // A first run that brings the Inbox one mail ("one", key "2") in five requests.
    void FirstRunWithOneMail() {
        server.Script(OptionsReply());
        server.Script(ActiveSyncReply(kFolders));
        server.Script(ActiveSyncReply(InboxSync("1", "")));
        server.Script(ActiveSyncReply(Estimate(1)));
        server.Script(ActiveSyncReply(InboxSync("2", MailAdd(1, "one"))));
        RunEMail();
        ASSERT_EQ(InboxSubjects(), std::vector<std::string>{"one"});
        ASSERT_EQ(RequestCommands(server.Requests(), 0).size(), 5u);
    }

    std::string FolderKey(const char *serverID) {
        DEASFolderInfoRecord *folder = nullptr;
        if (global->folders.FindFolderByServerID(serverID, &folder) != kNoError) return "(none)";
        return folder->GetString(kFolderFieldSyncKey);
    }

    TestHttpServer server;
    std::unique_ptr<EngineGlobal> global;
    std::unique_ptr<DActiveSyncEngine> engine;
    RecordingClient client;
};

// A first run: the hierarchy, the Inbox's first Sync, an estimate, then the
// mail in two windows (the first says more is available).
TEST_F(DataManagerRunTest, AFirstRunLearnsTheFoldersAndBringsTheInboxMail) {
    server.Script(OptionsReply());
    server.Script(ActiveSyncReply(kFolders));
    server.Script(ActiveSyncReply(InboxSync("1", "")));
    server.Script(ActiveSyncReply(Estimate(3)));
    server.Script(ActiveSyncReply(InboxSync("2", MailAdd(1, "one") + MailAdd(2, "two"), true)));
    server.Script(ActiveSyncReply(InboxSync("3", MailAdd(3, "three"))));
    server.Script(ActiveSyncReply(Estimate(0)));
    RunEMail();

    EXPECT_TRUE(client.errors.empty()) << std::hex << (client.errors.empty() ? 0 : client.errors[0]) << "\n"
                                       << global->log.text;
    const std::vector<TestHttpRequest> requests = server.Requests();
    const std::vector<std::string> commands = RequestCommands(requests, 0);
    ASSERT_GE(commands.size(), 6u) << global->log.text;
    const std::vector<std::string> first(commands.begin(), commands.begin() + 6);
    EXPECT_EQ(first, (std::vector<std::string>{"OPTIONS", "FolderSync", "Sync", "GetItemEstimate", "Sync", "Sync"}));
    EXPECT_TRUE(SameXml("<FolderSync xmlns=\"FolderHierarchy:\"><SyncKey>0</SyncKey></FolderSync>",
                        XmlFromWbxml(requests[1].body)));
    EXPECT_TRUE(SameXml("<Sync xmlns=\"AirSync:\"><Collections><Collection><Class>Email</Class><SyncKey>0</SyncKey>"
                        "<CollectionId>INBOX</CollectionId></Collection></Collections></Sync>",
                        XmlFromWbxml(requests[2].body)));
    // The second regular Sync goes on from the key of the first.
    EXPECT_NE(XmlFromWbxml(requests[5].body).find("<SyncKey>2</SyncKey>"), std::string::npos)
        << XmlFromWbxml(requests[5].body);

    EXPECT_EQ(FolderKey("INBOX"), "3");
    const char *hierarchyKey = nullptr;
    global->folders.GetFolderSyncKey(&hierarchyKey);
    EXPECT_STREQ(hierarchyKey, "F1");
    DEASFolderInfoRecord *alpha = nullptr;
    ASSERT_EQ(global->folders.FindFolderByServerID("Alpha", &alpha), kNoError);
    const char *parent = nullptr;
    ASSERT_EQ(alpha->GetParentServerID(&global->folders, &parent), kNoError);
    EXPECT_STREQ(parent, "Projects");

    std::vector<std::string> subjects = InboxSubjects();
    std::sort(subjects.begin(), subjects.end());
    EXPECT_EQ(subjects, (std::vector<std::string>{"one", "three", "two"}));
}

// The server forgot the Inbox's sync state (status 3): the Inbox starts
// again from key 0 and the mail it sends again is not doubled.
TEST_F(DataManagerRunTest, AnInvalidSyncKeyStartsTheInboxAgainWithoutDoublingItsMail) {
    FirstRunWithOneMail();
    if (HasFatalFailure()) return;

    const size_t before = server.Requests().size();
    server.Script(ActiveSyncReply(kNoFolderChanges));
    server.Script(ActiveSyncReply(Estimate(1)));
    server.Script(ActiveSyncReply(
        "<Sync xmlns=\"AirSync:\"><Collections><Collection><Class>Email</Class><SyncKey>0</SyncKey>"
        "<CollectionId>INBOX</CollectionId><Status>3</Status></Collection></Collections></Sync>"));
    // The Inbox starts again from key 0, and the server sends its mail again.
    server.Script(ActiveSyncReply(InboxSync("1", "")));
    server.Script(ActiveSyncReply(InboxSync("2", MailAdd(1, "one"))));
    RunEMailAgain();

    const std::vector<std::string> commands = RequestCommands(server.Requests(), before);
    EXPECT_EQ(commands, (std::vector<std::string>{"FolderSync", "GetItemEstimate", "Sync", "Sync", "Sync"}))
        << global->log.text;
    EXPECT_TRUE(client.errors.empty());
    EXPECT_NE(XmlFromWbxml(server.Requests()[before + 3].body).find("<SyncKey>0</SyncKey>"), std::string::npos);
    EXPECT_EQ(FolderKey("INBOX"), "2");
    EXPECT_EQ(InboxSubjects(), std::vector<std::string>{"one"}) << global->log.text;
}

// A server may answer a regular Sync with no body when nothing changed (the
// real server does): the run goes on, and the Inbox keeps its key and mail.
TEST_F(DataManagerRunTest, AnEmptyAnswerToARegularSyncMeansNothingChanged) {
    FirstRunWithOneMail();
    if (HasFatalFailure()) return;

    const size_t before = server.Requests().size();
    server.Script(ActiveSyncReply(kNoFolderChanges));
    server.Script(ActiveSyncReply(Estimate(1)));
    TestHttpReply empty;
    empty.headers.push_back({"Content-Type", "application/vnd.ms-sync.wbxml"});
    server.Script(empty);
    RunEMailAgain();

    EXPECT_TRUE(client.errors.empty()) << std::hex << (client.errors.empty() ? 0 : client.errors[0]) << "\n"
                                       << global->log.text;
    EXPECT_EQ(RequestCommands(server.Requests(), before),
              (std::vector<std::string>{"FolderSync", "GetItemEstimate", "Sync"}));
    EXPECT_EQ(FolderKey("INBOX"), "2");
    EXPECT_EQ(InboxSubjects(), std::vector<std::string>{"one"});
}

}  // namespace
