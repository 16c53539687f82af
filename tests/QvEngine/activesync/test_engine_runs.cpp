// Whole runs of the engine against the loopback test server, on the virtual
// clock: each test starts a run as a client does and checks the requests
// that reached the server, in order, with their headers and bodies, and
// what the client heard. Answers are canned WBXML made by the WBXML
// library's own conversion; the data manager is the scripted one.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "DActiveSyncEngine.h"
#include "EngineTestSupport.h"
#include "ScriptedDataManager.h"
#include "support/ActiveSyncWire.h"
#include "QvEngine/foundation/prefstestutil.h"
#include "support/TestDevice.h"
#include "support/TestHttpServer.h"
#include "vplatform_test.h"
#include "winreg.h"

namespace {

class RunEngine : public DActiveSyncEngine {
public:
    using DActiveSyncEngine::SetDataManager;
    uint32_t Step() const { return m_currentStep; }
    uint32_t TaskStage() const { return m_taskStage; }
};

VString Narrow(const std::string &text) {
    VString s;
    s.AssignCStr(text.c_str(), kVStringWindows1252);
    return s;
}

const char kFolderSyncAnswer[] =
    "<FolderSync xmlns=\"FolderHierarchy:\"><Status>1</Status><SyncKey>1</SyncKey><Changes><Count>5</Count>"
    "<Add><ServerId>INBOX</ServerId><ParentId>0</ParentId><DisplayName>Inbox</DisplayName><Type>2</Type></Add>"
    "<Add><ServerId>Sent</ServerId><ParentId>0</ParentId><DisplayName>Sent</DisplayName><Type>5</Type></Add>"
    "<Add><ServerId>vevent%2Fpersonal</ServerId><ParentId>0</ParentId><DisplayName>Calendar</DisplayName>"
    "<Type>8</Type></Add>"
    "<Add><ServerId>vcard%2Fpersonal</ServerId><ParentId>0</ParentId><DisplayName>Contacts</DisplayName>"
    "<Type>9</Type></Add>"
    "<Add><ServerId>vtodo%2Fpersonal</ServerId><ParentId>0</ParentId><DisplayName>Tasks</DisplayName>"
    "<Type>7</Type></Add>"
    "</Changes></FolderSync>";

std::string SyncAnswer(const char *cls, const char *folder, const char *key, bool more = false) {
    return std::string("<Sync xmlns=\"AirSync:\"><Collections><Collection><Class>") + cls + "</Class><SyncKey>" + key +
           "</SyncKey><CollectionId>" + folder + "</CollectionId><Status>1</Status>" +
           (more ? "<MoreAvailable/>" : "") + "</Collection></Collections></Sync>";
}

std::string EstimateAnswer(const char *folder, int estimate) {
    return std::string("<GetItemEstimate xmlns=\"GetItemEstimate:\"><Response><Status>1</Status><Collection>"
                       "<Class>Email</Class><CollectionId>") +
           folder + "</CollectionId><Estimate>" + std::to_string(estimate) +
           "</Estimate></Collection></Response></GetItemEstimate>";
}

class EngineRunTest : public PrefsDeviceTest {
protected:
    void SetUp() override {
        PrefsDeviceTest::SetUp();
        vplat::ClockUseVirtual(1000, 1700000000000);
        vplat::ConnMgrResetScript();
        global = std::make_unique<EngineGlobal>();
        ICorvanePreferences &prefs = global->prefs;
        prefs.SetServer(Narrow("127.0.0.1:" + std::to_string(server.Port())));
        prefs.SetUseSSL(0);
        prefs.SetUser(Narrow("alice"));
        prefs.SetPassword(Narrow("secret1"));
        prefs.SetQVDeviceID(Narrow("VANTRELTEST0001"));
        prefs.SetQVDeviceType(Narrow("PocketPC"));
        prefs.SetUserSyncEMail(1);
        prefs.SetUserSyncCalendar(1);
        prefs.SetUserSyncContacts(1);
        prefs.SetUserSyncTasks(1);
        prefs.SetPeakPushSyncEnabled(0);
        prefs.SetOffPeakPushSyncEnabled(0);
        prefs.SaveAll();
        engine = std::make_unique<RunEngine>();
        data = new ScriptedDataManager(global.get());
        data->SetEngine(engine.get());
        engine->SetDataManager(data);
        ASSERT_EQ(engine->Initialize(global.get(), &client), kNoError);
    }
    void TearDown() override {
        engine.reset();
        global.reset();
        vplat::ConnMgrResetScript();
        vplat::ClockUseReal();
        PrefsDeviceTest::TearDown();
    }

    bool RunToEnd() {
        return PumpEngineUntil(*global, [this] { return client.RunOver(); });
    }
    // "OPTIONS" or the Cmd value of each request, in order.
    std::vector<std::string> Commands() const {
        std::vector<std::string> out;
        for (const TestHttpRequest &r : server.Requests())
            out.push_back(r.method == "OPTIONS" ? "OPTIONS" : ParseQuery(r).cmd);
        return out;
    }

    TestHttpServer server;
    std::unique_ptr<EngineGlobal> global;
    std::unique_ptr<RunEngine> engine;
    ScriptedDataManager *data = nullptr;  // the engine's
    RecordingClient client;
};

TEST_F(EngineRunTest, AFirstRunAsksForOptionsFoldersAndEachTypeInOrder) {
    server.Script(OptionsReply());
    server.Script(ActiveSyncReply(kFolderSyncAnswer));
    server.Script(ActiveSyncReply(SyncAnswer("Email", "INBOX", "1")));
    server.Script(ActiveSyncReply(SyncAnswer("Calendar", "vevent%2Fpersonal", "1")));
    server.Script(ActiveSyncReply(SyncAnswer("Contacts", "vcard%2Fpersonal", "1")));
    server.Script(ActiveSyncReply(SyncAnswer("Tasks", "vtodo%2Fpersonal", "1")));
    server.Script(ActiveSyncReply(EstimateAnswer("INBOX", 0)));

    ASSERT_EQ(engine->StartSync(kRunFlagsAll, 0, kLockModeWait, kRunKindUser), kNoError);
    ASSERT_TRUE(RunToEnd());

    const std::vector<std::string> expected = {"OPTIONS", "FolderSync", "Sync", "Sync", "Sync", "Sync",
                                               "GetItemEstimate"};
    EXPECT_EQ(Commands(), expected);
    const std::vector<TestHttpRequest> requests = server.Requests();
    ASSERT_EQ(requests.size(), expected.size());
    // The version agreed by OPTIONS is announced from the next request on.
    for (size_t i = 1; i < requests.size(); ++i)
        EXPECT_EQ(requests[i].Header("MS-ASProtocolVersion"), "2.5") << i;
    EXPECT_TRUE(SameXml("<FolderSync xmlns=\"FolderHierarchy:\"><SyncKey>0</SyncKey></FolderSync>",
                        XmlFromWbxml(requests[1].body)));
    EXPECT_TRUE(SameXml("<Sync xmlns=\"AirSync:\"><Collections><Collection><Class>Calendar</Class><SyncKey>0</SyncKey>"
                        "<CollectionId>vevent%2Fpersonal</CollectionId></Collection></Collections></Sync>",
                        XmlFromWbxml(requests[3].body)));
    EXPECT_TRUE(client.errors.empty());
    EXPECT_EQ(global->prefs.GetEngineState(), kEngineStateCompleted);
    EXPECT_EQ(global->prefs.GetEASVers(), 250);
    EXPECT_EQ(data->FolderKey(kFolderTypeTasks), "1");
}

}  // namespace
